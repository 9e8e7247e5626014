// Time from a click on "Карты доступа" to the painted cards page, with a register of
// many cards, and the peak memory of the process.
//
//   bench_cardspage [count...]      (default: 100000 1000000)

#include "app/Main.h"
#include "app/passwd.h"
#include "profiles/DatUtils.h"
#include "profiles/SQLiteTable3.h"
#include "reader/delay.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

long StatusKb(const char *field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(key.size()));
    return -1;
}

void Fill(const QString &path, int count)
{
    OpenDatabase(path);
    DatUtils::CloseDatabase();
    TSQLiteDatabase db(path);
    db.BeginTransaction();
    TSQLiteStatement insert(
        db, QStringLiteral("INSERT INTO Cards(PROF_ID, CARD_DATE, SERIAL, CARD_NUM, MASTER) "
                           "VALUES (?, ?, ?, ?, ?)"));
    for (int i = 0; i < count; ++i) {
        insert.BindAll({int64_t(2), DatUtils::DateTimeToNumberText(43000 + i / 500.0),
                        int64_t(0x04000000000000LL + int64_t(i) * 7919), int64_t(4096 + i),
                        int64_t(i % 100 == 0)});
        insert.Execute();
        insert.Reset();
    }
    db.Commit();
}

void Run(int count)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.db3"));
    Fill(path, count);

    auto *w = new TfrmMain;
    frmMain = w;
    frmPass = new TfrmPass(w);
    w->DatabasePath = path;
    w->ShowWaitMs = 0;
    w->show();
    if (!QTest::qWaitFor([w] { return w->ShowStepDone(); }, 10000))
        std::printf("the main window did not finish its show step\n");
    std::ofstream("/proc/self/clear_refs") << "5";

    auto *link = w->findChild<TLinkLabel *>(QStringLiteral("lblGoToCardsPage"));
    QElapsedTimer t;
    t.start();
    QTest::mouseClick(link, Qt::LeftButton);
    // Paint the page now, as the next frame would.
    w->lvCardsDetail->viewport()->repaint();
    w->repaint();
    const double ms = double(t.nsecsElapsed()) / 1e6;
    std::printf("%9d cards: cards page painted in %8.1f ms (%d rows), peak memory %ld MB\n", count,
                ms, w->lvCardsDetail->model()->rowCount(), StatusKb("VmHWM") / 1024);
    std::fflush(stdout);
    delete w;
    frmMain = nullptr;
    frmPass = nullptr;
    DatUtils::CloseDatabase();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Delay::SetHook([](unsigned) {});
    QList<int> counts;
    for (int i = 1; i < argc; ++i)
        counts << QString::fromLocal8Bit(argv[i]).toInt();
    if (counts.isEmpty())
        counts = {100000, 1000000};
    for (int n : counts)
        Run(n);
    return 0;
}
