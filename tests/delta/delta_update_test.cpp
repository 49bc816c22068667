// Delta updates end to end: a stamped updater updates an installed release
// from releases packed by the real renewkit-pack --delta-from (and lists
// written by hand) on nginx, fetching deltas where the installed file allows,
// and falling back to the full file in the same run wherever a delta fails.
#include "tests/run/run_support.h"

#include "platform/ecdsa.h"
#include "platform/files.h"
#include "platform/hash.h"
#include "tests/download/server_env.h"
#include "tools/pack/signing.h"

#include <gtest/gtest.h>

using namespace rk;
using namespace rk::test;

namespace {

std::string sha256Hex(const std::string& bytes) { return toHex(sha256Of(bytes)); }
std::string prefixOf(const std::string& bytes) { return sha256Hex(bytes).substr(0, 16); }

std::wstring publishedFolder(const std::wstring& name) { return serverStateDir() + L"data\\pub\\" + name + L"\\"; }

std::string keyLines() { return "\n" + e2e::readBytes(serverStateDir() + L"keys\\a.pub"); }

// Signs a document with the fixture's key and writes it and its signature.
void writeSigned(const std::wstring& path, const std::string& document)
{
    pack::SigningKey key;
    ASSERT_EQ(pack::loadSigningKey(serverStateDir() + L"keys\\a.key", key), L"");
    e2e::writeBytes(path, document);
    e2e::writeBytes(path + L".sig", pack::signatureFileText(key, document));
}

std::string runLogText(const RunSetup& run)
{
    std::string text = "run log:\n";
    for (const std::wstring& line : logTexts(run))
        text += narrow(line) + "\n";
    return text;
}

std::string deltaElement(const std::string& from, const std::string& deltaBytes, const std::string& file)
{
    return "<delta from=\"" + sha256Hex(from) + "\" sha256=\"" + sha256Hex(deltaBytes) + "\" size=\"" +
           std::to_string(deltaBytes.size()) + "\" file=\"" + file + "\"/>";
}

// A file element written by hand: the four attributes of each delta are all it needs.
std::string fileElement(const std::string& path, const std::string& bytes, const std::string& deltas)
{
    return "<file path=\"" + path + "\" ver=\"hand-" + prefixOf(bytes) + "\" sha256=\"" + sha256Hex(bytes) +
           "\" size=\"" + std::to_string(bytes.size()) + "\">" + deltas + "</file>\r\n";
}

// Replaces a published release's list by one written by hand.
std::wstring publishHandList(const std::wstring& release, const std::wstring& name, const std::string& entries)
{
    const std::wstring url = publishAs(release, name);
    deleteFileForced(publishedFolder(name) + L"update.xml._.zip");
    e2e::writeBytes(publishedFolder(name) + L"update.xml",
                    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<update>\r\n" + entries + "</update>\r\n");
    return url;
}

// Every request nginx logged for the file of the release folder, and whether each went for a delta.
struct Requests {
    std::vector<std::string> all;
    size_t deltas = 0;
};
Requests requestsFor(const std::wstring& name, const std::string& file)
{
    Requests r;
    r.all = nginxRequests("/pub/" + narrow(name) + "/" + file);
    for (const std::string& line : r.all)
        r.deltas += line.find(".zst ") != std::string::npos ? 1 : 0;
    return r;
}

} // namespace

TEST(DeltaUpdate, AnUpdateFetchesOnlyTheDeltasOfItsChangedFiles)
{
    RunSetup run = makeRun(L"DeltaOnly", publishAs(L"r2", L"donly"));
    installRelease(run, L"r1");
    EXPECT_EQ(stagesSeen(silentRun(run)), kFullRun) << runLogText(run);
    expectInstalled(run, L"r2");
    for (const char* file : {"demo.exe", "plugin.dll", "engine.bin"}) {
        const Requests r = requestsFor(L"donly", file);
        EXPECT_FALSE(r.all.empty()) << file;
        EXPECT_EQ(r.deltas, r.all.size()) << file << ": " << ::testing::PrintToString(r.all);
    }
    EXPECT_TRUE(requestsFor(L"donly", "docs/help.txt").all.empty());
    EXPECT_EQ(logCount(run, L"was made from the installed file and the delta ["), 3) << runLogText(run);
    EXPECT_EQ(logCount(run, L"is not used"), 0);
}

TEST(DeltaUpdate, UsersOneAndTwoReleasesBehindGetTheDeltaFromTheirRelease)
{
    for (const wchar_t* installed : {L"r1", L"r2"}) {
        const std::wstring name = std::wstring(L"dbehind-") + installed;
        RunSetup run = makeRun(std::wstring(L"DeltaBehind") + installed, publishAs(L"r3", name));
        installRelease(run, installed);
        EXPECT_EQ(stagesSeen(silentRun(run)), kFullRun) << runLogText(run);
        expectInstalled(run, L"r3");
        const std::string wanted = "engine.bin." + prefixOf(releaseFile(installed, L"engine.bin")) + ".zst ";
        const Requests engine = requestsFor(name, "engine.bin");
        ASSERT_FALSE(engine.all.empty());
        for (const std::string& line : engine.all)
            EXPECT_NE(line.find(wanted), std::string::npos) << line;
    }
    // Version 2 already had the program of version 3: nothing of it is fetched.
    EXPECT_TRUE(requestsFor(L"dbehind-r2", "demo.exe").all.empty());
    EXPECT_EQ(requestsFor(L"dbehind-r1", "demo.exe").deltas, requestsFor(L"dbehind-r1", "demo.exe").all.size());
}

TEST(DeltaUpdate, ALocallyChangedFileGetsTheFullFile)
{
    RunSetup run = makeRun(L"DeltaLocalChange", publishAs(L"r2", L"dlocal"));
    installRelease(run, L"r1");
    e2e::writeBytes(run.appDir + L"engine.bin", releaseFile(L"r1", L"engine.bin") + "patched by hand");
    EXPECT_EQ(stagesSeen(silentRun(run)), kFullRun) << runLogText(run);
    expectInstalled(run, L"r2");
    const Requests engine = requestsFor(L"dlocal", "engine.bin");
    ASSERT_FALSE(engine.all.empty());
    for (const std::string& line : engine.all)
        EXPECT_NE(line.find("engine.bin._.zip "), std::string::npos) << line;
    EXPECT_TRUE(logHas(run, L"The delta of [engine.bin] is not used: none starts from the installed file (SHA-256 "));
    EXPECT_EQ(logCount(run, L"was made from the installed file"), 2); // the program and the plugin
}

TEST(DeltaUpdate, ACorruptDeltaADeltaOfAnotherBaseAndAMissingDeltaFallBackInTheSameRun)
{
    const std::wstring packed = publishedFolder(L"r3");
    const std::string engine1 = releaseFile(L"r1", L"engine.bin");
    const std::string plugin1 = releaseFile(L"r1", L"plugin.dll");
    // The delta from version 2's binary, named as the one from version 1's:
    // its digest is right, but it does not apply to version 1.
    const std::string otherBase = "engine.bin." + prefixOf(releaseFile(L"r2", L"engine.bin")) + ".zst";
    const std::string otherDelta = e2e::readBytes(packed + std::wstring(otherBase.begin(), otherBase.end()));
    ASSERT_FALSE(otherDelta.empty());
    // The plugin's delta with one byte changed on the server.
    const std::string pluginName = "plugin.dll." + prefixOf(plugin1) + ".zst";
    const std::string pluginDelta = e2e::readBytes(packed + std::wstring(pluginName.begin(), pluginName.end()));
    ASSERT_FALSE(pluginDelta.empty());
    std::string corrupt = pluginDelta;
    corrupt[corrupt.size() / 2] ^= 0x20;
    const std::wstring url = publishHandList(
        L"r3", L"dfall",
        fileElement("engine.bin", releaseFile(L"r3", L"engine.bin"), deltaElement(engine1, otherDelta, otherBase)) +
            fileElement("plugin.dll", releaseFile(L"r3", L"plugin.dll"),
                        deltaElement(plugin1, pluginDelta, "plugin.dll.bad.zst")) +
            fileElement("demo.exe", releaseFile(L"r3", L"demo.exe"),
                        deltaElement(releaseFile(L"r1", L"demo.exe"), pluginDelta, "demo.exe.missing.zst")));
    e2e::writeBytes(publishedFolder(L"dfall") + L"plugin.dll.bad.zst", corrupt);

    RunSetup run = makeRun(L"DeltaFallBack", url);
    installRelease(run, L"r1");
    EXPECT_EQ(stagesSeen(silentRun(run)), kFullRun) << runLogText(run);
    for (const wchar_t* file : {L"engine.bin", L"plugin.dll", L"demo.exe"})
        EXPECT_EQ(e2e::readBytes(run.appDir + file), releaseFile(L"r3", file)) << narrow(file);
    EXPECT_TRUE(logHas(run, L"The delta of [engine.bin] is not used: it does not apply to the installed file ("))
        << runLogText(run);
    EXPECT_TRUE(logHas(run, L"The delta of [plugin.dll] is not used: the file ["));
    EXPECT_TRUE(logHas(run, L"plugin.dll.bad.zst] is refused: its SHA-256 "));
    EXPECT_TRUE(logHas(run, L"The delta of [demo.exe] is not used: it could not be fetched from ["));
    EXPECT_EQ(logCount(run, L"is not used"), 3);
    EXPECT_FALSE(logHas(run, L"Downloading error files..."));
    for (const char* file : {"engine.bin._.zip", "plugin.dll._.zip", "demo.exe._.zip"})
        EXPECT_FALSE(nginxRequests("/pub/dfall/" + std::string(file)).empty()) << file;
    // Neither the delta nor a failed result is left behind for the copy stage.
    for (const std::wstring& line : logTexts(run))
        EXPECT_EQ(line.find(L"._.delta"), std::wstring::npos) << narrow(line);
}

TEST(DeltaUpdate, AnEntryTriesItsDeltaOnceInARun)
{
    // gone.bin is on the server in no form at all: every pass fails it, and only
    // the first tries its delta.
    const std::wstring url = publishHandList(
        L"r2", L"donce",
        fileElement("gone.bin", "new gone.bin", deltaElement("installed gone.bin", "delta", "gone.bin.d.zst")) +
            fileElement("engine.bin", releaseFile(L"r2", L"engine.bin"), ""));
    RunSetup run = makeRun(L"DeltaOnce", url);
    installRelease(run, L"r1");
    e2e::writeBytes(run.appDir + L"gone.bin", "installed gone.bin");
    const Stages stages = stagesSeen(silentRun(run));
    EXPECT_NE(std::find(stages.begin(), stages.end(), 5), stages.end()) << runLogText(run);
    EXPECT_TRUE(logHas(run, L"Downloading error files..."));
    EXPECT_EQ(logCount(run, L"The delta of [gone.bin] is not used: it could not be fetched"), 1) << runLogText(run);
    const Requests gone = requestsFor(L"donce", "gone.bin");
    EXPECT_GT(gone.deltas, 0u);
    EXPECT_GT(nginxRequests("/pub/donce/gone.bin._.zip").size(), gone.deltas);
}

TEST(DeltaUpdate, ASignedReleaseUsesItsDeltasAndAnAlteredDeltaElementIsRefused)
{
    RunSetup run = makeRun(L"DeltaSigned", publishAs(L"r2-signed", L"dsigned"), "", keyLines());
    installRelease(run, L"r1");
    EXPECT_EQ(stagesSeen(silentRun(run)), kFullRun) << runLogText(run);
    expectInstalled(run, L"r2");
    EXPECT_TRUE(logHas(run, L"is signed by a release key (serial 7, "));
    EXPECT_EQ(logCount(run, L"was made from the installed file and the delta ["), 3);

    // One delta element changed on the way, the signature as published.
    const std::wstring url = publishAs(L"r2-signed", L"daltered");
    const std::wstring list = publishedFolder(L"daltered") + L"update.xml";
    std::string xml = e2e::readBytes(list);
    const size_t size = xml.find(" size=\"", xml.find("<delta "));
    ASSERT_NE(size, std::string::npos);
    xml.insert(size + 7, "1");
    e2e::writeBytes(list, xml);
    deleteFileForced(list + L"._.zip");
    RunSetup altered = makeRun(L"DeltaSignedAltered", url, "", keyLines());
    installRelease(altered, L"r1");
    EXPECT_EQ(stagesSeen(silentRun(altered)), (Stages{0, 1, 2, 13})) << runLogText(altered);
    EXPECT_TRUE(logHas(altered, L"does not match the release keys; the list is not used."));
    for (const char* file : {"demo.exe", "plugin.dll", "engine.bin"})
        EXPECT_TRUE(requestsFor(L"daltered", file).all.empty()) << file;
    expectInstalled(altered, L"r1");
}

TEST(DeltaUpdate, ADeltaMadeByDebiansZstdInstalls)
{
    const std::string cli = e2e::readBytes(serverStateDir() + L"data\\cli\\engine.bin.zst");
    ASSERT_FALSE(cli.empty());
    const std::wstring url =
        publishHandList(L"r2", L"dcli",
                        fileElement("engine.bin", releaseFile(L"r2", L"engine.bin"),
                                    deltaElement(releaseFile(L"r1", L"engine.bin"), cli, "deltas/engine.bin.cli.zst")));
    e2e::writeBytes(publishedFolder(L"dcli") + L"deltas\\engine.bin.cli.zst", cli);
    RunSetup run = makeRun(L"DeltaZstdCli", url);
    installRelease(run, L"r1");
    EXPECT_EQ(stagesSeen(silentRun(run)), kFullRun) << runLogText(run);
    EXPECT_EQ(e2e::readBytes(run.appDir + L"engine.bin"), releaseFile(L"r2", L"engine.bin"));
    EXPECT_EQ(requestsFor(L"dcli", "engine.bin").all.size(), 0u);
    EXPECT_FALSE(nginxRequests("/pub/dcli/deltas/engine.bin.cli.zst").empty());
    EXPECT_TRUE(logHas(run, L"The file [engine.bin] was made from the installed file and the delta ["));
}

TEST(DeltaUpdate, TheElevatedCopyInstallsAFileMadeFromADeltaAfterCheckingIt)
{
    // A target nobody may write makes the first copy hand over to a copy run as
    // administrator, which checks the signed list and every file again.
    const std::wstring protectedFile = e2e::buildDir() + L"rk-delta\\protected.txt";
    ASSERT_EQ(e2e::readBytes(protectedFile), "old") << "the fixture's file";
    const std::string engine1 = releaseFile(L"r1", L"engine.bin");
    const std::string deltaName = "engine.bin." + prefixOf(engine1) + ".zst";
    const std::string deltaBytes =
        e2e::readBytes(publishedFolder(L"r2") + std::wstring(deltaName.begin(), deltaName.end()));
    ASSERT_FALSE(deltaBytes.empty());
    const std::string help = releaseFile(L"r2", L"docs\\help.txt");
    const std::wstring url = publishAs(L"r2", L"delevated");
    const std::wstring folder = publishedFolder(L"delevated");
    deleteFileForced(folder + L"update.xml._.zip");
    writeSigned(folder + L"update.xml", "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<update serial=\"9\" "
                                        "expires=\"2099-01-01T00:00:00Z\">\r\n" +
                                            fileElement("engine.bin", releaseFile(L"r2", L"engine.bin"),
                                                        deltaElement(engine1, deltaBytes, deltaName)) +
                                            "<file path=\"protected.txt\" url=\"" +
                                            narrow(nginxUrl(L"pub/delevated/docs/help.txt")) + "\" dstname=\"" +
                                            narrow(protectedFile) + "\" ver=\"2\" sha256=\"" + sha256Hex(help) +
                                            "\" size=\"" + std::to_string(help.size()) + "\"/>\r\n</update>\r\n");
    writeSigned(folder + L"renewkit.main.xml", "<update serial=\"9\"/>");
    RunSetup run = makeRun(L"DeltaElevated", url, "", keyLines());
    installRelease(run, L"r1");
    const std::vector<HostEvent> events = silentRun(run, L"--follow");
    EXPECT_EQ(logCount(run, L"continue update as administrator"), 1) << runLogText(run);
    EXPECT_TRUE(logHas(run, L"The file [engine.bin] was made from the installed file and the delta ["));
    EXPECT_EQ(e2e::readBytes(run.appDir + L"engine.bin"), releaseFile(L"r2", L"engine.bin"));
    const Requests engine = requestsFor(L"delevated", "engine.bin");
    EXPECT_EQ(engine.deltas, engine.all.size());
    // Even as administrator the immutable file stays: the copy stage fails on it alone.
    EXPECT_EQ(e2e::readBytes(protectedFile), "old");
    const Stages stages = stagesSeen(events);
    EXPECT_NE(std::find(stages.begin(), stages.end(), 11), stages.end());
}
