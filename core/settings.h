#pragma once
// The settings table: one process-wide map from text to text (keys compared
// exactly) that caches configuration values under section + key and holds the
// run properties. One lock serialises every access.

#include <functional>
#include <map>
#include <mutex>
#include <string>

namespace rk {

namespace props {
inline const wchar_t kCommandLine[] = L"commandline";
inline const wchar_t kRunMode[] = L"runmode";
inline const wchar_t kRunAsAdmin[] = L"runasadmin";
inline const wchar_t kUpdateSkin[] = L"updateskin";
inline const wchar_t kThreadCount[] = L"threadcount";
inline const wchar_t kFileThread[] = L"filethread";
inline const wchar_t kDownPrefix[] = L"__down|"; // followed by a local path
} // namespace props

class SettingsTable {
public:
    static SettingsTable& instance();

    std::wstring get(const std::wstring& key) const; // empty when missing
    void set(const std::wstring& key, const std::wstring& value);
    void clear();

    // The stored value when non-empty; otherwise load() runs under the lock and
    // its result is stored and returned.
    std::wstring getOrLoad(const std::wstring& key, const std::function<std::wstring()>& load);

private:
    mutable std::mutex m_lock; // guards m_values
    std::map<std::wstring, std::wstring> m_values;
};

} // namespace rk
