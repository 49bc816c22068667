#include "list/xml_reader.h"

#include "core/path_text.h"

#include <cstdio>

namespace rk {
namespace {

constexpr long kInvalidPointer = static_cast<long>(0x80004003L); // E_POINTER

std::string describe(const char* call, long hresult)
{
    char text[96];
    std::snprintf(text, sizeof text, "XML call %s failed with 0x%08lX", call, static_cast<unsigned long>(hresult));
    return text;
}

void check(const char* call, long hresult)
{
    if (hresult < 0)
        throw XmlError(call, hresult);
}

} // namespace

XmlError::XmlError(const char* call, long hresult) : std::runtime_error(describe(call, hresult)), m_hresult(hresult) {}

std::wstring expandLineEscapes(const std::wstring& text)
{
    // "\r\n" first: otherwise its "\n" half would leave a stray "\r" behind.
    return replaceAll(replaceAll(text, L"\\r\\n", L"\r\n"), L"\\n", L"\r\n");
}

XmlNode XmlNode::findChild(const std::wstring& name) const
{
    XmlChildren all = children();
    for (XmlNode child = all.next(); child; child = all.next()) {
        // Compare the name first: it is the cheap test that nearly always fails.
        if (child.nodeName() == name && child.isElement())
            return child;
    }
    return {};
}

long XmlNode::childCount() const
{
    if (!m_node)
        return 0;
    long count = 0;
    check("childNodes.length", m_node.childCount(count));
    return count;
}

XmlNode XmlNode::childAt(long index) const
{
    if (!m_node || index < 0)
        return {};
    DomNode child;
    check("childNodes.item", m_node.childAt(index, child));
    return XmlNode(std::move(child));
}

XmlChildren XmlNode::children() const
{
    XmlChildren children;
    if (m_node)
        check("childNodes", m_node.children(children.m_children));
    return children;
}

XmlNode XmlChildren::next()
{
    DomNode child;
    check("nextNode", m_children.next(child));
    return XmlNode(std::move(child));
}

bool XmlNode::hasChildren() const
{
    if (!m_node)
        return false;
    bool has = false;
    check("hasChildNodes", m_node.hasChildren(has));
    return has;
}

bool XmlNode::isElement() const
{
    if (!m_node)
        return false;
    bool element = false;
    check("nodeType", m_node.isElement(element));
    return element;
}

std::wstring XmlNode::nodeName() const
{
    std::wstring name;
    if (m_node)
        check("nodeName", m_node.name(name));
    return name;
}

std::wstring XmlNode::nodeText() const
{
    std::wstring text;
    if (m_node)
        check("text", m_node.text(text));
    return expandLineEscapes(text);
}

std::wstring XmlNode::attribute(const std::wstring& name) const
{
    std::wstring value;
    if (m_node && !name.empty())
        check("getNamedItem", m_node.attribute(name, value));
    return value;
}

std::vector<DomAttribute> XmlNode::attributes() const
{
    std::vector<DomAttribute> all;
    if (m_node)
        check("attributes", m_node.attributes(all));
    return all;
}

bool XmlNode::setAttribute(const std::wstring& name, const std::wstring& value)
{
    if (!m_node)
        return false;
    check("setAttribute", m_node.setAttribute(name, value));
    return true;
}

bool XmlNode::appendChild(const XmlNode& node)
{
    if (!m_node || !node.m_node)
        return false;
    check("appendChild", m_node.appendChild(node.m_node));
    return true;
}

bool XmlNode::removeChild(const std::wstring& name)
{
    XmlNode child = findChild(name);
    if (!child)
        return false;
    check("removeChild", m_node.removeChild(child.m_node));
    return true;
}

XmlDocument XmlDocument::create()
{
    XmlDocument document;
    check("CoCreateInstance(DOMDocument)", DomDocument::create(document.m_document));
    return document;
}

XmlDocument XmlDocument::load(const std::wstring& path)
{
    XmlDocument document = create();
    check("load", document.m_document.load(path, document.m_parsed));
    return document;
}

bool XmlDocument::loadText(const std::wstring& text)
{
    if (!m_document)
        throw XmlError("loadXML", kInvalidPointer);
    check("loadXML", m_document.loadText(text, m_parsed));
    return m_parsed;
}

void XmlDocument::save(const std::wstring& path)
{
    if (!m_document)
        throw XmlError("save", kInvalidPointer);
    check("save", m_document.save(path));
}

std::wstring XmlDocument::parseErrorText() const
{
    long line = 0;
    std::wstring reason;
    if (m_document.parseError(line, reason) < 0)
        return L"(no parser report)";
    return L"line " + std::to_wstring(line) + L": " + trimBlanks(reason);
}

XmlNode XmlDocument::node() const { return XmlNode(m_document.node()); }

} // namespace rk
