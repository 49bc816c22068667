#pragma once
// The workers that bring the update list in: the single list with the master
// list beside it, the sub-lists raced against each other, and the version probe.
// Each runs on a thread of its own that nobody joins; the caller polls the
// results below, each read and written under its named lock. Starting a worker
// begins a new round: a worker of an older round that ends late changes nothing.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace rk {

// Fetch states of the single list and the probe: still running, ready, failed.
constexpr std::int32_t kFetchRunning = 0;
constexpr std::int32_t kFetchReady = 2;
constexpr std::int32_t kFetchFailed = 3;

// Waits until a list, sub-list or probe worker has ended (its state is then
// set), or for the time given; true when one ended. The driver's waits take it
// for their pause, so they end when the thing they wait for happens.
bool waitForFetchWorker(unsigned long milliseconds);

// The master list published beside the list: {listurl-base}/renewkit.main.xml.
std::wstring masterListUrl(const std::wstring& listUrl);

// Single list (lock 0xF000C). Sets the state to kFetchRunning and starts the
// worker: ListURL with its parameters expanded ("download:" logged) into
// listFile, the master list into listFile + ".main.xml", the merge; then
// kFetchReady when all three succeeded, else kFetchFailed. A master list that
// the server answers 404 or 410 (for the document and its zipped variant) is
// absent: nothing is merged, one log line says so, and the list is ready on its
// own. False when no thread could be started (the state is then kFetchFailed).
bool startListFetch(const std::wstring& listFile);
std::int32_t listFetchState();
void resetListFetchState(); // kFetchRunning, and any running worker's result is ignored
// Ends the wait: the state reached, in the same hold that ends the round, so
// a worker that finishes later changes nothing.
std::int32_t finishListFetch();

// Sub-lists (lock 0xF000B). emptyChosenListAddress() begins a round: call it,
// then setSubListOutstanding(number of addresses), then startSubListFetch for
// each address with its index i from 0. A worker deletes listFile + i, fetches
// the address (parameters expanded, "download:" logged) there, and on success,
// when no address is chosen yet, makes its expanded address the chosen one and
// its file the list file; a later success deletes its file. Every worker of the
// round lowers the outstanding count when it ends (also when it cannot start).
void emptyChosenListAddress();
void setSubListOutstanding(long count);
bool startSubListFetch(const std::wstring& address, int index, const std::wstring& listFile);
std::wstring chosenListAddress();
long subListOutstanding();
// The chosen address and the outstanding count, read in one hold: a worker
// that ends between two reads cannot make a chosen list look like none.
struct SubListRace {
    std::wstring chosen;
    long outstanding = 0;
};
SubListRace subListRace();
// Ends the wait: the chosen address, in the same hold that ends the round, so
// a worker that succeeds later neither is chosen nor replaces the list file.
std::wstring finishSubLists();

// Version probe (lock 0xF000D). Sets the state to kFetchRunning and starts the
// worker: ListURL with its parameters expanded is fetched into memory (at most
// kMaxProbeBytes); on success probeVersion and probeUrls of the shared update
// list are filled and the state becomes kFetchReady; on failure, also for a
// document cut short, reportStage(UpdateCheckRemoteError) runs on the worker's
// thread and the state becomes kFetchFailed.
constexpr std::size_t kMaxProbeBytes = 64 * 1024;
bool startVersionProbe(std::function<void(std::int32_t)> reportStage);
std::int32_t versionProbeState();
void resetVersionProbeState();
// Ends the wait: the state reached, in the same hold that ends the round. A
// stage report the worker has begun is waited for, so none comes after this;
// a worker that ends later writes nothing and says so in the run log.
std::int32_t finishVersionProbe();

} // namespace rk
