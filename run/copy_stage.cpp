#include "run/copy_stage.h"

#include "core/config.h"
#include "core/settings.h"
#include "download/entry_fetch.h"
#include "install/apply_update.h"
#include "list/update_list.h"
#include "platform/system.h"
#include "platform/window_messages.h"
#include "run/stage_report.h"

#include <mutex>

namespace rk {
namespace {

constexpr int kCancelButton = 2;

std::mutex g_listFileLock; // guards g_listFile
std::wstring g_listFile;

bool refetchList(const std::wstring& destination)
{
    const std::wstring url = SettingsTable::instance().get(std::wstring(props::kDownPrefix) + destination);
    if (url.empty())
        return false;
    // The list file's own fetch: its zipped variant as ListFileZip says, then the plain file.
    return downloadEntry(nullptr, -1, url, destination);
}

} // namespace

void setCurrentListFile(const std::wstring& path)
{
    std::lock_guard<std::mutex> hold(g_listFileLock);
    g_listFile = path;
}

std::wstring currentListFile()
{
    std::lock_guard<std::mutex> hold(g_listFileLock);
    return g_listFile.empty() ? config::listKeyPath(L".xml") : g_listFile;
}

void runCopyStage(WindowHandle window)
{
    if (!isExistingWindow(reinterpret_cast<std::uintptr_t>(window)))
        window = nullptr;
    DownLoadList& list = DownLoadList::shared();
    if (list.stage() != UpdateCheckLocalOk)
        return;
    reportStage(UpdateCopy, window);
    ComApartment com;
    if (window)
        enableParentControl(window, kCancelButton, false);
    CopyStageInput input;
    input.tempListFolder = config::listKeyPath(L"");
    input.listFile = currentListFile();
    input.refetchList = refetchList;
    // A file left out is a failed update, not a completed one.
    const bool complete = applyUpdate(window, list, input);
    reportStage(complete ? UpdateCopyOk : UpdateCopyError, window);
    if (complete && !list.probeVersion.empty())
        config::write(L"APPLICATION", L"Ver", list.probeVersion);
    if (window)
        enableParentControl(window, kCancelButton, true);
}

} // namespace rk
