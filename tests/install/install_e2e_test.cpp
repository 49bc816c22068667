// The local check and the copy stage for real under Wine: rk_install_runner on
// a prepared application folder, with real programs, libraries and hosts.

#include "core/path_helpers.h"
#include "core/path_text.h"
#include "install/file_replace.h"
#include "install/old_files.h"
#include "install/rename_probe.h"
#include "platform/files.h"
#include "tests/e2e/e2e_support.h"
#include "tests/install/installation.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>

using namespace rk;
using namespace rk::test;
using rk::e2e::readBytes;
using rk::e2e::runProgram;
using rk::e2e::writeBytes;

TEST(CopyStage, ChangedFilesAreReplacedNewOnesAddedAndTheListSaved)
{
    Installation inst(L"update");
    inst.installed(L"a.txt", "a1");
    inst.installed(L"sub\\same.txt", "same");
    inst.installed(L"gone.txt", "to delete");
    inst.localList("<file path=\"a.txt\" ver=\"1\"/><file path=\"sub|same.txt\" ver=\"1\"/>"
                   "<file path=\"gone.txt\" ver=\"1\"/>");
    inst.offered(L"a.txt", "a2");
    inst.offered(L"sub\\same.txt", "must not be copied");
    inst.offered(L"new\\deep\\n.txt", "n2");
    const std::string remote = "<file path=\"a.txt\" ver=\"2\" shortcut=\"links\\A\"/>"
                               "<file path=\"sub|same.txt\" ver=\"1\"/>"
                               "<file path=\"new|deep|n.txt\" ver=\"2\" DesName=\"n.txt,copy.txt\"/>"
                               "<file path=\"gone.txt\" ver=\"2\" oper=\"del\"/>";
    inst.remoteList(remote);

    EXPECT_EQ(inst.run(L"--probe-version 2.0.1"), 12);
    EXPECT_TRUE(contains(inst.file(L"renewkit.ini"), "Ver=2.0.1")) << "the new version is recorded";
    EXPECT_EQ(inst.file(L"a.txt"), "a2");
    EXPECT_EQ(inst.file(L"sub\\same.txt"), "same");
    EXPECT_EQ(inst.file(L"new\\deep\\n.txt"), "n2");
    EXPECT_EQ(inst.file(L"new\\deep\\copy.txt"), "n2") << "both destination names";
    EXPECT_FALSE(inst.has(L"gone.txt")) << "ACT_DELETE";
    EXPECT_TRUE(inst.has(L"links\\A.lnk"));
    EXPECT_TRUE(contains(inst.file(L"renewkit.xml"), "ver=\"2\""));
    EXPECT_FALSE(inst.has(L"a.txt.__new"));
    const std::string log = inst.log();
    for (const char* line :
         {"Check locked file...", "No locked files", "Copy from temporary directory", "Do upgrade tasks",
          "Clear temp files", "Update completed,done 3 files", "Remove file[gone.txt]", "Create shortcut["})
        EXPECT_TRUE(contains(log, line)) << line;
    EXPECT_TRUE(contains(log, "update file[" + narrow(inst.app) + "a.txt]"));

    // The saved list now matches: a second run selects nothing.
    EXPECT_EQ(inst.run(), 0);
}

TEST(CopyStage, EveryUpgradeActionAndTaskElement)
{
    Installation inst(L"actions");
    const std::string app = narrow(inst.app);
    inst.localList("");
    inst.installed(L"rk_sleeper.exe", readBytes(tool(L"rk_sleeper.exe")));
    inst.installed(L"old\\x.txt", "x");
    inst.installed(L"old\\deeper\\y.txt", "y");
    inst.installed(L"rename-me.txt", "r");
    inst.installed(L"settings.ini", "[S]\r\nDrop=1\r\n");
    inst.offered(L"probe.dll", readBytes(tool(L"rk_register_probe.dll")));
    inst.offered(L"tasks.xml", "<tasks>"
                               "<run file=\"{app}\\rk_sleeper.exe\" param=\"touch " +
                                   app +
                                   "task-run.txt waited\" "
                                   "waitclose=\"Yes\"/>"
                                   "<ren source=\"rename-me.txt\" target=\"renamed.txt\"/>"
                                   "<path name=\"{app}\\plugins\"/><path>{app}\\cache</path>"
                                   "<del file=\"old\\x.txt\" path=\"old\"/>"
                                   "<shortcut file=\"rk_sleeper.exe\" shortcut=\"links\\Sleeper.LNK\" iconindex=\"0\"/>"
                                   "<shortcut file=\"not-there.exe\" shortcut=\"links\\Ghost\"/>"
                                   "<group><ini file=\"settings.ini\" app=\"S\" key=\"Added\" value=\"yes\"/>"
                                   "<ini file=\"settings.ini\" app=\"S\" key=\"Drop\"/></group>"
                                   "<kill file=\"{app}\\not-running.exe\"/><kill file=\"{app}\\killme.exe\"/>"
                                   "<run file=\"nested.xml\"/>"
                                   "</tasks>");
    inst.offered(L"nested.xml", "<tasks><ini file=\"settings.ini\" app=\"N\" key=\"Nested\" value=\"1\"/>"
                                "<run file=\"{app}\\rk_sleeper.exe\" param=\"touch " +
                                    app + "nested-run.txt\" waitclose=\"true\"/></tasks>");
    inst.remoteList("<file path=\"probe.dll\" ver=\"1\" oper=\"reg\"/>"
                    "<file path=\"nested.xml\" ver=\"1\"/>"
                    "<file path=\"tasks.xml\" ver=\"1\" oper=\"run\"/>"
                    "<file path=\"boot.txt\" ver=\"1\" oper=\"8\"/>"
                    "<run path=\"{app}\\rk_sleeper.exe\" param=\"touch " +
                    app +
                    "cmd-wait.txt\" wait=\"yes\"/>"
                    "<run path=\"{app}\\rk_sleeper.exe\" param=\"touch " +
                    app +
                    "cmd-nowait.txt\" wait=\"0\"/>"
                    "<run path=\"{app}\\missing.exe\" wait=\"1\"/>");
    inst.offered(L"boot.txt", "b");

    // A program with a window that agrees to end, for the kill element.
    inst.installed(L"killme.exe", readBytes(e2e::buildDir() + L"tools\\renewkit-testhost.exe"));
    const std::wstring never = inst.root + L"never";
    PROCESS_INFORMATION victim =
        startProgram(L"\"" + inst.app + L"killme.exe\" --visible --record \"" + inst.root +
                     L"killme.jsonl\" --updater \"" + inst.app + L"rk_sleeper.exe\" -- wait-for \"" + never + L"\"");
    ASSERT_NE(victim.hProcess, nullptr);
    ASSERT_TRUE(waitForFile(never + L".started"));

    EXPECT_EQ(inst.run(), 12);
    EXPECT_EQ(::WaitForSingleObject(victim.hProcess, 60000), WAIT_OBJECT_0) << "the kill element ended it";
    EXPECT_TRUE(contains(readBytes(inst.root + L"killme.jsonl"), "\"queryendsession\":\"accepted\""));
    writeBytes(never, ""); // its updater, a sleeper, goes too
    ::CloseHandle(victim.hProcess);
    ::CloseHandle(victim.hThread);
    EXPECT_EQ(inst.file(L"registered.txt"), "registered") << "DllRegisterServer of the ACT_REGISTER entry";
    EXPECT_EQ(inst.file(L"task-run.txt"), "waited\n") << "a waited run has finished when the stage goes on";
    EXPECT_EQ(inst.file(L"nested-run.txt"), "touched\n");
    EXPECT_TRUE(inst.has(L"renamed.txt"));
    EXPECT_FALSE(inst.has(L"rename-me.txt"));
    EXPECT_TRUE(directoryExists(inst.app + L"plugins"));
    EXPECT_TRUE(directoryExists(inst.app + L"cache"));
    EXPECT_FALSE(inst.has(L"old")) << "del removes the file, then the tree";
    EXPECT_TRUE(inst.has(L"links\\Sleeper.LNK"));
    EXPECT_FALSE(inst.has(L"links\\Sleeper.LNK.lnk"));
    EXPECT_FALSE(inst.has(L"links\\Ghost.lnk")) << "no link to a missing target";
    EXPECT_TRUE(contains(inst.log(), "links\\Ghost]...")) << "but its status text is still shown";
    const std::string ini = inst.file(L"settings.ini");
    EXPECT_TRUE(contains(ini, "Added=yes"));
    EXPECT_FALSE(contains(ini, "Drop"));
    EXPECT_TRUE(contains(ini, "Nested=1")) << "the nested task file ran";
    EXPECT_EQ(inst.file(L"cmd-wait.txt"), "touched\n") << "the waiting run command ended before the stage did";
    EXPECT_TRUE(waitForFile(inst.app + L"cmd-nowait.txt"));

    const std::string log = inst.log();
    for (const char* line : {"Register file[probe.dll]", "Move file:[", "Create directory[", "Remove file[",
                             "Remove path[", "Write ini[settings.ini][Added][yes]", "Empty ini[settings.ini][Drop]",
                             "Kill process[", "Run file[rk_sleeper.exe][touch", "cmd-wait.txt][wait]",
                             "cmd-nowait.txt][nowait]", "missing.exe][wait]", "Need to restart your computer"})
        EXPECT_TRUE(contains(log, line)) << line;
}

TEST(CopyStage, RunningProgramIsMovedToOldAndPurgedAtTheNextStart)
{
    Installation inst(L"in-use");
    inst.installed(L"tool.exe", readBytes(tool(L"rk_sleeper.exe")));
    inst.localList("<file path=\"tool.exe\" ver=\"1\"/>");
    const std::string fresh = readBytes(tool(L"rk_sleeper.exe")) + "version 2";
    inst.offered(L"tool.exe", fresh);
    inst.remoteList("<file path=\"tool.exe\" ver=\"2\"/>");

    const std::wstring stop = inst.root + L"stop";
    PROCESS_INFORMATION running = startProgram(L"\"" + inst.app + L"tool.exe\" wait-for \"" + stop + L"\"");
    ASSERT_NE(running.hProcess, nullptr);
    ASSERT_TRUE(waitForFile(stop + L".started"));

    EXPECT_EQ(inst.run(), 12);
    EXPECT_EQ(inst.file(L"tool.exe"), fresh);
    EXPECT_TRUE(inst.has(L"tool.exe.__old"));
    EXPECT_EQ(inst.file(kOldFilesList), "\r\n" + narrow(inst.app) + "tool.exe.__old");

    writeBytes(stop, "");
    ::WaitForSingleObject(running.hProcess, 60000);
    ::CloseHandle(running.hProcess);
    ::CloseHandle(running.hThread);
    EXPECT_EQ(inst.run(), 0) << "nothing left to update";
    EXPECT_FALSE(inst.has(L"tool.exe.__old")) << "purged at the next start";
    EXPECT_FALSE(inst.has(kOldFilesList));
}

TEST(LocalCheck, LockedTargetEndsInStageEightAndChangesNothing)
{
    Installation inst(L"locked");
    inst.installed(L"data.bin", "old");
    inst.localList("<file path=\"data.bin\" ver=\"1\"/>");
    inst.offered(L"data.bin", "new");
    inst.remoteList("<file path=\"data.bin\" ver=\"2\"/>");
    HANDLE held = ::CreateFileW((inst.app + L"data.bin").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(inst.run(), 8);
    ::CloseHandle(held);
    EXPECT_EQ(inst.file(L"data.bin"), "old");
    const std::string log = inst.log();
    EXPECT_TRUE(contains(log, "File is locked[" + narrow(inst.app) + "data.bin]"));
    EXPECT_TRUE(contains(log, "1 update files has 1 locked"));
    EXPECT_TRUE(contains(inst.file(L"renewkit.xml"), "ver=\"1\"")) << "the local list is kept";
}

TEST(LocalCheck, ProtectedTargetNeedsAdministratorRights)
{
    // protected.dat is made immutable by the test's fixture, outside the prefix.
    Installation inst(e2e::buildDir() + L"rk-admin\\", true);
    ASSERT_EQ(inst.file(L"protected.dat"), "old") << "the fixture's file";
    inst.localList("<file path=\"protected.dat\" ver=\"1\"/><file path=\"free.txt\" ver=\"1\"/>");
    inst.installed(L"free.txt", "free 1");
    inst.offered(L"protected.dat", "new");
    inst.offered(L"free.txt", "free 2");
    inst.remoteList("<file path=\"protected.dat\" ver=\"2\"/><file path=\"free.txt\" ver=\"2\"/>");
    EXPECT_EQ(inst.run(), 8);
    EXPECT_EQ(inst.file(L"protected.dat"), "old");
    EXPECT_EQ(inst.file(L"free.txt"), "free 1") << "nothing is copied while rights are missing";
    const std::string log = inst.log();
    EXPECT_TRUE(contains(log, "request administrator privileges to continue"));
    EXPECT_FALSE(contains(log, "File is locked")) << "a protected file is not a locked one";

    // The elevated copy skips the write test; when the file still cannot be
    // replaced the update has failed, and the local list must not say otherwise.
    EXPECT_EQ(inst.run(L"--elevated"), 11);
    EXPECT_EQ(inst.file(L"protected.dat"), "old");
    EXPECT_EQ(inst.file(L"free.txt"), "free 2") << "the other files are installed";
    EXPECT_TRUE(contains(inst.file(L"renewkit.xml"), "<file path=\"protected.dat\" ver=\"1\"/>"))
        << "the local list is kept, so the next check offers the file again";
    const std::string elevatedLog = inst.log();
    EXPECT_TRUE(contains(elevatedLog, "Update completed,done 1 files"));
    EXPECT_TRUE(contains(elevatedLog, "1 files could not be updated; the local list is kept"));
}

namespace {

// The host program runs from the application folder and starts the runner.
std::string runUnderHost(const Installation& inst, const std::wstring& endSession,
                         const std::wstring& options = L"--answer yes")
{
    inst.installed(inst.host, readBytes(e2e::buildDir() + L"tools\\renewkit-testhost.exe"));
    const std::wstring record = inst.root + L"record.jsonl";
    std::wstring line = L"\"" + inst.app + inst.host + L"\" --visible --endsession " + endSession + L" --record \"" +
                        record + L"\" --updater \"" + tool(L"rk_install_runner.exe") + L"\" -- " + inst.arguments() +
                        L" " + options + L" {hwnd}";
    runProgram(line, 120000);
    waitForFile(inst.root + L"result.txt");
    return readBytes(record);
}

} // namespace

TEST(LocalCheck, HostThatAcceptsTheSessionEndIsClosedOneThatRefusesKeepsRunning)
{
    {
        Installation inst(L"host-accepts");
        inst.localList("<file path=\"a.txt\" ver=\"1\"/>");
        inst.offered(L"a.txt", "a2");
        inst.remoteList("<file path=\"a.txt\" ver=\"2\"/>");
        const std::string record = runUnderHost(inst, L"accept");
        EXPECT_TRUE(contains(record, "\"queryendsession\":\"accepted\""));
        EXPECT_FALSE(contains(record, "\"exit\":")) << "the host was ended, not left to see its updater finish";
        EXPECT_TRUE(contains(inst.result(), "stage=12"));
        EXPECT_EQ(inst.file(L"a.txt"), "a2");
        const std::string log = inst.log();
        EXPECT_TRUE(contains(log, "The main program has not closed " + narrow(inst.host)));
        EXPECT_TRUE(contains(log, "The main program has closed\r\n"));
    }
    {
        Installation inst(L"host-refuses");
        inst.localList("<file path=\"a.txt\" ver=\"1\"/>");
        inst.offered(L"a.txt", "a2");
        inst.remoteList("<file path=\"a.txt\" ver=\"2\"/>");
        const std::string record = runUnderHost(inst, L"refuse");
        EXPECT_TRUE(contains(record, "\"queryendsession\":\"refused\""));
        EXPECT_TRUE(contains(record, "\"exit\":12")) << "the host kept running until its updater ended";
        EXPECT_TRUE(contains(record, "\"prop_stage\":10")) << "the host saw the copy stage";
    }
}

TEST(LocalCheck, DecliningToCloseTheHostStopsTheRunAndTheSimpleSkinDoesNotAsk)
{
    {
        Installation inst(L"host-declined");
        inst.localList("<file path=\"a.txt\" ver=\"1\"/>");
        inst.offered(L"a.txt", "a2");
        inst.remoteList("<file path=\"a.txt\" ver=\"2\"/>");
        const std::string record = runUnderHost(inst, L"accept", L"--answer no");
        EXPECT_FALSE(contains(record, "queryendsession")) << "nothing was closed";
        EXPECT_TRUE(contains(record, "\"exit\":8"));
        EXPECT_FALSE(inst.has(L"a.txt"));
    }
    {
        Installation inst(L"host-simple");
        inst.localList("<file path=\"a.txt\" ver=\"1\"/>");
        inst.offered(L"a.txt", "a2");
        inst.remoteList("<file path=\"a.txt\" ver=\"2\"/>");
        const std::string record = runUnderHost(inst, L"accept", L"--answer no --skin mostsimple");
        EXPECT_TRUE(contains(record, "\"queryendsession\":\"accepted\"")) << "closed without a question";
        EXPECT_TRUE(contains(inst.result(), "stage=12"));
        EXPECT_EQ(inst.file(L"a.txt"), "a2");
    }
}

namespace {

// The program that runs from the application folder throughout: a target in use.
const std::wstring kInUse = L"tool.exe";

// Old and new content of each target; the one in use is a program, both times.
std::map<std::wstring, std::pair<std::string, std::string>> killTargets()
{
    const std::string program = readBytes(tool(L"rk_sleeper.exe"));
    return {
        {L"a.txt", {"a version 1", "a version 2, longer than the first"}},
        {L"b\\b.dat", {std::string(200000, 'o'), std::string(300000, 'n')}},
        {L"c.txt", {"c1", "c2"}},
        {L"d.txt", {"", "d2 (new)"}},
        {kInUse, {program, program + "version 2"}},
    };
}

// Files still under their temporary name below the folder.
int stagingLeftovers(const std::wstring& folder)
{
    int found = 0;
    for (const auto& entry : listDirectory(folder)) {
        const std::wstring path = folder + entry.name;
        if (entry.isDirectory)
            found += stagingLeftovers(path + L"\\");
        else if (path.size() > 6 && path.compare(path.size() - 6, 6, kStagingSuffix) == 0)
            ++found;
    }
    return found;
}

// The names a target is put aside under: its backups and its rename-test name.
std::vector<std::wstring> asideNames(const std::wstring& path)
{
    std::vector<std::wstring> names{path + L".__old", path + kRenameTestSuffix};
    for (int j = 0; j < 10; ++j)
        names.push_back(path + L".__old" + std::to_wstring(j));
    return names;
}

// A target missing from its place whose old content waits under one of those names.
bool keptAside(const Installation& inst, const std::wstring& path, const std::string& old)
{
    for (const auto& name : asideNames(path)) {
        if (inst.has(name) && inst.file(name) == old)
            return true;
    }
    return false;
}

void prepareKillInstallation(const Installation& inst)
{
    std::string local, remote;
    for (const auto& [path, versions] : killTargets()) {
        const std::string listPath = narrow(replaceAll(path, L"\\", L"|"));
        if (!versions.first.empty()) {
            inst.installed(path, versions.first);
            local += "<file path=\"" + listPath + "\" ver=\"1\"/>";
        }
        inst.offered(path, versions.second);
        remote += "<file path=\"" + listPath + "\" ver=\"2\"/>";
    }
    inst.localList(local);
    inst.remoteList(remote);
}

} // namespace

TEST(CopyStage, KilledAtEveryStepBoundaryLeavesOldOrNewFilesAndTheNextRunFinishes)
{
    const auto targets = killTargets();
    long steps = 0;
    {
        Installation counting(L"kill-count");
        prepareKillInstallation(counting);
        RunningCopy running(counting, kInUse);
        ASSERT_TRUE(running.started());
        ASSERT_EQ(counting.run(), 12);
        const std::string result = counting.result();
        steps = std::stol(result.substr(result.find("steps=") + 6));
        for (const auto& [path, versions] : targets)
            EXPECT_EQ(counting.file(path), versions.second);
        EXPECT_TRUE(counting.has(kInUse + L".__old")) << "the program in use was moved aside";
    }
    ASSERT_GE(steps, 18) << "three boundaries per file, the rename test and the backup of the one in use, and the "
                            "stage's own";
    for (long n = 1; n <= steps; ++n) {
        Installation inst(L"kill");
        prepareKillInstallation(inst);
        RunningCopy running(inst, kInUse);
        ASSERT_TRUE(running.started()) << "boundary " << n;
        EXPECT_EQ(inst.run(L"--kill-at " + std::to_wstring(n)), 99) << "boundary " << n;
        // Each file is old or new, or missing with its old content put aside;
        // then also after a start that finds nothing to install.
        for (const char* when : {"after the kill", "after a start without an update"}) {
            for (const auto& [path, versions] : targets) {
                const bool existed = !versions.first.empty();
                if (!existed && !inst.has(path))
                    continue;
                if (existed && !inst.has(path)) {
                    EXPECT_TRUE(keptAside(inst, path, versions.first))
                        << "boundary " << n << ", " << when << ": " << narrow(path) << " is lost";
                    continue;
                }
                const std::string now = inst.file(path);
                EXPECT_TRUE(now == versions.first || now == versions.second)
                    << "boundary " << n << ", " << when << ": " << narrow(path) << " is neither old nor new";
            }
            if (std::string(when) == "after the kill") {
                // The list in place offers nothing new.
                const std::string update = readBytes(inst.root + L"remote.xml");
                writeBytes(inst.root + L"remote.xml", inst.file(L"renewkit.xml"));
                EXPECT_EQ(inst.run(), 0) << "boundary " << n;
                writeBytes(inst.root + L"remote.xml", update);
            }
        }
        const long long second = inst.run();
        EXPECT_TRUE(second == 12 || second == 0) << "boundary " << n << ": stage " << second << "\n" << inst.log();
        for (const auto& [path, versions] : targets)
            EXPECT_EQ(inst.file(path), versions.second) << "boundary " << n << ": " << narrow(path);
        EXPECT_EQ(inst.run(), 0) << "boundary " << n << ": the saved list matches version 2";
        EXPECT_EQ(stagingLeftovers(inst.app), 0) << "boundary " << n;

        // Once the program has ended, the next start leaves nothing of it aside.
        running.stop();
        EXPECT_EQ(inst.run(), 0) << "boundary " << n;
        for (const auto& name : asideNames(inst.app + kInUse))
            EXPECT_FALSE(pathExists(name)) << "boundary " << n << ": " << narrow(name) << " is left";
        EXPECT_FALSE(inst.has(kOldFilesList)) << "boundary " << n;
        EXPECT_FALSE(inst.has(kRenameTestList)) << "boundary " << n;
    }
}
