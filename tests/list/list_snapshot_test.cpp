#include "list/list_snapshot.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace rk;

namespace {

std::string word(std::uint32_t v)
{
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i)
        s[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

std::string text(const std::wstring& t)
{
    std::string s = word(static_cast<std::uint32_t>(t.size()));
    for (wchar_t c : t) {
        s.push_back(static_cast<char>(c & 0xFF));
        s.push_back(static_cast<char>((c >> 8) & 0xFF));
    }
    return s;
}

void fill(DownLoadList& list)
{
    list.valueMap = {{L"k1", L"v1"}, {L"key two", L""}, {L"\u4E2D", L"\u6587\U0001F600"}};
    list.runCommands = {L"{app}\\setup.exe9/s9yes9post", L""};
    list.description = L"Line\r\nnext";
    list.listUrlBase = L"http://h/dir";
    list.fileUrlTemplate = L"{listurl-base}/f/{filename}";
    list.downloadDir = L"C:\\temp\\K\\";
    list.listGuid = L"g-1";
    list.snapshotWord = -7;
    for (int i = 0; i < 3; ++i) {
        updatefileinfo e;
        e.url = L"http://h/" + std::to_wstring(i);
        e.path = L"p" + std::to_wstring(i);
        e.dstNames = L"d;e";
        e.version = L"1.0." + std::to_wstring(i);
        e.notes = L"note\n";
        e.shortcut = L"{desktop}\\s.lnk";
        e.shortcutIcon = L"i.ico";
        e.iconIndex = L"3";
        e.actions = i == 2 ? KIND_RUN : ACT_RUN | ACT_REBOOT;
        list.entries.push_back(e);
    }
}

} // namespace

TEST(Snapshot, EmptyListBytes)
{
    DownLoadList list;
    list.fileUrlTemplate.clear();
    std::string expected =
        text(L"!-end------") + word(0) + word(0) + word(0) + word(0) + word(0) + word(0) + word(0) + word(0);
    EXPECT_EQ(writeSnapshot(list), expected);
    EXPECT_EQ(expected.size(), 58u);
    EXPECT_EQ(expected.substr(0, 6), std::string("\x0B\0\0\0!\0", 6));
}

TEST(Snapshot, LayoutOfAFilledList)
{
    DownLoadList list;
    list.valueMap = {{L"", L"dropped"}, {L"a", L"b"}};
    list.runCommands = {L"r"};
    list.description = L"d";
    list.snapshotWord = 0x01020304;
    updatefileinfo e;
    e.path = L"x";
    e.actions = KIND_DESCRIPTION;
    list.entries.push_back(e);
    std::string expected = text(L"a") + text(L"b") + text(L"!-end------") + word(1) + text(L"r") + text(L"d") +
                           word(0) + text(L"{listurl-base}/{filename}") + word(0) + word(0) + word(0x01020304) +
                           word(1) + word(0) + text(L"x") + word(0) + word(0) + word(0) + word(0) + word(0) + word(0) +
                           word(0x7F000000);
    EXPECT_EQ(writeSnapshot(list), expected);
}

TEST(Snapshot, RoundTripOfEveryField)
{
    DownLoadList source;
    fill(source);
    source.probeVersion = L"not saved";
    source.restartFlag = 1;
    const std::string bytes = writeSnapshot(source) + "trailing";

    DownLoadList copy;
    copy.probeVersion = L"mine";
    std::size_t used = 0;
    ASSERT_TRUE(readSnapshot(bytes, copy, &used));
    EXPECT_EQ(used, bytes.size() - 8);
    EXPECT_EQ(copy.valueMap, source.valueMap);
    EXPECT_EQ(copy.runCommands, source.runCommands);
    EXPECT_EQ(copy.description, source.description);
    EXPECT_EQ(copy.listUrlBase, source.listUrlBase);
    EXPECT_EQ(copy.fileUrlTemplate, source.fileUrlTemplate);
    EXPECT_EQ(copy.downloadDir, source.downloadDir);
    EXPECT_EQ(copy.listGuid, source.listGuid);
    EXPECT_EQ(copy.snapshotWord, -7);
    EXPECT_EQ(copy.probeVersion, L"mine");
    EXPECT_EQ(copy.restartFlag, 0);
    ASSERT_EQ(copy.entries.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        const auto& a = copy.entries[i];
        const auto& b = source.entries[i];
        EXPECT_EQ(
            std::tie(a.url, a.path, a.dstNames, a.version, a.notes, a.shortcut, a.shortcutIcon, a.iconIndex, a.actions),
            std::tie(b.url, b.path, b.dstNames, b.version, b.notes, b.shortcut, b.shortcutIcon, b.iconIndex,
                     b.actions));
    }
    // Reading replaces; nothing is appended to what was there.
    ASSERT_TRUE(readSnapshot(bytes, copy));
    EXPECT_EQ(copy.entries.size(), 3u);
    EXPECT_EQ(copy.runCommands.size(), 2u);
}

TEST(Snapshot, TruncatedAtEveryLengthIsRejected)
{
    DownLoadList source;
    fill(source);
    const std::string bytes = writeSnapshot(source);
    for (size_t length = 0; length < bytes.size(); ++length) {
        DownLoadList target;
        target.listGuid = L"untouched";
        target.entries.resize(1);
        ASSERT_FALSE(readSnapshot(std::string_view(bytes.data(), length), target)) << length;
        EXPECT_EQ(target.listGuid, L"untouched");
        EXPECT_EQ(target.entries.size(), 1u);
        EXPECT_TRUE(target.valueMap.empty());
    }
}

TEST(Snapshot, CountsLargerThanTheBytesAreRejected)
{
    const std::string head = text(L"!-end------");
    DownLoadList target;
    // A string claiming two thousand million units.
    EXPECT_FALSE(readSnapshot(word(0x7FFFFFFF) + "ab", target));
    EXPECT_FALSE(readSnapshot(word(0xFFFFFFFF) + std::string(64, 'x'), target));
    // Run-command and entry counts far beyond what follows.
    EXPECT_FALSE(readSnapshot(head + word(0x40000000) + std::string(40, '\0'), target));
    std::string noEntries = head + word(0) + word(0) + word(0) + word(0) + word(0) + word(0) + word(0);
    EXPECT_FALSE(readSnapshot(noEntries + word(2) + std::string(36, '\0'), target));
    EXPECT_TRUE(readSnapshot(noEntries + word(1) + std::string(36, '\0'), target));
    EXPECT_EQ(target.entries.size(), 1u);
    // A map without its end marker runs out of bytes.
    EXPECT_FALSE(readSnapshot(text(L"k") + text(L"v") + text(L"k2"), target));
}

TEST(Snapshot, AKeyEqualToTheEndMarkerIsNotWritten)
{
    DownLoadList source;
    source.valueMap = {{L"!-end------", L"x"}, {L"z", L"1"}};
    source.listGuid = L"g";
    DownLoadList copy;
    ASSERT_TRUE(readSnapshot(writeSnapshot(source), copy));
    EXPECT_EQ(copy.valueMap, (std::map<std::wstring, std::wstring>{{L"z", L"1"}}));
    EXPECT_EQ(copy.listGuid, L"g");
}
