#pragma once
// Process-level services: command line, resources of the executable, shell
// folders, COM and socket start-up, windows by handle.

#include <cstdint>
#include <string>

namespace rk {

std::wstring processCommandLine();

// Ends this process at once with the code (no shut-down of our own runs).
[[noreturn]] void exitProcess(unsigned code);

// The bytes of a resource of the running executable; empty when missing.
std::string loadResourceBytes(const wchar_t* type, int id);
std::string loadResourceBytes(int type, int id);

// The shell's folder for a CSIDL value, without a trailing backslash; empty when unavailable.
std::wstring specialFolderPath(int csidl);

bool isExistingWindow(std::uintptr_t handle);
// An existing window that another process owns.
bool isOtherProgramsWindow(std::uintptr_t handle);

// "error N" and the system's text for a Win32 error code, for log lines.
std::wstring systemErrorText(unsigned long code);

// Initialises COM for the calling thread; uninitialises only when that succeeded
// (S_FALSE too needs its matching call).
class ComApartment {
public:
    ComApartment();
    ~ComApartment();
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    bool ok() const { return m_ok; }

private:
    bool m_ok = false;
};

// The system's socket library, version 1.1, for the life of the object.
class SocketLibrary {
public:
    SocketLibrary();
    ~SocketLibrary();
    SocketLibrary(const SocketLibrary&) = delete;
    SocketLibrary& operator=(const SocketLibrary&) = delete;

private:
    bool m_ok = false;
};

} // namespace rk
