#pragma once
// The update centre's decisions, apart from its window: the tip and status
// texts, the interval of the periodic checks, the countdown before an
// update, which link a point hits and which one the keyboard moves to, where
// the window is shown, the painted layout at the window's DPI, and keeping the
// tray icon in the notification area. The clock and the shell are passed in,
// so tests replace them.

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include <windows.h>

namespace rk {
class DownLoadList;
}

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
    // A check found `count` files, named by `filesKey` (foundFilesKey): the
    // countdown starts at 120, unless it runs already for the same files
    // (a re-check every minute would otherwise restart it for ever).
    // Nothing changes when nothing was found.
    void filesFound(int count, const std::wstring& filesKey);
    int countdown() const { return m_countdown; } // -1 when none runs
    void markChecked() { m_lastCheck = m_clock.now(); }
    std::int64_t lastCheck() const { return m_lastCheck; }

private:
    const TrayClock& m_clock;
    int m_countdown = -1;
    std::int64_t m_countdownStart = 0;
    std::wstring m_countdownFiles; // the files the running countdown will update
    std::int64_t m_lastCheck = 0;
};

// What names the files a check selected: their paths, versions and addresses,
// in a fixed order. Equal for two checks that found the same files.
std::wstring foundFilesKey(const DownLoadList& list);

// The link whose rectangle holds the point, edges included; empty for none.
std::wstring linkAt(const std::map<std::wstring, RECT>& areas, POINT point);
// The link the Tab key moves to from `current` (Shift+Tab: backwards), in the
// order "cancel", "check", "update", "close", among those present; from none
// (or one that is gone) to the first resp. the last. Empty when there are none.
std::wstring nextLink(const std::map<std::wstring, RECT>& areas, const std::wstring& current, bool backwards);

// Where the window goes when its left edge is off the screen: 5 pixels from
// the right and 45 from the bottom of the screen (at 96 DPI), and inside the
// work area when a taskbar takes more than that.
POINT trayWindowPlace(const RECT& screen, const RECT& workArea, SIZE window, int dpi);
bool isLeftEdgeOffScreen(int left, int screenWidth);

// The close mark (196, 8)-(210, 22) of the background bitmap, which is
// stretched over the client area, in client coordinates.
RECT trayCloseArea(const RECT& client, SIZE background);

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
    RECT countdownLine{};               // the countdown's whole line, with its link: repainted each second
    std::map<std::wstring, RECT> links; // "cancel" only while a countdown runs
};
// Text inset 20, rows 20 apart (more when the font is taller), the link 5
// after the countdown, the bottom links 32 above the bottom: pixels at 96
// DPI, scaled to `dpi`.
TrayLayout trayLayout(const RECT& client, const TrayTextSizes& sizes, bool countdownRuns, int dpi);

// Keeps the tray icon in the notification area. `add` is the shell's NIM_ADD
// with the current tip. Added at the start; added again when the taskbar was
// made anew (Explorer restarted: its icons are gone); while the shell refuses
// it (at logon before the shell is ready), tried again every 2 seconds of
// ticks. Used on the window's thread.
class TrayIconKeeper {
public:
    static constexpr int kRetryTicks = 4; // of the 500 ms timer

    explicit TrayIconKeeper(std::function<bool()> add) : m_add(std::move(add)) {}

    enum class Outcome { Added, Failed, Unchanged };
    Outcome start();
    Outcome taskbarCreated();
    // A timer tick: tries again when the icon is missing and its turn has come.
    Outcome tick();
    bool added() const { return m_added; }
    void removed() { m_added = false; }
    int attempts() const { return m_attempts; }

private:
    Outcome attempt();

    std::function<bool()> m_add;
    bool m_added = false;
    int m_attempts = 0;
    int m_ticksSinceAttempt = 0;
};

} // namespace rk
