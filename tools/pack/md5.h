#pragma once
// MD5 of a byte stream, fed in pieces, through the system's cryptography; the
// digest as 32 lower-case hex digits.

#include "platform/hash.h"

#include <cstddef>
#include <string>

namespace rk::pack {

class Md5 {
public:
    Md5() : m_hash(HashAlgorithm::Md5) {}
    void update(const void* data, std::size_t bytes) { m_hash.update(data, bytes); }
    std::string hexDigest() { return toHex(m_hash.finish()); } // ends the stream

private:
    Hasher m_hash;
};

} // namespace rk::pack
