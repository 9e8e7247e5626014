// Reading version blocks: the program's own, hand-made ones in small ELF
// files, and malformed blocks and files.

#include "about/VerInf.h"
#include "about/verblock.h"
#include "about/winver.h"
#include "testfiles.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <map>

#include <sys/stat.h>

using namespace testfiles;
using namespace std::string_literals;
using Block = std::vector<uint8_t>;
Q_DECLARE_METATYPE(Block)

namespace {

// The description the build generated the program's block from.
std::map<QString, QString> Description()
{
    std::map<QString, QString> d;
    QFile f(QStringLiteral(TAGOR_VERSION_TXT));
    if (!f.open(QIODevice::ReadOnly))
        return d;
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        if (line.startsWith(QLatin1String("string "))) {
            const qsizetype eq = line.indexOf(QLatin1Char('='));
            d[line.mid(7, eq - 7)] = line.mid(eq + 1);
        }
    }
    return d;
}

verblock::VersionDesc BaseSpec()
{
    verblock::VersionDesc s;
    s.fileVersion[0] = 1;
    s.fileVersion[1] = 2;
    s.fileVersion[2] = 3;
    s.fileVersion[3] = 4;
    s.productVersion[0] = 9;
    s.productVersion[1] = 8;
    s.productVersion[2] = 7;
    s.productVersion[3] = 6;
    s.strings = {{u"ProductName", u"Prod"}, {u"FileVersion", u"5.6.7.8"}, {u"Comments", u"Note"}};
    return s;
}

Block BaseBlock()
{
    return verblock::BuildVersionBlock(BaseSpec());
}

// A block laid out by hand: root with the fixed part, a string table and
// the translation, each given as ready nodes.
Block Assemble(const Block &fixed, const std::vector<Block> &sections)
{
    return verblock::BuildNode(u"VS_VERSION_INFO", fixed, false, uint16_t(fixed.size()), sections);
}

Block FixedPart(const verblock::VersionDesc &s)
{
    // The fixed part as the builder writes it: the root's value.
    const Block b = verblock::BuildVersionBlock(s);
    return Block(b.begin() + 40, b.begin() + 40 + 52);
}

Block Translation(uint16_t lang, uint16_t cp)
{
    const Block v = {uint8_t(lang), uint8_t(lang >> 8), uint8_t(cp), uint8_t(cp >> 8)};
    return verblock::BuildNode(u"VarFileInfo", {}, true, 0,
                               {verblock::BuildNode(u"Translation", v, false, 4, {})});
}

Block Table(const std::u16string &name, const std::vector<Block> &strings)
{
    return verblock::BuildNode(u"StringFileInfo", {}, true, 0,
                               {verblock::BuildNode(name, {}, true, 0, strings)});
}

Block Str(const std::u16string &key, const std::u16string &value)
{
    return verblock::BuildNode(key, verblock::Utf16Bytes(value, true), true,
                               uint16_t(value.size() + 1), {});
}

const char16_t *const kPaths[] = {
    u"\\",
    u"",
    u"\\VarFileInfo\\Translation",
    u"\\StringFileInfo\\040904E4\\Comments",
    u"\\StringFileInfo\\040904E4\\FileVersion",
    u"\\StringFileInfo\\040904E4\\ProductName",
    u"\\StringFileInfo\\040904E4",
    u"\\StringFileInfo\\\\Comments",
};

// Every look-up in a copy of exactly `size` bytes; whatever is found lies
// inside the copy (the sanitizer catches reads past it).
void QueryAllWithin(const uint8_t *data, size_t size)
{
    auto copy = std::make_unique<uint8_t[]>(size ? size : 1);
    if (size)
        std::memcpy(copy.get(), data, size);
    for (const char16_t *path : kPaths) {
        const void *p = nullptr;
        UINT len = 0;
        if (!VerQueryValueBounded(copy.get(), size, path, &p, &len))
            continue;
        const auto *u = static_cast<const uint8_t *>(p);
        const size_t bytes =
            std::u16string_view(path).find(u"StringFileInfo\\0") != std::u16string_view::npos
                ? size_t(len) * 2
                : len;
        QVERIFY(u >= copy.get());
        QVERIFY(u + bytes <= copy.get() + size);
        volatile uint8_t sink = 0;
        for (size_t i = 0; i < bytes; ++i)
            sink = sink ^ u[i];
        (void)sink;
    }
}

} // namespace

class tst_VerInfo : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    int fileNo = 0;

    // The block in a small ELF file; returns the path.
    QString ElfWith(const Block &block)
    {
        ElfSpec desc;
        desc.contents = block;
        return WriteFile(dir.path(), QStringLiteral("f%1.elf").arg(++fileNo), BuildElf(desc));
    }

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }

    void ownExecutable_data();
    void ownExecutable();
    void embeddedBlockIsTheGeneratedOne();
    void fixedVersionFallback();
    void translationNamesTheTable_data();
    void translationNamesTheTable();
    void noTranslation_data();
    void noTranslation();
    void queryPaths_data();
    void queryPaths();
    void longNames();
    void malformedBlocks_data();
    void malformedBlocks();
    void malformedFiles_data();
    void malformedFiles();
    void sizeAndDataCalls();
    void everyTruncationAndByteChangeStaysInside();
};

void tst_VerInfo::ownExecutable_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("this test program") << QCoreApplication::applicationFilePath();
    // The program itself, when the test is run for it (see CMakeLists.txt).
    const QString tagor = qEnvironmentVariable("TAGOR_EXE");
    if (!tagor.isEmpty())
        QTest::newRow("tagor") << tagor;
}

void tst_VerInfo::ownExecutable()
{
    QFETCH(QString, path);
    uint64_t off = 0, size = 0;
    QVERIFY2(winver::FindElfSectionInFile(path.toStdString(), kVersionSectionName, &off, &size),
             "no .tagor_version section in the executable's section headers");
    const TVersionInfo info(path);
    QVERIFY(info.Valid());
    QCOMPARE(info.FileVersion(), QStringLiteral("2.2.3.7"));
    QCOMPARE(info.Comments(), QStringLiteral("Utility for Mifare card preparation"));
    QCOMPARE(info.FileLongVersion().MS, 0x00020002u);
    QCOMPARE(info.FileLongVersion().LS, 0x00030007u);
    QCOMPARE(info.ProductLongVersion().MS, 0x00020002u);
    QCOMPARE(info.ProductLongVersion().LS, 0x00030007u);
    const auto d = Description();
    QVERIFY(!d.empty());
    QVERIFY(!info.ProductName().isEmpty());
    QCOMPARE(info.ProductName(), d.at(QStringLiteral("ProductName")));
    QCOMPARE(info.LegalCopyright(), d.at(QStringLiteral("LegalCopyright")));
    QVERIFY(info.LegalCopyright().contains(info.CompanyName()));
    QCOMPARE(info.CompanyName(), d.at(QStringLiteral("CompanyName")));
    QCOMPARE(info.FileDescription(), d.at(QStringLiteral("FileDescription")));
    QCOMPARE(info.InternalName(), d.at(QStringLiteral("InternalName")));
    QCOMPARE(info.OriginalFilename(), d.at(QStringLiteral("OriginalFilename")));
    QCOMPARE(info.ProductVersion(), QStringLiteral("2.2.3.7"));
    QCOMPARE(info.Values(QStringLiteral("Comments")), info.Comments());
    QCOMPARE(info[QStringLiteral("ProductName")], info.ProductName());
    QVERIFY(info.LegalTrademarks().isEmpty());
    QVERIFY(info.SpecialBuild().isEmpty());
    QVERIFY(info.PrivateBuild().isEmpty());
}

void tst_VerInfo::embeddedBlockIsTheGeneratedOne()
{
    QFile bin(QStringLiteral(TAGOR_VERSION_BLOCK_BIN));
    QVERIFY(bin.open(QIODevice::ReadOnly));
    const QByteArray generated = bin.readAll();
    const std::string embedded =
        winver::ReadVersionBlock(QCoreApplication::applicationFilePath().toStdString());
    QCOMPARE(QByteArray::fromStdString(embedded), generated);
    // Root: VS_VERSION_INFO, 52-byte fixed part with its signature.
    const Block b = Bytes(generated);
    QCOMPARE(size_t(Get16(b, 0)), b.size());
    QCOMPARE(Get16(b, 2), uint16_t(52));
    QCOMPARE(FindNode(b, u"VS_VERSION_INFO"), size_t(0));
    QCOMPARE(b[40], uint8_t(0xBD));
    QCOMPARE(b[41], uint8_t(0x04));
    QCOMPARE(b[42], uint8_t(0xEF));
    QCOMPARE(b[43], uint8_t(0xFE));
    QVERIFY(FindNode(b, u"040904E4") != size_t(-1));
}

void tst_VerInfo::fixedVersionFallback()
{
    auto desc = BaseSpec();
    desc.strings = {{u"Comments", u"no version string"}};
    const TVersionInfo info(ElfWith(verblock::BuildVersionBlock(desc)));
    QVERIFY(info.Valid());
    QCOMPARE(info.Comments(), QStringLiteral("no version string"));
    QCOMPARE(info.FileVersion(), QStringLiteral("1.2.3.4"));
    QCOMPARE(info.ProductVersion(), QStringLiteral("9.8.7.6"));
    // All four parts use the whole 16 bits.
    desc.fileVersion[0] = 65535;
    desc.fileVersion[1] = 0;
    desc.fileVersion[2] = 40000;
    desc.fileVersion[3] = 1;
    const TVersionInfo wide(ElfWith(verblock::BuildVersionBlock(desc)));
    QCOMPARE(wide.FileVersion(), QStringLiteral("65535.0.40000.1"));
    QCOMPARE(wide.FileLongVersion().MS, 0xFFFF0000u);
    QCOMPARE(wide.FileLongVersion().LS, 0x9C400001u);
}

void tst_VerInfo::translationNamesTheTable_data()
{
    QTest::addColumn<uint>("lang");
    QTest::addColumn<uint>("codePage");
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("comments");
    QTest::newRow("0419/04E3 under 041904E3")
        << 0x0419u << 0x04E3u << QStringLiteral("041904E3") << QStringLiteral("found");
    QTest::newRow("0419/04E3 not under 040904E4")
        << 0x0419u << 0x04E3u << QStringLiteral("040904E4") << QString();
    QTest::newRow("0409/04E4 not under 04E40409")
        << 0x0409u << 0x04E4u << QStringLiteral("04E40409") << QString();
    QTest::newRow("0409/04B0 under 040904B0")
        << 0x0409u << 0x04B0u << QStringLiteral("040904B0") << QStringLiteral("found");
    QTest::newRow("table name in lower case")
        << 0x0419u << 0x04E3u << QStringLiteral("041904e3") << QStringLiteral("found");
    QTest::newRow("neutral 0000/0000")
        << 0x0000u << 0x0000u << QStringLiteral("00000000") << QStringLiteral("found");
}

void tst_VerInfo::translationNamesTheTable()
{
    QFETCH(uint, lang);
    QFETCH(uint, codePage);
    QFETCH(QString, table);
    QFETCH(QString, comments);
    auto desc = BaseSpec();
    desc.tableName = table.toStdU16String();
    desc.translations = {uint32_t(lang) | (uint32_t(codePage) << 16)};
    desc.strings = {{u"Comments", u"found"}, {u"FileVersion", u"3.3"}};
    const TVersionInfo info(ElfWith(verblock::BuildVersionBlock(desc)));
    QVERIFY(info.Valid());
    QCOMPARE(info.Comments(), comments);
    QCOMPARE(info.FileVersion(),
             comments.isEmpty() ? QStringLiteral("1.2.3.4") : QStringLiteral("3.3"));
}

void tst_VerInfo::noTranslation_data()
{
    QTest::addColumn<Block>("block");
    const auto fixed = FixedPart(BaseSpec());
    const std::vector<Block> strings = {Str(u"ProductName", u"Prod"),
                                        Str(u"FileVersion", u"5.6.7.8"), Str(u"Comments", u"Note"),
                                        Str(u"LegalCopyright", u"(C)")};
    auto desc = BaseSpec();
    desc.withVarFileInfo = false;
    QTest::newRow("no VarFileInfo") << verblock::BuildVersionBlock(desc);
    QTest::newRow("empty Translation") << Assemble(
        fixed, {Table(u"040904E4", strings),
                verblock::BuildNode(u"VarFileInfo", {}, true, 0,
                                    {verblock::BuildNode(u"Translation", {}, false, 0, {})})});
    QTest::newRow("Translation of 2 bytes") << Assemble(
        fixed, {Table(u"040904E4", strings),
                verblock::BuildNode(u"VarFileInfo", {}, true, 0,
                                    {verblock::BuildNode(u"Translation", {9, 4}, false, 2, {})})});
    QTest::newRow("VarFileInfo without Translation") << Assemble(
        fixed,
        {Table(u"040904E4", strings),
         verblock::BuildNode(u"VarFileInfo", {}, true, 0,
                             {verblock::BuildNode(u"Other", {9, 4, 0xE4, 4}, false, 4, {})})});
    // Without a translation the table to look in is unnamed; a table whose
    // name is a key must not be taken for the value.
    QTest::newRow("table named like a key") << Assemble(
        fixed,
        {verblock::BuildNode(
            u"StringFileInfo", {}, true, 0,
            {verblock::BuildNode(u"Comments", verblock::Utf16Bytes(u"x", true), true, 2, {})})});
}

void tst_VerInfo::noTranslation()
{
    QFETCH(Block, block);
    const TVersionInfo info(ElfWith(block));
    QVERIFY(info.Valid());
    QCOMPARE(info.ProductName(), QString());
    QCOMPARE(info.Comments(), QString());
    QCOMPARE(info.LegalCopyright(), QString());
    QCOMPARE(info.FileVersion(), QStringLiteral("1.2.3.4"));
}

void tst_VerInfo::queryPaths_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("found");
    QTest::addColumn<uint>("length");
    QTest::addColumn<QByteArray>("value"); // first bytes of the value
    const QByteArray note = ToByteArray(verblock::Utf16Bytes(u"Note", true));
    QTest::newRow("root") << QStringLiteral("\\") << true << 52u
                          << QByteArray("\xBD\x04\xEF\xFE", 4);
    QTest::newRow("translation") << QStringLiteral("\\VarFileInfo\\Translation") << true << 4u
                                 << QByteArray("\x09\x04\xE4\x04", 4);
    QTest::newRow("string") << QStringLiteral("\\StringFileInfo\\040904E4\\Comments") << true << 5u
                            << note;
    QTest::newRow("case and doubled backslashes")
        << QStringLiteral("\\\\stringfileinfo\\\\040904e4\\COMMENTS\\") << true << 5u << note;
    QTest::newRow("missing key") << QStringLiteral("\\StringFileInfo\\040904E4\\Missing") << false
                                 << 0u << QByteArray();
    QTest::newRow("key prefix") << QStringLiteral("\\StringFileInfo\\040904E4\\Comment") << false
                                << 0u << QByteArray();
    QTest::newRow("key longer") << QStringLiteral("\\StringFileInfo\\040904E4\\Comments2") << false
                                << 0u << QByteArray();
    QTest::newRow("other table") << QStringLiteral("\\StringFileInfo\\041904E3\\Comments") << false
                                 << 0u << QByteArray();
    QTest::newRow("below a string")
        << QStringLiteral("\\StringFileInfo\\040904E4\\Comments\\x") << false << 0u << QByteArray();
}

void tst_VerInfo::queryPaths()
{
    QFETCH(QString, path);
    QFETCH(bool, found);
    QFETCH(uint, length);
    QFETCH(QByteArray, value);
    const Block b = BaseBlock();
    const std::u16string p = path.toStdU16String();
    void *out = nullptr;
    UINT len = 0;
    QCOMPARE(VerQueryValueW(b.data(), p.c_str(), &out, &len), found);
    QCOMPARE(uint(len), length);
    if (found)
        QCOMPARE(QByteArray(static_cast<const char *>(out), value.size()), value);
    else
        QVERIFY(out == nullptr);
}

void tst_VerInfo::longNames()
{
    // Names longer than any fixed path buffer: looked up, never overrun.
    const std::u16string longKey(300, u'K');
    auto desc = BaseSpec();
    desc.strings.emplace_back(longKey, u"long key value");
    const TVersionInfo info(ElfWith(verblock::BuildVersionBlock(desc)));
    QVERIFY(info.Valid());
    QCOMPARE(info.GetVerValue(QString::fromStdU16String(longKey)),
             QStringLiteral("long key value"));
    QCOMPARE(info.GetVerValue(QString(1000, QLatin1Char('x'))), QString());
    QCOMPARE(info.Comments(), QStringLiteral("Note"));
}

void tst_VerInfo::malformedBlocks_data()
{
    QTest::addColumn<Block>("block");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("comments");
    QTest::addColumn<QString>("product");

    const Block base = BaseBlock();
    QTest::newRow("well formed") << base << QStringLiteral("5.6.7.8") << QStringLiteral("Note")
                                 << QStringLiteral("Prod");
    {
        // Root key without its NUL: nothing can be found.
        Block b = verblock::Utf16Bytes(u"\0\0\0VS_VERSION_INFO"s, false);
        Put(b, 0, b.size(), 2);
        QTest::newRow("root key without NUL") << b << QString() << QString() << QString();
    }
    {
        Block b = base;
        const size_t n = FindNode(b, u"Comments");
        Put(b, n + 2, 0x7FFF, 2); // value length reaching far past its node
        QTest::newRow("string value length past node")
            << b << QStringLiteral("5.6.7.8") << QStringLiteral("Note") << QStringLiteral("Prod");
    }
    {
        // The last string with no NUL after its text: read up to the node's end.
        const Block open =
            verblock::BuildNode(u"Comments", verblock::Utf16Bytes(u"Note", false), true, 4, {});
        const Block b = Assemble(
            FixedPart(BaseSpec()),
            {Translation(0x409, 0x4E4), Table(u"040904E4", {Str(u"ProductName", u"Prod"), open})});
        QTest::newRow("string value without NUL")
            << b << QStringLiteral("1.2.3.4") << QStringLiteral("Note") << QStringLiteral("Prod");
    }
    {
        // A string key running to the end of the block without a NUL.
        Block tail = verblock::Utf16Bytes(u"\0\0\0CommentsCommentsComments"s, false);
        Put(tail, 0, tail.size(), 2);
        Put(tail, 4, 1, 2);
        const Block b = Assemble(
            FixedPart(BaseSpec()),
            {Translation(0x409, 0x4E4), Table(u"040904E4", {Str(u"ProductName", u"Prod"), tail})});
        QTest::newRow("string key without NUL")
            << b << QStringLiteral("1.2.3.4") << QString() << QStringLiteral("Prod");
    }
    {
        Block b = base;
        Put(b, FindNode(b, u"StringFileInfo"), 0xFFF0, 2); // child longer than its parent
        QTest::newRow("StringFileInfo past the block")
            << b << QStringLiteral("1.2.3.4") << QString() << QString();
    }
    {
        Block b = base;
        Put(b, FindNode(b, u"Comments"), 0xFFF0, 2);
        QTest::newRow("string node past its table")
            << b << QStringLiteral("5.6.7.8") << QString() << QStringLiteral("Prod");
    }
    {
        Block b = base;
        Put(b, FindNode(b, u"Translation") + 2, 0x100, 2); // binary value past its node
        QTest::newRow("translation past its node")
            << b << QStringLiteral("1.2.3.4") << QString() << QString();
    }
    {
        Block b = base;
        Put(b, FindNode(b, u"FileVersion"), 3, 2); // length below a node header
        QTest::newRow("node length below header")
            << b << QStringLiteral("1.2.3.4") << QString() << QStringLiteral("Prod");
    }
    {
        Block b = base;
        Put(b, FindNode(b, u"ProductName"), 0, 2); // zero-length first string stops the scan
        QTest::newRow("zero-length node")
            << b << QStringLiteral("1.2.3.4") << QString() << QString();
    }
    {
        auto desc = BaseSpec();
        desc.strings = {{u"Comments", u"Note"}};
        Block b = verblock::BuildVersionBlock(desc);
        Put(b, 2, 20, 2); // fixed part shorter than its structure
        // The children are then looked for inside the fixed part: nothing found.
        QTest::newRow("short fixed part") << b << QString() << QString() << QString();
        Block s = verblock::BuildVersionBlock(desc);
        Put(s, 40, 0x12345678, 4); // signature
        QTest::newRow("wrong signature") << s << QString() << QStringLiteral("Note") << QString();
        Block r = verblock::BuildVersionBlock(desc);
        Put(r, 2, 0xFF00, 2); // binary root value past the block
        QTest::newRow("root value past the block") << r << QString() << QString() << QString();
    }
    {
        auto desc = BaseSpec();
        desc.withFixedInfo = false;
        QTest::newRow("no fixed part")
            << verblock::BuildVersionBlock(desc) << QStringLiteral("5.6.7.8")
            << QStringLiteral("Note") << QStringLiteral("Prod");
        desc.strings = {{u"Comments", u"Note"}};
        QTest::newRow("no fixed part, no version string")
            << verblock::BuildVersionBlock(desc) << QString() << QStringLiteral("Note")
            << QString();
    }
    {
        auto desc = BaseSpec();
        desc.withStringFileInfo = false;
        desc.withVarFileInfo = false;
        QTest::newRow("root only") << verblock::BuildVersionBlock(desc) << QStringLiteral("1.2.3.4")
                                   << QString() << QString();
    }
    {
        auto desc = BaseSpec();
        desc.strings = {{u"Comments", u""}, {u"ProductName", u"Prod"}};
        QTest::newRow("empty string value")
            << verblock::BuildVersionBlock(desc) << QStringLiteral("1.2.3.4") << QString()
            << QStringLiteral("Prod");
    }
    {
        // An odd byte count for a text value: the half character is dropped.
        Block b = base;
        const size_t n = FindNode(b, u"Comments");
        Put(b, n, Get16(b, n) - 3, 2);
        Put(b, n + 2, 10, 2);
        QTest::newRow("text value cut inside a character")
            << b << QStringLiteral("5.6.7.8") << QStringLiteral("Not") << QStringLiteral("Prod");
    }
}

void tst_VerInfo::malformedBlocks()
{
    QFETCH(Block, block);
    QFETCH(QString, version);
    QFETCH(QString, comments);
    QFETCH(QString, product);
    const TVersionInfo info(ElfWith(block));
    QVERIFY(info.Valid());
    QCOMPARE(info.FileVersion(), version);
    QCOMPARE(info.Comments(), comments);
    QCOMPARE(info.ProductName(), product);
    QueryAllWithin(block.data(), block.size());
}

void tst_VerInfo::malformedFiles_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("valid");

    const Block block = BaseBlock();
    ElfSpec desc;
    desc.contents = block;
    ElfLayout l;
    const Block good = BuildElf(desc, &l);
    const QString d = dir.path();
    int n = 0;
    auto file = [&](const Block &bytes) {
        return WriteFile(d, QStringLiteral("m%1").arg(++n), bytes);
    };
    auto patched = [&](size_t at, uint64_t value, int bytes) {
        Block b = good;
        Put(b, at, value, bytes);
        return file(b);
    };

    QTest::newRow("well formed ELF64") << file(good) << true;
    {
        ElfSpec s32 = desc;
        s32.is64 = false;
        QTest::newRow("well formed ELF32") << file(BuildElf(s32)) << true;
        ElfSpec ext = desc;
        ext.extendedNumbering = true;
        QTest::newRow("extended section numbering") << file(BuildElf(ext)) << true;
        Block padded = block;
        padded.resize(padded.size() + 64, 0); // section longer than the block
        ElfSpec pad = desc;
        pad.contents = padded;
        QTest::newRow("section padded after the block") << file(BuildElf(pad)) << true;
    }
    QTest::newRow("missing file") << d + QStringLiteral("/does-not-exist") << false;
    QTest::newRow("directory") << d << false;
    QTest::newRow("device") << QStringLiteral("/dev/zero") << false;
    {
        // Opening a pipe for reading must not wait for a writer.
        const QString fifo = d + QStringLiteral("/fifo");
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        QTest::newRow("named pipe") << fifo << false;
    }
    QTest::newRow("empty path") << QString() << false;
    QTest::newRow("empty file") << file({}) << false;
    QTest::newRow("text file") << file(Bytes(QByteArray(
                                      "#!/bin/sh\necho this is no ELF file at all, not at all\n")))
                               << false;
    QTest::newRow("version block, not ELF") << file(block) << false;
    QTest::newRow("magic only") << file(Block(good.begin(), good.begin() + 4)) << false;
    QTest::newRow("header cut short") << file(Block(good.begin(), good.begin() + 40)) << false;
    QTest::newRow("cut inside section headers")
        << file(Block(good.begin(), good.begin() + ptrdiff_t(l.shoff + 70))) << false;
    QTest::newRow("cut before the name table header")
        << file(Block(good.begin(), good.end() - 1)) << false;
    QTest::newRow("big-endian") << patched(5, 2, 1) << false;
    QTest::newRow("unknown class") << patched(4, 3, 1) << false;
    QTest::newRow("no section headers") << patched(l.shoffField, 0, 8) << false;
    QTest::newRow("section headers past the end")
        << patched(l.shoffField, good.size() + 8, 8) << false;
    QTest::newRow("section headers offset huge")
        << patched(l.shoffField, ~uint64_t(0) - 8, 8) << false;
    QTest::newRow("section header entries too small") << patched(l.shentsizeField, 16, 2) << false;
    QTest::newRow("section count past the end") << patched(l.shnumField, 0xFFFE, 2) << false;
    QTest::newRow("name table index out of range") << patched(l.shstrndxField, 40, 2) << false;
    QTest::newRow("section renamed")
        << patched(l.versionHeader + l.sectionNameField, 1, 4) << false;
    QTest::newRow("section name offset past names")
        << patched(l.versionHeader + l.sectionNameField, 0x7FFFFFFF, 4) << false;
    QTest::newRow("section without file contents")
        << patched(l.versionHeader + l.sectionTypeField, 8, 4) << false;
    QTest::newRow("section contents past the end")
        << patched(l.versionHeader + l.sectionSizeField, good.size(), 8) << false;
    QTest::newRow("section offset past the end")
        << patched(l.versionHeader + l.sectionOffsetField, good.size() + 1, 8) << false;
    QTest::newRow("section offset + size overflow") << [&] {
        Block b = good;
        Put(b, l.versionHeader + l.sectionOffsetField, 16, 8);
        Put(b, l.versionHeader + l.sectionSizeField, ~uint64_t(0) - 8, 8);
        return file(b);
    }() << false;
    QTest::newRow("section shorter than the block")
        << patched(l.versionHeader + l.sectionSizeField, block.size() - 2, 8) << false;
    QTest::newRow("section of 4 bytes")
        << patched(l.versionHeader + l.sectionSizeField, 4, 8) << false;
    QTest::newRow("root length below a header") << patched(size_t(l.versionOffset), 5, 2) << false;
    {
        ElfSpec other = desc;
        other.sectionName = ".tagor_version2";
        QTest::newRow("only a longer section name") << file(BuildElf(other)) << false;
        other.sectionName = ".tagor_versio";
        QTest::newRow("only a shorter section name") << file(BuildElf(other)) << false;
    }
}

void tst_VerInfo::malformedFiles()
{
    QFETCH(QString, path);
    QFETCH(bool, valid);
    const TVersionInfo info(path);
    QCOMPARE(info.Valid(), valid);
    QCOMPARE(info.FileVersion(), valid ? QStringLiteral("5.6.7.8") : QString());
    QCOMPARE(info.Comments(), valid ? QStringLiteral("Note") : QString());
    if (!valid) {
        QCOMPARE(info.FileLongVersion().MS, 0u);
        QCOMPARE(info.ProductVersion(), QString());
    }
}

void tst_VerInfo::sizeAndDataCalls()
{
    const Block block = BaseBlock();
    const QString path = ElfWith(block);
    const std::u16string name = path.toStdU16String();
    DWORD handle = 77;
    const DWORD size = GetFileVersionInfoSizeW(name.c_str(), &handle);
    QCOMPARE(size, DWORD(block.size()));
    QCOMPARE(handle, DWORD(0));
    QCOMPARE(GetFileVersionInfoSizeW(name.c_str(), nullptr), size);

    // A buffer too small for the block is refused, and left untouched.
    Block small(size - 1, 0xAA);
    QVERIFY(!GetFileVersionInfoW(name.c_str(), 0, size - 1, small.data()));
    QVERIFY(std::all_of(small.begin(), small.end(), [](uint8_t c) { return c == 0xAA; }));
    QVERIFY(!GetFileVersionInfoW(name.c_str(), 0, size, nullptr));

    Block buf(size + 8, 0xAA);
    QVERIFY(GetFileVersionInfoW(name.c_str(), 0, DWORD(buf.size()), buf.data()));
    QVERIFY(std::equal(block.begin(), block.end(), buf.begin()));
    QCOMPARE(buf[size], uint8_t(0xAA));

    QCOMPARE(GetFileVersionInfoSizeW(nullptr, &handle), DWORD(0));
    QCOMPARE(GetFileVersionInfoSizeW(u"", &handle), DWORD(0));

    void *p = reinterpret_cast<void *>(1);
    UINT len = 5;
    QVERIFY(!VerQueryValueW(nullptr, u"\\", &p, &len));
    QVERIFY(p == nullptr);
    QCOMPARE(len, UINT(0));
    QVERIFY(!VerQueryValueW(block.data(), nullptr, &p, &len));
}

void tst_VerInfo::everyTruncationAndByteChangeStaysInside()
{
    // Every prefix of a good block, and the block with every byte changed
    // to a few telling values: no look-up reads outside the block.
    const Block block = BaseBlock();
    for (size_t n = 0; n <= block.size(); ++n) {
        QueryAllWithin(block.data(), n);
        if (QTest::currentTestFailed())
            QFAIL(qPrintable(QStringLiteral("prefix of %1 bytes").arg(n)));
    }
    for (size_t i = 0; i < block.size(); ++i) {
        for (uint8_t v : {uint8_t(0x00), uint8_t(0x01), uint8_t(0x7F), uint8_t(0xFF)}) {
            Block b = block;
            b[i] = v;
            QueryAllWithin(b.data(), b.size());
            if (QTest::currentTestFailed())
                QFAIL(qPrintable(QStringLiteral("byte %1 set to %2").arg(i).arg(v)));
        }
    }
}

QTEST_GUILESS_MAIN(tst_VerInfo)
#include "tst_verinfo.moc"
