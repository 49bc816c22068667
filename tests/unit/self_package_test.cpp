#include "install/self_package.h"
#include "list/list_snapshot.h"
#include "list/update_list.h"
#include "platform/files.h"
#include "tests/unit/test_folder.h"

#include <gtest/gtest.h>

using namespace rk;

namespace {

std::string trailer(std::uint32_t offset, std::uint32_t length, const char* marker)
{
    std::string t;
    for (std::uint32_t v : {offset, length})
        for (int i = 0; i < 4; ++i)
            t += static_cast<char>((v >> (8 * i)) & 0xFF);
    return t + marker;
}

} // namespace

TEST(SelfPackage, TrailerWithEitherMarker)
{
    PackageTrailer t;
    ASSERT_TRUE(parsePackageTrailer(trailer(1000, 2000, "RenewKitZip1"), 3020, t));
    EXPECT_EQ(t.offset, 1000u);
    EXPECT_EQ(t.length, 2000u);
    EXPECT_TRUE(parsePackageTrailer(trailer(0, 5, "RenewKitZip0"), 100, t));
}

TEST(SelfPackage, NoMarkerOrPayloadOutsideTheFile)
{
    PackageTrailer t;
    EXPECT_FALSE(parsePackageTrailer(trailer(0, 5, "RenewKitZip2"), 100, t));
    EXPECT_FALSE(parsePackageTrailer(trailer(0, 5, "renewkitzip1"), 100, t));
    EXPECT_FALSE(parsePackageTrailer(trailer(90, 11, "RenewKitZip1"), 120, t)); // runs into the trailer
    EXPECT_FALSE(parsePackageTrailer(trailer(0xFFFFFFF0u, 0x20, "RenewKitZip1"), 100, t));
    EXPECT_FALSE(parsePackageTrailer("short", 100, t));
}

TEST(SelfPackage, ListSnapshotBesideThePackageIsLoadedAndDeleted)
{
    rk::test::TestFolder dir(L"self-snapshot");
    DownLoadList source;
    updatefileinfo file;
    file.path = L"a.dll";
    file.version = L"1";
    source.entries.push_back(file);
    updatefileinfo notes;
    notes.path = notes.dstNames = L"what is new";
    notes.version = L"999";
    notes.actions = KIND_DESCRIPTION;
    source.entries.push_back(notes);
    dir.write(L"snap.tmp", writeSnapshot(source));

    DownLoadList& shared = DownLoadList::shared();
    shared.entries.clear();
    shared.description.clear();
    ASSERT_TRUE(loadPackagedListSnapshot(dir.file(L"snap.tmp")));
    ASSERT_EQ(shared.count(), 1);
    EXPECT_EQ(shared.entries[0].path, L"a.dll");
    EXPECT_EQ(shared.description, L"what is new\r\n");
    EXPECT_FALSE(fileExists(dir.file(L"snap.tmp")));
    EXPECT_FALSE(loadPackagedListSnapshot(dir.file(L"snap.tmp")));

    dir.write(L"snap.tmp", "not a snapshot");
    EXPECT_FALSE(loadPackagedListSnapshot(dir.file(L"snap.tmp")));
    EXPECT_EQ(shared.count(), 1);
    EXPECT_FALSE(fileExists(dir.file(L"snap.tmp")));
    shared.entries.clear();
    shared.description.clear();
}
