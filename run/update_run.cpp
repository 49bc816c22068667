#include "run/update_run.h"

#include "core/app_directory.h"
#include "core/config.h"
#include "core/dotnet_requirement.h"
#include "core/host_link.h"
#include "core/language.h"
#include "core/path_helpers.h"
#include "core/path_macros.h"
#include "core/path_text.h"
#include "core/process_state.h"
#include "core/run_log.h"
#include "core/sample_config.h"
#include "core/settings.h"
#include "core/text_format.h"
#include "download/http_session.h"
#include "download/list_fetch.h"
#include "install/local_check.h"
#include "install/run_file.h"
#include "list/list_compare.h"
#include "list/list_loader.h"
#include "list/list_url.h"
#include "list/signed_list.h"
#include "list/update_list.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "platform/named_lock.h"
#include "platform/shell_run.h"
#include "platform/system.h"
#include "platform/window_text.h"
#include "run/copy_stage.h"
#include "run/elevation.h"
#include "run/download_stage.h"
#include "run/local_stage.h"
#include "run/stage_report.h"

#include <atomic>
#include <cstdlib>

namespace rk {
namespace {

constexpr int kShowHide = 0; // SW_HIDE
constexpr long kMaxExtraDownloadPasses = 4;

std::atomic<bool> g_fullRunBusy{false};

// The update list and the description text emptied, under the list's lock.
void emptyUpdateList()
{
    DownLoadList& list = DownLoadList::shared();
    NamedLockGuard guard(locks::kAddListEntry);
    list.entries.clear();
    list.runCommands.clear();
    list.description.clear();
}

long updateFileCount() { return DownLoadList::shared().count(); }

std::int32_t currentStage() { return DownLoadList::shared().stage(); }

// Quick mode: the list copy of the last full fetch stands in for a download.
bool quickMode()
{
    const std::wstring mode = SettingsTable::instance().get(props::kRunMode);
    if (mode != L"checkforupdates" && mode != L"appenternoprompt" && mode != L"appenter")
        return false;
    return config::readFlag(L"RenewKit", L"QuickCheck", L"1");
}

long long timeOutPolls(const wchar_t* key) { return waitPolls(config::readNumber64(L"RenewKit", key, L"60")); }

// TimeOut x 100 polls of 10 ms for the single list; a poll ends early when the
// worker ends.
bool waitForListFetch()
{
    const long long polls = timeOutPolls(L"TimeOut");
    for (long long i = 0; i < polls; ++i) {
        const std::int32_t state = listFetchState();
        if (state == kFetchReady || state == kFetchFailed)
            break;
        waitForFetchWorker(10);
    }
    // A worker that ends after this changes nothing.
    return finishListFetch() == kFetchReady;
}

// Starts one worker per sub-list address (each logs and fetches its own file)
// and waits MultCheckTimeOut x 100 polls of 1 ms for the first to succeed; a
// poll ends early when a worker ends.
bool fetchSubLists(const std::wstring& listFile)
{
    DownLoadList& list = DownLoadList::shared();
    const std::vector<std::wstring> urls = list.probeUrls;
    emptyChosenListAddress();
    setSubListOutstanding(static_cast<long>(urls.size()));
    for (size_t i = 0; i < urls.size(); ++i)
        startSubListFetch(urls[i], static_cast<int>(i), listFile);
    const long long polls = timeOutPolls(L"MultCheckTimeOut");
    for (long long i = 0; i < polls; ++i) {
        const SubListRace race = subListRace();
        if (!race.chosen.empty() || race.outstanding < 1)
            break;
        waitForFetchWorker(1);
    }
    // A sub-list that succeeds after this is neither chosen nor put in place.
    const std::wstring chosen = finishSubLists();
    if (chosen.empty())
        return false;
    NamedLockGuard guard(locks::kAddListEntry);
    setListUrlBase(list, chosen);
    list.probeUrls.clear();
    return true;
}

} // namespace

bool remoteVersionDiffers()
{
    const std::wstring remote = DownLoadList::shared().probeVersion;
    return !remote.empty() && remote != config::read(L"APPLICATION", L"Ver");
}

bool ensureListAddress(WindowHandle window, bool mayOfferSample)
{
    std::wstring url = config::read(L"UPDATEINFO", L"ListURL");
    if (url.empty() && mayOfferSample)
        offerSampleConfiguration(window, prompter());
    if (!url.empty()) {
        // The base of the address the list is fetched from, parameters filled in.
        NamedLockGuard guard(locks::kAddListEntry);
        setListUrlBase(DownLoadList::shared(), expandListUrlParameters(config::read(L"UPDATEINFO", L"ListURL")));
        return true;
    }
    std::wstring text = replaceAll(tr(L"can't to get [UNDATEINFO]-ListURL from renewkit.ini"), L"renewkit.ini",
                                   programBaseName() + L".ini");
    statusAndLog(window, text);
    return false;
}

bool fetchAndCompare(WindowHandle window)
{
    const std::wstring listUrl = config::read(L"UPDATEINFO", L"ListURL");
    if (listUrl.size() < 5) {
        statusAndLog(window, tr(L"renewkit.ini -> UPDATEINFO -> ListURL can't empty"));
        return false;
    }
    emptyUpdateList();
    resetDownloadRun();
    statusAndLog(window, tr(L"try to download the list file..."));

    DownLoadList& list = DownLoadList::shared();
    std::wstring listFile = config::listKeyPath(L".xml");
    clearAcceptedDocuments();
    // The kept copy of an earlier fetch carries no signature: signed releases
    // are always fetched.
    bool quick = !config::readFlag(L"APPLICATION", L"CheckVerNumber", L"0") && quickMode() && !signedReleasesRequired();
    if (quick) {
        moveFile(listFile, listFile + L".xml"); // fails, and changes nothing, when the copy exists
        // Without a kept copy (a first run, or after emptytemp) there is nothing
        // to compare with: a missing list would pass for an empty one.
        quick = fileExists(listFile + L".xml");
        if (!quick)
            logLine(L"No copy of the last list is kept; the list is fetched.");
    }
    if (quick) {
        listFile += L".xml";
        hiddenRefresh();
    } else {
        deleteFile(listFile);
        SettingsTable::instance().set(props::kDownPrefix + listFile, expandListUrlParameters(listUrl));
        emptyChosenListAddress();
        bool fetched = false;
        if (list.probeUrls.empty()) {
            if (!list.probeVersion.empty()) {
                fetched = true;
            } else {
                fetched = startListFetch(listFile) && waitForListFetch();
            }
        } else {
            fetched = fetchSubLists(listFile);
        }
        if (!fetched) {
            std::wstring text = tr(L"error when download the list file.");
            if (list.probeVersion.empty())
                text += L"\n" + listUrl;
            statusAndLog(window, text);
            return false;
        }
        copyFileReplacing(listFile, listFile + L".xml");
    }

    setCurrentListFile(listFile);
    compareWithLocalList(listFile, list);
    if (!list.description.empty())
        sendDescription(list.description);
    return true;
}

void resetUpdateList()
{
    emptyUpdateList();
    DownLoadList::shared().setStage(UpdateNone);
}

void checkForUpdates(WindowHandle window)
{
    if (!windowExists(window))
        window = nullptr;
    ComApartment com;
    const std::int64_t now = hoursSince2011();
    const long long lastRefresh = config::readNumber64(L"RenewKit", L"OwerCheckTm", L"0");
    DownLoadList& list = DownLoadList::shared();

    if (!(list.probeUrls.empty() && currentStage() >= UpdateCheckRemote)) {
        reportStage(UpdateCheckRemote, window);
        {
            NamedLockGuard guard(locks::kAddListEntry);
            list.downloadDir = config::listKeyPath(L"");
        }
        if (ensureListAddress(window, window != nullptr) && fetchAndCompare(window)) {
            if (std::llabs(now - lastRefresh) > 48)
                hiddenRefresh();
            if (window) {
                WindowHandle parent = parentWindow(window);
                postCommand(parent ? parent : window, command::kCheckDone);
            }
            statusAndLog(window, fillNumbers(tr(L"Found %d files need to update..."), {updateFileCount()}));
            reportStage(UpdateCheckRemoteOk, window);
            if (updateFileCount() == 0 && currentStage() == UpdateCheckRemoteOk)
                statusAndLog(window, tr(L"Find nothing to update."));
        }
    }
    if (currentStage() != UpdateCheckRemoteOk) {
        reportStage(UpdateCheckRemoteError, window);
        emptyUpdateList();
    }
}

void versionAwareCheck(WindowHandle window)
{
    DownLoadList& list = DownLoadList::shared();
    {
        NamedLockGuard guard(locks::kAddListEntry);
        list.probeVersion.clear();
        list.probeUrls.clear();
    }
    if (!config::readFlag(L"APPLICATION", L"CheckVerNumber", L"0")) {
        checkForUpdates(window);
        return;
    }
    resetVersionProbeState();
    startVersionProbe([window](std::int32_t stage) { reportStage(stage, window); });
    const long long polls = timeOutPolls(L"TimeOut");
    for (long long i = 0; i < polls; ++i) {
        const std::int32_t state = versionProbeState();
        if (state == kFetchReady || state == kFetchFailed)
            break;
        waitForFetchWorker(1);
    }
    // From here no worker writes the probe's fields or reports a stage.
    const std::int32_t state = finishVersionProbe();
    const bool ok = state == kFetchReady && !list.probeVersion.empty();
    reportStage(ok ? UpdateCheckRemoteOk : UpdateCheckRemoteError, window);
}

namespace {

// The first pass, then more while the pass failed but completed files.
void downloadWithRetries(WindowHandle window)
{
    runDownloadPass(window);
    for (long extra = 0; extra < kMaxExtraDownloadPasses; ++extra) {
        if (currentStage() != UpdateDownloadError || downloadDoneCount() == 0)
            break;
        runDownloadPass(window);
    }
}

} // namespace

int fullRun(WindowHandle window)
{
    bool expected = false;
    if (!g_fullRunBusy.compare_exchange_strong(expected, true))
        return 0;
    [&] {
        if (currentStage() < UpdateCheckRemoteOk) {
            checkForUpdates(window);
            if (currentStage() != UpdateCheckRemoteOk)
                return;
        }
        if (currentStage() == UpdateCheckRemoteOk && !DownLoadList::shared().probeUrls.empty()) {
            checkForUpdates(window);
            if (currentStage() != UpdateCheckRemoteOk)
                return;
        }
        if (currentStage() < UpdateDownloadOk && updateFileCount() > 0) {
            downloadWithRetries(window);
            if (currentStage() != UpdateDownloadOk)
                return;
        }
        if (currentStage() < UpdateCheckLocalOk && updateFileCount() > 0) {
            runLocalCheck(window);
            if (currentStage() != UpdateCheckLocalOk)
                return;
        }
        if (currentStage() < UpdateCopyOk && updateFileCount() > 0) {
            runCopyStage(window);
            if (currentStage() != UpdateCopyOk && currentStage() != UpdateEnd)
                return;
        }
        sendCommand(window, command::kUpdateDone);
    }();
    sendCommand(window, command::kRunOver);
    g_fullRunBusy.store(false);
    return 1;
}

int entryRun(const std::wstring& mode, const RunWindows& windows)
{
    const std::wstring name = config::read(L"APPLICATION", L"Name");
    if (config::read(L"APPLICATION", L"Application").empty()) {
        showMessage(nullptr, L"At AppEnter mode,You must set Application in renewkit.ini file.", name, MessageKind::Ok);
        return 0;
    }
    if (config::readFlag(L"RenewKit", L"ShowWhenCheck", L"1")) {
        if (windows.entryProgress)
            windows.entryProgress();
        else
            logLine(L"The progress window is not available in this build.");
        return 1;
    }
    versionAwareCheck(nullptr);
    entryQuestion(mode, windows);
    return 1;
}

void entryQuestion(const std::wstring& mode, const RunWindows& windows)
{
    long count = updateFileCount();
    if (remoteVersionDiffers())
        count = 0x7FFFFFFF;
    if (currentStage() == UpdateCheckRemoteOk && count > 0) {
        MessageAnswer answer = MessageAnswer::Yes;
        if (mode != L"appenternoprompt") {
            const std::wstring question =
                DownLoadList::shared().probeVersion.empty()
                    ? fillNumbers(tr(L"%d updates found at the website,now to upgrade?"), {updateFileCount()})
                    : tr(L"found new version at the website,now to upgrade?");
            answer =
                showMessage(nullptr, question, config::read(L"APPLICATION", L"Name"), MessageKind::YesNoCancelQuestion);
        }
        if (answer == MessageAnswer::Yes) {
            if (windows.fullUpdate)
                windows.fullUpdate();
            else
                logLine(L"The full update in the progress window is not available in this build.");
        } else if (answer == MessageAnswer::No) {
            launchHostProgram(true);
        }
    } else {
        launchHostProgram(true);
    }
}

int silentRun(WindowHandle host)
{
    const HostWatch watch = systemHostWatch();
    bool relaunched = false;
    [&] {
        if (!waitWhilePaused(host, watch))
            return;
        if (currentStage() < UpdateCheckRemoteOk) {
            checkForUpdates(nullptr);
            if (updateFileCount() == 0)
                return;
            if (!waitWhilePaused(host, watch))
                return;
        }
        if (currentStage() == UpdateCheckRemoteOk) {
            downloadWithRetries(nullptr);
            if (!waitWhilePaused(host, watch))
                return;
        }
        if (currentStage() == UpdateDownloadOk) {
            runLocalCheck(nullptr);
            if (!waitWhilePaused(host, watch))
                return;
        }
        if (isElevated())
            clearAdminRequiredFiles();
        if (!adminRequiredFiles().empty()) {
            statusAndLog(host, tr(L"continue update as administrator"));
            relaunchAsAdministrator(true);
            relaunched = true;
            return;
        }
        if (currentStage() == UpdateCheckLocalOk) {
            runCopyStage(nullptr);
            waitWhilePaused(host, watch);
        }
    }();
    // The elevated copy finishes the run, ends it and starts the host program.
    if (relaunched)
        return 1;
    reportStage(UpdateEnd, nullptr);
    launchHostProgram(false);
    return 1;
}

void launchHostProgram(bool showMessages)
{
    const std::wstring configured = config::read(L"APPLICATION", L"Application");
    if (configured.empty())
        return;
    const std::wstring path = resolvePath(configured);
    if (!fileExists(path)) {
        if (showMessages)
            showMessage(mainWindow(),
                        tr(L"Can't find the file that you set Application in renewkit.ini file.") + L"\r\n" + path,
                        config::read(L"APPLICATION", L"Name"), MessageKind::OkExclamation);
        return;
    }
    const std::wstring dotNet = dotnet::neededVersion();
    if (!dotNet.empty() && dotnet::isMissing(dotNet, dotnet::detect())) {
        logLine(L"The .NET Framework " + dotNet + L" that the program needs is not installed; it is not started.");
        if (showMessages)
            dotnet::offerInstaller(nullptr, dotNet);
        return;
    }
    runFile(path, applicationDirectory(), L"", nullptr, false);
}

std::wstring hiddenRefreshArgument(int mark) { return mark == 1 ? L"downparam1" : L"downparam0"; }

long long waitPolls(long long seconds)
{
    if (seconds <= 0)
        return 0;
    return seconds > kMostWaitPolls / 100 ? kMostWaitPolls : seconds * 100;
}

void hiddenRefresh()
{
    config::write(L"RenewKit", L"OwerCheckTm", std::to_wstring(hoursSince2011()));
    const std::wstring self = moduleFileName();
    shellStart(self, hiddenRefreshArgument(serverMark()), applicationDirectory(), kShowHide);
}

} // namespace rk
