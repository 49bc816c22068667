// renewkit-pack: publishes a release folder for the updater (see README, Deploying).

#include "tools/pack/pack.h"
#include "tools/pack/signing.h"

#include <chrono>
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
    // Files done of the total, at most once a second and at the end: a pack
    // that makes deltas of large files takes a while.
    rk::pack::PackProgress progress;
    auto last = std::chrono::steady_clock::now();
    progress.files = [&](size_t done, size_t total) {
        const auto now = std::chrono::steady_clock::now();
        if (done < total && now - last < std::chrono::seconds(1))
            return;
        last = now;
        std::fwprintf(stdout, L"renewkit-pack: %d/%d files\n", static_cast<int>(done), static_cast<int>(total));
        std::fflush(stdout);
    };
    progress.note = [](const std::wstring& line) { std::fwprintf(stdout, L"renewkit-pack: %ls\n", line.c_str()); };
    std::vector<rk::pack::PackedFile> packed;
    error = rk::pack::packRelease(options, &packed, progress);
    if (!error.empty()) {
        std::fwprintf(stderr, L"renewkit-pack: %ls\n", error.c_str());
        return 1;
    }
    size_t deltas = 0;
    unsigned long long deltaBytes = 0;
    for (const auto& file : packed) {
        deltas += file.deltas.size();
        for (const auto& delta : file.deltas)
            deltaBytes += delta.size;
    }
    std::fwprintf(stdout, L"renewkit-pack: %d files packed into %ls\n", static_cast<int>(packed.size()),
                  options.output.c_str());
    if (!options.deltaFrom.empty())
        std::fwprintf(stdout, L"renewkit-pack: %d deltas kept, %llu bytes\n", static_cast<int>(deltas), deltaBytes);
    return 0;
}
