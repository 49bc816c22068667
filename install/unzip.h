#pragma once
// The single-file unpack of a downloaded zipped variant: entry 0 of the archive
// is written to an explicit destination path, whatever name it carries inside.
// Any thread; several unpacks may run at once on different files.

#include <cstdint>
#include <string>

namespace rk {

// Entries are refused past this size or past this many times their packed size,
// so that an archive made to fill the disk stops early.
constexpr std::uint64_t kMaxUnpackedBytes = 4ull << 30;
constexpr std::uint64_t kMaxInflateRatio = 1000;

// The most bytes an entry of packedSize bytes may inflate to.
std::uint64_t unpackLimit(std::uint64_t packedSize);

// True when destination holds entry 0 of archive. A destination that exists and
// cannot be deleted is a failure (the old file must not pass for the new one).
// On failure the destination is deleted, whatever the archive's size, so the
// caller goes on to the plain file.
// digest, when given, receives the size and SHA-256 (lower-case hex) of the
// bytes written, taken on the way: the file's check needs no second read.
struct UnpackedDigest {
    std::uint64_t size = 0;
    std::string sha256;
};
bool unzipSingleFile(const std::wstring& archive, const std::wstring& destination, UnpackedDigest* digest = nullptr);

} // namespace rk
