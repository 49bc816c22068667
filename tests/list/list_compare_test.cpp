#include "list/list_compare.h"
#include "core/path_macros.h"
#include "platform/files.h"
#include "platform/system.h"
#include "tests/list/list_test_support.h"

#include <gtest/gtest.h>

#include <random>

using namespace rk;
using rk::test::ListTest;

namespace {

updatefileinfo entry(const std::wstring& path, const std::wstring& version, std::int32_t actions = 0)
{
    updatefileinfo e;
    e.path = path;
    e.version = version;
    e.actions = actions;
    return e;
}

std::vector<std::wstring> paths(const std::vector<updatefileinfo>& entries)
{
    std::vector<std::wstring> out;
    for (const auto& e : entries)
        out.push_back(e.path);
    return out;
}

using Paths = std::vector<std::wstring>;

class Compare : public ListTest {
protected:
    Compare()
    {
        for (const auto& name : {L"a.dll", L"b.dll", L"c.dll", L"sub\\d.dll"})
            folder.write(name, "x");
        for (auto* list : {&remote, &local}) {
            list->addEntry(entry(L"a.dll", L"1"));
            list->addEntry(entry(L"b.dll", L"2"));
            list->addEntry(entry(L"sub|d.dll", L"3"));
        }
    }
    DownLoadList remote;
    DownLoadList local;
};

} // namespace

TEST_F(Compare, IdenticalListsWithAllFilesSelectNothing)
{
    EXPECT_TRUE(selectEntries(remote, local, true).empty());
    EXPECT_TRUE(selectEntries(remote, local, false).empty());
}

TEST_F(Compare, MissingTargetSelectsOnlyWithCheckLostFile)
{
    ASSERT_TRUE(deleteFileForced(folder.file(L"sub\\d.dll")));
    EXPECT_EQ(paths(selectEntries(remote, local, true)), Paths{L"sub\\d.dll"});
    EXPECT_TRUE(selectEntries(remote, local, false).empty());

    // A folder of that name counts as present.
    ASSERT_TRUE(createDirectory(folder.file(L"sub\\d.dll")));
    EXPECT_TRUE(selectEntries(remote, local, true).empty());
}

TEST_F(Compare, DeleteRunAndDescriptionEntriesSkipTheMissingFileRule)
{
    remote.addEntry(entry(L"gone.dll", L"1", ACT_DELETE | ACT_RUN));
    remote.addEntry(entry(L"setup.exe999", L"999", KIND_RUN));
    remote.addEntry(entry(L"notes", L"999", KIND_DESCRIPTION));
    local.addEntry(entry(L"gone.dll", L"1", ACT_DELETE));
    local.addEntry(entry(L"setup.exe999", L"999", KIND_RUN));
    local.addEntry(entry(L"notes", L"999", KIND_DESCRIPTION));
    EXPECT_TRUE(selectEntries(remote, local, true).empty());
    // Without a local match they are selected: new notes, new commands.
    DownLoadList empty;
    EXPECT_EQ(selectEntries(remote, empty, true).size(), 6u);
}

TEST_F(Compare, PathsAreExactAndVersionsOpaque)
{
    remote.entries[0].path = L"A.dll"; // case differs from the local entry
    remote.entries[1].version = L"1.10";
    local.entries[1].version = L"1.9";
    remote.addEntry(entry(L"new.dll", L"1"));
    remote.addEntry(entry(L"c.dll", L""));
    EXPECT_EQ(paths(selectEntries(remote, local, false)), (Paths{L"A.dll", L"b.dll", L"new.dll"}));
    // Both directions of a version change select.
    std::swap(remote.entries[1].version, local.entries[1].version);
    EXPECT_EQ(selectEntries(remote, local, false).size(), 3u);
}

TEST_F(Compare, EntriesWithoutVersionAreNeverSelected)
{
    remote.addEntry(entry(L"missing.dll", L""));
    EXPECT_TRUE(selectEntries(remote, local, true).empty());
    DownLoadList empty;
    EXPECT_EQ(paths(selectEntries(remote, empty, true)), (Paths{L"a.dll", L"b.dll", L"sub\\d.dll"}));
}

TEST_F(Compare, OnlyTheFirstLocalEntryOfAPathCounts)
{
    DownLoadList twice;
    twice.entries.push_back(entry(L"a.dll", L"0"));
    twice.entries.push_back(entry(L"a.dll", L"1"));
    EXPECT_EQ(paths(selectEntries(remote, twice, false)), (Paths{L"a.dll", L"b.dll", L"sub\\d.dll"}));
    std::swap(twice.entries[0], twice.entries[1]);
    EXPECT_EQ(paths(selectEntries(remote, twice, false)), (Paths{L"b.dll", L"sub\\d.dll"}));
}

// The index must pick exactly what a search of the local list in its order picks.
TEST_F(Compare, IndexedLookupMatchesASearchInListOrder)
{
    std::mt19937 random(1234);
    DownLoadList big;
    DownLoadList mine;
    for (int i = 0; i < 3000; ++i) {
        big.entries.push_back(entry(L"f" + std::to_wstring(random() % 1500), std::to_wstring(random() % 3)));
        mine.entries.push_back(entry(L"f" + std::to_wstring(random() % 2000), std::to_wstring(random() % 3)));
    }
    Paths expected;
    for (const auto& e : big.entries) {
        if (e.version.empty())
            continue;
        const updatefileinfo* found = nullptr;
        for (const auto& l : mine.entries) {
            if (l.path == e.path) {
                found = &l;
                break;
            }
        }
        if (!found || found->version != e.version)
            expected.push_back(e.path);
    }
    EXPECT_EQ(paths(selectEntries(big, mine, false)), expected);
    EXPECT_GT(expected.size(), 100u);
}

TEST_F(Compare, NameListExpansion)
{
    const std::wstring app = folder.path();
    const std::wstring sys = systemFolders().systemFolder();
    EXPECT_EQ(expandNameList(L"data.pak", L"data.pak,backup.pak;{sys}\\d.pak"),
              (Paths{app + L"data.pak", app + L"backup.pak", sys + L"\\d.pak"}));
    EXPECT_EQ(expandNameList(L"a.dll", L"a.dll;a.dll"), Paths{app + L"a.dll"});
    EXPECT_EQ(expandNameList(L"a.dll", L""), Paths{});
    EXPECT_EQ(expandNameList(L"a.dll", L";,|"), Paths{});
    // Only the last component is replaced, even when its name occurs before.
    EXPECT_EQ(expandNameList(L"x.dll\\x.dll", L"y.dll"), Paths{app + L"x.dll\\y.dll"});
    EXPECT_EQ(expandNameList(L"a.dll", L"sub/b.dll|D:\\z\\c.dll"), (Paths{app + L"sub\\b.dll", L"D:\\z\\c.dll"}));
    EXPECT_EQ(expandNameList(L"a.dll", L"B.dll;b.dll"), (Paths{app + L"B.dll", app + L"b.dll"}));

    updatefileinfo e = entry(L"sub\\d.dll", L"1");
    EXPECT_EQ(targetFiles(e), Paths{app + L"sub\\d.dll"});
    e.dstNames = L"e.dll";
    EXPECT_EQ(targetFiles(e), Paths{app + L"sub\\e.dll"});
    e.dstNames = L";";
    EXPECT_EQ(targetFiles(e), Paths{app + L"sub\\d.dll"});
}

TEST_F(Compare, EveryTargetMustBeThere)
{
    remote.entries[0].dstNames = L"a.dll;c.dll";
    EXPECT_TRUE(selectEntries(remote, local, true).empty());
    remote.entries[0].dstNames = L"a.dll;nothere.dll";
    EXPECT_EQ(paths(selectEntries(remote, local, true)), Paths{L"a.dll"});
}

TEST_F(Compare, CompareWithLocalListFillsTheTarget)
{
    folder.write(L"renewkit.ini", "[RenewKit]\r\nCheckLostFile=yes\r\n");
    folder.write(L"renewkit.xml", "<update><file path=\"a.dll\" ver=\"1\"/><file path=\"b.dll\" ver=\"2 \"/>"
                                  "<file path=\"lost.dll\" ver=\"1\"/><run path=\"old.exe\"/></update>");
    std::wstring remotePath = writeFile(
        L"remote.xml", "<update><guid>g7</guid><fileurl>{listurl-base}/f/{filename}</fileurl>"
                       "<description>New\\nthings</description><file path=\"a.dll\" ver=\"1\"/>"
                       "<file path=\"b.dll\" ver=\"2\"/><file path=\"c.dll\" ver=\"9\"/>"
                       "<file path=\"lost.dll\" ver=\"1\"/><run path=\"old.exe\"/><run path=\"new.exe\"/></update>");
    DownLoadList target;
    target.addEntry(entry(L"earlier", L"1"));
    EXPECT_EQ(compareWithLocalList(remotePath, target), 3);
    EXPECT_EQ(paths(target.entries), (Paths{L"earlier", L"c.dll", L"lost.dll"}));
    EXPECT_EQ(target.description, L"New\r\nthings\r\n");
    EXPECT_EQ(target.runCommands, Paths{L"new.exe999"});
    EXPECT_EQ(target.listGuid, L"g7");
    EXPECT_EQ(target.fileUrlTemplate, L"{listurl-base}/f/{filename}");
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(Compare, MissingLocalListSelectsEveryVersionedEntry)
{
    std::wstring remotePath =
        writeFile(L"remote.xml", "<update><file path=\"a.dll\" ver=\"1\"/><file path=\"x.dll\"/></update>");
    DownLoadList target;
    target.listGuid = L"before";
    EXPECT_EQ(compareWithLocalList(remotePath, target), 1);
    EXPECT_EQ(target.listGuid, L"before");
    EXPECT_EQ(target.fileUrlTemplate, L"{listurl-base}/{filename}");
}

TEST_F(Compare, RemoteListThatDoesNotLoadSelectsNothingAndSaysSo)
{
    folder.write(L"renewkit.ini", "[RenewKit]\r\nLog=run.log\r\n");
    std::wstring remotePath = writeFile(L"remote.xml", "<update><file path=\"a.dll\" ver=\"1\"/><file path=\"b");
    DownLoadList target;
    EXPECT_EQ(compareWithLocalList(remotePath, target), 0);
    EXPECT_NE(folder.read(L"run.log").find("The update list could not be read completely; nothing is selected["),
              std::string::npos);
}
