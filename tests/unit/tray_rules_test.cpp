// The update centre's decisions with the clock and the shell replaced: check
// intervals, the countdown, tip texts, link hits, keyboard order, the layout
// at 100 % and 150 %, placement and keeping the tray icon.
#include "core/language.h"
#include "list/update_list.h"
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
    TrayLayout layout = trayLayout(client, sizes, true, 96);
    ASSERT_EQ(layout.links.count(L"cancel"), 1u);
    // Five pixels after the countdown text, on its line, 40 pixels below the top of the text area.
    EXPECT_EQ(layout.links[L"cancel"].left, 20 + 120 + 5);
    EXPECT_EQ(layout.links[L"cancel"].top, 60);
    EXPECT_EQ(layout.links[L"check"].left, 102);
    EXPECT_EQ(layout.links[L"check"].top, 152);
    EXPECT_EQ(layout.links[L"update"].left, 204);
    EXPECT_EQ(layout.links[L"update"].right, 244);
    EXPECT_EQ(trayLayout(client, sizes, false, 96).links.count(L"cancel"), 0u);
}

TEST(TrayLinks, TheCountdownLineIsRepaintedWholeWithItsLink)
{
    // The figures change width at 100 and at 10: the link moves, so the whole
    // line (not the link's old rectangle) is what each tick repaints.
    const RECT client{0, 0, 306, 184};
    TrayTextSizes sizes;
    sizes.countdown = SIZE{140, 13};
    sizes.cancel = SIZE{30, 13};
    const TrayLayout layout = trayLayout(client, sizes, true, 96);
    const RECT& line = layout.countdownLine;
    EXPECT_EQ(line.left, 0);
    EXPECT_EQ(line.right, 306);
    RECT covered{};
    for (const RECT& inside : {layout.countdown, layout.links.at(L"cancel")}) {
        EXPECT_TRUE(::IntersectRect(&covered, &line, &inside));
        EXPECT_TRUE(::EqualRect(&covered, &inside)) << "not inside the repainted line";
    }
    EXPECT_LE(line.bottom, layout.links.at(L"check").top) << "the line reaches the bottom links";
}

TEST(TrayLinks, LayoutScalesWithTheDpiAndRowsNeverOverlap)
{
    // 150 %: the client area and the fonts are half as large again.
    const RECT client{0, 0, 459, 276};
    TrayTextSizes sizes;
    sizes.countdown = SIZE{180, 20};
    sizes.cancel = SIZE{45, 20};
    sizes.check = SIZE{90, 20};
    sizes.update = SIZE{60, 20};
    TrayLayout layout = trayLayout(client, sizes, true, 144);
    EXPECT_EQ(layout.name.left, 30);
    EXPECT_EQ(layout.message.top, 60);
    EXPECT_EQ(layout.countdown.top, 90);
    EXPECT_EQ(layout.links[L"cancel"].left, 30 + 180 + 8);
    EXPECT_EQ(layout.links[L"check"].top, 276 - 48);

    // A text taller than the row (large fonts at 100 %): the rows move apart.
    sizes.countdown.cy = sizes.cancel.cy = sizes.check.cy = sizes.update.cy = 26;
    layout = trayLayout(RECT{0, 0, 306, 184}, sizes, true, 96);
    EXPECT_GE(layout.message.top - layout.name.top, 26);
    EXPECT_GE(layout.countdown.top - layout.message.top, 26);
}

TEST(TrayLinks, TheCloseHotspotFollowsTheStretchedBackground)
{
    const SIZE bitmap{306, 184};
    const RECT same = trayCloseArea(RECT{0, 0, 306, 184}, bitmap);
    const RECT mark{196, 8, 210, 22};
    EXPECT_TRUE(::EqualRect(&same, &mark));
    const RECT larger = trayCloseArea(RECT{0, 0, 459, 276}, bitmap);
    EXPECT_EQ(larger.left, 294);
    EXPECT_EQ(larger.top, 12);
    EXPECT_EQ(larger.right, 315);
    EXPECT_EQ(larger.bottom, 33);
    // The mark drawn at 199..207, 11..19 of the bitmap lies inside the hotspot at 150 %.
    EXPECT_EQ(linkAt({{L"close", larger}}, POINT{203 * 3 / 2, 15 * 3 / 2}), L"close");
}

TEST(TrayLinks, TabGoesThroughThePaintedLinksInOrder)
{
    std::map<std::wstring, RECT> links{{L"close", RECT{}}, {L"check", RECT{}}, {L"update", RECT{}}};
    EXPECT_EQ(nextLink(links, L"", false), L"check");
    EXPECT_EQ(nextLink(links, L"check", false), L"update");
    EXPECT_EQ(nextLink(links, L"update", false), L"close");
    EXPECT_EQ(nextLink(links, L"close", false), L"check");
    EXPECT_EQ(nextLink(links, L"", true), L"close");
    EXPECT_EQ(nextLink(links, L"check", true), L"close");
    links[L"cancel"] = RECT{};
    EXPECT_EQ(nextLink(links, L"", false), L"cancel");
    // The countdown ended and took its link with it: from there to the first.
    links.erase(L"cancel");
    EXPECT_EQ(nextLink(links, L"cancel", false), L"check");
    EXPECT_EQ(nextLink({}, L"check", false), L"");
}

TEST(TrayPlacement, BottomRightAboveTheTaskbar)
{
    const RECT screen{0, 0, 1024, 768};
    POINT place = trayWindowPlace(screen, screen, SIZE{306, 184}, 96);
    EXPECT_EQ(place.x, 1024 - 306 - 5);
    EXPECT_EQ(place.y, 768 - 184 - 45);
    place = trayWindowPlace(screen, screen, SIZE{459, 276}, 144);
    EXPECT_EQ(place.x, 1024 - 459 - 8);
    EXPECT_EQ(place.y, 768 - 276 - 68);
    // A taskbar of 48 pixels at the bottom, and one on the right.
    place = trayWindowPlace(screen, RECT{0, 0, 1024, 720}, SIZE{306, 184}, 96);
    EXPECT_EQ(place.y, 720 - 184 - 5);
    place = trayWindowPlace(screen, RECT{0, 0, 962, 768}, SIZE{306, 184}, 96);
    EXPECT_EQ(place.x, 962 - 306 - 5);
    EXPECT_EQ(place.y, 768 - 184 - 45);
    EXPECT_TRUE(isLeftEdgeOffScreen(-800, 1024));
    EXPECT_FALSE(isLeftEdgeOffScreen(0, 1024));
    EXPECT_FALSE(isLeftEdgeOffScreen(713, 1024));
}

TEST(TraySchedule, ARecheckThatFindsTheSameFilesKeepsTheRunningCountdown)
{
    // CheckTmSpan 1: a check every minute must not push the 120 s countdown back for ever.
    FakeClock clock;
    TraySchedule schedule(clock);
    schedule.markChecked();
    schedule.filesFound(4, L"a|b|c|d");
    EXPECT_EQ(schedule.countdown(), 120);
    clock.seconds += 60;
    schedule.tick(kChecked, false, L"1");
    EXPECT_EQ(schedule.countdown(), 60);
    schedule.filesFound(4, L"a|b|c|d");
    EXPECT_EQ(schedule.countdown(), 60) << "the same files restarted the countdown";
    schedule.tick(kChecked, false, L"1");
    EXPECT_EQ(schedule.countdown(), 60);
    clock.seconds += 60;
    EXPECT_TRUE(schedule.tick(kChecked, false, L"1").runUpdate);

    // Other files start it again, and so does any find after a cancel.
    schedule.filesFound(4, L"a|b|c|d");
    EXPECT_EQ(schedule.countdown(), 120);
    clock.seconds += 30;
    schedule.tick(kChecked, false, L"1");
    schedule.filesFound(5, L"a|b|c|d|e");
    EXPECT_EQ(schedule.countdown(), 120);
    schedule.stopCountdown();
    schedule.filesFound(5, L"a|b|c|d|e");
    EXPECT_EQ(schedule.countdown(), 120);
    // Nothing found leaves it as it is.
    schedule.stopCountdown();
    schedule.filesFound(0, L"");
    EXPECT_EQ(schedule.countdown(), -1);
}

TEST(TraySchedule, FoundFilesKeyNamesTheSelectionInAnyOrder)
{
    DownLoadList first;
    DownLoadList second;
    updatefileinfo a;
    a.path = L"app.exe";
    a.version = L"2";
    a.url = L"http://host/app.exe";
    updatefileinfo b;
    b.path = L"docs\\help.txt";
    b.version = L"7";
    first.entries = {a, b};
    second.entries = {b, a};
    EXPECT_EQ(foundFilesKey(first), foundFilesKey(second));
    second.entries[0].version = L"8";
    EXPECT_NE(foundFilesKey(first), foundFilesKey(second));
    // Fields cannot run into each other.
    updatefileinfo joined;
    joined.path = L"app.exe2";
    joined.url = a.url;
    DownLoadList third;
    third.entries = {joined, b};
    EXPECT_NE(foundFilesKey(first), foundFilesKey(third));
}

TEST(TrayIcon, AddedAtTheStartAgainForANewTaskbarAndRetriedWhileRefused)
{
    int calls = 0;
    int refusals = 2;
    TrayIconKeeper keeper([&] {
        ++calls;
        return refusals-- <= 0;
    });
    // At logon the shell is not ready: the first attempts fail.
    EXPECT_EQ(keeper.start(), TrayIconKeeper::Outcome::Failed);
    EXPECT_FALSE(keeper.added());
    for (int tick = 1; tick < TrayIconKeeper::kRetryTicks; ++tick)
        EXPECT_EQ(keeper.tick(), TrayIconKeeper::Outcome::Unchanged);
    EXPECT_EQ(keeper.tick(), TrayIconKeeper::Outcome::Failed);
    for (int tick = 1; tick < TrayIconKeeper::kRetryTicks; ++tick)
        keeper.tick();
    EXPECT_EQ(keeper.tick(), TrayIconKeeper::Outcome::Added);
    EXPECT_EQ(calls, 3);
    // Added: ticks leave it alone.
    for (int tick = 0; tick < 3 * TrayIconKeeper::kRetryTicks; ++tick)
        EXPECT_EQ(keeper.tick(), TrayIconKeeper::Outcome::Unchanged);
    EXPECT_EQ(calls, 3);
    // Explorer restarted: the icon is added again at once.
    EXPECT_EQ(keeper.taskbarCreated(), TrayIconKeeper::Outcome::Added);
    EXPECT_EQ(calls, 4);
}
