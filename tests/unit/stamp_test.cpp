#include "tools/stamp/stamp.h"

#include <gtest/gtest.h>

using namespace rk;

TEST(Stamp, EmbeddedBytesAreGbkWithCrLf)
{
    EXPECT_EQ(stamp::embeddedBytes("[A]\nk=v\n"), "[A]\r\nk=v\r\n");
    EXPECT_EQ(stamp::embeddedBytes("[A]\r\nk=v\r\n"), "[A]\r\nk=v\r\n");
    EXPECT_EQ(stamp::embeddedBytes("\xEF\xBB\xBF[A]\rk=v"), "[A]\r\nk=v");
    // UTF-8 "中文" becomes its GBK bytes D6 D0 CE C4.
    EXPECT_EQ(stamp::embeddedBytes("Name=\xE4\xB8\xAD\xE6\x96\x87\n"), "Name=\xD6\xD0\xCE\xC4\r\n");
    // Bytes that are not UTF-8 are taken as they are.
    EXPECT_EQ(stamp::embeddedBytes("Name=\xD6\xD0\n"), "Name=\xD6\xD0\r\n");
}
