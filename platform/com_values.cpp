#include "platform/com_values.h"

namespace rk {

UniqueBstr UniqueBstr::fromText(std::wstring_view text)
{
    return UniqueBstr(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
}

std::wstring UniqueBstr::text() const
{
    BSTR b = get();
    return b ? std::wstring(b, ::SysStringLen(b)) : std::wstring();
}

bool UniqueVariant::fromText(std::wstring_view text, UniqueVariant& out)
{
    BSTR copy = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!copy)
        return false;
    VARIANT* slot = out.put();
    slot->vt = VT_BSTR;
    slot->bstrVal = copy;
    return true;
}

HRESULT UniqueVariant::toText(std::wstring& text) const
{
    text.clear();
    if (m_value.vt == VT_EMPTY || m_value.vt == VT_NULL)
        return S_OK;
    if (m_value.vt == VT_BSTR) {
        if (m_value.bstrVal)
            text.assign(m_value.bstrVal, ::SysStringLen(m_value.bstrVal));
        return S_OK;
    }
    UniqueVariant converted;
    // VariantChangeType leaves its source unchanged but is declared non-const.
    HRESULT hr = ::VariantChangeType(converted.put(), const_cast<VARIANT*>(&m_value), 0, VT_BSTR);
    if (SUCCEEDED(hr) && converted.get().bstrVal)
        text.assign(converted.get().bstrVal, ::SysStringLen(converted.get().bstrVal));
    return hr;
}

} // namespace rk
