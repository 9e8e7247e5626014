// The card worker against the simulated readers: its events, the first-run check, the
// halted-card rule, precedence of the actions, pause and resume, the guarded target.

#include "cards/cardlayout.h"
#include "profiles/secprofiles.h"
#include "reader/delay.h"
#include "reader/readerkind.h"
#include "reader/sim/simbinding.h"
#include "reader/thread/thread.h"
#include "simfamilytest.h"

#include <QtTest>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

using namespace CardLayout;

namespace {

constexpr int Timeout = 20000;

struct TGot
{
    int code = 0;
    quintptr wParam = 0;
    qintptr lParam = 0;
    bool hasIds = false;
    TCradIds ids;
    bool wParamIsIds = false;
    int64_t serial = 0;
    int64_t cardnumber = 0;
};

// A window stand-in: records every worker event with what the dialog would read.
class TReceiver : public QObject
{
public:
    explicit TReceiver(Tmfrcthread *worker) : worker(worker) {}
    std::vector<TGot> got;

    int Count(QEvent::Type code) const
    {
        return int(std::count_if(got.begin(), got.end(),
                                 [code](const TGot &g) { return g.code == code; }));
    }

protected:
    void customEvent(QEvent *e) override
    {
        auto *ce = static_cast<TCardEvent *>(e);
        TGot g;
        g.code = ce->Code();
        g.wParam = ce->wParam();
        g.lParam = ce->lParam();
        if (const TCradIds *ids = ce->Ids()) {
            g.hasIds = true;
            g.ids = *ids;
            g.wParamIsIds = reinterpret_cast<quintptr>(ids) == g.wParam;
        }
        g.serial = worker->serial;
        g.cardnumber = worker->cardnumber;
        got.push_back(g);
    }

private:
    Tmfrcthread *worker;
};

} // namespace

class TstWorker : public QObject, public TSimFamily
{
    Q_OBJECT

    std::unique_ptr<Tmfrcthread> worker;
    std::unique_ptr<TReceiver> receiver;
    std::unique_ptr<TSecProfile> staff;
    std::unique_ptr<TSecProfile> guests;

    std::mutex waitsLock;
    std::vector<unsigned> waits;

    // A gate inside an issue: when armed, the worker stops at the wait that follows the
    // card's authentication (RW-Alto) until the gate is disarmed.
    std::mutex gateLock;
    std::condition_variable gateChanged;
    bool gateArmed = false;
    bool gateHeld = false;

    std::vector<unsigned> Waits()
    {
        std::lock_guard lock(waitsLock);
        return waits;
    }
    std::vector<std::string> Log() const
    {
        return family == Alto ? sim->Alto().CallLog() : sim->Nova().CallLog();
    }
    // Library calls so far whose name starts with prefix.
    int Calls(const char *prefix) const
    {
        const auto log = Log();
        return int(std::count_if(log.begin(), log.end(), [prefix](const std::string &c) {
            return c.rfind(prefix, 0) == 0;
        }));
    }
    int Selections() const
    {
        return Calls(family == Alto ? "Mf500PiccActivateIdle" : "ActivateCardA3");
    }
    // Pauses the worker and waits until it is held, then delivers its events.
    void Hold()
    {
        worker->Suspend();
        QTRY_VERIFY_WITH_TIMEOUT(worker->IsBlocked(), Timeout);
        QCoreApplication::processEvents();
    }
    // The first resume, with no card in the field, so that the first-run check is past.
    void Start(int32_t action)
    {
        worker->hwnd = receiver.get();
        worker->profile0 = staff.get();
        worker->profile1 = guests.get();
        worker->threadaction = action;
        worker->Resume();
    }
    void StartPast(int32_t action)
    {
        Start(action);
        QTRY_VERIFY_WITH_TIMEOUT(Waits().size() >= 1, Timeout);
    }

private slots:
    void init()
    {
        {
            std::lock_guard lock(waitsLock);
            waits.clear();
        }
        // Records the waits and keeps the worker from spinning.
        Delay::SetHook([this](unsigned ms) {
            {
                std::lock_guard lock(waitsLock);
                waits.push_back(ms);
            }
            {
                std::unique_lock lock(gateLock);
                if (gateArmed && ms == 100 && !Log().empty() &&
                    Log().back().rfind("Mf500PiccAuthKey", 0) == 0) {
                    gateHeld = true;
                    gateChanged.notify_all();
                    gateChanged.wait(lock, [this] { return !gateArmed; });
                    gateHeld = false;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
        sim = std::make_unique<TSimulator>();
        sim->Bind();
        staff = Profile(3, 1, 0x0123456789ABLL, 0xA1B2C3D4E5F6LL);
        guests = Profile(4, 2, 0x111111111111LL, 0x222222222222LL);
        worker = std::make_unique<Tmfrcthread>();
        receiver = std::make_unique<TReceiver>(worker.get());
    }
    void cleanup()
    {
        worker.reset(); // stops and joins
        receiver.reset();
        BindMfrc500(nullptr);
        BindRivlink(nullptr);
        ReaderKind = READER_NONE;
        sim.reset();
        Delay::SetHook({});
    }

    void families_data()
    {
        QTest::addColumn<int>("f");
        QTest::newRow("RW-Alto") << Alto;
        QTest::newRow("RW-Nova") << Nova;
    }

    void cardEventCarriesItsParameters();
    void createdPausedAndStoppable();
    void cardOnTheReaderAtFirstRunIsDetectedOnce_data() { families_data(); }
    void cardOnTheReaderAtFirstRunIsDetectedOnce();
    void idleWorkerMakesNoReaderCall();
    void cycleWaitsWithARequest_data() { families_data(); }
    void cycleWaitsWithARequest();
    void issueProcessesEachPresentationOnce_data() { families_data(); }
    void issueProcessesEachPresentationOnce();
    void sevenByteUidSerial();
    void moveAndMasterReport();
    void cardActionsRunInOrderOnTheSameCard();
    void readCard_data() { families_data(); }
    void readCard();
    void prepareReaderEveryCycle_data() { families_data(); }
    void prepareReaderEveryCycle();
    void readTakesPrecedence();
    void pauseAndResume();
    void eventsForADestroyedTargetAreDropped();
    void outcomeIsReportedToTheWindowThatAskedForIt();
};

void TstWorker::cardEventCarriesItsParameters()
{
    TCardEvent plain(CARD_PROCESS_ERROR);
    QCOMPARE(plain.type(), QEvent::Type(1027));
    QCOMPARE(plain.Code(), 1027);
    QCOMPARE(plain.wParam(), quintptr(0));
    QCOMPARE(plain.lParam(), qintptr(0));
    QVERIFY(!plain.Ids());

    TCradIds ids;
    ids.Id1Len = 7;
    ids.Id2[0] = 0x42;
    TCardEvent read(CARD_PROCESSED, ids);
    QCOMPARE(read.wParam(), reinterpret_cast<quintptr>(read.Ids()));
    QCOMPARE(read.Ids()->Id1Len, 7);
    std::unique_ptr<TCardEvent> copy(read.clone());
    QCOMPARE(copy->type(), CARD_PROCESSED);
    QCOMPARE(copy->wParam(), reinterpret_cast<quintptr>(copy->Ids()));
    QVERIFY(copy->Ids() != read.Ids());
    QCOMPARE(copy->Ids()->Id2[0], uint8_t(0x42));
}

void TstWorker::createdPausedAndStoppable()
{
    QVERIFY(worker->Suspended());
    // Never resumed: no wait, no call.
    QTRY_VERIFY_WITH_TIMEOUT(worker->IsBlocked(), Timeout);
    QVERIFY(Waits().empty());

    // The program's own worker.
    QVERIFY(!mfrcthread);
    CreateMfrcThread();
    QVERIFY(mfrcthread);
    QVERIFY(mfrcthread->Suspended());
    Tmfrcthread *first = mfrcthread;
    CreateMfrcThread();
    QCOMPARE(mfrcthread, first);
    mfrcthread->Resume();
    QTRY_VERIFY_WITH_TIMEOUT(Waits().size() >= 3, Timeout);
    mfrcthread->Suspend();
    FreeMfrcThread(); // woken from its pause and joined
    QVERIFY(!mfrcthread);
    FreeMfrcThread();
}

void TstWorker::cardOnTheReaderAtFirstRunIsDetectedOnce()
{
    QFETCH(int, f);
    Use(f);
    Put();
    worker->cardnumber = 4096;
    Start(TA_WRITE_CARD);
    QTRY_COMPARE_WITH_TIMEOUT(receiver->Count(CARD_DETECTED), 1, Timeout);
    QCOMPARE(receiver->got.front().wParam, quintptr(0));
    QCOMPARE(receiver->got.front().lParam, qintptr(0));
    QVERIFY(sim->Field().Card()->IsHalted());

    // The halted card is not processed while it stays; later resumes check no more.
    const int before = Selections();
    QTRY_VERIFY_WITH_TIMEOUT(Selections() >= before + 3, Timeout);
    Hold();
    worker->Resume();
    QTRY_VERIFY_WITH_TIMEOUT(Selections() >= before + 6, Timeout);
    Hold();
    QCOMPARE(int(receiver->got.size()), 1);
    QCOMPARE(Bytes(sim->Field().Card()->Block(4)), Bytes(TBlock{}));

    // Presented anew, it is issued.
    Represent();
    worker->Resume();
    QTRY_COMPARE_WITH_TIMEOUT(receiver->Count(CARD_PROCESSED), 1, Timeout);
    QCOMPARE(receiver->Count(CARD_DETECTED), 1);
}

void TstWorker::idleWorkerMakesNoReaderCall()
{
    Use(Alto);
    StartPast(0);
    QTRY_VERIFY_WITH_TIMEOUT(Waits().size() >= 8, Timeout);
    Hold();
    // Only the first-run selection; then 100 ms and 50 ms, cycle after cycle.
    QCOMPARE(Log(), (std::vector<std::string>{"Mf500PiccActivateIdle(0, out, out, out, out)"}));
    const std::vector<unsigned> w = Waits();
    for (size_t i = 0; i + 1 < w.size(); ++i)
        QCOMPARE(w[i], i % 2 == 0 ? 100u : 50u);
    QVERIFY(receiver->got.empty());
}

// With a request the cycle is 100 ms, the operation with its own waits, then 5 ms:
// 100, 5 while no card is there; 100, 100, 100, 5 for the cycle that issues a card.
void TstWorker::cycleWaitsWithARequest()
{
    QFETCH(int, f);
    Use(f);
    worker->cardnumber = 4096;
    StartPast(TA_WRITE_CARD);
    QTRY_VERIFY_WITH_TIMEOUT(Waits().size() >= 6, Timeout);
    Put();
    QTRY_COMPARE_WITH_TIMEOUT(receiver->Count(CARD_PROCESSED), 1, Timeout);
    const size_t after = Waits().size();
    QTRY_VERIFY_WITH_TIMEOUT(Waits().size() >= after + 4, Timeout);
    Hold();

    QStringList text;
    for (unsigned ms : Waits())
        text << QString::number(ms);
    // The worker is held at one of its waits: after a 100 ms or a 5 ms one.
    static const QRegularExpression pattern(
        QStringLiteral("^(100,5,)+100,100,100,5(,100,5)+(,100)?$"));
    QVERIFY2(pattern.match(text.join(QLatin1Char(','))).hasMatch(),
             qPrintable(text.join(QLatin1Char(','))));
    QCOMPARE(int(receiver->got.size()), 1);
}

void TstWorker::issueProcessesEachPresentationOnce()
{
    QFETCH(int, f);
    Use(f);
    worker->cardnumber = 4096;
    worker->ismaster = 0;
    StartPast(TA_WRITE_CARD);

    Put();
    QTRY_COMPARE_WITH_TIMEOUT(receiver->Count(CARD_PROCESSED), 1, Timeout);
    const TGot &got = receiver->got.front();
    QCOMPARE(got.serial, int64_t(0x4D3C2B1A)); // the UID read least significant byte first
    QCOMPARE(got.wParam, quintptr(0));
    QVERIFY(!got.hasIds);
    QCOMPARE(Bytes(sim->Field().Card()->Block(4)), Bytes(NumberBlock(4096)));

    // Halted: left in the field it is not processed again.
    const int before = Selections();
    QTRY_VERIFY_WITH_TIMEOUT(Selections() >= before + 4, Timeout);
    Hold();
    QCOMPARE(int(receiver->got.size()), 1);

    // Presented anew, the issued card fails, and (not halted) fails again in the next
    // cycles until the dialog pauses the worker.
    worker->cardnumber = 4097;
    Represent();
    worker->Resume();
    QTRY_VERIFY_WITH_TIMEOUT(receiver->Count(CARD_PROCESS_ERROR) >= 2, Timeout);
    Hold();
    QCOMPARE(receiver->Count(CARD_PROCESSED), 1);
    QCOMPARE(Bytes(sim->Field().Card()->Block(4)), Bytes(NumberBlock(4096)));
}

void TstWorker::sevenByteUidSerial()
{
    Use(Nova);
    worker->cardnumber = 5000;
    StartPast(TA_WRITE_CARD);
    Put(Uid7Bytes);
    QTRY_COMPARE_WITH_TIMEOUT(receiver->Count(CARD_PROCESSED), 1, Timeout);
    const int64_t serial = receiver->got.front().serial;
    QCOMPARE(serial, int64_t(0x00A6958473625104LL));
    QVERIFY(serial < (int64_t(1) << 56));
    QCOMPARE(uint8_t(serial & 0xFF), Uid7Bytes[0]);
}

void TstWorker::moveAndMasterReport()
{
    Use(Alto);
    // A card of the staff profile with number 70000, moved to guests.
    TSimCard card(TSimCard::Type::Classic1K, Uid4Bytes);
    card.SetBlock(4, NumberBlock(70000));
    card.SetBlock(7, UserTrailer(staff->KeyA, staff->KeyB));
    worker->cardnumber = 1;
    StartPast(TA_REWRITE);
    QVERIFY(sim->Field().PutCard(card));
    QTRY_COMPARE_WITH_TIMEOUT(receiver->Count(CARD_PROCESSED), 1, Timeout);
    QCOMPARE(receiver->got.front().cardnumber, int64_t(70000));
    QCOMPARE(qint64(worker->cardnumber), qint64(70000));
    QCOMPARE(Bytes(sim->Field().Card()->Block(8)), Bytes(NumberBlock(70000)));
    Hold();

    // A master card for guests on a blank card.
    sim->Field().TakeCard();
    worker->threadaction = TA_WRITE_MASTER;
    worker->cardnumber = 4096;
    worker->ismaster = 1;
    Put();
    worker->Resume();
    QTRY_COMPARE_WITH_TIMEOUT(receiver->Count(CARD_PROCESSED), 2, Timeout);
    QCOMPARE(Bytes(sim->Field().Card()->Block(5)),
             Bytes(MasterDataBlock(guests->KeyA, guests->KeyB, 2)));
    QCOMPARE(qint32(worker->ismaster), 1);
}

void TstWorker::cardActionsRunInOrderOnTheSameCard()
{
    Use(Alto);
    worker->cardnumber = 4096;
    StartPast(TA_ERASE | TA_WRITE_CARD);
    // An issued card: the erase succeeds and halts it, so the issue that follows fails.
    TSimCard card(TSimCard::Type::Classic1K, Uid4Bytes);
    card.SetBlock(7, UserTrailer(staff->KeyA, staff->KeyB));
    QVERIFY(sim->Field().PutCard(card));
    QTRY_VERIFY_WITH_TIMEOUT(receiver->got.size() >= 2, Timeout);
    Hold();
    QCOMPARE(receiver->got[0].code, int(CARD_PROCESSED));
    QCOMPARE(receiver->got[1].code, int(CARD_PROCESS_ERROR));
    QCOMPARE(int(receiver->got.size()), 2);
    QCOMPARE(Bytes(sim->Field().Card()->Block(7)), Bytes(TransportTrailer()));
}

void TstWorker::readCard()
{
    QFETCH(int, f);
    Use(f);
    StartPast(TA_READ_CARD);
    // A read takes sector and key from the reader; it needs no profile.
    worker->profile0 = nullptr;

    // Not programmed: a read error each cycle.
    QTRY_VERIFY_WITH_TIMEOUT(receiver->Count(CARD_READ_ERROR) >= 2, Timeout);
    Hold();
    receiver->got.clear();
    QCOMPARE(staff->PrepareReader(), 0); // the worker is held: the reader is free

    // No card: polls and posts nothing.
    const int reads = Calls(f == Alto ? "PcdReadE2" : "GetReaderTagorData");
    worker->Resume();
    QTRY_VERIFY_WITH_TIMEOUT(Calls(f == Alto ? "PcdReadE2" : "GetReaderTagorData") >= reads + 4,
                             Timeout);
    Hold();
    QVERIFY(receiver->got.empty());

    // An issued card is read once per presentation.
    TSimCard card(TSimCard::Type::Classic1K, Uid4Bytes);
    card.SetBlock(4, NumberBlock(4096));
    card.SetBlock(7, UserTrailer(staff->KeyA, staff->KeyB));
    QVERIFY(sim->Field().PutCard(card));
    worker->Resume();
    QTRY_COMPARE_WITH_TIMEOUT(receiver->Count(CARD_PROCESSED), 1, Timeout);
    const int after = Calls(f == Alto ? "PcdReadE2" : "GetReaderTagorData");
    QTRY_VERIFY_WITH_TIMEOUT(Calls(f == Alto ? "PcdReadE2" : "GetReaderTagorData") >= after + 3,
                             Timeout);
    Hold();
    QCOMPARE(int(receiver->got.size()), 1);
    const TGot &got = receiver->got.front();
    QVERIFY(got.hasIds);
    QVERIFY(got.wParamIsIds);
    QCOMPARE(got.ids.Id1Len, 4);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(got.ids.Id1), 4),
             QByteArray("\x1A\x2B\x3C\x4D", 4));
    QCOMPARE(got.ids.Id2Len, 4);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(got.ids.Id2), 4),
             QByteArray("\x00\x10\x00\x00", 4));
    QCOMPARE(got.serial, int64_t(0)); // a read does not set serial

    // A card of another profile: a read error.
    sim->Field().TakeCard();
    Put();
    worker->Resume();
    QTRY_VERIFY_WITH_TIMEOUT(receiver->Count(CARD_READ_ERROR) >= 1, Timeout);
}

void TstWorker::prepareReaderEveryCycle()
{
    QFETCH(int, f);
    Use(f);
    StartPast(TA_PREPARE_READER);
    QTRY_VERIFY_WITH_TIMEOUT(receiver->Count(CARD_PROCESSED) >= 3, Timeout);
    Hold();
    // No card is needed, none is selected.
    QCOMPARE(Selections(), 1);

    // A failure is a write error; a status whose low 16 bits read -1 posts nothing.
    receiver->got.clear();
    const char *first = f == Alto ? "Mf500PcdLoadKeyE2" : "InitReaderTagorData";
    const int attempts = Calls(first);
    // RW-Alto turns every failure into -15; an RW-Nova status is passed on as it is.
    int silent = 0;
    if (f == Alto) {
        sim->Alto().FailCall(1, mfrc500::MI_EEPROMERR);
    } else {
        sim->Nova().FailCall(1, rivlink::RL_STORE_ERROR); // a cycle with one call
        sim->Nova().FailCall(4, 0xFFFF);                  // the third cycle's first call
        silent = 1;
    }
    worker->Resume();
    QTRY_VERIFY_WITH_TIMEOUT(Calls(first) >= attempts + 4, Timeout);
    Hold();
    const int made = Calls(first) - attempts;
    QCOMPARE(receiver->Count(CARD_WRITE_ERROR), 1);
    QCOMPARE(receiver->Count(CARD_PROCESSED), made - 1 - silent);
    QCOMPARE(receiver->got.front().code, int(CARD_WRITE_ERROR));
}

void TstWorker::readTakesPrecedence()
{
    Use(Alto);
    StartPast(TA_READ_CARD | TA_PREPARE_READER | TA_WRITE_CARD | TA_ERASE);
    Put();
    QTRY_VERIFY_WITH_TIMEOUT(Calls("PcdReadE2") >= 4, Timeout);
    Hold();
    QCOMPARE(Calls("Mf500PcdLoadKeyE2"), 0);
    QCOMPARE(Calls("Mf500PiccWrite"), 0);

    worker->threadaction = TA_PREPARE_READER | TA_WRITE_CARD;
    const int selections = Selections();
    worker->Resume();
    QTRY_VERIFY_WITH_TIMEOUT(Calls("Mf500PcdLoadKeyE2") >= 3, Timeout);
    Hold();
    QCOMPARE(Selections(), selections);
    QCOMPARE(Calls("Mf500PiccWrite"), 0);
}

void TstWorker::pauseAndResume()
{
    Use(Alto);
    StartPast(0);
    QTRY_VERIFY_WITH_TIMEOUT(Waits().size() >= 3, Timeout);
    Hold();
    worker->Suspend(); // a second pause changes nothing
    QVERIFY(worker->Suspended());
    const size_t held = Waits().size();
    QTest::qWait(30);
    QVERIFY(worker->IsBlocked());
    QCOMPARE(Waits().size(), held);

    // One resume sets it running, however many pauses came before.
    worker->Resume();
    QVERIFY(!worker->Suspended());
    QTRY_VERIFY_WITH_TIMEOUT(Waits().size() >= held + 4, Timeout);

    // A request set while paused is taken up after the resume; pauses keep it.
    Hold();
    worker->cardnumber = 4100;
    worker->threadaction = TA_WRITE_CARD;
    Put();
    worker->Resume();
    QTRY_COMPARE_WITH_TIMEOUT(receiver->Count(CARD_PROCESSED), 1, Timeout);
    QCOMPARE(Bytes(sim->Field().Card()->Block(4)), Bytes(NumberBlock(4100)));
}

void TstWorker::eventsForADestroyedTargetAreDropped()
{
    Use(Nova);
    // A blank card fails the erase every cycle (it stays selectable).
    StartPast(TA_ERASE);
    Put();
    QTRY_VERIFY_WITH_TIMEOUT(receiver->Count(CARD_PROCESS_ERROR) >= 2, Timeout);

    // The window goes away while the worker runs, with events still queued for it.
    receiver.reset();
    QVERIFY(!worker->hwnd.get());
    const int erases = Calls("MfcAuthenticateKey");
    QTRY_VERIFY_WITH_TIMEOUT(Calls("MfcAuthenticateKey") >= erases + 3, Timeout);
    QCoreApplication::processEvents();

    // A new window receives them again.
    receiver = std::make_unique<TReceiver>(worker.get());
    worker->hwnd = receiver.get();
    QTRY_VERIFY_WITH_TIMEOUT(receiver->Count(CARD_PROCESS_ERROR) >= 1, Timeout);
    Hold();
}

// A dialog closes while the worker is inside its card operation and another dialog
// takes the worker over at once: the outcome of the first operation goes to the dialog
// that asked for it (which records the card it wrote), not to the new one; the new
// dialog's own request is reported to it.
void TstWorker::outcomeIsReportedToTheWindowThatAskedForIt()
{
    Use(Alto);
    worker->cardnumber = 4096;
    StartPast(TA_WRITE_CARD);
    {
        std::lock_guard lock(gateLock);
        gateArmed = true;
    }
    Put();
    {
        std::unique_lock lock(gateLock);
        QVERIFY(gateChanged.wait_for(lock, std::chrono::milliseconds(Timeout),
                                     [this] { return gateHeld; }));
    }

    worker->Suspend();
    TReceiver other(worker.get());
    worker->hwnd = &other;
    worker->threadaction = TA_ERASE;
    worker->Resume();
    {
        std::lock_guard lock(gateLock);
        gateArmed = false;
    }
    gateChanged.notify_all();

    // The issue is carried out to its end, then the halted card is left alone.
    QTRY_VERIFY_WITH_TIMEOUT(sim->Field().Card()->IsHalted(), Timeout);
    QCOMPARE(Bytes(sim->Field().Card()->Block(7)), Bytes(UserTrailer(staff->KeyA, staff->KeyB)));
    const int selections = Selections();
    QTRY_VERIFY_WITH_TIMEOUT(Selections() >= selections + 2, Timeout);
    Hold();
    QVERIFY(other.got.empty());
    QCOMPARE(int(receiver->got.size()), 1);
    QCOMPARE(receiver->got.front().code, int(CARD_PROCESSED));

    // Presented anew, the card is erased for the new dialog, which is told.
    Represent();
    worker->Resume();
    QTRY_COMPARE_WITH_TIMEOUT(other.Count(CARD_PROCESSED), 1, Timeout);
    Hold();
    QCOMPARE(Bytes(sim->Field().Card()->Block(7)), Bytes(TransportTrailer()));
    QCOMPARE(int(other.got.size()), 1);
    QCOMPARE(int(receiver->got.size()), 1);
}

QTEST_GUILESS_MAIN(TstWorker)
#include "tst_worker.moc"
