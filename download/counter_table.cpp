#include "download/counter_table.h"

#include "platform/event.h"

#include <map>

namespace rk::counters {
namespace {

struct Table {
    NamedEventLock lock{L"threadValueEvent"};
    std::map<std::uint64_t, std::uint32_t> values; // guarded by lock
};

Table& table()
{
    static Table instance;
    return instance;
}

void store(Table& t, std::uint64_t key, std::uint32_t value)
{
    if (value == 0)
        t.values.erase(key);
    else
        t.values[key] = value;
}

// The caller holds the lock.
std::uint32_t clampedAdd(Table& t, std::uint64_t key, std::int64_t delta, std::uint32_t upper)
{
    auto it = t.values.find(key);
    std::int64_t value = static_cast<std::int64_t>(it == t.values.end() ? 0 : it->second) + delta;
    if (value < 0)
        value = 0;
    if (value > upper)
        value = upper;
    store(t, key, static_cast<std::uint32_t>(value));
    return static_cast<std::uint32_t>(value);
}

} // namespace

std::uint32_t get(std::uint64_t key)
{
    Table& t = table();
    EventLockGuard guard(t.lock);
    auto it = t.values.find(key);
    return it == t.values.end() ? 0 : it->second;
}

void set(std::uint64_t key, std::uint32_t value)
{
    Table& t = table();
    EventLockGuard guard(t.lock);
    store(t, key, value);
}

std::uint32_t add(std::uint64_t key, std::int32_t delta)
{
    Table& t = table();
    EventLockGuard guard(t.lock);
    auto it = t.values.find(key);
    std::uint32_t value = (it == t.values.end() ? 0 : it->second) + static_cast<std::uint32_t>(delta);
    store(t, key, value);
    return value;
}

std::uint32_t addClamped(std::uint64_t key, std::int64_t delta, std::uint32_t upper)
{
    Table& t = table();
    EventLockGuard guard(t.lock);
    return clampedAdd(t, key, delta, upper);
}

ClampedPair addClampedBoth(std::uint64_t first, std::uint64_t second, std::int64_t delta, std::uint32_t upper)
{
    Table& t = table();
    EventLockGuard guard(t.lock);
    ClampedPair values;
    values.first = clampedAdd(t, first, delta, upper);
    values.second = clampedAdd(t, second, delta, upper);
    return values;
}

std::size_t size()
{
    Table& t = table();
    EventLockGuard guard(t.lock);
    return t.values.size();
}

} // namespace rk::counters
