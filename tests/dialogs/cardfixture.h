#pragma once

// What the card dialog tests share: a temporary database with a few profiles of their own,
// the simulator with one RW-Alto reader on it, a fresh card worker per test, and a look
// at the card register straight from the database file.

#include "app/Main.h"
#include "app/modal.h"
#include "app/passwd.h"
#include "cards/cardlayout.h"
#include "dialogs/carddialog.h"
#include "profiles/DatUtils.h"
#include "reader/delay.h"
#include "reader/discovery.h"
#include "reader/sim/simbinding.h"
#include "reader/thread/thread.h"

#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sqlite3.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

// Shows a card dialog for a profile and waits until the worker polls the empty field.
#define OPEN_AND_POLL(fx, dialog, prof)                                                            \
    do {                                                                                           \
        (fx).sim->Alto().ClearLog();                                                               \
        (dialog)->profile = (prof);                                                                \
        (dialog)->show();                                                                          \
        QTRY_VERIFY_WITH_TIMEOUT((fx).WorkerPolled(), 15000);                                      \
    } while (false)

// Waits for the next message of a card dialog (its answer to a card or an event).
#define WAIT_MSG(dialog) QTRY_VERIFY_WITH_TIMEOUT((dialog)->lblMsg->isVisible(), 15000)

struct TCardRecord
{
    int32_t profId = 0;
    int64_t serial = 0;
    int64_t cardNum = 0;
    int32_t master = 0;
    bool operator==(const TCardRecord &) const = default;
};

inline char *toString(const TCardRecord &r)
{
    return QTest::toString(QStringLiteral("{prof %1, serial %2, num %3, master %4}")
                               .arg(r.profId)
                               .arg(QString::number(r.serial, 16))
                               .arg(r.cardNum)
                               .arg(r.master));
}

// Profiles the tests add to every new database, besides the two seeded ones.
struct TTestProfiles
{
    static constexpr int64_t OfficeKeyA = 0xA1A2A3A4A5A6;
    static constexpr int64_t OfficeKeyB = 0xB1B2B3B4B5B6;
    static constexpr uint8_t OfficeSector = 3;
    static constexpr int64_t StoreKeyA = 0x0C1C2C3C4C5C;
    static constexpr int64_t StoreKeyB = 0x0D1D2D3D4D5D;
    static constexpr uint8_t StoreSector = 3;
    static constexpr int64_t OrigKeyA = 0x111213141516;
    static constexpr int64_t OrigKeyB = 0x212223242526;
    static constexpr uint8_t OrigSector = 5;
};

class TCardFixture
{
public:
    // Call from initTestCase: the main window and the password dialog (not shown).
    static void CreateMainWindow()
    {
        frmMain = new TfrmMain;
        frmPass = new TfrmPass(frmMain);
    }
    static void DestroyMainWindow()
    {
        delete frmMain; // takes the dialogs with it
        frmMain = nullptr;
        frmPass = nullptr;
    }

    // Call from init(). False (with the reason in Error) when the set-up failed.
    bool SetUp()
    {
        TCardDialog::TimeScale = 1.0;
        Modal::ClearHistory();
        // The worker's and the engine's waits shrink to a couple of milliseconds: fast,
        // without spinning the worker.
        Delay::SetHook([](unsigned ms) {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min(ms, 2u)));
        });
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
        using P = TTestProfiles;
        if (AddProfile(QStringLiteral("Офис"), P::OfficeSector, QStringLiteral("office"),
                       P::OfficeKeyA, P::OfficeKeyB, 2, 1, 0x5A17C93E02D4, 0, 0) != 0 ||
            AddProfile(QStringLiteral("Склад"), P::StoreSector, QStringLiteral("store"),
                       P::StoreKeyA, P::StoreKeyB, 2, 1, 0x5A17C93E02D4, 0, 0) != 0 ||
            AddProfile(QStringLiteral("Ориг"), P::OrigSector, QStringLiteral("orig"), P::OrigKeyA,
                       P::OrigKeyB, 2, 1, 0x5A17C93E02D4, 1, 0) != 0) {
            Error = QStringLiteral("AddProfile failed");
            return false;
        }
        LoadProfiles(frmMain->ProfList);
        for (TSecProfile *p : {Office(), Store(), Orig()}) {
            if (!p) {
                Error = QStringLiteral("a test profile did not load");
                return false;
            }
            p->SetActive(true);
        }
        frmMain->CurrentProfID = Office()->ID();
        CreateMfrcThread();
        return true;
    }

    // Call from cleanup(), after the dialogs were hidden.
    void TearDown()
    {
        FreeMfrcThread();
        DatUtils::CloseDatabase();
        sim.reset();
        BindMfrc500(nullptr);
        BindRivlink(nullptr);
        Delay::SetHook({});
        ReaderKind = READER_NONE;
        TCardDialog::TimeScale = 1.0;
    }

    TSecProfile *Profile(const QString &name) const
    {
        return frmMain->ProfList.ProfileByName(name);
    }
    TSecProfile *Office() const { return Profile(QStringLiteral("Офис")); }
    TSecProfile *Store() const { return Profile(QStringLiteral("Склад")); }
    TSecProfile *Orig() const { return Profile(QStringLiteral("Ориг")); }

    // True once the worker has looked at the field at least twice since ClearLog (so its
    // first-run check is behind it).
    bool WorkerPolled() const
    {
        int polls = 0;
        for (const std::string &call : sim->Alto().CallLog())
            polls += call.rfind("Mf500PiccActivateIdle", 0) == 0 ? 1 : 0;
        return polls >= 2;
    }

    // True once the paused worker has stopped calling the reader (a pause takes effect at
    // the worker's next wait, so a cycle under way may still end first): no reader call
    // for 100 ms, while a running worker polls every few milliseconds.
    bool WorkerParked() const
    {
        for (int tries = 0; tries < 100; ++tries) {
            const size_t calls = sim->Alto().CallLog().size();
            QTest::qWait(100);
            if (sim->Alto().CallLog().size() == calls)
                return true;
        }
        return false;
    }

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
    // A blank card already written as a user card of a profile (keys and number block).
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
    std::vector<TCardRecord> Cards() const
    {
        std::vector<TCardRecord> out;
        sqlite3 *db = nullptr;
        if (sqlite3_open_v2(DbPath.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) !=
            SQLITE_OK) {
            sqlite3_close(db);
            return out;
        }
        sqlite3_stmt *st = nullptr;
        if (sqlite3_prepare_v2(
                db, "SELECT PROF_ID, SERIAL, CARD_NUM, MASTER FROM Cards ORDER BY ID_CARD", -1, &st,
                nullptr) == SQLITE_OK) {
            while (sqlite3_step(st) == SQLITE_ROW)
                out.push_back({sqlite3_column_int(st, 0), sqlite3_column_int64(st, 1),
                               sqlite3_column_int64(st, 2), sqlite3_column_int(st, 3)});
        }
        sqlite3_finalize(st);
        sqlite3_close(db);
        return out;
    }

    // Ends the message now, as its timer would.
    static void EndMessage(TCardDialog *dialog)
    {
        dialog->Timer->stop();
        dialog->TimerTimer();
    }

    // The colour of the message text.
    static QColor MsgColour(const TCardDialog *dialog)
    {
        return dialog->lblMsg->palette().color(QPalette::WindowText);
    }

    QString Error;
    QString DbPath;
    std::unique_ptr<TSimulator> sim;

private:
    std::unique_ptr<QTemporaryDir> dir;
};
