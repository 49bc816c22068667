#pragma once
// Shell links (IShellLinkW saved through IPersistFile) and self-registering
// libraries. The calling thread must have initialised COM for links.

#include <string>

namespace rk {

class ShellLink {
public:
    ShellLink();
    ~ShellLink();
    ShellLink(const ShellLink&) = delete;
    ShellLink& operator=(const ShellLink&) = delete;

    // False when the shell link object cannot be created.
    bool create();
    bool setTarget(const std::wstring& target, const std::wstring& workingFolder);
    bool setIcon(const std::wstring& iconFile, int index);
    // Saves the link file and remembers its name.
    bool save(const std::wstring& linkFile);

private:
    struct Impl;
    Impl* m_impl = nullptr;
};

// Loads the library, calls its "DllRegisterServer" when it has one (its result
// ignored) and unloads it. True when the export was called; otherwise `failure`
// says why (the library did not load, with the system's reason, or has no such
// export).
bool callDllRegisterServer(const std::wstring& library, std::wstring& failure);

} // namespace rk
