#include "ui/dlg_updater_icon.h"

#include "core/config.h"
#include "core/host_link.h"
#include "core/language.h"
#include "core/run_log.h"
#include "core/text_format.h"
#include "list/update_list.h"
#include "platform/sleep.h"
#include "platform/thread.h"
#include "run/update_run.h"
#include "ui/gdi.h"

#include <shellapi.h>
#include <windowsx.h>

namespace rk {
namespace {

constexpr int kTrayIcon = 141;
constexpr int kBackgroundBitmap = 168;
constexpr int kCloseHoverBitmap = 170;
constexpr UINT_PTR kTimerId = 0;
constexpr RECT kCloseArea{196, 8, 210, 22};
const wchar_t* const kLinkNames[] = {L"close", L"cancel", L"check", L"update"};

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

// The window's font in a weight, optionally underlined; the caller owns it.
HFONT derivedFont(HFONT base, LONG weight, bool underline)
{
    LOGFONTW font{};
    if (!base || ::GetObjectW(base, sizeof font, &font) == 0)
        ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
    font.lfWeight = weight;
    font.lfUnderline = underline ? TRUE : FALSE;
    return ::CreateFontIndirectW(&font);
}

SIZE textSize(HDC dc, HFONT font, const std::wstring& text)
{
    SelectGuard select(dc, font);
    SIZE size{};
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size;
}

} // namespace

CDlgUpdaterIcon::CDlgUpdaterIcon(HWND parent, const TrayClock& clock) : CDialogSK(kTemplate, parent), m_schedule(clock)
{
}

CDlgUpdaterIcon::~CDlgUpdaterIcon() = default;

BOOL CDlgUpdaterIcon::onInitDialog()
{
    CDialogSK::onInitDialog();
    ::SetTimer(hwnd(), kTimerId, 500, nullptr);
    ::SetPropW(hwnd(), prop::kNeedMsg, reinterpret_cast<HANDLE>(msg::kWantsMessages));
    HINSTANCE module = ::GetModuleHandleW(nullptr);
    m_background.reset(::LoadBitmapW(module, MAKEINTRESOURCEW(kBackgroundBitmap)));
    m_closeHover.reset(::LoadBitmapW(module, MAKEINTRESOURCEW(kCloseHoverBitmap)));
    m_links[L"close"] = kCloseArea;
    ::SetWindowPos(hwnd(), nullptr, -800, -800, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    m_icon = static_cast<HICON>(
        ::LoadImageW(module, MAKEINTRESOURCEW(kTrayIcon), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
    HICON small =
        static_cast<HICON>(::LoadImageW(module, MAKEINTRESOURCEW(kTrayIcon), IMAGE_ICON,
                                        ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    ::SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));
    ::SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small ? small : m_icon));
    NOTIFYICONDATAW data = iconData(hwnd(), small ? small : m_icon);
    copyTip(data, L"Update Center");
    m_iconAdded = ::Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
    if (!m_iconAdded)
        logLine(L"The tray icon could not be added.");
    startCheck(true);
    return TRUE;
}

void CDlgUpdaterIcon::startCheck(bool firstOne)
{
    m_schedule.markChecked();
    m_checkRunning = true;
    HWND window = hwnd();
    const bool started = startDetachedThread([window, firstOne] {
        if (firstOne) {
            sleepFor(20);
            ::ShowWindow(window, SW_HIDE);
        }
        HostWindows::instance().add(window);
        DownLoadList::shared().setStage(UpdateNone);
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
    // The link shows as soon as the check has counted the files, a moment
    // before its thread ends: a click in that moment is carried out now.
    if (m_updateRequested) {
        m_updateRequested = false;
        if (m_foundCount > 0) {
            runUpdate();
            return;
        }
    }
    const std::wstring span = checkTmSpan();
    if (m_foundCount > 0)
        m_schedule.startCountdown();
    ::InvalidateRect(hwnd(), nullptr, FALSE);
    if (span.empty() && m_foundCount <= 0 && m_lastStatus == UpdateCheckRemoteOk)
        closeCentre();
}

void CDlgUpdaterIcon::onStatus(int status, int found)
{
    m_lastStatus = status;
    m_foundCount = found;
    refreshTip();
    ::InvalidateRect(hwnd(), nullptr, FALSE);
    if (status == UpdateCheckRemoteOk && found > 0)
        showCentre();
}

void CDlgUpdaterIcon::refreshTip()
{
    m_messageLine = trayStatusLine(m_busy != 0, m_lastStatus, m_foundCount);
    const std::wstring tip = trayTipText(applicationName(), m_messageLine);
    if (tip.empty() || !m_iconAdded)
        return;
    NOTIFYICONDATAW data = iconData(hwnd(), m_icon);
    data.uFlags = NIF_TIP;
    copyTip(data, tip);
    ::Shell_NotifyIconW(NIM_MODIFY, &data);
}

void CDlgUpdaterIcon::onTimer()
{
    const TraySchedule::Tick tick = m_schedule.tick(m_lastStatus, m_busy != 0, checkTmSpan());
    if (tick.countdownChanged)
        repaintLink(L"cancel", 2);
    if (tick.runUpdate)
        runUpdate();
    if (tick.startCheck && !m_checkRunning)
        startCheck(false);
}

void CDlgUpdaterIcon::runUpdate()
{
    if (m_busy)
        return;
    ::ShowWindow(hwnd(), SW_HIDE);
    m_busy = 1;
    refreshTip();
    HostWindows::instance().remove(hwnd());
    resetUpdateList();
    fullRun(nullptr);
    const DownLoadList& list = DownLoadList::shared();
    m_schedule.markChecked();
    m_busy = 0;
    refreshTip();
    // After the tip: the window tells how the update ended until the next status.
    const std::int32_t stage = list.stage();
    if (stage == UpdateCopyOk || stage == UpdateEnd)
        m_messageLine = tr(L"Upgrade is completed");
    else if (list.count() > 0)
        m_messageLine = tr(L"Upgrade is abort");
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
        const POINT place = trayWindowPlace(screenWidth, ::GetSystemMetrics(SM_CYSCREEN), area.right - area.left,
                                            area.bottom - area.top);
        ::SetWindowPos(hwnd(), nullptr, place.x, place.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    }
    ::ShowWindow(hwnd(), SW_SHOW);
    ::SetForegroundWindow(hwnd());
    ::InvalidateRect(hwnd(), nullptr, FALSE);
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
        ::ShowWindow(hwnd(), SW_HIDE);
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

void CDlgUpdaterIcon::onClick(POINT point)
{
    const std::wstring link = linkAt(m_links, point);
    if (link == L"close") {
        m_schedule.stopCountdown();
        ::ShowWindow(hwnd(), SW_HIDE);
    } else if (link == L"cancel") {
        m_schedule.stopCountdown();
        ::InvalidateRect(hwnd(), nullptr, FALSE);
    } else if (link == L"check" && !m_busy) {
        m_schedule.stopCountdown();
        ::InvalidateRect(hwnd(), nullptr, FALSE);
        if (m_lastStatus != UpdateCheckRemote && !m_checkRunning)
            startCheck(false);
    } else if (link == L"update") {
        m_schedule.stopCountdown();
        // The check thread reports to this window while it runs: an update
        // here would keep the window's thread from answering it, so it waits
        // for the check's end.
        if (m_checkRunning)
            m_updateRequested = true;
        else
            runUpdate();
    }
}

void CDlgUpdaterIcon::onHover(POINT point)
{
    const std::wstring link = linkAt(m_links, point);
    if (link == m_hovered)
        return;
    const std::wstring before = m_hovered;
    m_hovered = link;
    repaintLink(before, 3);
    repaintLink(link, 3);
}

void CDlgUpdaterIcon::repaintLink(const std::wstring& name, int grow)
{
    auto found = m_links.find(name);
    if (found == m_links.end())
        return;
    RECT area = found->second;
    ::InflateRect(&area, grow, grow);
    ::InvalidateRect(hwnd(), &area, FALSE);
}

void CDlgUpdaterIcon::paint()
{
    PaintDc paintDc(hwnd());
    HDC dc = paintDc.get();
    RECT client{};
    ::GetClientRect(hwnd(), &client);
    OffscreenImage image;
    if (!image.create(dc, client.right, client.bottom))
        return;
    HDC target = image.dc();
    image.fill(RGB(255, 255, 255));
    if (m_background) {
        UniqueMemoryDc source(::CreateCompatibleDC(dc));
        SelectGuard select(source.get(), m_background.get());
        BITMAP info{};
        ::GetObjectW(m_background.get(), sizeof info, &info);
        ::StretchBlt(target, 0, 0, client.right, client.bottom, source.get(), 0, 0, info.bmWidth, info.bmHeight,
                     SRCCOPY);
    }
    ::SetBkMode(target, TRANSPARENT);
    HFONT windowFont = reinterpret_cast<HFONT>(::SendMessageW(hwnd(), WM_GETFONT, 0, 0));
    UniqueGdiObject normal(derivedFont(windowFont, FW_NORMAL, false));
    UniqueGdiObject bold(derivedFont(windowFont, FW_BOLD, false));
    UniqueGdiObject underlined(derivedFont(windowFont, FW_NORMAL, true));
    HFONT normalFont = static_cast<HFONT>(normal.get());

    const int countdown = m_schedule.countdown();
    const std::wstring countdownText = fillNumbers(trTray(L"Update after %d seconds."), {countdown});
    const std::wstring cancelText = trTray(L"Cancel");
    const std::wstring checkText = trTray(L"Check again");
    const std::wstring updateText = trTray(L"Update");
    TrayTextSizes sizes;
    sizes.countdown = textSize(target, normalFont, countdownText);
    sizes.cancel = textSize(target, normalFont, cancelText);
    sizes.check = textSize(target, normalFont, checkText);
    sizes.update = textSize(target, normalFont, updateText);
    const TrayLayout layout = trayLayout(client, sizes, countdown >= 0);
    m_links.erase(L"cancel");
    for (const auto& [name, area] : layout.links)
        m_links[name] = area;

    auto draw = [target](HFONT font, const std::wstring& text, RECT area, COLORREF colour) {
        SelectGuard select(target, font);
        ::SetTextColor(target, colour);
        ::DrawTextW(target, text.c_str(), static_cast<int>(text.size()), &area, DT_LEFT | DT_TOP | DT_NOPREFIX);
    };
    auto drawLink = [&](const std::wstring& name, const std::wstring& text) {
        auto found = m_links.find(name);
        if (found == m_links.end())
            return;
        const bool hovered = m_hovered == name;
        RECT area = found->second;
        area.right += 2;
        draw(static_cast<HFONT>(hovered ? underlined.get() : normal.get()), text, area,
             hovered ? RGB(0, 0, 255) : RGB(0, 0, 0));
    };
    draw(static_cast<HFONT>(bold.get()), applicationName(), layout.name, RGB(0, 0, 0));
    draw(normalFont, m_messageLine, layout.message, RGB(0, 0, 0));
    if (countdown >= 0) {
        RECT area = layout.countdown;
        area.right += 2;
        draw(normalFont, countdownText, area, RGB(0, 0, 0));
        drawLink(L"cancel", cancelText);
    }
    drawLink(L"check", checkText);
    drawLink(L"update", updateText);
    if (m_hovered == L"close" && m_closeHover) {
        UniqueMemoryDc source(::CreateCompatibleDC(dc));
        SelectGuard select(source.get(), m_closeHover.get());
        ::BitBlt(target, kCloseArea.left, kCloseArea.top, 15, 15, source.get(), 0, 0, SRCCOPY);
    }
    ::BitBlt(dc, 0, 0, client.right, client.bottom, target, 0, 0, SRCCOPY);
}

LRESULT CDlgUpdaterIcon::linkPoint(WPARAM which) const
{
    if (which >= std::size(kLinkNames))
        return -1;
    auto found = m_links.find(kLinkNames[which]);
    if (found == m_links.end())
        return -1;
    const RECT& area = found->second;
    return MAKELONG((area.left + area.right) / 2, (area.top + area.bottom) / 2);
}

bool CDlgUpdaterIcon::onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    result = 0;
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
    case WM_TIMER:
        if (wParam == kTimerId)
            onTimer();
        return true;
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
            ::ShowWindow(hwnd(), SW_HIDE);
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
    default:
        return false;
    }
}

void CDlgUpdaterIcon::onDestroy()
{
    ::KillTimer(hwnd(), kTimerId);
    ::RemovePropW(hwnd(), prop::kNeedMsg);
    HostWindows::instance().remove(hwnd());
    if (m_iconAdded) {
        NOTIFYICONDATAW data = iconData(hwnd(), m_icon);
        data.uFlags = 0;
        ::Shell_NotifyIconW(NIM_DELETE, &data);
        m_iconAdded = false;
    }
}

void runTrayMode()
{
    TrayClock clock;
    CDlgUpdaterIcon centre(nullptr, clock);
    centre.doModal();
}

} // namespace rk
