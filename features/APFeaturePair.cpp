#include "features/APFeaturePair.h"

#include <vector>

#include "model/APElementLinks.h"
#include "model/APBlockIO.h"
#include "model/APFieldAccess.h"

IMPLEMENT_DYNAMIC(APFeaturePair, APElement)

APFeaturePair::~APFeaturePair() = default;

// ---------------------------------------------------------------------------------------
// Feature lists

HRESULT APFeaturePair::Append(APArray<IAPFeature*>& list, IAPFeature* feature)
{
    if (!feature) return S_OK;
    IAPFeature* f = Bare<IAPFeature>(feature, IID_IAPFeature);
    return f ? AppendWatched(list, f, m_wrapper) : E_FAIL;
}

HRESULT APFeaturePair::RemoveAt(APArray<IAPFeature*>& list, int index)
{
    // One registration serves both lists: it goes with the last entry.
    return RemoveWatched(list, index, m_wrapper, [this](IAPFeature* f) {
        return m_objectFeatures.Contains(f) || m_targetFeatures.Contains(f);
    });
}

HRESULT APFeaturePair::Remove(APArray<IAPFeature*>& list, IAPFeature* feature)
{
    IAPFeature* f = Bare<IAPFeature>(feature, IID_IAPFeature);
    int index = -1;
    if (!f || !list.Find(f, &index)) return S_OK;
    return RemoveAt(list, index);
}

HRESULT APFeaturePair::AppendObjectFeature(IAPFeature* feature) { return Append(m_objectFeatures, feature); }

HRESULT APFeaturePair::AppendTargetFeature(IAPFeature* feature) { return Append(m_targetFeatures, feature); }

HRESULT APFeaturePair::RemoveObjectFeature(IAPFeature* feature) { return Remove(m_objectFeatures, feature); }

HRESULT APFeaturePair::RemoveTargetFeature(IAPFeature* feature) { return Remove(m_targetFeatures, feature); }

HRESULT APFeaturePair::RemoveObjectFeatureByIndex(int index) { return RemoveAt(m_objectFeatures, index); }

HRESULT APFeaturePair::RemoveTargetFeatureByIndex(int index) { return RemoveAt(m_targetFeatures, index); }

HRESULT APFeaturePair::GetObjectFeature(int index, IAPFeature** feature)
{
    return HandOutEntry(m_objectFeatures, index, feature);
}

HRESULT APFeaturePair::GetTargetFeature(int index, IAPFeature** feature)
{
    return HandOutEntry(m_targetFeatures, index, feature);
}

HRESULT APFeaturePair::GetNumObjectFeatures(int* count) { return CopyOut(m_objectFeatures.Count(), count); }

HRESULT APFeaturePair::GetNumTargetFeatures(int* count) { return CopyOut(m_targetFeatures.Count(), count); }

// ---------------------------------------------------------------------------------------
// Operations

HRESULT APFeaturePair::SetOperation(IAPOperation* operation)
{
    IAPOperation* op = Bare<IAPOperation>(operation, IID_IAPOperation);
    if (operation && !op) return E_FAIL;
    return m_operation.Set(op) ? S_OK : E_FAIL;
}

HRESULT APFeaturePair::GetOperation(IAPOperation** operation)
{
    if (!operation) return E_FAIL;
    *operation = nullptr;
    if (!m_operation) return E_FAIL;
    return HandOut(m_operation.Get(), operation);
}

HRESULT APFeaturePair::SetReferenceElement(IAPOperation* operation)
{
    IAPOperation* op = Bare<IAPOperation>(operation, IID_IAPOperation);
    if (operation && !op) return E_FAIL;
    IAPElementSink* sink = OwnSinkOf(m_wrapper);
    if (!sink && (op || m_referenceOperation)) return E_FAIL;
    if (m_referenceOperation) Unwatch(m_referenceOperation, sink);
    m_referenceOperation = op;
    bool watched = true;
    if (op) watched = Watch(op, sink);
    if (sink) sink->Release();
    return watched ? S_OK : E_FAIL;
}

HRESULT APFeaturePair::GetReferenceElement(IAPOperation** operation) { return HandOut(m_referenceOperation, operation); }

// ---------------------------------------------------------------------------------------
// Plain values

HRESULT APFeaturePair::SetFloat(APPressFitType type) { return Store(m_pressFit, static_cast<int>(type)); }

HRESULT APFeaturePair::GetFloat(APPressFitType* type)
{
    if (!type) return E_FAIL;
    *type = static_cast<APPressFitType>(m_pressFit);
    return S_OK;
}

HRESULT APFeaturePair::IsFastenerSizeSet(int* isSet) { return CopyOut(m_fastenerSize > 0.0 ? 1 : 0, isSet); }

HRESULT APFeaturePair::GetFastenerSize(double* size) { return CopyOut(m_fastenerSize, size); }

HRESULT APFeaturePair::SetFastenerSize(double size) { return Store(m_fastenerSize, size); }

HRESULT APFeaturePair::GetIntValue1(int* value) { return CopyOut(m_intValue1, value); }

HRESULT APFeaturePair::SetIntValue1(int value) { return Store(m_intValue1, value); }

HRESULT APFeaturePair::GetDoubleValue(double* value) { return CopyOut(m_doubleValue, value); }

HRESULT APFeaturePair::SetDoubleValue(double value) { return Store(m_doubleValue, value); }

HRESULT APFeaturePair::GetIntValue2(int* value) { return CopyOut(m_intValue2, value); }

HRESULT APFeaturePair::SetIntValue2(int value) { return Store(m_intValue2, value); }

HRESULT APFeaturePair::SetIntValue3(int value) { return Store(m_intValue3, value); }

HRESULT APFeaturePair::GetIntValue3(int* value) { return CopyOut(m_intValue3, value); }

// ---------------------------------------------------------------------------------------
// Destruction of members and of the pair

HRESULT APFeaturePair::Notify(unsigned long command, IAPElement* element)
{
    if (!m_wrapper) return E_FAIL;
    if (command != 3) return S_OK;
    if (!element) return E_FAIL;
    // Through the interfaces, so that the change is announced like any other.
    if (m_referenceOperation && Bare<IAPOperation>(element, IID_IAPOperation) == m_referenceOperation) {
        IAPFeaturePair3* pair = Query<IAPFeaturePair3>(m_wrapper, IID_IAPFeaturePair3);
        if (!pair) return E_FAIL;
        const HRESULT hr = pair->SetReferenceElement(nullptr);
        pair->Release();
        return hr == S_OK ? S_OK : E_FAIL;
    }
    IAPFeature* feature = Bare<IAPFeature>(element, IID_IAPFeature);
    if (!feature) return E_FAIL;
    IAPFeaturePair* pair = Query<IAPFeaturePair>(m_wrapper, IID_IAPFeaturePair);
    if (!pair) return E_FAIL;
    bool removed = false, failed = false;
    int index = -1;
    if (m_objectFeatures.Find(feature, &index)) {
        if (pair->RemoveObjectFeatureByIndex(index) == S_OK) removed = true;
        else failed = true;
    }
    if (m_targetFeatures.Find(feature, &index)) {
        if (pair->RemoveTargetFeatureByIndex(index) == S_OK) removed = true;
        else failed = true;
    }
    pair->Release();
    return removed && !failed ? S_OK : E_FAIL;
}

bool APFeaturePair::UnwatchAll()
{
    IAPElementSink* sink = OwnSinkOf(m_wrapper);
    if (!sink) return false;
    bool all = true;
    for (int i = 0; i < m_objectFeatures.Count(); ++i)
        if (m_objectFeatures[i] && !Unwatch(m_objectFeatures[i], sink)) all = false;
    // A feature in both lists has one registration, gone with its object entry.
    for (int i = 0; i < m_targetFeatures.Count(); ++i) {
        IAPFeature* f = m_targetFeatures[i];
        if (f && !m_objectFeatures.Contains(f) && !Unwatch(f, sink)) all = false;
    }
    if (m_referenceOperation && !Unwatch(m_referenceOperation, sink)) all = false;
    sink->Release();
    m_objectFeatures.RemoveAll();
    m_targetFeatures.RemoveAll();
    m_referenceOperation = nullptr;
    return all;
}

HRESULT APFeaturePair::NotifyDeletion()
{
    if (!m_wrapper) return E_FAIL;
    const bool unhooked = UnwatchAll();
    return APElement::NotifyDeletion() >= 0 && unhooked ? S_OK : E_FAIL;
}

// ---------------------------------------------------------------------------------------
// Block

namespace {

bool WriteFeatureList(WmObjectStream& s, const APArray<IAPFeature*>& list)
{
    if (!s.write(list.Count())) return false;
    for (int i = 0; i < list.Count(); ++i)
        if (!WriteElementRef(s, list[i])) return false;
    return true;
}

bool ReadFeatureList(WmObjectStream& s, std::vector<int>& numbers)
{
    int count = 0;
    return s.read(count) && ReadElementRefs(s, count, numbers);
}

} // namespace

HRESULT APFeaturePair::Serialize(WmObjectStream* stream)
{
    if (!stream || APElement::Serialize(stream) < 0) return E_FAIL;
    WmObjectStream& s = *stream;
    const bool ok = s.write(kBlockVersion) && WriteFeatureList(s, m_objectFeatures) &&
                    WriteFeatureList(s, m_targetFeatures) && WriteElementRef(s, m_operation.Get()) && s.write(m_pressFit) &&
                    s.write(m_fastenerSize) && s.write(m_intValue1) && s.write(m_doubleValue) && s.write(m_intValue2) &&
                    s.write(m_intValue3) && WriteElementRef(s, m_referenceOperation);
    return ok ? S_OK : E_FAIL;
}

HRESULT APFeaturePair::Deserialize(WmObjectStream* stream)
{
    if (!stream || APElement::Deserialize(stream) < 0) return E_FAIL;
    WmObjectStream& s = *stream;
    int version = 0;
    std::vector<int> objects, targets;
    int operation = kNoElement, reference = kNoElement;
    int pressFit = kPressFitUnknown, value1 = 0, value2 = 100, value3 = 0;
    double fastener = 0.0, value = 0.0;
    if (!s.read(version) || !ReadFeatureList(s, objects) || !ReadFeatureList(s, targets) || !s.read(operation) ||
        !s.read(pressFit))
        return E_FAIL;
    if (version >= 2 && !s.read(fastener)) return E_FAIL;
    if (version >= 3 && (!s.read(value1) || !s.read(value) || !s.read(value2))) return E_FAIL;
    if (version >= 4 && (!s.read(value3) || !s.read(reference))) return E_FAIL;
    if (version < 4 && value1 == 4) value3 = 1;

    m_storedObjectFeatures.Request(s, objects);
    m_storedTargetFeatures.Request(s, targets);
    // The operation number is not used: the operation that reads the pair links it.
    (void)operation;
    m_storedReferenceOperation.Request(s, {reference});
    m_pending = true;
    m_pressFit = pressFit;
    m_fastenerSize = fastener;
    m_intValue1 = value1;
    m_doubleValue = value;
    m_intValue2 = value2;
    m_intValue3 = value3;
    return S_OK;
}

HRESULT APFeaturePair::FixupLists()
{
    if (APElement::FixupLists() < 0 || !m_wrapper) return E_FAIL;
    if (!m_pending) return S_OK;
    IAPElementSink* sink = OwnSinkOf(m_wrapper);
    if (!sink) return E_FAIL;
    m_pending = false;
    UnwatchAll(); // whatever a client linked before the read gives way to what was read

    HRESULT hr = S_OK;
    IAPElement* stored = m_storedReferenceOperation.Count() > 0 ? m_storedReferenceOperation[0] : nullptr;
    if (stored) {
        m_referenceOperation = Bare<IAPOperation>(stored, IID_IAPOperation);
        if (!m_referenceOperation || !Watch(m_referenceOperation, sink)) hr = E_FAIL;
    }

    auto link = [&](APArray<IAPFeature*>& list, const APPendingRefs& from) {
        for (int i = 0; i < from.Count() && SUCCEEDED(hr); ++i) {
            IAPFeature* f = nullptr;
            if (from[i]) {
                f = Bare<IAPFeature>(from[i], IID_IAPFeature);
                if (!f || !Watch(f, sink)) {
                    hr = E_FAIL;
                    break;
                }
            }
            list.Append(f);
        }
    };
    if (SUCCEEDED(hr)) link(m_objectFeatures, m_storedObjectFeatures);
    if (SUCCEEDED(hr)) link(m_targetFeatures, m_storedTargetFeatures);
    m_storedObjectFeatures.Clear();
    m_storedTargetFeatures.Clear();
    m_storedReferenceOperation.Clear();
    sink->Release();
    return hr;
}

void APFeaturePair::ReleaseLinks()
{
    APElement::ReleaseLinks();
    m_storedObjectFeatures.Clear();
    m_storedTargetFeatures.Clear();
    m_storedReferenceOperation.Clear();
    m_pending = false;
}

// ---------------------------------------------------------------------------------------
// Copies

HRESULT APFeaturePair::Clone(IAPElement* target)
{
    APFeaturePair* copy = CloneTargetOf<APFeaturePair>(target, RUNTIME_CLASS(APFeaturePair));
    if (!copy) return E_FAIL;
    if (copy == this) return S_OK;
    copy->APElement::operator=(*this);
    // The copy's own members give way; the copy map fills and watches the new ones.
    copy->UnwatchAll();
    IAPDocument* doc = CopyDocument(copy->m_docSink);
    MapListThroughCopy(doc, copy->m_wrapper, IID_IAPFeature, m_objectFeatures, copy->m_objectFeatures);
    MapListThroughCopy(doc, copy->m_wrapper, IID_IAPFeature, m_targetFeatures, copy->m_targetFeatures);
    copy->m_fastenerSize = m_fastenerSize;
    if (m_referenceOperation) {
        copy->m_referenceOperation = m_referenceOperation;
        MapThroughCopy(doc, copy->m_wrapper, IID_IAPOperation, m_referenceOperation,
                       reinterpret_cast<void**>(&copy->m_referenceOperation));
    }
    if (doc) doc->Release();
    return S_OK;
}

HRESULT APFeaturePair::CleanUpCopyList()
{
    DropNullEntries(m_objectFeatures);
    DropNullEntries(m_targetFeatures);
    return S_OK;
}
