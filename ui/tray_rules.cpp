#include "ui/tray_rules.h"

#include "core/host_link.h"
#include "core/language.h"
#include "core/text_format.h"
#include "list/update_list.h"
#include "ui/dpi.h"

#include <algorithm>
#include <ctime>
#include <vector>

namespace rk {

std::int64_t TrayClock::now() const { return static_cast<std::int64_t>(std::time(nullptr)); }

int checkIntervalMinutes(const std::wstring& checkTmSpan)
{
    const long minutes = checkTmSpan.empty() ? 5 : std::wcstol(checkTmSpan.c_str(), nullptr, 10);
    if (minutes <= 0)
        return 5;
    if (minutes >= 60)
        return 60;
    return static_cast<int>(minutes);
}

std::wstring trayStatusLine(bool busy, int lastStatus, int foundCount)
{
    if (busy)
        return trTray(L"updater is running...");
    switch (lastStatus) {
    case UpdateCheckRemote:
        return tr(L"Check update files");
    case UpdateCheckRemoteError:
        return tr(L"Can't connection update server!");
    case UpdateCheckRemoteOk:
        if (foundCount < 1)
            return tr(L"Find nothing to update.");
        return fillNumbers(tr(L"Found %d files need to update..."), {foundCount});
    default:
        return {};
    }
}

std::wstring trayTipText(const std::wstring& name, const std::wstring& statusLine)
{
    if (name.empty())
        return {};
    return L"[" + name + L"]\n" + statusLine;
}

void TraySchedule::startCountdown()
{
    m_countdown = kCountdownSeconds;
    m_countdownStart = m_clock.now();
}

void TraySchedule::filesFound(int count, const std::wstring& filesKey)
{
    if (count <= 0)
        return;
    if (m_countdown >= 0 && filesKey == m_countdownFiles)
        return;
    m_countdownFiles = filesKey;
    startCountdown();
}

TraySchedule::Tick TraySchedule::tick(int lastStatus, bool busy, const std::wstring& checkTmSpan)
{
    Tick result;
    const std::int64_t now = m_clock.now();
    if (m_countdown >= 0) {
        const std::int64_t elapsed = now - m_countdownStart;
        const int left =
            elapsed >= kCountdownSeconds ? 0 : static_cast<int>(kCountdownSeconds - (elapsed < 0 ? 0 : elapsed));
        if (left != m_countdown) {
            result.countdownChanged = true;
            const bool reachedZero = m_countdown > 0 && left == 0;
            m_countdown = left;
            if (reachedZero) {
                m_countdown = -1;
                result.runUpdate = true;
            }
        }
    }
    if (lastStatus != UpdateCheckRemote && !busy && !result.runUpdate) {
        const std::int64_t interval = std::int64_t{checkIntervalMinutes(checkTmSpan)} * 60;
        if (now - m_lastCheck >= interval) {
            m_lastCheck = now;
            result.startCheck = true;
        }
    }
    return result;
}

std::wstring foundFilesKey(const DownLoadList& list)
{
    std::vector<std::wstring> lines;
    lines.reserve(list.entries.size());
    for (const updatefileinfo& entry : list.entries) {
        // Each field closed by a character that no path, version or address holds.
        lines.push_back(entry.path + L'\x1F' + entry.dstNames + L'\x1F' + entry.version + L'\x1F' + entry.url +
                        L'\x1F' + entry.sha256 + L'\x1E');
    }
    std::sort(lines.begin(), lines.end());
    std::wstring key;
    for (const std::wstring& line : lines)
        key += line;
    return key;
}

std::wstring linkAt(const std::map<std::wstring, RECT>& areas, POINT point)
{
    for (const auto& [name, area] : areas) {
        if (point.x >= area.left && point.x <= area.right && point.y >= area.top && point.y <= area.bottom)
            return name;
    }
    return {};
}

std::wstring nextLink(const std::map<std::wstring, RECT>& areas, const std::wstring& current, bool backwards)
{
    std::vector<std::wstring> order;
    for (const wchar_t* name : {L"cancel", L"check", L"update", L"close"}) {
        if (areas.count(name))
            order.emplace_back(name);
    }
    if (order.empty())
        return {};
    const auto found = std::find(order.begin(), order.end(), current);
    if (found == order.end())
        return backwards ? order.back() : order.front();
    const std::size_t at = static_cast<std::size_t>(found - order.begin());
    const std::size_t size = order.size();
    return order[backwards ? (at + size - 1) % size : (at + 1) % size];
}

POINT trayWindowPlace(const RECT& screen, const RECT& workArea, SIZE window, int dpi)
{
    const int margin = scalePixels(5, dpi);
    const int taskbar = scalePixels(45, dpi);
    POINT place{screen.right - window.cx - margin, screen.bottom - window.cy - taskbar};
    // A taskbar taller than the allowance, or on the right, leaves a smaller work area.
    place.x = std::min<LONG>(place.x, workArea.right - window.cx - margin);
    place.y = std::min<LONG>(place.y, workArea.bottom - window.cy - margin);
    return place;
}

bool isLeftEdgeOffScreen(int left, int screenWidth) { return left < 0 || left >= screenWidth; }

RECT trayCloseArea(const RECT& client, SIZE background)
{
    constexpr RECT kMark{196, 8, 210, 22};
    const LONG width = client.right - client.left;
    const LONG height = client.bottom - client.top;
    if (background.cx <= 0 || background.cy <= 0)
        return kMark;
    return RECT{client.left + ::MulDiv(kMark.left, width, background.cx),
                client.top + ::MulDiv(kMark.top, height, background.cy),
                client.left + ::MulDiv(kMark.right, width, background.cx),
                client.top + ::MulDiv(kMark.bottom, height, background.cy)};
}

TrayLayout trayLayout(const RECT& client, const TrayTextSizes& sizes, bool countdownRuns, int dpi)
{
    const int inset = scalePixels(20, dpi);
    // A font larger than the window's scale (a large-text setting) must not
    // make the rows run into each other.
    const LONG textHeight = std::max({sizes.countdown.cy, sizes.cancel.cy, sizes.check.cy, sizes.update.cy});
    const int row = std::max<int>(scalePixels(20, dpi), textHeight + scalePixels(2, dpi));
    TrayLayout layout;
    RECT text = client;
    ::InflateRect(&text, -inset, -inset);
    layout.name = text;
    layout.message = text;
    layout.message.top += row;
    layout.countdown = layout.message;
    layout.countdown.top += row;
    const LONG lineHeight = std::max(sizes.countdown.cy, sizes.cancel.cy);
    layout.countdownLine = RECT{client.left, layout.countdown.top - scalePixels(3, dpi), client.right,
                                layout.countdown.top + lineHeight + scalePixels(3, dpi)};
    if (countdownRuns) {
        layout.countdown.right = layout.countdown.left + sizes.countdown.cx;
        layout.countdown.bottom = layout.countdown.top + sizes.countdown.cy;
        const LONG left = layout.countdown.right + scalePixels(5, dpi);
        layout.links[L"cancel"] =
            RECT{left, layout.countdown.top, left + sizes.cancel.cx, layout.countdown.top + sizes.cancel.cy};
    }
    const LONG width = client.right - client.left;
    const LONG top = client.bottom - scalePixels(32, dpi);
    const LONG checkLeft = client.left + width / 3;
    const LONG updateLeft = client.left + width * 2 / 3;
    layout.links[L"check"] = RECT{checkLeft, top, checkLeft + sizes.check.cx, top + sizes.check.cy};
    layout.links[L"update"] = RECT{updateLeft, top, updateLeft + sizes.update.cx, top + sizes.update.cy};
    return layout;
}

TrayIconKeeper::Outcome TrayIconKeeper::attempt()
{
    ++m_attempts;
    m_ticksSinceAttempt = 0;
    m_added = m_add && m_add();
    return m_added ? Outcome::Added : Outcome::Failed;
}

TrayIconKeeper::Outcome TrayIconKeeper::start() { return attempt(); }

TrayIconKeeper::Outcome TrayIconKeeper::taskbarCreated() { return attempt(); }

TrayIconKeeper::Outcome TrayIconKeeper::tick()
{
    if (m_added)
        return Outcome::Unchanged;
    if (++m_ticksSinceAttempt < kRetryTicks)
        return Outcome::Unchanged;
    return attempt();
}

} // namespace rk
