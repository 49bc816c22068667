#include "install/run_file.h"

#include "core/host_link.h"
#include "core/language.h"
#include "core/run_log.h"
#include "core/path_macros.h"
#include "core/path_text.h"
#include "install/task_file.h"
#include "platform/files.h"
#include "platform/shell_run.h"

namespace rk {
namespace {

constexpr int kShowNormal = 5; // SW_SHOW

} // namespace

bool runFile(const std::wstring& file, const std::wstring& workingFolder, const std::wstring& parameters,
             void* statusWindow, bool wait)
{
    const std::wstring path = resolvePath(file);
    const std::wstring lower = toLower(path);
    if (lower.size() > 4 && lower.compare(lower.size() - 4, 4, L".xml") == 0) {
        if (!fileExists(path))
            return false;
        runTaskFile(path, statusWindow);
        return true;
    }
    const size_t slash = path.rfind(L'\\');
    std::wstring folder = workingFolder;
    if (folder.empty() && slash != std::wstring::npos)
        folder = path.substr(0, slash);
    std::wstring text = tr(L"Run file") + L"[" + (slash == std::wstring::npos ? path : path.substr(slash + 1)) + L"]";
    if (!parameters.empty())
        text += L"[" + parameters + L"]";
    if (!fileExists(path))
        return false;
    sendStatusText(statusWindow, text);
    logLine(text);
    ShellStart start = shellStart(path, parameters, folder, kShowNormal);
    if (wait)
        waitForProcess(start.process);
    if (start.started)
        bringProcessToFront(start.process);
    return true;
}

} // namespace rk
