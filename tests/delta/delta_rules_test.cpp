// The rules of file deltas without a server: making and applying frames and
// their failures, the window bound, the delta children of a list, the choice
// of a delta and its address, and what renewkit-pack publishes for them.
#include "download/delta_fetch.h"
#include "install/file_delta.h"
#include "list/delta_element.h"
#include "list/list_loader.h"
#include "list/signed_list.h"
#include "platform/clock.h"
#include "platform/ecdsa.h"
#include "platform/files.h"
#include "platform/hash.h"
#include "tests/list/list_test_support.h"
#include "tools/pack/pack.h"
#include "tools/pack/signing.h"

#include <gtest/gtest.h>

#include <random>

using namespace rk;
using rk::test::ListTest;

namespace {

std::string sha256Hex(const std::string& bytes) { return toHex(sha256Of(bytes)); }
std::wstring wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// Bytes that compress to about half, as program files do.
std::string programLike(size_t size, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string out;
    while (out.size() < size) {
        if (rng() % 2)
            for (int i = 0; i < 64; ++i)
                out += static_cast<char>(rng());
        else
            out += "GetProcAddress LoadLibraryW CreateFileW ";
    }
    out.resize(size);
    return out;
}

// The same bytes with `runs` runs of 300 bytes overwritten.
std::string changed(std::string bytes, int runs, unsigned seed)
{
    std::mt19937 rng(seed);
    for (int r = 0; r < runs; ++r) {
        const size_t at = rng() % (bytes.size() - 300);
        for (size_t i = 0; i < 300; ++i)
            bytes[at + i] = static_cast<char>(rng());
    }
    return bytes;
}

// A frame of one raw block holding `content`, with the window descriptor byte given.
std::string rawFrame(unsigned char windowDescriptor, const std::string& content)
{
    std::string frame("\x28\xB5\x2F\xFD", 4);
    frame += '\0'; // no content size, no checksum, no dictionary, not single-segment
    frame += static_cast<char>(windowDescriptor);
    const unsigned header = 1u | (static_cast<unsigned>(content.size()) << 3); // last block, raw
    frame += static_cast<char>(header & 0xFF);
    frame += static_cast<char>((header >> 8) & 0xFF);
    frame += static_cast<char>((header >> 16) & 0xFF);
    return frame + content;
}

FileDelta delta(const std::string& from, const std::wstring& file)
{
    FileDelta d;
    d.from = wide(from);
    d.sha256 = std::wstring(64, L'e');
    d.size = 10;
    d.file = file;
    return d;
}

class DeltaFiles : public ListTest {
protected:
    std::wstring put(const std::wstring& name, const std::string& bytes) { return writeFile(name, bytes); }
    std::string read(const std::wstring& name) { return folder.read(name); }
};

} // namespace

TEST_F(DeltaFiles, AMadeDeltaAppliesToItsBaseAndSaysWhyItDoesNotApplyElsewhere)
{
    const std::string base = programLike(300000, 1);
    const std::string target = changed(base, 10, 2);
    const std::wstring basePath = put(L"base.bin", base);
    put(L"target.bin", target);
    ASSERT_EQ(makeDelta(basePath, folder.file(L"target.bin"), folder.file(L"d.zst")), L"");
    const std::string frame = read(L"d.zst");
    EXPECT_LT(frame.size(), 10 * 300 + 1000) << "a delta costs the change, not the file";

    const DeltaFrameInfo info = inspectDeltaFrame(frame.data(), frame.size());
    ASSERT_TRUE(info.valid) << std::string(info.problem.begin(), info.problem.end());
    // The window (2^19) covers the whole result, so zstd writes a single-segment
    // frame, whose header names the result's size as its window.
    EXPECT_EQ(info.window, target.size());
    EXPECT_TRUE(info.contentSizeKnown);
    EXPECT_EQ(info.contentSize, target.size());

    EXPECT_EQ(applyDelta(basePath, folder.file(L"d.zst"), folder.file(L"out.bin"), target.size()), L"");
    EXPECT_EQ(read(L"out.bin"), target);

    // Another base: the frame's checksum or its matches give it away.
    const std::wstring other = put(L"other.bin", programLike(300000, 3));
    std::wstring problem = applyDelta(other, folder.file(L"d.zst"), folder.file(L"out.bin"), target.size());
    EXPECT_NE(problem.find(L"it does not apply to the installed file ("), std::wstring::npos);
    EXPECT_FALSE(fileExists(folder.file(L"out.bin")));

    problem = applyDelta(basePath, folder.file(L"d.zst"), folder.file(L"out.bin"), target.size() + 1);
    EXPECT_EQ(problem, L"it makes 300000 bytes, the list names 300001");
    EXPECT_FALSE(fileExists(folder.file(L"out.bin")));

    put(L"long.zst", frame + "x");
    EXPECT_EQ(applyDelta(basePath, folder.file(L"long.zst"), folder.file(L"out.bin"), target.size()),
              L"it holds 1 bytes after its frame");
    put(L"short.zst", frame.substr(0, frame.size() - 5));
    EXPECT_EQ(applyDelta(basePath, folder.file(L"short.zst"), folder.file(L"out.bin"), target.size()),
              L"its frame is cut short or damaged");
    put(L"zip.zst", "PK\x03\x04 not a frame");
    EXPECT_EQ(applyDelta(basePath, folder.file(L"zip.zst"), folder.file(L"out.bin"), target.size()),
              L"it is no zstd frame");
    EXPECT_NE(applyDelta(folder.file(L"missing.bin"), folder.file(L"d.zst"), folder.file(L"out.bin"), target.size())
                  .find(L"the installed file cannot be read"),
              std::wstring::npos);
}

TEST_F(DeltaFiles, AWindowOrAFileBeyondTheBoundIsRefused)
{
    // A valid frame of five bytes whose header asks for a window of 1 GiB.
    const std::wstring base = put(L"base.bin", "");
    put(L"huge.zst", rawFrame(20 << 3, "hello"));
    const std::string huge = read(L"huge.zst");
    EXPECT_EQ(inspectDeltaFrame(huge.data(), huge.size()).window, 1ull << 30);
    EXPECT_EQ(applyDelta(base, folder.file(L"huge.zst"), folder.file(L"out.bin"), 5),
              L"its window of 1024 MiB is beyond the bound of 256 MiB");
    // The same frame with a window of 1 KiB applies.
    put(L"small.zst", rawFrame(0, "hello"));
    EXPECT_EQ(applyDelta(base, folder.file(L"small.zst"), folder.file(L"out.bin"), 5), L"");
    EXPECT_EQ(read(L"out.bin"), "hello");

    // Under a smaller bound a larger result or base is refused before it is read.
    EXPECT_EQ(applyDelta(base, folder.file(L"small.zst"), folder.file(L"out.bin"), 5000, 4096),
              L"the file of 5000 bytes is beyond the bound of 0 MiB");
    const std::wstring big = put(L"big.bin", std::string(5000, 'a'));
    EXPECT_EQ(applyDelta(big, folder.file(L"small.zst"), folder.file(L"out.bin"), 5, 4096),
              L"the installed file of 5000 bytes is beyond the bound of 0 MiB");

    EXPECT_EQ(deltaWindowLog(0, 0), 10u);
    EXPECT_EQ(deltaWindowLog(4u << 20, 3u << 20), 23u);
    EXPECT_EQ(deltaWindowLog(1, 5000000), 23u);
    EXPECT_EQ(deltaWindowLog(1ull << 30, 1), 28u); // never past the bound the updater applies
}

TEST_F(DeltaFiles, DeltaChildrenAreReadNormalisedAndMalformedOnesLeftOut)
{
    const std::string a(64, 'a');
    const std::string b(64, 'b');
    const std::string xml = "<update><file path=\"app.exe\" ver=\"2\" sha256=\"" + b +
                            "\" size=\"9\">"
                            "<delta from=\" " +
                            std::string(64, 'A') + " \" sha256=\"" + std::string(64, 'C') +
                            "\" size=\"120\" file=\" app.exe.aaaa.zst \"/>"
                            "<delta from=\"" +
                            a.substr(1) + "\" sha256=\"" + b +
                            "\" size=\"1\" file=\"short-from\"/>"
                            "<delta from=\"" +
                            a + "\" sha256=\"" + b +
                            "\" size=\"0\" file=\"empty\"/>"
                            "<delta from=\"" +
                            a + "\" sha256=\"" + b +
                            "\" size=\"x\" file=\"bad-size\"/>"
                            "<delta from=\"" +
                            a + "\" sha256=\"" + b.substr(0, 63) +
                            "g\" size=\"1\" file=\"bad-digest\"/>"
                            "<delta from=\"" +
                            a + "\" sha256=\"" + b +
                            "\" size=\"1\"/>"
                            "<group><delta from=\"" +
                            b + "\" sha256=\"" + b +
                            "\" size=\"1\" file=\"nested\"/></group>"
                            "<delta from=\"" +
                            b + "\" sha256=\"" + a +
                            "\" size=\"77\" file=\"sub/app.exe.bbbb.zst\"/>"
                            "</file>"
                            "<delta from=\"" +
                            a + "\" sha256=\"" + b +
                            "\" size=\"1\" file=\"outside\"/>"
                            "<file path=\"plain.txt\" ver=\"1\"/></update>";
    DownLoadList list;
    ASSERT_TRUE(loadList(writeFile(L"list.xml", xml), list, true));
    ASSERT_EQ(list.entries.size(), 2u);
    const updatefileinfo& app = list.entries[0];
    ASSERT_EQ(app.deltas.size(), 2u);
    EXPECT_EQ(app.deltas[0].from, wide(a));
    EXPECT_EQ(app.deltas[0].sha256, std::wstring(64, L'c'));
    EXPECT_EQ(app.deltas[0].size, 120);
    EXPECT_EQ(app.deltas[0].file, L"app.exe.aaaa.zst");
    EXPECT_EQ(app.deltas[1].from, wide(b));
    EXPECT_EQ(app.deltas[1].file, L"sub/app.exe.bbbb.zst");
    EXPECT_TRUE(list.entries[1].deltas.empty());

    EXPECT_TRUE(isSha256Hex(wide(a)));
    EXPECT_FALSE(isSha256Hex(wide(a + "0")));
}

TEST_F(DeltaFiles, TheDeltaOfTheInstalledDigestIsChosenAndItsAddressResolved)
{
    const std::string a(64, 'a');
    const std::string b(64, 'b');
    const std::vector<FileDelta> deltas = {delta(a, L"x.a.zst"), delta(b, L"x.b.zst")};
    ASSERT_NE(chooseDelta(deltas, wide(b)), nullptr);
    EXPECT_EQ(chooseDelta(deltas, wide(b))->file, L"x.b.zst");
    EXPECT_EQ(chooseDelta(deltas, std::wstring(64, L'c')), nullptr);
    EXPECT_EQ(chooseDelta(deltas, L""), nullptr);
    EXPECT_EQ(chooseDelta({}, wide(a)), nullptr);

    const std::wstring file = L"http://h:81/pub/r2/bin/app.exe";
    EXPECT_EQ(deltaUrl(file, L"app.exe.1f2e.zst"), L"http://h:81/pub/r2/bin/app.exe.1f2e.zst");
    EXPECT_EQ(deltaUrl(file, L"deltas\\app.zst"), L"http://h:81/pub/r2/bin/deltas/app.zst");
    EXPECT_EQ(deltaUrl(file, L"/cdn/app.zst"), L"http://h:81/cdn/app.zst");
    EXPECT_EQ(deltaUrl(file, L"HTTPS://other/app.zst"), L"HTTPS://other/app.zst");
    EXPECT_EQ(deltaUrl(L"http://h/get.php?f=a/b.exe", L"b.zst"), L"http://h/b.zst");
}

TEST(PackDelta, ArgumentsNamesAndBases)
{
    pack::PackOptions options;
    std::wstring error;
    ASSERT_TRUE(pack::parseArguments(
        {L"rel", L"out", L"--delta-from", L"p1", L"--delta-from", L"p2", L"--delta-share", L"25"}, options, error));
    EXPECT_EQ(options.deltaFrom, (std::vector<std::wstring>{L"p1", L"p2"}));
    EXPECT_EQ(options.deltaShare, 25);
    EXPECT_EQ(pack::PackOptions().deltaShare, 50);
    for (const wchar_t* share : {L"0", L"101", L"half"})
        EXPECT_FALSE(pack::parseArguments({L"rel", L"out", L"--delta-share", share}, options, error)) << share;

    const std::string digest = "1f2e3d4c5b6a7988" + std::string(48, '0');
    EXPECT_EQ(pack::deltaFileName(L"app.exe", digest), L"app.exe.1f2e3d4c5b6a7988.zst");
    EXPECT_EQ(pack::deltaFileName(L"plugins\\report.dll", digest), L"report.dll.1f2e3d4c5b6a7988.zst");

    // Distinct bases that differ from the new file, first release first.
    std::vector<pack::PreviousRelease> previous(3);
    previous[0].files[L"bin\\app.exe"] = {std::string(64, 'a'), 1};
    previous[1].files[L"bin\\app.exe"] = {std::string(64, 'a'), 1};
    previous[2].files[L"bin\\app.exe"] = {std::string(64, 'b'), 1};
    previous[2].files[L"same.txt"] = {std::string(64, 'c'), 1};
    EXPECT_EQ(pack::deltaBases(previous, L"BIN\\App.exe", std::string(64, 'n')),
              (std::vector<std::string>{std::string(64, 'a'), std::string(64, 'b')}));
    EXPECT_TRUE(pack::deltaBases(previous, L"same.txt", std::string(64, 'c')).empty());
    EXPECT_TRUE(pack::deltaBases(previous, L"new.txt", std::string(64, 'c')).empty());
}

TEST_F(DeltaFiles, PackWritesDeltasOnlyForChangedFilesAndKeepsThemBelowTheShare)
{
    const std::string v1 = programLike(200000, 5);
    const std::string v2 = changed(v1, 8, 6);
    folder.write(L"r1\\bin\\big.bin", v1);
    folder.write(L"r1\\same.txt", "unchanged");
    folder.write(L"r2\\bin\\big.bin", v2);
    folder.write(L"r2\\same.txt", "unchanged");
    folder.write(L"r2\\new.txt", "new in 2");
    pack::PackOptions first;
    first.release = folder.file(L"r1");
    first.output = folder.file(L"p1");
    ASSERT_EQ(pack::packRelease(first), L"");

    pack::PackOptions second;
    second.release = folder.file(L"r2");
    second.output = folder.file(L"p2");
    second.deltaFrom = {folder.file(L"p1"), folder.file(L"p1\\")};
    std::vector<pack::PackedFile> packed;
    std::vector<std::wstring> notes;
    std::vector<size_t> done;
    pack::PackProgress progress;
    progress.files = [&](size_t n, size_t total) { done.push_back(n * 100 + total); };
    progress.note = [&](const std::wstring& line) { notes.push_back(line); };
    ASSERT_EQ(pack::packRelease(second, &packed, progress), L"");
    EXPECT_EQ(done, (std::vector<size_t>{103, 203, 303}));
    EXPECT_TRUE(notes.empty());

    const std::wstring name = L"big.bin." + wide(sha256Hex(v1).substr(0, 16)) + L".zst";
    const std::string frame = read(L"p2\\bin\\" + name);
    ASSERT_FALSE(frame.empty());
    const std::string list = read(L"p2\\update.xml");
    const std::string element = "<delta from=\"" + sha256Hex(v1) + "\" sha256=\"" + sha256Hex(frame) + "\" size=\"" +
                                std::to_string(frame.size()) + "\" file=\"" + std::string(name.begin(), name.end()) +
                                "\"/>";
    EXPECT_NE(list.find(element), std::string::npos) << list;
    EXPECT_EQ(list.find("<delta", list.find(element) + 1), std::string::npos) << "one delta per distinct base";
    ASSERT_EQ(packed.size(), 3u);
    EXPECT_EQ(packed[0].deltas.size(), 1u);
    EXPECT_TRUE(packed[1].deltas.empty());
    EXPECT_TRUE(packed[2].deltas.empty());
    EXPECT_EQ(applyDelta(folder.file(L"r1\\bin\\big.bin"), folder.file(L"p2\\bin\\" + name), folder.file(L"out.bin"),
                         v2.size()),
              L"");
    EXPECT_EQ(read(L"out.bin"), v2);

    // The list the packer wrote reads back with the delta, also once it has
    // been saved as the local list.
    const std::wstring local = folder.file(L"renewkit.xml");
    ASSERT_TRUE(copyFileReplacing(folder.file(L"p2\\update.xml"), local));
    for (bool remote : {true, false}) {
        DownLoadList loaded;
        ASSERT_TRUE(loadList(local, loaded, remote));
        ASSERT_EQ(loaded.entries.size(), 3u);
        ASSERT_EQ(loaded.entries[0].deltas.size(), 1u);
        EXPECT_EQ(loaded.entries[0].deltas[0].sha256, wide(sha256Hex(frame)));
        EXPECT_EQ(loaded.entries[0].deltas[0].file, name);
    }

    // Below 1 % of the zipped variant no delta is small enough: none is published.
    second.deltaShare = 1;
    second.output = folder.file(L"p2-small");
    ASSERT_EQ(pack::packRelease(second, &packed, progress), L"");
    EXPECT_TRUE(packed[0].deltas.empty());
    EXPECT_FALSE(fileExists(folder.file(L"p2-small\\bin\\" + name)));
    EXPECT_EQ(read(L"p2-small\\update.xml").find("<delta"), std::string::npos);
    ASSERT_FALSE(notes.empty());
    EXPECT_NE(notes.back().find(L"are not below"), std::wstring::npos);

    // A previous release whose file differs from its list gives no delta.
    folder.write(L"p1\\bin\\big.bin", "tampered");
    second.deltaShare = 50;
    second.output = folder.file(L"p2-tampered");
    notes.clear();
    ASSERT_EQ(pack::packRelease(second, &packed, progress), L"");
    EXPECT_TRUE(packed[0].deltas.empty());
    ASSERT_FALSE(notes.empty());
    EXPECT_NE(notes[0].find(L"the file differs from its list"), std::wstring::npos);

    second.deltaFrom = {folder.file(L"p2-tampered")};
    EXPECT_NE(pack::packRelease(second).find(L"--delta-from names the output folder"), std::wstring::npos);
    second.deltaFrom = {folder.file(L"r1")};
    EXPECT_NE(pack::packRelease(second).find(L"the previous release has no list"), std::wstring::npos);
}

TEST_F(DeltaFiles, ASignedListCoversItsDeltaElements)
{
    std::wstring line;
    ASSERT_EQ(pack::generateKeyFiles(folder.file(L"k"), line), L"");
    const ReleaseKeys keys = releaseKeysFromIni(L"[Security]\r\n" + line + L"\r\n");
    ASSERT_EQ(keys.keys.size(), 1u);
    folder.write(L"r1\\app.bin", programLike(100000, 7));
    folder.write(L"r2\\app.bin", changed(programLike(100000, 7), 2, 8));
    pack::PackOptions first;
    first.release = folder.file(L"r1");
    first.output = folder.file(L"p1");
    ASSERT_EQ(pack::packRelease(first), L"");
    pack::PackOptions second;
    second.release = folder.file(L"r2");
    second.output = folder.file(L"p2");
    second.deltaFrom = {folder.file(L"p1")};
    second.keyFile = folder.file(L"k.key");
    ASSERT_EQ(pack::packRelease(second), L"");

    const std::string list = read(L"p2\\update.xml");
    const std::string signature = read(L"p2\\update.xml.sig");
    ASSERT_NE(list.find("<delta from="), std::string::npos);
    EXPECT_TRUE(
        checkSignedList(list, &signature, keys, 0, utcSecondsNow(), ListRole::UpdateList, L"update.xml").accepted);
    // Any change to a delta element (here the file it names) breaks the signature.
    std::string altered = list;
    const size_t at = altered.find(".zst\"/>");
    ASSERT_NE(at, std::string::npos);
    altered.replace(at, 4, ".zsx");
    EXPECT_FALSE(
        checkSignedList(altered, &signature, keys, 0, utcSecondsNow(), ListRole::UpdateList, L"update.xml").accepted);
}
