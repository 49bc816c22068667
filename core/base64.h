#pragma once
// Base64 (RFC 4648, standard alphabet, with padding) for keys and signatures.

#include <string>
#include <string_view>

namespace rk {

std::string base64Encode(std::string_view bytes);

// Strict: blanks and line ends around the text are allowed, none inside it;
// the length must be a multiple of four and the padding where it belongs.
// False (out untouched) for anything else.
bool base64Decode(std::string_view text, std::string& out);

} // namespace rk
