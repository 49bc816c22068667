#include "install/upgrade_actions.h"

#include "core/text_format.h"
#include "core/app_directory.h"
#include "core/language.h"
#include "core/path_macros.h"
#include "core/path_text.h"
#include "core/run_log.h"
#include "install/file_replace.h"
#include "install/run_file.h"
#include "list/list_compare.h"
#include "list/update_list.h"
#include "platform/files.h"
#include "platform/shell_link.h"
#include "platform/shell_run.h"
#include "platform/sleep.h"

namespace rk {
namespace {

constexpr int kShowNormal = 5; // SW_SHOW

std::wstring folderOf(const std::wstring& path)
{
    const size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

} // namespace

RunCommand parseRunCommand(const std::wstring& packed)
{
    const std::wstring text = expandMacros(packed);
    std::vector<std::wstring> fields;
    size_t start = 0;
    for (;;) {
        const size_t nine = text.find(L'9', start);
        fields.push_back(text.substr(start, nine == std::wstring::npos ? std::wstring::npos : nine - start));
        if (nine == std::wstring::npos)
            break;
        start = nine + 1;
    }
    RunCommand command;
    command.file = fields[0];
    if (fields.size() > 1)
        command.parameters = fields[1];
    if (fields.size() > 2)
        command.wait = fields[2];
    return command;
}

bool runCommandWaits(const std::wstring& waitText)
{
    for (wchar_t c : toLower(waitText)) {
        if (c == L'1' || c == L'y' || c == L't' || c == L'o')
            return true;
    }
    return false;
}

std::wstring runCommandStatus(const RunCommand& command, bool wait)
{
    std::wstring fields = fillText(L"[%s][%s][%s]", {command.file, command.parameters, wait ? L"wait" : L"nowait"});
    return replaceAll(tr(L"Run") + fields, L"[]", L"");
}

std::wstring linkFileName(const std::wstring& linkPath)
{
    if (toLower(linkPath).find(L".lnk") != std::wstring::npos)
        return linkPath;
    return linkPath + L".lnk";
}

bool registerServer(const std::wstring& library)
{
    std::wstring failure;
    if (callDllRegisterServer(library, failure))
        return true;
    logLine(L"Register file failed[" + library + L"]: " + failure);
    return false;
}

bool createShortcut(const std::wstring& target, const std::wstring& workingFolder, const std::wstring& linkPath,
                    const std::wstring& iconFile, int iconIndex)
{
    ShellLink link;
    if (!link.create())
        return false;
    if (!fileExists(target))
        return false;
    link.setTarget(target, workingFolder);
    if (!iconFile.empty() && fileExists(iconFile))
        link.setIcon(iconFile, iconIndex);
    const std::wstring name = linkFileName(linkPath);
    createParentDirs(name);
    return link.save(name);
}

void makeShortcuts(const std::wstring& target, const std::wstring& iconFile, int iconIndex,
                   const std::vector<std::wstring>& linkPaths, WindowHandle window)
{
    for (const auto& linkPath : linkPaths) {
        statusAndLog(window, fillText(tr(L"Create shortcut[%s]..."), {linkPath}));
        createShortcut(target, folderOf(target), linkPath, iconFile, iconIndex);
    }
}

void runEntryActions(WindowHandle window, DownLoadList& list)
{
    const std::wstring app = applicationDirectory();
    for (const auto& entry : list.entries) {
        sleepFor(1);
        if (entry.actions == 0)
            continue;
        if (entry.actions & ACT_REBOOT)
            list.restartFlag = 1;
        const std::vector<std::wstring> targets = targetFiles(entry);
        for (size_t j = 0; j < targets.size(); ++j) {
            const std::wstring& target = targets[j];
            const std::wstring shown = replaceAll(target, app, L"");
            if ((entry.actions & ACT_REGISTER) && j == 0) {
                statusAndLog(window, tr(L"Register file") + L"[" + shown + L"]");
                registerServer(target);
            }
            if (entry.actions & ACT_DELETE) {
                if (deleteFile(target))
                    statusAndLog(window, tr(L"Remove file") + L"[" + shown + L"]");
            } else if (entry.actions & ACT_RUN) {
                runFile(target, L"", L"", window, false);
            }
        }
    }
}

void runCommands(WindowHandle window, const DownLoadList& list)
{
    for (const auto& packed : list.runCommands) {
        const RunCommand command = parseRunCommand(packed);
        const bool wait = runCommandWaits(command.wait);
        statusAndLog(window, runCommandStatus(command, wait));
        if (!fileExists(command.file))
            continue;
        ShellStart start = shellStart(command.file, command.parameters, L"", kShowNormal);
        if (wait)
            waitForProcess(start.process);
    }
}

} // namespace rk
