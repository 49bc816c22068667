// The update centre's window with its clock and its work replaced: a check
// that takes as long as the test wants, an update that only counts, the
// window's own 500 ms timer and message handling as they are.
#include "core/host_link.h"
#include "core/settings.h"
#include "list/update_list.h"
#include "ui/dlg_updater_icon.h"
#include "ui_test_support.h"

#include <gtest/gtest.h>

#include <atomic>

namespace rk {
namespace {

class FakeClock : public TrayClock {
public:
    std::int64_t now() const override { return seconds.load(); }
    std::atomic<std::int64_t> seconds{1000000};
};

// The checks report the files a test chose; one may be held until released.
struct Checks {
    std::atomic<int> started{0};
    std::atomic<int> running{0};
    std::atomic<bool> hold{false};
    std::atomic<int> version{1}; // the version of the two files found
    std::atomic<int> updates{0};
    std::atomic<bool> updateBesideACheck{false};

    void check(HWND window)
    {
        ++started;
        ++running;
        // Counted steps, as the program waits: at most a minute.
        for (int step = 0; step < 6000 && hold; ++step)
            ::Sleep(10);
        DownLoadList& list = DownLoadList::shared();
        list.entries.clear();
        for (const wchar_t* path : {L"app.exe", L"docs\\help.txt"}) {
            updatefileinfo entry;
            entry.path = path;
            entry.version = std::to_wstring(version.load());
            list.entries.push_back(entry);
        }
        --running;
        ::SendMessageW(window, msg::kStage, UpdateCheckRemoteOk, 2);
    }
    void update()
    {
        ++updates;
        if (running > 0)
            updateBesideACheck = true;
    }
};

LRESULT countdownOf(HWND window) { return ::SendMessageW(window, CDlgUpdaterIcon::kQueryCountdown, 0, 0); }

TEST(TrayCentre, ARecheckKeepsTheCountdownAndItsUpdateWaitsForARunningCheck)
{
    // A check every minute, as CheckTmSpan 1 asks.
    SettingsTable::instance().set(L"RenewKitCheckTmSpan", L"1");
    SettingsTable::instance().set(L"APPLICATIONName", L"Centre test");
    FakeClock clock;
    Checks checks;
    TrayWork work;
    work.check = [&](HWND window) { checks.check(window); };
    work.update = [&] { checks.update(); };
    CDlgUpdaterIcon centre(nullptr, clock, work);
    ASSERT_TRUE(centre.create());
    HWND window = centre.hwnd();

    // The first check finds two files: the countdown starts at 120.
    ASSERT_TRUE(pumpUntil([&] { return checks.started == 1 && checks.running == 0 && countdownOf(window) == 120; }));

    // A minute later the next check finds the same files: the countdown goes on.
    clock.seconds += 61;
    ASSERT_TRUE(pumpUntil([&] { return checks.started == 2 && checks.running == 0; }));
    pumpUntil([] { return false; }, 120); // ticks after the check's end
    EXPECT_EQ(countdownOf(window), 59) << "the same files started the countdown again";

    // It reaches 0: the update runs, once.
    clock.seconds += 59;
    ASSERT_TRUE(pumpUntil([&] { return checks.updates == 1; }));
    EXPECT_EQ(countdownOf(window), -1);

    // Other files start a new countdown; the check after it is held while the
    // countdown ends: the update waits for the check and runs after it.
    checks.version = 2;
    clock.seconds += 60;
    ASSERT_TRUE(pumpUntil([&] { return checks.started == 3 && checks.running == 0 && countdownOf(window) == 120; }));
    checks.hold = true;
    clock.seconds += 60;
    ASSERT_TRUE(pumpUntil([&] { return checks.started == 4 && checks.running == 1; }));
    clock.seconds += 60;
    pumpUntil([] { return false; }, 150);
    EXPECT_EQ(countdownOf(window), -1) << "the countdown did not end";
    EXPECT_EQ(checks.updates, 1) << "the update ran beside the check";
    checks.hold = false;
    ASSERT_TRUE(pumpUntil([&] { return checks.updates == 2; }));
    EXPECT_FALSE(checks.updateBesideACheck);
    EXPECT_EQ(checks.started, 4);

    centre.destroy();
    SettingsTable::instance().clear();
    DownLoadList::shared().entries.clear();
}

TEST(TrayCentre, MovedToAMonitorOfAnotherDpiItLaysOutAgain)
{
    SettingsTable::instance().set(L"RenewKitCheckTmSpan", L"30");
    SettingsTable::instance().set(L"APPLICATIONName", L"Centre test");
    FakeClock clock;
    Checks checks;
    TrayWork work;
    work.check = [&](HWND window) { checks.check(window); };
    work.update = [&] { checks.update(); };
    CDlgUpdaterIcon centre(nullptr, clock, work);
    ASSERT_TRUE(centre.create());
    HWND window = centre.hwnd();
    ASSERT_TRUE(pumpUntil([&] { return checks.started == 1 && checks.running == 0 && countdownOf(window) >= 0; }));
    auto linkTop = [&](WPARAM which) {
        ::InvalidateRect(window, nullptr, FALSE);
        ::UpdateWindow(window);
        const LRESULT point = ::SendMessageW(window, CDlgUpdaterIcon::kQueryLinkPoint, which, 0);
        return static_cast<int>(HIWORD(point));
    };
    RECT client{};
    ::GetClientRect(window, &client);
    // "update" sits 32 pixels above the bottom at 100 %.
    const int before = linkTop(3);
    EXPECT_GT(before, client.bottom - 32);
    EXPECT_LT(before, client.bottom - 32 + 20);

    // 150 %: the system suggests a window half as large again.
    RECT suggested{};
    ::GetWindowRect(window, &suggested);
    suggested.right = suggested.left + (suggested.right - suggested.left) * 3 / 2;
    suggested.bottom = suggested.top + (suggested.bottom - suggested.top) * 3 / 2;
    ::SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    ::GetClientRect(window, &client);
    EXPECT_EQ(client.right, suggested.right - suggested.left);
    const int after = linkTop(3);
    EXPECT_GT(after, client.bottom - 48);
    EXPECT_LT(after, client.bottom - 48 + 20);
    // The close mark's hotspot follows the stretched background.
    const LRESULT close = ::SendMessageW(window, CDlgUpdaterIcon::kQueryLinkPoint, 0, 0);
    EXPECT_NEAR(LOWORD(close), client.right * 203 / 306, 2);

    centre.destroy();
    SettingsTable::instance().clear();
    DownLoadList::shared().entries.clear();
}

} // namespace
} // namespace rk
