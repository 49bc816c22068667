// Signals a host window the way the updater does, from a process of its own:
//   rk_signal_probe APPDIR HWND status N | log TEXT | stage S | description N | progress N
// Lets the tests drive one signalling path at a time across two real processes.
#include "core/host_link.h"
#include "run/stage_report.h"
#include "core/app_directory.h"

#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 5)
        return 2;
    rk::setApplicationDirectory(argv[1]);
    void* host = reinterpret_cast<void*>(static_cast<std::uintptr_t>(std::wcstoull(argv[2], nullptr, 10)));
    rk::HostWindows::instance().add(host);
    const std::wstring what = argv[3];
    const long n = std::wcstol(argv[4], nullptr, 10);
    if (what == L"status")
        rk::sendStatusText(host, std::wstring(static_cast<size_t>(n), L's') + L"{zip}{process}", -1);
    else if (what == L"log")
        rk::logLineToWindows(argv[4]);
    else if (what == L"stage")
        rk::reportStage(n, nullptr);
    else if (what == L"description")
        rk::sendDescription(std::wstring(static_cast<size_t>(n), L'd'));
    else if (what == L"progress")
        rk::reportProgress(n);
    else
        return 2;
    rk::HostWindows::instance().clear();
    return 0;
}
