#include "run/update_run.h"

#include "core/app_directory.h"
#include "core/config.h"
#include "core/path_helpers.h"
#include "core/path_macros.h"
#include "core/path_text.h"
#include "core/process_state.h"
#include "core/run_log.h"
#include "install/local_check.h"
#include "list/list_compare.h"
#include "list/list_loader.h"
#include "list/signed_list.h"
#include "list/update_list.h"
#include "platform/files.h"
#include "platform/system.h"
#include "run/elevation.h"

namespace rk {

namespace {

// Removes the file's folder and each parent in turn while it lies inside the
// application directory; a folder that is not empty stays.
void removeEmptyParents(const std::wstring& file)
{
    const std::wstring appDir = toLower(applicationDirectory());
    std::wstring folder = parentFolder(file);
    while (folder.size() >= 4 && toLower(folder).find(appDir) != std::wstring::npos &&
           toLower(folder + L"\\") != appDir && toLower(folder) != appDir) {
        if (!removeDirectory(folder))
            break;
        folder = parentFolder(folder);
    }
}

} // namespace

void uninstallRun()
{
    const std::wstring ini = collapseBackslashes(applicationDirectory() + config::kFileName);
    testWritable(ini);
    if (isElevated())
        clearAdminRequiredFiles();
    if (!adminRequiredFiles().empty()) {
        relaunchAsAdministrator(true);
        return;
    }
    deleteTree(config::listKeyPath(L""));
    ComApartment com;
    DownLoadList local;
    loadList(collapseBackslashes(applicationDirectory() + kLocalListName), local, false);
    for (const updatefileinfo& entry : local.entries) {
        if (entry.actions == KIND_DESCRIPTION || entry.actions == KIND_RUN)
            continue;
        for (const std::wstring& file : targetFiles(entry)) {
            deleteFile(file);
            removeEmptyParents(file);
        }
        for (const std::wstring& link : expandNameList(entry.path, entry.shortcut)) {
            deleteFile(link);
            removeEmptyParents(link);
        }
    }
    if (!config::read(L"RenewKit", L"Log").empty())
        deleteFile(logFilePath());
    deleteFile(collapseBackslashes(applicationDirectory() + L"__oldfiles.lst"));
    deleteFile(collapseBackslashes(applicationDirectory() + kLocalListName));
    deleteFile(installedSerialPath());
}

} // namespace rk
