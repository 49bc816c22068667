// The silent run end to end: a stamped updater started by the test host with
// "silence" updates a real installation from a release packed by
// renewkit-pack and served by nginx.
#include "tests/run/run_support.h"

#include "platform/files.h"
#include "platform/sleep.h"
#include "tests/download/server_env.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

using namespace rk;
using namespace rk::test;

TEST(SilentRun, FreshInstallBringsEveryFileSavesTheListAndStartsTheProgram)
{
    RunSetup run = makeRun(L"Fresh", publishAs(L"v2", L"fresh"));
    std::vector<HostEvent> events = silentRun(run);
    EXPECT_EQ(stagesSeen(events), kFullRun);
    EXPECT_EQ(exitCodeOf(events), 6);
    expectInstalled(run, L"v2");
    EXPECT_NE(e2e::readBytes(run.appDir + L"renewkit.xml").find("docs\\new.txt"), std::string::npos);
    EXPECT_EQ(startedNote(run), "demo.exe version 2 started\r\n");
    EXPECT_TRUE(logHas(run, L"Found 6 files need to update..."));
}

TEST(SilentRun, RequestsShareKeptConnectionsAndARunStaysWithinItsConnections)
{
    // With threadcount 2 and filethread 2 a run may open 2 x (2 + 1) connections:
    // two files at a time, each by up to two transfers, and the connections that
    // splitting a large file gives up. Without zipped variants each file first
    // costs a 404, whose short page keeps its connection too.
    for (const std::wstring release : {L"big", L"bignozip"}) {
        const std::wstring name = L"conn" + release;
        RunSetup run = makeRun(L"Conn" + release, publishAs(release, name), "threadcount=2\nfilethread=2\n");
        std::vector<HostEvent> events = silentRun(run);
        EXPECT_EQ(stagesSeen(events), kFullRun) << narrow(release);
        EXPECT_EQ(exitCodeOf(events), 17) << narrow(release);
        expectInstalled(run, release);
        const std::vector<LoggedConnection> requests = nginxConnections("/pub/" + narrow(name) + "/");
        std::set<long long> connections;
        long long mostOnOne = 0;
        int ranges = 0;
        for (const LoggedConnection& r : requests) {
            connections.insert(r.connection);
            mostOnOne = std::max(mostOnOne, r.requestOnConnection);
            ranges += r.status == 206 ? 1 : 0;
        }
        EXPECT_GE(requests.size(), 19u) << narrow(release); // the lists and 17 files
        EXPECT_LE(connections.size(), 6u) << narrow(release);
        EXPECT_GE(mostOnOne, 4) << narrow(release) << ": requests did not share connections";
        EXPECT_GE(ranges, 1) << narrow(release) << ": the 3 MB file came by one transfer";
    }
}

TEST(SilentRun, UpdateDownloadsOnlyTheChangedFiles)
{
    RunSetup run = makeRun(L"Update", publishAs(L"v2", L"update"));
    installRelease(run, L"v1");
    std::vector<HostEvent> events = silentRun(run);
    EXPECT_EQ(stagesSeen(events), kFullRun);
    EXPECT_EQ(exitCodeOf(events), 4);
    expectInstalled(run, L"v2");
    EXPECT_FALSE(nginxRequests("/pub/update/demo.exe").empty());
    EXPECT_FALSE(nginxRequests("/pub/update/docs/new.txt").empty());
    EXPECT_TRUE(nginxRequests("/pub/update/data/").empty()) << "unchanged files were fetched";
    // The next run finds the installation current.
    std::vector<HostEvent> again = silentRun(run);
    EXPECT_EQ(stagesSeen(again), (Stages{0, 1, 3, 13}));
    EXPECT_EQ(exitCodeOf(again), 0);
}

TEST(SilentRun, NothingToUpdateEndsAfterTheCheck)
{
    RunSetup run = makeRun(L"Same", publishAs(L"v2", L"same"));
    installRelease(run, L"v2");
    std::vector<HostEvent> events = silentRun(run);
    EXPECT_EQ(stagesSeen(events), (Stages{0, 1, 3, 13}));
    EXPECT_EQ(exitCodeOf(events), 0);
    EXPECT_TRUE(logHas(run, L"Find nothing to update."));
    EXPECT_EQ(nginxRequests("/pub/same/").size(),
              nginxRequests("/pub/same/update.xml").size() + nginxRequests("/pub/same/renewkit.main.xml").size());
}

TEST(SilentRun, CheckLostFileRepairsADeletedFile)
{
    RunSetup run = makeRun(L"Lost", publishAs(L"v2", L"lost"), "CheckLostFile=1\n");
    installRelease(run, L"v2");
    ASSERT_TRUE(deleteFileForced(run.appDir + L"data\\deep\\keep.txt"));
    std::vector<HostEvent> events = silentRun(run);
    EXPECT_EQ(stagesSeen(events), kFullRun);
    EXPECT_EQ(exitCodeOf(events), 1);
    expectInstalled(run, L"v2");
    EXPECT_TRUE(nginxRequests("/pub/lost/demo.exe").empty());
}

TEST(SilentRun, PausedHostHoldsTheRunUntilItLiftsThePause)
{
    RunSetup run = makeRun(L"Paused", publishAs(L"v2", L"paused"));
    installRelease(run, L"v1");
    std::vector<HostEvent> events = silentRun(run, L"--paused 1974 --unpause-after 1500");
    // Nothing but stage 0 happened before the host lifted the pause.
    bool unpaused = false;
    for (const HostEvent& e : events) {
        if (e.has("note") && e.text("note") == L"unpaused")
            unpaused = true;
        if (e.isMessage(1974) && e.number("wparam") != 0) {
            EXPECT_TRUE(unpaused) << "stage " << e.number("wparam") << " while paused";
        }
    }
    EXPECT_TRUE(unpaused);
    EXPECT_EQ(stagesSeen(events), kFullRun);
    expectInstalled(run, L"v2");
}

TEST(SilentRun, HostWindowDestroyedWhilePausedEndsTheRunAtOnce)
{
    RunSetup run = makeRun(L"Killed", publishAs(L"v2", L"killed"));
    installRelease(run, L"v1");
    std::vector<HostEvent> events = silentRun(run, L"--paused 1974 --exitwhenkilled 1974 --destroy-at-stage 0");
    EXPECT_EQ(exitCodeOf(events), 0);
    EXPECT_TRUE(nginxRequests("/pub/killed/").empty());
    EXPECT_FALSE(logHas(run, L"try to download the list file..."));
    expectInstalled(run, L"v1");
    // The run still ends by starting the host program.
    EXPECT_EQ(startedNote(run), "demo.exe version 1 started\r\n");
}

TEST(SilentRun, DownloadsThatKeepFailingGetFivePassesAndInstallNothing)
{
    const std::string good = narrow(nginxUrl(L"pub/v2/"));
    const std::string bad = narrow(faultUrl(L"status=404", L"pub/v2/"));
    RunSetup run = makeRun(
        L"Failing", publishList(L"failing", "<update><file path=\"docs\\help.txt\" url=\"" + good +
                                                "docs/help.txt\" ver=\"2\"/><file path=\"docs\\new.txt\" url=\"" +
                                                good + "docs/new.txt\" ver=\"2\"/><file path=\"demo.exe\" url=\"" +
                                                good + "demo.exe\" ver=\"2\"/><file path=\"gone1.dll\" url=\"" + bad +
                                                "gone1.dll\" ver=\"2\"/><file path=\"gone2.dll\" url=\"" + bad +
                                                "gone2.dll\" ver=\"2\"/></update>"));
    installRelease(run, L"v1");
    std::vector<HostEvent> events = silentRun(run);
    EXPECT_EQ(stagesSeen(events), (Stages{0, 1, 3, 4, 5, 4, 5, 4, 5, 4, 5, 4, 5, 13}));
    EXPECT_EQ(exitCodeOf(events), 5);
    EXPECT_EQ(logCount(run, L"Downloading to temporary directory..."), 1);
    EXPECT_EQ(logCount(run, L"Downloading error files..."), 4);
    EXPECT_TRUE(logHas(run, L"Error 2 files,complete 3/5"));
    expectInstalled(run, L"v1");
}

TEST(SilentRun, NoFileCompletedMeansNoSecondPass)
{
    const std::string bad = narrow(faultUrl(L"status=404", L"pub/v2/"));
    RunSetup run = makeRun(L"AllFail", publishList(L"allfail", "<update><file path=\"a.dll\" url=\"" + bad +
                                                                   "a.dll\" ver=\"2\"/></update>"));
    std::vector<HostEvent> events = silentRun(run);
    EXPECT_EQ(stagesSeen(events), (Stages{0, 1, 3, 4, 5, 13}));
    EXPECT_EQ(logCount(run, L"Downloading error files..."), 0);
}

TEST(SilentRun, UnreachableListEndsInStageTwo)
{
    RunSetup run = makeRun(L"NoList", nginxUrl(L"pub/nowhere/update.xml"));
    installRelease(run, L"v1");
    std::vector<HostEvent> events = silentRun(run);
    EXPECT_EQ(stagesSeen(events), (Stages{0, 1, 2, 13}));
    EXPECT_EQ(exitCodeOf(events), 0);
    EXPECT_TRUE(logHas(run, L"error when download the list file."));
    expectInstalled(run, L"v1");
}

TEST(UninstallRun, RemovesTheListedFilesAndTheFoldersTheyLeaveEmpty)
{
    RunSetup run = makeRun(L"Uninstall", publishAs(L"v2", L"uninstall"));
    installRelease(run, L"v2");
    e2e::writeBytes(run.appDir + L"docs\\mine.txt", "the user's own file");
    long long code = e2e::runProgram(L"\"" + run.updater.exe + L"\" uninstall");
    EXPECT_EQ(code, 0);
    for (const std::wstring& file : releaseFiles(L"v2"))
        EXPECT_FALSE(fileExists(run.appDir + file)) << narrow(file);
    EXPECT_FALSE(directoryExists(run.appDir + L"data"));
    EXPECT_TRUE(directoryExists(run.appDir + L"docs")) << "a folder with other files stays";
    EXPECT_TRUE(fileExists(run.appDir + L"docs\\mine.txt"));
    EXPECT_FALSE(fileExists(run.appDir + L"renewkit.xml"));
    EXPECT_TRUE(directoryExists(run.appDir));
}

TEST(CheckOnly, ExitCodeIsTheNumberOfFilesToUpdate)
{
    RunSetup run = makeRun(L"CheckOnly", publishAs(L"v2", L"checkonly"));
    installRelease(run, L"v1");
    EXPECT_EQ(e2e::runProgram(L"\"" + run.updater.exe + L"\" checkforupdates"), 4);
    expectInstalled(run, L"v1");
    EXPECT_TRUE(nginxRequests("/pub/checkonly/demo.exe").empty()) << "a check downloads no file";
}

TEST(CheckOnly, VersionCheckExitsWithTheMarkerWhenThePublishedVersionDiffers)
{
    // With CheckVerNumber the list address names the version document, which
    // renewkit-pack writes beside the list (here: the list's MD5 as version).
    publishAs(L"v2", L"probe");
    RunSetup run = makeRun(L"Probe", nginxUrl(L"pub/probe/version.xml"), "", "CheckVerNumber=1\nVer=1.0\n");
    installRelease(run, L"v1");
    EXPECT_EQ(e2e::runProgram(L"\"" + run.updater.exe + L"\" checkforupdates"), 2147483647);

    const std::string published = e2e::readBytes(serverStateDir() + L"data\\pub\\probe\\version.xml");
    const size_t from = published.find("<ver>") + 5;
    const std::string version = published.substr(from, published.find('<', from) - from);
    RunSetup same =
        makeRun(L"ProbeSame", nginxUrl(L"pub/probe/version.xml"), "", "CheckVerNumber=1\nVer=" + version + "\n");
    EXPECT_EQ(e2e::runProgram(L"\"" + same.updater.exe + L"\" checkforupdates"), 0);
}
