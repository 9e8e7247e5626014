// The card erase dialog on the real worker and the simulated RW-Alto reader: erasing and
// dropping the records, refusing another profile's card, closing while a message shows,
// a register that cannot be written, the keys that close the card dialogs, and the
// launcher's checks. Also: a message timer of a closed dialog never resumes the worker
// that another dialog has paused.
#include "cardfixture.h"

#include "dialogs/card.h"
#include "dialogs/carderase.h"

#include <QLineEdit>

using CardLayout::BlockOf;

class TestCardErase : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void erase_data();
    void erase();
    void closingWhileMessageShows();
    void closedDialogsTimerLeavesWorkerPaused();
    void closedDialogsLateEvent_data();
    void closedDialogsLateEvent();
    void recordsCannotBeRemoved();
    void closeKeys_data();
    void closeKeys();
    void launcher_data();
    void launcher();

private:
    TCardFixture fx;
};

void TestCardErase::initTestCase()
{
    TCardFixture::CreateMainWindow();
    frmCard = new TfrmCard(frmMain);
    frmCardErase = new TfrmCardErase(frmMain);
}

void TestCardErase::cleanupTestCase()
{
    TCardFixture::DestroyMainWindow();
    frmCard = nullptr;
    frmCardErase = nullptr;
}

void TestCardErase::init()
{
    QVERIFY2(fx.SetUp(), qPrintable(fx.Error));
}

void TestCardErase::cleanup()
{
    frmCard->hide();
    frmCardErase->hide();
    fx.TearDown();
    QVERIFY(!Modal::PendingAnswers());
}

void TestCardErase::erase_data()
{
    QTest::addColumn<bool>("ownProfile");   // the card was issued for the dialog's profile
    QTest::addColumn<int>("recordsOfCard"); // records with the card's serial
    QTest::addColumn<bool>("erased");

    QTest::newRow("own profile, one record") << true << 1 << true;
    QTest::newRow("own profile, three records") << true << 3 << true;
    QTest::newRow("own profile, never recorded") << true << 0 << true;
    QTest::newRow("another profile") << false << 2 << false;
}

void TestCardErase::erase()
{
    QFETCH(bool, ownProfile);
    QFETCH(int, recordsOfCard);
    QFETCH(bool, erased);

    TSecProfile *office = fx.Office();
    TSecProfile *store = fx.Store();
    const std::vector<uint8_t> uid = {0x01, 0x02, 0x03, 0x04};
    const int64_t serial = TCardFixture::SerialOf(uid);
    TSecProfile *issuer = ownProfile ? office : store;
    // The card's records (one of them under the other profile), and another card's.
    for (int i = 0; i < recordsOfCard; ++i)
        AddCard(i == 1 ? store->ID() : issuer->ID(), 0, serial, 4096 + i);
    AddCard(office->ID(), 0, 0x0A0B0C0D, 5000);
    const std::vector<TCardRecord> before = fx.Cards();
    mfrcthread->cardnumber = 12345;

    OPEN_AND_POLL(fx, frmCardErase, office);
    QCOMPARE(frmCardErase->edtProfileName->text(), QStringLiteral("Офис"));
    QCOMPARE(mfrcthread->threadaction.load(), TA_ERASE);
    QCOMPARE(mfrcthread->cardnumber.load(), 12345); // erasing uses no number

    fx.Present(TCardFixture::Issued(uid, *issuer, 4096));
    WAIT_MSG(frmCardErase);
    QVERIFY(mfrcthread->Suspended());
    const TSimCard card = *fx.OnField();
    if (erased) {
        QCOMPARE(frmCardErase->lblMsg->text(),
                 QStringLiteral("Карта успешно очищена и удалена из БД."));
        QCOMPARE(TCardFixture::MsgColour(frmCardErase), QColor(Qt::blue));
        QVERIFY(frmCardErase->imgOk->isVisible());
        QCOMPARE(frmCardErase->MsgTimeout(), 2000);
        QCOMPARE(card.Block(BlockOf(office->Sector, 3)), CardLayout::TransportTrailer());
        const std::vector<TCardRecord> rest = {{office->ID(), 0x0A0B0C0D, 5000, 0}};
        QCOMPARE(fx.Cards(), rest);
    } else {
        QCOMPARE(
            frmCardErase->lblMsg->text(),
            QStringLiteral(
                "Внимание! При попытке очистки карты произошла ошибка, возможно карта не "
                "подготовлена для работы с данным профилем или произошла непредвиденная ошибка."));
        QCOMPARE(TCardFixture::MsgColour(frmCardErase), QColor(Qt::red));
        QVERIFY(frmCardErase->imgAttention->isVisible());
        QCOMPARE(frmCardErase->MsgTimeout(), 5000);
        QCOMPARE(card.Block(BlockOf(store->Sector, 3)),
                 CardLayout::UserTrailer(store->KeyA, store->KeyB));
        QCOMPARE(card.Block(BlockOf(store->Sector, 0)), CardLayout::NumberBlock(4096));
        QCOMPARE(fx.Cards(), before);
    }

    // The message ends: waiting again, the worker running with the same job.
    TCardFixture::EndMessage(frmCardErase);
    QVERIFY(frmCardErase->lblMsg->isHidden());
    QVERIFY(frmCardErase->ImageWait->isVisible());
    QVERIFY(!mfrcthread->Suspended());
    QCOMPARE(mfrcthread->threadaction.load(), TA_ERASE);
}

void TestCardErase::closingWhileMessageShows()
{
    TSecProfile *office = fx.Office();
    const std::vector<uint8_t> uidA = {0x11, 0x12, 0x13, 0x14};
    const std::vector<uint8_t> uidB = {0x21, 0x22, 0x23, 0x24};
    AddCard(office->ID(), 0, TCardFixture::SerialOf(uidA), 4096);
    AddCard(office->ID(), 0, TCardFixture::SerialOf(uidB), 4097);

    OPEN_AND_POLL(fx, frmCardErase, office);
    fx.Present(TCardFixture::Issued(uidA, *office, 4096));
    WAIT_MSG(frmCardErase);
    QCOMPARE(fx.Cards().size(), size_t(1));

    frmCardErase->btnClose->click();
    QVERIFY(!frmCardErase->isVisible());
    QVERIFY(mfrcthread->Suspended());
    QCOMPARE(mfrcthread->threadaction.load(), TA_ERASE); // kept, so the worker must stay paused

    // The message time runs out after closing; a card presented now is not erased.
    frmCardErase->Timer->start(1);
    QTRY_VERIFY(!frmCardErase->Timer->isActive());
    QVERIFY(frmCardErase->lblMsg->isHidden());
    QVERIFY(mfrcthread->Suspended());
    QVERIFY(fx.WorkerParked());
    fx.Present(TCardFixture::Issued(uidB, *office, 4097));
    QTest::qWait(150);
    QCOMPARE(fx.OnField()->Block(BlockOf(office->Sector, 3)),
             CardLayout::UserTrailer(office->KeyA, office->KeyB));
    QCOMPARE(fx.Cards().size(), size_t(1));

    // Opened again, the card is erased.
    frmCardErase->profile = office;
    frmCardErase->show();
    WAIT_MSG(frmCardErase);
    QCOMPARE(frmCardErase->lblMsg->text(),
             QStringLiteral("Карта успешно очищена и удалена из БД."));
    QVERIFY(fx.Cards().empty());
}

void TestCardErase::closedDialogsTimerLeavesWorkerPaused()
{
    // A card issued; the issue dialog is closed while its message shows.
    TSecProfile *office = fx.Office();
    OPEN_AND_POLL(fx, frmCard, office);
    fx.Present(TCardFixture::Blank({0x31, 0x32, 0x33, 0x34}));
    WAIT_MSG(frmCard);
    frmCard->reject();
    QVERIFY(frmCard->Timer->isActive());

    // The erase dialog takes the worker and pauses it for its own message.
    frmCardErase->profile = office;
    frmCardErase->show();
    QCOMPARE(mfrcthread->threadaction.load(), TA_ERASE);
    const TSimCard issued = *fx.Take();
    fx.Present(issued);
    WAIT_MSG(frmCardErase);
    QCOMPARE(frmCardErase->lblMsg->text(),
             QStringLiteral("Карта успешно очищена и удалена из БД."));
    QVERIFY(mfrcthread->Suspended());

    // The issue dialog's message time runs out now: the erase dialog's pause holds.
    frmCard->Timer->start(1);
    QTRY_VERIFY(!frmCard->Timer->isActive());
    QVERIFY(frmCard->lblMsg->isHidden());
    QVERIFY(mfrcthread->Suspended());
    QVERIFY(frmCardErase->lblMsg->isVisible());
    QVERIFY(frmCardErase->Timer->isActive());
}

void TestCardErase::closedDialogsLateEvent_data()
{
    QTest::addColumn<bool>("issueClosed"); // the issue dialog closed, the erase dialog open
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("records"); // in the register after the late event

    QTest::newRow("issue closed, card written") << true << int(CARD_PROCESSED) << 2;
    QTest::newRow("issue closed, write failed") << true << int(CARD_PROCESS_ERROR) << 1;
    QTest::newRow("issue closed, card lying") << true << int(CARD_DETECTED) << 1;
    QTest::newRow("erase closed, card erased") << false << int(CARD_PROCESSED) << 0;
    QTest::newRow("erase closed, erase failed") << false << int(CARD_PROCESS_ERROR) << 1;
}

void TestCardErase::closedDialogsLateEvent()
{
    // A result the worker posted just before its dialog was closed reaches that dialog
    // after another card dialog has taken the worker: the result is still recorded, but
    // the worker goes on working for the dialog that is open now.
    QFETCH(bool, issueClosed);
    QFETCH(int, code);
    QFETCH(int, records);

    TSecProfile *office = fx.Office();
    const int64_t serial = 0x44332211;
    AddCard(office->ID(), 0, serial, 4096);
    TCardDialog *closed = issueClosed ? static_cast<TCardDialog *>(frmCard) : frmCardErase;
    TCardDialog *open = issueClosed ? static_cast<TCardDialog *>(frmCardErase) : frmCard;
    OPEN_AND_POLL(fx, closed, office);
    closed->reject();
    QVERIFY(mfrcthread->Suspended());
    OPEN_AND_POLL(fx, open, office);
    QVERIFY(!mfrcthread->Suspended());
    const int32_t action = mfrcthread->threadaction;

    mfrcthread->serial = 0x0F0F0F0F; // the worker has taken up another card since
    mfrcthread->cardnumber = 777;    // the open dialog's number, if it uses one
    TCardEvent late{QEvent::Type(code)};
    late.SetCard(serial, 4096);
    QCoreApplication::sendEvent(closed, &late);

    QCOMPARE(fx.Cards().size(), size_t(records));
    QVERIFY(!mfrcthread->Suspended());
    QCOMPARE(mfrcthread->threadaction.load(), action);
    QCOMPARE(mfrcthread->cardnumber.load(), 777);
    QCOMPARE(mfrcthread->hwnd.get(), open);
    QVERIFY(open->lblMsg->isHidden());
    QVERIFY(open->ImageWait->isVisible());
    // The closed dialog's message runs out without resuming or pausing anything.
    TCardFixture::EndMessage(closed);
    QVERIFY(!mfrcthread->Suspended());
    QVERIFY(closed->lblMsg->isHidden());
}

void TestCardErase::recordsCannotBeRemoved()
{
    TSecProfile *office = fx.Office();
    const std::vector<uint8_t> uid = {0x41, 0x42, 0x43, 0x44};
    AddCard(office->ID(), 0, TCardFixture::SerialOf(uid), 4096);
    const std::vector<TCardRecord> before = fx.Cards();
    // The register can be read but not written.
    DatUtils::CloseDatabase();
    OpenDatabase(fx.DbPath, true);

    OPEN_AND_POLL(fx, frmCardErase, office);
    fx.Present(TCardFixture::Issued(uid, *office, 4096));
    WAIT_MSG(frmCardErase);
    // The card is blank again, but the operator learns that its record stayed.
    QCOMPARE(fx.OnField()->Block(BlockOf(office->Sector, 3)), CardLayout::TransportTrailer());
    QCOMPARE(frmCardErase->lblMsg->text(),
             QStringLiteral("Карта очищена, но удалить ее запись из БД не удалось."));
    QCOMPARE(TCardFixture::MsgColour(frmCardErase), QColor(Qt::red));
    QVERIFY(frmCardErase->imgAttention->isVisible());
    QCOMPARE(fx.Cards(), before);
}

void TestCardErase::closeKeys_data()
{
    QTest::addColumn<bool>("issueDialog");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("closes");

    QTest::newRow("issue, Enter") << true << int(Qt::Key_Return) << true;
    QTest::newRow("issue, Escape") << true << int(Qt::Key_Escape) << true;
    QTest::newRow("erase, Enter") << false << int(Qt::Key_Return) << false;
    QTest::newRow("erase, Escape") << false << int(Qt::Key_Escape) << true;
}

void TestCardErase::closeKeys()
{
    QFETCH(bool, issueDialog);
    QFETCH(int, key);
    QFETCH(bool, closes);

    TCardDialog *dialog = issueDialog ? static_cast<TCardDialog *>(frmCard) : frmCardErase;
    OPEN_AND_POLL(fx, dialog, fx.Office());
    QTest::keyClick(dialog, Qt::Key(key));
    QCOMPARE(dialog->isVisible(), !closes);
    QCOMPARE(mfrcthread->Suspended(), closes);
}

void TestCardErase::launcher_data()
{
    QTest::addColumn<bool>("reader");
    QTest::addColumn<bool>("profiles");    // false: the profile list is empty
    QTest::addColumn<int>("currentId");    // 0: the test profile "Офис"
    QTest::addColumn<QString>("password"); // typed into frmPass; empty: the profile is active
    QTest::addColumn<QString>("caption");  // of the refusal box; empty: none
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("opens");

    const QString noProfile = QStringLiteral("Нет профиля");
    QTest::newRow("no reader") << false << true << 0 << QString()
                               << QStringLiteral("Нет считывателя")
                               << QStringLiteral("Нет доступного или подключенного считывателя")
                               << false;
    QTest::newRow("no profiles") << true << false << 0 << QString() << noProfile
                                 << QStringLiteral("Нет профиля безопасности для очистки карт")
                                 << false;
    QTest::newRow("unknown profile")
        << true << true << 99 << QString() << noProfile
        << QStringLiteral("Не выбран профиль безопасности или произошла внутренняя ошибка.")
        << false;
    QTest::newRow("profile Пустой")
        << true << true << 1 << QString() << QStringLiteral("Ошибка профиля")
        << QStringLiteral("Для данного профиля создание, очистка или изменение карты невозможно.")
        << false;
    QTest::newRow("wrong password")
        << true << true << 0 << QStringLiteral("wrong") << QString() << QString() << false;
    QTest::newRow("right password")
        << true << true << 0 << QStringLiteral("office") << QString() << QString() << true;
}

void TestCardErase::launcher()
{
    QFETCH(bool, reader);
    QFETCH(bool, profiles);
    QFETCH(int, currentId);
    QFETCH(QString, password);
    QFETCH(QString, caption);
    QFETCH(QString, text);
    QFETCH(bool, opens);

    TSecProfile *office = fx.Office();
    office->SetActive(password.isEmpty());
    frmMain->CurrentProfID = currentId == 0 ? office->ID() : currentId;
    if (!reader)
        ReaderKind = READER_NONE;
    if (!profiles) {
        frmMain->ProfList.Clear();
        office = nullptr;
    }
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
        opened = d == frmCardErase && frmCardErase->profile == office;
        return int(QDialog::Rejected);
    });

    frmMain->actCardEraseExecute();

    QCOMPARE(asked, !password.isEmpty());
    QCOMPARE(opened, opens);
    if (caption.isEmpty()) {
        QVERIFY(Modal::History().empty());
    } else {
        QCOMPARE(Modal::History().size(), size_t(1));
        QCOMPARE(Modal::History().front().icon, QMessageBox::Critical);
        QCOMPARE(Modal::History().front().caption, caption);
        QCOMPARE(Modal::History().front().text, text);
    }
    if (!opens)
        Modal::Exec(frmCardErase); // drops the unused handler
}

QTEST_MAIN(TestCardErase)
#include "tst_carderase.moc"
