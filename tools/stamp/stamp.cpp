#include "tools/stamp/stamp.h"

#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/handles.h"

#include <windows.h>

#include <vector>

namespace rk::stamp {
namespace {

constexpr WORD kConfigId = 179;

bool isValidUtf8(const std::string& bytes)
{
    return ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), nullptr,
                                 0) > 0;
}

BOOL CALLBACK collectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param)
{
    reinterpret_cast<std::vector<WORD>*>(param)->push_back(language);
    return TRUE;
}

std::wstring systemMessage(const wchar_t* what)
{
    return std::wstring(what) + L" (error " + std::to_wstring(::GetLastError()) + L")";
}

} // namespace

std::string embeddedBytes(const std::string& ini)
{
    std::string text = ini;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.erase(0, 3);
    if (!text.empty() && isValidUtf8(text))
        text = wideToBytes(bytesToWide(text, kCodePageUtf8), kCodePageGbk);
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            out += "\r\n";
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

std::wstring stampExecutable(const std::wstring& exe, const std::wstring& ini, const std::wstring& output)
{
    std::string iniBytes;
    if (!readFileBytes(ini, iniBytes))
        return systemMessage(L"cannot read the INI file");
    const std::string bytes = embeddedBytes(iniBytes);

    if (output != exe && !copyFileReplacing(exe, output))
        return systemMessage(L"cannot copy the executable");

    // Replace the resource in every language it exists in, so no older copy stays.
    std::vector<WORD> languages;
    {
        UniqueModule image(::LoadLibraryExW(output.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        if (!image)
            return systemMessage(L"cannot open the executable's resources");
        ::EnumResourceLanguagesW(image.get(), MAKEINTRESOURCEW(10), MAKEINTRESOURCEW(kConfigId), collectLanguage,
                                 reinterpret_cast<LONG_PTR>(&languages));
    }
    if (languages.empty())
        languages.push_back(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));

    UniqueResourceUpdate update(::BeginUpdateResourceW(output.c_str(), FALSE));
    if (!update)
        return systemMessage(L"cannot update the executable");
    for (WORD language : languages) {
        if (!::UpdateResourceW(update.get(), MAKEINTRESOURCEW(10), MAKEINTRESOURCEW(kConfigId), language,
                               const_cast<char*>(bytes.data()), static_cast<DWORD>(bytes.size())))
            return systemMessage(L"cannot replace the configuration");
    }
    HANDLE pending = update.release();
    if (!::EndUpdateResourceW(pending, FALSE))
        return systemMessage(L"cannot write the executable");
    return {};
}

} // namespace rk::stamp
