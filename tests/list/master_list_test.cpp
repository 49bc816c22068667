#include "list/list_loader.h"
#include "list/master_list.h"
#include "list/xml_reader.h"
#include "tests/list/list_test_support.h"

#include <gtest/gtest.h>

#include <thread>

using namespace rk;
using rk::test::ListTest;

namespace {

class MasterList : public ListTest {
protected:
    bool merge(const std::string& list, const std::string& master)
    {
        listPath = writeFile(L"list.xml", list);
        return mergeMasterList(listPath, writeFile(L"list.xml.main.xml", master), L"C:\\Q");
    }
    std::wstring listPath;
};

} // namespace

TEST_F(MasterList, ChildlessNodesAreAppendedLastFirst)
{
    ASSERT_TRUE(merge("<update><file path=\"own.dll\" ver=\"1\"/></update>",
                      "<update><file path=\"m1.dll\" ver=\"1\"/><group><file path=\"inner\" ver=\"1\"/></group>"
                      "<file path=\"m2.dll\" ver=\"2\" desname=\"{qbdir}\\a;{qbdir}\\b\"/>"
                      "<run path=\"m.exe\"/><description>skipped</description></update>"));
    DownLoadList list;
    ASSERT_TRUE(loadList(listPath, list, true));
    ASSERT_EQ(list.count(), 4);
    EXPECT_EQ(list.entries[0].path, L"own.dll");
    EXPECT_EQ(list.entries[1].path, L"m.exe999");
    EXPECT_EQ(list.entries[2].path, L"m2.dll");
    EXPECT_EQ(list.entries[2].dstNames, L"C:\\Q\\a;C:\\Q\\b");
    EXPECT_EQ(list.entries[3].path, L"m1.dll");
}

TEST_F(MasterList, OnlyUpdateRootsTakePart)
{
    EXPECT_FALSE(merge("<updates><file path=\"a\" ver=\"1\"/></updates>", "<update><file path=\"m\"/></update>"));
    EXPECT_FALSE(merge("<update/>", "<renewkit><file path=\"m\"/></renewkit>"));
    EXPECT_FALSE(merge("<update/>", "broken <"));
    EXPECT_FALSE(mergeMasterList(folder.file(L"none.xml"), folder.file(L"none2.xml"), L"q"));
    EXPECT_TRUE(merge("<update/>", "<update/>"));
}

TEST_F(MasterList, QbdirComesFromTheConfiguration)
{
    folder.write(L"renewkit.ini", "[APPLICATION]\r\nqbdir=D:\\QB\r\n");
    std::wstring list = writeFile(L"l.xml", "<update/>");
    std::wstring master = writeFile(L"m.xml", "<update><file path=\"a\" ver=\"1\" desname=\"{qbdir}\\x\"/>"
                                              "<file path=\"b\" ver=\"1\" DesName=\"{qbdir}\\y\"/></update>");
    ASSERT_TRUE(mergeMasterList(list, master));
    DownLoadList loaded;
    ASSERT_TRUE(loadList(list, loaded, true));
    ASSERT_EQ(loaded.count(), 2);
    EXPECT_EQ(loaded.entries[0].path, L"b");
    EXPECT_EQ(loaded.entries[0].dstNames, L"{qbdir}\\y"); // only the lower-case spelling is rewritten
    EXPECT_EQ(loaded.entries[1].dstNames, L"D:\\QB\\x");

    folder.write(L"renewkit.ini", "");
    rk::test::TestFolder fresh(L"MasterList-Default");
    std::wstring list2 = fresh.file(L"l.xml");
    fresh.write(L"l.xml", "<update/>");
    fresh.write(L"m.xml", "<update><file path=\"a\" ver=\"1\" desname=\"{qbdir}\\x\"/></update>");
    ASSERT_TRUE(mergeMasterList(list2, fresh.file(L"m.xml")));
    DownLoadList again;
    ASSERT_TRUE(loadList(list2, again, true));
    EXPECT_EQ(again.entries.at(0).dstNames, L"temp\\x");
}

TEST_F(MasterList, ReaderFailureIsReportedAsFalse)
{
    std::wstring list = writeFile(L"l.xml", "<update/>");
    std::wstring master = writeFile(L"m.xml", "<update><file path=\"a\"/></update>");
    bool merged = true;
    std::thread([&] { merged = mergeMasterList(list, master, L"q"); }).join();
    EXPECT_FALSE(merged);
    EXPECT_EQ(folder.read(L"l.xml"), "<update/>");
}
