#include "core/dotnet_requirement.h"

#include "core/config.h"
#include "core/path_text.h"
#include "core/run_log.h"
#include "platform/registry.h"

#include <mutex>

namespace rk::dotnet {
namespace {

const wchar_t* const kFolderNames[] = {L"v1.0", L"v1.1", L"v2.0", L"v3.0", L"v3.5", L"v4.0", L"v4.5"};

// A placeholder of ours until a deployment names its own server per version.
const wchar_t kDefaultServer[] = L"http://download.example.com/dotnetfx/";

std::mutex g_dialogLock; // guards g_dialog
InstallerDialog g_dialog;

} // namespace

InstalledVersions detectFrom(const std::vector<DirectoryEntry>& entries, std::optional<std::uint32_t> v4Release)
{
    InstalledVersions found{};
    if (v4Release && *v4Release >= kRelease45) {
        found[5] = true;
        found[6] = true;
    }
    for (const DirectoryEntry& entry : entries) {
        if (!entry.isDirectory)
            continue;
        for (size_t i = 0; i < found.size(); ++i) {
            if (entry.name.compare(0, 4, kFolderNames[i]) == 0)
                found[i] = true;
        }
    }
    return found;
}

InstalledVersions detectIn(const std::wstring& folder, std::optional<std::uint32_t> v4Release)
{
    return detectFrom(listDirectory(folder), v4Release);
}

InstalledVersions detect()
{
    return detectIn(collapseBackslashes(windowsDirectory() + L"\\Microsoft.NET\\Framework"),
                    machineDword(kV4SetupKey, L"Release"));
}

std::wstring neededVersion(const std::function<std::wstring(const std::wstring& key)>& read)
{
    std::wstring version;
    for (const wchar_t* key : {L"DotNetFix", L"DotNetFx", L"dotnetfix", L"dotnetfx"}) {
        version = read(key);
        if (!version.empty())
            break;
    }
    static const std::pair<const wchar_t*, const wchar_t*> kFlags[] = {
        {L"dotnetfx10", L"1.0"}, {L"dotnetfx11", L"1.1"}, {L"dotnetfx20", L"2.0"},
        {L"dotnetfx30", L"3.0"}, {L"dotnetfx35", L"3.5"}, {L"dotnetfx40", L"4.0"},
    };
    for (const auto& [key, text] : kFlags) {
        if (!read(key).empty())
            return text;
    }
    return version;
}

std::wstring neededVersion()
{
    return neededVersion([](const std::wstring& key) { return config::read(L"RenewKit", key); });
}

int flagIndex(const std::wstring& version)
{
    static const std::pair<const wchar_t*, int> kNames[] = {
        {L"1.0", 0}, {L"1.1", 1}, {L"2", 2}, {L"2.0", 2}, {L"3", 3},
        {L"3.0", 3}, {L"3.5", 4}, {L"4", 5}, {L"4.0", 5}, {L"4.5", 6},
    };
    for (const auto& [name, index] : kNames) {
        if (version == name)
            return index;
    }
    return -1;
}

bool isMissing(const std::wstring& version, const InstalledVersions& installed)
{
    const int index = flagIndex(version);
    return index >= 0 && !installed[static_cast<size_t>(index)];
}

std::wstring installerNumber(const std::wstring& version)
{
    std::wstring digits = replaceAll(version, L".", L"") + L"0000";
    return digits.substr(0, 2);
}

std::wstring dottedNumber(const std::wstring& number)
{
    if (number.empty())
        return number;
    return number.substr(0, 1) + L"." + number.substr(1);
}

std::wstring installerUrl(const std::wstring& number, const std::wstring& configured)
{
    if (!configured.empty())
        return configured;
    for (const wchar_t* known : {L"45", L"40", L"35", L"30", L"20", L"11", L"10"}) {
        if (number == known)
            return std::wstring(kDefaultServer) + L"dotnetfx" + number + L".exe";
    }
    return {};
}

std::wstring installerPath(const std::wstring& url, const std::wstring& cacheFolder)
{
    std::wstring slashed = replaceAll(url, L"\\", L"/");
    while (!slashed.empty() && slashed.back() == L'/')
        slashed.pop_back();
    const size_t cut = slashed.rfind(L'/');
    const std::wstring last = cut == std::wstring::npos ? slashed : slashed.substr(cut + 1);
    if (last.empty())
        return {};
    return collapseBackslashes(replaceAll(cacheFolder + L"\\" + last, L"/", L"\\"));
}

void setInstallerDialog(InstallerDialog dialog)
{
    std::lock_guard<std::mutex> guard(g_dialogLock);
    g_dialog = std::move(dialog);
}

void offerInstaller(void* owner, const std::wstring& version)
{
    InstallerDialog dialog;
    {
        std::lock_guard<std::mutex> guard(g_dialogLock);
        dialog = g_dialog;
    }
    if (dialog)
        dialog(owner, version);
    else
        logLine(L"The .NET Framework " + version + L" installer dialog is not available in this build.");
}

bool checkVersion(void* owner, const std::wstring& version)
{
    if (version.empty() || !isMissing(version, detect()))
        return true;
    offerInstaller(owner, version);
    return false;
}

bool checkPrerequisite(void* owner) { return checkVersion(owner, neededVersion()); }

} // namespace rk::dotnet
