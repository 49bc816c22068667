#pragma once
// Process-wide facts fixed at start-up and read by every stage.

#include <string>

namespace rk {

// On the command line of a copy started by the relaunch as administrator.
inline const wchar_t kRunAsAdminMarker[] = L"___runas_admin___";

// True in that copy: the normalised command line holds the marker.
bool isElevated();
void setElevated(bool elevated);

// File name of the updater's own executable without folder and extension.
std::wstring programBaseName();
void setProgramBaseName(const std::wstring& name);

// The application's main window (the progress window while it is shown); null otherwise.
void* mainWindow();
void setMainWindow(void* window);

// [RenewKit] ConnectTryCount, default 3.
long connectionAttempts();
void setConnectionAttempts(long attempts);

} // namespace rk
