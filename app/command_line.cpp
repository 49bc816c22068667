#include "app/command_line.h"

#include "core/path_text.h"

#include <utility>

namespace rk {

std::wstring normalizeCommandLine(const std::wstring& raw, const std::wstring& ownExePath)
{
    std::wstring line = replaceAll(toLower(raw), L"\"", L"");
    std::wstring own = toLower(collapseBackslashes(ownExePath));
    line = replaceAll(line, own, L"");
    return trimBlanks(line);
}

std::wstring modeWords(const std::wstring& normalized, const std::wstring& modulePath)
{
    return normalizeCommandLine(normalized, modulePath);
}

std::wstring dotNetSwitch(const std::wstring& normalized)
{
    static const std::pair<const wchar_t*, const wchar_t*> kSwitches[] = {
        {L"dotnet10", L"1.0"}, {L"dotnet11", L"1.1"}, {L"dotnet20", L"2.0"},
        {L"dotnet30", L"3.0"}, {L"dotnet35", L"3.5"}, {L"dotnet40", L"4.0"},
    };
    for (const auto& [word, version] : kSwitches) {
        size_t at = normalized.find(word);
        if (at != std::wstring::npos && at > 0)
            return version;
    }
    return {};
}

std::wstring modeOfWord(const std::wstring& word)
{
    static const std::pair<const wchar_t*, const wchar_t*> kWords[] = {
        {L"mostsimple", L"mostsimple"},
        {L"showwhenupdate", L"showwhenupdate"},
        {L"showwhenhaveupdate", L"showwhenupdate"},
        {L"tryicon", L"tryicon"},
        {L"icon", L"tryicon"},
        {L"silence", L"silence"},
        {L"appenter", L"appenter"},
        {L"appenternoprompt", L"appenternoprompt"},
        {L"checkforupdates", L"checkforupdates"},
        {L"uninstall", L"uninstall"},
        {L"emptytemp", L"emptytemp"},
        {L"downparam0", L"downparam0"},
        {L"downparam1", L"downparam1"},
    };
    for (const auto& [name, mode] : kWords) {
        if (word == name)
            return mode;
    }
    return {};
}

ModeChoice chooseMode(const std::wstring& normalized, const std::wstring& defaultMode,
                      const std::function<bool(std::uintptr_t)>& isWindow)
{
    std::wstring working = normalized;
    for (auto& c : working) {
        if (c == L'-' || c == L'/' || c == L' ')
            c = L',';
    }
    ModeChoice choice;
    choice.mode = defaultMode;
    size_t start = 0;
    while (start <= working.size()) {
        size_t comma = working.find(L',', start);
        if (comma == std::wstring::npos)
            comma = working.size();
        std::wstring word = working.substr(start, comma - start);
        start = comma + 1;
        if (word.empty())
            continue;
        std::wstring mode = modeOfWord(word);
        if (!mode.empty())
            choice.mode = mode;
        long long number = parseDecimal(word);
        if (number > 0 && isWindow(static_cast<std::uintptr_t>(number)))
            choice.hostWindow = static_cast<std::uintptr_t>(number);
    }
    choice.mode = trimBlanks(toLower(choice.mode));
    return choice;
}

} // namespace rk
