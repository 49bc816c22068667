#pragma once
// Process-wide facts fixed at start-up and read by every stage.

#include <string>

namespace rk {

bool isElevated();
void setElevated(bool elevated);

// File name of the updater's own executable without folder and extension.
std::wstring programBaseName();
void setProgramBaseName(const std::wstring& name);

// [RenewKit] ConnectTryCount, default 3.
long connectionAttempts();
void setConnectionAttempts(long attempts);

} // namespace rk
