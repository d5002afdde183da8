#include "document/NodeNames.h"

#include <cstring>
#include <set>
#include <vector>

#include "document/ComRef.h"

namespace node_names {

namespace {

// Calls `take` on each ancestor of `node` upward, the parent at index 0 each time, as `doc`
// reports it. `take` answers S_OK to go on, S_FALSE to stop after this ancestor, or a
// failure. The walk ends where `doc` reports no parent; a parent seen before is a loop.
template <class F>
HRESULT WalkUp(IAPDocument* doc, IAPNode* node, F&& take)
{
    if (!doc || !node) return E_FAIL;
    std::set<IUnknown*> seen{Identity(node)};
    ComRef<IAPNode> current = ComRef<IAPNode>::Hold(node);
    for (;;) {
        ComRef<IAPNode> parent;
        if (FAILED(doc->GetParent(current.Get(), 0, parent.Out())) || !parent) return S_OK;
        if (!seen.insert(Identity(parent.Get())).second) return E_FAIL;
        const HRESULT hr = take(parent.Get());
        if (hr != S_OK) return FAILED(hr) ? hr : S_OK;
        current = std::move(parent);
    }
}

// `names` were gathered innermost first.
std::string JoinOutermostFirst(const std::vector<std::string>& names, const char* separator)
{
    std::string joined;
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        if (it != names.rbegin()) joined += separator;
        joined += *it;
    }
    return joined;
}

size_t AfterLastSeparator(const std::string& path)
{
    const size_t at = path.find_last_of("\\/");
    return at == std::string::npos ? 0 : at + 1;
}

} // namespace

HRESULT ElementName(IUnknown* p, std::string& name)
{
    ComRef<IAPElement> element = QueryRef<IAPElement>(p, IID_IAPElement);
    if (!element) return E_FAIL;
    int size = 0;
    if (FAILED(element->GetNameSize(&size)) || size < 0) return E_FAIL;
    std::vector<char> buffer(static_cast<size_t>(size) + 1, '\0');
    if (FAILED(element->GetName(reinterpret_cast<unsigned char*>(buffer.data())))) return E_FAIL;
    name.assign(buffer.data(), strnlen(buffer.data(), buffer.size()));
    return S_OK;
}

HRESULT CompoundName(IAPDocument* doc, IAPNode* node, const char* separator, std::string& name)
{
    std::vector<std::string> names(1);
    if (!separator || FAILED(ElementName(node, names[0]))) return E_FAIL;
    HRESULT hr = WalkUp(doc, node, [&](IAPNode* ancestor) -> HRESULT {
        names.emplace_back();
        return ElementName(ancestor, names.back());
    });
    if (FAILED(hr)) return E_FAIL;
    name = JoinOutermostFirst(names, separator);
    return S_OK;
}

HRESULT PartPath(IAPDocument* doc, IUnknown* p, std::string& path)
{
    path.clear();
    ComRef<IAPNode> node = QueryRef<IAPNode>(p, IID_IAPNode);
    if (!node) return S_OK;
    std::vector<std::string> names;
    HRESULT hr = WalkUp(doc, node.Get(), [&](IAPNode* ancestor) -> HRESULT {
        names.emplace_back();
        if (FAILED(ElementName(ancestor, names.back()))) return E_FAIL;
        return Answers(ancestor, IID_IAPPartNode) ? S_FALSE : S_OK;
    });
    if (FAILED(hr)) return E_FAIL;
    path = JoinOutermostFirst(names, ":");
    return S_OK;
}

HRESULT FeaturePath(IAPDocument* doc, IUnknown* p, std::string& path)
{
    path.clear();
    ComRef<IAPNode> node = QueryRef<IAPNode>(p, IID_IAPNode);
    if (!node) return S_OK;
    std::vector<std::string> names;
    HRESULT hr = WalkUp(doc, node.Get(), [&](IAPNode* ancestor) -> HRESULT {
        if (!Answers(ancestor, IID_IAPFeature)) return S_FALSE;
        names.emplace_back();
        return ElementName(ancestor, names.back());
    });
    if (FAILED(hr)) return E_FAIL;
    path = JoinOutermostFirst(names, "");
    return S_OK;
}

std::string DirectoryPart(const std::string& path) { return path.substr(0, AfterLastSeparator(path)); }

std::string FileNamePart(const std::string& path) { return path.substr(AfterLastSeparator(path)); }

} // namespace node_names
