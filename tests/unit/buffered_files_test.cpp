#include "platform/file_reader.h"
#include "platform/stream_file.h"
#include "tests/unit/test_folder.h"

#include <gtest/gtest.h>

using namespace rk;

namespace {

std::string pattern(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 131 + 7) & 0xFF);
    return s;
}

} // namespace

TEST(BufferedFiles, GatheredWritesKeepEveryByteInOrder)
{
    test::TestFolder dir(L"buffered-write");
    const std::string data = pattern(300000);
    {
        StreamFile out;
        ASSERT_TRUE(out.create(dir.file(L"out.bin")));
        out.bufferWrites(64 * 1024);
        size_t at = 0;
        // Block sizes below, at and above the buffer, as segments and joins write them.
        for (size_t step : {1024u, 1u, 70000u, 1024u, 65536u, 333u}) {
            for (int i = 0; i < 3 && at < data.size(); ++i) {
                size_t n = std::min(step, data.size() - at);
                ASSERT_TRUE(out.write(data.data() + at, n));
                at += n;
                EXPECT_EQ(out.size(), at); // gathered bytes count as written
            }
        }
        ASSERT_TRUE(out.write(data.data() + at, data.size() - at));
        ASSERT_TRUE(out.flush());
        EXPECT_EQ(out.size(), data.size());
        ASSERT_TRUE(out.write("tail", 4)); // left for the destructor
    }
    EXPECT_EQ(dir.read(L"out.bin"), data + "tail");
}

TEST(BufferedFiles, BufferedReadsServeSmallBlocks)
{
    test::TestFolder dir(L"buffered-read");
    const std::string data = pattern(1024 * 1024 + 517);
    dir.write(L"in.bin", data);
    FileReader in;
    ASSERT_TRUE(in.open(dir.file(L"in.bin")));
    in.bufferReads(256 * 1024);
    std::string back;
    char block[1024];
    size_t got = 0;
    while (in.read(block, sizeof block, got) && got > 0)
        back.append(block, got);
    EXPECT_EQ(back, data);
}

TEST(BufferedFiles, WritesWithoutAFileFail)
{
    StreamFile out;
    out.bufferWrites(1024);
    EXPECT_FALSE(out.write("x", 1));
    EXPECT_TRUE(out.flush());
}
