#pragma once
// One download at a time per file of the temporary list folder. Two entries of
// a list may name the same path; their threads would otherwise write the same
// file and done marker at once. The second waits for the first and then finds
// its done marker. Any thread.

#include <string>

namespace rk {

class DestinationLock {
public:
    // Blocks while another thread holds the same destination (compared without case).
    explicit DestinationLock(const std::wstring& destination);
    ~DestinationLock();
    DestinationLock(const DestinationLock&) = delete;
    DestinationLock& operator=(const DestinationLock&) = delete;

private:
    std::wstring m_key;
};

} // namespace rk
