#pragma once
// Replaces the embedded configuration (RCDATA 179) of a built renewkit.exe, so
// a vendor deploys without rebuilding.

#include <string>

namespace rk::stamp {

// The INI bytes as the updater embeds them: UTF-8 text (with or without BOM)
// becomes GBK, other bytes are taken as already in the ANSI code page; lines
// end with CR LF.
std::string embeddedBytes(const std::string& ini);

// Copies `exe` to `output` (unless they are the same) and replaces RCDATA 179
// there. Returns an empty text on success, else what went wrong.
std::wstring stampExecutable(const std::wstring& exe, const std::wstring& ini, const std::wstring& output);

} // namespace rk::stamp
