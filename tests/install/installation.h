#pragma once
// What the installation tests under Wine share: an application folder with
// version 1 installed and version 2 waiting, run through rk_install_runner, and
// programs started beside it.

#include <windows.h>

#include <string>

namespace rk::test {

std::string narrow(const std::wstring& text);
bool contains(const std::string& text, const std::string& part);

// A program of the installation tests' build folder (tests\install\NAME).
std::wstring tool(const std::wstring& name);

// One application folder with version 1 installed and version 2 waiting.
struct Installation {
    explicit Installation(const std::wstring& name);
    // The host program's name is the test's own: process matching is system-wide
    // and tests run side by side.
    Installation(const std::wstring& folder, bool);

    // Rewrites renewkit.ini with this [APPLICATION] Application value.
    void application(const std::string& value) const;

    void installed(const std::wstring& path, const std::string& bytes) const { put(app + path, bytes); }
    void offered(const std::wstring& path, const std::string& bytes) const { put(v2 + path, bytes); }
    void localList(const std::string& body) const;
    void remoteList(const std::string& body) const;

    // Runs the runner; the exit code is the final stage.
    long long run(const std::wstring& extra = L"") const;
    std::wstring commandLine(const std::wstring& extra) const;
    // A "\" before a closing quote would escape it: the folders go without theirs.
    std::wstring arguments() const;
    std::string result() const;
    std::string log() const;
    std::string file(const std::wstring& path) const;
    bool has(const std::wstring& path) const;

    static void put(const std::wstring& path, const std::string& bytes);
    static std::string list(const std::string& body);

    std::wstring root;
    std::wstring host;
    std::wstring app = root + L"app\\";
    std::wstring v2 = root + L"v2\\";
};

// Waits for a file that another process writes, in counted steps.
bool waitForFile(const std::wstring& path);

PROCESS_INFORMATION startProgram(const std::wstring& commandLine);

// rk_sleeper copied into the application folder as NAME and started there,
// running until it is stopped: a program in use, as a running host is.
class RunningCopy {
public:
    RunningCopy(const Installation& inst, const std::wstring& name);
    ~RunningCopy(); // stops it
    RunningCopy(const RunningCopy&) = delete;
    RunningCopy& operator=(const RunningCopy&) = delete;
    bool started() const { return m_started; }
    void stop();

private:
    std::wstring m_stop;
    PROCESS_INFORMATION m_process{};
    bool m_started = false;
};

// The test host copied into the application folder as NAME, showing a window
// that agrees to end when asked: a program a close step would end. It runs
// until it is stopped.
class Bystander {
public:
    Bystander(const Installation& inst, const std::wstring& name);
    ~Bystander(); // stops it
    Bystander(const Bystander&) = delete;
    Bystander& operator=(const Bystander&) = delete;
    bool started() const { return m_started; }
    bool running() const;
    bool askedToEnd() const; // its window received WM_QUERYENDSESSION

private:
    std::wstring m_record;
    std::wstring m_stop;
    PROCESS_INFORMATION m_process{};
    bool m_started = false;
};

} // namespace rk::test
