// Stage reports inside one process: properties, the stored stage and the hooks.
#include "core/host_link.h"
#include "run/stage_report.h"
#include "core/settings.h"
#include "core/app_directory.h"
#include "core/path_helpers.h"
#include "list/update_list.h"
#include "platform/files.h"

#include <gtest/gtest.h>
#include <windows.h>

using namespace rk;

namespace {

const wchar_t* const kAllStages[] = {L"UpdateNone",          L"UpdateCheckRemote", L"UpdateCheckRemoteError",
                                     L"UpdateCheckRemoteOk", L"UpdateDownload",    L"UpdateDownloadError",
                                     L"UpdateDownloadOk",    L"UpdateCheckLocal",  L"UpdateCheckLocalError",
                                     L"UpdateCheckLocalOk",  L"UpdateCopy",        L"UpdateCopyError",
                                     L"UpdateCopyOk",        L"UpdateEnd"};

class StageReport : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = L"C:\\rktest\\stage-report\\";
        deleteTree(m_dir);
        createFolderChain(m_dir);
        setApplicationDirectory(m_dir);
        SettingsTable::instance().clear();
        // Every stage has a waiting hook that leaves a mark, so a hook that ran is seen at once.
        std::string ini = "[UpdateEventWaitClose]\r\n";
        for (const wchar_t* name : kAllStages) {
            std::string n(name, name + std::wcslen(name));
            ini += n + "=" + "C:\\rktest\\stage-report\\" + n + ".bat\r\n";
            std::string bat = "@echo off\r\necho ran> \"C:\\rktest\\stage-report\\" + n + ".mark\"\r\n";
            writeFileBytes(m_dir + std::wstring(name) + L".bat", bat);
        }
        writeFileBytes(m_dir + L"renewkit.ini", ini);
        m_window = ::CreateWindowExW(0, L"STATIC", L"host", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(m_window, nullptr);
        HostWindows::instance().add(m_window);
    }
    void TearDown() override
    {
        HostWindows::instance().clear();
        ::DestroyWindow(m_window);
        SettingsTable::instance().clear();
        DownLoadList::shared().setStage(0);
        deleteTree(m_dir);
    }
    long long prop(const wchar_t* name) { return reinterpret_cast<long long>(::GetPropW(m_window, name)); }
    bool marked(const wchar_t* stage) { return fileExists(m_dir + stage + L".mark"); }

    std::wstring m_dir;
    HWND m_window = nullptr;
};

} // namespace

TEST_F(StageReport, NumberOutsideTheTableSetsPropertiesAndRunsNoHook)
{
    DownLoadList::shared().entries.resize(3);
    reportStage(20, nullptr);
    DownLoadList::shared().entries.clear();
    EXPECT_EQ(prop(L"renewkit.exe"), 20);
    EXPECT_EQ(prop(L"updatefilecount"), 3);
    EXPECT_EQ(DownLoadList::shared().stage(), 20);
    for (const wchar_t* name : kAllStages)
        EXPECT_FALSE(marked(name)) << name;
}

TEST_F(StageReport, KnownStageRunsItsWaitingHookBeforeReturning)
{
    reportStage(UpdateEnd, nullptr);
    EXPECT_EQ(prop(L"renewkit.exe"), 13);
    EXPECT_EQ(DownLoadList::shared().stage(), 13);
    EXPECT_TRUE(marked(L"UpdateEnd"));
    EXPECT_FALSE(marked(L"UpdateNone"));
}
