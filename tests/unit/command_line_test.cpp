#include "app/command_line.h"
#include "platform/system.h"

#include <gtest/gtest.h>

#include <set>

#include <windows.h>

using namespace rk;

namespace {

auto windowsAre(std::set<std::uintptr_t> handles)
{
    return [handles](std::uintptr_t h) { return handles.count(h) > 0; };
}

} // namespace

TEST(CommandLine, NormalisationDropsQuotesCaseAndOwnPath)
{
    EXPECT_EQ(normalizeCommandLine(L"\"C:\\Mellowby\\mbqb\\X\\RenewKit.exe\"  /Silence 123 ",
                                   L"C:\\Mellowby\\mbqb\\X\\\\renewkit.exe"),
              L"/silence 123");
    // Started from another folder the path stays; it matches no word.
    EXPECT_EQ(normalizeCommandLine(L"D:\\Tools\\renewkit.exe -icon", L"C:\\Mellowby\\mbqb\\X\\renewkit.exe"),
              L"d:\\tools\\renewkit.exe -icon");
}

TEST(CommandLine, TheUpdatersOwnPathChoosesNoModeAndNoHostWindow)
{
    // Run from a folder other than the application's: the path stays in the
    // line, but its words are no switches.
    const std::wstring normalized =
        normalizeCommandLine(L"\"D:\\Tools 7\\icon-4242.exe\" /silence", L"C:\\Mellowby\\mbqb\\X\\icon-4242.exe");
    EXPECT_EQ(normalized, L"d:\\tools 7\\icon-4242.exe /silence");
    ModeChoice c = chooseMode(modeWords(normalized, L"D:\\Tools 7\\icon-4242.exe"), L"", windowsAre({7, 4242}));
    EXPECT_EQ(c.mode, L"silence");
    EXPECT_EQ(c.hostWindow, 0u);
    c = chooseMode(modeWords(normalized + L" 4242", L"D:\\Tools 7\\icon-4242.exe"), L"", windowsAre({7, 4242}));
    EXPECT_EQ(c.hostWindow, 4242u) << "a handle passed as a word of its own still counts";
}

TEST(CommandLine, AWindowOfTheUpdaterItselfIsNoHostWindow)
{
    HWND own = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(own, nullptr);
    const auto handle = reinterpret_cast<std::uintptr_t>(own);
    EXPECT_TRUE(isExistingWindow(handle));
    EXPECT_FALSE(isOtherProgramsWindow(handle));
    ::DestroyWindow(own);
    EXPECT_FALSE(isOtherProgramsWindow(handle));
    EXPECT_TRUE(isOtherProgramsWindow(reinterpret_cast<std::uintptr_t>(::GetDesktopWindow())));
}

TEST(CommandLine, ModeWordsAndHostWindow)
{
    auto windows = windowsAre({4242, 77});
    ModeChoice c = chooseMode(L"/silence 4242", L"AppEnterNoPrompt", windows);
    EXPECT_EQ(c.mode, L"silence");
    EXPECT_EQ(c.hostWindow, 4242u);

    c = chooseMode(L"4242 /tryicon", L"", windows);
    EXPECT_EQ(c.mode, L"tryicon");
    EXPECT_EQ(c.hostWindow, 4242u);

    c = chooseMode(L"icon", L"", windows); // already lower-cased by normalisation
    EXPECT_EQ(c.mode, L"tryicon");
    EXPECT_EQ(chooseMode(L"-showwhenhaveupdate", L"", windows).mode, L"showwhenupdate");
}

TEST(CommandLine, LastWordWinsAndUnknownWordsAreIgnored)
{
    auto windows = windowsAre({10, 20});
    ModeChoice c = chooseMode(L"silence,checkforupdates 10 what 20 999 -uninstall", L"x", windows);
    EXPECT_EQ(c.mode, L"uninstall");
    EXPECT_EQ(c.hostWindow, 20u);
    c = chooseMode(L"555 nothing", L"  AppEnterNoPrompt ", windows);
    EXPECT_EQ(c.mode, L"appenternoprompt");
    EXPECT_EQ(c.hostWindow, 0u);
    EXPECT_EQ(chooseMode(L"", L"", windows).mode, L"");
}

TEST(CommandLine, DotNetSwitchCountsOnlyAfterTheStart)
{
    EXPECT_EQ(dotNetSwitch(L"/dotnet20"), L"2.0");
    EXPECT_EQ(dotNetSwitch(L"-dotnet35 silence"), L"3.5");
    EXPECT_EQ(dotNetSwitch(L"dotnet20"), L"");
    EXPECT_EQ(dotNetSwitch(L"silence dotnet40"), L"4.0");
    // The table order decides, not the position.
    EXPECT_EQ(dotNetSwitch(L"/dotnet40 /dotnet11"), L"1.1");
    EXPECT_EQ(dotNetSwitch(L"silence"), L"");
}
