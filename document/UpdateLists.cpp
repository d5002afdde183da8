#include "document/UpdateLists.h"

#include <cstring>
#include <unordered_set>

#include "model/APComQuery.h"
#include "platform/orv/ORVComCreate.h"

namespace {

// Longest name taken from an element; anything longer is a broken element, not a name.
constexpr int kMaxNameSize = 1 << 24;

// Calls `take` on each ancestor along the first parents, nearest first, while it answers
// true. A node without parents of its own is a document's hidden root and is not taken.
template <class F>
void ClimbFirstParents(IAPNode* node, F&& take)
{
    std::unordered_set<IUnknown*> seen{Identity(node)};
    ComRef<IAPNode> at = ComRef<IAPNode>::Hold(node);
    while (at) {
        ComRef<IAPNode> parent;
        if (FAILED(at->GetParent(0, parent.Out())) || !parent) return;
        int parents = 0;
        if (FAILED(parent->GetNumParents(&parents)) || parents <= 0) return;
        if (!seen.insert(Identity(parent.Get())).second) return; // a loop in the links
        if (!take(parent.Get())) return;
        at = std::move(parent);
    }
}

std::string JoinOutermostFirst(const std::vector<std::string>& nearestFirst, const char* separator)
{
    std::string out;
    for (auto it = nearestFirst.rbegin(); it != nearestFirst.rend(); ++it) {
        if (it != nearestFirst.rbegin()) out += separator;
        out += *it;
    }
    return out;
}

std::string NameOrEmpty(IUnknown* element)
{
    std::string name;
    ReadElementName(element, &name);
    return name;
}

} // namespace

bool ReadElementName(IUnknown* element, std::string* name)
{
    name->clear();
    auto e = QueryRef<IAPElement>(element, IID_IAPElement);
    int size = 0;
    if (!e || FAILED(e->GetNameSize(&size)) || size < 0 || size >= kMaxNameSize) return false;
    std::vector<unsigned char> buffer(static_cast<size_t>(size) + 1, 0);
    if (FAILED(e->GetName(buffer.data()))) return false;
    buffer.back() = 0;
    name->assign(reinterpret_cast<const char*>(buffer.data()));
    return true;
}

std::string PartPathOf(IAPNode* node)
{
    std::vector<std::string> names;
    if (node) {
        ClimbFirstParents(node, [&](IAPNode* ancestor) {
            names.push_back(NameOrEmpty(ancestor));
            return !Answers(ancestor, IID_IAPPartNode);
        });
    }
    return JoinOutermostFirst(names, ":");
}

std::string FeaturePathOf(IAPNode* node)
{
    std::vector<std::string> names;
    if (node) {
        ClimbFirstParents(node, [&](IAPNode* ancestor) {
            if (!Answers(ancestor, IID_IAPFeature)) return false;
            names.push_back(NameOrEmpty(ancestor));
            return true;
        });
    }
    return JoinOutermostFirst(names, "");
}

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

void APNameSearch::Build(const std::vector<IAPNode*>& tops)
{
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
            if (!c.element || !ReadElementName(c.element.Get(), &name)) continue;
            c.isFeature = Answers(node.Get(), IID_IAPFeature);
            c.node = std::move(node);
            m_byName[name].push_back(m_candidates.size());
            m_candidates.push_back(std::move(c));
        }
    }
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
            if (!c.partPath) c.partPath = PartPathOf(c.node.Get());
            if (*c.partPath == path) return c.element.Get();
            continue;
        case CustomElement:
            if (!c.isFeature) return c.element.Get();
            if (!c.featurePath) c.featurePath = FeaturePathOf(c.node.Get());
            if (*c.featurePath == path) return c.element.Get();
            continue;
        }
    }
    return nullptr;
}
