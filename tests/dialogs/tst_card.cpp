// The card issue dialog on the real worker and the simulated RW-Alto reader: numbering,
// recording, the number entry, UseOriginalId profiles, write failures, a card lying on
// the reader at first run, closing while a message shows, and the launcher's checks.
#include "cardfixture.h"

#include "dialogs/card.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>

using CardLayout::BlockOf;

class TestCardIssue : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void issueTwoCardsInARow();
    void customNumberTwice();
    void numberEntry_data();
    void numberEntry();
    void radixSwitchKeptBetweenShowings();
    void unreadableCustomNumber();
    void useOriginalId();
    void recordsTheCardTheEventIsAbout_data();
    void recordsTheCardTheEventIsAbout();
    void writeFailure();
    void recordingFailure();
    void cardLyingOnReaderAtFirstRun();
    void closingWhileMessageShows();
    void messageTimer();
    void launcher_data();
    void launcher();

private:
    void Open(TSecProfile *profile);
    TCardFixture fx;
};

void TestCardIssue::initTestCase()
{
    TCardFixture::CreateMainWindow();
    frmCard = new TfrmCard(frmMain);
}

void TestCardIssue::cleanupTestCase()
{
    TCardFixture::DestroyMainWindow();
    frmCard = nullptr;
}

void TestCardIssue::init()
{
    QVERIFY2(fx.SetUp(), qPrintable(fx.Error));
}

void TestCardIssue::cleanup()
{
    frmCard->hide();
    fx.TearDown();
    QVERIFY(!Modal::PendingAnswers());
}

void TestCardIssue::Open(TSecProfile *profile)
{
    frmCard->profile = profile;
    frmCard->show();
}

void TestCardIssue::issueTwoCardsInARow()
{
    TSecProfile *office = fx.Office();
    OPEN_AND_POLL(fx, frmCard, office);
    QCOMPARE(frmCard->edtCardNum->displayText(), QStringLiteral("00 00 10 00"));
    QCOMPARE(frmCard->NextCardNumber, 4096);
    QCOMPARE(mfrcthread->cardnumber.load(), 4096);
    QCOMPARE(mfrcthread->threadaction.load(), TA_WRITE_CARD);
    QVERIFY(frmCard->ImageWait->IsRunning());
    QCOMPARE(frmCard->ImageWait->Speed(), 200);
    QVERIFY(!mfrcthread->Suspended());

    const std::vector<uint8_t> uidA = {0x01, 0x02, 0x03, 0x04};
    const std::vector<uint8_t> uidB = {0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
    fx.Present(TCardFixture::Blank(uidA));
    WAIT_MSG(frmCard);

    // The success message shows for 2 s with the worker paused.
    QCOMPARE(frmCard->lblMsg->text(), QStringLiteral("Карта успешно инициализирована."));
    QCOMPARE(TCardFixture::MsgColour(frmCard), QColor(Qt::blue));
    QVERIFY(frmCard->imgOk->isVisible());
    QVERIFY(!frmCard->imgAttention->isVisible());
    QVERIFY(!frmCard->ImageWait->isVisible());
    QCOMPARE(frmCard->MsgTimeout(), 2000);
    QVERIFY(frmCard->Timer->isActive());
    QVERIFY(mfrcthread->Suspended());

    const std::vector<TCardRecord> first = {{office->ID(), TCardFixture::SerialOf(uidA), 4096, 0}};
    QCOMPARE(fx.Cards(), first);
    QVERIFY(fx.OnField()->IsHalted());
    const TSimCard cardA = *fx.Take();
    QCOMPARE(cardA.Block(BlockOf(office->Sector, 0)), CardLayout::NumberBlock(4096));
    QCOMPARE(cardA.Block(BlockOf(office->Sector, 3)),
             CardLayout::UserTrailer(office->KeyA, office->KeyB));

    // The next number is on show and with the worker already.
    QCOMPARE(frmCard->edtCardNum->displayText(), QStringLiteral("00 00 10 01"));
    QCOMPARE(mfrcthread->cardnumber.load(), 4097);

    // A card presented while the message shows is left alone.
    QVERIFY(fx.WorkerParked());
    fx.Present(TCardFixture::Blank(uidB));
    QTest::qWait(100);
    QCOMPARE(fx.Cards().size(), size_t(1));

    TCardFixture::EndMessage(frmCard);
    QVERIFY(!frmCard->lblMsg->isVisible());
    QVERIFY(frmCard->ImageWait->isVisible());
    QVERIFY(!mfrcthread->Suspended());
    WAIT_MSG(frmCard);

    const std::vector<TCardRecord> both = {first[0],
                                           {office->ID(), TCardFixture::SerialOf(uidB), 4097, 0}};
    QCOMPARE(fx.Cards(), both);
    const TSimCard cardB = *fx.Take();
    QCOMPARE(cardB.Block(BlockOf(office->Sector, 0)), CardLayout::NumberBlock(4097));
    QCOMPARE(frmCard->NextCardNumber, 4098);
}

void TestCardIssue::customNumberTwice()
{
    TSecProfile *office = fx.Office();
    OPEN_AND_POLL(fx, frmCard, office);
    QVERIFY(frmCard->edtCardNum->isReadOnly());
    frmCard->cbCustomNum->click();
    QVERIFY(!frmCard->edtCardNum->isReadOnly());

    frmCard->edtCardNum->setFocus();
    frmCard->edtCardNum->setCursorPosition(0);
    QTest::keyClicks(frmCard->edtCardNum, QStringLiteral("1a2b3c4d"));
    QCOMPARE(frmCard->edtCardNum->displayText(), QStringLiteral("1A 2B 3C 4D"));
    QCOMPARE(frmCard->NextCardNumber, 0x1A2B3C4D);
    QCOMPARE(mfrcthread->cardnumber.load(), 0x1A2B3C4D);

    const std::vector<uint8_t> uids[2] = {{0x0A, 0x0B, 0x0C, 0x0D}, {0x1A, 0x1B, 0x1C, 0x1D}};
    std::vector<TCardRecord> expected;
    for (const auto &uid : uids) {
        fx.Present(TCardFixture::Blank(uid));
        WAIT_MSG(frmCard);
        expected.push_back({office->ID(), TCardFixture::SerialOf(uid), 0x1A2B3C4D, 0});
        QCOMPARE(fx.Cards(), expected);
        QCOMPARE(fx.Take()->Block(BlockOf(office->Sector, 0)), CardLayout::NumberBlock(0x1A2B3C4D));
        // The custom number stays for the next card.
        QCOMPARE(frmCard->edtCardNum->displayText(), QStringLiteral("1A 2B 3C 4D"));
        QCOMPARE(mfrcthread->cardnumber.load(), 0x1A2B3C4D);
        TCardFixture::EndMessage(frmCard);
    }

    // Unchecking returns the field and the worker to the next free number.
    frmCard->cbCustomNum->click();
    QVERIFY(frmCard->edtCardNum->isReadOnly());
    QCOMPARE(frmCard->NextCardNumber, 0x1A2B3C4E);
    QCOMPARE(mfrcthread->cardnumber.load(), 0x1A2B3C4E);
    QCOMPARE(frmCard->edtCardNum->displayText(), QStringLiteral("1A 2B 3C 4E"));
}

void TestCardIssue::numberEntry_data()
{
    QTest::addColumn<bool>("hex");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<qint64>("number");

    QTest::newRow("hex lower case made upper")
        << true << QStringLiteral("a") << QStringLiteral("A0 00 00 00") << qint64(0xA0000000);
    QTest::newRow("hex G and minus discarded")
        << true << QStringLiteral("G-") << QStringLiteral("00 00 00 00") << qint64(0);
    QTest::newRow("hex first two positions")
        << true << QStringLiteral("12") << QStringLiteral("12 00 00 00") << qint64(0x12000000);
    QTest::newRow("hex Cyrillic discarded")
        << true << QStringLiteral("fЖ1") << QStringLiteral("F1 00 00 00") << qint64(0xF1000000);
    QTest::newRow("dec letters discarded")
        << false << QStringLiteral("1x2a3") << QStringLiteral("123000000") << qint64(123000000);
    QTest::newRow("dec all nine") << false << QStringLiteral("000004096")
                                  << QStringLiteral("000004096") << qint64(4096);
}

void TestCardIssue::numberEntry()
{
    QFETCH(bool, hex);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(qint64, number);

    OPEN_AND_POLL(fx, frmCard, fx.Office());
    (hex ? frmCard->rbHex : frmCard->rbDec)->click();
    frmCard->cbCustomNum->click();
    QLineEdit *edit = frmCard->edtCardNum;
    edit->setFocus();
    edit->clear();
    edit->setCursorPosition(0);
    // Typed one key at a time, with its text (also for characters outside Latin-1).
    for (QChar c : typed) {
        const Qt::Key key = c.unicode() < 128 ? Qt::Key(c.toUpper().unicode()) : Qt::Key_unknown;
        QTest::sendKeyEvent(QTest::Press, edit, key, QString(c), Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, edit, key, QString(c), Qt::NoModifier);
    }
    QCOMPARE(edit->displayText(), shown);
    QCOMPARE(frmCard->ReadNumber(), std::optional<int64_t>(number));
    QCOMPARE(frmCard->NextCardNumber, number);
    QCOMPARE(mfrcthread->cardnumber.load(), number);
    frmCard->rbHex->click(); // leave the radix as the program starts
}

void TestCardIssue::radixSwitchKeptBetweenShowings()
{
    OPEN_AND_POLL(fx, frmCard, fx.Office());
    frmCard->rbDec->click();
    QCOMPARE(frmCard->edtCardNum->displayText(), QStringLiteral("000004096"));
    QCOMPARE(frmCard->NextCardNumber, 4096);
    QCOMPARE(mfrcthread->cardnumber.load(), 4096);

    frmCard->hide();
    OPEN_AND_POLL(fx, frmCard, fx.Office());
    QVERIFY(frmCard->rbDec->isChecked());
    QCOMPARE(frmCard->edtCardNum->displayText(), QStringLiteral("000004096"));

    // A custom number keeps its value through a switch of radix.
    frmCard->rbHex->click();
    frmCard->cbCustomNum->click();
    frmCard->edtCardNum->setCursorPosition(0);
    QTest::keyClicks(frmCard->edtCardNum, QStringLiteral("0000ABCD"));
    QCOMPARE(frmCard->NextCardNumber, 0xABCD);
    frmCard->rbDec->click();
    QCOMPARE(frmCard->edtCardNum->displayText(), QStringLiteral("000043981"));
    QCOMPARE(frmCard->NextCardNumber, 0xABCD);
    // A number wider than the nine decimal positions is not cut down by the rewrite.
    frmCard->rbHex->click();
    frmCard->edtCardNum->setCursorPosition(0);
    QTest::keyClicks(frmCard->edtCardNum, QStringLiteral("40000000"));
    QCOMPARE(frmCard->NextCardNumber, 0x40000000);
    frmCard->rbDec->click();
    QCOMPARE(frmCard->NextCardNumber, 0x40000000);
    QCOMPARE(mfrcthread->cardnumber.load(), 0x40000000);
    frmCard->rbHex->click();
    QCOMPARE(frmCard->edtCardNum->displayText(), QStringLiteral("40 00 00 00"));
}

void TestCardIssue::unreadableCustomNumber()
{
    OPEN_AND_POLL(fx, frmCard, fx.Office());
    frmCard->cbCustomNum->click();
    frmCard->edtCardNum->setCursorPosition(0);
    QTest::keyClicks(frmCard->edtCardNum, QStringLiteral("00002000"));
    QCOMPARE(frmCard->NextCardNumber, 0x2000);

    // Text pasted past the key filter cannot be read as a number.
    Modal::SetNextAnswer(QMessageBox::Ok);
    frmCard->edtCardNum->selectAll();
    frmCard->edtCardNum->insert(QStringLiteral("ZZ"));
    QCOMPARE(Modal::History().size(), size_t(1));
    QCOMPARE(Modal::History().back().text, QStringLiteral("ERROR Number Conversion !!!"));
    QCOMPARE(Modal::History().back().icon, QMessageBox::NoIcon);
    QCOMPARE(frmCard->NextCardNumber, 0x2000);
    QCOMPARE(mfrcthread->cardnumber.load(), 0x2000);
}

void TestCardIssue::useOriginalId()
{
    OPEN_AND_POLL(fx, frmCard, fx.Office());
    const int fullHeight = frmCard->sizeHint().height();
    QVERIFY(frmCard->pnlNumber->isVisible());
    frmCard->hide();

    TSecProfile *orig = fx.Orig();
    OPEN_AND_POLL(fx, frmCard, orig);
    QVERIFY(frmCard->pnlNumber->isHidden());
    QVERIFY(frmCard->sizeHint().height() < fullHeight);
    QCOMPARE(mfrcthread->cardnumber.load(), 4096);

    const std::vector<uint8_t> uids[2] = {{0x21, 0x22, 0x23, 0x24}, {0x31, 0x32, 0x33, 0x34}};
    std::vector<TCardRecord> expected;
    for (const auto &uid : uids) {
        fx.Present(TCardFixture::Blank(uid));
        WAIT_MSG(frmCard);
        QCOMPARE(frmCard->lblMsg->text(), QStringLiteral("Карта успешно инициализирована."));
        expected.push_back({orig->ID(), TCardFixture::SerialOf(uid), 0, 0});
        QCOMPARE(fx.Cards(), expected);
        QCOMPARE(fx.Take()->Block(BlockOf(orig->Sector, 3)),
                 CardLayout::UserTrailer(orig->KeyA, orig->KeyB));
        QCOMPARE(mfrcthread->cardnumber.load(), 4096);
        TCardFixture::EndMessage(frmCard);
    }
}

void TestCardIssue::recordsTheCardTheEventIsAbout_data()
{
    QTest::addColumn<bool>("custom"); // a custom number was typed after the card was written

    QTest::newRow("worker took up the next card") << false;
    QTest::newRow("custom number typed meanwhile") << true;
}

void TestCardIssue::recordsTheCardTheEventIsAbout()
{
    // The result of card A is handled only after the worker has taken up card B (or after
    // the operator has typed another number): the record is that of card A, with the
    // number written on it.
    QFETCH(bool, custom);
    TSecProfile *office = fx.Office();
    OPEN_AND_POLL(fx, frmCard, office);
    const int64_t serialA = 0x0A0B0C0D;
    if (custom) {
        frmCard->cbCustomNum->click();
        frmCard->edtCardNum->setCursorPosition(0);
        QTest::keyClicks(frmCard->edtCardNum, QStringLiteral("00002000"));
        QCOMPARE(mfrcthread->cardnumber.load(), 0x2000);
    }
    mfrcthread->serial = 0x1A1B1C1D;

    TCardEvent written{CARD_PROCESSED};
    written.SetCard(serialA, 4096);
    QCoreApplication::sendEvent(frmCard, &written);

    const std::vector<TCardRecord> expected = {{office->ID(), serialA, 4096, 0}};
    QCOMPARE(fx.Cards(), expected);
    QCOMPARE(frmCard->lblMsg->text(), QStringLiteral("Карта успешно инициализирована."));
    QCOMPARE(frmCard->NextCardNumber, custom ? 0x2000 : 4097);
    QCOMPARE(mfrcthread->cardnumber.load(), custom ? 0x2000 : 4097);
}

void TestCardIssue::writeFailure()
{
    OPEN_AND_POLL(fx, frmCard, fx.Office());
    // A card already issued under another profile: the transport key does not open it.
    const std::vector<uint8_t> uid = {0x41, 0x42, 0x43, 0x44};
    fx.Present(TCardFixture::Issued(uid, *fx.Store(), 777));
    WAIT_MSG(frmCard);
    QCOMPARE(frmCard->lblMsg->text(), TCardDialog::WriteErrorText());
    QCOMPARE(TCardFixture::MsgColour(frmCard), QColor(Qt::red));
    QVERIFY(frmCard->imgAttention->isVisible());
    QVERIFY(!frmCard->imgOk->isVisible());
    QCOMPARE(frmCard->MsgTimeout(), 5000);
    QVERIFY(mfrcthread->Suspended());
    QVERIFY(fx.Cards().empty());
    QCOMPARE(frmCard->NextCardNumber, 4096);
    QCOMPARE(mfrcthread->cardnumber.load(), 4096);
    QCOMPARE(fx.OnField()->Block(BlockOf(3, 0)), CardLayout::NumberBlock(777));
}

void TestCardIssue::recordingFailure()
{
    // The register can be read but not written: the card is written all the same, the
    // operator is told by the register's own message, and the number does not move on.
    DatUtils::CloseDatabase();
    OpenDatabase(fx.DbPath, true);
    TSecProfile *office = fx.Office();
    OPEN_AND_POLL(fx, frmCard, office);
    Modal::SetNextAnswer(QMessageBox::Ok);
    fx.Present(TCardFixture::Blank({0x45, 0x46, 0x47, 0x48}));
    WAIT_MSG(frmCard);
    QCOMPARE(Modal::History().size(), size_t(1));
    QCOMPARE(Modal::History().front().text,
             QStringLiteral("Ошибка при записи в базу данных карт."));
    QCOMPARE(frmCard->lblMsg->text(), QStringLiteral("Карта успешно инициализирована."));
    QCOMPARE(frmCard->MsgTimeout(), 2000);
    QVERIFY(mfrcthread->Suspended());
    QVERIFY(fx.Cards().empty());
    QCOMPARE(fx.OnField()->Block(BlockOf(office->Sector, 0)), CardLayout::NumberBlock(4096));
    QCOMPARE(frmCard->NextCardNumber, 4096);
    QCOMPARE(mfrcthread->cardnumber.load(), 4096);
}

void TestCardIssue::cardLyingOnReaderAtFirstRun()
{
    const std::vector<uint8_t> uid = {0x51, 0x52, 0x53, 0x54};
    fx.Present(TCardFixture::Blank(uid));
    TSecProfile *office = fx.Office();
    Open(office);
    WAIT_MSG(frmCard);
    QCOMPARE(frmCard->lblMsg->text(), TCardDialog::CardDetectedText());
    QCOMPARE(TCardFixture::MsgColour(frmCard), QColor(Qt::red));
    QCOMPARE(frmCard->MsgTimeout(), 10000);
    QVERIFY(mfrcthread->Suspended());

    // The card was halted, not written; lying on, it stays so after the message.
    fx.sim->Alto().ClearLog();
    TCardFixture::EndMessage(frmCard);
    QTRY_VERIFY_WITH_TIMEOUT(fx.WorkerPolled(), 15000);
    QVERIFY(fx.Cards().empty());
    QVERIFY(fx.OnField()->IsHalted());
    QCOMPARE(fx.OnField()->Block(BlockOf(office->Sector, 3)), CardLayout::TransportTrailer());

    // Presented anew, it is issued.
    TSimCard card = *fx.Take();
    fx.Present(TCardFixture::Blank(uid));
    WAIT_MSG(frmCard);
    QCOMPARE(frmCard->lblMsg->text(), QStringLiteral("Карта успешно инициализирована."));
    const std::vector<TCardRecord> expected = {
        {office->ID(), TCardFixture::SerialOf(uid), 4096, 0}};
    QCOMPARE(fx.Cards(), expected);
}

void TestCardIssue::closingWhileMessageShows()
{
    TSecProfile *office = fx.Office();
    OPEN_AND_POLL(fx, frmCard, office);
    fx.Present(TCardFixture::Blank({0x61, 0x62, 0x63, 0x64}));
    WAIT_MSG(frmCard);
    QVERIFY(frmCard->Timer->isActive());

    frmCard->btnClose->click();
    QVERIFY(!frmCard->isVisible());
    QVERIFY(mfrcthread->Suspended());
    QCOMPARE(mfrcthread->threadaction.load(), 0);

    // The message time runs out after closing: the status area clears, the worker stays
    // paused and a card presented now is not touched.
    TCardDialog::TimeScale = 0.001;
    frmCard->Timer->start(1);
    QTRY_VERIFY(!frmCard->Timer->isActive());
    QVERIFY(frmCard->lblMsg->isHidden());
    QVERIFY(mfrcthread->Suspended());
    QVERIFY(fx.WorkerParked());
    fx.Present(TCardFixture::Blank({0x71, 0x72, 0x73, 0x74}));
    QTest::qWait(150);
    QCOMPARE(fx.Cards().size(), size_t(1));
    QCOMPARE(fx.OnField()->Block(BlockOf(office->Sector, 3)), CardLayout::TransportTrailer());

    // Opened again: waiting, with a fresh number, and the card is issued.
    TCardDialog::TimeScale = 1.0;
    Open(office);
    QVERIFY(frmCard->lblMsg->isHidden());
    QCOMPARE(frmCard->NextCardNumber, 4097);
    QCOMPARE(mfrcthread->threadaction.load(), TA_WRITE_CARD);
    WAIT_MSG(frmCard);
    QCOMPARE(fx.Cards().size(), size_t(2));
    QCOMPARE(fx.Cards().back().cardNum, 4097);
}

void TestCardIssue::messageTimer()
{
    OPEN_AND_POLL(fx, frmCard, fx.Office());
    // A new message replaces the one showing and starts its own time afresh.
    frmCard->ShowMsg(true, QStringLiteral("first"), 5000);
    QCOMPARE(frmCard->Timer->interval(), 5000);
    frmCard->ShowMsg(false, QStringLiteral("second"), 2000);
    QCOMPARE(frmCard->lblMsg->text(), QStringLiteral("second"));
    QVERIFY(frmCard->imgOk->isVisible());
    QVERIFY(frmCard->imgAttention->isHidden());
    QCOMPARE(TCardFixture::MsgColour(frmCard), QColor(Qt::blue));
    QCOMPARE(frmCard->Timer->interval(), 2000);
    QVERIFY(frmCard->Timer->isActive());
    QVERIFY(mfrcthread->Suspended());

    // Scaled down, the time runs out by itself: waiting look, the worker running again.
    TCardDialog::TimeScale = 0.005;
    frmCard->ShowMsg(false, QStringLiteral("third"), 2000);
    QCOMPARE(frmCard->Timer->interval(), 10);
    QCOMPARE(frmCard->MsgTimeout(), 2000);
    QTRY_VERIFY(frmCard->lblMsg->isHidden());
    QVERIFY(frmCard->imgOk->isHidden());
    QVERIFY(frmCard->ImageWait->isVisible());
    QVERIFY(frmCard->ImageWait->IsRunning());
    QVERIFY(!mfrcthread->Suspended());
}

void TestCardIssue::launcher_data()
{
    QTest::addColumn<bool>("reader");
    QTest::addColumn<int>("currentId"); // 0: the test profile "Офис"
    QTest::addColumn<bool>("active");
    QTest::addColumn<QString>("password"); // typed into frmPass; empty: not asked
    QTest::addColumn<QString>("caption");  // of the refusal box; empty: none
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("opens");

    const QString profileError =
        QStringLiteral("Для данного профиля создание, очистка или изменение карты невозможно.");
    QTest::newRow("no reader") << false << 0 << true << QString()
                               << QStringLiteral("Нет считывателя")
                               << QStringLiteral("Нет доступного или подключенного считывателя")
                               << false;
    QTest::newRow("profile Пустой") << true << 1 << true << QString()
                                    << QStringLiteral("Ошибка профиля") << profileError << false;
    QTest::newRow("no reader before profile")
        << false << 1 << true << QString() << QStringLiteral("Нет считывателя")
        << QStringLiteral("Нет доступного или подключенного считывателя") << false;
    QTest::newRow("unknown profile")
        << true << 99 << true << QString() << QStringLiteral("Tagor")
        << QStringLiteral("INTERNAL ERROR in actNewProfileExecute\r\nCall developers support")
        << false;
    QTest::newRow("wrong password")
        << true << 0 << false << QStringLiteral("Office") << QString() << QString() << false;
    QTest::newRow("right password")
        << true << 0 << false << QStringLiteral("office") << QString() << QString() << true;
    QTest::newRow("active profile")
        << true << 0 << true << QString() << QString() << QString() << true;
}

void TestCardIssue::launcher()
{
    QFETCH(bool, reader);
    QFETCH(int, currentId);
    QFETCH(bool, active);
    QFETCH(QString, password);
    QFETCH(QString, caption);
    QFETCH(QString, text);
    QFETCH(bool, opens);

    TSecProfile *office = fx.Office();
    office->SetActive(active);
    frmMain->CurrentProfID = currentId == 0 ? office->ID() : currentId;
    if (!reader)
        ReaderKind = READER_NONE;
    if (!caption.isEmpty())
        Modal::SetNextAnswer(QMessageBox::Ok);
    bool asked = false;
    if (!password.isEmpty()) {
        Modal::SetNextExec([&](QDialog *d) {
            asked = d == frmPass;
            frmPass->edtPassword->setText(password);
            return int(QDialog::Accepted);
        });
    }
    bool opened = false;
    Modal::SetNextExec([&](QDialog *d) {
        opened = d == frmCard && frmCard->profile == office;
        return int(QDialog::Rejected);
    });

    frmMain->actCardNewExecute();

    QCOMPARE(asked, !password.isEmpty());
    QCOMPARE(opened, opens);
    QCOMPARE(office->Active(), active || opens);
    if (caption.isEmpty()) {
        QVERIFY(Modal::History().empty());
    } else {
        QCOMPARE(Modal::History().size(), size_t(1));
        QCOMPARE(Modal::History().front().caption, caption);
        QCOMPARE(Modal::History().front().text, text);
        QCOMPARE(Modal::History().front().icon,
                 caption == QStringLiteral("Tagor") ? QMessageBox::NoIcon : QMessageBox::Critical);
    }
    if (!opens) {
        // The queued dialog handler was not used: drop it.
        Modal::Exec(frmCard);
    }
}

QTEST_MAIN(TestCardIssue)
#include "tst_card.moc"
