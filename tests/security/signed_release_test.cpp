// Signed releases end to end: a stamped updater with release keys in its
// embedded configuration updates from releases packed and signed by the real
// renewkit-pack (and one signed with OpenSSL) on nginx, and refuses what a man
// in the middle (the fault server in nginx's place) or an old mirror serves.
#include "tests/run/run_support.h"

#include "core/name_hash.h"
#include "core/path_helpers.h"
#include "platform/ecdsa.h"
#include "platform/files.h"
#include "platform/hash.h"
#include "platform/system.h"
#include "tests/download/server_env.h"
#include "tools/pack/signing.h"

#include <gtest/gtest.h>

using namespace rk;
using namespace rk::test;

namespace {

std::string keyLines(const std::wstring& name)
{
    return "\n" + e2e::readBytes(serverStateDir() + L"keys\\" + name + L".pub");
}

std::string publicKeyOf(const std::wstring& name)
{
    const std::string text = keyLines(name);
    const size_t at = text.find("PublicKey=") + 10;
    return text.substr(at, text.find_first_of("\r\n", at) - at);
}

RunSetup signedRun(const std::wstring& test, const std::wstring& listUrl, const std::string& securityLines)
{
    return makeRun(test, listUrl, "", securityLines);
}

std::wstring publishedFolder(const std::wstring& name) { return serverStateDir() + L"data\\pub\\" + name + L"\\"; }

// Signs a document with one of the fixture's keys and writes it and its signature.
void writeSigned(const std::wstring& path, const std::string& document, const std::wstring& keyName)
{
    pack::SigningKey key;
    ASSERT_EQ(pack::loadSigningKey(serverStateDir() + L"keys\\" + keyName + L".key", key), L"");
    createFolderChain(path);
    e2e::writeBytes(path, document);
    e2e::writeBytes(path + L".sig", pack::signatureFileText(key, document));
}

std::string replaceAttribute(std::string xml, const std::string& name, const std::string& value)
{
    const size_t at = xml.find(" " + name + "=\"");
    EXPECT_NE(at, std::string::npos) << name;
    const size_t start = at + name.size() + 3;
    return xml.replace(start, xml.find('"', start) - start, value);
}

// The run log, for the message of a failed expectation: it says which step went wrong.
std::string runLogText(const RunSetup& run)
{
    std::string text = "run log:\n";
    for (const std::wstring& line : logTexts(run))
        text += narrow(line) + "\n";
    return text;
}

std::string sha256Hex(const std::string& bytes) { return toHex(sha256Of(bytes)); }

// A file element for a source file of version 2, with its digest and size.
std::string fileEntry(const std::string& path, const std::string& base, const std::wstring& source,
                      const std::string& extra)
{
    const std::string bytes = releaseFile(L"v2", source);
    std::string url = narrow(source);
    std::replace(url.begin(), url.end(), '\\', '/');
    return "  <file path=\"" + path + "\" url=\"" + base + url + "\" ver=\"2\" sha256=\"" + sha256Hex(bytes) +
           "\" size=\"" + std::to_string(bytes.size()) + "\"" + extra + "/>\r\n";
}

// The temporary folder's path for the list key of the address, plus the ending.
std::wstring listKeyTempPath(const std::wstring& listUrl, const std::wstring& ending)
{
    return systemTempPath() + nameHash(listUrl + L"9999999999") + ending;
}

// What a refused list leaves: stage 2, nothing fetched but the documents, the
// installation as it was.
void expectRefused(const RunSetup& run, const std::vector<HostEvent>& events, const std::string& folder,
                   const std::wstring& logWords)
{
    EXPECT_EQ(stagesSeen(events), (Stages{0, 1, 2, 13}));
    EXPECT_TRUE(logHas(run, logWords)) << narrow(logWords);
    for (const char* file : {"demo.exe", "plugin.dll", "docs/help.txt", "docs/new.txt"}) {
        EXPECT_TRUE(nginxRequests("/pub/" + folder + "/" + file).empty()) << file;
        EXPECT_TRUE(loggedRequests("/pub/" + folder + "/" + file).empty()) << file;
    }
    expectInstalled(run, L"v1");
    EXPECT_FALSE(fileExists(run.appDir + L"renewkit.xml.serial"));
}

} // namespace

TEST(SignedRelease, UpdatesAsBeforeRecordsItsSerialAndKeepsTheVerifiedList)
{
    RunSetup run = signedRun(L"SignedGood", publishAs(L"v2-a", L"sgood"), keyLines(L"a"));
    installRelease(run, L"v1");
    std::vector<HostEvent> events = silentRun(run);
    EXPECT_EQ(stagesSeen(events), kFullRun) << runLogText(run);
    expectInstalled(run, L"v2");
    EXPECT_TRUE(logHas(run, L"is signed by a release key (serial 5, expires "));
    EXPECT_FALSE(logHas(run, L"The list is not signed"));
    EXPECT_EQ(e2e::readBytes(run.appDir + L"renewkit.xml.serial"), "5\r\n");
    const std::string local = e2e::readBytes(run.appDir + L"renewkit.xml");
    EXPECT_NE(local.find("serial=\"5\""), std::string::npos);
    EXPECT_NE(local.find("docs\\new.txt"), std::string::npos);
    EXPECT_FALSE(nginxRequests("/pub/sgood/update.xml.sig").empty());
    EXPECT_FALSE(nginxRequests("/pub/sgood/renewkit.main.xml.sig").empty());

    // The next check finds it current.
    std::vector<HostEvent> again = silentRun(run);
    EXPECT_EQ(stagesSeen(again), (Stages{0, 1, 3, 13}));
}

TEST(SignedRelease, ChangedByteMissingSignatureOtherKeyAndChangedMasterListAreRefused)
{
    publishAs(L"v2-a", L"sbyte");
    RunSetup byte =
        signedRun(L"SignedByte", faultUrl(L"flipfile=update.xml:120", L"pub/sbyte/update.xml"), keyLines(L"a"));
    installRelease(byte, L"v1");
    expectRefused(byte, silentRun(byte), "sbyte", L"does not match the release keys; the list is not used.");

    publishAs(L"v2-a", L"smaster");
    RunSetup master = signedRun(L"SignedMaster", faultUrl(L"flipfile=renewkit.main.xml:50", L"pub/smaster/update.xml"),
                                keyLines(L"a"));
    installRelease(master, L"v1");
    expectRefused(master, silentRun(master), "smaster", L"renewkit.main.xml] does not match the release keys");

    publishAs(L"v2-a", L"snosig");
    ASSERT_TRUE(deleteFileForced(publishedFolder(L"snosig") + L"update.xml.sig"));
    RunSetup missing = signedRun(L"SignedNoSig", releaseListUrl(L"snosig"), keyLines(L"a"));
    installRelease(missing, L"v1");
    expectRefused(missing, silentRun(missing), "snosig", L"could not be fetched");

    RunSetup other = signedRun(L"SignedOtherKey", publishAs(L"v2-b", L"sother"), keyLines(L"a"));
    installRelease(other, L"v1");
    expectRefused(other, silentRun(other), "sother", L"does not match the release keys");

    // The same list unsigned, served by a man in the middle who drops the signature.
    publishAs(L"v2-a", L"sdropped");
    RunSetup dropped = signedRun(L"SignedDropped", faultUrl(L"nosig", L"pub/sdropped/update.xml"), keyLines(L"a"));
    installRelease(dropped, L"v1");
    expectRefused(dropped, silentRun(dropped), "sdropped", L"could not be fetched");
}

// A signed list published without a master list (the list and the files
// alone): nothing to verify or merge, the update goes on. One that is there
// must still verify (the case above).
TEST(SignedRelease, AbsentMasterListIsFineAndThePresentOneMustVerify)
{
    publishAs(L"v2-a", L"snomaster");
    for (const wchar_t* name : {L"renewkit.main.xml", L"renewkit.main.xml._.zip", L"renewkit.main.xml.sig"})
        deleteFileForced(publishedFolder(L"snomaster") + name);
    RunSetup run = signedRun(L"SignedNoMaster", releaseListUrl(L"snomaster"), keyLines(L"a"));
    installRelease(run, L"v1");
    std::vector<HostEvent> events = silentRun(run);
    EXPECT_EQ(stagesSeen(events), kFullRun) << runLogText(run);
    expectInstalled(run, L"v2");
    EXPECT_EQ(logCount(run, L"There is no master list at ["), 1) << runLogText(run);
    EXPECT_TRUE(logHas(run, L"is signed by a release key (serial 5, expires "));
    EXPECT_TRUE(nginxRequests("/pub/snomaster/renewkit.main.xml.sig").empty()) << "nothing to verify";
    EXPECT_NE(e2e::readBytes(run.appDir + L"renewkit.xml").find("docs\\new.txt"), std::string::npos);

    // A master list that is there but unsigned is refused as before.
    publishAs(L"v2-a", L"sunsignedmaster");
    const std::wstring folder = publishedFolder(L"sunsignedmaster");
    deleteFileForced(folder + L"renewkit.main.xml._.zip");
    e2e::writeBytes(folder + L"renewkit.main.xml", "<update serial=\"5\"><file path=\"x.dll\" ver=\"1\"/></update>");
    RunSetup unsignedMaster = signedRun(L"SignedUnsignedMaster", releaseListUrl(L"sunsignedmaster"), keyLines(L"a"));
    installRelease(unsignedMaster, L"v1");
    expectRefused(unsignedMaster, silentRun(unsignedMaster), "sunsignedmaster", L"does not match the release keys");
}

TEST(SignedRelease, AnOlderSerialIsRefusedAsARollback)
{
    const std::wstring listUrl = publishAs(L"v2-a", L"sroll");
    RunSetup run = signedRun(L"SignedRollback", listUrl, keyLines(L"a"));
    installRelease(run, L"v1");
    EXPECT_EQ(stagesSeen(silentRun(run)), kFullRun) << runLogText(run);
    ASSERT_EQ(e2e::readBytes(run.appDir + L"renewkit.xml.serial"), "5\r\n");

    // The mirror now serves version 1, validly signed long ago with serial 4.
    publishAs(L"v1-a4", L"sroll");
    const size_t fetchedBefore = nginxRequests("/pub/sroll/demo.exe").size();
    std::vector<HostEvent> events = silentRun(run);
    EXPECT_EQ(stagesSeen(events), (Stages{0, 1, 2, 13}));
    EXPECT_TRUE(logHas(run, L"is refused as a rollback: its serial 4 is below the installed serial 5."));
    EXPECT_EQ(nginxRequests("/pub/sroll/demo.exe").size(), fetchedBefore);
    expectInstalled(run, L"v2");
    EXPECT_EQ(e2e::readBytes(run.appDir + L"renewkit.xml.serial"), "5\r\n");
}

TEST(SignedRelease, ASecondKeyVerifiesForARolloverAndOpenSslSignaturesVerify)
{
    RunSetup rollover = signedRun(L"SignedRollover", publishAs(L"v2-b", L"srollover"),
                                  keyLines(L"a") + "PublicKey2=" + publicKeyOf(L"b"));
    installRelease(rollover, L"v1");
    EXPECT_EQ(stagesSeen(silentRun(rollover)), kFullRun) << runLogText(rollover);
    expectInstalled(rollover, L"v2");

    RunSetup openssl = signedRun(L"SignedOpenSsl", publishAs(L"v2-openssl", L"sopenssl"), keyLines(L"openssl"));
    installRelease(openssl, L"v1");
    EXPECT_EQ(stagesSeen(silentRun(openssl)), kFullRun) << runLogText(openssl);
    expectInstalled(openssl, L"v2");
    EXPECT_TRUE(logHas(openssl, L"is signed by a release key (serial 3, "));
}

TEST(SignedRelease, AnExpiredListIsRefusedAsFrozenAFutureExpiryIsAccepted)
{
    const std::string packed = e2e::readBytes(publishedFolder(L"v2-a") + L"update.xml");

    publishAs(L"v2-a", L"sexpired");
    writeSigned(publishedFolder(L"sexpired") + L"update.xml",
                replaceAttribute(packed, "expires", "2020-01-01T00:00:00Z"), L"a");
    RunSetup expired = signedRun(L"SignedExpired", releaseListUrl(L"sexpired"), keyLines(L"a"));
    installRelease(expired, L"v1");
    expectRefused(expired, silentRun(expired), "sexpired", L"is refused as frozen: it expired at 2020-01-01T00:00:00Z");

    publishAs(L"v2-a", L"sfuture");
    writeSigned(publishedFolder(L"sfuture") + L"update.xml", replaceAttribute(packed, "expires", "2099-12-31"), L"a");
    RunSetup future = signedRun(L"SignedFuture", releaseListUrl(L"sfuture"), keyLines(L"a"));
    installRelease(future, L"v1");
    EXPECT_EQ(stagesSeen(silentRun(future)), kFullRun) << runLogText(future);
    expectInstalled(future, L"v2");
}

TEST(SignedRelease, AFileSwappedOnTheWayIsNotInstalledTheOthersAre)
{
    publishAs(L"v2-a", L"sswap");
    RunSetup run = signedRun(L"SignedSwap", faultUrl(L"flipfile=help.txt:3", L"pub/sswap/update.xml"), keyLines(L"a"));
    installRelease(run, L"v1");
    const std::string localBefore = e2e::readBytes(run.appDir + L"renewkit.xml");
    std::vector<HostEvent> events = silentRun(run);
    const Stages stages = stagesSeen(events);
    EXPECT_NE(std::find(stages.begin(), stages.end(), 11), stages.end()) << "the copy stage must fail";
    EXPECT_EQ(std::find(stages.begin(), stages.end(), 12), stages.end());

    // The zipped variant (a valid archive of the wrong bytes) and the plain file were both refused.
    EXPECT_EQ(logCount(run, L"help.txt._.zip] is refused and deleted: its SHA-256 "), 1);
    EXPECT_EQ(logCount(run, L"help.txt] is refused and deleted: its SHA-256 "), 1);
    EXPECT_TRUE(logHas(run, L"Error 1 files,complete 3/4"));
    EXPECT_EQ(e2e::readBytes(run.appDir + L"docs\\help.txt"), releaseFile(L"v1", L"docs\\help.txt"));
    for (const wchar_t* file : {L"demo.exe", L"plugin.dll", L"docs\\new.txt"})
        EXPECT_EQ(e2e::readBytes(run.appDir + file), releaseFile(L"v2", file)) << narrow(file);
    // The local list is kept, so the next check offers the file again.
    EXPECT_EQ(e2e::readBytes(run.appDir + L"renewkit.xml"), localBefore);
    EXPECT_FALSE(fileExists(run.appDir + L"renewkit.xml.serial"));
}

TEST(SignedRelease, WithoutAKeyTheLogSaysOnceThatTheListIsNotSigned)
{
    RunSetup run = makeRun(L"Unsigned", publishAs(L"v2", L"sunsigned"));
    installRelease(run, L"v1");
    EXPECT_EQ(stagesSeen(silentRun(run)), kFullRun) << runLogText(run);
    expectInstalled(run, L"v2");
    EXPECT_EQ(logCount(run, L"The list is not signed"), 1);
    // A signed release needs no key to be installed as before.
    RunSetup signedWithoutKey = makeRun(L"UnsignedSigned", publishAs(L"v2-a", L"sunkeyed"));
    installRelease(signedWithoutKey, L"v1");
    EXPECT_EQ(stagesSeen(silentRun(signedWithoutKey)), kFullRun) << runLogText(signedWithoutKey);
    expectInstalled(signedWithoutKey, L"v2");
}

TEST(SignedRelease, TheElevatedCopyInstallsNothingSwappedInTheTemporaryFolder)
{
    // A target nobody may write makes the first copy hand over to a copy run
    // as administrator; between the two, a program of the user swaps a
    // downloaded file in the temporary folder.
    const std::wstring protectedFile = e2e::buildDir() + L"rk-security\\protected.txt";
    ASSERT_EQ(e2e::readBytes(protectedFile), "old") << "the fixture's file";
    publishAs(L"v2", L"selevated");
    const std::string base = narrow(nginxUrl(L"pub/selevated/"));
    const std::string list =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<update serial=\"9\" "
        "expires=\"2099-01-01T00:00:00Z\">\r\n" +
        fileEntry("docs\\help.txt", base, L"docs\\help.txt", "") +
        fileEntry("docs\\new.txt", base, L"docs\\new.txt", "") + fileEntry("plugin.dll", base, L"plugin.dll", "") +
        fileEntry("protected.txt", base, L"data\\settings.ini", " dstname=\"" + narrow(protectedFile) + "\"") +
        "</update>\r\n";
    const std::wstring folder = publishedFolder(L"selevated");
    writeSigned(folder + L"update.xml", list, L"a");
    writeSigned(folder + L"renewkit.main.xml", "<update serial=\"9\"/>", L"a");
    const std::wstring listUrl = releaseListUrl(L"selevated");
    RunSetup run = signedRun(L"SignedElevated", listUrl, keyLines(L"a"));
    installRelease(run, L"v1");

    const std::wstring evil = run.updater.folder + L"evil.txt";
    e2e::writeBytes(evil, "not what the vendor signed\r\n");
    const std::wstring downloaded = listKeyTempPath(listUrl, L"\\docs\\help.txt_");
    std::vector<HostEvent> events =
        silentRun(run, L"--follow --copy-at-stage 8 \"" + evil + L"\" \"" + downloaded + L"\"");
    bool copied = false;
    std::wstring notes;
    for (const HostEvent& e : events) {
        if (e.has("note"))
            notes += e.text("note") + L"\n";
        copied = copied || (e.has("note") && e.text("note") == L"copied at stage 8: yes");
    }
    ASSERT_TRUE(copied) << "the swap did not happen; host notes:\n"
                        << narrow(notes) << "stages: " << ::testing::PrintToString(stagesSeen(events)) << "\n"
                        << runLogText(run);
    EXPECT_EQ(logCount(run, L"continue update as administrator"), 1);
    EXPECT_TRUE(logHas(run, L"is signed by a release key (serial 9, "));

    // The elevated copy verified the list again and checked each file where it installs it.
    EXPECT_TRUE(logHas(run, L"help.txt] is not installed to ["));
    EXPECT_EQ(e2e::readBytes(run.appDir + L"docs\\help.txt"), releaseFile(L"v1", L"docs\\help.txt"));
    EXPECT_EQ(e2e::readBytes(run.appDir + L"docs\\new.txt"), releaseFile(L"v2", L"docs\\new.txt"));
    EXPECT_EQ(e2e::readBytes(run.appDir + L"plugin.dll"), releaseFile(L"v2", L"plugin.dll"));
    EXPECT_EQ(e2e::readBytes(protectedFile), "old");
    const Stages stages = stagesSeen(events);
    EXPECT_NE(std::find(stages.begin(), stages.end(), 11), stages.end());
    EXPECT_FALSE(fileExists(listKeyTempPath(listUrl, L".lst.signed")));
}

TEST(SignedRelease, TheElevatedCopyRefusesAHandOverWhoseSignedListWasChanged)
{
    const std::wstring protectedFile = e2e::buildDir() + L"rk-security\\protected.txt";
    publishAs(L"v2-a", L"shandover");
    const std::wstring folder = publishedFolder(L"shandover");
    // The release with one more entry whose target nobody may write.
    std::string list = e2e::readBytes(folder + L"update.xml");
    list.insert(list.find("</update>"), fileEntry("protected.txt", narrow(nginxUrl(L"pub/shandover/")),
                                                  L"data\\settings.ini", " dstname=\"" + narrow(protectedFile) + "\""));
    writeSigned(folder + L"update.xml", list, L"a");
    const std::wstring listUrl = releaseListUrl(L"shandover");
    RunSetup run = signedRun(L"SignedHandOver", listUrl, keyLines(L"a"));
    installRelease(run, L"v1");

    // The signed documents beside the hand-over are replaced by a program of the
    // user after the first copy wrote them, as the elevated copy starts (its stage 0).
    const std::wstring evil = run.updater.folder + L"evil.signed";
    e2e::writeBytes(evil, "renewkit-signed-documents 1\n");
    const std::wstring signedHandOver = listKeyTempPath(listUrl, L".lst.signed");
    std::vector<HostEvent> events =
        silentRun(run, L"--follow --copy-at-stage 0#2 \"" + evil + L"\" \"" + signedHandOver + L"\"");
    EXPECT_TRUE(logHas(run, L"No signed list was handed over to the copy run as administrator."));
    EXPECT_TRUE(logHas(run, L"is not verified; the update starts from the check."));
    // Starting from the check, the elevated copy fetched and verified the list itself.
    EXPECT_EQ(logCount(run, L"try to download the list file..."), 2);
    EXPECT_EQ(e2e::readBytes(protectedFile), "old");
}

TEST(SignedRelease, HttpsWithATrustedCertificateUpdatesAndAWrongHostNameIsRefused)
{
    publishAs(L"v2-a", L"stls");
    const std::wstring port = std::to_wstring(serverPort(L"nginx_tls"));
    ASSERT_NE(port, L"0");
    RunSetup run = signedRun(L"SignedHttps", L"https://localhost:" + port + L"/pub/stls/update.xml", keyLines(L"a"));
    installRelease(run, L"v1");
    EXPECT_EQ(stagesSeen(silentRun(run)), kFullRun) << runLogText(run);
    expectInstalled(run, L"v2");
    EXPECT_FALSE(nginxRequests("/pub/stls/demo.exe").empty());

    // The certificate names "localhost" only: the same server under its address is refused.
    publishAs(L"v2-a", L"stlshost");
    RunSetup wrong =
        signedRun(L"SignedHttpsHost", L"https://127.0.0.1:" + port + L"/pub/stlshost/update.xml", keyLines(L"a"));
    installRelease(wrong, L"v1");
    std::vector<HostEvent> events = silentRun(wrong);
    EXPECT_EQ(stagesSeen(events), (Stages{0, 1, 2, 13}));
    EXPECT_TRUE(logHas(wrong, L"The certificate of https://127.0.0.1:" + port + L"/ was refused"));
    EXPECT_TRUE(nginxRequests("/pub/stlshost/").empty()) << "a request got through";
    expectInstalled(wrong, L"v1");
}
