#include "run/stage_report.h"

#include "core/config.h"
#include "core/run_log.h"
#include "install/run_file.h"
#include "list/update_list.h"

namespace rk {

void runStageHooks(const std::wstring& name, WindowHandle statusWindow)
{
    // A hook is a program path alone: "notify.exe /x" names no file and is
    // skipped, which the log says so that the setting can be mended.
    std::wstring noWait = config::read(L"UpdateEvent", name);
    if (!noWait.empty() && !runFile(noWait, L"", L"", statusWindow, false))
        logLine(L"Hook skipped, no such file[" + name + L"=" + noWait + L"]");
    std::wstring withWait = config::read(L"UpdateEventWaitClose", name);
    if (!withWait.empty() && !runFile(withWait, L"", L"", statusWindow, true))
        logLine(L"Hook skipped, no such file[" + name + L"=" + withWait + L"]");
}

void reportStage(std::int32_t stage, WindowHandle payload)
{
    DownLoadList& list = DownLoadList::shared();
    sendStage(stage, list.count());
    list.setStage(stage);
    std::wstring name = stageName(stage);
    if (!name.empty())
        runStageHooks(name, payload);
}

void reportProgress(long completed) { sendProgress(completed, DownLoadList::shared().count()); }

} // namespace rk
