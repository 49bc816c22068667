#pragma once
// Kernel events: an unnamed signal between threads, and a lock made of a named
// auto-reset event that every process opening the same name shares.

#include "platform/handles.h"

namespace rk {

// Auto-reset: one wait consumes one signal.
class Event {
public:
    Event();
    explicit operator bool() const { return m_event.valid(); }
    void set() const;
    // True when signalled within the time; waits without time-out for kForever.
    bool wait(unsigned long milliseconds) const;

    static constexpr unsigned long kForever = 0xFFFFFFFF;

private:
    UniqueHandle m_event;
};

// Created free on first use; an event another process made keeps its state, so a
// lock held there stays held. Not re-entrant.
class NamedEventLock {
public:
    explicit NamedEventLock(const wchar_t* name);
    void acquire() const;
    void release() const;

private:
    UniqueHandle m_event;
};

class EventLockGuard {
public:
    explicit EventLockGuard(const NamedEventLock& lock) : m_lock(lock) { m_lock.acquire(); }
    ~EventLockGuard() { m_lock.release(); }
    EventLockGuard(const EventLockGuard&) = delete;
    EventLockGuard& operator=(const EventLockGuard&) = delete;

private:
    const NamedEventLock& m_lock;
};

} // namespace rk
