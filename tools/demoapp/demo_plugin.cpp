// plugin.dll of the demo application: a library the update list registers.
// Registering it leaves plugin-registered.txt beside it, so a run shows that
// the registration happened.

#include <windows.h>

#include <cstdio>
#include <string>

namespace {
HMODULE g_module = nullptr;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        g_module = instance;
    return TRUE;
}

extern "C" __declspec(dllexport) HRESULT __stdcall DllRegisterServer()
{
    wchar_t path[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(g_module, path, MAX_PATH);
    std::wstring file(path, n);
    file = file.substr(0, file.rfind(L'\\') + 1) + L"plugin-registered.txt";
    FILE* out = _wfopen(file.c_str(), L"ab");
    if (!out)
        return E_FAIL;
    std::fprintf(out, "plugin.dll version %d registered\r\n", DEMO_VERSION);
    std::fclose(out);
    return S_OK;
}
