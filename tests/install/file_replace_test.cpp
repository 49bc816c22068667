#include "core/process_state.h"
#include "install/apply_update.h"
#include "install/file_replace.h"
#include "install/local_check.h"
#include "install/old_files.h"
#include "install/rename_probe.h"
#include "platform/files.h"
#include "platform/handles.h"
#include "tests/e2e/e2e_support.h"
#include "tests/install/installation.h"
#include "tests/unit/test_folder.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>

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

// Does something once, right after the named step of the copy stage, as
// another program could at that moment.
class AtStep final : public CopyStepObserver {
public:
    AtStep(const wchar_t* step, std::function<void(const std::wstring&)> action)
        : m_step(step), m_action(std::move(action))
    {
        setCopyStepObserver(this);
    }
    ~AtStep() override { setCopyStepObserver(nullptr); }
    AtStep(const AtStep&) = delete;
    AtStep& operator=(const AtStep&) = delete;
    void afterStep(const wchar_t* step, const std::wstring& path) override
    {
        if (!m_done && m_step == step) {
            m_done = true;
            m_action(path);
        }
    }

private:
    std::wstring m_step;
    std::function<void(const std::wstring&)> m_action;
    bool m_done = false;
};

// rk_sleeper running from the path until the object goes: its image is in use,
// so the file can be renamed but not replaced.
class RunningProgram {
public:
    explicit RunningProgram(const std::wstring& path) : m_stop(path + L".stop")
    {
        m_process = test::startProgram(L"\"" + path + L"\" wait-for \"" + m_stop + L"\"");
        m_started = m_process.hProcess && test::waitForFile(m_stop + L".started");
    }
    ~RunningProgram()
    {
        if (!m_process.hProcess)
            return;
        writeFileBytes(m_stop, "");
        ::WaitForSingleObject(m_process.hProcess, 60000);
        ::CloseHandle(m_process.hProcess);
        ::CloseHandle(m_process.hThread);
    }
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;
    bool started() const { return m_started; }

private:
    std::wstring m_stop;
    PROCESS_INFORMATION m_process{};
    bool m_started = false;
};

} // namespace

TEST(FileReplace, EveryTargetButTheLastGetsACopyAndTheMarkerGoes)
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

TEST(FileReplace, MissingMarkerChangesNothingAndReadOnlyTargetsAreReplaced)
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

TEST(FileReplace, TargetInUseIsRenamedToTheFirstFreeBackupName)
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
        EXPECT_EQ(list, "\r\n" + test::narrow(dir.file(L"lib.dll.__old0")));
    } else {
        // The system replaced the open file in place: then nothing needed a backup.
        EXPECT_EQ(list, "");
    }
    EXPECT_EQ(dir.read(L"lib.dll.__old"), "older");
}

TEST(FileReplace, TargetThatCanNeitherBeReplacedNorRenamedStaysAndTheMarkerIsKept)
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
    std::wstring backup;
    EXPECT_TRUE(backupTarget(dir.file(L"lib.dll"), backup));
    EXPECT_EQ(backup, dir.file(L"lib.dll.__old1"));
    EXPECT_EQ(dir.read(L"lib.dll.__old1"), "old");
    EXPECT_EQ(oldFilesList(dir), "") << "recorded by the caller, once the new file is in place";

    dir.write(L"app.exe", "old");
    createDirectory(dir.file(L"app.exe.__old"));
    for (int j = 0; j < 10; ++j)
        createDirectory(dir.file(L"app.exe.__old" + std::to_wstring(j)));
    EXPECT_FALSE(backupTarget(dir.file(L"app.exe"), backup));
    EXPECT_EQ(backup, L"");
    EXPECT_EQ(dir.read(L"app.exe"), "old");
}

TEST(FileReplace, NewFileThatCannotBeMovedInPutsTheBackupBackAndRecordsNothing)
{
    test::TestFolder dir(L"replace-put-back");
    const std::string program = e2e::readBytes(test::tool(L"rk_sleeper.exe"));
    dir.write(L"tool.exe", program);
    dir.write(L"tmp\\tool.exe_", program + "version 2");
    RunningProgram running(dir.file(L"tool.exe"));
    ASSERT_TRUE(running.started());
    UniqueFile staged;
    AtStep atBackup(L"backed up", [&staged](const std::wstring& target) {
        // Another program opens the new file just then: it cannot be moved in.
        staged = holdOpen(target + kStagingSuffix, 0);
    });
    EXPECT_FALSE(replaceFile(dir.file(L"tmp\\tool.exe"), {dir.file(L"tool.exe")}));
    EXPECT_TRUE(staged.valid()) << "the target was moved aside";
    staged.reset();
    EXPECT_EQ(dir.read(L"tool.exe"), program) << "the old file is back in its place";
    EXPECT_FALSE(fileExists(dir.file(L"tool.exe.__old")));
    EXPECT_EQ(oldFilesList(dir), "") << "nothing recorded that the next start would delete";
    EXPECT_TRUE(fileExists(dir.file(L"tmp\\tool.exe_"))) << "a later run can try again";
}

TEST(FileReplace, BackupOfATargetInUseIsRecordedOnceTheNewFileIsInPlace)
{
    test::TestFolder dir(L"replace-record-after");
    const std::string program = e2e::readBytes(test::tool(L"rk_sleeper.exe"));
    dir.write(L"tool.exe", program);
    dir.write(L"tmp\\tool.exe_", program + "version 2");
    RunningProgram running(dir.file(L"tool.exe"));
    ASSERT_TRUE(running.started());
    std::string listedAtBackup = "not reached";
    AtStep atBackup(L"backed up", [&](const std::wstring&) { listedAtBackup = oldFilesList(dir); });
    EXPECT_TRUE(replaceFile(dir.file(L"tmp\\tool.exe"), {dir.file(L"tool.exe")}));
    EXPECT_EQ(listedAtBackup, "") << "while the target is missing its backup is not listed";
    EXPECT_EQ(dir.read(L"tool.exe"), program + "version 2");
    EXPECT_EQ(oldFilesList(dir), "\r\n" + test::narrow(dir.file(L"tool.exe.__old")));
}

TEST(WriteTest, ARenameTestThatCannotGiveTheNameBackIsLockedAndTheNextStartRestoresIt)
{
    test::TestFolder dir(L"rename-test-back");
    setElevated(false);
    clearAdminRequiredFiles();
    dir.write(L"prog.exe", "the program");
    // Held as a running program holds its image: no writer, but renames allowed.
    UniqueFile image = holdOpen(dir.file(L"prog.exe"), FILE_SHARE_READ | FILE_SHARE_DELETE);
    ASSERT_TRUE(image.valid());
    AtStep atRename(L"rename test", [](const std::wstring& path) {
        // Another program takes the name meanwhile.
        writeFileBytes(path, "someone else");
    });
    EXPECT_FALSE(testWritable(dir.file(L"prog.exe"))) << "not writable: the name could not be given back";
    image.reset();
    EXPECT_EQ(dir.read(L"prog.exe.__test"), "the program");
    EXPECT_EQ(dir.read(kRenameTestList), "\r\n" + test::narrow(dir.file(L"prog.exe.__test")));

    // The next start, once the name is free again.
    deleteFileForced(dir.file(L"prog.exe"));
    restoreRenameTests();
    EXPECT_EQ(dir.read(L"prog.exe"), "the program");
    EXPECT_FALSE(fileExists(dir.file(L"prog.exe.__test")));
    EXPECT_FALSE(fileExists(dir.file(kRenameTestList)));

    // A rename test that gives the name back leaves no record.
    image = holdOpen(dir.file(L"prog.exe"), FILE_SHARE_READ | FILE_SHARE_DELETE);
    EXPECT_TRUE(testWritable(dir.file(L"prog.exe")));
    EXPECT_FALSE(fileExists(dir.file(kRenameTestList)));
}

TEST(WriteTest, NewFileInAMissingFolderIsTestedInItsNearestExistingFolder)
{
    test::TestFolder dir(L"write-test-missing-folder");
    setElevated(false);
    clearAdminRequiredFiles();
    EXPECT_TRUE(testWritable(dir.file(L"new\\deeper\\file.txt")));
    EXPECT_FALSE(pathExists(dir.file(L"new"))) << "the probe folder is removed again";
    EXPECT_TRUE(adminRequiredFiles().empty());
}

TEST(FileHelpers, TreesAreMovedAndDeletedWithoutFollowingLinks)
{
    test::TestFolder dir(L"tree-links");
    dir.write(L"victim\\precious.txt", "keep");
    dir.write(L"src\\a.txt", "a");
    dir.write(L"tree\\b.txt", "b");
    createDirectory(dir.file(L"dst"));
    e2e::PlantedLink inSource(dir.file(L"src\\planted"), dir.file(L"victim"));
    e2e::PlantedLink inTree(dir.file(L"tree\\sub\\planted"), dir.file(L"victim"));
    e2e::PlantedLink itself(dir.file(L"itself"), dir.file(L"victim"));
    ASSERT_TRUE(inSource.planted() && inTree.planted() && itself.planted());

    moveTree(dir.file(L"src"), dir.file(L"dst"));
    EXPECT_EQ(dir.read(L"dst\\a.txt"), "a");
    EXPECT_FALSE(pathExists(dir.file(L"dst\\planted"))) << "a link is neither followed nor moved";
    deleteTree(dir.file(L"tree"));
    EXPECT_FALSE(fileExists(dir.file(L"tree\\b.txt")));
    deleteTree(dir.file(L"itself"));
    EXPECT_EQ(dir.read(L"victim\\precious.txt"), "keep");
}
