#include "reader/delay.h"

#include <chrono>
#include <mutex>
#include <thread>

namespace Delay {
namespace {
std::mutex hookMutex;
Hook currentHook;
} // namespace

void Sleep(unsigned ms)
{
    Hook hook;
    {
        std::lock_guard lock(hookMutex);
        hook = currentHook;
    }
    if (hook)
        hook(ms);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void SetHook(Hook hook)
{
    std::lock_guard lock(hookMutex);
    currentHook = std::move(hook);
}

} // namespace Delay
