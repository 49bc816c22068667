#include "run/host_watch.h"

#include <gtest/gtest.h>

using namespace rk;

namespace {

// A host window whose properties change as the run sleeps.
struct FakeHost {
    int pausedSleeps = 0; // sleeps until the pause is lifted
    int vanishAfter = -1; // sleeps until the window is destroyed (-1: never)
    bool exitWhenGone = false;
    int slept = 0;
    unsigned lastSleep = 0;

    bool gone() const { return vanishAfter >= 0 && slept >= vanishAfter; }
    HostWatch watch()
    {
        HostWatch w;
        w.exists = [this](WindowHandle) { return !gone(); };
        // A destroyed window has no properties left.
        w.asksPause = [this](WindowHandle) { return !gone() && slept < pausedSleeps; };
        w.asksExitWhenGone = [this](WindowHandle) { return exitWhenGone; };
        w.sleep = [this](unsigned ms) {
            ++slept;
            lastSleep = ms;
        };
        return w;
    }
};

WindowHandle const kHost = reinterpret_cast<WindowHandle>(0x1234);

} // namespace

TEST(HostWatch, PauseHoldsTheRunInHundredMillisecondStepsUntilLifted)
{
    FakeHost host;
    host.pausedSleeps = 7;
    EXPECT_TRUE(waitWhilePaused(kHost, host.watch()));
    EXPECT_EQ(host.slept, 7);
    EXPECT_EQ(host.lastSleep, 100u);

    FakeHost free;
    EXPECT_TRUE(waitWhilePaused(kHost, free.watch()));
    EXPECT_EQ(free.slept, 0);
    EXPECT_TRUE(waitWhilePaused(nullptr, host.watch()));
}

TEST(HostWatch, AGoneHostEndsTheRunOnlyWhenItAskedFor)
{
    FakeHost asked;
    asked.exitWhenGone = true;
    asked.pausedSleeps = 1000;
    asked.vanishAfter = 3;
    EXPECT_FALSE(waitWhilePaused(kHost, asked.watch()));
    EXPECT_EQ(asked.slept, 3);

    // Without the request a vanished window lifts the pause and the run goes on.
    FakeHost silent;
    silent.pausedSleeps = 1000;
    silent.vanishAfter = 3;
    EXPECT_TRUE(waitWhilePaused(kHost, silent.watch()));
    EXPECT_EQ(silent.slept, 3);

    // The request alone, with the window still there, does not end the run.
    FakeHost present;
    present.exitWhenGone = true;
    EXPECT_TRUE(waitWhilePaused(kHost, present.watch()));
}

TEST(HostWatch, AHostDestroyedBetweenTheExistenceAndThePauseReadsStillEndsTheRun)
{
    // The host destroys its window right after the run saw it exist: the
    // pause property then reads as absent, which must not pass for a lifted pause.
    FakeHost host;
    host.exitWhenGone = true;
    host.pausedSleeps = 1000;
    bool destroyed = false;
    HostWatch watch = host.watch();
    watch.exists = [&destroyed](WindowHandle) {
        const bool was = !destroyed;
        destroyed = true;
        return was;
    };
    watch.asksPause = [&destroyed](WindowHandle) { return !destroyed; };
    EXPECT_FALSE(waitWhilePaused(kHost, watch));
}
