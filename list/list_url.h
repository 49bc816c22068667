#pragma once
// Addresses of the update list and its files: list-URL parameters, the list's
// base folder, and the download address of one entry. Pure text rules; any thread.

#include "list/update_list.h"

#include <string>

namespace rk {

// "[param1]"/"{param1}", then "[param2]"/"{param2}", then "[param]"/"{param}".
std::wstring expandListUrlParameters(const std::wstring& url, const std::wstring& parameter1,
                                     const std::wstring& parameter2, const std::wstring& parameter);
// The same with Parameter1, Parameter2 and Parameter of [UPDATEINFO].
std::wstring expandListUrlParameters(const std::wstring& url);

// The text before the last "/" (past the first character) when that "/" lies
// before the last two characters; the whole URL when it is nearer the end;
// empty when there is no such "/" and the URL is longer than two characters.
std::wstring listUrlBaseOf(const std::wstring& url);
void setListUrlBase(DownLoadList& list, const std::wstring& url);

// "\" to "/", one pass of "//" to "/", then the scheme's "//" put back for
// http and https in lower and upper case.
std::wstring normalizeUrl(const std::wstring& url);

// The entry's own url, or the list's template filled with the base and the
// entry's path; normalised either way.
std::wstring fileUrl(const DownLoadList& list, const updatefileinfo& entry);

} // namespace rk
