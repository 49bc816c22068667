#pragma once
// Path utilities that the list, download and install stages share.

#include <string>

namespace rk {

// The text before the last "\" when that "\" is not the last character; else the path.
std::wstring parentFolder(const std::wstring& path);

// Creates every folder along the path from the one after the drive on; the part
// after the last "\" is a file name and is not created. Failures are ignored.
void createFolderChain(const std::wstring& path);

// A path without ":" is relative to the application directory. Resets the
// attributes to normal, then deletes; returns the delete's success.
bool deleteFile(const std::wstring& path);

// Deletes every file below the folder depth first, then each folder, the folder
// itself last. A junction or symbolic link (the folder itself too) is removed as
// a link and never descended into. Failures are ignored.
void deleteTree(const std::wstring& folder);

// Removes a junction or symbolic link itself, with a log line; true when it went.
bool removeLink(const std::wstring& path, bool isDirectory);

} // namespace rk
