#include "download/counter_table.h"
#include "download/segment_plan.h"

#include <gtest/gtest.h>
#include <thread>
#include <vector>

using namespace rk;

TEST(SegmentPlan, SizesAndCounts)
{
    SegmentPlan ten = planSegments(10000000, 8);
    EXPECT_EQ(ten.segmentSize, 936960);
    EXPECT_EQ(ten.segmentCount, 11);
    EXPECT_EQ(ten.length(10, 10000000), 630400);
    EXPECT_EQ(ten.length(11, 10000000), 0);

    SegmentPlan small = planSegments(100000, 8);
    EXPECT_EQ(small.segmentSize, 51200);
    EXPECT_EQ(small.segmentCount, 2);
    EXPECT_EQ(small.length(0, 100000), 51200);
    EXPECT_EQ(small.length(1, 100000), 48800);

    EXPECT_EQ(planSegments(51200, 8).segmentCount, 1);
    SegmentPlan one = planSegments(1, 8);
    EXPECT_EQ(one.segmentCount, 1);
    EXPECT_EQ(one.length(0, 1), 1);

    // Near the 32-bit limit the three-quarters step must not overflow.
    SegmentPlan huge = planSegments(0x7FFFFFFF, 1);
    EXPECT_EQ(huge.segmentSize, 1610611712);
    EXPECT_EQ(huge.segmentCount, 2);
    EXPECT_EQ(planSegments(1000000, 0).segmentSize, planSegments(1000000, 1).segmentSize);
}

TEST(SegmentNames, PartPathsAndMessageWords)
{
    EXPECT_EQ(partPath(L"C:\\t\\f.bin", 0), L"C:\\t\\f.bin.part0");
    EXPECT_EQ(partPath(L"C:\\t\\f.bin", 10), L"C:\\t\\f.bin.part10");
    EXPECT_EQ(segmentWParam(2, 5), 0x00020005u);
    EXPECT_EQ(segmentWParam(0, -1), 0x0000FFFFu);
    EXPECT_EQ(segmentWParam(3, 0x12345), 0x00032345u);
}

TEST(CounterTable, MissingReadsZeroZeroRemovesAndClamps)
{
    const std::uint64_t key = counters::key(counters::kFileBytes, 777001);
    EXPECT_EQ(counters::get(key), 0u);
    const std::size_t before = counters::size();
    EXPECT_EQ(counters::add(key, 5), 5u);
    EXPECT_EQ(counters::size(), before + 1);
    EXPECT_EQ(counters::add(key, -5), 0u);
    EXPECT_EQ(counters::size(), before);
    EXPECT_EQ(counters::addClamped(key, 300, 100), 100u);
    EXPECT_EQ(counters::addClamped(key, -1000, 100), 0u);
    EXPECT_EQ(counters::size(), before);
    counters::set(key, 9);
    counters::set(key, 0);
    EXPECT_EQ(counters::size(), before);
    EXPECT_EQ(counters::key(counters::kSegmentBytes + 3, 7), 0xD000000300000007ull);
}

TEST(CounterTable, ConcurrentAddsLoseNothing)
{
    const std::uint64_t key = counters::key(counters::kRunning, 777002);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([key] {
            for (int i = 0; i < 2000; ++i) {
                counters::add(key, 1);
                counters::addClamped(key, 1, 0x7FFFFFFF);
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(counters::get(key), 32000u);
}
