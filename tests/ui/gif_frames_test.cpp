#include "ui/gif_frames.h"
#include "ui/picture.h"
#include "ui_test_ids.h"

#include <gtest/gtest.h>

#include <cstring>

namespace rk {
namespace {

std::vector<std::uint8_t> fixture(int id)
{
    std::vector<std::uint8_t> bytes = resourceBytes(id, L"GIF");
    EXPECT_FALSE(bytes.empty()) << id;
    return bytes;
}

GifImage split(const std::vector<std::uint8_t>& bytes, bool expected = true)
{
    GifImage gif;
    EXPECT_EQ(splitGif(bytes.data(), bytes.size(), gif), expected);
    return gif;
}

TEST(GifFrames, FrameDelayRule)
{
    EXPECT_EQ(frameDelayMs(0), 100);
    EXPECT_EQ(frameDelayMs(3), 100);
    EXPECT_EQ(frameDelayMs(4), 100);
    EXPECT_EQ(frameDelayMs(5), 50);
    EXPECT_EQ(frameDelayMs(10), 100);
    EXPECT_EQ(frameDelayMs(250), 2500);
}

// frames.gif: see data/make_fixtures.sh.
TEST(GifFrames, SplitsEveryImageWithItsControlAndPlace)
{
    GifImage gif = split(fixture(IDG_TEST_FRAMES));
    EXPECT_FALSE(gif.damaged);
    EXPECT_EQ(gif.screenWidth, 16);
    EXPECT_EQ(gif.screenHeight, 12);
    ASSERT_EQ(gif.frames.size(), 4u);
    struct Want {
        int left, top, width, height, delay, disposal;
        bool transparent, local;
    };
    const Want want[] = {
        {0, 0, 16, 12, 0, 1, false, false},
        {4, 3, 8, 6, 3, 2, false, true},
        {0, 0, 16, 12, 5, 3, false, true},
        {2, 2, 6, 4, 10, 0, true, true},
    };
    for (std::size_t i = 0; i < 4; ++i) {
        const GifFrame& f = gif.frames[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(f.left, want[i].left);
        EXPECT_EQ(f.top, want[i].top);
        EXPECT_EQ(f.width, want[i].width);
        EXPECT_EQ(f.height, want[i].height);
        EXPECT_EQ(f.delay, want[i].delay);
        EXPECT_EQ(f.disposal, want[i].disposal);
        EXPECT_EQ(f.transparent, want[i].transparent);
        EXPECT_EQ(f.localColourTable, want[i].local);
    }
    EXPECT_EQ(gif.frames[3].transparentIndex, 1);
}

TEST(GifFrames, EachFrameIsAGifOfItsOwnThatSplitsBackToItself)
{
    GifImage gif = split(fixture(IDG_TEST_FRAMES));
    for (const GifFrame& f : gif.frames) {
        GifImage one = split(f.stream);
        ASSERT_EQ(one.frames.size(), 1u);
        EXPECT_FALSE(one.damaged);
        EXPECT_EQ(one.screenWidth, f.width);
        EXPECT_EQ(one.screenHeight, f.height);
        const GifFrame& g = one.frames[0];
        EXPECT_EQ(g.left, 0);
        EXPECT_EQ(g.top, 0);
        EXPECT_EQ(g.delay, f.delay);
        EXPECT_EQ(g.disposal, f.disposal);
        EXPECT_EQ(g.transparent, f.transparent);
        EXPECT_EQ(g.localColourTable, f.localColourTable);
        EXPECT_EQ(one.globalColours, gif.globalColours);
        // And the system loader takes it at the frame's size.
        PicturePtr picture = loadPicture(f.stream.data(), f.stream.size());
        ASSERT_TRUE(picture);
        SIZE size = pictureSizePixels(picture.get());
        EXPECT_EQ(size.cx, f.width);
        EXPECT_EQ(size.cy, f.height);
    }
}

TEST(GifFrames, SingleImageGif87aIsOneFrame)
{
    GifImage gif = split(fixture(IDG_TEST_STATIC87));
    ASSERT_EQ(gif.frames.size(), 1u);
    EXPECT_EQ(gif.frames[0].disposal, 0);
    EXPECT_EQ(gif.frames[0].delay, 0);
    EXPECT_EQ(gif.screenWidth, 8);
}

TEST(GifFrames, NoGifIsRefused)
{
    const std::uint8_t png[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 0, 0};
    const std::uint8_t gif88[] = {'G', 'I', 'F', '8', '8', 'a', 1, 0, 1, 0, 0, 0, 0, 0x3B};
    GifImage gif;
    EXPECT_FALSE(splitGif(png, sizeof png, gif));
    EXPECT_FALSE(splitGif(gif88, sizeof gif88, gif));
    EXPECT_FALSE(splitGif(nullptr, 0, gif));
    EXPECT_FALSE(hasGifSignature(gif88, sizeof gif88));
}

TEST(GifFrames, EveryTruncationKeepsOnlyWholeImages)
{
    const std::vector<std::uint8_t> whole = fixture(IDG_TEST_FRAMES);
    std::size_t lastCount = 0;
    for (std::size_t length = 0; length < whole.size(); ++length) {
        std::vector<std::uint8_t> part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
        GifImage gif;
        bool ok = splitGif(part.data(), part.size(), gif);
        EXPECT_EQ(ok, !gif.frames.empty());
        if (length >= 6) {
            EXPECT_TRUE(gif.damaged) << length;
        }
        EXPECT_GE(gif.frames.size(), lastCount) << length;
        lastCount = gif.frames.size();
        for (const GifFrame& f : gif.frames)
            EXPECT_EQ(f.stream.back(), 0x3B);
    }
    EXPECT_EQ(lastCount, 4u); // all four once only the trailer is missing
}

// Builds a GIF header, screen and two-colour global table.
std::vector<std::uint8_t> header(int width, int height)
{
    std::vector<std::uint8_t> b = {'G', 'I', 'F', '8', '9', 'a'};
    b.insert(b.end(), {static_cast<std::uint8_t>(width), 0, static_cast<std::uint8_t>(height), 0, 0x80, 0, 0});
    b.insert(b.end(), {0, 0, 0, 255, 255, 255});
    return b;
}

void addImage(std::vector<std::uint8_t>& b, std::uint8_t packed = 0)
{
    b.insert(b.end(), {0x2C, 0, 0, 0, 0, 2, 0, 2, 0, packed, 2, 2, 0x44, 0x01, 0});
}

TEST(GifFrames, DamagedBlocksStopTheSplitWithoutReadingPastTheEnd)
{
    {
        // Zero images: header, screen, trailer.
        std::vector<std::uint8_t> b = header(2, 2);
        b.push_back(0x3B);
        GifImage gif = split(b, false);
        EXPECT_TRUE(gif.frames.empty());
        EXPECT_FALSE(gif.damaged);
    }
    {
        // A local colour table said to be 256 entries long, with 2 bytes there.
        std::vector<std::uint8_t> b = header(2, 2);
        addImage(b);
        b.insert(b.end(), {0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0x87, 1, 2});
        GifImage gif = split(b);
        EXPECT_EQ(gif.frames.size(), 1u);
        EXPECT_TRUE(gif.damaged);
    }
    {
        // A sub-block length that runs past the end.
        std::vector<std::uint8_t> b = header(2, 2);
        addImage(b);
        b.insert(b.end(), {0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0, 2, 200, 1, 2, 3});
        GifImage gif = split(b);
        EXPECT_EQ(gif.frames.size(), 1u);
        EXPECT_TRUE(gif.damaged);
    }
    {
        // An extension whose sub-blocks never end, and an unknown block byte.
        std::vector<std::uint8_t> ext = header(2, 2);
        addImage(ext);
        ext.insert(ext.end(), {0x21, 0xF9, 4, 0, 0});
        EXPECT_TRUE(split(ext).damaged);
        std::vector<std::uint8_t> odd = header(2, 2);
        addImage(odd);
        odd.push_back(0x99);
        addImage(odd);
        GifImage gif = split(odd);
        EXPECT_EQ(gif.frames.size(), 1u);
        EXPECT_TRUE(gif.damaged);
    }
    {
        // A short graphic control block is ignored rather than read beyond.
        std::vector<std::uint8_t> b = header(2, 2);
        b.insert(b.end(), {0x21, 0xF9, 1, 0x09, 0});
        addImage(b);
        b.push_back(0x3B);
        GifImage gif = split(b);
        ASSERT_EQ(gif.frames.size(), 1u);
        EXPECT_EQ(gif.frames[0].disposal, 0);
        EXPECT_FALSE(gif.frames[0].transparent);
    }
    {
        // Images of no size and LZW code sizes no decoder takes.
        std::vector<std::uint8_t> empty = header(2, 2);
        empty.insert(empty.end(), {0x2C, 0, 0, 0, 0, 0, 0, 2, 0, 0, 2, 2, 0x44, 0x01, 0, 0x3B});
        EXPECT_TRUE(split(empty, false).damaged);
        std::vector<std::uint8_t> wide = header(2, 2);
        wide.insert(wide.end(), {0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0, 12, 2, 0x44, 0x01, 0, 0x3B});
        EXPECT_TRUE(split(wide, false).damaged);
    }
}

TEST(GifFrames, ShippedAnimationsSplitIntoFramesInsideTheirScreen)
{
    struct Want {
        int id, width, height;
    };
    for (Want want : {Want{188, 760, 400}, Want{189, 640, 16}}) {
        GifImage gif = split(fixture(want.id));
        SCOPED_TRACE(want.id);
        EXPECT_FALSE(gif.damaged);
        EXPECT_EQ(gif.screenWidth, want.width);
        EXPECT_EQ(gif.screenHeight, want.height);
        EXPECT_GT(gif.frames.size(), 5u);
        for (const GifFrame& f : gif.frames) {
            EXPECT_LE(f.left + f.width, want.width);
            EXPECT_LE(f.top + f.height, want.height);
            EXPECT_TRUE(loadPicture(f.stream.data(), f.stream.size()));
        }
    }
}

} // namespace
} // namespace rk
