#include "ui/dotnet_dialog.h"

#include "core/config.h"
#include "core/dotnet_requirement.h"
#include "core/language.h"
#include "core/path_helpers.h"
#include "core/path_text.h"
#include "core/run_log.h"
#include "download/segmented_downloader.h"
#include "platform/event.h"
#include "platform/message_box.h"
#include "platform/shell_run.h"
#include "platform/thread.h"

#include <atomic>

namespace rk {

struct DotNetDownload {
    SegmentedDownloader downloader;
    std::atomic<bool> ended{false};
    Event endedEvent;
};

namespace {

constexpr int kStopWaitSteps = 100; // of 100 ms

std::wstring withVersion(const std::wstring& text, const std::wstring& version)
{
    return replaceAll(tr(text), L"2.0", version);
}

} // namespace

CDlgDownDotnet::CDlgDownDotnet(HWND parent, const std::wstring& url, const std::wstring& version)
    : CDialogSK(kTemplate, parent), m_url(url), m_version(version)
{
}

CDlgDownDotnet::~CDlgDownDotnet() { stopDownload(); }

BOOL CDlgDownDotnet::onInitDialog()
{
    CDialogSK::onInitDialog();
    std::wstring caption = config::read(L"APPLICATION", L"Name");
    if (caption.empty())
        caption = withVersion(L"Install NET Framework 2.0", m_version);
    ::SetWindowTextW(hwnd(), caption.c_str());
    m_localPath = dotnet::installerPath(m_url, config::listKeyPath(L""));
    if (!m_localPath.empty())
        createFolderChain(m_localPath);
    m_view.createOver(hwnd(), kViewItem);
    m_view.setTexts(
        withVersion(L"Install NET Framework 2.0", m_version),
        withVersion(L"Your software will need to install NET Framework 2.0,\nPlease download it and install.",
                    m_version),
        withVersion(L"NET Framework 2.0 download is complete,\nPlease install it.", m_version),
        withVersion(L"NET Framework 2.0 download failed,\nPlease download again.", m_version));
    CLanguage::instance().translateWindow(hwnd(), kSectionMain);
    return TRUE;
}

void CDlgDownDotnet::onCommand(int id, int, HWND)
{
    switch (id) {
    case IDOK:
        if (m_state == 1)
            runInstaller();
        else
            startDownload();
        break;
    case IDCANCEL:
        stopDownload();
        endDialog(IDCANCEL);
        break;
    case kDownloadFinishedCommand:
        ::EnableWindow(item(IDOK), TRUE);
        ::SetWindowTextW(item(IDOK), tr(L"Install").c_str());
        m_state = 1;
        break;
    case kDownloadFailedCommand:
        ::EnableWindow(item(IDOK), TRUE);
        ::SetWindowTextW(item(IDOK), tr(L"Download").c_str());
        m_state = 2;
        break;
    default:
        break;
    }
}

void CDlgDownDotnet::startDownload()
{
    ::EnableWindow(item(IDOK), FALSE);
    HWND view = m_view.hwnd();
    const std::wstring url = m_url;
    const std::wstring path = m_localPath;
    auto download = std::make_shared<DotNetDownload>();
    m_download = download;
    const bool started = startDetachedThread([download, view, url, path] {
        bool ok = false;
        if (!path.empty())
            ok = download->downloader.download(url, path, -1, view);
        // Once the dialog is gone the view is too, and the send returns at once.
        ::SendMessageW(view, WM_COMMAND, ok ? kDownloadFinishedCommand : kDownloadFailedCommand, 0);
        download->ended = true;
        download->endedEvent.set();
    });
    if (!started) {
        m_download.reset();
        onCommand(kDownloadFailedCommand, 0, nullptr);
    }
}

void CDlgDownDotnet::stopDownload()
{
    if (m_download && !m_download->ended)
        m_download->downloader.stop();
}

bool CDlgDownDotnet::waitForStoppedDownload()
{
    if (!m_download)
        return true;
    // Counted steps: the thread's sends to windows of this thread are answered
    // meanwhile. A quit taken from the queue is put back for the loop it belongs to.
    bool quit = false;
    WPARAM quitCode = 0;
    for (int step = 0; step < kStopWaitSteps && !m_download->ended; ++step) {
        MSG msg{};
        while (!quit && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit = true;
                quitCode = msg.wParam;
                break;
            }
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        m_download->endedEvent.wait(100);
    }
    if (quit)
        ::PostThreadMessageW(::GetCurrentThreadId(), WM_QUIT, quitCode, 0);
    if (!m_download->ended) {
        logLine(L"The .NET Framework download did not end in time after its dialog was closed: " + m_localPath);
        return false;
    }
    return true;
}

bool CDlgDownDotnet::onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (message == WM_DPICHANGED) {
        m_view.setDpi(LOWORD(wParam));
        if (const auto* suggested = reinterpret_cast<const RECT*>(lParam)) {
            ::SetWindowPos(hwnd(), nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                           suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        }
        // Not handled: the dialog manager then scales the buttons and the font.
        return false;
    }
    return CDialogSK::onMessage(message, wParam, lParam, result);
}

void CDlgDownDotnet::onDestroy()
{
    // Every way of closing (Exit, Escape, Alt+F4, the end of the program) stops it.
    stopDownload();
    CDialogSK::onDestroy();
}

void CDlgDownDotnet::runInstaller()
{
    shellStart(m_localPath, L"", parentFolder(m_localPath), SW_SHOWNORMAL, L"runas");
    endDialog(IDOK);
}

void showDotNetForVersion(HWND owner, const std::wstring& version)
{
    const std::wstring number = dotnet::installerNumber(version);
    const std::wstring url = dotnet::installerUrl(number, config::read(L"APPLICATION", L"dotnetfx" + number));
    if (url.empty()) {
        showMessage(owner,
                    replaceAll(tr(L"You must install .Net Framework 1.0 to run main application."), L"1.0", version),
                    config::read(L"APPLICATION", L"Name"), MessageKind::OkExclamation);
        return;
    }
    CDlgDownDotnet dialog(owner, url, dotnet::dottedNumber(number));
    dialog.doModal();
    dialog.waitForStoppedDownload();
}

} // namespace rk
