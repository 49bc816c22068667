#pragma once
// Message digests through the system's cryptography (CNG), fed in pieces.

#include <cstddef>
#include <string>

namespace rk {

enum class HashAlgorithm { Md5, Sha256 };

class Hasher {
public:
    explicit Hasher(HashAlgorithm algorithm);
    ~Hasher();
    Hasher(const Hasher&) = delete;
    Hasher& operator=(const Hasher&) = delete;

    // False once the system refused the algorithm or a piece.
    bool ok() const { return m_ok; }
    void update(const void* data, std::size_t bytes);
    // The digest's bytes; ends the stream. Empty when the system failed.
    std::string finish();

private:
    void* m_algorithm = nullptr; // BCRYPT_ALG_HANDLE
    void* m_hash = nullptr;      // BCRYPT_HASH_HANDLE
    unsigned long m_length = 0;
    bool m_ok = false;
};

// Lower-case hexadecimal of the bytes.
std::string toHex(const std::string& bytes);

} // namespace rk
