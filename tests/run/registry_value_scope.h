#pragma once
// A DWORD value of the prefix's registry set for the life of the scope: the
// old value (or its absence) comes back when the scope ends, also when the
// case fails. The whole prefix reads it, so a case that changes one runs alone
// (RUN_SERIAL).

#include <windows.h>

namespace rk::test {

class RegistryValueScope {
public:
    // `access` adds to read and write access (KEY_WOW64_64KEY for a machine key).
    RegistryValueScope(HKEY root, const wchar_t* key, const wchar_t* name, DWORD value, REGSAM access = 0)
        : m_name(name)
    {
        if (::RegCreateKeyExW(root, key, 0, nullptr, 0, KEY_READ | KEY_WRITE | access, nullptr, &m_key, nullptr) !=
            ERROR_SUCCESS) {
            m_key = nullptr;
            return;
        }
        DWORD type = 0;
        DWORD size = sizeof m_old;
        m_hadOld = ::RegQueryValueExW(m_key, m_name, nullptr, &type, reinterpret_cast<BYTE*>(&m_old), &size) ==
                       ERROR_SUCCESS &&
                   type == REG_DWORD;
        m_set = ::RegSetValueExW(m_key, m_name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) ==
                ERROR_SUCCESS;
    }
    ~RegistryValueScope()
    {
        if (!m_key)
            return;
        if (m_hadOld)
            ::RegSetValueExW(m_key, m_name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&m_old), sizeof m_old);
        else
            ::RegDeleteValueW(m_key, m_name);
        ::RegCloseKey(m_key);
    }
    RegistryValueScope(const RegistryValueScope&) = delete;
    RegistryValueScope& operator=(const RegistryValueScope&) = delete;

    bool set() const { return m_set; }

private:
    const wchar_t* m_name;
    HKEY m_key = nullptr;
    DWORD m_old = 0;
    bool m_hadOld = false;
    bool m_set = false;
};

// The DPI that programs started from now on get: Wine takes it from
// HKCU\Control Panel\Desktop LogPixels (96 = 100 %, 144 = 150 %) when a
// program starts.
class DpiScope : public RegistryValueScope {
public:
    explicit DpiScope(DWORD dpi) : RegistryValueScope(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels", dpi)
    {
    }
};

} // namespace rk::test
