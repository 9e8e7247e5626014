#pragma once

#include <functional>

// Every fixed wait of the card sequences, reader discovery and the card worker goes
// through Delay::Sleep, so tests can record the requested waits instead of sleeping.
namespace Delay {

using Hook = std::function<void(unsigned ms)>;

// Waits ms milliseconds, or hands the request to the installed hook.
void Sleep(unsigned ms);

// Installs a hook that receives every request instead of sleeping; an empty hook
// restores real sleeping. Install it before any thread that sleeps is running.
void SetHook(Hook hook);

} // namespace Delay
