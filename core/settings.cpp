#include "core/settings.h"

namespace rk {

SettingsTable& SettingsTable::instance()
{
    static SettingsTable table;
    return table;
}

std::wstring SettingsTable::get(const std::wstring& key) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_values.find(key);
    return it == m_values.end() ? std::wstring() : it->second;
}

void SettingsTable::set(const std::wstring& key, const std::wstring& value)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_values[key] = value;
}

void SettingsTable::clear()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_values.clear();
}

std::wstring SettingsTable::getOrLoad(const std::wstring& key, const std::function<std::wstring()>& load)
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_values.find(key);
    if (it != m_values.end() && !it->second.empty())
        return it->second;
    std::wstring value = load();
    m_values[key] = value;
    return value;
}

} // namespace rk
