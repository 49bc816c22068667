#pragma once
// The one way the program starts threads. Nothing thrown in a body escapes it.

#include <functional>

namespace rk {

// Starts a thread that nobody joins; false when the system refused it.
bool startDetachedThread(std::function<void()> body);

} // namespace rk
