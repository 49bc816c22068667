// The installation under Wine touches nothing the list does not name and loses
// nothing: what a close step or a kill task may end, task files that run
// themselves, links, access rights, protected folders and libraries that do not
// register. rk_install_runner on a prepared application folder, as in
// install_e2e_test.cpp.

#include "core/name_hash.h"
#include "platform/files.h"
#include "tests/e2e/e2e_support.h"
#include "tests/install/installation.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <string>

using namespace rk;
using namespace rk::test;
using rk::e2e::readBytes;
using rk::e2e::writeBytes;

namespace {

int occurrences(const std::string& text, const std::string& part)
{
    int found = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++found;
    return found;
}

// The temporary list folder of an Installation: its TempPath and the list key
// of its ListURL.
std::wstring tempListFolder(const Installation& inst)
{
    return inst.root + L"tmp\\" + nameHash(L"http://127.0.0.1:1/list.xml9999999999");
}

// The file's access list in SDDL; empty when it cannot be read.
std::string accessList(const std::wstring& path)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    PACL dacl = nullptr;
    if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                nullptr, &descriptor) != ERROR_SUCCESS)
        return {};
    wchar_t* text = nullptr;
    std::string sddl;
    if (::ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                               &text, nullptr)) {
        sddl = narrow(text);
        ::LocalFree(text);
    }
    ::LocalFree(descriptor);
    return sddl;
}

} // namespace

TEST(LocalCheck, WithoutAProgramNameABusyListFileClosesNothing)
{
    // An empty Application, or one naming a folder, would match every process.
    for (const char* application : {"", "bin\\"}) {
        Installation inst(L"no-program");
        inst.application(application);
        inst.localList("<file path=\"a.txt\" ver=\"1\"/>");
        inst.offered(L"a.txt", "a2");
        inst.remoteList("<file path=\"a.txt\" ver=\"2\"/>");
        Bystander bystander(inst, L"bystander-np.exe");
        ASSERT_TRUE(bystander.started());
        // Something holds the local list, as a running host may.
        HANDLE held = ::CreateFileW((inst.app + L"renewkit.xml").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        EXPECT_EQ(inst.run(L"--answer yes"), 8) << application;
        ::CloseHandle(held);
        EXPECT_FALSE(bystander.askedToEnd()) << application;
        EXPECT_TRUE(bystander.running()) << application;
        EXPECT_FALSE(inst.has(L"a.txt")) << application;
        const std::string log = inst.log();
        EXPECT_TRUE(contains(log, "names no program to close")) << application;
        EXPECT_FALSE(contains(log, "The main program has closed")) << application;
    }
}

TEST(Tasks, TaskFilesThatRunThemselvesOrNestTooDeepAreSkippedWithALogLine)
{
    Installation inst(L"nested");
    inst.localList("");
    auto task = [](const std::string& key, const std::string& next) {
        return "<tasks><ini file=\"seen.ini\" app=\"S\" key=\"" + key + "\" value=\"1\"/><run file=\"" + next +
               "\"/></tasks>";
    };
    std::string remote = "<file path=\"self.xml\" ver=\"1\" oper=\"run\"/><file path=\"a.xml\" ver=\"1\" oper=\"run\"/>"
                         "<file path=\"b.xml\" ver=\"1\"/>";
    inst.offered(L"self.xml", task("self", "{app}\\self.xml"));
    // A runs B, which runs A again under another spelling.
    inst.offered(L"a.xml", task("a", "b.xml"));
    inst.offered(L"b.xml", task("b", "A.XML"));
    // A chain of ten distinct files, each running the next.
    for (int i = 0; i < 10; ++i) {
        const std::string name = "chain" + std::to_string(i) + ".xml";
        inst.offered(std::wstring(name.begin(), name.end()),
                     task("chain" + std::to_string(i), "chain" + std::to_string(i + 1) + ".xml"));
        remote += "<file path=\"" + name + "\" ver=\"1\"" + (i == 0 ? " oper=\"run\"" : "") + "/>";
    }
    inst.remoteList(remote);

    EXPECT_EQ(inst.run(), 12) << "the stage ends and the list is saved";
    EXPECT_EQ(inst.run(), 0) << "nothing is offered again";
    const std::string ini = inst.file(L"seen.ini");
    for (const char* key : {"self=1", "a=1", "b=1"})
        EXPECT_TRUE(contains(ini, key)) << key;
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(contains(ini, "chain" + std::to_string(i) + "=1"), i < 8)
            << "eight task files deep, no deeper: " << i;
    const std::string log = inst.log();
    EXPECT_EQ(occurrences(log, "Write ini[seen.ini][self][1]"), 1);
    EXPECT_EQ(occurrences(log, "Write ini[seen.ini][a][1]"), 1);
    EXPECT_TRUE(contains(log, "Task file skipped, it is already running[" + narrow(inst.app) + "self.xml]"));
    EXPECT_TRUE(contains(log, "Task file skipped, it is already running[" + narrow(inst.app) + "A.XML]"));
    EXPECT_TRUE(contains(log, "Task file skipped, task files nest at most 8 deep[" + narrow(inst.app) + "chain8.xml]"));
}

TEST(Tasks, KillOfAFolderADriveOrNoNameEndsNoProgram)
{
    Installation inst(L"kill-folders");
    Bystander bystander(inst, L"bystander-kf.exe");
    ASSERT_TRUE(bystander.started());
    inst.installed(L"plugins\\x.txt", "x");
    inst.localList("");
    inst.offered(L"tasks.xml", "<tasks><kill file=\"{app}\"/><kill file=\"C:\\\"/><kill file=\"{app}\\plugins\"/>"
                               "<kill file=\"{app}\\..\"/><kill file=\" \"/></tasks>");
    inst.remoteList("<file path=\"tasks.xml\" ver=\"1\" oper=\"run\"/>");
    EXPECT_EQ(inst.run(), 12);
    EXPECT_FALSE(bystander.askedToEnd());
    EXPECT_TRUE(bystander.running());
    const std::string log = inst.log();
    EXPECT_EQ(occurrences(log, "Kill skipped, no program named["), 5) << log;
    EXPECT_FALSE(contains(log, "Kill process[")) << log;
}

TEST(CopyStage, LinksAreRemovedWithoutFollowingThem)
{
    Installation inst(L"links");
    // What the links lead to: a folder the list never names.
    const std::wstring victim = inst.root + L"victim\\";
    writeBytes(victim + L"precious.txt", "keep");
    inst.localList("");
    inst.installed(L"cache\\old.txt", "old");
    inst.offered(L"a.txt", "a2");
    inst.offered(L"tasks.xml", "<tasks><del path=\"{app}\\cache\"/><del path=\"{app}\\shortcut-to-victim\"/></tasks>");
    inst.remoteList("<file path=\"a.txt\" ver=\"1\"/><file path=\"tasks.xml\" ver=\"1\" oper=\"run\"/>");
    // One planted in the temporary list folder, one in a folder a task deletes,
    // and one that a task names itself.
    e2e::PlantedLink inTemp(tempListFolder(inst) + L"\\planted", victim);
    e2e::PlantedLink inCache(inst.app + L"cache\\planted", victim);
    e2e::PlantedLink named(inst.app + L"shortcut-to-victim", victim);
    ASSERT_TRUE(inTemp.planted() && inCache.planted() && named.planted());

    EXPECT_EQ(inst.run(), 12);
    EXPECT_EQ(inst.file(L"a.txt"), "a2");
    EXPECT_FALSE(inst.has(L"cache\\old.txt")) << "the rest of the folder goes";
    EXPECT_EQ(readBytes(victim + L"precious.txt"), "keep") << "nothing behind a link is touched";
    const std::string log = inst.log();
    // Wine cannot remove the links it reports; Windows removes them.
    for (const std::wstring& link :
         {tempListFolder(inst) + L"\\planted", inst.app + L"cache\\planted", inst.app + L"shortcut-to-victim"})
        EXPECT_TRUE(contains(log, "Link removed without following it[" + narrow(link) + "]") ||
                    contains(log, "Link not followed and left in place[" + narrow(link) + "]"))
            << narrow(link);
}

TEST(CopyStage, FilesInstalledAsAdministratorTakeTheAccessRightsOfTheirFolder)
{
    Installation inst(L"access");
    inst.localList("");
    inst.offered(L"one.txt", "one");
    inst.offered(L"two.txt", "two");
    inst.remoteList(
        "<file path=\"one.txt\" ver=\"1\"/><file path=\"two.txt\" ver=\"1\" DesName=\"two.txt,copy.txt\"/>");
    // What a folder of this application gives a new file.
    writeBytes(inst.app + L"fresh.txt", "f");
    const std::string folderGives = accessList(inst.app + L"fresh.txt");
    ASSERT_FALSE(folderGives.empty());
    // The user's temporary folder lets everyone change the downloads in it.
    const std::wstring open = L"D:(A;;FA;;;WD)(A;;FA;;;SY)";
    EXPECT_EQ(inst.run(L"--elevated --temp-access \"" + open + L"\""), 12);
    for (const wchar_t* name : {L"one.txt", L"two.txt", L"copy.txt", L"renewkit.xml"}) {
        ASSERT_TRUE(inst.has(name)) << narrow(name);
        EXPECT_EQ(accessList(inst.app + name), folderGives) << narrow(name);
    }
}

TEST(LocalCheck, NewFileInAMissingFolderOfAProtectedFolderNeedsAdministratorRights)
{
    // locked is made immutable by the test's fixture, outside the prefix.
    Installation inst(e2e::buildDir() + L"rk-admin-folder\\", true);
    ASSERT_TRUE(directoryExists(inst.app + L"locked")) << "the fixture's folder";
    inst.localList("<file path=\"free.txt\" ver=\"1\"/>");
    inst.installed(L"free.txt", "free 1");
    inst.offered(L"free.txt", "free 2");
    inst.offered(L"locked\\new\\deeper\\file.txt", "new");
    inst.remoteList("<file path=\"free.txt\" ver=\"2\"/><file path=\"locked|new|deeper|file.txt\" ver=\"1\"/>");
    EXPECT_EQ(inst.run(), 8);
    EXPECT_EQ(inst.file(L"free.txt"), "free 1") << "nothing is copied while rights are missing";
    EXPECT_TRUE(contains(inst.log(), "request administrator privileges to continue"));
    EXPECT_FALSE(inst.has(L"locked\\new"));

    // As administrator the folder stays immutable here: the copy fails and says so.
    EXPECT_EQ(inst.run(L"--elevated"), 11);
    EXPECT_EQ(inst.file(L"free.txt"), "free 2");
}

TEST(CopyStage, ALibraryThatCannotBeRegisteredIsLoggedWithTheReason)
{
    Installation inst(L"register");
    inst.localList("");
    inst.offered(L"junk.dll", "this is no library");
    inst.offered(L"plain.dll", readBytes(tool(L"rk_plain_library.dll")));
    inst.offered(L"probe.dll", readBytes(tool(L"rk_register_probe.dll")));
    inst.remoteList("<file path=\"junk.dll\" ver=\"1\" oper=\"reg\"/><file path=\"plain.dll\" ver=\"1\" oper=\"reg\"/>"
                    "<file path=\"probe.dll\" ver=\"1\" oper=\"reg\"/>");
    EXPECT_EQ(inst.run(), 12) << "a failed registration does not fail the copy stage";
    EXPECT_EQ(inst.file(L"registered.txt"), "registered");
    const std::string log = inst.log();
    const std::string app = narrow(inst.app);
    EXPECT_TRUE(contains(log, "Register file failed[" + app + "junk.dll]: the library cannot be loaded: error "))
        << log;
    EXPECT_TRUE(contains(log, "Register file failed[" + app + "plain.dll]: the library has no DllRegisterServer"))
        << log;
    EXPECT_FALSE(contains(log, "Register file failed[" + app + "probe.dll]"));
    for (const char* name : {"junk.dll", "plain.dll", "probe.dll"})
        EXPECT_TRUE(contains(log, std::string("Register file[") + name + "]")) << name;
}
