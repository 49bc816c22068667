#pragma once
// renewkit-pack: turns a release folder into what the updater reads from a web
// server: the files, their zipped variants, the update list, its zipped variant,
// the master list and the version probe document.

#include "tools/pack/pack_delta.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace rk::pack {

struct PackOptions {
    std::wstring release;
    std::wstring output;
    std::wstring listName = L"update.xml";
    std::wstring probeName = L"version.xml";
    std::wstring fileUrl;     // fileurl element; none when empty
    std::wstring description; // "\n" stays as written: the list's own line-break escape
    std::wstring guid;
    std::wstring version;                         // of the probe document; the list's MD5 when empty
    std::map<std::wstring, std::wstring> actions; // lower-case relative path -> action text
    std::vector<std::wstring> runs;               // "path|param|wait|key", trailing fields optional
    std::vector<std::wstring> subLists;           // addresses written into the probe document
    bool zipped = true;
    std::wstring keyFile;   // --sign: signs the list and the master list
    long long serial = 0;   // 0: one more than the serial of the list in the output folder
    long expiresDays = 0;   // 0: kDefaultExpiryDays when signing, none otherwise
    bool keygen = false;    // keygen OUT_PREFIX
    std::wstring keyPrefix; // of keygen

    std::vector<std::wstring> deltaFrom; // --delta-from: previous publish folders
    long deltaShare = 50;                // a delta is kept below this percentage of the zipped variant
};

constexpr long kDefaultExpiryDays = 30;

struct PackedFile {
    std::wstring path; // relative, with "\"
    std::string md5;
    std::string sha256;
    unsigned long long size = 0;
    std::wstring action;
    std::vector<PackedDelta> deltas;
};

// What a long pack tells as it goes: files done of the total, and a line for
// each delta left out and why.
struct PackProgress {
    std::function<void(size_t done, size_t total)> files;
    std::function<void(const std::wstring& line)> note;
};

// The root element's serial and expires; none when serial is 0.
struct ListStamp {
    long long serial = 0;
    std::wstring expires; // UTC, "2027-01-31T00:00:00Z"
};

// False with a message for unknown options or missing values.
bool parseArguments(const std::vector<std::wstring>& args, PackOptions& options, std::wstring& error);
std::wstring usage();

// The documents, as UTF-8 bytes.
std::string listDocument(const PackOptions& options, const std::vector<PackedFile>& files,
                         const ListStamp& stamp = ListStamp());
std::string probeDocument(const std::wstring& version, const std::vector<std::wstring>& subLists);
std::string masterListDocument(const ListStamp& stamp = ListStamp());

// True when folder is outer itself or lies below it (full paths, case ignored).
bool folderInside(const std::wstring& folder, const std::wstring& outer);

// Writes everything into options.output. Empty on success, else what went wrong.
std::wstring packRelease(const PackOptions& options, std::vector<PackedFile>* packed = nullptr,
                         const PackProgress& progress = PackProgress());

} // namespace rk::pack
