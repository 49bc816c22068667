#pragma once
// Reading and writing renewkit.ini through the settings table, the flag and
// number rules, and the files and folders named after the configuration.
// Every function may be called from any thread; none fails.

#include <functional>
#include <string>

namespace rk::config {

inline const wchar_t kFileName[] = L"renewkit.ini";

std::wstring read(const std::wstring& section, const std::wstring& key);
std::wstring readDefault(const std::wstring& section, const std::wstring& key, const std::wstring& fallback);
bool readFlag(const std::wstring& section, const std::wstring& key, const std::wstring& fallback);
long readNumber(const std::wstring& section, const std::wstring& key, const std::wstring& fallback);
long long readNumber64(const std::wstring& section, const std::wstring& key, const std::wstring& fallback);
std::wstring readFromFile(const std::wstring& file, const std::wstring& section, const std::wstring& key);
void write(const std::wstring& section, const std::wstring& key, const std::wstring& value);

// Lower case, trim, "t" and "y" become "1"; true when the text then starts with "1".
bool parseFlag(const std::wstring& text);

// Called instead of storing when a write is refused for lack of rights and the
// process is not elevated; gets the configuration file's path.
void setWriteRefusedHandler(std::function<void(const std::wstring& path)> handler);

std::wstring configFilePath();     // application directory + renewkit.ini
std::wstring temporaryDirectory(); // may or may not end with "\"
std::wstring temporaryConfigPath();

// The list key: name hash of ListURL followed by "9999999999".
std::wstring listKey();
// True when [RenewKit] names a .NET Framework version the host program needs.
bool dotNetKeysSet();
// Temporary directory + list key + ending ("" gives the download folder).
std::wstring listKeyPath(const std::wstring& ending);

} // namespace rk::config
