#include "core/release_signature.h"

#include "core/base64.h"
#include "core/path_text.h"
#include "platform/ecdsa.h"

#include <mutex>
#include <sstream>

namespace rk {
namespace {

std::mutex g_keysMutex; // guards g_keys
ReleaseKeys g_keys;

std::string narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text) {
        if (c > 0x7F)
            return std::string("\x01"); // no base64 digit: fails to parse
        out += static_cast<char>(c);
    }
    return out;
}

// One DER INTEGER at bytes[at] as a 32-byte big-endian number.
bool readDerInteger(const std::string& der, size_t& at, std::string& number)
{
    if (at + 2 > der.size() || der[at] != 0x02)
        return false;
    const size_t length = static_cast<unsigned char>(der[at + 1]);
    at += 2;
    if (length == 0 || length > 33 || at + length > der.size())
        return false;
    std::string value = der.substr(at, length);
    at += length;
    // A negative number or a needless leading zero is no valid encoding.
    if (static_cast<unsigned char>(value[0]) & 0x80)
        return false;
    if (value.size() > 1 && value[0] == 0 && !(static_cast<unsigned char>(value[1]) & 0x80))
        return false;
    if (value.size() == 33)
        value.erase(0, 1);
    number = std::string(32 - value.size(), '\0') + value;
    return true;
}

bool derToRaw(const std::string& der, std::string& raw)
{
    if (der.size() < 8 || der[0] != 0x30)
        return false;
    const size_t length = static_cast<unsigned char>(der[1]);
    if (length >= 0x80 || length + 2 != der.size())
        return false;
    size_t at = 2;
    std::string r, s;
    if (!readDerInteger(der, at, r) || !readDerInteger(der, at, s) || at != der.size())
        return false;
    raw = r + s;
    return true;
}

} // namespace

bool parsePublicKey(const std::string& text, std::string& key)
{
    std::string bytes;
    if (!base64Decode(text, bytes) || bytes.size() != kP256PublicKeyBytes)
        return false;
    key = bytes;
    return true;
}

bool parseSignature(const std::string& text, std::string& signature)
{
    std::string bytes;
    if (!base64Decode(text, bytes))
        return false;
    if (bytes.size() == kP256SignatureBytes) {
        signature = bytes;
        return true;
    }
    return derToRaw(bytes, signature);
}

ReleaseKeys releaseKeysFromIni(const std::wstring& iniText)
{
    ReleaseKeys result;
    std::wistringstream lines(iniText);
    std::wstring line;
    bool inSection = false;
    std::wstring values[2];
    bool seen[2] = {false, false};
    while (std::getline(lines, line)) {
        const std::wstring trimmed = trimBlanks(line);
        if (!trimmed.empty() && trimmed.front() == L'[') {
            inSection = toLower(trimmed) == L"[security]";
            continue;
        }
        const size_t eq = trimmed.find(L'=');
        if (!inSection || eq == std::wstring::npos)
            continue;
        const std::wstring key = toLower(trimBlanks(trimmed.substr(0, eq)));
        const int slot = key == L"publickey" ? 0 : key == L"publickey2" ? 1 : -1;
        // The first line of a key counts, as the system's profile reader does.
        if (slot < 0 || seen[slot])
            continue;
        seen[slot] = true;
        values[slot] = trimBlanks(trimmed.substr(eq + 1));
    }
    static const wchar_t* const kNames[] = {L"PublicKey", L"PublicKey2"};
    for (int slot = 0; slot < 2; ++slot) {
        if (values[slot].empty())
            continue;
        result.configured = true;
        std::string key;
        if (parsePublicKey(narrow(values[slot]), key))
            result.keys.push_back(key);
        else
            result.errors.push_back(std::wstring(L"[Security] ") + kNames[slot] +
                                    L" is not the base64 of a 64-byte P-256 public key; it verifies nothing.");
    }
    return result;
}

void setReleaseKeys(ReleaseKeys keys)
{
    std::lock_guard<std::mutex> guard(g_keysMutex);
    g_keys = std::move(keys);
}

ReleaseKeys releaseKeys()
{
    std::lock_guard<std::mutex> guard(g_keysMutex);
    return g_keys;
}

bool signedReleasesRequired()
{
    std::lock_guard<std::mutex> guard(g_keysMutex);
    return g_keys.configured;
}

SignatureCheck checkDocumentSignature(const std::string& document, const std::string* signatureText,
                                      const std::vector<std::string>& keys)
{
    if (!signatureText)
        return SignatureCheck::Missing;
    std::string signature;
    if (!parseSignature(*signatureText, signature))
        return SignatureCheck::Malformed;
    const std::string digest = sha256Of(document);
    for (const std::string& key : keys) {
        if (verifyP256(key, digest, signature))
            return SignatureCheck::Good;
    }
    return SignatureCheck::Wrong;
}

} // namespace rk
