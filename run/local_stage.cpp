#include "run/local_stage.h"

#include "core/app_directory.h"
#include "core/config.h"
#include "core/language.h"
#include "core/process_state.h"
#include "core/run_log.h"
#include "install/local_check.h"
#include "list/update_list.h"
#include "platform/system.h"
#include "run/stage_report.h"

namespace rk {

void runLocalCheck(WindowHandle window)
{
    if (!isExistingWindow(reinterpret_cast<std::uintptr_t>(window)))
        window = nullptr;
    DownLoadList& list = DownLoadList::shared();
    const std::int32_t stage = list.stage();
    if (stage != UpdateDownloadOk && stage != UpdateCheckLocal)
        return;
    reportStage(UpdateCheckLocal, window);
    const bool ask = window != nullptr;
    testWritable(applicationDirectory() + config::kFileName);
    if (isElevated())
        clearAdminRequiredFiles();
    bool ok = true;
    if (adminRequiredFiles().empty())
        ok = checkLocalFiles(window, ask, list);
    if (isElevated())
        clearAdminRequiredFiles();
    if (adminRequiredFiles().empty()) {
        reportStage(ok ? UpdateCheckLocalOk : UpdateCheckLocalError, window);
        return;
    }
    reportStage(UpdateCheckLocalError, window);
    statusAndLog(window, tr(L"request administrator privileges to continue"));
}

} // namespace rk
