#include "core/config.h"
#include "core/process_state.h"
#include "core/settings.h"
#include "core/app_directory.h"
#include "core/path_text.h"
#include "platform/files.h"
#include "tests/unit/test_folder.h"

#include <gtest/gtest.h>
#include <windows.h>

using namespace rk;

TEST(FlagRule, TrueAndFalseSpellings)
{
    for (const wchar_t* yes : {L"1", L"TRUE", L"true", L"  yes  ", L"Y", L"t", L"10"})
        EXPECT_TRUE(config::parseFlag(yes)) << yes;
    for (const wchar_t* no : {L"0", L"false", L"no", L"on", L"", L"  ", L"2", L"x1"})
        EXPECT_FALSE(config::parseFlag(no)) << no;
}

TEST(ConfigRead, DefaultsFlagsAndNumbers)
{
    test::TestFolder dir(L"config-defaults");
    dir.write(L"renewkit.ini", "[RenewKit]\r\nShowWhenCheck=\r\nTimeOut=12abc\r\nQuickCheck=Yes\r\nBad=x\r\n");
    EXPECT_EQ(config::readDefault(L"RenewKit", L"ShowWhenCheck", L"1"), L"1");
    EXPECT_TRUE(config::readFlag(L"RenewKit", L"ShowWhenCheck", L"1"));
    EXPECT_TRUE(config::readFlag(L"RenewKit", L"QuickCheck", L"0"));
    EXPECT_EQ(config::readNumber(L"RenewKit", L"TimeOut", L"60"), 12);
    EXPECT_EQ(config::readNumber(L"RenewKit", L"Bad", L"60"), 0);
    EXPECT_EQ(config::readNumber(L"RenewKit", L"Missing", L"60"), 60);
}

TEST(ConfigRead, NumbersSaturateInsteadOfWrapping)
{
    EXPECT_EQ(parseDecimal(L"18446744073709551620"), 9223372036854775807LL);
    EXPECT_EQ(parseDecimal(L"9223372036854775807"), 9223372036854775807LL);
    EXPECT_EQ(parseDecimal(L"-9223372036854775808"), (-9223372036854775807LL - 1));
    EXPECT_EQ(parseDecimal(L"-99999999999999999999"), (-9223372036854775807LL - 1));
    EXPECT_EQ(parseDecimal(L" -42x"), -42);

    test::TestFolder dir(L"config-saturate");
    dir.write(L"renewkit.ini", "[RenewKit]\r\nTimeOut=3000000000\r\nLow=-3000000000\r\nTm=18446744073709551620\r\n");
    EXPECT_EQ(config::readNumber(L"RenewKit", L"TimeOut", L"60"), 2147483647L);
    EXPECT_EQ(config::readNumber(L"RenewKit", L"Low", L"60"), -2147483647L - 1);
    EXPECT_EQ(config::readNumber64(L"RenewKit", L"Tm", L"0"), 9223372036854775807LL);
}

TEST(ConfigRead, CachesNonEmptyValuesOnly)
{
    test::TestFolder dir(L"config-cache");
    dir.write(L"renewkit.ini", "[UPDATEINFO]\r\nListURL=http://a/list.xml\r\nParameter=\r\n");
    EXPECT_EQ(config::read(L"UPDATEINFO", L"ListURL"), L"http://a/list.xml");
    EXPECT_EQ(config::read(L"UPDATEINFO", L"Parameter"), L"");
    dir.write(L"renewkit.ini", "[UPDATEINFO]\r\nListURL=http://b/other.xml\r\nParameter=p\r\n");
    // The first value stays for the run; the empty one is read from the file again.
    EXPECT_EQ(config::read(L"UPDATEINFO", L"ListURL"), L"http://a/list.xml");
    EXPECT_EQ(config::read(L"UPDATEINFO", L"Parameter"), L"p");
    EXPECT_EQ(SettingsTable::instance().get(L"UPDATEINFOListURL"), L"http://a/list.xml");
}

TEST(ConfigRead, ValuesAreCutAt999Characters)
{
    test::TestFolder dir(L"config-long");
    dir.write(L"renewkit.ini", "[APPLICATION]\r\nName=" + std::string(1500, 'n') + "\r\n");
    EXPECT_EQ(config::read(L"APPLICATION", L"Name").size(), 999u);
}

TEST(ConfigRead, TwoKeysComeFromTheTemporaryConfiguration)
{
    test::TestFolder dir(L"config-temp");
    dir.write(L"renewkit.ini", "[RenewKit]\r\nTempPath=tmp\r\nOwerCheckTm=5\r\nListFileZip=1\r\nLog=x.log\r\n");
    dir.write(L"tmp\\renewkit.ini", "[RenewKit]\r\nOwerCheckTm=77\r\n");
    EXPECT_EQ(config::read(L"RenewKit", L"OwerCheckTm"), L"77");
    EXPECT_EQ(config::read(L"RenewKit", L"ListFileZip"), L"");
    EXPECT_EQ(config::read(L"RenewKit", L"Log"), L"x.log");
}

TEST(ConfigWrite, WritesGoToTheMainFileAndTheCache)
{
    test::TestFolder dir(L"config-write");
    dir.write(L"renewkit.ini", "[RenewKit]\r\nTempPath=tmp\r\n");
    config::write(L"RenewKit", L"OwerCheckTm", L"123");
    EXPECT_NE(dir.read(L"renewkit.ini").find("OwerCheckTm=123"), std::string::npos);
    EXPECT_EQ(SettingsTable::instance().get(L"RenewKitOwerCheckTm"), L"123");
    // A later run reads the temporary configuration, which never got the value.
    SettingsTable::instance().clear();
    EXPECT_EQ(config::read(L"RenewKit", L"OwerCheckTm"), L"");
}

TEST(TemporaryDirectory, Rules)
{
    test::TestFolder dir(L"config-tempdir");
    dir.write(L"renewkit.ini", "[RenewKit]\r\nTempPath=cache\\\\dl\r\n");
    EXPECT_EQ(config::temporaryDirectory(), dir.path() + L"cache\\dl");
    SettingsTable::instance().clear();
    dir.write(L"renewkit.ini", "[RenewKit]\r\nTempPath=D:\\somewhere\r\n");
    EXPECT_EQ(config::temporaryDirectory(), L"D:\\somewhere");
    SettingsTable::instance().clear();
    dir.write(L"renewkit.ini", "[RenewKit]\r\nTempAppPath=yes\r\nTempPath=D:\\somewhere\r\n");
    EXPECT_EQ(config::temporaryDirectory(), dir.path());
    SettingsTable::instance().clear();
    dir.write(L"renewkit.ini", "[RenewKit]\r\nTempPath=" + std::string(300, 'p') + "\r\n");
    EXPECT_EQ(config::temporaryDirectory(), systemTempPath());
    SettingsTable::instance().clear();
    dir.write(L"renewkit.ini", "");
    EXPECT_EQ(config::temporaryDirectory(), systemTempPath());
}

TEST(ListKey, NamesTheFilesInTheTemporaryDirectory)
{
    test::TestFolder dir(L"config-listkey");
    dir.write(L"renewkit.ini", "[RenewKit]\r\nTempAppPath=1\r\n[UPDATEINFO]\r\nListURL=9999999999\r\n");
    // ListURL + "9999999999" is twenty nines; the hash is checked in its own test.
    EXPECT_EQ(config::listKey().size(), 11u);
    EXPECT_EQ(config::listKeyPath(L".xml"), dir.path() + config::listKey() + L".xml");
}

TEST(ConfigWrite, RefusedWriteOffersElevationAndStoresNothing)
{
    test::TestFolder dir(L"config-refused");
    // A folder in the file's place refuses the write with access denied, also for root.
    ASSERT_TRUE(createDirectory(dir.file(L"renewkit.ini")));
    std::wstring offered;
    config::setWriteRefusedHandler([&](const std::wstring& path) { offered = path; });
    config::write(L"APPLICATION", L"Ver", L"2");
    EXPECT_EQ(offered, dir.file(L"renewkit.ini"));
    EXPECT_EQ(SettingsTable::instance().get(L"APPLICATIONVer"), L"");

    // Once elevated the offer is not made again; the value is kept for the run.
    offered.clear();
    setElevated(true);
    config::write(L"APPLICATION", L"Ver", L"3");
    setElevated(false);
    config::setWriteRefusedHandler(nullptr);
    EXPECT_EQ(offered, L"");
    EXPECT_EQ(SettingsTable::instance().get(L"APPLICATIONVer"), L"3");
    removeDirectory(dir.file(L"renewkit.ini"));
}
