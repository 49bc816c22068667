#pragma once
// The transfer of one byte range of a URL into an open file, with reconnects
// that resume where the data stopped. Runs on the thread that calls it.

#include "platform/stream_file.h"
#include "platform/window_messages.h"

#include <cstdint>
#include <string>

namespace rk {

// One segment, handed from the splitter to its thread, which owns it.
struct SegmentTask {
    std::wstring url;
    std::wstring partPath;
    long offset = 0; // first byte of the range
    long length = 0; // bytes of the range; 0 while unknown (single connection)
    long index = 0;
    std::int32_t downloaderId = 0;
    long fileSize = 0; // set from the response when the length was unknown
    int slot = -1;
    WindowHandle window = nullptr;
};

// True when the file ends up holding exactly the range. A failure sets the
// download's failure mark and takes back every byte this call reported. With
// length 0 the first response decides the length (and the file size); a
// response without Content-Length is then read to its end.
bool downloadSegment(SegmentTask& task, StreamFile& file);

bool downloadFailed(std::int32_t downloaderId);
void markDownloadFailed(std::int32_t downloaderId);

} // namespace rk
