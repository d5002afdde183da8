#include "document/UpdateLists.h"

#include <unordered_set>

#include "document/NodeNames.h"
#include "model/APComQuery.h"
#include "platform/orv/ORVComCreate.h"

HRESULT NewPointerList(ComRef<IAPPointerList>* list)
{
    HRESULT hr = ORVCoCreateInstance(CLSID_APPointerList, nullptr, CLSCTX_INPROC_SERVER, IID_IAPPointerList,
                                     list->OutVoid());
    if (FAILED(hr) || !*list) return E_FAIL;
    return S_OK;
}

HRESULT FirstRootOf(IAPDocument* doc, ComRef<IAPNode>* root)
{
    root->Reset();
    ComRef<IAPPointerList> roots;
    if (FAILED(NewPointerList(&roots)) || FAILED(doc->GetRoots(roots.Get()))) return E_FAIL;
    GUID iid = IID_IAPNode;
    if (FAILED(roots->GetElement(0, &iid, reinterpret_cast<ULONG_PTR*>(root->Out()))) || !*root) {
        root->Reset();
        return E_FAIL;
    }
    return S_OK;
}

HRESULT ChildrenOf(IAPNode* parent, std::vector<ComRef<IAPNode>>* children)
{
    children->clear();
    int count = 0;
    if (FAILED(parent->GetNumChildren(&count))) return E_FAIL;
    for (int i = 0; i < count; ++i) {
        ComRef<IAPNode> child;
        if (FAILED(parent->GetChild(i, child.Out())) || !child) return E_FAIL;
        children->push_back(std::move(child));
    }
    return S_OK;
}

bool PairHolds(IAPFeaturePair* pair, IUnknown* feature, bool object)
{
    int count = 0;
    if (FAILED(object ? pair->GetNumObjectFeatures(&count) : pair->GetNumTargetFeatures(&count))) return false;
    IUnknown* id = Identity(feature);
    for (int i = 0; i < count; ++i) {
        ComRef<IAPFeature> held;
        HRESULT hr = object ? pair->GetObjectFeature(i, held.Out()) : pair->GetTargetFeature(i, held.Out());
        if (SUCCEEDED(hr) && held && Identity(held.Get()) == id) return true;
    }
    return false;
}

// ---------------------------------------------------------------------------------------
// The name search

void APNameSearch::Build(IAPDocument* doc, const std::vector<IAPNode*>& tops)
{
    m_doc = doc;
    m_candidates.clear();
    m_byName.clear();
    // Post-order without recursion: a deep tree from a file must not exhaust the stack.
    struct Frame {
        ComRef<IAPNode> node;
        int count;
        int next;
    };
    std::vector<Frame> stack;
    std::unordered_set<IUnknown*> seen;
    auto enter = [&](IAPNode* node) {
        if (!seen.insert(Identity(node)).second) return;
        int count = 0;
        if (FAILED(node->GetNumChildren(&count)) || count < 0) count = 0;
        stack.push_back(Frame{ComRef<IAPNode>::Hold(node), count, 0});
    };
    for (IAPNode* top : tops) {
        if (!top) continue;
        enter(top);
        while (!stack.empty()) {
            if (stack.back().next < stack.back().count) {
                const int index = stack.back().next++;
                ComRef<IAPNode> child;
                if (SUCCEEDED(stack.back().node->GetChild(index, child.Out())) && child) enter(child.Get());
                continue;
            }
            ComRef<IAPNode> node = std::move(stack.back().node);
            stack.pop_back();
            Candidate c;
            c.element = QueryRef<IAPElement>(node.Get(), IID_IAPElement);
            std::string name;
            if (!c.element || FAILED(node_names::ElementName(c.element.Get(), name))) continue;
            c.isFeature = Answers(node.Get(), IID_IAPFeature);
            c.node = std::move(node);
            m_byName[name].push_back(m_candidates.size());
            m_candidates.push_back(std::move(c));
        }
    }
}

// A path that cannot be read matches nothing; it is read again the next time.
bool APNameSearch::ReadPath(HRESULT (*read)(IAPDocument*, IUnknown*, std::string&), const Candidate& c,
                            std::optional<std::string>* path) const
{
    std::string text;
    if (FAILED(read(m_doc, c.node.Get(), text))) return false;
    *path = std::move(text);
    return true;
}

IAPElement* APNameSearch::Find(const std::string& name, const std::string& path, Match how)
{
    auto named = m_byName.find(name);
    if (named == m_byName.end()) return nullptr;
    for (size_t index : named->second) {
        Candidate& c = m_candidates[index];
        switch (how) {
        case AnyByName:
            return c.element.Get();
        case FeatureByPartPath:
            if (!c.isFeature) continue;
            if (!c.partPath && !ReadPath(node_names::PartPath, c, &c.partPath)) continue;
            if (*c.partPath == path) return c.element.Get();
            continue;
        case CustomElement:
            if (!c.isFeature) return c.element.Get();
            if (!c.featurePath && !ReadPath(node_names::FeaturePath, c, &c.featurePath)) continue;
            if (*c.featurePath == path) return c.element.Get();
            continue;
        }
    }
    return nullptr;
}
