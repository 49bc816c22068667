#include "download/url_encoding.h"

#include "core/path_text.h"

#include <cwchar>

namespace rk {
namespace {

constexpr wchar_t kEscapedFirst[] = L" \"<>#{}|\\^~[]`+";
constexpr wchar_t kSafe[] = L"$&+,./:;=?@-_!*()'%";

void appendEscape(std::wstring& out, unsigned byte)
{
    const wchar_t* hex = L"0123456789ABCDEF";
    out += L'%';
    out += hex[(byte >> 4) & 0xF];
    out += hex[byte & 0xF];
}

void appendUtf8Escapes(std::wstring& out, char32_t code)
{
    if (code < 0x80) {
        appendEscape(out, code);
    } else if (code < 0x800) {
        appendEscape(out, 0xC0 | (code >> 6));
        appendEscape(out, 0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        appendEscape(out, 0xE0 | (code >> 12));
        appendEscape(out, 0x80 | ((code >> 6) & 0x3F));
        appendEscape(out, 0x80 | (code & 0x3F));
    } else {
        appendEscape(out, 0xF0 | (code >> 18));
        appendEscape(out, 0x80 | ((code >> 12) & 0x3F));
        appendEscape(out, 0x80 | ((code >> 6) & 0x3F));
        appendEscape(out, 0x80 | (code & 0x3F));
    }
}

bool isKept(wchar_t c)
{
    if ((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9'))
        return true;
    return c != 0 && std::wcschr(kSafe, c) != nullptr;
}

bool isHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

} // namespace

std::wstring percentEncodeUrl(const std::wstring& url)
{
    std::wstring text = replaceAll(url, L"%", L"%25");
    for (const wchar_t* c = kEscapedFirst; *c; ++c) {
        std::wstring escape;
        appendEscape(escape, static_cast<unsigned>(*c));
        text = replaceAll(text, std::wstring(1, *c), escape);
    }

    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        wchar_t c = text[i];
        if (isKept(c)) {
            out += c;
            continue;
        }
        char32_t code = c;
        // A character outside the basic plane is one code point of two units; its
        // halves converted one by one would give replacement bytes.
        if (isHighSurrogate(c) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            code =
                0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (static_cast<char32_t>(text[i + 1]) - 0xDC00);
            ++i;
        } else if (isHighSurrogate(c) || isLowSurrogate(c)) {
            code = 0xFFFD;
        }
        appendUtf8Escapes(out, code);
    }
    return out;
}

} // namespace rk
