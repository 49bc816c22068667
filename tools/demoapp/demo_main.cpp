// demo.exe: the sample host application of the demo deployment. It knows its
// own version (fixed at build time) and reports it: on the console with
// --version, and in demo-started.txt beside itself when started without one,
// as the updater starts it after an update.

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#ifndef DEMO_VERSION
#error "DEMO_VERSION names the version this build reports"
#endif

int wmain(int argc, wchar_t** argv)
{
    if (argc > 1 && std::wcscmp(argv[1], L"--version") == 0) {
        std::printf("RenewKit demo application, version %d\n", DEMO_VERSION);
        return 0;
    }
    wchar_t path[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring file(path, n);
    file = file.substr(0, file.rfind(L'\\') + 1) + L"demo-started.txt";
    if (FILE* out = _wfopen(file.c_str(), L"ab")) {
        std::fprintf(out, "demo.exe version %d started\r\n", DEMO_VERSION);
        std::fclose(out);
    }
    return 0;
}
