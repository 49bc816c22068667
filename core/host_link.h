#pragma once
// Signalling to the host application: stage reports (1974), log lines (1975),
// download progress (1976), descriptions (1977) and status texts (1040), the
// window properties. Any thread may call these.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace rk {

using WindowHandle = void*;

namespace msg {
constexpr unsigned kStage = 1974;
constexpr unsigned kLogLine = 1975;
constexpr unsigned kProgress = 1976;
constexpr unsigned kDescription = 1977;
constexpr unsigned kStatusText = 0x410;
constexpr std::intptr_t kWantsMessages = 1974; // value of the host's opt-in properties
} // namespace msg

namespace prop {
inline const wchar_t kNeedMsg[] = L"renewkit.needmsg";
inline const wchar_t kStage[] = L"renewkit.exe";
inline const wchar_t kFileCount[] = L"updatefilecount";
inline const wchar_t kPaused[] = L"renewkit.paused";
inline const wchar_t kExitWhenKilled[] = L"renewkit.exitwhenwndkilled";
} // namespace prop

enum Stage : std::int32_t {
    UpdateNone = 0,
    UpdateCheckRemote = 1,
    UpdateCheckRemoteError = 2,
    UpdateCheckRemoteOk = 3,
    UpdateDownload = 4,
    UpdateDownloadError = 5,
    UpdateDownloadOk = 6,
    UpdateCheckLocal = 7,
    UpdateCheckLocalError = 8,
    UpdateCheckLocalOk = 9,
    UpdateCopy = 10,
    UpdateCopyError = 11,
    UpdateCopyOk = 12,
    UpdateEnd = 13,
};

// The hook key of a stage; empty for a number outside 0-13.
std::wstring stageName(std::int32_t stage);

// The windows that receive reports, each with its process and a 2048-byte
// buffer in that process (either may be missing). Entries stay until clear().
class HostWindows {
public:
    struct Entry;

    static HostWindows& instance();

    HostWindows();
    ~HostWindows();
    HostWindows(const HostWindows&) = delete;
    HostWindows& operator=(const HostWindows&) = delete;

    // Enters a window: opens its process and allocates the buffer there.
    void add(WindowHandle window);
    std::vector<Entry*> entries() const;
    Entry* find(WindowHandle window) const;
    // Frees every buffer and process handle and empties the list.
    void clear();
    // The same for one window; nothing happens when it is not in the list.
    void remove(WindowHandle window);

private:
    mutable std::mutex m_lock; // guards m_entries (the entries themselves lock their buffers)
    std::vector<std::unique_ptr<Entry>> m_entries;
    std::vector<std::unique_ptr<Entry>> m_retired; // emptied by clear(), kept for late senders
};

// 1974 to windows that asked for it, and the two properties on every window.
// fileCount is the update file count the host reads beside the stage.
void sendStage(std::int32_t stage, long fileCount);

void sendStatusText(WindowHandle window, const std::wstring& text, std::intptr_t lParam = -1);
void logLineToWindows(const std::wstring& text);
void sendDescription(const std::wstring& text);
void sendProgress(long completed, long fileCount);

// Properties the silent run reads on the host window. The exit request of a
// registered window is remembered from registration on, so it holds after
// the window was destroyed.
bool hostAsksPause(WindowHandle window);
bool hostAsksExitWhenGone(WindowHandle window);

// The text as it goes into a host buffer: "{zip}{process}" and the application
// directory removed, cut to 1023 characters. Exposed for tests.
std::wstring hostText(const std::wstring& text, const std::wstring& appDirectory);

} // namespace rk
