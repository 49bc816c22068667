#pragma once
// What the fetch tests share: the packed releases the servers serve, a test
// folder with its own renewkit.ini and run log, and a clean shared update list.

#include "list/update_list.h"
#include "tests/unit/test_folder.h"

#include <string>
#include <vector>

namespace rk::test {

// Bytes of a file of a release source (STATE/releases/NAME/...), path with "/".
std::string releaseBytes(const std::wstring& release, const std::wstring& path);
// Address of a packed release file on nginx (pub/NAME/PATH).
std::wstring publishedUrl(const std::wstring& release, const std::wstring& path);
// The servers' data folder (Windows path with "\"), for files a test makes itself.
std::wstring dataDir();

// A test folder whose renewkit.ini holds [RenewKit] Log=run.log plus the given
// INI lines, with the shared update list emptied on both ends.
class FetchFolder {
public:
    explicit FetchFolder(const std::wstring& name, const std::string& iniLines = std::string());
    ~FetchFolder();
    FetchFolder(const FetchFolder&) = delete;
    FetchFolder& operator=(const FetchFolder&) = delete;

    const TestFolder& dir() const { return m_dir; }
    std::wstring file(const std::wstring& name) const { return m_dir.file(name); }
    std::string runLog() const { return m_dir.read(L"run.log"); }

private:
    TestFolder m_dir;
};

void clearSharedList();
// Entries of the shared list for these URLs (path = the URL's last piece unless given).
updatefileinfo fileEntry(const std::wstring& url, const std::wstring& path);

// Counted polls of 10 ms until the test holds, at most `tries` times.
template <typename Test> bool waitFor(Test test, int tries = 6000);

// How often the text occurs.
int occurrences(const std::string& text, const std::string& part);

} // namespace rk::test

#include "platform/sleep.h"

template <typename Test> bool rk::test::waitFor(Test test, int tries)
{
    for (int i = 0; i < tries; ++i) {
        if (test())
            return true;
        rk::sleepFor(10);
    }
    return test();
}
