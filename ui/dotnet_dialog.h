#pragma once
// The dialog that downloads a .NET Framework installer into the list cache
// folder, pictures the download in a block view and then runs the installer
// as administrator. Used on the thread that shows it; the download runs on a
// thread of its own.

#include "ui/dialog_sk.h"
#include "ui/download_block_view.h"

#include <string>

namespace rk {

class CDlgDownDotnet : public CDialogSK {
public:
    static constexpr int kTemplate = 177;
    static constexpr int kViewItem = 151;

    // url: the installer; version: the dotted version text shown ("3.5").
    CDlgDownDotnet(HWND parent, const std::wstring& url, const std::wstring& version);

    int state() const { return m_state; } // 0 nothing yet, 1 downloaded, 2 download failed
    const std::wstring& localPath() const { return m_localPath; }

protected:
    BOOL onInitDialog() override;
    void onCommand(int id, int code, HWND control) override;

private:
    void startDownload();
    void runInstaller();

    CMyDownloadBlockView m_view;
    int m_state = 0;
    std::wstring m_url;
    std::wstring m_localPath;
    std::wstring m_version;
};

// Resolves the installer for a version text ("3.5", "4") and shows the dialog
// modally; without an address it tells the user which version to install.
void showDotNetForVersion(HWND owner, const std::wstring& version);

} // namespace rk
