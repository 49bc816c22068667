#pragma once
// Starting programs through the shell.

#include "platform/handles.h"

#include <string>

namespace rk {

struct ShellStart {
    bool started = false;
    UniqueHandle process; // may be empty even when started (a document opened by a running program)
};

// ShellExecuteExW with the default verb (or the given one), shown as showCommand.
ShellStart shellStart(const std::wstring& file, const std::wstring& parameters, const std::wstring& workingFolder,
                      int showCommand, const wchar_t* verb = nullptr);

// Waits for the process with the longest finite time-out the system takes.
void waitForProcess(const UniqueHandle& process);

// Lets the new process take the foreground and activates its first visible window.
void bringProcessToFront(const UniqueHandle& process);

} // namespace rk
