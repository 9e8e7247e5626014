// The bytes the program puts on a card: number block, trailers, master blocks, key order.

#include "cards/cardlayout.h"

#include <QtTest>

using namespace CardLayout;

namespace {

QByteArray Bytes(const TBlock &block)
{
    return QByteArray(reinterpret_cast<const char *>(block.data()), int(block.size()));
}

QByteArray FromHex(const char *hex)
{
    return QByteArray::fromHex(QByteArray(hex));
}

} // namespace

class TstCardLayout : public QObject
{
    Q_OBJECT

private slots:
    void numberBlock_data();
    void numberBlock();
    void numberBlockRejectsBadCheckByte();
    void trailers();
    void keyBytesTakeLow48BitsMostSignificantFirst();
    void masterNumberBlock();
    void masterDataBlock_data();
    void masterDataBlock();
    void uid4();
};

void TstCardLayout::numberBlock_data()
{
    QTest::addColumn<qint64>("number");
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<qint64>("readBack");

    QTest::newRow("4096") << qint64(4096)
                          << FromHex("0010000010"
                                     "0000000000000000000000")
                          << qint64(4096);
    QTest::newRow("70000, three bytes") << qint64(70000)
                                        << FromHex("7011010060"
                                                   "0000000000000000000000")
                                        << qint64(70000);
    QTest::newRow("four bytes") << qint64(0xA1B2C3D4)
                                << FromHex("D4C3B2A1"
                                           "04"
                                           "0000000000000000000000")
                                << qint64(0xA1B2C3D4);
    // Only the low 32 bits go to the card, and the check byte covers just those.
    QTest::newRow("above 2^32") << qint64(0x0000000501020304LL)
                                << FromHex("0403020104"
                                           "0000000000000000000000")
                                << qint64(0x01020304);
    QTest::newRow("zero") << qint64(0)
                          << FromHex("0000000000"
                                     "0000000000000000000000")
                          << qint64(0);
    QTest::newRow("negative") << qint64(-1)
                              << FromHex("FFFFFFFF00"
                                         "0000000000000000000000")
                              << qint64(0xFFFFFFFFLL);
}

void TstCardLayout::numberBlock()
{
    QFETCH(qint64, number);
    QFETCH(QByteArray, block);
    QFETCH(qint64, readBack);

    const TBlock built = NumberBlock(number);
    QCOMPARE(Bytes(built).toHex(' '), block.toHex(' '));

    int64_t decoded = -12345;
    QVERIFY(DecodeNumberBlock(built.data(), decoded));
    QCOMPARE(qint64(decoded), readBack);
}

void TstCardLayout::numberBlockRejectsBadCheckByte()
{
    TBlock block = NumberBlock(70000);
    block[4] ^= 0x01;
    int64_t decoded = 77;
    QVERIFY(!DecodeNumberBlock(block.data(), decoded));
    QCOMPARE(qint64(decoded), qint64(77));

    // A cleared (erased) number block is consistent and reads as 0.
    const TBlock zeros{};
    QVERIFY(DecodeNumberBlock(zeros.data(), decoded));
    QCOMPARE(qint64(decoded), qint64(0));
}

void TstCardLayout::trailers()
{
    QCOMPARE(Bytes(UserTrailer(0x0123456789ABLL, 0xA1B2C3D4E5F6LL)).toHex(' '),
             FromHex("0123456789AB"
                     "78778869"
                     "A1B2C3D4E5F6")
                 .toHex(' '));
    QCOMPARE(Bytes(TransportTrailer()).toHex(' '), FromHex("FFFFFFFFFFFF"
                                                           "FF078069"
                                                           "FFFFFFFFFFFF")
                                                       .toHex(' '));
    // The transport key as a number gives the same trailer as a user trailer with it.
    QCOMPARE(Bytes(UserTrailer(TransportKey, TransportKey)).mid(0, 6), FromHex("FFFFFFFFFFFF"));
}

void TstCardLayout::keyBytesTakeLow48BitsMostSignificantFirst()
{
    const TKey key = KeyBytes(0x7FFF0123456789ABLL);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(key.data()), 6).toHex(' '),
             FromHex("0123456789AB").toHex(' '));
    const TKey small = KeyBytes(0x05);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(small.data()), 6).toHex(' '),
             FromHex("000000000005").toHex(' '));
}

void TstCardLayout::masterNumberBlock()
{
    QCOMPARE(Bytes(MasterNumberBlock(4096)).toHex(' '), FromHex("0010000010"
                                                                "0000000000"
                                                                "4D4153544552")
                                                            .toHex(' '));
    QCOMPARE(Bytes(MasterNumberBlock(0x0000000501020304LL)).toHex(' '), FromHex("0403020104"
                                                                                "0000000000"
                                                                                "4D4153544552")
                                                                            .toHex(' '));
}

void TstCardLayout::masterDataBlock_data()
{
    QTest::addColumn<qint64>("keyA");
    QTest::addColumn<qint64>("keyB");
    QTest::addColumn<int>("sector");
    QTest::addColumn<QByteArray>("block");

    QTest::newRow("transport keys, sector 1") << qint64(TransportKey) << qint64(TransportKey) << 1
                                              << FromHex("FFFFFFFFFFFF"
                                                         "FFFFFFFFFFFF"
                                                         "01"
                                                         "0000"
                                                         "A4");
    // A5 ^ 01^23^45^67^89^AB ^ A1^B2^C3^D4^E5^F6 ^ 1F
    QTest::newRow("distinct keys, sector 31")
        << qint64(0x0123456789ABLL) << qint64(0xA1B2C3D4E5F6LL) << 31
        << FromHex("0123456789AB"
                   "A1B2C3D4E5F6"
                   "1F"
                   "0000"
                   "8F");
}

void TstCardLayout::masterDataBlock()
{
    QFETCH(qint64, keyA);
    QFETCH(qint64, keyB);
    QFETCH(int, sector);
    QFETCH(QByteArray, block);

    const TBlock built = MasterDataBlock(keyA, keyB, uint8_t(sector));
    QCOMPARE(Bytes(built).toHex(' '), block.toHex(' '));
    uint8_t check = 0xA5;
    for (int i = 0; i < 15; ++i)
        check ^= built[size_t(i)];
    QCOMPARE(built[15], check);
}

void TstCardLayout::uid4()
{
    const uint8_t four[7] = {0x11, 0x22, 0x33, 0x44, 0, 0, 0};
    const uint8_t seven[7] = {0x04, 0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6};
    QCOMPARE(Uid4(four, 4), (TUid4{0x11, 0x22, 0x33, 0x44}));
    QCOMPARE(Uid4(seven, 7), (TUid4{0xC3, 0xD4, 0xE5, 0xF6}));
}

QTEST_GUILESS_MAIN(TstCardLayout)
#include "tst_cardlayout.moc"
