#pragma once
// The working-folder rule: the application directory is a fixed folder on the
// system drive named after the product, and the embedded configuration is
// written there as renewkit.ini at every start.

#include <string>

namespace rk {

// The value of key in [section] of an INI text, found the simple way the
// embedded default is searched: first "[section]", then the first occurrence of
// key after it, then "=", up to the end of that line. Empty when missing.
std::wstring lookupEmbedded(const std::wstring& text, const std::wstring& section, const std::wstring& key);

// drive root of windowsFolder + "Mellowby\mbqb\" + subFolder + "\" (double "\" reduced).
std::wstring workingFolderFor(const std::wstring& windowsFolder, const std::wstring& subFolder);

// The folder below mbqb: Name, or "<ShelfSetupId>\QB_<Name>" when a ShelfSetup.ini
// sits beside the program's folder (in its parent folder).
std::wstring workingSubFolder(const std::wstring& programFolder, const std::wstring& name);

struct EmbeddedConfig {
    std::string bytes; // exactly as stored in the executable
    std::wstring text; // the bytes in the thread's ANSI code page
};

EmbeddedConfig loadEmbeddedConfig();

// Applies the rule: fixes the application directory, creates it, writes the
// embedded bytes to renewkit.ini there. Returns the folder.
std::wstring applyWorkingFolderRule(const EmbeddedConfig& config);

} // namespace rk
