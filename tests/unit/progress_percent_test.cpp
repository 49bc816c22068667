#include "ui/progress_percent.h"

#include "core/host_link.h"

#include <gtest/gtest.h>

#include <initializer_list>

using namespace rk;

TEST(ProgressPercent, EachStageHasItsFigure)
{
    EXPECT_EQ(progressPercent(UpdateCheckRemote, 0, 0), 10);
    EXPECT_EQ(progressPercent(UpdateCheckRemoteOk, 0, 0), 10);
    EXPECT_EQ(progressPercent(UpdateDownloadOk, 3, 6), 70);
    EXPECT_EQ(progressPercent(UpdateCheckLocal, 6, 6), 80);
    EXPECT_EQ(progressPercent(UpdateCheckLocalOk, 6, 6), 80);
    EXPECT_EQ(progressPercent(UpdateCopy, 6, 6), 95);
    EXPECT_EQ(progressPercent(UpdateCopyOk, 6, 6), 99);
    EXPECT_EQ(progressPercent(UpdateEnd, 6, 6), 100);
    // Errors, the start and numbers outside the table show nothing done.
    const std::initializer_list<int> nothing{
        UpdateNone, UpdateCheckRemoteError, UpdateDownloadError, UpdateCheckLocalError, UpdateCopyError, 14, 20, -1};
    for (int status : nothing)
        EXPECT_EQ(progressPercent(status, 30, 60), 0) << status;
}

TEST(ProgressPercent, DownloadShareGrowsWithTheCompletedFiles)
{
    EXPECT_EQ(progressPercent(UpdateDownload, 30, 60), 40);
    EXPECT_EQ(progressPercent(UpdateDownload, 1, 3), 30);
    EXPECT_EQ(progressPercent(UpdateDownload, 2, 3), 50);
    EXPECT_EQ(progressPercent(UpdateDownload, 60, 60), 70);
    // Before the first progress message: no total yet, nothing done, no division.
    EXPECT_EQ(progressPercent(UpdateDownload, 0, 0), 10);
    EXPECT_EQ(progressPercent(UpdateDownload, 5, 0), 10);
    // A count past the total (a retried pass) stays within the download's share.
    EXPECT_EQ(progressPercent(UpdateDownload, 7, 6), 70);
    // Large counts do not overflow the product.
    EXPECT_EQ(progressPercent(UpdateDownload, 2000000000L, 2100000000L), 67);
}

TEST(ProgressPercent, LabelIsTwoPlacesAPercentSignAndThirtyTwoBlanks)
{
    EXPECT_EQ(percentLabel(40), L"40%" + std::wstring(32, L' '));
    EXPECT_EQ(percentLabel(0), L" 0%" + std::wstring(32, L' '));
    EXPECT_EQ(percentLabel(100), L"100%" + std::wstring(32, L' '));
}
