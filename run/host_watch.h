#pragma once
// The silent run's wait between steps: while the host window asks for a pause
// the run waits in 100 ms steps; when the host window is gone and asked for
// it, the run ends. The window tests and the sleep are replaceable for tests.

#include "platform/window_messages.h"

#include <functional>

namespace rk {

struct HostWatch {
    std::function<bool(WindowHandle)> exists;
    std::function<bool(WindowHandle)> asksPause;
    std::function<bool(WindowHandle)> asksExitWhenGone;
    std::function<void(unsigned milliseconds)> sleep;
};

// The real window properties and the counted sleep.
HostWatch systemHostWatch();

// Returns false when the run must end (the host is gone and asked for that),
// true when it may go on. A null host never waits.
bool waitWhilePaused(WindowHandle host, const HostWatch& watch);

} // namespace rk
