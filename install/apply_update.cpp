#include "install/apply_update.h"

#include "core/text_format.h"
#include "core/app_directory.h"
#include "core/config.h"
#include "core/language.h"
#include "core/path_macros.h"
#include "core/path_text.h"
#include "core/release_signature.h"
#include "core/temp_list_path.h"
#include "core/run_log.h"
#include "install/file_digest.h"
#include "install/file_replace.h"
#include "install/staging_ahead.h"
#include "install/upgrade_actions.h"
#include "list/list_compare.h"
#include "list/signed_list.h"
#include "list/signed_list_document.h"
#include "list/update_list.h"
#include "platform/files.h"
#include "platform/sleep.h"
#include "platform/window_messages.h"

#include <optional>
#include <unordered_map>

namespace rk {
namespace {

constexpr unsigned kCopyProgressMessage = 0x417; // WM_USER + 23
// Entries whose new content is copied, flushed and checked ahead of their turn.
constexpr std::size_t kStagedAhead = 3;

std::wstring twinListFile(const std::wstring& listFile)
{
    const size_t doubled = listFile.find(L".xml.xml", 1);
    if (doubled != std::wstring::npos && doubled >= 1)
        return replaceAll(listFile, L".xml.xml", L".xml");
    return listFile + L".xml";
}

// Copied beside the local list and renamed over it: the new file takes the
// application folder's access rights, not those of the temporary folder.
bool placeListFile(const std::wstring& from, const std::wstring& local)
{
    const std::wstring staging = local + kStagingSuffix;
    if (!copyFileReplacing(from, staging))
        return false;
    if (!robustRename(staging, local)) {
        deleteFileForced(staging);
        return false;
    }
    deleteFileForced(from);
    return true;
}

} // namespace

std::wstring icaclsToolPath()
{
    if (!config::readFlag(L"RenewKit", L"icacls", L"0"))
        return L"";
    const std::wstring tool = expandMacros(L"{sys}\\icacls.exe");
    return fileExists(tool) ? tool : L"";
}

bool saveLocalList(const CopyStageInput& input)
{
    const std::wstring local = applicationDirectory() + kLocalListName;
    const std::wstring& listFile = input.listFile;
    // A signed run records what it verified, not the file that has lain in the
    // temporary folder since.
    const SignedDocuments accepted = acceptedDocuments();
    if (signedReleasesRequired() && !accepted.list.empty()) {
        if (!saveSignedList(accepted, local))
            return false;
        deleteFileForced(listFile);
        return true;
    }
    if (fileExists(listFile) && placeListFile(listFile, local))
        return true;
    const std::wstring twin = twinListFile(listFile);
    if (fileExists(twin) && placeListFile(twin, local))
        return true;
    if (!input.refetchList || !input.refetchList(listFile))
        return false;
    return placeListFile(listFile, local);
}

bool applyUpdate(WindowHandle window, DownLoadList& list, const CopyStageInput& input)
{
    const std::wstring app = applicationDirectory();
    const std::wstring tool = icaclsToolPath();
    const bool unzip = unzipDownloads();
    statusAndLog(window, tr(L"Copy from temporary directory"));
    if (!unzip) {
        moveTree(input.tempListFolder, app);
        return true;
    }
    const long n = list.count();
    // A path listed twice was downloaded once: every entry of it installs
    // from that file, the last one takes the done marker, the others a copy.
    std::unordered_map<std::wstring, long> lastOfFile;
    for (long i = 0; i < n; ++i) {
        const updatefileinfo& entry = list.entries[static_cast<size_t>(i)];
        if (!(entry.actions & ACT_DELETE))
            lastOfFile[toLower(tempListFilePath(input.tempListFolder, entry.path))] = i;
    }
    // The file is checked where it is installed, just before: nothing that
    // was swapped in the temporary folder since the download is installed.
    auto checkOf = [](const updatefileinfo* entry) {
        StagedCheck check;
        check.problem = [entry](const StagedCopy& copy) {
            return copy.hashed ? digestProblem(copy.size, copy.sha256, *entry)
                               : fileIntegrityProblem(copy.path, *entry);
        };
        check.wantsDigest = hasFileDigest(*entry);
        return check;
    };
    std::vector<std::vector<std::wstring>> targetsOf(static_cast<size_t>(n));
    std::unordered_map<std::wstring, int> timesTargeted;
    for (long i = 0; i < n; ++i) {
        const updatefileinfo& entry = list.entries[static_cast<size_t>(i)];
        if (entry.actions & ACT_DELETE)
            continue;
        targetsOf[static_cast<size_t>(i)] = targetFiles(entry);
        for (const auto& target : targetsOf[static_cast<size_t>(i)])
            ++timesTargeted[toLower(target)];
    }
    // Staged ahead: an entry with a file of its own whose first target no other
    // entry writes.
    std::vector<StagingAhead::Job> jobs(static_cast<size_t>(n));
    for (long i = 0; i < n; ++i) {
        const updatefileinfo& entry = list.entries[static_cast<size_t>(i)];
        const auto& targets = targetsOf[static_cast<size_t>(i)];
        const std::wstring source = tempListFilePath(input.tempListFolder, entry.path);
        if (targets.empty() || lastOfFile[toLower(source)] != i || timesTargeted[toLower(targets.front())] != 1)
            continue;
        jobs[static_cast<size_t>(i)] = {source + L"_", targets.front(), checkOf(&entry)};
    }
    StagingAhead ahead(std::move(jobs), kStagedAhead);
    long failed = 0;
    for (long i = 0; i < n; ++i) {
        if (window)
            sendMessage(window, kCopyProgressMessage, static_cast<std::uintptr_t>(i), n);
        sleepFor(1);
        sendStatusText(window, fillNumbers(tr(L"Copying files[%d/%d]..."), {i + 1, n}));
        const std::optional<StagedContent> staged = ahead.take(static_cast<size_t>(i));
        const updatefileinfo& entry = list.entries[static_cast<size_t>(i)];
        if (entry.actions & ACT_DELETE)
            continue;
        const std::wstring source = tempListFilePath(input.tempListFolder, entry.path);
        const std::vector<std::wstring>& targets = targetsOf[static_cast<size_t>(i)];
        if (!tool.empty()) {
            for (const auto& target : targets)
                grantUsersAccess(tool, target);
        }
        if (targets.empty())
            continue;
        std::wstring from = source;
        if (lastOfFile[toLower(source)] != i) {
            from = source + L".__shared";
            copyFileReplacing(source + L"_", from + L"_");
        }
        if (!replaceFile(from, targets, checkOf(&entry), staged ? &*staged : nullptr)) {
            // The entry stops here; its lines in the log say why.
            ++failed;
            notifyCopyStep(L"entry", entry.path);
            continue;
        }
        makeShortcuts(targets.front(), entry.shortcutIcon, static_cast<int>(parseDecimal(entry.iconIndex)),
                      expandNameList(entry.path, entry.shortcut), window);
        notifyCopyStep(L"entry", entry.path);
    }
    statusAndLog(window, tr(L"Do upgrade tasks"));
    runEntryActions(window, list);
    notifyCopyStep(L"entry actions", L"");
    runCommands(window, list);
    notifyCopyStep(L"run commands", L"");
    statusAndLog(window, tr(L"Clear temp files"));
    deleteTree(input.tempListFolder);
    notifyCopyStep(L"temp cleared", input.tempListFolder);
    statusAndLog(window, fillNumbers(tr(L"Update completed,done %d files"), {n - failed}));
    if (list.restartFlag)
        statusAndLog(window, tr(L"Need to restart your computer"));
    if (failed > 0) {
        // Saving the new list would record versions that are not installed,
        // and no later check would offer those files again.
        logLine(fillNumbers(L"%d files could not be updated; the local list is kept, so the next check offers "
                            L"them again.",
                            {failed}));
        return false;
    }
    if (saveLocalList(input)) {
        notifyCopyStep(L"list saved", app + kLocalListName);
        const long long serial = acceptedDocuments().serial;
        if (serial > 0 && !recordInstalledSerial(serial))
            logLine(L"The installed serial could not be recorded: " + installedSerialPath());
    } else
        logLine(tr(L"The local list could not be saved; the next check repeats this update."));
    if (!tool.empty())
        grantUsersAccess(tool, app + kLocalListName);
    return true;
}

} // namespace rk
