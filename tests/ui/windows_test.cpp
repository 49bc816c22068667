#include "platform/handles.h"
#include "ui/app_object.h"
#include "ui/dialog_sk.h"
#include "ui/picture_button.h"
#include "ui/scroll_view.h"
#include "resource_ids.h"
#include "ui_test_ids.h"
#include "ui_test_support.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace rk {
namespace {

class QuitTwiceDialog : public Dialog {
public:
    QuitTwiceDialog() : Dialog(IDD_UI_TEST, nullptr) {}
    bool initialised = false;

protected:
    BOOL onInitDialog() override
    {
        initialised = true;
        ::PostThreadMessageW(::GetCurrentThreadId(), WM_QUIT, 7, 0);
        ::PostThreadMessageW(::GetCurrentThreadId(), WM_QUIT, 8, 0);
        return TRUE;
    }
};

TEST(Dialog, EachWmQuitEndsOneLoop)
{
    QuitTwiceDialog dialog;
    ASSERT_EQ(dialog.doModal(), Dialog::kQuitResult);
    EXPECT_TRUE(dialog.initialised);
    EXPECT_EQ(dialog.hwnd(), nullptr);
    // The second one is still queued for the application's loop, and only it.
    EXPECT_EQ(pumpMessages(), 8);
    MSG msg{};
    EXPECT_FALSE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

// Sends one command from another thread, as the update worker does: such a
// message is handled inside GetMessage, which must still let the loop end.
class CommandDialog : public Dialog {
public:
    explicit CommandDialog(bool destroyItself) : Dialog(IDD_UI_TEST, nullptr), m_destroy(destroyItself) {}
    ~CommandDialog() override
    {
        if (m_sender.joinable())
            m_sender.join();
    }
    std::vector<int> commands;

protected:
    BOOL onInitDialog() override
    {
        HWND window = hwnd();
        m_sender = std::thread([window] { ::SendMessageW(window, WM_COMMAND, IDC_TEST_BUTTON, 0); });
        return TRUE;
    }
    void onCommand(int id, int code, HWND control) override
    {
        commands.push_back(id);
        if (id != IDC_TEST_BUTTON)
            Dialog::onCommand(id, code, control);
        else if (m_destroy)
            ::DestroyWindow(hwnd());
        else
            endDialog(42);
    }

private:
    bool m_destroy;
    std::thread m_sender;
};

TEST(Dialog, EndDialogFromAHandlerReturnsItsResult)
{
    CommandDialog dialog(false);
    EXPECT_EQ(dialog.doModal(), 42);
    EXPECT_EQ(dialog.commands, std::vector<int>{IDC_TEST_BUTTON});

    Dialog missing(4711, nullptr);
    EXPECT_EQ(missing.doModal(), Dialog::kFailedResult);
}

TEST(Dialog, ModalLoopEndsWhenItsWindowIsDestroyed)
{
    CommandDialog dialog(true);
    EXPECT_EQ(dialog.doModal(), 0);
    EXPECT_EQ(dialog.hwnd(), nullptr);
}

class DragDialog : public CDialogSK {
public:
    DragDialog() : CDialogSK(IDD_UI_TEST, nullptr) {}
};

TEST(CDialogSK, LeftClickOffTheControlsStartsACaptionDrag)
{
    DragDialog dialog;
    ASSERT_TRUE(dialog.create());
    ::ShowWindow(dialog.hwnd(), SW_SHOW);
    pumpPending();
    POINT client{250, 120};
    ::SendMessageW(dialog.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(client.x, client.y));
    // Taken from the queue rather than dispatched: dispatching would start the
    // system's move loop, which waits for the mouse.
    MSG msg{};
    ASSERT_TRUE(::PeekMessageW(&msg, dialog.hwnd(), WM_NCLBUTTONDOWN, WM_NCLBUTTONDOWN, PM_REMOVE));
    EXPECT_EQ(msg.wParam, static_cast<WPARAM>(HTCAPTION));
    POINT screen = client;
    ::ClientToScreen(dialog.hwnd(), &screen);
    EXPECT_EQ(static_cast<short>(LOWORD(msg.lParam)), screen.x);
    EXPECT_EQ(static_cast<short>(HIWORD(msg.lParam)), screen.y);
    dialog.destroy();
}

struct ButtonFixture : ::testing::Test {
    void SetUp() override
    {
        ASSERT_TRUE(dialog.create());
        ::ShowWindow(dialog.hwnd(), SW_SHOW);
        ASSERT_TRUE(button.attach(dialog.hwnd(), IDC_TEST_BUTTON));
    }
    void redraw()
    {
        ::InvalidateRect(button.hwnd(), nullptr, FALSE);
        ::UpdateWindow(button.hwnd());
        pumpPending();
    }
    Dialog dialog{IDD_UI_TEST, nullptr};
    CPictureButton button;
};

TEST_F(ButtonFixture, AttachingMakesItOwnerDrawnAndEachStateDrawsItsImage)
{
    EXPECT_EQ(::GetWindowLongPtrW(button.hwnd(), GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
    ASSERT_TRUE(
        button.loadImages(IDG_MINIMIZE_NORMAL, IDG_MINIMIZE_PRESSED, IDG_MINIMIZE_HOVER, IDG_MINIMIZE_DISABLED));
    redraw();
    EXPECT_EQ(button.lastDrawn(), ButtonImage::Normal);

    ::SendMessageW(button.hwnd(), WM_MOUSEHOVER, 0, 0);
    EXPECT_TRUE(button.hovering());
    redraw();
    EXPECT_EQ(button.lastDrawn(), ButtonImage::Hover);

    ::EnableWindow(button.hwnd(), FALSE);
    redraw();
    EXPECT_EQ(button.lastDrawn(), ButtonImage::Disabled);
    ::EnableWindow(button.hwnd(), TRUE);

    ::SendMessageW(button.hwnd(), WM_MOUSELEAVE, 0, 0);
    EXPECT_FALSE(button.hovering());
    redraw();
    EXPECT_EQ(button.lastDrawn(), ButtonImage::Normal);

    ::SendMessageW(button.hwnd(), BM_SETSTATE, TRUE, 0);
    redraw();
    EXPECT_EQ(button.lastDrawn(), ButtonImage::Pressed);
}

TEST_F(ButtonFixture, OnlyAHoverImageServesAsNormalAndNoImageDrawsNothing)
{
    EXPECT_TRUE(button.loadImages(0, 0, IDG_SECOND_HOVER, 0));
    redraw();
    EXPECT_EQ(button.lastDrawn(), ButtonImage::Normal);

    CPictureButton none;
    EXPECT_FALSE(none.loadImages(0, 4711, 0, 4712));
}

TEST_F(ButtonFixture, ProductButtonImagesAllLoadAtTheTitleButtonSize)
{
    for (int id = IDG_MINIMIZE_NORMAL; id <= IDG_SECOND_DISABLED; ++id) {
        std::vector<std::uint8_t> bytes = resourceBytes(id, L"GIF");
        PicturePtr picture = loadPicture(bytes.data(), bytes.size());
        ASSERT_TRUE(picture) << id;
        SIZE size = pictureSizePixels(picture.get());
        EXPECT_EQ(size.cx, 30) << id;
        EXPECT_EQ(size.cy, 21) << id;
    }
}

TEST_F(ButtonFixture, TheImageFillsTheButtonAtEveryDpiAndTheFocusShowsOnceTheKeyboardIsUsed)
{
    ASSERT_TRUE(
        button.loadImages(IDG_MINIMIZE_NORMAL, IDG_MINIMIZE_PRESSED, IDG_MINIMIZE_HOVER, IDG_MINIMIZE_DISABLED));
    // Without the focus, no focus rectangle.
    ::SetFocus(nullptr);
    button.setDpi(96);
    redraw();
    EXPECT_FALSE(button.focusDrawn());
    RECT area{};
    ::GetClientRect(button.hwnd(), &area);
    ASSERT_GT(area.right, 30) << "the button is larger than its image";
    // The margins round the 30 x 21 image take its ground's colour, at every corner.
    constexpr std::uint32_t kGround = 0x0070C3; // RGB(0, 112, 195)
    for (POINT corner :
         {POINT{0, 0}, POINT{area.right - 1, 0}, POINT{0, area.bottom - 1}, POINT{area.right - 1, area.bottom - 1}}) {
        EXPECT_EQ(windowPixel(button.hwnd(), corner.x, corner.y), kGround) << corner.x << "," << corner.y;
    }
    // Columns of the white line in the lower half, away from where a focus
    // rectangle would run.
    auto glyphColumns = [&] {
        int columns = 0;
        const int side = area.right / 8;
        for (int x = side; x < area.right - side; ++x) {
            for (int y = area.bottom / 2; y < area.bottom * 7 / 8; ++y) {
                if ((windowPixel(button.hwnd(), x, y) >> 16) >= 200) {
                    ++columns;
                    break;
                }
            }
        }
        return columns;
    };
    const int atHundred = glyphColumns();
    EXPECT_GE(atHundred, 9);

    // 150 %: the glyph is half as wide again; the margins are still the ground.
    button.setDpi(144);
    redraw();
    EXPECT_GE(glyphColumns(), atHundred * 3 / 2 - 1);
    EXPECT_EQ(windowPixel(button.hwnd(), 0, 0), kGround);

    // Tab, taken by the dialog's loop, moves the focus to the button, which
    // shows it (focus cues shown, as the system shows them once the keyboard is used).
    button.setDpi(96);
    ::SendMessageW(dialog.hwnd(), WM_UPDATEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    ::PostMessageW(dialog.hwnd(), WM_KEYDOWN, VK_TAB, 0);
    pumpDialog(dialog.hwnd());
    EXPECT_EQ(::GetFocus(), button.hwnd());
    redraw();
    EXPECT_TRUE(button.focusDrawn());
}

TEST(TrayPictures, BitmapsAndIconLoadAtTheirSizes)
{
    struct Want {
        int id, width, height;
    };
    for (Want want : {Want{IDB_TRAY_BACKGROUND, 306, 184}, Want{IDB_TRAY_CLOSE_HOVER, 15, 15}}) {
        UniqueGdiObject bitmap(::LoadBitmapW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(want.id)));
        ASSERT_TRUE(bitmap) << want.id;
        BITMAP info{};
        ASSERT_TRUE(::GetObjectW(bitmap.get(), sizeof info, &info));
        EXPECT_EQ(info.bmWidth, want.width);
        EXPECT_EQ(info.bmHeight, want.height);
    }
    for (int size : {16, 32, 48}) {
        HANDLE icon = ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_TRAY), IMAGE_ICON, size, size, 0);
        ASSERT_NE(icon, nullptr) << size;
        ::DestroyIcon(static_cast<HICON>(icon));
    }
}

class RecordingView : public ScrollView {
public:
    std::vector<RECT> painted;

protected:
    void onPaint(HDC, const RECT& visible) override { painted.push_back(visible); }
};

TEST(ScrollView, ScrollsWithinItsHeightAndPaintsInContentCoordinates)
{
    Dialog dialog(IDD_UI_TEST, nullptr);
    ASSERT_TRUE(dialog.create());
    ::ShowWindow(dialog.hwnd(), SW_SHOW);
    RecordingView view;
    ASSERT_TRUE(view.createOver(dialog.hwnd(), IDC_TEST_PLACE));
    EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(dialog.hwnd(), IDC_TEST_PLACE)) &&
                 ::GetDlgItem(dialog.hwnd(), IDC_TEST_PLACE) != view.hwnd());
    RECT client{};
    ::GetClientRect(view.hwnd(), &client);
    ASSERT_GT(client.bottom, 0);

    view.setScrollHeight(1000);
    view.scrollTo(5000);
    EXPECT_EQ(view.scrollPosition(), 1000 - client.bottom);
    ::SendMessageW(view.hwnd(), WM_VSCROLL, SB_TOP, 0);
    EXPECT_EQ(view.scrollPosition(), 0);
    ::SendMessageW(view.hwnd(), WM_VSCROLL, SB_LINEDOWN, 0);
    EXPECT_EQ(view.scrollPosition(), 10);
    ::SendMessageW(view.hwnd(), WM_VSCROLL, SB_PAGEDOWN, 0);
    EXPECT_EQ(view.scrollPosition(), 10 + client.bottom);

    view.painted.clear();
    ::InvalidateRect(view.hwnd(), nullptr, FALSE);
    ::UpdateWindow(view.hwnd());
    ASSERT_FALSE(view.painted.empty());
    EXPECT_EQ(view.painted.back().top, 10 + client.bottom);

    // The keys, as the dialog's loop passes them on once the view has the focus.
    ::SetFocus(view.hwnd());
    ASSERT_EQ(::GetFocus(), view.hwnd());
    auto key = [&](WPARAM code) {
        ::PostMessageW(view.hwnd(), WM_KEYDOWN, code, 0);
        pumpDialog(dialog.hwnd());
        return view.scrollPosition();
    };
    EXPECT_EQ(key(VK_HOME), 0);
    EXPECT_EQ(key(VK_DOWN), 10) << "the arrows stay with the view";
    EXPECT_EQ(key(VK_NEXT), 10 + client.bottom);
    EXPECT_EQ(key(VK_UP), client.bottom);
    EXPECT_EQ(key(VK_PRIOR), 0);
    EXPECT_EQ(key(VK_END), 1000 - client.bottom);
    EXPECT_NE(::GetWindowLongPtrW(view.hwnd(), GWL_STYLE) & WS_TABSTOP, 0) << "Tab reaches the view";

    // Content shorter than the view cannot scroll at all.
    view.setScrollHeight(5);
    EXPECT_EQ(view.scrollPosition(), 0);
    dialog.destroy();
    EXPECT_EQ(view.hwnd(), nullptr);
}

} // namespace
} // namespace rk
