#pragma once
// The check of a downloaded file against the size and SHA-256 its list entry
// names, made after unzipping and again immediately before installing. Any thread.

#include "list/update_list.h"

#include <string>

namespace rk {

// Empty when the file may be installed: it matches the entry's digest, or the
// entry names none and no release keys are configured. Otherwise the reason,
// for the log line.
std::wstring fileIntegrityProblem(const std::wstring& path, const updatefileinfo& entry);

// Lower-case hex SHA-256 of the file's bytes; empty when it cannot be read or hashed.
std::wstring fileSha256(const std::wstring& path);

// Downloads are unzipped unless [RenewKit] UnZip is off; signed releases
// always are, since their digests name the unzipped bytes.
bool unzipDownloads();

} // namespace rk
