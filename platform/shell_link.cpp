#include "platform/shell_link.h"

#include "platform/com_ptr.h"
#include "platform/handles.h"
#include "platform/system.h"

#include <objidl.h>
#include <shlobj.h>

namespace rk {

struct ShellLink::Impl {
    ComPtr<IShellLinkW> link;
};

ShellLink::ShellLink() : m_impl(new Impl) {}

ShellLink::~ShellLink() { delete m_impl; }

bool ShellLink::create()
{
    return SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                        reinterpret_cast<void**>(m_impl->link.put())));
}

bool ShellLink::setTarget(const std::wstring& target, const std::wstring& workingFolder)
{
    if (!m_impl->link)
        return false;
    bool ok = SUCCEEDED(m_impl->link->SetPath(target.c_str()));
    return SUCCEEDED(m_impl->link->SetWorkingDirectory(workingFolder.c_str())) && ok;
}

bool ShellLink::setIcon(const std::wstring& iconFile, int index)
{
    return m_impl->link && SUCCEEDED(m_impl->link->SetIconLocation(iconFile.c_str(), index));
}

bool ShellLink::save(const std::wstring& linkFile)
{
    if (!m_impl->link)
        return false;
    ComPtr<IPersistFile> file;
    if (FAILED(m_impl->link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.put()))))
        return false;
    return SUCCEEDED(file->Save(linkFile.c_str(), TRUE));
}

bool callDllRegisterServer(const std::wstring& library, std::wstring& failure)
{
    failure.clear();
    UniqueModule module(::LoadLibraryW(library.c_str()));
    if (!module) {
        // A library built for another processor (a 32-bit one in this 64-bit
        // program) fails here with error 193.
        failure = L"the library cannot be loaded: " + systemErrorText(::GetLastError());
        return false;
    }
    using RegisterFunction = HRESULT(STDAPICALLTYPE*)();
    auto registerServer = reinterpret_cast<RegisterFunction>(
        reinterpret_cast<void*>(::GetProcAddress(module.get(), "DllRegisterServer")));
    if (!registerServer) {
        failure = L"the library has no DllRegisterServer";
        return false;
    }
    registerServer();
    return true;
}

} // namespace rk
