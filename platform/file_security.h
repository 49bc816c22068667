#pragma once
// Who may read a file, from its access control list. For secrets such as a
// signing key. Any thread.

#include <string>

namespace rk {

// True when the file's list of access rights lets anyone but its owner, the
// system and the administrators read it (a missing list lets everyone); who
// names them. False with who empty when only those may; false with who set to
// the reason when the rights could not be read.
bool readableByOthers(const std::wstring& path, std::wstring& who);

// Creates a new file that only the current user may read or write (its rights
// set as it is made, not inherited from the folder) and writes the bytes.
// False when the file exists already or the system refused; a file that could
// not be written whole is removed.
bool writePrivateFile(const std::wstring& path, const std::string& bytes);

} // namespace rk
