#pragma once
// What the end-to-end tests share: a stamped updater per test in a folder of
// its own, starting it and waiting while this thread keeps pumping messages
// (the updater sends to our windows and waits for the answer).

#include <string>
#include <vector>

namespace rk::e2e {

std::wstring buildDir(); // Windows path of the build folder, with "\"

struct Deployment {
    std::wstring folder;       // the test's own folder, with "\"
    std::wstring exe;          // the stamped updater
    std::wstring appDirectory; // C:\Mellowby\mbqb\<...>\ it will use
    std::string embedded;      // the bytes it embeds
};

// Makes <C:\rktest\test>\<subFolder>\renewkit.exe stamped with `ini`, and
// removes what an earlier run left in its application directory.
Deployment makeUpdater(const std::wstring& test, const std::string& ini, const std::wstring& subFolder = L"bin",
                       const std::wstring& appSubFolder = L"");

// Starts the command line and waits for it, pumping messages; the exit code,
// or -1 when it could not start or did not end in time.
long long runProgram(const std::wstring& commandLine, unsigned timeoutMs = 60000);

// A program started without waiting, for tests that drive its windows. The
// destructor ends it when it is still running.
class RunningProgram {
public:
    explicit RunningProgram(const std::wstring& commandLine);
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    bool started() const { return m_process != nullptr; }
    unsigned long id() const { return m_id; }
    // Waits for the end, pumping messages; the exit code, or -1 after the time-out.
    long long wait(unsigned timeoutMs = 60000);
    bool running() const;

private:
    void* m_process = nullptr;
    unsigned long m_id = 0;
};

// The first top-level window of the process for which test() is true
// (null after `polls` polls of 10 ms); test gets the window handle.
void* waitForWindow(unsigned long processId, bool (*test)(void* window), int polls = 3000);
// Polls until check() is true, 10 ms apart; false after `polls` polls.
template <typename Check> bool waitUntil(Check check, int polls = 3000);
void pollPause(); // one 10 ms pause, pumping this thread's messages

template <typename Check> bool waitUntil(Check check, int polls)
{
    for (int i = 0; i < polls; ++i) {
        if (check())
            return true;
        pollPause();
    }
    return check();
}

// A symbolic link to a folder, made on the Unix side for the life of the
// object: Wine 8 reports it as a reparse point (as Windows does a junction or a
// folder link) but can neither make nor remove one itself.
class PlantedLink {
public:
    PlantedLink(const std::wstring& link, const std::wstring& target);
    ~PlantedLink();
    PlantedLink(const PlantedLink&) = delete;
    PlantedLink& operator=(const PlantedLink&) = delete;
    bool planted() const { return m_planted; }

private:
    std::wstring m_link;
    bool m_planted = false;
};

std::string readBytes(const std::wstring& path);
// The texts of the run log (inst.log) in the folder, without their time stamps, in order.
std::vector<std::wstring> logTexts(const std::wstring& appDirectory);
void writeBytes(const std::wstring& path, const std::string& bytes);

} // namespace rk::e2e
