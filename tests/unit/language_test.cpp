#include "core/language.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "tests/unit/test_folder.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace rk;

namespace {

CLanguage load(const std::string& text)
{
    CLanguage table;
    table.loadBytes(text, kCodePageUtf8);
    return table;
}

} // namespace

TEST(LanguageFile, SectionsKeysAndSkippedLines)
{
    CLanguage t = load("done=ignored, no section yet\n"
                       "[MAIN]\r\n"
                       "Ok=好\r\n"
                       "; comment=x\n"
                       "'also=comment\n"
                       "//Run=x\n"
                       "\\\\Run=x\n"
                       "a=b\n"
                       "no equals sign here\n"
                       "done=\n"
                       "Ok,Your changes will run in next.=a=b   \n"
                       "Line\\none=two\\tlines\n"
                       "[TRYICON]\n"
                       "Update=升级\n"
                       "[MAIN]\n"
                       "Exit=退出\n");
    EXPECT_EQ(t.translate(L"MAIN", L"Ok"), L"好");
    EXPECT_EQ(t.translate(L"MAIN", L"Run"), L"Run");
    EXPECT_EQ(t.translate(L"MAIN", L"a"), L"a"); // "a=b" is shorter than four characters
    EXPECT_EQ(t.translate(L"MAIN", L"done"), L"done");
    EXPECT_EQ(t.translate(L"MAIN", L"Ok,Your changes will run in next."), L"a=b");
    EXPECT_EQ(t.translate(L"MAIN", L"Line\none"), L"two\tlines");
    EXPECT_EQ(t.translate(L"TRYICON", L"Update"), L"升级");
    EXPECT_EQ(t.translate(L"MAIN", L"Update"), L"Update");
    EXPECT_EQ(t.translate(L"MAIN", L"Exit"), L"退出"); // a section seen again continues
    EXPECT_EQ(t.translate(L"NOPE", L"Exit"), L"Exit");
    EXPECT_EQ(t.translate(L"main", L"Exit"), L"Exit");
}

TEST(LanguageFile, LaterEntriesReplaceEarlierOnes)
{
    CLanguage t;
    t.loadBytes("[MAIN]\nFinish=one\nFinish=two\n", kCodePageUtf8);
    t.loadBytes("[MAIN]\nFinish=three\n", kCodePageUtf8);
    EXPECT_EQ(t.translate(L"MAIN", L"Finish"), L"three");
    // A lookup of a missing key adds nothing.
    EXPECT_EQ(t.translate(L"MAIN", L"missing"), L"missing");
    EXPECT_EQ(t.sections().at(L"MAIN")->count(L"missing"), 0u);
}

TEST(LanguageFile, LongLinesAreSplitAfter1024Bytes)
{
    std::string key(1020, 'k');
    // Bytes 1021-1024 are "=abc"; the rest "Next=go on" is read as a line of its own.
    CLanguage t = load("[MAIN]\n" + key + "=abcNext=go on\n");
    EXPECT_EQ(t.translate(L"MAIN", std::wstring(key.begin(), key.end())), L"abc");
    EXPECT_EQ(t.translate(L"MAIN", L"Next"), L"go on");
}

TEST(LanguageFile, MissingFileLoadsNothing)
{
    CLanguage t;
    EXPECT_FALSE(t.loadFile(L"C:\\no\\such\\file.lan"));
    EXPECT_TRUE(t.sections().empty());
}

TEST(LanguageFile, FilesOnDiskUseTheThreadCodePage)
{
    test::TestFolder dir(L"language-file");
    std::string bytes = wideToBytes(L"[MAIN]\r\nFinish=Fertig\r\n", kCodePageThreadAnsi);
    dir.write(L"de.lan", bytes);
    CLanguage t;
    ASSERT_TRUE(t.loadFile(dir.file(L"de.lan")));
    EXPECT_EQ(t.translate(L"MAIN", L"Finish"), L"Fertig");
}

// The built-in tables are GBK and Big5 bytes; they must read right whatever
// code page the system runs with (this test process runs with Wine's default).
TEST(EmbeddedTables, EveryKeyIsTranslatedInBothTables)
{
    std::string keys;
    ASSERT_TRUE(readFileBytes(test::sourceDir() + L"tests\\data\\language_keys.txt", keys));
    CLanguage simplified, traditional;
    ASSERT_TRUE(simplified.loadEmbedded(154));
    ASSERT_TRUE(traditional.loadEmbedded(153));
    std::istringstream lines(keys);
    std::string line;
    int checked = 0;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        size_t tab = line.find('\t');
        if (tab == std::string::npos)
            continue;
        std::wstring section = bytesToWide(line.substr(0, tab), kCodePageUtf8);
        std::wstring key = bytesToWide(line.substr(tab + 1), kCodePageUtf8);
        size_t at;
        while ((at = key.find(L"\\n")) != std::wstring::npos)
            key.replace(at, 2, L"\n");
        EXPECT_NE(simplified.translate(section, key), key) << "simplified: " << line;
        EXPECT_NE(traditional.translate(section, key), key) << "traditional: " << line;
        ++checked;
    }
    EXPECT_GT(checked, 120);
    EXPECT_EQ(simplified.translate(L"MAIN", L"renewkit.lan"), L"renewkitcn.lan");
    EXPECT_EQ(traditional.translate(L"MAIN", L"renewkit.lan"), L"renewkitbig.lan");
}

TEST(EmbeddedTables, DecodedWithTheirOwnCodePages)
{
    CLanguage simplified, traditional;
    ASSERT_TRUE(simplified.loadEmbedded(154));
    ASSERT_TRUE(traditional.loadEmbedded(153));
    std::wstring s = simplified.translate(L"MAIN", L"Exit");
    std::wstring t = traditional.translate(L"MAIN", L"Exit");
    // Chinese text decodes to CJK ideographs, never to Latin-1 look-alikes.
    ASSERT_FALSE(s.empty());
    ASSERT_FALSE(t.empty());
    for (wchar_t c : s + t)
        EXPECT_TRUE(c >= 0x2E80 || c < 0x80) << static_cast<int>(c);
    EXPECT_FALSE(CLanguage().loadEmbedded(999));
}
