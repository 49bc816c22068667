#include "updater_watch.h"

#include "host_record.h"
#include "screen_png.h"

#include <cstring>

Watch g_watch;
HWND g_host = nullptr;

namespace {

// Reading from or clicking the updater's window waits for its answer, and
// meanwhile the updater's own sends are handled here, nested. Nested watching
// would record its results before the outer call records its older ones, so
// watching waits until the outer call is done.
int g_watching = 0;
struct WatchScope {
    WatchScope() { ++g_watching; }
    ~WatchScope() { --g_watching; }
    WatchScope(const WatchScope&) = delete;
    WatchScope& operator=(const WatchScope&) = delete;
};

std::wstring windowText(HWND window)
{
    wchar_t text[1024] = {};
    DWORD_PTR got = 0;
    ::SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &got);
    return text;
}

std::wstring className(HWND window)
{
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return name;
}

std::vector<HWND> updaterWindows()
{
    std::vector<HWND> found;
    ::EnumWindows(
        [](HWND w, LPARAM list) -> BOOL {
            DWORD pid = 0;
            ::GetWindowThreadProcessId(w, &pid);
            if (pid == g_watch.updaterPid)
                reinterpret_cast<std::vector<HWND>*>(list)->push_back(w);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

HWND progressWindow()
{
    for (HWND w : updaterWindows()) {
        if (::GetDlgItem(w, 165) && ::IsWindowVisible(w))
            return w;
    }
    return nullptr;
}

// ,"window":"l t r b","165":"...",... in screen pixels for the progress
// window and its controls that are visible; empty without a progress window.
std::string progressGeometry()
{
    HWND progress = progressWindow();
    if (!progress)
        return {};
    auto rect = [](const char* name, HWND window) {
        RECT r{};
        if (!window || !::IsWindowVisible(window) || !::GetWindowRect(window, &r))
            return std::string();
        char text[96];
        std::snprintf(text, sizeof text, ",\"%s\":\"%ld %ld %ld %ld\"", name, r.left, r.top, r.right, r.bottom);
        return std::string(text);
    };
    std::string out = rect("window", progress);
    for (int id : {165, 167, 169, 170, 160})
        out += rect(std::to_string(id).c_str(), ::GetDlgItem(progress, id));
    return out;
}

// The Unix screenshot tool, started through Wine's start.exe; waits for it.
// True when the file (a path of this machine, seen through drive Z:) is a
// whole PNG: it ends with the image-end chunk.
bool completePng(const std::wstring& unixPath)
{
    std::wstring path = L"Z:" + unixPath;
    for (wchar_t& c : path) {
        if (c == L'/')
            c = L'\\';
    }
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    static const char kEnd[] = "IEND\xAE\x42\x60\x82";
    char tail[8] = {};
    LARGE_INTEGER size{};
    DWORD got = 0;
    bool whole = ::GetFileSizeEx(file, &size) && size.QuadPart > 1000 &&
                 ::SetFilePointer(file, -8, nullptr, FILE_END) != INVALID_SET_FILE_POINTER &&
                 ::ReadFile(file, tail, 8, &got, nullptr) && got == 8 && std::memcmp(tail, kEnd, 8) == 0;
    ::CloseHandle(file);
    return whole;
}

void takeScreenshot(const std::wstring& path, const char* what)
{
    std::wstring line = L"start.exe /wait /unix /usr/bin/import -window root \"" + path + L"\"";
    bool ok = false;
    // On Windows itself the path is a Windows one and the capture our own.
    if (!runsUnderWine()) {
        ok = saveScreenPng(path);
        std::fprintf(g_record, "{\"seq\":%d,\"screenshot\":\"%s\",\"taken\":%s%s}\n", ++g_sequence, what,
                     ok ? "true" : "false", progressGeometry().c_str());
        std::fflush(g_record);
        return;
    }
    // ImageMagick's capture of the X screen can fail on a busy machine (the
    // server does not answer in time): try again, up to three times.
    for (int attempt = 0; attempt < 3 && !ok; ++attempt) {
        std::vector<wchar_t> buffer(line.begin(), line.end());
        buffer.push_back(0);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (!::CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si,
                              &pi))
            continue;
        const bool ended = ::WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0;
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
        // The capture runs as a program of this machine: give its file a moment
        // to appear whole should the wait have ended before it.
        for (int poll = 0; ended && poll < 100 && !ok; ++poll) {
            ok = completePng(path);
            if (!ok)
                ::Sleep(100);
        }
    }
    std::fprintf(g_record, "{\"seq\":%d,\"screenshot\":\"%s\",\"taken\":%s%s}\n", ++g_sequence, what,
                 ok ? "true" : "false", progressGeometry().c_str());
    std::fflush(g_record);
}

long hostStage() { return static_cast<long>(reinterpret_cast<INT_PTR>(::GetPropW(g_host, L"renewkit.exe"))); }

void recordClick(HWND progress, int id)
{
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(progress, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                          reinterpret_cast<LPARAM>(::GetDlgItem(progress, id)), SMTO_NORMAL, 10000, &ignored);
    const bool iconic = ::IsIconic(progress) != FALSE;
    const bool exists = ::IsWindow(progress) != FALSE;
    std::fprintf(g_record, "{\"seq\":%d,\"click\":%d,\"iconic\":%s,\"exists\":%s}\n", ++g_sequence, id,
                 iconic ? "true" : "false", exists ? "true" : "false");
    std::fflush(g_record);
    ::ShowWindow(progress, SW_RESTORE);
}

// The percentage label's text (blanks at the end cut) when it changed, with
// the stage the host was last told of.
void recordLabel(HWND progress, bool evenUnchanged = false)
{
    HWND control = ::GetDlgItem(progress, 165);
    std::wstring label = control ? windowText(control) : L"";
    while (!label.empty() && label.back() == L' ')
        label.pop_back();
    // Empty while the window is being destroyed: nothing to record.
    if (label.empty() || (label == g_watch.lastLabel && !evenUnchanged))
        return;
    g_watch.lastLabel = label;
    std::fprintf(g_record, "{\"seq\":%d,\"label\":%s,\"stage\":%ld}\n", ++g_sequence, json(label).c_str(), hostStage());
    std::fflush(g_record);
}

// Whether the screen shows a white pixel inside the window's rectangle.
bool showsWhite(HWND window)
{
    RECT area{};
    if (!::GetWindowRect(window, &area) || area.right <= area.left || area.bottom <= area.top)
        return false;
    const std::vector<unsigned char> pixels =
        captureScreen(area.left, area.top, area.right - area.left, area.bottom - area.top);
    for (size_t i = 0; i + 2 < pixels.size(); i += 4) {
        if (pixels[i] == 0xFF && pixels[i + 1] == 0xFF && pixels[i + 2] == 0xFF)
            return true;
    }
    return false;
}

// The status line of a failed run, once it shows: recorded, captured, clicked away.
void watchFailure()
{
    HWND progress = progressWindow();
    HWND line = progress ? ::GetDlgItem(progress, 169) : nullptr;
    if (g_watch.failureSeen || !line || !::IsWindowVisible(line))
        return;
    const std::wstring text = windowText(line);
    if (text.empty())
        return;
    g_watch.failureSeen = true;
    std::fprintf(g_record, "{\"seq\":%d,\"status_line\":%s,\"label\":%s}\n", ++g_sequence, json(text).c_str(),
                 json(windowText(::GetDlgItem(progress, 165))).c_str());
    std::fflush(g_record);
    if (!g_watch.failureShot.empty()) {
        // The display shows the window's paint a moment after it: wait (up to
        // two seconds) until the text's white is on the screen.
        for (int poll = 0; poll < 100 && !showsWhite(line); ++poll)
            ::Sleep(20);
        takeScreenshot(g_watch.failureShot, "failure");
    }
    if (g_watch.clickFailure) {
        ::PostMessageW(progress, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
        ::PostMessageW(progress, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
        recordNote("clicked the failure away");
    }
}

} // namespace

void watchUpdater()
{
    if (g_watching)
        return;
    WatchScope scope;
    watchFailure();
    for (HWND w : updaterWindows()) {
        if (::GetDlgItem(w, 165))
            continue; // the progress window
        if (className(w) != L"#32770" || !::IsWindowVisible(w) || g_watch.answers.empty())
            continue;
        bool seen = false;
        for (HWND a : g_watch.answered)
            seen = seen || a == w;
        if (seen)
            continue;
        // A message box: its text is in its static controls.
        std::wstring text;
        ::EnumChildWindows(
            w,
            [](HWND child, LPARAM out) -> BOOL {
                if (className(child) == L"Static") {
                    std::wstring t = windowText(child);
                    if (!t.empty()) {
                        auto* all = reinterpret_cast<std::wstring*>(out);
                        *all += (all->empty() ? L"" : L"|") + t;
                    }
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&text));
        // A dialog without texts of its own is no message box (the tray's update centre).
        if (text.empty())
            continue;
        const std::wstring answer = g_watch.answers.front();
        g_watch.answers.erase(g_watch.answers.begin());
        g_watch.answered.push_back(w);
        const int id = answer == L"yes" ? IDYES : answer == L"no" ? IDNO : answer == L"ok" ? IDOK : IDCANCEL;
        std::fprintf(g_record, "{\"seq\":%d,\"box_caption\":%s,\"box_text\":%s,\"answer\":%s,\"stage\":%ld}\n",
                     ++g_sequence, json(windowText(w)).c_str(), json(text).c_str(), json(answer).c_str(), hostStage());
        std::fflush(g_record);
        ::PostMessageW(w, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(w, id)));
    }
}

// Called inside the updater's send, so the progress window stays as it is.
void atStage(long stage)
{
    if (g_watching) {
        // A copy waiting for this stage would be made too late or never: say so.
        for (const auto& copy : g_watch.stageCopies) {
            if (stage == copy.at)
                recordNote(("stage " + std::to_string(stage) + " came while the host was busy").c_str());
        }
        return;
    }
    WatchScope scope;
    if (g_watch.watchProgress) {
        if (HWND progress = progressWindow())
            recordLabel(progress);
    }
    for (auto& shot : g_watch.stageShots) {
        if (stage >= shot.at && !shot.taken) {
            shot.taken = true;
            takeScreenshot(shot.path, "stage");
        }
    }
    for (auto& copy : g_watch.stageCopies) {
        if (stage == copy.at && ++copy.seen == copy.nth) {
            const bool copied = ::CopyFileW(copy.from.c_str(), copy.to.c_str(), FALSE) != FALSE;
            const std::string outcome = copied ? ": yes" : ": no (error " + std::to_string(::GetLastError()) + ")";
            recordNote(("copied at stage " + std::to_string(stage) + outcome).c_str());
        }
    }
}

void atProgress(long completed)
{
    if (g_watching)
        return;
    WatchScope scope;
    if (g_watch.watchProgress) {
        if (HWND progress = progressWindow())
            recordLabel(progress, true);
    }
    for (auto& shot : g_watch.progressShots) {
        if (completed >= shot.at && !shot.taken) {
            shot.taken = true;
            takeScreenshot(shot.path, "progress");
        }
    }
    if (g_watch.clickAtProgress >= 0 && completed >= g_watch.clickAtProgress && !g_watch.clicked) {
        g_watch.clicked = true;
        HWND progress = progressWindow();
        if (!progress) {
            recordNote("no progress window to click");
            return;
        }
        recordClick(progress, 170);
        recordClick(progress, 160);
    }
}
