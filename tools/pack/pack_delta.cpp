#include "tools/pack/pack_delta.h"

#include "core/path_text.h"
#include "install/file_delta.h"
#include "install/file_digest.h"
#include "list/list_loader.h"
#include "list/xml_reader.h"
#include "platform/files.h"
#include "platform/stream_file.h"
#include "platform/system.h"

#include <algorithm>

namespace rk::pack {
namespace {

std::string narrowHex(const std::wstring& hex) { return std::string(hex.begin(), hex.end()); }

std::wstring baseNameOf(const std::wstring& path)
{
    const size_t at = path.find_last_of(L'\\');
    return at == std::wstring::npos ? path : path.substr(at + 1);
}

std::wstring folderOf(const std::wstring& path)
{
    const size_t at = path.find_last_of(L'\\');
    return at == std::wstring::npos ? std::wstring() : path.substr(0, at + 1);
}

unsigned long long sizeOf(const std::wstring& path)
{
    StreamFile file;
    return file.openRead(path) ? file.size() : 0;
}

} // namespace

std::wstring readPreviousRelease(const std::wstring& folder, const std::wstring& listName, PreviousRelease& release)
{
    release.folder = fullPathName(folder);
    if (release.folder.empty() || release.folder.back() != L'\\')
        release.folder += L'\\';
    const std::wstring list = release.folder + listName;
    if (!fileExists(list))
        return L"the previous release has no list: " + list;
    ComApartment com;
    DownLoadList entries;
    try {
        // Read without the loader's save-back: a published (signed) list stays as it is.
        XmlDocument document = XmlDocument::load(list);
        if (!document.parsed() || !loadListDocument(document, entries))
            return L"the previous release's list cannot be read: " + list;
    } catch (const XmlError&) {
        return L"the previous release's list cannot be read: " + list;
    }
    for (const updatefileinfo& entry : entries.entries) {
        const updatefileinfo normal = normalizeEntry(entry);
        if (normal.actions == KIND_RUN || normal.actions == KIND_DESCRIPTION || !hasFileDigest(normal))
            continue;
        release.files[toLower(normal.path)] = PreviousFile{narrowHex(normal.sha256), normal.size};
    }
    return std::wstring();
}

std::wstring deltaFileName(const std::wstring& path, const std::string& baseSha256)
{
    return baseNameOf(path) + L"." + std::wstring(baseSha256.begin(), baseSha256.begin() + 16) + L".zst";
}

std::vector<std::string> deltaBases(const std::vector<PreviousRelease>& previous, const std::wstring& path,
                                    const std::string& sha256)
{
    std::vector<std::string> bases;
    for (const PreviousRelease& release : previous) {
        auto found = release.files.find(toLower(path));
        if (found == release.files.end() || found->second.sha256 == sha256)
            continue;
        if (std::find(bases.begin(), bases.end(), found->second.sha256) == bases.end())
            bases.push_back(found->second.sha256);
    }
    return bases;
}

std::wstring makeFileDeltas(const std::vector<PreviousRelease>& previous, const std::wstring& release,
                            const std::wstring& output, const std::wstring& path, const std::string& sha256,
                            unsigned long long budget, std::vector<PackedDelta>& kept,
                            const std::function<void(const std::wstring&)>& note)
{
    for (const std::string& from : deltaBases(previous, path, sha256)) {
        // The first release that lists this base and holds it as its list says.
        std::wstring base;
        for (const PreviousRelease& earlier : previous) {
            auto found = earlier.files.find(toLower(path));
            if (found == earlier.files.end() || found->second.sha256 != from)
                continue;
            const std::wstring candidate = earlier.folder + path;
            if (sizeOf(candidate) == static_cast<unsigned long long>(found->second.size) &&
                narrowHex(fileSha256(candidate)) == from) {
                base = candidate;
                break;
            }
            note(L"no delta from " + candidate + L": the file differs from its list");
        }
        if (base.empty())
            continue;
        const std::wstring name = deltaFileName(path, from);
        const std::wstring relative = folderOf(path) + name;
        if (fileExists(release + relative)) {
            note(L"no delta " + relative + L": a release file has that name");
            continue;
        }
        const std::wstring target = output + relative;
        std::wstring error = makeDelta(base, output + path, target);
        if (!error.empty()) {
            note(L"no delta " + relative + L": " + error);
            continue;
        }
        PackedDelta delta;
        delta.from = from;
        delta.size = sizeOf(target);
        delta.file = name;
        delta.sha256 = narrowHex(fileSha256(target));
        if (delta.sha256.empty())
            return L"cannot hash file: " + target;
        if (delta.size >= budget) {
            deleteFileForced(target);
            note(L"no delta " + relative + L": its " + std::to_wstring(delta.size) + L" bytes are not below " +
                 std::to_wstring(budget));
            continue;
        }
        kept.push_back(delta);
    }
    return std::wstring();
}

} // namespace rk::pack
