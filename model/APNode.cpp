#include "model/APNode.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "model/APBlockIO.h"
#include "model/APComQuery.h"
#include "model/APFieldAccess.h"
#include "platform/moniker/MkMoniker.h"
#include "platform/orv/ORVComCreate.h"
#include "platform/toolkit/WmObjectStream.h"

IMPLEMENT_DYNAMIC(APNode, APElement)
IMPLEMENT_DYNAMIC(APGeometryNode, APNode)
IMPLEMENT_DYNAMIC(APAssemblyNode, APGeometryNode)
IMPLEMENT_DYNAMIC(APPartNode, APGeometryNode)
IMPLEMENT_DYNAMIC(APFixtureNode, APPartNode)
IMPLEMENT_DYNAMIC(APTolLibNode, APGeometryNode)

namespace {

template <class T>
void SafeRelease(T*& p)
{
    if (p) p->Release();
    p = nullptr;
}

// The node's first parent, with a reference; null when it has none or cannot tell.
IAPNode* FirstParent(IAPNode* node)
{
    int count = 0;
    if (!node || FAILED(node->GetNumParents(&count)) || count < 1) return nullptr;
    IAPNode* parent = nullptr;
    if (FAILED(node->GetParent(0, &parent))) return nullptr;
    return parent;
}

// The stream's handle as the element interfaces pass it.
unsigned char* StreamHandle(WmObjectStream* stream) { return reinterpret_cast<unsigned char*>(stream); }


HRESULT NewKey(const CString& text, IAPPropertyKey** key)
{
    *key = nullptr;
    HRESULT hr = ORVCoCreateInstance(CLSID_APPropertyKey, nullptr, CLSCTX_INPROC_SERVER, IID_IAPPropertyKey,
                                     reinterpret_cast<void**>(key));
    if (FAILED(hr) || !*key) return E_FAIL;
    std::vector<unsigned char> buffer(text.GetString(), text.GetString() + text.GetLength() + 1);
    if (FAILED((*key)->SetKey(buffer.data()))) {
        SafeRelease(*key);
        return E_FAIL;
    }
    return S_OK;
}

} // namespace

// ---------------------------------------------------------------------------------------
// APNode

APNode::APNode() = default;

APNode::~APNode() = default;

APNode* APNode::NodeOf(IUnknown* wrapper)
{
    APElement* element = APElement::FromInterface(wrapper);
    return element && element->IsKindOf(RUNTIME_CLASS(APNode)) ? static_cast<APNode*>(element) : nullptr;
}

IAPNode* APNode::OwnNode() const { return m_wrapper ? Query<IAPNode>(m_wrapper, IID_IAPNode) : nullptr; }

bool APNode::WouldCycle(IAPNode* parent, IAPNode* child) const
{
    // Is `child` the parent itself or one of its ancestors? Only a node with children is
    // anyone's ancestor, so linking a leaf (every link while a tree is built top-down or
    // read) costs a comparison; otherwise every parent line is walked.
    IUnknown* target = Identity(child);
    if (!target) return true;
    if (Identity(parent) == target) return true;
    int children = 0;
    if (SUCCEEDED(child->GetNumChildren(&children)) && children == 0) return false;
    std::unordered_set<IUnknown*> seen;
    std::vector<IAPNode*> open;
    parent->AddRef();
    open.push_back(parent);
    bool found = false;
    while (!open.empty()) {
        IAPNode* node = open.back();
        open.pop_back();
        IUnknown* id = Identity(node);
        if (!found && id == target) found = true;
        if (!found && id && seen.insert(id).second) {
            int count = 0;
            if (SUCCEEDED(node->GetNumParents(&count))) {
                for (int i = 0; i < count; ++i) {
                    IAPNode* up = nullptr;
                    if (SUCCEEDED(node->GetParent(i, &up)) && up) open.push_back(up);
                }
            }
        }
        node->Release();
    }
    return found;
}

namespace {
constexpr int kIndexedChildren = 32; // a shorter list is searched
} // namespace

void APNode::InsertChildEntry(int index, IAPNode* child)
{
    if (index < 0) return;
    if (!m_childIndex && m_children.Count() + 1 >= kIndexedChildren) {
        auto fresh = std::make_unique<std::unordered_map<IAPNode*, int>>();
        for (int i = 0; i < m_children.Count(); ++i) ++(*fresh)[m_children[i]];
        m_childIndex = std::move(fresh);
    }
    m_children.InsertAt(index, child);
    if (!m_childIndex) return;
    try {
        ++(*m_childIndex)[child];
    } catch (...) {
        m_children.RemoveAt(index < m_children.Count() - 1 ? index : m_children.Count() - 1);
        throw;
    }
}

void APNode::RemoveChildEntry(int index)
{
    if (index < 0 || index >= m_children.Count()) return;
    if (m_childIndex) {
        auto it = m_childIndex->find(m_children[index]);
        if (it != m_childIndex->end() && --it->second <= 0) m_childIndex->erase(it);
    }
    m_children.RemoveAt(index);
}

int APNode::ChildEntries(IAPNode* child) const
{
    if (m_childIndex) {
        auto it = m_childIndex->find(child);
        return it == m_childIndex->end() ? 0 : it->second;
    }
    int n = 0;
    for (int i = 0; i < m_children.Count(); ++i)
        if (m_children[i] == child) ++n;
    return n;
}

int APNode::FirstChildEntry(IAPNode* child) const
{
    const int entries = ChildEntries(child);
    if (entries == 0) return -1;
    int index = -1;
    if (entries == 1) {
        // The only entry: search from the end, where the latest links are.
        for (int i = m_children.Count() - 1; i >= 0; --i)
            if (m_children[i] == child) return i;
    }
    m_children.Find(child, &index);
    return index;
}

HRESULT APNode::AppendChild(IAPNode* child)
{
    if (!child) return E_FAIL;
    IAPNode* own = OwnNode();
    if (!own) return E_FAIL;
    HRESULT hr = S_OK;
    if (ChildEntries(child) == 0) {
        hr = LinkChildAt(m_children.Count(), child, own);
    }
    own->Release();
    return hr;
}

HRESULT APNode::InsertChild(int insertBefore, IAPNode* child)
{
    if (!child || insertBefore < 0 || insertBefore > m_children.Count()) return E_FAIL;
    IAPNode* own = OwnNode();
    if (!own) return E_FAIL;
    HRESULT hr = LinkChildAt(insertBefore, child, own);
    own->Release();
    return hr;
}

// Makes both halves of a link or neither: the entry goes again when the child refuses it.
HRESULT APNode::LinkChildAt(int index, IAPNode* child, IAPNode* own)
{
    if (WouldCycle(own, child)) return E_FAIL;
    InsertChildEntry(index, child);
    if (FAILED(child->AppendParent(own))) {
        int at = index;
        if (at >= m_children.Count() || m_children[at] != child) at = FirstChildEntry(child);
        if (at >= 0) RemoveChildEntry(at);
        return E_FAIL;
    }
    return S_OK;
}

HRESULT APNode::RemoveChildByIndex(int index)
{
    if (index < 0 || index >= m_children.Count()) return E_FAIL;
    IAPNode* own = OwnNode();
    if (!own) return E_FAIL;
    IAPNode* child = m_children[index];
    // An entry that repeats another shares its link: only the last one undoes it.
    bool lastEntry = ChildEntries(child) == 1;
    if (lastEntry && FAILED(child->RemoveParent(own))) {
        own->Release();
        return E_FAIL;
    }
    own->Release();
    // The child may be gone now; its pointer is only compared.
    if (index >= m_children.Count() || m_children[index] != child) index = FirstChildEntry(child);
    if (index >= 0) RemoveChildEntry(index);
    return S_OK;
}

HRESULT APNode::RemoveChild(IAPNode* child)
{
    return RemoveChildByIndex(FirstChildEntry(child)) < 0 ? E_FAIL : S_OK;
}

HRESULT APNode::GetChild(int index, IAPNode** child)
{
    if (!child || index < 0 || index >= m_children.Count()) return E_FAIL;
    *child = m_children[index];
    if (*child) (*child)->AddRef();
    return S_OK;
}

HRESULT APNode::GetNumChildren(int* count) { return CopyOut(m_children.Count(), count); }

HRESULT APNode::FindChild(IAPNode* child, int* index)
{
    if (!index) return E_FAIL;
    *index = FirstChildEntry(child);
    return S_OK;
}

HRESULT APNode::AppendParent(IAPNode* parent)
{
    if (!m_wrapper || !parent) return E_FAIL;
    if (m_parents.Contains(parent)) return S_OK;
    IAPNode* own = OwnNode();
    if (!own) return E_FAIL;
    bool cycle = WouldCycle(parent, own);
    own->Release();
    if (cycle) return E_FAIL;
    m_parents.Append(parent);
    m_wrapper->AddRef(); // the link keeps this node alive
    return S_OK;
}

HRESULT APNode::RemoveParent(IAPNode* parent)
{
    int index = -1;
    if (!m_wrapper || !m_parents.Find(parent, &index)) return E_FAIL;
    m_parents.RemoveAt(index);
    // May destroy this node: nothing of it is touched afterwards.
    m_wrapper->Release();
    return S_OK;
}

HRESULT APNode::GetParent(int index, IAPNode** parent)
{
    if (!parent || index < 0 || index >= m_parents.Count()) return E_FAIL;
    *parent = m_parents[index];
    if (*parent) (*parent)->AddRef();
    return S_OK;
}

HRESULT APNode::GetNumParents(int* count) { return CopyOut(m_parents.Count(), count); }

HRESULT APNode::GetNoteSize(int* size) { return CopyOut(m_note.GetLength(), size); }

HRESULT APNode::GetNote(CString& note) { return Store(note, m_note); }

HRESULT APNode::SetNote(const CString& note) { return Store(m_note, note); }

HRESULT APNode::GetNote2Size(int* size) { return CopyOut(m_note2.GetLength(), size); }

HRESULT APNode::GetNote2(CString& note) { return Store(note, m_note2); }

HRESULT APNode::SetNote2(const CString& note) { return Store(m_note2, note); }

// ---------------------------------------------------------------------------------------
// Upward queries

namespace {

bool IsPart(IAPNode* n) { return Answers(n, IID_IAPPartNode); }
bool IsFeatureGroup(IAPNode* n) { return Answers(n, IID_IAPFeatureGroupNode); }
bool IsSubFeatureGroup(IAPNode* n) { return Answers(n, IID_IAPSubFeatureGroupNode); }
bool IsFeature(IAPNode* n) { return Answers(n, IID_IAPFeature); }
bool IsPattern(IAPNode* n) { return Answers(n, IID_IAPPatternFeature); }

// Each climb starts at a node and answers the part above it (with a reference), or null
// when the chain breaks.

// Above a feature group node: the part.
IAPNode* ClimbFromFeatureGroup(IAPNode* node)
{
    IAPNode* parent = FirstParent(node);
    if (parent && IsPart(parent)) return parent;
    SafeRelease(parent);
    return nullptr;
}

// Above a feature: part; feature group node, part; and where `viaPattern`, a pattern feature
// and then as above that pattern.
IAPNode* ClimbFromFeatureOrPattern(IAPNode* node, bool viaPattern)
{
    IAPNode* parent = FirstParent(node);
    if (!parent) return nullptr;
    IAPNode* part = nullptr;
    if (viaPattern && IsPattern(parent)) {
        part = ClimbFromFeatureOrPattern(parent, false);
    } else if (IsPart(parent)) {
        part = parent;
        parent->AddRef();
    } else if (IsFeatureGroup(parent)) {
        part = ClimbFromFeatureGroup(parent);
    }
    parent->Release();
    return part;
}

// Above a pattern feature: part; feature group node, part.
IAPNode* ClimbFromPattern(IAPNode* node) { return ClimbFromFeatureOrPattern(node, false); }

// Above any other feature: part; feature group node, part; pattern feature, part; pattern
// feature, feature group node, part.
IAPNode* ClimbFromFeature(IAPNode* node) { return ClimbFromFeatureOrPattern(node, true); }

// Above a sub-feature group node: a feature (pattern or other), then as above that feature
// without a further pattern.
IAPNode* ClimbFromSubFeatureGroup(IAPNode* node)
{
    IAPNode* parent = FirstParent(node);
    if (!parent) return nullptr;
    IAPNode* part = nullptr;
    if (IsPattern(parent) || IsFeature(parent)) part = ClimbFromPattern(parent);
    parent->Release();
    return part;
}

} // namespace

HRESULT APNode::GetPartNode(IAPNode** part)
{
    if (!part) return E_FAIL;
    IAPNode* own = OwnNode();
    if (!own) return E_FAIL;
    if (IsPart(own)) {
        *part = own;
        return S_OK;
    }
    IAPNode* found = nullptr;
    bool known = true;
    if (IsFeatureGroup(own)) found = ClimbFromFeatureGroup(own);
    else if (IsPattern(own)) found = ClimbFromPattern(own);
    else if (IsFeature(own)) found = ClimbFromFeature(own);
    else if (IsSubFeatureGroup(own)) found = ClimbFromSubFeatureGroup(own);
    else known = false;
    HRESULT hr = E_FAIL;
    if (found) {
        *part = found;
        hr = S_OK;
    } else if (!known && m_parents.Count() > 0) {
        hr = S_OK; // not a node that lives under a part: no answer
    }
    own->Release();
    return hr;
}

HRESULT APNode::GetPartNodeOfFeature(IAPNode** part)
{
    if (!part) return E_FAIL;
    IAPNode* own = OwnNode();
    if (!own) return E_FAIL;
    if (!IsFeature(own)) {
        own->Release();
        return E_FAIL;
    }
    IAPNode* parent = FirstParent(own);
    own->Release();
    if (!parent) return E_FAIL;
    IAPNode* found = nullptr;
    HRESULT hr = E_FAIL;
    if (IsPart(parent)) {
        found = parent;
        parent->AddRef();
    } else if (IsFeatureGroup(parent)) {
        found = ClimbFromFeatureGroup(parent);
    } else if (IsPattern(parent)) {
        found = ClimbFromPattern(parent);
    } else if (IsFeature(parent)) {
        found = ClimbFromFeature(parent);
    } else if (IsSubFeatureGroup(parent)) {
        IAPNode* feature = nullptr;
        if (GetParentFeature(&feature) >= 0 && feature) found = ClimbFromFeature(feature);
        SafeRelease(feature);
    } else {
        hr = S_OK; // a first parent outside the table: no answer
    }
    parent->Release();
    if (found) {
        *part = found;
        hr = S_OK;
    }
    return hr;
}

HRESULT APNode::GetParentFeature(IAPNode** feature)
{
    if (!feature) return E_FAIL;
    IAPNode* own = OwnNode();
    if (!own) return E_FAIL;
    bool point = Answers(own, IID_IAPPointFeature);
    own->Release();
    if (!point) return E_FAIL;
    IAPNode* parent = m_parents.Count() > 0 ? m_parents[0] : nullptr;
    if (!parent) return E_FAIL;
    if (IsFeature(parent)) {
        parent->AddRef();
        *feature = parent;
        return S_OK;
    }
    if (IsSubFeatureGroup(parent)) {
        IAPNode* above = FirstParent(parent);
        if (above && IsFeature(above)) {
            *feature = above;
            return S_OK;
        }
        SafeRelease(above);
    }
    return E_FAIL;
}

// ---------------------------------------------------------------------------------------
// Deletion, persistence and fix-up

void APNode::ListChildren(std::vector<APElement*>& out) const
{
    for (int i = 0; i < m_children.Count(); ++i)
        if (APElement* child = FromInterface(m_children[i])) out.push_back(child);
}

HRESULT APNode::NotifyDeletion()
{
    // Dependents hear of the end even when the links cannot be undone.
    IAPNode* own = OwnNode();
    if (!own) {
        bool unlinked = m_children.Count() == 0;
        return APElement::NotifyDeletion() < 0 || !unlinked ? E_FAIL : S_OK;
    }
    // Each distinct child holds one link reference for this parent, however often it is listed.
    // The list is taken out first (children that go may call back), and nothing is allocated:
    // a large tree ends through here once per node.
    APArray<IAPNode*> children(std::move(m_children));
    std::unique_ptr<std::unordered_map<IAPNode*, int>> index = std::move(m_childIndex);
    for (int i = 0; i < children.Count(); ++i) {
        IAPNode* child = children[i];
        if (!child) continue;
        bool repeat = false;
        if (index) {
            auto it = index->find(child);
            if (it != index->end()) {
                repeat = it->second == 0;
                it->second = 0; // later entries of this child are repeats
            }
        } else {
            for (int j = 0; j < i && !repeat; ++j) repeat = children[j] == child;
        }
        if (!repeat) child->RemoveParent(own);
    }
    own->Release();
    return APElement::NotifyDeletion() < 0 ? E_FAIL : S_OK;
}

HRESULT APNode::WriteChildren(WmObjectStream& stream)
{
    // While an export writes the root and its first child, the links are those of the export
    // form: the root points at its first child, the first child at the exported node.
    int exporting = 0;
    IAPElement* exported = nullptr;
    IAPDocument* doc = nullptr;
    if (GetDocument(&doc) >= 0 && doc) {
        IAPDocument2* doc2 = Query<IAPDocument2>(doc, IID_IAPDocument2);
        if (doc2) {
            if (FAILED(doc2->GetExportInfo(&exporting, &exported))) {
                exporting = 0;
                exported = nullptr;
            }
            doc2->Release();
        }
        doc->Release();
    }

    std::vector<IAPElement*> links; // with a reference each
    auto release = [&links, &exported]() {
        for (IAPElement* e : links) SafeRelease(e);
        SafeRelease(exported);
    };
    bool normal = !exporting;
    if (exporting) {
        IAPNode* own = OwnNode();
        IAPNode* exportedNode = Query<IAPNode>(exported, IID_IAPNode);
        if (m_parents.Count() > 0) {
            // The exported node itself, or a node below it, keeps its own children: linking it
            // to the exported node would make a cycle.
            if (!own || !exportedNode || Identity(own) == Identity(exportedNode) || WouldCycle(own, exportedNode)) {
                normal = true;
            } else {
                exported->AddRef();
                links.push_back(exported);
            }
        } else if (own && exportedNode && Identity(own) == Identity(exportedNode)) {
            normal = true;
        } else {
            // A root without children has nothing to export: the null entry fails the block.
            links.push_back(m_children.Count() > 0 ? Query<IAPElement>(m_children[0], IID_IAPElement) : nullptr);
        }
        SafeRelease(exportedNode);
        SafeRelease(own);
    }
    if (normal) {
        for (int i = 0; i < m_children.Count(); ++i) {
            IAPElement* e = Query<IAPElement>(m_children[i], IID_IAPElement);
            links.push_back(e);
            if (!e) break;
        }
    }
    bool ok = std::find(links.begin(), links.end(), nullptr) == links.end();
    ok = ok && stream.write(static_cast<int>(links.size()));
    for (std::size_t i = 0; ok && i < links.size(); ++i) {
        int number = 0;
        ok = stream.ptr2num(links[i], &number) && stream.write(number);
    }
    release();
    return ok ? S_OK : E_FAIL;
}

HRESULT APNode::Serialize(WmObjectStream* stream)
{
    if (!stream || APElement::Serialize(stream) < 0) return E_FAIL;
    if (!stream->write(kBlockVersion)) return E_FAIL;
    if (FAILED(WriteChildren(*stream))) return E_FAIL;
    // The note goes out whole; readers keep 4095 characters of it.
    if (!stream->write(WmString(m_note.GetString(), static_cast<std::size_t>(m_note.GetLength())))) return E_FAIL;
    return S_OK;
}

HRESULT APNode::ReadOldProperties(WmObjectStream& stream)
{
    int count = 0;
    if (!stream.read(count) || count < 0 || !MayHold(stream, static_cast<std::int64_t>(count) * 24)) return E_FAIL;
    for (int i = 0; i < count; ++i) {
        CString text;
        WmGUID clsid;
        if (!ReadText(stream, text, 256) || !stream.read(clsid)) return E_FAIL;
        IAPPropertyKey* key = nullptr;
        if (FAILED(NewKey(text, &key))) return E_FAIL;
        IAPProperty* prop = nullptr;
        HRESULT hr = ORVCoCreateInstance(clsid.toGUID(), nullptr, CLSCTX_INPROC_SERVER, IID_IAPProperty,
                                         reinterpret_cast<void**>(&prop));
        if (SUCCEEDED(hr) && !prop) hr = E_FAIL;
        if (SUCCEEDED(hr)) hr = prop->read(StreamHandle(&stream));
        if (SUCCEEDED(hr)) hr = SetProperty(key, prop);
        SafeRelease(prop);
        key->Release();
        if (FAILED(hr)) return E_FAIL;
    }
    return S_OK;
}

HRESULT APNode::Deserialize(WmObjectStream* stream)
{
    if (!stream || APElement::Deserialize(stream) < 0) return E_FAIL;
    int version = 0, count = 0;
    if (!stream->read(version) || version < 1 || !stream->read(count)) return E_FAIL;
    if (count < 0 || !MayHold(*stream, static_cast<std::int64_t>(count) * 4)) return E_FAIL;
    // Kept from block to block: reading a large file does not allocate per node for it.
    static std::vector<int> numbers;
    numbers.clear();
    numbers.reserve(static_cast<std::size_t>(std::min(count, 4096)));
    for (int i = 0; i < count; ++i) {
        int number = 0;
        if (!stream->read(number) || number < 0) return E_FAIL;
        numbers.push_back(number);
    }
    CString note;
    if (!ReadText(*stream, note, 4096)) return E_FAIL;
    if (version < 2 && FAILED(ReadOldProperties(*stream))) return E_FAIL;

    m_storedChildren.Request(*stream, numbers);
    m_childrenPending = true;
    m_note = note;
    return S_OK;
}

HRESULT APNode::FixupLists()
{
    if (APElement::FixupLists() < 0) return E_FAIL;
    IAPNode* own = OwnNode();
    if (!own) return E_FAIL;
    if (!m_childrenPending) { // a live tree: its links are already made
        own->Release();
        return 1;
    }
    m_childrenPending = false;
    bool failed = false;
    for (int i = 0; i < m_storedChildren.Count(); ++i) {
        IAPNode* child = Query<IAPNode>(m_storedChildren[i], IID_IAPNode);
        if (!child) {
            failed = true;
            continue;
        }
        // A child that refuses the link (a cycle in the stream) is left out.
        if (SUCCEEDED(child->AppendParent(own))) InsertChildEntry(m_children.Count(), child);
        child->Release();
    }
    m_storedChildren.Clear();
    own->Release();
    return failed ? E_FAIL : 1;
}

APNode& APNode::operator=(const APNode& source)
{
    if (this == &source) return *this;
    APElement::operator=(source);
    m_note = source.m_note;
    m_note2 = source.m_note2;
    return *this;
}

// ---------------------------------------------------------------------------------------
// Geometry node

HRESULT APGeometryNode::Serialize(WmObjectStream* stream)
{
    return APNode::Serialize(stream) < 0 ? E_FAIL : WriteVersionWord(stream, kBlockVersion);
}

HRESULT APGeometryNode::Deserialize(WmObjectStream* stream)
{
    return APNode::Deserialize(stream) < 0 ? E_FAIL : SkipVersionWord(stream);
}

// ---------------------------------------------------------------------------------------
// Assembly node

APAssemblyNode::~APAssemblyNode() { SafeRelease(m_dataMoniker); }

HRESULT APAssemblyNode::SetIntPair(int a, int b) { return StoreAll(m_intPair, a, b); }

HRESULT APAssemblyNode::GetIntPair(int* a, int* b) { return CopyAllOut(m_intPair, a, b); }

HRESULT APAssemblyNode::SetNodeString(const CString& text) { return Store(m_nodeString, text); }

HRESULT APAssemblyNode::GetNodeString(CString& text) { return Store(text, m_nodeString); }

HRESULT APAssemblyNode::GetDataMoniker(IORVDataMoniker** moniker) { return HandOut(m_dataMoniker, moniker); }

HRESULT APAssemblyNode::SetDataMoniker(IORVDataMoniker* moniker)
{
    Replace(m_dataMoniker, moniker);
    return S_OK;
}

HRESULT APAssemblyNode::Serialize(WmObjectStream* stream)
{
    if (APGeometryNode::Serialize(stream) < 0) return E_FAIL;
    bool ok = stream->write(kBlockVersion) && stream->write(m_intPair[0]) && stream->write(m_intPair[1]) &&
              WriteText(*stream, m_nodeString, 1024) && WriteMonikerField(*stream, m_dataMoniker);
    return ok ? S_OK : E_FAIL;
}

HRESULT APAssemblyNode::Deserialize(WmObjectStream* stream)
{
    if (APGeometryNode::Deserialize(stream) < 0) return E_FAIL;
    int version = 0;
    int pair[2] = {-1, -1};
    CString text;
    IORVDataMoniker* moniker = nullptr;
    if (!stream->read(version)) return E_FAIL;
    if (version >= 2 && (!stream->read(pair[0]) || !stream->read(pair[1]))) return E_FAIL;
    if (version >= 3 && !ReadText(*stream, text, 1024)) return E_FAIL;
    if (version >= 4 && !ReadMonikerField(*stream, &moniker)) return E_FAIL;
    m_intPair[0] = pair[0];
    m_intPair[1] = pair[1];
    m_nodeString = text;
    if (moniker) { // a stored length 0 leaves the moniker as it is
        Replace(m_dataMoniker, moniker);
        moniker->Release();
    }
    return S_OK;
}

APAssemblyNode& APAssemblyNode::operator=(const APAssemblyNode& source)
{
    if (this == &source) return *this;
    APNode::operator=(source);
    m_intPair[0] = source.m_intPair[0];
    m_intPair[1] = source.m_intPair[1];
    m_nodeString = source.m_nodeString;
    Replace(m_dataMoniker, source.m_dataMoniker);
    return *this;
}


// ---------------------------------------------------------------------------------------
// Part node

namespace {

const double kMatrix3x4Default[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
const float kIdentity4f[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// Removes entry `index` of an owning list and releases it.
template <class T>
HRESULT RemoveOwned(APArray<T*>& list, int index)
{
    if (index < 0 || index >= list.Count()) return E_FAIL;
    T* item = list[index];
    list.RemoveAt(index);
    if (item) item->Release();
    return S_OK;
}

// Entries are kept as the list's own interface (`iid`), whatever interface comes in.
template <class T>
HRESULT AppendOwned(APArray<T*>& list, IUnknown* item, REFIID iid)
{
    T* typed = Query<T>(item, iid);
    if (!typed) return E_FAIL;
    if (list.Contains(typed)) {
        typed->Release();
        return S_OK;
    }
    list.Append(typed); // the query's reference becomes the list's
    return S_OK;
}

template <class T>
HRESULT RemoveOwnedItem(APArray<T*>& list, IUnknown* item, REFIID iid)
{
    T* typed = Query<T>(item, iid);
    int index = -1;
    const bool found = typed && list.Find(typed, &index);
    if (typed) typed->Release();
    return found ? RemoveOwned(list, index) : S_OK;
}

template <class T>
HRESULT GetOwned(const APArray<T*>& list, int index, T** item)
{
    if (!item || index < 0 || index >= list.Count()) return E_FAIL;
    *item = list[index];
    if (*item) (*item)->AddRef();
    return S_OK;
}

template <class T>
void ReleaseOwned(APArray<T*>& list)
{
    // Released after the list is emptied, so that a release that reaches back finds no
    // stale entries.
    std::vector<T*> gone(list.Data(), list.Data() + list.GetCount());
    list.RemoveAll();
    for (T* e : gone) SafeRelease(e);
}


// Each entry as IAPElement gets `call`; the first failure fails.
template <class T, class Call>
bool ForEachOwned(const APArray<T*>& list, Call&& call)
{
    for (int i = 0; i < list.Count(); ++i) {
        IAPElement* e = Query<IAPElement>(list[i], IID_IAPElement);
        const bool ok = e && SUCCEEDED(call(e));
        SafeRelease(e);
        if (!ok) return false;
    }
    return true;
}

} // namespace

APPartNode::APPartNode()
{
    std::copy(std::begin(kIdentity4f), std::end(kIdentity4f), m_transform);
    std::copy(std::begin(kMatrix3x4Default), std::end(kMatrix3x4Default), m_matrix3x4);
}

APPartNode::~APPartNode()
{
    ReleaseLists();
    SafeRelease(m_dataMoniker);
}

void APPartNode::ReleaseLists()
{
    ReleaseOwned(m_datums);
    ReleaseOwned(m_frames);
}

HRESULT APPartNode::SetMatrix3x4(const double m[12]) { return StoreArray(m_matrix3x4, m); }

HRESULT APPartNode::GetMatrix3x4(double m[12]) { return CopyArrayOut(m_matrix3x4, m); }

HRESULT APPartNode::IsScalarSet(int* isSet) { return CopyOut(m_scalar >= 0.0 ? 1 : 0, isSet); }

HRESULT APPartNode::IsVectorSet(int* isSet) { return CopyOut(m_vector[0] >= 0.0 ? 1 : 0, isSet); }

HRESULT APPartNode::GetScalar(double* value) { return CopyOut(m_scalar, value); }

HRESULT APPartNode::GetVector(double* x, double* y, double* z) { return CopyAllOut(m_vector, x, y, z); }

HRESULT APPartNode::SetScalar(double value) { return Store(m_scalar, value); }

HRESULT APPartNode::SetVector(double x, double y, double z) { return StoreAll(m_vector, x, y, z); }

HRESULT APPartNode::RemoveListItemByIndex(int index) { return RemoveOwned(m_frames, index); }

HRESULT APPartNode::RemoveListItem(IAPDRF* frame) { return RemoveOwnedItem(m_frames, frame, IID_IAPDRF); }

HRESULT APPartNode::GetListItem(int index, IAPDRF** frame) { return GetOwned(m_frames, index, frame); }

HRESULT APPartNode::GetNumListItems(int* count) { return CopyOut(m_frames.Count(), count); }

HRESULT APPartNode::AppendListItem(IAPDRF* frame) { return AppendOwned(m_frames, frame, IID_IAPDRF); }

HRESULT APPartNode::RemoveListItem2ByIndex(int index) { return RemoveOwned(m_datums, index); }

HRESULT APPartNode::RemoveListItem2(IAPDatum* datum) { return RemoveOwnedItem(m_datums, datum, IID_IAPDatum); }

HRESULT APPartNode::GetListItem2(int index, IAPDatum** datum) { return GetOwned(m_datums, index, datum); }

HRESULT APPartNode::GetNumListItems2(int* count) { return CopyOut(m_datums.Count(), count); }

HRESULT APPartNode::AppendListItem2(IAPDatum* datum) { return AppendOwned(m_datums, datum, IID_IAPDatum); }

HRESULT APPartNode::GetNodeString(CString& text) { return Store(text, m_nodeString); }

HRESULT APPartNode::SetNodeString(const CString& text) { return Store(m_nodeString, text); }

HRESULT APPartNode::GetDataMoniker(IORVDataMoniker** moniker) { return HandOut(m_dataMoniker, moniker); }

HRESULT APPartNode::SetDataMoniker(IORVDataMoniker* moniker)
{
    Replace(m_dataMoniker, moniker);
    return S_OK;
}

HRESULT APPartNode::SetIntValue1(int value) { return Store(m_intValue1, value); }

HRESULT APPartNode::GetIntValue1(int* value) { return CopyOut(m_intValue1, value); }

HRESULT APPartNode::SetIntValue2(int value) { return Store(m_intValue2, value); }

HRESULT APPartNode::GetIntValue2(int* value) { return CopyOut(m_intValue2, value); }

HRESULT APPartNode::SetFlag1() { return Store(m_flag1, 1); }

HRESULT APPartNode::ClearFlag1() { return Store(m_flag1, 0); }

HRESULT APPartNode::GetFlag1(int* isSet) { return CopyOut(m_flag1 == 1 ? 1 : 0, isSet); }

HRESULT APPartNode::SetFlag2() { return Store(m_flag2, 1); }

HRESULT APPartNode::GetFlag2(int* isSet) { return CopyOut(m_flag2 == 1 ? 1 : 0, isSet); }

HRESULT APPartNode::SetIntPair(int a, int b) { return StoreAll(m_intPair, a, b); }

HRESULT APPartNode::GetIntPair(int* a, int* b) { return CopyAllOut(m_intPair, a, b); }

HRESULT APPartNode::SetIntValue3(int value) { return Store(m_intValue3, value); }

HRESULT APPartNode::GetIntValue3(int* value) { return CopyOut(m_intValue3, value); }

HRESULT APPartNode::SetFloatMatrix(const float m[16])
{
    if (!m) return E_FAIL;
    std::copy(m, m + 16, m_transform);
    return S_OK;
}

HRESULT APPartNode::GetFloatMatrix(float** m)
{
    if (!m || !*m) return E_FAIL;
    std::copy(std::begin(m_transform), std::end(m_transform), *m);
    return S_OK;
}

HRESULT APPartNode::BindDocument(IAPDocEventSink* sink)
{
    if (APElement::BindDocument(sink) < 0) return E_FAIL;
    auto bind = [sink](IAPElement* e) { return e->BindDocument(sink); };
    return ForEachOwned(m_frames, bind) && ForEachOwned(m_datums, bind) ? S_OK : E_FAIL;
}

HRESULT APPartNode::FixupLists()
{
    if (APNode::FixupLists() < 0) return E_FAIL;
    auto fixup = [](IAPElement* e) { return e->FixupLists(); };
    return ForEachOwned(m_frames, fixup) && ForEachOwned(m_datums, fixup) ? S_OK : E_FAIL;
}

HRESULT APPartNode::Serialize(WmObjectStream* stream)
{
    if (APGeometryNode::Serialize(stream) < 0) return E_FAIL;
    WmObjectStream& s = *stream;
    bool ok = s.write(kBlockVersion) && WriteText(s, m_nodeString, 1024) && s.write(m_flag1) && s.write(m_flag2) &&
              s.writeMatrix4f(m_transform) && WriteOwned(s, m_datums) && WriteOwned(s, m_frames);
    int vectorSet = m_vector[0] >= 0.0 ? 1 : 0;
    ok = ok && s.write(vectorSet);
    if (ok && vectorSet) ok = s.write(m_vector[0]) && s.write(m_vector[1]) && s.write(m_vector[2]);
    int scalarSet = m_scalar >= 0.0 ? 1 : 0;
    ok = ok && s.write(scalarSet);
    if (ok && scalarSet) ok = s.write(m_scalar);
    ok = ok && WriteMonikerField(s, m_dataMoniker) && s.write(m_intValue1) && s.write(m_intPair[0]) &&
         s.write(m_intPair[1]) && s.write(m_intValue3);
    return ok ? S_OK : E_FAIL;
}

HRESULT APPartNode::Deserialize(WmObjectStream* stream)
{
    if (APGeometryNode::Deserialize(stream) < 0) return E_FAIL;
    WmObjectStream& s = *stream;
    int version = 0;
    if (!s.read(version) || version < 1) return E_FAIL;
    m_storedVersion = version;

    CString text;
    int flag1 = m_flag1, flag2 = m_flag2;
    float transform[16];
    std::copy(std::begin(m_transform), std::end(m_transform), transform);
    if (!ReadText(s, text, 256)) return E_FAIL;
    if (version >= 2) {
        if (version >= 3 && !s.read(flag1)) return E_FAIL;
        if (version >= 4 && !s.read(flag2)) return E_FAIL;
        if (!s.readMatrix4f(transform)) return E_FAIL;
        if (!ReadOwned(s, m_datums, IID_IAPDatum) || !ReadOwned(s, m_frames, IID_IAPDRF)) return E_FAIL;
    } else {
        // The frames of the first format are not usable: read past them and let them go.
        APArray<IAPDRF*> dropped;
        bool read = ReadOwned(s, dropped, IID_IAPDRF);
        ReleaseOwned(dropped);
        if (!read || !s.readMatrix4f(transform) || !ReadOwned(s, m_datums, IID_IAPDatum)) return E_FAIL;
    }
    m_nodeString = text;
    m_flag1 = flag1;
    m_flag2 = flag2;
    std::copy(std::begin(transform), std::end(transform), m_transform);

    int vectorSet = 0, scalarSet = 0;
    double vector[3] = {m_vector[0], m_vector[1], m_vector[2]};
    double scalar = m_scalar;
    if (!s.read(vectorSet)) return E_FAIL;
    if (vectorSet && (!s.read(vector[0]) || !s.read(vector[1]) || !s.read(vector[2]))) return E_FAIL;
    if (!s.read(scalarSet)) return E_FAIL;
    if (scalarSet && !s.read(scalar)) return E_FAIL;
    std::copy(std::begin(vector), std::end(vector), m_vector);
    m_scalar = scalar;

    if (version < 5) {
        // Older parts knew their file only by the node string.
        SafeRelease(m_dataMoniker);
        if (!m_nodeString.IsEmpty()) {
            IORVDataMoniker* moniker = nullptr;
            if (SUCCEEDED(MkCreateMoniker(m_nodeString.GetString(), &moniker))) m_dataMoniker = moniker;
        }
    } else {
        IORVDataMoniker* moniker = nullptr;
        if (!ReadMonikerField(s, &moniker)) return E_FAIL;
        if (moniker) {
            Replace(m_dataMoniker, moniker);
            moniker->Release();
        }
    }
    int value1 = 0, pair[2] = {-1, -1}, value3 = 0;
    if (version >= 6 && !s.read(value1)) return E_FAIL;
    if (version >= 7 && (!s.read(pair[0]) || !s.read(pair[1]))) return E_FAIL;
    if (version >= 8 && !s.read(value3)) return E_FAIL;
    m_intValue1 = value1;
    m_intPair[0] = pair[0];
    m_intPair[1] = pair[1];
    m_intValue3 = value3;
    return S_OK;
}

namespace {

// A new element of class `clsid` made by the document, with a reference; null on failure.
IAPElement* CreateThroughDocument(IAPDocument* doc, const CLSID& clsid)
{
    if (!doc) return nullptr;
    GUID id = clsid, iid = IID_IAPElement;
    IAPElement* e = nullptr;
    if (FAILED(doc->CreateProcessElement(&id, &iid, reinterpret_cast<ULONG_PTR*>(&e)))) return nullptr;
    return e;
}

using DatumGetter = HRESULT (STDMETHODCALLTYPE IAPDRF::*)(int, IAPDatum**, APModifierType*);
using DatumCounter = HRESULT (STDMETHODCALLTYPE IAPDRF::*)(int*);
using DatumAdder = HRESULT (STDMETHODCALLTYPE IAPDRF::*)(IAPDatum*, APModifierType);

// Carries the datum references of one precedence from `from` to `to`, mapped from the
// source part's datums to the copy's; datums of other parts are not carried.
void CopyFrameDatums(IAPDRF* from, IAPDRF* to, DatumCounter count, DatumGetter get, DatumAdder add,
                     const APArray<IAPDatum*>& sourceDatums, const std::vector<IAPDatum*>& copies)
{
    int n = 0;
    if (FAILED((from->*count)(&n))) return;
    for (int j = 0; j < n; ++j) {
        IAPDatum* datum = nullptr;
        APModifierType modifier{};
        if (FAILED((from->*get)(j, &datum, &modifier)) || !datum) continue;
        int k = -1;
        sourceDatums.Find(datum, &k);
        datum->Release();
        if (k >= 0 && copies[static_cast<std::size_t>(k)]) (to->*add)(copies[static_cast<std::size_t>(k)], modifier);
    }
}

} // namespace

APPartNode& APPartNode::operator=(const APPartNode& source)
{
    if (this == &source) return *this;
    APNode::operator=(source);
    m_nodeString = source.m_nodeString;
    Replace(m_dataMoniker, source.m_dataMoniker);
    m_flag1 = source.m_flag1;
    m_flag2 = source.m_flag2;

    // New datums and frames come from the document; an entry that cannot be made is left
    // out rather than kept as an empty slot.
    IAPDocument* doc = m_docSink ? Query<IAPDocument>(m_docSink, IID_IAPDocument) : nullptr;
    ReleaseOwned(m_datums);
    std::vector<IAPDatum*> datumCopies(static_cast<std::size_t>(source.m_datums.Count()), nullptr);
    for (int i = 0; i < source.m_datums.Count(); ++i) {
        IAPElement* from = Query<IAPElement>(source.m_datums[i], IID_IAPElement);
        IAPElement* copy = from ? CreateThroughDocument(doc, CLSID_APDatum) : nullptr;
        IAPDatum* datum = copy && SUCCEEDED(from->Clone(copy)) ? Query<IAPDatum>(copy, IID_IAPDatum) : nullptr;
        if (datum) {
            datumCopies[static_cast<std::size_t>(i)] = datum;
            m_datums.Append(datum); // the query's reference becomes the list's
        }
        SafeRelease(copy);
        SafeRelease(from);
    }
    ReleaseOwned(m_frames);
    for (int i = 0; i < source.m_frames.Count(); ++i) {
        IAPElement* copy = CreateThroughDocument(doc, CLSID_APDRF);
        IAPDRF* to = Query<IAPDRF>(copy, IID_IAPDRF);
        IAPDRF* from = source.m_frames[i];
        // The frame is made here, not cloned, so it is recorded here: tolerances copied with
        // the part then ask the copy map for it. Outside a node copy there is no map to tell.
        if (to && from) {
            IAPElement* original = Query<IAPElement>(from, IID_IAPElement);
            if (original) doc->RecordElement(original, copy);
            SafeRelease(original);
        }
        SafeRelease(copy);
        if (!to) continue;
        m_frames.Append(to);
        if (from) {
            CopyFrameDatums(from, to, &IAPDRF::GetNumPrimaryDatums, &IAPDRF::GetPrimaryDatum, &IAPDRF::AddPrimaryDatum,
                            source.m_datums, datumCopies);
            CopyFrameDatums(from, to, &IAPDRF::GetNumSecondaryDatums, &IAPDRF::GetSecondaryDatum,
                            &IAPDRF::AddSecondaryDatum, source.m_datums, datumCopies);
            CopyFrameDatums(from, to, &IAPDRF::GetNumTertiaryDatums, &IAPDRF::GetTertiaryDatum,
                            &IAPDRF::AddTertiaryDatum, source.m_datums, datumCopies);
        }
    }
    SafeRelease(doc);

    std::copy(std::begin(source.m_transform), std::end(source.m_transform), m_transform);
    std::copy(std::begin(source.m_vector), std::end(source.m_vector), m_vector);
    m_scalar = source.m_scalar;
    m_intPair[0] = source.m_intPair[0];
    m_intPair[1] = source.m_intPair[1];
    m_intValue3 = source.m_intValue3;
    return *this;
}

// ---------------------------------------------------------------------------------------
// Fixture node

HRESULT APFixtureNode::GetFixtureValue(int* value) { return CopyOut(m_fixtureValue, value); }

HRESULT APFixtureNode::SetFixtureValue(int value) { return Store(m_fixtureValue, value); }

HRESULT APFixtureNode::Serialize(WmObjectStream* stream)
{
    if (APPartNode::Serialize(stream) < 0) return E_FAIL;
    return stream->write(kBlockVersion) && stream->write(m_fixtureValue) ? S_OK : E_FAIL;
}

HRESULT APFixtureNode::Deserialize(WmObjectStream* stream)
{
    if (APPartNode::Deserialize(stream) < 0) return E_FAIL;
    int version = 0, value = 0;
    if (!stream->read(version) || !stream->read(value)) return E_FAIL;
    m_fixtureValue = value;
    return S_OK;
}

APFixtureNode& APFixtureNode::operator=(const APFixtureNode& source)
{
    if (this == &source) return *this;
    APPartNode::operator=(source);
    m_fixtureValue = source.m_fixtureValue;
    return *this;
}

// ---------------------------------------------------------------------------------------
// Tolerance-library node

HRESULT APTolLibNode::Serialize(WmObjectStream* stream)
{
    return APGeometryNode::Serialize(stream) < 0 ? E_FAIL : WriteVersionWord(stream, kBlockVersion);
}

HRESULT APTolLibNode::Deserialize(WmObjectStream* stream)
{
    return APGeometryNode::Deserialize(stream) < 0 ? E_FAIL : SkipVersionWord(stream);
}

// ---------------------------------------------------------------------------------------
// Copies


HRESULT APAssemblyNode::Clone(IAPElement* target) { return CloneByAssignment(*this, target, RUNTIME_CLASS(APAssemblyNode)); }

HRESULT APPartNode::Clone(IAPElement* target) { return CloneByAssignment(*this, target, RUNTIME_CLASS(APPartNode)); }

HRESULT APFixtureNode::Clone(IAPElement* target) { return CloneByAssignment(*this, target, RUNTIME_CLASS(APFixtureNode)); }

HRESULT APTolLibNode::Clone(IAPElement* target) { return CloneByAssignment<APNode>(*this, target, RUNTIME_CLASS(APTolLibNode)); }
