#include "platform/named_lock.h"

#include "platform/handles.h"

#include <cstdio>
#include <map>
#include <mutex>

namespace rk {
namespace {

std::mutex g_tableMutex; // guards g_table only, never held while waiting
std::map<long, UniqueHandle>& table()
{
    static std::map<long, UniqueHandle> locks;
    return locks;
}

HANDLE eventFor(long id)
{
    std::lock_guard<std::mutex> guard(g_tableMutex);
    auto& locks = table();
    auto it = locks.find(id);
    if (it != locks.end())
        return it->second.get();
    wchar_t name[32];
    std::swprintf(name, 32, L"Lock%ld", id);
    // Created signalled: the first taker passes. An event another process made
    // keeps its state, so a lock held there stays held.
    HANDLE h = ::CreateEventW(nullptr, FALSE, TRUE, name);
    locks.emplace(id, UniqueHandle(h));
    return h;
}

} // namespace

void acquireNamedLock(long id)
{
    if (HANDLE h = eventFor(id))
        ::WaitForSingleObject(h, INFINITE);
}

void releaseNamedLock(long id)
{
    if (HANDLE h = eventFor(id))
        ::SetEvent(h);
}

} // namespace rk
