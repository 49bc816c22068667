#pragma once
// Finding the processes that run a program and their windows, and closing them.
// Matching is by text inclusion in the lower-cased main module path. The system
// calls go through ProcessSystem so that matching, ordering and waits can be
// driven by tests; systemProcesses() is the real one. Calling thread only.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace rk {

using ProcessId = std::uint32_t;
using ProcessRef = std::uintptr_t; // an opened process; 0 when it could not be opened
using ModuleRef = std::uintptr_t;
using WindowRef = void*;

class ProcessSystem {
public:
    virtual ~ProcessSystem() = default;
    virtual ProcessId currentProcess() = 0;
    // Fills out with at most `capacity` identifiers; false on failure.
    virtual bool enumProcesses(std::vector<ProcessId>& out, size_t capacity) = 0;
    virtual ProcessRef openProcess(ProcessId pid) = 0;
    virtual void closeProcess(ProcessRef process) = 0;
    virtual bool enumModules(ProcessRef process, std::vector<ModuleRef>& out, size_t capacity) = 0;
    virtual std::wstring moduleFileName(ProcessRef process, ModuleRef module) = 0;
    // Calls step for each top-level window until it returns false.
    virtual void enumWindows(const std::function<bool(WindowRef)>& step) = 0;
    virtual bool isVisible(WindowRef window) = 0;
    virtual ProcessId windowProcess(WindowRef window) = 0;
    virtual WindowRef parent(WindowRef window) = 0;
    virtual bool isWindow(WindowRef window) = 0;
    // WM_QUERYENDSESSION with SMTO_ABORTIFHUNG; true when the answer is not 0.
    virtual bool queryEndSession(WindowRef window, unsigned timeoutMs) = 0;
    virtual void postCloseAndQuit(WindowRef window) = 0;
    // Waits for the process up to waitMs, then terminates it with exit code 0.
    virtual void waitThenTerminate(ProcessId pid, unsigned waitMs) = 0;
};

ProcessSystem& systemProcesses();

constexpr size_t kIteratorCapacity = 1024;

// The process identifiers of the system, the first one (the idle process) left out.
class ProcessIterator {
public:
    explicit ProcessIterator(ProcessSystem& system = systemProcesses()) : m_system(system) {}
    ProcessId first(); // 0 when there is none
    ProcessId next();  // 0 at the end

private:
    ProcessSystem& m_system;
    std::vector<ProcessId> m_ids;
    long m_cursor = -1;
};

// The modules of one process, the main executable first.
class ModuleIterator {
public:
    explicit ModuleIterator(ProcessId pid, ProcessSystem& system = systemProcesses());
    ~ModuleIterator();
    ModuleIterator(const ModuleIterator&) = delete;
    ModuleIterator& operator=(const ModuleIterator&) = delete;

    ModuleRef first(); // 0 when there is none or the process could not be opened
    ModuleRef next();
    ProcessRef process() const { return m_process; }

private:
    ProcessSystem& m_system;
    ProcessRef m_process = 0;
    std::vector<ModuleRef> m_modules;
    long m_cursor = -1;
};

// Top-level windows, collected at first() up to the capacity.
class CWindowIterator {
public:
    explicit CWindowIterator(size_t capacity, ProcessSystem& system = systemProcesses());
    virtual ~CWindowIterator() = default;
    CWindowIterator(const CWindowIterator&) = delete;
    CWindowIterator& operator=(const CWindowIterator&) = delete;

    WindowRef first();
    WindowRef next();
    size_t count() const { return m_windows.size(); }

protected:
    // Stores the window when the filter takes it and there is room; always goes on.
    virtual bool onWindow(WindowRef window);
    virtual bool accepts(WindowRef window);
    ProcessSystem& m_system;

private:
    std::vector<WindowRef> m_windows;
    size_t m_capacity = 0;
    size_t m_cursor = 0;
};

// The visible top-level windows of one process.
class CMainWindowIterator : public CWindowIterator {
public:
    CMainWindowIterator(ProcessId pid, size_t capacity, ProcessSystem& system = systemProcesses())
        : CWindowIterator(capacity, system), m_pid(pid)
    {
    }

protected:
    bool accepts(WindowRef window) override;

private:
    ProcessId m_pid;
};

// Lower-cased path of the process's main module; empty when it cannot be read.
std::wstring mainModulePath(ProcessId pid, ProcessSystem& system = systemProcesses());

// True when the window is gone or its process was asked to end (and ended, or
// was terminated after 5000 ms); false when the window refused the session query.
bool closeWindowGently(WindowRef window, ProcessId pid, ProcessSystem& system = systemProcesses());

// True when the text ends in a file name: not empty, not a folder (a text that
// ends in a backslash or a slash), not a drive such as "C:" and not only dots.
// Anything less would match the path of nearly every process.
bool namesAProgram(const std::wstring& text);

// Gently closes the parentless visible windows of every process whose main
// module path contains the text (any case). Nothing happens when the text names
// no program, and this process is never closed. Always false; callers ignore it.
bool closeProcessesByModule(const std::wstring& text, ProcessSystem& system = systemProcesses());

// The first top-level window, visible or not, of the process; null when none.
WindowRef findFirstWindowOfProcess(ProcessId pid, ProcessSystem& system = systemProcesses());

} // namespace rk
