#pragma once
// The application object every program of ours derives from: start-up, the
// thread's message loop and shut-down. Called on the main thread only.

namespace rk {

class AppObject {
public:
    virtual ~AppObject() = default;

    // True when the message loop should run.
    virtual bool startUp() = 0;
    // Pumps the thread's messages until WM_QUIT, then shuts down; returns the exit code.
    virtual int messageLoop();
    // Releases what start-up took; returns the exit code.
    virtual int shutDown() = 0;

    // startUp, then the message loop when it succeeded, else shut-down.
    int run();
};

// GetMessage / TranslateMessage / DispatchMessage until WM_QUIT; returns the
// quit message's code, or -1 when GetMessage failed.
int pumpMessages();

} // namespace rk
