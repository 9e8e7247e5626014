#include "reader/Rivlink_h.h"

#include <atomic>

namespace {
std::atomic<TRivlinkLibrary *> boundLibrary{nullptr};
}

TRivlinkLibrary *Rivlink()
{
    return boundLibrary.load();
}

void BindRivlink(TRivlinkLibrary *library)
{
    boundLibrary.store(library);
}
