#include "core/path_macros.h"

#include "core/app_directory.h"
#include "core/path_text.h"
#include "platform/files.h"
#include "platform/system.h"

namespace rk {
namespace {

struct ShellMacro {
    const wchar_t* name;
    int csidl;
};

// Applied in this order; each sees the text as the ones before left it.
constexpr ShellMacro kShellMacros[] = {
    {L"{programfiles}", 0x26},      {L"{pf}", 0x26},
    {L"{document}", 0x05},          {L"{commondesktop}", 0x19},
    {L"{desktop}", 0x10},           {L"{startmenu}", 0x0B},
    {L"{startupmenu}", 0x0B},       {L"{commonstartmenu}", 0x16},
    {L"{commonstartupmenu}", 0x16}, {L"{commonstartup}", 0x18},
    {L"{startup}", 0x07},           {L"{commonprograms}", 0x17},
    {L"{startupprograms}", 0x17},   {L"{programs}", 0x02},
};

class SystemFolders final : public FolderSource {
public:
    std::wstring shellFolder(int csidl) const override { return specialFolderPath(csidl); }
    std::wstring windowsFolder() const override { return windowsDirectory(); }
    std::wstring systemFolder() const override { return systemDirectory(); }
    bool folderExists(const std::wstring& path) const override { return directoryExists(path); }
};

bool hasDriveColon(const std::wstring& path)
{
    size_t colon = path.find(L':');
    return colon != std::wstring::npos && colon > 0;
}

std::wstring joinRelative(const std::wstring& folder, const std::wstring& path)
{
    std::wstring joined = replaceAll(folder + L"\\" + path, L"/", L"\\");
    return collapseBackslashes(collapseBackslashes(joined));
}

} // namespace

const FolderSource& systemFolders()
{
    static const SystemFolders folders;
    return folders;
}

std::wstring expandMacros(const std::wstring& text, const FolderSource& folders, const std::wstring& appDirectory)
{
    const std::wstring original = text;
    std::wstring out = text;
    for (const auto& macro : kShellMacros) {
        if (out.find(macro.name) != std::wstring::npos)
            out = replaceAll(out, macro.name, folders.shellFolder(macro.csidl));
    }

    struct BaseMacro {
        const wchar_t* name;
        int kind;
    };
    constexpr BaseMacro kBaseMacros[] = {{L"{win}", 0},    {L"{syswow64}", 1}, {L"{sys}", 2},
                                         {L"{target}", 3}, {L"{path}", 3},     {L"{app}", 3}};
    for (const auto& macro : kBaseMacros) {
        if (out.find(macro.name) == std::wstring::npos)
            continue;
        std::wstring value;
        switch (macro.kind) {
        case 0:
            value = folders.windowsFolder();
            break;
        case 1: {
            std::wstring wow = collapseBackslashes(folders.windowsFolder() + L"\\SysWOW64");
            value = folders.folderExists(wow) ? wow : folders.systemFolder();
            break;
        }
        case 2:
            value = folders.systemFolder();
            break;
        default:
            value = appDirectory;
            break;
        }
        out = replaceAll(out, macro.name, value);
        break; // only the first base macro that occurs is expanded
    }

    if (out != original)
        out = collapseBackslashes(out);
    return out;
}

std::wstring expandMacros(const std::wstring& text)
{
    return expandMacros(text, systemFolders(), applicationDirectory());
}

std::wstring resolvePath(const std::wstring& path, const FolderSource& folders, const std::wstring& appDirectory)
{
    std::wstring expanded = expandMacros(path, folders, appDirectory);
    if (hasDriveColon(expanded))
        return expanded;
    return joinRelative(appDirectory, expanded);
}

std::wstring resolvePath(const std::wstring& path)
{
    return resolvePath(path, systemFolders(), applicationDirectory());
}

std::wstring joinLocal(const std::wstring& folder, const std::wstring& path)
{
    if (hasDriveColon(path))
        return path;
    return joinRelative(folder, path);
}

} // namespace rk
