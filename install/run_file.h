#pragma once
// Starting a program of the list, of a hook or of the host: resolved against the
// application directory, shown, optionally waited for. Reports nothing back.

#include <string>

namespace rk {

void runFile(const std::wstring& file, const std::wstring& workingFolder, const std::wstring& parameters,
             void* statusWindow, bool wait);

} // namespace rk
