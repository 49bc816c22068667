#include "platform/file_security.h"

#include "platform/unique_any.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <vector>

namespace rk {
namespace {

struct LocalMemoryTraits {
    using Type = HLOCAL;
    static Type empty() { return nullptr; }
    static void close(Type h) { ::LocalFree(h); }
};
using UniqueLocalMemory = UniqueAny<LocalMemoryTraits>;

// Tokens and files alike are closed with CloseHandle.
struct TokenTraits {
    using Type = HANDLE;
    static Type empty() { return nullptr; }
    static void close(Type h) { ::CloseHandle(h); }
};
using UniqueToken = UniqueAny<TokenTraits>;

constexpr DWORD kReadRights = FILE_READ_DATA | GENERIC_READ | GENERIC_ALL;

// The current user's SID, in a buffer that owns it.
bool currentUserSid(std::vector<unsigned char>& buffer)
{
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw))
        return false;
    UniqueToken token(raw);
    DWORD size = 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size == 0)
        return false;
    buffer.resize(size);
    return ::GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size) != FALSE;
}

std::wstring sidText(PSID sid)
{
    wchar_t name[256], domain[256];
    DWORD nameSize = 256, domainSize = 256;
    SID_NAME_USE use;
    if (::LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use))
        return domainSize > 0 && domain[0] ? std::wstring(domain) + L"\\" + name : std::wstring(name);
    LPWSTR text = nullptr;
    if (!::ConvertSidToStringSidW(sid, &text))
        return L"an unknown account";
    UniqueLocalMemory owner(text);
    return text;
}

// The owner, the system and the administrators may read any secret of the user anyway.
bool trustedReader(PSID sid, PSID owner, PSID user)
{
    if ((owner && ::EqualSid(sid, owner)) || (user && ::EqualSid(sid, user)))
        return true;
    return ::IsWellKnownSid(sid, WinLocalSystemSid) || ::IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
           ::IsWellKnownSid(sid, WinCreatorOwnerSid);
}

} // namespace

bool readableByOthers(const std::wstring& path, std::wstring& who)
{
    who.clear();
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                &owner, nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
        who = L"the file's access rights could not be read";
        return false;
    }
    UniqueLocalMemory owned(descriptor);
    if (!dacl) {
        who = L"everyone (the file has no access control list)";
        return true;
    }
    std::vector<unsigned char> userBuffer;
    PSID user = currentUserSid(userBuffer) ? reinterpret_cast<TOKEN_USER*>(userBuffer.data())->User.Sid : nullptr;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!::GetAce(dacl, i, &ace))
            continue;
        const auto* header = static_cast<ACE_HEADER*>(ace);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE))
            continue;
        const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        PSID sid = const_cast<DWORD*>(&allowed->SidStart);
        if ((allowed->Mask & kReadRights) && !trustedReader(sid, owner, user)) {
            if (!who.empty())
                who += L", ";
            who += sidText(sid);
        }
    }
    return !who.empty();
}

bool writePrivateFile(const std::wstring& path, const std::string& bytes)
{
    std::vector<unsigned char> userBuffer;
    if (!currentUserSid(userBuffer))
        return false;
    LPWSTR sidString = nullptr;
    if (!::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(userBuffer.data())->User.Sid, &sidString))
        return false;
    UniqueLocalMemory sidOwner(sidString);
    // A protected list with one entry: all access for this user, nothing inherited.
    const std::wstring sddl = std::wstring(L"D:P(A;;FA;;;") + sidString + L")";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
        return false;
    UniqueLocalMemory descriptorOwner(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    HANDLE raw = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, &attributes, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (raw == INVALID_HANDLE_VALUE)
        return false;
    UniqueToken file(raw);
    DWORD written = 0;
    const bool whole = ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                       written == bytes.size() && ::FlushFileBuffers(file.get());
    file.reset();
    if (!whole)
        ::DeleteFileW(path.c_str());
    return whole;
}

} // namespace rk
