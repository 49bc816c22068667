#pragma once
// The merge of the vendor's master list into a fetched list. Runs on the
// calling thread, which must have initialised COM.

#include "list/xml_reader.h"

#include <string>

namespace rk {

// Moves every childless node under the master's "update" element, last to
// first, to the end of the list's "update" element, with "{qbdir}" in desname
// attributes replaced, and saves the list back to its path. False when either
// document has no "update" root or a reader call fails.
bool mergeMasterList(const std::wstring& listPath, const std::wstring& masterPath, const std::wstring& qbdir);
// The same on documents in memory; raises XmlError, saves nothing.
bool mergeMasterDocument(XmlDocument& list, const XmlDocument& master, const std::wstring& qbdir);
// The same with qbdir of [APPLICATION] (default "temp").
bool mergeMasterList(const std::wstring& listPath, const std::wstring& masterPath);

} // namespace rk
