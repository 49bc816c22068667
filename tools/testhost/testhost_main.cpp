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

#include "host_record.h"
#include "screen_png.h"
#include "updater_watch.h"

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool g_refuseEndSession = false;

constexpr UINT_PTR kUnpauseTimer = 1;
constexpr UINT_PTR kWatchTimer = 2;
constexpr UINT kDestroyNow = WM_APP + 1;
long g_destroyAtStage = -1;

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
