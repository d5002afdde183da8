#include "operations/APOperation.h"

#include <algorithm>
#include <cstdint>

#include "model/APElementLinks.h"
#include "model/APBlockIO.h"
#include "model/APFieldAccess.h"
#include "platform/toolkit/WmObjectStream.h"

IMPLEMENT_DYNAMIC(APOperation, APNode)
IMPLEMENT_DYNAMIC(APAssemblyOperation, APOperation)
IMPLEMENT_DYNAMIC(APClassicAssemblyOperation, APOperation)
IMPLEMENT_DYNAMIC(APKinematicAssemblyOperation, APOperation)
IMPLEMENT_DYNAMIC(APFemAssemblyOperation, APOperation)

namespace {

// The owned kinds: how each is asked for, and how its back link to the operation is set.
struct Owned {
    static const IID& Kind(IAPFeaturePair*) { return IID_IAPFeaturePair; }
    static const IID& Kind(IAPCondition*) { return IID_IAPCondition; }
    static HRESULT SetLink(IAPFeaturePair* p, IAPOperation* op) { return p->SetOperation(op); }
    static HRESULT SetLink(IAPCondition* c, IAPOperation* op) { return c->SetOperationForCondition(op); }
    static HRESULT GetLink(IAPFeaturePair* p, IAPOperation** op) { return p->GetOperation(op); }
    static HRESULT GetLink(IAPCondition* c, IAPOperation** op) { return c->GetOperationForCondition(op); }
};

// A new element of class `clsid` made by the document, with a reference; null on failure.
IAPElement* CreateThroughDocument(IAPDocument* doc, const CLSID& clsid)
{
    if (!doc) return nullptr;
    GUID id = clsid, iid = IID_IAPElement;
    IAPElement* e = nullptr;
    if (FAILED(doc->CreateProcessElement(&id, &iid, reinterpret_cast<ULONG_PTR*>(&e)))) return nullptr;
    return e;
}

} // namespace

// ---------------------------------------------------------------------------------------
// Feature pairs and conditions

IAPOperation* APOperation::OwnOperation() const { return Query<IAPOperation>(m_wrapper, IID_IAPOperation); }

APOperation::~APOperation()
{
    ReleaseAll(m_pairs);
    ReleaseAll(m_conditions);
}

template <class T>
HRESULT APOperation::Link(APArray<T*>& list, T* item)
{
    if (!item) return E_FAIL;
    T* entry = Query<T>(item, Owned::Kind(item)); // the entry's reference
    if (!entry) return E_FAIL;
    if (list.Contains(entry)) {
        entry->Release();
        return S_OK;
    }
    list.Append(entry);
    IAPOperation* own = OwnOperation();
    if (!own) return E_FAIL;
    const HRESULT hr = Owned::SetLink(entry, own);
    own->Release();
    return FAILED(hr) ? E_FAIL : S_OK;
}

template <class T>
HRESULT APOperation::UnlinkAt(APArray<T*>& list, int index)
{
    if (index < 0 || index >= list.Count()) return E_FAIL;
    T* item = list[index];
    if (FAILED(Owned::SetLink(item, nullptr))) return E_FAIL;
    if (index >= list.Count() || list[index] != item) {
        if (!list.Find(item, &index)) return S_OK;
    }
    list.RemoveAt(index);
    item->Release();
    return S_OK;
}

template <class T>
HRESULT APOperation::Unlink(APArray<T*>& list, T* item)
{
    int index = -1;
    T* entry = item ? Bare<T>(item, Owned::Kind(item)) : nullptr;
    if (!entry || !list.Find(entry, &index)) return S_OK;
    return UnlinkAt(list, index);
}

// Each entry's back link is cleared while it still names this operation, so that nothing
// keeps a link to an operation that is gone.
template <class T>
void APOperation::ReleaseAll(APArray<T*>& list)
{
    std::vector<T*> gone(list.Data(), list.Data() + list.GetCount());
    list.RemoveAll();
    if (gone.empty()) return;
    IAPOperation* own = OwnOperation();
    for (T* item : gone) {
        if (!item) continue;
        IAPOperation* linked = nullptr;
        if (own && SUCCEEDED(Owned::GetLink(item, &linked)) && linked) {
            if (Identity(linked) == Identity(own)) Owned::SetLink(item, nullptr);
            linked->Release();
        }
        item->Release();
    }
    if (own) own->Release();
}

// What a read made becomes the list, each entry linked back to this operation as an append
// links it: the operation that a record names is not trusted.
template <class T>
void APOperation::Adopt(APArray<T*>& list, APArray<T*>& read)
{
    ReleaseAll(list);
    IAPOperation* own = read.Count() > 0 ? OwnOperation() : nullptr;
    for (int i = 0; i < read.Count(); ++i) {
        list.Append(read[i]);
        Owned::SetLink(read[i], own);
    }
    if (own) own->Release();
    read.RemoveAll();
}

HRESULT APOperation::AppendFeaturePair(IAPFeaturePair* pair) { return Link(m_pairs, pair); }

HRESULT APOperation::RemoveFeaturePair(IAPFeaturePair* pair) { return Unlink(m_pairs, pair); }

HRESULT APOperation::RemoveFeaturePairByIndex(int index) { return UnlinkAt(m_pairs, index); }

HRESULT APOperation::GetFeaturePair(int index, IAPFeaturePair** pair) { return HandOutEntry(m_pairs, index, pair); }

HRESULT APOperation::GetNumFeaturePairs(int* count) { return CopyOut(m_pairs.Count(), count); }

HRESULT APOperation::AppendCondition(IAPCondition* condition) { return Link(m_conditions, condition); }

HRESULT APOperation::RemoveCondition(IAPCondition* condition) { return Unlink(m_conditions, condition); }

HRESULT APOperation::RemoveConditionByIndex(int index) { return UnlinkAt(m_conditions, index); }

HRESULT APOperation::GetCondition(int index, IAPCondition** condition)
{
    return HandOutEntry(m_conditions, index, condition);
}

HRESULT APOperation::GetNumConditions(int* count) { return CopyOut(m_conditions.Count(), count); }

// ---------------------------------------------------------------------------------------
// Values

HRESULT APOperation::SetOperationTime(double time) { return Store(m_time, time); }
HRESULT APOperation::GetOperationTime(double* time) { return CopyOut(m_time, time); }
HRESULT APOperation::SetActiveFlag(int flag) { return Store(m_active, flag ? 1 : 0); }
HRESULT APOperation::GetActiveFlag(int* flag) { return CopyOut(m_active, flag); }
HRESULT APOperation::SetAuxiliaryFlag(int flag) { return Store(m_auxiliary, flag ? 1 : 0); }
HRESULT APOperation::GetAuxiliaryFlag(int* flag) { return CopyOut(m_auxiliary, flag); }
HRESULT APOperation::SetConditionMode(int mode) { return Store(m_conditionMode, mode); }
HRESULT APOperation::GetConditionMode(int* mode) { return CopyOut(m_conditionMode, mode); }
HRESULT APOperation::SetConditionOption(int option) { return Store(m_conditionOption, option); }
HRESULT APOperation::GetConditionOption(int* option) { return CopyOut(m_conditionOption, option); }

// ---------------------------------------------------------------------------------------
// Copies

template <class T>
bool APOperation::CopyList(APArray<T*>& list, const APArray<T*>& from, IAPDocument* doc, const CLSID& clsid,
                           REFIID iid)
{
    ReleaseAll(list);
    IAPOperation* own = OwnOperation();
    bool all = true;
    for (int i = 0; i < from.Count(); ++i) {
        IAPElement* copy = CreateThroughDocument(doc, clsid);
        IAPElement* source = Query<IAPElement>(from[i], IID_IAPElement);
        T* typed = nullptr;
        if (copy && source && SUCCEEDED(source->Clone(copy))) typed = Query<T>(copy, iid);
        if (typed) {
            list.Append(typed);
            if (!own || FAILED(Owned::SetLink(typed, own))) all = false;
        } else {
            all = false;
        }
        if (source) source->Release();
        if (copy) copy->Release();
    }
    if (own) own->Release();
    return all;
}

HRESULT APOperation::CopyOperation(const APOperation& source)
{
    if (this == &source) return S_OK;
    APNode::operator=(source);
    m_time = source.m_time;
    IAPDocument* doc = CopyDocument(m_docSink);
    bool all = CopyList(m_pairs, source.m_pairs, doc, CLSID_APFeaturePair, IID_IAPFeaturePair);
    all = CopyList(m_conditions, source.m_conditions, doc, CLSID_APCondition, IID_IAPCondition) && all;
    if (doc) doc->Release();
    m_conditionOption = source.m_conditionOption;
    m_conditionMode = source.m_conditionMode;
    return all ? S_OK : E_FAIL;
}

APOperation& APOperation::operator=(const APOperation& source)
{
    CopyOperation(source);
    return *this;
}

// ---------------------------------------------------------------------------------------
// Block, binding and fix-up


HRESULT APOperation::Serialize(WmObjectStream* stream)
{
    if (!stream || APNode::Serialize(stream) < 0) return E_FAIL;
    WmObjectStream& s = *stream;
    bool ok = s.write(kBlockVersion) && s.write(m_time) && s.write(m_conditionMode);
    if (ok && m_conditionMode != kConditionsNotStored)
        ok = s.write(m_conditionOption) && WriteOwned(s, m_conditions);
    ok = ok && s.write(m_auxiliary) && s.write(m_active) && WriteOwned(s, m_pairs);
    return ok ? S_OK : E_FAIL;
}

HRESULT APOperation::Deserialize(WmObjectStream* stream)
{
    if (!stream || APNode::Deserialize(stream) < 0) return E_FAIL;
    WmObjectStream& s = *stream;
    int version = 0;
    double time = 0.0;
    if (!s.read(version) || version < 1 || !s.read(time)) return E_FAIL;
    version = std::min(version, kBlockVersion);
    int mode = m_classConditionMode, option = 1, auxiliary = 0, active = 1;
    APArray<IAPCondition*> conditions;
    APArray<IAPFeaturePair*> pairs;
    if (version >= 4 && !s.read(mode)) return E_FAIL;
    if (version == 4 || (version >= 5 && mode != kConditionsNotStored)) {
        if (!s.read(option)) return E_FAIL;
        const bool read = ReadOwned(s, conditions, IID_IAPCondition);
        Adopt(m_conditions, conditions);
        if (!read) return E_FAIL;
    } else {
        Adopt(m_conditions, conditions);
    }
    if (version >= 3 && !s.read(auxiliary)) return E_FAIL;
    if (version >= 2 && !s.read(active)) return E_FAIL;
    const bool read = ReadOwned(s, pairs, IID_IAPFeaturePair);
    Adopt(m_pairs, pairs);
    if (!read) return E_FAIL;
    m_time = time;
    m_conditionMode = mode;
    m_conditionOption = option;
    m_auxiliary = auxiliary ? 1 : 0;
    m_active = active ? 1 : 0;
    return S_OK;
}

HRESULT APOperation::BindDocument(IAPDocEventSink* sink)
{
    if (APNode::BindDocument(sink) < 0) return E_FAIL;
    auto bind = [sink](IUnknown* item) {
        IAPElement* e = Query<IAPElement>(item, IID_IAPElement);
        if (!e) return false;
        e->BindDocument(sink);
        e->Release();
        return true;
    };
    for (int i = 0; i < m_pairs.Count(); ++i)
        if (!bind(m_pairs[i])) return E_FAIL;
    for (int i = 0; i < m_conditions.Count(); ++i)
        if (!bind(m_conditions[i])) return E_FAIL;
    return S_OK;
}

HRESULT APOperation::FixupLists()
{
    if (APNode::FixupLists() < 0) return E_FAIL;
    auto fix = [](IUnknown* item) {
        IAPElement* e = Query<IAPElement>(item, IID_IAPElement);
        const bool ok = e && SUCCEEDED(e->FixupLists());
        if (e) e->Release();
        return ok;
    };
    for (int i = 0; i < m_pairs.Count(); ++i)
        if (!fix(m_pairs[i])) return E_FAIL;
    for (int i = 0; i < m_conditions.Count(); ++i)
        if (!fix(m_conditions[i])) return E_FAIL;
    if (!m_wrapper) return E_FAIL;
    std::vector<APElementList*> lists;
    ElementLists(lists);
    HRESULT hr = S_OK;
    for (APElementList* list : lists)
        if (FAILED(list->Relink())) hr = E_FAIL;
    return hr;
}

void APOperation::ReleaseLinks()
{
    APNode::ReleaseLinks();
    std::vector<APElementList*> lists;
    ElementLists(lists);
    for (APElementList* list : lists) list->LetGo();
    // Owned elements a client made outside the document are not bound to it: they are told
    // here. The lists' references keep them alive meanwhile.
    for (int i = 0; i < m_pairs.Count(); ++i)
        if (APElement* pair = APElement::FromInterface(m_pairs[i])) pair->ReleaseLinks();
    for (int i = 0; i < m_conditions.Count(); ++i)
        if (APElement* condition = APElement::FromInterface(m_conditions[i])) condition->ReleaseLinks();
}

// ---------------------------------------------------------------------------------------
// Assembly, classic and kinematic operations

APPlacingOperation::APPlacingOperation(APElementList::LoadRule rule, int conditionMode)
    : APOperation(conditionMode), m_elements(*this, rule)
{
}

HRESULT APPlacingOperation::IsTranslationalBiasSet(int* isSet) { return CopyOut(m_translational.set ? 1 : 0, isSet); }

HRESULT APPlacingOperation::IsRotationalBiasSet(int* isSet) { return CopyOut(m_rotational.set ? 1 : 0, isSet); }

HRESULT APPlacingOperation::GetTranslationalBiasVector(double* x, double* y, double* z)
{
    return m_translational.set ? CopyAllOut(m_translational.xyz, x, y, z) : E_FAIL;
}

HRESULT APPlacingOperation::GetRotationalBiasVector(double* x, double* y, double* z)
{
    return m_rotational.set ? CopyAllOut(m_rotational.xyz, x, y, z) : E_FAIL;
}

HRESULT APPlacingOperation::SetTranslationalBiasVector(double x, double y, double z)
{
    m_translational.set = true;
    return StoreAll(m_translational.xyz, x, y, z);
}

HRESULT APPlacingOperation::SetRotationalBiasVector(double x, double y, double z)
{
    m_rotational.set = true;
    return StoreAll(m_rotational.xyz, x, y, z);
}

HRESULT APPlacingOperation::SetAsmOpNominalTransform(const double values[12]) { return StoreArray(m_nominal, values); }

HRESULT APPlacingOperation::GetAsmOpNominalTransform(double values[12]) { return CopyArrayOut(m_nominal, values); }

HRESULT APPlacingOperation::GetNumElements(int* count) { return CopyOut(m_elements.Count(), count); }

HRESULT APPlacingOperation::Notify(unsigned long command, IAPElement* element)
{
    if (!m_wrapper) return E_FAIL;
    if (command == 3) m_elements.DropDestroyed(element);
    return S_OK;
}

HRESULT APPlacingOperation::CloneInto(IAPElement* target, const CRuntimeClass* cls)
{
    auto* copy = static_cast<APPlacingOperation*>(static_cast<APOperation*>(CloneTarget(target, cls)));
    if (!copy) return E_FAIL;
    if (copy == this) return S_OK;
    copy->APElement::operator=(*this);
    if (m_translational.set) copy->m_translational = m_translational;
    if (m_rotational.set) copy->m_rotational = m_rotational;
    return S_OK;
}

bool APPlacingOperation::WriteBias(WmObjectStream& s) const
{
    for (const Bias* b : {&m_translational, &m_rotational}) {
        if (!s.write(b->set)) return false;
        if (b->set && !(s.write(b->xyz[0]) && s.write(b->xyz[1]) && s.write(b->xyz[2]))) return false;
    }
    return true;
}

bool APPlacingOperation::ReadBias(WmObjectStream& s)
{
    Bias read[2] = {m_translational, m_rotational};
    for (Bias& b : read) {
        int set = 0;
        if (!s.read(set)) return false;
        if (set && !(s.read(b.xyz[0]) && s.read(b.xyz[1]) && s.read(b.xyz[2]))) return false;
        if (set) b.set = true;
    }
    m_translational = read[0];
    m_rotational = read[1];
    return true;
}

APAssemblyDesign::APAssemblyDesign() : APPlacingOperation(APElementList::LoadRule::SkipAncestors) {}

HRESULT APAssemblyDesign::GetElement(int index, IAPElement** element) { return m_elements.Get(index, element); }

HRESULT APAssemblyDesign::AppendElement(IAPElement* element)
{
    return element ? m_elements.Append(element, true) : S_OK;
}

HRESULT APAssemblyDesign::AppendElementNoDependent(IAPElement* element)
{
    return element ? m_elements.Append(element, false) : S_OK;
}

HRESULT APAssemblyDesign::ClearElements()
{
    m_elements.Clear();
    return S_OK;
}

bool APAssemblyDesign::WriteRest(WmObjectStream& s) const
{
    return m_elements.Write(s) && WriteMove(s) && WriteRefresh(s);
}

bool APAssemblyDesign::ReadRest(WmObjectStream& s, int version)
{
    if (version >= 2) {
        if (!m_elements.Read(s)) return false;
    } else {
        m_elements.Expect(s, {kNoElement}); // the first format's one empty entry
    }
    return (version < 3 || ReadMove(s)) && (version < 4 || ReadRefresh(s));
}

HRESULT APAssemblyOperation::Serialize(WmObjectStream* stream)
{
    if (APOperation::Serialize(stream) < 0) return E_FAIL;
    return stream->write(kBlockVersion) && WriteBias(*stream) && WriteRest(*stream) ? S_OK : E_FAIL;
}

HRESULT APAssemblyOperation::Deserialize(WmObjectStream* stream)
{
    if (APOperation::Deserialize(stream) < 0) return E_FAIL;
    int version = 0;
    if (!stream->read(version) || version < 1) return E_FAIL;
    return ReadBias(*stream) && ReadRest(*stream, std::min(version, kBlockVersion)) ? S_OK : E_FAIL;
}

HRESULT APAssemblyOperation::Clone(IAPElement* target) { return CloneInto(target, RUNTIME_CLASS(APAssemblyOperation)); }

HRESULT APClassicAssemblyOperation::Serialize(WmObjectStream* stream)
{
    if (APOperation::Serialize(stream) < 0) return E_FAIL;
    return stream->write(kBlockVersion) && WriteBias(*stream) && WriteRest(*stream) ? S_OK : E_FAIL;
}

HRESULT APClassicAssemblyOperation::Deserialize(WmObjectStream* stream)
{
    if (APOperation::Deserialize(stream) < 0) return E_FAIL;
    int version = 0;
    // Every field is in the first format: it reads as the assembly block's latest.
    if (!stream->read(version) || version < 1) return E_FAIL;
    return ReadBias(*stream) && ReadRest(*stream, APAssemblyOperation::kBlockVersion) ? S_OK : E_FAIL;
}

HRESULT APClassicAssemblyOperation::Clone(IAPElement* target)
{
    return CloneInto(target, RUNTIME_CLASS(APClassicAssemblyOperation));
}

APKinematicAssemblyOperation::APKinematicAssemblyOperation()
    : APPlacingOperation(APElementList::LoadRule::WatchAll)
{
}

HRESULT APKinematicAssemblyOperation::GetElement(int index, CString& label, IAPElement** element)
{
    if (m_elements.Get(index, element) < 0) return E_FAIL;
    label = static_cast<std::size_t>(index) < m_labels.size() ? m_labels[static_cast<std::size_t>(index)] : CString();
    return S_OK;
}

HRESULT APKinematicAssemblyOperation::AppendElementOrClear(const CString&, IAPElement* element)
{
    IAPElementSink* sink = OwnSinkOf(m_wrapper);
    if (!sink) return E_FAIL;
    sink->Release();
    if (!element) {
        m_elements.Clear();
        return S_OK;
    }
    return m_elements.Append(element, true);
}

HRESULT APKinematicAssemblyOperation::AppendElement(const CString&, IAPElement* element)
{
    return m_elements.Append(element, true);
}

HRESULT APKinematicAssemblyOperation::Serialize(WmObjectStream* stream)
{
    if (APOperation::Serialize(stream) < 0) return E_FAIL;
    WmObjectStream& s = *stream;
    bool ok = s.write(kBlockVersion) && WriteBias(s) && WriteTextList(s, m_labels, 1024);
    ok = ok && m_elements.Write(s) && WriteMove(s) && WriteRefresh(s);
    return ok ? S_OK : E_FAIL;
}

HRESULT APKinematicAssemblyOperation::Deserialize(WmObjectStream* stream)
{
    if (APOperation::Deserialize(stream) < 0) return E_FAIL;
    WmObjectStream& s = *stream;
    int version = 0;
    std::vector<CString> labels;
    if (!s.read(version) || version < 1 || !ReadBias(s) || !ReadTextList(s, labels, 1024)) return E_FAIL;
    if (!m_elements.Read(s)) return E_FAIL;
    m_labels.swap(labels);
    return (version < 2 || ReadMove(s)) && (version < 3 || ReadRefresh(s)) ? S_OK : E_FAIL;
}

HRESULT APKinematicAssemblyOperation::Clone(IAPElement* target)
{
    return CloneInto(target, RUNTIME_CLASS(APKinematicAssemblyOperation));
}

// ---------------------------------------------------------------------------------------
// FEM assembly operation

APFemAssemblyOperation::APFemAssemblyOperation()
    : APPlacingOperation(APElementList::LoadRule::WatchAll, kConditionsNotStored)
{
}

HRESULT APFemAssemblyOperation::GetFemType(APFemType* type) { return CopyOut(m_femType, type); }

HRESULT APFemAssemblyOperation::SetFemType(APFemType type) { return Store(m_femType, type); }

HRESULT APFemAssemblyOperation::GetBcNodes(IAPPointerList* list)
{
    if (!list) return E_FAIL;
    for (int i = 0; i < m_elements.Count(); ++i) list->AppendElement(m_elements[i]);
    return S_OK;
}

HRESULT APFemAssemblyOperation::SetBcNodes(IAPPointerList* list)
{
    if (!list) return E_FAIL;
    m_elements.Clear();
    int count = 0;
    if (FAILED(list->GetLength(&count))) return E_FAIL;
    for (int i = 0; i < count; ++i) {
        GUID iid = IID_IAPElement;
        IAPElement* node = nullptr;
        if (FAILED(list->GetElement(i, &iid, reinterpret_cast<ULONG_PTR*>(&node)))) return E_FAIL;
        const HRESULT hr = m_elements.Append(node, true);
        if (node) node->Release(); // the entry holds its own reference
        if (FAILED(hr)) return E_FAIL;
    }
    return S_OK;
}

HRESULT APFemAssemblyOperation::ClearBoundaryConditions()
{
    m_elements.Clear();
    return S_OK;
}

HRESULT APFemAssemblyOperation::RemoveBoundaryCondition(IAPElement* node) { return m_elements.RemoveFirst(node); }

HRESULT APFemAssemblyOperation::Serialize(WmObjectStream* stream)
{
    if (APOperation::Serialize(stream) < 0) return E_FAIL;
    WmObjectStream& s = *stream;
    const bool ok = s.write(kBlockVersion) && WriteBias(s) && s.write(static_cast<int>(m_femType)) &&
                    m_elements.Write(s) && WriteMove(s) && WriteRefresh(s);
    return ok ? S_OK : E_FAIL;
}

HRESULT APFemAssemblyOperation::Deserialize(WmObjectStream* stream)
{
    if (APOperation::Deserialize(stream) < 0) return E_FAIL;
    WmObjectStream& s = *stream;
    int version = 0;
    if (!s.read(version) || version < 1 || !ReadBias(s)) return E_FAIL;
    int type = AP_FEM_FLEX_TO_RIGID;
    if (version >= 2 && !s.read(type)) return E_FAIL;
    // The first formats numbered springback 2.
    if (version <= 3 && type == AP_FEM_EQUALIZED_FLEX) type = AP_FEM_SPRINGBACK;
    if (version >= 3 && !m_elements.Read(s)) return E_FAIL;
    if (!(version < 5 || ReadMove(s)) || !(version < 6 || ReadRefresh(s))) return E_FAIL;
    m_femType = static_cast<APFemType>(type);
    return S_OK;
}

HRESULT APFemAssemblyOperation::Clone(IAPElement* target)
{
    if (FAILED(CloneInto(target, RUNTIME_CLASS(APFemAssemblyOperation)))) return E_FAIL;
    auto* copy = static_cast<APFemAssemblyOperation*>(static_cast<APOperation*>(CloneTarget(target, RUNTIME_CLASS(APFemAssemblyOperation))));
    if (copy) copy->m_femType = m_femType;
    return S_OK;
}
