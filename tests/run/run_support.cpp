#include "tests/run/run_support.h"

#include "core/path_helpers.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/sleep.h"
#include "tests/download/server_env.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <windows.h>

namespace rk::test {
namespace {

// The updater's windows at 150 % are measured in the screen's pixels, as the
// screenshots are: this program reads them as one aware of the DPI would
// (an unaware one would be given rectangles scaled to 96 DPI).
const bool g_dpiAware = [] {
    using SetContext = BOOL(WINAPI*)(HANDLE);
    HMODULE user = ::GetModuleHandleW(L"user32.dll");
    auto set = user ? reinterpret_cast<SetContext>(
                          reinterpret_cast<void*>(::GetProcAddress(user, "SetProcessDpiAwarenessContext")))
                    : nullptr;
    // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2 is (HANDLE)-4.
    return (set && set(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4)))) || ::SetProcessDPIAware();
}();

} // namespace
namespace {

std::wstring quoted(const std::wstring& s) { return L"\"" + s + L"\""; }

void collect(const std::wstring& root, const std::wstring& relative, std::vector<std::wstring>& out)
{
    for (const DirectoryEntry& e : listDirectory(root + relative)) {
        std::wstring path = relative.empty() ? e.name : relative + L"\\" + e.name;
        if (e.isDirectory)
            collect(root, path, out);
        else
            out.push_back(path);
    }
}

std::wstring releaseSource(const std::wstring& release) { return serverStateDir() + L"releases\\" + release + L"\\"; }

} // namespace

std::wstring releaseListUrl(const std::wstring& release) { return nginxUrl(L"pub/" + release + L"/update.xml"); }

std::wstring publishAs(const std::wstring& release, const std::wstring& name)
{
    const std::wstring from = serverStateDir() + L"data\\pub\\" + release + L"\\";
    const std::wstring to = serverStateDir() + L"data\\pub\\" + name + L"\\";
    deleteTree(to);
    std::vector<std::wstring> files;
    collect(from, L"", files);
    for (const std::wstring& file : files) {
        createFolderChain(to + file);
        copyFileReplacing(from + file, to + file);
    }
    return releaseListUrl(name);
}

std::wstring publishList(const std::wstring& name, const std::string& xml)
{
    const std::wstring to = serverStateDir() + L"data\\pub\\" + name + L"\\";
    createFolderChain(to + L"update.xml");
    e2e::writeBytes(to + L"update.xml", xml);
    // Every deployment publishes a master list beside its list; an empty one adds nothing.
    e2e::writeBytes(to + L"renewkit.main.xml", "<update></update>");
    return releaseListUrl(name);
}

RunSetup makeRun(const std::wstring& test, const std::wstring& listUrl, const std::string& renewKitLines,
                 const std::string& applicationLines, const std::string& updateInfoLines)
{
    RunSetup run;
    run.name = L"RunTest" + test;
    // The host program is found by its path among all processes of the
    // system: a full path keeps tests that run at the same time apart.
    const std::wstring application = L"C:\\Mellowby\\mbqb\\" + run.name + L"\\demo.exe";
    // A test that sets ShowWhenCheck or QuickCheck itself gets its value: the first of two keys would win.
    const std::string showWhenCheck =
        renewKitLines.find("ShowWhenCheck=") == std::string::npos ? "ShowWhenCheck=0\n" : "";
    const std::string quickCheck = renewKitLines.find("QuickCheck=") == std::string::npos ? "QuickCheck=0\n" : "";
    const std::string ini = "[RenewKit]\nLog=inst.log\nLangage=\n" + showWhenCheck + quickCheck + "TimeOut=30\n" +
                            renewKitLines + "\n[UPDATEINFO]\nListURL=" + narrow(listUrl) + "\n" + updateInfoLines +
                            "\n[APPLICATION]\nApplication=" + narrow(application) + "\nName=" + narrow(run.name) +
                            "\nqbdir=202612080000000000001\n" + applicationLines;
    run.updater = e2e::makeUpdater(test, ini, L"bin", run.name);
    run.appDir = run.updater.appDirectory;
    createFolderChain(run.appDir);
    return run;
}

std::vector<std::wstring> releaseFiles(const std::wstring& release)
{
    std::vector<std::wstring> out;
    collect(releaseSource(release), L"", out);
    return out;
}

std::string releaseFile(const std::wstring& release, const std::wstring& path)
{
    return e2e::readBytes(releaseSource(release) + path);
}

void installRelease(const RunSetup& run, const std::wstring& release)
{
    for (const std::wstring& file : releaseFiles(release)) {
        createFolderChain(run.appDir + file);
        e2e::writeBytes(run.appDir + file, releaseFile(release, file));
    }
    e2e::writeBytes(run.appDir + L"renewkit.xml",
                    e2e::readBytes(serverStateDir() + L"data\\pub\\" + release + L"\\update.xml"));
}

std::vector<HostEvent> silentRun(const RunSetup& run, const std::wstring& hostOptions, long long* exitCode)
{
    return hostRun(run, hostOptions, L"silence", exitCode);
}

std::vector<HostEvent> hostRun(const RunSetup& run, const std::wstring& hostOptions, const std::wstring& words,
                               long long* exitCode)
{
    const std::wstring record = run.updater.folder + L"record.jsonl";
    const std::wstring host = e2e::buildDir() + L"tools\\renewkit-testhost.exe";
    const std::wstring command = quoted(host) + L" --updater " + quoted(run.updater.exe) + L" --record " +
                                 quoted(record) + L" --needmsg 1974 " + hostOptions + L" -- " + words;
    deleteFileForced(record); // a record left by an earlier run must not pass for this one
    long long code = e2e::runProgram(command, 110000);
    std::vector<HostEvent> events = readHostRecord(record);
    // The host writes its last line whatever the updater did, so an empty record
    // means the host itself never ran (Wine rarely loses a start): once more.
    if (events.empty()) {
        std::fprintf(stderr, "the test host left no record (exit code %lld); it is started once more\n", code);
        code = e2e::runProgram(command, 110000);
        events = readHostRecord(record);
    }
    if (exitCode)
        *exitCode = code;
    return events;
}

std::vector<long long> stagesSeen(const std::vector<HostEvent>& events)
{
    std::vector<long long> stages;
    for (const HostEvent& e : events) {
        if (e.isMessage(1974))
            stages.push_back(e.number("wparam"));
    }
    return stages;
}

long long exitCodeOf(const std::vector<HostEvent>& events)
{
    return !events.empty() && events.back().has("exit") ? events.back().number("exit") : -1;
}

std::vector<std::wstring> logTexts(const RunSetup& run) { return e2e::logTexts(run.appDir); }

int logCount(const RunSetup& run, const std::wstring& text)
{
    int n = 0;
    for (const std::wstring& line : logTexts(run))
        n += line.find(text) != std::wstring::npos ? 1 : 0;
    return n;
}

bool logHas(const RunSetup& run, const std::wstring& text) { return logCount(run, text) > 0; }

std::vector<std::string> nginxRequests(const std::string& contains)
{
    std::vector<std::string> out;
    std::istringstream in(e2e::readBytes(serverStateDir() + L"nginx\\access.log"));
    std::string line;
    while (std::getline(in, line)) {
        const size_t open = line.find('"');
        const size_t close = open == std::string::npos ? open : line.find('"', open + 1);
        if (close == std::string::npos)
            continue;
        std::string request = line.substr(open + 1, close - open - 1);
        if (request.find(contains) != std::string::npos)
            out.push_back(request);
    }
    return out;
}

std::vector<LoggedConnection> nginxConnections(const std::string& contains)
{
    std::vector<LoggedConnection> out;
    std::istringstream in(e2e::readBytes(serverStateDir() + L"nginx\\access.log"));
    std::string line;
    while (std::getline(in, line)) {
        // ... "GET /path HTTP/1.1" STATUS BYTES "REFERER" "AGENT" CONNECTION REQUESTS
        const size_t open = line.find('"');
        const size_t close = open == std::string::npos ? open : line.find('"', open + 1);
        const size_t agentEnd = line.rfind('"');
        if (close == std::string::npos || agentEnd == std::string::npos || agentEnd <= close)
            continue;
        LoggedConnection entry;
        entry.request = line.substr(open + 1, close - open - 1);
        if (entry.request.find(contains) == std::string::npos)
            continue;
        std::istringstream status(line.substr(close + 1));
        status >> entry.status;
        std::istringstream tail(line.substr(agentEnd + 1));
        if (!(tail >> entry.connection >> entry.requestOnConnection))
            continue;
        out.push_back(entry);
    }
    return out;
}

void expectInstalled(const RunSetup& run, const std::wstring& release)
{
    for (const std::wstring& file : releaseFiles(release))
        EXPECT_EQ(e2e::readBytes(run.appDir + file), releaseFile(release, file)) << narrow(file);
}

std::string startedNote(const RunSetup& run)
{
    const std::wstring file = run.appDir + L"demo-started.txt";
    for (int i = 0; i < 1000 && e2e::readBytes(file).empty(); ++i)
        sleepFor(10);
    return e2e::readBytes(file);
}

Artifact artifact(const std::wstring& name)
{
    std::wstring folder = e2e::buildDir() + L"artifacts\\";
    createFolderChain(folder + name);
    Artifact a;
    a.windowsPath = folder + name;
    a.unixPath = a.windowsPath;
    // Under Wine "Z:" is the machine's root; on Windows the test host takes the Windows path.
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    if (ntdll && ::GetProcAddress(ntdll, "wine_get_version")) {
        a.unixPath = a.windowsPath.substr(2);
        for (wchar_t& c : a.unixPath) {
            if (c == L'\\')
                c = L'/';
        }
    }
    deleteFileForced(a.windowsPath);
    return a;
}

} // namespace rk::test
