// Card engine and card worker figures with the simulated readers:
//  1. the engine's own time per card operation, beyond its specified waits (the waits
//     are hooked to nothing and counted separately);
//  2. the worker's reaction time from a card entering the field to its event, with the
//     real waits of the worker's cycle.
// Prints its figures; never fails on timing.

#include "cards/cardlayout.h"
#include "profiles/secprofiles.h"
#include "reader/delay.h"
#include "reader/readerkind.h"
#include "reader/sim/simbinding.h"
#include "reader/thread/thread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <numeric>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<uint64_t> hookedMs{0};

struct TStats
{
    std::vector<double> samples; // microseconds
    void Add(double us) { samples.push_back(us); }
    double Mean() const
    {
        return samples.empty()
                   ? 0
                   : std::accumulate(samples.begin(), samples.end(), 0.0) / double(samples.size());
    }
    double Percentile(double p) const
    {
        if (samples.empty())
            return 0;
        std::vector<double> s = samples;
        std::sort(s.begin(), s.end());
        return s[std::min(s.size() - 1, size_t(p * double(s.size() - 1) + 0.5))];
    }
    double Max() const
    {
        return samples.empty() ? 0 : *std::max_element(samples.begin(), samples.end());
    }
};

std::unique_ptr<TSecProfile> Profile(int id, int sector, int64_t keyA, int64_t keyB)
{
    auto p = std::make_unique<TSecProfile>();
    p->SetID(id);
    p->Sector = uint8_t(sector);
    p->KeyA = keyA;
    p->KeyB = keyB;
    return p;
}

class TEngineBench
{
public:
    explicit TEngineBench(int family) : family(family)
    {
        sim.Attach(family == READER_ALTO, family == READER_NOVA);
        sim.Bind();
        ReaderKind = family;
        sim.Field().PutCard(TSimCard(TSimCard::Type::Classic1K, {0x1A, 0x2B, 0x3C, 0x4D}));
        staff = Profile(3, 1, 0x0123456789ABLL, 0xA1B2C3D4E5F6LL);
        guests = Profile(4, 2, 0x111111111111LL, 0x222222222222LL);
    }
    ~TEngineBench()
    {
        BindMfrc500(nullptr);
        BindRivlink(nullptr);
        ReaderKind = READER_NONE;
    }

    void Represent()
    {
        auto card = sim.Field().TakeCard();
        sim.Field().PutCard(*card);
    }
    bool Select()
    {
        uint8_t uid[10] = {};
        uint8_t len = 0;
        int status;
        if (family == READER_ALTO) {
            uint8_t atq[2], sak;
            status = sim.Alto().Mf500PiccActivateIdle(0, atq, &sak, uid, &len);
        } else {
            uint8_t sak, atqa[4];
            status = sim.Nova().ActivateCardA3(&len, uid, &sak, atqa);
        }
        std::copy(uid, uid + 7, snr.begin());
        slen = len;
        return status == 0 && len != 0;
    }
    // Times one operation on a freshly presented and selected card.
    void Time(TStats &stats, uint64_t &waits, const std::function<int32_t()> &op)
    {
        Represent();
        Select();
        const uint64_t before = hookedMs.load();
        const auto t0 = Clock::now();
        const int32_t r = op();
        const auto t1 = Clock::now();
        if (r != 0)
            std::fprintf(stderr, "operation failed: %d\n", r);
        waits = hookedMs.load() - before;
        stats.Add(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }

    int family;
    TSimulator sim;
    std::unique_ptr<TSecProfile> staff, guests;
    TSerialNumber snr{};
    uint8_t slen = 0;
};

void EngineFigures(int family, int rounds)
{
    TEngineBench b(family);
    TStats write, erase, master, move, prepare, read;
    uint64_t wWrite = 0, wErase = 0, wMaster = 0, wMove = 0, wPrepare = 0, wRead = 0;
    for (int i = 0; i < rounds; ++i) {
        const int64_t number = 4096 + i;
        b.Time(write, wWrite, [&] { return b.staff->WriteCard(&b.snr, number, b.slen); });
        b.Time(erase, wErase, [&] { return b.staff->EraseCard(&b.snr, b.slen); });
        b.Time(master, wMaster,
               [&] { return b.staff->WriteMaster(b.guests.get(), &b.snr, number, b.slen); });
        b.Represent();
        b.Select();
        b.staff->EraseCard(&b.snr, b.slen);
        b.Represent();
        b.Select();
        b.staff->WriteCard(&b.snr, number, b.slen);
        int64_t moved = 0;
        b.Time(move, wMove,
               [&] { return b.staff->ReWriteCard(b.guests.get(), &b.snr, moved, b.slen); });
        b.Time(prepare, wPrepare, [&] { return b.guests->PrepareReader(); });
        TCradIds ids;
        b.Time(read, wRead, [&] { return b.staff->ReadCard(&ids); });
        b.Represent();
        b.Select();
        b.guests->EraseCard(&b.snr, b.slen);
    }
    const char *name = family == READER_ALTO ? "RW-Alto" : "RW-Nova";
    auto line = [name](const char *op, const TStats &s, uint64_t waits) {
        std::printf("  %-8s %-13s mean %8.1f us   p95 %8.1f us   max %8.1f us   (specified waits "
                    "%3llu ms, not counted)\n",
                    name, op, s.Mean(), s.Percentile(0.95), s.Max(),
                    static_cast<unsigned long long>(waits));
    };
    line("WriteCard", write, wWrite);
    line("EraseCard", erase, wErase);
    line("WriteMaster", master, wMaster);
    line("ReWriteCard", move, wMove);
    line("PrepareReader", prepare, wPrepare);
    line("ReadCard", read, wRead);
}

// Records the time each event arrives.
class TClock : public QObject
{
public:
    Clock::time_point at;
    int code = 0;
    QEventLoop *loop = nullptr;

protected:
    void customEvent(QEvent *e) override
    {
        at = Clock::now();
        code = int(e->type());
        if (loop)
            loop->quit();
    }
};

void WorkerFigures(int family, int32_t action, int presentations)
{
    TSimulator sim;
    sim.Attach(family == READER_ALTO, family == READER_NOVA);
    sim.Bind();
    ReaderKind = family;
    auto staff = Profile(3, 1, 0x0123456789ABLL, 0xA1B2C3D4E5F6LL);
    TCradIds ids;
    // A programmed reader and a card of its profile, for reads.
    staff->PrepareReader();
    TSimCard card(TSimCard::Type::Classic1K, {0x1A, 0x2B, 0x3C, 0x4D});
    card.SetBlock(4, CardLayout::NumberBlock(4096));
    card.SetBlock(7, CardLayout::UserTrailer(staff->KeyA, staff->KeyB));
    TSimCard blank(TSimCard::Type::Classic1K, {0x1A, 0x2B, 0x3C, 0x4D});

    TClock receiver;
    TStats stats;
    {
        Tmfrcthread worker;
        worker.hwnd = &receiver;
        worker.profile0 = staff.get();
        worker.threadaction = action;
        worker.cardnumber = 4096;
        worker.Resume();
        // Past the first-run check, which would halt a card already lying there.
        QThread::msleep(30);
        for (int i = 0; i < presentations; ++i) {
            // Spread the moments a card arrives over the cycle.
            QThread::msleep(unsigned(17 * i % 97));
            QEventLoop loop;
            receiver.loop = &loop;
            receiver.code = 0;
            QTimer::singleShot(5000, &loop, &QEventLoop::quit);
            const auto t0 = Clock::now();
            sim.Field().PutCard(action == TA_READ_CARD ? card : blank);
            loop.exec();
            receiver.loop = nullptr;
            if (receiver.code == int(CARD_PROCESSED))
                stats.Add(std::chrono::duration<double, std::milli>(receiver.at - t0).count() *
                          1000.0);
            sim.Field().TakeCard();
        }
        worker.Suspend();
    }
    BindMfrc500(nullptr);
    BindRivlink(nullptr);
    ReaderKind = READER_NONE;
    const char *name = family == READER_ALTO ? "RW-Alto" : "RW-Nova";
    std::printf("  %-8s %-14s %2zu/%d events   mean %6.1f ms   p95 %6.1f ms   max %6.1f ms\n", name,
                action == TA_READ_CARD ? "TA_READ_CARD" : "TA_WRITE_CARD", stats.samples.size(),
                presentations, stats.Mean() / 1000.0, stats.Percentile(0.95) / 1000.0,
                stats.Max() / 1000.0);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = 300;

    std::printf("Card engine, own time per operation (simulated reader, %d rounds):\n", rounds);
    Delay::SetHook([](unsigned ms) { hookedMs += ms; });
    EngineFigures(READER_ALTO, rounds);
    EngineFigures(READER_NOVA, rounds);
    Delay::SetHook({});

    const int presentations = 20;
    std::printf(
        "Card worker, card entering the field to its event (real waits; one cycle is about 105 ms\n"
        "plus the operation; WriteCard has 200 ms of its own waits):\n");
    WorkerFigures(READER_ALTO, TA_READ_CARD, presentations);
    WorkerFigures(READER_NOVA, TA_READ_CARD, presentations);
    WorkerFigures(READER_ALTO, TA_WRITE_CARD, presentations / 2);
    return 0;
}
