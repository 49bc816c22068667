#include "ui/tray_rules.h"

#include "core/host_link.h"
#include "core/language.h"
#include "core/text_format.h"

#include <ctime>

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

std::wstring linkAt(const std::map<std::wstring, RECT>& areas, POINT point)
{
    for (const auto& [name, area] : areas) {
        if (point.x >= area.left && point.x <= area.right && point.y >= area.top && point.y <= area.bottom)
            return name;
    }
    return {};
}

POINT trayWindowPlace(int screenWidth, int screenHeight, int windowWidth, int windowHeight)
{
    return {screenWidth - windowWidth - 5, screenHeight - windowHeight - 45};
}

bool isLeftEdgeOffScreen(int left, int screenWidth) { return left < 0 || left >= screenWidth; }

TrayLayout trayLayout(const RECT& client, const TrayTextSizes& sizes, bool countdownRuns)
{
    TrayLayout layout;
    RECT text = client;
    ::InflateRect(&text, -20, -20);
    layout.name = text;
    layout.message = text;
    layout.message.top += 20;
    layout.countdown = layout.message;
    layout.countdown.top += 20;
    if (countdownRuns) {
        layout.countdown.right = layout.countdown.left + sizes.countdown.cx;
        layout.countdown.bottom = layout.countdown.top + sizes.countdown.cy;
        const LONG left = layout.countdown.right + 5;
        layout.links[L"cancel"] =
            RECT{left, layout.countdown.top, left + sizes.cancel.cx, layout.countdown.top + sizes.cancel.cy};
    }
    const LONG width = client.right - client.left;
    const LONG top = client.bottom - 32;
    const LONG checkLeft = client.left + width / 3;
    const LONG updateLeft = client.left + width * 2 / 3;
    layout.links[L"check"] = RECT{checkLeft, top, checkLeft + sizes.check.cx, top + sizes.check.cy};
    layout.links[L"update"] = RECT{updateLeft, top, updateLeft + sizes.update.cx, top + sizes.update.cy};
    return layout;
}

} // namespace rk
