#include "ui/dlg_updater_icon.h"

#include "core/config.h"
#include "core/host_link.h"
#include "core/language.h"
#include "core/run_log.h"
#include "core/process_state.h"
#include "core/text_format.h"
#include "install/local_check.h"
#include "list/update_list.h"
#include "platform/message_box.h"
#include "platform/sleep.h"
#include "platform/thread.h"
#include "run/elevation.h"
#include "run/update_run.h"
#include "ui/dpi.h"
#include "ui/gdi.h"

#include <shellapi.h>
#include <windowsx.h>

namespace rk {
namespace {

constexpr int kTrayIcon = 141;
constexpr int kBackgroundBitmap = 168;
constexpr int kCloseHoverBitmap = 170;
constexpr UINT_PTR kTimerId = 0;
const wchar_t kFirstTip[] = L"Update Center";

std::wstring applicationName() { return config::read(L"APPLICATION", L"Name"); }
std::wstring checkTmSpan() { return config::read(L"RenewKit", L"CheckTmSpan"); }

NOTIFYICONDATAW iconData(HWND window, HICON icon)
{
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = CDlgUpdaterIcon::kIconId;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = CDlgUpdaterIcon::kTrayMessage;
    data.hIcon = icon;
    return data;
}

void copyTip(NOTIFYICONDATAW& data, const std::wstring& tip)
{
    const size_t count = std::min(tip.size(), std::size(data.szTip) - 1);
    tip.copy(data.szTip, count);
    data.szTip[count] = L'\0';
}

} // namespace

CDlgUpdaterIcon::CDlgUpdaterIcon(HWND parent, const TrayClock& clock, TrayWork work)
    : CDialogSK(kTemplate, parent), m_work(std::move(work)), m_schedule(clock),
      m_iconKeeper([this] { return addIcon(); })
{
}

CDlgUpdaterIcon::~CDlgUpdaterIcon() = default;

BOOL CDlgUpdaterIcon::onInitDialog()
{
    CDialogSK::onInitDialog();
    m_dpi = windowDpi(hwnd());
    ::SetTimer(hwnd(), kTimerId, 500, nullptr);
    ::SetPropW(hwnd(), prop::kNeedMsg, reinterpret_cast<HANDLE>(msg::kWantsMessages));
    HINSTANCE module = ::GetModuleHandleW(nullptr);
    m_background.reset(::LoadBitmapW(module, MAKEINTRESOURCEW(kBackgroundBitmap)));
    m_closeHover.reset(::LoadBitmapW(module, MAKEINTRESOURCEW(kCloseHoverBitmap)));
    RECT client{};
    ::GetClientRect(hwnd(), &client);
    m_links[L"close"] = trayCloseArea(client, bitmapSize(m_background.get()));
    ::SetWindowPos(hwnd(), nullptr, -800, -800, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    m_icon = static_cast<HICON>(
        ::LoadImageW(module, MAKEINTRESOURCEW(kTrayIcon), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
    m_smallIcon =
        static_cast<HICON>(::LoadImageW(module, MAKEINTRESOURCEW(kTrayIcon), IMAGE_ICON,
                                        ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    if (!m_smallIcon)
        m_smallIcon = m_icon;
    ::SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));
    ::SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_smallIcon));
    // Explorer announces a new taskbar to every top-level window; a copy running
    // as administrator must let the message in from the user's Explorer.
    m_taskbarCreated = ::RegisterWindowMessageW(L"TaskbarCreated");
    if (m_taskbarCreated)
        ::ChangeWindowMessageFilterEx(hwnd(), m_taskbarCreated, MSGFLT_ALLOW, nullptr);
    m_tip = kFirstTip;
    ::SetWindowTextW(hwnd(), m_tip.c_str());
    reportIcon(m_iconKeeper.start(), L"start");
    // The copy started as administrator goes on with the update it was handed.
    const DownLoadList& list = DownLoadList::shared();
    if (isElevated() && list.stage() == UpdateDownloadOk && list.count() > 0)
        ::PostMessageW(hwnd(), kContinueElevated, 0, 0);
    else
        startCheck(true);
    return TRUE;
}

bool CDlgUpdaterIcon::addIcon()
{
    NOTIFYICONDATAW data = iconData(hwnd(), m_smallIcon);
    copyTip(data, m_tip);
    // A shell that still shows the icon refuses to add it again: then it is there.
    return ::Shell_NotifyIconW(NIM_ADD, &data) != FALSE || ::Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

void CDlgUpdaterIcon::reportIcon(TrayIconKeeper::Outcome outcome, const wchar_t* when)
{
    using Outcome = TrayIconKeeper::Outcome;
    const std::wstring occasion = when;
    if (outcome == Outcome::Failed && m_iconKeeper.attempts() == 1)
        logLine(L"The tray icon could not be added.");
    else if (outcome == Outcome::Failed && occasion == L"taskbar")
        logLine(L"The taskbar was made anew, but the tray icon could not be added to it.");
    else if (outcome == Outcome::Added && occasion == L"taskbar")
        logLine(L"The taskbar was made anew: the tray icon was added again.");
    else if (outcome == Outcome::Added && occasion == L"retry")
        logLine(L"The tray icon was added after " + std::to_wstring(m_iconKeeper.attempts()) + L" attempts.");
}

void CDlgUpdaterIcon::startCheck(bool firstOne)
{
    m_schedule.markChecked();
    m_checkRunning = true;
    HWND window = hwnd();
    std::function<void(HWND)> check = m_work.check;
    const bool started = startDetachedThread([window, firstOne, check] {
        if (firstOne) {
            sleepFor(20);
            ::ShowWindow(window, SW_HIDE);
        }
        HostWindows::instance().add(window);
        DownLoadList::shared().setStage(UpdateNone);
        if (check)
            check(window);
        else
            checkForUpdates(window);
        HostWindows::instance().remove(window);
        ::PostMessageW(window, kCheckFinished, 0, 0);
    });
    if (!started)
        m_checkRunning = false;
}

void CDlgUpdaterIcon::onCheckFinished()
{
    m_checkRunning = false;
    // An update that came due while the check ran (the countdown's end, or the
    // link shown a moment before the check's thread ended) is carried out now,
    // after the check has filled the list.
    if (m_updateRequested) {
        m_updateRequested = false;
        if (m_foundCount > 0) {
            runUpdate(false);
            return;
        }
    }
    const std::wstring span = checkTmSpan();
    // The check's thread has ended: the list is this thread's to read.
    m_schedule.filesFound(m_foundCount, foundFilesKey(DownLoadList::shared()));
    ::InvalidateRect(hwnd(), nullptr, FALSE);
    if (span.empty() && m_foundCount <= 0 && m_lastStatus == UpdateCheckRemoteOk)
        closeCentre();
}

void CDlgUpdaterIcon::onStatus(int status, int found)
{
    m_lastStatus = status;
    m_foundCount = found;
    m_outcomeLine.clear();
    refreshTip();
    ::InvalidateRect(hwnd(), nullptr, FALSE);
    if (status == UpdateCheckRemoteOk && found > 0)
        showCentre();
}

void CDlgUpdaterIcon::refreshTip()
{
    m_messageLine =
        m_busy == 0 && !m_outcomeLine.empty() ? m_outcomeLine : trayStatusLine(m_busy != 0, m_lastStatus, m_foundCount);
    const std::wstring tip = trayTipText(applicationName(), m_messageLine);
    if (tip.empty())
        return;
    m_tip = tip;
    // The title is never shown (a tool window without caption), but other
    // programs, screen readers among them, read it.
    ::SetWindowTextW(hwnd(), m_tip.c_str());
    if (!m_iconKeeper.added())
        return;
    NOTIFYICONDATAW data = iconData(hwnd(), m_smallIcon);
    data.uFlags = NIF_TIP;
    copyTip(data, tip);
    ::Shell_NotifyIconW(NIM_MODIFY, &data);
}

void CDlgUpdaterIcon::onTimer()
{
    const TraySchedule::Tick tick = m_schedule.tick(m_lastStatus, m_busy != 0, checkTmSpan());
    // The whole line: its figures and, when they change width, where the link was.
    if (tick.countdownChanged)
        ::InvalidateRect(hwnd(), &m_countdownLine, FALSE);
    if (tick.runUpdate)
        requestUpdate();
    if (tick.startCheck && !m_checkRunning)
        startCheck(false);
    reportIcon(m_iconKeeper.tick(), L"retry");
}

void CDlgUpdaterIcon::requestUpdate()
{
    m_schedule.stopCountdown();
    // The check thread reports to this window while it runs: an update here
    // would keep the window's thread from answering it, and would run beside
    // the check that fills the same list. It waits for the check's end.
    if (m_checkRunning)
        m_updateRequested = true;
    else
        runUpdate(false);
}

void CDlgUpdaterIcon::runUpdate(bool handedOver)
{
    if (m_busy)
        return;
    hideCentre();
    m_busy = 1;
    m_outcomeLine.clear();
    refreshTip();
    HostWindows::instance().remove(hwnd());
    // A copy started as administrator goes on from the list it was handed.
    if (!handedOver)
        resetUpdateList();
    if (m_work.update)
        m_work.update();
    else
        fullRun(nullptr);
    const DownLoadList& list = DownLoadList::shared();
    m_schedule.markChecked();
    if (isElevated())
        clearAdminRequiredFiles();
    if (!adminRequiredFiles().empty()) {
        // As the progress window does: the list goes to a copy started as
        // administrator, which installs it and stays in the tray instead of this one.
        showMessage(hwnd(), tr(L"request administrator privileges to continue"), tr(L"RenewKit"), MessageKind::Ok);
        if (relaunchAsAdministrator(true)) {
            m_busy = 0;
            closeCentre();
            return;
        }
    }
    m_busy = 0;
    const std::int32_t stage = list.stage();
    if (stage == UpdateCopyOk || stage == UpdateEnd) {
        m_outcomeLine = tr(L"Upgrade is completed");
        m_foundCount = 0;
    } else if (list.count() > 0) {
        m_outcomeLine = tr(L"Upgrade is abort");
    }
    // The tip and the window tell how the update ended until the next status.
    if (!m_outcomeLine.empty())
        logLine(m_outcomeLine);
    refreshTip();
    if (checkTmSpan().empty()) {
        closeCentre();
        return;
    }
    showCentre();
}

void CDlgUpdaterIcon::showCentre()
{
    RECT area{};
    ::GetWindowRect(hwnd(), &area);
    const int screenWidth = ::GetSystemMetrics(SM_CXSCREEN);
    if (isLeftEdgeOffScreen(area.left, screenWidth)) {
        const RECT screen{0, 0, screenWidth, ::GetSystemMetrics(SM_CYSCREEN)};
        RECT work = screen;
        if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0))
            work = screen;
        const POINT place = trayWindowPlace(screen, work, SIZE{area.right - area.left, area.bottom - area.top}, m_dpi);
        ::SetWindowPos(hwnd(), nullptr, place.x, place.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    }
    ::ShowWindow(hwnd(), SW_SHOW);
    ::SetForegroundWindow(hwnd());
    ::InvalidateRect(hwnd(), nullptr, FALSE);
}

void CDlgUpdaterIcon::hideCentre()
{
    m_focused.clear();
    ::ShowWindow(hwnd(), SW_HIDE);
}

void CDlgUpdaterIcon::closeCentre() { endDialog(IDCANCEL); }

void CDlgUpdaterIcon::trayMenu()
{
    ::SetForegroundWindow(hwnd());
    HMENU menu = ::CreatePopupMenu();
    if (!menu)
        return;
    ::AppendMenuW(menu, MF_STRING, kShowCommand, trTray(L"Show check window").c_str());
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(menu, MF_STRING, kExitCommand, tr(L"Exit").c_str());
    POINT cursor{};
    ::GetCursorPos(&cursor);
    ::TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, hwnd(), nullptr);
    ::DestroyMenu(menu);
}

void CDlgUpdaterIcon::onCommand(int id, int, HWND)
{
    switch (id) {
    case IDOK:
    case IDCANCEL: // Escape hides the window like the close link; only Exit ends the program.
        hideCentre();
        break;
    case kShowCommand:
        showCentre();
        break;
    case kExitCommand:
        closeCentre();
        break;
    default:
        break;
    }
}

void CDlgUpdaterIcon::onClick(POINT point) { activateLink(linkAt(m_links, point)); }

void CDlgUpdaterIcon::activateLink(const std::wstring& link)
{
    if (link == L"close") {
        m_schedule.stopCountdown();
        hideCentre();
    } else if (link == L"cancel") {
        m_schedule.stopCountdown();
        ::InvalidateRect(hwnd(), nullptr, FALSE);
    } else if (link == L"check" && !m_busy) {
        m_schedule.stopCountdown();
        ::InvalidateRect(hwnd(), nullptr, FALSE);
        if (m_lastStatus != UpdateCheckRemote && !m_checkRunning)
            startCheck(false);
    } else if (link == L"update") {
        requestUpdate();
    }
}

bool CDlgUpdaterIcon::onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    result = 0;
    if (message == m_taskbarCreated && m_taskbarCreated != 0) {
        // Explorer was restarted: the icons it showed are gone.
        reportIcon(m_iconKeeper.taskbarCreated(), L"taskbar");
        return true;
    }
    switch (message) {
    case kTrayMessage:
        if (wParam == kIconId) {
            if (lParam == WM_LBUTTONDBLCLK)
                showCentre();
            else if (lParam == WM_RBUTTONDOWN)
                trayMenu();
        }
        return true;
    case msg::kStage:
        onStatus(static_cast<int>(wParam), static_cast<int>(lParam));
        return true;
    case kCheckFinished:
        onCheckFinished();
        return true;
    case kContinueElevated:
        runUpdate(true);
        return true;
    case WM_TIMER:
        if (wParam == kTimerId)
            onTimer();
        return true;
    case WM_GETDLGCODE:
        // The links are painted, not controls: Tab, Enter and the arrows come
        // here instead of moving a dialog focus that has nowhere to go.
        result = DLGC_WANTALLKEYS | DLGC_WANTTAB | DLGC_WANTARROWS | DLGC_WANTCHARS;
        return true;
    case WM_KEYDOWN:
        return onKey(wParam);
    case WM_LBUTTONDOWN: {
        const POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        // A press on a link is a click, not the start of a move.
        if (linkAt(m_links, point).empty())
            CDialogSK::onMessage(message, wParam, lParam, result);
        onClick(point);
        return true;
    }
    case WM_MOUSEMOVE:
        onHover(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return true;
    case WM_PAINT:
        paint();
        return true;
    case WM_ERASEBKGND:
        result = 1;
        return true;
    case WM_SIZE:
        if (wParam == SIZE_MINIMIZED)
            hideCentre();
        return false;
    case WM_DPICHANGED:
        m_dpi = LOWORD(wParam);
        if (const auto* suggested = reinterpret_cast<const RECT*>(lParam)) {
            ::SetWindowPos(hwnd(), nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                           suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        }
        ::InvalidateRect(hwnd(), nullptr, FALSE);
        // Not handled: the dialog manager then scales the font.
        return false;
    case WM_QUERYDRAGICON:
        result = reinterpret_cast<LRESULT>(m_icon);
        return true;
    case kQueryLinkPoint:
        result = linkPoint(wParam);
        return true;
    case kQueryCountdown:
        result = m_schedule.countdown();
        return true;
    case kQueryFocusedLink:
        result = focusedLink();
        return true;
    default:
        return false;
    }
}

void CDlgUpdaterIcon::onDestroy()
{
    ::KillTimer(hwnd(), kTimerId);
    ::RemovePropW(hwnd(), prop::kNeedMsg);
    HostWindows::instance().remove(hwnd());
    if (m_iconKeeper.added()) {
        NOTIFYICONDATAW data = iconData(hwnd(), m_smallIcon);
        data.uFlags = 0;
        ::Shell_NotifyIconW(NIM_DELETE, &data);
        m_iconKeeper.removed();
    }
}

void runTrayMode()
{
    TrayClock clock;
    CDlgUpdaterIcon centre(nullptr, clock);
    centre.doModal();
}

} // namespace rk
