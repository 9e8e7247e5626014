// Cross-check with an independent resource compiler: version resources made
// by the MinGW windres (committed .res fixtures, and a live run when the tool
// is installed) read back to the same values and are byte for byte the
// blocks our own builder and the build's generator write.

#include "about/VerInf.h"
#include "about/verblock.h"
#include "testfiles.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace testfiles;
using Block = std::vector<uint8_t>;

namespace {

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString Fixture(const QString &name)
{
    return QStringLiteral(TAGOR_FIXTURES) + QLatin1Char('/') + name;
}

// The block description that matches fixtures/version_en.rc.
verblock::VersionDesc EnglishSpec()
{
    verblock::VersionDesc s;
    for (int i = 0; i < 4; ++i)
        s.fileVersion[i] = s.productVersion[i] = uint16_t(i == 0 ? 2 : i == 1 ? 2 : i == 2 ? 3 : 7);
    s.strings = {{u"CompanyName", u"Fixture Maker"},
                 {u"FileDescription", u"Fixture description"},
                 {u"FileVersion", u"2.2.3.7"},
                 {u"LegalCopyright", u"Copyright (C) 2026 Fixture Maker"},
                 {u"ProductName", u"Fixture Product"},
                 {u"ProductVersion", u"2.2.3.7"},
                 {u"Comments", u"Utility for Mifare card preparation"}};
    return s;
}

// The block description that matches fixtures/version_ru.rc.
verblock::VersionDesc RussianSpec()
{
    verblock::VersionDesc s;
    const uint16_t f[4] = {1, 2, 3, 4}, p[4] = {5, 6, 7, 8};
    std::copy(f, f + 4, s.fileVersion);
    std::copy(p, p + 4, s.productVersion);
    s.tableName = u"041904E3";
    s.translations = {0x04E30419};
    s.strings = {{u"ProductName", u"Тагор"},
                 {u"Comments", u"Утилита подготовки карт Mifare"},
                 {u"LegalCopyright", u"© 2026"}};
    return s;
}

QString Windres()
{
    const QString w = QStringLiteral(TAGOR_WINDRES);
    return !w.isEmpty() && QFileInfo(w).isExecutable() ? w : QString();
}

// Compiles an .rc file; returns the .res bytes, empty on failure.
QByteArray RunWindres(const QString &rc, const QString &res)
{
    QProcess p;
    p.start(Windres(), {QStringLiteral("--preprocessor=cat"), QStringLiteral("--codepage=65001"),
                        QStringLiteral("-J"), QStringLiteral("rc"), QStringLiteral("-O"),
                        QStringLiteral("res"), rc, res});
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        qWarning("windres failed: %s", p.readAllStandardError().constData());
        return {};
    }
    return ReadAll(res);
}

QString RcString(const QString &s)
{
    QString out = s;
    out.replace(QLatin1String("\\"), QLatin1String("\\\\"));
    out.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + out + QLatin1Char('"');
}

// A resource script with the contents of the build's version description.
QString RcFromDescription(const QString &descriptionPath)
{
    QFile f(descriptionPath);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QString fileVersion, productVersion, table, lang, codePage;
    QStringList values;
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        const QString word = line.section(QLatin1Char(' '), 0, 0);
        const QString rest = line.section(QLatin1Char(' '), 1);
        if (word == QLatin1String("fileversion"))
            fileVersion = rest;
        else if (word == QLatin1String("productversion"))
            productVersion = rest;
        else if (word == QLatin1String("table"))
            table = rest;
        else if (word == QLatin1String("translation")) {
            lang = rest.section(QLatin1Char(' '), 0, 0);
            codePage = rest.section(QLatin1Char(' '), 1, 1);
        } else if (word == QLatin1String("string")) {
            const qsizetype eq = rest.indexOf(QLatin1Char('='));
            values << QStringLiteral("      VALUE %1, %2\n")
                          .arg(RcString(rest.left(eq)), RcString(rest.mid(eq + 1)));
        }
    }
    fileVersion.replace(QLatin1Char('.'), QLatin1Char(','));
    productVersion.replace(QLatin1Char('.'), QLatin1Char(','));
    return QStringLiteral(
               "1 VERSIONINFO\nFILEVERSION %1\nPRODUCTVERSION %2\n"
               "FILEFLAGSMASK 0x3f\nFILEFLAGS 0x0\nFILEOS 0x40004\nFILETYPE 0x1\nFILESUBTYPE 0x0\n"
               "BEGIN\n  BLOCK \"StringFileInfo\"\n  BEGIN\n    BLOCK \"%3\"\n    BEGIN\n%4"
               "    END\n  END\n  BLOCK \"VarFileInfo\"\n  BEGIN\n"
               "    VALUE \"Translation\", 0x%5, 0x%6\n  END\nEND\n")
        .arg(fileVersion, productVersion, table, values.join(QString()), lang, codePage);
}

} // namespace

class tst_WinRes : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    QString ElfWith(const Block &block, const QString &name)
    {
        ElfSpec desc;
        desc.contents = block;
        return WriteFile(dir.path(), name, BuildElf(desc));
    }

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }
    void fixtures_data();
    void fixtures();
    void fixturesAreCurrent_data() { fixtures_data(); }
    void fixturesAreCurrent();
    void generatedBlockMatchesWindres();
};

void tst_WinRes::fixtures_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("desc"); // 0 English, 1 Russian
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("productVersion");
    QTest::addColumn<QString>("product");
    QTest::addColumn<QString>("copyright");
    QTest::addColumn<QString>("comments");
    QTest::newRow("version_en") << QStringLiteral("version_en") << 0 << QStringLiteral("2.2.3.7")
                                << QStringLiteral("2.2.3.7") << QStringLiteral("Fixture Product")
                                << QStringLiteral("Copyright (C) 2026 Fixture Maker")
                                << QStringLiteral("Utility for Mifare card preparation");
    QTest::newRow("version_ru") << QStringLiteral("version_ru") << 1 << QStringLiteral("1.2.3.4")
                                << QStringLiteral("5.6.7.8") << QStringLiteral("Тагор")
                                << QStringLiteral("© 2026")
                                << QStringLiteral("Утилита подготовки карт Mifare");
}

void tst_WinRes::fixtures()
{
    QFETCH(QString, name);
    QFETCH(int, desc);
    QFETCH(QString, version);
    QFETCH(QString, productVersion);
    QFETCH(QString, product);
    QFETCH(QString, copyright);
    QFETCH(QString, comments);

    const QByteArray res = ReadAll(Fixture(name + QStringLiteral(".res")));
    QVERIFY(!res.isEmpty());
    const Block block = VersionFromRes(res);
    QVERIFY(block.size() > 92);

    // Read through the program's own reader...
    const TVersionInfo info(ElfWith(block, name + QStringLiteral(".elf")));
    QVERIFY(info.Valid());
    QCOMPARE(info.FileVersion(), version);
    QCOMPARE(info.ProductVersion(), productVersion);
    QCOMPARE(info.ProductName(), product);
    QCOMPARE(info.LegalCopyright(), copyright);
    QCOMPARE(info.Comments(), comments);

    // ...and laid out exactly as our builder lays it out.
    const Block ours = verblock::BuildVersionBlock(desc == 0 ? EnglishSpec() : RussianSpec());
    QCOMPARE(ToByteArray(ours).toHex(' '), ToByteArray(block).toHex(' '));
}

void tst_WinRes::fixturesAreCurrent()
{
    QFETCH(QString, name);
    if (Windres().isEmpty())
        QSKIP("x86_64-w64-mingw32-windres is not installed");
    const QByteArray res = RunWindres(Fixture(name + QStringLiteral(".rc")),
                                      dir.filePath(name + QStringLiteral(".res")));
    QVERIFY(!res.isEmpty());
    QCOMPARE(
        ToByteArray(VersionFromRes(res)).toHex(' '),
        ToByteArray(VersionFromRes(ReadAll(Fixture(name + QStringLiteral(".res"))))).toHex(' '));
}

void tst_WinRes::generatedBlockMatchesWindres()
{
    if (Windres().isEmpty())
        QSKIP("x86_64-w64-mingw32-windres is not installed");
    // The program's own description, compiled by windres, gives exactly the
    // block the build generated and embedded.
    const QString rc = RcFromDescription(QStringLiteral(TAGOR_VERSION_TXT));
    QVERIFY(rc.contains(QLatin1String("Utility for Mifare card preparation")));
    QFile f(dir.filePath(QStringLiteral("tagor.rc")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(rc.toUtf8());
    f.close();
    const QByteArray res = RunWindres(f.fileName(), dir.filePath(QStringLiteral("tagor.res")));
    QVERIFY(!res.isEmpty());
    const Block windres = VersionFromRes(res);
    const QByteArray generated = ReadAll(QStringLiteral(TAGOR_VERSION_BLOCK_BIN));
    QVERIFY(!generated.isEmpty());
    QCOMPARE(ToByteArray(windres).toHex(' '), generated.toHex(' '));

    const TVersionInfo info(ElfWith(windres, QStringLiteral("tagor-windres.elf")));
    QCOMPARE(info.FileVersion(), QStringLiteral("2.2.3.7"));
    QCOMPARE(info.Comments(), QStringLiteral("Utility for Mifare card preparation"));
}

QTEST_GUILESS_MAIN(tst_WinRes)
#include "tst_winres.moc"
