// The document's side of the element stream: the tree written as records in pre-order, the
// export form, the reader and the pass that links what was read.
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "document/CAPDocument.h"
#include "document/ComRef.h"
#include "document/ElementStream.h"
#include "model/APComQuery.h"
#include "platform/orv/ORVComCreate.h"

namespace {

// Resets the export flag however the export ends.
class ExportFlagScope {
public:
    explicit ExportFlagScope(int& flag) : m_flag(flag) { m_flag = 1; }
    ~ExportFlagScope() { m_flag = 0; }
    ExportFlagScope(const ExportFlagScope&) = delete;
    ExportFlagScope& operator=(const ExportFlagScope&) = delete;

private:
    int& m_flag;
};

// The marker, and whatever the session still buffers: only then is the stream complete.
bool WriteEndMarker(ElementStreamSession& session)
{
    return session.Objects().write(WmGUID(GUID_EndOfStreamMarker)) && session.Flush();
}

} // namespace

// ---------------------------------------------------------------------------------------
// Writing

HRESULT CAPDocument::WriteRecord(ElementStreamSession& session, IAPElement* element)
{
    GUID clsid{};
    if (!element || FAILED(element->GetClassID(&clsid))) return E_FAIL;
    if (!session.Objects().write(WmGUID(clsid))) return E_FAIL;
    WmObjectStream* objects = &session.Objects();
    if (FAILED(element->Serialize(reinterpret_cast<unsigned char*>(objects)))) return E_FAIL;
    return S_OK;
}

// Pre-order, with a path of its own rather than the call stack, so that depth costs no stack.
// A node reached again through another parent is not written again: that parent's block
// already names it by its number, and the reader links it there.
HRESULT CAPDocument::WriteElementTree(ElementStreamSession& session, IAPElement* top, WrittenSet& written)
{
    struct Frame {
        ComRef<IAPNode> node;
        int count;
        int next;
    };
    std::vector<Frame> path;
    auto enter = [&](IAPElement* element) -> HRESULT {
        IUnknown* id = Identity(element);
        if (!id) return E_FAIL;
        if (!written.insert(id).second) return S_OK;
        if (FAILED(WriteRecord(session, element))) return E_FAIL;
        auto node = QueryRef<IAPNode>(element, IID_IAPNode);
        if (!node) return E_FAIL;
        int count = 0;
        if (FAILED(node->GetNumChildren(&count))) return E_FAIL;
        path.push_back(Frame{std::move(node), count, 0});
        return S_OK;
    };
    if (FAILED(enter(top))) return E_FAIL;
    while (!path.empty()) {
        Frame& frame = path.back();
        if (frame.next >= frame.count) {
            path.pop_back();
            continue;
        }
        ComRef<IAPNode> child;
        if (FAILED(frame.node->GetChild(frame.next++, child.Out())) || !child) return E_FAIL;
        auto childElement = QueryRef<IAPElement>(child.Get(), IID_IAPElement);
        if (!childElement || FAILED(enter(childElement.Get()))) return E_FAIL;
    }
    return S_OK;
}

HRESULT CAPDocument::WriteElementStream(IStorage* storage)
{
    if (!m_root || !storage) return E_FAIL;
    auto root = QueryRef<IAPElement>(m_root, IID_IAPElement);
    if (!root) return E_FAIL;
    ElementStreamSession session(storage, ElementStreamSession::Write);
    if (!session.IsOpen()) return E_FAIL;
    WrittenSet written;
    if (FAILED(WriteElementTree(session, root.Get(), written))) return E_FAIL;
    return WriteEndMarker(session) ? S_OK : E_FAIL;
}

HRESULT CAPDocument::WriteElementStreamForExport(IStorage* storage, IAPNode* node)
{
    if (!m_root || !storage || !node) return E_FAIL;
    auto root = QueryRef<IAPElement>(m_root, IID_IAPElement);
    auto exported = QueryRef<IAPElement>(node, IID_IAPElement);
    if (!root || !exported) return E_FAIL;
    ElementStreamSession session(storage, ElementStreamSession::Write);
    if (!session.IsOpen()) return E_FAIL;

    WrittenSet written;
    {
        ExportFlagScope exporting(m_exportFlag);
        // The root alone: its block names its first child as its only child.
        if (FAILED(WriteRecord(session, root.Get()))) return E_FAIL;
        written.insert(Identity(root.Get()));
        int count = 0;
        if (FAILED(m_root->GetNumChildren(&count))) return E_FAIL;
        ComRef<IAPNode> first;
        if (FAILED(m_root->GetChild(0, first.Out())) || !first) return E_FAIL;
        // That child alone, naming the exported node as its only child; when the exported
        // node is that child itself, its own record below stands in its place.
        if (!SameObject(first.Get(), node)) {
            auto firstElement = QueryRef<IAPElement>(first.Get(), IID_IAPElement);
            if (!firstElement || FAILED(WriteRecord(session, firstElement.Get()))) return E_FAIL;
            written.insert(Identity(firstElement.Get()));
        }
    }
    if (FAILED(WriteElementTree(session, exported.Get(), written))) return E_FAIL;
    return WriteEndMarker(session) ? S_OK : E_FAIL;
}

// ---------------------------------------------------------------------------------------
// Reading

// Takes every link between the given elements apart, so that releasing them frees them
// whatever the links looked like (cycles, a child listed twice).
void CAPDocument::UnlinkAll(const std::vector<IAPElement*>& elements)
{
    for (IAPElement* e : elements) {
        auto node = QueryRef<IAPNode>(e, IID_IAPNode);
        if (!node) continue;
        int count = 0;
        if (FAILED(node->GetNumChildren(&count))) continue;
        for (int i = count - 1; i >= 0; --i) {
            ComRef<IAPNode> child;
            if (FAILED(node->GetChild(i, child.Out())) || !child) continue;
            if (FAILED(node->RemoveChildByIndex(i))) {
                // An entry without the child's half of the link: give it one to take away.
                child->AppendParent(node.Get());
                node->RemoveChildByIndex(i);
            }
        }
    }
}

// Depth first from the root: each element's lists are rebuilt once, however many parents
// lead to it. A node that turns out to be its own ancestor fails the pass.
HRESULT CAPDocument::FixupLoadedTree(IAPNode* root)
{
    if (!root) return E_FAIL;
    struct Frame {
        ComRef<IAPNode> node;
        std::vector<ComRef<IAPNode>> children;
        size_t next = 0;
    };
    std::vector<Frame> path;
    std::unordered_set<IAPNode*> done, onPath;

    auto enter = [&](IAPNode* node) -> HRESULT {
        auto element = QueryRef<IAPElement>(node, IID_IAPElement);
        if (!element || FAILED(element->FixupLists())) return E_FAIL;
        Frame frame;
        frame.node = ComRef<IAPNode>::Hold(node);
        int count = 0;
        if (FAILED(node->GetNumChildren(&count)) || count < 0) return E_FAIL;
        for (int i = 0; i < count; ++i) {
            ComRef<IAPNode> child;
            if (FAILED(node->GetChild(i, child.Out())) || !child) return E_FAIL;
            frame.children.push_back(std::move(child));
        }
        done.insert(node);
        onPath.insert(node);
        path.push_back(std::move(frame));
        return S_OK;
    };

    if (FAILED(enter(root))) return E_FAIL;
    while (!path.empty()) {
        Frame& top = path.back();
        if (top.next < top.children.size()) {
            IAPNode* child = top.children[top.next++].Get();
            if (onPath.count(child)) return E_FAIL;
            if (done.count(child)) continue;
            if (FAILED(enter(child))) return E_FAIL;
        } else {
            onPath.erase(top.node.Get());
            path.pop_back();
        }
    }
    return S_OK;
}

HRESULT CAPDocument::ReadElementStream(IStorage* storage, IAPNode** rootOut, IStorage* copyTo)
{
    if (!rootOut) return E_FAIL;
    *rootOut = nullptr;
    if (!storage) return E_FAIL;

    std::vector<IAPElement*> created; // the creation reference of every record
    std::unordered_set<IAPElement*> copies; // records that repeat an earlier one
    ComRef<IAPNode> root;
    HRESULT hr = S_OK;
    try {
        std::unique_ptr<ElementStreamSession> reading(copyTo ? new ElementStreamSession(storage, copyTo)
                                                             : new ElementStreamSession(storage, ElementStreamSession::Read));
        ElementStreamSession& session = *reading;
        WmObjectStream& objects = session.Objects();
        std::unordered_map<int, IAPElement*> byNumber;
        for (;;) {
            WmGUID id;
            if (!objects.read(id)) {
                hr = E_FAIL; // no end marker: a short stream
                break;
            }
            if (id.data2 == 0xFFFF) break;
            IAPElement* element = nullptr;
            if (FAILED(ORVCoCreateInstance(id.toGUID(), nullptr, CLSCTX_INPROC_SERVER, IID_IAPElement,
                                           reinterpret_cast<void**>(&element))) ||
                !element) {
                hr = E_FAIL;
                break;
            }
            created.push_back(element);
            if (FAILED(element->BindDocument(Sink())) ||
                FAILED(element->Deserialize(reinterpret_cast<unsigned char*>(&objects))) ||
                FAILED(element->BindDocument(Sink()))) {
                hr = E_FAIL;
                break;
            }
            // Files written before nodes with several parents were written once carry such a
            // node (and its subtree) again under every parent. The first copy stands for all:
            // later references resolve to it, and the copy is dropped.
            int number = 0;
            if (session.Swizzler() && session.Swizzler()->registeredNumber(element, &number)) {
                auto earlier = byNumber.find(number);
                if (earlier == byNumber.end())
                    byNumber.emplace(number, element);
                else if (objects.registerPtr(earlier->second, number))
                    copies.insert(element);
            }
            if (created.size() == 1) {
                root = QueryRef<IAPNode>(element, IID_IAPNode);
                if (!root) {
                    hr = E_FAIL;
                    break;
                }
            }
        }
        if (SUCCEEDED(hr) && !root) hr = E_FAIL; // a stream that starts with the end marker
        if (SUCCEEDED(hr) && !session.FinishCopy()) hr = E_FAIL;
        session.Detach();
    } catch (...) {
        hr = E_FAIL;
    }

    if (SUCCEEDED(hr)) {
        try {
            hr = FixupLoadedTree(root.Get());
            // Every other record must have come under a parent: one that none names would go
            // now, while references read from the stream may still point at it.
            for (size_t i = 1; SUCCEEDED(hr) && i < created.size(); ++i) {
                int parents = 0;
                auto node = QueryRef<IAPNode>(created[i], IID_IAPNode);
                if (!copies.count(created[i]) && (!node || FAILED(node->GetNumParents(&parents)) || parents <= 0))
                    hr = E_FAIL;
            }
        } catch (...) {
            hr = E_FAIL;
        }
    }
    if (FAILED(hr)) {
        try {
            UnlinkAll(created);
        } catch (...) {
        }
        root.Reset();
    }
    // The links (and the root reference) keep the tree; records it does not reach go.
    for (IAPElement* e : created) e->Release();
    if (FAILED(hr)) return E_FAIL;
    *rootOut = root.Detach();
    return S_OK;
}
