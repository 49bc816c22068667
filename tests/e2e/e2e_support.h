#pragma once
// What the end-to-end tests share: a stamped updater per test in a folder of
// its own, starting it and waiting while this thread keeps pumping messages
// (the updater sends to our windows and waits for the answer).

#include <string>
#include <vector>

namespace rk::e2e {

std::wstring buildDir(); // Windows path of the build folder, with "\"

struct Deployment {
    std::wstring folder;       // the test's own folder, with "\"
    std::wstring exe;          // the stamped updater
    std::wstring appDirectory; // C:\Mellowby\mbqb\<...>\ it will use
    std::string embedded;      // the bytes it embeds
};

// Makes <C:\rktest\test>\<subFolder>\renewkit.exe stamped with `ini`, and
// removes what an earlier run left in its application directory.
Deployment makeUpdater(const std::wstring& test, const std::string& ini, const std::wstring& subFolder = L"bin",
                       const std::wstring& appSubFolder = L"");

// Starts the command line and waits for it, pumping messages; the exit code,
// or -1 when it could not start or did not end in time.
long long runProgram(const std::wstring& commandLine, unsigned timeoutMs = 60000);

std::string readBytes(const std::wstring& path);
// The texts of the run log (inst.log) in the folder, without their time stamps, in order.
std::vector<std::wstring> logTexts(const std::wstring& appDirectory);
void writeBytes(const std::wstring& path, const std::string& bytes);

} // namespace rk::e2e
