#include "list/master_list.h"

#include "core/config.h"
#include "core/run_log.h"
#include "core/path_text.h"
#include "list/xml_reader.h"

#include <vector>

namespace rk {

bool mergeMasterDocument(XmlDocument& list, const XmlDocument& master, const std::wstring& qbdir)
{
    XmlNode listRoot = list.findChild(L"update");
    XmlNode masterRoot = master.findChild(L"update");
    if (!listRoot || !masterRoot)
        return false;
    // Collected first: moving a node out of the master while walking its
    // children would lose the walk's place.
    std::vector<XmlNode> children;
    XmlChildren all = masterRoot.children();
    for (XmlNode child = all.next(); child; child = all.next())
        children.push_back(std::move(child));
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        XmlNode& child = *it;
        if (child.hasChildren())
            continue;
        const std::wstring target = child.attribute(L"desname");
        if (target.find(L"{qbdir}") != std::wstring::npos)
            child.setAttribute(L"desname", replaceAll(target, L"{qbdir}", qbdir));
        listRoot.appendChild(child);
    }
    return true;
}

bool mergeMasterList(const std::wstring& listPath, const std::wstring& masterPath, const std::wstring& qbdir)
{
    try {
        XmlDocument list = XmlDocument::load(listPath);
        XmlDocument master = XmlDocument::load(masterPath);
        if (!mergeMasterDocument(list, master, qbdir))
            return false;
        list.save(listPath);
        return true;
    } catch (const XmlError& e) {
        const std::string reason = e.what();
        logLine(L"The master list could not be merged[" + masterPath + L"] " +
                std::wstring(reason.begin(), reason.end()));
        return false;
    }
}

bool mergeMasterList(const std::wstring& listPath, const std::wstring& masterPath)
{
    return mergeMasterList(listPath, masterPath, config::readDefault(L"APPLICATION", L"qbdir", L"temp"));
}

} // namespace rk
