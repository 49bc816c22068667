#include "tests/unit/test_folder.h"

#include "core/settings.h"
#include "core/app_directory.h"
#include "core/path_helpers.h"
#include "platform/files.h"

#include <cstdlib>
#include <windows.h>

namespace rk::test {

TestFolder::TestFolder(const std::wstring& name)
{
    m_path = systemTempPath() + L"rk-unit\\" + name + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
    deleteTree(m_path);
    createFolderChain(m_path);
    setApplicationDirectory(m_path);
    SettingsTable::instance().clear();
}

TestFolder::~TestFolder()
{
    SettingsTable::instance().clear();
    deleteTree(m_path);
}

void TestFolder::write(const std::wstring& name, const std::string& bytes) const
{
    createFolderChain(m_path + name);
    writeFileBytes(m_path + name, bytes);
}

std::string TestFolder::read(const std::wstring& name) const
{
    std::string bytes;
    readFileBytes(m_path + name, bytes);
    return bytes;
}

std::wstring folderFromEnvironment(const wchar_t* variable)
{
    const wchar_t* dir = _wgetenv(variable);
    std::wstring path = dir ? dir : L"";
    if (!path.empty() && path.back() != L'\\')
        path += L'\\';
    return path;
}

std::wstring sourceDir() { return folderFromEnvironment(L"RK_SOURCE_DIR"); }

} // namespace rk::test
