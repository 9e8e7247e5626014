// The card operations of TSecProfile: issue, erase, master card, move, reader
// programming and card read, through whichever reader family is open.

#include "cards/cardengine.h"
#include "cards/cardlayout.h"
#include "profiles/DatUtils.h"
#include "profiles/secprofiles.h"
#include "reader/Rivlink_h.h"
#include "reader/delay.h"
#include "reader/mfrc500.h"
#include "reader/readerkind.h"

#include <cstring>
#include <mutex>

using namespace CardLayout;

namespace CardEngine {

namespace {
std::mutex sourceLock;
NumberSource nextNumberSource;
} // namespace

void SetNextNumberSource(NumberSource source)
{
    std::lock_guard lock(sourceLock);
    nextNumberSource = std::move(source);
}

int64_t NextCardNumber()
{
    NumberSource source;
    {
        std::lock_guard lock(sourceLock);
        source = nextNumberSource;
    }
    return source ? source() : GetMaxCardNum();
}

} // namespace CardEngine

namespace {

constexpr uint8_t KeyModeA = 0;
constexpr uint8_t KeyModeB = 1;

// The four card commands of the sequences, on one reader family. Statuses come back
// widened to 32 bits the family's way: MF RC500 with its sign, Rivlink with zeros.
class TCardPort
{
public:
    virtual ~TCardPort() = default;
    virtual int32_t Authenticate(uint8_t keyMode, int64_t key, const TUid4 &uid4,
                                 uint8_t block) = 0;
    virtual int32_t Read(uint8_t block, uint8_t *data16) = 0;
    virtual int32_t Write(uint8_t block, const TBlock &data) = 0;
    virtual void Halt() = 0;
};

class TAltoPort final : public TCardPort
{
public:
    explicit TAltoPort(TMfrc500Library *lib) : lib(lib) {}

    int32_t Authenticate(uint8_t keyMode, int64_t key, const TUid4 &uid4, uint8_t block) override
    {
        const TKey bytes = KeyBytes(key);
        uint8_t coded[12] = {};
        int32_t status = lib->Mf500HostCodeKey(bytes.data(), coded);
        if (status != 0)
            return status;
        const uint8_t mode =
            keyMode == KeyModeA ? mfrc500::PICC_AUTHENT1A : mfrc500::PICC_AUTHENT1B;
        return lib->Mf500PiccAuthKey(mode, uid4.data(), coded, block);
    }
    int32_t Read(uint8_t block, uint8_t *data16) override
    {
        return lib->Mf500PiccRead(block, data16);
    }
    int32_t Write(uint8_t block, const TBlock &data) override
    {
        return lib->Mf500PiccWrite(block, data.data());
    }
    void Halt() override { lib->Mf500PiccHalt(); }

private:
    TMfrc500Library *lib;
};

class TNovaPort final : public TCardPort
{
public:
    explicit TNovaPort(TRivlinkLibrary *lib) : lib(lib) {}

    int32_t Authenticate(uint8_t keyMode, int64_t key, const TUid4 &uid4, uint8_t block) override
    {
        const TKey bytes = KeyBytes(key);
        const uint8_t mode = keyMode == KeyModeA ? rivlink::MODE_KEY_A : rivlink::MODE_KEY_B;
        return lib->MfcAuthenticateKey(block, mode, uid4.data(), bytes.data());
    }
    int32_t Read(uint8_t block, uint8_t *data16) override
    {
        return lib->MfcReadBlock(block, data16);
    }
    int32_t Write(uint8_t block, const TBlock &data) override
    {
        return lib->MfcWriteBlock(block, data.data());
    }
    void Halt() override { lib->HaltA(); }

private:
    TRivlinkLibrary *lib;
};

// The port of the open reader, or none.
struct TOpenPort
{
    TAltoPort alto{nullptr};
    TNovaPort nova{nullptr};
    TCardPort *port = nullptr;
    int kind = READER_NONE;

    TOpenPort()
    {
        kind = ReaderKind.load();
        if (kind == READER_ALTO && Mfrc500()) {
            alto = TAltoPort(Mfrc500());
            port = &alto;
        } else if (kind == READER_NOVA && Rivlink()) {
            nova = TNovaPort(Rivlink());
            port = &nova;
        }
    }
};

const TBlock ZeroBlock{};

} // namespace

int32_t TSecProfile::WriteCard(PSerialNumber snr, int64_t CardNum, uint8_t slen)
{
    TOpenPort open;
    if (!open.port)
        return CardEngine::NoReader;
    TCardPort &card = *open.port;
    const TUid4 uid4 = Uid4(snr->data(), slen);

    if (int32_t status = card.Authenticate(KeyModeA, TransportKey, uid4, BlockOf(Sector, 0)))
        return status;
    Delay::Sleep(CardEngine::IssueWait);
    if (!UseOriginalId()) {
        if (int32_t status = card.Write(BlockOf(Sector, 0), NumberBlock(CardNum)))
            return status;
    }
    Delay::Sleep(CardEngine::IssueWait);
    if (int32_t status = card.Write(BlockOf(Sector, 3), UserTrailer(KeyA, KeyB)))
        return status;
    card.Halt();
    return 0;
}

int32_t TSecProfile::EraseCard(PSerialNumber snr, uint8_t slen)
{
    TOpenPort open;
    if (!open.port)
        return CardEngine::NoReader;
    TCardPort &card = *open.port;
    const TUid4 uid4 = Uid4(snr->data(), slen);

    if (int32_t status = card.Authenticate(KeyModeB, KeyB, uid4, BlockOf(Sector, 0)))
        return status;
    if (!UseOriginalId()) {
        if (int32_t status = card.Write(BlockOf(Sector, 0), ZeroBlock))
            return status;
    }
    if (int32_t status = card.Write(BlockOf(Sector, 1), ZeroBlock))
        return status;
    if (int32_t status = card.Write(BlockOf(Sector, 3), TransportTrailer()))
        return status;
    card.Halt();
    return 0;
}

int32_t TSecProfile::WriteMaster(TSecProfile *NewProfile, PSerialNumber snr, int64_t CardNum,
                                 uint8_t slen)
{
    TOpenPort open;
    if (!open.port)
        return CardEngine::NoReader;
    TCardPort &card = *open.port;
    const TUid4 uid4 = Uid4(snr->data(), slen);

    if (int32_t status = card.Authenticate(KeyModeA, TransportKey, uid4, BlockOf(Sector, 0)))
        return status;
    if (int32_t status = card.Write(BlockOf(Sector, 0), MasterNumberBlock(CardNum)))
        return status;
    const TBlock data = MasterDataBlock(NewProfile->KeyA, NewProfile->KeyB, NewProfile->Sector);
    if (int32_t status = card.Write(BlockOf(Sector, 1), data))
        return status;
    if (int32_t status = card.Write(BlockOf(Sector, 3), UserTrailer(KeyA, KeyB)))
        return status;
    card.Halt();
    return 0;
}

int32_t TSecProfile::ReWriteCard(TSecProfile *NewProfile, PSerialNumber snr, int64_t &CardNum,
                                 uint8_t slen)
{
    TOpenPort open;
    if (!open.port)
        return CardEngine::NoReader;
    TCardPort &card = *open.port;
    const TUid4 uid4 = Uid4(snr->data(), slen);
    const uint8_t s0 = Sector;
    const uint8_t s1 = NewProfile->Sector;
    // Readers programmed for the target profile, and the readers a master card switches,
    // look for the card in the target profile's own sector.
    const uint8_t t = s1;

    // The card's number: from the source number block, or the next free number when the
    // source profile identifies cards by their own ID.
    int64_t number = 0;
    if (!UseOriginalId()) {
        if (int32_t status = card.Authenticate(KeyModeA, KeyA, uid4, BlockOf(s0, 0)))
            return status;
        uint8_t block[16] = {};
        if (int32_t status = card.Read(BlockOf(s0, 0), block))
            return status;
        if (!DecodeNumberBlock(block, number))
            return CardEngine::BadCheckByte;
    } else {
        // The register is read on the worker thread; a failure must not escape into it.
        try {
            number = CardEngine::NextCardNumber();
        } catch (...) {
            return CardEngine::NoCardNumber;
        }
    }
    CardNum = number;

    // Release the source sector.
    if (int32_t status = card.Authenticate(KeyModeB, KeyB, uid4, BlockOf(s0, 0)))
        return status;
    if (s0 != 0) {
        if (int32_t status = card.Write(BlockOf(s0, 0), ZeroBlock))
            return status;
        if (open.kind == READER_ALTO) {
            Delay::Sleep(CardEngine::MoveWait);
            if (int32_t status = card.Write(BlockOf(s0, 1), ZeroBlock))
                return status;
        }
    }
    if (int32_t status = card.Write(BlockOf(s0, 3), TransportTrailer()))
        return status;

    // Issue the card under the target profile.
    const TBlock numberBlock = NumberBlock(CardNum);
    Delay::Sleep(CardEngine::MoveWait);
    if (int32_t status = card.Authenticate(KeyModeA, TransportKey, uid4, BlockOf(t, 0)))
        return status;
    if (s1 != 0) {
        Delay::Sleep(CardEngine::MoveWait);
        if (int32_t status = card.Write(BlockOf(t, 0), numberBlock))
            return status;
    }
    Delay::Sleep(CardEngine::MoveWait);
    if (int32_t status = card.Write(BlockOf(t, 3), UserTrailer(NewProfile->KeyA, NewProfile->KeyB)))
        return status;
    card.Halt();
    return 0;
}

int32_t TSecProfile::PrepareReader()
{
    const TKey keyA = KeyBytes(KeyA);
    const uint8_t profileNumber = uint8_t(ID() & 0xFF);
    switch (ReaderKind.load()) {
    case READER_ALTO: {
        TMfrc500Library *lib = Mfrc500();
        if (!lib)
            return CardEngine::NoReader;
        // RW-Alto: the key first, then the profile record.
        if (lib->Mf500PcdLoadKeyE2(0, 0, keyA.data()) != 0)
            return CardEngine::AltoNotStored;
        const uint8_t record[4] = {CardEngine::ReaderMarker, profileNumber, Sector, 0};
        if (lib->PcdWriteE2(CardEngine::ReaderRecordAddress, 4, record) != 0)
            return CardEngine::AltoNotStored;
        return 0;
    }
    case READER_NOVA: {
        TRivlinkLibrary *lib = Rivlink();
        if (!lib)
            return CardEngine::NoReader;
        // RW-Nova: the profile record first, then the key.
        if (int32_t status =
                lib->InitReaderTagorData(CardEngine::ReaderMarker, Sector, profileNumber, 0))
            return status;
        return lib->MfcStoreKeyE2(0, 1, keyA.data());
    }
    default:
        return CardEngine::NoReader;
    }
}

namespace {

// Sector numbers a profile record can name; beyond them 4s is no block of any card.
constexpr uint8_t MaxRecordSector = 63;

int32_t ReadCardAlto(TMfrc500Library *lib, PCradIds Ids)
{
    uint8_t record[5] = {};
    int32_t result = 0;
    if (lib->PcdReadE2(CardEngine::ReaderRecordAddress, 5, record) != 0)
        result = CardEngine::AltoEepromUnreadable;
    else if (record[0] != CardEngine::ReaderMarker || record[2] > MaxRecordSector)
        result = CardEngine::AltoNotProgrammed;
    else {
        const uint8_t s = record[2];
        uint8_t atq[2] = {};
        uint8_t sak = 0;
        uint8_t uid[10] = {};
        uint8_t uidLen = 0;
        if (lib->Mf500PiccActivateIdle(0, atq, &sak, uid, &uidLen) != 0 || uidLen == 0) {
            result = CardEngine::NoCard;
        } else {
            std::memcpy(Ids->Id1, uid, sizeof Ids->Id1);
            Ids->Id1Len = uidLen;
            const TUid4 uid4 = Uid4(uid, uidLen);
            uint8_t block[16] = {};
            if (lib->Mf500PiccAuthE2(mfrc500::PICC_AUTHENT1A, uid4.data(), 0, BlockOf(s, 0)) != 0)
                result = CardEngine::AltoAuthFailed;
            else if (int32_t status = lib->Mf500PiccRead(BlockOf(s, 0), block))
                result = status;
            else {
                std::memcpy(Ids->Id2, block, 4);
                Ids->Id2Len = 4;
            }
        }
    }
    // Halted in every case, so a card lying on the reader is read once per presentation.
    lib->Mf500PiccHalt();
    return result;
}

int32_t ReadCardNova(TRivlinkLibrary *lib, PCradIds Ids)
{
    uint8_t marker = 0, s = 0, profile = 0, fourth = 0;
    int32_t result = 0;
    if (int32_t status = lib->GetReaderTagorData(&marker, &s, &profile, &fourth))
        result = status;
    else if (marker != CardEngine::ReaderMarker || s > MaxRecordSector)
        result = CardEngine::NovaNotProgrammed;
    else {
        uint8_t uid[10] = {};
        uint8_t uidLen = 0;
        uint8_t sak = 0;
        uint8_t atqa[4] = {};
        if (lib->ActivateCardA3(&uidLen, uid, &sak, atqa) != 0) {
            result = CardEngine::NoCard;
        } else {
            std::memcpy(Ids->Id1, uid, sizeof Ids->Id1);
            Ids->Id1Len = uidLen;
            const TUid4 uid4 = Uid4(uid, uidLen);
            uint8_t block[16] = {};
            if (lib->MfcAuthentKeyNo(BlockOf(s, 0), rivlink::MODE_KEY_A, uid4.data(), 0, 0) != 0)
                result = CardEngine::NovaAuthFailed;
            else if (int32_t status = lib->MfcReadBlock(BlockOf(s, 0), block))
                result = status;
            else {
                std::memcpy(Ids->Id2, block, 4);
                Ids->Id2Len = 4;
            }
        }
    }
    lib->HaltA();
    return result;
}

} // namespace

int32_t TSecProfile::ReadCard(PCradIds Ids)
{
    switch (ReaderKind.load()) {
    case READER_ALTO:
        if (TMfrc500Library *lib = Mfrc500())
            return ReadCardAlto(lib, Ids);
        break;
    case READER_NOVA:
        if (TRivlinkLibrary *lib = Rivlink())
            return ReadCardNova(lib, Ids);
        break;
    default:
        break;
    }
    return CardEngine::NovaNotProgrammed;
}
