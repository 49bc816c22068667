#include "core/text_format.h"
#include "list/list_loader.h"
#include "platform/files.h"
#include "platform/stream_file.h"
#include "platform/system.h"
#include "platform/zip_io.h"
#include "tests/download/server_env.h"
#include "tests/fetch/fetch_support.h"
#include "tools/pack/md5.h"
#include "tools/pack/pack.h"

#include <gtest/gtest.h>

using namespace rk;
using namespace rk::test;
using namespace rk::pack;

namespace {

std::string md5(const std::string& data)
{
    Md5 hash;
    hash.update(data.data(), data.size());
    return hash.hexDigest();
}

std::string unzipped(const std::wstring& path)
{
    ZipReader reader;
    ZipReader::EntryInfo info;
    std::string out;
    if (!reader.open(path) || !reader.openFirstEntry(info))
        return "(no archive)";
    char block[4096];
    for (long n; (n = reader.read(block, sizeof block)) > 0;)
        out.append(block, static_cast<size_t>(n));
    return reader.closeEntry() ? out : "(bad checksum)";
}

} // namespace

TEST(Pack, Md5MatchesKnownDigestsAcrossBlockEdges)
{
    EXPECT_EQ(md5(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(md5("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(md5("The quick brown fox jumps over the lazy dog"), "9e107d9d372bb6826bd81d3542a419d6");
    EXPECT_EQ(md5(std::string(1000000, 'a')), "7707d6ae4e027c70eea2a935c2296f21");
    Md5 pieces; // fed in uneven pieces, the digest is the same
    std::string text(200, 'x');
    pieces.update(text.data(), 63);
    pieces.update(text.data() + 63, 2);
    pieces.update(text.data() + 65, 135);
    EXPECT_EQ(pieces.hexDigest(), md5(text));
}

TEST(Pack, ArgumentsAndTheirErrors)
{
    PackOptions options;
    std::wstring error;
    ASSERT_TRUE(parseArguments({L"rel", L"out", L"--action", L"Sub/A.dll=reg", L"--run", L"setup.exe|/s", L"--sublist",
                                L"http://h/a.xml", L"--no-zip", L"--list", L"l.xml"},
                               options, error));
    EXPECT_EQ(options.release, L"rel");
    EXPECT_EQ(options.output, L"out");
    EXPECT_EQ(options.actions[L"sub\\a.dll"], L"reg");
    EXPECT_EQ(options.runs, std::vector<std::wstring>{L"setup.exe|/s"});
    EXPECT_FALSE(options.zipped);
    EXPECT_EQ(options.listName, L"l.xml");

    PackOptions other;
    EXPECT_FALSE(parseArguments({L"rel"}, other, error));
    EXPECT_FALSE(parseArguments({L"rel", L"out", L"--fileurl"}, other, error));
    EXPECT_NE(error.find(L"--fileurl"), std::wstring::npos);
    EXPECT_FALSE(parseArguments({L"rel", L"out", L"--bogus", L"x"}, other, error));
    EXPECT_FALSE(parseArguments({L"rel", L"out", L"--action", L"noequals"}, other, error));
}

TEST(Pack, DocumentsEscapeTextAndKeepTheRunFieldsInOrder)
{
    PackOptions options;
    options.fileUrl = L"{listurl-base}/files/{filename}";
    options.description = L"A & B\\nnext";
    options.runs = {L"setup.exe|/q \"x\"||post"};
    std::string xml = listDocument(options, {{L"sub\\a<1>.dll", "00ff", "5e7a", 7, L"reg", {}}});
    EXPECT_NE(xml.find("<fileurl>{listurl-base}/files/{filename}</fileurl>"), std::string::npos);
    EXPECT_NE(xml.find("<description>A &amp; B\\nnext</description>"), std::string::npos);
    EXPECT_NE(xml.find("<file path=\"sub\\a&lt;1&gt;.dll\" ver=\"00ff\" sha256=\"5e7a\" size=\"7\" oper=\"reg\"/>"),
              std::string::npos);
    EXPECT_NE(xml.find("<run path=\"setup.exe\" param=\"/q &quot;x&quot;\" key=\"post\"/>"), std::string::npos);
    EXPECT_EQ(probeDocument(L"5.2", {L"http://a/1.xml", L"http://b/2.xml"}),
              "<ver>5.2</ver>\r\n<url>http://a/1.xml</url>\r\n<url>http://b/2.xml</url>\r\n");
}

TEST(Pack, ReleaseFolderBecomesAListTheLoaderReads)
{
    FetchFolder folder(L"pack-release");
    folder.dir().write(L"rel\\app.exe", "application");
    folder.dir().write(L"rel\\sub\\lib.dll", "library");
    PackOptions options;
    options.release = folder.file(L"rel");
    options.output = folder.file(L"out");
    options.actions[L"sub\\lib.dll"] = L"reg";
    options.runs = {L"setup.exe|/silent|yes|post"};
    std::vector<PackedFile> packed;
    ASSERT_EQ(packRelease(options, &packed), L"");
    ASSERT_EQ(packed.size(), 2u);

    EXPECT_EQ(folder.dir().read(L"out\\sub\\lib.dll"), "library");
    EXPECT_EQ(unzipped(folder.file(L"out\\sub\\lib.dll._.zip")), "library");
    EXPECT_EQ(unzipped(folder.file(L"out\\update.xml._.zip")), folder.dir().read(L"out\\update.xml"));
    EXPECT_TRUE(fileExists(folder.file(L"out\\renewkit.main.xml")));
    EXPECT_EQ(folder.dir().read(L"out\\version.xml"),
              "<ver>" + md5(folder.dir().read(L"out\\update.xml")) + "</ver>\r\n");

    ComApartment com;
    DownLoadList list;
    ASSERT_TRUE(loadList(folder.file(L"out\\update.xml"), list, true));
    ASSERT_EQ(list.count(), 3);
    EXPECT_EQ(list.entries[0].path, L"app.exe");
    EXPECT_EQ(narrow(list.entries[0].version), md5("application"));
    EXPECT_EQ(list.entries[1].path, L"sub\\lib.dll");
    EXPECT_EQ(list.entries[1].actions, ACT_REGISTER);
    EXPECT_EQ(list.entries[2].actions, KIND_RUN);
    EXPECT_EQ(list.entries[2].path, L"setup.exe9/silent9yes9post");
}

TEST(Pack, RefusesMissingFoldersOutputInsideTheReleaseAndNameClashes)
{
    FetchFolder folder(L"pack-errors");
    folder.dir().write(L"rel\\a.txt", "a");
    PackOptions options;
    options.release = folder.file(L"nothere");
    options.output = folder.file(L"out");
    EXPECT_NE(packRelease(options).find(L"release folder not found"), std::wstring::npos);

    options.release = folder.file(L"rel");
    options.output = folder.file(L"rel\\pub");
    EXPECT_NE(packRelease(options).find(L"inside the release folder"), std::wstring::npos);
    options.output = folder.file(L"REL");
    EXPECT_NE(packRelease(options).find(L"inside the release folder"), std::wstring::npos);
    EXPECT_FALSE(pathExists(folder.file(L"rel\\pub")));

    folder.dir().write(L"rel\\update.xml", "mine");
    options.output = folder.file(L"out");
    EXPECT_NE(packRelease(options).find(L"published document"), std::wstring::npos);
}

TEST(Pack, AFileThatCannotBeReadStopsThePack)
{
    FetchFolder folder(L"pack-unreadable");
    folder.dir().write(L"rel\\locked.bin", "x");
    StreamFile exclusive; // shares nothing, as another program holding the file would
    ASSERT_TRUE(exclusive.openRead(folder.file(L"rel\\locked.bin"), false));
    PackOptions options;
    options.release = folder.file(L"rel");
    options.output = folder.file(L"out");
    EXPECT_NE(packRelease(options).find(L"cannot read file"), std::wstring::npos);
}
