// The virtual RW-Alto and RW-Nova readers: their calls and statuses, the call log, the
// coded key, the reader stores and their persistence, fault injection, the simulator
// binding and the --reader selection.
#include "reader/sim/simbinding.h"

#include <QTemporaryDir>
#include <QTest>

#include <QDir>

#include <atomic>
#include <cstring>
#include <thread>

using namespace mfrc500;
using namespace rivlink;
using Strings = std::vector<std::string>;

namespace {
const std::vector<uint8_t> Uid4 = {0x01, 0x02, 0x03, 0x04};
const std::vector<uint8_t> Uid7 = {0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
const uint8_t Transport[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
const uint8_t KeyA[6] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};

TSimCard Card(const std::vector<uint8_t> &uid = Uid4)
{
    return TSimCard(TSimCard::Type::Classic1K, uid);
}

std::array<uint8_t, 16> Filled(uint8_t v)
{
    std::array<uint8_t, 16> b;
    b.fill(v);
    return b;
}
} // namespace

class TestSimReaders : public QObject
{
    Q_OBJECT

private slots:
    void altoCardSequenceAndLog();
    void novaCardSequenceAndLog();
    void sevenByteUidThroughBothFamilies();
    void cardStatuses_data();
    void cardStatuses();
    void hostCodeKeyFormat();
    void haltedCardNotReactivated();
    void notAttachedReaders();
    void altoEnumerationAndOpen();
    void novaEnumeration();
    void altoEepromAndKeySlot();
    void novaTagorDataAndKeyStore();
    void storesPersistAcrossInstances();
    void unwritableStoreFailsTheCall();
    void faultFailsNthCall();
    void faultCardLeavesFieldTornWrite();
    void changeHookSeesWrites();
    void concurrentFieldAccess();
    void simulatorBinding();
    void readerSelection_data();
    void readerSelection();
};

void TestSimReaders::altoCardSequenceAndLog()
{
    TSimulator sim;
    sim.Attach(true, false);
    QVERIFY(sim.Field().PutCard(Card()));
    TSimMfrc500 &alto = sim.Alto();

    uint8_t atq[2], sak = 0, uid[10] = {}, len = 0xEE;
    QCOMPARE(alto.Mf500PiccActivateIdle(0, atq, &sak, uid, &len), MI_OK);
    QCOMPARE(len, uint8_t(4));
    QCOMPARE(QByteArray(reinterpret_cast<char *>(uid), 4), QByteArray::fromHex("01020304"));
    QCOMPARE(sak, uint8_t(0x08));
    QCOMPARE(atq[0], uint8_t(0x04));
    uint8_t coded[12];
    QCOMPARE(alto.Mf500HostCodeKey(Transport, coded), MI_OK);
    QCOMPARE(alto.Mf500PiccAuthKey(PICC_AUTHENT1A, uid, coded, 4), MI_OK);
    const auto data = Filled(0xA5);
    QCOMPARE(alto.Mf500PiccWrite(5, data.data()), MI_OK);
    std::array<uint8_t, 16> back{};
    QCOMPARE(alto.Mf500PiccRead(5, back.data()), MI_OK);
    QCOMPARE(back, data);
    QCOMPARE(alto.Mf500PiccHalt(), MI_OK);

    const Strings expected = {
        "Mf500PiccActivateIdle(0, out, out, out, out)",
        "Mf500HostCodeKey(FFFFFFFFFFFF, out)",
        "Mf500PiccAuthKey(0x60, 01020304, 0F0F0F0F0F0F0F0F0F0F0F0F, 4)",
        "Mf500PiccWrite(5, A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5)",
        "Mf500PiccRead(5, out)",
        "Mf500PiccHalt()",
    };
    QCOMPARE(alto.CallLog(), expected);
    QCOMPARE(alto.StatusLog(), std::vector<int>(6, 0));
    QCOMPARE(sim.Field().Card()->Block(5), data);
    QVERIFY(sim.Nova().CallLog().empty());
    alto.ClearLog();
    QVERIFY(alto.CallLog().empty() && alto.StatusLog().empty());
}

void TestSimReaders::novaCardSequenceAndLog()
{
    TSimulator sim;
    sim.Attach(false, true);
    QVERIFY(sim.Field().PutCard(Card()));
    TSimRivlink &nova = sim.Nova();

    uint8_t len = 0, uid[10] = {}, sak = 0, atqa[4] = {};
    QCOMPARE(nova.ActivateCardA3(&len, uid, &sak, atqa), RL_OK);
    QCOMPARE(len, uint8_t(4));
    QCOMPARE(nova.MfcAuthenticateKey(4, MODE_KEY_A, uid, Transport), RL_OK);
    const auto data = Filled(0x5A);
    QCOMPARE(nova.MfcWriteBlock(4, data.data()), RL_OK);
    std::array<uint8_t, 16> back{};
    QCOMPARE(nova.MfcReadBlock(4, back.data()), RL_OK);
    QCOMPARE(back, data);
    QCOMPARE(nova.HaltA(), RL_OK);

    const Strings expected = {
        "ActivateCardA3(0, out, out, out)",
        "MfcAuthenticateKey(4, 0x0A, 01020304, FFFFFFFFFFFF)",
        "MfcWriteBlock(4, 5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A)",
        "MfcReadBlock(4, out)",
        "HaltA()",
    };
    QCOMPARE(nova.CallLog(), expected);
    QCOMPARE(nova.StatusLog(), std::vector<int>(5, 0));
}

void TestSimReaders::sevenByteUidThroughBothFamilies()
{
    TSimulator sim;
    sim.Attach(true, true);
    QVERIFY(sim.Field().PutCard(Card(Uid7)));
    const uint8_t bytes3to6[4] = {0x33, 0x44, 0x55, 0x66};
    const uint8_t bytes0to3[4] = {0x04, 0x11, 0x22, 0x33};

    uint8_t atq[2], sak, uid[10], len;
    QCOMPARE(sim.Alto().Mf500PiccActivateIdle(0, atq, &sak, uid, &len), MI_OK);
    QCOMPARE(len, uint8_t(7));
    QCOMPARE(QByteArray(reinterpret_cast<char *>(uid), 7), QByteArray::fromHex("04112233445566"));
    QCOMPARE(atq[0], uint8_t(0x44));
    uint8_t coded[12];
    sim.Alto().Mf500HostCodeKey(Transport, coded);
    QCOMPARE(sim.Alto().Mf500PiccAuthKey(PICC_AUTHENT1A, bytes0to3, coded, 4), MI_AUTHERR);
    QCOMPARE(sim.Alto().Mf500PiccActivateIdle(0, atq, &sak, uid, &len), MI_OK);
    QCOMPARE(sim.Alto().Mf500PiccAuthKey(PICC_AUTHENT1A, bytes3to6, coded, 4), MI_OK);

    len = 0;
    QCOMPARE(sim.Nova().ActivateCardA3(&len, uid, &sak, atq), RL_OK);
    QCOMPARE(len, uint8_t(7));
    QCOMPARE(sim.Nova().MfcAuthenticateKey(4, MODE_KEY_A, bytes3to6, Transport), RL_OK);
}

void TestSimReaders::cardStatuses_data()
{
    QTest::addColumn<int>("scenario");
    QTest::addColumn<int>("altoStatus");
    QTest::addColumn<int>("novaStatus");
    QTest::newRow("no card") << 0 << int(MI_NOTAGERR) << int(RL_NO_CARD);
    QTest::newRow("wrong key") << 1 << int(MI_AUTHERR) << int(RL_AUTH_ERROR);
    QTest::newRow("access refused (key B readable)")
        << 2 << int(MI_CODEERR) << int(RL_ACCESS_ERROR);
    QTest::newRow("other sector") << 3 << int(MI_NOTAUTHERR) << int(RL_NOT_AUTH);
    QTest::newRow("block beyond 1K") << 4 << int(MI_WRONG_ADDR) << int(RL_BAD_PARAM);
    QTest::newRow("bad mode") << 5 << int(MI_WRONG_ADDR) << int(RL_BAD_PARAM);
}

void TestSimReaders::cardStatuses()
{
    QFETCH(int, scenario);
    QFETCH(int, altoStatus);
    QFETCH(int, novaStatus);

    for (bool useAlto : {true, false}) {
        TSimulator sim;
        sim.Attach(true, true);
        if (scenario != 0)
            QVERIFY(sim.Field().PutCard(Card()));
        TSimMfrc500 &alto = sim.Alto();
        TSimRivlink &nova = sim.Nova();
        uint8_t uid[10] = {}, len = 0, b1[4], b2;
        const int activated = useAlto ? alto.Mf500PiccActivateIdle(0, b1, &b2, uid, &len)
                                      : nova.ActivateCardA3(&len, uid, &b2, b1);
        const uint8_t wrong[6] = {1, 2, 3, 4, 5, 6};
        auto auth = [&](bool keyB, const uint8_t *key, uint8_t block, uint8_t badMode = 0) -> int {
            if (useAlto) {
                uint8_t coded[12];
                alto.Mf500HostCodeKey(key, coded);
                return alto.Mf500PiccAuthKey(badMode ? badMode
                                             : keyB  ? PICC_AUTHENT1B
                                                     : PICC_AUTHENT1A,
                                             uid, coded, block);
            }
            return nova.MfcAuthenticateKey(block,
                                           badMode ? badMode
                                           : keyB  ? MODE_KEY_B
                                                   : MODE_KEY_A,
                                           uid, key);
        };
        auto read = [&](uint8_t block) -> int {
            std::array<uint8_t, 16> d{};
            return useAlto ? alto.Mf500PiccRead(block, d.data())
                           : nova.MfcReadBlock(block, d.data());
        };
        int status = 0;
        switch (scenario) {
        case 0:
            status = activated;
            QCOMPARE(len, uint8_t(0));
            break;
        case 1:
            status = auth(false, wrong, 4);
            break;
        case 2:
            QCOMPARE(auth(true, Transport, 4), 0);
            status = read(4);
            break;
        case 3:
            QCOMPARE(auth(false, Transport, 4), 0);
            status = read(8);
            break;
        case 4:
            status = auth(false, Transport, 64);
            break;
        case 5:
            status = auth(false, Transport, 4, 0x33);
            break;
        }
        QCOMPARE(status, useAlto ? altoStatus : novaStatus);
        // A failed command leaves the card idle: nothing can be read without a new select.
        if (scenario != 0)
            QCOMPARE(read(4), useAlto ? int(MI_NOTAGERR) : int(RL_NO_CARD));
    }
}

void TestSimReaders::hostCodeKeyFormat()
{
    TSimulator sim;
    sim.Attach(true, false);
    uint8_t coded[12];
    QCOMPARE(sim.Alto().Mf500HostCodeKey(KeyA, coded), MI_OK);
    // Each key byte b: (~hi << 4 | hi), (~lo << 4 | lo).
    QCOMPARE(QByteArray(reinterpret_cast<char *>(coded), 12),
             QByteArray::fromHex("E1D2C3B4A5968778695A4B3C"));

    // The coded key opens a card whose key A is KeyA; a malformed one is refused.
    TSimCard card = Card();
    std::array<uint8_t, 16> trailer = Filled(0xFF);
    std::copy(KeyA, KeyA + 6, trailer.begin());
    trailer[6] = 0xFF;
    trailer[7] = 0x07;
    trailer[8] = 0x80;
    trailer[9] = 0x69;
    card.SetBlock(7, trailer);
    QVERIFY(sim.Field().PutCard(card));
    uint8_t atq[2], sak, uid[10], len;
    QCOMPARE(sim.Alto().Mf500PiccActivateIdle(0, atq, &sak, uid, &len), MI_OK);
    coded[3] ^= 0x10;
    QCOMPARE(sim.Alto().Mf500PiccAuthKey(PICC_AUTHENT1A, uid, coded, 4), MI_KEYERR);
    coded[3] ^= 0x10;
    QCOMPARE(sim.Alto().Mf500PiccAuthKey(PICC_AUTHENT1A, uid, coded, 4), MI_OK);
}

void TestSimReaders::haltedCardNotReactivated()
{
    TSimulator sim;
    sim.Attach(true, true);
    QVERIFY(sim.Field().PutCard(Card()));
    uint8_t atq[2], sak, uid[10], len;
    QCOMPARE(sim.Alto().Mf500PiccActivateIdle(0, atq, &sak, uid, &len), MI_OK);
    QCOMPARE(sim.Alto().Mf500PiccHalt(), MI_OK);
    QCOMPARE(sim.Alto().Mf500PiccActivateIdle(0, atq, &sak, uid, &len), MI_NOTAGERR);
    QCOMPARE(len, uint8_t(0));
    len = 0;
    QCOMPARE(sim.Nova().ActivateCardA3(&len, uid, &sak, atq), RL_NO_CARD); // same field
    // Taken off and presented anew.
    auto card = sim.Field().TakeCard();
    QVERIFY(card && sim.Field().PutCard(*card));
    QCOMPARE(sim.Nova().ActivateCardA3(&len, uid, &sak, atq), RL_OK);
    QCOMPARE(sim.Nova().HaltA(), RL_OK);
    QCOMPARE(sim.Nova().ActivateCardA3(&len, uid, &sak, atq), RL_NO_CARD);
    // Switching the RF field off and on powers the card anew.
    QCOMPARE(sim.Nova().RfFieldControl(0), RL_OK);
    QCOMPARE(sim.Nova().ActivateCardA3(&len, uid, &sak, atq), RL_NO_CARD);
    QCOMPARE(sim.Nova().RfFieldControl(1), RL_OK);
    QCOMPARE(sim.Nova().ActivateCardA3(&len, uid, &sak, atq), RL_OK);
}

void TestSimReaders::notAttachedReaders()
{
    TSimulator sim; // nothing attached
    QVERIFY(sim.Field().PutCard(Card()));
    uint32_t device = 0;
    QCOMPARE(sim.Alto().Mf500StartEnumerate(), MI_OK);
    QCOMPARE(sim.Alto().Mf500EnumerateNext(&device), MI_NOREADER);
    QCOMPARE(sim.Alto().Mf500InterfaceOpen(0x30, 17), MI_NOREADER);
    uint8_t atq[2], sak, uid[10], len = 9;
    QCOMPARE(sim.Alto().Mf500PiccActivateIdle(0, atq, &sak, uid, &len), MI_NOREADER);
    QCOMPARE(len, uint8_t(0));
    uint8_t e2[5];
    QCOMPARE(sim.Alto().PcdReadE2(0x70, 5, e2), MI_NOREADER);
    QCOMPARE(sim.Nova().Enumerate(), uint16_t(0));
    char buffer[64];
    QCOMPARE(sim.Nova().GetFirstReader(buffer, 64), RL_NO_READER);
    QCOMPARE(sim.Nova().OpenByNum(0), RL_NO_READER);
    len = 0;
    QCOMPARE(sim.Nova().ActivateCardA3(&len, uid, &sak, atq), RL_NO_READER);
    QCOMPARE(sim.Nova().InitReaderTagorData(0x77, 1, 5, 0), RL_NO_READER);
    // Every call is logged all the same.
    QCOMPARE(sim.Alto().CallLog().size(), size_t(5));
    QCOMPARE(sim.Nova().CallLog().size(), size_t(5));
}

void TestSimReaders::altoEnumerationAndOpen()
{
    TSimulator sim;
    sim.Attach(true, false);
    TSimMfrc500 &alto = sim.Alto();
    uint32_t device = 0;
    QCOMPARE(alto.Mf500StartEnumerate(), MI_OK);
    QCOMPARE(alto.Mf500EnumerateNext(&device), MI_OK);
    QCOMPARE(device, 17u);
    QCOMPARE(alto.Mf500EnumerateNext(&device), MI_NOREADER); // one reader only
    QCOMPARE(alto.Mf500InterfaceOpen(0x30, 18), MI_NOREADER);
    QCOMPARE(alto.Mf500InterfaceOpen(0x30, 17), MI_OK);
    QCOMPARE(alto.Mf500InterfaceOpen(0x30, 17), MI_ALREADYOPEN);
    alto.SetOpenResult(int16_t(-7));
    QCOMPARE(alto.Mf500InterfaceOpen(0x30, 17), int16_t(-7));
    alto.SetDeviceNumber(4242);
    QCOMPARE(alto.Mf500StartEnumerate(), MI_OK);
    QCOMPARE(alto.Mf500EnumerateNext(&device), MI_OK);
    QCOMPARE(device, 4242u);
    QCOMPARE(alto.CallLog().at(4), std::string("Mf500InterfaceOpen(0x30, 17)"));
}

void TestSimReaders::novaEnumeration()
{
    TSimulator sim;
    sim.Attach(false, true);
    TSimRivlink &nova = sim.Nova();
    QCOMPARE(nova.Enumerate(), uint16_t(1));
    nova.SetReaderCount(3);
    QCOMPARE(nova.Enumerate(), uint16_t(3));
    char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    QCOMPARE(nova.GetFirstReader(buffer, 64), RL_OK);
    QCOMPARE(nova.OpenByNum(2), RL_OK);
    QCOMPARE(nova.OpenByNum(3), RL_NO_READER);
    QCOMPARE(nova.GetReaderSerialStr(0, buffer), RL_OK);
    QCOMPARE(QByteArray(buffer), QByteArray("A1B2"));
    nova.SetSerial("7F00");
    QCOMPARE(nova.GetReaderSerialStr(1, buffer), RL_OK);
    QCOMPARE(QByteArray(buffer), QByteArray("7F00-1"));
}

void TestSimReaders::altoEepromAndKeySlot()
{
    TSimulator sim;
    sim.Attach(true, false);
    TSimMfrc500 &alto = sim.Alto();
    uint8_t e2[5] = {9, 9, 9, 9, 9};
    QCOMPARE(alto.PcdReadE2(0x70, 5, e2), MI_OK);
    QCOMPARE(QByteArray(reinterpret_cast<char *>(e2), 5), QByteArray(5, '\0')); // new reader
    const uint8_t record[4] = {0x77, 0x05, 0x01, 0x00};
    QCOMPARE(alto.PcdWriteE2(0x70, 4, record), MI_OK);
    QCOMPARE(alto.PcdReadE2(0x70, 5, e2), MI_OK);
    QCOMPARE(QByteArray(reinterpret_cast<char *>(e2), 5), QByteArray::fromHex("7705010000"));
    QCOMPARE(alto.PcdReadE2(0xFC, 5, e2), MI_WRONG_ADDR);
    QCOMPARE(alto.PcdWriteE2(0xFD, 4, record), MI_WRONG_ADDR);
    QCOMPARE(alto.CallLog().at(1), std::string("PcdWriteE2(0x70, 4, 77050100)"));

    // Key slot 0 with the profile's key A opens a card carrying it.
    QCOMPARE(alto.Mf500PcdLoadKeyE2(0, 0, KeyA), MI_OK);
    QCOMPARE(alto.StoredKey(0), (std::array<uint8_t, 6>{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}));
    TSimCard card = Card();
    std::array<uint8_t, 16> trailer{};
    std::copy(KeyA, KeyA + 6, trailer.begin());
    trailer[6] = 0x78;
    trailer[7] = 0x77;
    trailer[8] = 0x88;
    trailer[9] = 0x69;
    card.SetBlock(7, trailer);
    card.SetBlock(4, Filled(0x44));
    QVERIFY(sim.Field().PutCard(card));
    uint8_t atq[2], sak, uid[10], len;
    QCOMPARE(alto.Mf500PiccActivateIdle(0, atq, &sak, uid, &len), MI_OK);
    QCOMPARE(alto.Mf500PiccAuthE2(PICC_AUTHENT1A, uid, 1, 4), MI_AUTHERR); // slot 1: FF..FF
    QCOMPARE(alto.Mf500PiccActivateIdle(0, atq, &sak, uid, &len), MI_OK);
    QCOMPARE(alto.Mf500PiccAuthE2(PICC_AUTHENT1A, uid, 0, 4), MI_OK);
    std::array<uint8_t, 16> back{};
    QCOMPARE(alto.Mf500PiccRead(4, back.data()), MI_OK);
    QCOMPARE(back, Filled(0x44));
}

void TestSimReaders::novaTagorDataAndKeyStore()
{
    TSimulator sim;
    sim.Attach(false, true);
    TSimRivlink &nova = sim.Nova();
    uint8_t m = 9, s = 9, p = 9, r = 9;
    QCOMPARE(nova.GetReaderTagorData(&m, &s, &p, &r), RL_OK);
    QCOMPARE(m, uint8_t(0)); // never programmed
    QCOMPARE(nova.InitReaderTagorData(0x77, 3, 12, 0), RL_OK);
    QCOMPARE(nova.GetReaderTagorData(&m, &s, &p, &r), RL_OK);
    QCOMPARE((std::array<uint8_t, 4>{m, s, p, r}), (std::array<uint8_t, 4>{0x77, 3, 12, 0}));
    QCOMPARE(nova.MfcStoreKeyE2(0, 1, KeyA), RL_OK);
    QCOMPARE(nova.CallLog().at(1), std::string("InitReaderTagorData(0x77, 3, 12, 0)"));
    QCOMPARE(nova.CallLog().at(3), std::string("MfcStoreKeyE2(0, 1, 123456789ABC)"));

    TSimCard card = Card();
    std::array<uint8_t, 16> trailer{};
    std::copy(KeyA, KeyA + 6, trailer.begin());
    trailer[6] = 0x78;
    trailer[7] = 0x77;
    trailer[8] = 0x88;
    trailer[9] = 0x69;
    card.SetBlock(15, trailer);
    QVERIFY(sim.Field().PutCard(card));
    uint8_t uid[10], len = 0, sak, atqa[4];
    QCOMPARE(nova.ActivateCardA3(&len, uid, &sak, atqa), RL_OK);
    QCOMPARE(nova.MfcAuthentKeyNo(12, MODE_KEY_A, uid, 0, 0), RL_OK);
    QCOMPARE(nova.CallLog().back(), std::string("MfcAuthentKeyNo(12, 0x0A, 01020304, 0, 0)"));
    QCOMPARE(nova.MfcAuthentKeyNo(8, MODE_KEY_A, uid, 0, 0), RL_AUTH_ERROR); // sector 2: FF..FF
}

void TestSimReaders::storesPersistAcrossInstances()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString base = dir.filePath(QStringLiteral("tagor"));
    const uint8_t record[4] = {0x77, 0x05, 0x01, 0x00};
    {
        TSimulator sim;
        sim.SetStoreBase(base);
        sim.Attach(true, true);
        QCOMPARE(sim.Alto().Mf500PcdLoadKeyE2(0, 0, KeyA), MI_OK);
        QCOMPARE(sim.Alto().PcdWriteE2(0x70, 4, record), MI_OK);
        QCOMPARE(sim.Nova().InitReaderTagorData(0x77, 1, 5, 0), RL_OK);
        QCOMPARE(sim.Nova().MfcStoreKeyE2(0, 1, KeyA), RL_OK);
    }
    QVERIFY(QFile::exists(base + QStringLiteral(".alto")));
    QVERIFY(QFile::exists(base + QStringLiteral(".nova")));
    // No temporary files are left behind.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2);

    TSimulator again;
    again.SetStoreBase(base);
    const auto e2 = again.Alto().Eeprom();
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(&e2[0x70]), 4),
             QByteArray::fromHex("77050100"));
    QCOMPARE(again.Alto().StoredKey(0),
             (std::array<uint8_t, 6>{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}));
    QCOMPARE(again.Alto().StoredKey(1),
             (std::array<uint8_t, 6>{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    QCOMPARE(again.Nova().TagorData(), (std::array<uint8_t, 4>{0x77, 1, 5, 0}));
    QCOMPARE(again.Nova().StoredKey(0),
             (std::array<uint8_t, 6>{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}));

    // A damaged store is read as a new reader's.
    QFile damaged(base + QStringLiteral(".nova"));
    QVERIFY(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
    damaged.write("garbage\n");
    damaged.close();
    TSimulator third;
    third.SetStoreBase(base);
    QCOMPARE(third.Nova().TagorData(), (std::array<uint8_t, 4>{0, 0, 0, 0}));
    QCOMPARE(third.Alto().StoredKey(0)[0], uint8_t(0x12));
}

void TestSimReaders::unwritableStoreFailsTheCall()
{
    TSimulator sim;
    sim.SetStoreBase(QStringLiteral("/nonexistent-dir/tagor"));
    sim.Attach(true, true);
    const uint8_t record[4] = {0x77, 0x05, 0x01, 0x00};
    QCOMPARE(sim.Alto().PcdWriteE2(0x70, 4, record), MI_EEPROMERR);
    QCOMPARE(sim.Alto().Eeprom()[0x70], uint8_t(0));
    QCOMPARE(sim.Alto().Mf500PcdLoadKeyE2(0, 0, KeyA), MI_EEPROMERR);
    QCOMPARE(sim.Alto().StoredKey(0)[0], uint8_t(0xFF));
    QCOMPARE(sim.Nova().InitReaderTagorData(0x77, 1, 5, 0), RL_STORE_ERROR);
    QCOMPARE(sim.Nova().TagorData()[0], uint8_t(0));
    QCOMPARE(sim.Nova().MfcStoreKeyE2(0, 1, KeyA), RL_STORE_ERROR);
}

void TestSimReaders::faultFailsNthCall()
{
    TSimulator sim;
    sim.Attach(false, true);
    QVERIFY(sim.Field().PutCard(Card()));
    TSimRivlink &nova = sim.Nova();
    nova.Enumerate(); // calls before arming do not count
    nova.FailCall(3, 0x1234);
    uint8_t uid[10], len = 0, sak, atqa[4];
    QCOMPARE(nova.ActivateCardA3(&len, uid, &sak, atqa), RL_OK);
    QCOMPARE(nova.MfcAuthenticateKey(4, MODE_KEY_A, uid, Transport), RL_OK);
    const auto data = Filled(0x99);
    QCOMPARE(nova.MfcWriteBlock(4, data.data()), uint16_t(0x1234));
    QCOMPARE(sim.Field().Card()->Block(4), Filled(0)); // not carried out
    QVERIFY(!sim.Field().Card()->IsSelected());        // and the card dropped to idle
    QCOMPARE(nova.MfcWriteBlock(4, data.data()), RL_NO_CARD);
    // The fault fired once.
    QCOMPARE(nova.ActivateCardA3(&len, uid, &sak, atqa), RL_OK);
    QCOMPARE(nova.MfcAuthenticateKey(4, MODE_KEY_A, uid, Transport), RL_OK);
    QCOMPARE(nova.MfcWriteBlock(4, data.data()), RL_OK);
    QCOMPARE(nova.StatusLog(), (std::vector<int>{1, 0, 0, 0x1234, RL_NO_CARD, 0, 0, 0}));

    // Cleared faults do not fire; on RW-Alto the status is the signed value given.
    sim.Alto().SetAttached(true);
    sim.Alto().FailCall(1, -5);
    sim.Alto().ClearFaults();
    QCOMPARE(sim.Alto().Mf500StartEnumerate(), MI_OK);
    sim.Alto().FailCall(1, MI_ALREADYOPEN);
    QCOMPARE(sim.Alto().Mf500StartEnumerate(), MI_ALREADYOPEN);
}

void TestSimReaders::faultCardLeavesFieldTornWrite()
{
    // Issue-like sequence on RW-Alto: the card is pulled right after the first write.
    TSimulator sim;
    sim.Attach(true, false);
    QVERIFY(sim.Field().PutCard(Card()));
    TSimMfrc500 &alto = sim.Alto();
    alto.RemoveCardAfterCall(4);
    uint8_t atq[2], sak, uid[10], len, coded[12];
    QCOMPARE(alto.Mf500PiccActivateIdle(0, atq, &sak, uid, &len), MI_OK);
    QCOMPARE(alto.Mf500HostCodeKey(Transport, coded), MI_OK);
    QCOMPARE(alto.Mf500PiccAuthKey(PICC_AUTHENT1A, uid, coded, 4), MI_OK);
    const auto number = Filled(0x10);
    QCOMPARE(alto.Mf500PiccWrite(4, number.data()), MI_OK);
    QVERIFY(!sim.Field().HasCard());
    std::array<uint8_t, 16> trailer = Filled(0x00);
    QCOMPARE(alto.Mf500PiccWrite(7, trailer.data()), MI_NOTAGERR);

    auto removed = alto.RemovedCard();
    QVERIFY(removed);
    QCOMPARE(removed->Block(4), number);
    QCOMPARE(removed->Block(7),
             TSimCard(TSimCard::Type::Classic1K, Uid4).Block(7)); // still transport
    QVERIFY(!removed->IsHalted());
}

void TestSimReaders::changeHookSeesWrites()
{
    TSimulator sim;
    sim.Attach(true, false);
    int calls = 0;
    std::array<uint8_t, 16> lastBlock4{};
    sim.Field().SetChangeHook([&](const TSimCard &card) {
        ++calls;
        lastBlock4 = card.Block(4);
        QVERIFY(sim.Field().HasCard()); // the hook may use the field
    });
    QVERIFY(sim.Field().PutCard(Card()));
    uint8_t atq[2], sak, uid[10], len, coded[12];
    sim.Alto().Mf500PiccActivateIdle(0, atq, &sak, uid, &len);
    sim.Alto().Mf500HostCodeKey(Transport, coded);
    sim.Alto().Mf500PiccAuthKey(PICC_AUTHENT1A, uid, coded, 4);
    std::array<uint8_t, 16> back{};
    sim.Alto().Mf500PiccRead(4, back.data());
    QCOMPARE(calls, 0);
    const auto data = Filled(0x31);
    QCOMPARE(sim.Alto().Mf500PiccWrite(4, data.data()), MI_OK);
    QCOMPARE(calls, 1);
    QCOMPARE(lastBlock4, data);
    QCOMPARE(sim.Alto().Mf500PiccWrite(0, data.data()), MI_NOTAUTHERR);
    QCOMPARE(calls, 1);
}

void TestSimReaders::concurrentFieldAccess()
{
    // The worker thread polls while the window thread puts cards on and takes them off.
    TSimulator sim;
    sim.Attach(false, true);
    std::atomic<bool> stop{false};
    std::atomic<int> selected{0};
    std::thread worker([&] {
        while (!stop) {
            uint8_t uid[10], len = 0, sak, atqa[4];
            if (sim.Nova().ActivateCardA3(&len, uid, &sak, atqa) == RL_OK) {
                ++selected;
                sim.Nova().MfcAuthenticateKey(4, MODE_KEY_A, uid, Transport);
                sim.Nova().HaltA();
            }
        }
    });
    for (int i = 0; i < 300; ++i) {
        sim.Field().PutCard(Card());
        std::this_thread::yield();
        sim.Field().TakeCard();
    }
    stop = true;
    worker.join();
    // Every call answered as a card that is there or not: never a torn state.
    const auto statuses = sim.Nova().StatusLog();
    QCOMPARE(sim.Nova().CallLog().size(), statuses.size());
    for (int st : statuses)
        QVERIFY(st == RL_OK || st == RL_NO_CARD);
    QVERIFY(!sim.Field().HasCard());
}

void TestSimReaders::simulatorBinding()
{
    {
        TSimulator sim;
        sim.Bind();
        QCOMPARE(Mfrc500(), static_cast<TMfrc500Library *>(&sim.Alto()));
        QCOMPARE(Rivlink(), static_cast<TRivlinkLibrary *>(&sim.Nova()));
    }
    // A simulator going away unbinds itself.
    QCOMPARE(Mfrc500(), nullptr);
    QCOMPARE(Rivlink(), nullptr);

    TReaderSelection selection;
    selection.alto = false;
    selection.nova = true;
    BindSimulatedReaders(selection, QString());
    QCOMPARE(Rivlink(), static_cast<TRivlinkLibrary *>(&TSimulator::Instance().Nova()));
    QVERIFY(TSimulator::Instance().Nova().IsAttached());
    QVERIFY(!TSimulator::Instance().Alto().IsAttached());
    BindMfrc500(nullptr);
    BindRivlink(nullptr);
}

void TestSimReaders::readerSelection_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("alto");
    QTest::addColumn<bool>("nova");
    QTest::addColumn<bool>("help");
    QTest::addColumn<bool>("error");
    const QString p = QStringLiteral("tagor");
    QTest::newRow("no argument") << QStringList{p} << true << false << false << false;
    QTest::newRow("alto") << QStringList{p, QStringLiteral("--reader=alto")} << true << false
                          << false << false;
    QTest::newRow("nova") << QStringList{p, QStringLiteral("--reader=nova")} << false << true
                          << false << false;
    QTest::newRow("both") << QStringList{p, QStringLiteral("--reader=both")} << true << true
                          << false << false;
    QTest::newRow("none") << QStringList{p, QStringLiteral("--reader=none")} << false << false
                          << false << false;
    QTest::newRow("help") << QStringList{p, QStringLiteral("--help")} << true << false << true
                          << false;
    QTest::newRow("unknown reader")
        << QStringList{p, QStringLiteral("--reader=usb")} << true << false << false << true;
    QTest::newRow("unknown argument")
        << QStringList{p, QStringLiteral("--fast")} << true << false << false << true;
}

void TestSimReaders::readerSelection()
{
    QFETCH(QStringList, args);
    QFETCH(bool, alto);
    QFETCH(bool, nova);
    QFETCH(bool, help);
    QFETCH(bool, error);
    const TReaderSelection s = ParseReaderArgs(args);
    QCOMPARE(s.error.isEmpty(), !error);
    QCOMPARE(s.help, help);
    if (!error) {
        QCOMPARE(s.alto, alto);
        QCOMPARE(s.nova, nova);
    }
    const QString text = ReaderHelpText(QStringLiteral("tagor"));
    for (const char *word :
         {"--reader=alto", "--reader=nova", "--reader=both", "--reader=none", "--help"})
        QVERIFY(text.contains(QLatin1String(word)));
}

QTEST_GUILESS_MAIN(TestSimReaders)
#include "tst_simreaders.moc"
