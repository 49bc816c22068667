#include "core/path_text.h"

#include <limits>

#include <cwctype>

namespace rk {

std::wstring replaceAll(std::wstring text, const std::wstring& from, const std::wstring& to)
{
    if (from.empty())
        return text;
    size_t pos = 0;
    while ((pos = text.find(from, pos)) != std::wstring::npos) {
        text.replace(pos, from.size(), to);
        pos += to.size();
    }
    return text;
}

std::wstring collapseBackslashes(const std::wstring& text) { return replaceAll(text, L"\\\\", L"\\"); }

std::wstring toLower(std::wstring text)
{
    for (auto& c : text)
        c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

std::wstring trimBlanks(const std::wstring& text)
{
    const wchar_t* blanks = L" \t\r\n";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::wstring::npos)
        return {};
    size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

long long parseDecimal(const std::wstring& text)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || text[i] == L'\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
        negative = text[i] == L'-';
        ++i;
    }
    // Saturates like strtoll: past the range the result stays at its limit.
    const unsigned long long limit = negative ? 0x8000000000000000ull : 0x7FFFFFFFFFFFFFFFull;
    unsigned long long value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        const unsigned digit = static_cast<unsigned>(text[i] - L'0');
        value = value > (limit - digit) / 10 ? limit : value * 10 + digit;
    }
    if (negative)
        return value == limit ? std::numeric_limits<long long>::min() : -static_cast<long long>(value);
    return static_cast<long long>(value);
}

long long parseWholeNumber(const std::wstring& text)
{
    const std::wstring digits = trimBlanks(text);
    if (digits.empty() || digits.size() > 18)
        return -1;
    long long value = 0;
    for (wchar_t c : digits) {
        if (c < L'0' || c > L'9')
            return -1;
        value = value * 10 + (c - L'0');
    }
    return value;
}

} // namespace rk
