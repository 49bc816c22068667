#include "list/list_url.h"

#include "core/config.h"
#include "core/path_text.h"

namespace rk {

std::wstring expandListUrlParameters(const std::wstring& url, const std::wstring& parameter1,
                                     const std::wstring& parameter2, const std::wstring& parameter)
{
    // "{param1}" before "{param}", or the shorter key would eat the longer one's start.
    std::wstring text = replaceAll(replaceAll(url, L"[param1]", parameter1), L"{param1}", parameter1);
    text = replaceAll(replaceAll(text, L"[param2]", parameter2), L"{param2}", parameter2);
    return replaceAll(replaceAll(text, L"[param]", parameter), L"{param}", parameter);
}

std::wstring expandListUrlParameters(const std::wstring& url)
{
    return expandListUrlParameters(url, config::read(L"UPDATEINFO", L"Parameter1"),
                                   config::read(L"UPDATEINFO", L"Parameter2"),
                                   config::read(L"UPDATEINFO", L"Parameter"));
}

std::wstring listUrlBaseOf(const std::wstring& url)
{
    const size_t slash = url.rfind(L'/');
    const bool found = slash != std::wstring::npos && slash > 0;
    if (found && slash + 2 < url.size())
        return url.substr(0, slash);
    if (!found && url.size() > 2)
        return {};
    return url;
}

void setListUrlBase(DownLoadList& list, const std::wstring& url) { list.listUrlBase = listUrlBaseOf(url); }

std::wstring normalizeUrl(const std::wstring& url)
{
    std::wstring text = replaceAll(replaceAll(url, L"\\", L"/"), L"//", L"/");
    for (const wchar_t* scheme : {L"http:/", L"HTTP:/", L"https:/", L"HTTPS:/"})
        text = replaceAll(text, scheme, std::wstring(scheme) + L"/");
    return text;
}

std::wstring fileUrl(const DownLoadList& list, const updatefileinfo& entry)
{
    if (!entry.url.empty())
        return normalizeUrl(entry.url);
    std::wstring url = replaceAll(list.fileUrlTemplate, L"{listurl-base}", list.listUrlBase);
    return normalizeUrl(replaceAll(url, L"{filename}", entry.path));
}

} // namespace rk
