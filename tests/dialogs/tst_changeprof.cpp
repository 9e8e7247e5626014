// The profile change dialog: launcher refusals, readiness of the chosen profiles,
// activation in the dialog, cards moved one after another, and the record that could not
// follow its card.

#include "profilefixture.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>

using F = TProfileFixture;

class TestChangeProf : public TProfileTestCase
{
    Q_OBJECT

private slots:
    void launcherRefusals_data();
    void launcherRefusals();
    void readinessAndActivation();
    void messageEndsWhileNotReady();
    void emptyProfileRefused_data();
    void emptyProfileRefused();
    void twoCardsInARowWithoutWaiting();
    void lateHandlerMovesTheRecordOfItsOwnCard();
    void targetWithOriginalIdRecordsZero();
    void recordThatCannotFollowIsReported();
    void mainWindowHandsListOver();

private:
    // Every control has at least the height it needs at the dialog's width.
    static bool NothingSqueezed(TfrmChangeProf *d)
    {
        QCoreApplication::processEvents();
        for (QWidget *w : std::initializer_list<QWidget *>{d->cbProfiles1, d->cbProfiles2,
                                                           d->btnActivate1, d->btnActivate2}) {
            if (w->height() < w->minimumSizeHint().height()) {
                qWarning() << w->objectName() << "is" << w->height() << "pixels high";
                return false;
            }
        }
        QLabel *error = d->lblErrorProfile;
        if (error->isVisible() && error->height() < error->heightForWidth(error->width())) {
            qWarning() << "lblErrorProfile is" << error->height() << "pixels high";
            return false;
        }
        return true;
    }

    static void Choose(QComboBox *combo, int32_t id)
    {
        const int i = combo->findData(id);
        QVERIFY(i >= 0);
        combo->setCurrentIndex(i);
        emit combo->activated(i);
    }
    // Issues a card under "Офис" and records it there.
    TSimCard IssuedUnderOffice(const std::vector<uint8_t> &uid, int64_t number)
    {
        AddCard(F::Office()->ID(), 0, F::SerialOf(uid), number);
        return F::Issued(uid, *F::Office(), number);
    }
};

void TestChangeProf::launcherRefusals_data()
{
    QTest::addColumn<int>("reader");
    QTest::addColumn<bool>("twoProfiles");
    QTest::addColumn<int>("current"); // 0: "Офис"
    QTest::addColumn<QString>("password");
    QTest::addColumn<QStringList>("boxes");

    QTest::newRow("no reader")
        << READER_NONE << false << 0 << QString()
        << QStringList{
               QStringLiteral("Нет считывателя|Нет доступного или подключенного считывателя")};
    QTest::newRow("only the seeded profiles")
        << READER_ALTO << true << 2 << QString()
        << QStringList{QStringLiteral(
               "Нет профиля|Нет профилей безопасности для перепрограммирования карты")};
    QTest::newRow("no such profile")
        << READER_ALTO << false << 99 << QString()
        << QStringList{QStringLiteral("Нет профиля|Не активирован профиль безопасности.")};
    QTest::newRow("wrong password")
        << READER_ALTO << false << 0 << QStringLiteral("OFFICE") << QStringList{};
}

void TestChangeProf::launcherRefusals()
{
    QFETCH(int, reader);
    QFETCH(bool, twoProfiles);
    QFETCH(int, current);
    QFETCH(QString, password);
    QFETCH(QStringList, boxes);

    ReaderKind = reader;
    if (twoProfiles) {
        while (frmMain->ProfList.Count() > 2)
            frmMain->ProfList.Delete(2);
    }
    if (current)
        frmMain->CurrentProfID = current;
    QueuePassword(password);
    if (!boxes.isEmpty())
        F::AnswerOk();
    bool shown = false;
    QueueShown<TfrmChangeProf>(
        frmChangeProf, [](TfrmChangeProf *) {}, &shown);
    frmMain->actChangeProfileExecute();
    QVERIFY(!shown);
    QCOMPARE(F::Boxes(), boxes);
}

void TestChangeProf::readinessAndActivation()
{
    QueuePassword(QStringLiteral("office")); // the current profile, asked by the launcher
    bool shown = false;
    QueueShown<TfrmChangeProf>(
        frmChangeProf,
        [&](TfrmChangeProf *d) {
            // Both lists start on the current profile.
            QCOMPARE(d->cbProfiles1->currentData().toInt(), F::Office()->ID());
            QCOMPARE(d->cbProfiles2->currentData().toInt(), F::Office()->ID());
            QVERIFY(d->lblErrorProfile->isVisible());
            QCOMPARE(
                d->lblErrorProfile->text(),
                QStringLiteral("Исходный и целевой профили безопасности должны быть разными."));
            QVERIFY(!d->lblPesentCard->isVisible());
            QVERIFY(!d->btnActivate1->isEnabled());
            QVERIFY(!d->btnActivate2->isEnabled());
            QVERIFY(!F::WorkerRunning());
            QVERIFY(!d->ImageWait->isVisible());
            QCOMPARE(mfrcthread->threadaction.load(), TA_REWRITE);
            // The refusal shown at opening squeezes no control of the dialog.
            QVERIFY(NothingSqueezed(d));

            // An inactive target.
            Choose(d->cbProfiles2, F::Store()->ID());
            QCOMPARE(d->lblErrorProfile->text(),
                     QStringLiteral(
                         "Для перепрограммирования карты оба профиля должны бфть активированы."));
            QVERIFY(d->btnActivate2->isEnabled());
            QVERIFY(!F::WorkerRunning());

            // A wrong password, then a cancelled one: nothing changes, nothing is said.
            QueuePassword(QStringLiteral("Store"));
            d->btnActivate2->click();
            QueuePassword(QString());
            d->btnActivate2->click();
            QVERIFY(Modal::History().empty());
            QVERIFY(d->btnActivate2->isEnabled());
            QVERIFY(!F::Store()->Active());
            QVERIFY(!F::WorkerRunning());

            QueuePassword(QStringLiteral("store"));
            d->btnActivate2->click();
            QVERIFY(F::Store()->Active());
            QVERIFY(!d->btnActivate2->isEnabled());
            QVERIFY(F::WorkerRunning());
            QVERIFY(d->lblPesentCard->isVisible());
            QCOMPARE(d->lblPesentCard->text(),
                     QStringLiteral("Все установки готовы, поднесите карту к считывателю"));
            QVERIFY(!d->lblErrorProfile->isVisible());
            QCOMPARE(d->lblErrorProfile->text(), QStringLiteral("ERROR"));
            QVERIFY(d->ImageWait->isVisible());
            QCOMPARE(mfrcthread->profile0.load(), F::Office());
            QCOMPARE(mfrcthread->profile1.load(), F::Store());

            // Back to the same profile on both sides: the worker stops.
            Choose(d->cbProfiles1, F::Store()->ID());
            QVERIFY(!F::WorkerRunning());
            QVERIFY(d->lblErrorProfile->isVisible());
            QVERIFY(!d->lblPesentCard->isVisible());
            QVERIFY(NothingSqueezed(d));
        },
        &shown);
    frmMain->actChangeProfileExecute();
    QVERIFY(shown);
    QVERIFY(!F::WorkerRunning());
    QCOMPARE(mfrcthread->threadaction.load(), TA_REWRITE);
}

void TestChangeProf::messageEndsWhileNotReady()
{
    F::Office()->SetActive(true);
    F::Store()->SetActive(true);
    bool shown = false;
    QueueShown<TfrmChangeProf>(
        frmChangeProf,
        [&](TfrmChangeProf *d) {
            TCardDialog::TimeScale = 1.0; // the message lasts until ended here
            Choose(d->cbProfiles2, F::Store()->ID());
            QVERIFY(F::WorkerRunning());
            TCardEvent failed(CARD_PROCESS_ERROR);
            QCoreApplication::sendEvent(d, &failed);
            QVERIFY(d->lblMsg->isVisible());
            // Not ready any more while the message shows: the worker stops.
            Choose(d->cbProfiles2, F::Office()->ID());
            QVERIFY(!F::WorkerRunning());
            F::EndMessage(d);
            // The status area is cleared, but nothing runs: no waiting picture.
            QVERIFY(!d->lblMsg->isVisible());
            QVERIFY(!d->ImageWait->isVisible());
            QVERIFY(!d->ImageWait->IsRunning());
            QVERIFY(!F::WorkerRunning());
            QVERIFY(d->lblErrorProfile->isVisible());
        },
        &shown);
    frmMain->actChangeProfileExecute();
    QVERIFY(shown);
}

void TestChangeProf::emptyProfileRefused_data()
{
    QTest::addColumn<bool>("source");
    QTest::newRow("as source") << true;
    QTest::newRow("as target") << false;
}

void TestChangeProf::emptyProfileRefused()
{
    QFETCH(bool, source);
    F::Office()->SetActive(true);
    F::Store()->SetActive(true);
    bool shown = false;
    QueueShown<TfrmChangeProf>(
        frmChangeProf,
        [&](TfrmChangeProf *d) {
            Choose(d->cbProfiles2, F::Store()->ID());
            QVERIFY(F::WorkerRunning());
            F::AnswerOk();
            Choose(source ? d->cbProfiles1 : d->cbProfiles2, 1);
            QCOMPARE(
                F::Boxes(),
                QStringList{QStringLiteral("Нет профиля|Профиль Пустой не может быть ") +
                            (source ? QStringLiteral("исходным.") : QStringLiteral("целевым."))});
            QCOMPARE(Modal::History().front().icon, QMessageBox::Critical);
            // The choice is ignored: the worker goes on with its job.
            QCOMPARE(d->profile1, F::Office());
            QCOMPARE(d->profile2, F::Store());
            QVERIFY(F::WorkerRunning());
            QCOMPARE(mfrcthread->profile0.load(), F::Office());
            QCOMPARE(mfrcthread->profile1.load(), F::Store());
        },
        &shown);
    frmMain->actChangeProfileExecute();
    QVERIFY(shown);
}

void TestChangeProf::twoCardsInARowWithoutWaiting()
{
    F::Office()->SetActive(true);
    F::Store()->SetActive(true);
    const std::vector<uint8_t> uid1{0xC0, 0xC1, 0xC2, 0xC3};
    const std::vector<uint8_t> uid2{0x04, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6};
    const TSimCard card1 = IssuedUnderOffice(uid1, 5000);
    const TSimCard card2 = IssuedUnderOffice(uid2, 0x12345678);
    const int32_t storeId = F::Store()->ID();
    bool shown = false;
    QueueShown<TfrmChangeProf>(
        frmChangeProf,
        [&](TfrmChangeProf *d) {
            Choose(d->cbProfiles2, storeId);
            QVERIFY(F::WorkerRunning());
            TCardDialog::TimeScale = 1.0; // the message outlasts both cards
            QVERIFY(fx.WaitWorkerPolling());

            fx.Present(card1);
            QVERIFY(QTest::qWaitFor([&] { return fx.Cards()[0].profId == storeId; }, 10000));
            QTRY_VERIFY(d->lblMsg->isVisible());
            QCOMPARE(d->lblMsg->text(), QStringLiteral("Карта успешно перепрограммирована."));
            QCOMPARE(d->MsgTimeout(), 2000);
            QVERIFY(F::WorkerRunning()); // the message does not stop the worker
            const TSimCard moved = *fx.Take();
            QCOMPARE(moved.Block(CardLayout::BlockOf(F::StoreSector, 0)),
                     CardLayout::NumberBlock(5000));
            QCOMPARE(moved.Block(CardLayout::BlockOf(F::StoreSector, 3)),
                     CardLayout::UserTrailer(F::StoreKeyA, F::StoreKeyB));
            QCOMPARE(moved.Block(CardLayout::BlockOf(F::OfficeSector, 3)),
                     CardLayout::TransportTrailer());

            // The second card while the first message still shows.
            QVERIFY(d->Timer->isActive());
            fx.Present(card2);
            QVERIFY(QTest::qWaitFor([&] { return fx.Cards()[1].profId == storeId; }, 10000));
            QTRY_VERIFY(d->Timer->isActive());
            F::EndMessage(d);
            QVERIFY(!d->lblMsg->isVisible());
            QVERIFY(F::WorkerRunning());
        },
        &shown);
    frmMain->actChangeProfileExecute();
    QVERIFY(shown);
    QVERIFY(!F::WorkerRunning());
    const auto cards = fx.Cards();
    QCOMPARE(cards.size(), size_t(2));
    QCOMPARE(cards[0], (TRegisterRecord{storeId, F::SerialOf(uid1), 5000, 0}));
    QCOMPARE(cards[1], (TRegisterRecord{storeId, F::SerialOf(uid2), 0x12345678, 0}));
}

void TestChangeProf::lateHandlerMovesTheRecordOfItsOwnCard()
{
    F::Office()->SetActive(true);
    F::Store()->SetActive(true);
    const std::vector<uint8_t> uid1{0x21, 0x22, 0x23, 0x24};
    const std::vector<uint8_t> uid2{0x31, 0x32, 0x33, 0x34};
    const TSimCard card1 = IssuedUnderOffice(uid1, 7001);
    const TSimCard card2 = IssuedUnderOffice(uid2, 7002);
    const int32_t storeId = F::Store()->ID();
    bool shown = false;
    QueueShown<TfrmChangeProf>(
        frmChangeProf,
        [&](TfrmChangeProf *d) {
            Choose(d->cbProfiles2, storeId);
            QVERIFY(fx.WaitWorkerPolling());
            // The window stalls while both cards are moved: the worker has taken up the
            // second card before the first card's event is handled.
            QVERIFY(fx.PresentStalled(card1));
            QVERIFY(fx.PresentStalled(card2));
            QVERIFY(QTest::qWaitFor(
                [&] {
                    const auto cards = fx.Cards();
                    return cards[0].profId == storeId && cards[1].profId == storeId;
                },
                10000));
        },
        &shown);
    frmMain->actChangeProfileExecute();
    QVERIFY(shown);
    const auto cards = fx.Cards();
    QCOMPARE(cards.size(), size_t(2));
    QCOMPARE(cards[0], (TRegisterRecord{storeId, F::SerialOf(uid1), 7001, 0}));
    QCOMPARE(cards[1], (TRegisterRecord{storeId, F::SerialOf(uid2), 7002, 0}));
}

void TestChangeProf::targetWithOriginalIdRecordsZero()
{
    F::Office()->SetActive(true);
    F::Orig()->SetActive(true);
    const std::vector<uint8_t> uid{0xE0, 0xE1, 0xE2, 0xE3};
    const TSimCard card = IssuedUnderOffice(uid, 4242);
    bool shown = false;
    QueueShown<TfrmChangeProf>(
        frmChangeProf,
        [&](TfrmChangeProf *d) {
            Choose(d->cbProfiles2, F::Orig()->ID());
            QVERIFY(fx.WaitWorkerPolling());
            fx.Present(card);
            QVERIFY(
                QTest::qWaitFor([&] { return fx.Cards()[0].profId == F::Orig()->ID(); }, 10000));
            QTRY_COMPARE(d->lblMsg->text(), QStringLiteral("Карта успешно перепрограммирована."));
        },
        &shown);
    frmMain->actChangeProfileExecute();
    QVERIFY(shown);
    QCOMPARE(fx.Cards().front(), (TRegisterRecord{F::Orig()->ID(), F::SerialOf(uid), 0, 0}));
}

void TestChangeProf::recordThatCannotFollowIsReported()
{
    F::Office()->SetActive(true);
    F::Store()->SetActive(true);
    const std::vector<uint8_t> uid{0xF0, 0xF1, 0xF2, 0xF3};
    const TSimCard card = IssuedUnderOffice(uid, 6000);
    // The register refuses every change of a card record.
    QVERIFY(fx.Sql(
        "CREATE TRIGGER refuse BEFORE UPDATE ON Cards BEGIN SELECT RAISE(ABORT, 'refused'); END;"));
    bool shown = false;
    QueueShown<TfrmChangeProf>(
        frmChangeProf,
        [&](TfrmChangeProf *d) {
            Choose(d->cbProfiles2, F::Store()->ID());
            QVERIFY(fx.WaitWorkerPolling());
            fx.Present(card);
            QTRY_VERIFY_WITH_TIMEOUT(d->lblMsg->isVisible(), 10000);
            QCOMPARE(d->lblMsg->text(), TfrmChangeProf::RecordFailedText());
            QCOMPARE(d->lblMsg->palette().color(QPalette::WindowText), QColor(Qt::red));
            QVERIFY(d->imgAttention->isVisible());
            QVERIFY(!d->imgOk->isVisible());
            // The card itself was moved.
            QCOMPARE(fx.OnField()->Block(CardLayout::BlockOf(F::StoreSector, 3)),
                     CardLayout::UserTrailer(F::StoreKeyA, F::StoreKeyB));
        },
        &shown);
    frmMain->actChangeProfileExecute();
    QVERIFY(shown);
    QCOMPARE(fx.Cards().front(), (TRegisterRecord{F::Office()->ID(), F::SerialOf(uid), 6000, 0}));
}

void TestChangeProf::mainWindowHandsListOver()
{
    frmMasterCard->ProfList = nullptr;
    frmChangeProf->ProfList = nullptr;
    frmMain->DatabasePath = fx.DbPath;
    frmMain->ShowWaitMs = 0;
    QSignalSpy shownSpy(frmMain, &TfrmMain::shown);
    frmMain->show();
    QVERIFY(shownSpy.wait(10000));
    QCOMPARE(frmMasterCard->ProfList, &frmMain->ProfList);
    QCOMPARE(frmChangeProf->ProfList, &frmMain->ProfList);
    QCOMPARE(frmMain->ProfList.Count(), 5);
    frmMain->hide();
}

QTEST_MAIN(TestChangeProf)
#include "tst_changeprof.moc"
