#include "run/admin_relaunch.h"

#include "core/run_log.h"

namespace rk {

void continueAsAdministrator(bool /*saveList*/)
{
    logLine(L"Running as administrator is not available in this build.");
}

} // namespace rk
