#include "install/task_file.h"

#include "core/text_format.h"
#include "core/language.h"
#include "core/path_helpers.h"
#include "core/path_macros.h"
#include "core/path_text.h"
#include "core/run_log.h"
#include "install/file_replace.h"
#include "install/process_finding.h"
#include "install/run_file.h"
#include "install/upgrade_actions.h"
#include "platform/files.h"
#include "platform/msxml.h"
#include "platform/profile.h"

#include <algorithm>
#include <vector>

namespace rk {
namespace {

std::wstring resolvedOrEmpty(const std::wstring& value) { return value.empty() ? value : resolvePath(value); }

std::wstring lastComponent(const std::wstring& path)
{
    const size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring folderOf(const std::wstring& path)
{
    const size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

bool holdsWaitLetter(const std::wstring& text) { return toLower(text).find_first_of(L"1yt") != std::wstring::npos; }

// The task files being run on this thread, outermost first (lower-cased full paths).
thread_local std::vector<std::wstring> t_running;

// Holds a task file's place among those being run for as long as it runs.
class RunningTaskFile {
public:
    explicit RunningTaskFile(const std::wstring& key) { t_running.push_back(key); }
    ~RunningTaskFile() { t_running.pop_back(); }
    RunningTaskFile(const RunningTaskFile&) = delete;
    RunningTaskFile& operator=(const RunningTaskFile&) = delete;
};

} // namespace

TaskAction taskActionFor(const std::wstring& name, const std::function<std::wstring(const wchar_t*)>& attribute,
                         const std::wstring& text)
{
    using Kind = TaskAction::Kind;
    TaskAction action;
    if (name == L"run") {
        action.file = resolvedOrEmpty(attribute(L"file"));
        action.param = attribute(L"param");
        action.workPath = attribute(L"workpath");
        action.wait = holdsWaitLetter(attribute(L"waitclose"));
        action.kind = Kind::Run;
    } else if (name == L"ren" || name == L"rename") {
        action.source = resolvedOrEmpty(attribute(L"source"));
        action.target = resolvedOrEmpty(attribute(L"target"));
        if (!action.source.empty() && !action.target.empty())
            action.kind = Kind::Rename;
    } else if (name == L"kill") {
        action.file = resolvedOrEmpty(attribute(L"file"));
        if (!action.file.empty())
            action.kind = Kind::Kill;
    } else if (name == L"path") {
        std::wstring folder = attribute(L"name");
        if (folder.empty())
            folder = trimBlanks(text);
        action.folder = resolvedOrEmpty(folder);
        if (!action.folder.empty())
            action.kind = Kind::Folder;
    } else if (name == L"del") {
        action.file = resolvedOrEmpty(attribute(L"file"));
        action.folder = resolvedOrEmpty(attribute(L"path"));
        if (!action.file.empty() || !action.folder.empty())
            action.kind = Kind::Delete;
    } else if (name == L"shortcut") {
        action.file = resolvedOrEmpty(attribute(L"file"));
        action.shortcut = resolvedOrEmpty(attribute(L"shortcut"));
        action.icon = resolvedOrEmpty(attribute(L"shortcuticon"));
        action.iconIndex = static_cast<int>(parseDecimal(attribute(L"iconindex")));
        if (!action.file.empty() && !action.shortcut.empty())
            action.kind = Kind::Shortcut;
    } else if (name == L"ini") {
        action.file = resolvedOrEmpty(attribute(L"file"));
        action.section = attribute(L"app");
        action.key = attribute(L"key");
        action.value = attribute(L"value");
        action.kind = Kind::Ini;
    }
    return action;
}

void runTaskAction(const TaskAction& action, WindowHandle window)
{
    using Kind = TaskAction::Kind;
    switch (action.kind) {
    case Kind::None:
        break;
    case Kind::Run:
        runFile(action.file, action.workPath, action.param, window, action.wait);
        break;
    case Kind::Rename:
        statusAndLog(window, tr(L"Move file:") + fillText(L"[%s->%s]", {action.source, action.target}));
        moveFile(action.source, action.target);
        break;
    case Kind::Kill:
        // A folder would match every program inside it, the updater included.
        if (!namesAProgram(action.file) || directoryExists(action.file)) {
            logLine(L"Kill skipped, no program named[" + action.file + L"]");
            break;
        }
        closeProcessesByModule(action.file);
        statusAndLog(window, tr(L"Kill process") + L"[" + action.file + L"]");
        break;
    case Kind::Folder:
        statusAndLog(window, tr(L"Create directory") + L"[" + action.folder + L"]");
        createParentDirs(action.folder + L"\\1.txt");
        break;
    case Kind::Delete:
        if (!action.file.empty()) {
            statusAndLog(window, tr(L"Remove file") + L"[" + action.file + L"]");
            deleteFile(action.file);
        }
        if (!action.folder.empty()) {
            statusAndLog(window, tr(L"Remove path") + L"[" + action.folder + L"]");
            deleteTree(action.folder);
        }
        break;
    case Kind::Shortcut:
        createShortcut(action.file, folderOf(action.file), action.shortcut, action.icon, action.iconIndex);
        statusAndLog(window, fillText(tr(L"Create shortcut[%s]..."), {action.shortcut}));
        break;
    case Kind::Ini:
        if (action.value.empty()) {
            deleteProfileKey(action.file, action.section, action.key);
            statusAndLog(window, fillText(tr(L"Empty ini[%s][%s]"), {lastComponent(action.file), action.key}));
        } else {
            writeProfileString(action.file, action.section, action.key, action.value);
            statusAndLog(
                window, fillText(tr(L"Write ini[%s][%s][%s]"), {lastComponent(action.file), action.key, action.value}));
        }
        break;
    }
}

void runTaskElement(const DomNode& node, WindowHandle window)
{
    std::wstring name;
    node.name(name);
    std::wstring text;
    if (name == L"path")
        node.text(text);
    runTaskAction(taskActionFor(
                      name,
                      [&node](const wchar_t* attribute) {
                          std::wstring value;
                          node.attribute(attribute, value);
                          return value;
                      },
                      text),
                  window);
    DomChildren children;
    if (node.children(children) < 0)
        return;
    DomNode child;
    while (children.next(child) >= 0 && child)
        runTaskElement(child, window);
}

void runTaskFile(const std::wstring& xmlFile, WindowHandle window)
{
    // A task file that runs itself, directly or through others, would recurse
    // until the stack overflows: after the files were installed and before the
    // list is saved, so that every later run would crash the same way.
    const std::wstring key = toLower(fullPathName(xmlFile));
    if (std::find(t_running.begin(), t_running.end(), key) != t_running.end()) {
        logLine(L"Task file skipped, it is already running[" + xmlFile + L"]");
        return;
    }
    if (static_cast<long>(t_running.size()) >= kTaskFileDepth) {
        logLine(fillNumbers(L"Task file skipped, task files nest at most %d deep[", {kTaskFileDepth}) + xmlFile + L"]");
        return;
    }
    RunningTaskFile running(key);
    DomDocument document;
    if (DomDocument::create(document) < 0)
        return;
    bool parsed = false;
    if (document.load(xmlFile, parsed) < 0 || !parsed)
        return;
    runTaskElement(document.node(), window);
}

} // namespace rk
