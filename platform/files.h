#pragma once
// Files and folders: thin wrappers that return bool and keep GetLastError().

#include <string>
#include <string_view>
#include <vector>

namespace rk {

bool fileExists(const std::wstring& path);      // exists and is not a folder
bool directoryExists(const std::wstring& path); // exists and is a folder
bool pathExists(const std::wstring& path);
// A junction, a symbolic link or another reparse point (the link itself, not
// what it points to).
bool isLink(const std::wstring& path);
// True when a find-first-file search for exactly this name finds a file or
// folder; any failure (no access, bad name) counts as not there.
bool findFirstFileMatches(const std::wstring& path);

bool createDirectory(const std::wstring& path);
bool removeDirectory(const std::wstring& path);
// Clears read-only, hidden and the like; false when the file is missing.
bool setNormalAttributes(const std::wstring& path);
// Resets the attributes to normal first, so read-only files go too.
bool deleteFileForced(const std::wstring& path);
// DeleteFileW alone: for a symbolic link, whose attributes are not to be touched.
bool deleteFileOnly(const std::wstring& path);
bool copyFileReplacing(const std::wstring& from, const std::wstring& to);
bool copyFileNew(const std::wstring& from, const std::wstring& to); // fails when `to` exists
bool moveFile(const std::wstring& from, const std::wstring& to);

// Whole-file reads and writes. A read of a missing file fails.
bool readFileBytes(const std::wstring& path, std::string& bytes);
// As readFileBytes, but fails without reading when the file holds more than maxBytes.
bool readFileBytesLimited(const std::wstring& path, std::string& bytes, unsigned long long maxBytes);
bool writeFileBytes(const std::wstring& path, std::string_view bytes); // create always
// Opens without truncation (creating when missing) and writes at the end.
bool appendFileBytes(const std::wstring& path, std::string_view bytes);

struct DirectoryEntry {
    std::wstring name;
    bool isDirectory = false;
    bool isLink = false; // a reparse point: a junction or a symbolic link
};
// The entries of a folder without "." and "..".
std::vector<DirectoryEntry> listDirectory(const std::wstring& folder);

std::wstring moduleFileName(); // full path of the running executable
// The absolute form of a path ("." and ".." resolved); the path itself on failure.
std::wstring fullPathName(const std::wstring& path);
std::wstring windowsDirectory();
std::wstring systemDirectory();
std::wstring systemTempPath(); // with a trailing backslash

unsigned long lastError();

} // namespace rk
