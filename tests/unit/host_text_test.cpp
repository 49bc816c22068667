#include "core/host_link.h"

#include <gtest/gtest.h>

using namespace rk;

TEST(HostText, MarkerAndApplicationDirectoryRemovedAndCut)
{
    EXPECT_EQ(hostText(L"update file[C:\\App\\bin\\a.dll]{zip}{process}", L"C:\\App\\"), L"update file[bin\\a.dll]");
    EXPECT_EQ(hostText(std::wstring(1500, L'x'), L"C:\\App\\").size(), 1023u);
    EXPECT_EQ(hostText(L"plain", L""), L"plain");
}

TEST(StageNames, NumbersOutsideTheTableHaveNoName)
{
    EXPECT_EQ(stageName(0), L"UpdateNone");
    EXPECT_EQ(stageName(6), L"UpdateDownloadOk");
    EXPECT_EQ(stageName(13), L"UpdateEnd");
    EXPECT_EQ(stageName(14), L"");
    EXPECT_EQ(stageName(20), L"");
    EXPECT_EQ(stageName(-1), L"");
}
