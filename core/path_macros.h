#pragma once
// Folder macros in list and configuration paths ({app}, {desktop}, {sys}, ...),
// and the rules that turn list paths into absolute local paths.

#include <string>

namespace rk {

// Where the folders behind the macros come from; replaced in tests.
class FolderSource {
public:
    virtual ~FolderSource() = default;
    virtual std::wstring shellFolder(int csidl) const = 0; // no trailing "\", empty when unavailable
    virtual std::wstring windowsFolder() const = 0;
    virtual std::wstring systemFolder() const = 0;
    virtual bool folderExists(const std::wstring& path) const = 0;
};

const FolderSource& systemFolders();

// Shell folders first, then only the first of {win} {syswow64} {sys} {target}
// {path} {app} that occurs; other braces are left as they are.
std::wstring expandMacros(const std::wstring& text);
std::wstring expandMacros(const std::wstring& text, const FolderSource& folders, const std::wstring& appDirectory);

// Expands, then joins a relative result to the application directory.
std::wstring resolvePath(const std::wstring& path);
std::wstring resolvePath(const std::wstring& path, const FolderSource& folders, const std::wstring& appDirectory);

// The same joining rule without macro expansion.
std::wstring joinLocal(const std::wstring& folder, const std::wstring& path);

} // namespace rk
