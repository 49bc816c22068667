#include "platform/named_lock.h"

#include "platform/event.h"

#include <cstdio>
#include <map>
#include <memory>
#include <mutex>

namespace rk {
namespace {

std::mutex g_tableMutex; // guards the table only, never held while waiting

// The numbered locks are made once and kept for the life of the process.
const NamedEventLock& lockFor(long id)
{
    static std::map<long, std::unique_ptr<NamedEventLock>> locks;
    std::lock_guard<std::mutex> guard(g_tableMutex);
    auto& slot = locks[id];
    if (!slot) {
        wchar_t name[32];
        std::swprintf(name, 32, L"Lock%ld", id);
        slot = std::make_unique<NamedEventLock>(name);
    }
    return *slot;
}

} // namespace

void acquireNamedLock(long id) { lockFor(id).acquire(); }

void releaseNamedLock(long id) { lockFor(id).release(); }

} // namespace rk
