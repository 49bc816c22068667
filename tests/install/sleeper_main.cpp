// rk_sleeper: a program for the installation tests.
//   rk_sleeper touch FILE TEXT      appends TEXT and a line feed to FILE, then ends
//   rk_sleeper wait-for FILE        runs until FILE exists (checked every 50 ms, at most 10 min)
// Both write "<name> started" to FILE.started first, so a test sees the start.

#include <windows.h>

#include <string>

namespace {

void append(const std::wstring& path, const std::string& text)
{
    HANDLE file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ::CloseHandle(file);
}

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3)
        return 2;
    const std::wstring mode = argv[1];
    const std::wstring file = argv[2];
    if (mode == L"touch") {
        append(file, (argc > 3 ? narrow(argv[3]) : std::string("touched")) + "\n");
        return 0;
    }
    if (mode == L"wait-for") {
        append(file + L".started", "started\n");
        // Bounded so that a failed test never leaves it running for long.
        for (int i = 0; i < 12000; ++i) {
            if (::GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES)
                return 0;
            ::Sleep(50);
        }
        return 1;
    }
    return 2;
}
