// The tray mode end to end: the real updater with "tryicon" checks a release
// served by nginx, shows its update centre, counts down, and is driven by
// clicks sent to its painted links.
#include "tests/run/run_support.h"
#include "tests/run/screen_capture.h"

#include "platform/files.h"
#include "tests/download/server_env.h"

#include <gtest/gtest.h>
#include <windows.h>

using namespace rk;
using namespace rk::test;

namespace {

// Mirrors the window's own query messages (WM_APP + 0x40 / 0x41).
constexpr UINT kQueryLinkPoint = WM_APP + 0x40;
constexpr UINT kQueryCountdown = WM_APP + 0x41;
constexpr WPARAM kCancelLink = 1;
constexpr WPARAM kUpdateLink = 3;
constexpr WPARAM kExitCommand = 40097;

bool isTrayWindow(void* window)
{
    wchar_t name[32] = {};
    ::GetClassNameW(static_cast<HWND>(window), name, 32);
    return std::wstring(name) == L"#32770";
}

// Shown on the screen: the dialog loop first shows it at (-800, -800), out of sight.
bool isShownTrayWindow(void* window)
{
    RECT area{};
    ::GetWindowRect(static_cast<HWND>(window), &area);
    return isTrayWindow(window) && ::IsWindowVisible(static_cast<HWND>(window)) && area.left >= 0;
}

LRESULT query(HWND tray, UINT message, WPARAM which = 0)
{
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(tray, message, which, 0, SMTO_NORMAL, 10000, &result))
        return -2;
    return static_cast<LRESULT>(static_cast<LONG>(result));
}

std::wstring inQuotes(const std::wstring& s) { return L"\"" + s + L"\""; }

} // namespace

TEST(TrayWindow, FoundFilesShowTheCentreAtTheBottomRightAndCancelStopsTheCountdown)
{
    RunSetup run = makeRun(L"TrayFound", publishAs(L"v2", L"trayfound"), "CheckTmSpan=30\n");
    installRelease(run, L"v1");
    e2e::RunningProgram program(inQuotes(run.updater.exe) + L" tryicon");
    ASSERT_TRUE(program.started());
    HWND tray = static_cast<HWND>(e2e::waitForWindow(program.id(), isShownTrayWindow));
    ASSERT_NE(tray, nullptr) << "the update centre was not shown";

    RECT area{};
    ::GetWindowRect(tray, &area);
    EXPECT_EQ(area.left, ::GetSystemMetrics(SM_CXSCREEN) - (area.right - area.left) - 5);
    EXPECT_EQ(area.top, ::GetSystemMetrics(SM_CYSCREEN) - (area.bottom - area.top) - 45);

    // The countdown runs and its "Cancel" link is painted.
    ASSERT_TRUE(e2e::waitUntil([&] { return query(tray, kQueryLinkPoint, kCancelLink) >= 0; }));
    const LRESULT countdown = query(tray, kQueryCountdown);
    EXPECT_GT(countdown, 0);
    EXPECT_LE(countdown, 120);
    EXPECT_TRUE(logHas(run, L"Found 4 files need to update..."));
    EXPECT_FALSE(logHas(run, L"The tray icon could not be added."));
    ::RedrawWindow(tray, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_FALSE(saveScreenshot(L"tray_centre_countdown").empty());

    const LRESULT cancel = query(tray, kQueryLinkPoint, kCancelLink);
    ::SendMessageW(tray, WM_LBUTTONDOWN, MK_LBUTTON, cancel);
    ::SendMessageW(tray, WM_LBUTTONUP, 0, cancel);
    EXPECT_EQ(query(tray, kQueryCountdown), -1);
    // The next paint drops the link with the countdown line.
    EXPECT_TRUE(e2e::waitUntil([&] { return query(tray, kQueryLinkPoint, kCancelLink) == -1; }));
    EXPECT_FALSE(saveScreenshot(L"tray_centre_cancelled").empty());

    ::PostMessageW(tray, WM_COMMAND, kExitCommand, 0);
    // The exit code is the number of files the check found; nothing was installed.
    EXPECT_EQ(program.wait(), 4);
    EXPECT_EQ(e2e::readBytes(run.appDir + L"docs\\help.txt"), releaseFile(L"v1", L"docs\\help.txt"));
    EXPECT_FALSE(fileExists(run.appDir + L"docs\\new.txt"));
}

TEST(TrayWindow, UpdateLinkInstallsTheReleaseAndShowsTheCentreAgain)
{
    RunSetup run = makeRun(L"TrayUpdate", publishAs(L"v2", L"trayupdate"), "CheckTmSpan=30\n");
    installRelease(run, L"v1");
    e2e::RunningProgram program(inQuotes(run.updater.exe) + L" tryicon");
    ASSERT_TRUE(program.started());
    HWND tray = static_cast<HWND>(e2e::waitForWindow(program.id(), isShownTrayWindow));
    ASSERT_NE(tray, nullptr);
    ASSERT_TRUE(e2e::waitUntil([&] { return query(tray, kQueryLinkPoint, kUpdateLink) >= 0; }));
    const LRESULT update = query(tray, kQueryLinkPoint, kUpdateLink);
    // The update runs on the window's thread: post, then watch the files.
    ::PostMessageW(tray, WM_LBUTTONDOWN, MK_LBUTTON, update);
    ASSERT_TRUE(e2e::waitUntil([&] { return fileExists(run.appDir + L"docs\\new.txt"); }));
    ASSERT_TRUE(e2e::waitUntil([&] { return ::IsWindowVisible(tray) != FALSE && query(tray, kQueryCountdown) == -1; }));
    for (const std::wstring& file : releaseFiles(L"v2"))
        EXPECT_EQ(e2e::readBytes(run.appDir + file), releaseFile(L"v2", file)) << narrow(file);
    ::RedrawWindow(tray, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_FALSE(saveScreenshot(L"tray_centre_updated").empty());
    ::PostMessageW(tray, WM_COMMAND, kExitCommand, 0);
    EXPECT_NE(program.wait(), -1);
}

TEST(TrayWindow, NothingFoundWithoutCheckTmSpanEndsAfterTheFirstCheck)
{
    RunSetup run = makeRun(L"TrayNothing", publishAs(L"v2", L"traynothing"));
    installRelease(run, L"v2");
    EXPECT_EQ(e2e::runProgram(inQuotes(run.updater.exe) + L" tryicon"), 0);
    EXPECT_TRUE(logHas(run, L"Find nothing to update."));
    EXPECT_EQ(logCount(run, L"Find nothing to update."), 1) << "one check only";
}
