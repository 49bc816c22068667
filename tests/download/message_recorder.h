#pragma once
// A message-only window on a thread of its own that records every message in the
// progress range it receives, as a progress window would get them, and the
// host messages 1974 to 1977.

#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace rk::test {

struct RecordedMessage {
    unsigned message = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
};

class MessageRecorder {
public:
    MessageRecorder();
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    void* window() const { return m_window; }
    std::vector<RecordedMessage> messages() const;
    std::vector<RecordedMessage> messages(unsigned message) const;

private:
    void run();

    std::thread m_thread;
    void* m_window = nullptr;
    mutable std::mutex m_lock; // guards m_messages
    std::vector<RecordedMessage> m_messages;
};

} // namespace rk::test
