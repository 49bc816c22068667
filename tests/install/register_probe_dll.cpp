// A library that registers itself by leaving "registered.txt" beside itself,
// so that a test sees DllRegisterServer was called. Built a second time with
// RK_PLAIN_LIBRARY as a library that loads but has nothing to register.

#include <windows.h>

#include <string>

namespace {
HMODULE g_self = nullptr;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        g_self = instance;
    return TRUE;
}

#ifndef RK_PLAIN_LIBRARY
extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllRegisterServer()
{
    wchar_t path[MAX_PATH] = {};
    DWORD length = ::GetModuleFileNameW(g_self, path, MAX_PATH);
    while (length > 0 && path[length - 1] != L'\\')
        --length;
    path[length] = 0;
    std::wstring marker = std::wstring(path) + L"registered.txt";
    HANDLE file = ::CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return E_FAIL;
    DWORD written = 0;
    ::WriteFile(file, "registered", 10, &written, nullptr);
    ::CloseHandle(file);
    return S_OK;
}
#endif
