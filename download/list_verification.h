#pragma once
// The check of a fetched list document against its detached signature
// (address + ".sig") when the configuration carries release keys. Runs on a
// fetch worker's thread.

#include "list/signed_list.h"

#include <string>

namespace rk {

struct VerifiedDocument {
    std::string bytes;
    std::string signature;
    long long serial = 0;
};

// Without release keys: true, and the run log says once per process that the
// list is not signed. With keys: fetches the signature, applies the signed-list
// rules, logs the outcome, and returns whether the file at path may be used;
// a refused file is deleted. out receives the verified bytes and signature.
bool verifyFetchedList(const std::wstring& url, const std::wstring& path, ListRole role, VerifiedDocument* out);

} // namespace rk
