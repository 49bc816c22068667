#include "ui/app_object.h"

#include <windows.h>

namespace rk {

int pumpMessages()
{
    MSG msg{};
    for (;;) {
        BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0)
            return static_cast<int>(msg.wParam);
        if (got == -1)
            return -1;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

int AppObject::messageLoop()
{
    pumpMessages();
    return shutDown();
}

int AppObject::run()
{
    if (startUp())
        return messageLoop();
    return shutDown();
}

} // namespace rk
