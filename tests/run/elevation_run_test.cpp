// The relaunch as administrator end to end: a silent run meets a target that
// nobody may write (immutable, made by the test's fixture), relaunches itself
// with its own command line and the marker, and the relaunched copy carries on
// from the handed-over list without fetching anything again.
#include "tests/run/run_support.h"

#include "app/command_line.h"
#include "core/name_hash.h"
#include "platform/files.h"
#include "tests/download/server_env.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

using namespace rk;
using namespace rk::test;

namespace {

// Access-log lines for paths under the prefix, counted by request and user
// agent: each download sends its size query and each range once, under agents
// of their own, so a file fetched a second time repeats a pair.
std::map<std::string, int> requestsByAgent(const std::string& prefix)
{
    std::map<std::string, int> counts;
    std::istringstream in(e2e::readBytes(serverStateDir() + L"nginx\\access.log"));
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> quoted;
        for (size_t open = line.find('"'); open != std::string::npos; open = line.find('"', open + 1)) {
            const size_t close = line.find('"', open + 1);
            if (close == std::string::npos)
                break;
            quoted.push_back(line.substr(open + 1, close - open - 1));
            open = close;
        }
        if (quoted.size() >= 3 && quoted[0].find(prefix) != std::string::npos)
            ++counts[quoted[0] + " | " + quoted[2]];
    }
    return counts;
}

// The stages the host heard, split where the relaunched copy started again at 0.
std::vector<Stages> stagesPerCopy(const std::vector<HostEvent>& events)
{
    std::vector<Stages> copies;
    for (long long stage : stagesSeen(events)) {
        if (stage == 0 || copies.empty())
            copies.emplace_back();
        copies.back().push_back(stage);
    }
    return copies;
}

long long stageCount(const std::vector<HostEvent>& events, long long stage, int nth)
{
    for (const HostEvent& e : events) {
        if (e.isMessage(1974) && e.number("wparam") == stage && nth-- == 0)
            return e.number("lparam");
    }
    return -1;
}

} // namespace

TEST(ElevatedRun, ProtectedTargetRelaunchesTheSilentRunWhichGoesOnWithoutFetchingAgain)
{
    // Downloaded under its own name, installed outside the application folder.
    const std::wstring protectedFile = e2e::buildDir() + L"rk-elevation\\protected.txt";
    ASSERT_EQ(e2e::readBytes(protectedFile), "old") << "the fixture's file";
    publishAs(L"v2", L"elevated");
    const std::string base = narrow(nginxUrl(L"pub/elevated/"));
    const std::string list = "<update><file path=\"docs\\help.txt\" url=\"" + base +
                             "docs/help.txt\" ver=\"2\"/><file path=\"docs\\new.txt\" url=\"" + base +
                             "docs/new.txt\" ver=\"2\"/><file path=\"plugin.dll\" url=\"" + base +
                             "plugin.dll\" ver=\"2\"/><file path=\"protected.txt\" dstname=\"" + narrow(protectedFile) +
                             "\" url=\"" + base + "data/settings.ini\" ver=\"2\"/></update>";
    const std::wstring listUrl = publishList(L"elevated", list);
    RunSetup run = makeRun(L"Elevated", listUrl);
    installRelease(run, L"v1");

    long long hostExit = -1;
    std::vector<HostEvent> events = silentRun(run, L"--follow", &hostExit);
    ASSERT_FALSE(events.empty());
    ASSERT_EQ(events.back().text("timed_out"), L"false");

    // The first copy finds the protected file at the local check and hands over;
    // the relaunched copy reports 0 and then 6 with the four files it was handed,
    // and goes on with the local check.
    const std::vector<Stages> copies = stagesPerCopy(events);
    ASSERT_GE(copies.size(), 2u) << "no relaunched copy reported to the host";
    EXPECT_EQ(copies[0], (Stages{0, 1, 3, 4, 6, 7, 8}));
    ASSERT_GE(copies[1].size(), 3u);
    EXPECT_EQ((Stages{copies[1][0], copies[1][1], copies[1][2]}), (Stages{0, 6, 7}));
    EXPECT_EQ(copies[1].back(), 13);
    // Even as administrator the immutable file cannot be replaced: the copy
    // stage fails (11) instead of reporting a completed update.
    EXPECT_EQ(copies[1][copies[1].size() - 2], 11);
    EXPECT_EQ(stageCount(events, 6, 1), 4);
    EXPECT_EQ(logCount(run, L"continue update as administrator"), 1);

    // Exactly the first copy's normalised command line plus the marker, so the
    // relaunched copy kept the mode and the host window. (The updater lives
    // outside the application folder here, so its own path stays in the line.)
    const std::wstring started = L"\"" + run.updater.exe + L"\" silence " + events.back().text("hwnd");
    const std::wstring normalized = normalizeCommandLine(started, run.appDir + L"renewkit.exe");
    EXPECT_NE(normalized.find(L"silence "), std::wstring::npos);
    EXPECT_TRUE(logHas(run, L"Started as administrator with: " + normalized + L" /___runas_admin___"));

    // Neither the list nor any file was fetched a second time.
    EXPECT_EQ(logCount(run, L"try to download the list file..."), 1);
    EXPECT_EQ(logCount(run, L"Downloading to temporary directory..."), 1);
    const auto requests = requestsByAgent("/pub/elevated/");
    EXPECT_FALSE(requests.empty());
    for (const auto& [request, count] : requests)
        EXPECT_EQ(count, 1) << request;

    // The hand-over file is gone; the protected file was not lost.
    EXPECT_FALSE(fileExists(systemTempPath() + nameHash(listUrl + L"9999999999") + L".lst"));
    EXPECT_EQ(e2e::readBytes(protectedFile), "old");
}
