#pragma once
// The delta children of a file element in an update list:
//   <delta from="SHA-256 of the base" sha256="SHA-256 of the delta file"
//          size="bytes of the delta file" file="NAME"/>
// NAME is relative to the folder the entry's own file is fetched from. Pure
// text rules; any thread.

#include "list/update_list.h"
#include "platform/msxml.h"

#include <string>
#include <vector>

namespace rk {

// True when the text is 64 hexadecimal digits (either case).
bool isSha256Hex(const std::wstring& text);

// The delta an element's attributes describe, digests lower-cased and every
// value trimmed. False when it is not usable: a digest that is not 64 hex
// digits, a size that is not a whole number above 0, or no file name.
bool readDeltaElement(const std::vector<DomAttribute>& attributes, FileDelta& delta);

} // namespace rk
