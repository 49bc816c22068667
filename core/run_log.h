#pragma once
// The run log: one append-only line per step, in the thread's ANSI code page,
// "[YYYY-mm-dd HH:MM:SS]text" CR LF. Every line also goes to the host windows.
// Callable from any thread; never fails (a line that cannot be written is lost).

#include <string>

namespace rk {

void logLine(const std::wstring& text);

// The two reports of a step: the status text to one window (none when null)
// and the same text as a line of the run log.
void statusAndLog(void* window, const std::wstring& text);

// The line as written, without its CR LF; exposed for tests.
std::wstring formatLogLine(const std::wstring& text, int year, int month, int day, int hour, int minute, int second);

// Path of the log file: application directory + [RenewKit] Log; empty when no log.
std::wstring logFilePath();

} // namespace rk
