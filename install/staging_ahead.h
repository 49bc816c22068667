#pragma once
// The copy stage's staging done ahead: while one entry is being installed,
// workers copy the new content of the next ones beside their targets, flush it
// and check it, so copying, flushing and hashing overlap with each other and
// with the installing. Each entry's rename, backups and records stay on the
// driver's thread, in list order.

#include "install/file_replace.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace rk {

class StagingAhead {
public:
    struct Job {
        std::wstring marker; // empty: nothing is staged ahead for this entry
        std::wstring target;
        StagedCheck check;
    };

    // At most `inFlight` jobs run at once, in list order.
    StagingAhead(std::vector<Job> jobs, std::size_t inFlight);
    // Waits for the jobs still running and deletes the staged copies nobody took:
    // nothing is left beside a target that the stage did not reach.
    ~StagingAhead();
    StagingAhead(const StagingAhead&) = delete;
    StagingAhead& operator=(const StagingAhead&) = delete;

    // Entry i's staging once it is done; nothing when no job was made for it.
    // Entries are taken in increasing order.
    std::optional<StagedContent> take(std::size_t i);

    struct State; // shared with the workers, which may outlive a call

private:
    std::shared_ptr<State> m_state;
};

} // namespace rk
