#pragma once
// The update centre's decisions, apart from its window: the tip and status
// texts, the interval of the periodic checks, the countdown before an
// update, which link a point hits, where the window is shown. The clock is
// passed in, so tests replace it.

#include <cstdint>
#include <map>
#include <string>

#include <windows.h>

namespace rk {

constexpr int kCountdownSeconds = 120;

// Seconds since 1970; the update centre's only clock.
class TrayClock {
public:
    virtual ~TrayClock() = default;
    virtual std::int64_t now() const;
};

// Minutes between checks from the CheckTmSpan text: missing, 0 or less -> 5; 60 or more -> 60.
int checkIntervalMinutes(const std::wstring& checkTmSpan);

// The status line: "updater is running..." while busy, else by the last status.
// Empty for a status that has no line of its own.
std::wstring trayStatusLine(bool busy, int lastStatus, int foundCount);
// "[Name]", a line break and the status line; empty when Name is empty (the tip stays as it is).
std::wstring trayTipText(const std::wstring& name, const std::wstring& statusLine);

// The countdown and the periodic checks, driven by the 500 ms timer.
class TraySchedule {
public:
    explicit TraySchedule(const TrayClock& clock) : m_clock(clock) {}

    struct Tick {
        bool countdownChanged = false; // repaint the "cancel" area
        bool runUpdate = false;        // the countdown reached 0
        bool startCheck = false;       // the interval has passed (the check time is set to now)
    };
    Tick tick(int lastStatus, bool busy, const std::wstring& checkTmSpan);

    void startCountdown();
    void stopCountdown() { m_countdown = -1; }
    int countdown() const { return m_countdown; } // -1 when none runs
    void markChecked() { m_lastCheck = m_clock.now(); }
    std::int64_t lastCheck() const { return m_lastCheck; }

private:
    const TrayClock& m_clock;
    int m_countdown = -1;
    std::int64_t m_countdownStart = 0;
    std::int64_t m_lastCheck = 0;
};

// The link whose rectangle holds the point, edges included; empty for none.
std::wstring linkAt(const std::map<std::wstring, RECT>& areas, POINT point);

// Where the window goes when its left edge is off the screen.
POINT trayWindowPlace(int screenWidth, int screenHeight, int windowWidth, int windowHeight);
bool isLeftEdgeOffScreen(int left, int screenWidth);

// The painted link areas, from the text sizes measured in the fonts of the paint.
struct TrayTextSizes {
    SIZE countdown{}; // "Update after %d seconds." filled in
    SIZE cancel{};
    SIZE check{};
    SIZE update{};
};
struct TrayLayout {
    RECT name{};
    RECT message{};
    RECT countdown{};
    std::map<std::wstring, RECT> links; // "cancel" only while a countdown runs
};
TrayLayout trayLayout(const RECT& client, const TrayTextSizes& sizes, bool countdownRuns);

} // namespace rk
