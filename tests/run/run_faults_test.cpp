// The update run against deployments and servers as users meet them: a plain
// web server without a master list, a master list that is there but broken,
// lists that name a file twice or name places outside the application folder,
// finished files left by an earlier run, zipped variants with the wrong bytes,
// the quick check on a first run, cut or oversized version documents, and list
// addresses with parameters.
#include "tests/run/run_support.h"

#include "core/name_hash.h"
#include "core/path_helpers.h"
#include "platform/files.h"
#include "platform/ecdsa.h"
#include "platform/hash.h"
#include "platform/system.h"
#include "platform/zip_io.h"
#include "tests/download/server_env.h"

#include <gtest/gtest.h>

using namespace rk;
using namespace rk::test;

namespace {

std::wstring publishedFolder(const std::wstring& name) { return serverStateDir() + L"data\\pub\\" + name + L"\\"; }

// The run log, for the message of a failed expectation.
std::string runLogText(const RunSetup& run)
{
    std::string text = "run log:\n";
    for (const std::wstring& line : logTexts(run))
        text += narrow(line) + "\n";
    return text;
}

// The temporary list folder of a list address, plus the ending.
std::wstring listKeyTempPath(const std::wstring& listUrl, const std::wstring& ending)
{
    return systemTempPath() + nameHash(listUrl + L"9999999999") + ending;
}

// A run of the list address from a clean start: nothing an earlier run of the
// same address left in the temporary folder.
RunSetup freshRun(const std::wstring& test, const std::wstring& listUrl)
{
    deleteTree(listKeyTempPath(listUrl, L""));
    for (const wchar_t* ending : {L".xml", L".xml.xml"})
        deleteFileForced(listKeyTempPath(listUrl, ending));
    return makeRun(test, listUrl);
}

// Where a release is published without the master list renewkit-pack writes.
std::wstring publishWithoutMasterList(const std::wstring& release, const std::wstring& name)
{
    const std::wstring url = publishAs(release, name);
    for (const wchar_t* file : {L"renewkit.main.xml", L"renewkit.main.xml._.zip"})
        deleteFileForced(publishedFolder(name) + file);
    return url;
}

std::string fileElement(const std::string& path, const std::wstring& url, const std::string& version,
                        const std::string& extra = "")
{
    return "<file path=\"" + path + "\" url=\"" + narrow(url) + "\" ver=\"" + version + "\"" + extra + "/>";
}

} // namespace

// The Overview's promise: the list and the files on a plain web server are a
// deployment. renewkit-pack's master list is optional.
TEST(DeploymentWithoutMasterList, APlainServerWithTheListAndTheFilesUpdates)
{
    RunSetup run = makeRun(L"NoMaster", publishWithoutMasterList(L"v2", L"nomaster"));
    installRelease(run, L"v1");
    std::vector<HostEvent> events = silentRun(run);
    EXPECT_EQ(stagesSeen(events), kFullRun) << runLogText(run);
    EXPECT_EQ(exitCodeOf(events), 4);
    expectInstalled(run, L"v2");
    EXPECT_EQ(e2e::readBytes(run.appDir + L"renewkit.xml"),
              e2e::readBytes(publishedFolder(L"nomaster") + L"update.xml"));
    EXPECT_EQ(logCount(run, L"There is no master list at ["), 1) << runLogText(run);
    EXPECT_FALSE(logHas(run, L"error when download the list file."));

    // The next check finds the installation current, again without a master list.
    std::vector<HostEvent> again = silentRun(run);
    EXPECT_EQ(stagesSeen(again), (Stages{0, 1, 3, 13})) << runLogText(run);
}

// A master list that is there but cannot be fetched is no absent one: the
// check fails and nothing is installed.
TEST(DeploymentWithoutMasterList, AMasterListThatIsThereButBrokenFailsTheCheck)
{
    publishAs(L"v2", L"brokenmaster");
    for (const wchar_t* fault : {L"statusfor=renewkit.main.xml:503", L"cutfor=renewkit.main.xml:9"}) {
        RunSetup run = makeRun(L"BrokenMaster", faultUrl(fault, L"pub/brokenmaster/update.xml"));
        installRelease(run, L"v1");
        std::vector<HostEvent> events = silentRun(run);
        EXPECT_EQ(stagesSeen(events), (Stages{0, 1, 2, 13})) << narrow(fault) << "\n" << runLogText(run);
        EXPECT_TRUE(logHas(run, L"error when download the list file.")) << narrow(fault);
        EXPECT_TRUE(logHas(run, L"renewkit.main.xml] could not be fetched")) << narrow(fault);
        EXPECT_FALSE(logHas(run, L"There is no master list")) << narrow(fault);
        expectInstalled(run, L"v1");
    }
    // 410 says the same as 404: not published.
    RunSetup gone =
        makeRun(L"GoneMaster", faultUrl(L"statusfor=renewkit.main.xml:410", L"pub/brokenmaster/update.xml"));
    installRelease(gone, L"v1");
    EXPECT_EQ(stagesSeen(silentRun(gone)), kFullRun) << runLogText(gone);
    expectInstalled(gone, L"v2");
}

// One file listed twice, spelt two ways ("\\" and "/"; the second also
// installed under another name): one download, both entries done, both
// targets installed and the list saved.
TEST(ListRun, TwoEntriesOfOnePathShareOneDownloadAndBothAreInstalled)
{
    publishAs(L"v2", L"samepath");
    const std::wstring base = nginxUrl(L"pub/samepath/");
    const std::string list = "<update>" + fileElement("docs\\help.txt", base + L"docs/help.txt", "2") +
                             fileElement("docs/help.txt", base + L"docs/help.txt", "2", " dstname=\"copy.txt\"") +
                             fileElement("docs\\new.txt", base + L"docs/new.txt", "2") + "</update>";
    RunSetup run = freshRun(L"SamePath", publishList(L"samepath", list));
    installRelease(run, L"v1");
    std::vector<HostEvent> events = silentRun(run);
    EXPECT_EQ(stagesSeen(events), kFullRun) << runLogText(run);
    EXPECT_EQ(logCount(run, L"done[docs\\help.txt]"), 1);
    EXPECT_EQ(logCount(run, L"done[docs/help.txt]"), 1);
    EXPECT_TRUE(logHas(run, L"Download completed 3/3."));
    const std::string help = releaseFile(L"v2", L"docs\\help.txt");
    EXPECT_EQ(e2e::readBytes(run.appDir + L"docs\\help.txt"), help);
    EXPECT_EQ(e2e::readBytes(run.appDir + L"docs\\copy.txt"), help);
    EXPECT_NE(e2e::readBytes(run.appDir + L"renewkit.xml").find("copy.txt"), std::string::npos) << "the list is saved";
    // Fetched once: no more requests than the other small file of the list.
    EXPECT_LE(nginxRequests("/pub/samepath/docs/help.txt").size(), nginxRequests("/pub/samepath/docs/new.txt").size());
    EXPECT_EQ(stagesSeen(silentRun(run)), (Stages{0, 1, 3, 13})) << "the next check finds it current";
}

// The zipped variant holds other bytes than the list pins down, the plain file
// the right ones: the entry ends verified, so it is done, and only the entry
// that really failed is tried again.
TEST(ListRun, AnEntryRefusedZippedButVerifiedPlainIsDone)
{
    const std::wstring folder = publishedFolder(L"refusedzip");
    createFolderChain(folder + L"a.txt");
    const std::string right = "the vendor's bytes\r\n";
    e2e::writeBytes(folder + L"a.txt", right);
    ZipWriter zip;
    ASSERT_TRUE(zip.create(folder + L"a.txt._.zip") && zip.beginEntry("a.txt", false));
    ASSERT_TRUE(zip.write("somebody else's bytes\r\n", 23) && zip.endEntry() && zip.close());
    const std::string pinned =
        " sha256=\"" + toHex(sha256Of(right)) + "\" size=\"" + std::to_string(right.size()) + "\"";
    const std::string list = "<update>" + fileElement("a.txt", nginxUrl(L"pub/refusedzip/a.txt"), "2", pinned) +
                             fileElement("b.txt", faultUrl(L"status=404", L"pub/refusedzip/b.txt"), "2") + "</update>";
    RunSetup run = freshRun(L"RefusedZip", publishList(L"refusedzip", list));
    std::vector<HostEvent> events = silentRun(run);
    EXPECT_EQ(stagesSeen(events), (Stages{0, 1, 3, 4, 5, 4, 5, 4, 5, 4, 5, 4, 5, 13})) << runLogText(run);
    EXPECT_EQ(logCount(run, L"a.txt._.zip] is refused and deleted"), 1) << runLogText(run);
    EXPECT_EQ(logCount(run, L"done[a.txt]"), 1);
    EXPECT_TRUE(logHas(run, L"Error 1 files,complete 1/2")) << runLogText(run);
    EXPECT_FALSE(logHas(run, L"Error 2 files")) << runLogText(run);
    EXPECT_EQ(logCount(run, L"Downloading error files..."), 4);
    EXPECT_FALSE(fileExists(run.appDir + L"a.txt")) << "the download failed as a whole";
}

// QuickCheck compares with the copy of the list the last full fetch kept. A
// first run has none: it fetches, and finds what there is to update.
TEST(ListRun, QuickCheckWithoutAKeptCopyFetchesTheList)
{
    const std::wstring listUrl = publishAs(L"v2", L"quickfirst");
    RunSetup run = makeRun(L"QuickFirst", listUrl, "QuickCheck=1\n");
    installRelease(run, L"v1");
    deleteFileForced(listKeyTempPath(listUrl, L".xml"));
    deleteFileForced(listKeyTempPath(listUrl, L".xml.xml"));
    EXPECT_EQ(e2e::runProgram(L"\"" + run.updater.exe + L"\" checkforupdates"), 4) << runLogText(run);
    EXPECT_FALSE(logHas(run, L"Find nothing to update.")) << runLogText(run);
    EXPECT_TRUE(logHas(run, L"No copy of the last list is kept; the list is fetched."));
    const size_t fetched = nginxRequests("/pub/quickfirst/update.xml").size();
    EXPECT_GE(fetched, 1u);

    // Now a copy is kept: the quick check uses it without a download.
    EXPECT_EQ(e2e::runProgram(L"\"" + run.updater.exe + L"\" checkforupdates"), 4) << runLogText(run);
    EXPECT_EQ(nginxRequests("/pub/quickfirst/update.xml").size(), fetched);
    expectInstalled(run, L"v1");
}

// A list path with a drive or with "..\" is downloaded inside the temporary
// list folder like any other: a failed download touches nothing it names, and
// nothing outside that folder.
TEST(ListRun, PathsWithADriveOrParentFoldersAreDownloadedInsideTheTemporaryFolder)
{
    const std::wstring installed = L"C:\\rktest\\Outside\\abs\\installed.txt";
    const std::wstring escaped = systemTempPath() + L"rk-outside-victim.txt";
    const std::wstring missing = faultUrl(L"status=404", L"pub/outside/nothere.txt");
    const std::string list = "<update>" + fileElement(narrow(installed), missing, "2") +
                             fileElement("..\\rk-outside-victim.txt", missing, "2") + "</update>";
    RunSetup run = freshRun(L"Outside", publishList(L"outside", list));
    e2e::writeBytes(installed, "installed before the run\r\n");
    e2e::writeBytes(escaped, "a file of the user's\r\n");
    std::vector<HostEvent> events = silentRun(run);
    EXPECT_EQ(stagesSeen(events), (Stages{0, 1, 3, 4, 5, 13})) << runLogText(run);
    EXPECT_EQ(e2e::readBytes(installed), "installed before the run\r\n") << "a failed download deleted it";
    EXPECT_EQ(e2e::readBytes(escaped), "a file of the user's\r\n") << "a download left the temporary list folder";
    deleteFileForced(escaped);
}

// Such an entry is still installed at its real target, by the copy stage.
TEST(ListRun, AnAbsolutePathIsInstalledAtItsTargetByTheCopyStage)
{
    publishAs(L"v2", L"absolute");
    const std::wstring target = L"C:\\rktest\\Absolute\\abs\\help.txt";
    const std::string list = "<update>" + fileElement(narrow(target), nginxUrl(L"pub/absolute/docs/help.txt"), "2") +
                             fileElement("docs\\new.txt", nginxUrl(L"pub/absolute/docs/new.txt"), "2") + "</update>";
    RunSetup run = makeRun(L"Absolute", publishList(L"absolute", list));
    e2e::writeBytes(target, "version 1\r\n");
    std::vector<HostEvent> events = silentRun(run);
    EXPECT_EQ(stagesSeen(events), kFullRun) << runLogText(run);
    EXPECT_EQ(e2e::readBytes(target), releaseFile(L"v2", L"docs\\help.txt"));
    EXPECT_EQ(e2e::readBytes(run.appDir + L"docs\\new.txt"), releaseFile(L"v2", L"docs\\new.txt"));
    EXPECT_TRUE(logHas(run, L"update file[" + target + L"]")) << runLogText(run);
}

// A run that ended in its download stage leaves its finished files; the next
// run resumes from them, but only for the version they were fetched for.
TEST(ListRun, AFinishedFileOfAnEarlierRunIsUsedOnlyForItsOwnVersion)
{
    const std::wstring folder = publishedFolder(L"resume");
    createFolderChain(folder + L"a.txt");
    e2e::writeBytes(folder + L"a.txt", "release one\r\n");
    const std::wstring a = nginxUrl(L"pub/resume/a.txt");
    const std::string failing = fileElement("b.txt", faultUrl(L"status=404", L"pub/resume/b.txt"), "1");
    const std::wstring listUrl =
        publishList(L"resume", "<update>" + fileElement("a.txt", a, "1") + failing + "</update>");
    RunSetup run = freshRun(L"Resume", listUrl);
    EXPECT_EQ(stagesSeen(silentRun(run)), (Stages{0, 1, 3, 4, 5, 4, 5, 4, 5, 4, 5, 4, 5, 13})) << runLogText(run);
    ASSERT_TRUE(fileExists(listKeyTempPath(listUrl, L"\\a.txt_"))) << "the finished file stays for the next run";

    // The same release again, its other file mended: a.txt is not fetched again.
    const size_t fetched = nginxRequests("/pub/resume/a.txt").size();
    publishList(L"resume", "<update>" + fileElement("a.txt", a, "1") + "</update>");
    EXPECT_EQ(stagesSeen(silentRun(run)), kFullRun) << runLogText(run);
    EXPECT_EQ(e2e::readBytes(run.appDir + L"a.txt"), "release one\r\n");
    EXPECT_EQ(nginxRequests("/pub/resume/a.txt").size(), fetched);

    // A new release of a.txt, after a run that stopped with the old one finished.
    const std::wstring nextUrl =
        publishList(L"resume2", "<update>" + fileElement("a.txt", a, "1") + failing + "</update>");
    RunSetup next = freshRun(L"ResumeNew", nextUrl);
    EXPECT_EQ(stagesSeen(silentRun(next)).back(), 13);
    ASSERT_TRUE(fileExists(listKeyTempPath(nextUrl, L"\\a.txt_")));
    e2e::writeBytes(folder + L"a.txt", "release two\r\n");
    publishList(L"resume2", "<update>" + fileElement("a.txt", a, "2") + "</update>");
    EXPECT_EQ(stagesSeen(silentRun(next)), kFullRun) << runLogText(next);
    EXPECT_EQ(e2e::readBytes(next.appDir + L"a.txt"), "release two\r\n")
        << "an older file was installed as the new one";
    EXPECT_NE(e2e::readBytes(next.appDir + L"renewkit.xml").find("ver=\"2\""), std::string::npos);
    EXPECT_TRUE(logHas(next, L"was made for another version of the entry; it is fetched again."));
}

// The version document is small and read whole; one cut on its way ends the
// check instead of offering a version nobody published.
TEST(ListRun, ACutOrOversizedVersionDocumentFailsTheCheck)
{
    const std::wstring folder = publishedFolder(L"probecut");
    createFolderChain(folder + L"version.xml");
    e2e::writeBytes(folder + L"version.xml", "<ver>2.0.1</ver>\r\n");
    e2e::writeBytes(folder + L"big.xml", "<ver>2.0.1</ver>\r\n" + std::string(100 * 1024, ' ') + "<url>x</url>");
    struct Case {
        const wchar_t* name;
        std::wstring url;
        const wchar_t* log;
    };
    const Case cases[] = {
        {L"Cut", faultUrl(L"cut=8", L"pub/probecut/version.xml"), L""},
        {L"CutNoLength", faultUrl(L"nolength,cut=8", L"pub/probecut/version.xml"), L"was cut short"},
        {L"Big", nginxUrl(L"pub/probecut/big.xml"), L""},
    };
    for (const Case& c : cases) {
        RunSetup run = makeRun(std::wstring(L"Probe") + c.name, c.url, "", "CheckVerNumber=1\nVer=1.0\n");
        EXPECT_EQ(e2e::runProgram(L"\"" + run.updater.exe + L"\" checkforupdates"), 0) << narrow(c.name) << "\n"
                                                                                       << runLogText(run);
        if (*c.log) {
            EXPECT_TRUE(logHas(run, c.log)) << narrow(c.name) << "\n" << runLogText(run);
        }
    }
    // The whole document still works.
    RunSetup whole =
        makeRun(L"ProbeWhole", faultUrl(L"plain", L"pub/probecut/version.xml"), "", "CheckVerNumber=1\nVer=1.0\n");
    EXPECT_EQ(e2e::runProgram(L"\"" + whole.updater.exe + L"\" checkforupdates"), 2147483647) << runLogText(whole);
}

// The files of a list whose address holds parameters come from the folder the
// list itself was fetched from, parameters filled in.
TEST(ListRun, FileAddressesUseTheListAddressWithItsParametersFilledIn)
{
    publishAs(L"v2", L"paramlist");
    RunSetup run = makeRun(L"ParamList", nginxUrl(L"pub/{param}/update.xml"), "", "", "Parameter=paramlist\n");
    installRelease(run, L"v1");
    std::vector<HostEvent> events = silentRun(run);
    EXPECT_EQ(stagesSeen(events), kFullRun) << runLogText(run);
    expectInstalled(run, L"v2");
    EXPECT_FALSE(nginxRequests("/pub/paramlist/demo.exe").empty());
}
