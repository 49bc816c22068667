#pragma once
// Processes, their modules and top-level windows: the system calls that process
// and window finding rests on, one thin call each.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace rk {

std::uint32_t currentProcessId();

// EnumProcesses into a buffer of `capacity` identifiers; out holds what was returned.
bool enumProcessIds(std::vector<std::uint32_t>& out, size_t capacity);
// OpenProcess with PROCESS_QUERY_INFORMATION | PROCESS_VM_READ; 0 when refused.
std::uintptr_t openProcessForQuery(std::uint32_t pid);
void closeProcessHandle(std::uintptr_t process);
// EnumProcessModules into a buffer of `capacity` modules.
bool enumProcessModules(std::uintptr_t process, std::vector<std::uintptr_t>& out, size_t capacity);
// GetModuleFileNameExW into 260 characters; empty on failure.
std::wstring processModuleFileName(std::uintptr_t process, std::uintptr_t module);

// EnumWindows; the step returns false to stop.
void enumTopLevelWindows(const std::function<bool(void*)>& step);
bool windowHasVisibleStyle(void* window); // GWL_STYLE has WS_VISIBLE
std::uint32_t windowProcessId(void* window);
void* windowParent(void* window);
bool isWindowHandle(void* window);
// SendMessageTimeoutW(WM_QUERYENDSESSION, SMTO_ABORTIFHUNG); true when the reply is not 0.
bool windowAcceptsEndSession(void* window, unsigned timeoutMs);
void postCloseAndQuit(void* window); // WM_CLOSE, then WM_QUIT
// Opens with SYNCHRONIZE | PROCESS_TERMINATE, waits up to waitMs, then ends it
// with exit code 0. False when the process could not be opened.
bool waitThenTerminate(std::uint32_t pid, unsigned waitMs);

} // namespace rk
