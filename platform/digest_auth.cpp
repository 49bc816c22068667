#include "platform/digest_auth.h"

#include <windows.h>
#include <bcrypt.h>

#include <cctype>
#include <cstdio>
#include <vector>

namespace rk::digest {
namespace {

std::string lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

void skipBlanks(const std::string& text, size_t& at)
{
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == ','))
        ++at;
}

// name=value or name="quoted value" with backslash escapes; false at the end.
bool nextParameter(const std::string& text, size_t& at, std::string& name, std::string& value)
{
    skipBlanks(text, at);
    size_t equals = text.find('=', at);
    if (at >= text.size() || equals == std::string::npos)
        return false;
    name = lower(text.substr(at, equals - at));
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t'))
        name.pop_back();
    at = equals + 1;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t'))
        ++at;
    value.clear();
    if (at < text.size() && text[at] == '"') {
        for (++at; at < text.size() && text[at] != '"'; ++at) {
            if (text[at] == '\\' && at + 1 < text.size())
                ++at;
            value += text[at];
        }
        ++at;
    } else {
        while (at < text.size() && text[at] != ',')
            value += text[at++];
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
            value.pop_back();
    }
    return true;
}

// Quoted-string values must not end the quotes early.
std::string quoted(const std::string& value)
{
    std::string out = "\"";
    for (char c : value) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

} // namespace

Challenge parseChallenge(const std::string& header)
{
    Challenge challenge;
    size_t at = header.find_first_not_of(" \t");
    if (at == std::string::npos || lower(header.substr(at, 7)) != "digest ")
        return challenge;
    at += 7;
    std::string name, value;
    while (nextParameter(header, at, name, value)) {
        if (name == "realm") {
            challenge.realm = value;
        } else if (name == "nonce") {
            challenge.nonce = value;
        } else if (name == "opaque") {
            challenge.opaque = value;
        } else if (name == "algorithm") {
            challenge.algorithm = value;
        } else if (name == "qop") {
            size_t start = 0;
            for (;;) {
                size_t comma = value.find(',', start);
                std::string option =
                    value.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
                size_t first = option.find_first_not_of(" \t");
                size_t last = option.find_last_not_of(" \t");
                if (first != std::string::npos && lower(option.substr(first, last - first + 1)) == "auth")
                    challenge.qopAuth = true;
                if (comma == std::string::npos)
                    break;
                start = comma + 1;
            }
        }
    }
    const std::string algorithm = lower(challenge.algorithm);
    challenge.valid = !challenge.nonce.empty() && (algorithm.empty() || algorithm == "md5" || algorithm == "md5-sess");
    return challenge;
}

std::string md5Hex(const std::string& bytes)
{
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_MD5_ALGORITHM, nullptr, 0) != 0)
        return std::string();
    unsigned char hash[16];
    BCRYPT_HASH_HANDLE state = nullptr;
    bool ok = ::BCryptCreateHash(algorithm, &state, nullptr, 0, nullptr, 0, 0) == 0;
    ok = ok && ::BCryptHashData(state, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())),
                                static_cast<ULONG>(bytes.size()), 0) == 0;
    ok = ok && ::BCryptFinishHash(state, hash, sizeof(hash), 0) == 0;
    if (state)
        ::BCryptDestroyHash(state);
    ::BCryptCloseAlgorithmProvider(algorithm, 0);
    if (!ok)
        return std::string();
    std::string hex;
    char digits[3];
    for (unsigned char b : hash) {
        std::snprintf(digits, sizeof(digits), "%02x", b);
        hex += digits;
    }
    return hex;
}

std::string authorization(const Challenge& challenge, const std::string& user, const std::string& password,
                          const std::string& method, const std::string& uri, const std::string& cnonce, unsigned nc)
{
    char count[9];
    std::snprintf(count, sizeof(count), "%08x", nc);
    std::string ha1 = md5Hex(user + ":" + challenge.realm + ":" + password);
    if (lower(challenge.algorithm) == "md5-sess")
        ha1 = md5Hex(ha1 + ":" + challenge.nonce + ":" + cnonce);
    const std::string ha2 = md5Hex(method + ":" + uri);
    const std::string response = challenge.qopAuth
                                     ? md5Hex(ha1 + ":" + challenge.nonce + ":" + count + ":" + cnonce + ":auth:" + ha2)
                                     : md5Hex(ha1 + ":" + challenge.nonce + ":" + ha2);
    std::string value = "Digest username=" + quoted(user) + ", realm=" + quoted(challenge.realm) +
                        ", nonce=" + quoted(challenge.nonce) + ", uri=" + quoted(uri) +
                        ", response=" + quoted(response);
    if (!challenge.algorithm.empty())
        value += ", algorithm=" + challenge.algorithm;
    if (challenge.qopAuth)
        value += ", qop=auth, nc=" + std::string(count) + ", cnonce=" + quoted(cnonce);
    if (!challenge.opaque.empty())
        value += ", opaque=" + quoted(challenge.opaque);
    return value;
}

} // namespace rk::digest
