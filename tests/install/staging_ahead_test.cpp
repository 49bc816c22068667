#include "install/staging_ahead.h"
#include "platform/files.h"
#include "tests/unit/test_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace rk;

namespace {

std::wstring targetOf(const test::TestFolder& dir, int i)
{
    return dir.file(L"app\\sub" + std::to_wstring(i % 2) + L"\\t" + std::to_wstring(i) + L".dll");
}

std::wstring stagingOf(const test::TestFolder& dir, int i) { return targetOf(dir, i) + kStagingSuffix; }

// Markers 0..count-1 in the temporary folder; entry `bad` fails its check, entry
// `none` has no job (the driver stages it itself).
std::vector<StagingAhead::Job> makeJobs(const test::TestFolder& dir, int count, int bad, int none)
{
    std::vector<StagingAhead::Job> jobs(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const std::wstring marker = L"tmp\\m" + std::to_wstring(i) + L"_";
        dir.write(marker, "content " + std::to_string(i));
        if (i == none)
            continue;
        StagedCheck check;
        check.problem = [i, bad](const StagedCopy&) {
            return i == bad ? std::wstring(L"its SHA-256 differs") : std::wstring();
        };
        jobs[static_cast<size_t>(i)] = {dir.file(marker), targetOf(dir, i), check};
    }
    return jobs;
}

} // namespace

TEST(StagingAhead, EntriesAreStagedAndCheckedAheadAndWhatTheStageDidNotReachIsRemoved)
{
    test::TestFolder dir(L"staging-ahead");
    {
        StagingAhead ahead(makeJobs(dir, 8, 2, 3), 2);
        for (int i = 0; i < 5; ++i) {
            const auto staged = ahead.take(static_cast<size_t>(i));
            if (i == 3) {
                EXPECT_FALSE(staged) << "no job: the driver stages it";
                EXPECT_FALSE(pathExists(stagingOf(dir, i)));
                continue;
            }
            ASSERT_TRUE(staged) << i;
            EXPECT_TRUE(staged->staged) << i;
            EXPECT_EQ(staged->problem, i == 2 ? L"its SHA-256 differs" : L"") << i;
            std::string bytes;
            ASSERT_TRUE(readFileBytes(stagingOf(dir, i), bytes)) << "beside its target, in a folder made for it";
            EXPECT_EQ(bytes, "content " + std::to_string(i));
            EXPECT_FALSE(pathExists(targetOf(dir, i))) << "the target itself is the driver's";
        }
        // The stage ends here (a failure, say): the copies staged ahead of it must go.
    }
    for (int i = 5; i < 8; ++i)
        EXPECT_FALSE(pathExists(stagingOf(dir, i))) << i;
    EXPECT_TRUE(pathExists(stagingOf(dir, 4))) << "a copy that was taken is the driver's to move or delete";
}

TEST(StagingAhead, AMarkerThatCannotBeCopiedIsNotStagedAndAnEntryPassedOverIsNeverStagedLater)
{
    test::TestFolder dir(L"staging-ahead-missing");
    std::vector<StagingAhead::Job> jobs = makeJobs(dir, 4, -1, -1);
    deleteFileForced(jobs[0].marker);
    {
        StagingAhead ahead(std::move(jobs), 1);
        const auto first = ahead.take(0);
        ASSERT_TRUE(first);
        EXPECT_FALSE(first->staged);
        EXPECT_FALSE(pathExists(stagingOf(dir, 0)));
        // Entry 1 (staged ahead by now) is passed over: entry 2 then gets no
        // staging ahead, and is not staged behind the driver's back afterwards.
        EXPECT_FALSE(ahead.take(2));
    }
    for (int i = 1; i < 4; ++i)
        EXPECT_FALSE(pathExists(stagingOf(dir, i))) << i;
}
