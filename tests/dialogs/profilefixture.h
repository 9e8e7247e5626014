#pragma once

// What the profile, master card and profile change tests share: the main window with the
// profile dialog, the password dialog, the master card and profile change dialogs; a
// temporary database with three profiles of its own; the simulator with one RW-Alto
// reader; a fresh card worker per test; and the card register read straight from the
// database file.

#include "app/Main.h"
#include "app/modal.h"
#include "app/passwd.h"
#include "cards/cardlayout.h"
#include "dialogs/carddialog.h"
#include "dialogs/changeprof.h"
#include "dialogs/mastercard.h"
#include "profiles/DatUtils.h"
#include "profiles/profileprop.h"
#include "reader/delay.h"
#include "reader/discovery.h"
#include "reader/sim/simbinding.h"
#include "reader/thread/thread.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sqlite3.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

struct TRegisterRecord
{
    int32_t profId = 0;
    int64_t serial = 0;
    int64_t cardNum = 0;
    int32_t master = 0;
    bool operator==(const TRegisterRecord &) const = default;
};

inline char *toString(const TRegisterRecord &r)
{
    return QTest::toString(QStringLiteral("{prof %1, serial %2, num %3, master %4}")
                               .arg(r.profId)
                               .arg(QString::number(r.serial, 16))
                               .arg(r.cardNum)
                               .arg(r.master));
}

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

class TProfileFixture
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
        sim = std::make_unique<TSimulator>();
        sim->Attach(true, false);
        sim->Bind();
        uint32_t readerSerial = 0;
        int32_t readerNumber = -1;
        DiscoverReader(readerSerial, readerNumber);
        if (ReaderKind != READER_ALTO) {
            Error = QStringLiteral("the simulated RW-Alto reader was not found");
            return false;
        }
        dir = std::make_unique<QTemporaryDir>();
        if (!dir->isValid()) {
            Error = QStringLiteral("no temporary directory");
            return false;
        }
        DbPath = dir->filePath(QStringLiteral("tagor.db3"));
        OpenDatabase(DbPath);
        if (AddProfile(QStringLiteral("Офис"), OfficeSector, QStringLiteral("office"), OfficeKeyA,
                       OfficeKeyB, 2, 1, 0x5A17C93E02D4, 0, 0) != 0 ||
            AddProfile(QStringLiteral("Склад"), StoreSector, QStringLiteral("store"), StoreKeyA,
                       StoreKeyB, 3, 1, OfficeKeyB, 0, 0) != 0 ||
            AddProfile(QStringLiteral("Ориг"), OrigSector, QStringLiteral("orig"), OrigKeyA,
                       OrigKeyB, 3, 1, OfficeKeyB, 1, 0) != 0) {
            Error = QStringLiteral("AddProfile failed");
            return false;
        }
        LoadProfiles(frmMain->ProfList);
        if (!Office() || !Store() || !Orig()) {
            Error = QStringLiteral("a test profile did not load");
            return false;
        }
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
        FreeMfrcThread();
        DatUtils::CloseDatabase();
        sim.reset();
        BindMfrc500(nullptr);
        BindRivlink(nullptr);
        Delay::SetHook({});
        ReaderKind = READER_NONE;
        TCardDialog::TimeScale = 1.0;
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

    static TSecProfile *Profile(const QString &name)
    {
        return frmMain->ProfList.ProfileByName(name);
    }
    static TSecProfile *Office() { return Profile(QStringLiteral("Офис")); }
    static TSecProfile *Store() { return Profile(QStringLiteral("Склад")); }
    static TSecProfile *Orig() { return Profile(QStringLiteral("Ориг")); }

    // Takes whatever lies on the reader away and puts the card on it.
    void Present(const TSimCard &card)
    {
        sim->Field().TakeCard();
        sim->Field().PutCard(card);
    }
    std::optional<TSimCard> Take() { return sim->Field().TakeCard(); }
    std::optional<TSimCard> OnField() const { return sim->Field().Card(); }

    static TSimCard Blank(std::vector<uint8_t> uid)
    {
        return TSimCard(TSimCard::Type::Classic1K, uid);
    }
    // A card issued as a user card of a profile (number block and trailer with its keys).
    static TSimCard Issued(std::vector<uint8_t> uid, const TSecProfile &p, int64_t number)
    {
        TSimCard card = Blank(uid);
        card.SetBlock(CardLayout::BlockOf(p.Sector, 0), CardLayout::NumberBlock(number));
        card.SetBlock(CardLayout::BlockOf(p.Sector, 3), CardLayout::UserTrailer(p.KeyA, p.KeyB));
        return card;
    }
    // The serial the worker computes: the UID read least significant byte first.
    static int64_t SerialOf(const std::vector<uint8_t> &uid)
    {
        uint64_t v = 0;
        for (int j = int(uid.size()) - 1; j >= 0; --j)
            v = (v << 8) | uid[size_t(j)];
        return int64_t(v);
    }

    // Every record of the card register, in insertion order, read through a connection
    // of its own.
    std::vector<TRegisterRecord> Cards() const
    {
        std::vector<TRegisterRecord> out;
        Sql("SELECT PROF_ID, SERIAL, CARD_NUM, MASTER FROM Cards ORDER BY ID_CARD",
            [&](sqlite3_stmt *st) {
                out.push_back({sqlite3_column_int(st, 0), sqlite3_column_int64(st, 1),
                               sqlite3_column_int64(st, 2), sqlite3_column_int(st, 3)});
            });
        return out;
    }

    // Runs one statement through a connection of its own; row is called for every row.
    bool Sql(const char *sql, const std::function<void(sqlite3_stmt *)> &row = {}) const
    {
        sqlite3 *db = nullptr;
        if (sqlite3_open_v2(DbPath.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) !=
            SQLITE_OK) {
            sqlite3_close(db);
            return false;
        }
        sqlite3_busy_timeout(db, 2000);
        sqlite3_stmt *st = nullptr;
        bool ok = sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK;
        int rc = SQLITE_DONE;
        while (ok && (rc = sqlite3_step(st)) == SQLITE_ROW) {
            if (row)
                row(st);
        }
        ok = ok && rc == SQLITE_DONE;
        sqlite3_finalize(st);
        sqlite3_close(db);
        return ok;
    }

    // The profiles as stored, read into a list of their own.
    static std::unique_ptr<TSecProfileList> StoredProfiles()
    {
        auto list = std::make_unique<TSecProfileList>();
        LoadProfiles(*list);
        return list;
    }

    // Ends the message now, as its timer would.
    static void EndMessage(TCardDialog *dialog)
    {
        dialog->Timer->stop();
        dialog->TimerTimer();
    }

    // Waits until the running worker has looked at the field at least twice since now (its
    // first-run check included), so a card presented afterwards is a new arrival.
    bool WaitWorkerPolling()
    {
        sim->Alto().ClearLog();
        return QTest::qWaitFor(
            [this] {
                int polls = 0;
                for (const std::string &call : sim->Alto().CallLog())
                    polls += call.rfind("Mf500PiccActivateIdle", 0) == 0;
                return polls >= 2;
            },
            10000);
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

    QString Error;
    QStringList Unexpected; // boxes that came without a queued answer
    QString DbPath;
    std::unique_ptr<TSimulator> sim;

private:
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<QTimer> watchdog;
};
