#include "ui/dialog.h"
#include "ui/picture_ex.h"
#include "resource_ids.h"
#include "ui_test_ids.h"
#include "ui_test_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>

namespace rk {
namespace {

// Pixels are 0x00RRGGBB as a 32-bit DIB holds them.
constexpr std::uint32_t kRed = 0xFF0000;
constexpr std::uint32_t kNavy = 0x000080;

std::uint32_t pixelAt(const CPictureEx& picture, int x, int y)
{
    std::vector<std::uint32_t> pixels = picture.snapshot();
    const SIZE size = picture.imageSize();
    if (pixels.empty() || x >= size.cx || y >= size.cy)
        return 0xFFFFFFFF;
    return pixels[static_cast<std::size_t>(y) * size.cx + x] & 0xFFFFFF;
}

struct PictureFixture : ::testing::Test {
    void SetUp() override
    {
        dialog = std::make_unique<Dialog>(IDD_UI_TEST, nullptr);
        ASSERT_TRUE(dialog->create());
        ::ShowWindow(dialog->hwnd(), SW_SHOW);
        picture = std::make_unique<CPictureEx>();
        ASSERT_TRUE(picture->attach(dialog->hwnd(), IDC_TEST_PICTURE));
    }
    void TearDown() override
    {
        picture.reset();
        dialog.reset();
    }
    std::unique_ptr<Dialog> dialog;
    std::unique_ptr<CPictureEx> picture;
};

TEST_F(PictureFixture, AnimationShowsEachFrameInTurnAndStops)
{
    ASSERT_TRUE(picture->load(IDG_TEST_FRAMES));
    EXPECT_TRUE(picture->animated());
    EXPECT_EQ(picture->frameCount(), 4u);
    EXPECT_EQ(picture->imageSize().cx, 16);
    ASSERT_TRUE(picture->draw());
    EXPECT_TRUE(picture->playing());

    // The centre pixel goes red, green, blue (then back: the yellow frame sits
    // off the centre) while the animation runs; the top-left corner is red or
    // blue except while the background is showing.
    std::set<std::uint32_t> centres;
    EXPECT_TRUE(pumpUntil([&] {
        centres.insert(pixelAt(*picture, 8, 6));
        return centres.count(kRed) && centres.count(0x00FF00) && centres.count(0x0000FF);
    }));
    EXPECT_TRUE(pumpUntil([&] { return picture->framesShown() >= 6; })) << "it goes round again";

    picture->stop();
    EXPECT_FALSE(picture->playing());
    const unsigned long shown = picture->framesShown();
    pumpPending();
    EXPECT_EQ(picture->framesShown(), shown);
    // A stopped picture can be started again.
    ASSERT_TRUE(picture->draw());
    EXPECT_TRUE(pumpUntil([&] { return picture->framesShown() >= 1; }));
}

TEST_F(PictureFixture, DisposalRestoresBackgroundAndPreviousImage)
{
    ASSERT_TRUE(picture->load(IDG_TEST_FRAMES));
    picture->setBackgroundColour(RGB(0x12, 0x34, 0x56));
    ASSERT_TRUE(picture->draw());
    // Frame 2 (blue, restore previous) is followed by frame 3: by then the
    // centre shows what frame 1 left after its restore-to-background, the
    // background colour, since the red of frame 0 was painted over there.
    bool sawBackgroundAfterBlue = false;
    bool sawBlue = false;
    EXPECT_TRUE(pumpUntil([&] {
        std::uint32_t centre = pixelAt(*picture, 8, 6);
        if (centre == 0x0000FF)
            sawBlue = true;
        else if (sawBlue && centre == 0x123456)
            sawBackgroundAfterBlue = true;
        return sawBackgroundAfterBlue;
    }));
}

TEST_F(PictureFixture, StaticGifIsDrawnOnceWithoutAThread)
{
    ASSERT_TRUE(picture->load(IDG_TEST_STATIC87));
    EXPECT_FALSE(picture->animated());
    ASSERT_TRUE(picture->draw());
    EXPECT_FALSE(picture->playing());
    EXPECT_EQ(picture->imageSize().cx, 8);
    EXPECT_EQ(pixelAt(*picture, 4, 4), kNavy);
}

TEST_F(PictureFixture, ThePictureIsShownAtTheWindowsDpi)
{
    ASSERT_TRUE(picture->load(IDG_TEST_STATIC87));
    picture->setBackgroundColour(RGB(0x12, 0x34, 0x56));
    picture->setDpi(96);
    ASSERT_TRUE(picture->draw());
    ::UpdateWindow(picture->hwnd());
    EXPECT_EQ(picture->shownSize().cx, 8);
    EXPECT_EQ(windowPixel(picture->hwnd(), 6, 6), kNavy);
    EXPECT_EQ(windowPixel(picture->hwnd(), 10, 10), 0x123456u);

    // 150 %: the 8 x 8 picture covers 12 x 12 pixels; its own image stays 8 x 8.
    picture->setDpi(144);
    ::UpdateWindow(picture->hwnd());
    EXPECT_EQ(picture->shownSize().cx, 12);
    EXPECT_EQ(picture->shownSize().cy, 12);
    EXPECT_EQ(picture->imageSize().cx, 8);
    EXPECT_EQ(windowPixel(picture->hwnd(), 10, 10), kNavy);
    EXPECT_EQ(windowPixel(picture->hwnd(), 13, 13), 0x123456u);
    EXPECT_EQ(pixelAt(*picture, 4, 4), kNavy);

    // An animation is enlarged frame by frame: the red first frame (16 x 12)
    // reaches column 23 at 150 %.
    ASSERT_TRUE(picture->load(IDG_TEST_FRAMES));
    ASSERT_TRUE(picture->draw());
    EXPECT_EQ(picture->shownSize().cx, 24);
    EXPECT_TRUE(pumpUntil([&] { return windowPixel(picture->hwnd(), 23, 1) == kRed; }));
}

TEST_F(PictureFixture, DataThatIsNoPictureDoesNotLoad)
{
    const std::uint8_t junk[] = {'G', 'I', 'F', '8', '9', 'a', 1, 2, 3};
    EXPECT_FALSE(picture->load(junk, sizeof junk));
    EXPECT_FALSE(picture->draw());
    EXPECT_FALSE(picture->load(4711));
    // A damaged animation still plays the images that are whole.
    std::vector<std::uint8_t> bytes = resourceBytes(IDG_TEST_FRAMES, L"GIF");
    bytes.resize(bytes.size() - 20);
    ASSERT_TRUE(picture->load(bytes.data(), bytes.size()));
    EXPECT_EQ(picture->frameCount(), 3u);
}

TEST_F(PictureFixture, DestroyingTheWindowOrTheObjectWhileAnimatingIsSafe)
{
    ASSERT_TRUE(picture->load(IDG_TEST_FRAMES));
    ASSERT_TRUE(picture->draw());
    ASSERT_TRUE(pumpUntil([&] { return picture->framesShown() >= 2; }));
    dialog->destroy(); // WM_DESTROY stops the animation
    EXPECT_FALSE(picture->playing());
    EXPECT_EQ(picture->hwnd(), nullptr);

    SetUp();
    ASSERT_TRUE(picture->load(IDG_BACKGROUND));
    ASSERT_TRUE(picture->draw());
    ASSERT_TRUE(pumpUntil([&] { return picture->framesShown() >= 2; }));
    picture.reset(); // the object goes first, its window stays
    pumpPending();
    EXPECT_TRUE(::IsWindow(::GetDlgItem(dialog->hwnd(), IDC_TEST_PICTURE)));
}

// Counts the paints of a control.
class PaintCounter : public Control {
public:
    int paints = 0;

protected:
    bool onMessage(UINT message, WPARAM, LPARAM, LRESULT&) override
    {
        if (message == WM_PAINT)
            ++paints;
        return false;
    }
};

TEST_F(PictureFixture, ControlsInFrontPaintAgainAfterThePictureAndThoseBehindDoNot)
{
    // The picture sits at 0,0 and overlaps the button (in front after the
    // move below) but not the lower static, which goes behind it.
    HWND button = ::GetDlgItem(dialog->hwnd(), IDC_TEST_BUTTON);
    ::SetWindowPos(button, HWND_TOP, 10, 10, 20, 10, SWP_NOACTIVATE);
    picture->sendToBack();
    PaintCounter front;
    ASSERT_TRUE(front.attach(button));
    ASSERT_TRUE(picture->load(IDG_TEST_STATIC87));
    ASSERT_TRUE(picture->draw());
    pumpPending();
    front.paints = 0;
    ::InvalidateRect(picture->hwnd(), nullptr, FALSE);
    pumpUntil([&] { return front.paints > 0; }, 200);
    EXPECT_GT(front.paints, 0);

    // Moved out of the picture's way, it is left alone.
    ::SetWindowPos(button, HWND_TOP, 150, 60, 20, 10, SWP_NOACTIVATE);
    pumpPending();
    front.paints = 0;
    ::InvalidateRect(picture->hwnd(), nullptr, FALSE);
    ::UpdateWindow(picture->hwnd());
    pumpPending();
    EXPECT_EQ(front.paints, 0);
}

TEST_F(PictureFixture, ProductAnimationsPlayAtTheirOwnSize)
{
    ASSERT_TRUE(picture->load(IDG_BACKGROUND));
    EXPECT_TRUE(picture->animated());
    EXPECT_EQ(picture->imageSize().cx, 760);
    EXPECT_EQ(picture->imageSize().cy, 400);
    ASSERT_TRUE(picture->draw());
    EXPECT_TRUE(pumpUntil([&] { return picture->framesShown() >= 3; }));
    // The top-left corner is the calm blue of the window, not the fill colour.
    const std::uint32_t corner = pixelAt(*picture, 2, 2);
    EXPECT_EQ(corner & 0xFF0000, 0u);
    EXPECT_GT(corner & 0xFF, 0x90u);

    ASSERT_TRUE(picture->load(IDG_PROGRESS));
    EXPECT_EQ(picture->imageSize().cx, 640);
    EXPECT_EQ(picture->imageSize().cy, 16);
}

} // namespace
} // namespace rk
