#include "download/list_fetch.h"

#include "core/config.h"
#include "core/host_link.h"
#include "core/language.h"
#include "core/run_log.h"
#include "download/entry_fetch.h"
#include "download/http_rules.h"
#include "download/http_session.h"
#include "download/list_verification.h"
#include "download/url_encoding.h"
#include "list/list_url.h"
#include "list/master_list.h"
#include "list/update_list.h"
#include "list/version_probe.h"
#include "platform/event.h"
#include "platform/files.h"
#include "platform/named_lock.h"
#include "platform/sleep.h"
#include "platform/system.h"
#include "platform/thread.h"
#include "platform/worker_pool.h"

#include <condition_variable>
#include <memory>
#include <mutex>

namespace rk {
namespace {

// Each group is guarded by the named lock written beside it. A round number
// lets a worker tell whether its result is still wanted.
std::int32_t g_listState = kFetchRunning;  // 0xF000C
unsigned g_listRound = 0;                  // 0xF000C
std::wstring g_chosenAddress;              // 0xF000B
long g_outstanding = 0;                    // 0xF000B
unsigned g_subListRound = 0;               // 0xF000B
std::int32_t g_probeState = kFetchRunning; // 0xF000D
unsigned g_probeRound = 0;                 // 0xF000D
bool g_probeReporting = false;             // 0xF000D: a worker is reporting its failure

// Never destroyed: a detached worker may set it while the process ends.
Event& workerEnded()
{
    static Event* ended = new Event;
    return *ended;
}

// Set when the worker's lambda returns, after every lock it took is released.
struct WakeOnEnd {
    WakeOnEnd() = default;
    ~WakeOnEnd() { workerEnded().set(); }
    WakeOnEnd(const WakeOnEnd&) = delete;
    WakeOnEnd& operator=(const WakeOnEnd&) = delete;
};

std::wstring expandedListUrl() { return expandListUrlParameters(config::read(L"UPDATEINFO", L"ListURL")); }

void setListState(unsigned round, std::int32_t state)
{
    NamedLockGuard guard(locks::kListFetchState);
    if (round == g_listRound)
        g_listState = state;
}

void setProbeState(unsigned round, std::int32_t state)
{
    NamedLockGuard guard(locks::kVersionProbeState);
    if (round == g_probeRound)
        g_probeState = state;
}

void finishSubList(unsigned round, bool fetched, const std::wstring& address, const std::wstring& file,
                   const std::wstring& listFile, const VerifiedDocument& document)
{
    bool late;
    {
        NamedLockGuard guard(locks::kSubListResult);
        late = round != g_subListRound;
        if (fetched && !late && g_chosenAddress.empty()) {
            g_chosenAddress = address;
            if (signedReleasesRequired())
                setAcceptedDocuments(
                    {document.bytes, document.signature, std::string(), std::string(), document.serial});
            robustRename(file, listFile);
        } else if (fetched) {
            deleteFileForced(file);
        }
        if (!late)
            --g_outstanding;
    }
    if (late && fetched)
        logLine(L"The sub-list [" + address + L"] answered after the check had stopped waiting; it is not used.");
}

// The server itself says the document is not published: 404 or 410, for the
// address as written or, as the downloader tries next, percent-encoded.
bool answeredNotThere(const std::wstring& url)
{
    const http::ProxySetting proxy = http::parseProxy(config::read(L"RenewKit", L"Proxy"));
    if (proxy.configured && !proxy.valid)
        return false; // the download has said so already
    HttpSession session = HttpSession::openSession(kFetchAgent);
    if (!session)
        return false;
    auto statusOf = [&session](const std::wstring& address) {
        HttpRequest request = session.openRequest(address, 0);
        return request ? request.queryStatus() : 0;
    };
    int status = statusOf(url);
    const std::wstring encoded = percentEncodeUrl(url);
    if (status != 404 && status != 410 && encoded != url)
        status = statusOf(encoded);
    return status == 404 || status == 410;
}

enum class MasterList { Present, Absent, Failed };

// The master list is ours to publish or not: a deployment of the list and the
// files alone has none, and that must not fail its checks. One that is there
// but cannot be fetched, or does not verify, fails them.
MasterList fetchMasterList(const std::wstring& url, const std::wstring& file, VerifiedDocument* document)
{
    deleteFileForced(file);
    if (downloadEntry(nullptr, -1, url, file))
        return verifyFetchedList(url, file, ListRole::MasterList, document) ? MasterList::Present : MasterList::Failed;
    if (answeredNotThere(url) && answeredNotThere(url + L"._.zip")) {
        logLine(L"There is no master list at [" + url +
                L"] (the server answered that it is not there); the list is "
                L"used without one.");
        return MasterList::Absent;
    }
    logLine(L"The master list [" + url + L"] could not be fetched; the list is not used.");
    return MasterList::Failed;
}

// The master list is fetched beside the list, not after it: from a distant
// server that saves a round trip, or the handshakes of a connection of its own.
class MasterFetch {
public:
    MasterFetch(const std::wstring& url, const std::wstring& file) : m_state(std::make_shared<State>())
    {
        std::shared_ptr<State> state = m_state;
        m_apart = runOnWorker([state, url, file] {
            // Whatever happens in the fetch, the list's worker must not wait forever.
            struct Finish {
                State& state;
                ~Finish()
                {
                    std::lock_guard<std::mutex> hold(state.lock);
                    state.ended = true;
                    state.changed.notify_all();
                }
            } finish{*state};
            ComApartment com;
            state->result = fetchMasterList(url, file, &state->document);
        });
        if (!m_apart)
            m_state->result = fetchMasterList(url, file, &m_state->document);
    }

    MasterList wait(VerifiedDocument* document)
    {
        std::unique_lock<std::mutex> hold(m_state->lock);
        if (m_apart)
            m_state->changed.wait(hold, [this] { return m_state->ended; });
        *document = std::move(m_state->document);
        return m_state->result;
    }

private:
    struct State {
        std::mutex lock;
        std::condition_variable changed;
        bool ended = false;
        MasterList result = MasterList::Failed; // also when the fetch threw
        VerifiedDocument document;
    };
    std::shared_ptr<State> m_state;
    bool m_apart = false;
};

void logLateProbe(const std::wstring& url)
{
    logLine(L"The version document [" + url +
            L"] answered after the check had stopped waiting; the answer is "
            L"ignored.");
}

} // namespace

bool waitForFetchWorker(unsigned long milliseconds) { return workerEnded().wait(milliseconds); }

std::wstring masterListUrl(const std::wstring& listUrl)
{
    return normalizeUrl(listUrlBaseOf(listUrl) + L"/renewkit.main.xml");
}

bool startListFetch(const std::wstring& listFile)
{
    unsigned round;
    {
        NamedLockGuard guard(locks::kListFetchState);
        round = ++g_listRound;
        g_listState = kFetchRunning;
    }
    bool started = startDetachedThread([round, listFile] {
        WakeOnEnd wake;
        ComApartment com;
        const std::wstring url = expandedListUrl();
        logLine(tr(L"download:") + url);
        const std::wstring masterFile = listFile + L".main.xml";
        const std::wstring masterUrl = masterListUrl(url);
        VerifiedDocument list, master;
        MasterFetch masterFetch(masterUrl, masterFile);
        bool ok =
            downloadEntry(nullptr, -1, url, listFile) && verifyFetchedList(url, listFile, ListRole::UpdateList, &list);
        const MasterList masterState = masterFetch.wait(&master);
        ok = ok && masterState != MasterList::Failed;
        if (ok && masterState == MasterList::Present)
            ok = mergeMasterList(listFile, masterFile);
        NamedLockGuard guard(locks::kListFetchState);
        if (round != g_listRound)
            return;
        if (ok && signedReleasesRequired())
            setAcceptedDocuments({list.bytes, list.signature, master.bytes, master.signature, list.serial});
        g_listState = ok ? kFetchReady : kFetchFailed;
    });
    if (!started)
        setListState(round, kFetchFailed);
    return started;
}

std::int32_t listFetchState()
{
    NamedLockGuard guard(locks::kListFetchState);
    return g_listState;
}

void resetListFetchState()
{
    NamedLockGuard guard(locks::kListFetchState);
    ++g_listRound;
    g_listState = kFetchRunning;
}

std::int32_t finishListFetch()
{
    NamedLockGuard guard(locks::kListFetchState);
    ++g_listRound;
    return g_listState;
}

void emptyChosenListAddress()
{
    NamedLockGuard guard(locks::kSubListResult);
    ++g_subListRound;
    g_chosenAddress.clear();
}

void setSubListOutstanding(long count)
{
    NamedLockGuard guard(locks::kSubListResult);
    g_outstanding = count;
}

bool startSubListFetch(const std::wstring& address, int index, const std::wstring& listFile)
{
    const std::wstring file = listFile + std::to_wstring(index);
    deleteFileForced(file);
    const std::wstring url = expandListUrlParameters(address);
    logLine(tr(L"download:") + url);
    unsigned round;
    {
        NamedLockGuard guard(locks::kSubListResult);
        round = g_subListRound;
    }
    bool started = startDetachedThread([round, url, file, listFile] {
        WakeOnEnd wake;
        bool fetched = false;
        VerifiedDocument document;
        try {
            fetched =
                downloadEntry(nullptr, -1, url, file) && verifyFetchedList(url, file, ListRole::UpdateList, &document);
        } catch (...) {
            fetched = false;
        }
        finishSubList(round, fetched, url, file, listFile, document);
    });
    if (!started)
        finishSubList(round, false, url, file, listFile, VerifiedDocument());
    return started;
}

std::wstring chosenListAddress()
{
    NamedLockGuard guard(locks::kSubListResult);
    return g_chosenAddress;
}

long subListOutstanding()
{
    NamedLockGuard guard(locks::kSubListResult);
    return g_outstanding;
}

SubListRace subListRace()
{
    NamedLockGuard guard(locks::kSubListResult);
    return {g_chosenAddress, g_outstanding};
}

std::wstring finishSubLists()
{
    NamedLockGuard guard(locks::kSubListResult);
    ++g_subListRound;
    return g_chosenAddress;
}

bool startVersionProbe(std::function<void(std::int32_t)> reportStage)
{
    unsigned round;
    {
        NamedLockGuard guard(locks::kVersionProbeState);
        round = ++g_probeRound;
        g_probeState = kFetchRunning;
    }
    bool started = startDetachedThread([round, reportStage] {
        WakeOnEnd wake;
        const std::wstring url = expandedListUrl();
        std::string body;
        bool ok = fetchToSink(url, body, kMaxProbeBytes);
        VersionProbe probe;
        if (ok) {
            probe = parseVersionProbeBytes(body);
            if (!probe.complete) {
                logLine(L"The version document [" + url +
                        L"] ends inside an element; it was cut short and is not used.");
                ok = false;
            }
        }
        bool current;
        {
            NamedLockGuard guard(locks::kVersionProbeState);
            current = round == g_probeRound;
            if (current && ok) {
                applyVersionProbe(probe, DownLoadList::shared());
                g_probeState = kFetchReady;
            }
            // The wait's end holds back until this report is made: none comes after it.
            if (current && !ok)
                g_probeReporting = true;
        }
        if (!current)
            logLateProbe(url);
        if (!current || ok)
            return;
        try {
            if (reportStage)
                reportStage(UpdateCheckRemoteError);
        } catch (...) {
            // The report is the host's business; the state below must still be set.
        }
        NamedLockGuard guard(locks::kVersionProbeState);
        g_probeReporting = false;
        if (round == g_probeRound)
            g_probeState = kFetchFailed;
    });
    if (!started)
        setProbeState(round, kFetchFailed);
    return started;
}

std::int32_t versionProbeState()
{
    NamedLockGuard guard(locks::kVersionProbeState);
    return g_probeState;
}

void resetVersionProbeState()
{
    NamedLockGuard guard(locks::kVersionProbeState);
    ++g_probeRound;
    g_probeState = kFetchRunning;
}

std::int32_t finishVersionProbe()
{
    for (;;) {
        {
            NamedLockGuard guard(locks::kVersionProbeState);
            if (!g_probeReporting) {
                ++g_probeRound;
                return g_probeState;
            }
        }
        sleepFor(1);
    }
}

} // namespace rk
