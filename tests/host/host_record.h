#pragma once
// Reads what renewkit-testhost recorded: one JSON object a line, flat, with
// numbers and texts only.

#include <map>
#include <string>
#include <vector>

namespace rk::test {

struct HostEvent {
    std::map<std::string, std::wstring> fields; // every value as text

    bool has(const std::string& key) const { return fields.count(key) > 0; }
    long long number(const std::string& key) const;
    std::wstring text(const std::string& key) const;
    bool isMessage(unsigned msg) const { return has("msg") && number("msg") == msg; }
};

std::vector<HostEvent> readHostRecord(const std::wstring& path);

} // namespace rk::test
