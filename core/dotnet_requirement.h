#pragma once
// The .NET Framework the host program needs: which versions are installed
// (the framework folders under the Windows directory, and for 4.5 and later
// the Release value of the v4 setup key), which one is needed
// ([RenewKit] keys), and where its installer comes from. The dialog that
// downloads the installer lives above this layer and is handed in as a
// callback. Any thread may call the pure functions; the checks run on the
// thread that may show a dialog.

#include "platform/files.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace rk::dotnet {

// Flags in the order v1.0, v1.1, v2.0, v3.0, v3.5, v4.0, v4.5.
using InstalledVersions = std::array<bool, 7>;

// 4.5 to 4.8 replace 4.0 in its own folder (v4.0.30319): only the Release
// value under this key tells them apart; 378389 is 4.5, later versions are higher.
inline const wchar_t kV4SetupKey[] = L"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4\\Full";
constexpr std::uint32_t kRelease45 = 378389;

// Sets the flag whose name ("v1.0" ...) a folder's name starts with; files are
// ignored. A Release value of 4.5 or later sets the v4.0 and v4.5 flags.
InstalledVersions detectFrom(const std::vector<DirectoryEntry>& entries,
                             std::optional<std::uint32_t> v4Release = std::nullopt);
// The entries of <folder> (normally the Windows directory + "\Microsoft.NET\Framework").
InstalledVersions detectIn(const std::wstring& folder, std::optional<std::uint32_t> v4Release = std::nullopt);
// The framework folders and the Release value of this machine.
InstalledVersions detect();

// The needed version text: DotNetFix, DotNetFx, dotnetfix, dotnetfx (first
// non-empty), replaced by the first of dotnetfx10 .. dotnetfx40 that holds any text.
std::wstring neededVersion(const std::function<std::wstring(const std::wstring& key)>& read);
std::wstring neededVersion(); // from [RenewKit]

// Index of the flag a version text names ("2" and "2.0" alike), -1 for any other text.
int flagIndex(const std::wstring& version);
// True when the version is one of the table and its flag is false.
bool isMissing(const std::wstring& version, const InstalledVersions& installed);

// The version without dots followed by "0000", cut to two characters (3.5 -> 35, 4 -> 40).
std::wstring installerNumber(const std::wstring& version);
// "35" -> "3.5".
std::wstring dottedNumber(const std::wstring& number);
// The configured address when set, else our default server's installer for
// the versions it serves; empty otherwise.
std::wstring installerUrl(const std::wstring& number, const std::wstring& configured);
// The cache folder + the URL's last piece; empty when the URL has no piece.
std::wstring installerPath(const std::wstring& url, const std::wstring& cacheFolder);

// The dialog that offers the installer for a version; owner may be null.
using InstallerDialog = std::function<void(void* owner, const std::wstring& version)>;
void setInstallerDialog(InstallerDialog dialog);
// Shows the dialog for the version (logs that it is not available without one).
void offerInstaller(void* owner, const std::wstring& version);
// Reads the needed version and, when it is missing, offers its installer.
// True when nothing is missing (or nothing is needed).
bool checkPrerequisite(void* owner);
// The same for a version given by the caller (the dotnetNN switches).
bool checkVersion(void* owner, const std::wstring& version);

} // namespace rk::dotnet
