#pragma once
// Small text operations that every path rule of the program is made of.

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
// Strict: the text, blanks around it trimmed, is 1 to 18 decimal digits and
// nothing else. -1 otherwise.
long long parseWholeNumber(const std::wstring& text);

} // namespace rk
