#include "tests/download/message_recorder.h"

#include <condition_variable>
#include <memory>
#include <windows.h>

namespace rk::test {
namespace {

constexpr wchar_t kClassName[] = L"RkTestMessageRecorder";

LRESULT CALLBACK recorderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        return 0;
    }
    // The progress range, and the messages a host window gets (1974 to 1977).
    if ((message >= WM_USER && message < WM_USER + 0x100) || (message >= 1974 && message <= 1977)) {
        auto* sink = reinterpret_cast<std::pair<std::mutex*, std::vector<RecordedMessage>*>*>(
            ::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (sink) {
            std::lock_guard<std::mutex> guard(*sink->first);
            sink->second->push_back({message, wParam, lParam});
        }
        return 0;
    }
    if (message == WM_CLOSE) {
        ::DestroyWindow(window);
        return 0;
    }
    if (message == WM_DESTROY) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

MessageRecorder::MessageRecorder()
{
    std::mutex readyLock;
    std::condition_variable ready;
    bool created = false;
    m_thread = std::thread([&] {
        WNDCLASSW cls{};
        cls.lpfnWndProc = recorderProc;
        cls.hInstance = ::GetModuleHandleW(nullptr);
        cls.lpszClassName = kClassName;
        ::RegisterClassW(&cls);
        auto sink = std::make_unique<std::pair<std::mutex*, std::vector<RecordedMessage>*>>(&m_lock, &m_messages);
        HWND window =
            ::CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, cls.hInstance, sink.get());
        {
            std::lock_guard<std::mutex> guard(readyLock);
            m_window = window;
            created = true;
        }
        ready.notify_one();
        MSG msg;
        while (window && ::GetMessageW(&msg, nullptr, 0, 0) > 0)
            ::DispatchMessageW(&msg);
    });
    std::unique_lock<std::mutex> guard(readyLock);
    ready.wait(guard, [&] { return created; });
}

MessageRecorder::~MessageRecorder()
{
    if (m_window)
        ::PostMessageW(static_cast<HWND>(m_window), WM_CLOSE, 0, 0);
    m_thread.join();
}

std::vector<RecordedMessage> MessageRecorder::messages() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_messages;
}

std::vector<RecordedMessage> MessageRecorder::messages(unsigned message) const
{
    std::vector<RecordedMessage> matching;
    for (const RecordedMessage& m : messages()) {
        if (m.message == message)
            matching.push_back(m);
    }
    return matching;
}

} // namespace rk::test
