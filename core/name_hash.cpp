#include "core/name_hash.h"

namespace rk {

std::wstring nameHash(const std::wstring& text)
{
    static const wchar_t kSeed[] = L"KQZRTW5173";
    static const wchar_t kHex[] = L"0123456789ABCDEF";
    unsigned a[10];
    for (int j = 0; j < 10; ++j)
        a[j] = static_cast<unsigned>(kSeed[j]);
    const size_t n = text.size();
    for (unsigned j = 0; j < 10; ++j) {
        for (size_t i = 0; i < n; ++i) {
            unsigned long long sum = a[j] + static_cast<unsigned long long>(text[i]) + text[i / 2] + j + i;
            a[j] = static_cast<unsigned>(sum % 199);
        }
    }
    std::wstring out;
    for (int j = 0; j < 10; ++j) {
        if (j == 4)
            out += L'-';
        out += kHex[a[j] % 16];
    }
    return out;
}

} // namespace rk
