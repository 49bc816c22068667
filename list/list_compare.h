#pragma once
// The local comparison: which entries of the remote list need work, judged by
// path and version text against the local list (renewkit.xml), optionally also
// by target files that have gone missing. Also the rule that turns an entry
// into its local target files.

#include "list/update_list.h"

#include <string>
#include <vector>

namespace rk {

// Absolute paths named by a list separated by ",", ";" or "|": items with a
// "\" or "/" are paths of their own, bare names sit in the entry's folder.
// Duplicates (exact text) are dropped, order is kept; an empty list gives none.
std::vector<std::wstring> expandNameList(const std::wstring& entryPath, const std::wstring& names);

// expandNameList of path and dstNames, or the entry's own resolved path.
std::vector<std::wstring> targetFiles(const updatefileinfo& entry);

// The remote entries that need work, in remote order, as full copies. Local
// entries are looked up by exact path, the first one of a path counts. Costs
// linear time in the two list sizes.
std::vector<updatefileinfo> selectEntries(const DownLoadList& remote, const DownLoadList& local, bool checkLostFile);

// Loads the downloaded list and the local list, appends the selected entries to
// the target list (under the list lock), takes over the remote list's guid and
// file-URL template, then splits out notes and run commands. Returns the
// target's entry count. The calling thread must have initialised COM.
long compareWithLocalList(const std::wstring& remoteListPath, DownLoadList& target);
// The same for a remote list already loaded.
long compareLoadedList(const DownLoadList& remote, DownLoadList& target);

inline const wchar_t kLocalListName[] = L"renewkit.xml";

} // namespace rk
