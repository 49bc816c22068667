#pragma once
// The byte layout a whole DownLoadList is written in and read back from (the
// hand-over to an elevated copy): little-endian 32-bit words, strings as a
// 32-bit count of UTF-16 units followed by the units.

#include "list/update_list.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace rk {

inline const wchar_t kSnapshotMapEnd[] = L"!-end------";

// valueMap pairs with a non-empty key (a key equal to the end marker cannot be
// told from it and is left out), runCommands, description, listUrlBase,
// fileUrlTemplate, downloadDir, listGuid, the snapshot word, the entries.
std::string writeSnapshot(const DownLoadList& list);

// Reads one snapshot from the start of the bytes. On success replaces the
// snapshot fields of the list (entries under the list lock), sets *used to the
// bytes taken and returns true. Bytes that end early or hold a count larger
// than what follows give false and leave the list untouched.
bool readSnapshot(std::string_view bytes, DownLoadList& list, std::size_t* used = nullptr);

} // namespace rk
