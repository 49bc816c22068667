#pragma once
// A fresh folder for one test, made the application directory while it lives;
// the settings table is emptied on both ends so no cached value leaks between tests.

#include <string>

namespace rk::test {

class TestFolder {
public:
    explicit TestFolder(const std::wstring& name);
    ~TestFolder();
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    const std::wstring& path() const { return m_path; } // ends with "\"
    std::wstring file(const std::wstring& name) const { return m_path + name; }
    void write(const std::wstring& name, const std::string& bytes) const;
    std::string read(const std::wstring& name) const;

private:
    std::wstring m_path;
};

// A folder named by an environment variable that ctest sets, with a trailing "\".
std::wstring folderFromEnvironment(const wchar_t* variable);

// The source tree's folder as Wine sees it (Z:...), with a trailing "\".
std::wstring sourceDir();

} // namespace rk::test
