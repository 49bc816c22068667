// The .NET Framework installer dialog end to end: a deployment that needs
// .NET 3.5 (missing in the test prefix) downloads the installer from the
// address it configures, served by nginx, into the block view.
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

} // namespace

TEST(DotNetDialog, DownloadsTheConfiguredInstallerIntoTheBlockView)
{
    if (dotNet35Installed())
        GTEST_SKIP() << "this prefix has .NET 3.5";
    RunSetup run = needsDotNet35(L"DotNetOk", nginxUrl(L"mid.bin"));
    // downparam0 ends right after start-up, which checks the requirement first.
    e2e::RunningProgram program(L"\"" + run.updater.exe + L"\" downparam0");
    ASSERT_TRUE(program.started());
    HWND dialog = static_cast<HWND>(e2e::waitForWindow(program.id(), isDotNetDialog));
    ASSERT_NE(dialog, nullptr) << "the installer dialog was not shown";
    EXPECT_EQ(buttonText(dialog), L"Download");
    EXPECT_FALSE(saveScreenshot(L"dotnet_before_download").empty());

    click(dialog, IDOK);
    ASSERT_TRUE(e2e::waitUntil([&] { return buttonText(dialog) == L"Install"; }));
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(dialog, IDOK)));
    const std::wstring saved = findFile(run.appDir + L"tmp", L"mid.bin");
    ASSERT_FALSE(saved.empty());
    EXPECT_EQ(e2e::readBytes(saved), sourceBytes(L"mid.bin"));
    EXPECT_FALSE(nginxRequests("/mid.bin").empty());
    ::RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    EXPECT_FALSE(saveScreenshot(L"dotnet_downloaded").empty());

    click(dialog, IDCANCEL);
    EXPECT_EQ(program.wait(), 0);
}

TEST(DotNetDialog, InstallRunsTheDownloadedInstallerAndCloses)
{
    if (dotNet35Installed())
        GTEST_SKIP() << "this prefix has .NET 3.5";
    // The demo program stands in for the installer: it notes its start beside itself.
    RunSetup run = needsDotNet35(L"DotNetInstall", nginxUrl(L"pub/v2/demo.exe"));
    e2e::RunningProgram program(L"\"" + run.updater.exe + L"\" downparam0");
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
    e2e::RunningProgram program(L"\"" + run.updater.exe + L"\" downparam0");
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
