// rk_install_runner: the local check and the copy stage on a prepared
// application folder, as an update run reaches them after its download.
//
//   rk_install_runner APPDIR REMOTE_LIST FILES_DIR [options] [HOSTWND]
//     APPDIR       the application directory (renewkit.ini, renewkit.xml)
//     REMOTE_LIST  the new list; it is compared with the local one as the check does
//     FILES_DIR    the new files; each selected entry's file is put into the
//                  temporary list folder as its done marker, as a download leaves it
//     --kill-at N  end this process (exit code 99) at step boundary N of the copy stage
//     --answer yes|no  answer to the close-the-program question (default no)
//     --result FILE    writes "stage=S" and "steps=K" (boundaries passed)
//     --skin NAME      the updateskin run property ("mostsimple" closes the host unasked)
//     --probe-version V  the remote version text, as the version probe leaves it
//     --temp-access SDDL the access list a download into the user's temporary
//                        folder gives the list and the done markers there (a
//                        DACL in SDDL)
//     HOSTWND      a host window handle in decimal: the stage reports go there
// Exit code: the final stage, 0 when nothing was selected; 3 when the list
// cannot be read, 4 when --temp-access cannot be applied.

#include "core/temp_list_path.h"
#include "core/app_directory.h"
#include "core/config.h"
#include "core/host_link.h"
#include "core/path_macros.h"
#include "core/process_state.h"
#include "core/settings.h"
#include "install/file_replace.h"
#include "install/old_files.h"
#include "install/rename_probe.h"
#include "list/list_compare.h"
#include "list/update_list.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "platform/system.h"
#include "run/copy_stage.h"
#include "run/local_stage.h"
#include "run/stage_report.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <cstdio>
#include <string>

using namespace rk;

namespace {

std::wstring g_resultFile;
long g_killAt = -1;
long g_steps = 0;

void writeResult(long stage)
{
    if (g_resultFile.empty())
        return;
    std::string text = "stage=" + std::to_string(stage) + "\nsteps=" + std::to_string(g_steps) + "\n";
    writeFileBytes(g_resultFile, text);
}

class KillingObserver final : public CopyStepObserver {
public:
    void afterStep(const wchar_t*, const std::wstring&) override
    {
        ++g_steps;
        if (g_steps == g_killAt) {
            writeResult(-1);
            // As abrupt as a power cut for the files: no destructors, no flushing of ours.
            ::TerminateProcess(::GetCurrentProcess(), 99);
        }
    }
};

bool setAccess(const std::wstring& path, const std::wstring& sddl)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
        return false;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    bool ok = ::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) && present &&
              ::SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                      nullptr, nullptr, dacl, nullptr) == ERROR_SUCCESS;
    ::LocalFree(descriptor);
    return ok;
}

class Answer final : public Prompter {
public:
    explicit Answer(MessageAnswer answer) : m_answer(answer) {}
    MessageAnswer ask(void*, const std::wstring&, const std::wstring&, MessageKind kind) override
    {
        if (kind == MessageKind::RetryCancel)
            return MessageAnswer::Cancel;
        return m_answer;
    }

private:
    MessageAnswer m_answer;
};

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 4) {
        std::fputs("usage: rk_install_runner APPDIR REMOTE_LIST FILES_DIR [options] [HOSTWND]\n", stderr);
        return 2;
    }
    std::wstring app = argv[1];
    if (app.back() != L'\\')
        app += L'\\';
    const std::wstring remote = argv[2];
    std::wstring files = argv[3];
    MessageAnswer answer = MessageAnswer::No;
    WindowHandle host = nullptr;
    std::wstring tempAccess;
    for (int i = 4; i < argc; ++i) {
        std::wstring a = argv[i];
        if (a == L"--kill-at" && i + 1 < argc)
            g_killAt = std::wcstol(argv[++i], nullptr, 10);
        else if (a == L"--answer" && i + 1 < argc)
            answer = std::wstring(argv[++i]) == L"yes" ? MessageAnswer::Yes : MessageAnswer::No;
        else if (a == L"--result" && i + 1 < argc)
            g_resultFile = argv[++i];
        else if (a == L"--skin" && i + 1 < argc)
            SettingsTable::instance().set(props::kUpdateSkin, argv[++i]);
        else if (a == L"--elevated")
            setElevated(true); // as the copy relaunched as administrator: no write test
        else if (a == L"--temp-access" && i + 1 < argc)
            tempAccess = argv[++i];
        else if (a == L"--probe-version" && i + 1 < argc)
            DownLoadList::shared().probeVersion = argv[++i];
        else
            host = reinterpret_cast<WindowHandle>(static_cast<std::uintptr_t>(std::wcstoull(a.c_str(), nullptr, 10)));
    }
    setApplicationDirectory(app);
    Answer prompts(answer);
    setPrompter(&prompts);
    KillingObserver observer;
    setCopyStepObserver(&observer);
    if (host)
        HostWindows::instance().add(host);

    // As at every start: the backups of the last run go first.
    restoreRenameTests();
    purgeOldFiles();
    ComApartment com;
    const std::wstring listFile = config::listKeyPath(L".xml");
    createFolderChain(listFile);
    std::string bytes;
    if (!readFileBytes(remote, bytes) || !writeFileBytes(listFile, bytes))
        return 3;
    if (!tempAccess.empty() && !setAccess(listFile, tempAccess))
        return 4;
    DownLoadList& list = DownLoadList::shared();
    if (compareWithLocalList(listFile, list) == 0) {
        writeResult(0);
        return 0;
    }
    const std::wstring temp = config::listKeyPath(L"");
    for (const auto& entry : list.entries) {
        if (entry.actions & ACT_DELETE)
            continue;
        const std::wstring marker = tempListFilePath(temp, entry.path) + L"_";
        createFolderChain(marker);
        if (!copyFileReplacing(joinLocal(files, entry.path), marker))
            std::fwprintf(stderr, L"no new file for %ls\n", entry.path.c_str());
        else if (!tempAccess.empty() && !setAccess(marker, tempAccess))
            return 4;
    }
    setCurrentListFile(listFile);
    list.setStage(UpdateDownloadOk);
    runLocalCheck(host);
    runCopyStage(host);
    writeResult(list.stage());
    HostWindows::instance().clear();
    return list.stage();
}
