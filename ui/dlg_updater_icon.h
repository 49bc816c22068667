#pragma once
// The tray mode: an icon in the notification area ("Update Center"), periodic
// checks on short-lived worker threads, and the update centre, a small
// topmost window shown at the bottom right when updates are found, which
// counts down before it updates and offers four painted links (reached with
// the mouse, or with Tab and Enter). The icon comes back when Explorer is
// restarted. An update that meets files only an administrator may write
// hands the list over to a copy started as administrator, which goes on with
// it and stays in the tray. Every measure follows the window's DPI; the
// window's title is the tip. Runs modally on the main thread until Exit, or
// until a check without CheckTmSpan finds nothing to do.

#include "ui/dialog_sk.h"
#include "ui/tray_rules.h"

#include "platform/handles.h"

#include <functional>
#include <map>
#include <string>

namespace rk {

// What the update centre runs, replaceable by tests: the check (on a worker
// thread, reporting its stages to the window as the real one does, and
// filling the shared update list) and the whole update (on the window's
// thread). Unset members run the real ones.
struct TrayWork {
    std::function<void(HWND window)> check;
    std::function<void()> update;
};

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
    // And the link the keyboard is on: 0 to 3 as above, -1 for none.
    static constexpr UINT kQueryLinkPoint = WM_APP + 0x40;
    static constexpr UINT kQueryCountdown = WM_APP + 0x41;
    static constexpr UINT kQueryFocusedLink = WM_APP + 0x43;

    CDlgUpdaterIcon(HWND parent, const TrayClock& clock, TrayWork work = {});
    ~CDlgUpdaterIcon() override;

protected:
    BOOL onInitDialog() override;
    void onCommand(int id, int code, HWND control) override;
    bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void onDestroy() override;

private:
    static constexpr UINT kCheckFinished = WM_APP + 0x42;
    static constexpr UINT kContinueElevated = WM_APP + 0x44;

    void startCheck(bool firstOne);
    void onCheckFinished();
    void onStatus(int status, int found);
    void onTimer();
    void requestUpdate();
    void runUpdate(bool handedOver);
    void showCentre();
    void hideCentre();
    void refreshTip();
    bool addIcon();
    void reportIcon(TrayIconKeeper::Outcome outcome, const wchar_t* when);
    void trayMenu();
    void onClick(POINT point);
    void activateLink(const std::wstring& link);
    void onHover(POINT point);
    bool onKey(WPARAM key);
    void paint();
    void repaintLink(const std::wstring& name, int grow);
    LRESULT linkPoint(WPARAM which) const;
    LRESULT focusedLink() const;
    void closeCentre();

    TrayWork m_work;
    HICON m_icon = nullptr;
    HICON m_smallIcon = nullptr;
    TraySchedule m_schedule;
    int m_foundCount = 0;
    int m_lastStatus = 0;
    int m_busy = 0;
    std::wstring m_messageLine;
    std::wstring m_outcomeLine; // how the last update ended, shown until the next status
    std::wstring m_tip;
    UniqueGdiObject m_background;
    UniqueGdiObject m_closeHover;
    std::wstring m_hovered;
    std::wstring m_focused; // the link the keyboard is on
    std::map<std::wstring, RECT> m_links;
    RECT m_countdownLine{};
    int m_dpi = 96;
    UINT m_taskbarCreated = 0;
    TrayIconKeeper m_iconKeeper;
    bool m_checkRunning = false;
    bool m_updateRequested = false; // the update is due while a check still runs
};

// Runs the tray mode modally until it closes.
void runTrayMode();

} // namespace rk
