#pragma once
// Conversions between UTF-16 and byte texts in a given code page.

#include <string>
#include <string_view>

namespace rk {

constexpr unsigned kCodePageThreadAnsi = 3; // CP_THREAD_ACP
constexpr unsigned kCodePageGbk = 936;
constexpr unsigned kCodePageBig5 = 950;
constexpr unsigned kCodePageUtf8 = 65001;

// Characters the code page cannot hold become the system's replacement character.
std::string wideToBytes(std::wstring_view text, unsigned codePage);
std::wstring bytesToWide(std::string_view bytes, unsigned codePage);

} // namespace rk
