#pragma once
// Filling the "%s" and "%d" places of a (translated) text. A translation is
// data, so it is never handed to printf: a place without a value stays as it is.

#include <initializer_list>
#include <string>

namespace rk {

// Each "%s" in turn gets the next text.
std::wstring fillText(const std::wstring& pattern, std::initializer_list<std::wstring> texts);
// Each "%d" in turn gets the next number in decimal.
std::wstring fillNumbers(const std::wstring& pattern, std::initializer_list<long> numbers);

} // namespace rk
