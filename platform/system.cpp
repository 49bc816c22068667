#include "platform/system.h"

#include <winsock2.h>
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

namespace rk {
namespace {

std::string resourceBytes(const wchar_t* type, const wchar_t* name)
{
    HMODULE self = ::GetModuleHandleW(nullptr);
    HRSRC info = ::FindResourceW(self, name, type);
    if (!info)
        return {};
    HGLOBAL data = ::LoadResource(self, info);
    DWORD size = ::SizeofResource(self, info);
    const void* bytes = data ? ::LockResource(data) : nullptr;
    if (!bytes || size == 0)
        return {};
    return std::string(static_cast<const char*>(bytes), size);
}

} // namespace

std::wstring processCommandLine()
{
    const wchar_t* line = ::GetCommandLineW();
    return line ? std::wstring(line) : std::wstring();
}

std::string loadResourceBytes(const wchar_t* type, int id) { return resourceBytes(type, MAKEINTRESOURCEW(id)); }

std::string loadResourceBytes(int type, int id) { return resourceBytes(MAKEINTRESOURCEW(type), MAKEINTRESOURCEW(id)); }

std::wstring specialFolderPath(int csidl)
{
    wchar_t buffer[MAX_PATH + 1] = {};
    if (!::SHGetSpecialFolderPathW(nullptr, buffer, csidl, FALSE))
        return {};
    std::wstring path = buffer;
    while (path.size() > 3 && path.back() == L'\\')
        path.pop_back();
    return path;
}

void exitProcess(unsigned code) { ::ExitProcess(code); }

bool isExistingWindow(std::uintptr_t handle)
{
    return handle != 0 && ::IsWindow(reinterpret_cast<HWND>(handle)) != FALSE;
}

bool isOtherProgramsWindow(std::uintptr_t handle)
{
    if (!isExistingWindow(handle))
        return false;
    DWORD owner = 0;
    ::GetWindowThreadProcessId(reinterpret_cast<HWND>(handle), &owner);
    return owner != 0 && owner != ::GetCurrentProcessId();
}

std::wstring systemErrorText(unsigned long code)
{
    wchar_t buffer[512] = {};
    DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buffer,
                               static_cast<DWORD>(sizeof buffer / sizeof buffer[0]), nullptr);
    std::wstring text(buffer, n);
    while (!text.empty() &&
           (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' || text.back() == L'.'))
        text.pop_back();
    const std::wstring number = L"error " + std::to_wstring(code);
    return text.empty() ? number : number + L" (" + text + L")";
}

ComApartment::ComApartment() : m_ok(SUCCEEDED(::CoInitialize(nullptr))) {}

ComApartment::~ComApartment()
{
    if (m_ok)
        ::CoUninitialize();
}

SocketLibrary::SocketLibrary()
{
    WSADATA data{};
    m_ok = ::WSAStartup(MAKEWORD(1, 1), &data) == 0;
}

SocketLibrary::~SocketLibrary()
{
    if (m_ok)
        ::WSACleanup();
}

} // namespace rk
