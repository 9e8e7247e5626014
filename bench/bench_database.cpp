// Fills a card register with many cards in a temporary database and prints how long the
// list fill and the single-card routines take, and the peak memory of the process.
//
//   bench_database [count...]      (default: 100000 1000000)

#include "benchutil.h"
#include "profiles/DatUtils.h"
#include "profiles/reportmodel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>

namespace {

using namespace Bench;

double CpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

void Fill(const QString &path, int count)
{
    OpenDatabase(path);
    for (int p = 0; p < 8; ++p)
        AddProfile(QStringLiteral("Профиль %1").arg(p + 3), uint8_t(1 + p), QStringLiteral("pw"), 1,
                   2, 2, 1, 0xFFFFFFFFFFFF, 0, 0);
    DatUtils::CloseDatabase();
    // The cards spread over the seeded and the added profiles.
    Bench::InsertCards(
        path, count, [](int i) { return 2 + i % 9; },
        [](int i) { return 43000 + i / 500.0 + (i % 97) / 1000.0; });
}

void Run(int count)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.db3"));
    QElapsedTimer t;
    t.start();
    Fill(path, count);
    const double fill = Ms(t);

    ResetPeak();
    const long rssBefore = StatusKb("VmRSS");
    OpenDatabase(path); // creates the indexes of a file that lacks them
    const double open = Ms(t) - fill;

    TReportModel model;
    t.restart();
    double cpu = CpuMs();
    const bool shown = ShowCards(model);
    const double show = Ms(t);
    const double showCpu = CpuMs() - cpu;
    const long rssModel = StatusKb("VmRSS");

    t.restart();
    const int64_t next = GetMaxCardNum();
    const double maxNum = Ms(t);

    t.restart();
    const bool updated = UpdateCard(5, SerialOf(count / 2), next);
    const double update = Ms(t);

    t.restart();
    const bool deleted = DeleteCard(SerialOf(count / 3));
    const double del = Ms(t);

    // the same two writes once more, to see the cost without the first-touch of pages
    t.restart();
    UpdateCard(6, SerialOf(count / 2 + 1), next + 1);
    const double update2 = Ms(t);
    t.restart();
    DeleteCard(SerialOf(count / 3 + 1));
    const double del2 = Ms(t);

    // The lookups of the two writes without the commit's flush to disk: the same
    // statements on a second connection, rolled back.
    double lookupUpdate = 0, lookupDelete = 0;
    {
        TSQLiteDatabase probe(path);
        probe.BeginTransaction();
        t.restart();
        probe.ExecSQL(
            QStringLiteral(
                "UPDATE Cards SET CARD_NUM = ?, PROF_ID = ?, CARD_DATE = ? WHERE SERIAL = ?"),
            {int64_t(1), int64_t(2), QStringLiteral("1"), SerialOf(count / 4)});
        lookupUpdate = Ms(t);
        t.restart();
        probe.ExecSQL(QStringLiteral("DELETE FROM Cards WHERE SERIAL = ?"), {SerialOf(count / 5)});
        lookupDelete = Ms(t);
        probe.Rollback();
    }

    std::printf("cards: %d (fill %.0f ms, open with index check %.1f ms)\n", count, fill, open);
    std::printf("  ShowCards into TReportModel : %8.1f ms  (CPU %.1f ms; %d rows, %s)\n", show,
                showCpu, model.RowCount(), shown ? "ok" : "empty");
    std::printf("  GetMaxCardNum               : %8.3f ms  (next %lld)\n", maxNum, (long long)next);
    std::printf("  UpdateCard of one serial    : %8.3f ms  (%s; again: %.3f ms)\n", update,
                updated ? "ok" : "failed", update2);
    std::printf("  DeleteCard of one serial    : %8.3f ms  (%s; again: %.3f ms)\n", del,
                deleted ? "ok" : "failed", del2);
    std::printf("  the same statements without the commit: update %.3f ms, delete %.3f ms\n",
                lookupUpdate, lookupDelete);
    std::printf("  memory: VmRSS before %ld kB, after ShowCards %ld kB, peak VmHWM %ld kB\n",
                rssBefore, rssModel, StatusKb("VmHWM"));
    std::fflush(stdout);
    DatUtils::CloseDatabase();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        args = {QStringLiteral("100000"), QStringLiteral("1000000")};
    for (const QString &a : args)
        Run(a.toInt());
    return 0;
}
