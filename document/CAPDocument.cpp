#include "document/CAPDocument.h"

#include <climits>
#include <new>
#include <set>
#include <vector>

#include "document/ComRef.h"
#include "document/Guarded.h"
#include "document/UpdateLists.h"
#include "model/APElement.h"
#include "platform/orv/ORVComCreate.h"

namespace {

// Calls `visit` on each child of `parent` in order; a child that cannot be had, or a visit
// that fails, fails the walk.
template <class F>
HRESULT ForEachChild(IAPNode* parent, F&& visit)
{
    int count = 0;
    if (FAILED(parent->GetNumChildren(&count))) return E_FAIL;
    for (int i = 0; i < count; ++i) {
        ComRef<IAPNode> child;
        if (FAILED(parent->GetChild(i, child.Out())) || !child) return E_FAIL;
        if (FAILED(visit(child.Get()))) return E_FAIL;
    }
    return S_OK;
}

} // namespace

CAPDocument::CAPDocument() = default;

CAPDocument::~CAPDocument() = default;

void CAPDocument::FinalRelease()
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    // The default features outlive the document: they stop reporting to it first.
    ForgetTolLibDefaults();
    EndCopyMap();
    // Elements that clients still hold must not call back into a document that is gone: every
    // element bound to it is unbound first (the tree, the elements its nodes own, and elements
    // outside it) and lets go of the elements it links to, so that no cycle of references
    // outlives the document; then the tree goes. Linear in the number of bound elements.
    APElement::ForgetDocument(Sink());
    if (m_root) {
        m_root->Release();
        m_root = nullptr;
    }
    if (m_workStorage) m_workStorage->Release();
    if (m_docStorage) m_docStorage->Release();
    if (m_moniker) m_moniker->Release();
    if (m_exportElement) m_exportElement->Release();
    m_workStorage = m_docStorage = nullptr;
    m_moniker = nullptr;
    m_exportElement = nullptr;
    for (int i = 0; i < m_sinks.Count(); ++i)
        if (m_sinks[i]) m_sinks[i]->Release();
    m_sinks.Release();
    if (m_hbUtility) m_hbUtility->Release();
    m_hbUtility = nullptr;
    FreeUpdateLists();
}

// ---------------------------------------------------------------------------------------
// The hidden root

HRESULT CAPDocument::EnsureRoot()
{
    if (m_root) return S_OK;
    ComRef<IAPElement> element;
    HRESULT hr = ORVCoCreateInstance(CLSID_APAssemblyNode, nullptr, CLSCTX_INPROC_SERVER, IID_IAPElement, element.OutVoid());
    if (FAILED(hr)) return hr;
    if (!element) return E_FAIL;
    if (FAILED(element->BindDocument(Sink()))) return E_FAIL;
    ComRef<IAPNode> node = QueryRef<IAPNode>(element.Get(), IID_IAPNode);
    if (!node) return E_FAIL;
    m_root = node.Detach();
    return S_OK;
}

bool CAPDocument::IsRoot(IAPNode* node) const { return m_root && node && SameObject(node, m_root); }

HRESULT STDMETHODCALLTYPE CAPDocument::GetRoots(IAPPointerList* list)
{
    return Guarded([&]() -> HRESULT {
        if (!list) return E_FAIL;
        if (FAILED(EnsureRoot())) return E_FAIL;
        return ForEachChild(m_root, [&](IAPNode* child) { return list->AppendElement(child); });
    });
}

HRESULT STDMETHODCALLTYPE CAPDocument::GetNumChildren(IAPNode* parent, int* n)
{
    return Guarded([&]() -> HRESULT {
        if (!parent || !n) return E_FAIL;
        return FAILED(parent->GetNumChildren(n)) ? E_FAIL : S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CAPDocument::GetChild(IAPNode* parent, int index, IAPNode** child)
{
    return Guarded([&]() -> HRESULT {
        if (!parent || !child) return E_FAIL;
        *child = nullptr;
        return FAILED(parent->GetChild(index, child)) ? E_FAIL : S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CAPDocument::GetNumParents(IAPNode* child, int* n)
{
    return Guarded([&]() -> HRESULT {
        if (!child) return E_FAIL;
        if (FAILED(child->GetNumParents(n))) return E_FAIL;
        if (n) {
            // A node without parents answers a failure here, as callers expect.
            ComRef<IAPNode> first;
            if (FAILED(child->GetParent(0, first.Out()))) return E_FAIL;
        }
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CAPDocument::GetParent(IAPNode* child, int index, IAPNode** parent)
{
    return Guarded([&]() -> HRESULT {
        if (!child || !parent) return E_FAIL;
        *parent = nullptr;
        if (FAILED(child->GetParent(index, parent))) {
            *parent = nullptr;
            return E_FAIL;
        }
        if (IsRoot(*parent)) {
            (*parent)->Release();
            *parent = nullptr;
            return E_FAIL;
        }
        return S_OK;
    });
}

// A top-level node leaves the root before it goes under another parent.
HRESULT CAPDocument::UnlinkFromRootIfTopLevel(IAPNode* child)
{
    int count = 0;
    if (FAILED(child->GetNumParents(&count))) return E_FAIL;
    if (count <= 0 || !m_root) return S_OK;
    ComRef<IAPNode> first;
    if (FAILED(child->GetParent(0, first.Out()))) return E_FAIL;
    if (!IsRoot(first.Get())) return S_OK;
    return FAILED(m_root->RemoveChild(child)) ? E_FAIL : S_FALSE;
}

HRESULT STDMETHODCALLTYPE CAPDocument::AddChild(IAPNode* parent, IAPNode* child)
{
    return LinkChild(parent, child, true, 0);
}

HRESULT STDMETHODCALLTYPE CAPDocument::InsertChild(IAPNode* parent, IAPNode* child, int insertAfter)
{
    return LinkChild(parent, child, false, insertAfter);
}

HRESULT CAPDocument::LinkChild(IAPNode* parent, IAPNode* child, bool append, int insertAfter)
{
    return Guarded([&]() -> HRESULT {
        if (!parent || !child) return E_FAIL;
        // The root link may be the child's last one: keep it alive while it moves.
        ComRef<IAPNode> keep = ComRef<IAPNode>::Hold(child);
        int at = -1;
        if (m_root) m_root->FindChild(child, &at);
        HRESULT moved = UnlinkFromRootIfTopLevel(child);
        if (FAILED(moved)) return E_FAIL;
        HRESULT hr = E_FAIL;
        if (append)
            hr = parent->AppendChild(child);
        else if (insertAfter < INT_MAX)
            hr = parent->InsertChild(insertAfter + 1, child);
        if (FAILED(hr)) {
            // Not lost from the process: back among the top-level nodes.
            if (moved == S_FALSE && (at < 0 || FAILED(m_root->InsertChild(at, child)))) m_root->AppendChild(child);
            return E_FAIL;
        }
        ComRef<IAPElement> element;
        hr = child->QueryInterface(IID_IAPElement, element.OutVoid());
        if (FAILED(hr)) return hr;
        return FAILED(Notify(4, element.Get(), 0, nullptr)) ? E_FAIL : S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CAPDocument::RemoveChild(IAPNode* parent, IAPNode* child)
{
    return Guarded([&]() -> HRESULT {
        if (!parent || !child) return E_FAIL;
        ComRef<IAPNode> keep = ComRef<IAPNode>::Hold(child);
        int count = 0;
        if (FAILED(child->GetNumParents(&count))) return E_FAIL;
        if (FAILED(parent->RemoveChild(child))) return E_FAIL;
        // A second entry under the same parent keeps the link.
        if (count == 1 && SUCCEEDED(child->GetNumParents(&count)) && count == 0) {
            // Its last parent is gone: it stays in the process as a top-level node.
            if (FAILED(EnsureRoot()) || FAILED(m_root->AppendChild(child))) return E_FAIL;
        }
        ComRef<IAPElement> element;
        HRESULT hr = child->QueryInterface(IID_IAPElement, element.OutVoid());
        if (FAILED(hr)) return hr;
        return FAILED(Notify(5, element.Get(), 0, nullptr)) ? E_FAIL : S_OK;
    });
}

// ---------------------------------------------------------------------------------------
// Creation and deletion

HRESULT STDMETHODCALLTYPE CAPDocument::CreateProcessElement(GUID* clsid, GUID* iid, ULONG_PTR* out)
{
    return Guarded([&]() -> HRESULT {
        if (!clsid || !iid || !out) return E_FAIL;
        void** result = reinterpret_cast<void**>(out);
        *result = nullptr;
        if (FAILED(EnsureRoot())) return E_FAIL;
        ComRef<IAPElement> element;
        HRESULT hr = ORVCoCreateInstance(*clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IAPElement, element.OutVoid());
        if (FAILED(hr)) return hr;
        if (!element) return E_FAIL;
        if (FAILED(element->BindDocument(Sink()))) return E_FAIL;
        // An interface the element does not answer is found out before anything is announced,
        // and the element leaves no trace; a refusing sink, as elsewhere, fails a change that stands.
        ComRef<IUnknown> answer;
        if (FAILED(element->QueryInterface(*iid, answer.OutVoid())) || !answer) {
            element->BindDocument(nullptr);
            return E_FAIL;
        }
        if (auto node = QueryRef<IAPNode>(element.Get(), IID_IAPNode)) {
            if (FAILED(m_root->AppendChild(node.Get()))) return E_FAIL;
        }
        if (FAILED(Notify(2, element.Get(), 0, nullptr))) return E_FAIL;
        *result = answer.Detach();
        return S_OK;
    });
}

HRESULT CAPDocument::DeleteNode(IAPNode* node)
{
    ComRef<IAPNode> keep = ComRef<IAPNode>::Hold(node);
    // Every parent once; the list shrinks as we go.
    int parents = 0;
    if (FAILED(node->GetNumParents(&parents))) return E_FAIL;
    for (int i = parents - 1; i >= 0; --i) {
        ComRef<IAPNode> parent;
        if (FAILED(node->GetParent(i, parent.Out())) || !parent) return E_FAIL;
        // A parent may list the node more than once: every entry goes.
        int entries = 0, at = -1;
        if (FAILED(parent->GetNumChildren(&entries))) return E_FAIL;
        do {
            if (FAILED(parent->RemoveChild(node))) return E_FAIL;
        } while (--entries > 0 && SUCCEEDED(parent->FindChild(node, &at)) && at >= 0);
    }
    {
        ComRef<IAPElement> element = QueryRef<IAPElement>(node, IID_IAPElement);
        if (!element || FAILED(element->NotifyDependents(3))) return E_FAIL;
    }
    int children = 0;
    if (FAILED(node->GetNumChildren(&children))) return E_FAIL;
    for (int i = children - 1; i >= 0; --i) {
        int now = 0;
        if (FAILED(node->GetNumChildren(&now))) return E_FAIL;
        if (i >= now) continue; // went with another entry of the same child
        ComRef<IAPNode> child;
        if (FAILED(node->GetChild(i, child.Out())) || !child) return E_FAIL;
        if (FAILED(DeleteNode(child.Get()))) return E_FAIL;
    }
    ComRef<IAPElement> element;
    HRESULT hr = node->QueryInterface(IID_IAPElement, element.OutVoid());
    if (FAILED(hr)) return hr;
    hr = Notify(3, element.Get(), 0, nullptr);
    // Out of the process now: a client that keeps it must not reach this document later.
    if (!IsRoot(node)) element->BindDocument(nullptr);
    return FAILED(hr) ? E_FAIL : S_OK;
}

HRESULT STDMETHODCALLTYPE CAPDocument::DeleteNodeFromProcess(IAPNode* node)
{
    return Guarded([&]() -> HRESULT {
        if (!node) return E_FAIL;
        return DeleteNode(node);
    });
}

// ---------------------------------------------------------------------------------------
// Import

HRESULT CAPDocument::BindSubtree(IAPNode* top, IAPDocEventSink* sink)
{
    std::vector<ComRef<IAPNode>> stack;
    std::set<IAPNode*> seen{top};
    stack.push_back(ComRef<IAPNode>::Hold(top));
    while (!stack.empty()) {
        ComRef<IAPNode> node(stack.back().Detach());
        stack.pop_back();
        ComRef<IAPElement> element = QueryRef<IAPElement>(node.Get(), IID_IAPElement);
        if (!element || FAILED(element->BindDocument(sink))) return E_FAIL;
        int count = 0;
        if (FAILED(node->GetNumChildren(&count))) return E_FAIL;
        for (int i = count - 1; i >= 0; --i) {
            ComRef<IAPNode> child;
            if (FAILED(node->GetChild(i, child.Out())) || !child) return E_FAIL;
            if (seen.insert(child.Get()).second) stack.push_back(std::move(child));
        }
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAPDocument::ImportDocument(IAPDocument* other, IAPNode* parentNode)
{
    return Guarded([&]() -> HRESULT {
        if (!other || !parentNode) return E_FAIL;
        ComRef<IAPNode> top;
        if (FAILED(FirstRootOf(other, &top))) return E_FAIL;
        // The children are taken first: each move shrinks the list.
        std::vector<ComRef<IAPNode>> children;
        if (FAILED(ChildrenOf(top.Get(), &children))) return E_FAIL;
        for (auto& child : children)
            if (FAILED(AdoptNode(other, child.Get(), parentNode, true, 0))) return E_FAIL;
        return S_OK;
    });
}

HRESULT CAPDocument::AdoptNode(IAPDocument* other, IAPNode* child, IAPNode* parentNode, bool append, int insertAfter)
{
    ComRef<IAPNode> keep = ComRef<IAPNode>::Hold(child);
    // Both halves of the link go, so the other document keeps no stale child entry.
    ComRef<IAPNode> parent;
    if (FAILED(child->GetParent(0, parent.Out())) || !parent) return E_FAIL;
    int at = -1, parents = 0;
    parent->FindChild(child, &at);
    if (FAILED(parent->RemoveChild(child))) return E_FAIL;
    if (FAILED(BindSubtree(child, Sink())) || FAILED(LinkChild(parentNode, child, append, insertAfter))) {
        // Not placed here: it goes back where it was in the other document.
        if (SUCCEEDED(child->GetNumParents(&parents)) && parents == 0) {
            auto otherSink = QueryRef<IAPDocEventSink>(other, IID_IAPDocEventSink);
            BindSubtree(child, otherSink.Get());
            if (at < 0 || FAILED(parent->InsertChild(at, child))) parent->AppendChild(child);
        }
        return E_FAIL;
    }
    return S_OK;
}

// ---------------------------------------------------------------------------------------
// Events

HRESULT STDMETHODCALLTYPE CAPDocument::RegisterEventSink(IAPDocEventSink* sink)
{
    return Guarded([&]() -> HRESULT {
        if (!sink) return E_FAIL;
        m_sinks.Append(sink);
        sink->AddRef();
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CAPDocument::UnregisterEventSink(IAPDocEventSink* sink)
{
    return Guarded([&]() -> HRESULT {
        if (!sink) return E_FAIL;
        int index = -1;
        if (m_sinks.Find(sink, &index) && index >= 0) {
            m_sinks.RemoveAt(index);
            sink->Release();
        }
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CAPDocument::Notify(unsigned short cmd, IAPElement* element, unsigned long length,
                                              unsigned char* message)
{
    return Guarded([&]() -> HRESULT {
        // A sink may unregister itself (or others) while it is called: fan out over a copy.
        std::vector<ComRef<IAPDocEventSink>> sinks;
        sinks.reserve(static_cast<size_t>(m_sinks.Count()));
        for (int i = 0; i < m_sinks.Count(); ++i) sinks.push_back(ComRef<IAPDocEventSink>::Hold(m_sinks[i]));
        for (auto& sink : sinks)
            if (FAILED(sink->Notify(cmd, element, length, message))) return E_FAIL;
        return S_OK;
    });
}

// ---------------------------------------------------------------------------------------
// Units, solid utility, moniker, defaults

HRESULT STDMETHODCALLTYPE CAPDocument::SetDocUnits(APDocUnits units)
{
    return Guarded([&]() -> HRESULT {
        if (FAILED(EnsureRoot())) return E_FAIL;
        if (auto e = QueryRef<IAPElement8>(m_root, IID_IAPElement8)) e->SetDocUnits(units);
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CAPDocument::GetDocUnits(APDocUnits* units)
{
    return Guarded([&]() -> HRESULT {
        if (!units) return E_FAIL;
        if (FAILED(EnsureRoot())) return E_FAIL;
        if (auto e = QueryRef<IAPElement8>(m_root, IID_IAPElement8)) {
            APDocUnits value = *units;
            if (SUCCEEDED(e->GetDocUnits(&value))) *units = value;
        }
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CAPDocument::SetHbUtility(IUnknown* utility)
{
    if (!utility) return E_FAIL;
    // The caller hands its reference over.
    if (m_hbUtility) m_hbUtility->Release();
    m_hbUtility = utility;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAPDocument::GetHbUtility(IUnknown** utility)
{
    if (!utility) return E_FAIL;
    *utility = m_hbUtility;
    if (m_hbUtility) m_hbUtility->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAPDocument::GetPdoDataMoniker(IORVDataMoniker** moniker)
{
    if (!moniker) return E_FAIL;
    *moniker = m_moniker;
    if (m_moniker) m_moniker->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAPDocument::GetDefaults(IAPPointerList* list)
{
    return Guarded([&]() -> HRESULT {
        if (!list) return E_FAIL;
        if (FAILED(EnsureRoot())) return E_FAIL;
        return ForEachChild(m_root, [&](IAPNode* node) -> HRESULT {
            if (!QueryRef<IAPFeature>(node, IID_IAPFeature)) return S_OK;
            auto feature = QueryRef<IAPFeature6>(node, IID_IAPFeature6);
            if (!feature) return E_FAIL;
            int isDefault = 0;
            if (FAILED(feature->GetIsDefault(&isDefault))) return E_FAIL;
            return isDefault ? list->AppendElement(node) : S_OK;
        });
    });
}
