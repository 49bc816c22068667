// renewkit-testhost: a host application in miniature, and the reference for
// integrating the updater. It opens a window, opts in to the updater's
// messages through window properties, starts renewkit.exe with its window
// handle, and records every message the updater sends, in order, as JSON lines.
//
//   renewkit-testhost --updater EXE --record FILE [options] [-- WORDS...]
//     --needmsg N         set "renewkit.needmsg" to N (1974 asks for 1974, 1976, 1977)
//     --paused N          set "renewkit.paused" to N (1974 pauses a silent run)
//     --exitwhenkilled N  set "renewkit.exitwhenwndkilled" to N
//     --prop NAME N       set any other property NAME to N before the start
//     --title T           window title (lets other programs find this window)
//     --timeout MS        give up on the updater after MS (default 120000)
//     --endsession accept|refuse   answer to WM_QUERYENDSESSION
//     --hold FILE         keep FILE open, unshared, for the whole run
//     --unpause-after MS  set "renewkit.paused" to 0 after MS (recorded as a note)
//     --destroy-at-stage N  destroy the window once stage N arrived (recorded as a note)
//     --visible           show the window (programs that close hosts look only at visible ones)
//     --follow            once the updater ended, wait also for every other process of the
//                         same executable (the copy it relaunched), each recorded as "follow_exit"
//     WORDS               passed to the updater; "{hwnd}" stands for this window's
//                         handle, which is appended when no word names it
//     --answer yes|no|cancel  answer the next message box of the updater (given
//                         once per box, in order); its caption and text are recorded
//     --watch-progress    record the progress window's percentage label, read at each
//                         progress message and at each stage message that changed it,
//                         with the stage the host was last told of
//     --click-buttons N   when the first download progress message with N or more
//                         completed files arrives, click the progress window's two picture buttons in
//                         turn and record whether it is minimised and still exists
//                         (it is restored after each click)
//     --shot-at-stage N PATH     capture the screen to PATH (under Wine a path of this
//     --shot-at-progress N PATH  machine, with ImageMagick's import; on Windows a Windows
//                         path, captured through GDI) when stage N resp. the
//                         first download progress with N or more completed files arrives; the
//                         updater waits meanwhile, so its window shows that moment. With
//                         each shot the progress window's rectangles are recorded in screen
//                         pixels: the window, the label (165), the strip (167), the buttons
//                         (170, 160) and the status line (169)
//     --shot-at-failure PATH  capture the screen when the progress window shows the status
//                         text of a failed run (recorded as "status_line" with its text)
//     --click-failure     then click the window, which takes the failure away at once
//     --copy-at-stage N[#K] FROM TO  when stage N arrives (the K-th time, default the
//                         first), copy FROM over TO (Windows paths) before answering;
//                         recorded as a note with the outcome. The updater waits meanwhile,
//                         so the file changes exactly between two of its steps.
//   renewkit-testhost --notify TITLE TEXT [--delay MS]
//     sends TEXT to the window titled TITLE (WM_COPYDATA), after MS; it is recorded
//     as a "note" line, so tests can see where it falls among the updater's messages.
// The exit code is the updater's.

#include "screen_png.h"

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Messages the updater sends to a host window.
constexpr UINT kStage = 1974;       // wParam stage, lParam update file count
constexpr UINT kLogLine = 1975;     // wParam address of the line in our memory
constexpr UINT kProgress = 1976;    // wParam completed files, lParam update file count
constexpr UINT kDescription = 1977; // wParam address of the release notes in our memory
constexpr UINT kStatusText = 0x410; // wParam address of the text, lParam chosen by the sender

FILE* g_record = nullptr;
int g_sequence = 0;
bool g_refuseEndSession = false;

constexpr UINT_PTR kUnpauseTimer = 1;
constexpr UINT_PTR kWatchTimer = 2;
constexpr UINT kDestroyNow = WM_APP + 1;
long g_destroyAtStage = -1;

void recordNote(const char* note)
{
    std::fprintf(g_record, "{\"seq\":%d,\"note\":\"%s\"}\n", ++g_sequence, note);
    std::fflush(g_record);
}

std::string json(const std::wstring& text)
{
    std::string out = "\"";
    for (wchar_t c : text) {
        if (c == L'"' || c == L'\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
        }
    }
    return out + "\"";
}

// Reads a zero-ended text the updater wrote into this process. The address
// comes from another program, so it is read defensively.
std::wstring textAt(WPARAM address)
{
    std::wstring text;
    if (address == 0)
        return text;
    const wchar_t* p = reinterpret_cast<const wchar_t*>(address);
    for (size_t i = 0; i < 65536; ++i) {
        wchar_t c = 0;
        SIZE_T got = 0;
        if (!::ReadProcessMemory(::GetCurrentProcess(), p + i, &c, sizeof c, &got) || got != sizeof c || c == 0)
            break;
        text += c;
    }
    return text;
}

void recordMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool hasText)
{
    long long stage = reinterpret_cast<long long>(::GetPropW(window, L"renewkit.exe"));
    long long count = reinterpret_cast<long long>(::GetPropW(window, L"updatefilecount"));
    std::fprintf(g_record, "{\"seq\":%d,\"msg\":%u,\"wparam\":%llu,\"lparam\":%lld", ++g_sequence, message,
                 static_cast<unsigned long long>(wParam), static_cast<long long>(lParam));
    if (hasText) {
        std::wstring text = textAt(wParam);
        std::fprintf(g_record, ",\"text\":%s,\"length\":%zu", json(text).c_str(), text.size());
    }
    std::fprintf(g_record, ",\"prop_stage\":%lld,\"prop_count\":%lld}\n", stage, count);
    std::fflush(g_record);
}

// What the watch timer does with the updater's own windows.
struct Watch {
    DWORD updaterPid = 0;
    std::vector<std::wstring> answers; // consumed in order, one per message box
    bool watchProgress = false;
    long clickAtProgress = -1;
    bool clicked = false;
    struct Shot {
        long at;
        std::wstring path;
        bool taken;
    };
    std::vector<Shot> stageShots; // each taken once, the first time its moment comes
    struct Copy {
        long at;
        long nth;
        std::wstring from, to;
        long seen;
    };
    std::vector<Copy> stageCopies; // each made once, the first time its stage comes
    std::vector<Shot> progressShots;
    std::wstring failureShot;
    bool clickFailure = false;
    bool failureSeen = false;
    std::wstring lastLabel;
    std::vector<HWND> answered;
    bool active() const { return !answers.empty() || watchProgress || !failureShot.empty() || clickFailure; }
};
Watch g_watch;
HWND g_host = nullptr;
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

HWND progressWindow();

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
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool found = false;
    if (memory && bitmap && bits) {
        HGDIOBJ old = ::SelectObject(memory, bitmap);
        ::BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
        ::GdiFlush();
        const auto* pixel = static_cast<const DWORD*>(bits);
        for (int i = 0; i < width * height && !found; ++i)
            found = (pixel[i] & 0xFFFFFF) == 0xFFFFFF;
        ::SelectObject(memory, old);
    }
    if (bitmap)
        ::DeleteObject(bitmap);
    if (memory)
        ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return found;
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

HWND progressWindow()
{
    for (HWND w : updaterWindows()) {
        if (::GetDlgItem(w, 165) && ::IsWindowVisible(w))
            return w;
    }
    return nullptr;
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

LRESULT CALLBACK hostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case kStage:
        recordMessage(window, message, wParam, lParam, false);
        atStage(static_cast<long>(wParam));
        // Not inside the updater's send: the window goes once the send returned.
        if (g_destroyAtStage >= 0 && wParam == static_cast<WPARAM>(g_destroyAtStage))
            ::PostMessageW(window, kDestroyNow, 0, 0);
        return 0;
    case kProgress:
        recordMessage(window, message, wParam, lParam, false);
        atProgress(static_cast<long>(wParam));
        return 0;
    case kDestroyNow:
        recordNote("destroyed");
        ::DestroyWindow(window);
        return 0;
    case kLogLine:
    case kDescription:
    case kStatusText:
        recordMessage(window, message, wParam, lParam, true);
        return 0;
    case WM_COPYDATA: {
        auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        std::wstring note(static_cast<const wchar_t*>(data->lpData), data->cbData / sizeof(wchar_t));
        std::fprintf(g_record, "{\"seq\":%d,\"note\":%s}\n", ++g_sequence, json(note).c_str());
        std::fflush(g_record);
        return TRUE;
    }
    case WM_COMMAND:
        // The updater's check posts its command 1066 to the owner of its window.
        std::fprintf(g_record, "{\"seq\":%d,\"command\":%u}\n", ++g_sequence, LOWORD(wParam));
        std::fflush(g_record);
        return 0;
    case WM_TIMER:
        if (wParam == kWatchTimer) {
            watchUpdater();
            return 0;
        }
        ::KillTimer(window, wParam);
        if (wParam == kUnpauseTimer) {
            ::SetPropW(window, L"renewkit.paused", nullptr);
            recordNote("unpaused");
        }
        return 0;
    case WM_QUERYENDSESSION:
        std::fprintf(g_record, "{\"seq\":%d,\"queryendsession\":%s}\n", ++g_sequence,
                     g_refuseEndSession ? "\"refused\"" : "\"accepted\"");
        std::fflush(g_record);
        return g_refuseEndSession ? FALSE : TRUE;
    default:
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

void dispatchPending()
{
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

// Answers messages until the process ends or the deadline passes (then it is ended).
bool pumpUntilEnded(HANDLE process, ULONGLONG deadline)
{
    for (;;) {
        ULONGLONG now = ::GetTickCount64();
        if (now >= deadline) {
            ::TerminateProcess(process, 1);
            return false;
        }
        DWORD r = ::MsgWaitForMultipleObjects(1, &process, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
        if (r == WAIT_OBJECT_0)
            return true;
        dispatchPending();
    }
}

// The full image path of a running process. One that was just created may not
// have it yet under Wine (nor a name in the process list) until it has started
// up, so this waits, answering messages meanwhile; empty if the process ended first.
std::wstring imageOf(HANDLE process, ULONGLONG deadline)
{
    for (;;) {
        wchar_t image[MAX_PATH * 2];
        DWORD size = MAX_PATH * 2;
        if (::QueryFullProcessImageNameW(process, 0, image, &size) && size > 0)
            return image;
        if (::GetTickCount64() >= deadline)
            return {};
        if (::MsgWaitForMultipleObjects(1, &process, FALSE, 10, QS_ALLINPUT) == WAIT_OBJECT_0)
            return {};
        dispatchPending();
    }
}

// Running processes whose image is this executable (full path, any case). A
// process started by one of `parents` is looked at even while its name is not
// known yet: the copy an updater relaunched just before it ended may still be
// starting up.
std::vector<HANDLE> processesOf(const std::wstring& exe, const std::vector<DWORD>& parents)
{
    std::vector<HANDLE> found;
    wchar_t full[MAX_PATH * 2];
    if (!::GetFullPathNameW(exe.c_str(), MAX_PATH * 2, full, nullptr))
        return found;
    const wchar_t* slash = std::wcsrchr(full, L'\\');
    const wchar_t* name = slash ? slash + 1 : full;
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return found;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry)) {
        const bool child = std::find(parents.begin(), parents.end(), entry.th32ParentProcessID) != parents.end();
        if (::lstrcmpiW(entry.szExeFile, name) != 0 && !(child && entry.szExeFile[0] == 0))
            continue;
        HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, entry.th32ProcessID);
        if (!process)
            continue;
        if (::lstrcmpiW(imageOf(process, ::GetTickCount64() + 10000).c_str(), full) == 0)
            found.push_back(process);
        else
            ::CloseHandle(process);
    }
    ::CloseHandle(snapshot);
    return found;
}

// Rectangles read from the updater's windows must be the screen's pixels, as
// the screenshots are: an unaware program would be given them scaled to 96 DPI.
void makeDpiAware()
{
    using SetContext = BOOL(WINAPI*)(HANDLE);
    HMODULE user = ::GetModuleHandleW(L"user32.dll");
    auto set = user ? reinterpret_cast<SetContext>(
                          reinterpret_cast<void*>(::GetProcAddress(user, "SetProcessDpiAwarenessContext")))
                    : nullptr;
    // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2 is (HANDLE)-4.
    if (!set || !set(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4))))
        ::SetProcessDPIAware();
}

int notify(const std::wstring& title, const std::wstring& text, DWORD delay)
{
    ::Sleep(delay);
    HWND window = ::FindWindowW(L"RenewKitTestHost", title.c_str());
    if (!window)
        return 1;
    COPYDATASTRUCT data{};
    data.cbData = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    data.lpData = const_cast<wchar_t*>(text.data());
    ::SendMessageW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    std::wstring updater, record, title = L"RenewKit test host";
    std::vector<std::wstring> words;
    long needMsg = -1, paused = -1, exitWhenKilled = -1;
    bool visible = false;
    bool follow = false;
    DWORD timeout = 120000;
    DWORD unpauseAfter = 0;
    std::wstring hold;
    std::vector<std::pair<std::wstring, long>> props;

    makeDpiAware();
    if (argc >= 4 && std::wstring(argv[1]) == L"--notify") {
        DWORD delay = argc >= 6 && std::wstring(argv[4]) == L"--delay" ? std::wcstoul(argv[5], nullptr, 10) : 0;
        return notify(argv[2], argv[3], delay);
    }
    for (int i = 1; i < argc; ++i) {
        std::wstring a = argv[i];
        auto next = [&]() -> std::wstring { return i + 1 < argc ? argv[++i] : L""; };
        if (a == L"--updater")
            updater = next();
        else if (a == L"--record")
            record = next();
        else if (a == L"--needmsg")
            needMsg = std::wcstol(next().c_str(), nullptr, 10);
        else if (a == L"--paused")
            paused = std::wcstol(next().c_str(), nullptr, 10);
        else if (a == L"--exitwhenkilled")
            exitWhenKilled = std::wcstol(next().c_str(), nullptr, 10);
        else if (a == L"--prop") {
            std::wstring name = next();
            props.emplace_back(name, std::wcstol(next().c_str(), nullptr, 10));
        } else if (a == L"--title")
            title = next();
        else if (a == L"--timeout")
            timeout = std::wcstoul(next().c_str(), nullptr, 10);
        else if (a == L"--endsession")
            g_refuseEndSession = next() == L"refuse";
        else if (a == L"--hold")
            hold = next();
        else if (a == L"--unpause-after")
            unpauseAfter = std::wcstoul(next().c_str(), nullptr, 10);
        else if (a == L"--destroy-at-stage")
            g_destroyAtStage = std::wcstol(next().c_str(), nullptr, 10);
        else if (a == L"--visible")
            visible = true;
        else if (a == L"--follow")
            follow = true;
        else if (a == L"--answer")
            g_watch.answers.push_back(next());
        else if (a == L"--watch-progress")
            g_watch.watchProgress = true;
        else if (a == L"--shot-at-failure")
            g_watch.failureShot = next();
        else if (a == L"--click-failure")
            g_watch.clickFailure = true;
        else if (a == L"--click-buttons")
            g_watch.clickAtProgress = std::wcstol(next().c_str(), nullptr, 10);
        else if (a == L"--shot-at-stage") {
            long at = std::wcstol(next().c_str(), nullptr, 10);
            g_watch.stageShots.push_back({at, next(), false});
        } else if (a == L"--copy-at-stage") {
            const std::wstring when = next();
            const size_t hash = when.find(L'#');
            long at = std::wcstol(when.c_str(), nullptr, 10);
            long nth = hash == std::wstring::npos ? 1 : std::wcstol(when.c_str() + hash + 1, nullptr, 10);
            std::wstring from = next();
            g_watch.stageCopies.push_back({at, nth, from, next(), 0});
        } else if (a == L"--shot-at-progress") {
            long at = std::wcstol(next().c_str(), nullptr, 10);
            g_watch.progressShots.push_back({at, next(), false});
        } else if (a == L"--") {
            while (i + 1 < argc)
                words.push_back(argv[++i]);
        }
    }
    if (updater.empty() || record.empty()) {
        std::fwprintf(stderr, L"usage: renewkit-testhost --updater EXE --record FILE [options] [-- WORDS...]\n");
        return 2;
    }
    g_record = _wfopen(record.c_str(), L"wb");
    if (!g_record)
        return 2;

    HANDLE held = INVALID_HANDLE_VALUE;
    if (!hold.empty())
        held = ::CreateFileW(hold.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);

    WNDCLASSW wc{};
    wc.lpfnWndProc = hostProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"RenewKitTestHost";
    ::RegisterClassW(&wc);
    HWND window = ::CreateWindowExW(0, wc.lpszClassName, title.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 320, 200, nullptr,
                                    nullptr, wc.hInstance, nullptr);
    if (!window)
        return 2;
    if (visible)
        ::ShowWindow(window, SW_SHOWNOACTIVATE);
    // The opt-ins are plain window properties whose handle value is the number.
    if (needMsg >= 0)
        ::SetPropW(window, L"renewkit.needmsg", reinterpret_cast<HANDLE>(static_cast<INT_PTR>(needMsg)));
    if (paused >= 0)
        ::SetPropW(window, L"renewkit.paused", reinterpret_cast<HANDLE>(static_cast<INT_PTR>(paused)));
    if (exitWhenKilled >= 0)
        ::SetPropW(window, L"renewkit.exitwhenwndkilled",
                   reinterpret_cast<HANDLE>(static_cast<INT_PTR>(exitWhenKilled)));

    for (const auto& [name, value] : props)
        ::SetPropW(window, name.c_str(), reinterpret_cast<HANDLE>(static_cast<INT_PTR>(value)));

    if (unpauseAfter)
        ::SetTimer(window, kUnpauseTimer, unpauseAfter, nullptr);

    // The updater finds its host by the window handle in decimal on its command line.
    std::wstring handle = std::to_wstring(reinterpret_cast<UINT_PTR>(window));
    std::wstring line = L"\"" + updater + L"\"";
    bool placed = false;
    for (const auto& w : words) {
        if (w == L"{hwnd}") {
            line += L" " + handle;
            placed = true;
        } else {
            line += L" " + w;
        }
    }
    if (!placed)
        line += L" " + handle;

    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(0);
    if (!::CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return 2;
    ::CloseHandle(pi.hThread);
    g_host = window;
    g_watch.updaterPid = pi.dwProcessId;
    if (g_watch.active())
        ::SetTimer(window, kWatchTimer, 20, nullptr);

    // Keep answering messages while the updater runs: it waits for each send.
    DWORD exitCode = 1;
    const ULONGLONG deadline = ::GetTickCount64() + timeout;
    bool timedOut = !pumpUntilEnded(pi.hProcess, deadline);
    ::GetExitCodeProcess(pi.hProcess, &exitCode);
    ::CloseHandle(pi.hProcess);
    // A relaunched copy was started before the updater ended, so it is found
    // here; it may relaunch in turn, hence the repeated search.
    std::vector<DWORD> followed{pi.dwProcessId};
    while (follow && !timedOut) {
        std::vector<HANDLE> others = processesOf(updater, followed);
        if (others.empty())
            break;
        for (HANDLE other : others) {
            followed.push_back(::GetProcessId(other));
            timedOut = timedOut || !pumpUntilEnded(other, deadline);
            DWORD code = 1;
            ::GetExitCodeProcess(other, &code);
            ::CloseHandle(other);
            std::fprintf(g_record, "{\"seq\":%d,\"follow_exit\":%lu}\n", ++g_sequence, code);
            std::fflush(g_record);
        }
    }
    ::KillTimer(window, kWatchTimer);

    std::fprintf(g_record,
                 "{\"seq\":%d,\"exit\":%lu,\"timed_out\":%s,\"hwnd\":%llu,\"prop_stage\":%lld,\"prop_count\":%lld}\n",
                 ++g_sequence, exitCode, timedOut ? "true" : "false",
                 static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)),
                 reinterpret_cast<long long>(::GetPropW(window, L"renewkit.exe")),
                 reinterpret_cast<long long>(::GetPropW(window, L"updatefilecount")));
    std::fclose(g_record);
    if (::IsWindow(window))
        ::DestroyWindow(window);
    if (held != INVALID_HANDLE_VALUE)
        ::CloseHandle(held);
    return static_cast<int>(exitCode);
}
