#pragma once
// Window messages, properties and memory in the process that owns a window.
// Windows are passed as void* so that callers need not include <windows.h>.

#include "platform/handles.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace rk {

using WindowHandle = void*;

namespace wm {
constexpr unsigned kClose = 0x0010;
constexpr unsigned kQueryEndSession = 0x0011;
constexpr unsigned kQuit = 0x0012;
} // namespace wm

std::intptr_t sendMessage(WindowHandle window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam);
// SendMessageTimeoutW with SMTO_ABORTIFHUNG: false when the window hangs or does not answer in time.
bool sendMessageAbortIfHung(WindowHandle window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam,
                            unsigned timeoutMs);
bool postMessage(WindowHandle window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam);
// WM_COMMAND with a control id and no further data, as a button click sends it.
std::intptr_t sendCommand(WindowHandle window, unsigned id);
bool postCommand(WindowHandle window, unsigned id);
// The parent or owner window; null for a top-level window without an owner.
WindowHandle parentWindow(WindowHandle window);

// Property values are numbers stored as the property's handle value; 0 when unset.
std::intptr_t windowProperty(WindowHandle window, const wchar_t* name);
bool setWindowProperty(WindowHandle window, const wchar_t* name, std::intptr_t value);

// Enables or disables the control with this identifier in the window's parent.
void enableParentControl(WindowHandle window, int controlId, bool enable);

// The process that owns the window, opened with full access; empty on failure.
UniqueHandle openWindowProcess(WindowHandle window);
UniqueHandle openOwnProcess();
// True when the window belongs to the calling process.
bool isOwnProcessWindow(WindowHandle window);

// Memory committed in another process (execute-read-write), released with the owner.
class RemoteBuffer {
public:
    RemoteBuffer() = default;
    RemoteBuffer(HANDLE process, std::size_t size);
    ~RemoteBuffer() { reset(); }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;
    RemoteBuffer(RemoteBuffer&& other) noexcept;
    RemoteBuffer& operator=(RemoteBuffer&& other) noexcept;

    void* address() const { return m_address; }
    std::size_t size() const { return m_size; }
    explicit operator bool() const { return m_address != nullptr; }
    bool write(const void* data, std::size_t bytes) const;
    void reset();

private:
    HANDLE m_process = nullptr; // not owned
    void* m_address = nullptr;
    std::size_t m_size = 0;
};

} // namespace rk
