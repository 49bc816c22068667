#include "download/segment_transfer.h"

#include "core/process_state.h"
#include "download/counter_table.h"
#include "download/http_rules.h"
#include "download/http_session.h"
#include "download/progress_messages.h"
#include "download/range_claims.h"
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
        m_reportedTo = task.offset;
        m_file.bufferWrites(kWriteBuffer);
    }

    bool run(ReceivedAnswer* first);

private:
    enum class Connect { Connected, Retry, Failed, EmptyBody };
    Connect connect();
    bool fail();
    bool failed() const { return m_task.failure->isSet(); }
    long countedTo() const; // bytes of the range from its start that count
    void progress();
    void flushProgress();
    void reportSpan(long from, long to, long sign);
    bool readUnknownLength();
    bool takeNextSegment();
    void dropConnection()
    {
        m_request = HttpRequest();
        m_session = HttpSession();
    }

    SegmentTask& m_task;
    StreamFile& m_file;
    HttpSession m_session;
    HttpRequest m_request;
    long remaining() const { return m_task.end.load() - (m_task.offset + m_received); }
    bool writeBlock(const char* block, long take);

    long m_received = 0;   // bytes in the file
    long m_reportedTo = 0; // position up to which the counters hold this range's bytes
    long m_attempts = 0;
    bool m_lengthKnown = false;
    bool m_readToEnd = false; // no Content-Length: the body ends where the stream does
};

long Transfer::countedTo() const
{
    const long position = m_task.offset + m_received;
    return m_lengthKnown ? std::min(position, m_task.end.load()) : position;
}

// Adds (sign 1) or takes back (-1) the bytes [from, to) under the segments they fall in.
void Transfer::reportSpan(long from, long to, long sign)
{
    const long size = m_task.segmentSize;
    while (from < to) {
        const long index = size > 0 ? from / size : 0;
        const long limit = size > 0 ? std::min(to, (index + 1) * size) : to;
        addProgress(sign * (limit - from), m_task.downloaderId, m_task.fileSize, m_task.slot, index, m_task.window);
        from = limit;
    }
}

// Each report takes the counter table's lock twice and sends two messages, so
// blocks are reported in steps rather than one by one.
void Transfer::progress()
{
    const long to = countedTo();
    if (to - m_reportedTo >= kProgressStep || to < m_reportedTo)
        flushProgress();
}

// A split that moved the end below what was counted takes those bytes back (the
// new part counts them).
void Transfer::flushProgress()
{
    const long to = countedTo();
    if (to > m_reportedTo)
        reportSpan(m_reportedTo, to, 1);
    else if (to < m_reportedTo)
        reportSpan(to, m_reportedTo, -1);
    m_reportedTo = to;
}

bool Transfer::fail()
{
    m_task.failure->set();
    reportSpan(m_task.offset, m_reportedTo, -1);
    m_reportedTo = m_task.offset;
    m_received = 0;
    return false;
}

bool Transfer::writeBlock(const char* block, long take)
{
    if (!m_file.write(block, static_cast<std::size_t>(take)))
        return false;
    m_received += take;
    m_task.done.store(m_task.offset + m_received);
    progress();
    return true;
}

Transfer::Connect Transfer::connect()
{
    const long position = m_task.offset + m_received;
    dropConnection();
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
        if (!acceptableStatus(status)) {
            m_request.finishUnused();
            return Connect::Retry;
        }
        // Bytes of another position (a confused cache) or of another file (replaced
        // since the size query) would be joined as data and pass the length check.
        if (status == 206 && !http::partialAnswerFits(m_request.contentRange(), position, m_task.fileSize))
            return Connect::Failed;
        if (position > 0 && status == 200 && !skipBytes(m_request, position))
            return Connect::Retry; // the server ignored the range and the stream broke off
        return Connect::Connected;
    }
    if (status != 200 && status != 206) {
        m_request.finishUnused();
        return Connect::Failed;
    }
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

// The answer goes on with the next segment's bytes: reading them costs nothing
// more, and an answer read to its end keeps its connection for the next request.
bool Transfer::takeNextSegment()
{
    return m_task.claims && m_lengthKnown && remaining() == 0 && m_task.claims->extend(m_task);
}

bool Transfer::run(ReceivedAnswer* first)
{
    if (first && first->request) {
        m_session = std::move(first->session);
        m_request = std::move(first->request);
    }
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
                dropConnection();
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
        for (;;) {
            if (failed())
                break;
            long left = remaining();
            if (left <= 0) {
                if (!takeNextSegment())
                    break;
                left = remaining();
            }
            std::size_t got = 0;
            bool ok = m_request.read(block, kBlock, got);
            if (!ok && got == 0) {
                // A broken request is never read again; a new connection resumes.
                dropConnection();
                reconnect = true;
                break;
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
                dropConnection();
                reconnect = true;
                break;
            }
        }
        if (reconnect)
            continue;
        const long expected = m_task.end.load() - m_task.offset;
        if (failed() || expected <= 0 || !m_file.flush() || m_file.size() < static_cast<std::uint64_t>(expected))
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

bool downloadSegment(SegmentTask& task, StreamFile& file, ReceivedAnswer* first)
{
    Transfer transfer(task, file);
    const bool ok = transfer.run(first);
    task.finished.store(true);
    return ok;
}

} // namespace rk
