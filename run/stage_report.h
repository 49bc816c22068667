#pragma once
// A stage change of the update run: the host windows hear of it, the update
// list keeps it, and the stage's hooks run. Any thread may call these.

#include "core/host_link.h"

#include <cstdint>
#include <string>

namespace rk {

// 1974 and the properties to the host windows (with the update file count),
// the stage stored in the update list, then the hooks of [UpdateEvent] and
// [UpdateEventWaitClose]. payload is the window for the hooks' status texts.
void reportStage(std::int32_t stage, WindowHandle payload);

// Runs the hooks named `name` (also "UpdateStartup"): without waiting, then with.
void runStageHooks(const std::wstring& name, WindowHandle statusWindow);

// 1976 to the host windows: `completed` files of the update list's count.
void reportProgress(long completed);

} // namespace rk
