// The main window driven as the operator drives it: start-up, the profile selector,
// activation through the password dialog, the pages and the error boxes.

#include "app/Main.h"
#include "app/modal.h"
#include "app/passwd.h"
#include "profiles/DatUtils.h"
#include "profiles/reportmodel.h"
#include "reader/delay.h"
#include "reader/readerkind.h"
#include "reader/sim/simbinding.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <sqlite3.h>

#include <memory>

class TestMainWindow : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;
    std::unique_ptr<TSimulator> sim;

    QString DbPath() const { return dir.filePath(QStringLiteral("tagor.db3")); }

    // Starts the main window on the database file and waits for its show step.
    TfrmMain *Start()
    {
        auto *w = new TfrmMain;
        frmMain = w;
        frmPass = new TfrmPass(w);
        w->DatabasePath = DbPath();
        w->ShowWaitMs = 0;
        w->show();
        if (!QTest::qWaitFor([w] { return w->ShowStepDone(); }, 5000))
            qWarning("the show step did not finish");
        return w;
    }

    void Stop(TfrmMain *w)
    {
        delete w;
        frmMain = nullptr;
        frmPass = nullptr;
        DatUtils::CloseDatabase();
    }

    static QStringList ComboTexts(QComboBox *combo)
    {
        QStringList texts;
        for (int i = 0; i < combo->count(); ++i)
            texts << combo->itemText(i);
        return texts;
    }

    // Answers the next password prompt by typing into the dialog as the operator would.
    static void AnswerPassword(const QString &typed, bool pressOk)
    {
        Modal::SetNextExec([typed, pressOk](QDialog *dialog) {
            auto *pass = qobject_cast<TfrmPass *>(dialog);
            dialog->show();
            QTest::keyClicks(pass->edtPassword, typed);
            if (pressOk)
                QTest::mouseClick(pass->btnOK, Qt::LeftButton);
            else
                QTest::mouseClick(pass->btnCancel, Qt::LeftButton);
            return dialog->result();
        });
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        Delay::SetHook([](unsigned) {});
    }

    void init()
    {
        QFile::remove(DbPath());
        Modal::ClearHistory();
        sim.reset();
    }

    void cleanup()
    {
        QVERIFY2(!Modal::PendingAnswers(), "a queued answer was not used");
        sim.reset();
    }

    void cleanupTestCase() { Delay::SetHook({}); }

    void startWithNewDatabase_data()
    {
        QTest::addColumn<QString>("reader");
        QTest::addColumn<QString>("panel0");
        QTest::addColumn<int>("kind");
        QTest::newRow("no reader") << "none" << QStringLiteral("Нет считывателя") << 0;
        QTest::newRow("RW-Alto") << "alto" << QStringLiteral("RW-Alto серийный No. 17") << 1;
        QTest::newRow("RW-Nova") << "nova" << QStringLiteral("RW-Nova серийный No. A1B2") << 2;
        QTest::newRow("both, RW-Alto wins")
            << "both" << QStringLiteral("RW-Alto серийный No. 17") << 1;
    }

    void startWithNewDatabase()
    {
        QFETCH(QString, reader);
        QFETCH(QString, panel0);
        QFETCH(int, kind);
        sim = std::make_unique<TSimulator>();
        sim->Attach(reader == QLatin1String("alto") || reader == QLatin1String("both"),
                    reader == QLatin1String("nova") || reader == QLatin1String("both"));
        sim->Bind();

        TfrmMain *w = Start();
        QVERIFY(QFile::exists(DbPath()));
        QCOMPARE(w->sbPanel0->text(), panel0);
        QCOMPARE(int(ReaderKind), kind);
        QCOMPARE(ComboTexts(w->cbProfiles),
                 QStringList({QStringLiteral("Пустой"), QStringLiteral("Транспортный")}));
        QCOMPARE(w->cbProfiles->currentText(), QStringLiteral("Транспортный"));
        QCOMPARE(w->CurrentProfID, 2);
        QCOMPARE(w->sbPanel1->text(),
                 QStringLiteral("Текущий профиль:  Транспортный  (не активен)"));
        QVERIFY(w->btnActivate->isEnabled());
        QVERIFY(w->actProfActivate->isEnabled());
        QVERIFY(!w->btnBack->isEnabled());
        QCOMPARE(w->pcPages->currentWidget(), w->tsMain);
        QCOMPARE(w->ProfList.Count(), 2);
        QVERIFY(!w->ProfList.GetItem(0)->Active() && !w->ProfList.GetItem(1)->Active());
        QVERIFY(Modal::History().empty());
        // The window keeps its fixed size.
        QCOMPARE(w->minimumSize(), w->maximumSize());
        QCOMPARE(w->centralWidget()->width(), 682);
        Stop(w);
    }

    void activation_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("pressOk");
        QTest::addColumn<bool>("active");
        QTest::newRow("right password") << "mivola" << true << true;
        QTest::newRow("other letter case") << "MIVOLA" << true << false;
        QTest::newRow("prefix only") << "mivol" << true << false;
        QTest::newRow("cancelled") << "mivola" << false << false;
    }

    void activation()
    {
        QFETCH(QString, typed);
        QFETCH(bool, pressOk);
        QFETCH(bool, active);
        TfrmMain *w = Start();
        AnswerPassword(typed, pressOk);
        QTest::mouseClick(w->btnActivate, Qt::LeftButton);
        QCOMPARE(frmPass->ProfName(), QStringLiteral("Транспортный"));
        TSecProfile *p = w->ProfList.ProfileByID(2);
        QCOMPARE(p->Active(), active);
        QCOMPARE(w->sbPanel1->text(),
                 QStringLiteral("Текущий профиль:  Транспортный") +
                     (active ? QStringLiteral("  (АКТИВЕН)") : QStringLiteral("  (не активен)")));
        QCOMPARE(w->btnActivate->isEnabled(), !active);
        QCOMPARE(w->actProfActivate->isEnabled(), !active);
        // A refused password shows nothing.
        QVERIFY(Modal::History().empty());
        Stop(w);
    }

    void switchingProfilesKeepsActivation()
    {
        TfrmMain *w = Start();
        AnswerPassword(QStringLiteral("mivola"), true);
        w->actProfActivate->trigger();
        QVERIFY(w->ProfList.ProfileByID(2)->Active());

        // Another, inactive profile: shown inactive, "Активировать" enabled again.
        w->cbProfiles->setCurrentIndex(0);
        emit w->cbProfiles->activated(0);
        QCOMPARE(w->CurrentProfID, 1);
        QCOMPARE(w->sbPanel1->text(), QStringLiteral("Текущий профиль:  Пустой  (не активен)"));
        QVERIFY(w->btnActivate->isEnabled());

        // Back to the first one: active without a password (no answer is queued).
        w->cbProfiles->setCurrentIndex(1);
        emit w->cbProfiles->activated(1);
        QCOMPARE(w->CurrentProfID, 2);
        QCOMPARE(w->sbPanel1->text(), QStringLiteral("Текущий профиль:  Транспортный  (АКТИВЕН)"));
        QVERIFY(!w->btnActivate->isEnabled());
        QVERIFY(w->EnsureProfileActive(w->CurrentProfile()));
        Stop(w);
    }

    void pagesAndBack()
    {
        TfrmMain *w = Start();
        auto *profilesLink = w->findChild<TLinkLabel *>(QStringLiteral("lblGoToProfilesPage"));
        auto *cardsLink = w->findChild<TLinkLabel *>(QStringLiteral("lblGoToCardsPage"));
        QVERIFY(profilesLink && cardsLink);

        QTest::mouseClick(profilesLink, Qt::LeftButton);
        QCOMPARE(w->pcPages->currentWidget(), w->tsProfiles);
        QVERIFY(w->btnBack->isEnabled());
        QCOMPARE(w->lvProfilesDetail->model()->rowCount(), 2);
        QCOMPARE(w->ProfilesModel->Cell(1, 1), QStringLiteral("Транспортный"));
        QCOMPARE(w->lvProfilesDetail->columnWidth(2), 140);

        QTest::mouseClick(w->btnBack, Qt::LeftButton);
        QCOMPARE(w->pcPages->currentWidget(), w->tsMain);
        QVERIFY(!w->btnBack->isEnabled());

        // A card recorded after start is listed at the next visit: each visit reads again.
        QTest::mouseClick(cardsLink, Qt::LeftButton);
        QCOMPARE(w->lvCardsDetail->model()->rowCount(), 0);
        QTest::mouseClick(w->btnBack, Qt::LeftButton);
        QVERIFY(AddCard(2, 0, 0x04030201, 4096) >= 0);
        QTest::mouseClick(cardsLink, Qt::LeftButton);
        QCOMPARE(w->pcPages->currentWidget(), w->tsCards);
        QCOMPARE(w->lvCardsDetail->model()->rowCount(), 1);
        QCOMPARE(w->CardsModel->Cell(0, 1), QStringLiteral("Транспортный"));
        QCOMPARE(w->lvCardsDetail->columnWidth(4), 140);
        QVERIFY(w->btnBack->isEnabled());
        Stop(w);
    }

    void cardOperationsRefusedWithoutReader_data()
    {
        QTest::addColumn<QString>("link");
        for (const char *name : {"lblCreateCard", "lblClearCard", "lblChangeCardProfile",
                                 "lblCheckReaderAndCard", "lblCreateProfileMaster", "Label8"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void cardOperationsRefusedWithoutReader()
    {
        QFETCH(QString, link);
        TfrmMain *w = Start();
        auto *label = w->findChild<TLinkLabel *>(link);
        QVERIFY(label);
        Modal::SetNextAnswer(QMessageBox::Ok);
        QTest::mouseClick(label, Qt::LeftButton);
        QCOMPARE(Modal::History().size(), size_t(1));
        const Modal::Shown shown = Modal::History().front();
        QCOMPARE(shown.caption, QStringLiteral("Нет считывателя"));
        QCOMPARE(shown.text, QStringLiteral("Нет доступного или подключенного считывателя"));
        QCOMPARE(shown.icon, QMessageBox::Critical);
        // Nothing was asked and nothing changed.
        QVERIFY(!w->ProfList.ProfileByID(2)->Active());
        Stop(w);
    }

    void hoverUnderlinesLinks()
    {
        TfrmMain *w = Start();
        for (const char *name : {"Label6", "lblCreateCard", "lblGoToCardsPage"}) {
            auto *label = w->findChild<TLinkLabel *>(QString::fromLatin1(name));
            QVERIFY2(label, name);
            const bool bold = label->font().bold();
            QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
            QCoreApplication::sendEvent(label, &enter);
            QVERIFY(label->font().underline());
            QCOMPARE(label->font().bold(), bold);
            QCOMPARE(label->cursor().shape(), Qt::PointingHandCursor);
            QEvent leave(QEvent::Leave);
            QCoreApplication::sendEvent(label, &leave);
            QVERIFY(!label->font().underline());
            QCOMPARE(label->cursor().shape(), Qt::ArrowCursor);
        }
        // Clicking "Текущий профиль:" does nothing.
        QTest::mouseClick(w->findChild<TLinkLabel *>(QStringLiteral("Label6")), Qt::LeftButton);
        QCOMPARE(w->pcPages->currentWidget(), w->tsMain);
        QVERIFY(Modal::History().empty());
        Stop(w);
    }

    void firstProfileCurrentWhenProfile2IsGone()
    {
        OpenDatabase(DbPath());
        DatUtils::CloseDatabase();
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(DbPath().toUtf8().constData(), &db), SQLITE_OK);
        QCOMPARE(
            sqlite3_exec(db, "DELETE FROM Profiles WHERE ID_PROF = 2", nullptr, nullptr, nullptr),
            SQLITE_OK);
        sqlite3_close(db);

        TfrmMain *w = Start();
        QCOMPARE(ComboTexts(w->cbProfiles), QStringList({QStringLiteral("Пустой")}));
        QCOMPARE(w->CurrentProfID, 1);
        QCOMPARE(w->sbPanel1->text(), QStringLiteral("Текущий профиль:  Пустой  (не активен)"));
        Stop(w);
    }

    void unusableDatabaseLeavesWindowRunning()
    {
        {
            QFile f(DbPath());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(4096, 'x'));
        }
        Modal::SetNextAnswer(QMessageBox::Ok);
        TfrmMain *w = Start();
        QCOMPARE(Modal::History().size(), size_t(1));
        const Modal::Shown shown = Modal::History().front();
        QCOMPARE(shown.caption, QStringLiteral("Tagor"));
        QCOMPARE(shown.icon, QMessageBox::Critical);
        QVERIFY(!shown.text.isEmpty());
        QCOMPARE(w->cbProfiles->count(), 0);
        QCOMPARE(w->CurrentProfID, -1);
        QCOMPARE(w->sbPanel0->text(), QStringLiteral("Нет считывателя"));
        // The operations page is shown and, as after every start, "Назад" is disabled.
        QCOMPARE(w->pcPages->currentWidget(), w->tsMain);
        QVERIFY(!w->btnBack->isEnabled());
        // The file was not touched.
        QFile f(DbPath());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray(4096, 'x'));

        // No current profile: activation says so.
        Modal::ClearHistory();
        Modal::SetNextAnswer(QMessageBox::Ok);
        w->actProfActivate->trigger();
        QCOMPARE(Modal::History().back().caption, QStringLiteral("Нет профиля"));
        QCOMPARE(Modal::History().back().text,
                 QStringLiteral("Не активирован профиль безопасности."));
        Stop(w);
    }

    void errorBoxText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("plain") << "disk I/O error"
                               << "disk I/O error.";
        QTest::newRow("full stop") << "Done."
                                   << "Done.";
        QTest::newRow("exclamation") << "ERROR Number Conversion !!!"
                                     << "ERROR Number Conversion !!!";
        QTest::newRow("bracket below full stop") << "code (5)"
                                                 << "code (5)";
        QTest::newRow("digit") << "code 5"
                               << "code 5.";
        QTest::newRow("Cyrillic") << QStringLiteral("Ошибка") << QStringLiteral("Ошибка.");
        QTest::newRow("empty") << ""
                               << "";
    }

    void errorBoxText()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(ErrorBoxText(text), shown);
    }

    void passwordDialog()
    {
        TfrmPass pass;
        QCOMPARE(pass.windowTitle(), QStringLiteral("Пароль"));
        QCOMPARE(pass.edtPassword->echoMode(), QLineEdit::Password);
        QCOMPARE(pass.edtPassword->maxLength(), 10);
        QVERIFY(!pass.edtProf->isEnabled());
        pass.SetProfName(QStringLiteral("Транспортный"));
        pass.show();
        QVERIFY(!pass.btnOK->isEnabled());
        QTest::keyClick(pass.edtPassword, Qt::Key_A);
        QVERIFY(pass.btnOK->isEnabled());
        QTest::keyClick(pass.edtPassword, Qt::Key_Backspace);
        QVERIFY(!pass.btnOK->isEnabled());
        QTest::keyClicks(pass.edtPassword, QStringLiteral("0123456789abc"));
        QCOMPARE(pass.Pass(), QStringLiteral("0123456789"));
        // Shown again: the earlier password is gone, the name stays.
        pass.hide();
        pass.show();
        QCOMPARE(pass.Pass(), QString());
        QVERIFY(!pass.btnOK->isEnabled());
        QCOMPARE(pass.ProfName(), QStringLiteral("Транспортный"));
        // Escape ends it with Cancel.
        QTest::keyClicks(pass.edtPassword, QStringLiteral("x"));
        QTest::keyClick(&pass, Qt::Key_Escape);
        QCOMPARE(pass.result(), int(QDialog::Rejected));
    }

    // Enter presses OK only while OK is enabled, that is once something is typed.
    void passwordDialogEnter_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("Return, nothing typed") << QString() << int(Qt::Key_Return) << false;
        QTest::newRow("Enter, nothing typed") << QString() << int(Qt::Key_Enter) << false;
        QTest::newRow("Return after typing") << QStringLiteral("mivola") << int(Qt::Key_Return)
                                             << true;
        QTest::newRow("Enter after typing") << QStringLiteral("m") << int(Qt::Key_Enter) << true;
    }

    void passwordDialogEnter()
    {
        QFETCH(QString, typed);
        QFETCH(int, key);
        QFETCH(bool, accepted);
        TfrmPass pass;
        pass.show();
        QVERIFY(QTest::qWaitForWindowExposed(&pass));
        pass.setResult(-1);
        QTest::keyClicks(pass.edtPassword, typed);
        QTest::keyClick(pass.edtPassword, Qt::Key(key));
        QCOMPARE(pass.isVisible(), !accepted);
        QCOMPARE(pass.result(), accepted ? int(QDialog::Accepted) : -1);
        QCOMPARE(pass.Pass(), typed);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
