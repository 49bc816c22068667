#include "install/old_files.h"

#include "core/app_directory.h"
#include "core/path_helpers.h"
#include "platform/codepage.h"
#include "platform/files.h"

namespace rk {
namespace {

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

void purgeOldFiles()
{
    std::string bytes;
    if (!readFileBytes(listPath(), bytes))
        return;
    bool allGone = true;
    for (const auto& path : parseOldFiles(bytes)) {
        if (fileExists(path) && !deleteFile(path))
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
