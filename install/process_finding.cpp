#include "install/process_finding.h"

#include "core/path_text.h"
#include "platform/processes.h"

namespace rk {
namespace {

constexpr size_t kAllocationLimit = 0x40000000;
constexpr unsigned kEndSessionTimeoutMs = 100;
constexpr unsigned kProcessEndWaitMs = 5000;

class RealProcesses final : public ProcessSystem {
public:
    ProcessId currentProcess() override { return currentProcessId(); }
    bool enumProcesses(std::vector<ProcessId>& out, size_t capacity) override { return enumProcessIds(out, capacity); }
    ProcessRef openProcess(ProcessId pid) override { return openProcessForQuery(pid); }
    void closeProcess(ProcessRef process) override { closeProcessHandle(process); }
    bool enumModules(ProcessRef process, std::vector<ModuleRef>& out, size_t capacity) override
    {
        return enumProcessModules(process, out, capacity);
    }
    std::wstring moduleFileName(ProcessRef process, ModuleRef module) override
    {
        return processModuleFileName(process, module);
    }
    void enumWindows(const std::function<bool(WindowRef)>& step) override { enumTopLevelWindows(step); }
    bool isVisible(WindowRef window) override { return windowHasVisibleStyle(window); }
    ProcessId windowProcess(WindowRef window) override { return windowProcessId(window); }
    WindowRef parent(WindowRef window) override { return windowParent(window); }
    bool isWindow(WindowRef window) override { return isWindowHandle(window); }
    bool queryEndSession(WindowRef window, unsigned timeoutMs) override
    {
        return windowAcceptsEndSession(window, timeoutMs);
    }
    void postCloseAndQuit(WindowRef window) override { rk::postCloseAndQuit(window); }
    void waitThenTerminate(ProcessId pid, unsigned waitMs) override { rk::waitThenTerminate(pid, waitMs); }
};

// Enumerates into growing buffers until the result no longer fills one, so
// nothing is cut off however many there are.
template <typename T, typename Enumerate> bool enumerateAll(std::vector<T>& out, Enumerate enumerate)
{
    size_t capacity = kIteratorCapacity;
    for (;;) {
        if (!enumerate(out, capacity))
            return false;
        if (out.size() < capacity)
            return true;
        capacity *= 2;
    }
}

} // namespace

ProcessSystem& systemProcesses()
{
    static RealProcesses real;
    return real;
}

ProcessId ProcessIterator::first()
{
    m_cursor = -1;
    m_ids.clear();
    if (enumerateAll(m_ids, [this](std::vector<ProcessId>& out, size_t capacity) {
            return m_system.enumProcesses(out, capacity);
        }))
        m_cursor = 1;
    return next();
}

ProcessId ProcessIterator::next()
{
    if (m_cursor < 0 || static_cast<size_t>(m_cursor) >= m_ids.size())
        return 0;
    return m_ids[static_cast<size_t>(m_cursor++)];
}

ModuleIterator::ModuleIterator(ProcessId pid, ProcessSystem& system) : m_system(system)
{
    m_process = m_system.openProcess(pid);
}

ModuleIterator::~ModuleIterator()
{
    if (m_process)
        m_system.closeProcess(m_process);
}

ModuleRef ModuleIterator::first()
{
    m_cursor = -1;
    m_modules.clear();
    if (m_process && enumerateAll(m_modules, [this](std::vector<ModuleRef>& out, size_t capacity) {
            return m_system.enumModules(m_process, out, capacity);
        }))
        m_cursor = 0;
    return next();
}

ModuleRef ModuleIterator::next()
{
    if (m_cursor < 0 || static_cast<size_t>(m_cursor) >= m_modules.size())
        return 0;
    return m_modules[static_cast<size_t>(m_cursor++)];
}

CWindowIterator::CWindowIterator(size_t capacity, ProcessSystem& system) : m_system(system)
{
    m_capacity = capacity < kAllocationLimit ? capacity : 0;
}

WindowRef CWindowIterator::first()
{
    m_windows.clear();
    m_system.enumWindows([this](WindowRef window) { return onWindow(window); });
    m_cursor = 0;
    return next();
}

WindowRef CWindowIterator::next()
{
    if (m_cursor >= m_windows.size())
        return nullptr;
    return m_windows[m_cursor++];
}

bool CWindowIterator::onWindow(WindowRef window)
{
    if (accepts(window) && m_windows.size() < m_capacity)
        m_windows.push_back(window);
    return true;
}

bool CWindowIterator::accepts(WindowRef) { return true; }

bool CMainWindowIterator::accepts(WindowRef window)
{
    return m_system.isVisible(window) && m_system.windowProcess(window) == m_pid;
}

std::wstring mainModulePath(ProcessId pid, ProcessSystem& system)
{
    ModuleIterator modules(pid, system);
    ModuleRef main = modules.first();
    if (!main)
        return L"";
    return toLower(system.moduleFileName(modules.process(), main));
}

bool closeWindowGently(WindowRef window, ProcessId pid, ProcessSystem& system)
{
    if (!system.isWindow(window))
        return true;
    if (!system.queryEndSession(window, kEndSessionTimeoutMs))
        return false;
    system.postCloseAndQuit(window);
    system.waitThenTerminate(pid, kProcessEndWaitMs);
    return true;
}

bool namesAProgram(const std::wstring& text)
{
    const std::wstring trimmed = trimBlanks(text);
    const size_t cut = trimmed.find_last_of(L"\\/:");
    const std::wstring name = cut == std::wstring::npos ? trimmed : trimmed.substr(cut + 1);
    return name.find_first_not_of(L". ") != std::wstring::npos;
}

bool closeProcessesByModule(const std::wstring& text, ProcessSystem& system)
{
    if (!namesAProgram(text))
        return false;
    const std::wstring wanted = toLower(text);
    const ProcessId self = system.currentProcess();
    ProcessIterator processes(system);
    for (ProcessId pid = processes.first(); pid != 0; pid = processes.next()) {
        // Ending the updater would cut its own run short, the list unsaved.
        if (pid == self)
            continue;
        const std::wstring path = mainModulePath(pid, system);
        if (path.empty() || path.find(wanted) == std::wstring::npos)
            continue;
        CMainWindowIterator windows(pid, kIteratorCapacity, system);
        for (WindowRef window = windows.first(); window; window = windows.next()) {
            if (!system.parent(window))
                closeWindowGently(window, pid, system);
        }
    }
    return false;
}

WindowRef findFirstWindowOfProcess(ProcessId pid, ProcessSystem& system)
{
    WindowRef found = nullptr;
    system.enumWindows([&](WindowRef window) {
        if (system.windowProcess(window) != pid)
            return true;
        found = window;
        return false;
    });
    return found;
}

} // namespace rk
