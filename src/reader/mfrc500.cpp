#include "reader/mfrc500.h"

#include <atomic>

namespace {
std::atomic<TMfrc500Library *> boundLibrary{nullptr};
}

TMfrc500Library *Mfrc500()
{
    return boundLibrary.load();
}

void BindMfrc500(TMfrc500Library *library)
{
    boundLibrary.store(library);
}
