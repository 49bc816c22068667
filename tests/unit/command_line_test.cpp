#include "app/command_line.h"

#include <gtest/gtest.h>

#include <set>

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
