#pragma once
// The dialog that downloads a .NET Framework installer into the list cache
// folder, pictures the download in a block view and then runs the installer
// as administrator. Closing it stops a running download, whose part files
// go with it. Used on the thread that shows it; the download runs on a thread
// of its own.

#include "ui/dialog_sk.h"
#include "ui/download_block_view.h"

#include <memory>
#include <string>

namespace rk {

struct DotNetDownload; // shared by the dialog and its download thread

class CDlgDownDotnet : public CDialogSK {
public:
    static constexpr int kTemplate = 177;
    static constexpr int kViewItem = 151;

    // url: the installer; version: the dotted version text shown ("3.5").
    CDlgDownDotnet(HWND parent, const std::wstring& url, const std::wstring& version);

    ~CDlgDownDotnet() override;

    int state() const { return m_state; } // 0 nothing yet, 1 downloaded, 2 download failed
    const std::wstring& localPath() const { return m_localPath; }
    // After the dialog closed: waits (up to about 10 s, answering this
    // thread's messages) until a stopped download has ended and removed its
    // part files. False when it had not ended by then.
    bool waitForStoppedDownload();

protected:
    BOOL onInitDialog() override;
    void onCommand(int id, int code, HWND control) override;
    bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void onDestroy() override;

private:
    void startDownload();
    void stopDownload();
    void runInstaller();

    std::shared_ptr<DotNetDownload> m_download;

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
