#pragma once
// The local-check stage step: stage 7, then 9 when every target can be
// replaced, or 8 (locked files, or administrator rights needed: see
// adminRequiredFiles()). Runs only in stage 6 or 7. Driver's thread.

#include "core/host_link.h"

namespace rk {

// `window` receives the status texts; a handle that is not a window counts as
// none, and the questions are asked only when there is a window.
void runLocalCheck(WindowHandle window);

} // namespace rk
