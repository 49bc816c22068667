#include "core/process_state.h"
#include "install/apply_update.h"
#include "install/file_replace.h"
#include "install/local_check.h"
#include "install/old_files.h"
#include "platform/files.h"
#include "platform/handles.h"
#include "tests/unit/test_folder.h"

#include <gtest/gtest.h>
#include <windows.h>

using namespace rk;

namespace {

std::string oldFilesList(const test::TestFolder& dir)
{
    std::string bytes;
    readFileBytes(dir.file(kOldFilesList), bytes);
    return bytes;
}

UniqueFile holdOpen(const std::wstring& path, DWORD share)
{
    return UniqueFile(::CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr));
}

} // namespace

TEST(ReplaceFile, EveryTargetButTheLastGetsACopyAndTheMarkerGoes)
{
    test::TestFolder dir(L"replace-two-targets");
    dir.write(L"tmp\\a.txt_", "new");
    dir.write(L"a.txt", "old");
    const std::vector<std::wstring> targets{dir.file(L"a.txt"), dir.file(L"deep\\er\\b.txt")};
    EXPECT_TRUE(replaceFile(dir.file(L"tmp\\a.txt"), targets));
    EXPECT_EQ(dir.read(L"a.txt"), "new");
    EXPECT_EQ(dir.read(L"deep\\er\\b.txt"), "new") << "missing folders are created";
    EXPECT_FALSE(fileExists(dir.file(L"tmp\\a.txt_")));
    EXPECT_FALSE(fileExists(dir.file(L"a.txt.__new")));
    EXPECT_FALSE(fileExists(dir.file(L"a.txt.__old"))) << "a free target needs no backup";
    EXPECT_FALSE(fileExists(dir.file(kOldFilesList)));
}

TEST(ReplaceFile, MissingMarkerChangesNothingAndReadOnlyTargetsAreReplaced)
{
    test::TestFolder dir(L"replace-marker-missing");
    dir.write(L"a.txt", "old");
    EXPECT_FALSE(replaceFile(dir.file(L"tmp\\a.txt"), {dir.file(L"a.txt")}));
    EXPECT_EQ(dir.read(L"a.txt"), "old");

    dir.write(L"tmp\\a.txt_", "new");
    ::SetFileAttributesW(dir.file(L"a.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(replaceFile(dir.file(L"tmp\\a.txt"), {dir.file(L"a.txt")}));
    EXPECT_EQ(dir.read(L"a.txt"), "new");
}

TEST(ReplaceFile, TargetInUseIsRenamedToTheFirstFreeBackupName)
{
    test::TestFolder dir(L"replace-in-use");
    dir.write(L"tmp\\lib.dll_", "new");
    dir.write(L"lib.dll", "old");
    // A backup of an earlier run that is still in use itself.
    dir.write(L"lib.dll.__old", "older");
    UniqueFile stale = holdOpen(dir.file(L"lib.dll.__old"), FILE_SHARE_READ);
    ASSERT_TRUE(stale.valid());
    // Open as a running program holds its image: readers and renames allowed, no replacing writes.
    UniqueFile held = holdOpen(dir.file(L"lib.dll"), FILE_SHARE_READ | FILE_SHARE_DELETE);
    ASSERT_TRUE(held.valid());

    EXPECT_TRUE(replaceFile(dir.file(L"tmp\\lib.dll"), {dir.file(L"lib.dll")}));
    EXPECT_EQ(dir.read(L"lib.dll"), "new");
    const std::string list = oldFilesList(dir);
    if (fileExists(dir.file(L"lib.dll.__old0"))) {
        EXPECT_EQ(dir.read(L"lib.dll.__old0"), "old");
        EXPECT_EQ(list, "\r\n" + std::string(dir.file(L"lib.dll.__old0").begin(), dir.file(L"lib.dll.__old0").end()));
    } else {
        // The system replaced the open file in place: then nothing needed a backup.
        EXPECT_EQ(list, "");
    }
    EXPECT_EQ(dir.read(L"lib.dll.__old"), "older");
}

TEST(ReplaceFile, TargetThatCanNeitherBeReplacedNorRenamedStaysAndTheMarkerIsKept)
{
    test::TestFolder dir(L"replace-locked");
    dir.write(L"tmp\\data.bin_", "new");
    dir.write(L"data.bin", "old");
    UniqueFile held = holdOpen(dir.file(L"data.bin"), 0);
    ASSERT_TRUE(held.valid());
    EXPECT_FALSE(replaceFile(dir.file(L"tmp\\data.bin"), {dir.file(L"data.bin")}));
    held.reset();
    EXPECT_EQ(dir.read(L"data.bin"), "old");
    EXPECT_TRUE(fileExists(dir.file(L"tmp\\data.bin_"))) << "a later run can try again";
    EXPECT_FALSE(fileExists(dir.file(L"data.bin.__new")));
    EXPECT_FALSE(fileExists(dir.file(L"data.bin.__old9")));
}

TEST(FileHelpers, MoveTreeNeverOverwritesAndDeleteFileIsRelativeToTheApplication)
{
    test::TestFolder dir(L"move-tree");
    dir.write(L"src\\a.txt", "a");
    dir.write(L"src\\sub\\b.txt", "b");
    dir.write(L"dst\\a.txt", "kept");
    createDirectory(dir.file(L"dst\\sub"));
    moveTree(dir.file(L"src"), dir.file(L"dst"));
    EXPECT_EQ(dir.read(L"dst\\a.txt"), "kept");
    EXPECT_EQ(dir.read(L"dst\\sub\\b.txt"), "b");
    EXPECT_FALSE(directoryExists(dir.file(L"src\\sub")));

    dir.write(L"rel.txt", "x");
    EXPECT_TRUE(deleteFile(L"rel.txt"));
    EXPECT_FALSE(fileExists(dir.file(L"rel.txt")));
}

TEST(WriteTest, MissingFilesAreProbedAndLockedFilesReported)
{
    test::TestFolder dir(L"write-test");
    setElevated(false);
    clearAdminRequiredFiles();
    EXPECT_TRUE(testWritable(dir.file(L"new.txt")));
    EXPECT_FALSE(fileExists(dir.file(L"new.txt"))) << "the probe file is deleted again";

    dir.write(L"ro.txt", "x");
    ::SetFileAttributesW(dir.file(L"ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    // Writable either way: opened despite the flag (root under Wine) or after clearing it.
    EXPECT_TRUE(testWritable(dir.file(L"ro.txt")));
    EXPECT_TRUE(adminRequiredFiles().empty());

    dir.write(L"held.txt", "x");
    UniqueFile reader = holdOpen(dir.file(L"held.txt"), FILE_SHARE_READ);
    EXPECT_FALSE(testWritable(dir.file(L"held.txt"))) << "even a reader locks a plain file";

    dir.write(L"prog.exe", "x");
    UniqueFile image = holdOpen(dir.file(L"prog.exe"), FILE_SHARE_READ | FILE_SHARE_DELETE);
    EXPECT_TRUE(testWritable(dir.file(L"prog.exe"))) << "a program that can be renamed can be replaced";
    EXPECT_TRUE(fileExists(dir.file(L"prog.exe")));
    EXPECT_FALSE(fileExists(dir.file(L"prog.exe.__test")));
    EXPECT_TRUE(adminRequiredFiles().empty());
}

TEST(SaveLocalList, TheListFileThenItsTwinThenAFreshDownload)
{
    test::TestFolder dir(L"save-local-list");
    CopyStageInput input;
    input.listFile = dir.file(L"tmp\\key.xml.xml");
    int fetches = 0;
    input.refetchList = [&](const std::wstring& destination) {
        ++fetches;
        return writeFileBytes(destination, "<update>fetched</update>");
    };

    dir.write(L"tmp\\key.xml.xml", "<update>list</update>");
    dir.write(L"renewkit.xml", "<update>old</update>");
    EXPECT_TRUE(saveLocalList(input));
    EXPECT_EQ(dir.read(L"renewkit.xml"), "<update>list</update>");
    EXPECT_FALSE(fileExists(input.listFile));

    dir.write(L"tmp\\key.xml", "<update>twin</update>");
    EXPECT_TRUE(saveLocalList(input)) << "\".xml.xml\" has the \".xml\" file as its twin";
    EXPECT_EQ(dir.read(L"renewkit.xml"), "<update>twin</update>");

    EXPECT_TRUE(saveLocalList(input));
    EXPECT_EQ(dir.read(L"renewkit.xml"), "<update>fetched</update>");
    EXPECT_EQ(fetches, 1);

    input.refetchList = [](const std::wstring&) { return false; };
    EXPECT_FALSE(saveLocalList(input)) << "nothing to save from";
    EXPECT_EQ(dir.read(L"renewkit.xml"), "<update>fetched</update>") << "the old local list stays";
}

TEST(BackupNames, FirstUsableNameIsTakenAndRecordedElevenRefusalsFail)
{
    test::TestFolder dir(L"backup-names");
    dir.write(L"lib.dll", "old");
    // Names taken by folders cannot be renamed onto.
    createDirectory(dir.file(L"lib.dll.__old"));
    createDirectory(dir.file(L"lib.dll.__old0"));
    EXPECT_TRUE(backupTarget(dir.file(L"lib.dll")));
    EXPECT_EQ(dir.read(L"lib.dll.__old1"), "old");
    const std::wstring backup = dir.file(L"lib.dll.__old1");
    EXPECT_EQ(oldFilesList(dir), "\r\n" + std::string(backup.begin(), backup.end()));

    dir.write(L"app.exe", "old");
    createDirectory(dir.file(L"app.exe.__old"));
    for (int j = 0; j < 10; ++j)
        createDirectory(dir.file(L"app.exe.__old" + std::to_wstring(j)));
    EXPECT_FALSE(backupTarget(dir.file(L"app.exe")));
    EXPECT_EQ(dir.read(L"app.exe"), "old");
    EXPECT_EQ(oldFilesList(dir), "\r\n" + std::string(backup.begin(), backup.end())) << "nothing more recorded";
}
