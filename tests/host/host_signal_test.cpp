// The host protocol across two real processes: the test host records what a
// stamped updater (or the signal probe) sends it.
#include "tests/e2e/e2e_support.h"
#include "tests/host/host_record.h"

#include "platform/codepage.h"
#include "platform/files.h"

#include <gtest/gtest.h>
#include <sstream>

using namespace rk;
using namespace rk::e2e;
using rk::test::HostEvent;

namespace {

std::string iniFor(const std::string& name, const std::string& sections = "")
{
    return "[RenewKit]\nLog=inst.log\nLangage=\nMode=AppEnterNoPrompt\n\n[UPDATEINFO]\nListURL=http://127.0.0.1:9/"
           "none.xml\n\n[APPLICATION]\nApplication=demo.exe\nName=" +
           name + "\n" + sections;
}

std::wstring inQuotes(const std::wstring& s) { return L"\"" + s + L"\""; }

std::wstring testHost() { return buildDir() + L"tools\\renewkit-testhost.exe"; }

// Runs the test host around a program; returns the recorded events.
std::vector<HostEvent> hostRun(const std::wstring& program, const std::wstring& folder, const std::wstring& options,
                               const std::wstring& words, long long* exitCode = nullptr)
{
    std::wstring record = folder + L"record.jsonl";
    long long code = runProgram(inQuotes(testHost()) + L" --updater " + inQuotes(program) + L" --record " +
                                inQuotes(record) + L" " + options + L" -- " + words);
    if (exitCode)
        *exitCode = code;
    return rk::test::readHostRecord(record);
}

std::vector<HostEvent> hostRun(const Deployment& d, const std::wstring& options, const std::wstring& words,
                               long long* exitCode = nullptr)
{
    return hostRun(d.exe, d.folder, options, words, exitCode);
}

std::vector<HostEvent> messages(const std::vector<HostEvent>& events, unsigned msg)
{
    std::vector<HostEvent> out;
    for (const auto& e : events) {
        if (e.isMessage(msg))
            out.push_back(e);
    }
    return out;
}

const HostEvent& exitEvent(const std::vector<HostEvent>& events)
{
    static const HostEvent none;
    return !events.empty() && events.back().has("exit") ? events.back() : none;
}

} // namespace

TEST(HostSignal, StageZeroArrivesWhenTheHostAsks)
{
    Deployment d = makeUpdater(L"host-needmsg", iniFor("RkHostNeedMsg"), L"bin", L"RkHostNeedMsg");
    long long code = -2;
    // downparam0 ends right after stage 0.
    auto events = hostRun(d, L"--needmsg 1974 --prop renewkit.exe 99", L"downparam0", &code);
    EXPECT_EQ(code, 0);
    auto stages = messages(events, 1974);
    ASSERT_EQ(stages.size(), 1u);
    EXPECT_EQ(stages[0].number("wparam"), 0);
    EXPECT_EQ(stages[0].number("lparam"), 0); // the update file count
    // The message goes out before the properties are set.
    EXPECT_EQ(stages[0].number("prop_stage"), 99);
    const HostEvent& end = exitEvent(events);
    ASSERT_TRUE(end.has("exit"));
    EXPECT_EQ(end.number("prop_stage"), 0);
    EXPECT_EQ(end.number("prop_count"), 0);
}

TEST(HostSignal, WithoutOptInOnlyPropertiesAndLogLines)
{
    // A stage hook that logs a line holding a full path in the application directory.
    Deployment d =
        makeUpdater(L"host-plain", iniFor("RkHostPlain", "\n[UpdateEvent]\nUpdateNone={app}\\tasks\\setup.xml\n"),
                    L"bin", L"RkHostPlain");
    writeBytes(d.appDirectory + L"tasks\\setup.xml", "<tasks><path name=\"{app}\\tasks\\made\"/></tasks>");
    auto events = hostRun(d, L"--prop renewkit.exe 99 --prop updatefilecount 42", L"downparam0");
    EXPECT_TRUE(messages(events, 1974).empty());
    const HostEvent& end = exitEvent(events);
    ASSERT_TRUE(end.has("exit"));
    EXPECT_EQ(end.number("prop_stage"), 0);
    EXPECT_EQ(end.number("prop_count"), 0);

    std::vector<std::wstring> received;
    for (const auto& e : messages(events, 1975))
        received.push_back(e.text("text"));
    std::vector<std::wstring> logged;
    for (const auto& text : logTexts(d.appDirectory)) {
        std::wstring stripped = text;
        for (size_t at; (at = stripped.find(d.appDirectory)) != std::wstring::npos;)
            stripped.erase(at, d.appDirectory.size());
        logged.push_back(stripped);
    }
    ASSERT_GE(logged.size(), 1u);
    EXPECT_EQ(received, logged);
    bool sawRelative = false;
    for (const auto& text : received) {
        EXPECT_EQ(text.find(L"Mellowby"), std::wstring::npos) << text;
        sawRelative |= text.find(L"[tasks\\made]") != std::wstring::npos;
    }
    EXPECT_TRUE(sawRelative);
}

TEST(HostSignal, StatusTextIsCutTo1023Characters)
{
    // The probe stands in for the updater: application folder, {hwnd}, what to send.
    const std::wstring probe = buildDir() + L"tests\\host\\rk_signal_probe.exe";
    const std::wstring folder = L"C:\\rktest\\host-status\\";
    createDirectory(L"C:\\rktest");
    createDirectory(folder);
    auto events = hostRun(probe, folder, L"", L"\"C:\\App\" {hwnd} status 1500");
    auto status = messages(events, 0x410);
    ASSERT_EQ(status.size(), 1u);
    EXPECT_EQ(status[0].number("length"), 1023);
    EXPECT_EQ(status[0].text("text"), std::wstring(1023, L's'));
    EXPECT_EQ(status[0].number("lparam"), -1);
}

TEST(HostSignal, WaitingHookOnStageZeroHoldsTheRun)
{
    const std::wstring title = L"rk-host-hookwait";
    std::string hook = "C:\\rktest\\host-hook\\hook.bat";
    Deployment d =
        makeUpdater(L"host-hook", iniFor("RkHostHook", "\n[UpdateEventWaitClose]\nUpdateNone=" + hook + "\n"), L"bin",
                    L"RkHostHook");
    std::wstring notify = inQuotes(testHost()) + L" --notify " + title + L" hook-end --delay 1500";
    writeBytes(L"C:\\rktest\\host-hook\\hook.bat", "@echo off\r\n" + wideToBytes(notify, kCodePageThreadAnsi) + "\r\n");
    auto events = hostRun(d, L"--needmsg 1974 --title " + title, L"/silence");
    ASSERT_TRUE(exitEvent(events).has("exit"));
    long long stageAt = -1, noteAt = -1, modeLineAt = -1;
    for (const auto& e : events) {
        if (e.isMessage(1974) && e.number("wparam") == 0)
            stageAt = e.number("seq");
        if (e.text("note") == L"hook-end")
            noteAt = e.number("seq");
        if (e.isMessage(1975) && e.text("text").find(L"try to download the list file...") != std::wstring::npos)
            modeLineAt = e.number("seq");
    }
    ASSERT_GT(stageAt, 0);
    ASSERT_GT(noteAt, 0) << "the hook never reported back";
    ASSERT_GT(modeLineAt, 0);
    EXPECT_LT(stageAt, noteAt);
    EXPECT_LT(noteAt, modeLineAt); // the run went on only after the hook ended
}

TEST(HostSignal, DescriptionAndProgressOnlyForWindowsThatAsk)
{
    const std::wstring probe = buildDir() + L"tests\\host\\rk_signal_probe.exe";
    const std::wstring folder = L"C:\\rktest\\host-notes\\";
    createDirectory(L"C:\\rktest");
    createDirectory(folder);
    // Release notes have a block of their own: longer than the 1023 of the shared buffer.
    auto events = hostRun(probe, folder, L"--needmsg 1974", L"\"C:\\App\" {hwnd} description 3000");
    auto notes = messages(events, 1977);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].text("text"), std::wstring(3000, L'd'));

    events = hostRun(probe, folder, L"--needmsg 1974", L"\"C:\\App\" {hwnd} progress 7");
    auto progress = messages(events, 1976);
    ASSERT_EQ(progress.size(), 1u);
    EXPECT_EQ(progress[0].number("wparam"), 7);

    events = hostRun(probe, folder, L"--needmsg 1", L"\"C:\\App\" {hwnd} description 10");
    EXPECT_TRUE(messages(events, 1977).empty());
    events = hostRun(probe, folder, L"", L"\"C:\\App\" {hwnd} progress 7");
    EXPECT_TRUE(messages(events, 1976).empty());
}
