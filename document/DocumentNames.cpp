// Node lookup by name, compound names, and the paths of the document and its tolerance library.
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "document/CAPDocument.h"
#include "document/ComRef.h"
#include "document/Guarded.h"
#include "document/NodeNames.h"
#include "document/UpdateLists.h"
#include "platform/moniker/MkMoniker.h"

namespace {

const char* AsText(const unsigned char* text) { return reinterpret_cast<const char*>(text); }

// Copies `text` with its NUL into a caller's buffer whose size the interface does not give.
void CopyOut(const std::string& text, unsigned char* out) { std::memcpy(out, text.c_str(), text.size() + 1); }

// Copies `text` with its NUL into a caller's buffer of `length` bytes; E_FAIL, the buffer
// untouched, when it does not fit.
HRESULT CopyOut(const std::string& text, unsigned char* out, int length)
{
    if (!out || length <= 0 || text.size() >= static_cast<size_t>(length)) return E_FAIL;
    CopyOut(text, out);
    return S_OK;
}

bool NameIs(IUnknown* node, const std::string& wanted, bool trimTrailingSpace)
{
    std::string name;
    if (FAILED(node_names::ElementName(node, name))) return false;
    if (trimTrailingSpace) name.erase(name.find_last_not_of(" \t\r\n\v\f") + 1);
    return name == wanted;
}

} // namespace

HRESULT CAPDocument::TopLevelNodes(std::vector<ComRef<IAPNode>>& nodes)
{
    nodes.clear();
    if (FAILED(EnsureRoot())) return E_FAIL;
    return ChildrenOf(m_root, &nodes);
}

// Without a start node both searches look at the top-level nodes only, names as stored.
HRESULT CAPDocument::FindTopLevelByName(const std::string& name, IAPNode** node)
{
    std::vector<ComRef<IAPNode>> roots;
    if (FAILED(TopLevelNodes(roots))) return E_FAIL;
    for (auto& root : roots) {
        if (NameIs(root.Get(), name, false)) {
            *node = root.Detach();
            return S_OK;
        }
    }
    return E_FAIL;
}

HRESULT CAPDocument::FindNodeByName(const std::string& name, IAPNode* start, IAPNode** node)
{
    *node = nullptr;
    if (!start) return FindTopLevelByName(name, node);
    int count = 0;
    if (FAILED(start->GetNumChildren(&count))) return E_FAIL;
    for (int i = 0; i < count; ++i) {
        ComRef<IAPNode> child;
        if (FAILED(start->GetChild(i, child.Out())) || !child) return E_FAIL;
        // Names typed with trailing blanks still match the name a user means.
        if (NameIs(child.Get(), name, true)) {
            *node = child.Detach();
            return S_OK;
        }
    }
    return E_FAIL;
}

HRESULT CAPDocument::FindNodeByName2(const std::string& name, IAPNode* start, IAPNode** node)
{
    *node = nullptr;
    if (!start) return FindTopLevelByName(name, node);
    // Depth first, pre-order, without the start node; a node under two parents is looked at
    // once, and a loop in the links cannot trap the search.
    std::set<IUnknown*> seen{Identity(start)};
    std::vector<ComRef<IAPNode>> stack;
    auto pushChildren = [&](IAPNode* parent) -> HRESULT {
        int count = 0;
        if (FAILED(parent->GetNumChildren(&count))) return E_FAIL;
        for (int i = count - 1; i >= 0; --i) {
            ComRef<IAPNode> child;
            if (FAILED(parent->GetChild(i, child.Out())) || !child) return E_FAIL;
            stack.push_back(std::move(child));
        }
        return S_OK;
    };
    if (FAILED(pushChildren(start))) return E_FAIL;
    while (!stack.empty()) {
        ComRef<IAPNode> current(stack.back().Detach());
        stack.pop_back();
        if (!seen.insert(Identity(current.Get())).second) continue;
        if (NameIs(current.Get(), name, false)) {
            *node = current.Detach();
            return S_OK;
        }
        if (FAILED(pushChildren(current.Get()))) return E_FAIL;
    }
    return E_FAIL;
}

HRESULT STDMETHODCALLTYPE CAPDocument::LookupNodeByName(unsigned char* name, IAPNode* start, IAPNode** node)
{
    return Guarded([&]() -> HRESULT {
        if (!node) return E_FAIL;
        *node = nullptr;
        if (!name) return E_FAIL;
        return FindNodeByName(AsText(name), start, node);
    });
}

HRESULT STDMETHODCALLTYPE CAPDocument::LookupNodeByName2(unsigned char* name, IAPNode* start, IAPNode** node)
{
    return Guarded([&]() -> HRESULT {
        if (!node) return E_FAIL;
        *node = nullptr;
        if (!name) return E_FAIL;
        return FindNodeByName2(AsText(name), start, node);
    });
}

HRESULT STDMETHODCALLTYPE CAPDocument::LookupNameForNode(IAPNode* node, unsigned char* name)
{
    return Guarded([&]() -> HRESULT {
        if (!node || !name) return E_FAIL;
        ComRef<IAPElement> element = QueryRef<IAPElement>(node, IID_IAPElement);
        if (!element) return E_FAIL;
        return FAILED(element->GetName(name)) ? E_FAIL : S_OK;
    });
}

HRESULT CAPDocument::CompoundNameInto(IAPNode* node, const char* separator, unsigned char* out)
{
    return Guarded([&]() -> HRESULT {
        if (!node || !out) return E_FAIL;
        std::string name;
        if (FAILED(node_names::CompoundName(this, node, separator, name))) return E_FAIL;
        CopyOut(name, out);
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CAPDocument::GetCompoundNameForNode(IAPNode* node, unsigned char* name)
{
    return CompoundNameInto(node, ":", name);
}

HRESULT STDMETHODCALLTYPE CAPDocument::GetCompoundNameForNode3(IAPNode* node, unsigned char* name)
{
    return CompoundNameInto(node, "\\", name);
}

HRESULT STDMETHODCALLTYPE CAPDocument::GetCompoundNameForNode2(IAPNode* node, unsigned char** name)
{
    return Guarded([&]() -> HRESULT {
        if (!name) return E_FAIL;
        *name = nullptr;
        if (!node) return E_FAIL;
        std::string text;
        if (FAILED(node_names::CompoundName(this, node, ":", text))) return E_FAIL;
        auto* buffer = static_cast<unsigned char*>(CoTaskMemAlloc(text.size() + 1));
        if (!buffer) return E_OUTOFMEMORY;
        CopyOut(text, buffer);
        *name = buffer;
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CAPDocument::GetNodeWithCompoundName(unsigned char* name, IAPNode** node)
{
    return Guarded([&]() -> HRESULT {
        if (!node) return E_FAIL;
        *node = nullptr;
        if (!name) return E_FAIL;
        const std::string text = AsText(name);
        ComRef<IAPNode> current;
        size_t from = 0;
        // An empty segment, or the end of the text, ends the walk.
        while (from < text.size()) {
            const size_t colon = text.find(':', from);
            const std::string segment = text.substr(from, colon == std::string::npos ? std::string::npos : colon - from);
            if (segment.empty()) break;
            ComRef<IAPNode> found;
            if (FAILED(FindNodeByName(segment, current.Get(), found.Out())) || !found) return E_FAIL;
            current = std::move(found);
            if (colon == std::string::npos) break;
            from = colon + 1;
        }
        if (!current) return E_FAIL;
        *node = current.Detach();
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CAPDocument::GetPdoFilePath(unsigned char* path)
{
    return Guarded([&]() -> HRESULT {
        if (!path) return E_FAIL;
        CopyOut(node_names::DirectoryPart(m_documentPath), path);
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CAPDocument::GetPdoFileName(unsigned char* name)
{
    return Guarded([&]() -> HRESULT {
        if (!name) return E_FAIL;
        CopyOut(node_names::FileNamePart(m_documentPath), name);
        return S_OK;
    });
}

// The path of the tolerance library's data moniker, setting 13 of the first top-level node.
HRESULT CAPDocument::TolLibPath(std::string& path)
{
    std::vector<ComRef<IAPNode>> roots;
    if (FAILED(TopLevelNodes(roots)) || roots.empty()) return E_FAIL;
    ComRef<IAPElement6> holder = QueryRef<IAPElement6>(roots[0].Get(), IID_IAPElement6);
    if (!holder) return E_FAIL;
    ComRef<IORVDataMoniker> moniker;
    if (FAILED(holder->GetObjectSetting13(moniker.Out())) || !moniker) return E_FAIL;
    path = MkGetPath(moniker.Get()).GetString();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAPDocument::GetTolLibFileWithPath(unsigned char* path, int length)
{
    return Guarded([&]() -> HRESULT {
        std::string full;
        if (!path || FAILED(TolLibPath(full))) return E_FAIL;
        return CopyOut(full, path, length);
    });
}

HRESULT STDMETHODCALLTYPE CAPDocument::GetTolLibPathWithoutFile(unsigned char* path, int length)
{
    return Guarded([&]() -> HRESULT {
        std::string full;
        if (!path || FAILED(TolLibPath(full))) return E_FAIL;
        return CopyOut(node_names::DirectoryPart(full), path, length);
    });
}
