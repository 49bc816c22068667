#include "install/self_package.h"

#include <gtest/gtest.h>

using namespace rk;

namespace {

std::string trailer(std::uint32_t offset, std::uint32_t length, const char* marker)
{
    std::string t;
    for (std::uint32_t v : {offset, length})
        for (int i = 0; i < 4; ++i)
            t += static_cast<char>((v >> (8 * i)) & 0xFF);
    return t + marker;
}

} // namespace

TEST(SelfPackage, TrailerWithEitherMarker)
{
    PackageTrailer t;
    ASSERT_TRUE(parsePackageTrailer(trailer(1000, 2000, "RenewKitZip1"), 3020, t));
    EXPECT_EQ(t.offset, 1000u);
    EXPECT_EQ(t.length, 2000u);
    EXPECT_TRUE(parsePackageTrailer(trailer(0, 5, "RenewKitZip0"), 100, t));
}

TEST(SelfPackage, NoMarkerOrPayloadOutsideTheFile)
{
    PackageTrailer t;
    EXPECT_FALSE(parsePackageTrailer(trailer(0, 5, "RenewKitZip2"), 100, t));
    EXPECT_FALSE(parsePackageTrailer(trailer(0, 5, "renewkitzip1"), 100, t));
    EXPECT_FALSE(parsePackageTrailer(trailer(90, 11, "RenewKitZip1"), 120, t)); // runs into the trailer
    EXPECT_FALSE(parsePackageTrailer(trailer(0xFFFFFFF0u, 0x20, "RenewKitZip1"), 100, t));
    EXPECT_FALSE(parsePackageTrailer("short", 100, t));
}
