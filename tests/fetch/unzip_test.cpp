#include "core/path_helpers.h"
#include "install/unzip.h"
#include "platform/files.h"
#include "platform/stream_file.h"
#include "platform/zip_io.h"
#include "tests/download/server_env.h"
#include "tests/fetch/fetch_support.h"

#include <gtest/gtest.h>

using namespace rk;
using namespace rk::test;

namespace {

bool makeZip(const std::wstring& path, const std::string& name, const std::string& data)
{
    ZipWriter zip;
    return zip.create(path) && zip.beginEntry(name, false) && zip.write(data.data(), data.size()) && zip.endEntry() &&
           zip.close();
}

std::uint64_t fileSize(const std::wstring& path)
{
    StreamFile f;
    return f.openRead(path) ? f.size() : 0;
}

} // namespace

TEST(Unzip, LimitsGrowWithThePackedSizeUpToFourGiB)
{
    EXPECT_EQ(unpackLimit(0), 0u);
    EXPECT_EQ(unpackLimit(10), 10000u);
    EXPECT_EQ(unpackLimit(4294967), 4294967000u);
    EXPECT_EQ(unpackLimit(4294968), kMaxUnpackedBytes);
    EXPECT_EQ(unpackLimit(std::uint64_t(1) << 40), kMaxUnpackedBytes);
}

TEST(Unzip, EntryGoesToTheExplicitPathWhateverItsStoredName)
{
    FetchFolder folder(L"unzip-evil");
    const std::wstring zip = folder.file(L"in\\x.dll._.zip");
    folder.dir().write(L"in\\keep.txt", "k");
    ASSERT_TRUE(makeZip(zip, "..\\..\\evil.dll", "payload of the entry"));
    const std::wstring target = folder.file(L"in\\deep\\x.dll");
    createFolderChain(target);
    ASSERT_TRUE(unzipSingleFile(zip, target));
    EXPECT_EQ(folder.dir().read(L"in\\deep\\x.dll"), "payload of the entry");
    EXPECT_FALSE(pathExists(folder.file(L"evil.dll")));
    EXPECT_FALSE(pathExists(folder.file(L"in\\evil.dll")));
    EXPECT_FALSE(pathExists(folder.file(L"in\\deep\\evil.dll")));
    EXPECT_FALSE(pathExists(folder.dir().path() + L"..\\evil.dll"));

    ASSERT_TRUE(makeZip(zip, "/abs/evil.dll", "second"));
    ASSERT_TRUE(unzipSingleFile(zip, target)); // replaces the earlier file
    EXPECT_EQ(folder.dir().read(L"in\\deep\\x.dll"), "second");
}

TEST(Unzip, BombIsRefusedEarlyWithALogLine)
{
    FetchFolder folder(L"unzip-bomb");
    const std::wstring zip = folder.file(L"b.bin._.zip");
    ASSERT_TRUE(makeZip(zip, "b.bin", std::string(60u << 20, '\0')));
    ZipReader reader;
    ZipReader::EntryInfo info;
    ASSERT_TRUE(reader.open(zip) && reader.openFirstEntry(info));
    ASSERT_GT(info.size, info.packedSize * kMaxInflateRatio) << "the test archive must pass the ratio";
    reader.close();

    folder.dir().write(L"b.bin", "old file in the way");
    EXPECT_FALSE(unzipSingleFile(zip, folder.file(L"b.bin")));
    EXPECT_FALSE(pathExists(folder.file(L"b.bin")));
    EXPECT_NE(folder.runLog().find("unzip refused[" + narrow(zip) + "]"), std::string::npos) << folder.runLog();
}

TEST(Unzip, FailuresDeleteTheDestinationWhateverTheArchivesSize)
{
    FetchFolder folder(L"unzip-bad");
    folder.dir().write(L"junk.zip", std::string(500, 'j'));
    folder.dir().write(L"d.bin", "stale");
    EXPECT_FALSE(unzipSingleFile(folder.file(L"junk.zip"), folder.file(L"d.bin")));
    EXPECT_FALSE(pathExists(folder.file(L"d.bin")));

    // However short the archive, a failed extraction is a failure.
    folder.dir().write(L"d.bin", "stale");
    folder.dir().write(L"short.zip", std::string(158, 'j'));
    EXPECT_FALSE(unzipSingleFile(folder.file(L"short.zip"), folder.file(L"d.bin")));
    EXPECT_FALSE(pathExists(folder.file(L"d.bin")));

    EXPECT_FALSE(unzipSingleFile(folder.file(L"missing.zip"), folder.file(L"d.bin")));

    // A good archive with its data damaged: the checksum catches it.
    std::string data;
    for (int i = 0; i < 5000; ++i)
        data += static_cast<char>('a' + (i * 7919) % 26);
    ASSERT_TRUE(makeZip(folder.file(L"ok.zip"), "ok", data));
    std::string bytes = folder.dir().read(L"ok.zip");
    ASSERT_NE(bytes.size(), 158u);
    for (size_t i = bytes.size() / 4; i < bytes.size() / 2; ++i)
        bytes[i] = static_cast<char>(bytes[i] ^ 0x55);
    folder.dir().write(L"bad.zip", bytes);
    EXPECT_FALSE(unzipSingleFile(folder.file(L"bad.zip"), folder.file(L"d.bin")));
    EXPECT_FALSE(pathExists(folder.file(L"d.bin")));
    EXPECT_TRUE(unzipSingleFile(folder.file(L"ok.zip"), folder.file(L"d.bin")));
    EXPECT_EQ(fileSize(folder.file(L"d.bin")), data.size());
}

TEST(Unzip, ADestinationThatCannotBeDeletedIsAFailure)
{
    FetchFolder folder(L"unzip-locked");
    ASSERT_TRUE(makeZip(folder.file(L"n.zip"), "n", "new content"));
    folder.dir().write(L"n.bin", "old content");
    StreamFile holder;
    ASSERT_TRUE(holder.openRead(folder.file(L"n.bin"), false)); // no sharing: delete is refused
    EXPECT_FALSE(unzipSingleFile(folder.file(L"n.zip"), folder.file(L"n.bin")));
    holder.close();
    EXPECT_EQ(folder.dir().read(L"n.bin"), "old content");
    EXPECT_NE(folder.runLog().find("cannot be deleted"), std::string::npos);
}
