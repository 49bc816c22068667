#pragma once
// __oldfiles.lst in the application directory: backups of replaced files that
// were in use, one path a line, deleted at the next start.

#include <string>
#include <vector>

namespace rk {

inline const wchar_t kOldFilesList[] = L"__oldfiles.lst";

// The non-empty lines of the list's bytes (ANSI code page), CR LF or LF ended.
std::vector<std::wstring> parseOldFiles(const std::string& bytes);

// The file a backup name stands for: the name without ".__old" or ".__old"
// and a number (any case); empty when the name is no backup name.
std::wstring backupTargetName(const std::wstring& path);

// At start-up: deletes every listed backup whose file is in place, puts back
// one whose file is missing, and leaves alone a name that is no backup name.
// The list goes when nothing listed is left.
void purgeOldFiles();

// Appends one backup path (CR LF before it). Failures are ignored.
void appendOldFile(const std::wstring& path);

} // namespace rk
