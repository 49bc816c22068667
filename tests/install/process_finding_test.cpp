#include "install/process_finding.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <map>
#include <string>
#include <vector>

using namespace rk;

namespace {

WindowRef win(std::uintptr_t n) { return reinterpret_cast<WindowRef>(n); }

struct FakeWindow {
    WindowRef handle;
    ProcessId pid;
    bool visible = true;
    WindowRef parent = nullptr;
    bool acceptsEndSession = true;
};

// A system of processes and windows in memory, recording what was done to them.
class FakeSystem final : public ProcessSystem {
public:
    std::vector<ProcessId> pids;
    std::map<ProcessId, std::vector<std::wstring>> modules; // missing: cannot be opened
    std::vector<FakeWindow> windows;
    std::vector<size_t> capacitiesAsked;
    std::vector<std::wstring> calls;
    int openHandles = 0;
    ProcessId self = 999;

    ProcessId currentProcess() override { return self; }

    bool enumProcesses(std::vector<ProcessId>& out, size_t capacity) override
    {
        capacitiesAsked.push_back(capacity);
        out.assign(pids.begin(), pids.begin() + static_cast<long>(std::min(capacity, pids.size())));
        return true;
    }
    ProcessRef openProcess(ProcessId pid) override
    {
        if (!modules.count(pid))
            return 0;
        ++openHandles;
        return pid;
    }
    void closeProcess(ProcessRef) override { --openHandles; }
    bool enumModules(ProcessRef process, std::vector<ModuleRef>& out, size_t capacity) override
    {
        out.clear();
        const auto& names = modules[static_cast<ProcessId>(process)];
        for (size_t i = 0; i < names.size() && i < capacity; ++i)
            out.push_back(i + 1);
        return true;
    }
    std::wstring moduleFileName(ProcessRef process, ModuleRef module) override
    {
        return modules[static_cast<ProcessId>(process)][module - 1];
    }
    void enumWindows(const std::function<bool(WindowRef)>& step) override
    {
        for (const auto& w : windows) {
            if (!step(w.handle))
                break;
        }
    }
    const FakeWindow* find(WindowRef handle) const
    {
        for (const auto& w : windows)
            if (w.handle == handle)
                return &w;
        return nullptr;
    }
    bool isVisible(WindowRef window) override { return find(window)->visible; }
    ProcessId windowProcess(WindowRef window) override { return find(window)->pid; }
    WindowRef parent(WindowRef window) override { return find(window)->parent; }
    bool isWindow(WindowRef window) override { return find(window) != nullptr; }
    bool queryEndSession(WindowRef window, unsigned timeoutMs) override
    {
        calls.push_back(L"query " + std::to_wstring(reinterpret_cast<std::uintptr_t>(window)) + L" " +
                        std::to_wstring(timeoutMs));
        return find(window)->acceptsEndSession;
    }
    void postCloseAndQuit(WindowRef window) override
    {
        calls.push_back(L"close " + std::to_wstring(reinterpret_cast<std::uintptr_t>(window)));
    }
    void waitThenTerminate(ProcessId pid, unsigned waitMs) override
    {
        calls.push_back(L"wait " + std::to_wstring(pid) + L" " + std::to_wstring(waitMs));
    }
};

} // namespace

TEST(ProcessIterator, SkipsTheFirstIdentifierAndGrowsUntilEverythingFits)
{
    FakeSystem system;
    for (ProcessId pid = 0; pid < 3000; ++pid)
        system.pids.push_back(pid * 4);
    ProcessIterator processes(system);
    std::vector<ProcessId> seen;
    for (ProcessId pid = processes.first(); pid != 0; pid = processes.next())
        seen.push_back(pid);
    ASSERT_EQ(seen.size(), 2999u);
    EXPECT_EQ(seen.front(), 4u);
    EXPECT_EQ(seen.back(), 2999u * 4);
    EXPECT_EQ(system.capacitiesAsked.front(), kIteratorCapacity);
    EXPECT_GT(system.capacitiesAsked.back(), 3000u);

    FakeSystem exact; // exactly one buffer full must also be enlarged once
    exact.pids.assign(kIteratorCapacity, 7);
    ProcessIterator full(exact);
    full.first();
    EXPECT_EQ(exact.capacitiesAsked.size(), 2u);
}

TEST(ProcessFinding, MainModuleIsTheFirstModuleLowerCasedAndHandlesAreClosed)
{
    FakeSystem system;
    system.modules[10] = {L"C:\\App\\Host.EXE", L"C:\\Windows\\ntdll.dll"};
    system.modules[11] = {};
    EXPECT_EQ(mainModulePath(10, system), L"c:\\app\\host.exe");
    EXPECT_EQ(mainModulePath(11, system), L"");
    EXPECT_EQ(mainModulePath(12, system), L"") << "a process that cannot be opened";
    EXPECT_EQ(system.openHandles, 0);
}

TEST(ProcessFinding, WindowIteratorsFilterAndKeepToTheirCapacity)
{
    FakeSystem system;
    system.windows = {{win(1), 5, true}, {win(2), 6, true}, {win(3), 5, false}, {win(4), 5, true}, {win(5), 5, true}};
    CWindowIterator all(3, system);
    EXPECT_EQ(all.first(), win(1));
    EXPECT_EQ(all.count(), 3u) << "windows past the capacity are dropped";
    CMainWindowIterator mine(5, 1024, system);
    std::vector<WindowRef> seen;
    for (WindowRef w = mine.first(); w; w = mine.next())
        seen.push_back(w);
    EXPECT_EQ(seen, (std::vector<WindowRef>{win(1), win(4), win(5)})) << "visible windows of pid 5 in order";
    CWindowIterator none(0x40000000, system);
    EXPECT_EQ(none.first(), nullptr) << "an impossible capacity is an allocation failure";
}

TEST(ProcessFinding, GentleCloseAsksFirstAndOnlyThenClosesAndWaits)
{
    FakeSystem system;
    system.windows = {{win(1), 5, true, nullptr, true}, {win(2), 6, true, nullptr, false}};
    EXPECT_TRUE(closeWindowGently(win(99), 5, system)) << "a window that is gone counts as closed";
    EXPECT_TRUE(system.calls.empty());
    EXPECT_FALSE(closeWindowGently(win(2), 6, system));
    EXPECT_EQ(system.calls, (std::vector<std::wstring>{L"query 2 100"}));
    system.calls.clear();
    EXPECT_TRUE(closeWindowGently(win(1), 5, system));
    EXPECT_EQ(system.calls, (std::vector<std::wstring>{L"query 1 100", L"close 1", L"wait 5 5000"}));
}

TEST(ProcessFinding, CloseByModuleMatchesTextAnywhereInThePathAndClosesTopLevelWindowsOnly)
{
    FakeSystem system;
    system.pids = {0, 20, 21, 22, 23};
    system.modules[0] = {L"c:\\idle\\host.exe"};
    system.modules[20] = {L"C:\\x\\MyHost.exe"};
    system.modules[21] = {L"c:\\host.exe.bak\\y.exe"};
    system.modules[22] = {L"c:\\other\\tool.exe"};
    // 23 cannot be opened, whatever it runs
    system.windows = {
        {win(1), 20, true}, {win(2), 20, true, win(1)}, {win(3), 21, false}, {win(4), 21, true, nullptr, false},
        {win(5), 22, true}, {win(6), 23, true},         {win(7), 0, true}};
    EXPECT_FALSE(closeProcessesByModule(L"HOST.exe", system));
    EXPECT_EQ(system.calls, (std::vector<std::wstring>{L"query 1 100", L"close 1", L"wait 20 5000", L"query 4 100"}));
    EXPECT_EQ(system.openHandles, 0);
}

TEST(ProcessFinding, FirstWindowOfProcessIgnoresVisibility)
{
    FakeSystem system;
    system.windows = {{win(1), 5, true}, {win(2), 6, false}, {win(3), 6, true}};
    EXPECT_EQ(findFirstWindowOfProcess(6, system), win(2));
    EXPECT_EQ(findFirstWindowOfProcess(7, system), nullptr);
}

TEST(ProcessFinding, CloseByModuleNeedsAProgramNameAndNeverClosesThisProcess)
{
    FakeSystem system;
    system.pids = {0, 20, 21};
    system.modules[20] = {L"c:\\app\\host.exe"};
    system.modules[21] = {L"c:\\app\\renewkit.exe"};
    system.windows = {{win(1), 20, true}, {win(2), 21, true}};
    system.self = 21;
    // Each would be found in the path of nearly every process.
    for (const wchar_t* none : {L"", L"   ", L"c:\\", L"C:\\app\\", L"c:/app/", L"c:", L"c:\\app\\..", L"."}) {
        closeProcessesByModule(none, system);
        EXPECT_TRUE(system.calls.empty()) << std::string(none, none + std::wcslen(none));
    }
    closeProcessesByModule(L"c:\\app\\renewkit.exe", system);
    EXPECT_TRUE(system.calls.empty()) << "the updater's own process";
    closeProcessesByModule(L".exe", system);
    EXPECT_EQ(system.calls, (std::vector<std::wstring>{L"query 1 100", L"close 1", L"wait 20 5000"}))
        << "every other match, as before";
}

TEST(ProcessFinding, ProgramNamesEndInAFileName)
{
    for (const wchar_t* name : {L"host.exe", L"C:\\app\\host.exe", L" sub\\tool ", L"c:/x/y", L".exe"})
        EXPECT_TRUE(namesAProgram(name)) << std::string(name, name + std::wcslen(name));
    for (const wchar_t* name : {L"", L" ", L"C:", L"C:\\", L"sub\\", L"a/", L"..", L"C:\\app\\. ."})
        EXPECT_FALSE(namesAProgram(name)) << std::string(name, name + std::wcslen(name));
}
