#pragma once
// renewkit-pack's release keys: making a key pair, reading the private key
// file, and signing a published document.

#include <string>

namespace rk::pack {

// Writes PREFIX.key (the private key, readable by the current user only) and
// PREFIX.pub (the "PublicKey=" line for [Security] of the configuration).
// Empty on success, else what went wrong. publicLine receives the line.
std::wstring generateKeyFiles(const std::wstring& prefix, std::wstring& publicLine);

struct SigningKey {
    std::string publicKey;  // X || Y
    std::string privateKey; // d
};

// Reads a key file written by generateKeyFiles. Refuses a file that other
// users may read. Empty on success, else why.
std::wstring loadSigningKey(const std::wstring& path, SigningKey& key);

// The signature file's text: the base64 of r || s and a line end. Empty when
// the system could not sign.
std::string signatureFileText(const SigningKey& key, const std::string& document);

// The private key file's text for the key (one line).
std::string privateKeyText(const SigningKey& key);
// The key from that text; false when it is malformed or inconsistent.
bool parsePrivateKeyText(const std::string& text, SigningKey& key);

} // namespace rk::pack
