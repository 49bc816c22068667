#include "install/old_files.h"
#include "platform/files.h"
#include "platform/handles.h"
#include "tests/unit/test_folder.h"

#include <gtest/gtest.h>
#include <windows.h>

using namespace rk;

TEST(OldFiles, ParsesLinesOfEitherEnding)
{
    auto paths = parseOldFiles("\r\nC:\\a.old\r\n\r\nC:\\b.old\nC:\\c.old");
    ASSERT_EQ(paths.size(), 3u);
    EXPECT_EQ(paths[0], L"C:\\a.old");
    EXPECT_EQ(paths[2], L"C:\\c.old");
    EXPECT_TRUE(parseOldFiles("").empty());
}

TEST(OldFiles, PurgeDeletesBackupsAndThenTheList)
{
    test::TestFolder dir(L"oldfiles-purge");
    dir.write(L"a.dll.old", "a");
    dir.write(L"b.dll.old", "b");
    appendOldFile(dir.file(L"a.dll.old"));
    appendOldFile(dir.file(L"b.dll.old"));
    appendOldFile(dir.file(L"gone-already.old"));
    purgeOldFiles();
    EXPECT_FALSE(fileExists(dir.file(L"a.dll.old")));
    EXPECT_FALSE(fileExists(dir.file(L"b.dll.old")));
    EXPECT_FALSE(fileExists(dir.file(kOldFilesList)));
}

TEST(OldFiles, ListStaysWhileABackupIsInUse)
{
    test::TestFolder dir(L"oldfiles-busy");
    dir.write(L"busy.old", "x");
    dir.write(L"free.old", "y");
    appendOldFile(dir.file(L"busy.old"));
    appendOldFile(dir.file(L"free.old"));
    {
        // Held open without delete sharing, as a running program holds its image.
        UniqueFile held(::CreateFileW(dir.file(L"busy.old").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held.valid());
        purgeOldFiles();
        EXPECT_TRUE(fileExists(dir.file(L"busy.old")));
        EXPECT_FALSE(fileExists(dir.file(L"free.old")));
        EXPECT_TRUE(fileExists(dir.file(kOldFilesList)));
    }
    purgeOldFiles();
    EXPECT_FALSE(fileExists(dir.file(kOldFilesList)));
}
