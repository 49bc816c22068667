// The windows as a user sees them, sampled pixel by pixel on screenshots of
// the Xvfb display, at 100 % (96 DPI) and at 150 % (144 DPI, set for the
// programs a case starts; such cases run alone). The screenshots stay under
// build/cross/artifacts.
#include "tests/run/registry_value_scope.h"
#include "tests/run/run_support.h"
#include "tests/run/screen_capture.h"

#include "platform/files.h"
#include "tests/download/server_env.h"

#include <gtest/gtest.h>

#include <cwchar>

using namespace rk;
using namespace rk::test;

namespace {

// The flat ground of the progress window's lower part, and the colour the
// title buttons' images stand on.
constexpr std::uint32_t kGround = rgb(0, 104, 183);
constexpr std::uint32_t kButtonGround = rgb(0, 112, 195);

std::uint32_t faceColour()
{
    const COLORREF face = ::GetSysColor(COLOR_3DFACE);
    return rgb(GetRValue(face), GetGValue(face), GetBValue(face));
}

int red(std::uint32_t colour) { return static_cast<int>((colour >> 16) & 0xFF); }

// "l t r b" as the test host records a rectangle.
RECT rectOf(const HostEvent& event, const std::string& key)
{
    RECT r{0, 0, 0, 0};
    std::swscanf(event.text(key).c_str(), L"%ld %ld %ld %ld", &r.left, &r.top, &r.right, &r.bottom);
    return r;
}

RECT grown(RECT r, int by)
{
    ::InflateRect(&r, by, by);
    return r;
}

const HostEvent* shotEvent(const std::vector<HostEvent>& events, const std::wstring& what)
{
    for (const HostEvent& e : events) {
        if (e.has("screenshot") && e.text("screenshot") == what)
            return &e;
    }
    return nullptr;
}

std::wstring percentName(int dpi) { return dpi == 144 ? L"150" : L"100"; }

// Mirrors the update centre's own query messages.
constexpr UINT kQueryLinkPoint = WM_APP + 0x40;
constexpr UINT kQueryCountdown = WM_APP + 0x41;
constexpr WPARAM kCancelLink = 1;
constexpr WPARAM kExitCommand = 40097;

bool isShownTrayWindow(void* window)
{
    wchar_t name[32] = {};
    ::GetClassNameW(static_cast<HWND>(window), name, 32);
    RECT area{};
    ::GetWindowRect(static_cast<HWND>(window), &area);
    return std::wstring(name) == L"#32770" && ::IsWindowVisible(static_cast<HWND>(window)) && area.left >= 0 &&
           !::GetWindow(static_cast<HWND>(window), GW_CHILD);
}

LRESULT query(HWND tray, UINT message, WPARAM which = 0)
{
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(tray, message, which, 0, SMTO_NORMAL, 10000, &result))
        return -2;
    return static_cast<LRESULT>(static_cast<LONG>(result));
}

// The update centre counting down: at the bottom right with the margins of
// its DPI, its countdown line repainted by itself every second (two shots
// seconds apart, nothing forced), and its close mark, drawn where the
// stretched background puts it, hovered and clicked right there.
void checkTrayCentre(int dpi)
{
    const std::wstring percent = percentName(dpi);
    RunSetup run = makeRun(L"TrayPixels" + percent, publishAs(L"v2", L"traypixels" + percent), "CheckTmSpan=30\n");
    installRelease(run, L"v1");
    e2e::RunningProgram program(L"\"" + run.updater.exe + L"\" tryicon");
    ASSERT_TRUE(program.started());
    HWND tray = static_cast<HWND>(e2e::waitForWindow(program.id(), isShownTrayWindow));
    ASSERT_NE(tray, nullptr) << "the update centre was not shown";
    ASSERT_TRUE(e2e::waitUntil([&] { return query(tray, kQueryLinkPoint, kCancelLink) >= 0; }));

    RECT area{};
    ::GetWindowRect(tray, &area);
    const int margin = ::MulDiv(5, dpi, 96);
    const int taskbar = ::MulDiv(45, dpi, 96);
    EXPECT_EQ(area.left, ::GetSystemMetrics(SM_CXSCREEN) - (area.right - area.left) - margin);
    EXPECT_EQ(area.top, ::GetSystemMetrics(SM_CYSCREEN) - (area.bottom - area.top) - taskbar);
    RECT client{};
    ::GetClientRect(tray, &client);
    POINT origin{0, 0};
    ::ClientToScreen(tray, &origin);

    // The line of the countdown, across the window, from the link's middle.
    const LRESULT cancel = query(tray, kQueryLinkPoint, kCancelLink);
    const int lineMiddle = origin.y + HIWORD(cancel);
    const int half = ::MulDiv(8, dpi, 96);
    const RECT line{area.left, lineMiddle - half, area.right, lineMiddle + half};
    const RECT name{area.left, area.top + ::MulDiv(20, dpi, 96), area.right, area.top + ::MulDiv(32, dpi, 96)};
    std::wstring firstPath;
    const LRESULT before = query(tray, kQueryCountdown);
    const Image first = saveScreenshot(L"tray_centre_" + percent + L"_countdown_first", firstPath);
    ASSERT_FALSE(first.empty());
    ASSERT_TRUE(e2e::waitUntil([&] { return query(tray, kQueryCountdown) <= before - 3; }));
    // The figure changed three times: the screen shows it (the window repaints
    // the line on its own, within half a second of a change).
    EXPECT_TRUE(e2e::waitUntil([&] { return differIn(first, captureScreen(), line); }, 200))
        << "the countdown's figures stayed on the screen";
    std::wstring secondPath;
    const Image second = saveScreenshot(L"tray_centre_" + percent + L"_countdown_later", secondPath);
    EXPECT_FALSE(differIn(first, second, name)) << "the name's line changed: the shots are not comparable";

    // The close mark of the background, at its place in the stretched picture.
    // The pointer itself goes there: the system's own mouse moves would
    // otherwise take the hover away again.
    const POINT mark{client.right * 203 / 306, client.bottom * 15 / 184};
    ::SetCursorPos(origin.x + mark.x, origin.y + mark.y);
    ::SendMessageW(tray, WM_MOUSEMOVE, 0, MAKELPARAM(mark.x, mark.y));
    const int side = ::MulDiv(5, dpi, 96);
    const RECT around{origin.x + mark.x - side, origin.y + mark.y - side, origin.x + mark.x + side,
                      origin.y + mark.y + side};
    // The red of the hover mark, the white cross aside, fills the square round the mark.
    auto hoverShown = [&] { return countColour(captureScreen(), around, rgb(210, 60, 50), 40) > side * side; };
    EXPECT_TRUE(e2e::waitUntil(hoverShown, 200)) << "the hover mark is not over the close mark";
    EXPECT_FALSE(saveScreenshot(L"tray_centre_" + percent + L"_close_hovered").empty());
    ::PostMessageW(tray, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(mark.x, mark.y));
    EXPECT_TRUE(e2e::waitUntil([&] { return !::IsWindowVisible(tray); })) << "a click on the close mark did nothing";

    ::PostMessageW(tray, WM_COMMAND, kExitCommand, 0);
    EXPECT_EQ(program.wait(), 4);
}

// The progress window while it downloads: the background covers the window,
// no face colour shows anywhere, the label's cells are the ground's blue
// with nothing stray beside them, the strip and the button have no margins
// of another colour.
void checkProgressWindow(int dpi)
{
    const std::wstring name = L"Pixels" + percentName(dpi);
    RunSetup run = makeRun(name, publishAs(L"v2", L"pixels" + percentName(dpi)));
    installRelease(run, L"v1");
    const Artifact shot = artifact(L"progress_window_" + percentName(dpi) + L"_download.png");
    std::vector<HostEvent> events = hostRun(run, L"--shot-at-progress 2 \"" + shot.unixPath + L"\"", L"");
    EXPECT_EQ(stagesSeen(events), kFullRun);
    const HostEvent* taken = shotEvent(events, L"progress");
    ASSERT_NE(taken, nullptr) << "no screenshot was taken";
    ASSERT_EQ(taken->text("taken"), L"true");
    const Image image = loadPng(shot.windowsPath);
    ASSERT_FALSE(image.empty()) << narrow(shot.windowsPath);

    const RECT window = rectOf(*taken, "window");
    const RECT label = rectOf(*taken, "165");
    const RECT strip = rectOf(*taken, "167");
    const RECT button = rectOf(*taken, "170");
    ASSERT_GT(window.right - window.left, 400);
    // At 150 % the window is about half as large again as at 100 % (428 x 241
    // at 96 DPI on Windows, 499 x 259 under Wine).
    if (dpi == 144) {
        EXPECT_GT(window.right - window.left, 600);
    }
    ASSERT_FALSE(::IsRectEmpty(&label));

    EXPECT_EQ(countColour(image, window, faceColour()), 0) << "the face colour shows inside the window";

    // The lower part is the ground up to the window's right and bottom edges:
    // the background covers the whole window.
    const int lowerTop = strip.bottom + 2;
    for (int y = lowerTop; y < window.bottom; y += 3) {
        ASSERT_EQ(image.at(window.right - 1, y), kGround) << "right edge, row " << y - window.top;
    }
    for (int x = window.left; x < window.right; x += 3) {
        if (x < label.left - 2 || x > label.right + 2) {
            ASSERT_EQ(image.at(x, window.bottom - 1), kGround) << "bottom edge, column " << x - window.left;
        }
    }

    // The label: a ring around it and every pixel in it that is not lighter
    // (the white text, smoothed) are the ground; the text lies in its left
    // three quarters (the figure and the percent sign, followed by blanks):
    // no stray line at its right end.
    const RECT ring = grown(label, 2);
    for (int x = ring.left; x < ring.right; ++x) {
        ASSERT_EQ(image.at(x, ring.top), kGround) << "above the label, column " << x - label.left;
        ASSERT_EQ(image.at(x, ring.bottom - 1), kGround) << "below the label, column " << x - label.left;
    }
    for (int y = ring.top; y < ring.bottom; ++y) {
        ASSERT_EQ(image.at(ring.left, y), kGround) << "left of the label, row " << y - label.top;
        ASSERT_EQ(image.at(ring.right - 1, y), kGround) << "right of the label, row " << y - label.top;
    }
    int textPixels = 0;
    const int quarter = label.left + (label.right - label.left) * 3 / 4;
    for (int y = label.top; y < label.bottom; ++y) {
        for (int x = label.left; x < label.right; ++x) {
            const std::uint32_t pixel = image.at(x, y);
            const bool lighter =
                red(pixel) > 0 || ((pixel >> 8) & 0xFF) > ((kGround >> 8) & 0xFF) || (pixel & 0xFF) > (kGround & 0xFF);
            if (!lighter) {
                ASSERT_EQ(pixel, kGround) << "in the label at " << x - label.left << "," << y - label.top;
            } else {
                ++textPixels;
                ASSERT_LT(x, quarter) << "white in the label's right quarter (" << colourText(pixel) << ")";
            }
        }
    }
    EXPECT_GT(textPixels, 10) << "no figure in the label";

    // The strip's ends: ground above and below its track, never a dark block.
    const int stripLeft = std::max(strip.left, window.left);
    for (int x = stripLeft; x < stripLeft + 6; ++x) {
        EXPECT_EQ(image.at(x, strip.top), kGround) << "strip's top row, column " << x - strip.left;
        EXPECT_EQ(image.at(x, strip.bottom - 1), kGround) << "strip's bottom row, column " << x - strip.left;
    }

    // The minimise button: its margins are the ground its image stands on,
    // at all four corners.
    const RECT inside = grown(button, -1);
    for (POINT corner : {POINT{inside.left, inside.top}, POINT{inside.right - 1, inside.top},
                         POINT{inside.left, inside.bottom - 1}, POINT{inside.right - 1, inside.bottom - 1}}) {
        EXPECT_EQ(image.at(corner.x, corner.y), kButtonGround)
            << "button corner " << corner.x - button.left << "," << corner.y - button.top << " is "
            << colourText(image.at(corner.x, corner.y));
    }
    // The glyph is scaled with the window: its white line is wider at 150 %.
    int glyph = 0;
    for (int x = button.left; x < button.right; ++x) {
        for (int y = button.top; y < button.bottom; ++y) {
            if (red(image.at(x, y)) >= 200) {
                ++glyph;
                break;
            }
        }
    }
    EXPECT_GE(glyph, dpi == 144 ? 14 : 9) << "columns of the minimise glyph";
}

// A failed update shows why, then closes and still starts the host program.
void checkFailedRun(int dpi, bool click)
{
    const std::wstring percent = percentName(dpi);
    const std::wstring missing = L"pub/nothing-" + uniqueToken() + L"/update.xml";
    RunSetup run = makeRun(L"Failed" + percent, nginxUrl(missing));
    installRelease(run, L"v1");
    const Artifact shot = artifact(L"progress_window_" + percent + L"_failed.png");
    std::wstring options = L"--shot-at-failure \"" + shot.unixPath + L"\"";
    if (click)
        options += L" --click-failure";
    std::vector<HostEvent> events = hostRun(run, options, L"");
    EXPECT_EQ(stagesSeen(events), (Stages{0, 1, 2, 13}));
    const HostEvent* line = nullptr;
    for (const HostEvent& e : events) {
        if (e.has("status_line"))
            line = &e;
    }
    ASSERT_NE(line, nullptr) << "the window closed without showing why";
    EXPECT_EQ(line->text("status_line").substr(0, 32), L"error when download the list fil");
    EXPECT_TRUE(logHas(run, L"error when download the list file."));
    // The host program is started all the same, once the window has gone.
    EXPECT_EQ(startedNote(run), "demo.exe version 1 started\r\n");
    EXPECT_EQ(events.back().text("timed_out"), L"false");
    const HostEvent* taken = shotEvent(events, L"failure");
    ASSERT_NE(taken, nullptr);
    if (taken->text("taken") == L"true" && taken->has("169")) {
        // Captured while it showed: the text stands on the ground, white.
        const Image image = loadPng(shot.windowsPath);
        const RECT text = rectOf(*taken, "169");
        EXPECT_GT(countColour(image, text, kGround), 0);
        EXPECT_GT(countColour(image, text, rgb(255, 255, 255)), 0);
        EXPECT_EQ(countColour(image, rectOf(*taken, "window"), faceColour()), 0);
    }
}

} // namespace

TEST(ProgressWindowPixels, At100PercentEveryPixelIsTheWindowsOwn) { checkProgressWindow(96); }

TEST(ProgressWindowPixels, At150PercentEveryPixelIsTheWindowsOwn)
{
    DpiScope scope(144);
    ASSERT_TRUE(scope.set());
    checkProgressWindow(144);
}

TEST(ProgressWindowPixels, At100PercentAFailedRunShowsWhyForSecondsThenStartsTheHost) { checkFailedRun(96, false); }

TEST(ProgressWindowPixels, At150PercentAFailedRunShowsWhyUntilClicked)
{
    DpiScope scope(144);
    ASSERT_TRUE(scope.set());
    checkFailedRun(144, true);
}

TEST(TrayCentrePixels, At100PercentTheCountdownMovesAndTheCloseMarkIsWhereItIsDrawn) { checkTrayCentre(96); }

TEST(TrayCentrePixels, At150PercentTheCountdownMovesAndTheCloseMarkIsWhereItIsDrawn)
{
    DpiScope scope(144);
    ASSERT_TRUE(scope.set());
    checkTrayCentre(144);
}
