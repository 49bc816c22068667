#pragma once
// The application directory: the base of every relative path of the program.
// Set once at start-up; until then the folder of the program file. Ends with "\".

#include <string>

namespace rk {

std::wstring applicationDirectory();
void setApplicationDirectory(const std::wstring& folder);

// The folder of the program file without a trailing "\"; empty when the module
// path holds no "\".
std::wstring programFolder();

} // namespace rk
