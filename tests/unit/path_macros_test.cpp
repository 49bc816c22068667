#include "core/path_helpers.h"
#include "core/path_macros.h"
#include "core/path_text.h"
#include "core/temp_list_path.h"
#include "platform/files.h"
#include "tests/unit/test_folder.h"

#include <gtest/gtest.h>

#include <map>
#include <windows.h>

using namespace rk;

namespace {

class FakeFolders final : public FolderSource {
public:
    std::map<int, std::wstring> shell = {
        {0x26, L"C:\\Program Files"},          {0x05, L"C:\\Users\\u\\Documents"},
        {0x19, L"C:\\Users\\Public\\Desktop"}, {0x10, L"C:\\Users\\u\\Desktop"},
        {0x0B, L"C:\\Users\\u\\Start Menu"},   {0x16, L"C:\\ProgramData\\Start Menu"},
        {0x18, L"C:\\ProgramData\\Startup"},   {0x07, L"C:\\Users\\u\\Startup"},
        {0x17, L"C:\\ProgramData\\Programs"},  {0x02, L"C:\\Users\\u\\Programs"},
    };
    bool hasWow64 = true;
    std::wstring shellFolder(int csidl) const override
    {
        auto it = shell.find(csidl);
        return it == shell.end() ? std::wstring() : it->second;
    }
    std::wstring windowsFolder() const override { return L"C:\\Windows"; }
    std::wstring systemFolder() const override { return L"C:\\Windows\\system32"; }
    bool folderExists(const std::wstring& path) const override { return hasWow64 && path == L"C:\\Windows\\SysWOW64"; }
};

const std::wstring kApp = L"C:\\App\\";

} // namespace

TEST(ExpandMacros, ShellFolders)
{
    FakeFolders f;
    EXPECT_EQ(expandMacros(L"{desktop}\\a.lnk", f, kApp), L"C:\\Users\\u\\Desktop\\a.lnk");
    EXPECT_EQ(expandMacros(L"{commondesktop}\\a.lnk", f, kApp), L"C:\\Users\\Public\\Desktop\\a.lnk");
    EXPECT_EQ(expandMacros(L"{startupprograms}\\x", f, kApp), L"C:\\ProgramData\\Programs\\x");
    EXPECT_EQ(expandMacros(L"{pf}|{programfiles}", f, kApp), L"C:\\Program Files|C:\\Program Files");
    EXPECT_EQ(expandMacros(L"{startupmenu}{commonstartupmenu}", f, kApp),
              L"C:\\Users\\u\\Start MenuC:\\ProgramData\\Start Menu");
    f.shell.erase(0x10);
    EXPECT_EQ(expandMacros(L"{desktop}\\a.lnk", f, kApp), L"\\a.lnk");
}

TEST(ExpandMacros, OnlyTheFirstBaseMacroIsExpanded)
{
    FakeFolders f;
    EXPECT_EQ(expandMacros(L"{app}\\bin\\x.dll", f, kApp), L"C:\\App\\bin\\x.dll");
    EXPECT_EQ(expandMacros(L"{sys}\\a.dll;{app}\\b.dll", f, kApp), L"C:\\Windows\\system32\\a.dll;{app}\\b.dll");
    EXPECT_EQ(expandMacros(L"{app}{app}", f, kApp), L"C:\\App\\C:\\App\\");
    EXPECT_EQ(expandMacros(L"{path}\\x {target}\\y", f, kApp), L"{path}\\x C:\\App\\y");
    EXPECT_EQ(expandMacros(L"{win}\\a {sys}\\b", f, kApp), L"C:\\Windows\\a {sys}\\b");
    EXPECT_EQ(expandMacros(L"{syswow64}\\a", f, kApp), L"C:\\Windows\\SysWOW64\\a");
    f.hasWow64 = false;
    EXPECT_EQ(expandMacros(L"{syswow64}\\a", f, kApp), L"C:\\Windows\\system32\\a");
}

TEST(ExpandMacros, UnknownAndUpperCaseBracesStay)
{
    FakeFolders f;
    EXPECT_EQ(expandMacros(L"{APP}\\x", f, kApp), L"{APP}\\x");
    EXPECT_EQ(expandMacros(L"{tmp}\\x", f, kApp), L"{tmp}\\x");
    EXPECT_EQ(expandMacros(L"{qbdir}\\x", f, kApp), L"{qbdir}\\x");
    // Backslash pairs are only reduced when something was expanded.
    EXPECT_EQ(expandMacros(L"a\\\\b", f, kApp), L"a\\\\b");
    EXPECT_EQ(expandMacros(L"{app}\\\\\\b", f, kApp), L"C:\\App\\\\b");
}

TEST(ResolvePath, RelativeAbsoluteAndSlashes)
{
    FakeFolders f;
    EXPECT_EQ(resolvePath(L"D:\\data\\x.dll", f, kApp), L"D:\\data\\x.dll");
    EXPECT_EQ(resolvePath(L"D:/data/x.dll", f, kApp), L"D:/data/x.dll");
    EXPECT_EQ(resolvePath(L"x.dll", f, kApp), L"C:\\App\\x.dll");
    EXPECT_EQ(resolvePath(L"sub/y.dll", f, kApp), L"C:\\App\\sub\\y.dll");
    EXPECT_EQ(resolvePath(L"\\sub\\\\y.dll", f, kApp), L"C:\\App\\sub\\y.dll");
    EXPECT_EQ(resolvePath(L"{app}\\bin\\x.dll", f, kApp), L"C:\\App\\bin\\x.dll");
    // A colon at the very start does not make a path absolute.
    EXPECT_EQ(resolvePath(L":x", f, kApp), L"C:\\App\\:x");
}

TEST(JoinLocal, SameRuleWithoutMacros)
{
    EXPECT_EQ(joinLocal(L"C:\\tmp\\LIST", L"{app}/a.dll"), L"C:\\tmp\\LIST\\{app}\\a.dll");
    EXPECT_EQ(joinLocal(L"C:\\tmp\\LIST\\", L"sub\\b.dll"), L"C:\\tmp\\LIST\\sub\\b.dll");
    EXPECT_EQ(joinLocal(L"C:\\tmp", L"E:\\b.dll"), L"E:\\b.dll");
}

// Downloads wait in the temporary list folder until the copy stage: no list
// path may name a place outside it, whatever drive or ".." it holds.
TEST(TempListPath, EveryListPathStaysInsideTheFolder)
{
    const std::wstring k = L"C:\\tmp\\KEY";
    EXPECT_EQ(tempListFilePath(k, L"sub/a.dll"), L"C:\\tmp\\KEY\\sub\\a.dll");
    EXPECT_EQ(tempListFilePath(k + L"\\", L"\\sub\\\\a.dll"), L"C:\\tmp\\KEY\\sub\\a.dll");
    EXPECT_EQ(tempListFilePath(k, L"{app}\\a.dll"), L"C:\\tmp\\KEY\\{app}\\a.dll");
    EXPECT_EQ(tempListFilePath(L"\\\\srv\\share\\key", L"a//b.dll"), L"\\\\srv\\share\\key\\a\\b.dll");
    // A drive becomes a folder of its own.
    EXPECT_EQ(tempListFilePath(k, L"D:\\abs\\b.dll"), L"C:\\tmp\\KEY\\D$\\abs\\b.dll");
    EXPECT_EQ(tempListFilePath(k, L"C:/Windows/x.dll"), L"C:\\tmp\\KEY\\C$\\Windows\\x.dll");
    EXPECT_EQ(tempListFilePath(k, L"C:x.dll"), L"C:\\tmp\\KEY\\C$x.dll");
    EXPECT_EQ(tempListFilePath(k, L"\\\\?\\C:\\x.dll"), L"C:\\tmp\\KEY\\?\\C$\\x.dll");
    // Parent and current folders never lead out; a name of dots and blanks
    // (which Windows trims) neither.
    EXPECT_EQ(tempListFilePath(k, L"..\\..\\evil.dll"), L"C:\\tmp\\KEY\\__\\__\\evil.dll");
    EXPECT_EQ(tempListFilePath(k, L"a\\.\\..\\..\\b.dll"), L"C:\\tmp\\KEY\\a\\__\\__\\b.dll");
    EXPECT_EQ(tempListFilePath(k, L"../x/.. /... /b.dll"), L"C:\\tmp\\KEY\\__\\x\\__\\__\\b.dll");
    EXPECT_EQ(tempListFilePath(k, L"a..b\\.c"), L"C:\\tmp\\KEY\\a..b\\.c");
    // Spellings of one file give one path (Windows trims trailing dots and blanks).
    EXPECT_EQ(tempListFilePath(k, L"sub.\\a.dll. "), L"C:\\tmp\\KEY\\sub\\a.dll");
    EXPECT_EQ(tempListFilePath(k, L"/sub//./a.dll"), tempListFilePath(k, L"sub\\a.dll"));
    for (const wchar_t* path : {L"..\\x", L"C:\\x", L"\\\\srv\\x", L"/..", L"..", L"a/../../../x"}) {
        const std::wstring out = tempListFilePath(k, path);
        EXPECT_EQ(out.rfind(k + L"\\", 0), 0u) << out;
        EXPECT_EQ(out.find(L"\\..\\"), std::wstring::npos) << out;
        EXPECT_NE(out.substr(out.size() - 3), L"\\..") << out;
    }
}

TEST(PathHelpers, ParentFolderAndCollapse)
{
    EXPECT_EQ(parentFolder(L"C:\\a\\b.txt"), L"C:\\a");
    EXPECT_EQ(parentFolder(L"C:\\a\\"), L"C:\\a\\");
    EXPECT_EQ(parentFolder(L"name"), L"name");
    EXPECT_EQ(collapseBackslashes(L"a\\\\\\b"), L"a\\\\b");
    EXPECT_EQ(collapseBackslashes(L"a\\\\\\\\b"), L"a\\\\b");
}

TEST(PathHelpers, FolderChainDeleteFileAndTree)
{
    test::TestFolder dir(L"paths");
    createFolderChain(dir.path() + L"one\\two\\file.txt");
    EXPECT_TRUE(directoryExists(dir.path() + L"one\\two"));
    EXPECT_FALSE(pathExists(dir.path() + L"one\\two\\file.txt"));

    dir.write(L"one\\two\\ro.txt", "x");
    ::SetFileAttributesW(dir.file(L"one\\two\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(deleteFile(L"one\\two\\ro.txt")); // relative to the application directory, read-only too
    EXPECT_FALSE(fileExists(dir.file(L"one\\two\\ro.txt")));
    EXPECT_FALSE(deleteFile(L"one\\two\\missing.txt"));

    dir.write(L"tree\\a\\b\\c.txt", "c");
    dir.write(L"tree\\d.txt", "d");
    deleteTree(dir.path() + L"tree");
    EXPECT_FALSE(pathExists(dir.path() + L"tree"));
}
