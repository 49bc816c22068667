#include "list/list_loader.h"
#include "list/xml_reader.h"
#include "platform/files.h"
#include "platform/stream_file.h"
#include "tests/list/list_test_support.h"

#include <gtest/gtest.h>

#include <thread>

using namespace rk;
using rk::test::ListTest;

namespace {

updatefileinfo fileEntry(const std::wstring& path, const std::wstring& version, std::int32_t actions)
{
    updatefileinfo e;
    e.path = path;
    e.dstNames = L"";
    e.version = version;
    e.actions = actions;
    return e;
}

void expectEntry(const updatefileinfo& actual, const updatefileinfo& expected)
{
    EXPECT_EQ(actual.url, expected.url) << actual.path;
    EXPECT_EQ(actual.path, expected.path);
    EXPECT_EQ(actual.dstNames, expected.dstNames) << actual.path;
    EXPECT_EQ(actual.version, expected.version) << actual.path;
    EXPECT_EQ(actual.notes, expected.notes) << actual.path;
    EXPECT_EQ(actual.shortcut, expected.shortcut) << actual.path;
    EXPECT_EQ(actual.shortcutIcon, expected.shortcutIcon) << actual.path;
    EXPECT_EQ(actual.iconIndex, expected.iconIndex) << actual.path;
    EXPECT_EQ(actual.actions, expected.actions) << actual.path;
}

class ListLoader : public ListTest {
protected:
    // Loads a document given as text, as the remote list unless told otherwise.
    bool load(const std::string& xml, bool remote = true)
    {
        return loadList(writeFile(L"list.xml", xml), list, remote);
    }
    std::string wrap(const std::string& body) { return "<update>" + body + "</update>"; }

    DownLoadList list;
};

} // namespace

TEST_F(ListLoader, WorkedExampleYieldsExactlyItsEntries)
{
    std::wstring path = folder.file(L"example.xml");
    ASSERT_TRUE(copyFileReplacing(rk::test::fixture(L"worked_example.xml"), path));
    ASSERT_TRUE(loadList(path, list, true));
    EXPECT_TRUE(messages.texts.empty());
    EXPECT_EQ(list.listGuid, L"list-2024-05");
    EXPECT_EQ(list.fileUrlTemplate, L"{listurl-base}/files/{filename}");

    ASSERT_EQ(list.entries.size(), 9u);
    updatefileinfo description = fileEntry(L"Version 5.2\r\nFaster start-up", L"999", KIND_DESCRIPTION);
    description.dstNames = description.path;
    expectEntry(list.entries[0], description);
    expectEntry(list.entries[1], fileEntry(L"app.exe", L"5.2.0.1", ACT_RUN));
    expectEntry(list.entries[2], fileEntry(L"plugins\\report.dll", L"2.0", ACT_REGISTER));
    expectEntry(list.entries[3], fileEntry(L"old.dll", L"1", ACT_DELETE));
    expectEntry(list.entries[4], fileEntry(L"{sys}\\tools.dll", L"1.0.3", 0));
    updatefileinfo viewer = fileEntry(L"viewer.exe", L"3.1", 0);
    viewer.shortcut = L"{desktop}\\Viewer.lnk";
    viewer.shortcutIcon = L"viewer.exe";
    viewer.iconIndex = L"0";
    expectEntry(list.entries[5], viewer);
    updatefileinfo data = fileEntry(L"data.pak", L"7", 0);
    data.dstNames = L"data.pak,backup.pak";
    expectEntry(list.entries[6], data);
    expectEntry(list.entries[7], fileEntry(L"lang\\fr.lan", L"4", 0));
    updatefileinfo run = fileEntry(L"{app}\\setup.exe9/silent9yes9post", L"999", KIND_RUN);
    run.dstNames = run.path;
    expectEntry(list.entries[8], run);

    // The guid element is gone from the file; everything else is still there.
    XmlDocument saved = XmlDocument::load(path);
    XmlNode root = saved.findChild(L"update");
    ASSERT_TRUE(root);
    EXPECT_FALSE(root.findChild(L"guid"));
    EXPECT_TRUE(root.findChild(L"fileurl"));
    DownLoadList again;
    ASSERT_TRUE(loadList(path, again, true));
    EXPECT_EQ(again.count(), 9);
}

TEST_F(ListLoader, WorkedExampleSplitsIntoNotesAndRunCommands)
{
    std::wstring path = folder.file(L"example.xml");
    ASSERT_TRUE(copyFileReplacing(rk::test::fixture(L"worked_example.xml"), path));
    ASSERT_TRUE(loadList(path, list, true));
    list.splitOutDescriptionsAndRuns();
    EXPECT_EQ(list.description, L"Version 5.2\r\nFaster start-up\r\n");
    ASSERT_EQ(list.runCommands.size(), 1u);
    EXPECT_EQ(list.runCommands[0], L"{app}\\setup.exe9/silent9yes9post");
    ASSERT_EQ(list.entries.size(), 7u);
    EXPECT_EQ(list.entries.front().path, L"app.exe");
    EXPECT_EQ(list.entries.back().path, L"lang\\fr.lan");
}

TEST_F(ListLoader, RootChoice)
{
    EXPECT_TRUE(load("<updates><file path=\"a\" ver=\"1\"/></updates>"));
    EXPECT_TRUE(load("<renewkit><file path=\"b\" ver=\"1\"/></renewkit>"));
    EXPECT_EQ(list.count(), 2);
    EXPECT_FALSE(load("<Update><file path=\"c\" ver=\"1\"/></Update>"));
    EXPECT_FALSE(load("<list><update><file path=\"d\" ver=\"1\"/></update></list>"));
    EXPECT_EQ(list.count(), 2);
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(ListLoader, MissingAndMalformedListsGiveFalseWithoutMessage)
{
    EXPECT_FALSE(loadList(folder.file(L"absent.xml"), list, true));
    EXPECT_FALSE(load("<update><file path=\"a\" ver=\"1\"></update>"));
    EXPECT_FALSE(load("not xml at all"));
    EXPECT_FALSE(load(""));
    EXPECT_EQ(list.count(), 0);
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(ListLoader, AttributeSpellingsInTheirOrder)
{
    ASSERT_TRUE(load(wrap("<file Path=\"\" path=\"x.dll\" MD5=\"M\" md5=\"m\"/>"
                          "<file Name=\"n.dll\" name=\"low.dll\" Ver=\"2\" MD5=\"ab\"/>"
                          "<file file=\"f.dll\" ver=\"\" md5=\"\" MD5=\"C0FFEE\"/>"
                          "<file path=\"s.dll\" ver=\"1\" SHORTCUT=\"s3\" ShortCut=\"s2\" SHORTICON=\"i5\" "
                          "shorticon=\"i2\" shortcuticonindex=\"4\" IconIndex=\"3\" DstName=\"d4\" dstname=\"d3\" "
                          "Url=\"http://h/u3\" DO=\"del\" Activity=\"reg\"/>")));
    ASSERT_EQ(list.count(), 4);
    EXPECT_EQ(list.entries[0].path, L"x.dll");
    EXPECT_EQ(list.entries[0].version, L"m");
    EXPECT_EQ(list.entries[1].path, L"n.dll");
    EXPECT_EQ(list.entries[1].version, L"2");
    EXPECT_EQ(list.entries[2].path, L"f.dll");
    EXPECT_EQ(list.entries[2].version, L"c0ffee");
    const updatefileinfo& s = list.entries[3];
    EXPECT_EQ(s.shortcut, L"s2");
    EXPECT_EQ(s.shortcutIcon, L"i2");
    EXPECT_EQ(s.iconIndex, L"3");
    EXPECT_EQ(s.dstNames, L"d3");
    EXPECT_EQ(s.url, L"http://h/u3");
    EXPECT_EQ(s.path, L"s.dll");
    EXPECT_EQ(s.actions, ACT_DELETE); // "DO" comes before "Activity"
}

TEST_F(ListLoader, AddressesInPathAndPathsFromAddresses)
{
    ASSERT_TRUE(load(wrap("<file path=\"HTTPS://Host/dir/a.zip\" ver=\"1\"/>"
                          "<file url=\"http://host/dir/\" ver=\"1\"/>"
                          "<file URL=\"http://host\\sub\\\\b.dll\" ver=\"1\"/>"
                          "<file url=\"http://host/c.dll\" path=\"own\\c.dll\" ver=\"1\"/>")));
    ASSERT_EQ(list.count(), 4);
    EXPECT_EQ(list.entries[0].url, L"HTTPS://Host/dir/a.zip");
    EXPECT_EQ(list.entries[0].path, L"a.zip");
    EXPECT_EQ(list.entries[1].path, L"dir");
    EXPECT_EQ(list.entries[2].path, L"b.dll");
    EXPECT_EQ(list.entries[3].path, L"own\\c.dll");

    EXPECT_EQ(pathFromUrl(L"http://h/dir/file.exe"), L"file.exe");
    EXPECT_EQ(pathFromUrl(L"dir/"), L"dir");
    EXPECT_EQ(pathFromUrl(L"/"), L"");
    EXPECT_EQ(pathFromUrl(L"plain"), L"plain");
}

TEST_F(ListLoader, DuplicatePathsKeepTheFirstWhateverTheCase)
{
    ASSERT_TRUE(load(wrap("<file path=\"Bin\\A.dll\" ver=\"1\"/><file path=\"bin\\a.dll\" ver=\"2\"/>"
                          "<run path=\"x\"/><run path=\"x\"/><description>d</description><description>d</description>"
                          "<file path=\"a|b\" ver=\"1\"/><file path=\"a\\b\" ver=\"2\"/>")));
    ASSERT_EQ(list.count(), 7);
    EXPECT_EQ(list.entries[0].version, L"1");
    EXPECT_EQ(list.entries[0].path, L"Bin\\A.dll");
    EXPECT_EQ(list.entries[1].actions, KIND_RUN);
    EXPECT_EQ(list.entries[2].actions, KIND_RUN);
    // The key is taken before "|" becomes "\": these two are different paths.
    EXPECT_EQ(list.entries[5].path, L"a\\b");
    EXPECT_EQ(list.entries[6].path, L"a\\b");
}

TEST_F(ListLoader, ActionWords)
{
    EXPECT_EQ(actionWord(L"Run,Del"), 3);
    EXPECT_EQ(actionWord(L"rundel"), 3);
    EXPECT_EQ(actionWord(L"2"), 2);
    EXPECT_EQ(actionWord(L"3"), 3);
    EXPECT_EQ(actionWord(L"run"), 1);
    EXPECT_EQ(actionWord(L"boot"), 8);
    EXPECT_EQ(actionWord(L"reboot"), 8);
    EXPECT_EQ(actionWord(L"regsvr"), 4);
    EXPECT_EQ(actionWord(L"16reg"), 20);
    EXPECT_EQ(actionWord(L""), 0);
    EXPECT_EQ(actionWord(L"99999999999"), 0x7FFFFFFF);
    ASSERT_TRUE(load(wrap("<file path=\"a\" ver=\"1\"/><file path=\"b\" ver=\"1\" Oper=\"RUN\" oper=\"\"/>")));
    EXPECT_EQ(list.entries[0].actions, 0);
    EXPECT_EQ(list.entries[1].actions, ACT_RUN);
}

TEST_F(ListLoader, RunEntriesPackTheirLowerCaseAttributes)
{
    ASSERT_TRUE(load(wrap("<run path=\"setup.exe\"/><run Path=\"x.exe\" param=\"p\"/>"
                          "<run path=\"a\" param=\"b\" wait=\"c\" key=\"d\" ver=\"5\"/>")));
    ASSERT_EQ(list.count(), 3);
    EXPECT_EQ(list.entries[0].path, L"setup.exe999");
    EXPECT_EQ(list.entries[1].path, L"9p99");
    EXPECT_EQ(list.entries[2].path, L"a9b9c9d");
    EXPECT_EQ(list.entries[2].version, L"999");
    EXPECT_EQ(list.entries[2].dstNames, L"a9b9c9d");
}

TEST_F(ListLoader, EntriesAtAnyDepthInDocumentOrder)
{
    ASSERT_TRUE(load(wrap("<a><b><file path=\"deep\" ver=\"1\"><run path=\"inner\"/></file></b></a>"
                          "<!-- <file path=\"comment\"/> --><?file path=\"pi\"?>"
                          "<file path=\"top\">text <file path=\"child\" ver=\"2\"/></file>"
                          "<description>one<b>two</b></description>")));
    ASSERT_EQ(list.count(), 5);
    EXPECT_EQ(list.entries[0].path, L"deep");
    EXPECT_EQ(list.entries[1].path, L"inner999");
    EXPECT_EQ(list.entries[2].path, L"top");
    EXPECT_EQ(list.entries[2].version, L""); // loaded, never selected
    EXPECT_EQ(list.entries[3].path, L"child");
    EXPECT_EQ(list.entries[4].path, L"onetwo");
}

TEST_F(ListLoader, DeclarationsSectionsAndInstructionsDoNotDisturbTheWalk)
{
    ASSERT_TRUE(load("<?xml version=\"1.0\"?>\r\n<!DOCTYPE update [<!ENTITY v \"2.5\">]>\r\n<!-- list -->"
                     "<update><?render fast?><![CDATA[<file path=\"not\"/>]]>"
                     "<file path=\"a&amp;b.dll\" ver=\"&v;\"/><description><![CDATA[x < y]]></description></update>"));
    ASSERT_EQ(list.count(), 2);
    EXPECT_EQ(list.entries[0].path, L"a&b.dll");
    EXPECT_EQ(list.entries[0].version, L"2.5");
    EXPECT_EQ(list.entries[1].path, L"x < y");
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(ListLoader, AddedEntriesAreNormalised)
{
    ASSERT_TRUE(load(wrap("<file path=\" sub|Tool._.zip \" ver=\" 2.0B \"/>"
                          "<description>  notes|here  </description>")));
    ASSERT_EQ(list.count(), 2);
    EXPECT_EQ(list.entries[0].path, L"sub\\Tool");
    EXPECT_EQ(list.entries[0].version, L"2.0b");
    EXPECT_EQ(list.entries[1].path, L"notes\\here");
    EXPECT_NE(list.entries[1].dstNames.find(L"notes|here"), std::wstring::npos);
}

TEST_F(ListLoader, GuidAndFileUrlOnlyFromTheRemoteList)
{
    list.fileUrlTemplate = L"kept";
    ASSERT_TRUE(load(wrap("<guid>g1</guid><fileurl>{listurl-base}/f/{filename}</fileurl>"), false));
    EXPECT_EQ(list.listGuid, L"");
    EXPECT_EQ(list.fileUrlTemplate, L"kept");
    // The local list loses its guid too.
    EXPECT_EQ(folder.read(L"list.xml").find("guid"), std::string::npos);

    ASSERT_TRUE(load(wrap("<guid>g2</guid>")));
    EXPECT_EQ(list.listGuid, L"g2");
    EXPECT_EQ(list.fileUrlTemplate, kDefaultFileUrlTemplate);
    ASSERT_TRUE(load(wrap("<fileurl>   </fileurl>")));
    EXPECT_EQ(list.fileUrlTemplate, kDefaultFileUrlTemplate);
    EXPECT_EQ(list.listGuid, L"g2");
}

TEST_F(ListLoader, UnchangedListsAreNotRewritten)
{
    const std::string text = "<update>\r\n  <file path=\"a\" ver=\"1\"/>\r\n</update>\r\n";
    ASSERT_TRUE(load(text, false));
    EXPECT_EQ(folder.read(L"list.xml"), text);
}

TEST_F(ListLoader, AListThatCannotBeRewrittenIsStillRead)
{
    folder.write(L"renewkit.ini", "[RenewKit]\r\nLog=run.log\r\n");
    std::wstring path = writeFile(L"list.xml", wrap("<guid>g</guid><file path=\"a\" ver=\"1\"/>"));
    // Another reader that lets nobody write keeps the file as it is.
    StreamFile reader;
    ASSERT_TRUE(reader.openRead(path, true));
    EXPECT_TRUE(loadList(path, list, true));
    reader.close();
    EXPECT_EQ(list.count(), 1);
    EXPECT_EQ(list.listGuid, L"g");
    EXPECT_TRUE(messages.texts.empty());
    EXPECT_NE(folder.read(L"run.log").find("could not be saved"), std::string::npos);
}

TEST_F(ListLoader, ReaderErrorsShowTheFormatMessage)
{
    folder.write(L"renewkit.ini", "[UPDATEINFO]\r\nListURL=http://example.test/list.xml\r\n");
    std::wstring local = writeFile(L"renewkit.xml", wrap("<file path=\"a\" ver=\"1\"/>"));
    bool remoteResult = true;
    bool localResult = true;
    bool missingResult = true;
    // A thread without COM cannot make a document: the reader raises.
    std::thread([&] {
        remoteResult = loadList(local, list, true);
        localResult = loadList(local, list, false);
        missingResult = loadList(folder.file(L"absent.xml"), list, false);
    }).join();
    EXPECT_FALSE(remoteResult);
    EXPECT_FALSE(localResult);
    EXPECT_FALSE(missingResult);
    ASSERT_EQ(messages.texts.size(), 2u);
    EXPECT_EQ(messages.texts[0], L"The xml file format error!\r\nhttp://example.test/list.xml");
    EXPECT_EQ(messages.texts[1], L"The xml file format error!\r\n" + local);
}

TEST(SplitOut, NotesInOrderRunsLastFirst)
{
    DownLoadList list;
    auto add = [&](const std::wstring& path, std::int32_t kind) {
        updatefileinfo e;
        e.path = path;
        e.dstNames = path + L"!";
        e.actions = kind;
        list.entries.push_back(e);
    };
    add(L"r1", KIND_RUN);
    add(L"a", 0);
    add(L"first\\r\\nline\\n", KIND_DESCRIPTION);
    add(L"b", ACT_DELETE);
    add(L"r2", KIND_RUN);
    add(L"second", KIND_DESCRIPTION);
    add(L"c", KIND_RUN | 1);
    list.runCommands.push_back(L"old");
    list.splitOutDescriptionsAndRuns();
    EXPECT_EQ(list.description, L"first\r\nline\r\n!\r\nsecond!\r\n");
    EXPECT_EQ(list.runCommands, (std::vector<std::wstring>{L"old", L"r2", L"r1"}));
    ASSERT_EQ(list.entries.size(), 3u);
    EXPECT_EQ(list.entries[0].path, L"a");
    EXPECT_EQ(list.entries[1].path, L"b");
    EXPECT_EQ(list.entries[2].path, L"c");

    DownLoadList none;
    none.description = L"stale";
    none.splitOutDescriptionsAndRuns();
    EXPECT_EQ(none.description, L"");
}
