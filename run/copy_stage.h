#pragma once
// The copy stage step: stage 10, the files put in place with their upgrade
// actions, then 12 and the new version text. Runs only in stage 9. Driver's thread.

#include "core/host_link.h"

#include <string>

namespace rk {

// The downloaded list that the check parsed last; the copy stage saves it as
// renewkit.xml. Until set, the temporary directory's list key file ".xml".
void setCurrentListFile(const std::wstring& path);
std::wstring currentListFile();

void runCopyStage(WindowHandle window);

} // namespace rk
