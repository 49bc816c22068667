#pragma once
// The self-package check: the updater's own executable may end with a trailer
// (payload offset, payload length, "RenewKitZip1" or "RenewKitZip0") whose
// payload is copied to __package4renewkit.tmp in the temporary directory.

#include <cstdint>
#include <string>
#include <string_view>

namespace rk {

struct PackageTrailer {
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
};

// The trailer of a file of fileSize bytes whose last 20 bytes are `tail`; false
// when the marker is missing or the payload does not lie inside the file before
// the trailer.
bool parsePackageTrailer(std::string_view tail, std::uint64_t fileSize, PackageTrailer& trailer);

// Start-up step; start-up always goes on, so nothing is returned. With a
// payload it also loads the list snapshot that may wait beside it.
void checkSelfPackage();

// Loads an update-list snapshot file into the shared update list, sorts out its
// description and run entries, and deletes the file. False when there is no such
// file or it is no snapshot (then the list is left as it was).
bool loadPackagedListSnapshot(const std::wstring& path);

} // namespace rk
