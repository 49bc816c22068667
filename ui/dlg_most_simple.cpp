#include "ui/dlg_most_simple.h"

#include "core/config.h"
#include "core/host_link.h"
#include "core/language.h"
#include "core/process_state.h"
#include "core/run_log.h"
#include "core/settings.h"
#include "install/local_check.h"
#include "list/update_list.h"
#include "platform/message_box.h"
#include "platform/system.h"
#include "platform/thread.h"
#include "run/elevation.h"
#include "run/update_run.h"
#include "ui/dpi.h"
#include "ui/progress_percent.h"

namespace rk {
namespace {

constexpr int kGifBackground = 188;
constexpr int kGifStrip = 189;
// The ground of the window's lower part (the background picture is drawn
// flat in this blue there), behind the strip, the label and the status line.
constexpr COLORREF kLabelBackground = RGB(0, 104, 183);
constexpr UINT_PTR kFailureTimer = 1;

// The worker: everything it touches is process-wide; it reaches the window
// only by sending to its handle.
void runWorker(HWND window, RunKind kind)
{
    if (kind == RunKind::FullUpdate) {
        // A full run already going on in this process sends no end command:
        // send it here, or the window would wait for ever.
        if (fullRun(window) == 0)
            sendCommand(window, command::kRunOver);
        return;
    }
    {
        ComApartment com;
        if (DownLoadList::shared().stage() < UpdateCheckRemoteOk)
            versionAwareCheck(window);
    }
    sendCommand(window, command::kRunOver);
}

} // namespace

CDlgMostSimple::CDlgMostSimple(RunKind kind, HWND owner, std::function<void()> fullUpdate)
    : CDialogSK(progress_ids::kDialog, owner), m_kind(kind), m_fullUpdate(std::move(fullUpdate))
{
}

BOOL CDlgMostSimple::onInitDialog()
{
    CDialogSK::onInitDialog();
    // 1. Pictures.
    if (m_background.attach(hwnd(), progress_ids::kBackground) && m_background.load(kGifBackground))
        m_background.draw();
    if (m_strip.attach(hwnd(), progress_ids::kStrip) && m_strip.load(kGifStrip)) {
        // Where the enlarged strip does not reach, the ground goes on.
        m_strip.setBackgroundColour(kLabelBackground);
        m_strip.draw();
    }
    m_labelBrush.reset(::CreateSolidBrush(kLabelBackground));
    if (m_minimise.attach(hwnd(), progress_ids::kMinimise))
        m_minimise.loadImages(190, 191, 192, 193);
    if (m_minimiseHidden.attach(hwnd(), progress_ids::kMinimiseHidden))
        m_minimiseHidden.loadImages(194, 195, 196, 197);
    // 2. Title.
    std::wstring title = config::read(L"APPLICATION", L"Name");
    if (title.empty())
        title = tr(L"RenewKit");
    ::SetWindowTextW(hwnd(), title.c_str());
    // 3. A host window of its own run.
    ::SetPropW(hwnd(), prop::kNeedMsg, reinterpret_cast<HANDLE>(msg::kWantsMessages));
    HostWindows::instance().add(hwnd());
    m_previousMainWindow = mainWindow();
    setMainWindow(hwnd());
    showPercent();
    // 4.
    startWorker();
    // The window itself takes the focus: the buttons get it (and draw its
    // rectangle) only when Tab moves it there.
    ::SetFocus(hwnd());
    return FALSE;
}

void CDlgMostSimple::startWorker()
{
    const HWND window = hwnd();
    const RunKind kind = m_kind;
    if (!startDetachedThread([window, kind] { runWorker(window, kind); })) {
        logLine(L"The update could not be started: no thread.");
        ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(command::kRunOver, 0), 0);
    }
}

bool CDlgMostSimple::onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (message) {
    case msg::kStage:
        m_updateStatus = static_cast<int>(wParam);
        result = 0;
        return true;
    case msg::kLogLine:
        result = 0;
        return true;
    case msg::kProgress: {
        // Several download threads report; their sends may arrive out of
        // order, and the count of a run never falls: keep the highest.
        const long done = static_cast<long>(wParam);
        const long total = static_cast<long>(lParam);
        if (total != m_total || done > m_done)
            m_done = done;
        m_total = total;
        result = 0;
        return true;
    }
    case msg::kStatusText:
        // The address lies in this process (a window of this process gets the text itself).
        m_statusText = wParam ? reinterpret_cast<const wchar_t*>(wParam) : L"";
        showPercent();
        result = 0;
        return true;
    case WM_CTLCOLORSTATIC: {
        HDC dc = reinterpret_cast<HDC>(wParam);
        ::SetBkColor(dc, kLabelBackground);
        ::SetTextColor(dc, RGB(255, 255, 255));
        // A solid brush of the ground's blue: the cells the centred text leaves
        // empty are painted too. A hollow brush left them to whatever lay below,
        // the dialog's face colour on Windows.
        result = reinterpret_cast<LRESULT>(m_labelBrush ? m_labelBrush.get() : ::GetStockObject(HOLLOW_BRUSH));
        return true;
    }
    case WM_DPICHANGED:
        onDpiChanged(LOWORD(wParam));
        if (const auto* suggested = reinterpret_cast<const RECT*>(lParam)) {
            ::SetWindowPos(hwnd(), nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                           suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        }
        // Not handled: the dialog manager then scales the controls and the font.
        return false;
    case WM_SETFOCUS:
        // Handled, so the dialog manager does not pass the focus on to the
        // first button: the focus rectangle would show from the start.
        result = 0;
        return true;
    case WM_TIMER:
        if (wParam == kFailureTimer) {
            finishRun();
            result = 0;
            return true;
        }
        return false;
    case WM_LBUTTONDOWN:
        // A click takes the failure away instead of moving the window.
        if (m_showingFailure) {
            finishRun();
            result = 0;
            return true;
        }
        return CDialogSK::onMessage(message, wParam, lParam, result);
    default:
        return CDialogSK::onMessage(message, wParam, lParam, result);
    }
}

void CDlgMostSimple::onCommand(int id, int code, HWND control)
{
    switch (id) {
    case command::kRunOver:
        endOfRun();
        return;
    case progress_ids::kMinimise:
    case progress_ids::kMinimiseHidden:
        ::ShowWindow(hwnd(), SW_SHOWMINIMIZED);
        return;
    case IDOK:
    case IDCANCEL:
        // Enter, Escape and Alt+F4 must not end the window while the run goes
        // on: the process would end with it, in the middle of replacing files.
        // Once a failure is shown they take it away.
        if (m_showingFailure)
            finishRun();
        return;
    case command::kCheckDone:
        // Posted by the check when the window has no owner: the stage and the
        // status texts that follow carry everything this window shows.
        return;
    default:
        CDialogSK::onCommand(id, code, control);
    }
}

void CDlgMostSimple::showPercent()
{
    m_percent = progressPercent(m_updateStatus, m_done, m_total);
    ::SetDlgItemTextW(hwnd(), progress_ids::kPercent, percentLabel(m_percent).c_str());
    ::UpdateWindow(hwnd());
}

void CDlgMostSimple::endOfRun()
{
    if (m_runOver)
        return;
    m_runOver = true;
    // 1.
    ::RemovePropW(hwnd(), prop::kNeedMsg);
    if (isElevated())
        clearAdminRequiredFiles();
    // A failed update would otherwise close like a successful one: the user
    // sees why first. The host program is still started afterwards.
    if (m_kind == RunKind::FullUpdate && adminRequiredFiles().empty() && isFailedStage(m_updateStatus) &&
        !m_statusText.empty()) {
        showFailure();
        return;
    }
    finishRun();
}

void CDlgMostSimple::showFailure()
{
    m_showingFailure = true;
    m_strip.stop();
    ::ShowWindow(item(progress_ids::kStrip), SW_HIDE);
    ::SetDlgItemTextW(hwnd(), progress_ids::kStatusLine, m_statusText.c_str());
    ::ShowWindow(item(progress_ids::kStatusLine), SW_SHOW);
    if (::IsIconic(hwnd()))
        ::ShowWindow(hwnd(), SW_RESTORE);
    ::UpdateWindow(hwnd());
    if (!::SetTimer(hwnd(), kFailureTimer, kFailureShownMs, nullptr))
        finishRun();
}

void CDlgMostSimple::finishRun()
{
    if (m_finished)
        return;
    m_finished = true;
    m_showingFailure = false;
    ::KillTimer(hwnd(), kFailureTimer);
    if (adminRequiredFiles().empty()) {
        // 2.
        if (m_kind == RunKind::FullUpdate) {
            launchHostProgram(false);
        } else if (m_kind == RunKind::EntryCheck) {
            ::ShowWindow(hwnd(), SW_HIDE);
            RunWindows windows;
            windows.fullUpdate = m_fullUpdate;
            entryQuestion(SettingsTable::instance().get(props::kRunMode), windows);
        }
    } else {
        // 3.
        showMessage(hwnd(), tr(L"request administrator privileges to continue"), tr(L"RenewKit"), MessageKind::Ok);
        relaunchAsAdministrator(true);
    }
    // 4. One quit ends this window's loop, the other the application's.
    ::PostThreadMessageW(::GetCurrentThreadId(), WM_QUIT, 0, 0);
    ::PostThreadMessageW(::GetCurrentThreadId(), WM_QUIT, 0, 0);
}

void CDlgMostSimple::onDpiChanged(int dpi)
{
    m_background.setDpi(dpi);
    if (!m_showingFailure)
        m_strip.setDpi(dpi);
    m_minimise.setDpi(dpi);
    m_minimiseHidden.setDpi(dpi);
}

void CDlgMostSimple::onDestroy()
{
    ::KillTimer(hwnd(), kFailureTimer);
    // Its handle could be reused by another window after this one is gone.
    HostWindows::instance().remove(hwnd());
    if (mainWindow() == hwnd())
        setMainWindow(m_previousMainWindow);
    m_background.stop();
    m_strip.stop();
    CDialogSK::onDestroy();
}

} // namespace rk
