// renewkit-stamp: makes a deployment's updater from a built renewkit.exe and an INI file.

#include "tools/stamp/stamp.h"

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3 || argc > 4) {
        std::fwprintf(stderr, L"usage: renewkit-stamp renewkit.exe config.ini [output.exe]\n"
                              L"Replaces the embedded configuration; without output.exe, in place.\n");
        return 2;
    }
    std::wstring exe = argv[1];
    std::wstring output = argc == 4 ? argv[3] : exe;
    std::wstring error = rk::stamp::stampExecutable(exe, argv[2], output);
    if (!error.empty()) {
        std::fwprintf(stderr, L"renewkit-stamp: %ls\n", error.c_str());
        return 1;
    }
    return 0;
}
