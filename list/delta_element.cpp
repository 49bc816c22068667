#include "list/delta_element.h"

#include "core/path_text.h"

namespace rk {
namespace {

std::wstring valueOf(const std::vector<DomAttribute>& attributes, const wchar_t* name)
{
    for (const DomAttribute& a : attributes) {
        if (a.name == name)
            return trimBlanks(a.value);
    }
    return std::wstring();
}

} // namespace

bool isSha256Hex(const std::wstring& text)
{
    if (text.size() != 64)
        return false;
    for (wchar_t c : text) {
        if (!((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F')))
            return false;
    }
    return true;
}

bool readDeltaElement(const std::vector<DomAttribute>& attributes, FileDelta& delta)
{
    FileDelta read;
    read.from = toLower(valueOf(attributes, L"from"));
    read.sha256 = toLower(valueOf(attributes, L"sha256"));
    read.size = parseWholeNumber(valueOf(attributes, L"size"));
    read.file = valueOf(attributes, L"file");
    if (!isSha256Hex(read.from) || !isSha256Hex(read.sha256) || read.size <= 0 || read.file.empty())
        return false;
    delta = std::move(read);
    return true;
}

} // namespace rk
