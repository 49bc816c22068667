#pragma once
// What the update-run tests share: an application installed at a version,
// a stamped updater whose list address points at a packed release, the test
// host around a run, and what the run left (host record, run log, requests).

#include "tests/e2e/e2e_support.h"
#include "tests/host/host_record.h"

#include <string>
#include <vector>

namespace rk::test {

struct RunSetup {
    e2e::Deployment updater;
    std::wstring appDir; // C:\Mellowby\mbqb\<Name>\ with "\"
    std::wstring name;
};

// A stamped updater named after the test, its list at pub/RELEASE/update.xml on
// nginx (or the given address), with these extra lines in [RenewKit],
// [APPLICATION] and [UPDATEINFO]. QuickCheck and ShowWhenCheck are 0 unless
// the [RenewKit] lines set them.
RunSetup makeRun(const std::wstring& test, const std::wstring& listUrl, const std::string& renewKitLines = "",
                 const std::string& applicationLines = "", const std::string& updateInfoLines = "");
std::wstring releaseListUrl(const std::wstring& release);
// Copies a packed release to pub/NAME (so that requests can be told apart from
// other tests') and returns the list address there.
std::wstring publishAs(const std::wstring& release, const std::wstring& name);
// Writes a list of the test's own under pub/NAME/update.xml, with an empty
// master list beside it; returns its address.
std::wstring publishList(const std::wstring& name, const std::string& xml);

// Copies a release's source files into the application folder and its packed
// list in as renewkit.xml: the installation as that version left it.
void installRelease(const RunSetup& run, const std::wstring& release);
// Source bytes of a release file (path with "\").
std::string releaseFile(const std::wstring& release, const std::wstring& path);
std::vector<std::wstring> releaseFiles(const std::wstring& release); // relative paths with "\"

// The test host around the updater with "silence"; returns the record.
std::vector<HostEvent> silentRun(const RunSetup& run, const std::wstring& hostOptions = L"",
                                 long long* exitCode = nullptr);
// The test host around the updater with these words (after the host's own options).
std::vector<HostEvent> hostRun(const RunSetup& run, const std::wstring& hostOptions, const std::wstring& words,
                               long long* exitCode = nullptr);
std::vector<long long> stagesSeen(const std::vector<HostEvent>& events);

using Stages = std::vector<long long>;
// Every stage of an update that runs from the check to the end.
inline const Stages kFullRun{0, 1, 3, 4, 6, 7, 9, 10, 12, 13};

// Expects every file of the release, byte for byte, in the application folder.
void expectInstalled(const RunSetup& run, const std::wstring& release);
// What the demo program wrote when it was started; the updater starts it
// without waiting, so this polls (about 10 s) and may return "".
std::string startedNote(const RunSetup& run);
long long exitCodeOf(const std::vector<HostEvent>& events);

// The run log's texts without time stamps.
std::vector<std::wstring> logTexts(const RunSetup& run);
bool logHas(const RunSetup& run, const std::wstring& text);
int logCount(const RunSetup& run, const std::wstring& text);

// build/cross/artifacts/NAME, as this machine names it (under Wine, for the
// screenshot tool, which is not a Windows program; on Windows the same path
// twice) and as this program reads it; an earlier run's file of that name is removed.
struct Artifact {
    std::wstring unixPath;
    std::wstring windowsPath;
};
Artifact artifact(const std::wstring& name);

// Request lines ("GET /pub/v2/docs/help.txt HTTP/1.1") nginx logged that contain the text.
std::vector<std::string> nginxRequests(const std::string& contains);

// Those requests with their status and the TCP connection that carried them:
// nginx's serial number of the connection and the request's number on it.
struct LoggedConnection {
    std::string request;
    int status = 0;
    long long connection = 0;
    long long requestOnConnection = 0;
};
std::vector<LoggedConnection> nginxConnections(const std::string& contains);

} // namespace rk::test
