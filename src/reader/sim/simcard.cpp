#include "reader/sim/simcard.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <cstring>

namespace {

// Permission masks: which key may do something.
constexpr int KA = 1;
constexpr int KB = 2;
constexpr int KAB = KA | KB;

// Data blocks, indexed by C1C2C3 as a number.
constexpr int DataRead[8] = {KAB, KAB, KAB, KB, KAB, KB, KAB, 0};
constexpr int DataWrite[8] = {KAB, 0, 0, KB, KB, 0, KB, 0};

// Trailer, indexed by C1C2C3 as a number.
struct TTrailerRights
{
    int keyAWrite;
    int accessRead;
    int accessWrite;
    int keyBRead;
    int keyBWrite;
};
constexpr TTrailerRights TrailerRights[8] = {
    {KA, KA, 0, KA, KA},  // 000
    {KA, KA, KA, KA, KA}, // 001 (transport configuration)
    {0, KA, 0, KA, 0},    // 010
    {KB, KAB, KB, 0, KB}, // 011
    {KB, KAB, 0, 0, KB},  // 100
    {0, KAB, KB, 0, 0},   // 101
    {0, KAB, 0, 0, 0},    // 110
    {0, KAB, 0, 0, 0},    // 111
};

// Trailer conditions in which key B is readable and therefore no key.
bool KeyBReadable(int trailerBits)
{
    return TrailerRights[trailerBits].keyBRead != 0;
}

constexpr uint8_t TransportTrailer[16] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x07,
                                          0x80, 0x69, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
constexpr uint8_t ManufacturerData[8] = {'T', 'A', 'G', 'O', 'R', 'S', 'I', 'M'};

// Position (0..3) of a block's access bits within its sector's trailer.
int AccessGroup(int block)
{
    int sector = TSimCard::SectorOfBlock(block);
    int offset = block - TSimCard::FirstBlockOfSector(sector);
    if (TSimCard::BlocksInSector(sector) == 4)
        return offset;
    return offset == 15 ? 3 : offset / 5;
}

} // namespace

TSimCard::TSimCard(Type type, const std::vector<uint8_t> &uid)
    : fType(type), fUid(uid), fMemory(type == Type::Classic1K ? 1024 : 4096, 0)
{
    if (fUid.size() != 4 && fUid.size() != 7)
        fUid.resize(4, 0);
    for (int s = 0; s < SectorCount(); ++s)
        std::memcpy(&fMemory[TrailerOfSector(s) * BlockSize], TransportTrailer, BlockSize);
    WriteBlock0();
}

void TSimCard::WriteBlock0()
{
    uint8_t *b = fMemory.data();
    std::fill(b, b + BlockSize, 0);
    std::copy(fUid.begin(), fUid.end(), b);
    int pos = int(fUid.size());
    if (fUid.size() == 4)
        b[pos++] = fUid[0] ^ fUid[1] ^ fUid[2] ^ fUid[3];
    b[pos++] = Sak();
    b[pos++] = uint8_t(Atqa() & 0xFF);
    b[pos++] = uint8_t(Atqa() >> 8);
    for (int i = 0; pos < BlockSize; ++i)
        b[pos++] = ManufacturerData[i];
}

std::optional<TSimCard> TSimCard::FromDump(const std::vector<uint8_t> &dump, int uidLength)
{
    Type type;
    if (dump.size() == 1024)
        type = Type::Classic1K;
    else if (dump.size() == 4096)
        type = Type::Classic4K;
    else
        return std::nullopt;
    if (uidLength != 4 && uidLength != 7)
        uidLength = (dump[0] ^ dump[1] ^ dump[2] ^ dump[3]) == dump[4] ? 4 : 7;
    TSimCard card(type, std::vector<uint8_t>(dump.begin(), dump.begin() + uidLength));
    card.fMemory = dump;
    return card;
}

std::optional<TSimCard> TSimCard::LoadFile(const QString &path, int uidLength, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return std::nullopt;
    }
    const QByteArray bytes = file.read(4097);
    auto card = FromDump(std::vector<uint8_t>(bytes.begin(), bytes.end()), uidLength);
    if (!card && error)
        *error = QStringLiteral("not a 1K or 4K MIFARE Classic dump (%1 bytes)").arg(bytes.size());
    return card;
}

bool TSimCard::SaveFile(const QString &path, QString *error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(reinterpret_cast<const char *>(fMemory.data()), qint64(fMemory.size())) !=
            qint64(fMemory.size()) ||
        !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

std::array<uint8_t, 4> TSimCard::AuthUid() const
{
    std::array<uint8_t, 4> r{};
    const size_t first = fUid.size() == 4 ? 0 : 3;
    for (size_t i = 0; i < 4; ++i)
        r[i] = fUid[first + i];
    return r;
}

uint8_t TSimCard::Sak() const
{
    return fType == Type::Classic1K ? 0x08 : 0x18;
}

uint16_t TSimCard::Atqa() const
{
    uint16_t atqa = fType == Type::Classic1K ? 0x0004 : 0x0002;
    return fUid.size() == 7 ? uint16_t(atqa | 0x0040) : atqa;
}

std::array<uint8_t, 16> TSimCard::Block(int block) const
{
    std::array<uint8_t, 16> r{};
    if (block >= 0 && block < BlockCount())
        std::memcpy(r.data(), &fMemory[block * BlockSize], BlockSize);
    return r;
}

void TSimCard::SetBlock(int block, const std::array<uint8_t, 16> &data)
{
    if (block < 0 || block >= BlockCount())
        return;
    std::memcpy(&fMemory[block * BlockSize], data.data(), BlockSize);
    ++fRevision;
}

int TSimCard::SectorOfBlock(int block)
{
    return block < 128 ? block / 4 : 32 + (block - 128) / 16;
}

int TSimCard::FirstBlockOfSector(int sector)
{
    return sector < 32 ? sector * 4 : 128 + (sector - 32) * 16;
}

int TSimCard::BlocksInSector(int sector)
{
    return sector < 32 ? 4 : 16;
}

int TSimCard::TrailerOfSector(int sector)
{
    return FirstBlockOfSector(sector) + BlocksInSector(sector) - 1;
}

bool TSimCard::IsTrailer(int block)
{
    return block == TrailerOfSector(SectorOfBlock(block));
}

std::optional<int> TSimCard::AccessBits(int block) const
{
    const int sector = SectorOfBlock(block);
    if (SectorBlocked(sector))
        return std::nullopt;
    const uint8_t *t = &fMemory[TrailerOfSector(sector) * BlockSize];
    const int g = AccessGroup(block);
    const int c1 = (t[7] >> (4 + g)) & 1;
    const int c2 = (t[8] >> g) & 1;
    const int c3 = (t[8] >> (4 + g)) & 1;
    return c1 << 2 | c2 << 1 | c3;
}

bool TSimCard::SectorBlocked(int sector) const
{
    const uint8_t *t = &fMemory[TrailerOfSector(sector) * BlockSize];
    const int nC1 = t[6] & 0x0F, nC2 = t[6] >> 4, nC3 = t[7] & 0x0F;
    const int c1 = t[7] >> 4, c2 = t[8] & 0x0F, c3 = t[8] >> 4;
    return (c1 ^ nC1) != 0x0F || (c2 ^ nC2) != 0x0F || (c3 ^ nC3) != 0x0F;
}

std::array<uint8_t, 3> TSimCard::EncodeAccessBits(int c0, int c1, int c2, int trailer)
{
    const int conds[4] = {c0, c1, c2, trailer};
    int C1 = 0, C2 = 0, C3 = 0;
    for (int g = 0; g < 4; ++g) {
        C1 |= ((conds[g] >> 2) & 1) << g;
        C2 |= ((conds[g] >> 1) & 1) << g;
        C3 |= (conds[g] & 1) << g;
    }
    return {uint8_t((~C2 & 0x0F) << 4 | (~C1 & 0x0F)), uint8_t(C1 << 4 | (~C3 & 0x0F)),
            uint8_t(C3 << 4 | C2)};
}

void TSimCard::DropToIdle()
{
    fSelected = false;
    fAuthSector = -1;
    fAuthKeyB = false;
}

TSimResult TSimCard::Fail(TSimResult result)
{
    DropToIdle();
    return result;
}

TSimResult TSimCard::Select()
{
    fAuthSector = -1;
    fAuthKeyB = false;
    if (fHalted) {
        fSelected = false;
        return TSimResult::NoCard;
    }
    fSelected = true;
    return TSimResult::Ok;
}

TSimResult TSimCard::Authenticate(int block, bool keyB, const uint8_t *uid4, const uint8_t *key6)
{
    if (!fSelected)
        return Fail(TSimResult::NoCard);
    if (block < 0 || block >= BlockCount())
        return Fail(TSimResult::BadBlock);
    const int sector = SectorOfBlock(block);
    if (SectorBlocked(sector))
        return Fail(TSimResult::AuthFailed);
    const auto expectedUid = AuthUid();
    if (!std::equal(expectedUid.begin(), expectedUid.end(), uid4))
        return Fail(TSimResult::AuthFailed);
    const uint8_t *t = &fMemory[TrailerOfSector(sector) * BlockSize];
    if (!std::equal(key6, key6 + 6, keyB ? t + 10 : t))
        return Fail(TSimResult::AuthFailed);
    fAuthSector = sector;
    fAuthKeyB = keyB;
    return TSimResult::Ok;
}

TSimResult TSimCard::CheckAccess(int block)
{
    if (!fSelected)
        return Fail(TSimResult::NoCard);
    if (block < 0 || block >= BlockCount())
        return Fail(TSimResult::BadBlock);
    const int sector = SectorOfBlock(block);
    if (fAuthSector != sector)
        return Fail(TSimResult::NotAuthenticated);
    const auto trailerBits = AccessBits(TrailerOfSector(sector));
    if (!trailerBits)
        return Fail(TSimResult::AccessDenied);
    if (fAuthKeyB && KeyBReadable(*trailerBits))
        return Fail(TSimResult::AccessDenied);
    return TSimResult::Ok;
}

TSimResult TSimCard::Read(int block, uint8_t *data16)
{
    if (TSimResult r = CheckAccess(block); r != TSimResult::Ok)
        return r;
    const int key = fAuthKeyB ? KB : KA;
    const int bits = *AccessBits(block);
    const uint8_t *src = &fMemory[block * BlockSize];
    if (!IsTrailer(block)) {
        if (!(DataRead[bits] & key))
            return Fail(TSimResult::AccessDenied);
        std::memcpy(data16, src, BlockSize);
        return TSimResult::Ok;
    }
    const TTrailerRights &rights = TrailerRights[bits];
    if (!(rights.accessRead & key) && !(rights.keyBRead & key))
        return Fail(TSimResult::AccessDenied);
    std::memset(data16, 0, BlockSize); // key A never reads back
    if (rights.accessRead & key)
        std::memcpy(data16 + 6, src + 6, 4);
    if (rights.keyBRead & key)
        std::memcpy(data16 + 10, src + 10, 6);
    return TSimResult::Ok;
}

TSimResult TSimCard::Write(int block, const uint8_t *data16)
{
    if (TSimResult r = CheckAccess(block); r != TSimResult::Ok)
        return r;
    if (block == 0)
        return Fail(TSimResult::AccessDenied);
    const int key = fAuthKeyB ? KB : KA;
    const int bits = *AccessBits(block);
    uint8_t *dst = &fMemory[block * BlockSize];
    if (!IsTrailer(block)) {
        if (!(DataWrite[bits] & key))
            return Fail(TSimResult::AccessDenied);
        std::memcpy(dst, data16, BlockSize);
        ++fRevision;
        return TSimResult::Ok;
    }
    const TTrailerRights &rights = TrailerRights[bits];
    const bool keyA = rights.keyAWrite & key, access = rights.accessWrite & key,
               keyBw = rights.keyBWrite & key;
    if (!keyA && !access && !keyBw)
        return Fail(TSimResult::AccessDenied);
    if (keyA)
        std::memcpy(dst, data16, 6);
    if (access)
        std::memcpy(dst + 6, data16 + 6, 4);
    if (keyBw)
        std::memcpy(dst + 10, data16 + 10, 6);
    ++fRevision;
    return TSimResult::Ok;
}

TSimResult TSimCard::Halt()
{
    // HLTA has no answer; an idle card simply ignores it.
    if (fSelected)
        fHalted = true;
    fSelected = false;
    fAuthSector = -1;
    fAuthKeyB = false;
    return TSimResult::Ok;
}

void TSimCard::LeaveField()
{
    fSelected = false;
    fHalted = false;
    fAuthSector = -1;
    fAuthKeyB = false;
}
