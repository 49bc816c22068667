#include "tests/fetch/fetch_support.h"

#include "platform/files.h"
#include "tests/download/server_env.h"

namespace rk::test {

std::string releaseBytes(const std::wstring& release, const std::wstring& path)
{
    std::wstring local = path;
    for (auto& c : local) {
        if (c == L'/')
            c = L'\\';
    }
    std::string bytes;
    readFileBytes(serverStateDir() + L"releases\\" + release + L"\\" + local, bytes);
    return bytes;
}

std::wstring publishedUrl(const std::wstring& release, const std::wstring& path)
{
    return nginxUrl(L"pub/" + release + L"/" + path);
}

std::wstring dataDir() { return serverStateDir() + L"data\\"; }

FetchFolder::FetchFolder(const std::wstring& name, const std::string& iniLines) : m_dir(name)
{
    m_dir.write(L"renewkit.ini", "[RenewKit]\r\nLog=run.log\r\n" + iniLines);
    clearSharedList();
}

FetchFolder::~FetchFolder() { clearSharedList(); }

void clearSharedList()
{
    DownLoadList& list = DownLoadList::shared();
    list.entries.clear();
    list.listUrlBase.clear();
    list.fileUrlTemplate = L"{listurl-base}/{filename}";
    list.downloadDir.clear();
    list.probeVersion.clear();
    list.probeUrls.clear();
    list.setStage(0);
}

updatefileinfo fileEntry(const std::wstring& url, const std::wstring& path)
{
    updatefileinfo entry;
    entry.url = url;
    entry.path = path;
    entry.version = L"1";
    return entry;
}

int occurrences(const std::string& text, const std::string& part)
{
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++n;
    return n;
}

} // namespace rk::test
