// Who reads which bytes of a file: transfers grow segment by segment until they
// meet another, and new ones start only in the middle of a part large enough.

#include "download/range_claims.h"

#include <gtest/gtest.h>

using namespace rk;

namespace {

constexpr long kMiB = 1024 * 1024;

std::shared_ptr<SegmentTask> task(long offset, long end)
{
    auto t = std::make_shared<SegmentTask>();
    t->offset = offset;
    t->end.store(end);
    t->done.store(offset);
    return t;
}

RangeClaims::MakeTask maker(std::vector<std::shared_ptr<SegmentTask>>& made)
{
    return [&made](long from, long length) {
        made.push_back(task(from, from + length));
        return made.back();
    };
}

} // namespace

TEST(RangeClaims, ATransferGrowsBySegmentsToTheEndOfTheFile)
{
    RangeClaims claims(250, 100);
    auto head = task(0, 100);
    claims.add(head);
    ASSERT_TRUE(claims.extend(*head));
    EXPECT_EQ(head->end.load(), 200);
    ASSERT_TRUE(claims.extend(*head));
    EXPECT_EQ(head->end.load(), 250); // the last segment is short
    EXPECT_FALSE(claims.extend(*head));
    EXPECT_EQ(head->end.load(), 250);
}

TEST(RangeClaims, ATransferStopsWhereAnotherStarts)
{
    RangeClaims claims(1000, 100);
    auto head = task(0, 100);
    auto other = task(150, 250); // a split that started inside a segment
    claims.add(head);
    claims.add(other);
    ASSERT_TRUE(claims.extend(*head));
    EXPECT_EQ(head->end.load(), 150);
    EXPECT_FALSE(claims.extend(*head));
    ASSERT_TRUE(claims.extend(*other));
    EXPECT_EQ(other->end.load(), 300); // on to the next boundary
}

TEST(RangeClaims, SplitTakesTheMiddleOfTheLargestPartOnA64KiBBoundary)
{
    // ten.bin on eight threads: segments of 936,960 bytes.
    RangeClaims claims(10000000, 936960);
    std::vector<std::shared_ptr<SegmentTask>> made;
    auto head = task(0, 936960);
    claims.add(head);
    auto first = claims.split(kMiB, maker(made));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->offset, 76 * 65536);     // 5,000,000 rounded down
    EXPECT_EQ(first->end.load(), 6 * 936960); // up to the next segment boundary at first
    EXPECT_EQ(head->end.load(), 936960);      // below the split: left alone
    // Now the larger part is the one ahead of the new transfer.
    auto second = claims.split(kMiB, maker(made));
    ASSERT_TRUE(second);
    EXPECT_EQ(second->offset, 114 * 65536); // the middle of 4,980,736 and 10,000,000
    EXPECT_EQ(made.size(), 2u);
    EXPECT_EQ(claims.tasks().size(), 3u);
    EXPECT_TRUE(claims.canSplit(kMiB));
    EXPECT_FALSE(claims.canSplit(4 * kMiB));
}

TEST(RangeClaims, SplitLowersTheEndOfATransferThatHadTakenBytesBeyond)
{
    RangeClaims claims(8 * kMiB, 4 * kMiB);
    std::vector<std::shared_ptr<SegmentTask>> made;
    auto head = task(0, 8 * kMiB); // took the whole file
    head->done.store(kMiB);
    claims.add(head);
    auto split = claims.split(kMiB, maker(made));
    ASSERT_TRUE(split);
    EXPECT_EQ(split->offset, 4 * kMiB + kMiB / 2); // the middle of what is left
    EXPECT_EQ(head->end.load(), split->offset);
    EXPECT_EQ(split->end.load(), 8 * kMiB);
    EXPECT_FALSE(claims.extend(*head));
}

TEST(RangeClaims, NoSplitBelowTwiceTheMinimumOrOfAFinishedTransfer)
{
    RangeClaims claims(2 * kMiB - 1, 51200);
    std::vector<std::shared_ptr<SegmentTask>> made;
    auto head = task(0, 51200);
    claims.add(head);
    EXPECT_FALSE(claims.split(kMiB, maker(made)));

    RangeClaims large(10 * kMiB, 51200);
    auto done = task(0, 51200);
    done->finished.store(true);
    large.add(done);
    EXPECT_FALSE(large.split(kMiB, maker(made)));
    // What is ahead counts, not what was read: 2 MiB are left of 3 MiB here.
    auto running = task(0, 51200);
    running->done.store(kMiB);
    RangeClaims third(3 * kMiB, 51200);
    third.add(running);
    auto split = third.split(kMiB, maker(made));
    ASSERT_TRUE(split);
    EXPECT_EQ(split->offset, 2 * kMiB);
    EXPECT_TRUE(made.size() == 1u);
}

TEST(RangeClaims, ASplitMayStartInsideASegmentAndTakesUpToItsEnd)
{
    // Two threads on 2.5 MiB: segments of 983,040 bytes.
    const long size = 2 * kMiB + kMiB / 2;
    RangeClaims claims(size, 983040);
    std::vector<std::shared_ptr<SegmentTask>> made;
    auto head = task(0, 983040);
    claims.add(head);
    auto split = claims.split(kMiB, maker(made));
    ASSERT_TRUE(split);
    EXPECT_EQ(split->offset, size / 2 / 1024 * 1024);
    EXPECT_EQ(split->end.load(), 2 * 983040); // up to the next boundary
    EXPECT_EQ(head->end.load(), 983040);
    ASSERT_TRUE(claims.extend(*head));
    EXPECT_EQ(head->end.load(), split->offset);
}
