#pragma once
// The check of a downloaded file against the size and SHA-256 its list entry
// names, made after unzipping and again immediately before installing. Any thread.

#include "list/update_list.h"

#include <cstdint>
#include <string>

namespace rk {

// Empty when the file may be installed: it matches the entry's digest, or the
// entry names none and no release keys are configured. Otherwise the reason,
// for the log line.
std::wstring fileIntegrityProblem(const std::wstring& path, const updatefileinfo& entry);

// The same check for a file whose size and SHA-256 (lower-case hex, empty when
// it could not be computed) are known already.
std::wstring digestProblem(std::uint64_t size, const std::string& sha256, const updatefileinfo& entry);

// Copies `from` over `to` and flushes it to the disk, hashing the bytes as they
// are written: the copy's SHA-256 without reading it back. False, with `to` left
// as far as it got, when either file fails.
bool copyWithSha256(const std::wstring& from, const std::wstring& to, std::uint64_t& size, std::string& sha256);

// Lower-case hex SHA-256 of the file's bytes; empty when it cannot be read or hashed.
std::wstring fileSha256(const std::wstring& path);

// Downloads are unzipped unless [RenewKit] UnZip is off; signed releases
// always are, since their digests name the unzipped bytes.
bool unzipDownloads();

} // namespace rk
