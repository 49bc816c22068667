#pragma once
// The transfer of one byte range of a URL into an open file, with reconnects
// that resume where the data stopped. Runs on the thread that calls it.

#include "download/http_session.h"
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

class RangeClaims;

// One transfer, shared by the splitter and its thread. Its range starts on a
// segment boundary (or in the middle of a split one) and may grow by whole
// segments while it runs (download/range_claims.h).
struct SegmentTask {
    std::wstring url;
    std::wstring partPath;
    long offset = 0;      // first byte of the range
    long length = 0;      // bytes of the range as first planned; 0 while unknown (single connection)
    long index = 0;       // of the part file
    long segmentSize = 0; // bytes are counted under the segment they fall in; 0: all under segment 0
    // One past the last byte of the range. It grows when the transfer takes the
    // next segment, and the splitter may lower it while the transfer runs, to
    // hand the rest to a new part; bytes read past it are not counted, and the
    // join takes only the range.
    std::atomic<long> end{0};
    std::atomic<long> done{0};         // offset + bytes written so far
    std::atomic<bool> finished{false}; // the transfer has returned
    std::int32_t downloaderId = 0;
    long fileSize = 0; // set from the response when the length was unknown
    int slot = -1;
    WindowHandle window = nullptr;
    std::shared_ptr<FailureMark> failure; // shared by every segment of the download
    RangeClaims* claims = nullptr;        // where the range may grow; null: it stays as set
};

// An answer already received for the start of a range (the size query's, whose
// body is the file from its first byte): read as the range's first connection
// instead of sending another request. Its status and range were checked.
struct ReceivedAnswer {
    HttpSession session;
    HttpRequest request;
};

// True when the file holds the range from its start: exactly, or more when the
// range was split while running. A failure sets the
// download's failure mark and takes back every byte this call reported.
// A 206 answer must start at the position asked for and name the file size
// as its total, or the range fails. A server that sends nothing for the receive
// time-out (http_session.h, 30 s by default) ends the answer there: on a block
// boundary the range resumes on a new connection (counted as a connection
// attempt), inside a block it fails; each stall costs one time-out.
// At the end of its range the transfer reads on into the next segment while
// task.claims lets it. Progress is reported in steps of kProgressStep bytes and
// at the end. With length 0 the first response decides the length (and the
// file size); a response without Content-Length is then read to its end.
bool downloadSegment(SegmentTask& task, StreamFile& file, ReceivedAnswer* first = nullptr);

constexpr long kProgressStep = 64 * 1024;

} // namespace rk
