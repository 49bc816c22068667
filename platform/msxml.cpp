#include "platform/msxml.h"

#include "platform/com_values.h"
#include "platform/handles.h"

#include <algorithm>

#include <windows.h>
#include <ole2.h>
#include <msxml2.h>

#include "platform/mingw_compat.h"

static_assert(sizeof(rk::HResult) == sizeof(HRESULT), "HResult must hold an HRESULT");

namespace rk {
namespace {

// A list this large would not fit the DOM of a process anyway.
constexpr LONGLONG kMaxDocumentBytes = 0x7FFFFFFF;

// Node out-parameters are filled into a raw pointer first and adopted after the
// call, so a node may be asked to replace itself with one of its children.
template <typename T> ComPtr<T> adoptOut(T* raw) { return ComPtr<T>::adopt(raw); }

// Calls a BSTR getter and takes over the string it hands out.
template <typename Getter> HRESULT readBstr(Getter get, std::wstring& out)
{
    BSTR raw = nullptr;
    HRESULT hr = get(&raw);
    UniqueBstr owned(raw);
    out = SUCCEEDED(hr) ? owned.text() : std::wstring();
    return hr;
}

HRESULT attributeMap(IXMLDOMNode* node, ComPtr<IXMLDOMNamedNodeMap>& map) { return node->get_attributes(map.put()); }

// An attribute whose value cannot be read or turned into text has no value.
void nodeValueText(IXMLDOMNode* node, std::wstring& out)
{
    UniqueVariant value;
    if (FAILED(node->get_nodeValue(value.put())) || FAILED(value.toText(out)))
        out.clear();
}

// The whole file as a byte-array variant; readable is false (with S_OK) when
// the file cannot be opened or read to its end.
HRESULT readWholeFile(const std::wstring& path, UniqueVariant& bytes, bool& readable)
{
    readable = false;
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.get(), &size))
        return S_OK;
    if (size.QuadPart > kMaxDocumentBytes)
        return E_OUTOFMEMORY;
    VARIANT* slot = bytes.put();
    slot->parray = ::SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(size.QuadPart));
    if (!slot->parray)
        return E_OUTOFMEMORY;
    slot->vt = VT_ARRAY | VT_UI1;
    void* data = nullptr;
    HRESULT hr = ::SafeArrayAccessData(slot->parray, &data);
    if (FAILED(hr))
        return hr;
    LONGLONG done = 0;
    while (done < size.QuadPart) {
        DWORD want = static_cast<DWORD>(std::min<LONGLONG>(size.QuadPart - done, 1 << 20));
        DWORD got = 0;
        if (!::ReadFile(file.get(), static_cast<char*>(data) + done, want, &got, nullptr) || got == 0)
            break;
        done += got;
    }
    ::SafeArrayUnaccessData(slot->parray);
    readable = done == size.QuadPart;
    return S_OK;
}

} // namespace

DomNode::DomNode() = default;
DomNode::~DomNode() = default;
DomNode::DomNode(const DomNode& other) = default;
DomNode& DomNode::operator=(const DomNode& other) = default;
DomNode::DomNode(DomNode&& other) noexcept = default;
DomNode& DomNode::operator=(DomNode&& other) noexcept = default;
DomNode::DomNode(ComPtr<IXMLDOMNode> node) : m_node(std::move(node)) {}

HResult DomNode::name(std::wstring& out) const
{
    out.clear();
    if (!m_node)
        return E_POINTER;
    return readBstr([&](BSTR* raw) { return m_node->get_nodeName(raw); }, out);
}

HResult DomNode::text(std::wstring& out) const
{
    out.clear();
    if (!m_node)
        return E_POINTER;
    return readBstr([&](BSTR* raw) { return m_node->get_text(raw); }, out);
}

HResult DomNode::isElement(bool& out) const
{
    out = false;
    if (!m_node)
        return E_POINTER;
    DOMNodeType type = NODE_INVALID;
    HRESULT hr = m_node->get_nodeType(&type);
    out = SUCCEEDED(hr) && type == NODE_ELEMENT;
    return hr;
}

HResult DomNode::hasChildren(bool& out) const
{
    out = false;
    if (!m_node)
        return E_POINTER;
    VARIANT_BOOL has = VARIANT_FALSE;
    HRESULT hr = m_node->hasChildNodes(&has);
    out = SUCCEEDED(hr) && has != VARIANT_FALSE;
    return hr;
}

HResult DomNode::childCount(long& out) const
{
    out = 0;
    if (!m_node)
        return E_POINTER;
    ComPtr<IXMLDOMNodeList> children;
    HRESULT hr = m_node->get_childNodes(children.put());
    if (FAILED(hr) || !children)
        return hr;
    LONG length = 0;
    hr = children->get_length(&length);
    if (SUCCEEDED(hr))
        out = length;
    return hr;
}

HResult DomNode::childAt(long index, DomNode& out) const
{
    if (!m_node) {
        out.m_node.reset();
        return E_POINTER;
    }
    ComPtr<IXMLDOMNodeList> children;
    HRESULT hr = m_node->get_childNodes(children.put());
    if (FAILED(hr) || !children) {
        out.m_node.reset();
        return hr;
    }
    IXMLDOMNode* item = nullptr;
    hr = children->get_item(index, &item);
    out.m_node = adoptOut(item);
    return hr;
}

HResult DomNode::children(DomChildren& out) const
{
    out.m_list.reset();
    if (!m_node)
        return E_POINTER;
    return m_node->get_childNodes(out.m_list.put());
}

DomChildren::DomChildren() = default;
DomChildren::~DomChildren() = default;
DomChildren::DomChildren(DomChildren&& other) noexcept = default;
DomChildren& DomChildren::operator=(DomChildren&& other) noexcept = default;

HResult DomChildren::next(DomNode& out)
{
    if (!m_list) {
        out.m_node.reset();
        return S_OK;
    }
    IXMLDOMNode* item = nullptr;
    HRESULT hr = m_list->nextNode(&item);
    out.m_node = adoptOut(item);
    return hr;
}

HResult DomNode::attribute(const std::wstring& name, std::wstring& value) const
{
    value.clear();
    if (!m_node)
        return E_POINTER;
    if (name.empty())
        return S_OK;
    ComPtr<IXMLDOMNamedNodeMap> map;
    HRESULT hr = attributeMap(m_node.get(), map);
    if (FAILED(hr) || !map)
        return hr;
    UniqueBstr key = UniqueBstr::fromText(name);
    if (!key)
        return E_OUTOFMEMORY;
    ComPtr<IXMLDOMNode> item;
    hr = map->getNamedItem(key.get(), item.put());
    if (FAILED(hr) || !item)
        return hr;
    nodeValueText(item.get(), value);
    return S_OK;
}

HResult DomNode::attributes(std::vector<DomAttribute>& out) const
{
    out.clear();
    if (!m_node)
        return E_POINTER;
    ComPtr<IXMLDOMNamedNodeMap> map;
    HRESULT hr = attributeMap(m_node.get(), map);
    if (FAILED(hr) || !map)
        return hr;
    LONG length = 0;
    hr = map->get_length(&length);
    if (FAILED(hr))
        return hr;
    out.reserve(static_cast<size_t>(length > 0 ? length : 0));
    for (LONG i = 0; i < length; ++i) {
        ComPtr<IXMLDOMNode> item;
        hr = map->get_item(i, item.put());
        if (FAILED(hr))
            return hr;
        if (!item)
            continue;
        DomAttribute attribute;
        hr = readBstr([&](BSTR* raw) { return item->get_nodeName(raw); }, attribute.name);
        if (FAILED(hr))
            return hr;
        nodeValueText(item.get(), attribute.value);
        out.push_back(std::move(attribute));
    }
    return S_OK;
}

HResult DomNode::setAttribute(const std::wstring& name, const std::wstring& value)
{
    if (!m_node)
        return E_POINTER;
    ComPtr<IXMLDOMElement> element;
    HRESULT hr = m_node->QueryInterface(IID_IXMLDOMElement, reinterpret_cast<void**>(element.put()));
    if (FAILED(hr))
        return hr;
    UniqueBstr key = UniqueBstr::fromText(name);
    UniqueVariant text;
    if (!key || !UniqueVariant::fromText(value, text))
        return E_OUTOFMEMORY;
    return element->setAttribute(key.get(), text.get());
}

HResult DomNode::appendChild(const DomNode& child)
{
    if (!m_node || !child.m_node)
        return E_POINTER;
    ComPtr<IXMLDOMNode> added;
    return m_node->appendChild(child.m_node.get(), added.put());
}

HResult DomNode::removeChild(const DomNode& child)
{
    if (!m_node || !child.m_node)
        return E_POINTER;
    ComPtr<IXMLDOMNode> removed;
    return m_node->removeChild(child.m_node.get(), removed.put());
}

DomDocument::DomDocument() = default;
DomDocument::~DomDocument() = default;
DomDocument::DomDocument(DomDocument&& other) noexcept = default;
DomDocument& DomDocument::operator=(DomDocument&& other) noexcept = default;

HResult DomDocument::create(DomDocument& out)
{
    out.m_document.reset();
    ComPtr<IUnknown> object;
    HRESULT hr = ::CoCreateInstance(compat::kClsidDomDocument, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                    reinterpret_cast<void**>(object.put()));
    if (FAILED(hr))
        return hr;
    hr = ::OleRun(object.get());
    if (FAILED(hr))
        return hr;
    ComPtr<IXMLDOMDocument> document;
    hr = object->QueryInterface(IID_IXMLDOMDocument, reinterpret_cast<void**>(document.put()));
    if (FAILED(hr))
        return hr;
    hr = document->put_async(VARIANT_FALSE);
    if (FAILED(hr))
        return hr;
    // A downloaded list must not make the parser read local files or fetch
    // other addresses through external entities.
    hr = document->put_resolveExternals(VARIANT_FALSE);
    if (FAILED(hr))
        return hr;
    hr = document->put_validateOnParse(VARIANT_FALSE);
    if (FAILED(hr))
        return hr;
    out.m_document = std::move(document);
    return S_OK;
}

HResult DomDocument::load(const std::wstring& path, bool& parsed)
{
    parsed = false;
    if (!m_document)
        return E_POINTER;
    // The file is read here and handed over as bytes: the parser still detects
    // the encoding from the byte-order mark or declaration, but the load costs
    // one read instead of the URL machinery, which under Wine grows its buffer
    // in small steps and takes quadratic time on a list of tens of megabytes.
    UniqueVariant bytes;
    bool readable = false;
    HRESULT hr = readWholeFile(path, bytes, readable);
    if (FAILED(hr) || !readable)
        return hr; // missing or unreadable: an empty document
    VARIANT_BOOL ok = VARIANT_FALSE;
    hr = m_document->load(bytes.get(), &ok);
    // A malformed text is reported through the load's own result (S_FALSE or
    // an error code) and leaves the document empty.
    parsed = hr == S_OK && ok != VARIANT_FALSE;
    return S_OK;
}

HResult DomDocument::loadText(const std::wstring& text, bool& parsed)
{
    parsed = false;
    if (!m_document)
        return E_POINTER;
    UniqueBstr source = UniqueBstr::fromText(text);
    if (!source)
        return E_OUTOFMEMORY;
    VARIANT_BOOL ok = VARIANT_FALSE;
    HRESULT hr = m_document->loadXML(source.get(), &ok);
    parsed = hr == S_OK && ok != VARIANT_FALSE;
    return S_OK;
}

HResult DomDocument::save(const std::wstring& path)
{
    if (!m_document)
        return E_POINTER;
    UniqueVariant target;
    if (!UniqueVariant::fromText(path, target))
        return E_OUTOFMEMORY;
    return m_document->save(target.get());
}

HResult DomDocument::parseError(long& line, std::wstring& reason) const
{
    line = 0;
    reason.clear();
    if (!m_document)
        return E_POINTER;
    ComPtr<IXMLDOMParseError> error;
    HRESULT hr = m_document->get_parseError(error.put());
    if (FAILED(hr) || !error)
        return hr;
    LONG at = 0;
    hr = error->get_line(&at);
    if (FAILED(hr))
        return hr;
    line = at;
    return readBstr([&](BSTR* raw) { return error->get_reason(raw); }, reason);
}

DomNode DomDocument::node() const
{
    if (!m_document)
        return DomNode();
    IXMLDOMNode* base = m_document.get();
    base->AddRef();
    return DomNode(ComPtr<IXMLDOMNode>::adopt(base));
}

} // namespace rk
