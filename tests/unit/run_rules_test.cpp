// Small rules of the update run that take their inputs as values.
#include "run/update_run.h"

#include <gtest/gtest.h>

#include <climits>

using namespace rk;

// TimeOut and MultCheckTimeOut count polls of 100 a second. A large value
// (a vendor's "wait for ever") must wait long, not wrap round to nothing.
TEST(RunRules, WaitPollsAreCountedIn64BitsAndClamped)
{
    EXPECT_EQ(waitPolls(60), 6000);
    EXPECT_EQ(waitPolls(1), 100);
    EXPECT_EQ(waitPolls(0), 0);
    EXPECT_EQ(waitPolls(-5), 0);
    EXPECT_EQ(waitPolls(21474836), 2147483600);
    EXPECT_EQ(waitPolls(21474837), kMostWaitPolls);
    EXPECT_EQ(waitPolls(30000000), kMostWaitPolls); // 3e9 polls do not fit 32 bits
    EXPECT_EQ(waitPolls(LONG_MAX), kMostWaitPolls);
    EXPECT_EQ(waitPolls(LLONG_MAX), kMostWaitPolls);
    EXPECT_EQ(waitPolls(LLONG_MIN), 0);
}

// The server mark is -1 until a server of our own answered: only then does the
// hidden refresh ask for the second kind of start.
TEST(RunRules, HiddenRefreshAsksForDownparam1OnlyWhenTheServerMarkIsSet)
{
    EXPECT_EQ(hiddenRefreshArgument(-1), L"downparam0");
    EXPECT_EQ(hiddenRefreshArgument(0), L"downparam0");
    EXPECT_EQ(hiddenRefreshArgument(1), L"downparam1");
}
