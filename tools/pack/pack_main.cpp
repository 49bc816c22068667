// renewkit-pack: publishes a release folder for the updater (see README, Deploying).

#include "tools/pack/pack.h"
#include "tools/pack/signing.h"

#include <cstdio>

int wmain(int argc, wchar_t** argv)
{
    std::vector<std::wstring> args(argv + 1, argv + argc);
    rk::pack::PackOptions options;
    std::wstring error;
    if (!rk::pack::parseArguments(args, options, error)) {
        std::fwprintf(stderr, L"renewkit-pack: %ls\n%ls", error.c_str(), rk::pack::usage().c_str());
        return 2;
    }
    if (options.keygen) {
        std::wstring line;
        error = rk::pack::generateKeyFiles(options.keyPrefix, line);
        if (!error.empty()) {
            std::fwprintf(stderr, L"renewkit-pack: %ls\n", error.c_str());
            return 1;
        }
        std::fwprintf(stdout,
                      L"renewkit-pack: private key %ls.key (keep it secret), public key %ls.pub\n[Security]\n%ls\n",
                      options.keyPrefix.c_str(), options.keyPrefix.c_str(), line.c_str());
        return 0;
    }
    std::vector<rk::pack::PackedFile> packed;
    error = rk::pack::packRelease(options, &packed);
    if (!error.empty()) {
        std::fwprintf(stderr, L"renewkit-pack: %ls\n", error.c_str());
        return 1;
    }
    std::fwprintf(stdout, L"renewkit-pack: %d files packed into %ls\n", static_cast<int>(packed.size()),
                  options.output.c_str());
    return 0;
}
