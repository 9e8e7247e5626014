// The test window that fills the card register: numbers, serials, profile and the status
// panels, on an empty register and after a larger number; and its launcher.
#include "cardfixture.h"

#include "dialogs/TestGenCards.h"

#include <QSpinBox>

class TestGenCards : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void generate_data();
    void generate();
    void launcher();

private:
    TCardFixture fx;
};

void TestGenCards::initTestCase()
{
    TCardFixture::CreateMainWindow();
    frmTstGenCards = new TfrmTstGenCards(frmMain);
    QCOMPARE(frmTstGenCards->sedNumCards->value(), 5);
    QCOMPARE(frmTstGenCards->sedNumCards->minimum(), 1);
    QCOMPARE(frmTstGenCards->sedNumCards->maximum(), 10000);
}

void TestGenCards::cleanupTestCase()
{
    TCardFixture::DestroyMainWindow();
    frmTstGenCards = nullptr;
}

void TestGenCards::init()
{
    QVERIFY2(fx.SetUp(), qPrintable(fx.Error));
}

void TestGenCards::cleanup()
{
    frmTstGenCards->hide();
    fx.TearDown();
    QVERIFY(!Modal::PendingAnswers());
}

void TestGenCards::generate_data()
{
    QTest::addColumn<qint64>("existing"); // number of a record already there; 0: none
    QTest::addColumn<int>("count");
    QTest::addColumn<qint64>("first"); // the first generated number

    QTest::newRow("empty register, 5") << qint64(0) << 5 << qint64(4096);
    QTest::newRow("after a larger number, 3") << qint64(0x2000) << 3 << qint64(0x2001);
    QTest::newRow("below the first number, 1") << qint64(100) << 1 << qint64(4096);
}

void TestGenCards::generate()
{
    QFETCH(qint64, existing);
    QFETCH(int, count);
    QFETCH(qint64, first);

    std::vector<TCardRecord> expected;
    if (existing != 0) {
        AddCard(fx.Office()->ID(), 0, 0x77, existing);
        expected.push_back({fx.Office()->ID(), 0x77, existing, 0});
    }
    frmTstGenCards->show();
    auto hex8 = [](qint64 n) { return QString::number(n, 16).toUpper().rightJustified(8, u'0'); };
    QCOMPARE(frmTstGenCards->fNextCardNum, first);
    QCOMPARE(frmTstGenCards->sbrPanel0->text(), QStringLiteral("Next number: 0x") + hex8(first));

    frmTstGenCards->sedNumCards->setValue(count);
    frmTstGenCards->btnGenerate->click();

    // Records of profile 2 whatever the current profile, serial = number + 0x11000000.
    for (int i = 0; i < count; ++i)
        expected.push_back({2, first + i + 0x11000000, first + i, 0});
    QCOMPARE(fx.Cards(), expected);
    QCOMPARE(frmTstGenCards->sbrPanel0->text(),
             QStringLiteral("Next number: 0x") + hex8(first + count));
    QCOMPARE(frmTstGenCards->sbrPanel1->text(), QStringLiteral("Count = %1").arg(count));
    QCOMPARE(frmTstGenCards->fNextCardNum, first + count);
    QVERIFY(frmTstGenCards->btnGenerate->isEnabled());
}

void TestGenCards::launcher()
{
    bool opened = false;
    Modal::SetNextExec([&](QDialog *d) {
        opened = d == frmTstGenCards;
        return int(QDialog::Rejected);
    });
    frmMain->btnTestClick();
    QVERIFY(opened);
    QVERIFY(!frmMain->btnTest->isVisible());
}

QTEST_MAIN(TestGenCards)
#include "tst_testgencards.moc"
