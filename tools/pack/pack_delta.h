#pragma once
// The deltas renewkit-pack publishes: for a file whose bytes differ from the
// file of the same path in a previous published release (known from that
// release's list and its sha256), the zstd delta from that published file,
// written beside the new file and kept only when it is small enough.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace rk::pack {

struct PackedDelta {
    std::string from;   // SHA-256 of the base, lower-case hex
    std::string sha256; // of the delta file
    unsigned long long size = 0;
    std::wstring file; // name beside the entry's file
};

struct PreviousFile {
    std::string sha256;
    long long size = -1;
};

// A previous publish folder and what its list says of each file.
struct PreviousRelease {
    std::wstring folder;                        // full path with "\"
    std::map<std::wstring, PreviousFile> files; // lower-case relative path with "\"
};

// Reads listName in the folder. Empty on success; else the reason.
std::wstring readPreviousRelease(const std::wstring& folder, const std::wstring& listName, PreviousRelease& release);

// "app.exe.1f2e3d4c5b6a7988.zst": the file's name, the first 16 digits of the base's SHA-256.
std::wstring deltaFileName(const std::wstring& path, const std::string& baseSha256);

// The distinct bases worth a delta for a file of this path and digest: the
// previous releases' digests that differ from it, first release first.
std::vector<std::string> deltaBases(const std::vector<PreviousRelease>& previous, const std::wstring& path,
                                    const std::string& sha256);

// Makes the deltas of one packed file (path relative, with "\") into output
// (full path with "\"), keeping those below budget bytes; says what it left
// out through note. Empty on success; else the reason (a file it cannot write).
std::wstring makeFileDeltas(const std::vector<PreviousRelease>& previous, const std::wstring& release,
                            const std::wstring& output, const std::wstring& path, const std::string& sha256,
                            unsigned long long budget, std::vector<PackedDelta>& kept,
                            const std::function<void(const std::wstring&)>& note);

} // namespace rk::pack
