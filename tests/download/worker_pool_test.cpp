#include "platform/event.h"
#include "platform/worker_pool.h"

#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

using namespace rk;

// Segment transfers wait on each other through the server; a job queued behind a
// busy worker would deadlock a download, so every job must run at once.
TEST(WorkerPool, JobsNeverWaitBehindRunningJobs)
{
    for (int round = 0; round < 3; ++round) {
        const int count = 12;
        auto released = std::make_shared<Event>();
        auto running = std::make_shared<std::atomic<int>>(0);
        auto allRunning = std::make_shared<Event>();
        auto finished = std::make_shared<std::atomic<int>>(0);
        auto allFinished = std::make_shared<Event>();
        for (int i = 0; i < count; ++i) {
            ASSERT_TRUE(runOnWorker([=] {
                if (++*running == count)
                    allRunning->set();
                released->wait(Event::kForever);
                released->set(); // auto-reset: pass it on to the next waiter
                if (++*finished == count)
                    allFinished->set();
            }));
        }
        // Generous bounds: a queued job would never start, whatever the wait.
        ASSERT_TRUE(allRunning->wait(30000)) << "round " << round << ": " << running->load() << " started";
        released->set();
        ASSERT_TRUE(allFinished->wait(30000)) << "round " << round;
    }
}

TEST(WorkerPool, AThrowingJobLeavesTheWorkerUsable)
{
    auto done = std::make_shared<Event>();
    auto count = std::make_shared<std::atomic<int>>(0);
    ASSERT_TRUE(runOnWorker([] { throw 1; }));
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(runOnWorker([done, count] {
            if (++*count == 4)
                done->set();
        }));
    }
    ASSERT_TRUE(done->wait(30000));
}
