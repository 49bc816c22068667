#pragma once
// INI values through the system's profile-string functions.

#include <string>

namespace rk {

// The value with an empty default, cut to capacity - 1 characters. Never fails.
std::wstring readProfileString(const std::wstring& file, const std::wstring& section, const std::wstring& key,
                               size_t capacity = 1000);

// False on failure, with the system error in *error (access denied decides elevation).
bool writeProfileString(const std::wstring& file, const std::wstring& section, const std::wstring& key,
                        const std::wstring& value, unsigned long* error = nullptr);

// Removes the key from the section (a null value to the system call).
bool deleteProfileKey(const std::wstring& file, const std::wstring& section, const std::wstring& key);

} // namespace rk
