#include "list/xml_reader.h"
#include "platform/files.h"
#include "platform/stream_file.h"
#include "tests/list/list_test_support.h"

#include <gtest/gtest.h>

using namespace rk;
using rk::test::ListTest;

namespace {

class XmlReader : public ListTest {
protected:
    XmlDocument parse(const std::wstring& text)
    {
        XmlDocument document = XmlDocument::create();
        EXPECT_TRUE(document.loadText(text));
        return document;
    }
};

} // namespace

TEST_F(XmlReader, AttributeNamesAreCaseSensitiveAndMissingOnesAreEmpty)
{
    XmlDocument doc = parse(L"<update><file Ver=\"1.0\" empty=\"\" n=\"5\"/></update>");
    XmlNode file = doc.findChild(L"update").findChild(L"file");
    ASSERT_TRUE(file);
    EXPECT_EQ(file.attribute(L"Ver"), L"1.0");
    EXPECT_EQ(file.attribute(L"ver"), L"");
    EXPECT_EQ(file.attribute(L"empty"), L"");
    EXPECT_EQ(file.attribute(L""), L"");
    EXPECT_EQ(file.attribute(L"n"), L"5");
    // A text node has no attribute map at all.
    XmlNode text = parse(L"<a>t</a>").findChild(L"a").childAt(0);
    ASSERT_TRUE(text);
    EXPECT_EQ(text.attribute(L"x"), L"");
    EXPECT_TRUE(text.attributes().empty());

    std::vector<DomAttribute> all = file.attributes();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].name, L"Ver");
    EXPECT_EQ(all[0].value, L"1.0");
    EXPECT_EQ(all[2].name, L"n");
}

TEST_F(XmlReader, NodeTextTurnsEscapedLineBreaksIntoCrLf)
{
    XmlDocument doc = parse(L"<d>Line one\\nLine two</d>");
    EXPECT_EQ(doc.findChild(L"d").nodeText(), L"Line one\r\nLine two");
    XmlDocument real = parse(L"<d>a&#10;b<i>c</i></d>");
    EXPECT_EQ(real.findChild(L"d").nodeText(), L"a\nbc");
    EXPECT_EQ(expandLineEscapes(L"\\\\n"), L"\\\r\n");
    EXPECT_EQ(expandLineEscapes(L"a\\r\\nb\\r"), L"a\r\nb\\r");
}

TEST_F(XmlReader, FindChildSkipsProcessingInstructionsAndComments)
{
    XmlDocument doc = parse(L"<?xml version=\"1.0\"?><?update x?><!-- update --><update a=\"1\"/>");
    XmlNode root = doc.findChild(L"update");
    ASSERT_TRUE(root);
    EXPECT_EQ(root.attribute(L"a"), L"1");
    EXPECT_FALSE(doc.findChild(L"Update"));
    EXPECT_FALSE(doc.findChild(L"missing"));
}

TEST_F(XmlReader, ChildrenOfEveryKindAreCountedAndIndexed)
{
    XmlDocument doc = parse(L"<r>text<!--c--><e/><f>x</f></r>");
    XmlNode r = doc.findChild(L"r");
    EXPECT_EQ(r.childCount(), 4);
    EXPECT_EQ(r.childAt(0).nodeName(), L"#text");
    EXPECT_EQ(r.childAt(1).nodeName(), L"#comment");
    EXPECT_EQ(r.childAt(2).nodeName(), L"e");
    EXPECT_FALSE(r.childAt(2).hasChildren());
    EXPECT_TRUE(r.childAt(3).hasChildren());
    EXPECT_FALSE(r.childAt(4));
    EXPECT_FALSE(r.childAt(-1));
    EXPECT_TRUE(r.childAt(2).isElement());
    EXPECT_FALSE(r.childAt(0).isElement());
}

TEST_F(XmlReader, NullHandlesGiveEmptyResults)
{
    XmlNode none;
    EXPECT_FALSE(none.findChild(L"x"));
    EXPECT_EQ(none.childCount(), 0);
    EXPECT_FALSE(none.childAt(0));
    EXPECT_EQ(none.nodeName(), L"");
    EXPECT_EQ(none.nodeText(), L"");
    EXPECT_EQ(none.attribute(L"x"), L"");
    EXPECT_FALSE(none.hasChildren());
    EXPECT_FALSE(none.setAttribute(L"a", L"b"));
    EXPECT_FALSE(none.appendChild(XmlNode()));
    EXPECT_FALSE(none.removeChild(L"x"));
}

TEST_F(XmlReader, RemoveChildTakesTheFirstMatchOnly)
{
    XmlDocument doc = parse(L"<r><g>1</g><k/><g>2</g></r>");
    XmlNode r = doc.findChild(L"r");
    EXPECT_FALSE(r.removeChild(L"missing"));
    EXPECT_EQ(r.childCount(), 3);
    EXPECT_TRUE(r.removeChild(L"g"));
    EXPECT_EQ(r.childCount(), 2);
    EXPECT_EQ(r.findChild(L"g").nodeText(), L"2");
}

TEST_F(XmlReader, SetAttributeAppendAndSaveRoundTrip)
{
    XmlDocument a = parse(L"<update><file path=\"a\"/></update>");
    XmlDocument b = parse(L"<update><file path=\"b\" desname=\"x\"/></update>");
    XmlNode moved = b.findChild(L"update").findChild(L"file");
    EXPECT_TRUE(moved.setAttribute(L"desname", L"y"));
    EXPECT_TRUE(moved.setAttribute(L"new", L"z \"q\""));
    EXPECT_TRUE(a.findChild(L"update").appendChild(moved));
    EXPECT_FALSE(b.findChild(L"update").hasChildren());

    std::wstring path = folder.file(L"saved.xml");
    a.save(path);
    XmlDocument again = XmlDocument::load(path);
    ASSERT_TRUE(again.parsed());
    XmlNode root = again.findChild(L"update");
    ASSERT_EQ(root.childCount(), 2);
    EXPECT_EQ(root.childAt(1).attribute(L"path"), L"b");
    EXPECT_EQ(root.childAt(1).attribute(L"desname"), L"y");
    EXPECT_EQ(root.childAt(1).attribute(L"new"), L"z \"q\"");
}

TEST_F(XmlReader, MissingAndMalformedFilesLoadAsEmptyDocuments)
{
    XmlDocument missing = XmlDocument::load(folder.file(L"nothing.xml"));
    EXPECT_FALSE(missing.parsed());
    EXPECT_FALSE(missing.node().hasChildren());
    EXPECT_FALSE(missing.findChild(L"update"));

    XmlDocument broken = XmlDocument::load(writeFile(L"broken.xml", "<update><file path=\"a\"></update>"));
    EXPECT_FALSE(broken.parsed());
    EXPECT_FALSE(broken.node().hasChildren());

    XmlDocument empty = XmlDocument::load(writeFile(L"empty.xml", ""));
    EXPECT_FALSE(empty.parsed());
    EXPECT_FALSE(empty.findChild(L"update"));

    // Held open by someone who lets nobody read it.
    std::wstring lockedPath = writeFile(L"locked.xml", "<update/>");
    StreamFile holder;
    ASSERT_TRUE(holder.openRead(lockedPath, false));
    XmlDocument locked = XmlDocument::load(lockedPath);
    EXPECT_FALSE(locked.parsed());
    EXPECT_FALSE(locked.findChild(L"update"));
    holder.close();
    EXPECT_TRUE(XmlDocument::load(lockedPath).findChild(L"update"));

    XmlDocument text = XmlDocument::create();
    EXPECT_FALSE(text.loadText(L"<a><b></a>"));
    EXPECT_FALSE(text.node().hasChildren());
}

TEST_F(XmlReader, EncodingsFromDeclarationAndByteOrderMark)
{
    XmlDocument utf8 = XmlDocument::load(writeFile(L"u8.xml", "\xEF\xBB\xBF<update n=\"\xC3\xA9\"/>"));
    EXPECT_EQ(utf8.findChild(L"update").attribute(L"n"), L"\u00E9");
    XmlDocument utf16 = XmlDocument::load(writeFile(L"u16.xml", std::string("\xFF\xFE<\0u\0/\0>\0", 10)));
    EXPECT_TRUE(utf16.findChild(L"u"));
}

TEST_F(XmlReader, ExternalEntitiesAreNotFetched)
{
    std::wstring secret = writeFile(L"secret.txt", "top secret");
    std::string path(secret.begin(), secret.end());
    std::string text = "<?xml version=\"1.0\"?><!DOCTYPE update [<!ENTITY s SYSTEM \"file:///" + path +
                       "\">]><update><guid>&s;</guid></update>";
    XmlDocument doc = XmlDocument::load(writeFile(L"xxe.xml", text));
    EXPECT_EQ(doc.findChild(L"update").findChild(L"guid").nodeText().find(L"secret"), std::wstring::npos);
}

TEST(XmlReaderWithoutCom, CreatingADocumentRaisesWithTheCode)
{
    try {
        XmlDocument::create();
        FAIL() << "no error without COM";
    } catch (const XmlError& e) {
        EXPECT_LT(e.hresult(), 0);
    }
}
