#include "core/base64.h"

#include <cstdint>

namespace rk {
namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int digitValue(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

} // namespace

std::string base64Encode(std::string_view bytes)
{
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t n = bytes.size() - i < 3 ? bytes.size() - i : 3;
        std::uint32_t v = static_cast<unsigned char>(bytes[i]) << 16;
        if (n > 1)
            v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (n > 2)
            v |= static_cast<unsigned char>(bytes[i + 2]);
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += n > 1 ? kAlphabet[(v >> 6) & 63] : '=';
        out += n > 2 ? kAlphabet[v & 63] : '=';
    }
    return out;
}

bool base64Decode(std::string_view text, std::string& out)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    if (text.size() % 4 != 0)
        return false;
    std::string bytes;
    bytes.reserve(text.size() / 4 * 3);
    for (size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        int d[4];
        int padding = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = text[i + k];
            if (c == '=' && last && k >= 2) {
                d[k] = 0;
                ++padding;
                continue;
            }
            // A digit after padding, or padding anywhere else, is no base64.
            if (padding > 0)
                return false;
            d[k] = digitValue(c);
            if (d[k] < 0)
                return false;
        }
        const std::uint32_t v = (d[0] << 18) | (d[1] << 12) | (d[2] << 6) | d[3];
        bytes += static_cast<char>((v >> 16) & 0xFF);
        if (padding < 2)
            bytes += static_cast<char>((v >> 8) & 0xFF);
        if (padding < 1)
            bytes += static_cast<char>(v & 0xFF);
        // Bits below the padding must be zero: another text for the same bytes is not accepted.
        if ((padding == 1 && (d[2] & 3) != 0) || (padding == 2 && (d[1] & 15) != 0))
            return false;
    }
    out = std::move(bytes);
    return true;
}

} // namespace rk
