#include "tests/e2e/e2e_support.h"

#include "core/path_helpers.h"
#include "platform/files.h"

#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <windows.h>

using namespace rk;
using namespace rk::e2e;

namespace {

// A program that exists and ends at once: the runs end by starting the host program.
const std::string kHostProgram = "C:\\windows\\system32\\hostname.exe";

// No server answers on port 9: every check fails at once.
std::string iniFor(const std::string& name, const std::string& extra = "")
{
    return "[RenewKit]\nLog=inst.log\nLangage=\nShowWhenCheck=false\nCheckLostFile=true\nMode=AppEnterNoPrompt\n"
           "QuickCheck=false\n" +
           extra + "\n[UPDATEINFO]\nListURL=http://127.0.0.1:9/none.xml\n\n[APPLICATION]\nApplication=" + kHostProgram +
           "\nName=" + name + "\nqbdir=123456789012345678901\n";
}

std::vector<std::string> logLines(const std::wstring& appDirectory)
{
    std::vector<std::string> lines;
    std::istringstream in(readBytes(appDirectory + L"inst.log"));
    std::string line;
    // A text with a line feed of its own continues on the next line of the file.
    bool continues = false;
    while (std::getline(in, line)) {
        if (continues)
            lines.back() += "\n" + line;
        else
            lines.push_back(line);
        continues = line.empty() || line.back() != '\r';
    }
    return lines;
}

void expectLogShape(const std::vector<std::string>& lines)
{
    std::regex shape("\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\][^\r]*\r");
    for (const auto& line : lines)
        EXPECT_TRUE(std::regex_match(line, shape)) << line;
}

bool logHas(const std::vector<std::string>& lines, const std::string& text)
{
    for (const auto& line : lines) {
        if (line.find(text) != std::string::npos)
            return true;
    }
    return false;
}

// A window of this process for the updater to report to.
class HostWindow {
public:
    HostWindow()
    {
        m_window = ::CreateWindowExW(0, L"STATIC", L"host", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    }
    ~HostWindow()
    {
        if (m_window)
            ::DestroyWindow(m_window);
    }
    HWND get() const { return m_window; }
    std::wstring decimal() const { return std::to_wstring(reinterpret_cast<std::uintptr_t>(m_window)); }

private:
    HWND m_window = nullptr;
};

} // namespace

TEST(Startup, NoArgumentsWritesTheEmbeddedConfigurationAndLogs)
{
    Deployment d = makeUpdater(L"noargs", iniFor("RkNoArgs"), L"bin", L"RkNoArgs");
    // Whatever is there is replaced by the embedded configuration.
    writeBytes(d.appDirectory + L"renewkit.ini", "[RenewKit]\r\nLog=other.log\r\n");
    EXPECT_EQ(runProgram(L"\"" + d.exe + L"\""), 0);
    EXPECT_EQ(readBytes(d.appDirectory + L"renewkit.ini"), d.embedded);
    auto lines = logLines(d.appDirectory);
    ASSERT_FALSE(lines.empty());
    expectLogShape(lines);
    // The configured Mode decides without a mode word: the entry run checks,
    // finds no list and starts the host program.
    EXPECT_TRUE(logHas(lines, "error when download the list file."));
    EXPECT_TRUE(logHas(lines, "Run file[hostname.exe]"));
}

TEST(Startup, SilenceWithAHostWindow)
{
    Deployment d = makeUpdater(L"silence", iniFor("RkSilence"), L"bin", L"RkSilence");
    HostWindow host;
    ASSERT_NE(host.get(), nullptr);
    ::SetPropW(host.get(), L"renewkit.exe", reinterpret_cast<HANDLE>(99));
    EXPECT_EQ(runProgram(L"\"" + d.exe + L"\" /silence " + host.decimal()), 0);
    EXPECT_EQ(readBytes(d.appDirectory + L"renewkit.ini"), d.embedded);
    // The silent run reported its stages to the window and ended with stage 13.
    EXPECT_EQ(reinterpret_cast<std::intptr_t>(::GetPropW(host.get(), L"renewkit.exe")), 13);
    EXPECT_EQ(reinterpret_cast<std::intptr_t>(::GetPropW(host.get(), L"updatefilecount")), 0);
    auto lines = logLines(d.appDirectory);
    expectLogShape(lines);
    EXPECT_TRUE(logHas(lines, "error when download the list file."));
}

// Run from a folder other than the application's, the updater's path stays in
// its command line; a number in its file name must not pass for a host window.
TEST(Startup, ANumberInTheUpdatersOwnNameIsNoHostWindow)
{
    Deployment d = makeUpdater(L"ownname", iniFor("RkOwnName"), L"bin", L"RkOwnName");
    HostWindow host;
    ASSERT_NE(host.get(), nullptr);
    ::SetPropW(host.get(), L"renewkit.exe", reinterpret_cast<HANDLE>(99));
    const std::wstring named = d.folder + L"bin\\rk-" + host.decimal() + L".exe";
    ASSERT_TRUE(::CopyFileW(d.exe.c_str(), named.c_str(), FALSE));
    EXPECT_EQ(runProgram(L"\"" + named + L"\" /silence"), 0);
    EXPECT_TRUE(logHas(logLines(d.appDirectory), "error when download the list file."));
    EXPECT_EQ(reinterpret_cast<std::intptr_t>(::GetPropW(host.get(), L"renewkit.exe")), 99)
        << "the run reported its stages to a window named by its own file name";
}

namespace {

bool isDialog(void* window)
{
    wchar_t name[32] = {};
    ::GetClassNameW(static_cast<HWND>(window), name, 32);
    return std::wstring(name) == L"#32770";
}

} // namespace

TEST(Startup, IconInCapitalsSelectsTheTray)
{
    Deployment d = makeUpdater(L"icon", iniFor("RkIcon"), L"bin", L"RkIcon");
    RunningProgram program(L"\"" + d.exe + L"\" -ICON");
    ASSERT_TRUE(program.started());
    // The tray window checks at once; a failed check keeps it waiting in the tray.
    HWND tray = static_cast<HWND>(waitForWindow(program.id(), isDialog));
    ASSERT_NE(tray, nullptr);
    EXPECT_TRUE(waitUntil([&] { return logHas(logLines(d.appDirectory), "error when download the list file."); }));
    EXPECT_TRUE(program.running());
    ::PostMessageW(tray, WM_COMMAND, 40097, 0); // the tray menu's Exit
    EXPECT_EQ(program.wait(), 0);
    EXPECT_EQ(readBytes(d.appDirectory + L"renewkit.ini"), d.embedded);
    auto lines = logLines(d.appDirectory);
    expectLogShape(lines);
    EXPECT_FALSE(logHas(lines, "not available"));
}

namespace {

bool isDotNetDialog(void* window)
{
    wchar_t caption[64] = {};
    ::GetWindowTextW(static_cast<HWND>(window), caption, 64);
    return isDialog(window) && std::wstring(caption) == L"RkDotNet";
}

} // namespace

TEST(Startup, DotNetSwitchEndsStartUp)
{
    Deployment d = makeUpdater(L"dotnet", iniFor("RkDotNet"), L"bin", L"RkDotNet");
    RunningProgram program(L"\"" + d.exe + L"\" /dotnet20");
    ASSERT_TRUE(program.started());
    // No framework folder in the test prefix: the installer dialog is offered.
    HWND dialog = static_cast<HWND>(waitForWindow(program.id(), isDotNetDialog));
    ASSERT_NE(dialog, nullptr);
    wchar_t button[32] = {};
    ::GetWindowTextW(::GetDlgItem(dialog, IDOK), button, 32);
    EXPECT_EQ(std::wstring(button), L"Download");
    ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(program.wait(), 0);
    EXPECT_EQ(readBytes(d.appDirectory + L"renewkit.ini"), d.embedded);
    auto lines = logLines(d.appDirectory);
    expectLogShape(lines);
    // Start-up ended before the mode dispatch.
    EXPECT_FALSE(logHas(lines, "appenternoprompt"));
    EXPECT_FALSE(logHas(lines, "not available"));
}

TEST(Startup, ShelfSetupBesideTheParentFolderNamesTheWorkingFolder)
{
    Deployment d = makeUpdater(L"shelf", iniFor("ABC"), L"shelf\\bin", L"7\\QB_ABC");
    writeBytes(d.folder + L"shelf\\ShelfSetup.ini", "[APPLICATION]\r\nShelfSetupId=7\r\n");
    EXPECT_EQ(runProgram(L"\"" + d.exe + L"\" downparam0"), 0);
    EXPECT_EQ(readBytes(L"C:\\Mellowby\\mbqb\\7\\QB_ABC\\renewkit.ini"), d.embedded);
    // downparam0 runs start-up only: nothing is logged as unavailable.
    EXPECT_FALSE(logHas(logLines(d.appDirectory), "not available"));
}

TEST(Startup, EmptyTempRemovesTheListFiles)
{
    Deployment d = makeUpdater(L"emptytemp", iniFor("RkEmptyTemp", "TempPath=tmp\n"), L"bin", L"RkEmptyTemp");
    // A first run makes the application directory; then plant what emptytemp must remove.
    EXPECT_EQ(runProgram(L"\"" + d.exe + L"\" downparam1"), 0);
    std::wstring tmp = d.appDirectory + L"tmp\\";
    createDirectory(tmp);
    const std::wstring key = L"8317-E69A5F"; // name hash of the ListURL + "9999999999", by hand
    for (const wchar_t* ending : {L".xml", L".xml.xml", L".bin", L".ini", L".lst"})
        writeBytes(tmp + key + ending, "x");
    writeBytes(tmp + key + L"\\sub\\a.part0", "x");
    writeBytes(tmp + L"keep.txt", "x");
    EXPECT_EQ(runProgram(L"\"" + d.exe + L"\" emptytemp"), 0);
    for (const wchar_t* ending : {L".xml", L".xml.xml", L".bin", L".ini"})
        EXPECT_FALSE(fileExists(tmp + key + ending)) << ending;
    EXPECT_TRUE(fileExists(tmp + key + L".lst")); // not a temporary list file
    EXPECT_FALSE(pathExists(tmp + key));
    EXPECT_TRUE(fileExists(tmp + L"keep.txt"));
}

TEST(Startup, TwoProcessesLoggingAtOnceKeepEveryLineWhole)
{
    Deployment d = makeUpdater(L"twologs", iniFor("RkTwoLogs"), L"bin", L"RkTwoLogs");
    EXPECT_EQ(runProgram(L"\"" + d.exe + L"\" downparam0"), 0);
    const std::wstring writer = buildDir() + L"tests\\e2e\\rk_log_writer.exe";
    const int kLines = 300;
    // No trailing backslash: before a closing quote it would escape it.
    std::wstring folder = d.appDirectory.substr(0, d.appDirectory.size() - 1);
    std::wstring args = L" \"" + folder + L"\" " + std::to_wstring(kLines) + L" ";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION a{}, b{};
    std::wstring lineA = L"\"" + writer + L"\"" + args + L"A";
    std::wstring lineB = L"\"" + writer + L"\"" + args + L"B";
    ASSERT_TRUE(::CreateProcessW(nullptr, lineA.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &a));
    ASSERT_TRUE(::CreateProcessW(nullptr, lineB.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &b));
    HANDLE both[] = {a.hProcess, b.hProcess};
    EXPECT_EQ(::WaitForMultipleObjects(2, both, TRUE, 60000), WAIT_OBJECT_0);
    for (auto* pi : {&a, &b}) {
        ::CloseHandle(pi->hProcess);
        ::CloseHandle(pi->hThread);
    }
    std::regex shape("\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\]writer [AB] line \\d+ x{200}\r");
    int count = 0;
    for (const auto& line : logLines(d.appDirectory)) {
        EXPECT_TRUE(std::regex_match(line, shape)) << line;
        ++count;
    }
    EXPECT_EQ(count, 2 * kLines);
}

namespace {

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

} // namespace

TEST(Startup, PurgeDeletesOnlyBackupNamesAndPutsBackABackupWhoseFileIsMissing)
{
    Deployment d = makeUpdater(L"purge", iniFor("RkPurge"), L"bin", L"RkPurge");
    EXPECT_EQ(runProgram(L"\"" + d.exe + L"\" downparam1"), 0); // makes the application directory
    const std::wstring app = d.appDirectory;
    // A backup whose file is in place, one whose file went missing, and names
    // that another program of the user appended to the list.
    writeBytes(app + L"lib.dll", "new lib");
    writeBytes(app + L"lib.dll.__old", "old lib");
    writeBytes(app + L"tool.exe.__OLD3", "old tool");
    writeBytes(app + L"notes.txt", "mine");
    const std::wstring report = d.folder + L"documents\\report.doc";
    writeBytes(report, "report");
    writeBytes(app + L"__oldfiles.lst", "\r\n" + narrow(app) + "lib.dll.__old\r\n" + narrow(app) +
                                            "tool.exe.__OLD3\r\n" + narrow(report) + "\r\n" + narrow(app) +
                                            "notes.txt\r\n" + narrow(app) + ".__old");
    EXPECT_EQ(runProgram(L"\"" + d.exe + L"\" downparam1"), 0);
    EXPECT_FALSE(fileExists(app + L"lib.dll.__old")) << "a backup of a file in place goes";
    EXPECT_EQ(readBytes(app + L"lib.dll"), "new lib");
    EXPECT_EQ(readBytes(app + L"tool.exe"), "old tool") << "the only copy is put back";
    EXPECT_FALSE(fileExists(app + L"tool.exe.__OLD3"));
    EXPECT_EQ(readBytes(report), "report") << "no backup name: left alone";
    EXPECT_EQ(readBytes(app + L"notes.txt"), "mine");
    EXPECT_FALSE(fileExists(app + L"__oldfiles.lst"));
    auto lines = logLines(app);
    EXPECT_TRUE(logHas(lines, "Backup put back, its file was missing[" + narrow(app) + "tool.exe.__OLD3]"));
    EXPECT_TRUE(logHas(lines, "Not a backup name, left alone[" + narrow(report) + "]"));
    EXPECT_TRUE(logHas(lines, "Not a backup name, left alone[" + narrow(app) + ".__old]"));
}

TEST(Startup, AProgramLeftUnderItsRenameTestNameGetsItsNameBack)
{
    Deployment d = makeUpdater(L"renametest", iniFor("RkRenameTest"), L"bin", L"RkRenameTest");
    EXPECT_EQ(runProgram(L"\"" + d.exe + L"\" downparam1"), 0);
    const std::wstring app = d.appDirectory;
    // A run that ended between the two renames of the write test, and a test
    // name whose file is back in its place by other means.
    writeBytes(app + L"host.exe.__test", "the host");
    writeBytes(app + L"other.exe", "other, new");
    writeBytes(app + L"other.exe.__test", "other, old");
    writeBytes(app + L"__renametest.lst",
               "\r\n" + narrow(app) + "host.exe.__test\r\n" + narrow(app) + "other.exe.__test\r\n");
    EXPECT_EQ(runProgram(L"\"" + d.exe + L"\" downparam1"), 0);
    EXPECT_EQ(readBytes(app + L"host.exe"), "the host");
    EXPECT_FALSE(fileExists(app + L"host.exe.__test"));
    EXPECT_EQ(readBytes(app + L"other.exe"), "other, new");
    EXPECT_EQ(readBytes(app + L"other.exe.__test"), "other, old") << "never over a file in place";
    EXPECT_FALSE(fileExists(app + L"__renametest.lst"));
    EXPECT_TRUE(logHas(logLines(app), "Name given back after an interrupted rename test[" + narrow(app) + "host.exe]"));
}

TEST(Startup, EmptyTempRemovesLinksWithoutEmptyingWhatTheyPointTo)
{
    Deployment d =
        makeUpdater(L"emptytemp-links", iniFor("RkEmptyTempLinks", "TempPath=tmp\n"), L"bin", L"RkEmptyTempLinks");
    EXPECT_EQ(runProgram(L"\"" + d.exe + L"\" downparam1"), 0);
    const std::wstring victim = d.folder + L"victim\\";
    writeBytes(victim + L"precious.txt", "keep");
    const std::wstring listFolder = d.appDirectory + L"tmp\\8317-E69A5F"; // as in EmptyTempRemovesTheListFiles
    {
        // A link inside the temporary list folder.
        writeBytes(listFolder + L"\\sub\\a.part0", "x");
        PlantedLink link(listFolder + L"\\sub\\planted", victim);
        ASSERT_TRUE(link.planted());
        EXPECT_EQ(runProgram(L"\"" + d.exe + L"\" emptytemp"), 0);
        EXPECT_EQ(readBytes(victim + L"precious.txt"), "keep");
        EXPECT_FALSE(fileExists(listFolder + L"\\sub\\a.part0"));
    }
    deleteTree(listFolder);
    {
        // The temporary list folder itself planted as a link, by a program of
        // the user, for an updater that may run as administrator.
        PlantedLink link(listFolder, victim);
        ASSERT_TRUE(link.planted());
        EXPECT_EQ(runProgram(L"\"" + d.exe + L"\" emptytemp"), 0);
        EXPECT_EQ(readBytes(victim + L"precious.txt"), "keep");
    }
    const auto lines = logLines(d.appDirectory);
    // Wine cannot remove the links it reports; Windows removes them.
    EXPECT_TRUE(logHas(lines, "Link removed without following it[" + narrow(listFolder) + "]") ||
                logHas(lines, "Link not followed and left in place[" + narrow(listFolder) + "]"));
}
