// The exact library calls and waits of every card operation on both reader families,
// the first-failure rule and the result codes, against a recording stand-in library.

#include "cards/cardengine.h"
#include "cards/cardlayout.h"
#include "cards/recordingreader.h"
#include "profiles/secprofiles.h"
#include "reader/readerkind.h"

#include <QtTest>

#include <memory>

using namespace CardLayout;

namespace {

constexpr int Alto = READER_ALTO;
constexpr int Nova = READER_NOVA;

const QString Uid = QStringLiteral("01020304");
const QString Zeros = QStringLiteral("00000000000000000000000000000000");
const QString TransportHex = QStringLiteral("FFFFFFFFFFFF");
const QString TransportTrailerHex = QStringLiteral("FFFFFFFFFFFFFF078069FFFFFFFFFFFF");

constexpr int64_t SourceKeyA = 0x0123456789ABLL;
constexpr int64_t SourceKeyB = 0xA1B2C3D4E5F6LL;
constexpr int64_t TargetKeyA = 0x111111111111LL;
constexpr int64_t TargetKeyB = 0x222222222222LL;

QString Hex(const TBlock &block)
{
    return TRecordingReader::Hex(block.data(), int(block.size()));
}

QString KeyHex(int64_t key)
{
    const TKey bytes = KeyBytes(key);
    return TRecordingReader::Hex(bytes.data(), 6);
}

// The log entries of one step on a family, as the recording library writes them.
QStringList Auth(int family, int block, bool keyB, int64_t key, const QString &uid4 = Uid)
{
    const QString k = KeyHex(key);
    if (family == Alto)
        return {QStringLiteral("Mf500HostCodeKey(%1, out)").arg(k),
                QStringLiteral("Mf500PiccAuthKey(%1, %2, %3%3, %4)")
                    .arg(keyB ? QStringLiteral("0x61") : QStringLiteral("0x60"), uid4, k)
                    .arg(block)};
    return {QStringLiteral("MfcAuthenticateKey(%1, %2, %3, %4)")
                .arg(block)
                .arg(keyB ? QStringLiteral("0x0B") : QStringLiteral("0x0A"), uid4, k)};
}
QStringList Write(int family, int block, const QString &data)
{
    return {(family == Alto ? QStringLiteral("Mf500PiccWrite(%1, %2)")
                            : QStringLiteral("MfcWriteBlock(%1, %2)"))
                .arg(block)
                .arg(data)};
}
QStringList Read(int family, int block)
{
    return {(family == Alto ? QStringLiteral("Mf500PiccRead(%1, out)")
                            : QStringLiteral("MfcReadBlock(%1, out)"))
                .arg(block)};
}
QStringList Halt(int family)
{
    return {family == Alto ? QStringLiteral("Mf500PiccHalt()") : QStringLiteral("HaltA()")};
}
QStringList Sleep(int ms)
{
    return {QStringLiteral("Sleep(%1)").arg(ms)};
}

std::unique_ptr<TSecProfile> Profile(int sector, bool useOriginalId, int64_t keyA = SourceKeyA,
                                     int64_t keyB = SourceKeyB)
{
    auto p = std::make_unique<TSecProfile>();
    p->SetID(5);
    p->Sector = uint8_t(sector);
    p->KeyA = keyA;
    p->KeyB = keyB;
    p->SetUseOriginalId(useOriginalId ? 1 : 0);
    return p;
}

TSerialNumber Snr4()
{
    return {0x01, 0x02, 0x03, 0x04, 0, 0, 0};
}

} // namespace

class TstCardSequence : public QObject
{
    Q_OBJECT

    std::unique_ptr<TRecordingReader> reader;

    void Use(int family) { ReaderKind = family; }

private slots:
    void init()
    {
        reader = std::make_unique<TRecordingReader>();
        BindMfrc500(reader.get());
        BindRivlink(reader.get());
        ReaderKind = Alto;
        CardEngine::SetNextNumberSource({});
    }
    void cleanup()
    {
        BindMfrc500(nullptr);
        BindRivlink(nullptr);
        ReaderKind = READER_NONE;
        CardEngine::SetNextNumberSource({});
        reader.reset();
    }

    void issueAndEraseUnderSector1OnNova();
    void issueUnderSector1OnAlto();
    void sequences_data();
    void sequences();
    void firstFailureEndsTheOperation_data();
    void firstFailureEndsTheOperation();
    void moveWithBadCheckByteChangesNothing();
    void moveFromOwnIdProfileTakesTheNextNumber();
    void prepareReader_data();
    void prepareReader();
    void readCard_data();
    void readCard();
    void recordNamingNoSectorIsNotProgrammed();
    void noReaderMakesNoCall();
};

void TstCardSequence::issueAndEraseUnderSector1OnNova()
{
    Use(Nova);
    auto profile = Profile(1, false);
    TSerialNumber snr = Snr4();

    QCOMPARE(profile->WriteCard(&snr, 4096, 4), 0);
    QCOMPARE(reader->Log(),
             (QStringList{
                 QStringLiteral("MfcAuthenticateKey(4, 0x0A, 01020304, FFFFFFFFFFFF)"),
                 QStringLiteral("Sleep(100)"),
                 QStringLiteral("MfcWriteBlock(4, 00100000100000000000000000000000)"),
                 QStringLiteral("Sleep(100)"),
                 QStringLiteral("MfcWriteBlock(7, 0123456789AB78778869A1B2C3D4E5F6)"),
                 QStringLiteral("HaltA()"),
             }));

    reader->ClearLog();
    QCOMPARE(profile->EraseCard(&snr, 4), 0);
    QCOMPARE(reader->Log(),
             (QStringList{
                 QStringLiteral("MfcAuthenticateKey(4, 0x0B, 01020304, A1B2C3D4E5F6)"),
                 QStringLiteral("MfcWriteBlock(4, 00000000000000000000000000000000)"),
                 QStringLiteral("MfcWriteBlock(5, 00000000000000000000000000000000)"),
                 QStringLiteral("MfcWriteBlock(7, FFFFFFFFFFFFFF078069FFFFFFFFFFFF)"),
                 QStringLiteral("HaltA()"),
             }));
}

void TstCardSequence::issueUnderSector1OnAlto()
{
    Use(Alto);
    auto profile = Profile(1, false);
    TSerialNumber snr = Snr4();

    QCOMPARE(profile->WriteCard(&snr, 4096, 4), 0);
    QCOMPARE(reader->Log(),
             (QStringList{
                 QStringLiteral("Mf500HostCodeKey(FFFFFFFFFFFF, out)"),
                 QStringLiteral("Mf500PiccAuthKey(0x60, 01020304, FFFFFFFFFFFFFFFFFFFFFFFF, 4)"),
                 QStringLiteral("Sleep(100)"),
                 QStringLiteral("Mf500PiccWrite(4, 00100000100000000000000000000000)"),
                 QStringLiteral("Sleep(100)"),
                 QStringLiteral("Mf500PiccWrite(7, 0123456789AB78778869A1B2C3D4E5F6)"),
                 QStringLiteral("Mf500PiccHalt()"),
             }));
}

// Every operation, both families, with the UseOriginalId, sector 0, 7-byte UID and
// different-sector variants.
void TstCardSequence::sequences_data()
{
    QTest::addColumn<int>("family");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("sourceSector");
    QTest::addColumn<bool>("sourceOwnId");
    QTest::addColumn<int>("targetSector");
    QTest::addColumn<bool>("sevenByteUid");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<qint64>("numberAfter");

    const QString number4096 = Hex(NumberBlock(4096));
    const QString number70000 = Hex(NumberBlock(70000));
    const QString userTrailer = Hex(UserTrailer(SourceKeyA, SourceKeyB));
    const QString targetTrailer = Hex(UserTrailer(TargetKeyA, TargetKeyB));
    const QString master = Hex(MasterNumberBlock(4096));
    const QString masterData2 = Hex(MasterDataBlock(TargetKeyA, TargetKeyB, 2));
    const QString uid7 = QStringLiteral("D4E5F6A7");

    for (int f : {Alto, Nova}) {
        const QByteArray fam = f == Alto ? "alto" : "nova";
        auto row = [&](const char *name) -> QTestData & {
            const QByteArray tag = fam + ' ' + name;
            return QTest::newRow(tag.constData());
        };

        row("issue, own id") << f << QStringLiteral("write") << 1 << true << 0 << false
                             << (Auth(f, 4, false, TransportKey) + Sleep(100) + Sleep(100) +
                                 Write(f, 7, userTrailer) + Halt(f))
                             << qint64(0);
        row("issue, sector 0, own id") << f << QStringLiteral("write") << 0 << true << 0 << false
                                       << (Auth(f, 0, false, TransportKey) + Sleep(100) +
                                           Sleep(100) + Write(f, 3, userTrailer) + Halt(f))
                                       << qint64(0);
        row("issue, sector 31, 7-byte uid")
            << f << QStringLiteral("write") << 31 << false << 0 << true
            << (Auth(f, 124, false, TransportKey, uid7) + Sleep(100) + Write(f, 124, number4096) +
                Sleep(100) + Write(f, 127, userTrailer) + Halt(f))
            << qint64(0);
        row("erase, own id") << f << QStringLiteral("erase") << 1 << true << 0 << false
                             << (Auth(f, 4, true, SourceKeyB) + Write(f, 5, Zeros) +
                                 Write(f, 7, TransportTrailerHex) + Halt(f))
                             << qint64(0);
        row("erase, sector 0, own id") << f << QStringLiteral("erase") << 0 << true << 0 << false
                                       << (Auth(f, 0, true, SourceKeyB) + Write(f, 1, Zeros) +
                                           Write(f, 3, TransportTrailerHex) + Halt(f))
                                       << qint64(0);
        row("erase, 7-byte uid") << f << QStringLiteral("erase") << 2 << false << 0 << true
                                 << (Auth(f, 8, true, SourceKeyB, uid7) + Write(f, 8, Zeros) +
                                     Write(f, 9, Zeros) + Write(f, 11, TransportTrailerHex) +
                                     Halt(f))
                                 << qint64(0);
        // A master card is written whatever the profile's own-id setting.
        row("master, own id") << f << QStringLiteral("master") << 1 << true << 2 << false
                              << (Auth(f, 4, false, TransportKey) + Write(f, 4, master) +
                                  Write(f, 5, masterData2) + Write(f, 7, userTrailer) + Halt(f))
                              << qint64(0);
        row("master, 7-byte uid") << f << QStringLiteral("master") << 3 << false << 2 << true
                                  << (Auth(f, 12, false, TransportKey, uid7) +
                                      Write(f, 12, master) + Write(f, 13, masterData2) +
                                      Write(f, 15, userTrailer) + Halt(f))
                                  << qint64(0);

        // Moves: the second data block of the source is cleared on RW-Alto only.
        const QStringList clearSecond1 = f == Alto ? Sleep(20) + Write(f, 5, Zeros) : QStringList{};
        row("move, same sector") << f << QStringLiteral("move") << 1 << false << 1 << false
                                 << (Auth(f, 4, false, SourceKeyA) + Read(f, 4) +
                                     Auth(f, 4, true, SourceKeyB) + Write(f, 4, Zeros) +
                                     clearSecond1 + Write(f, 7, TransportTrailerHex) + Sleep(20) +
                                     Auth(f, 4, false, TransportKey) + Sleep(20) +
                                     Write(f, 4, number70000) + Sleep(20) +
                                     Write(f, 7, targetTrailer) + Halt(f))
                                 << qint64(70000);
        // The card goes to the target profile's own sector.
        row("move, other sector") << f << QStringLiteral("move") << 1 << false << 2 << false
                                  << (Auth(f, 4, false, SourceKeyA) + Read(f, 4) +
                                      Auth(f, 4, true, SourceKeyB) + Write(f, 4, Zeros) +
                                      clearSecond1 + Write(f, 7, TransportTrailerHex) + Sleep(20) +
                                      Auth(f, 8, false, TransportKey) + Sleep(20) +
                                      Write(f, 8, number70000) + Sleep(20) +
                                      Write(f, 11, targetTrailer) + Halt(f))
                                  << qint64(70000);
        row("move, target sector 0")
            << f << QStringLiteral("move") << 1 << false << 0 << false
            << (Auth(f, 4, false, SourceKeyA) + Read(f, 4) + Auth(f, 4, true, SourceKeyB) +
                Write(f, 4, Zeros) + clearSecond1 + Write(f, 7, TransportTrailerHex) + Sleep(20) +
                Auth(f, 0, false, TransportKey) + Sleep(20) + Write(f, 3, targetTrailer) + Halt(f))
            << qint64(70000);
        // A source in sector 0 identifies cards by their own ID: nothing is read and
        // blocks 0 and 1 are left alone.
        row("move, source sector 0")
            << f << QStringLiteral("move") << 0 << true << 1 << false
            << (Auth(f, 0, true, SourceKeyB) + Write(f, 3, TransportTrailerHex) + Sleep(20) +
                Auth(f, 4, false, TransportKey) + Sleep(20) + Write(f, 4, Hex(NumberBlock(4242))) +
                Sleep(20) + Write(f, 7, targetTrailer) + Halt(f))
            << qint64(4242);
        row("move, 7-byte uid") << f << QStringLiteral("move") << 2 << false << 2 << true
                                << (Auth(f, 8, false, SourceKeyA, uid7) + Read(f, 8) +
                                    Auth(f, 8, true, SourceKeyB, uid7) + Write(f, 8, Zeros) +
                                    (f == Alto ? Sleep(20) + Write(f, 9, Zeros) : QStringList{}) +
                                    Write(f, 11, TransportTrailerHex) + Sleep(20) +
                                    Auth(f, 8, false, TransportKey, uid7) + Sleep(20) +
                                    Write(f, 8, number70000) + Sleep(20) +
                                    Write(f, 11, targetTrailer) + Halt(f))
                                << qint64(70000);
    }
}

void TstCardSequence::sequences()
{
    QFETCH(int, family);
    QFETCH(QString, operation);
    QFETCH(int, sourceSector);
    QFETCH(bool, sourceOwnId);
    QFETCH(int, targetSector);
    QFETCH(bool, sevenByteUid);
    QFETCH(QStringList, expected);
    QFETCH(qint64, numberAfter);

    Use(family);
    auto source = Profile(sourceSector, sourceOwnId);
    auto target = Profile(targetSector, false, TargetKeyA, TargetKeyB);
    TSerialNumber snr =
        sevenByteUid ? TSerialNumber{0x04, 0xB1, 0xC2, 0xD4, 0xE5, 0xF6, 0xA7} : Snr4();
    const uint8_t slen = sevenByteUid ? 7 : 4;
    reader->SetReadBlock(NumberBlock(70000));
    CardEngine::SetNextNumberSource([] { return int64_t(4242); });

    int32_t result = -99;
    int64_t number = 4096;
    if (operation == QLatin1String("write"))
        result = source->WriteCard(&snr, number, slen);
    else if (operation == QLatin1String("erase"))
        result = source->EraseCard(&snr, slen);
    else if (operation == QLatin1String("master"))
        result = source->WriteMaster(target.get(), &snr, number, slen);
    else {
        number = -5; // the value on entry is not used
        result = source->ReWriteCard(target.get(), &snr, number, slen);
        QCOMPARE(qint64(number), numberAfter);
    }
    QCOMPARE(result, 0);
    QCOMPARE(reader->Log(), expected);
}

void TstCardSequence::firstFailureEndsTheOperation_data()
{
    QTest::addColumn<int>("family");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("function");
    QTest::addColumn<int>("occurrence");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("callsMade"); // library calls and waits up to the failing one

    // RW-Alto statuses keep their sign, RW-Nova statuses are unsigned 16-bit.
    QTest::newRow("alto issue, coding the key")
        << Alto << QStringLiteral("write") << QStringLiteral("Mf500HostCodeKey") << 1 << -9 << -9
        << 1;
    QTest::newRow("alto issue, authentication")
        << Alto << QStringLiteral("write") << QStringLiteral("Mf500PiccAuthKey") << 1 << -4 << -4
        << 2;
    QTest::newRow("alto issue, number block")
        << Alto << QStringLiteral("write") << QStringLiteral("Mf500PiccWrite") << 1 << -6 << -6
        << 4;
    QTest::newRow("alto issue, trailer")
        << Alto << QStringLiteral("write") << QStringLiteral("Mf500PiccWrite") << 2 << -10 << -10
        << 6;
    QTest::newRow("nova issue, authentication")
        << Nova << QStringLiteral("write") << QStringLiteral("MfcAuthenticateKey") << 1 << 4 << 4
        << 1;
    QTest::newRow("nova issue, trailer, high status")
        << Nova << QStringLiteral("write") << QStringLiteral("MfcWriteBlock") << 2 << 0xFFF0
        << 0xFFF0 << 5;
    QTest::newRow("nova erase, authentication")
        << Nova << QStringLiteral("erase") << QStringLiteral("MfcAuthenticateKey") << 1 << 4 << 4
        << 1;
    QTest::newRow("nova erase, second block")
        << Nova << QStringLiteral("erase") << QStringLiteral("MfcWriteBlock") << 2 << 6 << 6 << 3;
    QTest::newRow("alto erase, trailer") << Alto << QStringLiteral("erase")
                                         << QStringLiteral("Mf500PiccWrite") << 3 << -6 << -6 << 5;
    QTest::newRow("nova master, data block")
        << Nova << QStringLiteral("master") << QStringLiteral("MfcWriteBlock") << 2 << 6 << 6 << 3;
    QTest::newRow("alto master, trailer") << Alto << QStringLiteral("master")
                                          << QStringLiteral("Mf500PiccWrite") << 3 << -6 << -6 << 5;
    QTest::newRow("nova move, reading")
        << Nova << QStringLiteral("move") << QStringLiteral("MfcReadBlock") << 1 << 6 << 6 << 2;
    QTest::newRow("nova move, source key B")
        << Nova << QStringLiteral("move") << QStringLiteral("MfcAuthenticateKey") << 2 << 4 << 4
        << 3;
    QTest::newRow("alto move, target authentication")
        << Alto << QStringLiteral("move") << QStringLiteral("Mf500PiccAuthKey") << 3 << -4 << -4
        << 12;
    QTest::newRow("nova move, target trailer")
        << Nova << QStringLiteral("move") << QStringLiteral("MfcWriteBlock") << 4 << 6 << 6 << 11;
}

void TstCardSequence::firstFailureEndsTheOperation()
{
    QFETCH(int, family);
    QFETCH(QString, operation);
    QFETCH(QString, function);
    QFETCH(int, occurrence);
    QFETCH(int, status);
    QFETCH(int, expected);
    QFETCH(int, callsMade);

    Use(family);
    auto source = Profile(1, false);
    auto target = Profile(1, false, TargetKeyA, TargetKeyB);
    TSerialNumber snr = Snr4();
    reader->SetReadBlock(NumberBlock(70000));
    reader->FailAt(function, occurrence, status);

    int32_t result = 0;
    int64_t number = 4096;
    if (operation == QLatin1String("write"))
        result = source->WriteCard(&snr, number, 4);
    else if (operation == QLatin1String("erase"))
        result = source->EraseCard(&snr, 4);
    else if (operation == QLatin1String("master"))
        result = source->WriteMaster(target.get(), &snr, number, 4);
    else
        result = source->ReWriteCard(target.get(), &snr, number, 4);

    QCOMPARE(result, expected);
    const QStringList log = reader->Log();
    QCOMPARE(log.size(), callsMade);
    QVERIFY2(log.last().startsWith(function + QLatin1Char('(')), qPrintable(log.last()));
    QCOMPARE(reader->CallCount(family == Alto ? QStringLiteral("Mf500PiccHalt")
                                              : QStringLiteral("HaltA")),
             0);
}

void TstCardSequence::moveWithBadCheckByteChangesNothing()
{
    for (int family : {Alto, Nova}) {
        reader->ClearLog();
        Use(family);
        auto source = Profile(1, false);
        auto target = Profile(2, false, TargetKeyA, TargetKeyB);
        TSerialNumber snr = Snr4();
        TBlock block = NumberBlock(70000);
        block[4] ^= 0x80;
        reader->SetReadBlock(block);

        int64_t number = 123;
        const int32_t result = source->ReWriteCard(target.get(), &snr, number, 4);
        QCOMPARE(result, CardEngine::BadCheckByte);
        QVERIFY(result != 0);
        // Only the source authentication and the read: nothing written, not halted.
        QCOMPARE(reader->Log(), Auth(family, 4, false, SourceKeyA) + Read(family, 4));
    }
}

void TstCardSequence::moveFromOwnIdProfileTakesTheNextNumber()
{
    Use(Nova);
    auto source = Profile(1, true);
    auto target = Profile(1, false, TargetKeyA, TargetKeyB);
    TSerialNumber snr = Snr4();
    int calls = 0;
    CardEngine::SetNextNumberSource([&calls] {
        ++calls;
        return int64_t(0x100001000LL);
    });

    int64_t number = 0;
    QCOMPARE(source->ReWriteCard(target.get(), &snr, number, 4), 0);
    QCOMPARE(calls, 1);
    QCOMPARE(qint64(number), qint64(0x100001000LL));
    const QStringList log = reader->Log();
    QCOMPARE(reader->CallCount(QStringLiteral("MfcReadBlock")), 0);
    // The source's number block is cleared all the same, and the new number written.
    QVERIFY(log.contains(Write(Nova, 4, Zeros).first()));
    QVERIFY(log.contains(Write(Nova, 4, Hex(NumberBlock(0x1000))).first()));

    // When the register cannot give a number the card is left alone.
    reader->ClearLog();
    CardEngine::SetNextNumberSource([]() -> int64_t { throw std::runtime_error("no database"); });
    number = 77;
    QCOMPARE(source->ReWriteCard(target.get(), &snr, number, 4), CardEngine::NoCardNumber);
    QCOMPARE(qint64(number), qint64(77));
    QVERIFY(reader->Log().isEmpty());
}

void TstCardSequence::prepareReader_data()
{
    QTest::addColumn<int>("family");
    QTest::addColumn<int>("profileId");
    QTest::addColumn<QString>("failFunction");
    QTest::addColumn<int>("failStatus");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QStringList>("calls");

    const QString key = QStringLiteral("0123456789AB");
    const QStringList altoCalls{QStringLiteral("Mf500PcdLoadKeyE2(0, 0, %1)").arg(key),
                                QStringLiteral("PcdWriteE2(0x70, 4, 77050300)")};
    const QStringList novaCalls{QStringLiteral("InitReaderTagorData(0x77, 3, 5, 0)"),
                                QStringLiteral("MfcStoreKeyE2(0, 1, %1)").arg(key)};

    // RW-Alto stores the key first, RW-Nova the record first.
    QTest::newRow("alto") << Alto << 5 << QString() << 0 << 0 << altoCalls;
    QTest::newRow("alto, ID above 255 keeps the low byte")
        << Alto << 300 << QString() << 0 << 0
        << QStringList{altoCalls[0], QStringLiteral("PcdWriteE2(0x70, 4, 772C0300)")};
    QTest::newRow("alto, key not stored")
        << Alto << 5 << QStringLiteral("Mf500PcdLoadKeyE2") << -25 << -15 << altoCalls.mid(0, 1);
    QTest::newRow("alto, record not stored")
        << Alto << 5 << QStringLiteral("PcdWriteE2") << -12 << -15 << altoCalls;
    QTest::newRow("nova") << Nova << 5 << QString() << 0 << 0 << novaCalls;
    QTest::newRow("nova, ID above 255 keeps the low byte")
        << Nova << 300 << QString() << 0 << 0
        << QStringList{QStringLiteral("InitReaderTagorData(0x77, 3, 44, 0)"), novaCalls[1]};
    QTest::newRow("nova, record not kept")
        << Nova << 5 << QStringLiteral("InitReaderTagorData") << 19 << 19 << novaCalls.mid(0, 1);
    QTest::newRow("nova, key not stored")
        << Nova << 5 << QStringLiteral("MfcStoreKeyE2") << 20 << 20 << novaCalls;
}

void TstCardSequence::prepareReader()
{
    QFETCH(int, family);
    QFETCH(int, profileId);
    QFETCH(QString, failFunction);
    QFETCH(int, failStatus);
    QFETCH(int, expected);
    QFETCH(QStringList, calls);

    Use(family);
    reader->TakeCard(); // no card is needed
    auto profile = Profile(3, false);
    profile->SetID(profileId);
    if (!failFunction.isEmpty())
        reader->FailAt(failFunction, 1, failStatus);
    QCOMPARE(profile->PrepareReader(), expected);
    QCOMPARE(reader->Log(), calls);
}

void TstCardSequence::readCard_data()
{
    QTest::addColumn<int>("family");
    QTest::addColumn<bool>("cardPresent");
    QTest::addColumn<bool>("sevenByteUid");
    QTest::addColumn<bool>("programmed");
    QTest::addColumn<QString>("failFunction");
    QTest::addColumn<int>("failStatus");
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("id1Len"); // 0: Id1 not filled
    QTest::addColumn<bool>("id2Read");
    QTest::addColumn<QStringList>("calls");

    const QStringList altoOk{QStringLiteral("PcdReadE2(0x70, 5, out)"),
                             QStringLiteral("Mf500PiccActivateIdle(0, out, out, out, out)"),
                             QStringLiteral("Mf500PiccAuthE2(0x60, 01020304, 0, 12)"),
                             QStringLiteral("Mf500PiccRead(12, out)"),
                             QStringLiteral("Mf500PiccHalt()")};
    const QStringList novaOk{QStringLiteral("GetReaderTagorData(out, out, out, out)"),
                             QStringLiteral("ActivateCardA3(0, out, out, out)"),
                             QStringLiteral("MfcAuthentKeyNo(12, 0x0A, 01020304, 0, 0)"),
                             QStringLiteral("MfcReadBlock(12, out)"), QStringLiteral("HaltA()")};
    auto without = [](QStringList list, int from) {
        const QString halt = list.last();
        list = list.mid(0, from);
        list.append(halt);
        return list;
    };

    QTest::newRow("alto, read") << Alto << true << false << true << QString() << 0 << 0 << 4 << true
                                << altoOk;
    QTest::newRow("alto, 7-byte uid")
        << Alto << true << true << true << QString() << 0 << 0 << 7 << true
        << QStringList{altoOk[0], altoOk[1],
                       QStringLiteral("Mf500PiccAuthE2(0x60, D4E5F6A7, 0, 12)"), altoOk[3],
                       altoOk[4]};
    QTest::newRow("alto, eeprom unreadable")
        << Alto << true << false << true << QStringLiteral("PcdReadE2") << -12 << -18 << 0 << false
        << without(altoOk, 1);
    QTest::newRow("alto, not programmed") << Alto << true << false << false << QString() << 0 << -6
                                          << 0 << false << without(altoOk, 1);
    QTest::newRow("alto, no card") << Alto << false << false << true << QString() << 0 << -1 << 0
                                   << false << without(altoOk, 2);
    QTest::newRow("alto, authentication")
        << Alto << true << false << true << QStringLiteral("Mf500PiccAuthE2") << -10 << -4 << 4
        << false << without(altoOk, 3);
    QTest::newRow("alto, block read")
        << Alto << true << false << true << QStringLiteral("Mf500PiccRead") << -10 << -10 << 4
        << false << altoOk;

    QTest::newRow("nova, read") << Nova << true << false << true << QString() << 0 << 0 << 4 << true
                                << novaOk;
    QTest::newRow("nova, 7-byte uid")
        << Nova << true << true << true << QString() << 0 << 0 << 7 << true
        << QStringList{novaOk[0], novaOk[1],
                       QStringLiteral("MfcAuthentKeyNo(12, 0x0A, D4E5F6A7, 0, 0)"), novaOk[3],
                       novaOk[4]};
    QTest::newRow("nova, record unreadable")
        << Nova << true << false << true << QStringLiteral("GetReaderTagorData") << 19 << 19 << 0
        << false << without(novaOk, 1);
    QTest::newRow("nova, not programmed") << Nova << true << false << false << QString() << 0 << 170
                                          << 0 << false << without(novaOk, 1);
    QTest::newRow("nova, no card") << Nova << false << false << true << QString() << 0 << -1 << 0
                                   << false << without(novaOk, 2);
    QTest::newRow("nova, authentication")
        << Nova << true << false << true << QStringLiteral("MfcAuthentKeyNo") << 4 << 7 << 4
        << false << without(novaOk, 3);
    QTest::newRow("nova, block read")
        << Nova << true << false << true << QStringLiteral("MfcReadBlock") << 6 << 6 << 4 << false
        << novaOk;
}

void TstCardSequence::readCard()
{
    QFETCH(int, family);
    QFETCH(bool, cardPresent);
    QFETCH(bool, sevenByteUid);
    QFETCH(bool, programmed);
    QFETCH(QString, failFunction);
    QFETCH(int, failStatus);
    QFETCH(int, expected);
    QFETCH(int, id1Len);
    QFETCH(bool, id2Read);
    QFETCH(QStringList, calls);

    Use(family);
    const std::vector<uint8_t> uid =
        sevenByteUid ? std::vector<uint8_t>{0x04, 0xB1, 0xC2, 0xD4, 0xE5, 0xF6, 0xA7}
                     : std::vector<uint8_t>{0x01, 0x02, 0x03, 0x04};
    if (cardPresent)
        reader->PutCard(uid);
    else
        reader->TakeCard();
    // The reader is programmed for sector 3; the profile the call is made on is not used.
    reader->SetAltoRecord({uint8_t(programmed ? 0x77 : 0x00), 0x05, 0x03, 0x00, 0x00});
    reader->SetNovaRecord({uint8_t(programmed ? 0x77 : 0xFF), 0x03, 0x05, 0x00});
    reader->SetReadBlock(NumberBlock(4096));
    if (!failFunction.isEmpty())
        reader->FailAt(failFunction, 1, failStatus);
    auto unrelated = Profile(9, true, 1, 2);

    TCradIds ids;
    QCOMPARE(unrelated->ReadCard(&ids), expected);
    QCOMPARE(reader->Log(), calls);
    QCOMPARE(ids.Id1Len, id1Len);
    if (id1Len)
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(ids.Id1), id1Len),
                 QByteArray(reinterpret_cast<const char *>(uid.data()), int(uid.size())));
    if (id2Read) {
        QCOMPARE(ids.Id2Len, 4);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(ids.Id2), 4),
                 QByteArray::fromHex("00100000"));
    } else {
        QCOMPARE(ids.Id2Len, 0);
    }
}

// A record whose sector lies beyond any card (4s would wrap to another block) is not one
// this program writes: the reader counts as not programmed and no card is touched.
void TstCardSequence::recordNamingNoSectorIsNotProgrammed()
{
    Use(Alto);
    reader->SetAltoRecord({0x77, 0x05, 0x40, 0x00, 0x00});
    TCradIds ids;
    QCOMPARE(Profile(1, false)->ReadCard(&ids), CardEngine::AltoNotProgrammed);
    Use(Nova);
    reader->SetNovaRecord({0x77, 0x41, 0x05, 0x00});
    QCOMPARE(Profile(1, false)->ReadCard(&ids), CardEngine::NovaNotProgrammed);
    QCOMPARE(reader->CallCount(QStringLiteral("Mf500PiccActivateIdle")), 0);
    QCOMPARE(reader->CallCount(QStringLiteral("ActivateCardA3")), 0);
    QCOMPARE(ids.Id1Len, 0);
}

void TstCardSequence::noReaderMakesNoCall()
{
    ReaderKind = READER_NONE;
    auto profile = Profile(1, false);
    auto target = Profile(2, false);
    TSerialNumber snr = Snr4();
    int64_t number = 1;
    TCradIds ids;
    QCOMPARE(profile->ReadCard(&ids), 170);
    QVERIFY(profile->WriteCard(&snr, 1, 4) != 0);
    QVERIFY(profile->EraseCard(&snr, 4) != 0);
    QVERIFY(profile->WriteMaster(target.get(), &snr, 1, 4) != 0);
    QVERIFY(profile->ReWriteCard(target.get(), &snr, number, 4) != 0);
    QVERIFY(profile->PrepareReader() != 0);
    QVERIFY(reader->Log().isEmpty());

    // A family whose library is not bound is no open reader either.
    ReaderKind = Nova;
    BindRivlink(nullptr);
    QVERIFY(profile->WriteCard(&snr, 1, 4) != 0);
    QCOMPARE(profile->ReadCard(&ids), 170);
    QVERIFY(reader->Log().isEmpty());
}

QTEST_GUILESS_MAIN(TstCardSequence)
#include "tst_cardsequence.moc"
