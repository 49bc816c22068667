#pragma once
// Percent-encoding of a URL that a server refused as written. Pure function.

#include <string>

namespace rk {

// "%" becomes %25; blank, '"', '<', '>', '#', '{', '}', '|', '\', '^', '~', '[',
// ']', '`' and '+' become their escapes; every other character that is neither an
// ASCII letter or digit nor one of "$&+,./:;=?@-_!*()'%" becomes the escapes of
// its UTF-8 bytes. Hex digits are upper case.
std::wstring percentEncodeUrl(const std::wstring& url);

} // namespace rk
