// Writes N run-log lines into an application directory, for the test of two
// processes logging at once: log_writer APPDIR N TAG
#include "core/run_log.h"
#include "core/app_directory.h"

#include <cwchar>
#include <string>
#include <windows.h>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4)
        return 2;
    rk::setApplicationDirectory(argv[1]);
    int lines = static_cast<int>(std::wcstol(argv[2], nullptr, 10));
    for (int i = 0; i < lines; ++i)
        rk::logLine(std::wstring(L"writer ") + argv[3] + L" line " + std::to_wstring(i) + L" " +
                    std::wstring(200, L'x'));
    return 0;
}
