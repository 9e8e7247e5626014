#pragma once

#include "reader/Rivlink_h.h"
#include "reader/mfrc500.h"
#include "reader/sim/simfield.h"

#include <QString>

#include <array>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// What the simulated readers have in common: whether the reader is attached, the call log
// and the faults injected on demand.
//
// Call log: every library call appends one entry, whether the reader is attached or not,
// of the form Name(arg, arg, ...) with the function's plain name and its arguments in
// order:
//   - block numbers, lengths, sizes, reader/device numbers, key slots: decimal (4, 64, 17);
//   - mode bytes, EEPROM addresses and the tagor marker: 0x and two (or more) upper-case
//     hex digits (0x60, 0x0A, 0x70, 0x77);
//   - byte buffers given to the library (UID bytes, keys, coded keys, block data, EEPROM
//     data): upper-case hex, no separators (01020304, FFFFFFFFFFFF);
//   - out parameters: the word out (an in/out UID length shows the value passed in).
// e.g. "MfcAuthenticateKey(4, 0x0A, 01020304, FFFFFFFFFFFF)", "Mf500PiccRead(4, out)".
// StatusLog holds the status each call returned, in the same order.
//
// Faults: counting calls from the moment the fault is armed, FailCall(n, status) makes the
// n-th call (1 = the next one) return status without being carried out; the card in the
// field, if any, drops to idle as after any failed command. RemoveCardAfterCall(n) takes
// the card out of the field right after the n-th call has run (to show what a torn
// sequence leaves on the card); the card taken out is kept for RemovedCard(). Each fault
// fires once.
class TSimReaderBase
{
public:
    explicit TSimReaderBase(TSimField &field) : fField(field) {}

    void SetAttached(bool attached);
    bool IsAttached() const;

    std::vector<std::string> CallLog() const;
    std::vector<int> StatusLog() const;
    void ClearLog();

    void FailCall(int n, int status);
    void RemoveCardAfterCall(int n);
    void ClearFaults();
    std::optional<TSimCard> RemovedCard() const;

    TSimField &Field() { return fField; }

protected:
    // Logs the call, applies the faults and otherwise runs body. body may lock fMutex.
    template <class Body> int Run(std::string text, Body body);

    static std::string Hex(const uint8_t *data, int length);
    static std::string Byte(unsigned value); // 0x0A

    // Writes lines to path through a temporary file and a rename; true when path is empty.
    static bool SaveStore(const QString &path, const QStringList &lines);
    static QStringList LoadStore(const QString &path);

    TSimField &fField;
    mutable std::mutex fMutex; // guards everything below and the derived readers' state

private:
    struct TFault
    {
        uint64_t atCall;
        bool removeCard;
        int status;
    };
    bool fAttached = false;
    uint64_t fCallCount = 0;
    std::vector<std::string> fLog;
    std::vector<int> fStatuses;
    std::vector<TFault> fFaults;
    std::optional<TSimCard> fRemoved;

protected:
    bool AttachedLocked() const { return fAttached; }
};

// A virtual RW-Alto reader: the MF RC500 library over the shared field.
//   - Enumeration: Mf500StartEnumerate restarts it; Mf500EnumerateNext reports the device
//     number (DeviceNumber(), 17 by default) once, then MI_NOREADER; when the reader is
//     not attached it reports MI_NOREADER at once.
//   - Mf500InterfaceOpen(mode, device): MI_NOREADER for another device or when not
//     attached; else 0 the first time and MI_ALREADYOPEN (-20) afterwards, or always the
//     status set with SetOpenResult.
//   - EEPROM of 256 bytes (zeros when new); PcdReadE2/PcdWriteE2 outside it give
//     MI_WRONG_ADDR. The program keeps its reader profile record at 0x70.
//   - 16 key slots (Mf500PcdLoadKeyE2(keyType, slot, key); keyType is not used), each the
//     transport key FF..FF when new; Mf500PiccAuthE2 authenticates with a slot's key.
//   - Mf500HostCodeKey codes each key byte b as two bytes, high nibble first:
//     (~hi << 4 | hi) and (~lo << 4 | lo), 12 bytes in all; Mf500PiccAuthKey decodes them
//     and answers MI_KEYERR when a nibble and its complement disagree.
//   - Card commands need an attached reader (MI_NOREADER otherwise); opening the
//     interface first is not required. Card results: no card or card not selected
//     MI_NOTAGERR, wrong key/UID or blocked sector MI_AUTHERR, refused by the access
//     conditions MI_CODEERR, block outside the authenticated sector MI_NOTAUTHERR, block
//     outside the card or bad mode MI_WRONG_ADDR. Mf500PiccActivateIdle sets the UID
//     length to 0 when it selects nothing.
//   - EEPROM and key slots persist in the store file (SetStoreFile), rewritten atomically
//     after every change; a store that cannot be written fails the call with
//     MI_EEPROMERR and leaves the reader unchanged.
class TSimMfrc500 final : public TMfrc500Library, public TSimReaderBase
{
public:
    static constexpr int EepromSize = 256;
    static constexpr int KeySlots = 16;

    explicit TSimMfrc500(TSimField &field) : TSimReaderBase(field) { ResetStore(); }

    void SetDeviceNumber(uint32_t number);
    uint32_t DeviceNumber() const;
    void SetOpenResult(std::optional<int16_t> status);

    // Loads the store from path (a missing or unreadable file leaves a new reader's
    // contents) and writes every later change there. Empty path: no persistence.
    void SetStoreFile(const QString &path);
    std::vector<uint8_t> Eeprom() const;
    std::array<uint8_t, 6> StoredKey(int slot) const;

    int16_t Mf500StartEnumerate() override;
    int16_t Mf500EnumerateNext(uint32_t *deviceNumber) override;
    int16_t Mf500InterfaceOpen(uint32_t mode, uint32_t deviceNumber) override;
    int16_t Mf500PcdConfig() override;
    int16_t Mf500PiccActivateIdle(uint8_t br, uint8_t *atq, uint8_t *sak, uint8_t *uid,
                                  uint8_t *uidLen) override;
    int16_t Mf500PiccHalt() override;
    int16_t Mf500HostCodeKey(const uint8_t *key6, uint8_t *coded12) override;
    int16_t Mf500PiccAuthKey(uint8_t mode, const uint8_t *uid4, const uint8_t *coded12,
                             uint8_t block) override;
    int16_t Mf500PiccAuthE2(uint8_t mode, const uint8_t *uid4, uint8_t keySlot,
                            uint8_t block) override;
    int16_t Mf500PiccRead(uint8_t block, uint8_t *data16) override;
    int16_t Mf500PiccWrite(uint8_t block, const uint8_t *data16) override;
    int16_t Mf500PcdLoadKeyE2(uint8_t keyType, uint8_t keySlot, const uint8_t *key6) override;
    int16_t PcdWriteE2(uint16_t address, uint8_t length, const uint8_t *data) override;
    int16_t PcdReadE2(uint16_t address, uint8_t length, uint8_t *data) override;

    static int16_t StatusOf(TSimResult result);

private:
    void ResetStore();
    bool SaveLocked(const std::vector<uint8_t> &eeprom,
                    const std::array<std::array<uint8_t, 6>, KeySlots> &keys);
    int16_t Auth(uint8_t mode, const uint8_t *uid4, const uint8_t *key6, uint8_t block);

    uint32_t fDevice = 17;
    bool fEnumerated = false;
    bool fOpen = false;
    std::optional<int16_t> fOpenResult;
    QString fStorePath;
    std::vector<uint8_t> fEeprom;
    std::array<std::array<uint8_t, 6>, KeySlots> fKeys{};
};

// A virtual RW-Nova reader: the Rivlink library over the shared field.
//   - Enumerate returns ReaderCount() (1 by default) when attached, else 0.
//   - GetFirstReader(buffer, size) writes "RW-Nova <serial>" (cut to size) and returns 0;
//     OpenByNum(n) opens reader n < ReaderCount(); GetReaderSerialStr(n, buffer) writes
//     Serial() ("A1B2" by default) for reader 0 and "<serial>-<n>" for the others.
//     Unknown readers, or any call when not attached: RL_NO_READER.
//   - RfFieldControl(on) switches the RF field: while it is off the card does not
//     answer (RL_NO_CARD). The field is on when the reader is created.
//   - InitReaderTagorData / GetReaderTagorData keep four bytes (zeros when new).
//   - A key store of 16 keys (MfcStoreKeyE2(keyNo, keyType, key); keyType is not used),
//     each the transport key FF..FF when new; MfcAuthentKeyNo uses key keyNo.
//   - Card results: no card or card not selected RL_NO_CARD, wrong key/UID or blocked
//     sector RL_AUTH_ERROR, refused by the access conditions RL_ACCESS_ERROR, block
//     outside the authenticated sector RL_NOT_AUTH, block outside the card or bad mode
//     RL_BAD_PARAM. Opening the reader first is not required.
//   - Tagor data and key store persist in the store file (SetStoreFile), rewritten
//     atomically after every change; a store that cannot be written fails the call with
//     RL_STORE_ERROR and leaves the reader unchanged.
class TSimRivlink final : public TRivlinkLibrary, public TSimReaderBase
{
public:
    static constexpr int KeySlots = 16;

    explicit TSimRivlink(TSimField &field) : TSimReaderBase(field) { ResetStore(); }

    void SetSerial(const std::string &serial);
    std::string Serial() const;
    void SetReaderCount(int count);
    int ReaderCount() const;
    bool RfFieldOn() const;

    void SetStoreFile(const QString &path);
    std::array<uint8_t, 4> TagorData() const;
    std::array<uint8_t, 6> StoredKey(int keyNo) const;

    uint16_t Enumerate() override;
    uint16_t GetFirstReader(char *buffer, int size) override;
    uint16_t OpenByNum(uint16_t readerNumber) override;
    uint16_t GetReaderSerialStr(int readerNumber, char *buffer64) override;
    uint16_t RfFieldControl(uint8_t on) override;
    uint16_t ActivateCardA3(uint8_t *uidLen, uint8_t *uid, uint8_t *sak, uint8_t *atqa) override;
    uint16_t HaltA() override;
    uint16_t MfcAuthenticateKey(uint8_t block, uint8_t mode, const uint8_t *uid4,
                                const uint8_t *key6) override;
    uint16_t MfcAuthentKeyNo(uint8_t block, uint8_t mode, const uint8_t *uid4, uint8_t keyNo,
                             uint8_t reserved) override;
    uint16_t MfcReadBlock(uint8_t block, uint8_t *data16) override;
    uint16_t MfcWriteBlock(uint16_t block, const uint8_t *data16) override;
    uint16_t MfcStoreKeyE2(uint8_t keyNo, uint8_t keyType, const uint8_t *key6) override;
    uint16_t InitReaderTagorData(uint8_t marker, uint8_t sector, uint8_t profile,
                                 uint8_t reserved) override;
    uint16_t GetReaderTagorData(uint8_t *marker, uint8_t *sector, uint8_t *profile,
                                uint8_t *reserved) override;

    static uint16_t StatusOf(TSimResult result);

private:
    void ResetStore();
    bool SaveLocked(const std::array<uint8_t, 4> &tagor,
                    const std::array<std::array<uint8_t, 6>, KeySlots> &keys);
    uint16_t Auth(uint8_t block, uint8_t mode, const uint8_t *uid4, const uint8_t *key6);

    std::string fSerial = "A1B2";
    int fReaderCount = 1;
    bool fFieldOn = true;
    QString fStorePath;
    std::array<uint8_t, 4> fTagor{};
    std::array<std::array<uint8_t, 6>, KeySlots> fKeys{};
};
