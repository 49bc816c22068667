#include "list/list_loader.h"
#include "tests/list/list_test_support.h"

#include <gtest/gtest.h>

#include <string>

using namespace rk;
using rk::test::ListTest;

namespace {

// Loads with a run log, so the outcome of a document the parser refuses shows.
class BadDocuments : public ListTest {
protected:
    BadDocuments() { folder.write(L"renewkit.ini", "[RenewKit]\r\nLog=run.log\r\n"); }
    bool load(const std::string& xml) { return loadList(writeFile(L"list.xml", xml), list, true); }
    std::string log() const { return folder.read(L"run.log"); }
    bool logged(const std::string& text) const { return log().find(text) != std::string::npos; }

    DownLoadList list;
};

std::string nested(size_t depth)
{
    std::string xml = "<update>";
    for (size_t i = 0; i < depth; ++i)
        xml += "<g>";
    xml += "<file path=\"deep.dll\" ver=\"1\"/>";
    for (size_t i = 0; i < depth; ++i)
        xml += "</g>";
    return xml + "<file path=\"after.dll\" ver=\"1\"/></update>";
}

std::string withPath(size_t length)
{
    return "<update><file ver=\"1\" path=\"" + std::string(length, 'p') + "\"/><file path=\"b\" ver=\"1\"/></update>";
}

} // namespace

TEST_F(BadDocuments, NotWellFormedIsRefusedSilentlyWithALogLine)
{
    for (const char* xml : {"<update><file path=\"a\" ver=\"1\"></update>", "<update>", "<update a=1/>",
                            "<update/><update/>", "\xFF\xFE\x00", "<update><file path=\"&nope;\"/></update>"}) {
        EXPECT_FALSE(load(xml)) << xml;
    }
    EXPECT_EQ(list.count(), 0);
    EXPECT_TRUE(messages.texts.empty());
    EXPECT_TRUE(logged("The list file is not well-formed[")) << log();
}

TEST_F(BadDocuments, WrongRootYieldsNothing)
{
    EXPECT_FALSE(load("<?xml version=\"1.0\"?><html><update><file path=\"a\" ver=\"1\"/></update></html>"));
    EXPECT_FALSE(load("<UPDATE><file path=\"a\" ver=\"1\"/></UPDATE>"));
    EXPECT_EQ(list.count(), 0);
    EXPECT_TRUE(messages.texts.empty());
    EXPECT_FALSE(logged("not well-formed"));
}

TEST_F(BadDocuments, HugeAttributeValuesLoadWholeOrNotAtAll)
{
    constexpr size_t kLarge = 4 * 1024 * 1024;
    ASSERT_TRUE(load(withPath(kLarge)));
    ASSERT_EQ(list.count(), 2);
    EXPECT_EQ(list.entries[0].path.size(), kLarge);

    // Past what the parser takes in one value: refused as a whole, never cut short.
    constexpr size_t kHuge = 12 * 1024 * 1024;
    DownLoadList huge;
    if (loadList(writeFile(L"huge.xml", withPath(kHuge)), huge, true)) {
        ASSERT_EQ(huge.count(), 2);
        EXPECT_EQ(huge.entries[0].path.size(), kHuge);
    } else {
        EXPECT_EQ(huge.count(), 0);
        EXPECT_TRUE(logged("The list file is not well-formed[")) << log();
    }
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(BadDocuments, DeepNestingIsWalkedOrRefusedWithoutCrash)
{
    ASSERT_TRUE(load(nested(200)));
    ASSERT_EQ(list.count(), 2);
    EXPECT_EQ(list.entries[0].path, L"deep.dll");
    EXPECT_EQ(list.entries[1].path, L"after.dll");

    for (size_t depth : {5000u, 200000u}) {
        DownLoadList deep;
        if (loadList(writeFile(L"deep.xml", nested(depth)), deep, true)) {
            ASSERT_EQ(deep.count(), 2) << depth;
            EXPECT_EQ(deep.entries[0].path, L"deep.dll");
        } else {
            EXPECT_EQ(deep.count(), 0);
            EXPECT_TRUE(logged("The list file is not well-formed[")) << log();
        }
    }
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(BadDocuments, EntityExpansionDoesNotExplode)
{
    std::string xml = "<?xml version=\"1.0\"?><!DOCTYPE update [<!ENTITY e0 \"aaaaaaaaaa\">";
    for (int i = 1; i < 10; ++i) {
        xml += "<!ENTITY e" + std::to_string(i) + " \"";
        for (int k = 0; k < 10; ++k)
            xml += "&e" + std::to_string(i - 1) + ";";
        xml += "\">";
    }
    xml += "]><update><file path=\"&e9;\" ver=\"1\"/><description>&e9;</description></update>";
    if (load(xml)) {
        for (const auto& e : list.entries)
            EXPECT_LT(e.path.size(), 100u * 1024 * 1024);
    } else {
        EXPECT_EQ(list.count(), 0);
    }
}

TEST_F(BadDocuments, FiftyMegabyteList)
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<update>\r\n";
    xml.reserve(51u * 1024 * 1024);
    size_t count = 0;
    while (xml.size() < 50u * 1024 * 1024) {
        const std::string n = std::to_string(count++);
        xml += "  <file path=\"folder" + std::to_string(count % 100) + "|sub|file" + n + ".dll\" ver=\"1.0." + n +
               "\" oper=\"reg\" desname=\"file" + n + ".dll;copy" + n +
               ".dll\" shortcut=\"{desktop}\\Some Shortcut Name.lnk\" url=\"http://example.test/files/" + n +
               "\"/>\r\n";
    }
    xml += "</update>\r\n";
    ASSERT_TRUE(load(xml));
    ASSERT_EQ(static_cast<size_t>(list.count()), count);
    EXPECT_EQ(list.entries.back().path,
              L"folder" + std::to_wstring(count % 100) + L"\\sub\\file" + std::to_wstring(count - 1) + L".dll");
    EXPECT_EQ(list.entries.back().actions, ACT_REGISTER);
}
