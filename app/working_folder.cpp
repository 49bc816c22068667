#include "app/working_folder.h"

#include "core/config.h"
#include "core/app_directory.h"
#include "core/path_helpers.h"
#include "core/path_text.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/system.h"

namespace rk {
namespace {

constexpr int kRcData = 10; // RT_RCDATA
constexpr int kEmbeddedConfigId = 179;

} // namespace

std::wstring lookupEmbedded(const std::wstring& text, const std::wstring& section, const std::wstring& key)
{
    size_t header = text.find(L"[" + section + L"]");
    if (header == std::wstring::npos || key.empty())
        return {};
    size_t name = text.find(key, header);
    if (name == std::wstring::npos)
        return {};
    size_t equals = text.find(L'=', name + key.size());
    if (equals == std::wstring::npos)
        return {};
    size_t start = equals + 1;
    size_t lineFeed = text.find(L'\n', start);
    if (lineFeed == std::wstring::npos)
        return text.substr(start);
    size_t end = lineFeed;
    if (end > start && text[end - 1] == L'\r')
        --end;
    return text.substr(start, end - start);
}

std::wstring workingFolderFor(const std::wstring& windowsFolder, const std::wstring& subFolder)
{
    return collapseBackslashes(windowsFolder.substr(0, 3) + L"Mellowby" + L"\\mbqb\\" + subFolder + L"\\");
}

std::wstring workingSubFolder(const std::wstring& programFolder, const std::wstring& name)
{
    std::wstring shelf = programFolder + L"\\..\\ShelfSetup.ini";
    if (!fileExists(shelf))
        return name;
    std::wstring id = config::readFromFile(shelf, L"APPLICATION", L"ShelfSetupId");
    return id + L"\\QB_" + name;
}

EmbeddedConfig loadEmbeddedConfig()
{
    EmbeddedConfig config;
    config.bytes = loadResourceBytes(kRcData, kEmbeddedConfigId);
    config.text = bytesToWide(config.bytes, kCodePageThreadAnsi);
    return config;
}

std::wstring applyWorkingFolderRule(const EmbeddedConfig& config)
{
    std::wstring name = lookupEmbedded(config.text, L"APPLICATION", L"Name");
    std::wstring module = moduleFileName();
    size_t slash = module.rfind(L'\\');
    std::wstring programDir = slash == std::wstring::npos ? std::wstring() : module.substr(0, slash);
    std::wstring folder = workingFolderFor(windowsDirectory(), workingSubFolder(programDir, name));
    if (!directoryExists(folder))
        createFolderChain(folder);
    setApplicationDirectory(folder);
    // Failures are ignored: reads then see whatever the folder holds.
    writeFileBytes(folder + config::kFileName, config.bytes);
    return folder;
}

} // namespace rk
