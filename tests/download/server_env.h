#pragma once
// The servers that the download tests' fixture started (tests/servers/servers.sh),
// found through RK_SERVER_STATE, and the fault server's request log.

#include <string>
#include <vector>

namespace rk::test {

// Port of "nginx", "fault", "proxy" or "proxy_auth"; 0 when not running.
int serverPort(const std::wstring& name);
std::wstring serverStateDir(); // Windows path with a trailing "\"

std::wstring nginxUrl(const std::wstring& file);
// http://127.0.0.1:PORT/FAULTS/FILE on the fault server.
std::wstring faultUrl(const std::wstring& faults, const std::wstring& file);
// A token unique to this process and call, for paths the log is searched by.
std::wstring uniqueToken();

// The bytes the servers serve for a file of the test data.
std::string sourceBytes(const std::wstring& file);

struct LoggedRequest {
    std::string line;  // request line as received
    std::string range; // empty when absent
    std::string agent;
    std::string pragma;
    std::string cacheControl;
    int status = 0;
};
// Requests of the fault server whose request line contains the text, in order.
std::vector<LoggedRequest> loggedRequests(const std::string& lineContains);

std::string narrow(const std::wstring& text);

} // namespace rk::test
