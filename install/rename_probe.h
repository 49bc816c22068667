#pragma once
// The rename test of the write test: a program or library in use cannot be
// opened for writing, but can be replaced when it can be renamed. The test name
// is recorded in __renametest.lst in the application directory while the file
// carries it, so that a process that dies between the two renames leaves
// nothing the next start cannot mend. Driver's thread; start-up.

#include <string>

namespace rk {

inline const wchar_t kRenameTestList[] = L"__renametest.lst";
inline const wchar_t kRenameTestSuffix[] = L".__test";

enum class RenameProbe {
    Renamed,      // renamed to the test name and back
    AccessDenied, // the rename was refused for lack of rights
    Refused,      // the rename failed otherwise, or the name could not be given back
};

// Renames the file to its test name and back. When the name cannot be given
// back, the file keeps the test name, the record stays, and the result is Refused.
RenameProbe probeByRename(const std::wstring& path);

// At start-up: each recorded test name whose file is missing is renamed back.
// The record goes unless a rename back failed.
void restoreRenameTests();

} // namespace rk
