#include "platform/files.h"

#include "platform/handles.h"

#include <windows.h>

#include <algorithm>

namespace rk {
namespace {

DWORD attributesOf(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()); }

std::wstring bufferedPath(UINT (*get)(LPWSTR, UINT))
{
    wchar_t buffer[MAX_PATH + 1] = {};
    UINT n = get(buffer, MAX_PATH + 1);
    if (n == 0 || n > MAX_PATH)
        return {};
    return std::wstring(buffer, n);
}

bool writeAll(HANDLE file, std::string_view bytes)
{
    while (!bytes.empty()) {
        DWORD chunk = bytes.size() > 0x40000000 ? 0x40000000 : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0)
            return false;
        bytes.remove_prefix(written);
    }
    return true;
}

} // namespace

bool fileExists(const std::wstring& path)
{
    DWORD a = attributesOf(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool directoryExists(const std::wstring& path)
{
    DWORD a = attributesOf(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool pathExists(const std::wstring& path) { return attributesOf(path) != INVALID_FILE_ATTRIBUTES; }

bool isLink(const std::wstring& path)
{
    DWORD a = attributesOf(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool findFirstFileMatches(const std::wstring& path)
{
    WIN32_FIND_DATAW data{};
    UniqueFindHandle search(::FindFirstFileW(path.c_str(), &data));
    return search.valid();
}

bool setNormalAttributes(const std::wstring& path)
{
    return ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL) != FALSE;
}

bool createDirectory(const std::wstring& path) { return ::CreateDirectoryW(path.c_str(), nullptr) != FALSE; }

bool removeDirectory(const std::wstring& path) { return ::RemoveDirectoryW(path.c_str()) != FALSE; }

bool deleteFileForced(const std::wstring& path)
{
    // The attributes are changed only for a file that refused: each change
    // opens the file once more (a round trip to the Wine server).
    if (::DeleteFileW(path.c_str()))
        return true;
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return false;
    setNormalAttributes(path);
    return ::DeleteFileW(path.c_str()) != FALSE;
}

bool deleteFileOnly(const std::wstring& path) { return ::DeleteFileW(path.c_str()) != FALSE; }

bool copyFileReplacing(const std::wstring& from, const std::wstring& to)
{
    return ::CopyFileW(from.c_str(), to.c_str(), FALSE) != FALSE;
}

bool copyFileNew(const std::wstring& from, const std::wstring& to)
{
    return ::CopyFileW(from.c_str(), to.c_str(), TRUE) != FALSE;
}

std::wstring fullPathName(const std::wstring& path)
{
    DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return path;
    std::wstring full(needed, L'\0');
    DWORD got = ::GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (got == 0 || got >= needed)
        return path;
    full.resize(got);
    return full;
}

bool moveFile(const std::wstring& from, const std::wstring& to)
{
    return ::MoveFileW(from.c_str(), to.c_str()) != FALSE;
}

bool readFileBytes(const std::wstring& path, std::string& bytes) { return readFileBytesLimited(path, bytes, ~0ULL); }

bool readFileBytesLimited(const std::wstring& path, std::string& bytes, unsigned long long maxBytes)
{
    bytes.clear();
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
        static_cast<unsigned long long>(size.QuadPart) > maxBytes)
        return false;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 20));
        DWORD got = 0;
        if (!::ReadFile(file.get(), bytes.data() + done, want, &got, nullptr))
            return false;
        if (got == 0)
            break;
        done += got;
    }
    bytes.resize(done);
    return true;
}

bool writeFileBytes(const std::wstring& path, std::string_view bytes)
{
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && writeAll(file.get(), bytes);
}

bool appendFileBytes(const std::wstring& path, std::string_view bytes)
{
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        file.reset(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    LARGE_INTEGER zero{};
    if (!::SetFilePointerEx(file.get(), zero, nullptr, FILE_END))
        return false;
    return writeAll(file.get(), bytes);
}

std::vector<DirectoryEntry> listDirectory(const std::wstring& folder)
{
    std::vector<DirectoryEntry> entries;
    std::wstring pattern = folder;
    if (!pattern.empty() && pattern.back() != L'\\')
        pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW data{};
    UniqueFindHandle find(::FindFirstFileW(pattern.c_str(), &data));
    if (!find)
        return entries;
    do {
        std::wstring name = data.cFileName;
        if (name == L"." || name == L"..")
            continue;
        entries.push_back({name, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                           (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0});
    } while (::FindNextFileW(find.get(), &data));
    return entries;
}

std::wstring moduleFileName()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring windowsDirectory() { return bufferedPath(::GetWindowsDirectoryW); }

std::wstring systemDirectory() { return bufferedPath(::GetSystemDirectoryW); }

std::wstring systemTempPath()
{
    wchar_t buffer[MAX_PATH + 1] = {};
    DWORD n = ::GetTempPathW(MAX_PATH + 1, buffer);
    if (n == 0 || n > MAX_PATH)
        return {};
    return std::wstring(buffer, n);
}

unsigned long lastError() { return ::GetLastError(); }

} // namespace rk
