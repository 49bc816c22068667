#pragma once
// Jobs on threads that outlive them: a job goes to an idle worker, or to a new
// thread when none is idle, so it never waits behind another job. A worker idle
// for kWorkerIdleMs ends. Creating a thread under Wine costs milliseconds; many
// small downloads would otherwise spend more on that than on the data.

#include <functional>

namespace rk {

constexpr unsigned long kWorkerIdleMs = 2000;

// False when no worker was idle and no thread could be started. Nothing thrown
// by the job escapes. Any thread.
bool runOnWorker(std::function<void()> job);

} // namespace rk
