#include "ui/progress_percent.h"

#include "core/host_link.h"

#include <cwchar>

namespace rk {

int progressPercent(int status, long done, long total)
{
    switch (status) {
    case UpdateCheckRemote:
    case UpdateCheckRemoteOk:
        return 10;
    case UpdateDownload: {
        // Before the first progress message there is no total to divide by.
        if (total <= 0 || done <= 0)
            return 10;
        if (done >= total)
            return 70;
        return 10 + static_cast<int>(60LL * done / total);
    }
    case UpdateDownloadOk:
        return 70;
    case UpdateCheckLocal:
    case UpdateCheckLocalOk:
        return 80;
    case UpdateCopy:
        return 95;
    case UpdateCopyOk:
        return 99;
    case UpdateEnd:
        return 100;
    default:
        return 0;
    }
}

std::wstring percentLabel(int percent)
{
    wchar_t text[48];
    std::swprintf(text, 48, L"%2d%%                                ", percent);
    return text;
}

bool isFailedStage(int status)
{
    return status == UpdateCheckRemoteError || status == UpdateDownloadError || status == UpdateCheckLocalError ||
           status == UpdateCopyError;
}

} // namespace rk
