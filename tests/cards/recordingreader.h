#pragma once

// A recording stand-in for both reader libraries, for tests that check the exact
// sequence of library calls and waits. Every call and every requested wait is appended
// to one log, e.g. "MfcAuthenticateKey(4, 0x0A, 01020304, FFFFFFFFFFFF)" or "Sleep(100)";
// block numbers and lengths are decimal, modes and addresses 0x.., byte buffers hex.
//
// It models only what the callers depend on for their control flow: one card that is in
// the field or not, halted or not (a halted card is not selected again until it has been
// taken away and put back), the data a block read returns, the reader's stored profile
// record. Every other call succeeds unless a failure is scripted with FailAt.
//
// Thread-safe: the card worker calls it while the test thread looks at the log.

#include "reader/Rivlink_h.h"
#include "reader/delay.h"
#include "reader/mfrc500.h"

#include <QString>
#include <QStringList>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

class TRecordingReader final : public TMfrc500Library, public TRivlinkLibrary
{
public:
    TRecordingReader()
    {
        Delay::SetHook([this](unsigned ms) { Record(QStringLiteral("Sleep(%1)").arg(ms)); });
    }
    ~TRecordingReader() override { Delay::SetHook({}); }

    // --- scripting -------------------------------------------------------------------
    // The occurrence-th call (1 = the first from now) of the function named fails with
    // status and is otherwise not carried out.
    void FailAt(const QString &function, int occurrence, int status)
    {
        std::lock_guard lock(mutex);
        failures[function][calls[function] + occurrence] = status;
    }
    void PutCard(const std::vector<uint8_t> &cardUid)
    {
        std::lock_guard lock(mutex);
        uid = cardUid;
        present = true;
        halted = false;
    }
    void TakeCard()
    {
        std::lock_guard lock(mutex);
        present = false;
        halted = false;
    }
    bool Halted() const
    {
        std::lock_guard lock(mutex);
        return halted;
    }
    void SetReadBlock(const std::array<uint8_t, 16> &data)
    {
        std::lock_guard lock(mutex);
        readData = data;
    }
    // The five bytes PcdReadE2 returns from 0x70 (RW-Alto).
    void SetAltoRecord(const std::array<uint8_t, 5> &record)
    {
        std::lock_guard lock(mutex);
        altoRecord = record;
    }
    // The four values GetReaderTagorData returns (RW-Nova).
    void SetNovaRecord(const std::array<uint8_t, 4> &record)
    {
        std::lock_guard lock(mutex);
        novaRecord = record;
    }

    // --- the log ---------------------------------------------------------------------
    QStringList Log() const
    {
        std::lock_guard lock(mutex);
        return log;
    }
    void ClearLog()
    {
        std::lock_guard lock(mutex);
        log.clear();
    }
    int CallCount(const QString &function) const
    {
        std::lock_guard lock(mutex);
        auto it = calls.find(function);
        return it == calls.end() ? 0 : it->second;
    }

    static QString Hex(const uint8_t *data, int length)
    {
        QString text;
        for (int i = 0; i < length; ++i)
            text += QStringLiteral("%1").arg(data[i], 2, 16, QLatin1Char('0')).toUpper();
        return text;
    }
    static QString Byte(unsigned value)
    {
        return QStringLiteral("0x") +
               QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
    }

    // --- MF RC500 ----------------------------------------------------------------------
    int16_t Mf500StartEnumerate() override
    {
        return int16_t(Call(QStringLiteral("Mf500StartEnumerate"), {}));
    }
    int16_t Mf500EnumerateNext(uint32_t *deviceNumber) override
    {
        *deviceNumber = 17;
        return int16_t(Call(QStringLiteral("Mf500EnumerateNext"), {QStringLiteral("out")}));
    }
    int16_t Mf500InterfaceOpen(uint32_t mode, uint32_t deviceNumber) override
    {
        return int16_t(Call(QStringLiteral("Mf500InterfaceOpen"),
                            {Byte(mode), QString::number(deviceNumber)}));
    }
    int16_t Mf500PcdConfig() override
    {
        return int16_t(Call(QStringLiteral("Mf500PcdConfig"), {}));
    }
    int16_t Mf500PiccActivateIdle(uint8_t br, uint8_t *, uint8_t *, uint8_t *uidOut,
                                  uint8_t *uidLen) override
    {
        *uidLen = 0;
        std::lock_guard lock(mutex);
        int status = CallLocked(QStringLiteral("Mf500PiccActivateIdle"),
                                {QString::number(br), QStringLiteral("out"), QStringLiteral("out"),
                                 QStringLiteral("out"), QStringLiteral("out")});
        if (status == 0 && !SelectLocked(uidOut, uidLen))
            status = mfrc500::MI_NOTAGERR;
        return int16_t(status);
    }
    int16_t Mf500PiccHalt() override
    {
        std::lock_guard lock(mutex);
        const int status = CallLocked(QStringLiteral("Mf500PiccHalt"), {});
        if (status == 0 && present)
            halted = true;
        return int16_t(status);
    }
    int16_t Mf500HostCodeKey(const uint8_t *key6, uint8_t *coded12) override
    {
        // A coding of the test's own: the key twice.
        std::memcpy(coded12, key6, 6);
        std::memcpy(coded12 + 6, key6, 6);
        return int16_t(
            Call(QStringLiteral("Mf500HostCodeKey"), {Hex(key6, 6), QStringLiteral("out")}));
    }
    int16_t Mf500PiccAuthKey(uint8_t mode, const uint8_t *uid4, const uint8_t *coded12,
                             uint8_t block) override
    {
        return int16_t(Call(QStringLiteral("Mf500PiccAuthKey"),
                            {Byte(mode), Hex(uid4, 4), Hex(coded12, 12), QString::number(block)}));
    }
    int16_t Mf500PiccAuthE2(uint8_t mode, const uint8_t *uid4, uint8_t keySlot,
                            uint8_t block) override
    {
        return int16_t(
            Call(QStringLiteral("Mf500PiccAuthE2"),
                 {Byte(mode), Hex(uid4, 4), QString::number(keySlot), QString::number(block)}));
    }
    int16_t Mf500PiccRead(uint8_t block, uint8_t *data16) override
    {
        std::lock_guard lock(mutex);
        const int status = CallLocked(QStringLiteral("Mf500PiccRead"),
                                      {QString::number(block), QStringLiteral("out")});
        if (status == 0)
            std::memcpy(data16, readData.data(), 16);
        return int16_t(status);
    }
    int16_t Mf500PiccWrite(uint8_t block, const uint8_t *data16) override
    {
        return int16_t(
            Call(QStringLiteral("Mf500PiccWrite"), {QString::number(block), Hex(data16, 16)}));
    }
    int16_t Mf500PcdLoadKeyE2(uint8_t keyType, uint8_t keySlot, const uint8_t *key6) override
    {
        return int16_t(Call(QStringLiteral("Mf500PcdLoadKeyE2"),
                            {QString::number(keyType), QString::number(keySlot), Hex(key6, 6)}));
    }
    int16_t PcdWriteE2(uint16_t address, uint8_t length, const uint8_t *data) override
    {
        return int16_t(Call(QStringLiteral("PcdWriteE2"),
                            {Byte(address), QString::number(length), Hex(data, length)}));
    }
    int16_t PcdReadE2(uint16_t address, uint8_t length, uint8_t *data) override
    {
        std::lock_guard lock(mutex);
        const int status =
            CallLocked(QStringLiteral("PcdReadE2"),
                       {Byte(address), QString::number(length), QStringLiteral("out")});
        if (status == 0)
            std::memcpy(data, altoRecord.data(), std::min<size_t>(length, altoRecord.size()));
        return int16_t(status);
    }

    // --- Rivlink -----------------------------------------------------------------------
    uint16_t Enumerate() override { return uint16_t(Call(QStringLiteral("Enumerate"), {})); }
    uint16_t GetFirstReader(char *, int size) override
    {
        return uint16_t(
            Call(QStringLiteral("GetFirstReader"), {QStringLiteral("out"), QString::number(size)}));
    }
    uint16_t OpenByNum(uint16_t readerNumber) override
    {
        return uint16_t(Call(QStringLiteral("OpenByNum"), {QString::number(readerNumber)}));
    }
    uint16_t GetReaderSerialStr(int readerNumber, char *) override
    {
        return uint16_t(Call(QStringLiteral("GetReaderSerialStr"),
                             {QString::number(readerNumber), QStringLiteral("out")}));
    }
    uint16_t RfFieldControl(uint8_t on) override
    {
        return uint16_t(Call(QStringLiteral("RfFieldControl"), {QString::number(on)}));
    }
    uint16_t ActivateCardA3(uint8_t *uidLen, uint8_t *uidOut, uint8_t *, uint8_t *) override
    {
        std::lock_guard lock(mutex);
        int status = CallLocked(QStringLiteral("ActivateCardA3"),
                                {QString::number(*uidLen), QStringLiteral("out"),
                                 QStringLiteral("out"), QStringLiteral("out")});
        if (status == 0 && !SelectLocked(uidOut, uidLen))
            status = rivlink::RL_NO_CARD;
        return uint16_t(status);
    }
    uint16_t HaltA() override
    {
        std::lock_guard lock(mutex);
        const int status = CallLocked(QStringLiteral("HaltA"), {});
        if (status == 0 && present)
            halted = true;
        return uint16_t(status);
    }
    uint16_t MfcAuthenticateKey(uint8_t block, uint8_t mode, const uint8_t *uid4,
                                const uint8_t *key6) override
    {
        return uint16_t(Call(QStringLiteral("MfcAuthenticateKey"),
                             {QString::number(block), Byte(mode), Hex(uid4, 4), Hex(key6, 6)}));
    }
    uint16_t MfcAuthentKeyNo(uint8_t block, uint8_t mode, const uint8_t *uid4, uint8_t keyNo,
                             uint8_t reserved) override
    {
        return uint16_t(Call(QStringLiteral("MfcAuthentKeyNo"),
                             {QString::number(block), Byte(mode), Hex(uid4, 4),
                              QString::number(keyNo), QString::number(reserved)}));
    }
    uint16_t MfcReadBlock(uint8_t block, uint8_t *data16) override
    {
        std::lock_guard lock(mutex);
        const int status = CallLocked(QStringLiteral("MfcReadBlock"),
                                      {QString::number(block), QStringLiteral("out")});
        if (status == 0)
            std::memcpy(data16, readData.data(), 16);
        return uint16_t(status);
    }
    uint16_t MfcWriteBlock(uint16_t block, const uint8_t *data16) override
    {
        return uint16_t(
            Call(QStringLiteral("MfcWriteBlock"), {QString::number(block), Hex(data16, 16)}));
    }
    uint16_t MfcStoreKeyE2(uint8_t keyNo, uint8_t keyType, const uint8_t *key6) override
    {
        return uint16_t(Call(QStringLiteral("MfcStoreKeyE2"),
                             {QString::number(keyNo), QString::number(keyType), Hex(key6, 6)}));
    }
    uint16_t InitReaderTagorData(uint8_t marker, uint8_t sector, uint8_t profile,
                                 uint8_t reserved) override
    {
        return uint16_t(Call(QStringLiteral("InitReaderTagorData"),
                             {Byte(marker), QString::number(sector), QString::number(profile),
                              QString::number(reserved)}));
    }
    uint16_t GetReaderTagorData(uint8_t *marker, uint8_t *sector, uint8_t *profile,
                                uint8_t *reserved) override
    {
        std::lock_guard lock(mutex);
        const int status = CallLocked(QStringLiteral("GetReaderTagorData"),
                                      {QStringLiteral("out"), QStringLiteral("out"),
                                       QStringLiteral("out"), QStringLiteral("out")});
        if (status == 0) {
            *marker = novaRecord[0];
            *sector = novaRecord[1];
            *profile = novaRecord[2];
            *reserved = novaRecord[3];
        }
        return uint16_t(status);
    }

private:
    void Record(const QString &entry)
    {
        std::lock_guard lock(mutex);
        log.append(entry);
    }
    int Call(const QString &name, const QStringList &args)
    {
        std::lock_guard lock(mutex);
        return CallLocked(name, args);
    }
    int CallLocked(const QString &name, const QStringList &args)
    {
        log.append(name + QLatin1Char('(') + args.join(QStringLiteral(", ")) + QLatin1Char(')'));
        const int n = ++calls[name];
        auto f = failures.find(name);
        if (f != failures.end()) {
            auto at = f->second.find(n);
            if (at != f->second.end())
                return at->second;
        }
        return 0;
    }
    bool SelectLocked(uint8_t *uidOut, uint8_t *uidLen)
    {
        if (!present || halted)
            return false;
        std::memcpy(uidOut, uid.data(), uid.size());
        *uidLen = uint8_t(uid.size());
        return true;
    }

    mutable std::mutex mutex;
    QStringList log;
    std::map<QString, int> calls;
    std::map<QString, std::map<int, int>> failures;
    std::vector<uint8_t> uid{0x01, 0x02, 0x03, 0x04};
    bool present = true;
    bool halted = false;
    std::array<uint8_t, 16> readData{};
    std::array<uint8_t, 5> altoRecord{0x77, 0x05, 0x01, 0x00, 0x00};
    std::array<uint8_t, 4> novaRecord{0x77, 0x01, 0x05, 0x00};
};
