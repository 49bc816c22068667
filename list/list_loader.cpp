#include "list/list_loader.h"

#include "core/config.h"
#include "core/language.h"
#include "core/run_log.h"
#include "core/path_text.h"
#include "list/delta_element.h"
#include "list/xml_reader.h"
#include "platform/files.h"
#include "platform/message_box.h"

#include <climits>
#include <initializer_list>
#include <unordered_set>
#include <vector>

namespace rk {
namespace {

using Attributes = std::vector<DomAttribute>;

// The first spelling with a non-empty value wins.
std::wstring firstValue(const Attributes& attributes, std::initializer_list<const wchar_t*> names)
{
    for (const wchar_t* name : names) {
        for (const auto& a : attributes) {
            if (a.name == name && !a.value.empty())
                return a.value;
        }
    }
    return {};
}

bool startsWith(const std::wstring& text, const wchar_t* prefix) { return text.rfind(prefix, 0) == 0; }

// Collects the entries of a walk; flush() hands them to the list in one batch,
// as the walk ends or fails: each hold of the list lock is a round trip to the
// system, which would dominate the walk of a long list.
class ListWalk {
public:
    explicit ListWalk(DownLoadList& list) : m_list(list) {}

    void flush() { m_list.addEntries(std::move(m_found)); }

    // Pre-order over every node below the root without recursion: a list of
    // any depth costs heap, not stack.
    void run(const XmlNode& root)
    {
        std::vector<XmlChildren> pending;
        pending.push_back(root.children());
        while (!pending.empty()) {
            XmlNode node = pending.back().next();
            if (!node) {
                pending.pop_back();
                continue;
            }
            visit(node);
            if (node.hasChildren())
                pending.push_back(node.children());
        }
    }

private:
    void visit(const XmlNode& node)
    {
        std::wstring name = node.nodeName();
        if (name == L"file") {
            if (node.isElement())
                addFile(node);
        } else if (name == L"run") {
            if (node.isElement())
                addRun(node);
        } else if (name == L"description") {
            if (node.isElement())
                addDescription(node);
        }
    }

    void addDescription(const XmlNode& node)
    {
        updatefileinfo entry;
        entry.path = node.nodeText();
        entry.dstNames = entry.path;
        entry.version = L"999";
        entry.actions = KIND_DESCRIPTION;
        m_found.push_back(std::move(entry));
    }

    void addRun(const XmlNode& node)
    {
        updatefileinfo entry;
        entry.path = packRunCommand(node.attribute(L"path"), node.attribute(L"param"), node.attribute(L"wait"),
                                    node.attribute(L"key"));
        entry.dstNames = entry.path;
        entry.version = L"999";
        entry.actions = KIND_RUN;
        m_found.push_back(std::move(entry));
    }

    void addFile(const XmlNode& node)
    {
        const Attributes a = node.attributes();
        updatefileinfo entry;
        entry.version = firstValue(a, {L"ver", L"Ver", L"md5", L"MD5"});
        entry.actions = actionWord(firstValue(a, {L"oper", L"Oper", L"OPER", L"do", L"Do", L"DO", L"Action", L"action",
                                                  L"ACTION", L"Activity", L"activity", L"ACTIVITY"}));
        entry.path = firstValue(a, {L"path", L"Path", L"File", L"file", L"Name", L"name"});
        entry.url = firstValue(a, {L"URL", L"url", L"Url"});
        entry.shortcut = firstValue(a, {L"shortcut", L"ShortCut", L"SHORTCUT"});
        entry.shortcutIcon =
            firstValue(a, {L"shortcuticon", L"shorticon", L"ShortCutIcon", L"SHORTCUTICON", L"SHORTICON"});
        entry.iconIndex =
            firstValue(a, {L"iconindex", L"ICONINDEX", L"IconIndex", L"shortcuticonindex", L"SHORTCUTICONINDEX"});
        entry.dstNames = firstValue(a, {L"DesName", L"desname", L"dstname", L"DstName"});
        entry.sha256 = firstValue(a, {L"sha256", L"SHA256", L"Sha256"});
        // Anything but digits leaves no size: such a file is checked by nothing, or
        // refused where a digest is required.
        entry.size = parseWholeNumber(firstValue(a, {L"size", L"Size", L"SIZE"}));
        readDeltas(node, entry);

        const std::wstring lowerPath = toLower(entry.path);
        if (startsWith(lowerPath, L"http:") || startsWith(lowerPath, L"https:")) {
            entry.url = entry.path;
            entry.path.clear();
        }
        if (!entry.url.empty() && entry.path.empty())
            entry.path = pathFromUrl(entry.url);

        // The first element for a path wins, whatever the letter case.
        if (!m_seen.insert(toLower(entry.path)).second)
            return;
        m_found.push_back(std::move(entry));
    }

    // Direct delta children only; a malformed one is left out, so the entry
    // falls back to its full file.
    static void readDeltas(const XmlNode& node, updatefileinfo& entry)
    {
        if (!node.hasChildren())
            return;
        XmlChildren children = node.children();
        for (XmlNode child = children.next(); child; child = children.next()) {
            FileDelta delta;
            if (child.isElement() && child.nodeName() == L"delta" && readDeltaElement(child.attributes(), delta))
                entry.deltas.push_back(std::move(delta));
        }
    }

    DownLoadList& m_list;
    std::vector<updatefileinfo> m_found;
    std::unordered_set<std::wstring> m_seen;
};

XmlNode listRoot(const XmlDocument& document)
{
    for (const wchar_t* name : {L"update", L"updates", L"renewkit"}) {
        if (XmlNode root = document.findChild(name))
            return root;
    }
    return {};
}

// Takes guid and fileurl of a remote list and walks the entries; raises XmlError.
void walkDocument(const XmlNode& root, DownLoadList& list, bool remote, ListWalk& walk)
{
    if (remote) {
        if (XmlNode guid = root.findChild(L"guid"))
            list.listGuid = guid.nodeText();
        list.fileUrlTemplate = kDefaultFileUrlTemplate;
        if (XmlNode fileUrl = root.findChild(L"fileurl")) {
            std::wstring text = fileUrl.nodeText();
            // An empty element would leave every file without an address.
            if (!trimBlanks(text).empty())
                list.fileUrlTemplate = text;
        }
    }
    walk.run(root);
}

bool readList(const std::wstring& path, DownLoadList& list, bool remote, ListWalk& walk)
{
    try {
        XmlDocument document = XmlDocument::load(path);
        // Silent for the user, as a missing list is, but the reason is logged.
        if (!document.parsed() && fileExists(path))
            logLine(L"The list file is not well-formed[" + path + L"] " + document.parseErrorText());
        XmlNode root = listRoot(document);
        if (!root)
            return false;
        walkDocument(root, list, remote, walk);
        if (root.removeChild(L"guid")) {
            // The list was read in full: a file that cannot be rewritten (a
            // write-protected folder) is no format error.
            try {
                document.save(path);
            } catch (const XmlError&) {
                logLine(L"The list file could not be saved[" + path + L"]");
            }
        }
        return true;
    } catch (const XmlError& e) {
        const std::string reason = e.what();
        logLine(tr(L"The xml file format error!") + L"[" + path + L"] " + std::wstring(reason.begin(), reason.end()));
        if (remote || fileExists(path))
            showMessage(nullptr, listFormatErrorText(path, remote), L"RenewKit", MessageKind::Ok);
        return false;
    }
}

} // namespace

std::int32_t actionWord(const std::wstring& text)
{
    const std::wstring lower = toLower(text);
    long long number = parseDecimal(lower);
    // The number is read as a 32-bit long: out-of-range values saturate.
    if (number > INT32_MAX)
        number = INT32_MAX;
    if (number < INT32_MIN)
        number = INT32_MIN;
    std::int32_t word = static_cast<std::int32_t>(number);
    auto has = [&](const wchar_t* keyword) { return lower.find(keyword) != std::wstring::npos; };
    if (has(L"run") || has(L"exe"))
        word |= ACT_RUN;
    if (has(L"del"))
        word |= ACT_DELETE;
    if (has(L"reg"))
        word |= ACT_REGISTER;
    if (has(L"boot"))
        word |= ACT_REBOOT;
    return word;
}

std::wstring packRunCommand(const std::wstring& path, const std::wstring& param, const std::wstring& wait,
                            const std::wstring& key)
{
    return path + L"9" + param + L"9" + wait + L"9" + key;
}

std::wstring pathFromUrl(const std::wstring& url)
{
    const std::wstring unified = replaceAll(replaceAll(url, L"\\", L"/"), L"//", L"/");
    const size_t last = unified.rfind(L'/');
    if (last == std::wstring::npos)
        return unified;
    std::wstring piece = unified.substr(last + 1);
    if (!piece.empty())
        return piece;
    const size_t before = last == 0 ? std::wstring::npos : unified.rfind(L'/', last - 1);
    return before == std::wstring::npos ? unified.substr(0, last) : unified.substr(before + 1, last - before - 1);
}

std::wstring listFormatErrorText(const std::wstring& path, bool remote)
{
    return tr(L"The xml file format error!") + L"\r\n" + (remote ? config::read(L"UPDATEINFO", L"ListURL") : path);
}

bool loadListDocument(const XmlDocument& document, DownLoadList& list)
{
    ListWalk walk(list);
    bool walked = false;
    try {
        XmlNode root = listRoot(document);
        if (root) {
            walkDocument(root, list, true, walk);
            walked = true;
        }
    } catch (const XmlError& e) {
        const std::string reason = e.what();
        logLine(tr(L"The xml file format error!") + L" " + std::wstring(reason.begin(), reason.end()));
    }
    walk.flush();
    return walked;
}

bool loadList(const std::wstring& path, DownLoadList& list, bool remote)
{
    ListWalk walk(list);
    const bool walked = readList(path, list, remote, walk);
    // Entries found before a reader error stay in the list.
    walk.flush();
    return walked;
}

} // namespace rk
