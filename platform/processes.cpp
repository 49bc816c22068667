#include "platform/processes.h"

#include "platform/handles.h"

#include <psapi.h>

namespace rk {
namespace {

BOOL CALLBACK forwardWindow(HWND window, LPARAM param)
{
    auto* step = reinterpret_cast<const std::function<bool(void*)>*>(param);
    try {
        return (*step)(window) ? TRUE : FALSE;
    } catch (...) {
        return FALSE;
    }
}

} // namespace

std::uint32_t currentProcessId() { return ::GetCurrentProcessId(); }

bool enumProcessIds(std::vector<std::uint32_t>& out, size_t capacity)
{
    std::vector<DWORD> ids(capacity);
    DWORD bytes = 0;
    out.clear();
    if (!::EnumProcesses(ids.data(), static_cast<DWORD>(capacity * sizeof(DWORD)), &bytes))
        return false;
    out.assign(ids.begin(), ids.begin() + bytes / sizeof(DWORD));
    return true;
}

std::uintptr_t openProcessForQuery(std::uint32_t pid)
{
    return reinterpret_cast<std::uintptr_t>(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
}

void closeProcessHandle(std::uintptr_t process)
{
    if (process)
        ::CloseHandle(reinterpret_cast<HANDLE>(process));
}

bool enumProcessModules(std::uintptr_t process, std::vector<std::uintptr_t>& out, size_t capacity)
{
    out.clear();
    if (!process)
        return false;
    std::vector<HMODULE> modules(capacity);
    DWORD bytes = 0;
    if (!::EnumProcessModules(reinterpret_cast<HANDLE>(process), modules.data(),
                              static_cast<DWORD>(capacity * sizeof(HMODULE)), &bytes))
        return false;
    size_t count = bytes / sizeof(HMODULE);
    if (count > capacity)
        count = capacity;
    for (size_t i = 0; i < count; ++i)
        out.push_back(reinterpret_cast<std::uintptr_t>(modules[i]));
    return true;
}

std::wstring processModuleFileName(std::uintptr_t process, std::uintptr_t module)
{
    wchar_t name[260] = {};
    DWORD length =
        ::GetModuleFileNameExW(reinterpret_cast<HANDLE>(process), reinterpret_cast<HMODULE>(module), name, 260);
    return std::wstring(name, length);
}

void enumTopLevelWindows(const std::function<bool(void*)>& step)
{
    ::EnumWindows(forwardWindow, reinterpret_cast<LPARAM>(&step));
}

bool windowHasVisibleStyle(void* window)
{
    return (::GetWindowLongW(static_cast<HWND>(window), GWL_STYLE) & WS_VISIBLE) != 0;
}

std::uint32_t windowProcessId(void* window)
{
    DWORD pid = 0;
    ::GetWindowThreadProcessId(static_cast<HWND>(window), &pid);
    return pid;
}

void* windowParent(void* window) { return ::GetParent(static_cast<HWND>(window)); }

bool isWindowHandle(void* window) { return ::IsWindow(static_cast<HWND>(window)) != FALSE; }

bool windowAcceptsEndSession(void* window, unsigned timeoutMs)
{
    DWORD_PTR reply = 0;
    LRESULT sent =
        ::SendMessageTimeoutW(static_cast<HWND>(window), WM_QUERYENDSESSION, 0, 0, SMTO_ABORTIFHUNG, timeoutMs, &reply);
    return sent != 0 && reply != 0;
}

void postCloseAndQuit(void* window)
{
    ::PostMessageW(static_cast<HWND>(window), WM_CLOSE, 0, 0);
    ::PostMessageW(static_cast<HWND>(window), WM_QUIT, 0, 0);
}

bool waitThenTerminate(std::uint32_t pid, unsigned waitMs)
{
    UniqueHandle process(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid));
    if (!process)
        return false;
    if (::WaitForSingleObject(process.get(), waitMs) != WAIT_OBJECT_0)
        ::TerminateProcess(process.get(), 0);
    return true;
}

} // namespace rk
