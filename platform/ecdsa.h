#pragma once
// ECDSA on the NIST P-256 curve through the system's cryptography (CNG).
// Keys and signatures are raw big-endian numbers: a public key is X then Y
// (64 bytes), a private key d (32 bytes), a signature r then s (64 bytes).
// Any thread; none of these raises.

#include <string>

namespace rk {

constexpr size_t kP256PublicKeyBytes = 64;
constexpr size_t kP256PrivateKeyBytes = 32;
constexpr size_t kP256SignatureBytes = 64;

struct P256KeyPair {
    std::string publicKey;  // X || Y
    std::string privateKey; // d
};

// False when the system could not make a key.
bool generateP256KeyPair(P256KeyPair& out);

// The signature of a SHA-256 digest; empty when the key is malformed or the
// system refused.
std::string signP256(const P256KeyPair& key, const std::string& digest);

// True only for a well-formed key and signature that match the digest.
bool verifyP256(const std::string& publicKey, const std::string& digest, const std::string& signature);

// The SHA-256 digest of the bytes (32 bytes); empty when the system failed.
std::string sha256Of(const std::string& bytes);

} // namespace rk
