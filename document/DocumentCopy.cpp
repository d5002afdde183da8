// Node copying through the copy map, the default features kept as top-level copies, and the
// tolerance library's default features kept as element-pointer properties.
#include <memory>
#include <string>
#include <vector>

#include "document/APCopyMap.h"
#include "document/CAPDocument.h"
#include "document/ComRef.h"
#include "document/Guarded.h"
#include "platform/orv/ORVComCreate.h"

// ---------------------------------------------------------------------------------------
// Copying

HRESULT STDMETHODCALLTYPE CAPDocument::CopyNode(IAPNode* source, IAPNode** target, long copyChildren)
{
    return Guarded([&]() -> HRESULT {
        if (!target) return E_FAIL;
        *target = nullptr;
        if (!source) return E_FAIL;
        if (m_copyDepth == 0) m_copyMap = new APCopyMap;
        ++m_copyDepth;
        ComRef<IAPNode> copy;
        HRESULT hr = E_FAIL;
        try {
            hr = CopyTree(source, copy, copyChildren);
        } catch (...) {
            hr = E_FAIL;
        }
        if (--m_copyDepth == 0) EndCopyMap();
        if (FAILED(hr)) {
            // Half a copy is no copy: it leaves the process.
            if (copy) DeleteNode(copy.Get());
            return E_FAIL;
        }
        *target = copy.Detach();
        return S_OK;
    });
}

HRESULT CAPDocument::CopyTree(IAPNode* source, ComRef<IAPNode>& copy, long copyChildren)
{
    ComRef<IAPElement> original = QueryRef<IAPElement>(source, IID_IAPElement);
    GUID clsid{}, iid = IID_IAPNode;
    if (!original || FAILED(original->GetClassID(&clsid))) return E_FAIL;
    if (FAILED(CreateProcessElement(&clsid, &iid, reinterpret_cast<ULONG_PTR*>(copy.Out()))) || !copy) return E_FAIL;
    // Made by this document, the copy is bound to it before Clone and stays so through it,
    // even when the source belongs to another document.
    ComRef<IAPElement> made = QueryRef<IAPElement>(copy.Get(), IID_IAPElement);
    if (!made || FAILED(original->Clone(made.Get()))) return E_FAIL;
    if (!copyChildren) return S_OK;
    int count = 0;
    if (FAILED(source->GetNumChildren(&count))) return E_FAIL;
    for (int i = 0; i < count; ++i) {
        ComRef<IAPNode> child, childCopy;
        if (FAILED(source->GetChild(i, child.Out())) || !child) return E_FAIL;
        if (FAILED(CopyNode(child.Get(), childCopy.Out(), copyChildren)) || !childCopy) return E_FAIL;
        if (FAILED(AddChild(copy.Get(), childCopy.Get()))) {
            DeleteNode(childCopy.Get());
            return E_FAIL;
        }
    }
    return S_OK;
}

void CAPDocument::EndCopyMap()
{
    std::unique_ptr<APCopyMap> map(m_copyMap);
    m_copyMap = nullptr;
    if (map) map->End();
}

HRESULT STDMETHODCALLTYPE CAPDocument::RecordElement(IAPElement* oldElement, IAPElement* newElement)
{
    return Guarded([&]() -> HRESULT {
        if (!m_copyMap) return E_FAIL;
        return m_copyMap->RecordElement(oldElement, newElement);
    });
}

HRESULT STDMETHODCALLTYPE CAPDocument::GetPossibleReferenceElement(IAPElement* dependent, GUID* refIid,
                                                                   IAPElement* oldRef, ULONG_PTR* newRef)
{
    return Guarded([&]() -> HRESULT {
        if (!m_copyMap || !refIid) return E_FAIL;
        return m_copyMap->GetPossibleReferenceElement(dependent, *refIid, oldRef, reinterpret_cast<void**>(newRef));
    });
}

// ---------------------------------------------------------------------------------------
// Default features: top-level copies

// Copies `feature` to a new top-level node, then deletes every other top-level node of its
// class. The copy comes first: deleting first would unbind a source that is itself one of
// the old defaults, and its copy would lose its tolerances.
HRESULT CAPDocument::MakeDefaultCopy(IAPFeature* feature, ComRef<IAPNode>& copy)
{
    ComRef<IAPElement> element = QueryRef<IAPElement>(feature, IID_IAPElement);
    ComRef<IAPNode> node = QueryRef<IAPNode>(feature, IID_IAPNode);
    GUID clsid{};
    if (!element || !node || FAILED(element->GetClassID(&clsid))) return E_FAIL;
    if (FAILED(CopyNode(node.Get(), copy.Out(), 0)) || !copy) return E_FAIL;
    std::vector<ComRef<IAPNode>> roots;
    if (FAILED(TopLevelNodes(roots))) return E_FAIL;
    for (auto& root : roots) {
        if (SameObject(root.Get(), copy.Get())) continue;
        ComRef<IAPElement> other = QueryRef<IAPElement>(root.Get(), IID_IAPElement);
        GUID otherClass{};
        if (!other || FAILED(other->GetClassID(&otherClass))) return E_FAIL;
        if (IsEqualGUID(otherClass, clsid) && FAILED(DeleteNode(root.Get()))) return E_FAIL;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAPDocument::SetFeatureAsDefault(IAPFeature* feature)
{
    return Guarded([&]() -> HRESULT {
        if (!feature) return E_FAIL;
        ComRef<IAPNode> copy;
        if (FAILED(MakeDefaultCopy(feature, copy))) return E_FAIL;
        ComRef<IAPFeature6> marked = QueryRef<IAPFeature6>(copy.Get(), IID_IAPFeature6);
        return marked && SUCCEEDED(marked->SetIsDefault(1)) ? S_OK : E_FAIL;
    });
}

HRESULT STDMETHODCALLTYPE CAPDocument::SetTolLibFeatureAsDefault(IAPFeature* feature)
{
    return Guarded([&]() -> HRESULT {
        if (!feature) return E_FAIL;
        ComRef<IAPNode> copy;
        return FAILED(MakeDefaultCopy(feature, copy)) ? E_FAIL : S_OK;
    });
}

// ---------------------------------------------------------------------------------------
// Tolerance-library defaults: element-pointer properties on the first top-level node

namespace {

struct DefaultKey {
    const IID* iid;
    const char* key;
};

// The order in which a feature's interfaces choose its key: the last one it answers counts.
const DefaultKey kKeyChoice[] = {
    {&IID_IAPPlaneFeature, "TolLibDefaultPlane"}, {&IID_IAPHoleFeature, "TolLibDefaultHole"},
    {&IID_IAPPinFeature, "TolLibDefaultPin"},     {&IID_IAPSlotFeature, "TolLibDefaultSlot"},
    {&IID_IAPTabFeature, "TolLibDefaultTab"},     {&IID_IAPPointFeature, "TolLibDefaultPoint"},
    {&IID_IAPSurfaceFeature, "TolLibDefaultGenSurf"}, {&IID_IAPPatternFeature, "TolLibDefaultPattern"},
};

// The order in which the defaults are listed.
const char* const kListOrder[] = {"TolLibDefaultPlane", "TolLibDefaultPin",   "TolLibDefaultHole",
                                  "TolLibDefaultTab",   "TolLibDefaultSlot",  "TolLibDefaultPoint",
                                  "TolLibDefaultPattern", "TolLibDefaultGenSurf"};

ComRef<IAPPropertyKey> NewKey(const char* text)
{
    ComRef<IAPPropertyKey> key;
    if (FAILED(ORVCoCreateInstance(CLSID_APPropertyKey, nullptr, CLSCTX_INPROC_SERVER, IID_IAPPropertyKey,
                                   key.OutVoid())) ||
        !key || FAILED(key->SetKey(reinterpret_cast<unsigned char*>(const_cast<char*>(text)))))
        key.Reset();
    return key;
}

// The element stored under `key` on `holder`, without a reference; null when there is none.
IAPElement* StoredDefault(IAPElement* holder, IAPPropertyKey* key)
{
    ComRef<IAPProperty> property;
    if (FAILED(holder->GetProperty(key, property.Out())) || !property) return nullptr;
    ComRef<IAPElemPtrProperty> pointer = QueryRef<IAPElemPtrProperty>(property.Get(), IID_IAPElemPtrProperty);
    IAPElement* value = nullptr;
    if (!pointer || FAILED(pointer->GetValue(&value))) return nullptr;
    return value;
}

} // namespace

// Watches one default feature as its dependent: when the feature is destroyed or deleted
// from the process, its default drops out, so no dangling pointer is ever listed.
class TolLibDefaultWatch : public IAPElementSink {
public:
    TolLibDefaultWatch(CAPDocument* doc, IAPElement* feature, const char* key) : m_doc(doc), m_feature(feature), m_key(key)
    {
    }
    virtual ~TolLibDefaultWatch() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IAPElementSink)) return E_NOINTERFACE;
        *out = static_cast<IAPElementSink*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --m_refs;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE Notify(unsigned long command, IAPElement*) override
    {
        if (command == 3 && m_doc) m_doc->DropTolLibDefault(this);
        return S_OK;
    }

    CAPDocument* m_doc;     // cleared when the document lets go of the watch
    IAPElement* m_feature;  // watched, not held
    std::string m_key;

private:
    ULONG m_refs = 1;
};

// Stops watching: the watch leaves the feature's dependents and the document's list.
void CAPDocument::Unwatch(TolLibDefaultWatch* watch)
{
    for (auto it = m_tolLibWatches.begin(); it != m_tolLibWatches.end(); ++it) {
        if (*it != watch) continue;
        m_tolLibWatches.erase(it);
        watch->m_doc = nullptr;
        watch->m_feature->RemoveDependent(watch);
        watch->Release();
        return;
    }
}

void CAPDocument::DropTolLibDefault(TolLibDefaultWatch* watch)
{
    ComRef<IAPElementSink> keep = ComRef<IAPElementSink>::Hold(watch);
    IAPElement* feature = watch->m_feature;
    const std::string key = watch->m_key;
    Unwatch(watch);
    try {
        std::vector<ComRef<IAPNode>> roots;
        if (FAILED(TopLevelNodes(roots)) || roots.empty()) return;
        ComRef<IAPElement> holder = QueryRef<IAPElement>(roots[0].Get(), IID_IAPElement);
        ComRef<IAPPropertyKey> text = NewKey(key.c_str());
        // Only the default this watch stood for: a later one under the key stays.
        if (holder && text && StoredDefault(holder.Get(), text.Get()) == feature) holder->RemoveProperty(text.Get());
    } catch (...) {
    }
}

void CAPDocument::ForgetTolLibDefaults()
{
    while (!m_tolLibWatches.empty()) Unwatch(m_tolLibWatches.back());
}

HRESULT STDMETHODCALLTYPE CAPDocument::SetTolLibDefaultFeature(IAPFeature* feature)
{
    return Guarded([&]() -> HRESULT {
        if (!feature) return E_FAIL;
        std::vector<ComRef<IAPNode>> roots;
        if (FAILED(TopLevelNodes(roots)) || roots.empty()) return E_FAIL;
        ComRef<IAPElement> holder = QueryRef<IAPElement>(roots[0].Get(), IID_IAPElement);
        if (!holder) return E_FAIL;
        const char* keyText = nullptr;
        for (const DefaultKey& choice : kKeyChoice)
            if (Answers(feature, *choice.iid)) keyText = choice.key;
        if (!keyText) return S_OK; // not a kind the library keeps a default for

        ComRef<IAPElement> element = QueryRef<IAPElement>(feature, IID_IAPElement);
        ComRef<IAPPropertyKey> key = NewKey(keyText);
        ComRef<IAPElemPtrProperty> value;
        if (!element || !key ||
            FAILED(ORVCoCreateInstance(CLSID_APElemPtrProperty, nullptr, CLSCTX_INPROC_SERVER, IID_IAPElemPtrProperty,
                                       value.OutVoid())) ||
            !value || FAILED(value->SetValue(element.Get())))
            return E_FAIL;
        ComRef<IAPProperty> property = QueryRef<IAPProperty>(value.Get(), IID_IAPProperty);
        // The link is the client's choice for this session only: it is never saved.
        if (!property || FAILED(property->SetPersistanceFlag(0))) return E_FAIL;

        auto* watch = new TolLibDefaultWatch(this, element.Get(), keyText);
        ComRef<IAPElementSink> held(watch);
        if (FAILED(holder->SetProperty(key.Get(), property.Get()))) return E_FAIL;
        for (TolLibDefaultWatch* old : std::vector<TolLibDefaultWatch*>(m_tolLibWatches))
            if (old->m_key == keyText) Unwatch(old);
        if (FAILED(element->AddDependent(watch))) {
            holder->RemoveProperty(key.Get());
            return E_FAIL;
        }
        m_tolLibWatches.push_back(watch);
        held.Detach(); // the list's reference now
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CAPDocument::GetTolLibDefaultFeatures(IAPPointerList* list)
{
    return Guarded([&]() -> HRESULT {
        if (!list) return E_FAIL;
        std::vector<ComRef<IAPNode>> roots;
        if (FAILED(TopLevelNodes(roots)) || roots.empty()) return E_FAIL;
        ComRef<IAPElement> holder = QueryRef<IAPElement>(roots[0].Get(), IID_IAPElement);
        ComRef<IAPPropertyKey> key = NewKey("");
        if (!holder || !key) return E_FAIL;
        for (const char* text : kListOrder) {
            if (FAILED(key->SetKey(reinterpret_cast<unsigned char*>(const_cast<char*>(text))))) return E_FAIL;
            ComRef<IAPProperty> property;
            if (FAILED(holder->GetProperty(key.Get(), property.Out())) || !property) continue;
            ComRef<IAPElemPtrProperty> pointer = QueryRef<IAPElemPtrProperty>(property.Get(), IID_IAPElemPtrProperty);
            IAPElement* value = nullptr;
            if (!pointer || FAILED(pointer->GetValue(&value))) return E_FAIL;
            if (value && FAILED(list->AppendElement(value))) return E_FAIL;
        }
        return S_OK;
    });
}
