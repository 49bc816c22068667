#include "list/version_probe.h"

#include "core/path_text.h"
#include "platform/codepage.h"

namespace rk {
namespace {

// The value after a tag, and whether a "<" ends it before the text does.
std::wstring textAfter(const std::wstring& text, size_t tagEnd, bool& ended)
{
    const size_t next = text.find(L'<', tagEnd);
    ended = next != std::wstring::npos;
    return text.substr(tagEnd, ended ? next - tagEnd : std::wstring::npos);
}

} // namespace

VersionProbe parseVersionProbe(const std::wstring& text)
{
    // Only the tags are respelt: an address may well hold "Ver" or "URL" itself.
    std::wstring t = trimBlanks(text);
    for (const wchar_t* tag : {L"<Ver>", L"<VER>"})
        t = replaceAll(t, tag, L"<ver>");
    for (const wchar_t* tag : {L"<URL>", L"<Url>"})
        t = replaceAll(t, tag, L"<url>");

    VersionProbe probe;
    // A document cut on its way ends inside an element: "<ver>1.2" must not pass
    // for version 1.2.
    probe.complete = t.empty() || t.back() == L'>';
    bool ended = true;
    const std::wstring ver = L"<ver>";
    const size_t at = t.find(ver);
    if (at != std::wstring::npos) {
        probe.version = textAfter(t, at + ver.size(), ended);
        probe.complete = probe.complete && ended;
    }
    const std::wstring url = L"<url>";
    for (size_t pos = t.find(url); pos != std::wstring::npos; pos = t.find(url, pos + url.size())) {
        probe.urls.push_back(textAfter(t, pos + url.size(), ended));
        probe.complete = probe.complete && ended;
    }
    return probe;
}

VersionProbe parseVersionProbeBytes(std::string_view bytes)
{
    return parseVersionProbe(bytesToWide(bytes, kCodePageThreadAnsi));
}

void applyVersionProbe(const VersionProbe& probe, DownLoadList& list)
{
    list.probeVersion = probe.version;
    list.probeUrls = probe.urls;
}

} // namespace rk
