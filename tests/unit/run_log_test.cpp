#include "core/run_log.h"
#include "core/settings.h"
#include "platform/codepage.h"
#include "tests/unit/test_folder.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <thread>
#include <vector>

using namespace rk;

TEST(RunLog, LineFormat)
{
    EXPECT_EQ(formatLogLine(L"error[a.dll]", 2026, 3, 4, 5, 6, 7), L"[2026-03-04 05:06:07]error[a.dll]");
    EXPECT_EQ(formatLogLine(L"", 2026, 12, 31, 23, 59, 59), L"[2026-12-31 23:59:59]");
}

TEST(RunLog, AppendsAndNeverRewrites)
{
    test::TestFolder dir(L"runlog-append");
    dir.write(L"renewkit.ini", "[RenewKit]\r\nLog=logs\\\\inst.log\r\n");
    dir.write(L"logs\\inst.log", "old line\r\n");
    logLine(L"first");
    logLine(L"second");
    std::string bytes = dir.read(L"logs\\inst.log");
    std::regex shape("old line\r\n\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\]first\r\n"
                     "\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\]second\r\n");
    EXPECT_TRUE(std::regex_match(bytes, shape)) << bytes;
}

TEST(RunLog, EmptyLogMeansNoFile)
{
    test::TestFolder dir(L"runlog-none");
    dir.write(L"renewkit.ini", "[RenewKit]\r\nLog=\r\n");
    logLine(L"nothing");
    EXPECT_EQ(logFilePath(), L"");
    EXPECT_EQ(dir.read(L"inst.log"), "");
}

TEST(RunLog, DriveLetterValueLogsNothing)
{
    test::TestFolder dir(L"runlog-drive");
    dir.write(L"renewkit.ini", "[RenewKit]\r\nLog=C:\\x.log\r\n");
    logLine(L"lost"); // joined to the application directory: an invalid path
    EXPECT_EQ(logFilePath(), dir.path() + L"C:\\x.log");
}

TEST(RunLog, UnrepresentableCharactersBecomeTheReplacementCharacter)
{
    test::TestFolder dir(L"runlog-ansi");
    dir.write(L"renewkit.ini", "[RenewKit]\r\nLog=inst.log\r\n");
    const std::wstring text = L"file \x4E2D\x6587.dll";
    logLine(text);
    std::string bytes = dir.read(L"inst.log");
    EXPECT_NE(bytes.find(wideToBytes(text, kCodePageThreadAnsi)), std::string::npos) << bytes;
}

TEST(RunLog, ThreadsLoggingAtOnceKeepLinesWhole)
{
    test::TestFolder dir(L"runlog-threads");
    dir.write(L"renewkit.ini", "[RenewKit]\r\nLog=inst.log\r\n");
    const int kThreads = 4, kLines = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i)
                logLine(L"thread " + std::to_wstring(t) + L" line " + std::to_wstring(i) + L" " +
                        std::wstring(100, L'x'));
        });
    }
    for (auto& th : threads)
        th.join();
    std::istringstream in(dir.read(L"inst.log"));
    std::regex shape("\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\]thread \\d line \\d+ x{100}\r");
    std::string line;
    int count = 0;
    while (std::getline(in, line)) {
        EXPECT_TRUE(std::regex_match(line, shape)) << line;
        ++count;
    }
    EXPECT_EQ(count, kThreads * kLines);
}
