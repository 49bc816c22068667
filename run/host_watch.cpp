#include "run/host_watch.h"

#include "core/host_link.h"
#include "platform/sleep.h"
#include "platform/window_text.h"

namespace rk {

HostWatch systemHostWatch()
{
    HostWatch watch;
    watch.exists = [](WindowHandle w) { return windowExists(w); };
    watch.asksPause = [](WindowHandle w) { return hostAsksPause(w); };
    watch.asksExitWhenGone = [](WindowHandle w) { return hostAsksExitWhenGone(w); };
    watch.sleep = [](unsigned ms) { sleepFor(ms); };
    return watch;
}

bool waitWhilePaused(WindowHandle host, const HostWatch& watch)
{
    if (!host)
        return true;
    for (;;) {
        // The pause is read before the window is looked for: a destroyed
        // window reads as not paused, so a window destroyed between the two
        // reads must be seen as gone, not as a lifted pause.
        const bool paused = watch.asksPause(host);
        if (watch.asksExitWhenGone(host) && !watch.exists(host))
            return false;
        if (!paused)
            return true;
        watch.sleep(100);
    }
}

} // namespace rk
