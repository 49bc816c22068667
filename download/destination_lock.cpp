#include "download/destination_lock.h"

#include "core/path_text.h"

#include <condition_variable>
#include <mutex>
#include <set>

namespace rk {
namespace {

std::mutex g_lock;                  // guards g_taken
std::condition_variable g_released; // signalled whenever a destination is let go
std::set<std::wstring> g_taken;     // destinations in lower case

} // namespace

DestinationLock::DestinationLock(const std::wstring& destination) : m_key(toLower(destination))
{
    std::unique_lock<std::mutex> hold(g_lock);
    g_released.wait(hold, [this] { return g_taken.count(m_key) == 0; });
    g_taken.insert(m_key);
}

DestinationLock::~DestinationLock()
{
    {
        std::lock_guard<std::mutex> hold(g_lock);
        g_taken.erase(m_key);
    }
    g_released.notify_all();
}

} // namespace rk
