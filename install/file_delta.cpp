#include "install/file_delta.h"

#include "platform/file_view.h"
#include "platform/files.h"
#include "platform/stream_file.h"

// The frame header reader is part of zstd's static-linking API.
#define ZSTD_STATIC_LINKING_ONLY
#include <zstd.h>
#include <zstd_errors.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <new>

namespace rk {
namespace {

struct FreeDCtx {
    void operator()(ZSTD_DCtx* context) const { ZSTD_freeDCtx(context); }
};
struct FreeCCtx {
    void operator()(ZSTD_CCtx* context) const { ZSTD_freeCCtx(context); }
};

unsigned highestBit(std::uint64_t value)
{
    unsigned bit = 0;
    while (value >>= 1)
        ++bit;
    return bit;
}

std::wstring mib(std::uint64_t bytes) { return std::to_wstring(bytes >> 20) + L" MiB"; }

std::wstring errorText(size_t code)
{
    const char* name = ZSTD_getErrorName(code);
    return std::wstring(name, name + std::char_traits<char>::length(name));
}

bool outOfMemory(size_t code) { return ZSTD_getErrorCode(code) == ZSTD_error_memory_allocation; }

std::mutex& applyLock()
{
    static std::mutex lock;
    return lock;
}

// The file whole, when it holds at most bound bytes; problem says why not.
bool readBounded(const std::wstring& path, const wchar_t* what, std::uint64_t bound, std::string& bytes,
                 std::wstring& problem)
{
    StreamFile file;
    if (!file.openRead(path)) {
        problem = std::wstring(what) + L" cannot be read (error " + std::to_wstring(lastError()) + L")";
        return false;
    }
    const std::uint64_t size = file.size();
    if (size > bound) {
        problem = std::wstring(what) + L" of " + std::to_wstring(size) + L" bytes is beyond the bound of " + mib(bound);
        return false;
    }
    bytes.resize(static_cast<size_t>(size));
    if (!file.readAt(0, bytes.data(), bytes.size())) {
        problem = std::wstring(what) + L" cannot be read";
        return false;
    }
    return true;
}

std::wstring applyInMemory(const std::wstring& base, const std::wstring& delta, const std::wstring& output,
                           std::uint64_t expectedSize, std::uint64_t bound)
{
    if (expectedSize > bound)
        return L"the file of " + std::to_wstring(expectedSize) + L" bytes is beyond the bound of " + mib(bound);
    std::wstring problem;
    std::string frame;
    if (!readBounded(delta, L"the delta", bound, frame, problem))
        return problem;
    const DeltaFrameInfo info = inspectDeltaFrame(frame.data(), frame.size());
    if (!info.valid)
        return info.problem;
    if (info.window > bound)
        return L"its window of " + mib(info.window) + L" is beyond the bound of " + mib(bound);
    if (info.contentSizeKnown && info.contentSize != expectedSize)
        return L"it makes " + std::to_wstring(info.contentSize) + L" bytes, the list names " +
               std::to_wstring(expectedSize);
    // The base is read through a view of the file: no copy of it, and no
    // writer can change it while the frame refers to it.
    FileView reference;
    if (!reference.open(base))
        return L"the installed file cannot be read (error " + std::to_wstring(lastError()) + L")";
    if (reference.size() > bound)
        return L"the installed file of " + std::to_wstring(reference.size()) + L" bytes is beyond the bound of " +
               mib(bound);
    // The result's exact size, left uninitialised: the decoder writes every
    // byte into it directly and keeps no window of its own.
    std::unique_ptr<char[]> result(new char[static_cast<size_t>(expectedSize)]);
    std::unique_ptr<ZSTD_DCtx, FreeDCtx> context(ZSTD_createDCtx());
    if (!context)
        return L"there is not enough memory to apply it";
    size_t status = ZSTD_DCtx_refPrefix(context.get(), reference.data(), static_cast<size_t>(reference.size()));
    if (!ZSTD_isError(status))
        status = ZSTD_decompressDCtx(context.get(), result.get(), static_cast<size_t>(expectedSize), frame.data(),
                                     frame.size());
    if (ZSTD_isError(status)) {
        if (outOfMemory(status))
            return L"there is not enough memory to apply it";
        return L"it does not apply to the installed file (" + errorText(status) + L")";
    }
    if (status != expectedSize)
        return L"it makes " + std::to_wstring(status) + L" bytes, the list names " + std::to_wstring(expectedSize);
    if (!writeFileBytes(output, std::string_view(result.get(), status)))
        return L"its result cannot be written (error " + std::to_wstring(lastError()) + L")";
    return std::wstring();
}

std::wstring makeInMemory(const std::wstring& base, const std::wstring& target, const std::wstring& delta, int level)
{
    std::wstring problem;
    std::string reference;
    std::string wanted;
    if (!readBounded(base, L"the base", kMaxDeltaWindow, reference, problem) ||
        !readBounded(target, L"the file", kMaxDeltaWindow, wanted, problem))
        return problem;
    std::unique_ptr<ZSTD_CCtx, FreeCCtx> context(ZSTD_createCCtx());
    if (!context)
        return L"there is not enough memory to make the delta";
    ZSTD_CCtx* c = context.get();
    const int windowLog = static_cast<int>(deltaWindowLog(reference.size(), wanted.size()));
    const std::pair<ZSTD_cParameter, int> parameters[] = {{ZSTD_c_compressionLevel, level},
                                                          {ZSTD_c_windowLog, windowLog},
                                                          {ZSTD_c_enableLongDistanceMatching, 1},
                                                          {ZSTD_c_checksumFlag, 1},
                                                          {ZSTD_c_contentSizeFlag, 1}};
    size_t status = 0;
    for (const auto& [parameter, value] : parameters) {
        if (!ZSTD_isError(status))
            status = ZSTD_CCtx_setParameter(c, parameter, value);
    }
    if (!ZSTD_isError(status))
        status = ZSTD_CCtx_setPledgedSrcSize(c, wanted.size());
    if (!ZSTD_isError(status))
        status = ZSTD_CCtx_refPrefix(c, reference.data(), reference.size());
    std::string frame(ZSTD_compressBound(wanted.size()), '\0');
    if (!ZSTD_isError(status))
        status = ZSTD_compress2(c, frame.data(), frame.size(), wanted.data(), wanted.size());
    if (ZSTD_isError(status))
        return outOfMemory(status) ? L"there is not enough memory to make the delta"
                                   : L"zstd refused it (" + errorText(status) + L")";
    frame.resize(status);
    if (!writeFileBytes(delta, frame))
        return L"cannot write file: " + delta;
    return std::wstring();
}

} // namespace

DeltaFrameInfo inspectDeltaFrame(const void* data, std::size_t bytes)
{
    DeltaFrameInfo info;
    ZSTD_frameHeader header{};
    const size_t status = ZSTD_getFrameHeader(&header, data, bytes);
    if (ZSTD_isError(status) || status > 0) {
        info.problem = L"it is no zstd frame";
        return info;
    }
    if (header.frameType == ZSTD_skippableFrame) {
        info.problem = L"it is a skippable frame, no delta";
        return info;
    }
    const size_t frameSize = ZSTD_findFrameCompressedSize(data, bytes);
    if (ZSTD_isError(frameSize)) {
        info.problem = L"its frame is cut short or damaged";
        return info;
    }
    if (frameSize != bytes) {
        info.problem = L"it holds " + std::to_wstring(bytes - frameSize) + L" bytes after its frame";
        return info;
    }
    info.valid = true;
    info.window = header.windowSize;
    info.contentSizeKnown = header.frameContentSize != ZSTD_CONTENTSIZE_UNKNOWN;
    info.contentSize = info.contentSizeKnown ? header.frameContentSize : 0;
    return info;
}

unsigned deltaWindowLog(std::uint64_t baseBytes, std::uint64_t targetBytes)
{
    const unsigned wanted = highestBit(std::max(baseBytes, targetBytes)) + 1;
    // Never beyond what the updater applies: a file that large gets no delta anyway.
    return std::min(std::max(wanted, static_cast<unsigned>(ZSTD_WINDOWLOG_MIN)), highestBit(kMaxDeltaWindow));
}

std::wstring applyDelta(const std::wstring& base, const std::wstring& delta, const std::wstring& output,
                        std::uint64_t expectedSize, std::uint64_t bound)
{
    std::lock_guard<std::mutex> one(applyLock());
    std::wstring problem;
    try {
        problem = applyInMemory(base, delta, output, expectedSize, bound);
    } catch (const std::bad_alloc&) {
        problem = L"there is not enough memory to apply it";
    }
    if (!problem.empty())
        deleteFileForced(output);
    return problem;
}

std::wstring makeDelta(const std::wstring& base, const std::wstring& target, const std::wstring& delta, int level)
{
    std::wstring problem;
    try {
        problem = makeInMemory(base, target, delta, level);
    } catch (const std::bad_alloc&) {
        problem = L"there is not enough memory to make the delta";
    }
    if (!problem.empty())
        deleteFileForced(delta);
    return problem;
}

} // namespace rk
