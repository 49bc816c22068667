#pragma once
// Shared pieces of the list tests: COM for the test's thread, a per-test
// application folder, and a prompter that records message boxes instead of
// showing them.

#include "platform/message_box.h"
#include "platform/system.h"
#include "tests/unit/test_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace rk::test {

class RecordingPrompter final : public Prompter {
public:
    RecordingPrompter() { setPrompter(this); }
    ~RecordingPrompter() override { setPrompter(nullptr); }
    MessageAnswer ask(void*, const std::wstring& text, const std::wstring&, MessageKind) override
    {
        texts.push_back(text);
        return MessageAnswer::Ok;
    }
    std::vector<std::wstring> texts;
};

// A test with COM initialised, its own application folder and recorded messages.
class ListTest : public ::testing::Test {
protected:
    ListTest() : folder(testName()) {}

    std::wstring writeFile(const std::wstring& name, const std::string& bytes) const
    {
        folder.write(name, bytes);
        return folder.file(name);
    }

    ComApartment com;
    RecordingPrompter messages;
    TestFolder folder;

private:
    static std::wstring testName()
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "-" + info->name();
        return std::wstring(name.begin(), name.end());
    }
};

// The folder of the committed fixtures, as Wine sees it.
inline std::wstring fixture(const std::wstring& name) { return sourceDir() + L"tests\\list\\data\\" + name; }

} // namespace rk::test
