#pragma once

#include "reader/sim/simcard.h"

#include <functional>
#include <mutex>
#include <optional>

// The RF field shared by the simulated readers: at most one card at a time, put on and
// taken off by the caller. Thread-safe: the card worker calls the readers (and through
// them Command) while the window thread puts cards on or takes them off.
class TSimField
{
public:
    // Called after every change of the memory of the card in the field, with a copy of
    // the card as it is now (e.g. to rewrite the card's .mfd file). It runs on the thread
    // that made the change, outside the field's lock; it may call the field, but must not
    // call the simulated readers.
    using ChangeHook = std::function<void(const TSimCard &card)>;

    // Puts a card into the field; false (and nothing changes) when one is already there.
    // The card enters powered up, idle and not halted.
    bool PutCard(const TSimCard &card);
    // Takes the card out of the field (it loses power: halt state and authentication are
    // forgotten). nullopt when the field is empty.
    std::optional<TSimCard> TakeCard();
    bool HasCard() const;
    // A copy of the card in the field, in its current protocol state.
    std::optional<TSimCard> Card() const;

    void SetChangeHook(ChangeHook hook);

    // Runs op on the card in the field under the lock; NoCard when the field is empty.
    // Calls the change hook afterwards when the card's memory changed.
    TSimResult Command(const std::function<TSimResult(TSimCard &card)> &op);

private:
    mutable std::mutex fMutex;
    std::optional<TSimCard> fCard;
    ChangeHook fHook;
};
