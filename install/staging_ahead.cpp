#include "install/staging_ahead.h"

#include "platform/files.h"
#include "platform/worker_pool.h"

#include <condition_variable>
#include <mutex>

namespace rk {

namespace {

enum class JobState { Waiting, Running, Done, Taken };

} // namespace

struct StagingAhead::State {
    std::mutex lock; // guards everything below but the jobs themselves
    std::condition_variable changed;
    std::vector<Job> jobs; // read-only once made
    std::vector<JobState> states;
    // A result without a value: the job could not run; the driver stages itself.
    std::vector<std::optional<StagedContent>> results;
    std::size_t next = 0;    // the first job not started yet
    std::size_t untaken = 0; // started and not taken: staged copies waiting beside their targets
    std::size_t running = 0;
    std::size_t inFlight = 1;
    bool stopping = false;

    // Jobs that may start now, marked as running. Under the lock.
    std::vector<std::size_t> startable()
    {
        std::vector<std::size_t> start;
        while (!stopping && untaken < inFlight && next < jobs.size()) {
            const std::size_t i = next++;
            if (jobs[i].marker.empty() || states[i] != JobState::Waiting)
                continue;
            states[i] = JobState::Running;
            ++untaken;
            ++running;
            start.push_back(i);
        }
        return start;
    }
};

namespace {

std::optional<StagedContent> stageAhead(const StagingAhead::Job& job)
{
    try {
        createParentDirs(job.target);
        const std::wstring staging = job.target + kStagingSuffix;
        StagedContent result;
        StagedCopy copy;
        result.staged = stageContent(job.marker, staging, job.check.wantsDigest, copy);
        if (result.staged && job.check)
            result.problem = job.check.problem(copy);
        return result;
    } catch (...) {
        return std::nullopt; // the driver does it again itself
    }
}

void pump(const std::shared_ptr<StagingAhead::State>& state);

void finish(const std::shared_ptr<StagingAhead::State>& state, std::size_t i, std::optional<StagedContent> result)
{
    {
        std::lock_guard<std::mutex> hold(state->lock);
        state->results[i] = std::move(result);
        state->states[i] = JobState::Done;
        --state->running;
    }
    state->changed.notify_all();
}

void pump(const std::shared_ptr<StagingAhead::State>& state)
{
    std::vector<std::size_t> start;
    {
        std::lock_guard<std::mutex> hold(state->lock);
        start = state->startable();
    }
    for (const std::size_t i : start) {
        bool started = false;
        try {
            started = runOnWorker([state, i] { finish(state, i, stageAhead(state->jobs[i])); });
        } catch (...) {
            // No memory for the job: the driver stages this entry itself.
        }
        if (!started)
            finish(state, i, std::nullopt);
    }
}

} // namespace

StagingAhead::StagingAhead(std::vector<Job> jobs, std::size_t inFlight) : m_state(std::make_shared<State>())
{
    m_state->states.assign(jobs.size(), JobState::Waiting);
    m_state->results.resize(jobs.size());
    m_state->jobs = std::move(jobs);
    m_state->inFlight = inFlight < 1 ? 1 : inFlight;
    pump(m_state);
}

StagingAhead::~StagingAhead()
{
    std::unique_lock<std::mutex> hold(m_state->lock);
    m_state->stopping = true;
    m_state->changed.wait(hold, [this] { return m_state->running == 0; });
    for (std::size_t i = 0; i < m_state->jobs.size(); ++i) {
        if (m_state->states[i] == JobState::Done && m_state->results[i] && m_state->results[i]->staged)
            deleteFileForced(m_state->jobs[i].target + kStagingSuffix);
    }
}

std::optional<StagedContent> StagingAhead::take(std::size_t i)
{
    std::optional<StagedContent> result;
    {
        std::unique_lock<std::mutex> hold(m_state->lock);
        if (i >= m_state->jobs.size() || m_state->jobs[i].marker.empty())
            return std::nullopt;
        // Not started: the entries before it were not taken, so it never will be.
        if (m_state->states[i] != JobState::Running && m_state->states[i] != JobState::Done) {
            m_state->states[i] = JobState::Taken; // and never started later: the driver stages it
            return std::nullopt;
        }
        m_state->changed.wait(hold, [&] { return m_state->states[i] == JobState::Done; });
        m_state->states[i] = JobState::Taken;
        --m_state->untaken;
        result = std::move(m_state->results[i]);
    }
    pump(m_state);
    return result;
}

} // namespace rk
