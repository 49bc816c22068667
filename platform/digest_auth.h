#pragma once
// HTTP Digest authentication (RFC 7616 with MD5, the form proxies ask for) for
// a proxy's 407 where the HTTP library does not answer Digest itself.

#include <string>

namespace rk::digest {

struct Challenge {
    bool valid = false;
    std::string realm;
    std::string nonce;
    std::string opaque;    // echoed when present
    std::string algorithm; // "MD5" or "MD5-sess"; empty means MD5
    bool qopAuth = false;  // the server offers qop "auth"
};

// One "Proxy-Authenticate" value; valid only for a Digest challenge with a
// nonce and an algorithm we can answer.
Challenge parseChallenge(const std::string& header);

// Lower-case hexadecimal MD5 of the bytes (BCrypt); empty when unavailable.
std::string md5Hex(const std::string& bytes);

// The "Digest ..." value of a Proxy-Authorization header for method and uri
// (the request target as sent). cnonce is the client's nonce; nc counts the
// uses of the nonce, from 1.
std::string authorization(const Challenge& challenge, const std::string& user, const std::string& password,
                          const std::string& method, const std::string& uri, const std::string& cnonce, unsigned nc);

} // namespace rk::digest
