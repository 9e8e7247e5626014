#pragma once

// What every card and profile dialog fixture is built on: the simulator with one RW-Alto
// reader, a temporary database, the test profiles by name, cards laid on the reader, and
// the card register read straight from the database file.

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

#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sqlite3.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

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

class TDialogFixture
{
public:
    static TSecProfile *Profile(const QString &name)
    {
        return frmMain->ProfList.ProfileByName(name);
    }
    static TSecProfile *Office() { return Profile(QStringLiteral("Офис")); }
    static TSecProfile *Store() { return Profile(QStringLiteral("Склад")); }
    static TSecProfile *Orig() { return Profile(QStringLiteral("Ориг")); }

    // True once the worker has looked at the field at least twice since ClearLog (so its
    // first-run check is behind it).
    bool WorkerPolled() const
    {
        int polls = 0;
        for (const std::string &call : sim->Alto().CallLog())
            polls += call.rfind("Mf500PiccActivateIdle", 0) == 0 ? 1 : 0;
        return polls >= 2;
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

    // Ends the message now, as its timer would.
    static void EndMessage(TCardDialog *dialog)
    {
        dialog->Timer->stop();
        dialog->TimerTimer();
    }

    QString Error;
    QString DbPath;
    std::unique_ptr<TSimulator> sim;

protected:
    // The first steps of SetUp, after the delay hook is set: the simulator with its RW-Alto
    // reader found, and an empty database in a temporary directory. False (with the reason
    // in Error) when either failed.
    bool AttachReaderAndDatabase()
    {
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
        return true;
    }

    // The profiles as stored, loaded into the main window's list; false (with the reason in
    // Error) when one of the test profiles is missing.
    bool LoadTestProfiles()
    {
        LoadProfiles(frmMain->ProfList);
        if (!Office() || !Store() || !Orig()) {
            Error = QStringLiteral("a test profile did not load");
            return false;
        }
        return true;
    }

    // The last steps of TearDown: the worker, the database, the simulator and the hooks.
    void ReleaseReaderAndDatabase()
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

private:
    std::unique_ptr<QTemporaryDir> dir;
};
