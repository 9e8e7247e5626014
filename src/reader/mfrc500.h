#pragma once

#include <cstdint>

// The MF RC500 reader library used by RW-Alto readers: the 14 functions the program
// calls, with their arguments in order. Every function returns a 16-bit signed status;
// 0 is success. The decorated import names are given beside each function.
//
// Status values returned by the built-in implementation (they follow the vendor
// library's MI_* conventions):
//   MI_OK            0   success
//   MI_NOTAGERR     -1   no card answered
//   MI_AUTHERR      -4   authentication failed (wrong key)
//   MI_CODEERR      -6   the card refused the command (access conditions)
//   MI_KEYERR       -9   the coded key is malformed
//   MI_NOTAUTHERR  -10   no sector is authenticated for this block
//   MI_WRONG_ADDR  -12   block, address, length or mode out of range
//   MI_NOREADER    -19   no reader with this number
//   MI_ALREADYOPEN -20   the interface is already open (the reader is usable)
//   MI_NOTOPEN     -21   the interface has not been opened
//   MI_EEPROMERR   -25   the reader's EEPROM or key store could not be written
namespace mfrc500 {
constexpr int16_t MI_OK = 0;
constexpr int16_t MI_NOTAGERR = -1;
constexpr int16_t MI_AUTHERR = -4;
constexpr int16_t MI_CODEERR = -6;
constexpr int16_t MI_KEYERR = -9;
constexpr int16_t MI_NOTAUTHERR = -10;
constexpr int16_t MI_WRONG_ADDR = -12;
constexpr int16_t MI_NOREADER = -19;
constexpr int16_t MI_ALREADYOPEN = -20;
constexpr int16_t MI_NOTOPEN = -21;
constexpr int16_t MI_EEPROMERR = -25;

constexpr uint8_t PICC_AUTHENT1A = 0x60;
constexpr uint8_t PICC_AUTHENT1B = 0x61;
} // namespace mfrc500

class TMfrc500Library
{
public:
    virtual ~TMfrc500Library() = default;

    virtual int16_t Mf500StartEnumerate() = 0;                      // _Mf500StartEnumerate@0
    virtual int16_t Mf500EnumerateNext(uint32_t *deviceNumber) = 0; // _Mf500EnumerateNext@4
    virtual int16_t Mf500InterfaceOpen(uint32_t mode,
                                       uint32_t deviceNumber) = 0; // _Mf500InterfaceOpen@8
    virtual int16_t Mf500PcdConfig() = 0;                          // _Mf500PcdConfig@0
    virtual int16_t Mf500PiccActivateIdle(uint8_t br, uint8_t *atq, uint8_t *sak, uint8_t *uid,
                                          uint8_t *uidLen) = 0; // _Mf500PiccActivateIdle@20
    virtual int16_t Mf500PiccHalt() = 0;                        // _Mf500PiccHalt@0
    virtual int16_t Mf500HostCodeKey(const uint8_t *key6,
                                     uint8_t *coded12) = 0; // _Mf500HostCodeKey@8
    virtual int16_t Mf500PiccAuthKey(uint8_t mode, const uint8_t *uid4, const uint8_t *coded12,
                                     uint8_t block) = 0; // _Mf500PiccAuthKey@16
    virtual int16_t Mf500PiccAuthE2(uint8_t mode, const uint8_t *uid4, uint8_t keySlot,
                                    uint8_t block) = 0;                       // _Mf500PiccAuthE2@16
    virtual int16_t Mf500PiccRead(uint8_t block, uint8_t *data16) = 0;        // _Mf500PiccRead@8
    virtual int16_t Mf500PiccWrite(uint8_t block, const uint8_t *data16) = 0; // _Mf500PiccWrite@8
    virtual int16_t Mf500PcdLoadKeyE2(uint8_t keyType, uint8_t keySlot,
                                      const uint8_t *key6) = 0; // _Mf500PcdLoadKeyE2@12
    virtual int16_t PcdWriteE2(uint16_t address, uint8_t length,
                               const uint8_t *data) = 0; // _PcdWriteE2@12
    virtual int16_t PcdReadE2(uint16_t address, uint8_t length, uint8_t *data) = 0; // _PcdReadE2@12
};

// The implementation bound for this run; chosen once at start. Null until bound.
TMfrc500Library *Mfrc500();
void BindMfrc500(TMfrc500Library *library);
