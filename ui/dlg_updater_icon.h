#pragma once
// The tray mode: an icon in the notification area ("Update Center"), periodic
// checks on short-lived worker threads, and the update centre, a small
// topmost window shown at the bottom right when updates are found, which
// counts down before it updates and offers four painted links. Runs modally
// on the main thread until Exit, or until a check without CheckTmSpan finds
// nothing to do.

#include "ui/dialog_sk.h"
#include "ui/tray_rules.h"

#include "platform/handles.h"

#include <map>
#include <string>

namespace rk {

class CDlgUpdaterIcon : public CDialogSK {
public:
    static constexpr int kTemplate = 167;
    static constexpr UINT kIconId = 1030;
    static constexpr UINT kTrayMessage = 0x464;
    static constexpr int kShowCommand = 40096;
    static constexpr int kExitCommand = 40097;
    // For tests and tools in other processes: wParam 0 "close", 1 "cancel",
    // 2 "check", 3 "update" -> the link's centre in client coordinates as
    // MAKELONG(x, y), or -1 when the link is not painted; and the countdown.
    static constexpr UINT kQueryLinkPoint = WM_APP + 0x40;
    static constexpr UINT kQueryCountdown = WM_APP + 0x41;

    explicit CDlgUpdaterIcon(HWND parent, const TrayClock& clock);
    ~CDlgUpdaterIcon() override;

protected:
    BOOL onInitDialog() override;
    void onCommand(int id, int code, HWND control) override;
    bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void onDestroy() override;

private:
    static constexpr UINT kCheckFinished = WM_APP + 0x42;

    void startCheck(bool firstOne);
    void onCheckFinished();
    void onStatus(int status, int found);
    void onTimer();
    void runUpdate();
    void showCentre();
    void refreshTip();
    void trayMenu();
    void onClick(POINT point);
    void onHover(POINT point);
    void paint();
    void repaintLink(const std::wstring& name, int grow);
    LRESULT linkPoint(WPARAM which) const;
    void closeCentre();

    HICON m_icon = nullptr;
    TraySchedule m_schedule;
    int m_foundCount = 0;
    int m_lastStatus = 0;
    int m_busy = 0;
    std::wstring m_messageLine;
    UniqueGdiObject m_background;
    UniqueGdiObject m_closeHover;
    std::wstring m_hovered;
    std::map<std::wstring, RECT> m_links;
    bool m_iconAdded = false;
    bool m_checkRunning = false;
    bool m_updateRequested = false; // "update" clicked while the check was still reporting
};

// Runs the tray mode modally until it closes.
void runTrayMode();

} // namespace rk
