#include "core/text_format.h"
#include "core/app_directory.h"
#include "core/path_text.h"
#include "install/task_file.h"
#include "install/upgrade_actions.h"
#include "tests/unit/test_folder.h"

#include <gtest/gtest.h>

#include <map>

using namespace rk;

TEST(RunCommands, FieldsSplitAtEveryNineAndTheWaitRule)
{
    RunCommand c = parseRunCommand(L"C:\\tools\\setup.exe9/quiet9yes9key");
    EXPECT_EQ(c.file, L"C:\\tools\\setup.exe");
    EXPECT_EQ(c.parameters, L"/quiet");
    EXPECT_EQ(c.wait, L"yes");
    RunCommand bare = parseRunCommand(L"C:\\a.exe");
    EXPECT_EQ(bare.file, L"C:\\a.exe");
    EXPECT_EQ(bare.parameters, L"");
    EXPECT_EQ(bare.wait, L"");

    for (const wchar_t* waits : {L"1", L"yes", L"TRUE", L"on", L"no", L"Y"})
        EXPECT_TRUE(runCommandWaits(waits)) << waits;
    for (const wchar_t* noWait : {L"", L"0", L"false", L"2"})
        EXPECT_FALSE(runCommandWaits(noWait)) << noWait;
    // "false" holds no y, t or o... but "off" does, and so waits.
    EXPECT_TRUE(runCommandWaits(L"off"));
}

TEST(RunCommands, StatusDropsEmptyBrackets)
{
    RunCommand c{L"C:\\a.exe", L"", L""};
    EXPECT_EQ(runCommandStatus(c, false), L"Run[C:\\a.exe][nowait]");
    RunCommand p{L"C:\\a.exe", L"-x", L"1"};
    EXPECT_EQ(runCommandStatus(p, true), L"Run[C:\\a.exe][-x][wait]");
}

TEST(Shortcuts, LinkNameGetsOneExtension)
{
    EXPECT_EQ(linkFileName(L"C:\\Desk\\App"), L"C:\\Desk\\App.lnk");
    EXPECT_EQ(linkFileName(L"C:\\Desk\\App.LNK"), L"C:\\Desk\\App.LNK");
}

TEST(Texts, FillTextsTakesValuesLiterally)
{
    EXPECT_EQ(fillText(L"backup file error[%s]to[%s]", {L"a%s", L"b"}), L"backup file error[a%s]to[b]");
    EXPECT_EQ(fillText(L"[%s][%s]", {L"x"}), L"[x][%s]");
}

namespace {

TaskAction action(const std::wstring& name, std::map<std::wstring, std::wstring> attributes,
                  const std::wstring& text = L"")
{
    return taskActionFor(
        name,
        [&attributes](const wchar_t* key) {
            auto found = attributes.find(key);
            return found == attributes.end() ? std::wstring() : found->second;
        },
        text);
}

} // namespace

TEST(TaskElements, EachElementResolvesItsPathsAgainstTheApplicationDirectory)
{
    test::TestFolder dir(L"task-elements");
    const std::wstring app = dir.path();
    using Kind = TaskAction::Kind;

    TaskAction run = action(L"run", {{L"file", L"tool.exe"}, {L"param", L"-a"}, {L"waitclose", L"Yes"}});
    EXPECT_EQ(run.kind, Kind::Run);
    EXPECT_EQ(run.file, app + L"tool.exe");
    EXPECT_EQ(run.param, L"-a");
    EXPECT_TRUE(run.wait);
    for (const wchar_t* w : {L"TRUE", L"1", L"y"})
        EXPECT_TRUE(action(L"run", {{L"file", L"a"}, {L"waitclose", w}}).wait) << w;
    for (const wchar_t* w : {L"no", L"false", L""})
        EXPECT_FALSE(action(L"run", {{L"file", L"a"}, {L"waitclose", w}}).wait) << w;

    TaskAction ren = action(L"rename", {{L"source", L"a.txt"}, {L"target", L"sub\\b.txt"}});
    EXPECT_EQ(ren.kind, Kind::Rename);
    EXPECT_EQ(ren.target, app + L"sub\\b.txt");
    EXPECT_EQ(action(L"ren", {{L"source", L"a.txt"}}).kind, Kind::None) << "a rename needs both names";

    EXPECT_EQ(action(L"path", {{L"name", L"{app}\\plugins"}}).folder, app + L"plugins");
    EXPECT_EQ(action(L"path", {}, L"{app}\\cache").folder, app + L"cache");
    EXPECT_EQ(action(L"path", {}).kind, Kind::None);

    TaskAction del = action(L"del", {{L"file", L"x.txt"}, {L"path", L"old"}});
    EXPECT_EQ(del.kind, Kind::Delete);
    EXPECT_EQ(del.file, app + L"x.txt");
    EXPECT_EQ(del.folder, app + L"old");

    TaskAction link = action(L"shortcut", {{L"file", L"a.exe"}, {L"shortcut", L"links\\A"}, {L"iconindex", L"3"}});
    EXPECT_EQ(link.kind, Kind::Shortcut);
    EXPECT_EQ(link.shortcut, app + L"links\\A");
    EXPECT_EQ(link.iconIndex, 3);
    EXPECT_EQ(action(L"shortcut", {{L"file", L"a.exe"}}).kind, Kind::None);

    TaskAction ini = action(L"ini", {{L"file", L"c.ini"}, {L"app", L"S"}, {L"key", L"K"}});
    EXPECT_EQ(ini.kind, Kind::Ini);
    EXPECT_EQ(ini.value, L"") << "an empty value deletes the key";

    EXPECT_EQ(action(L"kill", {}).kind, Kind::None);
    EXPECT_EQ(action(L"Run", {{L"file", L"a"}}).kind, Kind::None) << "names are case-sensitive";
    EXPECT_EQ(action(L"tasks", {}).kind, Kind::None);
}

TEST(Texts, FillNumbersNeverReadsATranslatedFormatAsAnythingElse)
{
    EXPECT_EQ(fillNumbers(L"%d update files has %d locked", {3, 1}), L"3 update files has 1 locked");
    // A translation that got its placeholders wrong shows them, and crashes nothing.
    EXPECT_EQ(fillNumbers(L"%s files [%d/%d] %d", {1, 2}), L"%s files [1/2] %d");
}
