#include "core/config.h"
#include "core/process_state.h"
#include "core/path_helpers.h"
#include "core/settings.h"
#include "core/text_format.h"
#include "download/entry_fetch.h"
#include "download/progress_messages.h"
#include "platform/files.h"
#include "platform/zip_io.h"
#include "tests/download/message_recorder.h"
#include "tests/download/server_env.h"
#include "tests/fetch/fetch_support.h"

#include <gtest/gtest.h>

using namespace rk;
using namespace rk::test;

namespace {

// One entry in the shared list so that slot 0 collects notes.
void oneEntry(const std::wstring& url, const std::wstring& path)
{
    DownLoadList::shared().entries.push_back(fileEntry(url, path));
}

std::string notes() { return narrow(DownLoadList::shared().entries.at(0).notes); }

// The address of a packed release file on the fault server with these faults.
std::wstring faultPublished(const std::wstring& faults, const std::wstring& release, const std::wstring& path)
{
    return faultUrl(faults, L"pub/" + release + L"/" + path);
}

} // namespace

TEST(EntryFetch, DestinationLayout)
{
    EXPECT_EQ(entryDestination(L"C:\\t\\key", L"sub/a.dll"), L"C:\\t\\key\\sub\\a.dll");
    EXPECT_EQ(entryDestination(L"C:\\t\\key\\", L"\\sub\\a.dll"), L"C:\\t\\key\\sub\\a.dll");
    EXPECT_EQ(entryDestination(L"C:\\t\\key", L"D:\\abs\\b.dll"), L"C:\\t\\key\\D$\\abs\\b.dll");
    EXPECT_EQ(entryDestination(L"\\\\srv\\share\\key", L"a//b.dll"), L"\\\\srv\\share\\key\\a\\b.dll");
}

TEST(EntryFetch, RobustRenameReplacesTheTargetAndReportsAMissingSource)
{
    FetchFolder folder(L"rename");
    folder.dir().write(L"a", "new");
    folder.dir().write(L"b", "old");
    EXPECT_TRUE(robustRename(folder.file(L"a"), folder.file(L"b")));
    EXPECT_EQ(folder.dir().read(L"b"), "new");
    EXPECT_FALSE(pathExists(folder.file(L"a")));
    EXPECT_FALSE(robustRename(folder.file(L"none"), folder.file(L"c"), 2, 1));
    EXPECT_TRUE(robustRename(folder.file(L"none"), folder.file(L"b"), 2, 1)); // the target is there
}

TEST(EntryFetch, ZippedVariantIsPreferredAndUnpacked)
{
    FetchFolder folder(L"entry-zip");
    const std::wstring token = uniqueToken();
    const std::wstring url = faultPublished(L"plain,t=" + token, L"small", L"app.exe");
    oneEntry(url, L"app.exe");
    const std::wstring dest = folder.file(L"dl\\app.exe");
    ASSERT_TRUE(downloadEntry(nullptr, 0, url, dest));
    EXPECT_TRUE(folder.dir().read(L"dl\\app.exe_") == releaseBytes(L"small", L"app.exe"));
    EXPECT_FALSE(pathExists(dest));
    EXPECT_FALSE(pathExists(dest + L"._.zip"));
    EXPECT_EQ(notes(), "done[" + narrow(url) + "._.zip]\nunzip ok[" + narrow(dest) + "._.zip]\n");
    for (const auto& r : loggedRequests(narrow(token)))
        EXPECT_NE(r.line.find("._.zip"), std::string::npos) << "the plain file was not needed: " << r.line;
}

TEST(EntryFetch, ServerWithoutZippedVariantsCostsOne404ThenThePlainFile)
{
    // One size-query round, so that the one missing variant is asked for once.
    FetchFolder folder(L"entry-nozip");
    const long attempts = connectionAttempts();
    setConnectionAttempts(1);
    const std::wstring token = uniqueToken();
    const std::wstring url = faultPublished(L"nozip,t=" + token, L"small", L"plugins/report.dll");
    oneEntry(url, L"plugins\\report.dll");
    ASSERT_TRUE(downloadEntry(nullptr, 0, url, folder.file(L"dl\\plugins\\report.dll")));
    EXPECT_TRUE(folder.dir().read(L"dl\\plugins\\report.dll_") == releaseBytes(L"small", L"plugins/report.dll"));
    EXPECT_EQ(notes(), "error[" + narrow(url) + "._.zip]\ndone[" + narrow(url) + "]\n");
    int zip404 = 0;
    for (const auto& r : loggedRequests(narrow(token)))
        zip404 += (r.line.find("._.zip") != std::string::npos && r.status == 404) ? 1 : 0;
    EXPECT_EQ(zip404, 1);
    setConnectionAttempts(attempts);
}

TEST(EntryFetch, CorruptZippedVariantFallsBackToThePlainFile)
{
    FetchFolder folder(L"entry-corrupt");
    const std::wstring url = faultPublished(L"corruptzip,t=" + uniqueToken(), L"small", L"app.exe");
    oneEntry(url, L"app.exe");
    const std::wstring dest = folder.file(L"dl\\app.exe");
    ASSERT_TRUE(downloadEntry(nullptr, 0, url, dest));
    EXPECT_TRUE(folder.dir().read(L"dl\\app.exe_") == releaseBytes(L"small", L"app.exe"));
    EXPECT_EQ(notes(),
              "done[" + narrow(url) + "._.zip]\nunzip error[" + narrow(dest) + "._.zip]\ndone[" + narrow(url) + "]\n");
    EXPECT_FALSE(pathExists(dest + L"._.zip"));
    EXPECT_FALSE(pathExists(dest));
}

TEST(EntryFetch, BothVariantsMissingFailsAndLeavesNothing)
{
    FetchFolder folder(L"entry-missing");
    const std::wstring url = faultUrl(L"plain,t=" + uniqueToken(), L"pub/small/nothere.bin");
    oneEntry(url, L"nothere.bin");
    EXPECT_FALSE(downloadEntry(nullptr, 0, url, folder.file(L"dl\\nothere.bin")));
    EXPECT_EQ(notes(), "error[" + narrow(url) + "._.zip]\nerror[" + narrow(url) + "]\n");
    EXPECT_TRUE(listDirectory(folder.file(L"dl")).empty());
}

TEST(EntryFetch, AnEntryMarkedDoneIsCountedWithoutAConnection)
{
    FetchFolder folder(L"entry-done");
    const std::wstring token = uniqueToken();
    const std::wstring url = faultUrl(L"plain,t=" + token, L"pub/small/readme.txt");
    oneEntry(url, L"readme.txt");
    folder.dir().write(L"dl\\readme.txt_", std::string(1234, 'r'));
    MessageRecorder recorder;
    ASSERT_TRUE(downloadEntry(recorder.window(), 0, url, folder.file(L"dl\\readme.txt")));
    EXPECT_TRUE(loggedRequests(narrow(token)).empty());
    auto sizes = recorder.messages(WM_DL_FILESIZE);
    auto received = recorder.messages(WM_DL_RECEIVED);
    ASSERT_EQ(sizes.size(), 1u);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(sizes[0].lParam, 1234);
    EXPECT_EQ(received[0].lParam, 1234);
    EXPECT_EQ(sizes[0].wParam, 0u);
}

TEST(EntryFetch, ListFileRemembersWhetherItCameZipped)
{
    FetchFolder folder(L"entry-list");
    // Read from the temporary configuration, which the test must not touch: set it in the cache.
    SettingsTable::instance().set(L"RenewKitListFileZip", L"1");
    const std::wstring token = uniqueToken();
    const std::wstring url = faultPublished(L"nozip,t=" + token, L"small", L"update.xml");
    const std::wstring listFile = folder.file(L"list.xml");
    ASSERT_TRUE(downloadEntry(nullptr, -1, url, listFile));
    std::string published;
    ASSERT_TRUE(readFileBytes(dataDir() + L"pub\\small\\update.xml", published));
    EXPECT_TRUE(folder.dir().read(L"list.xml") == published);
    EXPECT_EQ(config::read(L"RenewKit", L"ListFileZip"), L"0");
    EXPECT_FALSE(pathExists(listFile + L"_"));
    auto requests = loggedRequests(narrow(token));
    ASSERT_GE(requests.size(), 2u);
    EXPECT_NE(requests.front().line.find("._.zip"), std::string::npos) << "ListFileZip=1 asks for the zip first";

    // Now the plain list is asked first and, served, no zip is asked for.
    const std::wstring token2 = uniqueToken();
    const std::wstring url2 = faultPublished(L"plain,t=" + token2, L"small", L"update.xml");
    ASSERT_TRUE(downloadEntry(nullptr, -1, url2, listFile));
    for (const auto& r : loggedRequests(narrow(token2)))
        EXPECT_EQ(r.line.find("._.zip"), std::string::npos) << r.line;
    EXPECT_EQ(config::read(L"RenewKit", L"ListFileZip"), L"0");
}

TEST(EntryFetch, ZippedListIsUnpackedAndRemembered)
{
    FetchFolder folder(L"entry-list-zip");
    SettingsTable::instance().set(L"RenewKitListFileZip", L"1");
    const std::wstring token = uniqueToken();
    const std::wstring listFile = folder.file(L"list.xml");
    ASSERT_TRUE(downloadEntry(nullptr, -1, faultPublished(L"plain,t=" + token, L"small", L"update.xml"), listFile));
    std::string published;
    ASSERT_TRUE(readFileBytes(dataDir() + L"pub\\small\\update.xml", published));
    EXPECT_TRUE(folder.dir().read(L"list.xml") == published);
    EXPECT_FALSE(pathExists(listFile + L"._.zip"));
    EXPECT_EQ(config::read(L"RenewKit", L"ListFileZip"), L"1");
    for (const auto& r : loggedRequests(narrow(token)))
        EXPECT_NE(r.line.find("._.zip"), std::string::npos) << r.line;
}

TEST(EntryFetch, WithUnZipOffTheZippedVariantIsKeptAsItCame)
{
    FetchFolder folder(L"entry-keepzip", "UnZip=0\r\n");
    const std::wstring url = publishedUrl(L"small", L"readme.txt");
    oneEntry(url, L"readme.txt");
    const std::wstring dest = folder.file(L"dl\\readme.txt");
    ASSERT_TRUE(downloadEntry(nullptr, 0, url, dest));
    std::string zipped;
    ASSERT_TRUE(readFileBytes(dataDir() + L"pub\\small\\readme.txt._.zip", zipped));
    EXPECT_TRUE(folder.dir().read(L"dl\\readme.txt._.zip") == zipped);
    EXPECT_FALSE(pathExists(dest + L"_"));
    EXPECT_EQ(notes(), "done[" + narrow(url) + "._.zip]\n");
}

TEST(EntryFetch, HostileArchivesOnTheServerLandNowhereElse)
{
    FetchFolder folder(L"entry-hostile");
    const std::wstring served = dataDir() + L"hostile-" + uniqueToken() + L"\\";
    const std::string plain = "the plain library";
    createFolderChain(served + L"x");
    ZipWriter evil;
    ASSERT_TRUE(evil.create(served + L"x.dll._.zip"));
    ASSERT_TRUE(evil.beginEntry("..\\..\\evil.dll", false));
    ASSERT_TRUE(evil.write("zipped library", 14) && evil.endEntry() && evil.close());
    ASSERT_TRUE(writeFileBytes(served + L"x.dll", plain));
    ZipWriter bomb; // made here: some 60 MB of zeros in about 60 KB
    ASSERT_TRUE(bomb.create(served + L"b.bin._.zip") && bomb.beginEntry("b.bin", false));
    std::string zeros(1 << 20, '\0');
    for (int i = 0; i < 60; ++i)
        ASSERT_TRUE(bomb.write(zeros.data(), zeros.size()));
    ASSERT_TRUE(bomb.endEntry() && bomb.close());
    ASSERT_TRUE(writeFileBytes(served + L"b.bin", plain));

    std::wstring folderName = served.substr(dataDir().size());
    folderName.pop_back();
    const std::wstring base = nginxUrl(folderName + L"/");
    DownLoadList::shared().entries.push_back(fileEntry(base + L"x.dll", L"lib\\x.dll"));
    DownLoadList::shared().entries.push_back(fileEntry(base + L"b.bin", L"b.bin"));
    ASSERT_TRUE(downloadEntry(nullptr, 0, base + L"x.dll", folder.file(L"dl\\lib\\x.dll")));
    EXPECT_EQ(folder.dir().read(L"dl\\lib\\x.dll_"), "zipped library");
    EXPECT_FALSE(pathExists(folder.file(L"evil.dll")));
    EXPECT_FALSE(pathExists(folder.file(L"dl\\evil.dll")));
    EXPECT_FALSE(pathExists(folder.file(L"dl\\lib\\evil.dll")));

    ASSERT_TRUE(downloadEntry(nullptr, 1, base + L"b.bin", folder.file(L"dl\\b.bin")));
    EXPECT_EQ(folder.dir().read(L"dl\\b.bin_"), plain);
    EXPECT_NE(folder.runLog().find("unzip refused[" + narrow(folder.file(L"dl\\b.bin._.zip")) + "]"), std::string::npos)
        << folder.runLog();
    EXPECT_NE(narrow(DownLoadList::shared().entries[1].notes).find("unzip error["), std::string::npos);
    EXPECT_EQ(listDirectory(folder.file(L"dl")).size(), 2u); // lib and b.bin_: no huge file left
}

TEST(EntryFetch, ZippedVariantOf158BytesThatDoesNotUnpackFallsBackToThePlainFile)
{
    FetchFolder folder(L"entry-158");
    const std::wstring served = dataDir() + L"short-" + uniqueToken() + L"\\";
    const std::string plain = "the plain file, served beside a broken archive";
    createFolderChain(served + L"x");
    ASSERT_TRUE(writeFileBytes(served + L"app.exe", plain));
    ASSERT_TRUE(writeFileBytes(served + L"app.exe._.zip", std::string(158, 'j')));
    ASSERT_TRUE(writeFileBytes(served + L"list.xml", "<update/>"));
    ASSERT_TRUE(writeFileBytes(served + L"list.xml._.zip", std::string(158, 'j')));
    std::wstring folderName = served.substr(dataDir().size());
    folderName.pop_back();
    const std::wstring base = nginxUrl(folderName + L"/");

    oneEntry(base + L"app.exe", L"app.exe");
    const std::wstring dest = folder.file(L"dl\\app.exe");
    ASSERT_TRUE(downloadEntry(nullptr, 0, base + L"app.exe", dest));
    EXPECT_EQ(folder.dir().read(L"dl\\app.exe_"), plain);
    EXPECT_EQ(notes(), "done[" + narrow(base) + "app.exe._.zip]\nunzip error[" + narrow(dest) + "._.zip]\ndone[" +
                           narrow(base) + "app.exe]\n");

    // The list file the same way: a list fetch never reports a file it does not have.
    SettingsTable::instance().set(L"RenewKitListFileZip", L"1");
    const std::wstring listFile = folder.file(L"list.xml");
    ASSERT_TRUE(downloadEntry(nullptr, -1, base + L"list.xml", listFile));
    EXPECT_EQ(folder.dir().read(L"list.xml"), "<update/>");
    EXPECT_EQ(config::read(L"RenewKit", L"ListFileZip"), L"0");
}
