#include "platform/sleep.h"

#include <windows.h>

namespace rk {

void sleepFor(unsigned long milliseconds) { ::Sleep(milliseconds); }

} // namespace rk
