#pragma once
// The transfer of one byte range of a URL into an open file, with reconnects
// that resume where the data stopped. Runs on the thread that calls it.

#include "platform/stream_file.h"
#include "platform/window_messages.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace rk {

// The failure mark of one download. It is stored in the counter table for every
// reader of the table, and mirrored here so that the check before each block
// needs no lock: under Wine each lock operation is a round trip to the server.
class FailureMark {
public:
    explicit FailureMark(std::int32_t downloaderId) : m_id(downloaderId) {}
    bool isSet() const { return m_set.load(std::memory_order_acquire); }
    void set();

private:
    std::int32_t m_id;
    std::atomic<bool> m_set{false};
};

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
    std::shared_ptr<FailureMark> failure; // shared by every segment of the download
};

// True when the file ends up holding exactly the range. A failure sets the
// download's failure mark and takes back every byte this call reported.
// A 206 answer must start at the position asked for and name the file size
// as its total, or the range fails. A server that sends nothing for the receive
// time-out (http_session.h, 30 s by default) ends the answer there: on a block
// boundary the range resumes on a new connection (counted as a connection
// attempt), inside a block it fails; each stall costs one time-out.
// Progress is reported in steps of kProgressStep bytes and at the end. With
// length 0 the first response decides the length (and the file size); a
// response without Content-Length is then read to its end.
bool downloadSegment(SegmentTask& task, StreamFile& file);

constexpr long kProgressStep = 64 * 1024;

} // namespace rk
