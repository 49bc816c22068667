#include "download/segment_transfer.h"

#include "core/process_state.h"
#include "download/counter_table.h"
#include "download/http_rules.h"
#include "download/http_session.h"
#include "download/progress_messages.h"
#include "platform/sleep.h"

#include <algorithm>

namespace rk {
namespace {

constexpr std::size_t kBlock = 1024;
// Part files gather the 1 KiB blocks into larger writes: each write is a round
// trip to the Wine server.
constexpr std::size_t kWriteBuffer = 64 * 1024;
constexpr int kZeroReadsBeforeReconnect = 4;
constexpr long long kLargestSize = 0x7FFFFFFF;

bool acceptableStatus(int status) { return status == 200 || status == 206 || status == 0; }

// Reads and drops count bytes; false when the stream ended or failed first.
bool skipBytes(const HttpRequest& request, long count)
{
    char block[kBlock];
    while (count > 0) {
        std::size_t got = 0;
        bool ok = request.read(block, std::min<std::size_t>(kBlock, static_cast<std::size_t>(count)), got);
        // Counted by what arrived, not by what was asked for: a short read must not
        // shift the range.
        count -= static_cast<long>(got);
        if (!ok || got == 0)
            return count <= 0;
    }
    return true;
}

class Transfer {
public:
    Transfer(SegmentTask& task, StreamFile& file) : m_task(task), m_file(file)
    {
        m_lengthKnown = task.length > 0;
        if (m_lengthKnown && task.end.load() <= task.offset)
            task.end.store(task.offset + task.length);
        task.done.store(task.offset);
        m_file.bufferWrites(kWriteBuffer);
    }

    bool run();

private:
    enum class Connect { Connected, Retry, Failed, EmptyBody };
    Connect connect();
    bool fail();
    bool failed() const { return m_task.failure->isSet(); }
    void progress(long bytes);
    void flushProgress();
    bool readUnknownLength();

    SegmentTask& m_task;
    StreamFile& m_file;
    HttpSession m_session;
    HttpRequest m_request;
    long remaining() const { return m_task.end.load() - (m_task.offset + m_received); }
    bool writeBlock(const char* block, long take);

    long m_received = 0;   // bytes in the file
    long m_unreported = 0; // counted but not yet added to the counters
    long m_reported = 0;   // added to the counters so far
    long m_attempts = 0;
    bool m_lengthKnown = false;
    bool m_readToEnd = false; // no Content-Length: the body ends where the stream does
};

// Each report takes the counter table's lock twice and sends two messages, so
// blocks are reported in steps rather than one by one.
void Transfer::progress(long bytes)
{
    m_unreported += bytes;
    if (m_unreported >= kProgressStep)
        flushProgress();
}

void Transfer::flushProgress()
{
    if (m_unreported != 0)
        addProgress(m_unreported, m_task.downloaderId, m_task.fileSize, m_task.slot, m_task.reportIndex, m_task.window);
    m_reported += m_unreported;
    m_unreported = 0;
}

bool Transfer::fail()
{
    m_task.failure->set();
    if (m_reported != 0)
        addProgress(-m_reported, m_task.downloaderId, m_task.fileSize, m_task.slot, m_task.reportIndex, m_task.window);
    m_received = m_unreported = m_reported = 0;
    return false;
}

// Writes and counts a block; a split that moved the end below it meanwhile takes
// the bytes past the new end back from the count (the new part counts them).
bool Transfer::writeBlock(const char* block, long take)
{
    const long before = m_task.offset + m_received;
    if (!m_file.write(block, static_cast<std::size_t>(take)))
        return false;
    m_received += take;
    m_task.done.store(before + take);
    progress(take);
    const long end = m_task.end.load();
    if (m_lengthKnown && end < before + take)
        progress(-(before + take - std::max(end, before)));
    return true;
}

Transfer::Connect Transfer::connect()
{
    const long position = m_task.offset + m_received;
    m_request = HttpRequest();
    m_session = HttpSession();
    m_session = HttpSession::openSession(nextSegmentAgent());
    if (!m_session)
        return Connect::Retry;
    m_request = m_session.openRequest(m_task.url, position);
    if (!m_request)
        return Connect::Retry;
    const int status = m_request.queryStatus();
    if (m_lengthKnown) {
        // An error page is not data of the file: writing it would fill the range
        // with the wrong bytes whenever the page is long enough.
        if (!acceptableStatus(status))
            return Connect::Retry;
        // Bytes of another position (a confused cache) or of another file (replaced
        // since the size query) would be joined as data and pass the length check.
        if (status == 206 && !http::partialAnswerFits(m_request.contentRange(), position, m_task.fileSize))
            return Connect::Failed;
        if (position > 0 && status == 200 && !skipBytes(m_request, position))
            return Connect::Retry; // the server ignored the range and the stream broke off
        return Connect::Connected;
    }
    if (status != 200 && status != 206)
        return Connect::Failed;
    if (status == 206 && !http::partialAnswerFits(m_request.contentRange(), position, 0))
        return Connect::Failed;
    const long long length = m_request.contentLength();
    if (length > kLargestSize)
        return Connect::Failed;
    m_request.checkServerMark();
    if (length < 0) {
        m_readToEnd = true;
        sendProgress(m_task.window, WM_DL_THREADS, m_task.slot, 1);
        return Connect::Connected;
    }
    m_task.fileSize = static_cast<long>(length);
    m_task.end.store(m_task.offset + m_task.fileSize);
    m_lengthKnown = true;
    sendProgress(m_task.window, WM_DL_FILESIZE, m_task.slot, m_task.fileSize);
    sendProgress(m_task.window, WM_DL_SEGSIZE, m_task.slot, m_task.fileSize);
    sendProgress(m_task.window, WM_DL_THREADS, m_task.slot, 1);
    return length == 0 ? Connect::EmptyBody : Connect::Connected;
}

bool Transfer::readUnknownLength()
{
    char block[kBlock];
    for (;;) {
        if (failed())
            return fail();
        std::size_t got = 0;
        bool ok = m_request.read(block, kBlock, got);
        if (got > 0 && !writeBlock(block, static_cast<long>(got)))
            return fail();
        // Without a length only a clean end of the stream tells the body is whole.
        if (!ok)
            return fail();
        if (got < kBlock)
            break;
    }
    m_task.fileSize = m_received;
    if (!m_file.flush() || m_file.size() != static_cast<std::uint64_t>(m_received))
        return fail();
    flushProgress();
    return true;
}

bool Transfer::run()
{
    const long limit = connectionAttempts();
    char block[kBlock];
    for (;;) {
        while (!m_request || !m_session) {
            // Two attempts with the default of 3; but a count of 1 must still
            // allow one, or no download could ever succeed.
            if (++m_attempts >= limit && m_attempts > 1)
                return fail();
            switch (connect()) {
            case Connect::Connected:
                break;
            case Connect::Retry:
                m_request = HttpRequest();
                m_session = HttpSession();
                sleepFor(10);
                break;
            case Connect::Failed:
                return fail();
            case Connect::EmptyBody:
                return true;
            }
        }
        if (m_readToEnd)
            return readUnknownLength();

        int zeroReads = 0;
        bool reconnect = false;
        long left = 0;
        while (!reconnect && (left = remaining()) > 0 && !failed()) {
            std::size_t got = 0;
            bool ok = m_request.read(block, kBlock, got);
            if (!ok && got == 0) {
                // A broken request is never read again; a new connection resumes.
                m_request = HttpRequest();
                m_session = HttpSession();
                reconnect = true;
                continue;
            }
            if (got == kBlock || static_cast<long>(got) >= left) {
                m_attempts = 0;
                if (!ok)
                    break;
                if (!writeBlock(block, std::min(static_cast<long>(got), left)))
                    return fail();
                zeroReads = 0;
            } else if (got > 0) {
                return fail(); // the stream ended inside the range
            } else if (++zeroReads >= kZeroReadsBeforeReconnect) {
                m_request = HttpRequest();
                m_session = HttpSession();
                reconnect = true;
            }
        }
        if (reconnect)
            continue;
        const long expected = m_task.end.load() - m_task.offset;
        if (expected <= 0 || !m_file.flush() || m_file.size() < static_cast<std::uint64_t>(expected))
            return fail();
        flushProgress();
        return true;
    }
}

} // namespace

void FailureMark::set()
{
    if (!m_set.exchange(true, std::memory_order_acq_rel))
        counters::set(counters::key(counters::kFailed, static_cast<std::uint32_t>(m_id)), counters::kFailMark);
}

bool downloadSegment(SegmentTask& task, StreamFile& file)
{
    Transfer transfer(task, file);
    const bool ok = transfer.run();
    task.finished.store(true);
    return ok;
}

} // namespace rk
