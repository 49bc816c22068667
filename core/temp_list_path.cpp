#include "core/temp_list_path.h"

namespace rk {
namespace {

// Windows trims trailing dots and blanks from a name: "a.dll." is "a.dll", and
// a part made only of them could turn into ".." or into nothing.
std::wstring trimmedName(const std::wstring& part)
{
    const size_t last = part.find_last_not_of(L". ");
    return last == std::wstring::npos ? std::wstring() : part.substr(0, last + 1);
}

std::wstring collapsedFolder(const std::wstring& folder)
{
    std::wstring out;
    for (size_t i = 0; i < folder.size(); ++i) {
        const wchar_t c = folder[i] == L'/' ? L'\\' : folder[i];
        if (c == L'\\' && i > 1 && !out.empty() && out.back() == L'\\')
            continue;
        out += c;
    }
    while (out.size() > 1 && out.back() == L'\\')
        out.pop_back();
    return out;
}

} // namespace

std::wstring tempListFilePath(const std::wstring& folder, const std::wstring& path)
{
    std::wstring out = collapsedFolder(folder);
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find_first_of(L"\\/", start);
        if (end == std::wstring::npos)
            end = path.size();
        std::wstring part = path.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == L".")
            continue;
        part = trimmedName(part);
        if (part.empty())
            part = L"__";
        for (wchar_t& c : part) {
            if (c == L':')
                c = L'$';
        }
        out += L'\\';
        out += part;
    }
    return out;
}

} // namespace rk
