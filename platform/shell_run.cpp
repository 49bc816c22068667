#include "platform/shell_run.h"

#include <windows.h>
#include <shellapi.h>

namespace rk {
namespace {

struct FirstWindow {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK matchProcess(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<FirstWindow*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    if (pid == search->pid && ::IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

ShellStart shellStart(const std::wstring& file, const std::wstring& parameters, const std::wstring& workingFolder,
                      int showCommand, const wchar_t* verb)
{
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = verb;
    info.lpFile = file.c_str();
    info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
    info.lpDirectory = workingFolder.empty() ? nullptr : workingFolder.c_str();
    info.nShow = showCommand;
    ShellStart result;
    result.started = ::ShellExecuteExW(&info) != FALSE;
    if (result.started)
        result.process.reset(info.hProcess);
    return result;
}

void waitForProcess(const UniqueHandle& process)
{
    if (process)
        ::WaitForSingleObject(process.get(), 2147483647);
}

void bringProcessToFront(const UniqueHandle& process)
{
    if (!process)
        return;
    DWORD pid = ::GetProcessId(process.get());
    if (pid == 0)
        return;
    ::AllowSetForegroundWindow(pid);
    FirstWindow search{pid, nullptr};
    ::EnumWindows(matchProcess, reinterpret_cast<LPARAM>(&search));
    if (search.found) {
        ::SetForegroundWindow(search.found);
        ::SetActiveWindow(search.found);
    }
}

} // namespace rk
