#include "features/APTolerance.h"

#include <vector>

#include "model/APElementLinks.h"
#include "model/APBlockIO.h"
#include "model/APFieldAccess.h"

IMPLEMENT_DYNAMIC(APTolerance, APElement)
IMPLEMENT_DYNAMIC(APGDTTolerance, APTolerance)
IMPLEMENT_DYNAMIC(APSizeTolerance, APTolerance)

namespace {

template <class T>
HRESULT CopyEnum(int field, T* out)
{
    if (!out) return E_FAIL;
    *out = static_cast<T>(field);
    return S_OK;
}

// The one pending reference of a single-slot request, or null.
IAPElement* Single(const APPendingRefs& refs) { return refs.Count() > 0 ? refs[0] : nullptr; }

bool ChangeReferenceUse(IAPFeature* feature, bool raise)
{
    IAPFeature8 *f8 = Query<IAPFeature8>(feature, IID_IAPFeature8);
    if (!f8) return false;
    const HRESULT hr = raise ? f8->IncrementReferenceUse() : f8->DecrementReferenceUse();
    f8->Release();
    return SUCCEEDED(hr);
}

} // namespace

// ---------------------------------------------------------------------------------------
// APTolerance


HRESULT APTolerance::GetToleranceFeature(IAPFeature** feature)
{
    if (!feature) return E_FAIL;
    *feature = nullptr;
    if (!m_feature) return E_FAIL;
    return HandOut(m_feature.Get(), feature);
}

HRESULT APTolerance::SetToleranceFeature(IAPFeature* feature)
{
    IAPFeature* f = Bare<IAPFeature>(feature, IID_IAPFeature);
    if (feature && !f) return E_FAIL;
    if (!m_feature.Set(f)) return E_FAIL;
    m_featurePending = false; // a feature set now wins over one a read left pending
    m_storedFeature.Clear();
    return S_OK;
}

HRESULT APTolerance::Set3dPosition(double x, double y, double z) { return StoreAll(m_position, x, y, z); }

HRESULT APTolerance::Get3dPosition(double* x, double* y, double* z) { return CopyAllOut(m_position, x, y, z); }

HRESULT APTolerance::GetCategory(APTolCategoryType* category) { return CopyEnum(m_category, category); }

HRESULT APTolerance::SetCategory(APTolCategoryType category) { return Store(m_category, static_cast<int>(category)); }

HRESULT APTolerance::NotifyDeletion()
{
    if (m_feature) {
        if (!m_wrapper) return E_FAIL;
        IAPTolerance* own = Query<IAPTolerance>(m_wrapper, IID_IAPTolerance);
        if (!own) return E_FAIL;
        IAPFeature* feature = m_feature.Get();
        m_feature.Reset();
        feature->RemoveTolerance(own);
        own->Release();
    }
    return APElement::NotifyDeletion() < 0 ? E_FAIL : S_OK;
}

HRESULT APTolerance::Serialize(WmObjectStream* stream)
{
    if (!stream || APElement::Serialize(stream) < 0) return E_FAIL;
    WmObjectStream& s = *stream;
    const bool ok = s.write(kBlockVersion) && s.write(m_position[0]) && s.write(m_position[1]) &&
                    s.write(m_position[2]) && s.write(m_category) && WriteElementRef(s, m_feature.Get());
    return ok ? S_OK : E_FAIL;
}

HRESULT APTolerance::Deserialize(WmObjectStream* stream)
{
    if (!stream || APElement::Deserialize(stream) < 0) return E_FAIL;
    WmObjectStream& s = *stream;
    int version = 0, category = 0, feature = 0;
    double position[3];
    if (!s.read(version) || !s.read(position[0]) || !s.read(position[1]) || !s.read(position[2]) ||
        !s.read(category) || !s.read(feature))
        return E_FAIL;
    StoreAll(m_position, position[0], position[1], position[2]);
    m_category = category;
    m_storedFeature.Request(s, {feature});
    m_featurePending = true;
    return S_OK;
}

HRESULT APTolerance::FixupLists()
{
    if (APElement::FixupLists() < 0) return E_FAIL;
    if (!m_featurePending) return S_OK;
    m_featurePending = false;
    IAPElement* stored = Single(m_storedFeature);
    IAPFeature* f = Bare<IAPFeature>(stored, IID_IAPFeature);
    m_storedFeature.Clear();
    if (stored && !f) return E_FAIL;
    return m_feature.Set(f) ? S_OK : E_FAIL;
}

APTolerance& APTolerance::operator=(const APTolerance& source)
{
    if (this == &source) return *this;
    APElement::operator=(source);
    std::copy(std::begin(source.m_position), std::end(source.m_position), m_position);
    m_category = source.m_category;
    return *this;
}

// ---------------------------------------------------------------------------------------
// APSizeTolerance

HRESULT APSizeTolerance::GetMaxSizeLimit(double* value) { return CopyOut(m_max, value); }

HRESULT APSizeTolerance::SetMaxSizeLimit(double value) { return Store(m_max, value); }

HRESULT APSizeTolerance::GetMinSizeLimit(double* value) { return CopyOut(m_min, value); }

HRESULT APSizeTolerance::SetMinSizeLimit(double value) { return Store(m_min, value); }

HRESULT APSizeTolerance::GetSizeType(APSizeType* type) { return CopyEnum(m_sizeType, type); }

HRESULT APSizeTolerance::SetSizeType(APSizeType type) { return Store(m_sizeType, static_cast<int>(type)); }

HRESULT APSizeTolerance::GetThicknessTolType(APThicknessTolType* type) { return CopyEnum(m_thicknessType, type); }

HRESULT APSizeTolerance::SetThicknessTolType(APThicknessTolType type)
{
    return Store(m_thicknessType, static_cast<int>(type));
}

HRESULT APSizeTolerance::Serialize(WmObjectStream* stream)
{
    if (APTolerance::Serialize(stream) < 0) return E_FAIL;
    WmObjectStream& s = *stream;
    const bool ok = s.write(kBlockVersion) && s.write(m_max) && s.write(m_min) && s.write(m_sizeType) &&
                    s.write(m_thicknessType);
    return ok ? S_OK : E_FAIL;
}

HRESULT APSizeTolerance::Deserialize(WmObjectStream* stream)
{
    if (APTolerance::Deserialize(stream) < 0) return E_FAIL;
    WmObjectStream& s = *stream;
    int version = 0, sizeType = 0, thickness = 3;
    double max = 0.0, min = 0.0;
    if (!s.read(version) || !s.read(max) || !s.read(min) || !s.read(sizeType)) return E_FAIL;
    if (version >= 2 && !s.read(thickness)) return E_FAIL;
    m_max = max;
    m_min = min;
    m_sizeType = sizeType;
    m_thicknessType = thickness;
    return S_OK;
}

HRESULT APSizeTolerance::Clone(IAPElement* target)
{
    APSizeTolerance* copy = CloneTargetOf<APSizeTolerance>(target, RUNTIME_CLASS(APSizeTolerance));
    if (!copy) return E_FAIL;
    copy->APTolerance::operator=(*this);
    copy->m_max = m_max;
    copy->m_min = m_min;
    copy->m_sizeType = m_sizeType;
    copy->m_thicknessType = m_thicknessType;
    return S_OK;
}

// ---------------------------------------------------------------------------------------
// APGDTTolerance: values

APGDTTolerance::~APGDTTolerance() { ReleaseReferences(); }

HRESULT APGDTTolerance::IsZoneDirectionSet(int* isSet)
{
    const bool zero = m_zoneDirection[0] == 0.0 && m_zoneDirection[1] == 0.0 && m_zoneDirection[2] == 0.0;
    return CopyOut(zero ? 0 : 1, isSet);
}

HRESULT APGDTTolerance::GetZoneDirection(double* x, double* y, double* z) { return CopyAllOut(m_zoneDirection, x, y, z); }

HRESULT APGDTTolerance::SetZoneDirection(double x, double y, double z) { return StoreAll(m_zoneDirection, x, y, z); }

HRESULT APGDTTolerance::GetZoneModifier(APModifierType* modifier) { return CopyEnum(m_zoneModifier, modifier); }

HRESULT APGDTTolerance::SetZoneModifier(APModifierType modifier) { return Store(m_zoneModifier, static_cast<int>(modifier)); }

HRESULT APGDTTolerance::GetZoneShape(APTolZoneShapeType* shape) { return CopyEnum(m_zoneShape, shape); }

HRESULT APGDTTolerance::SetZoneShape(APTolZoneShapeType shape) { return Store(m_zoneShape, static_cast<int>(shape)); }

HRESULT APGDTTolerance::GetZoneSize(double* size) { return CopyOut(m_zoneSize, size); }

HRESULT APGDTTolerance::SetZoneSize(double size) { return Store(m_zoneSize, size); }

HRESULT APGDTTolerance::GetGDTType(APTolCalloutType* type) { return CopyEnum(m_gdtType, type); }

HRESULT APGDTTolerance::SetGDTType(APTolCalloutType type) { return Store(m_gdtType, static_cast<int>(type)); }

HRESULT APGDTTolerance::SetCompositeType(APCompositeType type) { return Store(m_compositeType, static_cast<int>(type)); }

HRESULT APGDTTolerance::GetCompositeType(APCompositeType* type) { return CopyEnum(m_compositeType, type); }

HRESULT APGDTTolerance::SetCompositeZoneSize(double size) { return Store(m_compositeZoneSize, size); }

HRESULT APGDTTolerance::GetCompositeZoneSize(double* size) { return CopyOut(m_compositeZoneSize, size); }

HRESULT APGDTTolerance::GetZoneShift(double* shift) { return CopyOut(m_zoneShift, shift); }

HRESULT APGDTTolerance::SetZoneShift(double shift) { return Store(m_zoneShift, shift); }

HRESULT APGDTTolerance::GetNominalShift(int* shift) { return CopyOut(m_nominalShift, shift); }

HRESULT APGDTTolerance::SetNominalShift(int shift) { return Store(m_nominalShift, shift); }

HRESULT APGDTTolerance::GetFormRateOfChangeZone(double* zone) { return CopyOut(m_formRateZone, zone); }

HRESULT APGDTTolerance::SetFormRateOfChangeZone(double zone) { return Store(m_formRateZone, zone); }

HRESULT APGDTTolerance::GetHasFormRateOfChange(int* has) { return CopyOut(m_hasFormRate, has); }

HRESULT APGDTTolerance::SetHasFormRateOfChange(int has) { return Store(m_hasFormRate, has); }

HRESULT APGDTTolerance::SetDirectedDimDirectionVector(double x, double y, double z)
{
    return StoreAll(m_directedDirection, x, y, z);
}

HRESULT APGDTTolerance::GetDirectedDimDirectionVector(double* x, double* y, double* z)
{
    return CopyAllOut(m_directedDirection, x, y, z);
}

// ---------------------------------------------------------------------------------------
// APGDTTolerance: frames

HRESULT APGDTTolerance::GetDRF(IAPDRF** frame) { return HandOut(m_drf, frame); }

HRESULT APGDTTolerance::GetCompositeDRF(IAPDRF** frame) { return HandOut(m_compositeDrf, frame); }

HRESULT APGDTTolerance::SetFrame(IAPDRF*& slot, IAPDRF* frame)
{
    IAPDRF* f = Bare<IAPDRF>(frame, IID_IAPDRF);
    if (frame && !f) return E_FAIL;
    IAPElementSink* sink = OwnSinkOf(m_wrapper);
    if (!sink) return E_FAIL;
    IAPDRF* old = slot;
    slot = f;
    // One registration serves both slots: it goes when neither holds the frame.
    if (old && old != m_drf && old != m_compositeDrf) Unwatch(old, sink);
    const bool watched = !f || Watch(f, sink);
    sink->Release();
    return watched ? S_OK : E_FAIL;
}

HRESULT APGDTTolerance::SetDRF(IAPDRF* frame) { return SetFrame(m_drf, frame); }

HRESULT APGDTTolerance::SetCompositeDRF(IAPDRF* frame) { return SetFrame(m_compositeDrf, frame); }

// ---------------------------------------------------------------------------------------
// APGDTTolerance: reference features

HRESULT APGDTTolerance::AppendReferenceFeature(IAPFeature* toleranced, IAPFeature* reference)
{
    if (!reference) {
        m_references.Append(Reference{nullptr, 0});
        return S_OK;
    }
    IAPFeature* f = Query<IAPFeature>(reference, IID_IAPFeature);
    if (!f) return E_FAIL;
    IAPElementSink* sink = toleranced ? OwnSinkOf(m_wrapper) : nullptr;
    if ((toleranced && !sink) || !ChangeReferenceUse(f, true)) {
        if (sink) sink->Release();
        f->Release();
        return E_FAIL; // a refused append leaves no entry
    }
    m_references.Append(Reference{f, 1}); // the query's reference becomes the entry's
    bool watched = true;
    if (sink) {
        watched = Watch(f, sink);
        sink->Release();
    }
    return watched ? S_OK : E_FAIL;
}

HRESULT APGDTTolerance::GetReferenceFeature(int index, IAPFeature** feature)
{
    if (m_references.Count() == 0) return S_OK;
    if (!feature || index < 0 || index >= m_references.Count()) return E_FAIL;
    return HandOut(m_references[index].feature, feature);
}

HRESULT APGDTTolerance::GetNumReferenceFeatures(int* count) { return CopyOut(m_references.Count(), count); }

HRESULT APGDTTolerance::TakeOut(int index)
{
    const Reference entry = m_references[index];
    if (!entry.feature) {
        m_references.RemoveAt(index);
        return S_OK;
    }
    IAPElementSink* sink = OwnSinkOf(m_wrapper);
    if (!sink) return E_FAIL;
    m_references.RemoveAt(index);
    bool listed = false;
    for (int i = 0; i < m_references.Count() && !listed; ++i) listed = m_references[i].feature == entry.feature;
    // Unregistered and uncounted before the list's reference goes, which may end the feature.
    if (!listed) Unwatch(entry.feature, sink);
    sink->Release();
    if (entry.held) {
        ChangeReferenceUse(entry.feature, false);
        entry.feature->Release();
    }
    return S_OK;
}

HRESULT APGDTTolerance::RemoveReferenceFeature(IAPFeature* feature)
{
    if (!feature) return S_OK;
    IAPFeature* f = Bare<IAPFeature>(feature, IID_IAPFeature);
    for (int i = 0; f && i < m_references.Count(); ++i)
        if (m_references[i].feature == f) return TakeOut(i);
    // Not listed: a registration left over is withdrawn all the same.
    IAPElementSink* sink = OwnSinkOf(m_wrapper);
    if (!sink) return E_FAIL;
    Unwatch(feature, sink);
    sink->Release();
    return S_OK;
}

HRESULT APGDTTolerance::RemoveReferenceFeatureByIndex(int index)
{
    if (index < 0 || index >= m_references.Count()) return E_FAIL;
    return TakeOut(index);
}

void APGDTTolerance::ReleaseReferences()
{
    std::vector<Reference> gone(m_references.Data(), m_references.Data() + m_references.GetCount());
    m_references.RemoveAll();
    for (const Reference& r : gone) {
        if (!r.feature || !r.held) continue;
        ChangeReferenceUse(r.feature, false);
        r.feature->Release();
    }
}

void APGDTTolerance::UnwatchAndReleaseReferences()
{
    if (IAPElementSink* sink = OwnSinkOf(m_wrapper)) {
        for (int i = 0; i < m_references.Count(); ++i)
            if (IAPFeature* f = m_references[i].feature) Unwatch(f, sink);
        sink->Release();
    }
    ReleaseReferences();
}

void APGDTTolerance::ReleaseLinks()
{
    APTolerance::ReleaseLinks();
    UnwatchAndReleaseReferences();
    m_storedReferences.Clear();
    m_storedDrf.Clear();
    m_storedCompositeDrf.Clear();
    m_linksPending = false;
}

// ---------------------------------------------------------------------------------------
// APGDTTolerance: destruction of members and of the tolerance

HRESULT APGDTTolerance::Notify(unsigned long command, IAPElement* element)
{
    if (!m_wrapper) return E_FAIL;
    if (command != 3 || !element) return S_OK;
    // Through the interfaces, so that each change is announced like any other.
    if (IAPDRF* frame = Bare<IAPDRF>(element, IID_IAPDRF)) {
        if (frame == m_drf) {
            if (IAPGDTTolerance* own = Query<IAPGDTTolerance>(m_wrapper, IID_IAPGDTTolerance)) {
                own->SetDRF(nullptr);
                own->Release();
            }
        }
        if (frame == m_compositeDrf) {
            if (IAPGDTTolerance2* own = Query<IAPGDTTolerance2>(m_wrapper, IID_IAPGDTTolerance2)) {
                own->SetCompositeDRF(nullptr);
                own->Release();
            }
        }
    }
    if (IAPFeature* feature = Bare<IAPFeature>(element, IID_IAPFeature)) {
        IAPGDTTolerance5* own = Query<IAPGDTTolerance5>(m_wrapper, IID_IAPGDTTolerance5);
        if (own) {
            // Each call takes out one entry; the bound keeps a refusing call from looping.
            for (int n = m_references.Count(); n > 0; --n) {
                bool listed = false;
                for (int i = 0; i < m_references.Count() && !listed; ++i) listed = m_references[i].feature == feature;
                if (!listed || own->RemoveReferenceFeature(feature) != S_OK) break;
            }
            own->Release();
        }
    }
    return S_OK;
}

HRESULT APGDTTolerance::NotifyDeletion()
{
    if (!m_wrapper) return E_FAIL;
    IAPElementSink* sink = OwnSinkOf(m_wrapper);
    bool unhooked = sink != nullptr;
    if (sink) {
        if (m_drf && !Unwatch(m_drf, sink)) unhooked = false;
        if (m_compositeDrf && m_compositeDrf != m_drf && !Unwatch(m_compositeDrf, sink)) unhooked = false;
        sink->Release();
    }
    m_drf = m_compositeDrf = nullptr;
    // One walk from the end: null entries are dropped, the others leave through the interface.
    IAPGDTTolerance5* own = Query<IAPGDTTolerance5>(m_wrapper, IID_IAPGDTTolerance5);
    for (int i = m_references.Count() - 1; i >= 0; --i) {
        if (i >= m_references.Count()) continue;
        IAPFeature* f = m_references[i].feature;
        if (!f) m_references.RemoveAt(i);
        else if (own) own->RemoveReferenceFeature(f);
    }
    if (own) own->Release();
    ReleaseReferences(); // whatever refused to leave
    return APTolerance::NotifyDeletion() >= 0 && unhooked ? S_OK : E_FAIL;
}

// ---------------------------------------------------------------------------------------
// APGDTTolerance: block

HRESULT APGDTTolerance::Serialize(WmObjectStream* stream)
{
    if (APTolerance::Serialize(stream) < 0) return E_FAIL;
    WmObjectStream& s = *stream;
    int directionSet = 0;
    IsZoneDirectionSet(&directionSet);
    bool ok = s.write(kBlockVersion) && s.write(m_zoneModifier) && s.write(m_zoneShape) && s.write(m_zoneSize) &&
              s.write(m_gdtType) && s.write(directionSet);
    if (directionSet) ok = ok && s.write(m_zoneDirection[0]) && s.write(m_zoneDirection[1]) && s.write(m_zoneDirection[2]);
    ok = ok && s.write(m_drf ? 1 : 0) && (!m_drf || WriteElementRef(s, m_drf)) && s.write(m_compositeType);
    if (m_compositeType != 1)
        ok = ok && s.write(m_compositeZoneSize) && s.write(m_compositeDrf ? 1 : 0) &&
             (!m_compositeDrf || WriteElementRef(s, m_compositeDrf));
    ok = ok && s.write(m_zoneShift) && s.write(m_nominalShift) && s.write(m_hasFormRate) && s.write(m_formRateZone) &&
         s.write(m_directedDirection[0]) && s.write(m_directedDirection[1]) && s.write(m_directedDirection[2]) &&
         s.write(m_references.Count());
    for (int i = 0; ok && i < m_references.Count(); ++i) ok = WriteElementRef(s, m_references[i].feature);
    return ok ? S_OK : E_FAIL;
}

HRESULT APGDTTolerance::Deserialize(WmObjectStream* stream)
{
    if (APTolerance::Deserialize(stream) < 0) return E_FAIL;
    WmObjectStream& s = *stream;
    int version = 0, modifier = 0, shape = 0, type = 0, directionSet = 0, drfSet = 0, drf = 0;
    double size = 0.0, direction[3] = {0.0, 0.0, 0.0};
    if (!s.read(version) || !s.read(modifier) || !s.read(shape) || !s.read(size) || !s.read(type) ||
        !s.read(directionSet))
        return E_FAIL;
    if (directionSet && (!s.read(direction[0]) || !s.read(direction[1]) || !s.read(direction[2]))) return E_FAIL;
    if (!s.read(drfSet) || (drfSet && !s.read(drf))) return E_FAIL;
    if (version < 2) drf = 0; // the first format's frame number names nothing usable

    int compositeType = 1, compositeSet = 0, composite = 0, nominal = 0, hasRate = 0;
    double compositeSize = 0.0, shift = 0.0, rateZone = 0.0;
    if (version >= 3) {
        if (!s.read(compositeType)) return E_FAIL;
        if (compositeType != 1 &&
            (!s.read(compositeSize) || !s.read(compositeSet) || (compositeSet && !s.read(composite))))
            return E_FAIL;
    }
    if (version >= 4 && (!s.read(shift) || !s.read(nominal))) return E_FAIL;
    if (version >= 5 && (!s.read(hasRate) || !s.read(rateZone))) return E_FAIL;
    double directed[3] = {m_directedDirection[0], m_directedDirection[1], m_directedDirection[2]};
    std::vector<int> references;
    bool readReferences = false;
    if (version >= 6) {
        int count = 0;
        if (!s.read(directed[0]) || !s.read(directed[1]) || !s.read(directed[2]) || !s.read(count) ||
            !ReadElementRefs(s, count, references))
            return E_FAIL;
        readReferences = true;
    }

    m_zoneModifier = modifier;
    m_zoneShape = shape;
    m_zoneSize = size;
    m_gdtType = type;
    StoreAll(m_zoneDirection, direction[0], direction[1], direction[2]);
    m_compositeType = compositeType;
    m_compositeZoneSize = compositeSize;
    m_zoneShift = shift;
    m_nominalShift = nominal;
    m_hasFormRate = hasRate;
    m_formRateZone = rateZone;
    StoreAll(m_directedDirection, directed[0], directed[1], directed[2]);
    m_storedDrf.Request(s, {drfSet ? drf : 0});
    m_storedCompositeDrf.Request(s, {compositeSet ? composite : 0});
    if (readReferences) m_storedReferences.Request(s, references);
    else m_storedReferences.Clear();
    m_linksPending = true;
    return S_OK;
}

HRESULT APGDTTolerance::FixupLists()
{
    if (APTolerance::FixupLists() < 0) return E_FAIL;
    if (!m_linksPending) return S_OK;
    m_linksPending = false;
    HRESULT hr = S_OK;
    for (auto [stored, slot] : {std::pair{&m_storedDrf, &m_drf}, std::pair{&m_storedCompositeDrf, &m_compositeDrf}}) {
        IAPElement* read = Single(*stored);
        if (read && FAILED(SetFrame(*slot, Bare<IAPDRF>(read, IID_IAPDRF)))) hr = E_FAIL;
        if (read && !*slot) hr = E_FAIL;
        stored->Clear();
    }
    if (m_storedReferences.Count() > 0) {
        ReleaseReferences();
        IAPElementSink* sink = OwnSinkOf(m_wrapper);
        if (!sink) hr = E_FAIL;
        for (int i = 0; sink && i < m_storedReferences.Count(); ++i) {
            IAPElement* read = m_storedReferences[i];
            if (!read) {
                m_references.Append(Reference{nullptr, 0});
                continue;
            }
            IAPFeature* f = Query<IAPFeature>(read, IID_IAPFeature);
            if (!f || !ChangeReferenceUse(f, true)) {
                if (f) f->Release();
                hr = E_FAIL;
                break;
            }
            m_references.Append(Reference{f, 1});
            if (!Watch(f, sink)) hr = E_FAIL;
        }
        if (sink) sink->Release();
    }
    m_storedReferences.Clear();
    return hr;
}

// ---------------------------------------------------------------------------------------
// APGDTTolerance: copies

HRESULT APGDTTolerance::Clone(IAPElement* target)
{
    APGDTTolerance* copy = CloneTargetOf<APGDTTolerance>(target, RUNTIME_CLASS(APGDTTolerance));
    if (!copy) return E_FAIL;
    if (copy == this) return S_OK;
    copy->APTolerance::operator=(*this);
    copy->m_zoneSize = m_zoneSize;
    copy->m_gdtType = m_gdtType;
    copy->m_zoneModifier = m_zoneModifier;
    copy->m_zoneShape = m_zoneShape;
    StoreAll(copy->m_zoneDirection, m_zoneDirection[0], m_zoneDirection[1], m_zoneDirection[2]);
    IAPDocument* doc = CopyDocument(copy->m_docSink);
    // The copy map fills the frames and features and watches them for the copy.
    auto mapFrame = [&](IAPDRF* from, IAPDRF*& slot) {
        if (!from) return;
        if (slot) copy->SetFrame(slot, nullptr);
        MapThroughCopy(doc, copy->m_wrapper, IID_IAPDRF, from, reinterpret_cast<void**>(&slot));
    };
    mapFrame(m_drf, copy->m_drf);
    copy->m_compositeZoneSize = m_compositeZoneSize;
    copy->m_compositeType = m_compositeType;
    mapFrame(m_compositeDrf, copy->m_compositeDrf);
    copy->m_zoneShift = m_zoneShift;
    copy->m_nominalShift = m_nominalShift;
    copy->m_formRateZone = m_formRateZone;
    copy->m_hasFormRate = m_hasFormRate;
    StoreAll(copy->m_directedDirection, m_directedDirection[0], m_directedDirection[1], m_directedDirection[2]);

    // The copy's own entries give way; sized once, so that slots filled later stay put.
    copy->UnwatchAndReleaseReferences();
    copy->m_references.SetSize(m_references.GetCount());
    for (int i = 0; i < m_references.Count(); ++i) {
        if (!m_references[i].feature) continue;
        Reference& entry = copy->m_references[i];
        MapThroughCopy(doc, copy->m_wrapper, IID_IAPFeature, m_references[i].feature,
                       reinterpret_cast<void**>(&entry.feature));
        // Filled at once: the entry counts now. Filled later: it counts when the copy ends.
        HoldFilled(entry);
    }
    if (doc) doc->Release();
    return S_OK;
}

void APGDTTolerance::HoldFilled(Reference& entry)
{
    if (!entry.feature || entry.held || !ChangeReferenceUse(entry.feature, true)) return;
    entry.feature->AddRef();
    entry.held = 1;
}

HRESULT APGDTTolerance::CleanUpCopyList()
{
    // Entries the copy map filled after the copy asked hold their feature like any other, so
    // the count in memory is what a reopened document counts.
    for (int i = 0; i < m_references.Count(); ++i) HoldFilled(m_references[i]);
    return S_OK;
}
