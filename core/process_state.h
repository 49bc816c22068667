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

// [RenewKit] ConnectTryCount, default 3.
long connectionAttempts();
void setConnectionAttempts(long attempts);

// The application's main window: the progress window while it is shown
// (null otherwise). Prompts that must close it, and owned message boxes, use it.
void* mainWindow();
void setMainWindow(void* window);

} // namespace rk
