// Time from a click on "Карты доступа" to the painted cards page, with a register of
// many cards, and the peak memory of the process.
//
//   bench_cardspage [count...]      (default: 100000 1000000)

#include "app/Main.h"
#include "app/passwd.h"
#include "benchutil.h"
#include "profiles/DatUtils.h"
#include "reader/delay.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <cstdio>

namespace {

void Fill(const QString &path, int count)
{
    OpenDatabase(path);
    DatUtils::CloseDatabase();
    Bench::InsertCards(
        path, count, [](int) { return 2; }, [](int i) { return 43000 + i / 500.0; });
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
    Bench::ResetPeak();

    auto *link = w->findChild<TLinkLabel *>(QStringLiteral("lblGoToCardsPage"));
    QElapsedTimer t;
    t.start();
    QTest::mouseClick(link, Qt::LeftButton);
    // Paint the page now, as the next frame would.
    w->lvCardsDetail->viewport()->repaint();
    w->repaint();
    const double ms = Bench::Ms(t);
    std::printf("%9d cards: cards page painted in %8.1f ms (%d rows), peak memory %ld MB\n", count,
                ms, w->lvCardsDetail->model()->rowCount(), Bench::StatusKb("VmHWM") / 1024);
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
