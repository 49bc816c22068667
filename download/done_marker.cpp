#include "download/done_marker.h"

#include "platform/codepage.h"
#include "platform/files.h"

namespace rk {
namespace {

constexpr unsigned long long kMaxRecordBytes = 4096;

std::wstring recordOf(const std::wstring& marker) { return marker + L".__ver"; }

} // namespace

bool doneMarkerIsCurrent(const std::wstring& marker, const updatefileinfo* entry)
{
    if (!entry)
        return true;
    std::string recorded;
    if (!readFileBytesLimited(recordOf(marker), recorded, kMaxRecordBytes))
        return false;
    return recorded == wideToBytes(entry->version, kCodePageUtf8);
}

void recordDoneMarker(const std::wstring& marker, const updatefileinfo* entry)
{
    if (!entry)
        return;
    // A record that cannot be written only costs a new download next time.
    writeFileBytes(recordOf(marker), wideToBytes(entry->version, kCodePageUtf8));
}

void dropDoneMarker(const std::wstring& marker)
{
    deleteFileForced(marker);
    deleteFileForced(recordOf(marker));
}

} // namespace rk
