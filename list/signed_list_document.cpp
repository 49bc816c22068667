#include "list/signed_list_document.h"

#include "core/config.h"
#include "core/run_log.h"
#include "list/list_loader.h"
#include "list/master_list.h"
#include "list/xml_reader.h"
#include "platform/file_probe.h"
#include "platform/files.h"

namespace rk {
namespace {

// The text without its XML declaration: the bytes are decoded already, and a
// declared encoding would only contradict the text handed to the parser.
std::wstring withoutDeclaration(const std::wstring& text)
{
    size_t at = 0;
    while (at < text.size() && (text[at] == L' ' || text[at] == L'\r' || text[at] == L'\n' || text[at] == L'\t'))
        ++at;
    if (text.compare(at, 5, L"<?xml") != 0)
        return text;
    const size_t end = text.find(L"?>", at);
    return end == std::wstring::npos ? text : text.substr(end + 2);
}

bool parse(const std::string& bytes, XmlDocument& document, const wchar_t* what)
{
    if (document.loadText(withoutDeclaration(listDocumentText(bytes))))
        return true;
    logLine(std::wstring(L"The signed ") + what + L" does not parse: " + document.parseErrorText());
    return false;
}

bool buildDocument(const SignedDocuments& documents, XmlDocument& list)
{
    if (!parse(documents.list, list, L"list"))
        return false;
    if (documents.master.empty())
        return true;
    XmlDocument master = XmlDocument::create();
    if (!parse(documents.master, master, L"master list"))
        return false;
    return mergeMasterDocument(list, master, config::readDefault(L"APPLICATION", L"qbdir", L"temp"));
}

} // namespace

bool loadSignedList(const SignedDocuments& documents, DownLoadList& list)
{
    try {
        XmlDocument document = XmlDocument::create();
        return buildDocument(documents, document) && loadListDocument(document, list);
    } catch (const XmlError& e) {
        const std::string reason = e.what();
        logLine(L"The signed list could not be read: " + std::wstring(reason.begin(), reason.end()));
        return false;
    }
}

bool saveSignedList(const SignedDocuments& documents, const std::wstring& path)
{
    try {
        XmlDocument document = XmlDocument::create();
        if (!buildDocument(documents, document))
            return false;
        for (const wchar_t* root : {L"update", L"updates", L"renewkit"}) {
            if (XmlNode node = document.findChild(root)) {
                node.removeChild(L"guid");
                break;
            }
        }
        // Written beside the target and renamed over it: a failed write keeps the old list.
        const std::wstring staging = path + L".__new";
        document.save(staging);
        if (moveFileReplacing(staging, path))
            return true;
        deleteFileForced(staging);
        return false;
    } catch (const XmlError& e) {
        const std::string reason = e.what();
        logLine(L"The signed list could not be saved[" + path + L"] " + std::wstring(reason.begin(), reason.end()));
        return false;
    }
}

} // namespace rk
