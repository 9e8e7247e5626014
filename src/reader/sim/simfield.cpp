#include "reader/sim/simfield.h"

bool TSimField::PutCard(const TSimCard &card)
{
    std::lock_guard lock(fMutex);
    if (fCard)
        return false;
    fCard = card;
    fCard->LeaveField(); // a card arrives unpowered: idle, not halted
    return true;
}

std::optional<TSimCard> TSimField::TakeCard()
{
    std::lock_guard lock(fMutex);
    std::optional<TSimCard> card = std::move(fCard);
    fCard.reset();
    if (card)
        card->LeaveField();
    return card;
}

bool TSimField::HasCard() const
{
    std::lock_guard lock(fMutex);
    return fCard.has_value();
}

std::optional<TSimCard> TSimField::Card() const
{
    std::lock_guard lock(fMutex);
    return fCard;
}

void TSimField::SetChangeHook(ChangeHook hook)
{
    std::lock_guard lock(fMutex);
    fHook = std::move(hook);
}

TSimResult TSimField::Command(const std::function<TSimResult(TSimCard &card)> &op)
{
    std::optional<TSimCard> changed;
    ChangeHook hook;
    TSimResult result;
    {
        std::lock_guard lock(fMutex);
        if (!fCard)
            return TSimResult::NoCard;
        const uint64_t revision = fCard->Revision();
        result = op(*fCard);
        if (fCard->Revision() != revision && fHook) {
            changed = fCard;
            hook = fHook;
        }
    }
    if (changed)
        hook(*changed);
    return result;
}
