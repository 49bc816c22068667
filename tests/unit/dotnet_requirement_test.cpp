// The .NET Framework requirement: detection from the framework folders, the
// needed-version keys, the version table and the installer address and path.
#include "core/dotnet_requirement.h"
#include "core/settings.h"
#include "platform/files.h"
#include "tests/unit/test_folder.h"

#include <gtest/gtest.h>
#include <map>

using namespace rk;

namespace {

constexpr size_t kV10 = 0, kV20 = 2, kV35 = 4, kV40 = 5, kV45 = 6;

std::wstring neededFrom(const std::map<std::wstring, std::wstring>& values)
{
    return dotnet::neededVersion([&](const std::wstring& key) {
        auto found = values.find(key);
        return found == values.end() ? std::wstring() : found->second;
    });
}

} // namespace

TEST(DotNetDetection, FoldersOnlyAndCaseSensitive)
{
    test::TestFolder dir(L"dotnet-detect");
    createDirectory(dir.file(L"v4.0.30319"));
    createDirectory(dir.file(L"v1.0.3705"));
    createDirectory(dir.file(L"V3.5"));
    createDirectory(dir.file(L"xv4.5"));
    dir.write(L"v2.0.txt", "not a folder");
    const dotnet::InstalledVersions found = dotnet::detectIn(dir.path());
    EXPECT_TRUE(found[kV40]);
    EXPECT_TRUE(found[kV10]);
    EXPECT_FALSE(found[kV20]) << "a file named like a version";
    EXPECT_FALSE(found[kV35]) << "upper-case V";
    EXPECT_FALSE(found[kV45]) << "the name must start with the version";
    EXPECT_EQ(dotnet::detectIn(dir.file(L"missing")), dotnet::InstalledVersions{});
}

TEST(DotNetDetection, FourPointFiveAndLaterFromTheReleaseValue)
{
    // 4.5 to 4.8 replace 4.0 in v4.0.30319; no v4.5 folder ever appears.
    const std::vector<DirectoryEntry> folders{{L"v2.0.50727", true}, {L"v4.0.30319", true}};
    EXPECT_FALSE(dotnet::detectFrom(folders)[kV45]);
    EXPECT_FALSE(dotnet::detectFrom(folders, std::nullopt)[kV45]);
    EXPECT_FALSE(dotnet::detectFrom(folders, 378388u)[kV45]) << "below 4.5";
    for (std::uint32_t release : {378389u, 394802u, 461808u, 528040u, 533320u}) {
        const dotnet::InstalledVersions found = dotnet::detectFrom(folders, release);
        EXPECT_TRUE(found[kV45]) << release;
        EXPECT_TRUE(found[kV40]) << release;
        EXPECT_TRUE(found[kV20]) << "the folder rule still holds for the older ones";
        EXPECT_FALSE(dotnet::isMissing(L"4.5", found));
        EXPECT_FALSE(dotnet::isMissing(L"4", found));
    }
    // A Release value alone (folders not readable) still counts for 4.x only.
    const dotnet::InstalledVersions alone = dotnet::detectFrom({}, 528040u);
    EXPECT_TRUE(alone[kV45]);
    EXPECT_FALSE(alone[kV35]);
}

TEST(DotNetNeeded, TextKeysThenTheFirstVersionKey)
{
    EXPECT_EQ(neededFrom({}), L"");
    EXPECT_EQ(neededFrom({{L"dotnetfx", L"2.0"}, {L"DotNetFx", L"4"}}), L"4");
    EXPECT_EQ(neededFrom({{L"dotnetfix", L"3.5"}}), L"3.5");
    // Any text in a version key counts, "0" too, and the first in table order wins.
    EXPECT_EQ(neededFrom({{L"DotNetFix", L"4.5"}, {L"dotnetfx40", L"0"}, {L"dotnetfx20", L"no"}}), L"2.0");
    EXPECT_EQ(neededFrom({{L"dotnetfx11", L"1"}}), L"1.1");
}

TEST(DotNetNeeded, ReadFromTheConfiguration)
{
    test::TestFolder dir(L"dotnet-needed");
    dir.write(L"renewkit.ini", "[RenewKit]\r\nDotNetFix=3.0\r\ndotnetfx35=x\r\n");
    EXPECT_EQ(dotnet::neededVersion(), L"3.5");
}

TEST(DotNetVersions, TableOfFlags)
{
    dotnet::InstalledVersions installed{};
    installed[kV20] = true;
    EXPECT_FALSE(dotnet::isMissing(L"2", installed));
    EXPECT_FALSE(dotnet::isMissing(L"2.0", installed));
    EXPECT_TRUE(dotnet::isMissing(L"3.5", installed));
    EXPECT_TRUE(dotnet::isMissing(L"4", installed));
    EXPECT_TRUE(dotnet::isMissing(L"4.5", installed));
    // Versions outside the table never count as missing.
    EXPECT_FALSE(dotnet::isMissing(L"5.0", installed));
    EXPECT_FALSE(dotnet::isMissing(L"2.0.50727", installed));
    EXPECT_FALSE(dotnet::isMissing(L"", installed));
}

TEST(DotNetVersions, NeededFiveDoesNothing)
{
    bool shown = false;
    dotnet::setInstallerDialog([&](void*, const std::wstring&) { shown = true; });
    EXPECT_TRUE(dotnet::checkVersion(nullptr, L"5.0"));
    EXPECT_TRUE(dotnet::checkVersion(nullptr, L""));
    EXPECT_FALSE(shown);
    dotnet::setInstallerDialog(nullptr);
}

TEST(DotNetVersions, MissingVersionOffersItsInstaller)
{
    // The test prefix has no framework folders.
    if (dotnet::detect()[kV35])
        GTEST_SKIP() << "this prefix has .NET 3.5";
    std::wstring offered;
    dotnet::setInstallerDialog([&](void*, const std::wstring& version) { offered = version; });
    EXPECT_FALSE(dotnet::checkVersion(nullptr, L"3.5"));
    EXPECT_EQ(offered, L"3.5");
    dotnet::setInstallerDialog(nullptr);
}

TEST(DotNetInstaller, NumberAddressAndPath)
{
    EXPECT_EQ(dotnet::installerNumber(L"3.5"), L"35");
    EXPECT_EQ(dotnet::installerNumber(L"4"), L"40");
    EXPECT_EQ(dotnet::installerNumber(L"1.1"), L"11");
    EXPECT_EQ(dotnet::installerNumber(L""), L"00");
    EXPECT_EQ(dotnet::dottedNumber(L"35"), L"3.5");
    EXPECT_EQ(dotnet::installerUrl(L"35", L"http://127.0.0.1:8080/fx/setup35.exe"),
              L"http://127.0.0.1:8080/fx/setup35.exe");
    EXPECT_EQ(dotnet::installerUrl(L"35", L""), L"http://download.example.com/dotnetfx/dotnetfx35.exe");
    EXPECT_EQ(dotnet::installerUrl(L"45", L""), L"http://download.example.com/dotnetfx/dotnetfx45.exe");
    EXPECT_EQ(dotnet::installerUrl(L"50", L""), L"");
    EXPECT_EQ(dotnet::installerPath(L"http://host/a/b/setup.exe", L"C:\\tmp\\abc\\"), L"C:\\tmp\\abc\\setup.exe");
    EXPECT_EQ(dotnet::installerPath(L"http://host\\fx\\setup.exe", L"C:\\tmp\\abc"), L"C:\\tmp\\abc\\setup.exe");
    EXPECT_EQ(dotnet::installerPath(L"", L"C:\\tmp"), L"");
}
