#include "tests/e2e/e2e_support.h"

#include "core/path_helpers.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/handles.h"
#include "tests/unit/test_folder.h"
#include "tools/stamp/stamp.h"

#include <cstdlib>
#include <stdexcept>
#include <sstream>
#include <algorithm>
#include <vector>
#include <windows.h>

namespace rk::e2e {

std::wstring buildDir() { return test::folderFromEnvironment(L"RK_BIN_DIR"); }

std::string readBytes(const std::wstring& path)
{
    std::string bytes;
    readFileBytes(path, bytes);
    return bytes;
}

std::vector<std::wstring> logTexts(const std::wstring& appDirectory)
{
    std::vector<std::wstring> texts;
    std::istringstream in(readBytes(appDirectory + L"inst.log"));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        texts.push_back(bytesToWide(line.substr(std::min<size_t>(21, line.size())), kCodePageThreadAnsi));
    }
    return texts;
}

void writeBytes(const std::wstring& path, const std::string& bytes)
{
    createFolderChain(path);
    writeFileBytes(path, bytes);
}

Deployment makeUpdater(const std::wstring& test, const std::string& ini, const std::wstring& subFolder,
                       const std::wstring& appSubFolder)
{
    Deployment d;
    std::wstring root = L"C:\\rktest\\" + test + L"\\";
    deleteTree(root);
    d.folder = root;
    std::wstring bin = root + subFolder + L"\\";
    createFolderChain(bin);
    writeBytes(root + L"config.ini", ini);
    d.exe = bin + L"renewkit.exe";
    // The vendor's tool, as a deployment would use it.
    std::wstring stampCommand = L"\"" + buildDir() + L"tools\\renewkit-stamp.exe\" \"" + buildDir() +
                                L"renewkit.exe\" \"" + root + L"config.ini\" \"" + d.exe + L"\"";
    long long code = runProgram(stampCommand);
    if (code != 0)
        throw std::runtime_error("renewkit-stamp failed with " + std::to_string(code));
    d.embedded = stamp::embeddedBytes(ini);
    if (!appSubFolder.empty()) {
        d.appDirectory = L"C:\\Mellowby\\mbqb\\" + appSubFolder + L"\\";
        deleteTree(d.appDirectory);
    }
    return d;
}

long long runProgram(const std::wstring& commandLine, unsigned timeoutMs)
{
    // A program still running after the time-out is ended with the object.
    RunningProgram program(commandLine);
    return program.wait(timeoutMs);
}

RunningProgram::RunningProgram(const std::wstring& commandLine)
{
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return;
    ::CloseHandle(pi.hThread);
    m_process = pi.hProcess;
    m_id = pi.dwProcessId;
}

RunningProgram::~RunningProgram()
{
    if (!m_process)
        return;
    if (running())
        ::TerminateProcess(m_process, 1);
    ::CloseHandle(m_process);
}

bool RunningProgram::running() const { return m_process && ::WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT; }

long long RunningProgram::wait(unsigned timeoutMs)
{
    if (!m_process)
        return -1;
    HANDLE process = m_process;
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        ULONGLONG now = ::GetTickCount64();
        if (now >= deadline)
            return -1;
        DWORD r = ::MsgWaitForMultipleObjects(1, &process, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
        if (r == WAIT_OBJECT_0)
            break;
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    DWORD code = 0;
    ::GetExitCodeProcess(process, &code);
    return code;
}

void pollPause()
{
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    ::Sleep(10);
}

namespace {

struct WindowSearch {
    DWORD processId;
    bool (*test)(void*);
    HWND found;
};

BOOL CALLBACK visitWindow(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<WindowSearch*>(context);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !search->test(window))
        return TRUE;
    search->found = window;
    return FALSE;
}

} // namespace

namespace {

// The Unix path Wine maps a Windows path to; empty outside Wine.
std::string unixPath(const std::wstring& path)
{
    using Convert = char*(CDECL*)(const wchar_t*);
    auto convert = reinterpret_cast<Convert>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!convert)
        return {};
    char* converted = convert(path.c_str());
    if (!converted)
        return {};
    std::string text = converted;
    ::HeapFree(::GetProcessHeap(), 0, converted);
    return text;
}

// Wine starts a Unix program given by its path on the Z: drive, but cannot
// wait for it: the process handle is signalled at once. The caller polls for
// the program's effect, `done`, 10 ms apart for up to 30 s.
template <typename Done> bool runUnixTool(const std::wstring& tool, const std::string& arguments, Done done)
{
    runProgram(L"Z:\\bin\\" + tool + L" " + bytesToWide(arguments, kCodePageThreadAnsi), 30000);
    return waitUntil(done, 3000);
}

} // namespace

PlantedLink::PlantedLink(const std::wstring& link, const std::wstring& target) : m_link(link)
{
    // The folder the link goes in must exist for its Unix path to be known.
    createFolderChain(link);
    const std::string from = unixPath(target);
    const std::string to = unixPath(link);
    if (from.empty() || to.empty()) {
        // On Windows: a junction, which any user may make, as a program of the
        // user would plant it.
        runProgram(L"cmd.exe /c mklink /J \"" + link + L"\" \"" + target + L"\"", 30000);
        m_planted = isLink(link);
        return;
    }
    m_planted = runUnixTool(L"ln", "-s -n " + from + " " + to, [&] { return isLink(link); });
}

PlantedLink::~PlantedLink()
{
    if (!isLink(m_link))
        return;
    const std::string path = unixPath(m_link);
    if (path.empty())
        ::RemoveDirectoryW(m_link.c_str()); // a junction goes as a link, never its target's files
    else
        runUnixTool(L"rm", "-f " + path, [&] { return !isLink(m_link); });
}

void* waitForWindow(unsigned long processId, bool (*test)(void* window), int polls)
{
    WindowSearch search{processId, test, nullptr};
    waitUntil(
        [&] {
            ::EnumWindows(&visitWindow, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        polls);
    return search.found;
}

} // namespace rk::e2e
