#include "core/path_helpers.h"

#include "core/app_directory.h"
#include "core/path_text.h"
#include "core/run_log.h"
#include "platform/files.h"

namespace rk {

std::wstring parentFolder(const std::wstring& path)
{
    size_t slash = path.rfind(L'\\');
    if (slash == std::wstring::npos || slash + 1 == path.size())
        return path;
    return path.substr(0, slash);
}

void createFolderChain(const std::wstring& path)
{
    // Nearly always the folder is there already: one look at it instead of a
    // create for every level (each an open of a folder under Wine).
    const size_t last = path.rfind(L'\\');
    if (last != std::wstring::npos && last > 3 && directoryExists(path.substr(0, last)))
        return;
    for (size_t i = 3; i < path.size(); ++i) {
        if (path[i] == L'\\')
            createDirectory(path.substr(0, i));
    }
}

bool deleteFile(const std::wstring& path)
{
    std::wstring full = path;
    if (full.find(L':') == std::wstring::npos)
        full = collapseBackslashes(applicationDirectory() + L"\\" + path);
    return deleteFileForced(full);
}

bool removeLink(const std::wstring& path, bool isDirectory)
{
    // RemoveDirectoryW and DeleteFileW take away a junction or a symbolic link
    // itself; what it points to is another folder, and not ours to empty.
    const bool removed = isDirectory ? removeDirectory(path) : deleteFileOnly(path);
    logLine((removed ? L"Link removed without following it[" : L"Link not followed and left in place[") + path + L"]");
    return removed;
}

void deleteTree(const std::wstring& folder)
{
    std::wstring base = folder;
    while (base.size() > 3 && base.back() == L'\\')
        base.pop_back();
    if (base.empty())
        return;
    if (isLink(base)) {
        removeLink(base, directoryExists(base));
        return;
    }
    for (const auto& entry : listDirectory(base)) {
        std::wstring child = base + L"\\" + entry.name;
        if (entry.isLink)
            removeLink(child, entry.isDirectory);
        else if (entry.isDirectory)
            deleteTree(child);
        else
            deleteFile(child);
    }
    removeDirectory(base);
}

} // namespace rk
