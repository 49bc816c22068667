// The windowed modes end to end: the progress window on the Xvfb display of
// the test session, driven and watched by the test host (label, picture
// buttons, message boxes, screenshots), against the packed releases on nginx.
#include "tests/run/run_support.h"

#include "core/path_helpers.h"
#include "platform/files.h"
#include "platform/sleep.h"
#include "tests/download/server_env.h"

#include <gtest/gtest.h>

using namespace rk;
using namespace rk::test;

namespace {

// A PNG file: its signature, and more than a blank image's few bytes.
bool isScreenshot(const std::wstring& path)
{
    const std::string bytes = e2e::readBytes(path);
    return bytes.size() > 1000 && bytes.compare(1, 3, "PNG") == 0;
}

struct Label {
    std::wstring text;
    long long stage;
};

std::vector<Label> labels(const std::vector<HostEvent>& events)
{
    std::vector<Label> out;
    for (const HostEvent& e : events) {
        if (e.has("label"))
            out.push_back({e.text("label"), e.number("stage")});
    }
    return out;
}

int percentOf(const std::wstring& label) { return std::stoi(label.substr(0, label.find(L'%'))); }

std::vector<HostEvent> eventsWith(const std::vector<HostEvent>& events, const std::string& key)
{
    std::vector<HostEvent> out;
    for (const HostEvent& e : events) {
        if (e.has(key))
            out.push_back(e);
    }
    return out;
}

bool sawCommand(const std::vector<HostEvent>& events, long long id)
{
    for (const HostEvent& e : eventsWith(events, "command")) {
        if (e.number("command") == id)
            return true;
    }
    return false;
}

} // namespace

TEST(ProgressWindow, DefaultModeUpdatesInTheWindowThatShowsItsProgress)
{
    RunSetup run = makeRun(L"WinDefault", publishAs(L"v2", L"windefault"));
    installRelease(run, L"v1");
    const Artifact during = artifact(L"progress_window_during_download.png");
    const Artifact copied = artifact(L"progress_window_after_copy.png");
    std::vector<HostEvent> events = hostRun(run,
                                            L"--watch-progress --click-buttons 1 --shot-at-progress 2 \"" +
                                                during.unixPath + L"\" --shot-at-stage 12 \"" + copied.unixPath + L"\"",
                                            L"");

    EXPECT_EQ(stagesSeen(events), kFullRun);
    EXPECT_EQ(exitCodeOf(events), 4); // the update file count, as in every mode
    expectInstalled(run, L"v2");
    EXPECT_EQ(startedNote(run), "demo.exe version 2 started\r\n");

    // The label, read through the window: within the download's share while
    // downloading, and rising to the copy stage's figures.
    std::vector<Label> seen = labels(events);
    ASSERT_FALSE(seen.empty());
    bool downloading = false;
    int last = 0;
    for (const Label& l : seen) {
        ASSERT_NE(l.text.find(L'%'), std::wstring::npos) << narrow(l.text);
        const int percent = percentOf(l.text);
        if (l.stage == 4) {
            EXPECT_GE(percent, 10);
            EXPECT_LE(percent, 70);
            downloading = true;
        }
        EXPECT_GE(percent, last) << "the label went back";
        last = percent;
    }
    EXPECT_TRUE(downloading);
    EXPECT_GE(last, 95);

    // Both picture buttons minimise; neither closes the window.
    std::vector<HostEvent> clicks = eventsWith(events, "click");
    ASSERT_EQ(clicks.size(), 2u);
    EXPECT_EQ(clicks[0].number("click"), 170);
    EXPECT_EQ(clicks[1].number("click"), 160);
    for (const HostEvent& c : clicks) {
        EXPECT_EQ(c.text("iconic"), L"true") << c.number("click");
        EXPECT_EQ(c.text("exists"), L"true") << c.number("click");
    }

    // The owner (the host) is told when the check is done.
    EXPECT_TRUE(sawCommand(events, 1066));
    EXPECT_TRUE(isScreenshot(during.windowsPath));
    EXPECT_TRUE(isScreenshot(copied.windowsPath));
}

TEST(ProgressWindow, ManyDownloadThreadsLoggingAtOnceNeverHangTheWindow)
{
    // Six files at once, each in several ranges, every thread logging and
    // sending to the window: twenty runs, each must end by itself.
    RunSetup run = makeRun(L"WinThreads", publishAs(L"v2", L"winthreads"), "threadcount=8\nfilethread=4\n");
    for (int i = 0; i < 20; ++i) {
        deleteFileForced(run.appDir + L"renewkit.xml");
        for (const std::wstring& file : releaseFiles(L"v2"))
            deleteFileForced(run.appDir + file);
        std::vector<HostEvent> events = hostRun(run, L"--timeout 60000", L"mostsimple");
        ASSERT_FALSE(events.empty());
        ASSERT_EQ(events.back().text("timed_out"), L"false") << "run " << i << " hung";
        ASSERT_EQ(stagesSeen(events), kFullRun) << "run " << i;
        ASSERT_EQ(exitCodeOf(events), 6) << "run " << i;
    }
    expectInstalled(run, L"v2");
}

TEST(ProgressWindow, CheckForUpdatesShowsTheCheckWindowAndExitsWithTheCount)
{
    // Four changed files and one lost file: five to update.
    RunSetup five = makeRun(L"WinCheckFive", publishAs(L"v2", L"wincheckfive"), "ShowWhenCheck=1\nCheckLostFile=1\n");
    installRelease(five, L"v1");
    ASSERT_TRUE(deleteFileForced(five.appDir + L"data\\deep\\keep.txt"));
    std::vector<HostEvent> events = hostRun(five, L"--watch-progress", L"checkforupdates");
    EXPECT_EQ(exitCodeOf(events), 5);
    EXPECT_EQ(stagesSeen(events), (Stages{0, 1, 3, 13}));
    std::vector<Label> seen = labels(events);
    ASSERT_FALSE(seen.empty()) << "no check window";
    EXPECT_EQ(percentOf(seen.back().text), 10);
    EXPECT_TRUE(sawCommand(events, 1066)) << "the check window is owned by the host";
    EXPECT_TRUE(nginxRequests("/pub/wincheckfive/demo.exe").empty()) << "a check downloads no file";
    EXPECT_EQ(e2e::readBytes(five.appDir + L"demo.exe"), releaseFile(L"v1", L"demo.exe"));
    EXPECT_FALSE(fileExists(five.appDir + L"demo-started.txt"));

    RunSetup current = makeRun(L"WinCheckNone", publishAs(L"v2", L"wincheckcurrent"), "ShowWhenCheck=1\n");
    installRelease(current, L"v2");
    events = hostRun(current, L"--watch-progress", L"checkforupdates");
    EXPECT_EQ(exitCodeOf(events), 0);
    EXPECT_FALSE(labels(events).empty());
}

TEST(ProgressWindow, CheckForUpdatesMarksAChangedPublishedVersionWithoutFiles)
{
    publishAs(L"v2", L"winprobe");
    RunSetup run =
        makeRun(L"WinProbe", nginxUrl(L"pub/winprobe/version.xml"), "ShowWhenCheck=1\n", "CheckVerNumber=1\nVer=1.0\n");
    installRelease(run, L"v1");
    std::vector<HostEvent> events = hostRun(run, L"--watch-progress", L"checkforupdates");
    EXPECT_EQ(exitCodeOf(events), 2147483647);
    EXPECT_FALSE(labels(events).empty());
}

TEST(ProgressWindow, EntryRunWithoutPromptUpdatesInTheWindowWithoutAQuestion)
{
    RunSetup run = makeRun(L"WinNoPrompt", publishAs(L"v2", L"winnoprompt"), "ShowWhenCheck=1\n");
    installRelease(run, L"v1");
    std::vector<HostEvent> events = hostRun(run, L"--watch-progress --answer cancel", L"appenternoprompt");
    EXPECT_TRUE(eventsWith(events, "box_text").empty()) << "a question was asked";
    EXPECT_EQ(stagesSeen(events), (Stages{0, 1, 3, 4, 6, 7, 9, 10, 12}));
    expectInstalled(run, L"v2");
    EXPECT_EQ(startedNote(run), "demo.exe version 2 started\r\n");
}

TEST(ProgressWindow, EntryQuestionNoStartsTheHostCancelStartsNothingYesUpdates)
{
    RunSetup no = makeRun(L"WinEntryNo", publishAs(L"v2", L"winentryno"), "ShowWhenCheck=1\n");
    installRelease(no, L"v1");
    std::vector<HostEvent> events = hostRun(no, L"--answer no", L"appenter");
    std::vector<HostEvent> boxes = eventsWith(events, "box_text");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text("box_text").find(L"4 updates found at the website,now to upgrade?"), std::wstring::npos);
    EXPECT_EQ(boxes[0].text("box_caption"), no.name);
    EXPECT_EQ(startedNote(no), "demo.exe version 1 started\r\n");
    expectInstalled(no, L"v1");

    RunSetup cancel = makeRun(L"WinEntryCancel", publishAs(L"v2", L"winentrycancel"), "ShowWhenCheck=1\n");
    installRelease(cancel, L"v1");
    events = hostRun(cancel, L"--answer cancel", L"appenter");
    EXPECT_EQ(eventsWith(events, "box_text").size(), 1u);
    // The updater has ended: whatever it started has been started.
    EXPECT_FALSE(logHas(cancel, L"Run file"));
    EXPECT_FALSE(fileExists(cancel.appDir + L"demo-started.txt"));
    expectInstalled(cancel, L"v1");

    RunSetup yes = makeRun(L"WinEntryYes", publishAs(L"v2", L"winentryyes"), "ShowWhenCheck=1\n");
    installRelease(yes, L"v1");
    events = hostRun(yes, L"--answer yes --watch-progress", L"appenter");
    EXPECT_EQ(eventsWith(events, "box_text").size(), 1u);
    expectInstalled(yes, L"v2");
    EXPECT_EQ(startedNote(yes), "demo.exe version 2 started\r\n");
}

TEST(ProgressWindow, MissingListAddressOffersTheSampleInTheWindow)
{
    RunSetup run = makeRun(L"WinSample", L"");
    std::vector<HostEvent> events = hostRun(run, L"--answer no", L"mostsimple");
    std::vector<HostEvent> boxes = eventsWith(events, "box_text");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text("box_text").find(L"Make a sample?"), std::wstring::npos);
    EXPECT_EQ(stagesSeen(events), (Stages{0, 1, 2, 13}));
    EXPECT_TRUE(logHas(run, L"can't to get [UNDATEINFO]-ListURL from renewkit.ini"));
}
