#include "app/application.h"

#include "app/command_line.h"
#include "core/config.h"
#include "core/release_signature.h"
#include "core/host_link.h"
#include "core/dotnet_requirement.h"
#include "core/language.h"
#include "core/process_state.h"
#include "core/run_log.h"
#include "core/settings.h"
#include "install/old_files.h"
#include "install/rename_probe.h"
#include "install/self_package.h"
#include "core/app_directory.h"
#include "core/path_helpers.h"
#include "core/path_text.h"
#include "list/update_list.h"
#include "run/elevation.h"
#include "run/stage_report.h"
#include "run/update_run.h"
#include "ui/dlg_most_simple.h"
#include "platform/files.h"
#include "platform/system.h"
#include "ui/dlg_updater_icon.h"
#include "ui/dotnet_dialog.h"

namespace rk {
namespace {

constexpr int kSimplifiedChinese = 154;
constexpr int kTraditionalChinese = 153;

std::wstring baseNameOf(const std::wstring& path)
{
    size_t slash = path.rfind(L'\\');
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    size_t dot = name.rfind(L'.');
    return dot == std::wstring::npos ? name : name.substr(0, dot);
}

void loadTranslations()
{
    CLanguage& table = CLanguage::instance();
    std::wstring choice = config::read(L"RenewKit", L"Langage");
    if (choice.empty())
        choice = config::read(L"RenewKit", L"Language");
    choice = toLower(choice);
    if (choice == L"renewkitcn.lan")
        table.loadEmbedded(kSimplifiedChinese);
    else if (choice == L"renewkitbig.lan")
        table.loadEmbedded(kTraditionalChinese);
    else if (!choice.empty())
        table.loadFile(collapseBackslashes(applicationDirectory() + choice));
    table.loadFile(collapseBackslashes(applicationDirectory() + programBaseName() + L".lan"));
}

} // namespace

int exitCodeFor(long updateFileCount, const std::wstring& remoteVersion, const std::wstring& installedVersion)
{
    if (updateFileCount > 0)
        return static_cast<int>(updateFileCount);
    if (!remoteVersion.empty() && remoteVersion != installedVersion)
        return 0x7FFFFFFF;
    return 0;
}

bool CUpdateApp::startUp()
{
    // 1. Working folder and the embedded configuration written there.
    m_defaultConfig = loadEmbeddedConfig();
    applyWorkingFolderRule(m_defaultConfig);
    // Release keys come from the executable itself, never from the file written
    // beside it, which another program could change.
    setReleaseKeys(releaseKeysFromIni(m_defaultConfig.text));
    // 2. COM for the main thread until shut-down, and the socket library.
    m_com = std::make_unique<ComApartment>();
    m_sockets = std::make_unique<SocketLibrary>();
    // 3.
    setProgramBaseName(baseNameOf(moduleFileName()));
    // A refused configuration write offers the relaunch as administrator.
    config::setWriteRefusedHandler(writeRefusedPrompt);
    // A program left under its rename-test name by an ended run gets its name
    // back before anything (a start-up hook, say) looks for it.
    restoreRenameTests();
    // 4.
    checkSelfPackage();
    // 5. Start-up hooks.
    runStageHooks(L"UpdateStartup", nullptr);
    // 6.
    setConnectionAttempts(config::readNumber(L"RenewKit", L"ConnectTryCount", L"3"));
    // 7.
    purgeOldFiles();
    // 8.
    loadTranslations();
    // 9.
    std::wstring ownExe = applicationDirectory() + programBaseName() + L".exe";
    std::wstring normalized = normalizeCommandLine(processCommandLine(), ownExe);
    SettingsTable::instance().set(props::kCommandLine, normalized);
    // 10.
    if (normalized.find(kRunAsAdminMarker) != std::wstring::npos)
        setElevated(true);
    // 12.
    dotnet::setInstallerDialog(
        [](void* owner, const std::wstring& version) { showDotNetForVersion(static_cast<HWND>(owner), version); });
    std::wstring dotNet = dotNetSwitch(normalized);
    if (!dotNet.empty()) {
        dotnet::checkVersion(nullptr, dotNet);
        return false;
    }
    // 11 and 14: the mode is known before the check of step 13, which it decides.
    // The host is another program: a window of this process (COM's own, say)
    // would wait for a thread that is waiting for the check.
    ModeChoice choice =
        chooseMode(modeWords(normalized, moduleFileName()), config::read(L"RenewKit", L"Mode"), isOtherProgramsWindow);
    // 13. The hidden refresh is started without a window and ends at once: a
    // dialog there would be invisible and keep the process alive.
    if (choice.mode != L"downparam0" && choice.mode != L"downparam1")
        dotnet::checkPrerequisite(nullptr);
    SettingsTable::instance().set(props::kRunMode, choice.mode);
    void* host = reinterpret_cast<void*>(choice.hostWindow);
    m_hostWindow = host;
    // 15.
    if (host)
        HostWindows::instance().add(host);
    // 16.
    reportStage(UpdateNone, nullptr);
    // 17.
    std::wstring mode = choice.mode;
    if (isElevated()) {
        continueElevatedRun();
        if (mode == L"appenter" || mode == L"appenternoprompt")
            mode.clear();
    }
    // 18.
    return dispatch(mode, host);
}

RunWindows CUpdateApp::runWindows()
{
    RunWindows windows;
    windows.fullUpdate = [this] { fullUpdateInProgressWindow(); };
    windows.entryProgress = [this] { showProgressWindow(RunKind::EntryCheck); };
    return windows;
}

void CUpdateApp::showProgressWindow(RunKind kind)
{
    CDlgMostSimple window(kind, static_cast<HWND>(m_hostWindow), [this] { fullUpdateInProgressWindow(); });
    if (window.doModal() == Dialog::kFailedResult)
        logLine(L"The progress window could not be created.");
}

void CUpdateApp::fullUpdateInProgressWindow()
{
    config::read(L"RenewKit", L"Skin"); // read, without effect: one skin only
    SettingsTable::instance().set(props::kUpdateSkin, L"mostsimple");
    showProgressWindow(RunKind::FullUpdate);
}

bool CUpdateApp::dispatch(const std::wstring& mode, void* hostWindow)
{
    if (mode == L"downparam0" || mode == L"downparam1")
        return false;
    if (mode == L"emptytemp") {
        emptyTemporaryFiles();
        return false;
    }
    if (mode == L"checkforupdates") {
        if (config::readFlag(L"RenewKit", L"ShowWhenCheck", L"1"))
            showProgressWindow(RunKind::CheckOnly);
        else
            versionAwareCheck(nullptr);
        long result = DownLoadList::shared().count();
        if (remoteVersionDiffers())
            result = 0x7FFFFFF;
        reportStage(UpdateEnd, nullptr);
        return result != 0;
    }
    if (mode == L"showwhenupdate") {
        checkForUpdates(nullptr);
        const long count = DownLoadList::shared().count();
        if (count > 0 && DownLoadList::shared().stage() == UpdateCheckRemoteOk) {
            fullUpdateInProgressWindow();
            reportStage(UpdateEnd, nullptr);
        }
        return count != 0;
    }
    if (mode == L"tryicon") {
        runTrayMode();
        return false;
    }
    if (mode == L"silence")
        return silentRun(hostWindow) != 0;
    if (mode == L"appenter" || mode == L"appenternoprompt")
        return entryRun(mode, runWindows()) != 0;
    if (mode == L"uninstall") {
        uninstallRun();
        emptyTemporaryFiles();
        return false;
    }
    fullUpdateInProgressWindow();
    reportStage(UpdateEnd, nullptr);
    return false;
}

void CUpdateApp::emptyTemporaryFiles()
{
    const std::wstring base = config::listKeyPath(L"");
    for (const wchar_t* ending : {L".xml.xml", L".xml", L".bin", L".ini"})
        deleteFile(base + ending);
    deleteTree(base);
}

int CUpdateApp::messageLoop()
{
    // No window of ours outlives start-up in the modes built so far.
    return shutDown();
}

int CUpdateApp::shutDown()
{
    config::setWriteRefusedHandler(nullptr);
    HostWindows::instance().clear();
    m_sockets.reset();
    m_com.reset();
    const DownLoadList& list = DownLoadList::shared();
    // The exit code needs the installed version: read it before the table goes.
    std::wstring installed = config::read(L"APPLICATION", L"Ver");
    SettingsTable::instance().clear();
    m_exitCode = exitCodeFor(list.count(), list.probeVersion, installed);
    return m_exitCode;
}

} // namespace rk
