#pragma once

// What the profile, master card and profile change tests share besides the common dialog
// fixture: the main window with the profile dialog, the password dialog, the master card
// and profile change dialogs; three profiles of their own; a fresh card worker per test;
// answers queued for the dialogs and boxes they open.

#include "dialogfixture.h"
#include "dialogs/changeprof.h"
#include "dialogs/mastercard.h"
#include "profiles/profileprop.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

// The card register as these tests name it.
using TRegisterRecord = TCardRecord;

// Exec handlers queued by the tests that have not run yet.
inline int &QueuedExecs()
{
    static int count = 0;
    return count;
}

// Queues a handler for the next Modal::Exec. A handler that never runs is called with a
// null dialog by DrainExecQueue, so handlers must accept null.
inline void QueueExec(std::function<int(QDialog *)> handler)
{
    ++QueuedExecs();
    Modal::SetNextExec([handler = std::move(handler)](QDialog *d) {
        --QueuedExecs();
        return handler(d);
    });
}

// Drops queued handlers that were not used (a prompt that did not come).
inline void DrainExecQueue()
{
    while (QueuedExecs() > 0)
        Modal::Exec(nullptr);
}

// A password dialog answer for the next Modal::Exec: types the password and confirms, or
// cancels when password is null. *asked is set when the dialog was really asked for.
inline void QueuePassword(const QString &password, bool *asked = nullptr)
{
    QueueExec([password, asked](QDialog *d) {
        if (!d || d != frmPass)
            return int(QDialog::Rejected);
        if (asked)
            *asked = true;
        if (password.isNull())
            return int(QDialog::Rejected);
        frmPass->edtPassword->setText(password);
        return int(QDialog::Accepted);
    });
}

// Shows the dialog for the next Modal::Exec, runs the scenario while it is shown and
// closes it. *ran is set when the dialog really came.
template <class Dialog>
void QueueShown(Dialog *dialog, std::function<void(Dialog *)> scenario, bool *ran = nullptr)
{
    QueueExec([dialog, scenario = std::move(scenario), ran](QDialog *d) {
        if (!d || d != dialog)
            return int(QDialog::Rejected);
        if (ran)
            *ran = true;
        dialog->show();
        scenario(dialog);
        dialog->reject();
        return int(QDialog::Rejected);
    });
}

class TProfileFixture : public TDialogFixture
{
public:
    static constexpr int64_t OfficeKeyA = 0xA1A2A3A4A5A6;
    static constexpr int64_t OfficeKeyB = 0xB1B2B3B4B5B6;
    static constexpr uint8_t OfficeSector = 3;
    static constexpr int64_t StoreKeyA = 0x0C1C2C3C4C5C;
    static constexpr int64_t StoreKeyB = 0x0D1D2D3D4D5D;
    static constexpr uint8_t StoreSector = 4;
    static constexpr int64_t OrigKeyA = 0x111213141516;
    static constexpr int64_t OrigKeyB = 0x212223242526;
    static constexpr uint8_t OrigSector = 5;

    // Call from initTestCase: the windows of the program that these tests need, hidden.
    static void CreateWindows()
    {
        frmMain = new TfrmMain;
        frmMasterCard = new TfrmMasterCard(frmMain);
        frmProfileProp = new TfrmProfileProp(frmMain);
        frmPass = new TfrmPass(frmMain);
        frmChangeProf = new TfrmChangeProf(frmMain);
    }
    static void DestroyWindows()
    {
        delete frmMain; // takes the dialogs with it
        frmMain = nullptr;
        frmMasterCard = nullptr;
        frmProfileProp = nullptr;
        frmPass = nullptr;
        frmChangeProf = nullptr;
    }

    // Call from init(). False (with the reason in Error) when the set-up failed.
    bool SetUp()
    {
        TCardDialog::TimeScale = 0.01;
        Modal::ClearHistory();
        Unexpected.clear();
        // A message box that no test answered would block: close it and note it.
        watchdog = std::make_unique<QTimer>();
        watchdog->setInterval(100);
        QObject::connect(watchdog.get(), &QTimer::timeout, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                Unexpected << box->windowTitle() + QLatin1Char('|') + box->text();
                box->done(QMessageBox::Cancel);
            }
        });
        watchdog->start();
        // The fixed waits of the worker and the card engine shrink to a yield.
        Delay::SetHook([](unsigned) { std::this_thread::sleep_for(std::chrono::milliseconds(1)); });
        if (!AttachReaderAndDatabase())
            return false;
        if (AddProfile(QStringLiteral("Офис"), OfficeSector, QStringLiteral("office"), OfficeKeyA,
                       OfficeKeyB, 2, 1, 0x5A17C93E02D4, 0, 0) != 0 ||
            AddProfile(QStringLiteral("Склад"), StoreSector, QStringLiteral("store"), StoreKeyA,
                       StoreKeyB, 3, 1, OfficeKeyB, 0, 0) != 0 ||
            AddProfile(QStringLiteral("Ориг"), OrigSector, QStringLiteral("orig"), OrigKeyA,
                       OrigKeyB, 3, 1, OfficeKeyB, 1, 0) != 0) {
            Error = QStringLiteral("AddProfile failed");
            return false;
        }
        if (!LoadTestProfiles())
            return false;
        frmMain->FillProfilesCombo(frmMain->cbProfiles);
        SelectCurrent(Office()->ID());
        // What the main window's show step hands over.
        frmMasterCard->ProfList = &frmMain->ProfList;
        frmChangeProf->ProfList = &frmMain->ProfList;
        CreateMfrcThread();
        return true;
    }

    // Call from cleanup().
    void TearDown()
    {
        for (QDialog *d :
             std::initializer_list<QDialog *>{frmMasterCard, frmChangeProf, frmProfileProp})
            d->hide();
        DrainExecQueue();
        // Answers queued for boxes that did not come.
        while (Modal::PendingAnswers())
            Modal::Message(nullptr, QMessageBox::NoIcon, QString(), QString());
        watchdog.reset();
        ReleaseReaderAndDatabase();
    }

    // Answers the next n message boxes with OK.
    static void AnswerOk(int n = 1)
    {
        for (int i = 0; i < n; ++i)
            Modal::SetNextAnswer(QMessageBox::Ok);
    }

    static void SelectCurrent(int32_t id)
    {
        frmMain->SelectProfileInCombo(frmMain->cbProfiles, id);
        frmMain->cbProfilesChange();
    }

    // The profiles as stored, read into a list of their own.
    static std::unique_ptr<TSecProfileList> StoredProfiles()
    {
        auto list = std::make_unique<TSecProfileList>();
        LoadProfiles(*list);
        return list;
    }

    // Waits until the running worker has looked at the field at least twice since now (its
    // first-run check included), so a card presented afterwards is a new arrival.
    bool WaitWorkerPolling()
    {
        sim->Alto().ClearLog();
        return QTest::qWaitFor([this] { return WorkerPolled(); }, 10000);
    }

    static bool WorkerRunning() { return mfrcthread && !mfrcthread->Suspended(); }

    // Waits without handling a single event of the window thread, as a window that has
    // stalled would, until done() holds; false after ms milliseconds.
    static bool WaitStalled(const std::function<bool()> &done, int ms = 10000)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

    // Presents the card and waits, with the window stalled, until the worker has finished
    // with it (the card is halted at the end of every successful write).
    bool PresentStalled(const TSimCard &card)
    {
        Present(card);
        return WaitStalled([this] {
            const std::optional<TSimCard> on = OnField();
            return on && on->IsHalted();
        });
    }

    // The message boxes shown since the history was last cleared, as "caption|text".
    static QStringList Boxes()
    {
        QStringList out;
        for (const Modal::Shown &s : Modal::History())
            out << s.caption + QLatin1Char('|') + s.text;
        return out;
    }

    QStringList Unexpected; // boxes that came without a queued answer

private:
    std::unique_ptr<QTimer> watchdog;
};

// The test classes of these dialogs derive from this: the windows for the whole run, the
// fixture around every test, and no test passes when a box came that it did not answer.
class TProfileTestCase : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TProfileFixture::CreateWindows(); }
    void cleanupTestCase() { TProfileFixture::DestroyWindows(); }
    void init() { QVERIFY2(fx.SetUp(), qPrintable(fx.Error)); }
    void cleanup()
    {
        fx.TearDown();
        QVERIFY2(fx.Unexpected.isEmpty(), qPrintable(fx.Unexpected.join(QLatin1Char('\n'))));
    }

protected:
    TProfileFixture fx;
};
