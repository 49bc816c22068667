// A window of this process that is entered as a host window (as the progress
// window is) and logs while it handles a status text or a description: the
// sender must not hold a lock that the window's own log line needs.
#include "core/host_link.h"
#include "core/run_log.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

using namespace rk;

namespace {

// Written only on the window's thread; read after that thread ended.
std::vector<std::wstring> g_seen;

LRESULT CALLBACK loggingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == msg::kStatusText || message == msg::kDescription) {
        g_seen.push_back(reinterpret_cast<const wchar_t*>(wParam));
        // Goes back to every listed window, this one included.
        logLine(L"handled " + std::to_wstring(message));
        return 0;
    }
    if (message == msg::kLogLine) {
        g_seen.push_back(wParam ? reinterpret_cast<const wchar_t*>(wParam) : L"(no text)");
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

// The window on a thread of its own, with a message loop, until WM_QUIT.
class WindowThread {
public:
    WindowThread()
    {
        std::promise<HWND> made;
        std::future<HWND> window = made.get_future();
        m_thread = std::thread([&made] {
            WNDCLASSW wc = {};
            wc.lpfnWndProc = loggingProc;
            wc.hInstance = ::GetModuleHandleW(nullptr);
            wc.lpszClassName = L"rk_logging_window";
            ::RegisterClassW(&wc);
            HWND w = ::CreateWindowW(wc.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance,
                                     nullptr);
            made.set_value(w);
            MSG m;
            while (::GetMessageW(&m, nullptr, 0, 0) > 0)
                ::DispatchMessageW(&m);
            ::DestroyWindow(w);
        });
        m_window = window.get();
    }
    ~WindowThread()
    {
        ::PostMessageW(m_window, WM_QUIT, 0, 0);
        m_thread.join();
    }
    HWND window() const { return m_window; }

private:
    std::thread m_thread;
    HWND m_window = nullptr;
};

// Runs the send on another thread. A deadlocked send never returns, and the
// process cannot end normally with it: report and leave at once.
void sendFromAnotherThread(const char* what, std::function<void()> send)
{
    std::packaged_task<void()> task(std::move(send));
    std::future<void> done = task.get_future();
    std::thread(std::move(task)).detach();
    // A generous bound on a send that completes at once when nothing is held.
    if (done.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        std::fprintf(stderr, "%s: the send never returned (lock held across a send to this process)\n", what);
        std::fflush(stderr);
        ::TerminateProcess(::GetCurrentProcess(), 1);
    }
}

} // namespace

TEST(HostSendLocks, AWindowOfThisProcessMayLogWhileHandlingWhatWasSentToIt)
{
    g_seen.clear();
    {
        WindowThread thread;
        ASSERT_NE(thread.window(), nullptr);
        ::SetPropW(thread.window(), L"renewkit.needmsg", reinterpret_cast<HANDLE>(msg::kWantsMessages));
        HostWindows::instance().add(thread.window());

        sendFromAnotherThread("status text", [&] { sendStatusText(thread.window(), L"checking"); });
        sendFromAnotherThread("description", [] { sendDescription(L"notes of the release"); });
        sendFromAnotherThread("log line", [] { logLine(L"plain line"); });
    }
    HostWindows::instance().clear();

    // The texts reached the window by address in this process, in order,
    // each followed by the line the window logged about it.
    const std::vector<std::wstring> expected{L"checking", L"handled 1040", L"notes of the release", L"handled 1977",
                                             L"plain line"};
    EXPECT_EQ(g_seen, expected);
}

TEST(HostSendLocks, ATextForAWindowOfThisProcessIsCutAsForAHost)
{
    g_seen.clear();
    {
        WindowThread thread;
        HostWindows::instance().add(thread.window());
        sendFromAnotherThread("long text", [&] { sendStatusText(thread.window(), std::wstring(1500, L'x')); });
    }
    HostWindows::instance().clear();
    ASSERT_FALSE(g_seen.empty());
    EXPECT_EQ(g_seen.front(), std::wstring(1023, L'x'));
}
