#pragma once
// The translation table: section -> (English text -> translation). Filled on the
// main thread at start-up, read from any thread afterwards; a lookup never
// changes it.

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace rk {

inline const wchar_t kSectionMain[] = L"MAIN";
inline const wchar_t kSectionTrayIcon[] = L"TRYICON";

class CLanguage {
public:
    using Section = std::map<std::wstring, std::wstring>;

    static CLanguage& instance();

    // The translation when the section holds a non-empty one for exactly this text.
    std::wstring translate(const std::wstring& section, const std::wstring& text) const;

    // Reads a .lan file in the thread's ANSI code page; false when it cannot be opened.
    bool loadFile(const std::wstring& path);
    // Loads resource id (153 or 154) of type "LANGUAGE", decoded with the code
    // page it is stored in (936 for 154, 950 for 153) whatever the system's is.
    bool loadEmbedded(int resourceId);
    // Applies the lines of a language text given as bytes in a code page.
    void loadBytes(std::string_view bytes, unsigned codePage);

    // Translates the caption of a window and of each of its children, in order.
    void translateWindow(void* window, const std::wstring& section) const;

    void clear();
    const std::map<std::wstring, std::unique_ptr<Section>>& sections() const { return m_sections; }

private:
    void applyLine(std::wstring line, Section*& current);

    std::map<std::wstring, std::unique_ptr<Section>> m_sections;
};

// Translation in section "MAIN".
std::wstring tr(const std::wstring& text);
// Translation in section "TRYICON".
std::wstring trTray(const std::wstring& text);

} // namespace rk
