#pragma once
// The thin layer over the XML DOM that the list code walks documents with.
// A failing DOM call raises XmlError carrying its HRESULT; callers catch it per
// operation. A null node is accepted everywhere and gives the empty result.
// A document and its nodes are used by the thread that made them only, and that
// thread must have initialised COM.

#include "platform/msxml.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace rk {

class XmlError : public std::runtime_error {
public:
    XmlError(const char* call, long hresult);
    long hresult() const { return m_hresult; }

private:
    long m_hresult;
};

class XmlNode;

// The children of a node, each visited once, in document order.
class XmlChildren {
public:
    XmlNode next(); // null after the last child

private:
    friend class XmlNode;
    DomChildren m_children;
};

class XmlNode {
public:
    XmlNode() = default;
    explicit XmlNode(DomNode node) : m_node(std::move(node)) {}

    bool isNull() const { return !m_node; }
    explicit operator bool() const { return static_cast<bool>(m_node); }

    // First direct child element with exactly this name; null when none.
    XmlNode findChild(const std::wstring& name) const;
    long childCount() const; // text, comment and element children all count
    XmlNode childAt(long index) const;
    XmlChildren children() const; // empty for a null handle
    bool hasChildren() const;
    bool isElement() const;

    std::wstring nodeName() const;
    // Text of the node and its descendants; escaped line breaks become CR LF.
    std::wstring nodeText() const;
    // Empty when missing, empty, or the name is empty; never raises for a missing one.
    std::wstring attribute(const std::wstring& name) const;
    // All attributes in one pass, for elements read under many spellings.
    std::vector<DomAttribute> attributes() const;

    // These return false for a null handle and raise when the DOM refuses.
    bool setAttribute(const std::wstring& name, const std::wstring& value);
    bool appendChild(const XmlNode& node); // moves the node when it has a parent
    bool removeChild(const std::wstring& name);

private:
    DomNode m_node;
};

class XmlDocument {
public:
    // Parses the whole file before it returns. A missing, unreadable or
    // malformed file gives a document without children. Raises when the
    // document object cannot be made.
    static XmlDocument load(const std::wstring& path);
    // An empty document, for loadText.
    static XmlDocument create();

    XmlDocument(XmlDocument&&) noexcept = default;
    XmlDocument& operator=(XmlDocument&&) noexcept = default;

    bool parsed() const { return m_parsed; }
    // "line N: reason" of the last failed load; never raises.
    std::wstring parseErrorText() const;
    bool loadText(const std::wstring& text); // true when the text parsed
    void save(const std::wstring& path);     // raises when it cannot be written

    XmlNode node() const; // the document node
    XmlNode findChild(const std::wstring& name) const { return node().findChild(name); }

private:
    XmlDocument() = default;
    DomDocument m_document;
    bool m_parsed = false;
};

// Replaces every escape "\r\n" and then every "\n" with CR LF.
std::wstring expandLineEscapes(const std::wstring& text);

} // namespace rk
