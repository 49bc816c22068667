#include "app/application.h"
#include "core/config.h"
#include "core/language.h"
#include "core/sample_config.h"
#include "app/working_folder.h"
#include "platform/files.h"
#include "tests/unit/test_folder.h"

#include <gtest/gtest.h>

using namespace rk;

TEST(ExitCode, Rule)
{
    EXPECT_EQ(exitCodeFor(5, L"", L""), 5);
    EXPECT_EQ(exitCodeFor(5, L"2.0", L"1.0"), 5);
    EXPECT_EQ(exitCodeFor(0, L"2.0", L"1.0"), 0x7FFFFFFF);
    EXPECT_EQ(exitCodeFor(0, L"2.0", L"2.0"), 0);
    EXPECT_EQ(exitCodeFor(0, L"2.0", L"2.0 "), 0x7FFFFFFF); // compared exactly
    EXPECT_EQ(exitCodeFor(0, L"", L"1.0"), 0);
}

TEST(EmbeddedLookup, SectionKeyAndLineEnd)
{
    const std::wstring ini = L"[RenewKit]\r\nName=wrong\r\n[APPLICATION]\r\nApplication=demo.exe\r\nName=ABC\r\n"
                             L"qbdir=123";
    EXPECT_EQ(lookupEmbedded(ini, L"APPLICATION", L"Name"), L"ABC");
    EXPECT_EQ(lookupEmbedded(ini, L"APPLICATION", L"qbdir"), L"123");
    EXPECT_EQ(lookupEmbedded(ini, L"RenewKit", L"Name"), L"wrong");
    EXPECT_EQ(lookupEmbedded(ini, L"application", L"Name"), L""); // exact case
    EXPECT_EQ(lookupEmbedded(ini, L"APPLICATION", L"Missing"), L"");
    EXPECT_EQ(lookupEmbedded(L"[A]\nk=v\nz=1", L"A", L"k"), L"v");
    EXPECT_EQ(lookupEmbedded(L"", L"A", L"k"), L"");
}

TEST(WorkingFolder, DriveRootMellowbyAndShelfSetup)
{
    EXPECT_EQ(workingFolderFor(L"C:\\windows", L"ABC"), L"C:\\Mellowby\\mbqb\\ABC\\");
    EXPECT_EQ(workingFolderFor(L"D:\\WINNT", L"7\\QB_ABC"), L"D:\\Mellowby\\mbqb\\7\\QB_ABC\\");
    EXPECT_EQ(workingFolderFor(L"C:\\windows", L""), L"C:\\Mellowby\\mbqb\\");

    test::TestFolder dir(L"shelf");
    dir.write(L"bin\\placeholder", "");
    EXPECT_EQ(workingSubFolder(dir.path() + L"bin", L"ABC"), L"ABC");
    dir.write(L"ShelfSetup.ini", "[APPLICATION]\r\nShelfSetupId=7\r\n");
    EXPECT_EQ(workingSubFolder(dir.path() + L"bin", L"ABC"), L"7\\QB_ABC");
}

namespace {

class Answer final : public Prompter {
public:
    explicit Answer(MessageAnswer a) : m_answer(a) {}
    MessageAnswer ask(void*, const std::wstring& text, const std::wstring& caption, MessageKind kind) override
    {
        asked = text;
        askedCaption = caption;
        askedKind = kind;
        return m_answer;
    }
    std::wstring asked, askedCaption;
    MessageKind askedKind = MessageKind::Ok;

private:
    MessageAnswer m_answer;
};

} // namespace

TEST(SampleConfiguration, YesWritesTheSampleNoWritesNothing)
{
    test::TestFolder dir(L"sample");
    dir.write(L"renewkit.ini", "[RenewKit]\r\nLog=\r\n");
    Answer no(MessageAnswer::No);
    EXPECT_FALSE(offerSampleConfiguration(nullptr, no));
    EXPECT_EQ(no.askedCaption, L"RenewKit");
    EXPECT_EQ(no.askedKind, MessageKind::YesNoQuestion);
    EXPECT_NE(no.asked.find(L"renewkit.ini"), std::wstring::npos);
    EXPECT_EQ(config::read(L"UPDATEINFO", L"ListURL"), L"");

    Answer yes(MessageAnswer::Yes);
    EXPECT_TRUE(offerSampleConfiguration(nullptr, yes));
    EXPECT_EQ(config::read(L"UPDATEINFO", L"ListURL"), kSampleListUrl);
    EXPECT_EQ(config::read(L"APPLICATION", L"Application"), L"demo.exe");
    EXPECT_EQ(config::read(L"APPLICATION", L"Name"), L"RenewKit demo");
    EXPECT_EQ(config::read(L"RenewKit", L"QuickCheck"), L"0");
    EXPECT_EQ(config::read(L"RenewKit", L"Language"), L"renewkit.lan"); // no table loaded: untranslated
    std::string file = dir.read(L"renewkit.ini");
    EXPECT_NE(file.find("ListURL=http://updates.example.com/"), std::string::npos);
}
