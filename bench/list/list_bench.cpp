// Parses a remote and a local update list of 20,000 entries each and compares
// them under Wine: through the comparison's path index, and by a plain nested
// search of the local list for every remote entry. Prints the times, the peak
// working set and, last, the ratio of the two comparisons.

#include "core/app_directory.h"
#include "list/list_compare.h"
#include "list/list_loader.h"
#include "core/path_helpers.h"
#include "platform/files.h"
#include "platform/system.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

using namespace rk;

namespace {

constexpr int kEntries = 20000;
using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string fileLine(int i, int version)
{
    const std::string n = std::to_string(i);
    return "  <file path=\"module" + std::to_string(i % 97) + "|lib|component" + n + ".dll\" ver=\"3.1." +
           std::to_string(version) + "\" desname=\"component" + n + ".dll\" oper=\"reg\"/>\r\n";
}

// Remote: every entry in order. Local: the same paths shuffled, one in ten with
// an older version, one in twenty missing, and as many entries the remote list
// no longer has, so both lists hold kEntries entries.
void writeLists(const std::wstring& remotePath, const std::wstring& localPath)
{
    std::mt19937 random(20240501);
    std::string remote = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<update>\r\n";
    std::vector<std::string> local;
    for (int i = 0; i < kEntries; ++i) {
        remote += fileLine(i, 7);
        if (i % 20 == 3)
            local.push_back(fileLine(kEntries + i, 7));
        else
            local.push_back(fileLine(i, i % 10 == 0 ? 6 : 7));
    }
    remote += "</update>\r\n";
    std::shuffle(local.begin(), local.end(), random);
    std::string localText = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<update>\r\n";
    for (const auto& line : local)
        localText += line;
    localText += "</update>\r\n";
    writeFileBytes(remotePath, remote);
    writeFileBytes(localPath, localText);
}

// The rule as written: search the local list in order for the first entry of
// the same path.
std::vector<const updatefileinfo*> nestedSelection(const DownLoadList& remote, const DownLoadList& local)
{
    std::vector<const updatefileinfo*> selected;
    for (const auto& e : remote.entries) {
        if (e.version.empty())
            continue;
        const updatefileinfo* found = nullptr;
        for (const auto& l : local.entries) {
            if (l.path == e.path) {
                found = &l;
                break;
            }
        }
        if (!found || found->version != e.version)
            selected.push_back(&e);
    }
    return selected;
}

template <typename Body> double medianMilliseconds(int runs, Body body)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        body();
        times.push_back(millisecondsSince(start));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

double peakWorkingSetMegabytes()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters))
        return 0;
    return static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

} // namespace

int main()
{
    ComApartment com;
    const std::wstring folder = systemTempPath() + L"rk-list-bench-" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
    createFolderChain(folder);
    setApplicationDirectory(folder);
    const std::wstring remotePath = folder + L"remote.xml";
    const std::wstring localPath = folder + kLocalListName;
    writeLists(remotePath, localPath);

    DownLoadList remote;
    DownLoadList local;
    const auto parseStart = Clock::now();
    const bool parsed = loadList(remotePath, remote, true) && loadList(localPath, local, false);
    const double parseMs = millisecondsSince(parseStart);
    if (!parsed || remote.count() != kEntries || local.count() != kEntries) {
        std::printf("bench: the lists did not load (%ld remote, %ld local entries)\n", remote.count(), local.count());
        deleteTree(folder);
        return 1;
    }

    std::vector<updatefileinfo> selected;
    const double indexMs = medianMilliseconds(5, [&] { selected = selectEntries(remote, local, false); });
    std::vector<const updatefileinfo*> reference;
    const double nestedMs = medianMilliseconds(3, [&] { reference = nestedSelection(remote, local); });
    bool same = selected.size() == reference.size();
    for (size_t i = 0; same && i < selected.size(); ++i)
        same = selected[i].path == reference[i]->path;
    deleteTree(folder);

    std::printf("entries           %d remote, %d local, %zu selected\n", kEntries, kEntries, selected.size());
    std::printf("parse both lists  %9.1f ms\n", parseMs);
    std::printf("compare           index %9.1f ms   nested search %9.1f ms\n", indexMs, nestedMs);
    std::printf("parse + compare   %9.1f ms\n", parseMs + indexMs);
    std::printf("peak working set  %9.1f MB\n", peakWorkingSetMegabytes());
    if (!same) {
        std::printf("bench: the index and the nested search selected different entries\n");
        return 1;
    }
    std::printf("nested/index      %9.0fx\n", nestedMs / std::max(indexMs, 0.001));
    return 0;
}
