#include "install/old_files.h"

#include "core/app_directory.h"
#include "core/path_helpers.h"
#include "core/path_text.h"
#include "core/run_log.h"
#include "platform/codepage.h"
#include "platform/file_probe.h"
#include "platform/files.h"

#include <cwctype>

namespace rk {
namespace {

constexpr wchar_t kBackupSuffix[] = L".__old";

std::wstring listPath() { return applicationDirectory() + kOldFilesList; }

} // namespace

std::vector<std::wstring> parseOldFiles(const std::string& bytes)
{
    std::vector<std::wstring> paths;
    size_t start = 0;
    while (start <= bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos)
            end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            paths.push_back(bytesToWide(line, kCodePageThreadAnsi));
        start = end + 1;
    }
    return paths;
}

std::wstring backupTargetName(const std::wstring& path)
{
    size_t end = path.size();
    while (end > 0 && std::iswdigit(path[end - 1]))
        --end;
    const size_t suffix = sizeof kBackupSuffix / sizeof kBackupSuffix[0] - 1;
    if (end <= suffix)
        return L"";
    for (size_t i = 0; i < suffix; ++i) {
        if (std::towlower(path[end - suffix + i]) != kBackupSuffix[i])
            return L"";
    }
    const std::wstring target = path.substr(0, end - suffix);
    // A bare ".__old" in a folder names no file of ours.
    if (target.empty() || target.back() == L'\\' || target.back() == L'/' || target.back() == L':')
        return L"";
    return target;
}

void purgeOldFiles()
{
    std::string bytes;
    if (!readFileBytes(listPath(), bytes))
        return;
    bool allGone = true;
    for (const auto& line : parseOldFiles(bytes)) {
        // A name without a drive is the application directory's, as deleteFile takes it.
        const std::wstring path =
            line.find(L':') == std::wstring::npos ? collapseBackslashes(applicationDirectory() + L"\\" + line) : line;
        const std::wstring target = backupTargetName(path);
        if (target.empty()) {
            // Any program of the user can write this list; an updater started
            // as administrator must not delete what it names.
            logLine(L"Not a backup name, left alone[" + path + L"]");
            continue;
        }
        if (!fileExists(path))
            continue;
        if (!pathExists(target)) {
            // The new file never reached its place: the backup is the program's only copy.
            if (renameFile(path, target))
                logLine(L"Backup put back, its file was missing[" + path + L"]");
            else
                allGone = false;
            continue;
        }
        if (!deleteFile(path))
            allGone = false;
    }
    if (allGone)
        deleteFile(listPath());
}

void appendOldFile(const std::wstring& path)
{
    appendFileBytes(listPath(), wideToBytes(L"\r\n" + path, kCodePageThreadAnsi));
}

} // namespace rk
