#include "platform/thread.h"

#include <windows.h>
#include <memory>

namespace rk {
namespace {

DWORD WINAPI threadEntry(void* param)
{
    std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(param));
    try {
        (*body)();
    } catch (...) {
        // A worker's failure is its own; the process goes on.
    }
    return 0;
}

} // namespace

bool startDetachedThread(std::function<void()> body)
{
    auto owned = std::make_unique<std::function<void()>>(std::move(body));
    HANDLE h = ::CreateThread(nullptr, 0, threadEntry, owned.get(), 0, nullptr);
    if (!h)
        return false;
    owned.release();
    ::CloseHandle(h);
    return true;
}

} // namespace rk
