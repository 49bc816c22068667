#pragma once
// __oldfiles.lst in the application directory: backups of replaced files that
// were in use, one path a line, deleted at the next start.

#include <string>
#include <vector>

namespace rk {

inline const wchar_t kOldFilesList[] = L"__oldfiles.lst";

// The non-empty lines of the list's bytes (ANSI code page), CR LF or LF ended.
std::vector<std::wstring> parseOldFiles(const std::string& bytes);

// Deletes every listed file that exists and, when all of them went, the list.
void purgeOldFiles();

// Appends one backup path (CR LF before it). Failures are ignored.
void appendOldFile(const std::wstring& path);

} // namespace rk
