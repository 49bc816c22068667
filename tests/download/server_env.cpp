#include "tests/download/server_env.h"

#include "platform/files.h"

#include <atomic>
#include <cstdlib>
#include <sstream>
#include <windows.h>

namespace rk::test {
namespace {

// The value of "key": in one JSON line of the log: a string (with its backslash
// escapes undone), a number, or empty for null.
std::string jsonField(const std::string& line, const std::string& key)
{
    const std::string marker = "\"" + key + "\": ";
    size_t at = line.find(marker);
    if (at == std::string::npos)
        return std::string();
    at += marker.size();
    if (line.compare(at, 4, "null") == 0)
        return std::string();
    if (line[at] != '"') {
        size_t end = line.find_first_of(",}", at);
        return line.substr(at, end - at);
    }
    std::string value;
    for (size_t i = at + 1; i < line.size() && line[i] != '"'; ++i) {
        if (line[i] == '\\' && i + 1 < line.size())
            ++i;
        value += line[i];
    }
    return value;
}

} // namespace

std::string narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text)
        out += static_cast<char>(c < 0x80 ? c : '?');
    return out;
}

std::wstring serverStateDir()
{
    const wchar_t* dir = _wgetenv(L"RK_SERVER_STATE");
    std::wstring path = dir ? dir : L"";
    if (!path.empty() && path.back() != L'\\')
        path += L'\\';
    return path;
}

int serverPort(const std::wstring& name)
{
    std::string text;
    if (!readFileBytes(serverStateDir() + name + L".port", text))
        return 0;
    return std::atoi(text.c_str());
}

std::wstring nginxUrl(const std::wstring& file)
{
    return L"http://127.0.0.1:" + std::to_wstring(serverPort(L"nginx")) + L"/" + file;
}

std::wstring faultUrl(const std::wstring& faults, const std::wstring& file)
{
    return L"http://127.0.0.1:" + std::to_wstring(serverPort(L"fault")) + L"/" + faults + L"/" + file;
}

std::wstring uniqueToken()
{
    static std::atomic<int> counter{0};
    return L"t=" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(::GetTickCount()) + L"-" +
           std::to_wstring(++counter);
}

std::string sourceBytes(const std::wstring& file)
{
    std::string bytes;
    readFileBytes(serverStateDir() + L"data\\" + file, bytes);
    return bytes;
}

std::vector<LoggedRequest> loggedRequests(const std::string& lineContains)
{
    std::string text;
    readFileBytes(serverStateDir() + L"fault\\requests.log", text);
    std::vector<LoggedRequest> found;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        LoggedRequest request;
        request.line = jsonField(line, "line");
        if (request.line.find(lineContains) == std::string::npos)
            continue;
        request.range = jsonField(line, "range");
        request.agent = jsonField(line, "agent");
        request.pragma = jsonField(line, "pragma");
        request.cacheControl = jsonField(line, "cache_control");
        request.status = std::atoi(jsonField(line, "status").c_str());
        found.push_back(request);
    }
    return found;
}

} // namespace rk::test
