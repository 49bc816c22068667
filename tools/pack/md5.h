#pragma once
// MD5 of a byte stream, fed in pieces; the digest as 32 lower-case hex digits.

#include <cstddef>
#include <cstdint>
#include <string>

namespace rk::pack {

class Md5 {
public:
    Md5();
    void update(const void* data, std::size_t bytes);
    std::string hexDigest(); // ends the stream

private:
    void block(const unsigned char* data);

    std::uint32_t m_state[4];
    std::uint64_t m_length = 0;
    unsigned char m_buffer[64];
    std::size_t m_used = 0;
};

} // namespace rk::pack
