#include "core/language.h"

#include "core/path_text.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/window_text.h"

namespace rk {
namespace {

constexpr size_t kMaxLineBytes = 1024;
constexpr int kSimplifiedChinese = 154;
constexpr int kTraditionalChinese = 153;

bool skipped(const std::wstring& line)
{
    if (line.size() < 4)
        return true;
    if (line[0] == L';' || line[0] == L'\'')
        return true;
    return line.compare(0, 2, L"//") == 0 || line.compare(0, 2, L"\\\\") == 0;
}

} // namespace

CLanguage& CLanguage::instance()
{
    static CLanguage table;
    return table;
}

std::wstring CLanguage::translate(const std::wstring& section, const std::wstring& text) const
{
    auto s = m_sections.find(section);
    if (s == m_sections.end())
        return text;
    auto t = s->second->find(text);
    if (t == s->second->end() || t->second.empty())
        return text;
    return t->second;
}

void CLanguage::applyLine(std::wstring line, Section*& current)
{
    size_t end = line.find_last_not_of(L' ');
    line.erase(end == std::wstring::npos ? 0 : end + 1);
    if (line.empty() || skipped(line))
        return;
    if (line.front() == L'[' && line.back() == L']') {
        auto& slot = m_sections[line.substr(1, line.size() - 2)];
        if (!slot)
            slot = std::make_unique<Section>();
        current = slot.get();
        return;
    }
    if (!current)
        return;
    line = replaceAll(replaceAll(line, L"\\t", L"\t"), L"\\n", L"\n");
    size_t equals = line.find(L'=');
    if (equals == std::wstring::npos)
        return;
    (*current)[line.substr(0, equals)] = line.substr(equals + 1);
}

void CLanguage::loadBytes(std::string_view bytes, unsigned codePage)
{
    Section* current = nullptr;
    std::string line;
    auto flush = [&] {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        applyLine(bytesToWide(line, codePage), current);
        line.clear();
    };
    for (char c : bytes) {
        if (c == '\n') {
            flush();
            continue;
        }
        line.push_back(c);
        if (line.size() == kMaxLineBytes)
            flush(); // an over-long line goes on as the next line
    }
    if (!line.empty())
        flush();
}

bool CLanguage::loadFile(const std::wstring& path)
{
    std::string bytes;
    if (!readFileBytes(path, bytes))
        return false;
    loadBytes(bytes, kCodePageThreadAnsi);
    return true;
}

bool CLanguage::loadEmbedded(int resourceId)
{
    std::string bytes = loadResourceBytes(L"LANGUAGE", resourceId);
    if (bytes.empty())
        return false;
    unsigned codePage = resourceId == kTraditionalChinese  ? kCodePageBig5
                        : resourceId == kSimplifiedChinese ? kCodePageGbk
                                                           : kCodePageThreadAnsi;
    loadBytes(bytes, codePage);
    return true;
}

void CLanguage::translateWindow(void* window, const std::wstring& section) const
{
    if (section.empty() || !windowExists(window))
        return;
    setWindowText(window, translate(section, windowText(window)));
    for (void* child : childWindows(window))
        setWindowText(child, translate(section, windowText(child)));
}

void CLanguage::clear() { m_sections.clear(); }

std::wstring tr(const std::wstring& text) { return CLanguage::instance().translate(kSectionMain, text); }

std::wstring trTray(const std::wstring& text) { return CLanguage::instance().translate(kSectionTrayIcon, text); }

} // namespace rk
