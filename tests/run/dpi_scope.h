#pragma once
// The DPI that programs started from now on get: Wine takes it from
// HKCU\Control Panel\Desktop LogPixels (96 = 100 %, 144 = 150 %) when a
// program starts. The value is the whole prefix's, so a case that changes it
// runs alone (RUN_SERIAL); the old value (or its absence) comes back when the
// scope ends, also when the case fails.

#include <windows.h>

namespace rk::test {

class DpiScope {
public:
    explicit DpiScope(DWORD dpi)
    {
        if (::RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_READ | KEY_WRITE,
                              nullptr, &m_key, nullptr) != ERROR_SUCCESS) {
            m_key = nullptr;
            return;
        }
        DWORD type = 0;
        DWORD size = sizeof m_old;
        m_hadOld = ::RegQueryValueExW(m_key, L"LogPixels", nullptr, &type, reinterpret_cast<BYTE*>(&m_old), &size) ==
                       ERROR_SUCCESS &&
                   type == REG_DWORD;
        m_set = ::RegSetValueExW(m_key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi) ==
                ERROR_SUCCESS;
    }
    ~DpiScope()
    {
        if (!m_key)
            return;
        if (m_hadOld)
            ::RegSetValueExW(m_key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&m_old), sizeof m_old);
        else
            ::RegDeleteValueW(m_key, L"LogPixels");
        ::RegCloseKey(m_key);
    }
    DpiScope(const DpiScope&) = delete;
    DpiScope& operator=(const DpiScope&) = delete;

    bool set() const { return m_set; }

private:
    HKEY m_key = nullptr;
    DWORD m_old = 0;
    bool m_hadOld = false;
    bool m_set = false;
};

} // namespace rk::test
