#include "reader/sim/simreaders.h"

#include <QFile>
#include <QSaveFile>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <cstring>

using namespace mfrc500;
using namespace rivlink;

// ---------------------------------------------------------------------------------------
// TSimReaderBase

void TSimReaderBase::SetAttached(bool attached)
{
    std::lock_guard lock(fMutex);
    fAttached = attached;
}

bool TSimReaderBase::IsAttached() const
{
    std::lock_guard lock(fMutex);
    return fAttached;
}

std::vector<std::string> TSimReaderBase::CallLog() const
{
    std::lock_guard lock(fMutex);
    return fLog;
}

std::vector<int> TSimReaderBase::StatusLog() const
{
    std::lock_guard lock(fMutex);
    return fStatuses;
}

void TSimReaderBase::ClearLog()
{
    std::lock_guard lock(fMutex);
    fLog.clear();
    fStatuses.clear();
}

void TSimReaderBase::FailCall(int n, int status)
{
    std::lock_guard lock(fMutex);
    fFaults.push_back({fCallCount + uint64_t(std::max(n, 1)), false, status});
}

void TSimReaderBase::RemoveCardAfterCall(int n)
{
    std::lock_guard lock(fMutex);
    fFaults.push_back({fCallCount + uint64_t(std::max(n, 1)), true, 0});
}

void TSimReaderBase::ClearFaults()
{
    std::lock_guard lock(fMutex);
    fFaults.clear();
}

std::optional<TSimCard> TSimReaderBase::RemovedCard() const
{
    std::lock_guard lock(fMutex);
    return fRemoved;
}

template <class Body> int TSimReaderBase::Run(std::string text, Body body)
{
    std::optional<int> injected;
    uint64_t call;
    {
        std::lock_guard lock(fMutex);
        call = ++fCallCount;
        fLog.push_back(std::move(text));
        for (auto it = fFaults.begin(); it != fFaults.end(); ++it) {
            if (!it->removeCard && it->atCall == call) {
                injected = it->status;
                fFaults.erase(it);
                break;
            }
        }
    }
    int status;
    if (injected) {
        fField.Command([](TSimCard &card) {
            card.DropToIdle();
            return TSimResult::Ok;
        });
        status = *injected;
    } else {
        status = body();
    }
    bool remove = false;
    {
        std::lock_guard lock(fMutex);
        fStatuses.push_back(status);
        auto it = std::find_if(fFaults.begin(), fFaults.end(), [call](const TFault &f) {
            return f.removeCard && f.atCall == call;
        });
        if (it != fFaults.end()) {
            fFaults.erase(it);
            remove = true;
        }
    }
    if (remove) {
        auto card = fField.TakeCard();
        std::lock_guard lock(fMutex);
        fRemoved = std::move(card);
    }
    return status;
}

std::string TSimReaderBase::Hex(const uint8_t *data, int length)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    if (!data)
        return "null";
    for (int i = 0; i < length; ++i) {
        s += digits[data[i] >> 4];
        s += digits[data[i] & 0x0F];
    }
    return s;
}

std::string TSimReaderBase::Byte(unsigned value)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%02X", value);
    return buf;
}

bool TSimReaderBase::SaveStore(const QString &path, const QStringList &lines)
{
    if (path.isEmpty())
        return true;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray text = lines.join(QLatin1Char('\n')).toUtf8() + '\n';
    return file.write(text) == text.size() && file.commit();
}

QStringList TSimReaderBase::LoadStore(const QString &path)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.read(64 * 1024)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

namespace {

std::string Dec(long long v)
{
    return std::to_string(v);
}

// "name hexbytes" with exactly length bytes, else nothing.
std::optional<QByteArray> StoreBytes(const QString &line, const QString &name, int length)
{
    const QString prefix = name + QLatin1Char(' ');
    if (!line.startsWith(prefix))
        return std::nullopt;
    const QString hex = line.mid(prefix.size()).trimmed();
    const QByteArray bytes = QByteArray::fromHex(hex.toLatin1());
    if (bytes.size() != length || hex.size() != 2 * length)
        return std::nullopt;
    return bytes;
}

// Copies stored bytes into a fixed array; StoreBytes has already checked the length.
template <typename Target> void CopyStored(const QByteArray &bytes, Target &target)
{
    const size_t n = std::min(size_t(bytes.size()), size_t(target.size()));
    std::memcpy(target.data(), bytes.constData(), n);
}

QString HexText(const uint8_t *data, int length)
{
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char *>(data), length).toHex().toUpper());
}

const std::array<uint8_t, 6> TransportKey = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// A reader's store file: the header line, one line of the reader's own data ("name hex")
// and a "key N hex" line for every key slot.
template <typename Keys>
QStringList StoreLines(const QString &header, const QString &dataName, const uint8_t *data,
                       int length, const Keys &keys)
{
    QStringList lines{header, dataName + QLatin1Char(' ') + HexText(data, length)};
    for (int slot = 0; slot < int(keys.size()); ++slot)
        lines << QStringLiteral("key %1 ").arg(slot) + HexText(keys[size_t(slot)].data(), 6);
    return lines;
}

// Reads the lines of a store file into the reader's data and keys, which keep what they
// hold for lines that are missing or malformed; a file with another header is ignored.
template <typename Data, typename Keys>
void ReadStore(const QStringList &lines, const QString &header, const QString &dataName, Data &data,
               Keys &keys)
{
    if (lines.value(0) != header)
        return;
    for (const QString &line : lines) {
        if (auto d = StoreBytes(line, dataName, int(data.size()))) {
            CopyStored(*d, data);
            continue;
        }
        for (int slot = 0; slot < int(keys.size()); ++slot) {
            if (auto k = StoreBytes(line, QStringLiteral("key %1").arg(slot), 6))
                CopyStored(*k, keys[size_t(slot)]);
        }
    }
}

} // namespace

// ---------------------------------------------------------------------------------------
// TSimMfrc500

int16_t TSimMfrc500::StatusOf(TSimResult result)
{
    switch (result) {
    case TSimResult::Ok:
        return MI_OK;
    case TSimResult::NoCard:
        return MI_NOTAGERR;
    case TSimResult::AuthFailed:
        return MI_AUTHERR;
    case TSimResult::AccessDenied:
        return MI_CODEERR;
    case TSimResult::NotAuthenticated:
        return MI_NOTAUTHERR;
    case TSimResult::BadBlock:
        return MI_WRONG_ADDR;
    }
    return MI_CODEERR;
}

void TSimMfrc500::ResetStore()
{
    fEeprom.assign(EepromSize, 0);
    fKeys.fill(TransportKey);
}

void TSimMfrc500::SetDeviceNumber(uint32_t number)
{
    std::lock_guard lock(fMutex);
    fDevice = number;
}

uint32_t TSimMfrc500::DeviceNumber() const
{
    std::lock_guard lock(fMutex);
    return fDevice;
}

void TSimMfrc500::SetOpenResult(std::optional<int16_t> status)
{
    std::lock_guard lock(fMutex);
    fOpenResult = status;
}

void TSimMfrc500::SetStoreFile(const QString &path)
{
    std::lock_guard lock(fMutex);
    fStorePath = path;
    ResetStore();
    ReadStore(LoadStore(path), QStringLiteral("tagor-sim-alto 1"), QStringLiteral("eeprom"),
              fEeprom, fKeys);
}

bool TSimMfrc500::SaveLocked(const std::vector<uint8_t> &eeprom,
                             const std::array<std::array<uint8_t, 6>, KeySlots> &keys)
{
    return SaveStore(fStorePath,
                     StoreLines(QStringLiteral("tagor-sim-alto 1"), QStringLiteral("eeprom"),
                                eeprom.data(), EepromSize, keys));
}

std::vector<uint8_t> TSimMfrc500::Eeprom() const
{
    std::lock_guard lock(fMutex);
    return fEeprom;
}

std::array<uint8_t, 6> TSimMfrc500::StoredKey(int slot) const
{
    std::lock_guard lock(fMutex);
    return fKeys.at(size_t(slot));
}

int16_t TSimMfrc500::Mf500StartEnumerate()
{
    return int16_t(Run("Mf500StartEnumerate()", [this] {
        std::lock_guard lock(fMutex);
        fEnumerated = false;
        return MI_OK;
    }));
}

int16_t TSimMfrc500::Mf500EnumerateNext(uint32_t *deviceNumber)
{
    return int16_t(Run("Mf500EnumerateNext(out)", [&] {
        std::lock_guard lock(fMutex);
        if (!AttachedLocked() || fEnumerated || !deviceNumber)
            return MI_NOREADER;
        fEnumerated = true;
        *deviceNumber = fDevice;
        return MI_OK;
    }));
}

int16_t TSimMfrc500::Mf500InterfaceOpen(uint32_t mode, uint32_t deviceNumber)
{
    return int16_t(Run("Mf500InterfaceOpen(" + Byte(mode) + ", " + Dec(deviceNumber) + ")", [&] {
        std::lock_guard lock(fMutex);
        if (!AttachedLocked() || deviceNumber != fDevice)
            return MI_NOREADER;
        if (fOpenResult)
            return *fOpenResult;
        const int16_t r = fOpen ? MI_ALREADYOPEN : MI_OK;
        fOpen = true;
        return r;
    }));
}

int16_t TSimMfrc500::Mf500PcdConfig()
{
    return int16_t(Run("Mf500PcdConfig()", [this] { return IsAttached() ? MI_OK : MI_NOREADER; }));
}

int16_t TSimMfrc500::Mf500PiccActivateIdle(uint8_t br, uint8_t *atq, uint8_t *sak, uint8_t *uid,
                                           uint8_t *uidLen)
{
    return int16_t(
        Run("Mf500PiccActivateIdle(" + Dec(br) + ", out, out, out, out)", [&]() -> int16_t {
            if (uidLen)
                *uidLen = 0;
            if (!IsAttached())
                return MI_NOREADER;
            if (!uid || !uidLen)
                return MI_WRONG_ADDR;
            return StatusOf(fField.Command([&](TSimCard &card) {
                const TSimResult r = card.Select();
                if (r != TSimResult::Ok)
                    return r;
                std::copy(card.Uid().begin(), card.Uid().end(), uid);
                *uidLen = uint8_t(card.Uid().size());
                if (atq) {
                    atq[0] = uint8_t(card.Atqa() & 0xFF);
                    atq[1] = uint8_t(card.Atqa() >> 8);
                }
                if (sak)
                    *sak = card.Sak();
                return r;
            }));
        }));
}

int16_t TSimMfrc500::Mf500PiccHalt()
{
    return int16_t(Run("Mf500PiccHalt()", [this]() -> int16_t {
        if (!IsAttached())
            return MI_NOREADER;
        fField.Command([](TSimCard &card) { return card.Halt(); });
        return MI_OK; // HLTA has no answer
    }));
}

int16_t TSimMfrc500::Mf500HostCodeKey(const uint8_t *key6, uint8_t *coded12)
{
    return int16_t(Run("Mf500HostCodeKey(" + Hex(key6, 6) + ", out)", [&]() -> int16_t {
        if (!key6 || !coded12)
            return MI_WRONG_ADDR;
        for (int i = 0; i < 6; ++i) {
            const uint8_t hi = key6[i] >> 4, lo = key6[i] & 0x0F;
            coded12[2 * i] = uint8_t((~hi & 0x0F) << 4 | hi);
            coded12[2 * i + 1] = uint8_t((~lo & 0x0F) << 4 | lo);
        }
        return MI_OK;
    }));
}

int16_t TSimMfrc500::Auth(uint8_t mode, const uint8_t *uid4, const uint8_t *key6, uint8_t block)
{
    if (mode != PICC_AUTHENT1A && mode != PICC_AUTHENT1B) {
        fField.Command([](TSimCard &card) {
            card.DropToIdle();
            return TSimResult::Ok;
        });
        return MI_WRONG_ADDR;
    }
    return StatusOf(fField.Command([&](TSimCard &card) {
        return card.Authenticate(block, mode == PICC_AUTHENT1B, uid4, key6);
    }));
}

int16_t TSimMfrc500::Mf500PiccAuthKey(uint8_t mode, const uint8_t *uid4, const uint8_t *coded12,
                                      uint8_t block)
{
    return int16_t(Run("Mf500PiccAuthKey(" + Byte(mode) + ", " + Hex(uid4, 4) + ", " +
                           Hex(coded12, 12) + ", " + Dec(block) + ")",
                       [&]() -> int16_t {
                           if (!IsAttached())
                               return MI_NOREADER;
                           if (!uid4 || !coded12)
                               return MI_WRONG_ADDR;
                           uint8_t key[6];
                           for (int i = 0; i < 6; ++i) {
                               const uint8_t a = coded12[2 * i], b = coded12[2 * i + 1];
                               if (((a >> 4) ^ (a & 0x0F)) != 0x0F ||
                                   ((b >> 4) ^ (b & 0x0F)) != 0x0F)
                                   return MI_KEYERR;
                               key[i] = uint8_t((a & 0x0F) << 4 | (b & 0x0F));
                           }
                           return Auth(mode, uid4, key, block);
                       }));
}

int16_t TSimMfrc500::Mf500PiccAuthE2(uint8_t mode, const uint8_t *uid4, uint8_t keySlot,
                                     uint8_t block)
{
    return int16_t(Run("Mf500PiccAuthE2(" + Byte(mode) + ", " + Hex(uid4, 4) + ", " + Dec(keySlot) +
                           ", " + Dec(block) + ")",
                       [&]() -> int16_t {
                           if (!IsAttached())
                               return MI_NOREADER;
                           if (!uid4 || keySlot >= KeySlots)
                               return MI_WRONG_ADDR;
                           std::array<uint8_t, 6> key;
                           {
                               std::lock_guard lock(fMutex);
                               key = fKeys[keySlot];
                           }
                           return Auth(mode, uid4, key.data(), block);
                       }));
}

int16_t TSimMfrc500::Mf500PiccRead(uint8_t block, uint8_t *data16)
{
    return int16_t(Run("Mf500PiccRead(" + Dec(block) + ", out)", [&]() -> int16_t {
        if (!IsAttached())
            return MI_NOREADER;
        if (!data16)
            return MI_WRONG_ADDR;
        return StatusOf(fField.Command([&](TSimCard &card) { return card.Read(block, data16); }));
    }));
}

int16_t TSimMfrc500::Mf500PiccWrite(uint8_t block, const uint8_t *data16)
{
    return int16_t(
        Run("Mf500PiccWrite(" + Dec(block) + ", " + Hex(data16, 16) + ")", [&]() -> int16_t {
            if (!IsAttached())
                return MI_NOREADER;
            if (!data16)
                return MI_WRONG_ADDR;
            return StatusOf(
                fField.Command([&](TSimCard &card) { return card.Write(block, data16); }));
        }));
}

int16_t TSimMfrc500::Mf500PcdLoadKeyE2(uint8_t keyType, uint8_t keySlot, const uint8_t *key6)
{
    return int16_t(
        Run("Mf500PcdLoadKeyE2(" + Dec(keyType) + ", " + Dec(keySlot) + ", " + Hex(key6, 6) + ")",
            [&]() -> int16_t {
                std::lock_guard lock(fMutex);
                if (!AttachedLocked())
                    return MI_NOREADER;
                if (!key6 || keySlot >= KeySlots)
                    return MI_WRONG_ADDR;
                auto keys = fKeys;
                std::copy(key6, key6 + 6, keys[keySlot].begin());
                if (!SaveLocked(fEeprom, keys))
                    return MI_EEPROMERR;
                fKeys = keys;
                return MI_OK;
            }));
}

int16_t TSimMfrc500::PcdWriteE2(uint16_t address, uint8_t length, const uint8_t *data)
{
    return int16_t(
        Run("PcdWriteE2(" + Byte(address) + ", " + Dec(length) + ", " + Hex(data, length) + ")",
            [&]() -> int16_t {
                std::lock_guard lock(fMutex);
                if (!AttachedLocked())
                    return MI_NOREADER;
                if (!data || address + length > EepromSize)
                    return MI_WRONG_ADDR;
                auto eeprom = fEeprom;
                std::copy(data, data + length, eeprom.begin() + address);
                if (!SaveLocked(eeprom, fKeys))
                    return MI_EEPROMERR;
                fEeprom = std::move(eeprom);
                return MI_OK;
            }));
}

int16_t TSimMfrc500::PcdReadE2(uint16_t address, uint8_t length, uint8_t *data)
{
    return int16_t(
        Run("PcdReadE2(" + Byte(address) + ", " + Dec(length) + ", out)", [&]() -> int16_t {
            std::lock_guard lock(fMutex);
            if (!AttachedLocked())
                return MI_NOREADER;
            if (!data || address + length > EepromSize)
                return MI_WRONG_ADDR;
            std::copy(fEeprom.begin() + address, fEeprom.begin() + address + length, data);
            return MI_OK;
        }));
}

// ---------------------------------------------------------------------------------------
// TSimRivlink

uint16_t TSimRivlink::StatusOf(TSimResult result)
{
    switch (result) {
    case TSimResult::Ok:
        return RL_OK;
    case TSimResult::NoCard:
        return RL_NO_CARD;
    case TSimResult::AuthFailed:
        return RL_AUTH_ERROR;
    case TSimResult::AccessDenied:
        return RL_ACCESS_ERROR;
    case TSimResult::NotAuthenticated:
        return RL_NOT_AUTH;
    case TSimResult::BadBlock:
        return RL_BAD_PARAM;
    }
    return RL_ACCESS_ERROR;
}

void TSimRivlink::ResetStore()
{
    fTagor.fill(0);
    fKeys.fill(TransportKey);
}

void TSimRivlink::SetSerial(const std::string &serial)
{
    std::lock_guard lock(fMutex);
    fSerial = serial;
}

std::string TSimRivlink::Serial() const
{
    std::lock_guard lock(fMutex);
    return fSerial;
}

void TSimRivlink::SetReaderCount(int count)
{
    std::lock_guard lock(fMutex);
    fReaderCount = std::clamp(count, 0, 255);
}

int TSimRivlink::ReaderCount() const
{
    std::lock_guard lock(fMutex);
    return fReaderCount;
}

bool TSimRivlink::RfFieldOn() const
{
    std::lock_guard lock(fMutex);
    return fFieldOn;
}

void TSimRivlink::SetStoreFile(const QString &path)
{
    std::lock_guard lock(fMutex);
    fStorePath = path;
    ResetStore();
    ReadStore(LoadStore(path), QStringLiteral("tagor-sim-nova 1"), QStringLiteral("tagor"), fTagor,
              fKeys);
}

bool TSimRivlink::SaveLocked(const std::array<uint8_t, 4> &tagor,
                             const std::array<std::array<uint8_t, 6>, KeySlots> &keys)
{
    return SaveStore(fStorePath, StoreLines(QStringLiteral("tagor-sim-nova 1"),
                                            QStringLiteral("tagor"), tagor.data(), 4, keys));
}

std::array<uint8_t, 4> TSimRivlink::TagorData() const
{
    std::lock_guard lock(fMutex);
    return fTagor;
}

std::array<uint8_t, 6> TSimRivlink::StoredKey(int keyNo) const
{
    std::lock_guard lock(fMutex);
    return fKeys.at(size_t(keyNo));
}

uint16_t TSimRivlink::Enumerate()
{
    return uint16_t(Run("Enumerate()", [this] {
        std::lock_guard lock(fMutex);
        return AttachedLocked() ? fReaderCount : 0;
    }));
}

uint16_t TSimRivlink::GetFirstReader(char *buffer, int size)
{
    return uint16_t(Run("GetFirstReader(out, " + Dec(size) + ")", [&]() -> int {
        std::lock_guard lock(fMutex);
        if (!AttachedLocked() || fReaderCount < 1)
            return RL_NO_READER;
        if (!buffer || size < 1)
            return RL_BAD_PARAM;
        const std::string name = "RW-Nova " + fSerial;
        const size_t n = std::min(name.size(), size_t(size - 1));
        std::memcpy(buffer, name.data(), n);
        buffer[n] = 0;
        return RL_OK;
    }));
}

uint16_t TSimRivlink::OpenByNum(uint16_t readerNumber)
{
    return uint16_t(Run("OpenByNum(" + Dec(readerNumber) + ")", [&]() -> int {
        std::lock_guard lock(fMutex);
        if (!AttachedLocked() || readerNumber >= fReaderCount)
            return RL_NO_READER;
        return RL_OK;
    }));
}

uint16_t TSimRivlink::GetReaderSerialStr(int readerNumber, char *buffer64)
{
    return uint16_t(Run("GetReaderSerialStr(" + Dec(readerNumber) + ", out)", [&]() -> int {
        std::lock_guard lock(fMutex);
        if (!AttachedLocked() || readerNumber < 0 || readerNumber >= fReaderCount)
            return RL_NO_READER;
        if (!buffer64)
            return RL_BAD_PARAM;
        std::string serial = fSerial;
        if (readerNumber > 0)
            serial += "-" + Dec(readerNumber);
        serial.resize(std::min(serial.size(), size_t(63)));
        std::memcpy(buffer64, serial.c_str(), serial.size() + 1);
        return RL_OK;
    }));
}

uint16_t TSimRivlink::RfFieldControl(uint8_t on)
{
    return uint16_t(Run("RfFieldControl(" + Dec(on) + ")", [&]() -> int {
        {
            std::lock_guard lock(fMutex);
            if (!AttachedLocked())
                return RL_NO_READER;
            fFieldOn = on != 0;
        }
        if (!on) // the card loses power
            fField.Command([](TSimCard &card) {
                card.LeaveField();
                return TSimResult::Ok;
            });
        return RL_OK;
    }));
}

uint16_t TSimRivlink::ActivateCardA3(uint8_t *uidLen, uint8_t *uid, uint8_t *sak, uint8_t *atqa)
{
    return uint16_t(
        Run("ActivateCardA3(" + (uidLen ? Dec(*uidLen) : std::string("null")) + ", out, out, out)",
            [&]() -> int {
                if (uidLen)
                    *uidLen = 0;
                if (!IsAttached())
                    return RL_NO_READER;
                if (!uid || !uidLen)
                    return RL_BAD_PARAM;
                if (!RfFieldOn())
                    return RL_NO_CARD;
                return StatusOf(fField.Command([&](TSimCard &card) {
                    const TSimResult r = card.Select();
                    if (r != TSimResult::Ok)
                        return r;
                    std::copy(card.Uid().begin(), card.Uid().end(), uid);
                    *uidLen = uint8_t(card.Uid().size());
                    if (sak)
                        *sak = card.Sak();
                    if (atqa) {
                        atqa[0] = uint8_t(card.Atqa() & 0xFF);
                        atqa[1] = uint8_t(card.Atqa() >> 8);
                    }
                    return r;
                }));
            }));
}

uint16_t TSimRivlink::HaltA()
{
    return uint16_t(Run("HaltA()", [this]() -> int {
        if (!IsAttached())
            return RL_NO_READER;
        if (RfFieldOn())
            fField.Command([](TSimCard &card) { return card.Halt(); });
        return RL_OK;
    }));
}

uint16_t TSimRivlink::Auth(uint8_t block, uint8_t mode, const uint8_t *uid4, const uint8_t *key6)
{
    if (!RfFieldOn())
        return RL_NO_CARD;
    if (mode != MODE_KEY_A && mode != MODE_KEY_B) {
        fField.Command([](TSimCard &card) {
            card.DropToIdle();
            return TSimResult::Ok;
        });
        return RL_BAD_PARAM;
    }
    return StatusOf(fField.Command(
        [&](TSimCard &card) { return card.Authenticate(block, mode == MODE_KEY_B, uid4, key6); }));
}

uint16_t TSimRivlink::MfcAuthenticateKey(uint8_t block, uint8_t mode, const uint8_t *uid4,
                                         const uint8_t *key6)
{
    return uint16_t(Run("MfcAuthenticateKey(" + Dec(block) + ", " + Byte(mode) + ", " +
                            Hex(uid4, 4) + ", " + Hex(key6, 6) + ")",
                        [&]() -> int {
                            if (!IsAttached())
                                return RL_NO_READER;
                            if (!uid4 || !key6)
                                return RL_BAD_PARAM;
                            return Auth(block, mode, uid4, key6);
                        }));
}

uint16_t TSimRivlink::MfcAuthentKeyNo(uint8_t block, uint8_t mode, const uint8_t *uid4,
                                      uint8_t keyNo, uint8_t reserved)
{
    return uint16_t(Run("MfcAuthentKeyNo(" + Dec(block) + ", " + Byte(mode) + ", " + Hex(uid4, 4) +
                            ", " + Dec(keyNo) + ", " + Dec(reserved) + ")",
                        [&]() -> int {
                            if (!IsAttached())
                                return RL_NO_READER;
                            if (!uid4 || keyNo >= KeySlots)
                                return RL_BAD_PARAM;
                            std::array<uint8_t, 6> key;
                            {
                                std::lock_guard lock(fMutex);
                                key = fKeys[keyNo];
                            }
                            return Auth(block, mode, uid4, key.data());
                        }));
}

uint16_t TSimRivlink::MfcReadBlock(uint8_t block, uint8_t *data16)
{
    return uint16_t(Run("MfcReadBlock(" + Dec(block) + ", out)", [&]() -> int {
        if (!IsAttached())
            return RL_NO_READER;
        if (!data16)
            return RL_BAD_PARAM;
        if (!RfFieldOn())
            return RL_NO_CARD;
        return StatusOf(fField.Command([&](TSimCard &card) { return card.Read(block, data16); }));
    }));
}

uint16_t TSimRivlink::MfcWriteBlock(uint16_t block, const uint8_t *data16)
{
    return uint16_t(Run("MfcWriteBlock(" + Dec(block) + ", " + Hex(data16, 16) + ")", [&]() -> int {
        if (!IsAttached())
            return RL_NO_READER;
        if (!data16)
            return RL_BAD_PARAM;
        if (!RfFieldOn())
            return RL_NO_CARD;
        return StatusOf(fField.Command([&](TSimCard &card) { return card.Write(block, data16); }));
    }));
}

uint16_t TSimRivlink::MfcStoreKeyE2(uint8_t keyNo, uint8_t keyType, const uint8_t *key6)
{
    return uint16_t(
        Run("MfcStoreKeyE2(" + Dec(keyNo) + ", " + Dec(keyType) + ", " + Hex(key6, 6) + ")",
            [&]() -> int {
                std::lock_guard lock(fMutex);
                if (!AttachedLocked())
                    return RL_NO_READER;
                if (!key6 || keyNo >= KeySlots)
                    return RL_BAD_PARAM;
                auto keys = fKeys;
                std::copy(key6, key6 + 6, keys[keyNo].begin());
                if (!SaveLocked(fTagor, keys))
                    return RL_STORE_ERROR;
                fKeys = keys;
                return RL_OK;
            }));
}

uint16_t TSimRivlink::InitReaderTagorData(uint8_t marker, uint8_t sector, uint8_t profile,
                                          uint8_t reserved)
{
    return uint16_t(Run("InitReaderTagorData(" + Byte(marker) + ", " + Dec(sector) + ", " +
                            Dec(profile) + ", " + Dec(reserved) + ")",
                        [&]() -> int {
                            std::lock_guard lock(fMutex);
                            if (!AttachedLocked())
                                return RL_NO_READER;
                            const std::array<uint8_t, 4> tagor{marker, sector, profile, reserved};
                            if (!SaveLocked(tagor, fKeys))
                                return RL_STORE_ERROR;
                            fTagor = tagor;
                            return RL_OK;
                        }));
}

uint16_t TSimRivlink::GetReaderTagorData(uint8_t *marker, uint8_t *sector, uint8_t *profile,
                                         uint8_t *reserved)
{
    return uint16_t(Run("GetReaderTagorData(out, out, out, out)", [&]() -> int {
        std::lock_guard lock(fMutex);
        if (!AttachedLocked())
            return RL_NO_READER;
        if (!marker || !sector || !profile || !reserved)
            return RL_BAD_PARAM;
        *marker = fTagor[0];
        *sector = fTagor[1];
        *profile = fTagor[2];
        *reserved = fTagor[3];
        return RL_OK;
    }));
}
