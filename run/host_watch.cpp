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
        if (watch.asksExitWhenGone(host) && !watch.exists(host))
            return false;
        if (!watch.asksPause(host))
            return true;
        watch.sleep(100);
    }
}

} // namespace rk
