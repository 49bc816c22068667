#pragma once
// Upgrade task files: an XML document whose elements (run, ren/rename, kill,
// path, del, shortcut, ini) are actions carried out depth first in document
// order. The calling thread must have initialised COM.

#include "core/host_link.h"

#include <functional>
#include <string>

namespace rk {

class DomNode;

struct TaskAction {
    enum class Kind { None, Run, Rename, Kill, Folder, Delete, Shortcut, Ini };
    Kind kind = Kind::None;
    std::wstring file;     // run, kill, del, shortcut target, ini file (resolved)
    std::wstring param;    // run
    std::wstring workPath; // run
    bool wait = false;     // run: waitclose holds "1", "y" or "t"
    std::wstring source;   // ren
    std::wstring target;   // ren
    std::wstring folder;   // path; del's folder tree
    std::wstring shortcut; // shortcut link path (resolved)
    std::wstring icon;     // shortcut icon (resolved)
    int iconIndex = 0;
    std::wstring section; // ini
    std::wstring key;
    std::wstring value;
};

// The action of one element: its exact name, its attributes (empty when
// missing) and its text. Kind::None when the name is no action or a required
// attribute is empty.
TaskAction taskActionFor(const std::wstring& name, const std::function<std::wstring(const wchar_t*)>& attribute,
                         const std::wstring& text);

// Carries out one action with its status texts and log lines.
void runTaskAction(const TaskAction& action, WindowHandle window);

// Task files run by task files nest at most this deep.
constexpr long kTaskFileDepth = 8;

// Loads the file and walks it; a file that does not load runs nothing. A task
// file already being run on this thread, or one nested deeper than
// kTaskFileDepth, is skipped with a log line.
void runTaskFile(const std::wstring& xmlFile, WindowHandle window);
// The node's own action, then each child's, in order.
void runTaskElement(const DomNode& node, WindowHandle window);

} // namespace rk
