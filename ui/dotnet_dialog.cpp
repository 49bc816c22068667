#include "ui/dotnet_dialog.h"

#include "core/config.h"
#include "core/dotnet_requirement.h"
#include "core/language.h"
#include "core/path_helpers.h"
#include "core/path_text.h"
#include "download/segmented_downloader.h"
#include "platform/message_box.h"
#include "platform/shell_run.h"
#include "platform/thread.h"

namespace rk {
namespace {

std::wstring withVersion(const std::wstring& text, const std::wstring& version)
{
    return replaceAll(tr(text), L"2.0", version);
}

} // namespace

CDlgDownDotnet::CDlgDownDotnet(HWND parent, const std::wstring& url, const std::wstring& version)
    : CDialogSK(kTemplate, parent), m_url(url), m_version(version)
{
}

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
    const bool started = startDetachedThread([view, url, path] {
        bool ok = false;
        if (!path.empty()) {
            SegmentedDownloader downloader;
            ok = downloader.download(url, path, -1, view);
        }
        ::SendMessageW(view, WM_COMMAND, ok ? kDownloadFinishedCommand : kDownloadFailedCommand, 0);
    });
    if (!started)
        onCommand(kDownloadFailedCommand, 0, nullptr);
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
}

} // namespace rk
