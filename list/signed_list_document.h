#pragma once
// The signed documents a run accepted, read in memory: the list with the
// master list merged in, exactly as a fetched list file is, but without a
// file in the temporary folder that another program could change between the
// check and the read. Runs on the calling thread, which must have initialised COM.

#include "list/signed_list.h"
#include "list/update_list.h"

#include <string>

namespace rk {

// The entries, guid and file-URL template of the signed list. False when a
// document does not parse or has no list root.
bool loadSignedList(const SignedDocuments& documents, DownLoadList& list);

// Writes the signed list (master merged, guid removed) to path, as the local
// list. False when it cannot be built or written.
bool saveSignedList(const SignedDocuments& documents, const std::wstring& path);

} // namespace rk
