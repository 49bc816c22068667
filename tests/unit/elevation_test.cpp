// The relaunch as administrator with the shell call and the message box
// replaced: what the elevated copy is started with, what it is handed, and
// what it makes of a hand-over file that is not what we wrote.
#include "run/elevation.h"

#include "app/command_line.h"
#include "core/app_directory.h"
#include "core/config.h"
#include "core/process_state.h"
#include "core/settings.h"
#include "install/local_check.h"
#include "list/list_snapshot.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "run/update_run.h"
#include "tests/unit/test_folder.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

using namespace rk;

namespace {

struct Start {
    std::wstring program, parameters, folder;
};

class FakeSystem final : public ElevationSystem {
public:
    bool startElevated(const std::wstring& program, const std::wstring& parameters,
                       const std::wstring& workingFolder) override
    {
        starts.push_back({program, parameters, workingFolder});
        return startSucceeds;
    }
    void endProcess(void* mainWindow) override { ended.push_back(mainWindow); }

    bool startSucceeds = true;
    std::vector<Start> starts;
    std::vector<void*> ended;
};

class Answers final : public Prompter {
public:
    MessageAnswer ask(void* owner, const std::wstring& text, const std::wstring&, MessageKind kind) override
    {
        owners.push_back(owner);
        texts.push_back(text);
        kinds.push_back(kind);
        return answer;
    }

    MessageAnswer answer = MessageAnswer::No;
    std::vector<void*> owners;
    std::vector<std::wstring> texts;
    std::vector<MessageKind> kinds;
};

void emptySharedList()
{
    DownLoadList& list = DownLoadList::shared();
    list.entries.clear();
    list.runCommands.clear();
    list.valueMap.clear();
    list.description.clear();
    list.setStage(0);
}

updatefileinfo entry(const std::wstring& path)
{
    updatefileinfo e;
    e.path = path;
    e.url = L"http://127.0.0.1/pub/" + path;
    e.version = L"2";
    return e;
}

class Elevation : public ::testing::Test {
protected:
    Elevation() : dir(testName())
    {
        dir.write(L"renewkit.ini", "[RenewKit]\r\nLog=run.log\r\nTempPath=tmp\r\n[UPDATEINFO]\r\n"
                                   "ListURL=http://127.0.0.1/pub/update.xml\r\n");
        createDirectory(dir.file(L"tmp"));
        setElevationSystem(&system);
        setPrompter(&answers);
        emptySharedList();
        clearAdminRequiredFiles();
    }
    ~Elevation() override
    {
        config::setWriteRefusedHandler(nullptr);
        setElevationSystem(nullptr);
        setPrompter(nullptr);
        setElevated(false);
        setMainWindow(nullptr);
        emptySharedList();
        clearAdminRequiredFiles();
    }

    std::string handOverBytes() const
    {
        std::string bytes;
        readFileBytes(handOverFilePath(), bytes);
        return bytes;
    }
    std::string log() const { return dir.read(L"run.log"); }

    static std::wstring testName()
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("elevation-") + info->name();
        return std::wstring(name.begin(), name.end());
    }

    test::TestFolder dir;
    FakeSystem system;
    Answers answers;
};

const std::wstring kRefusedText = L"Can't write to file\n%s\nRequest run as administrator.\nRestart program now?";

std::wstring refusedQuestion(const std::wstring& path)
{
    std::wstring text = kRefusedText;
    return text.replace(text.find(L"%s"), 2, path);
}

} // namespace

TEST_F(Elevation, StartsThisProgramWithTheNormalisedCommandLineAndTheMarker)
{
    EXPECT_EQ(handOverFilePath(), dir.file(L"tmp\\") + config::listKey() + L".lst");

    // Started with no arguments.
    SettingsTable::instance().set(props::kCommandLine, L"");
    relaunchAsAdministrator(false);
    ASSERT_EQ(system.starts.size(), 1u);
    EXPECT_EQ(system.starts[0].parameters, L"/___runas_admin___");
    EXPECT_EQ(system.starts[0].program, moduleFileName());
    EXPECT_EQ(system.starts[0].folder, applicationDirectory());
    EXPECT_EQ(SettingsTable::instance().get(props::kRunAsAdmin), L"___runas_admin___");
    EXPECT_TRUE(system.ended.empty()) << "the caller ends its own run";

    // Started by a host with the mode word and its window: the same words, so
    // the elevated copy keeps the mode and the host window.
    const std::wstring own = applicationDirectory() + L"renewkit.exe";
    SettingsTable::instance().set(props::kCommandLine,
                                  normalizeCommandLine(L"\"" + own + L"\"  /SILENCE \"65552\" ", own));
    relaunchAsAdministrator(true);
    ASSERT_EQ(system.starts.size(), 2u);
    EXPECT_EQ(system.starts[1].parameters, L"/silence 65552 /___runas_admin___");

    // A declined elevation prompt is logged; nothing else happens.
    system.startSucceeds = false;
    relaunchAsAdministrator(false);
    EXPECT_NE(log().find("Starting the program as administrator failed or was declined"), std::string::npos);
}

TEST_F(Elevation, HandOverFileHoldsTheSnapshotOnlyWhenTheListIsSaved)
{
    DownLoadList& list = DownLoadList::shared();
    list.entries = {entry(L"a.dll"), entry(L"sub\\b.txt"), entry(L"c.exe")};
    list.runCommands = {L"setup.exe /q"};
    list.description = L"Release notes";
    // A read-only file left by an earlier relaunch is replaced.
    writeFileBytes(handOverFilePath(), "stale");
    ::SetFileAttributesW(handOverFilePath().c_str(), FILE_ATTRIBUTE_READONLY);

    relaunchAsAdministrator(true);
    EXPECT_EQ(handOverBytes(), writeSnapshot(list));
    DownLoadList back;
    ASSERT_TRUE(loadHandOverFile(handOverFilePath(), back));
    ASSERT_EQ(back.count(), 3);
    EXPECT_EQ(back.entries[1].path, L"sub\\b.txt");
    EXPECT_EQ(back.runCommands, list.runCommands);

    // Without the list, no hand-over file is left, not even the last one.
    relaunchAsAdministrator(false);
    EXPECT_FALSE(fileExists(handOverFilePath()));
}

TEST_F(Elevation, ElevatedCopyRestoresTheListReportsDownloadOkAndDeletesTheFile)
{
    DownLoadList saved;
    saved.entries = {entry(L"one.txt"), entry(L"two.txt"), entry(L"three.txt")};
    writeFileBytes(handOverFilePath(), writeSnapshot(saved));
    setElevated(true);

    continueElevatedRun();
    const DownLoadList& list = DownLoadList::shared();
    ASSERT_EQ(list.count(), 3);
    EXPECT_EQ(list.entries[2].path, L"three.txt");
    EXPECT_EQ(list.stage(), 6);
    EXPECT_FALSE(fileExists(handOverFilePath()));

    // An empty list handed over starts from the check.
    emptySharedList();
    writeFileBytes(handOverFilePath(), writeSnapshot(DownLoadList{}));
    continueElevatedRun();
    EXPECT_EQ(DownLoadList::shared().stage(), 0);
    EXPECT_FALSE(fileExists(handOverFilePath()));
}

TEST_F(Elevation, DamagedOrMissingHandOverFileGivesAnEmptyListAndALogLine)
{
    DownLoadList saved;
    saved.entries = {entry(L"one.txt"), entry(L"two.txt")};
    const std::string good = writeSnapshot(saved);
    const struct {
        const char* name;
        std::string bytes;
        bool present;
    } cases[] = {
        {"missing", "", false},
        {"empty", "", true},
        {"truncated by one byte", good.substr(0, good.size() - 1), true},
        {"cut inside the entries", good.substr(0, good.size() / 2), true},
        {"a second list appended", good + good, true},
        {"garbage", std::string(4096, '\xA5'), true},
        {"a string longer than the file", std::string("\xFF\xFF\xFF\x7F", 4) + "abc", true},
    };
    int lines = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        emptySharedList();
        if (c.present)
            writeFileBytes(handOverFilePath(), c.bytes);
        continueElevatedRun();
        EXPECT_EQ(DownLoadList::shared().count(), 0);
        EXPECT_EQ(DownLoadList::shared().stage(), 0);
        EXPECT_FALSE(fileExists(handOverFilePath()));
        const std::string text = log();
        size_t at = 0;
        int now = 0;
        while ((at = text.find("starts from the check", at)) != std::string::npos) {
            ++now;
            ++at;
        }
        EXPECT_EQ(now, ++lines) << "one clear line per start";
    }
    EXPECT_NE(log().find("unreadable or damaged"), std::string::npos);
    EXPECT_NE(log().find("No update list was handed over"), std::string::npos);

    // A file past the size limit is not read at all.
    writeFileBytes(dir.file(L"ten.bin"), "0123456789");
    std::string bytes;
    EXPECT_FALSE(readFileBytesLimited(dir.file(L"ten.bin"), bytes, 9));
    EXPECT_TRUE(readFileBytesLimited(dir.file(L"ten.bin"), bytes, 10));
    EXPECT_EQ(bytes, "0123456789");
}

TEST_F(Elevation, RefusedConfigurationWriteAsksAndRelaunchesOnlyOnYes)
{
    // Read what the relaunch needs while the file is still there, then put a
    // folder in its place: writing it fails with access denied, also for root.
    const std::wstring handOver = handOverFilePath();
    const std::wstring ini = dir.file(L"renewkit.ini");
    ASSERT_TRUE(deleteFileForced(ini));
    ASSERT_TRUE(createDirectory(ini));
    config::setWriteRefusedHandler(writeRefusedPrompt);
    SettingsTable::instance().set(props::kCommandLine, L"tryicon");
    void* const window = reinterpret_cast<void*>(0x2468);
    setMainWindow(window);
    writeFileBytes(handOver, "left by an earlier relaunch");

    // No: nothing starts, nothing ends, the value is not kept.
    answers.answer = MessageAnswer::No;
    config::write(L"APPLICATION", L"Ver", L"2");
    ASSERT_EQ(answers.texts.size(), 1u);
    EXPECT_EQ(answers.texts[0], refusedQuestion(ini));
    EXPECT_EQ(answers.kinds[0], MessageKind::YesNoQuestion);
    EXPECT_EQ(answers.owners[0], window);
    EXPECT_TRUE(system.starts.empty());
    EXPECT_TRUE(system.ended.empty());
    EXPECT_EQ(SettingsTable::instance().get(L"APPLICATIONVer"), L"");
    EXPECT_TRUE(fileExists(handOver));

    // Yes: relaunched without a list, then this process is ended through the main window.
    answers.answer = MessageAnswer::Yes;
    config::write(L"APPLICATION", L"Ver", L"2");
    ASSERT_EQ(system.starts.size(), 1u);
    EXPECT_EQ(system.starts[0].parameters, L"tryicon /___runas_admin___");
    EXPECT_EQ(system.ended, std::vector<void*>{window});
    EXPECT_FALSE(fileExists(handOver));
    EXPECT_EQ(SettingsTable::instance().get(L"APPLICATIONVer"), L"");

    // The path is put in as it stands, never read as a format.
    writeRefusedPrompt(L"C:\\100%d %s\\renewkit.ini");
    EXPECT_EQ(answers.texts.back(), refusedQuestion(L"C:\\100%d %s\\renewkit.ini"));

    // Elevated: no question, the value stays in the settings table only.
    const size_t asked = answers.texts.size();
    setElevated(true);
    config::write(L"APPLICATION", L"Ver", L"3");
    writeRefusedPrompt(ini);
    EXPECT_EQ(answers.texts.size(), asked);
    EXPECT_EQ(system.starts.size(), 2u);
    EXPECT_EQ(SettingsTable::instance().get(L"APPLICATIONVer"), L"3");
    removeDirectory(ini);
}

TEST_F(Elevation, UninstallThatNeedsRightsRelaunchesAndOnlyTheElevatedCopyRemovesFiles)
{
    dir.write(L"renewkit.xml", "<update><file path=\"sub\\a.txt\" ver=\"1\"/></update>");
    dir.write(L"sub\\a.txt", "installed");
    // Settings are read while the file is there; then a folder in its place
    // makes renewkit.ini one that only an administrator could write.
    const std::wstring handOver = handOverFilePath();
    config::read(L"RenewKit", L"Log");
    const std::wstring ini = dir.file(L"renewkit.ini");
    ASSERT_TRUE(deleteFileForced(ini));
    ASSERT_TRUE(createDirectory(ini));
    SettingsTable::instance().set(props::kCommandLine, L"uninstall");

    uninstallRun();
    ASSERT_EQ(system.starts.size(), 1u);
    EXPECT_EQ(system.starts[0].parameters, L"uninstall /___runas_admin___");
    EXPECT_TRUE(fileExists(handOver)) << "the uninstall run hands its list over too";
    EXPECT_EQ(dir.read(L"sub\\a.txt"), "installed") << "nothing removed before the relaunch";
    EXPECT_TRUE(fileExists(dir.file(L"renewkit.xml")));

    clearAdminRequiredFiles();
    setElevated(true);
    uninstallRun();
    EXPECT_EQ(system.starts.size(), 1u) << "the elevated copy never relaunches for the same reason";
    EXPECT_FALSE(fileExists(dir.file(L"sub\\a.txt")));
    EXPECT_FALSE(fileExists(dir.file(L"renewkit.xml")));
    removeDirectory(ini);
}

namespace {

std::vector<UINT> g_seen;

LRESULT CALLBACK recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_QUERYENDSESSION || message == WM_CLOSE) {
        g_seen.push_back(message);
        return message == WM_QUERYENDSESSION ? TRUE : 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

TEST(ElevationEnd, MainWindowIsAskedToEndThenClosedThenQuit)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = recordingProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"RenewKitElevationEndTest";
    ::RegisterClassW(&wc);
    HWND window = ::CreateWindowExW(0, wc.lpszClassName, L"main", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                    wc.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    g_seen.clear();
    elevationSystem().endProcess(window);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            g_seen.push_back(WM_QUIT);
            break;
        }
        ::DispatchMessageW(&msg);
    }
    EXPECT_EQ(g_seen, (std::vector<UINT>{WM_QUERYENDSESSION, WM_CLOSE, WM_QUIT}));
    ::DestroyWindow(window);
}
