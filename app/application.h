#pragma once
// The process: start-up (working folder, hooks, translations, command line,
// host window, stage 0, mode dispatch), the message loop and shut-down with
// the exit code.

#include "app/working_folder.h"
#include "platform/system.h"
#include "run/update_run.h"
#include "ui/app_object.h"
#include "ui/dlg_most_simple.h"

#include <cstdint>
#include <memory>
#include <string>

namespace rk {

// Exit code rule: the update file count when above 0; else 0x7FFFFFFF when the
// remote version text is set and differs from [APPLICATION] Ver; else 0.
int exitCodeFor(long updateFileCount, const std::wstring& remoteVersion, const std::wstring& installedVersion);

class CUpdateApp : public AppObject {
public:
    // Runs once; true when the message loop should run.
    bool startUp() override;
    // Ends at once when there is no main window; returns the exit code.
    int messageLoop() override;
    // Frees what the run holds in host processes; returns the exit code.
    int shutDown() override;

private:
    bool dispatch(const std::wstring& mode, void* hostWindow);
    void emptyTemporaryFiles();
    RunWindows runWindows();
    void fullUpdateInProgressWindow();
    // The progress window, owned by the host window; modal.
    void showProgressWindow(RunKind kind);

    EmbeddedConfig m_defaultConfig;
    std::unique_ptr<ComApartment> m_com;
    std::unique_ptr<SocketLibrary> m_sockets;
    int m_exitCode = 0;
    void* m_hostWindow = nullptr; // from the command line; owns the progress window
};

} // namespace rk
