#include "platform/event.h"

namespace rk {

Event::Event() : m_event(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

void Event::set() const
{
    if (m_event)
        ::SetEvent(m_event.get());
}

bool Event::wait(unsigned long milliseconds) const
{
    if (!m_event) {
        ::Sleep(milliseconds == kForever ? 0 : milliseconds);
        return false;
    }
    return ::WaitForSingleObject(m_event.get(), milliseconds) == WAIT_OBJECT_0;
}

NamedEventLock::NamedEventLock(const wchar_t* name) : m_event(::CreateEventW(nullptr, FALSE, TRUE, name)) {}

void NamedEventLock::acquire() const
{
    if (m_event)
        ::WaitForSingleObject(m_event.get(), INFINITE);
}

void NamedEventLock::release() const
{
    if (m_event)
        ::SetEvent(m_event.get());
}

} // namespace rk
