#pragma once
// Small text operations that every path rule of the program is made of.

#include <initializer_list>
#include <string>

namespace rk {

// Replaces every occurrence, left to right, without overlap.
std::wstring replaceAll(std::wstring text, const std::wstring& from, const std::wstring& to);
// One left-to-right pass turning each "\\" pair into "\" (three backslashes become two).
std::wstring collapseBackslashes(const std::wstring& text);
std::wstring toLower(std::wstring text);
std::wstring trimBlanks(const std::wstring& text);
// Decimal conversion in the C library's manner: leading blanks and sign, digits
// up to the first other character, 0 when there are none.
long long parseDecimal(const std::wstring& text);
// Fills each "%s" of a (translated) format in turn with the next value; the
// values are never read as formats themselves. Extra "%s" stay as they are.
std::wstring fillTexts(const std::wstring& format, std::initializer_list<std::wstring> values);
// The same for "%d" and numbers, so a translated format can never make a
// number be read as something else.
std::wstring fillNumbers(const std::wstring& format, std::initializer_list<long> values);

} // namespace rk
