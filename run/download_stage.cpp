#include "run/download_stage.h"

#include "download/delta_fetch.h"
#include "download/download_scheduler.h"
#include "run/stage_report.h"

namespace rk {

bool runDownloadPass(WindowHandle window)
{
    return DownloadScheduler::instance().runPass(window, [&](std::int32_t s) { reportStage(s, window); });
}

long downloadDoneCount() { return DownloadScheduler::instance().doneCount(); }

void resetDownloadRun()
{
    DownloadScheduler::instance().resetRun();
    forgetDeltaAttempts();
}

} // namespace rk
