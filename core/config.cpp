#include "core/config.h"

#include "core/process_state.h"
#include "core/settings.h"
#include "core/app_directory.h"
#include "core/name_hash.h"
#include "core/path_macros.h"
#include "core/path_text.h"
#include "platform/files.h"
#include "platform/profile.h"

#include <limits>

#include <algorithm>

#include <mutex>

namespace rk::config {
namespace {

constexpr unsigned long kAccessDenied = 5; // ERROR_ACCESS_DENIED
constexpr size_t kValueCapacity = 1000;    // 999 characters and the terminator
constexpr size_t kMaxTempPath = 259;

std::mutex g_handlerMutex; // guards g_writeRefused
std::function<void(const std::wstring&)> g_writeRefused;

bool readsTemporaryConfig(const std::wstring& section, const std::wstring& key)
{
    return section == L"RenewKit" && (key == L"OwerCheckTm" || key == L"ListFileZip");
}

} // namespace

std::wstring configFilePath() { return collapseBackslashes(applicationDirectory() + kFileName); }

std::wstring temporaryDirectory()
{
    if (readFlag(L"RenewKit", L"TempAppPath", L"0"))
        return applicationDirectory();
    std::wstring configured = read(L"RenewKit", L"TempPath");
    if (!configured.empty()) {
        std::wstring path = expandMacros(configured);
        if (path.find(L':') == std::wstring::npos)
            path = applicationDirectory() + path;
        path = collapseBackslashes(path);
        // A longer path cannot be used by the file functions; the system's folder can.
        if (path.size() <= kMaxTempPath)
            return path;
    }
    return systemTempPath();
}

std::wstring temporaryConfigPath() { return collapseBackslashes(temporaryDirectory() + L"\\" + kFileName); }

std::wstring listKey() { return nameHash(read(L"UPDATEINFO", L"ListURL") + L"9999999999"); }

std::wstring listKeyPath(const std::wstring& ending)
{
    return collapseBackslashes(temporaryDirectory() + L"\\" + listKey() + ending);
}

std::wstring read(const std::wstring& section, const std::wstring& key)
{
    // The temporary directory itself reads settings: choose the file outside the lock.
    std::wstring file = readsTemporaryConfig(section, key) ? temporaryConfigPath() : configFilePath();
    return SettingsTable::instance().getOrLoad(section + key,
                                               [&] { return readProfileString(file, section, key, kValueCapacity); });
}

std::wstring readDefault(const std::wstring& section, const std::wstring& key, const std::wstring& fallback)
{
    std::wstring value = read(section, key);
    return value.empty() ? fallback : value;
}

bool parseFlag(const std::wstring& text)
{
    std::wstring t = trimBlanks(toLower(text));
    for (auto& c : t) {
        if (c == L't' || c == L'y')
            c = L'1';
    }
    return !t.empty() && t[0] == L'1';
}

bool readFlag(const std::wstring& section, const std::wstring& key, const std::wstring& fallback)
{
    return parseFlag(readDefault(section, key, fallback));
}

long readNumber(const std::wstring& section, const std::wstring& key, const std::wstring& fallback)
{
    // A long is 32 bits here: saturate rather than cut the 64-bit value.
    const long long value = parseDecimal(readDefault(section, key, fallback));
    return static_cast<long>(
        std::clamp<long long>(value, std::numeric_limits<long>::min(), std::numeric_limits<long>::max()));
}

long long readNumber64(const std::wstring& section, const std::wstring& key, const std::wstring& fallback)
{
    return parseDecimal(readDefault(section, key, fallback));
}

std::wstring readFromFile(const std::wstring& file, const std::wstring& section, const std::wstring& key)
{
    return SettingsTable::instance().getOrLoad(section + key,
                                               [&] { return readProfileString(file, section, key, kValueCapacity); });
}

void setWriteRefusedHandler(std::function<void(const std::wstring& path)> handler)
{
    std::lock_guard<std::mutex> guard(g_handlerMutex);
    g_writeRefused = std::move(handler);
}

void write(const std::wstring& section, const std::wstring& key, const std::wstring& value)
{
    const std::wstring file = configFilePath();
    unsigned long error = 0;
    if (!writeProfileString(file, section, key, value, &error) && error == kAccessDenied && !isElevated()) {
        std::function<void(const std::wstring&)> handler;
        {
            std::lock_guard<std::mutex> guard(g_handlerMutex);
            handler = g_writeRefused;
        }
        if (handler)
            handler(file);
        return;
    }
    SettingsTable::instance().set(section + key, value);
}

bool dotNetKeysSet()
{
    static const wchar_t* const kKeys[] = {L"dotnetfx10", L"dotnetfx11", L"dotnetfx20", L"dotnetfx30", L"dotnetfx35",
                                           L"dotnetfx40", L"DotNetFix",  L"DotNetFx",   L"dotnetfix",  L"dotnetfx"};
    for (const wchar_t* key : kKeys) {
        if (!read(L"RenewKit", key).empty())
            return true;
    }
    return false;
}

} // namespace rk::config
