#pragma once
// Write probes and the atomic file operations of the copy stage. Each returns
// bool and keeps GetLastError() for the caller (access denied decides elevation).

#include <string>

namespace rk {

constexpr unsigned long kErrorAccessDenied = 5;
constexpr unsigned long kErrorNotSameDevice = 17;

// Creates the file (always-create, read access, no sharing) and closes it; the
// file is left behind for the caller to delete.
bool probeCreateFile(const std::wstring& path);
// Opens an existing file for writing, unshared, without truncating it; closes it.
bool probeOpenForWrite(const std::wstring& path);

// MoveFileExW with replace-existing and write-through: one rename on the same volume.
bool moveFileReplacing(const std::wstring& from, const std::wstring& to);
// A plain rename that never copies across volumes and never replaces.
bool renameFile(const std::wstring& from, const std::wstring& to);
// Writes the file's buffers to the disk; false when it cannot be opened.
bool flushFile(const std::wstring& path);

// True on Windows Vista or later (NT platform, major version above 5).
bool isVistaOrLater();

} // namespace rk
