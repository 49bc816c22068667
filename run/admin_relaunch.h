#pragma once
// The progress window's way to continue as administrator: relaunches this
// program elevated, saving the update list first when saveList is set.

namespace rk {

void continueAsAdministrator(bool saveList);

} // namespace rk
