// Throughput probe of the download engine: fetches every URL of a list into a
// folder, several files at a time and each file in ranges, and prints the time
// the transfers took (process start-up excluded) and the process's peak working
// set.
//   rk_download_bench LIST OUT_DIR [THREADS_PER_FILE=8] [FILES_AT_ONCE=8]
// LIST holds one "URL<TAB>file name" per line.

#include "download/segmented_downloader.h"

#include <atomic>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>
#include <windows.h>
#include <psapi.h>

namespace {

struct Job {
    std::wstring url;
    std::wstring destination;
};

std::wstring widen(const std::string& text)
{
    return std::wstring(text.begin(), text.end()); // the list is ASCII
}

std::vector<Job> readList(const std::wstring& listPath, const std::wstring& outDir)
{
    std::vector<Job> jobs;
    std::ifstream in(listPath.c_str());
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        size_t tab = line.find('\t');
        if (tab == std::string::npos)
            continue;
        jobs.push_back({widen(line.substr(0, tab)), outDir + L"\\" + widen(line.substr(tab + 1))});
    }
    return jobs;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: rk_download_bench LIST OUT_DIR [THREADS_PER_FILE] [FILES_AT_ONCE]\n");
        return 2;
    }
    const long threadsPerFile = argc > 3 ? std::wcstol(argv[3], nullptr, 10) : 8;
    const long filesAtOnce = argc > 4 ? std::wcstol(argv[4], nullptr, 10) : 8;
    const std::vector<Job> jobs = readList(argv[1], argv[2]);
    if (jobs.empty()) {
        std::fprintf(stderr, "rk_download_bench: empty list\n");
        return 2;
    }

    std::atomic<size_t> next{0};
    std::atomic<int> failed{0};
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    std::vector<std::thread> workers;
    for (long w = 0; w < std::max(filesAtOnce, 1L); ++w) {
        workers.emplace_back([&] {
            for (size_t i = next++; i < jobs.size(); i = next++) {
                rk::SegmentedDownloader downloader;
                downloader.setThreadsPerFile(threadsPerFile);
                if (!downloader.download(jobs[i].url, jobs[i].destination, static_cast<int>(i), nullptr))
                    ++failed;
            }
        });
    }
    for (auto& t : workers)
        t.join();
    ::QueryPerformanceCounter(&end);
    const double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof(memory);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof(memory));
    std::printf("seconds %.4f files %zu failed %d peak_ws_mib %.1f\n", seconds, jobs.size(), failed.load(),
                double(memory.PeakWorkingSetSize) / (1024.0 * 1024.0));
    return failed.load() == 0 ? 0 : 1;
}
