// Probe of file deltas under Wine, one command per process so that each
// apply's memory is its own:
//   rk_delta_bench make BASE TARGET DELTA
//       makes the delta (renewkit-pack's way); prints seconds and bytes.
//   rk_delta_bench apply BASE DELTA OUTPUT SIZE
//       applies it as the updater does, then checks the result's SHA-256;
//       prints the seconds of each, how far the working set rose above what
//       it was before the apply, and the process's peak working set.
//   rk_delta_bench update APP_DIR LIST_FILE LIST_URL DOWNLOAD_DIR
//       selects what the list changes against APP_DIR\renewkit.xml and runs
//       the real download pass over it (deltas from the files in APP_DIR).

#include "core/app_directory.h"
#include "install/file_delta.h"
#include "install/file_digest.h"
#include "list/list_compare.h"
#include "list/list_loader.h"
#include "list/list_url.h"
#include "list/update_list.h"
#include "platform/system.h"
#include "run/download_stage.h"
#include "run/stage_report.h"

#include <cstdio>
#include <string>
#include <windows.h>
#include <psapi.h>

namespace {

double seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to)
{
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

LARGE_INTEGER now()
{
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return t;
}

PROCESS_MEMORY_COUNTERS memory()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters));
    return counters;
}

double mib(double bytes) { return bytes / (1024.0 * 1024.0); }

int fail(const std::wstring& what)
{
    std::fwprintf(stderr, L"rk_delta_bench: %ls\n", what.c_str());
    return 1;
}

int make(wchar_t** argv)
{
    const LARGE_INTEGER start = now();
    const std::wstring problem = rk::makeDelta(argv[2], argv[3], argv[4]);
    const LARGE_INTEGER end = now();
    if (!problem.empty())
        return fail(problem);
    std::printf("make_seconds %.4f\n", seconds(start, end));
    return 0;
}

int apply(wchar_t** argv)
{
    const unsigned long long size = std::wcstoull(argv[5], nullptr, 10);
    const PROCESS_MEMORY_COUNTERS before = memory();
    const LARGE_INTEGER start = now();
    const std::wstring problem = rk::applyDelta(argv[2], argv[3], argv[4], size);
    const LARGE_INTEGER applied = now();
    const std::wstring digest = rk::fileSha256(argv[4]);
    const LARGE_INTEGER checked = now();
    const PROCESS_MEMORY_COUNTERS after = memory();
    if (!problem.empty())
        return fail(problem);
    std::printf("apply_seconds %.4f verify_seconds %.4f apply_ws_mib %.1f peak_ws_mib %.1f sha256 %ls\n",
                seconds(start, applied), seconds(applied, checked),
                mib(double(after.PeakWorkingSetSize) - double(before.WorkingSetSize)),
                mib(double(after.PeakWorkingSetSize)), digest.c_str());
    return 0;
}

int update(wchar_t** argv)
{
    rk::setApplicationDirectory(argv[2]);
    rk::ComApartment com;
    rk::DownLoadList remote;
    rk::DownLoadList local;
    if (!rk::loadList(argv[3], remote, true))
        return fail(L"the list did not load");
    rk::loadList(std::wstring(argv[2]) + rk::kLocalListName, local, false);
    rk::DownLoadList& list = rk::DownLoadList::shared();
    list.addEntries(rk::selectEntries(remote, local, false));
    list.fileUrlTemplate = remote.fileUrlTemplate;
    rk::setListUrlBase(list, argv[4]);
    list.downloadDir = argv[5];
    rk::resetDownloadRun();
    const LARGE_INTEGER start = now();
    rk::runDownloadPass(nullptr);
    const LARGE_INTEGER end = now();
    std::printf("pass_seconds %.4f files %ld done %ld\n", seconds(start, end), list.count(), rk::downloadDoneCount());
    return list.stage() == rk::UpdateDownloadOk ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"make" && argc == 5)
        return make(argv);
    if (command == L"apply" && argc == 6)
        return apply(argv);
    if (command == L"update" && argc == 6)
        return update(argv);
    std::fprintf(stderr, "usage: rk_delta_bench make BASE TARGET DELTA | apply BASE DELTA OUTPUT SIZE |"
                         " update APP_DIR LIST_FILE LIST_URL DOWNLOAD_DIR\n");
    return 2;
}
