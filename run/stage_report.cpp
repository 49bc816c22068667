#include "run/stage_report.h"

#include "core/config.h"
#include "install/run_file.h"
#include "list/update_list.h"

namespace rk {

void runStageHooks(const std::wstring& name, WindowHandle statusWindow)
{
    std::wstring noWait = config::read(L"UpdateEvent", name);
    if (!noWait.empty())
        runFile(noWait, L"", L"", statusWindow, false);
    std::wstring withWait = config::read(L"UpdateEventWaitClose", name);
    if (!withWait.empty())
        runFile(withWait, L"", L"", statusWindow, true);
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
