#include "platform/hash.h"

#include <windows.h>

#include <bcrypt.h>

namespace rk {

Hasher::Hasher(HashAlgorithm algorithm)
{
    const wchar_t* name = algorithm == HashAlgorithm::Md5 ? BCRYPT_MD5_ALGORITHM : BCRYPT_SHA256_ALGORITHM;
    BCRYPT_ALG_HANDLE alg = nullptr;
    if (::BCryptOpenAlgorithmProvider(&alg, name, nullptr, 0) < 0)
        return;
    m_algorithm = alg;
    DWORD length = 0;
    ULONG got = 0;
    if (::BCryptGetProperty(alg, BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&length), sizeof length, &got, 0) < 0)
        return;
    m_length = length;
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (::BCryptCreateHash(alg, &hash, nullptr, 0, nullptr, 0, 0) < 0)
        return;
    m_hash = hash;
    m_ok = true;
}

Hasher::~Hasher()
{
    if (m_hash)
        ::BCryptDestroyHash(m_hash);
    if (m_algorithm)
        ::BCryptCloseAlgorithmProvider(m_algorithm, 0);
}

void Hasher::update(const void* data, std::size_t bytes)
{
    // CNG takes at most 4 GiB a call.
    const auto* p = static_cast<const unsigned char*>(data);
    while (m_ok && bytes > 0) {
        const ULONG piece = bytes > 0x40000000 ? 0x40000000 : static_cast<ULONG>(bytes);
        if (::BCryptHashData(m_hash, const_cast<PUCHAR>(p), piece, 0) < 0)
            m_ok = false;
        p += piece;
        bytes -= piece;
    }
}

std::string Hasher::finish()
{
    if (!m_ok)
        return {};
    std::string digest(m_length, '\0');
    if (::BCryptFinishHash(m_hash, reinterpret_cast<PUCHAR>(digest.data()), m_length, 0) < 0)
        digest.clear();
    m_ok = false;
    return digest;
}

std::string toHex(const std::string& bytes)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        out += kDigits[c >> 4];
        out += kDigits[c & 15];
    }
    return out;
}

} // namespace rk
