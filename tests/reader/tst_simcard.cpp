// The simulated MIFARE Classic card against the data sheet: manufacturer block, access
// conditions of data blocks and trailers for key A and key B, blocked sectors, protocol
// state (failures drop to idle, halt), 7-byte UIDs and .mfd dumps.
#include "reader/sim/simcard.h"
#include "reader/sim/simfield.h"

#include <QTemporaryDir>
#include <QTest>

#include <array>

using Block = std::array<uint8_t, 16>;

Q_DECLARE_METATYPE(TSimCard::Type)
Q_DECLARE_METATYPE(std::vector<uint8_t>)

namespace {

const std::vector<uint8_t> Uid4 = {0x01, 0x02, 0x03, 0x04};
const std::vector<uint8_t> Uid7 = {0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
const uint8_t KeyA[6] = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5};
const uint8_t KeyB[6] = {0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5};
const uint8_t Transport[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// A trailer with key A, the given access bytes, byte 9 and key B.
Block Trailer(const uint8_t *keyA, std::array<uint8_t, 3> access, uint8_t gpb, const uint8_t *keyB)
{
    Block t{};
    std::copy(keyA, keyA + 6, t.begin());
    t[6] = access[0];
    t[7] = access[1];
    t[8] = access[2];
    t[9] = gpb;
    std::copy(keyB, keyB + 6, t.begin() + 10);
    return t;
}

Block Filled(uint8_t v)
{
    Block b;
    b.fill(v);
    return b;
}

// Sector 1 of a 1K card with keys KeyA/KeyB, block 4..6 condition data, trailer condition
// trailer; block 5 holds 0x55 bytes.
TSimCard CardWithSector1(int data, int trailer)
{
    TSimCard card(TSimCard::Type::Classic1K, Uid4);
    card.SetBlock(5, Filled(0x55));
    card.SetBlock(7,
                  Trailer(KeyA, TSimCard::EncodeAccessBits(data, data, data, trailer), 0x69, KeyB));
    return card;
}

TSimResult SelectAndAuth(TSimCard &card, int block, bool keyB, const uint8_t *key)
{
    if (card.Select() != TSimResult::Ok)
        return TSimResult::NoCard;
    const auto uid = card.AuthUid();
    return card.Authenticate(block, keyB, uid.data(), key);
}

} // namespace

class TestSimCard : public QObject
{
    Q_OBJECT

private slots:
    void manufacturerBlock_data();
    void manufacturerBlock();
    void factoryTransportConfiguration();
    void accessBitsEncoding();
    void dataBlockConditions_data();
    void dataBlockConditions();
    void trailerConditions_data();
    void trailerConditions();
    void keyBReadableIsNoKey_data();
    void keyBReadableIsNoKey();
    void inconsistentAccessBitsBlockSector_data();
    void inconsistentAccessBitsBlockSector();
    void manufacturerBlockNeverWritable();
    void failedCommandDropsToIdle_data();
    void failedCommandDropsToIdle();
    void blockOutsideAuthenticatedSector();
    void haltedCardNeedsNewPresentation();
    void sevenByteUidAuthBytes();
    void bigSectorsOf4K();
    void mfdRoundTrip_data();
    void mfdRoundTrip();
    void mfdRejectsOtherSizes();
    void fieldHoldsOneCardAndReportsChanges();
};

void TestSimCard::manufacturerBlock_data()
{
    QTest::addColumn<TSimCard::Type>("type");
    QTest::addColumn<std::vector<uint8_t>>("uid");
    QTest::addColumn<QByteArray>("expected"); // first bytes of block 0

    QTest::newRow("1K 4-byte") << TSimCard::Type::Classic1K << Uid4
                               << QByteArray::fromHex("01020304"
                                                      "04"
                                                      "08"
                                                      "0400");
    QTest::newRow("4K 4-byte") << TSimCard::Type::Classic4K
                               << std::vector<uint8_t>{0xDE, 0xAD, 0xBE, 0xEF}
                               << QByteArray::fromHex("DEADBEEF"
                                                      "22"
                                                      "18"
                                                      "0200");
    QTest::newRow("1K 7-byte") << TSimCard::Type::Classic1K << Uid7
                               << QByteArray::fromHex("04112233445566"
                                                      "08"
                                                      "4400");
    QTest::newRow("4K 7-byte") << TSimCard::Type::Classic4K << Uid7
                               << QByteArray::fromHex("04112233445566"
                                                      "18"
                                                      "4200");
}

void TestSimCard::manufacturerBlock()
{
    QFETCH(TSimCard::Type, type);
    QFETCH(std::vector<uint8_t>, uid);
    QFETCH(QByteArray, expected);

    TSimCard card(type, uid);
    const Block b0 = card.Block(0);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(b0.data()), expected.size()), expected);
    QCOMPARE(card.Dump().size(), type == TSimCard::Type::Classic1K ? size_t(1024) : size_t(4096));
    QCOMPARE(card.Uid(), uid);
}

void TestSimCard::factoryTransportConfiguration()
{
    TSimCard card(TSimCard::Type::Classic4K, Uid4);
    const QByteArray transport = QByteArray::fromHex("FFFFFFFFFFFF"
                                                     "FF0780"
                                                     "69"
                                                     "FFFFFFFFFFFF");
    int trailers = 0;
    for (int block = 0; block < 256; ++block) {
        const Block b = card.Block(block);
        const QByteArray bytes(reinterpret_cast<const char *>(b.data()), 16);
        const bool trailer = block < 128 ? block % 4 == 3 : (block - 128) % 16 == 15;
        if (trailer) {
            ++trailers;
            QCOMPARE(bytes, transport);
        } else if (block != 0) {
            QCOMPARE(bytes, QByteArray(16, '\0'));
        }
    }
    QCOMPARE(trailers, 40);

    // Every data block readable and writable with key A; key B readable, hence no key.
    QCOMPARE(SelectAndAuth(card, 200, false, Transport), TSimResult::Ok);
    const Block data = Filled(0x3C);
    QCOMPARE(card.Write(200, data.data()), TSimResult::Ok);
    Block back{};
    QCOMPARE(card.Read(200, back.data()), TSimResult::Ok);
    QCOMPARE(back, data);
}

void TestSimCard::accessBitsEncoding()
{
    // The two configurations the program writes: transport and user trailer.
    QCOMPARE(TSimCard::EncodeAccessBits(0, 0, 0, 1), (std::array<uint8_t, 3>{0xFF, 0x07, 0x80}));
    QCOMPARE(TSimCard::EncodeAccessBits(4, 4, 4, 3), (std::array<uint8_t, 3>{0x78, 0x77, 0x88}));
    TSimCard card = CardWithSector1(4, 3);
    QCOMPARE(card.AccessBits(4), std::optional<int>(4));
    QCOMPARE(card.AccessBits(7), std::optional<int>(3));
    QCOMPARE(card.AccessBits(3), std::optional<int>(1)); // sector 0 untouched
}

void TestSimCard::dataBlockConditions_data()
{
    QTest::addColumn<int>("condition"); // C1C2C3 as a number
    QTest::addColumn<bool>("keyB");
    QTest::addColumn<bool>("canRead");
    QTest::addColumn<bool>("canWrite");

    // NXP MIFARE Classic data sheet, access conditions for data blocks (read, write).
    struct Row
    {
        const char *bits;
        int c;
        bool readA, readB, writeA, writeB;
    };
    const Row rows[] = {
        {"000", 0, true, true, true, true},    {"010", 2, true, true, false, false},
        {"100", 4, true, true, false, true},   {"110", 6, true, true, false, true},
        {"001", 1, true, true, false, false},  {"011", 3, false, true, false, true},
        {"101", 5, false, true, false, false}, {"111", 7, false, false, false, false},
    };
    for (const Row &r : rows) {
        QTest::addRow("%s key A", r.bits) << r.c << false << r.readA << r.writeA;
        QTest::addRow("%s key B", r.bits) << r.c << true << r.readB << r.writeB;
    }
}

void TestSimCard::dataBlockConditions()
{
    QFETCH(int, condition);
    QFETCH(bool, keyB);
    QFETCH(bool, canRead);
    QFETCH(bool, canWrite);

    // Trailer condition 011: key B is not readable, so it is a usable key.
    TSimCard card = CardWithSector1(condition, 3);
    const uint8_t *key = keyB ? KeyB : KeyA;

    QCOMPARE(SelectAndAuth(card, 5, keyB, key), TSimResult::Ok);
    Block back{};
    QCOMPARE(card.Read(5, back.data()), canRead ? TSimResult::Ok : TSimResult::AccessDenied);
    if (canRead)
        QCOMPARE(back, Filled(0x55));

    QCOMPARE(SelectAndAuth(card, 5, keyB, key), TSimResult::Ok);
    const Block data = Filled(0xC3);
    QCOMPARE(card.Write(5, data.data()), canWrite ? TSimResult::Ok : TSimResult::AccessDenied);
    QCOMPARE(card.Block(5), canWrite ? data : Filled(0x55));
}

void TestSimCard::trailerConditions_data()
{
    QTest::addColumn<int>("condition");
    QTest::addColumn<bool>("keyB");
    QTest::addColumn<bool>("canRead");        // the trailer read is answered
    QTest::addColumn<bool>("accessReadable"); // bytes 6..9 read back
    QTest::addColumn<bool>("keyBReadable");   // bytes 10..15 read back
    QTest::addColumn<bool>("writesKeyA");
    QTest::addColumn<bool>("writesAccess");
    QTest::addColumn<bool>("writesKeyB");

    // NXP data sheet, access conditions for the sector trailer:
    //          key A      access bits   key B
    //          rd  wr     rd    wr      rd  wr
    //   000    -   A      A     -       A   A
    //   010    -   -      A     -       A   -
    //   100    -   B      A|B   -       -   B
    //   110    -   -      A|B   -       -   -
    //   001    -   A      A     A       A   A
    //   011    -   B      A|B   B       -   B
    //   101    -   -      A|B   B       -   -
    //   111    -   -      A|B   -       -   -
    // Where key B is readable (000, 010, 001) it is no key: after authenticating with it
    // every access is refused.
    auto row = [](const char *name, int c, bool keyB, bool read, bool acR, bool kbR, bool wA,
                  bool wAc, bool wB) {
        QTest::addRow("%s", name) << c << keyB << read << acR << kbR << wA << wAc << wB;
    };
    row("000 key A", 0, false, true, true, true, true, false, true);
    row("000 key B", 0, true, false, false, false, false, false, false);
    row("010 key A", 2, false, true, true, true, false, false, false);
    row("010 key B", 2, true, false, false, false, false, false, false);
    row("100 key A", 4, false, true, true, false, false, false, false);
    row("100 key B", 4, true, true, true, false, true, false, true);
    row("110 key A", 6, false, true, true, false, false, false, false);
    row("110 key B", 6, true, true, true, false, false, false, false);
    row("001 key A", 1, false, true, true, true, true, true, true);
    row("001 key B", 1, true, false, false, false, false, false, false);
    row("011 key A", 3, false, true, true, false, false, false, false);
    row("011 key B", 3, true, true, true, false, true, true, true);
    row("101 key A", 5, false, true, true, false, false, false, false);
    row("101 key B", 5, true, true, true, false, false, true, false);
    row("111 key A", 7, false, true, true, false, false, false, false);
    row("111 key B", 7, true, true, true, false, false, false, false);
}

void TestSimCard::trailerConditions()
{
    QFETCH(int, condition);
    QFETCH(bool, keyB);
    QFETCH(bool, canRead);
    QFETCH(bool, accessReadable);
    QFETCH(bool, keyBReadable);
    QFETCH(bool, writesKeyA);
    QFETCH(bool, writesAccess);
    QFETCH(bool, writesKeyB);

    TSimCard card = CardWithSector1(0, condition);
    const Block original = card.Block(7);
    const uint8_t *key = keyB ? KeyB : KeyA;

    // Reading: key A always zeros, the other parts as the conditions allow.
    QCOMPARE(SelectAndAuth(card, 7, keyB, key), TSimResult::Ok);
    Block back;
    back.fill(0xEE);
    QCOMPARE(card.Read(7, back.data()), canRead ? TSimResult::Ok : TSimResult::AccessDenied);
    if (canRead) {
        Block expected{};
        if (accessReadable)
            std::copy(original.begin() + 6, original.begin() + 10, expected.begin() + 6);
        if (keyBReadable)
            std::copy(original.begin() + 10, original.end(), expected.begin() + 10);
        QCOMPARE(back, expected);
    }

    // Writing: new keys and a new byte 9 (the access bits themselves stay valid), and only
    // the parts the key may write change.
    const uint8_t newA[6] = {1, 2, 3, 4, 5, 6};
    const uint8_t newB[6] = {9, 8, 7, 6, 5, 4};
    const Block wanted = Trailer(newA, {original[6], original[7], original[8]}, 0x42, newB);
    QCOMPARE(SelectAndAuth(card, 4, keyB, key), TSimResult::Ok);
    const bool anyPart = writesKeyA || writesAccess || writesKeyB;
    QCOMPARE(card.Write(7, wanted.data()), anyPart ? TSimResult::Ok : TSimResult::AccessDenied);
    const Block now = card.Block(7);
    QCOMPARE(std::equal(now.begin(), now.begin() + 6, writesKeyA ? newA : KeyA), true);
    QCOMPARE(now[9], writesAccess ? uint8_t(0x42) : uint8_t(0x69));
    QCOMPARE(std::equal(now.begin() + 10, now.end(), writesKeyB ? newB : KeyB), true);
    QCOMPARE(card.IsSelected(), anyPart); // a refused write drops the card to idle
}

void TestSimCard::keyBReadableIsNoKey_data()
{
    QTest::addColumn<int>("trailerCondition");
    QTest::newRow("000") << 0;
    QTest::newRow("010") << 2;
    QTest::newRow("001 (transport)") << 1;
}

void TestSimCard::keyBReadableIsNoKey()
{
    QFETCH(int, trailerCondition);
    // Data blocks in condition 000 would let either key read and write.
    TSimCard card = CardWithSector1(0, trailerCondition);
    Block back{};
    QCOMPARE(SelectAndAuth(card, 5, true, KeyB), TSimResult::Ok);
    QCOMPARE(card.Read(5, back.data()), TSimResult::AccessDenied);
    QVERIFY(!card.IsSelected());
    QCOMPARE(SelectAndAuth(card, 5, true, KeyB), TSimResult::Ok);
    QCOMPARE(card.Write(5, Filled(1).data()), TSimResult::AccessDenied);
    QCOMPARE(card.Block(5), Filled(0x55));
    // Key A works as usual.
    QCOMPARE(SelectAndAuth(card, 5, false, KeyA), TSimResult::Ok);
    QCOMPARE(card.Read(5, back.data()), TSimResult::Ok);
    QCOMPARE(card.Write(5, Filled(1).data()), TSimResult::Ok);
}

void TestSimCard::inconsistentAccessBitsBlockSector_data()
{
    QTest::addColumn<int>("trailerCondition");
    QTest::addColumn<bool>("keyB");
    QTest::addColumn<QByteArray>("accessBytes");
    // Transport bytes FF 07 80 with one bit of C1, C2 or C3 disagreeing with its complement.
    QTest::newRow("C1, transport config, key A") << 1 << false << QByteArray::fromHex("FF1780");
    QTest::newRow("C2, transport config, key A") << 1 << false << QByteArray::fromHex("FF0781");
    QTest::newRow("C3, transport config, key A") << 1 << false << QByteArray::fromHex("FF0680");
    QTest::newRow("C2, user config 011, key B") << 3 << true << QByteArray::fromHex("FF0781");
}

void TestSimCard::inconsistentAccessBitsBlockSector()
{
    QFETCH(int, trailerCondition);
    QFETCH(bool, keyB);
    QFETCH(QByteArray, accessBytes);
    TSimCard card = CardWithSector1(0, trailerCondition);
    const uint8_t *key = keyB ? KeyB : KeyA;

    const Block bad =
        Trailer(KeyA, {uint8_t(accessBytes[0]), uint8_t(accessBytes[1]), uint8_t(accessBytes[2])},
                0x69, KeyB);
    QCOMPARE(SelectAndAuth(card, 7, keyB, key), TSimResult::Ok);
    QCOMPARE(card.Write(7, bad.data()), TSimResult::Ok);
    QVERIFY(card.SectorBlocked(1));

    // For good: no key opens the sector any more, not even after a new presentation.
    card.LeaveField();
    QCOMPARE(SelectAndAuth(card, 4, false, KeyA), TSimResult::AuthFailed);
    QVERIFY(!card.IsSelected());
    QCOMPARE(SelectAndAuth(card, 7, true, KeyB), TSimResult::AuthFailed);
    QCOMPARE(card.Block(5), Filled(0x55));
    // Other sectors are not affected.
    QCOMPARE(SelectAndAuth(card, 8, false, Transport), TSimResult::Ok);
}

void TestSimCard::manufacturerBlockNeverWritable()
{
    TSimCard card(TSimCard::Type::Classic1K, Uid4);
    const Block before = card.Block(0);
    QCOMPARE(SelectAndAuth(card, 0, false, Transport), TSimResult::Ok);
    Block read{};
    QCOMPARE(card.Read(0, read.data()), TSimResult::Ok);
    QCOMPARE(read, before);
    const Block zeros{};
    QCOMPARE(card.Write(0, zeros.data()), TSimResult::AccessDenied);
    QCOMPARE(card.Block(0), before);
    // Block 1 of the same sector is writable.
    QCOMPARE(SelectAndAuth(card, 1, false, Transport), TSimResult::Ok);
    QCOMPARE(card.Write(1, Filled(7).data()), TSimResult::Ok);
}

void TestSimCard::failedCommandDropsToIdle_data()
{
    QTest::addColumn<int>("failure"); // 0 wrong key, 1 wrong UID bytes, 2 refused write
    QTest::newRow("wrong key") << 0;
    QTest::newRow("wrong UID bytes") << 1;
    QTest::newRow("refused write") << 2;
}

void TestSimCard::failedCommandDropsToIdle()
{
    QFETCH(int, failure);
    TSimCard card = CardWithSector1(4, 3); // data: write with key B only
    QCOMPARE(SelectAndAuth(card, 4, false, KeyA), TSimResult::Ok);
    const uint8_t wrongUid[4] = {9, 9, 9, 9};
    const auto uid = card.AuthUid();
    switch (failure) {
    case 0:
        QCOMPARE(card.Authenticate(4, true, uid.data(), KeyA), TSimResult::AuthFailed);
        break;
    case 1:
        QCOMPARE(card.Authenticate(4, false, wrongUid, KeyA), TSimResult::AuthFailed);
        break;
    default:
        QCOMPARE(card.Write(5, Filled(1).data()), TSimResult::AccessDenied);
        break;
    }
    // Idle, nothing authenticated: even the earlier authentication is gone.
    QVERIFY(!card.IsSelected());
    QCOMPARE(card.AuthenticatedSector(), -1);
    Block back{};
    QCOMPARE(card.Read(5, back.data()), TSimResult::NoCard);
    QCOMPARE(card.Authenticate(4, false, uid.data(), KeyA), TSimResult::NoCard);
    // Selected again, it works.
    QCOMPARE(SelectAndAuth(card, 4, false, KeyA), TSimResult::Ok);
    QCOMPARE(card.Read(5, back.data()), TSimResult::Ok);
    QCOMPARE(back, Filled(0x55));
}

void TestSimCard::blockOutsideAuthenticatedSector()
{
    TSimCard card(TSimCard::Type::Classic1K, Uid4);
    QCOMPARE(SelectAndAuth(card, 4, false, Transport), TSimResult::Ok);
    Block back{};
    QCOMPARE(card.Read(8, back.data()), TSimResult::NotAuthenticated);
    QVERIFY(!card.IsSelected());
    QCOMPARE(SelectAndAuth(card, 4, false, Transport), TSimResult::Ok);
    QCOMPARE(card.Read(64, back.data()), TSimResult::BadBlock); // beyond a 1K card
    QCOMPARE(card.Select(), TSimResult::Ok);
    QCOMPARE(card.Read(4, back.data()), TSimResult::NotAuthenticated); // selected, no auth
}

void TestSimCard::haltedCardNeedsNewPresentation()
{
    TSimField field;
    QVERIFY(field.PutCard(TSimCard(TSimCard::Type::Classic1K, Uid4)));
    auto select = [&] { return field.Command([](TSimCard &c) { return c.Select(); }); };
    QCOMPARE(select(), TSimResult::Ok);
    QCOMPARE(select(), TSimResult::Ok); // a selected card can be selected again
    QCOMPARE(field.Command([](TSimCard &c) { return c.Halt(); }), TSimResult::Ok);
    QCOMPARE(select(), TSimResult::NoCard);
    QCOMPARE(select(), TSimResult::NoCard);
    // Presented anew.
    auto card = field.TakeCard();
    QVERIFY(card);
    QCOMPARE(select(), TSimResult::NoCard); // empty field
    QVERIFY(field.PutCard(*card));
    QCOMPARE(select(), TSimResult::Ok);
}

void TestSimCard::sevenByteUidAuthBytes()
{
    TSimCard card(TSimCard::Type::Classic1K, Uid7);
    QCOMPARE(card.AuthUid(), (std::array<uint8_t, 4>{0x33, 0x44, 0x55, 0x66}));
    const uint8_t bytes3to6[4] = {0x33, 0x44, 0x55, 0x66};
    const uint8_t bytes0to3[4] = {0x04, 0x11, 0x22, 0x33};
    QCOMPARE(card.Select(), TSimResult::Ok);
    QCOMPARE(card.Authenticate(4, false, bytes0to3, Transport), TSimResult::AuthFailed);
    QCOMPARE(card.Select(), TSimResult::Ok);
    QCOMPARE(card.Authenticate(4, false, bytes3to6, Transport), TSimResult::Ok);
}

void TestSimCard::bigSectorsOf4K()
{
    TSimCard card(TSimCard::Type::Classic4K, Uid4);
    QCOMPARE(TSimCard::SectorOfBlock(143), 32);
    QCOMPARE(TSimCard::TrailerOfSector(39), 255);
    // Sector 32 (blocks 128..143): group 0 = blocks 128..132 never readable (111),
    // group 1 = 133..137 free (000), group 2 = 138..142 read-only (010).
    card.SetBlock(143, Trailer(KeyA, TSimCard::EncodeAccessBits(7, 0, 2, 3), 0x69, KeyB));
    QCOMPARE(SelectAndAuth(card, 130, false, KeyA), TSimResult::Ok);
    Block back{};
    QCOMPARE(card.Read(137, back.data()), TSimResult::Ok);
    QCOMPARE(card.Write(133, Filled(1).data()), TSimResult::Ok);
    QCOMPARE(card.Read(138, back.data()), TSimResult::Ok);
    QCOMPARE(card.Write(142, Filled(1).data()), TSimResult::AccessDenied);
    QCOMPARE(SelectAndAuth(card, 130, false, KeyA), TSimResult::Ok);
    QCOMPARE(card.Read(132, back.data()), TSimResult::AccessDenied);
}

void TestSimCard::mfdRoundTrip_data()
{
    QTest::addColumn<TSimCard::Type>("type");
    QTest::addColumn<std::vector<uint8_t>>("uid");
    QTest::newRow("1K 4-byte") << TSimCard::Type::Classic1K << Uid4;
    QTest::newRow("4K 7-byte") << TSimCard::Type::Classic4K << Uid7;
}

void TestSimCard::mfdRoundTrip()
{
    QFETCH(TSimCard::Type, type);
    QFETCH(std::vector<uint8_t>, uid);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    TSimCard card(type, uid);
    QCOMPARE(SelectAndAuth(card, 4, false, Transport), TSimResult::Ok);
    QCOMPARE(card.Write(4, Filled(0x12).data()), TSimResult::Ok);
    card.SetBlock(7, Trailer(KeyA, TSimCard::EncodeAccessBits(4, 4, 4, 3), 0x69, KeyB));

    const QString path = dir.filePath(QStringLiteral("card.mfd"));
    QVERIFY(card.SaveFile(path));
    QFile raw(path);
    QVERIFY(raw.open(QIODevice::ReadOnly));
    const QByteArray bytes = raw.readAll();
    QCOMPARE(size_t(bytes.size()), card.Dump().size());
    QCOMPARE(bytes.mid(4 * 16, 16), QByteArray(16, '\x12'));
    QCOMPARE(bytes.mid(7 * 16, 16), QByteArray::fromHex("A0A1A2A3A4A5"
                                                        "787788"
                                                        "69"
                                                        "B0B1B2B3B4B5"));

    QString error;
    auto loaded = TSimCard::LoadFile(path, 0, &error);
    QVERIFY2(loaded, qPrintable(error));
    QCOMPARE(loaded->Dump(), card.Dump());
    QCOMPARE(loaded->Uid(), uid); // UID length found from the BCC
    QCOMPARE(loaded->CardType(), type);
    // The loaded card carries its keys: the user trailer opens with key A.
    QCOMPARE(SelectAndAuth(*loaded, 4, false, Transport), TSimResult::AuthFailed);
    QCOMPARE(SelectAndAuth(*loaded, 4, false, KeyA), TSimResult::Ok);
}

void TestSimCard::mfdRejectsOtherSizes()
{
    QVERIFY(!TSimCard::FromDump(std::vector<uint8_t>(1023)));
    QVERIFY(!TSimCard::FromDump(std::vector<uint8_t>(2048)));
    QString error;
    QVERIFY(!TSimCard::LoadFile(QStringLiteral("/nonexistent/dir/card.mfd"), 0, &error));
    QVERIFY(!error.isEmpty());
}

void TestSimCard::fieldHoldsOneCardAndReportsChanges()
{
    TSimField field;
    std::vector<Block> seen;
    field.SetChangeHook([&](const TSimCard &card) { seen.push_back(card.Block(4)); });
    QVERIFY(field.PutCard(TSimCard(TSimCard::Type::Classic1K, Uid4)));
    QVERIFY(!field.PutCard(TSimCard(TSimCard::Type::Classic1K, Uid7)));
    QCOMPARE(field.Card()->Uid(), Uid4);

    auto run = [&](auto op) { return field.Command(op); };
    QCOMPARE(run([](TSimCard &c) { return SelectAndAuth(c, 4, false, Transport); }),
             TSimResult::Ok);
    Block back{};
    QCOMPARE(run([&](TSimCard &c) { return c.Read(4, back.data()); }), TSimResult::Ok);
    QVERIFY(seen.empty()); // reads change nothing
    QCOMPARE(run([](TSimCard &c) { return c.Write(4, Filled(0x77).data()); }), TSimResult::Ok);
    QCOMPARE(seen.size(), size_t(1));
    QCOMPARE(seen[0], Filled(0x77));
    QCOMPARE(run([](TSimCard &c) { return c.Write(0, Filled(0).data()); }),
             TSimResult::NotAuthenticated);
    QCOMPARE(seen.size(), size_t(1));

    auto taken = field.TakeCard();
    QVERIFY(taken && !field.HasCard());
    QCOMPARE(taken->Block(4), Filled(0x77));
    QVERIFY(!field.TakeCard());
    QCOMPARE(run([](TSimCard &c) { return c.Select(); }), TSimResult::NoCard);
}

QTEST_GUILESS_MAIN(TestSimCard)
#include "tst_simcard.moc"
