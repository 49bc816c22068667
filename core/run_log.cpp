#include "core/run_log.h"

#include "core/config.h"
#include "core/host_link.h"
#include "core/app_directory.h"
#include "core/path_text.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/named_lock.h"

#include <cwchar>

namespace rk {

std::wstring formatLogLine(const std::wstring& text, int year, int month, int day, int hour, int minute, int second)
{
    wchar_t stamp[40];
    std::swprintf(stamp, 40, L"[%04d-%02d-%02d %02d:%02d:%02d]", year, month, day, hour, minute, second);
    return stamp + text;
}

std::wstring logFilePath()
{
    std::wstring name = config::read(L"RenewKit", L"Log");
    if (name.empty())
        return {};
    // Always relative: a value with a drive letter gives a path that cannot open.
    return collapseBackslashes(applicationDirectory() + L"\\" + name);
}

void logLine(const std::wstring& text)
{
    try {
        logLineToWindows(text);
        std::wstring path = logFilePath();
        if (path.empty())
            return;
        NamedLockGuard lock(locks::kRunLog);
        LocalTime t = localTimeNow();
        std::wstring line = formatLogLine(text, t.year, t.month, t.day, t.hour, t.minute, t.second) + L"\r\n";
        appendFileBytes(path, wideToBytes(line, kCodePageThreadAnsi));
    } catch (...) {
        // Logging must never take a stage down with it.
    }
}

void statusAndLog(void* window, const std::wstring& text)
{
    sendStatusText(window, text);
    logLine(text);
}

} // namespace rk
