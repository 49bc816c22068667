#include "core/text_format.h"

namespace rk {
namespace {

template <typename Value, typename Convert>
std::wstring fill(const std::wstring& pattern, const wchar_t* place, std::initializer_list<Value> values,
                  Convert convert)
{
    std::wstring out;
    auto next = values.begin();
    size_t at = 0;
    while (at < pattern.size()) {
        size_t found = pattern.find(place, at);
        if (found == std::wstring::npos || next == values.end()) {
            out.append(pattern, at, std::wstring::npos);
            break;
        }
        out.append(pattern, at, found - at);
        out += convert(*next++);
        at = found + 2;
    }
    return out;
}

} // namespace

std::wstring fillText(const std::wstring& pattern, std::initializer_list<std::wstring> texts)
{
    return fill(pattern, L"%s", texts, [](const std::wstring& s) { return s; });
}

std::wstring fillNumbers(const std::wstring& pattern, std::initializer_list<long> numbers)
{
    return fill(pattern, L"%d", numbers, [](long n) { return std::to_wstring(n); });
}

} // namespace rk
