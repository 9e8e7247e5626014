// The About box: the values read from an executable's version block, the
// initial texts when there is none, and its layout.

#include "about/About.h"
#include "about/verblock.h"
#include "testfiles.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace testfiles;

namespace {

QString Text(const QWidget *w, const char *name)
{
    const auto *l = w->findChild<QLabel *>(QLatin1String(name));
    return l ? l->text() : QStringLiteral("<no %1>").arg(QLatin1String(name));
}

QString DescriptionValue(const QString &key)
{
    QFile f(QStringLiteral(TAGOR_VERSION_TXT));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QString prefix = QStringLiteral("string ") + key + QLatin1Char('=');
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        if (line.startsWith(prefix))
            return line.mid(prefix.size());
    }
    return {};
}

} // namespace

class tst_About : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }
    void showsOwnVersion_data();
    void showsOwnVersion();
    void fromOtherBlocks_data();
    void fromOtherBlocks();
    void layout();
    void closes_data();
    void closes();
};

void tst_About::showsOwnVersion_data()
{
    QTest::addColumn<QString>("exe");
    QTest::newRow("program file by default") << QString();
    QTest::newRow("named file") << QCoreApplication::applicationFilePath();
}

void tst_About::showsOwnVersion()
{
    QFETCH(QString, exe);
    const TfrmAbout box(nullptr, exe);
    QCOMPARE(Text(&box, "lblFileVersion"), QStringLiteral("2.2.3.7"));
    QCOMPARE(Text(&box, "lblComments"), QStringLiteral("Utility for Mifare card preparation"));
    QVERIFY(!DescriptionValue(QStringLiteral("ProductName")).isEmpty());
    QCOMPARE(Text(&box, "lblProductName"), DescriptionValue(QStringLiteral("ProductName")));
    QCOMPARE(Text(&box, "lblCopyRight"), DescriptionValue(QStringLiteral("LegalCopyright")));
}

void tst_About::fromOtherBlocks_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("labels"); // product, version, copyright, comments

    verblock::VersionDesc desc;
    const uint16_t v[4] = {1, 2, 3, 4};
    std::copy(v, v + 4, desc.fileVersion);
    desc.strings = {{u"ProductName", u"<b>Prod</b> & Co"},
                    {u"LegalCopyright", u"(C) maker"},
                    {u"Comments", u"first line\nsecond line"}};
    auto elf = [&](const verblock::VersionDesc &s, const char *name) {
        ElfSpec e;
        e.contents = verblock::BuildVersionBlock(s);
        return WriteFile(dir.path(), QLatin1String(name), BuildElf(e));
    };
    const QString none = QStringLiteral("нет данных");
    const QStringList initial = {none, none, none, none};

    QTest::newRow("no FileVersion string: fixed numbers, texts as they are")
        << elf(desc, "plain.elf")
        << QStringList{QStringLiteral("<b>Prod</b> & Co"), QStringLiteral("1.2.3.4"),
                       QStringLiteral("(C) maker"), QStringLiteral("first line\nsecond line")};
    desc.withVarFileInfo = false;
    QTest::newRow("no translation: strings emptied, fixed version")
        << elf(desc, "notrans.elf")
        << QStringList{QString(), QStringLiteral("1.2.3.4"), QString(), QString()};
    QTest::newRow("missing file: initial texts")
        << dir.filePath(QStringLiteral("missing")) << initial;
    QTest::newRow("not an executable: initial texts")
        << WriteFile(dir.path(), QStringLiteral("text"),
                     Bytes(QByteArray("plain text, no ELF header here at all, none whatsoever")))
        << initial;
    ElfSpec other;
    other.sectionName = ".comment";
    other.contents = verblock::BuildVersionBlock(desc);
    QTest::newRow("ELF without version section: initial texts")
        << WriteFile(dir.path(), QStringLiteral("nosection.elf"), BuildElf(other)) << initial;
}

void tst_About::fromOtherBlocks()
{
    QFETCH(QString, file);
    QFETCH(QStringList, labels);
    const TfrmAbout box(nullptr, file);
    QCOMPARE(Text(&box, "lblProductName"), labels[0]);
    QCOMPARE(Text(&box, "lblFileVersion"), labels[1]);
    QCOMPARE(Text(&box, "lblCopyRight"), labels[2]);
    QCOMPARE(Text(&box, "lblComments"), labels[3]);
    // Version texts are never taken for markup.
    QCOMPARE(box.lblProductName->textFormat(), Qt::PlainText);
}

void tst_About::layout()
{
    TfrmAbout box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QCOMPARE(box.objectName(), QStringLiteral("frmAbout"));
    QCOMPARE(box.windowTitle(), QStringLiteral("About"));
    QCOMPARE(box.size(), QSize(459, 284));
    QCOMPARE(box.minimumSize(), box.maximumSize()); // fixed frame

    // Caption and value rows, captions to the left of their values.
    const std::pair<const char *, const char *> rows[] = {{"Product:", "lblProductName"},
                                                          {"Version:", "lblFileVersion"},
                                                          {"Copyright:", "lblCopyRight"},
                                                          {"Comments:", "lblComments"}};
    int lastY = -1;
    for (const auto &[caption, value] : rows) {
        const QLabel *v = box.findChild<QLabel *>(QLatin1String(value));
        QVERIFY2(v, value);
        const QLabel *c = nullptr;
        for (const QLabel *l : box.findChildren<QLabel *>())
            if (l->text() == QLatin1String(caption))
                c = l;
        QVERIFY2(c, caption);
        QVERIFY(c->geometry().right() < v->geometry().left());
        QVERIFY(qAbs(c->geometry().top() - v->geometry().top()) <= 4);
        QVERIFY(v->geometry().top() > lastY);
        lastY = v->geometry().top();
        QVERIFY(box.Panel1->geometry().contains(v->mapTo(&box, v->rect().bottomRight())));
    }
    QVERIFY(box.lblProductName->font().bold());
    QCOMPARE(box.lblProductName->font().pointSize(), 9);
    QVERIFY(box.lblProductName->wordWrap());
    QVERIFY(box.lblFileVersion->font().bold());
    QVERIFY(box.lblCopyRight->font().bold());
    QVERIFY(box.lblComments->wordWrap());
    QVERIFY(box.lblComments->height() >= 4 * QFontMetrics(box.lblComments->font()).lineSpacing());

    // Picture at the left, stretched, with the support address below it.
    QCOMPARE(box.ProgramIcon->size(), QSize(101, 102));
    QVERIFY(box.ProgramIcon->hasScaledContents());
    QVERIFY(!box.ProgramIcon->pixmap().isNull());
    QVERIFY(box.lblEmail->text().contains(QLatin1Char('@')));
    QVERIFY(box.lblEmail->font().bold());
    QVERIFY(QFontMetrics(box.lblEmail->font()).horizontalAdvance(box.lblEmail->text()) <=
            box.lblEmail->width());
    QVERIFY(box.lblEmail->geometry().top() > box.ProgramIcon->geometry().bottom());
    QVERIFY(box.ProgramIcon->geometry().right() < box.lblProductName->geometry().left());

    // "OK" below the panel, at the right, the default button.
    QCOMPARE(box.btnOK->text(), QStringLiteral("OK"));
    QVERIFY(box.btnOK->isDefault());
    QVERIFY(box.btnOK->geometry().top() > box.Panel1->geometry().bottom());
    QVERIFY(box.btnOK->geometry().left() > box.width() / 2);
    QVERIFY(box.rect().contains(box.btnOK->geometry()));
}

void tst_About::closes_data()
{
    QTest::addColumn<int>("how"); // 0 click OK, 1 Enter, 2 Escape
    QTest::addColumn<int>("result");
    QTest::newRow("OK") << 0 << int(QDialog::Accepted);
    QTest::newRow("Enter") << 1 << int(QDialog::Accepted);
    QTest::newRow("Escape") << 2 << int(QDialog::Rejected);
}

void tst_About::closes()
{
    QFETCH(int, how);
    QFETCH(int, result);
    TfrmAbout box;
    box.setResult(-1);
    box.open();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    if (how == 0)
        QTest::mouseClick(box.btnOK, Qt::LeftButton);
    else
        QTest::keyClick(&box, how == 1 ? Qt::Key_Return : Qt::Key_Escape);
    QVERIFY(!box.isVisible());
    QCOMPARE(box.result(), result);
}

QTEST_MAIN(tst_About)
#include "tst_about.moc"
