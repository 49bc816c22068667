#pragma once
// Declarations the mingw-w64 headers lack or get wrong. Include after <windows.h>.

#include <guiddef.h>

namespace rk::compat {

// msxml2.h redefines CLSID_DOMDocument as CLSID_DOMDocument2, which no import
// library defines. This is the version-independent DOMDocument class
// {2933BF90-7B36-11D2-B20E-00C04F983E60}.
inline constexpr GUID kClsidDomDocument = {
    0x2933BF90, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

} // namespace rk::compat
