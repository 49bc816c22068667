// The update centre's decisions with the clock replaced: check intervals,
// the countdown, tip texts, link hits and placement.
#include "core/language.h"
#include "ui/tray_rules.h"

#include <gtest/gtest.h>

using namespace rk;

namespace {

class FakeClock : public TrayClock {
public:
    std::int64_t now() const override { return seconds; }
    std::int64_t seconds = 1000000;
};

constexpr int kChecking = 1;
constexpr int kCheckFailed = 2;
constexpr int kChecked = 3;

// Seconds until the schedule asks for a check, ticking every half second.
int secondsUntilCheck(FakeClock& clock, TraySchedule& schedule, const std::wstring& span)
{
    for (int halfSeconds = 1; halfSeconds < 2 * 2 * 3600; ++halfSeconds) {
        if (halfSeconds % 2 == 0)
            ++clock.seconds;
        if (schedule.tick(kChecked, false, span).startCheck)
            return halfSeconds / 2;
    }
    return -1;
}

} // namespace

TEST(TrayInterval, SpanTextToMinutes)
{
    EXPECT_EQ(checkIntervalMinutes(L""), 5);
    EXPECT_EQ(checkIntervalMinutes(L"0"), 5);
    EXPECT_EQ(checkIntervalMinutes(L"-3"), 5);
    EXPECT_EQ(checkIntervalMinutes(L"abc"), 5);
    EXPECT_EQ(checkIntervalMinutes(L"1"), 1);
    EXPECT_EQ(checkIntervalMinutes(L"59"), 59);
    EXPECT_EQ(checkIntervalMinutes(L"60"), 60);
    EXPECT_EQ(checkIntervalMinutes(L"90"), 60);
}

TEST(TraySchedule, ZeroChecksEveryFiveMinutesAndNinetyEveryHour)
{
    FakeClock clock;
    TraySchedule zero(clock);
    zero.markChecked();
    EXPECT_EQ(secondsUntilCheck(clock, zero, L"0"), 300);
    // The tick that asked for the check set the time of the last check.
    EXPECT_EQ(secondsUntilCheck(clock, zero, L"0"), 300);

    TraySchedule ninety(clock);
    ninety.markChecked();
    EXPECT_EQ(secondsUntilCheck(clock, ninety, L"90"), 3600);
}

TEST(TraySchedule, NoCheckWhileCheckingOrUpdating)
{
    FakeClock clock;
    TraySchedule schedule(clock);
    schedule.markChecked();
    clock.seconds += 600;
    EXPECT_FALSE(schedule.tick(kChecking, false, L"").startCheck);
    EXPECT_FALSE(schedule.tick(kChecked, true, L"").startCheck);
    EXPECT_TRUE(schedule.tick(kCheckFailed, false, L"").startCheck);
}

TEST(TraySchedule, CountdownRunsTheUpdateOnceAtZero)
{
    FakeClock clock;
    TraySchedule schedule(clock);
    schedule.markChecked();
    schedule.startCountdown();
    EXPECT_EQ(schedule.countdown(), 120);
    // Half a second later nothing changed.
    TraySchedule::Tick tick = schedule.tick(kChecked, false, L"30");
    EXPECT_FALSE(tick.countdownChanged);
    clock.seconds += 1;
    tick = schedule.tick(kChecked, false, L"30");
    EXPECT_TRUE(tick.countdownChanged);
    EXPECT_EQ(schedule.countdown(), 119);
    // A stalled timer catches up with the clock in one tick.
    clock.seconds += 100;
    schedule.tick(kChecked, false, L"30");
    EXPECT_EQ(schedule.countdown(), 19);
    clock.seconds += 19;
    tick = schedule.tick(kChecked, false, L"30");
    EXPECT_TRUE(tick.runUpdate);
    EXPECT_FALSE(tick.startCheck);
    EXPECT_EQ(schedule.countdown(), -1);
    clock.seconds += 5;
    EXPECT_FALSE(schedule.tick(kChecked, false, L"30").runUpdate);
}

TEST(TraySchedule, CancelStopsTheCountdownForGood)
{
    FakeClock clock;
    TraySchedule schedule(clock);
    schedule.markChecked();
    schedule.startCountdown();
    clock.seconds += 10;
    schedule.tick(kChecked, false, L"30");
    schedule.stopCountdown();
    clock.seconds += 200;
    const TraySchedule::Tick tick = schedule.tick(kChecked, false, L"30");
    EXPECT_FALSE(tick.runUpdate);
    EXPECT_FALSE(tick.countdownChanged);
    EXPECT_EQ(schedule.countdown(), -1);
}

TEST(TrayTexts, StatusLineAndTip)
{
    CLanguage::instance().clear();
    EXPECT_EQ(trayStatusLine(true, kChecked, 4), L"updater is running...");
    EXPECT_EQ(trayStatusLine(false, kChecking, 0), L"Check update files");
    EXPECT_EQ(trayStatusLine(false, kCheckFailed, 0), L"Can't connection update server!");
    EXPECT_EQ(trayStatusLine(false, kChecked, 0), L"Find nothing to update.");
    EXPECT_EQ(trayStatusLine(false, kChecked, 4), L"Found 4 files need to update...");
    EXPECT_EQ(trayTipText(L"Demo", L"Find nothing to update."), L"[Demo]\nFind nothing to update.");
    EXPECT_EQ(trayTipText(L"", L"Find nothing to update."), L"");
}

TEST(TrayTexts, TrayWordsComeFromTheirOwnSection)
{
    CLanguage& table = CLanguage::instance();
    table.clear();
    const std::string lines =
        "[MAIN]\r\nupdater is running...=main text\r\n[TRYICON]\r\nupdater is running...=tray text\r\n";
    table.loadBytes(lines, 1252);
    EXPECT_EQ(trayStatusLine(true, 0, 0), L"tray text");
    table.clear();
}

TEST(TrayLinks, HitTestIncludesTheEdges)
{
    const std::map<std::wstring, RECT> areas{{L"close", RECT{196, 8, 210, 22}}, {L"check", RECT{100, 150, 160, 163}}};
    EXPECT_EQ(linkAt(areas, POINT{196, 8}), L"close");
    EXPECT_EQ(linkAt(areas, POINT{210, 22}), L"close");
    EXPECT_EQ(linkAt(areas, POINT{211, 22}), L"");
    EXPECT_EQ(linkAt(areas, POINT{130, 155}), L"check");
    EXPECT_EQ(linkAt({}, POINT{0, 0}), L"");
}

TEST(TrayLinks, LayoutPlacesTheLinks)
{
    const RECT client{0, 0, 306, 184};
    TrayTextSizes sizes;
    sizes.countdown = SIZE{120, 13};
    sizes.cancel = SIZE{30, 13};
    sizes.check = SIZE{60, 13};
    sizes.update = SIZE{40, 13};
    TrayLayout layout = trayLayout(client, sizes, true);
    ASSERT_EQ(layout.links.count(L"cancel"), 1u);
    // Five pixels after the countdown text, on its line, 40 pixels below the top of the text area.
    EXPECT_EQ(layout.links[L"cancel"].left, 20 + 120 + 5);
    EXPECT_EQ(layout.links[L"cancel"].top, 60);
    EXPECT_EQ(layout.links[L"check"].left, 102);
    EXPECT_EQ(layout.links[L"check"].top, 152);
    EXPECT_EQ(layout.links[L"update"].left, 204);
    EXPECT_EQ(layout.links[L"update"].right, 244);
    EXPECT_EQ(trayLayout(client, sizes, false).links.count(L"cancel"), 0u);
}

TEST(TrayPlacement, BottomRightAboveTheTaskbar)
{
    const POINT place = trayWindowPlace(1024, 768, 306, 184);
    EXPECT_EQ(place.x, 1024 - 306 - 5);
    EXPECT_EQ(place.y, 768 - 184 - 45);
    EXPECT_TRUE(isLeftEdgeOffScreen(-800, 1024));
    EXPECT_FALSE(isLeftEdgeOffScreen(0, 1024));
    EXPECT_FALSE(isLeftEdgeOffScreen(713, 1024));
}
