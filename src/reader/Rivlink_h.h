#pragma once

#include <cstdint>

// The Rivlink library used by RW-Nova readers: the 14 functions the program calls, with
// their arguments in order. Every function returns a 16-bit unsigned status; 0 is success
// (Enumerate returns the number of readers instead).
//
// Status values returned by the built-in implementation:
//   RL_OK             0   success
//   RL_NO_CARD        1   no card answered
//   RL_AUTH_ERROR     4   authentication failed (wrong key)
//   RL_ACCESS_ERROR   6   the card refused the command (access conditions)
//   RL_NOT_AUTH      10   no sector is authenticated for this block
//   RL_BAD_PARAM     12   block, buffer or argument out of range
//   RL_NO_READER     19   no reader with this number, or none open
//   RL_STORE_ERROR   20   the reader's non-volatile store could not be written
namespace rivlink {
constexpr uint16_t RL_OK = 0;
constexpr uint16_t RL_NO_CARD = 1;
constexpr uint16_t RL_AUTH_ERROR = 4;
constexpr uint16_t RL_ACCESS_ERROR = 6;
constexpr uint16_t RL_NOT_AUTH = 10;
constexpr uint16_t RL_BAD_PARAM = 12;
constexpr uint16_t RL_NO_READER = 19;
constexpr uint16_t RL_STORE_ERROR = 20;

constexpr uint8_t MODE_KEY_A = 0x0A;
constexpr uint8_t MODE_KEY_B = 0x0B;
} // namespace rivlink

class TRivlinkLibrary
{
public:
    virtual ~TRivlinkLibrary() = default;

    virtual uint16_t Enumerate() = 0;
    virtual uint16_t GetFirstReader(char *buffer, int size) = 0;
    virtual uint16_t OpenByNum(uint16_t readerNumber) = 0;
    virtual uint16_t GetReaderSerialStr(int readerNumber, char *buffer64) = 0;
    virtual uint16_t RfFieldControl(uint8_t on) = 0;
    virtual uint16_t ActivateCardA3(uint8_t *uidLen, uint8_t *uid, uint8_t *sak, uint8_t *atqa) = 0;
    virtual uint16_t HaltA() = 0;
    virtual uint16_t MfcAuthenticateKey(uint8_t block, uint8_t mode, const uint8_t *uid4,
                                        const uint8_t *key6) = 0;
    virtual uint16_t MfcAuthentKeyNo(uint8_t block, uint8_t mode, const uint8_t *uid4,
                                     uint8_t keyNo, uint8_t reserved) = 0;
    virtual uint16_t MfcReadBlock(uint8_t block, uint8_t *data16) = 0;
    virtual uint16_t MfcWriteBlock(uint16_t block, const uint8_t *data16) = 0;
    virtual uint16_t MfcStoreKeyE2(uint8_t keyNo, uint8_t keyType, const uint8_t *key6) = 0;
    virtual uint16_t InitReaderTagorData(uint8_t marker, uint8_t sector, uint8_t profile,
                                         uint8_t reserved) = 0;
    virtual uint16_t GetReaderTagorData(uint8_t *marker, uint8_t *sector, uint8_t *profile,
                                        uint8_t *reserved) = 0;
};

// The implementation bound for this run; chosen once at start. Null until bound.
TRivlinkLibrary *Rivlink();
void BindRivlink(TRivlinkLibrary *library);
