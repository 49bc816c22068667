#pragma once
// Starting a program of the list, of a hook or of the host: resolved against the
// application directory, shown, optionally waited for.

#include <string>

namespace rk {

// False when the file does not exist (nothing is shown then). An ".xml" file is
// run as a task file; `wait` has no effect on it.
bool runFile(const std::wstring& file, const std::wstring& workingFolder, const std::wstring& parameters,
             void* statusWindow, bool wait);

} // namespace rk
