// Stage hooks reach programs through runFile: task files run, and a hook that
// names no file is skipped with a log line.
#include "core/settings.h"
#include "platform/system.h"
#include "run/stage_report.h"
#include "tests/unit/test_folder.h"

#include <gtest/gtest.h>

using namespace rk;

TEST(Hooks, HookWithArgumentsIsSkippedAndLoggedAndTaskFileHooksRun)
{
    ComApartment com;
    test::TestFolder dir(L"hooks-skipped");
    const std::string app(dir.path().begin(), dir.path().end());
    dir.write(L"renewkit.ini", "[RenewKit]\r\nLog=run.log\r\n[UpdateEvent]\r\nUpdateCopy=notify.exe /x\r\n"
                               "[UpdateEventWaitClose]\r\nUpdateCopyOk=hook.xml\r\n");
    dir.write(L"notify.exe", "not started either way");
    dir.write(L"hook.xml", "<tasks><ini file=\"marks.ini\" app=\"Hook\" key=\"Ran\" value=\"1\"/></tasks>");

    runStageHooks(L"UpdateCopy", nullptr);
    runStageHooks(L"UpdateCopyOk", nullptr);

    const std::string log = dir.read(L"run.log");
    EXPECT_NE(log.find("Hook skipped, no such file[UpdateCopy=notify.exe /x]"), std::string::npos) << log;
    EXPECT_NE(dir.read(L"marks.ini").find("Ran=1"), std::string::npos) << "the task file hook ran";
    EXPECT_EQ(log.find("Hook skipped, no such file[UpdateCopyOk"), std::string::npos);
}
