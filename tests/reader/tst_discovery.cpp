// Reader discovery at start: the calls made, in order, the waits, the precedence of the
// RW-Alto reader, the accepted open statuses and the status panel text.
#include "reader/delay.h"
#include "reader/discovery.h"
#include "reader/sim/simbinding.h"

#include <QTest>

namespace {
QStringList ToList(const std::vector<std::string> &log)
{
    QStringList list;
    for (const std::string &s : log)
        list << QString::fromStdString(s);
    return list;
}

QStringList AltoOpened(const char *device)
{
    return {QStringLiteral("Mf500StartEnumerate()"), QStringLiteral("Mf500EnumerateNext(out)"),
            QStringLiteral("Mf500InterfaceOpen(0x30, %1)").arg(QLatin1String(device)),
            QStringLiteral("Mf500PcdConfig()")};
}

const QStringList AltoNotFound = {QStringLiteral("Mf500StartEnumerate()"),
                                  QStringLiteral("Mf500EnumerateNext(out)")};
const QStringList NovaOpened = {
    QStringLiteral("Enumerate()"), QStringLiteral("GetFirstReader(out, 64)"),
    QStringLiteral("OpenByNum(0)"), QStringLiteral("GetReaderSerialStr(0, out)"),
    QStringLiteral("RfFieldControl(1)")};
const QString NoReader = QStringLiteral("Нет считывателя");
} // namespace

class TestDiscovery : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void discovery_data();
    void discovery();
    void unboundLibraries();

private:
    QList<int> waits;
};

void TestDiscovery::init()
{
    waits.clear();
    Delay::SetHook([this](unsigned ms) { waits << int(ms); });
    ReaderKind = READER_NONE;
}

void TestDiscovery::cleanup()
{
    Delay::SetHook({});
    BindMfrc500(nullptr);
    BindRivlink(nullptr);
}

void TestDiscovery::discovery_data()
{
    QTest::addColumn<QStringList>("setup");
    QTest::addColumn<QStringList>("altoCalls");
    QTest::addColumn<QStringList>("novaCalls");
    QTest::addColumn<QList<int>>("expectedWaits");
    QTest::addColumn<QString>("panel");
    QTest::addColumn<int>("kind");
    QTest::addColumn<uint>("serial");
    QTest::addColumn<int>("number");

    auto setup = [](std::initializer_list<const char *> words) {
        QStringList l;
        for (const char *w : words)
            l << QLatin1String(w);
        return l;
    };
    const QString altoPanel = QStringLiteral("RW-Alto серийный No. 17");
    const QString novaPanel = QStringLiteral("RW-Nova серийный No. A1B2");

    QTest::newRow("RW-Alto, serial 17") << setup({"alto"}) << AltoOpened("17") << QStringList()
                                        << QList<int>{200, 200} << altoPanel << 1 << 17u << -1;
    QTest::newRow("RW-Alto open answers -20")
        << setup({"alto", "open-20"}) << AltoOpened("17") << QStringList() << QList<int>{200, 200}
        << altoPanel << 1 << 17u << -1;
    QTest::newRow("RW-Nova, serial A1B2") << setup({"nova"}) << AltoNotFound << NovaOpened
                                          << QList<int>{200, 10} << novaPanel << 2 << 0u << 0;
    QTest::newRow("both attached: RW-Alto wins")
        << setup({"alto", "nova"}) << AltoOpened("17") << QStringList() << QList<int>{200, 200}
        << altoPanel << 1 << 17u << -1;
    QTest::newRow("none") << setup({}) << AltoNotFound << QStringList{QStringLiteral("Enumerate()")}
                          << QList<int>{200} << NoReader << 0 << 0u << -1;
    QTest::newRow("RW-Nova, Enumerate 3: reader 0 only")
        << setup({"nova", "nova3"}) << AltoNotFound << NovaOpened << QList<int>{200, 10}
        << novaPanel << 2 << 0u << 0;
    QTest::newRow("RW-Alto open fails, RW-Nova taken")
        << setup({"alto", "open-7", "nova"}) << AltoOpened("17").mid(0, 3) << NovaOpened
        << QList<int>{200, 200, 10} << novaPanel << 2 << 0u << 0;
    QTest::newRow("RW-Alto open fails, no RW-Nova")
        << setup({"alto", "open-7"}) << AltoOpened("17").mid(0, 3)
        << QStringList{QStringLiteral("Enumerate()")} << QList<int>{200, 200} << NoReader << 0 << 0u
        << -1;
    QTest::newRow("Mf500StartEnumerate fails: still 200 ms")
        << setup({"alto", "start-fails", "nova"})
        << QStringList{QStringLiteral("Mf500StartEnumerate()")} << NovaOpened << QList<int>{200, 10}
        << novaPanel << 2 << 0u << 0;
    QTest::newRow("Enumerate negative") << setup({"nova", "enum-negative"}) << AltoNotFound
                                        << QStringList{QStringLiteral("Enumerate()")}
                                        << QList<int>{200} << NoReader << 0 << 0u << -1;
    QTest::newRow("GetFirstReader fails: no 10 ms")
        << setup({"nova", "fail-nova-2"}) << AltoNotFound << NovaOpened.mid(0, 2) << QList<int>{200}
        << NoReader << 0 << 0u << -1;
    QTest::newRow("OpenByNum fails")
        << setup({"nova", "fail-nova-3"}) << AltoNotFound << NovaOpened.mid(0, 3)
        << QList<int>{200, 10} << NoReader << 0 << 0u << -1;
    QTest::newRow("GetReaderSerialStr fails")
        << setup({"nova", "fail-nova-4"}) << AltoNotFound << NovaOpened.mid(0, 4)
        << QList<int>{200, 10} << NoReader << 0 << 0u << -1;
    // A reader whose serial number is 0 is open all the same: the panel names it.
    QTest::newRow("RW-Alto with serial 0")
        << setup({"alto", "serial0", "nova"}) << AltoOpened("0") << QStringList()
        << QList<int>{200, 200} << QStringLiteral("RW-Alto серийный No. 0") << 1 << 0u << -1;
    QTest::newRow("RW-Alto serial in decimal, unsigned")
        << setup({"alto", "serialbig"}) << AltoOpened("4000000000") << QStringList()
        << QList<int>{200, 200} << QStringLiteral("RW-Alto серийный No. 4000000000") << 1
        << 4000000000u << -1;
}

void TestDiscovery::discovery()
{
    QFETCH(QStringList, setup);
    QFETCH(QStringList, altoCalls);
    QFETCH(QStringList, novaCalls);
    QFETCH(QList<int>, expectedWaits);
    QFETCH(QString, panel);
    QFETCH(int, kind);
    QFETCH(uint, serial);
    QFETCH(int, number);

    TSimulator sim;
    sim.Attach(setup.contains(QLatin1String("alto")), setup.contains(QLatin1String("nova")));
    if (setup.contains(QLatin1String("open-20")))
        sim.Alto().SetOpenResult(mfrc500::MI_ALREADYOPEN);
    if (setup.contains(QLatin1String("open-7")))
        sim.Alto().SetOpenResult(-7);
    if (setup.contains(QLatin1String("start-fails")))
        sim.Alto().FailCall(1, -1);
    if (setup.contains(QLatin1String("serial0")))
        sim.Alto().SetDeviceNumber(0);
    if (setup.contains(QLatin1String("serialbig")))
        sim.Alto().SetDeviceNumber(4000000000u);
    if (setup.contains(QLatin1String("nova3")))
        sim.Nova().SetReaderCount(3);
    if (setup.contains(QLatin1String("enum-negative")))
        sim.Nova().FailCall(1, 0xFFFF);
    for (int n = 2; n <= 4; ++n) {
        if (setup.contains(QStringLiteral("fail-nova-%1").arg(n)))
            sim.Nova().FailCall(n, rivlink::RL_NO_READER);
    }
    sim.Bind();

    uint32_t readerSerial = 12345;
    int32_t readerNumber = 7;
    const QString text = DiscoverReader(readerSerial, readerNumber);

    QCOMPARE(ToList(sim.Alto().CallLog()), altoCalls);
    QCOMPARE(ToList(sim.Nova().CallLog()), novaCalls);
    QCOMPARE(waits, expectedWaits);
    QCOMPARE(text, panel);
    QCOMPARE(ReaderKind.load(), kind);
    QCOMPARE(readerSerial, serial);
    QCOMPARE(readerNumber, number);
    QCOMPARE(ReaderOpen(), kind != 0);
    if (kind == 2)
        QVERIFY(sim.Nova().RfFieldOn());
}

void TestDiscovery::unboundLibraries()
{
    uint32_t readerSerial = 1;
    int32_t readerNumber = 1;
    ReaderKind = READER_NOVA;
    QCOMPARE(DiscoverReader(readerSerial, readerNumber), NoReader);
    QCOMPARE(ReaderKind.load(), 0);
    QCOMPARE(readerSerial, 0u);
    QCOMPARE(readerNumber, -1);
    QVERIFY(!ReaderOpen());
    QVERIFY(waits.isEmpty());
}

QTEST_GUILESS_MAIN(TestDiscovery)
#include "tst_discovery.moc"
