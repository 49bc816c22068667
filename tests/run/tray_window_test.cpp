// The tray mode end to end: the real updater with "tryicon" checks a release
// served by nginx, shows its update centre, counts down, and is driven by
// clicks and keys sent to its painted links; Explorer's new taskbar, the tip
// after an update and the hand-over to a copy run as administrator.
#include "tests/run/run_support.h"
#include "tests/run/screen_capture.h"

#include "app/command_line.h"
#include "platform/files.h"
#include "tests/download/server_env.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <windows.h>
#include <tlhelp32.h>

using namespace rk;
using namespace rk::test;

namespace {

// Mirrors the window's own query messages (WM_APP + 0x40 / 0x41).
constexpr UINT kQueryLinkPoint = WM_APP + 0x40;
constexpr UINT kQueryCountdown = WM_APP + 0x41;
constexpr UINT kQueryFocusedLink = WM_APP + 0x43;
constexpr WPARAM kCancelLink = 1;
constexpr WPARAM kCheckLink = 2;
constexpr WPARAM kUpdateLink = 3;
constexpr WPARAM kExitCommand = 40097;

// A dialog without controls: a message box has its text and buttons.
bool isTrayWindow(void* window)
{
    wchar_t name[32] = {};
    ::GetClassNameW(static_cast<HWND>(window), name, 32);
    return std::wstring(name) == L"#32770" && !::GetWindow(static_cast<HWND>(window), GW_CHILD);
}

bool isMessageBox(void* window)
{
    wchar_t name[32] = {};
    ::GetClassNameW(static_cast<HWND>(window), name, 32);
    return std::wstring(name) == L"#32770" && ::IsWindowVisible(static_cast<HWND>(window)) &&
           ::GetWindow(static_cast<HWND>(window), GW_CHILD);
}

std::wstring titleOf(HWND window)
{
    wchar_t text[256] = {};
    ::GetWindowTextW(window, text, 256);
    return text;
}

// Running processes of this executable.
int processesOf(const std::wstring& exe)
{
    int count = 0;
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry)) {
        HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
        if (!process)
            continue;
        wchar_t image[MAX_PATH * 2];
        DWORD size = MAX_PATH * 2;
        if (::QueryFullProcessImageNameW(process, 0, image, &size) && ::lstrcmpiW(image, exe.c_str()) == 0)
            ++count;
        ::CloseHandle(process);
    }
    ::CloseHandle(snapshot);
    return count;
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
    EXPECT_EQ(titleOf(tray), L"[" + run.name + L"]\nFound 4 files need to update...");
    const LRESULT update = query(tray, kQueryLinkPoint, kUpdateLink);
    // The update runs on the window's thread: post, then watch the files.
    ::PostMessageW(tray, WM_LBUTTONDOWN, MK_LBUTTON, update);
    ASSERT_TRUE(e2e::waitUntil([&] { return fileExists(run.appDir + L"docs\\new.txt"); }));
    ASSERT_TRUE(e2e::waitUntil([&] { return ::IsWindowVisible(tray) != FALSE && query(tray, kQueryCountdown) == -1; }));
    for (const std::wstring& file : releaseFiles(L"v2"))
        EXPECT_EQ(e2e::readBytes(run.appDir + file), releaseFile(L"v2", file)) << narrow(file);
    ::RedrawWindow(tray, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_FALSE(saveScreenshot(L"tray_centre_updated").empty());
    // The tip (the window's title too) says how the update ended, not what the check found.
    EXPECT_EQ(titleOf(tray), L"[" + run.name + L"]\nUpgrade is completed");
    EXPECT_TRUE(logHas(run, L"Upgrade is completed"));
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

TEST(TrayWindow, TabAndEnterReachThePaintedLinks)
{
    RunSetup run = makeRun(L"TrayKeys", publishAs(L"v2", L"traykeys"), "CheckTmSpan=30\n");
    installRelease(run, L"v1");
    e2e::RunningProgram program(inQuotes(run.updater.exe) + L" tryicon");
    ASSERT_TRUE(program.started());
    HWND tray = static_cast<HWND>(e2e::waitForWindow(program.id(), isShownTrayWindow));
    ASSERT_NE(tray, nullptr);
    ASSERT_TRUE(e2e::waitUntil([&] { return query(tray, kQueryLinkPoint, kCancelLink) >= 0; }));
    EXPECT_EQ(query(tray, kQueryFocusedLink), -1) << "no link has the keyboard before Tab";

    // Keys go through the window's dialog loop, as typed ones do.
    ::PostMessageW(tray, WM_KEYDOWN, VK_TAB, 0);
    ASSERT_TRUE(e2e::waitUntil([&] { return query(tray, kQueryFocusedLink) == static_cast<LRESULT>(kCancelLink); }));
    // A dotted rectangle shows round the link: dark dots on the light ground
    // of the row just above the link's text.
    const LRESULT cancel = query(tray, kQueryLinkPoint, kCancelLink);
    POINT origin{0, 0};
    ::ClientToScreen(tray, &origin);
    const int middleX = origin.x + LOWORD(cancel);
    const int middleY = origin.y + HIWORD(cancel);
    auto dotsAbove = [&] {
        const Image screen = captureScreen();
        int dots = 0;
        for (int y = middleY - 14; y < middleY - 4; ++y) {
            int row = 0;
            for (int x = middleX - 10; x < middleX + 10; ++x)
                row += (screen.at(x, y) & 0xFF) < 160 ? 1 : 0;
            dots = std::max(dots, row);
        }
        return dots;
    };
    EXPECT_TRUE(e2e::waitUntil([&] { return dotsAbove() >= 6; }, 200)) << "no focus rectangle round the link";
    EXPECT_FALSE(saveScreenshot(L"tray_centre_keyboard_on_cancel").empty());
    ::PostMessageW(tray, WM_KEYDOWN, VK_TAB, 0);
    ASSERT_TRUE(e2e::waitUntil([&] { return query(tray, kQueryFocusedLink) == static_cast<LRESULT>(kCheckLink); }));
    ::PostMessageW(tray, WM_KEYDOWN, VK_TAB, 0);
    ::PostMessageW(tray, WM_KEYDOWN, VK_TAB, 0);
    ::PostMessageW(tray, WM_KEYDOWN, VK_TAB, 0);
    // Round again to the first: "cancel".
    ASSERT_TRUE(e2e::waitUntil([&] { return query(tray, kQueryFocusedLink) == static_cast<LRESULT>(kCancelLink); }));
    ::PostMessageW(tray, WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_TRUE(e2e::waitUntil([&] { return query(tray, kQueryCountdown) == -1; })) << "Enter did not cancel";
    EXPECT_TRUE(::IsWindowVisible(tray));

    // Escape hides the window, as the close mark does; the program goes on.
    ::PostMessageW(tray, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(e2e::waitUntil([&] { return !::IsWindowVisible(tray); }));
    EXPECT_TRUE(program.running());
    ::PostMessageW(tray, WM_COMMAND, kExitCommand, 0);
    EXPECT_EQ(program.wait(), 4);
}

TEST(TrayWindow, ANewTaskbarGetsTheIconAgain)
{
    // Explorer restarted: every window hears "TaskbarCreated" and the icons are gone.
    RunSetup run = makeRun(L"TrayTaskbar", publishAs(L"v2", L"traytaskbar"), "CheckTmSpan=30\n");
    installRelease(run, L"v2");
    e2e::RunningProgram program(inQuotes(run.updater.exe) + L" tryicon");
    ASSERT_TRUE(program.started());
    HWND tray = static_cast<HWND>(e2e::waitForWindow(program.id(), isTrayWindow));
    ASSERT_NE(tray, nullptr);
    ASSERT_TRUE(e2e::waitUntil([&] { return logHas(run, L"Find nothing to update."); }));
    const UINT taskbarCreated = ::RegisterWindowMessageW(L"TaskbarCreated");
    ::SendMessageTimeoutW(tray, taskbarCreated, 0, 0, SMTO_NORMAL, 10000, nullptr);
    EXPECT_TRUE(
        e2e::waitUntil([&] { return logHas(run, L"The taskbar was made anew: the tray icon was added again."); }));
    EXPECT_FALSE(logHas(run, L"The tray icon could not be added."));
    // It still runs, with the tip of its last check.
    EXPECT_TRUE(program.running());
    EXPECT_EQ(titleOf(tray), L"[" + run.name + L"]\nFind nothing to update.");
    ::PostMessageW(tray, WM_COMMAND, kExitCommand, 0);
    EXPECT_EQ(program.wait(), 0);
}

TEST(TrayWindow, AnUpdateThatNeedsAdministratorRightsGoesOnInACopyRunAsAdministrator)
{
    // The fixture's file nobody may write, among the list's files.
    const std::wstring protectedFile = e2e::buildDir() + L"rk-elevation\\protected.txt";
    ASSERT_EQ(e2e::readBytes(protectedFile), "old") << "the fixture's file";
    publishAs(L"v2", L"trayelevated");
    const std::string base = narrow(nginxUrl(L"pub/trayelevated/"));
    const std::string list = "<update><file path=\"docs\\new.txt\" url=\"" + base +
                             "docs/new.txt\" ver=\"2\"/><file path=\"protected.txt\" dstname=\"" +
                             narrow(protectedFile) + "\" url=\"" + base + "data/settings.ini\" ver=\"2\"/></update>";
    RunSetup run = makeRun(L"TrayElevated", publishList(L"trayelevated", list));
    installRelease(run, L"v1");
    e2e::RunningProgram program(inQuotes(run.updater.exe) + L" tryicon");
    ASSERT_TRUE(program.started());
    HWND tray = static_cast<HWND>(e2e::waitForWindow(program.id(), isShownTrayWindow));
    ASSERT_NE(tray, nullptr);
    ASSERT_TRUE(e2e::waitUntil([&] { return query(tray, kQueryLinkPoint, kUpdateLink) >= 0; }));
    ::PostMessageW(tray, WM_LBUTTONDOWN, MK_LBUTTON, query(tray, kQueryLinkPoint, kUpdateLink));

    // The local check finds the protected file: the question, as in the progress window.
    HWND box = static_cast<HWND>(e2e::waitForWindow(program.id(), isMessageBox));
    ASSERT_NE(box, nullptr) << "no request for administrator rights";
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(box, IDOK)));
    // This copy hands over and ends; the copy run as administrator carries on.
    EXPECT_EQ(program.wait(), 2);
    EXPECT_TRUE(
        logHas(run, L"Started as administrator with: " +
                        normalizeCommandLine(inQuotes(run.updater.exe) + L" tryicon", run.appDir + L"renewkit.exe") +
                        L" /___runas_admin___"));
    ASSERT_TRUE(e2e::waitUntil([&] { return logHas(run, L"Upgrade is abort"); }, 6000))
        << "the copy run as administrator did not finish the update";
    // It went on from the list it was handed: nothing was fetched again (the
    // first copy fetched the list for its check and for its update, and the
    // files once), the other file is in place, the protected one is as it was.
    EXPECT_EQ(logCount(run, L"try to download the list file..."), 2);
    EXPECT_EQ(logCount(run, L"Downloading to temporary directory..."), 1);
    EXPECT_EQ(e2e::readBytes(run.appDir + L"docs\\new.txt"), releaseFile(L"v2", L"docs\\new.txt"));
    EXPECT_EQ(e2e::readBytes(protectedFile), "old");
    // Without CheckTmSpan it ends after its update.
    EXPECT_TRUE(e2e::waitUntil([&] { return processesOf(run.updater.exe) == 0; }, 3000));
    EXPECT_EQ(logCount(run, L"request administrator privileges to continue"), 1) << "asked again as administrator";
}
