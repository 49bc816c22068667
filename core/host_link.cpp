#include "core/host_link.h"

#include "core/config.h"
#include "core/run_log.h"
#include "core/app_directory.h"
#include "core/path_text.h"
#include "platform/window_messages.h"
#include "platform/window_text.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace rk {

namespace {

constexpr size_t kBufferBytes = 2048;
constexpr size_t kMaxTextChars = 1023;

const wchar_t* const kStageNames[] = {
    L"UpdateNone",          L"UpdateCheckRemote", L"UpdateCheckRemoteError",
    L"UpdateCheckRemoteOk", L"UpdateDownload",    L"UpdateDownloadError",
    L"UpdateDownloadOk",    L"UpdateCheckLocal",  L"UpdateCheckLocalError",
    L"UpdateCheckLocalOk",  L"UpdateCopy",        L"UpdateCopyError",
    L"UpdateCopyOk",        L"UpdateEnd",
};

bool wantsMessages(WindowHandle window) { return windowProperty(window, prop::kNeedMsg) == msg::kWantsMessages; }

} // namespace

struct HostWindows::Entry {
    explicit Entry(WindowHandle w) : window(w) {}

    const WindowHandle window;
    std::atomic<bool> live{true}; // false once shut-down freed the entry
    UniqueHandle process;         // process and buffer are guarded by bufferLock after add()
    RemoteBuffer buffer;
    std::mutex bufferLock; // one copy-and-send at a time per buffer; never held for a window of this process
    // A window of this process reads the text where it lies. Its thread may
    // itself be waiting for any lock a sender holds, so nothing is held
    // across a send to it (and it has no buffer to guard).
    bool ownProcess = false;
    // The host's "renewkit.exitwhenwndkilled" as last seen while its window
    // existed: a destroyed window has no properties left to read.
    std::atomic<bool> exitWhenGone{false};

    // Copies the text by the text rule and sends it; the buffer's address (or 0)
    // is wParam. With onlyWithProcess, does nothing and answers false for a
    // window whose process could not be opened.
    bool copyAndSend(unsigned message, const std::wstring& text, std::intptr_t lParam, bool onlyWithProcess = false)
    {
        if (ownProcess) {
            if (!live)
                return false;
            const std::wstring block = text.substr(0, kMaxTextChars);
            sendMessage(window, message, reinterpret_cast<std::uintptr_t>(block.c_str()), lParam);
            return true;
        }
        std::lock_guard<std::mutex> guard(bufferLock);
        if (!live || (onlyWithProcess && !process))
            return false;
        if (buffer) {
            wchar_t block[kBufferBytes / sizeof(wchar_t)] = {};
            std::wmemcpy(block, text.data(), std::min(text.size(), kMaxTextChars));
            buffer.write(block, sizeof block); // a failed copy still sends: the host sees the old text
        }
        sendMessage(window, message, reinterpret_cast<std::uintptr_t>(buffer.address()), lParam);
        return true;
    }
};

HostWindows& HostWindows::instance()
{
    static HostWindows list;
    return list;
}

HostWindows::HostWindows() = default;
HostWindows::~HostWindows() = default;

void HostWindows::add(WindowHandle window)
{
    auto entry = std::make_unique<Entry>(window);
    entry->exitWhenGone = windowProperty(window, prop::kExitWhenKilled) == msg::kWantsMessages;
    entry->ownProcess = isOwnProcessWindow(window);
    entry->process = openWindowProcess(window);
    if (entry->process && !entry->ownProcess)
        entry->buffer = RemoteBuffer(entry->process.get(), kBufferBytes);
    std::lock_guard<std::mutex> guard(m_lock);
    m_entries.push_back(std::move(entry));
}

std::vector<HostWindows::Entry*> HostWindows::entries() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<Entry*> out;
    for (const auto& e : m_entries)
        out.push_back(e.get());
    return out;
}

HostWindows::Entry* HostWindows::find(WindowHandle window) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    for (const auto& e : m_entries) {
        if (e->window == window)
            return e.get();
    }
    return nullptr;
}

void HostWindows::clear()
{
    std::lock_guard<std::mutex> guard(m_lock);
    for (auto& e : m_entries) {
        // Each buffer belongs to its process handle: free it before the handle closes.
        std::lock_guard<std::mutex> bufferGuard(e->bufferLock);
        e->buffer.reset();
        e->process.reset();
        e->live = false;
    }
    // Workers are never joined and may still hold an entry they are logging
    // through: the emptied entries stay allocated for the life of the process.
    for (auto& e : m_entries)
        m_retired.push_back(std::move(e));
    m_entries.clear();
}

void HostWindows::remove(WindowHandle window)
{
    std::lock_guard<std::mutex> guard(m_lock);
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if ((*it)->window != window) {
            ++it;
            continue;
        }
        {
            std::lock_guard<std::mutex> bufferGuard((*it)->bufferLock);
            (*it)->buffer.reset();
            (*it)->process.reset();
            (*it)->live = false;
        }
        // A sender may still hold the entry, as after clear().
        m_retired.push_back(std::move(*it));
        it = m_entries.erase(it);
    }
}

std::wstring stageName(std::int32_t stage)
{
    if (stage < 0 || stage > 13)
        return {};
    return kStageNames[stage];
}

std::wstring hostText(const std::wstring& text, const std::wstring& appDirectory)
{
    std::wstring out = replaceAll(text, L"{zip}{process}", L"");
    if (!appDirectory.empty())
        out = replaceAll(out, appDirectory, L"");
    if (out.size() > kMaxTextChars)
        out.resize(kMaxTextChars);
    return out;
}

void sendStage(std::int32_t stage, long fileCount)
{
    for (auto* entry : HostWindows::instance().entries()) {
        if (!entry->live)
            continue;
        if (wantsMessages(entry->window))
            sendMessage(entry->window, msg::kStage, static_cast<std::uintptr_t>(stage), fileCount);
        setWindowProperty(entry->window, prop::kStage, stage);
        setWindowProperty(entry->window, prop::kFileCount, fileCount);
    }
}

void sendStatusText(WindowHandle window, const std::wstring& text, std::intptr_t lParam)
{
    std::wstring cleaned = replaceAll(text, L"{zip}{process}", L"");
    if (!window)
        return;
    HostWindows::Entry* entry = HostWindows::instance().find(window);
    if (entry) {
        if (entry->copyAndSend(msg::kStatusText, hostText(cleaned, applicationDirectory()), lParam, true) ||
            !entry->live)
            return;
    }
    // Not a listed window: only a window of this process can read the address.
    sendMessage(window, msg::kStatusText, reinterpret_cast<std::uintptr_t>(cleaned.c_str()), lParam);
}

void logLineToWindows(const std::wstring& text)
{
    const std::wstring appDir = applicationDirectory();
    for (auto* entry : HostWindows::instance().entries())
        entry->copyAndSend(msg::kLogLine, hostText(text, appDir), 0);
}

void sendDescription(const std::wstring& text)
{
    if (text.empty())
        return;
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    for (auto* entry : HostWindows::instance().entries()) {
        if (!wantsMessages(entry->window))
            continue;
        if (entry->ownProcess) {
            if (entry->live)
                sendMessage(entry->window, msg::kDescription, reinterpret_cast<std::uintptr_t>(text.c_str()), 0);
            continue;
        }
        std::lock_guard<std::mutex> guard(entry->bufferLock);
        if (!entry->live)
            continue;
        // A block of its own, so release notes are not cut to the buffer's 1023 characters.
        RemoteBuffer block(entry->process.get(), bytes);
        if (block)
            block.write(text.c_str(), bytes);
        sendMessage(entry->window, msg::kDescription, reinterpret_cast<std::uintptr_t>(block.address()), 0);
    }
}

void sendProgress(long completed, long fileCount)
{
    for (auto* entry : HostWindows::instance().entries()) {
        if (entry->live && wantsMessages(entry->window))
            sendMessage(entry->window, msg::kProgress, static_cast<std::uintptr_t>(completed), fileCount);
    }
}

bool hostAsksPause(WindowHandle window) { return windowProperty(window, prop::kPaused) == msg::kWantsMessages; }

bool hostAsksExitWhenGone(WindowHandle window)
{
    HostWindows::Entry* entry = HostWindows::instance().find(window);
    if (!windowExists(window))
        return entry && entry->exitWhenGone;
    const bool asks = windowProperty(window, prop::kExitWhenKilled) == msg::kWantsMessages;
    if (entry)
        entry->exitWhenGone = asks;
    return asks;
}

} // namespace rk
