#pragma once
// Owners of the COM value types: BSTR (freed with SysFreeString) and VARIANT
// (cleared with VariantClear).

#include "platform/unique_any.h"

#include <string>
#include <string_view>

#include <windows.h>
#include <oleauto.h>

namespace rk {

struct BstrTraits {
    using Type = BSTR;
    static Type empty() noexcept { return nullptr; }
    static void close(Type b) noexcept { ::SysFreeString(b); }
};

// A null BSTR means the empty string to COM, so text() of an empty owner is "".
class UniqueBstr : public UniqueAny<BstrTraits> {
public:
    UniqueBstr() noexcept = default;
    explicit UniqueBstr(BSTR value) noexcept : UniqueAny<BstrTraits>(value) {}
    // Allocates a copy of the text; get() is null when out of memory.
    static UniqueBstr fromText(std::wstring_view text);
    std::wstring text() const;
};

class UniqueVariant {
public:
    UniqueVariant() noexcept { ::VariantInit(&m_value); }
    ~UniqueVariant() { ::VariantClear(&m_value); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;

    // A VT_BSTR variant holding a copy of the text.
    static bool fromText(std::wstring_view text, UniqueVariant& out);

    VARIANT& get() noexcept { return m_value; }
    const VARIANT& get() const noexcept { return m_value; }
    // Clears what is held and hands out the slot for an out-parameter.
    VARIANT* put() noexcept
    {
        ::VariantClear(&m_value);
        return &m_value;
    }

    // Empty and null count as empty text; any other value is converted.
    // Returns the conversion's HRESULT.
    HRESULT toText(std::wstring& text) const;

private:
    VARIANT m_value;
};

} // namespace rk
