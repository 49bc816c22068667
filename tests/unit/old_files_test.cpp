#include "install/old_files.h"
#include "platform/files.h"
#include "platform/handles.h"
#include "tests/unit/test_folder.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cwchar>
#include <string>

using namespace rk;

TEST(OldFiles, ParsesLinesOfEitherEnding)
{
    auto paths = parseOldFiles("\r\nC:\\a.old\r\n\r\nC:\\b.old\nC:\\c.old");
    ASSERT_EQ(paths.size(), 3u);
    EXPECT_EQ(paths[0], L"C:\\a.old");
    EXPECT_EQ(paths[2], L"C:\\c.old");
    EXPECT_TRUE(parseOldFiles("").empty());
}

TEST(OldFiles, BackupNamesEndInOldAndANumber)
{
    EXPECT_EQ(backupTargetName(L"C:\\a\\lib.dll.__old"), L"C:\\a\\lib.dll");
    EXPECT_EQ(backupTargetName(L"C:\\a\\lib.dll.__old9"), L"C:\\a\\lib.dll");
    EXPECT_EQ(backupTargetName(L"C:\\a\\lib.dll.__OLD12"), L"C:\\a\\lib.dll");
    EXPECT_EQ(backupTargetName(L"tool.exe.__old0"), L"tool.exe");
    for (const wchar_t* foreign :
         {L"C:\\Windows\\system32\\kernel32.dll", L"C:\\a\\lib.dll.__oldx", L"C:\\a\\lib.__old.dll", L"C:\\a\\.__old",
          L"C:.__old", L".__old3", L"", L"C:\\a\\lib.dll.old", L"C:\\a\\lib.dll__old"})
        EXPECT_EQ(backupTargetName(foreign), L"") << std::string(foreign, foreign + std::wcslen(foreign));
}

TEST(OldFiles, PurgeDeletesBackupsAndThenTheList)
{
    test::TestFolder dir(L"oldfiles-purge");
    dir.write(L"a.dll", "a new");
    dir.write(L"a.dll.__old", "a");
    dir.write(L"b.dll", "b new");
    dir.write(L"b.dll.__old3", "b");
    appendOldFile(dir.file(L"a.dll.__old"));
    appendOldFile(dir.file(L"b.dll.__old3"));
    appendOldFile(dir.file(L"gone-already.dll.__old"));
    purgeOldFiles();
    EXPECT_FALSE(fileExists(dir.file(L"a.dll.__old")));
    EXPECT_FALSE(fileExists(dir.file(L"b.dll.__old3")));
    EXPECT_EQ(dir.read(L"a.dll"), "a new");
    EXPECT_FALSE(fileExists(dir.file(kOldFilesList)));
}

TEST(OldFiles, PurgeLeavesForeignNamesAloneAndPutsBackABackupWhoseFileIsMissing)
{
    test::TestFolder dir(L"oldfiles-foreign");
    dir.write(L"precious.txt", "mine");
    dir.write(L"lib.dll.__oldx", "not ours");
    dir.write(L"tool.exe.__old", "the only copy");
    appendOldFile(dir.file(L"precious.txt"));
    appendOldFile(dir.file(L"lib.dll.__oldx"));
    appendOldFile(dir.file(L"tool.exe.__old"));
    purgeOldFiles();
    EXPECT_EQ(dir.read(L"precious.txt"), "mine");
    EXPECT_EQ(dir.read(L"lib.dll.__oldx"), "not ours");
    EXPECT_EQ(dir.read(L"tool.exe"), "the only copy");
    EXPECT_FALSE(fileExists(dir.file(L"tool.exe.__old")));
    EXPECT_FALSE(fileExists(dir.file(kOldFilesList))) << "nothing left for the next start";
}

TEST(OldFiles, ListStaysWhileABackupIsInUse)
{
    test::TestFolder dir(L"oldfiles-busy");
    dir.write(L"busy", "x new");
    dir.write(L"busy.__old", "x");
    dir.write(L"free", "y new");
    dir.write(L"free.__old", "y");
    appendOldFile(dir.file(L"busy.__old"));
    appendOldFile(dir.file(L"free.__old"));
    {
        // Held open without delete sharing, as a running program holds its image.
        UniqueFile held(::CreateFileW(dir.file(L"busy.__old").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held.valid());
        purgeOldFiles();
        EXPECT_TRUE(fileExists(dir.file(L"busy.__old")));
        EXPECT_FALSE(fileExists(dir.file(L"free.__old")));
        EXPECT_TRUE(fileExists(dir.file(kOldFilesList)));
    }
    purgeOldFiles();
    EXPECT_FALSE(fileExists(dir.file(kOldFilesList)));
}
