#include "install/rename_probe.h"

#include "core/app_directory.h"
#include "core/path_text.h"
#include "core/run_log.h"
#include "install/file_replace.h"
#include "install/old_files.h"
#include "platform/codepage.h"
#include "platform/file_probe.h"
#include "platform/files.h"
#include "platform/sleep.h"

#include <algorithm>
#include <vector>

namespace rk {
namespace {

// A scanner or an indexer may hold the file for a moment.
constexpr int kRenameBackTries = 10;
constexpr unsigned long kRenameBackPauseMs = 100;

std::wstring recordPath() { return applicationDirectory() + kRenameTestList; }

std::vector<std::wstring> recordedNames()
{
    std::string bytes;
    if (!readFileBytes(recordPath(), bytes))
        return {};
    return parseOldFiles(bytes);
}

// Rewrites the record with these names, or removes it when there are none.
void keepRecorded(const std::vector<std::wstring>& names)
{
    if (names.empty()) {
        deleteFileForced(recordPath());
        return;
    }
    std::wstring text;
    for (const auto& name : names)
        text += L"\r\n" + name;
    writeFileBytes(recordPath(), wideToBytes(text, kCodePageThreadAnsi));
}

void forget(const std::wstring& testName)
{
    std::vector<std::wstring> names = recordedNames();
    names.erase(std::remove(names.begin(), names.end(), testName), names.end());
    keepRecorded(names);
}

bool endsWithTestSuffix(const std::wstring& path)
{
    const std::wstring suffix = kRenameTestSuffix;
    const std::wstring lower = toLower(path);
    return lower.size() > suffix.size() && lower.compare(lower.size() - suffix.size(), suffix.size(), suffix) == 0;
}

} // namespace

RenameProbe probeByRename(const std::wstring& path)
{
    const std::wstring testName = path + kRenameTestSuffix;
    deleteFileForced(testName);
    // Recorded before the rename: a process that dies after it leaves the
    // program under the test name, and only the record says where it is.
    appendFileBytes(recordPath(), wideToBytes(L"\r\n" + testName, kCodePageThreadAnsi));
    if (!renameFile(path, testName)) {
        const unsigned long error = lastError();
        forget(testName);
        return error == kErrorAccessDenied ? RenameProbe::AccessDenied : RenameProbe::Refused;
    }
    notifyCopyStep(L"rename test", path);
    for (int i = 0; i < kRenameBackTries; ++i) {
        if (renameFile(testName, path)) {
            forget(testName);
            return RenameProbe::Renamed;
        }
        sleepFor(kRenameBackPauseMs);
    }
    logLine(L"The file could not be given its name back after the rename test; the next start restores it[" + path +
            L"]");
    return RenameProbe::Refused;
}

void restoreRenameTests()
{
    if (!fileExists(recordPath()))
        return;
    std::vector<std::wstring> kept;
    for (const auto& testName : recordedNames()) {
        if (!endsWithTestSuffix(testName) || !fileExists(testName))
            continue;
        const std::wstring original = testName.substr(0, testName.size() - std::wstring(kRenameTestSuffix).size());
        if (pathExists(original)) {
            logLine(L"Left from a rename test, left in place since its name is taken[" + testName + L"]");
            continue;
        }
        if (renameFile(testName, original))
            logLine(L"Name given back after an interrupted rename test[" + original + L"]");
        else
            kept.push_back(testName);
    }
    keepRecorded(kept);
}

} // namespace rk
