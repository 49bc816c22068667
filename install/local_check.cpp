#include "install/local_check.h"

#include "core/text_format.h"
#include "core/app_directory.h"
#include "core/config.h"
#include "core/language.h"
#include "core/path_helpers.h"
#include "core/path_text.h"
#include "core/process_state.h"
#include "core/run_log.h"
#include "core/settings.h"
#include "install/process_finding.h"
#include "install/rename_probe.h"
#include "list/list_compare.h"
#include "list/update_list.h"
#include "platform/file_probe.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "platform/sleep.h"

#include <unordered_set>

namespace rk {
namespace {

std::vector<std::wstring> g_adminFiles;                       // the driver's thread only
std::unordered_set<std::wstring>* g_writablePlaces = nullptr; // the driver's thread only

void dropListWhenElevated()
{
    if (isElevated())
        g_adminFiles.clear();
}

void listForAdmin(const std::wstring& path)
{
    if (isVistaOrLater() && !isElevated())
        g_adminFiles.push_back(path);
}

bool endsWithBinaryExtension(const std::wstring& path)
{
    const std::wstring lower = toLower(path);
    if (lower.size() <= 4)
        return false;
    const std::wstring tail = lower.substr(lower.size() - 4);
    return tail == L".exe" || tail == L".dll";
}

std::wstring applicationSetting() { return trimBlanks(config::read(L"APPLICATION", L"Application")); }

// An [APPLICATION] Application without a file name names no program: searched
// for, it would match every process.
bool programConfigured() { return namesAProgram(applicationSetting()); }

// The first missing folder on the way to the path, under its nearest existing
// folder; empty when the file's own folder exists or no folder of the path does.
std::wstring firstMissingFolder(const std::wstring& path)
{
    std::wstring folder = path;
    for (;;) {
        const size_t slash = folder.rfind(L'\\');
        if (slash == std::wstring::npos || slash == 0)
            return L"";
        const std::wstring child = folder;
        folder = folder.substr(0, slash);
        // "C:" alone names the drive's current folder, not its root.
        const std::wstring probe = folder.back() == L':' ? folder + L"\\" : folder;
        if (directoryExists(probe))
            return child == path ? L"" : child;
        if (folder.back() == L':')
            return L"";
    }
}

// A new file: can it be made where it goes? When its folder does not exist yet,
// the test is whether that folder can be made in its nearest existing parent,
// so a protected place answers "access denied" instead of "path not found".
void testNewFile(const std::wstring& path)
{
    const std::wstring folder = firstMissingFolder(path);
    // Where a new file (or folder) could be made once, the next one can be made
    // too: the check of many new files probes each place once. A refusal is not
    // kept: it may concern that one name.
    const std::wstring place = toLower((folder.empty() ? L"f:" : L"d:") +
                                       parentFolder(replaceAll(folder.empty() ? path : folder, L"/", L"\\")));
    if (g_writablePlaces && g_writablePlaces->count(place))
        return;
    bool made = false;
    if (folder.empty()) {
        made = probeCreateFile(path);
        if (made)
            deleteFileForced(path);
    } else {
        made = createDirectory(folder);
        if (made)
            removeDirectory(folder);
    }
    if (made && g_writablePlaces)
        g_writablePlaces->insert(place);
    else if (!made && lastError() == kErrorAccessDenied)
        listForAdmin(path);
}

// The places found writable, kept while one check of the list's files runs.
class WritablePlacesScope {
public:
    WritablePlacesScope() { g_writablePlaces = &m_places; }
    ~WritablePlacesScope() { g_writablePlaces = nullptr; }
    WritablePlacesScope(const WritablePlacesScope&) = delete;
    WritablePlacesScope& operator=(const WritablePlacesScope&) = delete;

private:
    std::unordered_set<std::wstring> m_places;
};

} // namespace

std::vector<std::wstring> adminRequiredFiles() { return g_adminFiles; }

void clearAdminRequiredFiles() { g_adminFiles.clear(); }

bool testWritable(const std::wstring& path)
{
    dropListWhenElevated();
    if (!fileExists(path)) {
        if (g_adminFiles.empty())
            testNewFile(path);
        return true;
    }
    if (probeOpenForWrite(path))
        return true;
    if (endsWithBinaryExtension(path)) {
        switch (probeByRename(path)) {
        case RenameProbe::Renamed:
            return true;
        case RenameProbe::AccessDenied:
            listForAdmin(path);
            return true;
        case RenameProbe::Refused:
            return false;
        }
        return false;
    }
    setNormalAttributes(path);
    if (probeOpenForWrite(path))
        return true;
    if (lastError() == kErrorAccessDenied) {
        listForAdmin(path);
        return true;
    }
    return false;
}

bool testWritableWithPrompt(const std::wstring& path, bool ask)
{
    bool writable = testWritable(path);
    while (!writable && ask) {
        MessageAnswer answer = showMessage(nullptr, tr(L"Can't overwrite the file,Please close it.") + L"\n" + path,
                                           tr(L"RenewKit"), MessageKind::RetryCancel);
        if (answer != MessageAnswer::Retry)
            break;
        writable = testWritable(path);
    }
    return writable;
}

bool checkLockedFiles(WindowHandle window, bool ask, const DownLoadList& list)
{
    dropListWhenElevated();
    statusAndLog(window, tr(L"Check locked file..."));
    WritablePlacesScope places;
    long locked = 0;
    const long count = list.count();
    for (long i = 0; i < count && g_adminFiles.empty(); ++i) {
        sleepFor(1);
        sendStatusText(window, fillNumbers(tr(L"Examining the %d files,total of %d..."), {i + 1, count}));
        const updatefileinfo& entry = list.entries[static_cast<size_t>(i)];
        if (entry.actions & ACT_DELETE)
            continue;
        for (const auto& target : targetFiles(entry)) {
            if (!testWritableWithPrompt(target, ask)) {
                ++locked;
                statusAndLog(window, tr(L"File is locked") + L"[" + target + L"]");
            }
        }
    }
    if (locked > 0)
        statusAndLog(window, fillNumbers(tr(L"%d update files has %d locked"), {count, locked}));
    else
        statusAndLog(window, tr(L"No locked files"));
    return locked == 0;
}

bool isMainProgramClosed(WindowHandle window)
{
    const std::wstring application = applicationSetting();
    if (!programConfigured())
        return true;
    const std::wstring wanted = toLower(application);
    ProcessIterator processes;
    for (ProcessId pid = processes.first(); pid != 0; pid = processes.next()) {
        const std::wstring path = mainModulePath(pid);
        if (!path.empty() && path.find(wanted) != std::wstring::npos) {
            statusAndLog(window, tr(L"The main program has not closed") + L" " + application);
            return false;
        }
    }
    statusAndLog(window, tr(L"The main program has closed") + L"[" + application + L"]");
    return true;
}

bool closeMainProgram(WindowHandle)
{
    if (programConfigured())
        closeProcessesByModule(applicationSetting());
    return true;
}

bool checkLocalFiles(WindowHandle window, bool ask, const DownLoadList& list)
{
    bool ok = isMainProgramClosed(window);
    const std::wstring app = applicationDirectory();
    if (!testWritable(app + kLocalListName))
        ok = false;
    if (!testWritable(app + kMarkerFile478))
        ok = false;
    const bool thirdWritable = testWritable(app + kMarkerFile489);
    if (!thirdWritable)
        ok = false;
    if (!(thirdWritable && ok) && !programConfigured()) {
        // Something holds the local list or a marker file, and there is no
        // program to offer to close.
        logLine(L"A file of the application folder is in use, and [APPLICATION] Application names no program to "
                L"close.");
    } else if (!(thirdWritable && ok)) {
        const std::wstring application = applicationSetting();
        std::wstring program = application.find(L':') != std::wstring::npos ? application : app + L"\\" + application;
        program = replaceAll(program, L"\\\\", L"\\");
        const std::wstring name = config::read(L"APPLICATION", L"Name");
        const std::wstring question =
            fillText(tr(L"Find main program [%s] not closed, Close it now?") + L"\n%s", {name, program});
        bool close = SettingsTable::instance().get(props::kUpdateSkin) == L"mostsimple";
        if (!close)
            close = showMessage(window, question, tr(L"RenewKit"), MessageKind::YesNoQuestion) == MessageAnswer::Yes;
        if (close) {
            closeMainProgram(window);
            statusAndLog(window, tr(L"The main program has closed"));
            ok = true;
        }
    }
    if (!checkLockedFiles(window, ask, list))
        ok = false;
    return ok;
}

} // namespace rk
