#include "run/elevation.h"

#include "core/app_directory.h"
#include "core/config.h"
#include "core/host_link.h"
#include "core/language.h"
#include "core/process_state.h"
#include "core/run_log.h"
#include "core/settings.h"
#include "core/text_format.h"
#include "core/release_signature.h"
#include "list/list_compare.h"
#include "list/list_snapshot.h"
#include "list/signed_list.h"
#include "list/signed_list_document.h"
#include "platform/clock.h"
#include "platform/named_lock.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "platform/shell_run.h"
#include "platform/system.h"
#include "platform/window_messages.h"
#include "run/stage_report.h"

#include <atomic>
#include <cstdint>

namespace rk {
namespace {

constexpr int kShowShow = 5; // SW_SHOW
constexpr unsigned kEndSessionWaitMs = 100;
// The hand-over sits in a folder every program of the user may write: a file
// far larger than any list is not read at all.
constexpr unsigned long long kMaxHandOverBytes = 64ULL << 20;

class SystemElevation : public ElevationSystem {
public:
    bool startElevated(const std::wstring& program, const std::wstring& parameters,
                       const std::wstring& workingFolder) override
    {
        return shellStart(program, parameters, workingFolder, kShowShow, L"runas").started;
    }

    void endProcess(void* window) override
    {
        if (window && isExistingWindow(reinterpret_cast<std::uintptr_t>(window))) {
            sendMessageAbortIfHung(window, wm::kQueryEndSession, 0, 0, kEndSessionWaitMs);
            postMessage(window, wm::kClose, 0, 0);
            postMessage(window, wm::kQuit, 0, 0);
            return;
        }
        // Without a window nothing would end this copy, and it would go on
        // updating beside the elevated one. Free what we hold in the host first.
        HostWindows::instance().clear();
        exitProcess(0);
    }
};

SystemElevation g_system;
std::atomic<ElevationSystem*> g_current{&g_system};

} // namespace

ElevationSystem& elevationSystem() { return *g_current.load(); }

void setElevationSystem(ElevationSystem* replacement) { g_current.store(replacement ? replacement : &g_system); }

std::wstring relaunchParameters(const std::wstring& commandLine)
{
    if (commandLine.empty())
        return kRunAsAdminParameter;
    return commandLine + L" " + kRunAsAdminParameter;
}

std::wstring handOverFilePath() { return config::listKeyPath(L".lst"); }

std::wstring signedHandOverPath() { return handOverFilePath() + L".signed"; }

bool relaunchAsAdministrator(bool saveList)
{
    const std::wstring handOver = handOverFilePath();
    deleteFileForced(handOver);
    deleteFileForced(signedHandOverPath());
    if (saveList && !writeFileBytes(handOver, writeSnapshot(DownLoadList::shared()))) {
        deleteFileForced(handOver);
        logLine(L"The update list could not be saved for the copy run as administrator: " + handOver);
    }
    const SignedDocuments accepted = acceptedDocuments();
    if (saveList && signedReleasesRequired() && !accepted.list.empty() &&
        !writeFileBytes(signedHandOverPath(), writeSignedDocuments(accepted))) {
        deleteFileForced(signedHandOverPath());
        logLine(L"The signed list could not be saved for the copy run as administrator: " + signedHandOverPath());
    }
    const std::wstring parameters = relaunchParameters(SettingsTable::instance().get(props::kCommandLine));
    SettingsTable::instance().set(props::kRunAsAdmin, kRunAsAdminMarker);
    if (elevationSystem().startElevated(moduleFileName(), parameters, applicationDirectory())) {
        logLine(L"Started as administrator with: " + parameters);
        return true;
    }
    logLine(L"Starting the program as administrator failed or was declined (error " + std::to_wstring(lastError()) +
            L").");
    return false;
}

void writeRefusedPrompt(const std::wstring& path)
{
    if (isElevated())
        return;
    void* window = mainWindow();
    const std::wstring question =
        fillText(tr(L"Can't write to file\n%s\nRequest run as administrator.\nRestart program now?"), {path});
    if (showMessage(window, question, tr(L"RenewKit"), MessageKind::YesNoQuestion) != MessageAnswer::Yes)
        return;
    relaunchAsAdministrator(false);
    elevationSystem().endProcess(window);
}

bool loadHandOverFile(const std::wstring& path, DownLoadList& list)
{
    std::string bytes;
    if (!readFileBytesLimited(path, bytes, kMaxHandOverBytes))
        return false;
    // Trailing bytes mean the file is not one we wrote: take nothing from it.
    DownLoadList parsed;
    std::size_t used = 0;
    if (!readSnapshot(bytes, parsed, &used) || used != bytes.size())
        return false;
    return readSnapshot(bytes, list);
}

bool reverifyHandOver(const std::wstring& path, DownLoadList& list)
{
    std::string bytes;
    SignedDocuments documents;
    if (!readFileBytesLimited(path, bytes, kMaxHandOverBytes) || !readSignedDocuments(bytes, documents)) {
        logLine(L"No signed list was handed over to the copy run as administrator.");
        return false;
    }
    const ReleaseKeys keys = releaseKeys();
    const long long installed = installedSerial();
    const long long now = utcSecondsNow();
    ListCheck check = checkSignedList(documents.list, &documents.listSignature, keys, installed, now,
                                      ListRole::UpdateList, L"handed over: " + path);
    logLine(check.logLine);
    if (!check.accepted)
        return false;
    documents.serial = check.serial;
    if (!documents.master.empty()) {
        const ListCheck master = checkSignedList(documents.master, &documents.masterSignature, keys, installed, now,
                                                 ListRole::MasterList, L"handed over master list: " + path);
        logLine(master.logLine);
        if (!master.accepted)
            return false;
    }
    DownLoadList remote;
    if (!loadSignedList(documents, remote))
        return false;
    // Only what the signed list names is installed: the entries, run commands
    // and description are chosen again from it, the files are taken from the
    // usual folder and each is checked before it is installed.
    {
        NamedLockGuard guard(locks::kAddListEntry);
        list.entries.clear();
        list.runCommands.clear();
        list.description.clear();
        list.downloadDir = config::listKeyPath(L"");
    }
    compareLoadedList(remote, list);
    setAcceptedDocuments(std::move(documents));
    return true;
}

void continueElevatedRun()
{
    const std::wstring handOver = handOverFilePath();
    DownLoadList& list = DownLoadList::shared();
    if (!fileExists(handOver))
        logLine(L"No update list was handed over to the copy run as administrator; the update starts from the check.");
    else if (!loadHandOverFile(handOver, list))
        logLine(L"The update list handed over to the copy run as administrator is unreadable or damaged; the update "
                L"starts from the check.");
    if (signedReleasesRequired() && list.count() > 0 && !reverifyHandOver(signedHandOverPath(), list)) {
        logLine(L"The update list handed over to the copy run as administrator is not verified; the update starts "
                L"from the check.");
        NamedLockGuard guard(locks::kAddListEntry);
        list.entries.clear();
        list.runCommands.clear();
        list.description.clear();
    }
    if (list.count() > 0)
        reportStage(UpdateDownloadOk, nullptr);
    deleteFileForced(handOver);
    deleteFileForced(signedHandOverPath());
}

} // namespace rk
