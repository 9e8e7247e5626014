#include "reader/thread/thread.h"

#include "reader/Rivlink_h.h"
#include "reader/delay.h"
#include "reader/mfrc500.h"
#include "reader/readerkind.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstring>

Tmfrcthread *mfrcthread = nullptr;

namespace {

// The event carries its parameters from the worker to the window thread. The hand-over
// inside the event queue is Qt's own; this release/acquire pair states it in terms that
// the thread checker sees as well (it costs one atomic operation per event).
std::atomic<unsigned> eventHandOver{0};

void Published()
{
    eventHandOver.fetch_add(1, std::memory_order_release);
}

void Received()
{
    (void)eventHandOver.load(std::memory_order_acquire);
}

// The cycle's fixed waits, in milliseconds.
constexpr unsigned CycleStartWait = 100;
constexpr unsigned IdleWait = 50;
constexpr unsigned CycleEndWait = 5;

// Statuses of ReadCard and PrepareReader are compared on their low 16 bits.
bool NoCardStatus(int32_t status)
{
    return uint16_t(status) == 0xFFFF;
}

bool SuccessStatus(int32_t status)
{
    return uint16_t(status) == 0;
}

} // namespace

// ---------------------------------------------------------------------------------------
// TCardEvent

TCardEvent::TCardEvent(QEvent::Type code, quintptr wParam, qintptr lParam)
    : QEvent(code), fWParam(wParam), fLParam(lParam)
{
    Published();
}

TCardEvent::TCardEvent(QEvent::Type code, const TCradIds &ids)
    : QEvent(code), fLParam(0), fHasIds(true), fIds(ids)
{
    fWParam = reinterpret_cast<quintptr>(&fIds);
    Published();
}

TCardEvent::~TCardEvent()
{
    Received();
}

TCardEvent *TCardEvent::clone() const
{
    Received();
    TCardEvent *copy =
        fHasIds ? new TCardEvent(type(), fIds) : new TCardEvent(type(), fWParam, fLParam);
    copy->SetCard(fSerial, fCardNumber);
    return copy;
}

quintptr TCardEvent::wParam() const
{
    Received();
    return fWParam;
}

qintptr TCardEvent::lParam() const
{
    Received();
    return fLParam;
}

const TCradIds *TCardEvent::Ids() const
{
    Received();
    return fHasIds ? &fIds : nullptr;
}

int64_t TCardEvent::Serial() const
{
    Received();
    return fSerial;
}

int64_t TCardEvent::CardNumber() const
{
    Received();
    return fCardNumber;
}

void TCardEvent::SetCard(int64_t serial, int64_t cardnumber)
{
    fSerial = serial;
    fCardNumber = cardnumber;
    Published();
}

// ---------------------------------------------------------------------------------------
// TEventTarget

TEventTarget::~TEventTarget()
{
    std::lock_guard lock(fLock);
    for (auto &known : fKnown)
        QObject::disconnect(known.second);
    fKnown.clear();
}

TEventTarget &TEventTarget::operator=(QObject *target)
{
    std::lock_guard lock(fLock);
    fTarget = target;
    if (target && fKnown.find(target) == fKnown.end()) {
        // Runs on the thread that destroys the window, before Qt discards the events
        // still queued for it: once it has taken the lock no further event is posted.
        fKnown[target] = QObject::connect(target, &QObject::destroyed, [this, target] {
            std::lock_guard lock(fLock);
            fKnown.erase(target);
            if (fTarget == target)
                fTarget = nullptr;
        });
    }
    return *this;
}

QObject *TEventTarget::get() const
{
    std::lock_guard lock(fLock);
    return fTarget;
}

bool TEventTarget::Post(TCardEvent *event)
{
    std::lock_guard lock(fLock);
    if (fTarget) {
        QCoreApplication::postEvent(fTarget, event);
        return true;
    }
    delete event;
    return false;
}

bool TEventTarget::PostTo(QObject *window, TCardEvent *event)
{
    std::lock_guard lock(fLock);
    if (window && fKnown.find(window) != fKnown.end()) {
        QCoreApplication::postEvent(window, event);
        return true;
    }
    delete event;
    return false;
}

// ---------------------------------------------------------------------------------------
// Tmfrcthread

Tmfrcthread::Tmfrcthread() : fThread([this] { Execute(); }) {}

Tmfrcthread::~Tmfrcthread()
{
    Terminate();
    WaitFor();
}

void Tmfrcthread::Suspend()
{
    std::lock_guard lock(fStateLock);
    fPaused = true;
}

void Tmfrcthread::Resume()
{
    {
        std::lock_guard lock(fStateLock);
        fPaused = false;
    }
    fStateChanged.notify_all();
}

bool Tmfrcthread::Suspended() const
{
    std::lock_guard lock(fStateLock);
    return fPaused;
}

void Tmfrcthread::Terminate()
{
    {
        std::lock_guard lock(fStateLock);
        fTerminated.store(true);
    }
    fStateChanged.notify_all();
}

void Tmfrcthread::WaitFor()
{
    if (fThread.joinable() && fThread.get_id() != std::this_thread::get_id())
        fThread.join();
}

bool Tmfrcthread::IsBlocked() const
{
    std::lock_guard lock(fStateLock);
    return fBlocked;
}

bool Tmfrcthread::PauseGate()
{
    std::unique_lock lock(fStateLock);
    fBlocked = true;
    fStateChanged.wait(lock, [this] { return !fPaused || fTerminated.load(); });
    fBlocked = false;
    return !fTerminated.load();
}

bool Tmfrcthread::Wait(unsigned ms)
{
    if (!PauseGate())
        return false;
    Delay::Sleep(ms);
    return PauseGate();
}

void Tmfrcthread::PostEvent(QObject *target, QEvent::Type code)
{
    auto *event = new TCardEvent(code);
    event->SetCard(serial.load(), cardnumber.load());
    hwnd.PostTo(target, event);
}

void Tmfrcthread::PostReadEvent(QObject *target, const TCradIds &ids)
{
    hwnd.PostTo(target, new TCardEvent(CARD_PROCESSED, ids));
}

void Tmfrcthread::Execute()
{
    // Created paused: the first resume starts the run.
    if (!PauseGate())
        return;
    FirstRun();
    do {
        Cycle();
    } while (!fTerminated.load());
}

void Tmfrcthread::FirstRun()
{
    // A card already lying on the reader is halted and reported once, so that it is
    // processed only after it has been presented anew.
    QObject *const target = hwnd.get();
    int32_t status = -1;
    uint8_t uid[10] = {};
    uint8_t uidLen = 0;
    switch (ReaderKind.load()) {
    case READER_ALTO:
        if (TMfrc500Library *lib = Mfrc500()) {
            uint8_t atq[2] = {};
            uint8_t sak = 0;
            status = lib->Mf500PiccActivateIdle(0, atq, &sak, uid, &uidLen);
            if (status == 0)
                lib->Mf500PiccHalt();
        }
        break;
    case READER_NOVA:
        if (TRivlinkLibrary *lib = Rivlink()) {
            uint8_t sak = 0;
            uint8_t atqa[4] = {};
            status = lib->ActivateCardA3(&uidLen, uid, &sak, atqa);
            if (status == 0)
                lib->HaltA();
        }
        break;
    default:
        break;
    }
    if (status == 0)
        PostEvent(target, CARD_DETECTED);
}

bool Tmfrcthread::SelectCard()
{
    int32_t status = -1;
    fUidLen = 0;
    std::memset(fUid, 0, sizeof fUid);
    switch (ReaderKind.load()) {
    case READER_ALTO:
        if (TMfrc500Library *lib = Mfrc500()) {
            uint8_t atq[2] = {};
            uint8_t sak = 0;
            status = lib->Mf500PiccActivateIdle(0, atq, &sak, fUid, &fUidLen);
        }
        break;
    case READER_NOVA:
        if (TRivlinkLibrary *lib = Rivlink()) {
            uint8_t sak = 0;
            uint8_t atqa[4] = {};
            status = lib->ActivateCardA3(&fUidLen, fUid, &sak, atqa);
        }
        break;
    default:
        break;
    }
    return status == 0 && fUidLen != 0;
}

void Tmfrcthread::Cycle()
{
    if (!Wait(CycleStartWait))
        return;

    const int32_t action = threadaction.load();
    if (action == 0) {
        Wait(IdleWait);
        return;
    }
    // The window whose request this cycle carries out: the outcome is reported to it even
    // when another window takes the worker over while the operation runs.
    QObject *const target = hwnd.get();

    TSecProfile *profile = profile0.load();

    if (action & TA_READ_CARD) {
        // ReadCard takes sector and key from the reader, not from the profile.
        TSecProfile scratch;
        TSecProfile *reader = profile ? profile : &scratch;
        CradIds = TCradIds{};
        const int32_t status = reader->ReadCard(&CradIds);
        if (SuccessStatus(status))
            PostReadEvent(target, CradIds);
        else if (!NoCardStatus(status))
            PostEvent(target, CARD_READ_ERROR);
    } else if (action & TA_PREPARE_READER) {
        if (profile) {
            const int32_t status = profile->PrepareReader();
            if (SuccessStatus(status))
                PostEvent(target, CARD_PROCESSED);
            else if (!NoCardStatus(status))
                PostEvent(target, CARD_WRITE_ERROR);
        }
    } else if ((action & (TA_ERASE | TA_WRITE_CARD | TA_WRITE_MASTER | TA_REWRITE)) && profile &&
               SelectCard()) {
        // The UID as a little-endian number, wrapping in 64 bits.
        uint64_t value = 0;
        const int len = std::min<int>(fUidLen, int(sizeof fUid));
        for (int j = len - 1; j >= 0; --j)
            value = (value << 8) | fUid[j];
        serial.store(int64_t(value));

        TSerialNumber snr{};
        std::memcpy(snr.data(), fUid, std::min<size_t>(snr.size(), sizeof fUid));
        const uint8_t slen = fUidLen;

        auto report = [this, target](int32_t status) {
            PostEvent(target, status == 0 ? CARD_PROCESSED : CARD_PROCESS_ERROR);
        };
        // A request that names no second profile cannot be carried out on the card.
        constexpr int32_t NoSecondProfile = 0x100C1;

        if (action & TA_ERASE)
            report(profile->EraseCard(&snr, slen));
        if (action & TA_WRITE_CARD)
            report(profile->WriteCard(&snr, cardnumber.load(), slen));
        if (action & TA_WRITE_MASTER) {
            TSecProfile *target = profile1.load();
            report(target ? profile->WriteMaster(target, &snr, cardnumber.load(), slen)
                          : NoSecondProfile);
        }
        if (action & TA_REWRITE) {
            TSecProfile *target = profile1.load();
            if (target) {
                int64_t number = cardnumber.load();
                const int32_t status = profile->ReWriteCard(target, &snr, number, slen);
                // The number the card now carries; only a successful move has one.
                if (status == 0)
                    cardnumber.store(number);
                report(status);
            } else {
                report(NoSecondProfile);
            }
        }
    }

    Wait(CycleEndWait);
}

// ---------------------------------------------------------------------------------------

void CreateMfrcThread()
{
    if (!mfrcthread)
        mfrcthread = new Tmfrcthread;
}

void FreeMfrcThread()
{
    Tmfrcthread *worker = mfrcthread;
    mfrcthread = nullptr;
    delete worker;
}
