#include "platform/worker_pool.h"

#include "platform/thread.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace rk {
namespace {

struct Pool {
    std::mutex lock; // guards jobs and idle
    std::condition_variable wake;
    std::deque<std::function<void()>> jobs;
    int idle = 0; // workers waiting for a job
};

// Never destroyed: detached workers may still wait on it while the process ends.
Pool& pool()
{
    static Pool* instance = new Pool;
    return *instance;
}

void workerLoop()
{
    Pool& p = pool();
    std::unique_lock<std::mutex> hold(p.lock);
    for (;;) {
        ++p.idle;
        const bool got =
            p.wake.wait_for(hold, std::chrono::milliseconds(kWorkerIdleMs), [&p] { return !p.jobs.empty(); });
        --p.idle;
        if (!got)
            return;
        std::function<void()> job = std::move(p.jobs.front());
        p.jobs.pop_front();
        hold.unlock();
        try {
            job();
        } catch (...) {
            // A job's failure is its own.
        }
        job = nullptr; // what the job captured goes before the worker waits again
        hold.lock();
    }
}

} // namespace

bool runOnWorker(std::function<void()> job)
{
    Pool& p = pool();
    {
        std::lock_guard<std::mutex> hold(p.lock);
        // Each queued job is matched by an idle worker that has not woken yet.
        if (p.idle > static_cast<int>(p.jobs.size())) {
            p.jobs.push_back(std::move(job));
            p.wake.notify_one();
            return true;
        }
    }
    return startDetachedThread([job = std::move(job)]() mutable {
        try {
            job();
        } catch (...) {
            // A job's failure is its own.
        }
        job = nullptr;
        workerLoop();
    });
}

} // namespace rk
