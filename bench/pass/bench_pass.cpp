// The download pass as the update run drives it: loads a packed update list,
// runs runDownloadPass over every entry (the real scheduler, zipped variants
// first) and prints the time the pass took (process start-up excluded).
//   rk_pass_bench APP_DIR LIST_FILE LIST_URL DOWNLOAD_DIR
// APP_DIR holds the renewkit.ini with the pass's settings (threadcount, filethread).

#include "core/app_directory.h"
#include "list/list_loader.h"
#include "list/list_url.h"
#include "list/update_list.h"
#include "platform/system.h"
#include "run/download_stage.h"
#include "run/stage_report.h"

#include <cstdio>
#include <windows.h>

int wmain(int argc, wchar_t** argv)
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: rk_pass_bench APP_DIR LIST_FILE LIST_URL DOWNLOAD_DIR\n");
        return 2;
    }
    rk::setApplicationDirectory(argv[1]);
    rk::ComApartment com;
    rk::DownLoadList& list = rk::DownLoadList::shared();
    if (!rk::loadList(argv[2], list, true) || list.count() == 0) {
        std::fprintf(stderr, "rk_pass_bench: the list did not load\n");
        return 2;
    }
    rk::setListUrlBase(list, argv[3]);
    list.downloadDir = argv[4];
    rk::resetDownloadRun();

    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    rk::runDownloadPass(nullptr);
    ::QueryPerformanceCounter(&end);
    const double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
    std::printf("seconds %.4f files %ld done %ld stage %d\n", seconds, list.count(), rk::downloadDoneCount(),
                static_cast<int>(list.stage()));
    return list.stage() == rk::UpdateDownloadOk ? 0 : 1;
}
