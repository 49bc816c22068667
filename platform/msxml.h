#pragma once
// The MSXML DOM through COM: the version-independent DOMDocument class with
// synchronous loads. Every call returns the HRESULT of the DOM call it makes
// (E_POINTER for a null object); "nothing there" comes back as success with an
// empty result. A document and its nodes belong to the thread that created
// them, which must have initialised COM.

#include "platform/com_ptr.h"

#include <string>
#include <utility>
#include <vector>

struct IXMLDOMDocument;
struct IXMLDOMNode;
struct IXMLDOMNodeList;

namespace rk {

using HResult = long;

struct DomAttribute {
    std::wstring name;
    std::wstring value;
};

class DomNode;

// The children of a node, visited once in order. Each step costs the same
// whatever the position (indexed lookups walk from the first child every time,
// and some node kinds cannot report their next sibling).
class DomChildren {
public:
    DomChildren();
    ~DomChildren();
    DomChildren(DomChildren&& other) noexcept;
    DomChildren& operator=(DomChildren&& other) noexcept;
    DomChildren(const DomChildren&) = delete;
    DomChildren& operator=(const DomChildren&) = delete;

    HResult next(DomNode& out); // out is null after the last child

private:
    friend class DomNode;
    ComPtr<IXMLDOMNodeList> m_list;
};

class DomNode {
public:
    DomNode();
    ~DomNode();
    DomNode(const DomNode& other);
    DomNode& operator=(const DomNode& other);
    DomNode(DomNode&& other) noexcept;
    DomNode& operator=(DomNode&& other) noexcept;

    explicit operator bool() const { return static_cast<bool>(m_node); }

    HResult name(std::wstring& out) const;
    HResult text(std::wstring& out) const; // text of the node and its descendants
    HResult isElement(bool& out) const;
    HResult hasChildren(bool& out) const;
    HResult childCount(long& out) const; // every kind of child node counts
    HResult childAt(long index, DomNode& out) const;
    HResult children(DomChildren& out) const;

    // Empty, null and unreadable values give empty text; a missing attribute
    // gives success with empty text.
    HResult attribute(const std::wstring& name, std::wstring& value) const;
    // Every attribute with its value, in document order (one pass over the map).
    HResult attributes(std::vector<DomAttribute>& out) const;
    HResult setAttribute(const std::wstring& name, const std::wstring& value);

    HResult appendChild(const DomNode& child); // moves the child when it has a parent
    HResult removeChild(const DomNode& child);

private:
    friend class DomDocument;
    friend class DomChildren;
    explicit DomNode(ComPtr<IXMLDOMNode> node);
    ComPtr<IXMLDOMNode> m_node;
};

class DomDocument {
public:
    DomDocument();
    ~DomDocument();
    DomDocument(DomDocument&& other) noexcept;
    DomDocument& operator=(DomDocument&& other) noexcept;
    DomDocument(const DomDocument&) = delete;
    DomDocument& operator=(const DomDocument&) = delete;

    // CoCreateInstance, OleRun, then the document interface; synchronous loads,
    // no external entities, no validation.
    static HResult create(DomDocument& out);

    explicit operator bool() const { return static_cast<bool>(m_document); }

    // parsed is false when the file is missing, unreadable or not well-formed;
    // the document then has no children. The HRESULT reports only failures of
    // the call itself.
    HResult load(const std::wstring& path, bool& parsed);
    HResult loadText(const std::wstring& text, bool& parsed);
    HResult save(const std::wstring& path);
    // Why the last load did not parse: the parser's line and reason.
    HResult parseError(long& line, std::wstring& reason) const;

    DomNode node() const; // the document node; null when there is no document

private:
    ComPtr<IXMLDOMDocument> m_document;
};

} // namespace rk
