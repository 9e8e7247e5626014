// What the card operations leave on a simulated Mifare Classic card and in the reader,
// on both reader families: issue, erase, master card, move, reader programming and read.

#include "cards/cardengine.h"
#include "cards/cardlayout.h"
#include "profiles/DatUtils.h"
#include "profiles/secprofiles.h"
#include "reader/delay.h"
#include "reader/readerkind.h"
#include "reader/sim/simbinding.h"
#include "simfamilytest.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace CardLayout;

namespace {

TBlock Pattern(uint8_t seed)
{
    TBlock b{};
    for (size_t i = 0; i < b.size(); ++i)
        b[i] = uint8_t(seed + i);
    return b;
}

} // namespace

class TstCardContent : public QObject, public TSimFamily
{
    Q_OBJECT

    std::unique_ptr<TSecProfile> staff;  // sector 1
    std::unique_ptr<TSecProfile> guests; // sector 2
    std::unique_ptr<TSecProfile> rival;  // sector 1, other keys

    // Selects the card the way the worker does; the UID and its length.
    bool Select(TSerialNumber &snr, uint8_t &slen)
    {
        uint8_t uid[10] = {};
        uint8_t len = 0;
        int status;
        if (family == Alto) {
            uint8_t atq[2], sak;
            status = sim->Alto().Mf500PiccActivateIdle(0, atq, &sak, uid, &len);
        } else {
            uint8_t sak, atqa[4];
            status = sim->Nova().ActivateCardA3(&len, uid, &sak, atqa);
        }
        std::copy(uid, uid + 7, snr.begin());
        slen = len;
        return status == 0 && len != 0;
    }
    TSimCard Card() const { return *sim->Field().Card(); }
    TBlock Block(int b) const { return Card().Block(b); }
    int AuthError() const { return family == Alto ? mfrc500::MI_AUTHERR : rivlink::RL_AUTH_ERROR; }
    int NoTag() const { return family == Alto ? mfrc500::MI_NOTAGERR : rivlink::RL_NO_CARD; }
    // The card leaves the field after the n-th library call of the next operation (the
    // selection that precedes it not counted).
    void ArmRemoval(int n)
    {
        if (family == Alto)
            sim->Alto().RemoveCardAfterCall(n + 1);
        else
            sim->Nova().RemoveCardAfterCall(n + 1);
    }
    std::optional<TSimCard> Removed() const
    {
        return family == Alto ? sim->Alto().RemovedCard() : sim->Nova().RemovedCard();
    }

    int32_t Issue(TSecProfile &p, int64_t number)
    {
        TSerialNumber snr{};
        uint8_t slen = 0;
        if (!Select(snr, slen))
            return -1000;
        return p.WriteCard(&snr, number, slen);
    }
    int32_t Erase(TSecProfile &p)
    {
        TSerialNumber snr{};
        uint8_t slen = 0;
        if (!Select(snr, slen))
            return -1000;
        return p.EraseCard(&snr, slen);
    }
    int32_t Move(TSecProfile &from, TSecProfile &to, int64_t &number)
    {
        TSerialNumber snr{};
        uint8_t slen = 0;
        if (!Select(snr, slen))
            return -1000;
        return from.ReWriteCard(&to, &snr, number, slen);
    }
    int32_t Master(TSecProfile &p, TSecProfile &target, int64_t number)
    {
        TSerialNumber snr{};
        uint8_t slen = 0;
        if (!Select(snr, slen))
            return -1000;
        return p.WriteMaster(&target, &snr, number, slen);
    }

private slots:
    void initTestCase()
    {
        // The waits of the sequences are checked elsewhere; here they only cost time.
        Delay::SetHook([](unsigned) {});
    }
    void cleanupTestCase() { Delay::SetHook({}); }
    void init()
    {
        sim = std::make_unique<TSimulator>();
        sim->Bind();
        staff = Profile(3, 1, 0x0123456789ABLL, 0xA1B2C3D4E5F6LL);
        guests = Profile(4, 2, 0x111111111111LL, 0x222222222222LL);
        rival = Profile(5, 1, 0x0123456789ABLL, 0x0BADC0FFEE00LL);
        CardEngine::SetNextNumberSource({});
    }
    void cleanup()
    {
        BindMfrc500(nullptr);
        BindRivlink(nullptr);
        ReaderKind = READER_NONE;
        CardEngine::SetNextNumberSource({});
        sim.reset();
    }

    void families_data()
    {
        QTest::addColumn<int>("f");
        QTest::newRow("RW-Alto") << Alto;
        QTest::newRow("RW-Nova") << Nova;
    }

    void userTrailerGrantsWhatTheLayoutSays();
    void issueAndErase_data() { families_data(); }
    void issueAndErase();
    void secondIssueFailsAtAuthentication_data() { families_data(); }
    void secondIssueFailsAtAuthentication();
    void eraseWithWrongKeyBChangesNothing_data() { families_data(); }
    void eraseWithWrongKeyBChangesNothing();
    void ownIdAndSectorZero_data() { families_data(); }
    void ownIdAndSectorZero();
    void masterCard_data() { families_data(); }
    void masterCard();
    void moves_data() { families_data(); }
    void moves();
    void moveWithBadCheckByteKeepsTheCard_data() { families_data(); }
    void moveWithBadCheckByteKeepsTheCard();
    void moveFromOwnIdSourceTakesTheRegistersNumber_data() { families_data(); }
    void moveFromOwnIdSourceTakesTheRegistersNumber();
    void programAndRead_data() { families_data(); }
    void programAndRead();
    void sevenByteUidThroughEveryOperation_data() { families_data(); }
    void sevenByteUidThroughEveryOperation();
    void tornWrites_data() { families_data(); }
    void tornWrites();
};

// The access bytes of the user trailer are condition 100 for the data blocks and 011
// for the trailer in the card's own reading of them.
void TstCardContent::userTrailerGrantsWhatTheLayoutSays()
{
    const auto bits = TSimCard::EncodeAccessBits(4, 4, 4, 3);
    QCOMPARE((std::array<uint8_t, 3>{UserAccess[0], UserAccess[1], UserAccess[2]}), bits);
    const auto transport = TSimCard::EncodeAccessBits(0, 0, 0, 1);
    QCOMPARE((std::array<uint8_t, 3>{TransportAccess[0], TransportAccess[1], TransportAccess[2]}),
             transport);
}

void TstCardContent::issueAndErase()
{
    QFETCH(int, f);
    Use(f);
    Put();
    TSimCard blank = Card();
    blank.SetBlock(5, Pattern(0x50));
    blank.SetBlock(6, Pattern(0x60));
    sim->Field().TakeCard();
    QVERIFY(sim->Field().PutCard(blank));

    QCOMPARE(Issue(*staff, 4096), 0);
    QVERIFY(Card().IsHalted());
    QCOMPARE(Bytes(Block(4)), Bytes(NumberBlock(4096)));
    QCOMPARE(Bytes(Block(5)), Bytes(Pattern(0x50))); // not written by issue
    QCOMPARE(Bytes(Block(6)), Bytes(Pattern(0x60)));
    QCOMPARE(Bytes(Block(7)), Bytes(UserTrailer(staff->KeyA, staff->KeyB)));
    QCOMPARE(Card().AccessBits(4), std::optional<int>(4));
    QCOMPARE(Card().AccessBits(7), std::optional<int>(3));
    // Every other sector is still factory fresh.
    QCOMPARE(Bytes(Block(11)), Bytes(TransportTrailer()));

    // A card issued in sector 1 can be issued in sector 2 as well.
    Represent();
    QCOMPARE(Issue(*guests, 5000), 0);
    QCOMPARE(Bytes(Block(8)), Bytes(NumberBlock(5000)));
    QCOMPARE(Bytes(Block(4)), Bytes(NumberBlock(4096)));

    Represent();
    QCOMPARE(Erase(*staff), 0);
    QVERIFY(Card().IsHalted());
    QCOMPARE(Bytes(Block(4)), Bytes(TBlock{}));
    QCOMPARE(Bytes(Block(5)), Bytes(TBlock{}));
    QCOMPARE(Bytes(Block(6)), Bytes(Pattern(0x60))); // never touched
    QCOMPARE(Bytes(Block(7)), Bytes(TransportTrailer()));
    QCOMPARE(Bytes(Block(8)), Bytes(NumberBlock(5000))); // the other profile's sector stays

    // Erased, the sector takes a new issue.
    Represent();
    QCOMPARE(Issue(*staff, 4097), 0);
    QCOMPARE(Bytes(Block(4)), Bytes(NumberBlock(4097)));
}

void TstCardContent::secondIssueFailsAtAuthentication()
{
    QFETCH(int, f);
    Use(f);
    Put();
    QCOMPARE(Issue(*staff, 4096), 0);
    Represent();
    const std::vector<uint8_t> before = Card().Dump();
    // The first issue replaced the transport keys: the same or another profile of the
    // sector cannot issue it again, nor can it become a master card.
    QCOMPARE(Issue(*staff, 5000), AuthError());
    QCOMPARE(Issue(*rival, 5000), AuthError());
    QCOMPARE(Master(*staff, *guests, 5000), AuthError());
    QVERIFY(Card().Dump() == before);
    QVERIFY(!Card().IsHalted());
}

void TstCardContent::eraseWithWrongKeyBChangesNothing()
{
    QFETCH(int, f);
    Use(f);
    Put();
    const std::vector<uint8_t> blank = Card().Dump();
    // A blank card does not open with the profile's key B.
    QCOMPARE(Erase(*staff), AuthError());
    QVERIFY(Card().Dump() == blank);

    QCOMPARE(Issue(*staff, 4096), 0);
    Represent();
    const std::vector<uint8_t> issued = Card().Dump();
    QCOMPARE(Erase(*rival), AuthError());
    QVERIFY(Card().Dump() == issued);
}

void TstCardContent::ownIdAndSectorZero()
{
    QFETCH(int, f);
    Use(f);
    Put();
    TSimCard card = Card();
    card.SetBlock(1, Pattern(0x10));
    card.SetBlock(12, Pattern(0xC0));
    sim->Field().TakeCard();
    QVERIFY(sim->Field().PutCard(card));
    const TBlock manufacturer = Block(0);

    auto own3 = Profile(6, 3, 0x0A0B0C0D0E0FLL, 0x1A1B1C1D1E1FLL, true);
    auto own0 = Profile(7, 0, 0x2A2B2C2D2E2FLL, 0x3A3B3C3D3E3FLL, true);

    // Own-id issue writes only the trailer; the number is ignored.
    QCOMPARE(Issue(*own3, 4096), 0);
    QCOMPARE(Bytes(Block(12)), Bytes(Pattern(0xC0)));
    QCOMPARE(Bytes(Block(15)), Bytes(UserTrailer(own3->KeyA, own3->KeyB)));

    Represent();
    QCOMPARE(Issue(*own0, 4096), 0);
    QCOMPARE(Bytes(Block(0)), Bytes(manufacturer));
    QCOMPARE(Bytes(Block(1)), Bytes(Pattern(0x10)));
    QCOMPARE(Bytes(Block(3)), Bytes(UserTrailer(own0->KeyA, own0->KeyB)));

    // Own-id erase clears the second block and restores the trailer; block 4s stays.
    Represent();
    QCOMPARE(Erase(*own3), 0);
    QCOMPARE(Bytes(Block(12)), Bytes(Pattern(0xC0)));
    QCOMPARE(Bytes(Block(13)), Bytes(TBlock{}));
    QCOMPARE(Bytes(Block(15)), Bytes(TransportTrailer()));

    Represent();
    QCOMPARE(Erase(*own0), 0);
    QCOMPARE(Bytes(Block(0)), Bytes(manufacturer));
    QCOMPARE(Bytes(Block(1)), Bytes(TBlock{}));
    QCOMPARE(Bytes(Block(3)), Bytes(TransportTrailer()));
}

void TstCardContent::masterCard()
{
    QFETCH(int, f);
    Use(f);
    Put();
    auto transport = Profile(2, 1, TransportKey, TransportKey);
    // A master card of the staff profile switching readers to the guests profile.
    QCOMPARE(Master(*staff, *guests, 4096), 0);
    QVERIFY(Card().IsHalted());
    QCOMPARE(Bytes(Block(4)), Bytes(MasterNumberBlock(4096)));
    QCOMPARE(Bytes(Block(5)), Bytes(MasterDataBlock(guests->KeyA, guests->KeyB, 2)));
    QCOMPARE(Bytes(Block(7)), Bytes(UserTrailer(staff->KeyA, staff->KeyB)));

    // One for a target with the transport keys in sector 1, in sector 2 of another card.
    sim->Field().TakeCard();
    Put();
    QCOMPARE(Master(*guests, *transport, 4100), 0);
    const QByteArray expected = QByteArray::fromHex("FFFFFFFFFFFFFFFFFFFFFFFF010000A4").toHex(' ');
    QCOMPARE(Bytes(Block(9)), expected);
}

void TstCardContent::moves()
{
    QFETCH(int, f);
    Use(f);
    Put();
    TSimCard card = Card();
    card.SetBlock(5, Pattern(0x50));
    sim->Field().TakeCard();
    QVERIFY(sim->Field().PutCard(card));
    QCOMPARE(Issue(*staff, 70000), 0);

    // Same sector, other keys: the number comes along.
    auto staff2 = Profile(8, 1, 0x313131313131LL, 0x323232323232LL);
    Represent();
    int64_t number = 1;
    QCOMPARE(Move(*staff, *staff2, number), 0);
    QCOMPARE(qint64(number), qint64(70000));
    QVERIFY(Card().IsHalted());
    QCOMPARE(Bytes(Block(4)), Bytes(NumberBlock(70000)));
    QCOMPARE(Bytes(Block(7)), Bytes(UserTrailer(staff2->KeyA, staff2->KeyB)));
    // RW-Alto clears the source's second block; RW-Nova leaves it.
    QCOMPARE(Bytes(Block(5)), f == Alto ? Bytes(TBlock{}) : Bytes(Pattern(0x50)));

    // Another sector: the source sector is returned to the transport configuration and
    // the card is issued in the target profile's sector.
    Represent();
    number = 1;
    QCOMPARE(Move(*staff2, *guests, number), 0);
    QCOMPARE(qint64(number), qint64(70000));
    QCOMPARE(Bytes(Block(4)), Bytes(TBlock{}));
    QCOMPARE(Bytes(Block(7)), Bytes(TransportTrailer()));
    QCOMPARE(Bytes(Block(8)), Bytes(NumberBlock(70000)));
    QCOMPARE(Bytes(Block(11)), Bytes(UserTrailer(guests->KeyA, guests->KeyB)));

    // The moved card opens under the target profile: it can be moved back and erased.
    Represent();
    number = 1;
    QCOMPARE(Move(*guests, *staff, number), 0);
    QCOMPARE(qint64(number), qint64(70000));
    Represent();
    QCOMPARE(Erase(*staff), 0);

    // Target sector 0: only the target trailer, no number block.
    auto own0 = Profile(7, 0, 0x2A2B2C2D2E2FLL, 0x3A3B3C3D3E3FLL, true);
    Represent();
    QCOMPARE(Issue(*guests, 4242), 0);
    const TBlock block1 = Block(1);
    Represent();
    number = 1;
    QCOMPARE(Move(*guests, *own0, number), 0);
    QCOMPARE(qint64(number), qint64(4242));
    QCOMPARE(Bytes(Block(1)), Bytes(block1));
    QCOMPARE(Bytes(Block(3)), Bytes(UserTrailer(own0->KeyA, own0->KeyB)));

    // Source sector 0: blocks 0 and 1 stay, only its trailer returns to transport.
    const TBlock block0 = Block(0);
    Represent();
    number = 1;
    CardEngine::SetNextNumberSource([] { return int64_t(9000); });
    QCOMPARE(Move(*own0, *guests, number), 0);
    QCOMPARE(qint64(number), qint64(9000));
    QCOMPARE(Bytes(Block(0)), Bytes(block0));
    QCOMPARE(Bytes(Block(1)), Bytes(block1));
    QCOMPARE(Bytes(Block(3)), Bytes(TransportTrailer()));
    QCOMPARE(Bytes(Block(8)), Bytes(NumberBlock(9000)));
}

void TstCardContent::moveWithBadCheckByteKeepsTheCard()
{
    QFETCH(int, f);
    Use(f);
    Put();
    QCOMPARE(Issue(*staff, 70000), 0);
    TSimCard card = *sim->Field().TakeCard();
    TBlock bad = card.Block(4);
    bad[4] ^= 0xFF;
    card.SetBlock(4, bad);
    QVERIFY(sim->Field().PutCard(card));
    const std::vector<uint8_t> before = Card().Dump();

    int64_t number = 1;
    QCOMPARE(Move(*staff, *guests, number), CardEngine::BadCheckByte);
    QVERIFY(Card().Dump() == before);
    // Still a card of the source profile.
    Represent();
    QCOMPARE(Erase(*staff), 0);
}

void TstCardContent::moveFromOwnIdSourceTakesTheRegistersNumber()
{
    QFETCH(int, f);
    Use(f);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    OpenDatabase(dir.filePath(QStringLiteral("cards.db3")));
    QVERIFY(AddCard(2, 0, 0x11223344, 70000) >= 0);
    QVERIFY(AddCard(2, 0, 0x11223345, 5000) >= 0);
    const int64_t next = GetMaxCardNum();
    QCOMPARE(qint64(next), qint64(70001));

    auto own3 = Profile(6, 3, 0x0A0B0C0D0E0FLL, 0x1A1B1C1D1E1FLL, true);
    Put();
    QCOMPARE(Issue(*own3, 4096), 0);
    Represent();
    int64_t number = 1;
    QCOMPARE(Move(*own3, *guests, number), 0);
    QCOMPARE(qint64(number), qint64(next));
    QCOMPARE(Bytes(Block(8)), Bytes(NumberBlock(next)));
    QCOMPARE(Bytes(Block(15)), Bytes(TransportTrailer()));
    DatUtils::CloseDatabase();

    // With the register closed the move fails and the card keeps its keys.
    sim->Field().TakeCard();
    Put();
    QCOMPARE(Issue(*own3, 4096), 0);
    Represent();
    const std::vector<uint8_t> before = Card().Dump();
    QCOMPARE(Move(*own3, *guests, number), CardEngine::NoCardNumber);
    QVERIFY(Card().Dump() == before);
}

void TstCardContent::programAndRead()
{
    QFETCH(int, f);
    Use(f);
    const int notProgrammed =
        f == Alto ? CardEngine::AltoNotProgrammed : CardEngine::NovaNotProgrammed;
    const int authFailed = f == Alto ? CardEngine::AltoAuthFailed : CardEngine::NovaAuthFailed;
    TCradIds ids;

    // A reader that was never programmed refuses before any card is selected.
    Put();
    QCOMPARE(staff->ReadCard(&ids), notProgrammed);
    QCOMPARE(ids.Id1Len, 0);
    for (const std::string &call : f == Alto ? sim->Alto().CallLog() : sim->Nova().CallLog())
        QVERIFY2(call.rfind("Mf500PiccActivateIdle", 0) != 0 &&
                     call.rfind("ActivateCardA3", 0) != 0,
                 call.c_str());

    // Programming needs no card.
    sim->Field().TakeCard();
    QCOMPARE(staff->PrepareReader(), 0);
    if (f == Alto) {
        const std::vector<uint8_t> e2 = sim->Alto().Eeprom();
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(e2.data() + 0x70), 4).toHex(),
                 QByteArray("77030100"));
        QCOMPARE(sim->Alto().StoredKey(0), KeyBytes(staff->KeyA));
    } else {
        QCOMPARE(sim->Nova().TagorData(), (std::array<uint8_t, 4>{0x77, 1, 3, 0}));
        QCOMPARE(sim->Nova().StoredKey(0), KeyBytes(staff->KeyA));
    }

    // No card: -1.
    QCOMPARE(guests->ReadCard(&ids), -1);

    // A card issued under the programmed profile, read through an unrelated profile.
    Put();
    QCOMPARE(Issue(*staff, 4096), 0);
    Represent();
    ids = TCradIds{};
    QCOMPARE(guests->ReadCard(&ids), 0);
    QCOMPARE(ids.Id1Len, 4);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(ids.Id1), 4),
             QByteArray("\x1A\x2B\x3C\x4D", 4));
    QCOMPARE(ids.Id2Len, 4);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(ids.Id2), 4),
             QByteArray("\x00\x10\x00\x00", 4));
    // Halted: the card lying on the reader is read once.
    QVERIFY(Card().IsHalted());
    QCOMPARE(guests->ReadCard(&ids), -1);

    // A blank card and a card of another profile fail at authentication; Id1 is filled.
    sim->Field().TakeCard();
    Put(Uid7Bytes);
    ids = TCradIds{};
    QCOMPARE(staff->ReadCard(&ids), authFailed);
    QCOMPARE(ids.Id1Len, 7);
    QCOMPARE(ids.Id2Len, 0);
    Represent();
    QCOMPARE(Issue(*guests, 4100), 0);
    Represent();
    QCOMPARE(staff->ReadCard(&ids), authFailed);

    // A profile above 255 stores the low byte of its ID only.
    auto big = Profile(0x1234, 2, guests->KeyA, guests->KeyB);
    QCOMPARE(big->PrepareReader(), 0);
    Represent();
    ids = TCradIds{};
    QCOMPARE(staff->ReadCard(&ids), 0);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(ids.Id2), 4),
             QByteArray("\x04\x10\x00\x00", 4));
    if (f == Alto)
        QCOMPARE(sim->Alto().Eeprom()[0x71], uint8_t(0x34));
    else
        QCOMPARE(sim->Nova().TagorData()[2], uint8_t(0x34));

    // Failures of the reader itself.
    Represent();
    if (f == Alto) {
        sim->Alto().FailCall(1, mfrc500::MI_WRONG_ADDR); // the EEPROM read
        QCOMPARE(staff->ReadCard(&ids), CardEngine::AltoEepromUnreadable);
        sim->Alto().FailCall(1, mfrc500::MI_EEPROMERR); // the key store
        QCOMPARE(staff->PrepareReader(), CardEngine::AltoNotStored);
        sim->Alto().FailCall(2, mfrc500::MI_EEPROMERR); // the record
        QCOMPARE(big->PrepareReader(), CardEngine::AltoNotStored);
        // The key went in before the record failed.
        QCOMPARE(sim->Alto().StoredKey(0), KeyBytes(big->KeyA));
    } else {
        sim->Nova().FailCall(1, rivlink::RL_NO_READER);
        QCOMPARE(staff->ReadCard(&ids), int(rivlink::RL_NO_READER));
        sim->Nova().FailCall(1, rivlink::RL_STORE_ERROR);
        QCOMPARE(staff->PrepareReader(), int(rivlink::RL_STORE_ERROR));
        sim->Nova().FailCall(2, rivlink::RL_STORE_ERROR);
        QCOMPARE(staff->PrepareReader(), int(rivlink::RL_STORE_ERROR));
        // The record went in before the key failed.
        QCOMPARE(sim->Nova().TagorData(), (std::array<uint8_t, 4>{0x77, 1, 3, 0}));
        QCOMPARE(sim->Nova().StoredKey(0), KeyBytes(big->KeyA));
    }
}

void TstCardContent::sevenByteUidThroughEveryOperation()
{
    QFETCH(int, f);
    Use(f);
    Put(Uid7Bytes);
    QCOMPARE(Issue(*staff, 70000), 0);
    QCOMPARE(Bytes(Block(4)), Bytes(NumberBlock(70000)));

    QCOMPARE(staff->PrepareReader(), 0);
    Represent();
    TCradIds ids;
    QCOMPARE(staff->ReadCard(&ids), 0);
    QCOMPARE(ids.Id1Len, 7);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(ids.Id1), 7),
             QByteArray(reinterpret_cast<const char *>(Uid7Bytes.data()), 7));

    Represent();
    int64_t number = 0;
    QCOMPARE(Move(*staff, *guests, number), 0);
    QCOMPARE(qint64(number), qint64(70000));
    Represent();
    QCOMPARE(Erase(*guests), 0);
    QCOMPARE(Bytes(Block(11)), Bytes(TransportTrailer()));
    Represent();
    QCOMPARE(Master(*staff, *guests, 4096), 0);
    QCOMPARE(Bytes(Block(4)), Bytes(MasterNumberBlock(4096)));
}

// A card taken away in the middle of an operation keeps what was written before.
void TstCardContent::tornWrites()
{
    QFETCH(int, f);
    Use(f);
    // Library calls per authentication: RW-Alto codes the key, then authenticates.
    const int auth = f == Alto ? 2 : 1;

    // Issue torn after the number block: the number is there, the sector still opens
    // with the transport key.
    Put();
    ArmRemoval(auth + 1);
    QCOMPARE(Issue(*staff, 4096), NoTag());
    TSimCard torn = *Removed();
    QCOMPARE(Bytes(torn.Block(4)), Bytes(NumberBlock(4096)));
    QCOMPARE(Bytes(torn.Block(7)), Bytes(TransportTrailer()));
    QVERIFY(sim->Field().PutCard(torn));
    QCOMPARE(Issue(*staff, 4096), 0); // it can be issued again

    // Erase torn before the trailer: cleared blocks under the profile's keys.
    Represent();
    ArmRemoval(auth + 2);
    QCOMPARE(Erase(*staff), NoTag());
    torn = *Removed();
    QCOMPARE(Bytes(torn.Block(4)), Bytes(TBlock{}));
    QCOMPARE(Bytes(torn.Block(5)), Bytes(TBlock{}));
    QCOMPARE(Bytes(torn.Block(7)), Bytes(UserTrailer(staff->KeyA, staff->KeyB)));

    // Move torn right after the source trailer: the card is blank in that sector and
    // cannot be moved any more, but it can be issued anew.
    QVERIFY(sim->Field().PutCard(torn));
    QCOMPARE(Erase(*staff), 0);
    Represent();
    QCOMPARE(Issue(*staff, 70000), 0);
    Represent();
    const int sourceCalls = auth + 1 + auth + 1 + (f == Alto ? 1 : 0) + 1; // read, clear, trailer
    ArmRemoval(sourceCalls);
    int64_t number = 0;
    QCOMPARE(Move(*staff, *guests, number), NoTag());
    torn = *Removed();
    QCOMPARE(Bytes(torn.Block(4)), Bytes(TBlock{}));
    QCOMPARE(Bytes(torn.Block(7)), Bytes(TransportTrailer()));
    QCOMPARE(Bytes(torn.Block(8)), Bytes(TBlock{}));
    QCOMPARE(Bytes(torn.Block(11)), Bytes(TransportTrailer()));
    QVERIFY(sim->Field().PutCard(torn));
    QCOMPARE(Move(*staff, *guests, number), AuthError());
    Represent();
    QCOMPARE(Issue(*staff, 70001), 0);

    // Move torn at the target trailer: the target sector carries the number block but
    // still opens with the transport key.
    Represent();
    ArmRemoval(sourceCalls + auth + 1);
    QCOMPARE(Move(*staff, *guests, number), NoTag());
    torn = *Removed();
    QCOMPARE(Bytes(torn.Block(8)), Bytes(NumberBlock(70001)));
    QCOMPARE(Bytes(torn.Block(11)), Bytes(TransportTrailer()));
}

QTEST_GUILESS_MAIN(TstCardContent)
#include "tst_cardcontent.moc"
