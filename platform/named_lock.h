#pragma once
// System-wide locks identified by a number: auto-reset named events "Lock%ld",
// created on first use and kept for the life of the process. Two updater
// processes of the same user share them. Not re-entrant: a thread that takes a
// lock it already holds waits for ever.

namespace rk {

namespace locks {
constexpr long kAddListEntry = 0xB0001;
constexpr long kRunLog = 0xC0001;
constexpr long kEntryState1 = 0xF0001;
constexpr long kEntryState2 = 0xF0002;
constexpr long kEntryState3 = 0xF0003;
constexpr long kRunningThreads = 0xF0005;
constexpr long kRunningThreadsLine = 0xF0006;
constexpr long kDownloadStatus = 0xF0007;
constexpr long kSubListResult = 0xF000B;
constexpr long kListFetchState = 0xF000C;
constexpr long kVersionProbeState = 0xF000D;
constexpr long kDownloadErrorList = 0xF0012;
constexpr long kEntryNotes = 0xF0013;
} // namespace locks

// Waits without time-out until the lock is free, then holds it.
void acquireNamedLock(long id);
void releaseNamedLock(long id);

class NamedLockGuard {
public:
    explicit NamedLockGuard(long id) : m_id(id) { acquireNamedLock(id); }
    ~NamedLockGuard() { releaseNamedLock(m_id); }
    NamedLockGuard(const NamedLockGuard&) = delete;
    NamedLockGuard& operator=(const NamedLockGuard&) = delete;

private:
    long m_id;
};

} // namespace rk
