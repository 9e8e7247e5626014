// The master card dialog opened from the main window: launcher refusals, target choice
// and activation, master cards written and recorded one after another.

#include "profilefixture.h"

#include <QComboBox>
#include <QLabel>

using F = TProfileFixture;

class TestMasterCard : public TProfileTestCase
{
    Q_OBJECT

private slots:
    void launcherRefusals_data();
    void launcherRefusals();
    void refusedTargets_data();
    void refusedTargets();
    void inactiveTarget_data();
    void inactiveTarget();
    void twoInARow();
    void lateHandlerRecordsItsOwnCard();
    void resultAfterClosingLeavesWorkerNumber();
    void writeErrorRecordsNothing();
    void mainWindowLeavesTargetToOperator();

private:
    // Chooses the entry of the profile in the dialog's list, as the operator would.
    static void Choose(TfrmMasterCard *d, int32_t id)
    {
        const int i = d->cbProfiles->findData(id);
        QVERIFY(i >= 0);
        d->cbProfiles->setCurrentIndex(i);
        emit d->cbProfiles->activated(i);
    }
};

void TestMasterCard::launcherRefusals_data()
{
    QTest::addColumn<int>("reader");
    QTest::addColumn<int>("current"); // 0: "Офис"
    QTest::addColumn<QString>("password");
    QTest::addColumn<QStringList>("boxes");

    QTest::newRow("no reader")
        << READER_NONE << 0 << QString()
        << QStringList{
               QStringLiteral("Нет считывателя|Нет доступного или подключенного считывателя")};
    QTest::newRow("Пустой")
        << READER_ALTO << 1 << QString()
        << QStringList{QStringLiteral(
               "Ошибка профиля|Для данного профиля создание мастер-карты невозможно.")};
    QTest::newRow("no such profile")
        << READER_ALTO << 99 << QString()
        << QStringList{QStringLiteral("Нет профиля|Не активирован профиль безопасности.")};
    QTest::newRow("wrong password")
        << READER_ALTO << 0 << QStringLiteral("Office") << QStringList{};
    QTest::newRow("password cancelled") << READER_ALTO << 0 << QString() << QStringList{};
}

void TestMasterCard::launcherRefusals()
{
    QFETCH(int, reader);
    QFETCH(int, current);
    QFETCH(QString, password);
    QFETCH(QStringList, boxes);

    ReaderKind = reader;
    if (current)
        frmMain->CurrentProfID = current;
    QueuePassword(password);
    if (!boxes.isEmpty())
        F::AnswerOk();
    bool shown = false;
    QueueShown<TfrmMasterCard>(
        frmMasterCard, [](TfrmMasterCard *) {}, &shown);
    frmMain->actMasterCardExecute();
    QVERIFY(!shown);
    QCOMPARE(F::Boxes(), boxes);
    QVERIFY(!F::Office()->Active());
}

void TestMasterCard::refusedTargets_data()
{
    QTest::addColumn<bool>("itself"); // the source itself, else "Пустой"
    // Refused while the success message of the card before still shows: when it ends, the
    // worker must stay paused.
    QTest::addColumn<bool>("duringMessage");
    QTest::newRow("source itself") << true << false;
    QTest::newRow("Пустой") << false << false;
    QTest::newRow("source itself, during a message") << true << true;
    QTest::newRow("Пустой, during a message") << false << true;
}

void TestMasterCard::refusedTargets()
{
    QFETCH(bool, itself);
    QFETCH(bool, duringMessage);
    F::Office()->SetActive(true);
    F::Store()->SetActive(true);
    const int32_t officeId = F::Office()->ID();
    bool shown = false;
    QueueShown<TfrmMasterCard>(
        frmMasterCard,
        [&](TfrmMasterCard *d) {
            // Right after opening nothing runs, even with a blank card on the reader.
            QVERIFY(!F::WorkerRunning());
            QVERIFY(!d->lblPresentCard->isVisible());
            QVERIFY(!d->ImageWait->isVisible());
            QVERIFY(d->cbProfiles->isEnabled());
            QCOMPARE(d->cbProfiles->currentData().toInt(), officeId);
            QCOMPARE(d->profileNew, d->profileOld);
            QCOMPARE(mfrcthread->ismaster.load(), 1);
            QCOMPARE(mfrcthread->cardnumber.load(), qint64(4096));
            fx.Present(F::Blank({0x01, 0x02, 0x03, 0x04}));
            QTest::qWait(100);
            QVERIFY(fx.Cards().empty());
            fx.Take();

            // A valid target first, so that the refusal has a running worker to stop.
            TCardDialog::TimeScale = 1.0; // the message lasts until ended here
            Choose(d, F::Store()->ID());
            QVERIFY(F::WorkerRunning());
            QVERIFY(fx.WaitWorkerPolling());
            fx.Present(F::Blank({0x01, 0x02, 0x03, 0x04}));
            QVERIFY(QTest::qWaitFor([&] { return fx.Cards().size() == 1; }, 10000));
            QTRY_VERIFY(d->Timer->isActive());
            if (!duringMessage)
                F::EndMessage(d);
            fx.Take();

            F::AnswerOk();
            Modal::ClearHistory();
            Choose(d, itself ? officeId : 1);
            QCOMPARE(F::Boxes(),
                     QStringList{QStringLiteral(
                         "Нет профиля|Нельзя переходить на данный профиль. Выберите другой")});
            QCOMPARE(Modal::History().front().icon, QMessageBox::Critical);
            QCOMPARE(d->cbProfiles->currentData().toInt(), officeId);
            QVERIFY(!F::WorkerRunning());
            QVERIFY(!d->lblPresentCard->isVisible());
            QVERIFY(!d->ImageWait->isVisible());
            if (duringMessage) {
                QVERIFY(d->lblMsg->isVisible());
                F::EndMessage(d);
                QVERIFY(!d->lblMsg->isVisible());
                QVERIFY(!F::WorkerRunning());
                QVERIFY(!d->ImageWait->isVisible());
            }
            fx.Present(F::Blank({0x05, 0x06, 0x07, 0x08}));
            QTest::qWait(100);
            QCOMPARE(fx.Cards().size(), size_t(1));
        },
        &shown);
    frmMain->actMasterCardExecute();
    QVERIFY(shown);
}

void TestMasterCard::inactiveTarget_data()
{
    QTest::addColumn<QString>("password"); // null: the password dialog is cancelled
    QTest::addColumn<bool>("earlierTarget");
    QTest::addColumn<QStringList>("boxes");

    const QString failed = QStringLiteral("Ошибка|Не удалось активировать профиль безопасности");
    QTest::newRow("wrong password") << QStringLiteral("STORE") << false << QStringList{failed};
    QTest::newRow("cancelled")
        << QString() << false
        << QStringList{QStringLiteral("Ошибка пароля|Неверный пароль - профиль не активирован."),
                       failed};
    QTest::newRow("wrong password, earlier target goes on")
        << QStringLiteral("x") << true << QStringList{failed};
    QTest::newRow("right password") << QStringLiteral("store") << false << QStringList{};
}

void TestMasterCard::inactiveTarget()
{
    QFETCH(QString, password);
    QFETCH(bool, earlierTarget);
    QFETCH(QStringList, boxes);

    F::Office()->SetActive(true);
    F::Orig()->SetActive(true);
    const bool activated = boxes.isEmpty();
    bool shown = false;
    QueueShown<TfrmMasterCard>(
        frmMasterCard,
        [&](TfrmMasterCard *d) {
            if (earlierTarget) {
                Choose(d, F::Orig()->ID());
                QVERIFY(F::WorkerRunning());
            }
            QueuePassword(password);
            F::AnswerOk(int(boxes.size()));
            Choose(d, F::Store()->ID());
            QCOMPARE(F::Boxes(), boxes);
            QCOMPARE(F::Store()->Active(), activated);
            if (activated) {
                QVERIFY(F::WorkerRunning());
                QCOMPARE(mfrcthread->profile1.load(), F::Store());
                QVERIFY(d->lblPresentCard->isVisible());
                QVERIFY(d->ImageWait->isVisible());
                QCOMPARE(d->cbProfiles->currentData().toInt(), F::Store()->ID());
            } else {
                // The list returns to the source; the worker's job is as it was.
                QCOMPARE(d->cbProfiles->currentData().toInt(), F::Office()->ID());
                QCOMPARE(F::WorkerRunning(), earlierTarget);
                if (earlierTarget)
                    QCOMPARE(mfrcthread->profile1.load(), F::Orig());
            }
        },
        &shown);
    frmMain->actMasterCardExecute();
    QVERIFY(shown);
}

void TestMasterCard::twoInARow()
{
    const int32_t officeId = F::Office()->ID();
    // An earlier card raises the next free number.
    QCOMPARE(AddCard(F::Store()->ID(), 0, 0x77, 5000), 0);
    const std::vector<uint8_t> uid1{0xA0, 0xA1, 0xA2, 0xA3};
    const std::vector<uint8_t> uid2{0x04, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6};
    QueuePassword(QStringLiteral("office")); // the source, asked by the launcher
    bool shown = false;
    QueueShown<TfrmMasterCard>(
        frmMasterCard,
        [&](TfrmMasterCard *d) {
            QueuePassword(QStringLiteral("store")); // the target, asked by the dialog
            Choose(d, F::Store()->ID());
            QVERIFY(F::WorkerRunning());
            QVERIFY(fx.WaitWorkerPolling());

            fx.Present(F::Blank(uid1));
            QVERIFY2(QTest::qWaitFor([&] { return fx.Cards().size() == 2; }, 10000),
                     qPrintable(d->lblMsg->text()));
            QTRY_VERIFY(d->lblMsg->isVisible());
            QCOMPARE(d->lblMsg->text(), QStringLiteral("Карта успешно инициализирована."));
            QCOMPARE(d->MsgTimeout(), 2000);
            QVERIFY(!F::WorkerRunning()); // resting while the message shows
            QCOMPARE(mfrcthread->cardnumber.load(), qint64(5002));
            F::EndMessage(d);
            QVERIFY(F::WorkerRunning());

            fx.Present(F::Blank(uid2));
            QVERIFY(QTest::qWaitFor([&] { return fx.Cards().size() == 3; }, 10000));
            QTRY_VERIFY(d->lblMsg->isVisible());
            const TSimCard card = *fx.OnField();
            QCOMPARE(card.Block(CardLayout::BlockOf(F::OfficeSector, 0)),
                     CardLayout::MasterNumberBlock(5002));
            QCOMPARE(card.Block(CardLayout::BlockOf(F::OfficeSector, 1)),
                     CardLayout::MasterDataBlock(F::StoreKeyA, F::StoreKeyB, F::StoreSector));
        },
        &shown);
    frmMain->actMasterCardExecute();
    QVERIFY(shown);
    QVERIFY(!F::WorkerRunning());
    const auto cards = fx.Cards();
    QCOMPARE(cards.size(), size_t(3));
    QCOMPARE(cards[1], (TRegisterRecord{officeId, F::SerialOf(uid1), 5001, 1}));
    QCOMPARE(cards[2], (TRegisterRecord{officeId, F::SerialOf(uid2), 5002, 1}));
}

void TestMasterCard::lateHandlerRecordsItsOwnCard()
{
    F::Office()->SetActive(true);
    F::Store()->SetActive(true);
    const int32_t officeId = F::Office()->ID();
    const std::vector<uint8_t> uid1{0x41, 0x42, 0x43, 0x44};
    const std::vector<uint8_t> uid2{0x51, 0x52, 0x53, 0x54};
    bool shown = false;
    QueueShown<TfrmMasterCard>(
        frmMasterCard,
        [&](TfrmMasterCard *d) {
            Choose(d, F::Store()->ID());
            QVERIFY(fx.WaitWorkerPolling());
            // The window stalls before the first card's message can pause the worker, so
            // the worker writes a second card before the first event is handled.
            QVERIFY(fx.PresentStalled(F::Blank(uid1)));
            QVERIFY(fx.PresentStalled(F::Blank(uid2)));
            // Both cards carry the number taken at show time.
            QCOMPARE(fx.OnField()->Block(CardLayout::BlockOf(F::OfficeSector, 0)),
                     CardLayout::MasterNumberBlock(4096));
            QVERIFY(QTest::qWaitFor([&] { return fx.Cards().size() == 2; }, 10000));
        },
        &shown);
    frmMain->actMasterCardExecute();
    QVERIFY(shown);
    // Each record names the card it was written for and the number that card carries.
    const auto cards = fx.Cards();
    QCOMPARE(cards.size(), size_t(2));
    QCOMPARE(cards[0], (TRegisterRecord{officeId, F::SerialOf(uid1), 4096, 1}));
    QCOMPARE(cards[1], (TRegisterRecord{officeId, F::SerialOf(uid2), 4096, 1}));
}

void TestMasterCard::resultAfterClosingLeavesWorkerNumber()
{
    F::Office()->SetActive(true);
    F::Store()->SetActive(true);
    const int32_t officeId = F::Office()->ID();
    bool shown = false;
    QueueShown<TfrmMasterCard>(
        frmMasterCard, [&](TfrmMasterCard *d) { Choose(d, F::Store()->ID()); }, &shown);
    frmMain->actMasterCardExecute();
    QVERIFY(shown);
    QVERIFY(!F::WorkerRunning());
    // Another dialog has taken the worker over with its own number when the result of a
    // master card written just before closing arrives.
    mfrcthread->cardnumber = 9999;
    mfrcthread->ismaster = 0;
    TCardEvent late(CARD_PROCESSED);
    late.SetCard(0x0A0B0C0D, 4096);
    QCoreApplication::sendEvent(frmMasterCard, &late);
    QCOMPARE(fx.Cards(), (std::vector<TRegisterRecord>{{officeId, 0x0A0B0C0D, 4096, 1}}));
    QCOMPARE(mfrcthread->cardnumber.load(), qint64(9999));
}

void TestMasterCard::writeErrorRecordsNothing()
{
    F::Office()->SetActive(true);
    F::Store()->SetActive(true);
    bool shown = false;
    QueueShown<TfrmMasterCard>(
        frmMasterCard,
        [&](TfrmMasterCard *d) {
            Choose(d, F::Store()->ID());
            QVERIFY(fx.WaitWorkerPolling());
            // A card already issued under another profile: the transport key does not open it.
            fx.Present(F::Issued({0x31, 0x32, 0x33, 0x34}, *F::Office(), 77));
            QTRY_VERIFY_WITH_TIMEOUT(d->lblMsg->isVisible(), 10000);
            QCOMPARE(d->lblMsg->text(), TCardDialog::WriteErrorText());
            QCOMPARE(d->lblMsg->palette().color(QPalette::WindowText), QColor(Qt::red));
            QCOMPARE(d->MsgTimeout(), 5000);
            QVERIFY(d->imgAttention->isVisible());
        },
        &shown);
    frmMain->actMasterCardExecute();
    QVERIFY(shown);
    QVERIFY(fx.Cards().empty());
}

void TestMasterCard::mainWindowLeavesTargetToOperator()
{
    // Left as profile creation leaves it: a preset target and a disabled list.
    F::Office()->SetActive(true);
    F::Store()->SetActive(true);
    frmMasterCard->profileNew = F::Store();
    frmMasterCard->cbProfiles->setEnabled(false);
    bool shown = false;
    QueueShown<TfrmMasterCard>(
        frmMasterCard,
        [&](TfrmMasterCard *d) {
            QVERIFY(d->cbProfiles->isEnabled());
            QCOMPARE(d->profileNew, F::Office());
            QVERIFY(!F::WorkerRunning());
            QVERIFY(!d->lblPresentCard->isVisible());
        },
        &shown);
    frmMain->actMasterCardExecute();
    QVERIFY(shown);
}

QTEST_MAIN(TestMasterCard)
#include "tst_mastercard.moc"
