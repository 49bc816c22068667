#pragma once
// The updater's command line: normalisation, mode words, the host window
// handle, the relaunch marker and the .NET switches.

#include <cstdint>
#include <functional>
#include <string>

namespace rk {

// Lower case, quotes removed, every occurrence of the updater's own path
// (lower-cased) removed, blanks trimmed.
std::wstring normalizeCommandLine(const std::wstring& raw, const std::wstring& ownExePath);

// The part of the normalised line whose words choose the mode and the host
// window: without the updater's real path, which stays in the line when the
// updater runs from a folder other than the application's. A number in its
// name ("update-2.exe") is no window handle.
std::wstring modeWords(const std::wstring& normalized, const std::wstring& modulePath);

// The first .NET switch (in the order 1.0 ... 4.0) found at a position above 0;
// its version text ("2.0"), or empty.
std::wstring dotNetSwitch(const std::wstring& normalized);

struct ModeChoice {
    std::wstring mode;             // lower case, trimmed
    std::uintptr_t hostWindow = 0; // 0 when none was given
};

// Splits at blanks, "-" and "/", lets the last mode word and the last existing
// window handle win; defaultMode stands when no word names a mode.
ModeChoice chooseMode(const std::wstring& normalized, const std::wstring& defaultMode,
                      const std::function<bool(std::uintptr_t)>& isWindow);

// The mode that a word names, or empty.
std::wstring modeOfWord(const std::wstring& word);

} // namespace rk
