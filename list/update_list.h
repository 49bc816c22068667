#pragma once
// One entry of an update list and the list container. One DownLoadList, the
// update list, is shared by the whole process: its entry count is the update
// file count and it holds the current stage.

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace rk {

constexpr std::int32_t ACT_RUN = 1;
constexpr std::int32_t ACT_DELETE = 2;
constexpr std::int32_t ACT_REGISTER = 4;
constexpr std::int32_t ACT_REBOOT = 8;
constexpr std::int32_t KIND_RUN = 0x7E000000;
constexpr std::int32_t KIND_DESCRIPTION = 0x7F000000;

// A delta the publisher kept for a file entry: the zstd frame that turns the
// installed file whose SHA-256 is `from` into the entry's file. Each field
// lower-case hex or text as the list gives it.
struct FileDelta {
    std::wstring from;   // SHA-256 of the base
    std::wstring sha256; // of the delta file
    long long size = -1; // bytes of the delta file
    std::wstring file;   // relative to the folder the entry's own file is fetched from
};

// One entry: a file, a run command (actions KIND_RUN, path the packed command)
// or a description (actions KIND_DESCRIPTION, path the text).
struct updatefileinfo {
    std::wstring url;
    std::wstring path;
    std::wstring dstNames;
    std::wstring version;
    std::wstring notes;
    std::wstring shortcut;
    std::wstring shortcutIcon;
    std::wstring iconIndex;
    std::int32_t actions = 0;
    // What the file must be once downloaded (unzipped): lower-case hex SHA-256
    // and byte count; empty and -1 when the list does not say.
    std::wstring sha256;
    long long size = -1;
    // The delta children of the file element, in document order; well-formed only.
    std::vector<FileDelta> deltas;
};

// True when the entry names the digest and size its file must have.
bool hasFileDigest(const updatefileinfo& entry);

// The form every entry has once in a list: version, sha256 and the digests of
// its deltas lower-cased and trimmed; in path "|" made "\", every "._.zip" removed, then trimmed.
updatefileinfo normalizeEntry(updatefileinfo entry);

class DownLoadList {
public:
    DownLoadList() = default;
    DownLoadList(const DownLoadList&) = delete;
    DownLoadList& operator=(const DownLoadList&) = delete;

    // The one update list of the process.
    static DownLoadList& shared();

    std::vector<updatefileinfo> entries;
    std::int32_t snapshotWord = 0;
    std::wstring description;
    std::map<std::wstring, std::wstring> valueMap;
    std::wstring listUrlBase;
    std::wstring fileUrlTemplate = L"{listurl-base}/{filename}";
    std::wstring downloadDir;
    std::wstring listGuid;
    std::wstring probeVersion;
    std::vector<std::wstring> probeUrls;
    std::vector<std::wstring> runCommands;
    void* progressWindow = nullptr; // not part of the snapshot
    std::int32_t restartFlag = 0;   // set when an ACT_REBOOT entry is installed; not part of the snapshot

    long count() const { return static_cast<long>(entries.size()); }

    // Normalises a copy of the entry (normalizeEntry) and appends it, under the
    // named lock kAddListEntry. Any thread.
    void addEntry(updatefileinfo entry);
    // The same for many entries at once, in their order, under one hold of the lock.
    void addEntries(std::vector<updatefileinfo> batch);

    // Moves the description entries into description (in document order, each
    // ended by CR LF, escapes "\r\n" and "\n" made line breaks) and the run
    // entries into runCommands (last-listed first); other entries keep their order.
    void splitOutDescriptionsAndRuns();

    // The current stage is read and written from several threads.
    std::int32_t stage() const { return m_stage.load(); }
    void setStage(std::int32_t stage) { m_stage.store(stage); }

private:
    std::atomic<std::int32_t> m_stage{0};
};

} // namespace rk
