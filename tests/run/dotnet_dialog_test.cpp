// The .NET Framework prerequisite end to end: a deployment that needs .NET
// 3.5 (missing in the test prefix) downloads the installer from the address
// it configures, served by nginx, into the block view; closing the dialog
// stops the download; the hidden refresh never shows it; 4.5 and later are
// found by the Release value that the setup of 4.5 to 4.8 leaves.
#include "tests/run/registry_value_scope.h"
#include "tests/run/run_support.h"
#include "tests/run/screen_capture.h"

#include "core/dotnet_requirement.h"
#include "platform/files.h"
#include "tests/download/server_env.h"

#include <gtest/gtest.h>
#include <windows.h>

using namespace rk;
using namespace rk::test;

namespace {

std::wstring g_caption;

bool isDotNetDialog(void* window)
{
    wchar_t caption[128] = {};
    ::GetWindowTextW(static_cast<HWND>(window), caption, 128);
    return ::IsWindowVisible(static_cast<HWND>(window)) && g_caption == caption;
}

std::wstring buttonText(HWND dialog)
{
    wchar_t text[64] = {};
    ::GetWindowTextW(::GetDlgItem(dialog, IDOK), text, 64);
    return text;
}

void click(HWND dialog, int id)
{
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

// The file of that name somewhere below the folder, or empty.
std::wstring findFile(const std::wstring& folder, const std::wstring& name)
{
    for (const DirectoryEntry& entry : listDirectory(folder)) {
        const std::wstring path = folder + L"\\" + entry.name;
        if (!entry.isDirectory && entry.name == name)
            return path;
        if (entry.isDirectory) {
            std::wstring found = findFile(path, name);
            if (!found.empty())
                return found;
        }
    }
    return {};
}

RunSetup needsDotNet35(const std::wstring& test, const std::wstring& installer)
{
    RunSetup run =
        makeRun(test, releaseListUrl(L"v2"), "TempPath=tmp\ndotnetfx35=1\n", "dotnetfx35=" + narrow(installer) + "\n");
    g_caption = run.name;
    return run;
}

bool dotNet35Installed() { return dotnet::detect()[4]; }

// The /dotnet35 switch: the requirement check for 3.5, then the program ends.
std::wstring dotNet35Switch(const RunSetup& run) { return L"\"" + run.updater.exe + L"\" /dotnet35"; }

// Files below the folder whose names start with the text.
std::vector<std::wstring> filesStartingWith(const std::wstring& folder, const std::wstring& start)
{
    std::vector<std::wstring> found;
    for (const DirectoryEntry& entry : listDirectory(folder)) {
        const std::wstring path = folder + L"\\" + entry.name;
        if (entry.isDirectory) {
            for (const std::wstring& inner : filesStartingWith(path, start))
                found.push_back(inner);
        } else if (entry.name.compare(0, start.size(), start) == 0) {
            found.push_back(path);
        }
    }
    return found;
}

// The block view inside the dialog.
HWND blockView(HWND dialog) { return ::FindWindowExW(dialog, nullptr, L"RenewKitScrollView", nullptr); }

// Where the first row's filled cells begin, on the screen now.
std::vector<int> cellStarts(HWND view, int dpi)
{
    RECT client{};
    ::GetClientRect(view, &client);
    ::MapWindowPoints(view, nullptr, reinterpret_cast<POINT*>(&client), 2);
    constexpr std::uint32_t kFilled = rgb(0, 112, 195);
    const Image image = captureScreen();
    const int row = client.top + (dpi == 144 ? 7 : 5);
    std::vector<int> starts;
    for (int x = client.left + 1; x < client.right && starts.size() < 3; ++x) {
        if (image.at(x, row) == kFilled && image.at(x - 1, row) != kFilled)
            starts.push_back(x);
    }
    return starts;
}

void checkBlockViewPixels(HWND dialog, int dpi, const std::wstring& name)
{
    HWND view = blockView(dialog);
    ASSERT_NE(view, nullptr);
    ::RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    // The first row of cells, filled: one cell begins every 10 pixels at
    // 100 % and every 15 at 150 %. The display shows the repaint a moment
    // after it: the row is read until its cells are evenly spaced.
    std::vector<int> starts;
    e2e::waitUntil(
        [&] {
            starts = cellStarts(view, dpi);
            return starts.size() == 3 && starts[1] - starts[0] == starts[2] - starts[1];
        },
        300);
    EXPECT_FALSE(saveScreenshot(name).empty());
    ASSERT_EQ(starts.size(), 3u) << "no filled cells in the first row";
    EXPECT_EQ(starts[1] - starts[0], dpi == 144 ? 15 : 10);
    EXPECT_EQ(starts[2] - starts[1], dpi == 144 ? 15 : 10);
}

} // namespace

void downloadIntoTheBlockView(int dpi)
{
    if (dotNet35Installed())
        GTEST_SKIP() << "this prefix has .NET 3.5";
    const std::wstring percent = dpi == 144 ? L"150" : L"100";
    RunSetup run = needsDotNet35(L"DotNetOk" + percent, nginxUrl(L"mid.bin"));
    // The start-up check (dotnetfx35 in [RenewKit]) of a mode that ends right
    // after start-up.
    e2e::RunningProgram program(L"\"" + run.updater.exe + L"\" emptytemp");
    ASSERT_TRUE(program.started());
    HWND dialog = static_cast<HWND>(e2e::waitForWindow(program.id(), isDotNetDialog));
    ASSERT_NE(dialog, nullptr) << "the installer dialog was not shown";
    EXPECT_EQ(buttonText(dialog), L"Download");
    EXPECT_FALSE(saveScreenshot(L"dotnet_" + percent + L"_before_download").empty());

    click(dialog, IDOK);
    ASSERT_TRUE(e2e::waitUntil([&] { return buttonText(dialog) == L"Install"; }));
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(dialog, IDOK)));
    const std::wstring saved = findFile(run.appDir + L"tmp", L"mid.bin");
    ASSERT_FALSE(saved.empty());
    EXPECT_EQ(e2e::readBytes(saved), sourceBytes(L"mid.bin"));
    EXPECT_FALSE(nginxRequests("/mid.bin").empty());
    checkBlockViewPixels(dialog, dpi, L"dotnet_" + percent + L"_downloaded");

    click(dialog, IDCANCEL);
    EXPECT_EQ(program.wait(), 0);
}

TEST(DotNetDialog, At100PercentDownloadsTheConfiguredInstallerIntoTheBlockView) { downloadIntoTheBlockView(96); }

TEST(DotNetDialog, At150PercentDownloadsTheConfiguredInstallerIntoLargerCells)
{
    DpiScope scope(144);
    ASSERT_TRUE(scope.set());
    downloadIntoTheBlockView(144);
}

TEST(DotNetDialog, ClosingItStopsTheDownloadAndRemovesItsPartFiles)
{
    if (dotNet35Installed())
        GTEST_SKIP() << "this prefix has .NET 3.5";
    // Ten megabytes sent 4 KiB at a time: still running when the dialog is closed.
    const std::wstring url = faultUrl(L"drip=4096:50,t=" + uniqueToken(), L"ten.bin");
    RunSetup run = needsDotNet35(L"DotNetStop", url);
    e2e::RunningProgram program(dotNet35Switch(run));
    ASSERT_TRUE(program.started());
    HWND dialog = static_cast<HWND>(e2e::waitForWindow(program.id(), isDotNetDialog));
    ASSERT_NE(dialog, nullptr);
    click(dialog, IDOK);
    const std::wstring temp = run.appDir + L"tmp";
    ASSERT_TRUE(e2e::waitUntil([&] { return filesStartingWith(temp, L"ten.bin.part").size() >= 2; }))
        << "the download did not start its ranges";
    click(dialog, IDCANCEL);
    EXPECT_EQ(program.wait(), 0);
    // The program waited for its download to end: nothing of it is left.
    EXPECT_TRUE(filesStartingWith(temp, L"ten.bin").empty()) << narrow(filesStartingWith(temp, L"ten.bin").front());
    EXPECT_FALSE(logHas(run, L"did not end in time"));
}

TEST(DotNetDialog, TheHiddenRefreshNeverShowsIt)
{
    if (dotNet35Installed())
        GTEST_SKIP() << "this prefix has .NET 3.5";
    // Started hidden by a quick check, it would wait on a dialog nobody sees.
    RunSetup run = needsDotNet35(L"DotNetHidden", nginxUrl(L"mid.bin"));
    for (const wchar_t* mode : {L"downparam0", L"downparam1"})
        EXPECT_EQ(e2e::runProgram(L"\"" + run.updater.exe + L"\" " + mode, 30000), 0) << narrow(mode);
}

TEST(DotNetDialog, InstallRunsTheDownloadedInstallerAndCloses)
{
    if (dotNet35Installed())
        GTEST_SKIP() << "this prefix has .NET 3.5";
    // The demo program stands in for the installer: it notes its start beside itself.
    RunSetup run = needsDotNet35(L"DotNetInstall", nginxUrl(L"pub/v2/demo.exe"));
    e2e::RunningProgram program(dotNet35Switch(run));
    ASSERT_TRUE(program.started());
    HWND dialog = static_cast<HWND>(e2e::waitForWindow(program.id(), isDotNetDialog));
    ASSERT_NE(dialog, nullptr);
    click(dialog, IDOK);
    ASSERT_TRUE(e2e::waitUntil([&] { return buttonText(dialog) == L"Install"; }));
    const std::wstring installer = findFile(run.appDir + L"tmp", L"demo.exe");
    ASSERT_FALSE(installer.empty());
    click(dialog, IDOK);
    EXPECT_EQ(program.wait(), 0);
    const std::wstring note = installer.substr(0, installer.rfind(L'\\') + 1) + L"demo-started.txt";
    ASSERT_TRUE(e2e::waitUntil([&] { return fileExists(note); }));
    EXPECT_EQ(e2e::readBytes(note).substr(0, 14), "demo.exe versi");
}

TEST(DotNetDialog, AFailedDownloadOffersTheDownloadAgain)
{
    if (dotNet35Installed())
        GTEST_SKIP() << "this prefix has .NET 3.5";
    const std::wstring missing = L"dotnetfx-missing-" + uniqueToken() + L".exe";
    RunSetup run = needsDotNet35(L"DotNetFail", nginxUrl(missing));
    e2e::RunningProgram program(dotNet35Switch(run));
    ASSERT_TRUE(program.started());
    HWND dialog = static_cast<HWND>(e2e::waitForWindow(program.id(), isDotNetDialog));
    ASSERT_NE(dialog, nullptr);
    HWND button = ::GetDlgItem(dialog, IDOK);

    // The button is disabled before the first request goes out, so once the
    // server has answered, an enabled button means the download has ended.
    click(dialog, IDOK);
    ASSERT_TRUE(
        e2e::waitUntil([&] { return !nginxRequests(narrow(missing)).empty() && ::IsWindowEnabled(button) != FALSE; }));
    EXPECT_EQ(buttonText(dialog), L"Download");
    ::RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    EXPECT_FALSE(saveScreenshot(L"dotnet_failed").empty());

    const size_t firstTry = nginxRequests(narrow(missing)).size();
    click(dialog, IDOK);
    ASSERT_TRUE(e2e::waitUntil(
        [&] { return nginxRequests(narrow(missing)).size() > firstTry && ::IsWindowEnabled(button) != FALSE; }));
    EXPECT_EQ(buttonText(dialog), L"Download");
    click(dialog, IDCANCEL);
    EXPECT_EQ(program.wait(), 0);
}

TEST(DotNetRelease, FourPointEightFromTheReleaseValueStartsTheHostWithoutTheDialog)
{
    // 4.5 to 4.8 live in the v4.0.30319 folder; only the Release value names them.
    RunSetup run = makeRun(L"DotNet48", publishAs(L"v2", L"dotnet48"), "DotNetFix=4.5\n");
    installRelease(run, L"v2");
    {
        // 4.8 by its Release value under the v4 setup key, as Windows records 4.5 and later.
        RegistryValueScope release(HKEY_LOCAL_MACHINE, dotnet::kV4SetupKey, L"Release", 528040, KEY_WOW64_64KEY);
        ASSERT_TRUE(release.set());
        ASSERT_TRUE(dotnet::detect()[6]);
        long long exitCode = -1;
        std::vector<HostEvent> events = silentRun(run, L"--timeout 60000", &exitCode);
        ASSERT_FALSE(events.empty());
        EXPECT_EQ(events.back().text("timed_out"), L"false") << "the run waited on the .NET dialog";
        EXPECT_EQ(stagesSeen(events), (Stages{0, 1, 3, 13}));
        EXPECT_EQ(startedNote(run), "demo.exe version 2 started\r\n");
    }

    // Without the value 4.5 is missing: the dialog is offered before the run,
    // and the run goes on once it is closed.
    if (dotnet::detect()[6])
        GTEST_SKIP() << "this prefix has .NET 4.5 of its own";
    g_caption = run.name;
    e2e::RunningProgram program(L"\"" + run.updater.exe + L"\" silence");
    ASSERT_TRUE(program.started());
    HWND dialog = static_cast<HWND>(e2e::waitForWindow(program.id(), isDotNetDialog));
    ASSERT_NE(dialog, nullptr) << "4.5 counted as installed without the Release value";
    click(dialog, IDCANCEL);
    EXPECT_EQ(program.wait(), 0);
    EXPECT_EQ(logCount(run, L"Find nothing to update."), 2) << "the second run did not go on";
}
