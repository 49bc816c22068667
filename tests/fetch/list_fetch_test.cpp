#include "core/base64.h"
#include "core/config.h"
#include "core/host_link.h"
#include "core/path_helpers.h"
#include "download/http_session.h"
#include "download/list_fetch.h"
#include "list/list_loader.h"
#include "list/signed_list.h"
#include "list/update_list.h"
#include "platform/ecdsa.h"
#include "platform/files.h"
#include "platform/system.h"
#include "run/update_run.h"
#include "tests/download/server_env.h"
#include "tests/fetch/fetch_support.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace rk;
using namespace rk::test;

namespace {

std::string listUrlLine(const std::wstring& url) { return "[UPDATEINFO]\r\nListURL=" + narrow(url) + "\r\n"; }

std::string published(const std::wstring& release, const std::wstring& name)
{
    std::string bytes;
    readFileBytes(dataDir() + L"pub\\" + release + L"\\" + name, bytes);
    return bytes;
}

} // namespace

TEST(ListFetch, MasterListAddressIsBesideTheList)
{
    EXPECT_EQ(masterListUrl(L"http://h:8/app/update.xml"), L"http://h:8/app/renewkit.main.xml");
    EXPECT_EQ(masterListUrl(L"http://h:8/app/"), L"http://h:8/app/renewkit.main.xml");
}

TEST(ListFetch, SingleListArrivesMergedWithItsMasterList)
{
    FetchFolder folder(L"list-single", listUrlLine(publishedUrl(L"small", L"update.xml")));
    const std::wstring listFile = folder.file(L"key.xml");
    ASSERT_TRUE(startListFetch(listFile));
    ASSERT_TRUE(waitFor([] { return listFetchState() != kFetchRunning; }));
    ASSERT_EQ(listFetchState(), kFetchReady);
    EXPECT_TRUE(fileExists(listFile + L".main.xml"));
    EXPECT_NE(folder.runLog().find("download:" + narrow(publishedUrl(L"small", L"update.xml"))), std::string::npos);

    ComApartment com;
    DownLoadList list;
    ASSERT_TRUE(loadList(listFile, list, true));
    ASSERT_EQ(list.count(), 5); // description, three files, run
    EXPECT_EQ(list.entries[1].path, L"app.exe");
}

// A deployment of the list and the files alone: the master list is ours to
// publish or not, so its absence leaves the list as it is.
TEST(ListFetch, AbsentMasterListCountsAsAnEmptyOneAndAMissingListFails)
{
    FetchFolder folder(L"list-nomaster");
    const std::wstring lonely = L"lonely-" + uniqueToken();
    createFolderChain(dataDir() + lonely + L"\\x");
    ASSERT_TRUE(writeFileBytes(dataDir() + lonely + L"\\update.xml", published(L"small", L"update.xml")));
    folder.dir().write(L"renewkit.ini",
                       "[RenewKit]\r\nLog=run.log\r\n" + listUrlLine(nginxUrl(lonely + L"/update.xml")));
    const std::wstring listFile = folder.file(L"key.xml");
    folder.dir().write(L"key.xml.main.xml", "<update><file path=\"stale.dll\" ver=\"1\"/></update>");
    ASSERT_TRUE(startListFetch(listFile));
    ASSERT_TRUE(waitFor([] { return listFetchState() != kFetchRunning; }));
    EXPECT_EQ(listFetchState(), kFetchReady);
    EXPECT_EQ(occurrences(folder.runLog(),
                          "There is no master list at [" + narrow(nginxUrl(lonely + L"/renewkit.main.xml")) + "]"),
              1)
        << folder.runLog();
    EXPECT_EQ(folder.dir().read(L"key.xml"), published(L"small", L"update.xml")) << "nothing merged";
    EXPECT_FALSE(pathExists(listFile + L".main.xml")) << "a master list of an earlier run is not kept";

    FetchFolder missing(L"list-nolist", listUrlLine(nginxUrl(lonely + L"/nothere.xml")));
    ASSERT_TRUE(startListFetch(missing.file(L"key.xml")));
    ASSERT_TRUE(waitFor([] { return listFetchState() != kFetchRunning; }));
    EXPECT_EQ(listFetchState(), kFetchFailed);
}

// Only "not there" (404, 410) is an absent master list: one that is there but
// broken on its way, or not a list, fails the fetch as before.
TEST(ListFetch, MasterListThatIsThereButCannotBeFetchedOrMergedFailsTheFetch)
{
    const std::wstring bad = L"badmaster-" + uniqueToken();
    createFolderChain(dataDir() + bad + L"\\x");
    ASSERT_TRUE(writeFileBytes(dataDir() + bad + L"\\update.xml", published(L"small", L"update.xml")));
    ASSERT_TRUE(writeFileBytes(dataDir() + bad + L"\\renewkit.main.xml", "<html>not a list</html>"));
    struct Case {
        std::wstring url;
        std::int32_t state;
    };
    const Case cases[] = {
        {faultUrl(L"statusfor=renewkit.main.xml:503", L"pub/small/update.xml"), kFetchFailed},
        {faultUrl(L"statusfor=renewkit.main.xml:500", L"pub/small/update.xml"), kFetchFailed},
        {faultUrl(L"cutfor=renewkit.main.xml:7", L"pub/small/update.xml"), kFetchFailed},
        {nginxUrl(bad + L"/update.xml"), kFetchFailed},
        {faultUrl(L"statusfor=renewkit.main.xml:410", L"pub/small/update.xml"), kFetchReady},
        {faultUrl(L"statusfor=renewkit.main.xml:404", L"pub/small/update.xml"), kFetchReady},
    };
    int n = 0;
    for (const Case& c : cases) {
        FetchFolder folder(L"list-badmaster" + std::to_wstring(n++), listUrlLine(c.url));
        ASSERT_TRUE(startListFetch(folder.file(L"key.xml")));
        ASSERT_TRUE(waitFor([] { return listFetchState() != kFetchRunning; }));
        EXPECT_EQ(listFetchState(), c.state) << narrow(c.url) << "\n" << folder.runLog();
        EXPECT_EQ(folder.runLog().find("There is no master list") != std::string::npos, c.state == kFetchReady)
            << narrow(c.url) << "\n"
            << folder.runLog();
    }
}

TEST(ListFetch, ProbeDocumentGivesTheVersionAndTwoSubListAddresses)
{
    FetchFolder folder(L"list-probe", listUrlLine(publishedUrl(L"small", L"version.xml")));
    std::atomic<int> reported{-1};
    ASSERT_TRUE(startVersionProbe([&](std::int32_t s) { reported = s; }));
    ASSERT_TRUE(waitFor([] { return versionProbeState() != kFetchRunning; }));
    ASSERT_EQ(versionProbeState(), kFetchReady);
    EXPECT_EQ(DownLoadList::shared().probeVersion, L"5.2");
    EXPECT_EQ(DownLoadList::shared().probeUrls,
              (std::vector<std::wstring>{L"http://127.0.0.1/one/update.xml", L"http://127.0.0.1/two/update.xml"}));
    EXPECT_EQ(reported.load(), -1);
}

TEST(ListFetch, ProbeThatFailsReportsTheCheckError)
{
    FetchFolder folder(L"list-probe-fail", listUrlLine(faultUrl(L"status=404", L"pub/small/version.xml")));
    std::atomic<int> reported{-1};
    ASSERT_TRUE(startVersionProbe([&](std::int32_t s) { reported = s; }));
    ASSERT_TRUE(waitFor([] { return versionProbeState() != kFetchRunning; }));
    EXPECT_EQ(versionProbeState(), kFetchFailed);
    EXPECT_EQ(reported.load(), UpdateCheckRemoteError);
    EXPECT_TRUE(DownLoadList::shared().probeUrls.empty());
}

// The first and the third sub-list are held by the server until the test lets
// them go, so the second is the first to succeed whatever the thread timing.
TEST(ListFetch, SecondSubListAnsweringFirstIsChosenAndLateOnesAreIgnored)
{
    FetchFolder folder(L"list-race");
    const std::wstring key = uniqueToken();
    const std::wstring addresses[3] = {faultUrl(L"hold=" + key, L"pub/sub0/update.xml"),
                                       faultUrl(L"plain,t=" + key, L"pub/sub1/update.xml"),
                                       faultUrl(L"hold=" + key, L"pub/sub2/update.xml")};
    const std::wstring listFile = folder.file(L"key.xml");
    folder.dir().write(L"key.xml0", "stale from an earlier run");
    emptyChosenListAddress();
    setSubListOutstanding(3);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(startSubListFetch(addresses[i], i, listFile));
    ASSERT_TRUE(waitFor([] { return !chosenListAddress().empty(); }));
    EXPECT_EQ(chosenListAddress(), addresses[1]);
    EXPECT_EQ(subListOutstanding(), 2);

    std::string released;
    ASSERT_TRUE(fetchToSink(faultUrl(L"release=" + key, L""), released));
    ASSERT_TRUE(waitFor([] { return subListOutstanding() < 1; }));
    EXPECT_EQ(chosenListAddress(), addresses[1]);
    EXPECT_TRUE(folder.dir().read(L"key.xml") == published(L"sub1", L"update.xml"));
    EXPECT_FALSE(pathExists(listFile + L"0"));
    EXPECT_FALSE(pathExists(listFile + L"1"));
    EXPECT_FALSE(pathExists(listFile + L"2"));
    std::string log = folder.runLog();
    for (const auto& a : addresses)
        EXPECT_NE(log.find("download:" + narrow(a)), std::string::npos);
}

TEST(ListFetch, WithReleaseKeysOnlyASignedSubListIsChosen)
{
    FetchFolder folder(L"list-signed-race");
    P256KeyPair vendor, stranger;
    ASSERT_TRUE(generateP256KeyPair(vendor));
    ASSERT_TRUE(generateP256KeyPair(stranger));
    ReleaseKeys keys;
    keys.configured = true;
    keys.keys.push_back(vendor.publicKey);
    setReleaseKeys(keys);
    struct Restore {
        ~Restore()
        {
            setReleaseKeys(ReleaseKeys());
            clearAcceptedDocuments();
        }
    } restore;

    // The unsigned and the wrongly signed sub-lists answer first; only the signed one may be chosen.
    const std::wstring token = uniqueToken();
    const std::string list = "<update serial=\"3\" expires=\"2099-01-01\"><file path=\"a.txt\" ver=\"1\"/></update>";
    auto publish = [&](const wchar_t* name, const P256KeyPair* signer) {
        const std::wstring file = dataDir() + L"pub\\" + token + L"\\" + name + L"\\update.xml";
        createFolderChain(file);
        EXPECT_TRUE(writeFileBytes(file, list));
        if (signer) {
            EXPECT_TRUE(writeFileBytes(file + L".sig", base64Encode(signP256(*signer, sha256Of(list)))));
        }
        return L"pub/" + token + L"/" + name + L"/update.xml";
    };
    const std::wstring key = uniqueToken();
    const std::wstring addresses[3] = {faultUrl(L"plain", publish(L"unsigned", nullptr)),
                                       faultUrl(L"plain", publish(L"stranger", &stranger)),
                                       faultUrl(L"stall=300", publish(L"vendor", &vendor))};
    const std::wstring listFile = folder.file(L"key.xml");
    emptyChosenListAddress();
    clearAcceptedDocuments();
    setSubListOutstanding(3);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(startSubListFetch(addresses[i], i, listFile));
    ASSERT_TRUE(waitFor([] { return subListOutstanding() < 1; }));
    EXPECT_EQ(chosenListAddress(), addresses[2]);
    EXPECT_EQ(folder.dir().read(L"key.xml"), list);
    EXPECT_EQ(acceptedDocuments().list, list);
    EXPECT_EQ(acceptedDocuments().serial, 3);
    const std::string log = folder.runLog();
    EXPECT_NE(log.find("unsigned/update.xml] could not be fetched"), std::string::npos) << log;
    EXPECT_NE(log.find("stranger/update.xml] does not match the release keys"), std::string::npos) << log;
    EXPECT_FALSE(pathExists(listFile + L"0"));
    EXPECT_FALSE(pathExists(listFile + L"1"));
}

// The check waits TimeOut x 100 polls for the probe (none here) and then goes
// on without it; an answer that comes later must not turn into a version, a
// sub-list or a stage report in the middle of what the run does next.
TEST(VersionCheck, AProbeAnsweringAfterTheWaitEndedChangesNothing)
{
    for (const wchar_t* faults : {L"", L",status=404"}) {
        const std::wstring key = uniqueToken();
        FetchFolder folder(L"probe-late", "TimeOut=0\r\n[APPLICATION]\r\nCheckVerNumber=1\r\n" +
                                              listUrlLine(faultUrl(L"hold=" + key + faults, L"pub/small/version.xml")));
        versionAwareCheck(nullptr);
        EXPECT_EQ(DownLoadList::shared().stage(), UpdateCheckRemoteError);
        DownLoadList::shared().setStage(UpdateEnd); // the run has gone on meanwhile

        std::string released;
        ASSERT_TRUE(fetchToSink(faultUrl(L"release=" + key, L""), released));
        ASSERT_TRUE(waitFor([&] {
            return folder.runLog().find("answered after the check had stopped waiting") != std::string::npos;
        })) << folder.runLog();
        EXPECT_TRUE(DownLoadList::shared().probeVersion.empty()) << narrow(faults);
        EXPECT_TRUE(DownLoadList::shared().probeUrls.empty()) << narrow(faults);
        EXPECT_EQ(DownLoadList::shared().stage(), UpdateEnd) << narrow(faults);
    }
}

// The sub-list race with MultCheckTimeOut 0 ends before any answer: a sub-list
// that succeeds later is neither chosen nor put in place of the list file.
TEST(VersionCheck, ASubListAnsweringAfterTheWaitEndedIsNotUsed)
{
    const std::wstring key = uniqueToken();
    FetchFolder folder(L"sublist-late", "MultCheckTimeOut=0\r\n" + listUrlLine(publishedUrl(L"small", L"version.xml")));
    const std::wstring address = faultUrl(L"hold=" + key, L"pub/sub1/update.xml");
    DownLoadList::shared().probeUrls = {address};
    DownLoadList::shared().probeVersion = L"5.2";
    EXPECT_FALSE(fetchAndCompare(nullptr));
    EXPECT_NE(folder.runLog().find("error when download the list file."), std::string::npos) << folder.runLog();

    std::string released;
    ASSERT_TRUE(fetchToSink(faultUrl(L"release=" + key, L""), released));
    ASSERT_TRUE(waitFor([&] {
        return folder.runLog().find("answered after the check had stopped waiting; it is not "
                                    "used") != std::string::npos;
    })) << folder.runLog();
    EXPECT_TRUE(chosenListAddress().empty());
    const SubListRace race = subListRace();
    EXPECT_TRUE(race.chosen.empty());
    const std::wstring listFile = config::listKeyPath(L".xml");
    EXPECT_FALSE(pathExists(listFile)) << narrow(listFile);
    EXPECT_FALSE(pathExists(listFile + L"0"));
}
