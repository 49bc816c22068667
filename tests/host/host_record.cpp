#include "tests/host/host_record.h"

#include "platform/files.h"

#include <cstdlib>

namespace rk::test {

long long HostEvent::number(const std::string& key) const
{
    auto it = fields.find(key);
    return it == fields.end() ? -1 : std::wcstoll(it->second.c_str(), nullptr, 10);
}

std::wstring HostEvent::text(const std::string& key) const
{
    auto it = fields.find(key);
    return it == fields.end() ? std::wstring() : it->second;
}

namespace {

HostEvent parseLine(const std::string& line)
{
    HostEvent event;
    size_t i = 0;
    auto skip = [&] {
        while (i < line.size() && (line[i] == ' ' || line[i] == ',' || line[i] == '{' || line[i] == '}'))
            ++i;
    };
    while (true) {
        skip();
        if (i >= line.size() || line[i] != '"')
            break;
        size_t end = line.find('"', i + 1);
        std::string key = line.substr(i + 1, end - i - 1);
        i = end + 2; // past the quote and the colon
        std::wstring value;
        if (i < line.size() && line[i] == '"') {
            for (++i; i < line.size() && line[i] != '"'; ++i) {
                if (line[i] == '\\' && i + 1 < line.size()) {
                    ++i;
                    if (line[i] == 'u') {
                        value += static_cast<wchar_t>(std::strtoul(line.substr(i + 1, 4).c_str(), nullptr, 16));
                        i += 4;
                    } else {
                        value += static_cast<wchar_t>(line[i]);
                    }
                } else {
                    value += static_cast<wchar_t>(static_cast<unsigned char>(line[i]));
                }
            }
            ++i;
        } else {
            while (i < line.size() && line[i] != ',' && line[i] != '}')
                value += static_cast<wchar_t>(line[i++]);
        }
        event.fields[key] = value;
    }
    return event;
}

} // namespace

std::vector<HostEvent> readHostRecord(const std::wstring& path)
{
    std::vector<HostEvent> events;
    std::string bytes;
    if (!readFileBytes(path, bytes))
        return events;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos)
            end = bytes.size();
        if (end > start)
            events.push_back(parseLine(bytes.substr(start, end - start)));
        start = end + 1;
    }
    return events;
}

} // namespace rk::test
