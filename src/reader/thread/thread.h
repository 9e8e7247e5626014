#pragma once

// The card worker: one thread that watches the reader's field and runs the card
// operation the current dialog asked for, reporting the outcome with posted events.
//
// How a dialog drives it (on the window thread):
//
//     mfrcthread->hwnd = this;                      // the QObject that receives the events
//     mfrcthread->profile0 = profile;               // profile whose card operation runs
//     mfrcthread->profile1 = nullptr;               // second profile (master card, move)
//     mfrcthread->cardnumber = number;              // number to write, where needed
//     mfrcthread->ismaster = 0;
//     mfrcthread->threadaction = TA_WRITE_CARD;     // exactly one action bit
//     mfrcthread->Resume();
//     ...
//     bool TfrmCard::event(QEvent *e)               // or customEvent(QEvent *)
//     {
//         if (e->type() == CARD_PROCESSED) {
//             auto *ce = static_cast<TCardEvent *>(e);
//             const int64_t uid = mfrcthread->serial; // set before the event was posted
//             ...
//         }
//         return QDialog::event(e);
//     }
//     ...
//     mfrcthread->Suspend();                        // when hidden, or while showing a result
//
// The worker never clears a request: it repeats it for every new card until paused.

#include "profiles/secprofiles.h"

#include <QEvent>
#include <QMetaObject>
#include <QObject>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>

// Action bits of Tmfrcthread::threadaction; a dialog sets exactly one.
constexpr int32_t TA_ERASE = 0x01;          // profile0->EraseCard
constexpr int32_t TA_WRITE_CARD = 0x02;     // profile0->WriteCard with cardnumber
constexpr int32_t TA_WRITE_MASTER = 0x04;   // profile0->WriteMaster(profile1, ..., cardnumber)
constexpr int32_t TA_REWRITE = 0x08;        // profile0->ReWriteCard(profile1, ..., cardnumber)
constexpr int32_t TA_PREPARE_READER = 0x10; // profile0->PrepareReader, needs no card
constexpr int32_t TA_READ_CARD = 0x20;      // ReadCard, selects the card itself

// Event types posted to hwnd (application-defined codes 1024 + 1 .. 1024 + 6).
constexpr QEvent::Type CARD_DETECTED = QEvent::Type(1025);  // a card lay on the reader at first run
constexpr QEvent::Type CARD_PROCESSED = QEvent::Type(1026); // the requested action succeeded
constexpr QEvent::Type CARD_PROCESS_ERROR = QEvent::Type(1027); // erase/write/master/move failed
constexpr QEvent::Type CARD_NUM_ERROR = QEvent::Type(1028);     // never posted by the worker
constexpr QEvent::Type CARD_WRITE_ERROR = QEvent::Type(1029);   // reader programming failed
constexpr QEvent::Type CARD_READ_ERROR = QEvent::Type(1030);    // card read failed

// One worker event: its code (type()) and two parameters.
// For CARD_PROCESSED after TA_READ_CARD, wParam() is the address of the read's TCradIds
// (the same as Ids()), a copy owned by the event and valid while it is being handled;
// otherwise wParam() is 0. lParam() is always 0.
class TCardEvent : public QEvent
{
public:
    TCardEvent(QEvent::Type code, quintptr wParam = 0, qintptr lParam = 0);
    // An event that carries the result of a card read; wParam points at its copy.
    TCardEvent(QEvent::Type code, const TCradIds &ids);
    ~TCardEvent() override;
    // A copy whose wParam points at the copy's own card read.
    TCardEvent *clone() const override;

    int Code() const { return int(type()); }
    quintptr wParam() const;
    qintptr lParam() const;
    // The card read carried by the event, or nullptr.
    const TCradIds *Ids() const;
    // The worker's serial and cardnumber as they were when it posted the event: the card
    // the event is about, even when the worker has taken up another card before the
    // event is handled. 0 for events that were not posted by the worker.
    int64_t Serial() const;
    int64_t CardNumber() const;
    void SetCard(int64_t serial, int64_t cardnumber);

private:
    quintptr fWParam = 0;
    qintptr fLParam = 0;
    int64_t fSerial = 0;
    int64_t fCardNumber = 0;
    bool fHasIds = false;
    TCradIds fIds;
};

// The receiver of the worker's events. Assign a QObject* (usually the dialog, `this`);
// the events are posted to it with QCoreApplication::postEvent. Once the object is
// destroyed the target is cleared, and events for it are dropped instead of posted.
class TEventTarget
{
public:
    TEventTarget() = default;
    ~TEventTarget();
    TEventTarget(const TEventTarget &) = delete;
    TEventTarget &operator=(const TEventTarget &) = delete;

    TEventTarget &operator=(QObject *target);
    QObject *get() const;
    explicit operator bool() const { return get() != nullptr; }

    // Posts the event to the target, or deletes it when there is none; true when posted.
    bool Post(TCardEvent *event);
    // Posts the event to window, a target assigned at some time, as long as that window
    // exists, whether or not it is still the target; otherwise deletes it. True when
    // posted. The worker takes get() together with a request and reports that request
    // with PostTo: the outcome reaches the window that asked for it, never a window that
    // has taken the worker over while the operation ran.
    bool PostTo(QObject *window, TCardEvent *event);

private:
    mutable std::mutex fLock;
    QObject *fTarget = nullptr;
    // Every window assigned so far that still exists, with its destroyed connection.
    std::map<QObject *, QMetaObject::Connection> fKnown;
};

// The card worker thread. Created paused; Resume() starts or continues it.
class Tmfrcthread
{
public:
    Tmfrcthread();
    // Asks the worker to stop, wakes it if paused and joins it.
    ~Tmfrcthread();
    Tmfrcthread(const Tmfrcthread &) = delete;
    Tmfrcthread &operator=(const Tmfrcthread &) = delete;

    // Request fields, written by the window thread (as a rule while paused).
    TEventTarget hwnd;                            // receives every event
    std::atomic<TSecProfile *> profile0{nullptr}; // not owned
    std::atomic<TSecProfile *> profile1{nullptr}; // not owned
    std::atomic<int32_t> threadaction{0};         // TA_* bits; read at every cycle
    std::atomic<int64_t> cardnumber{0}; // number to write; after a move, the card's number
    std::atomic<int64_t> serial{0};     // UID of the card just selected, little-endian
    std::atomic<int32_t> ismaster{0};   // read back by the dialogs; the worker ignores it

    // Pauses the worker at its next wait; a pause on a paused worker does nothing.
    void Suspend();
    // Sets the worker running (the first resume also runs the first-run card check).
    void Resume();
    // True when a pause has been asked for (and no resume since).
    bool Suspended() const;
    // True while the worker is actually held by a pause (it makes no reader call then).
    bool IsBlocked() const;
    // Asks the worker to finish; a paused worker is woken to do so.
    void Terminate();
    bool Terminated() const { return fTerminated.load(); }
    // Waits until the worker thread has returned (Terminate first).
    void WaitFor();

    // The worker's own record of the last card read (worker thread only; the window
    // thread takes the read from the CARD_PROCESSED event).
    TCradIds CradIds;

private:
    void Execute();
    void FirstRun();
    void Cycle();
    // A fixed wait of the cycle; a pending pause takes effect here. False once terminated.
    bool Wait(unsigned ms);
    // Blocks while paused; false once terminated.
    bool PauseGate();
    // Events for the window whose request they report.
    void PostEvent(QObject *target, QEvent::Type code);
    void PostReadEvent(QObject *target, const TCradIds &ids);
    bool SelectCard();

    mutable std::mutex fStateLock;
    std::condition_variable fStateChanged;
    bool fPaused = true;
    bool fBlocked = false;
    std::atomic<bool> fTerminated{false};

    uint8_t fUid[10] = {};
    uint8_t fUidLen = 0;

    std::thread fThread;
};

// The program's one worker; null until CreateMfrcThread.
extern Tmfrcthread *mfrcthread;

// Creates mfrcthread, paused. Called once at start, before any window exists.
void CreateMfrcThread();
// Stops mfrcthread (waking it if paused), joins and frees it. Called at exit before the
// database is closed; safe to call when it was never created.
void FreeMfrcThread();
