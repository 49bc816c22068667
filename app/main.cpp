#include "app/application.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    try {
        rk::CUpdateApp app;
        return app.run();
    } catch (...) {
        return 0;
    }
}
