#include "platform/window_messages.h"

#include <windows.h>

#include <utility>

namespace rk {

std::intptr_t sendMessage(WindowHandle window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    return ::SendMessageW(static_cast<HWND>(window), message, wParam, lParam);
}

bool postMessage(WindowHandle window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    return ::PostMessageW(static_cast<HWND>(window), message, wParam, lParam) != FALSE;
}

bool sendMessageAbortIfHung(WindowHandle window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam,
                            unsigned timeoutMs)
{
    DWORD_PTR result = 0;
    return ::SendMessageTimeoutW(static_cast<HWND>(window), message, wParam, lParam, SMTO_ABORTIFHUNG, timeoutMs,
                                 &result) != 0;
}

std::intptr_t sendCommand(WindowHandle window, unsigned id) { return sendMessage(window, WM_COMMAND, id, 0); }

bool postCommand(WindowHandle window, unsigned id) { return postMessage(window, WM_COMMAND, id, 0); }

WindowHandle parentWindow(WindowHandle window) { return ::GetParent(static_cast<HWND>(window)); }

std::intptr_t windowProperty(WindowHandle window, const wchar_t* name)
{
    return reinterpret_cast<std::intptr_t>(::GetPropW(static_cast<HWND>(window), name));
}

bool setWindowProperty(WindowHandle window, const wchar_t* name, std::intptr_t value)
{
    return ::SetPropW(static_cast<HWND>(window), name, reinterpret_cast<HANDLE>(value)) != FALSE;
}

UniqueHandle openWindowProcess(WindowHandle window)
{
    DWORD pid = 0;
    ::GetWindowThreadProcessId(static_cast<HWND>(window), &pid);
    if (pid == 0)
        return UniqueHandle();
    return UniqueHandle(::OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid));
}

UniqueHandle openOwnProcess()
{
    return UniqueHandle(::OpenProcess(PROCESS_ALL_ACCESS, FALSE, ::GetCurrentProcessId()));
}

bool isOwnProcessWindow(WindowHandle window)
{
    DWORD pid = 0;
    ::GetWindowThreadProcessId(static_cast<HWND>(window), &pid);
    return pid != 0 && pid == ::GetCurrentProcessId();
}

RemoteBuffer::RemoteBuffer(HANDLE process, std::size_t size) : m_process(process)
{
    if (process && size > 0) {
        m_address = ::VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE);
        if (m_address)
            m_size = size;
    }
}

RemoteBuffer::RemoteBuffer(RemoteBuffer&& other) noexcept
    : m_process(std::exchange(other.m_process, nullptr)), m_address(std::exchange(other.m_address, nullptr)),
      m_size(std::exchange(other.m_size, 0))
{
}

RemoteBuffer& RemoteBuffer::operator=(RemoteBuffer&& other) noexcept
{
    if (this != &other) {
        reset();
        m_process = std::exchange(other.m_process, nullptr);
        m_address = std::exchange(other.m_address, nullptr);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

bool RemoteBuffer::write(const void* data, std::size_t bytes) const
{
    if (!m_address || bytes > m_size)
        return false;
    SIZE_T written = 0;
    return ::WriteProcessMemory(m_process, m_address, data, bytes, &written) && written == bytes;
}

void RemoteBuffer::reset()
{
    // Released, not only decommitted: a decommitted block keeps its address
    // range reserved in the host for the rest of the host's life.
    if (m_address)
        ::VirtualFreeEx(m_process, m_address, 0, MEM_RELEASE);
    m_address = nullptr;
    m_size = 0;
    m_process = nullptr;
}

void enableParentControl(WindowHandle window, int controlId, bool enable)
{
    HWND parent = ::GetParent(static_cast<HWND>(window));
    if (!parent)
        return;
    if (HWND control = ::GetDlgItem(parent, controlId))
        ::EnableWindow(control, enable ? TRUE : FALSE);
}

} // namespace rk
