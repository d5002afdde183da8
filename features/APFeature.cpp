#include "features/APFeature.h"
#include "features/APPointFeature.h"

#include <objbase.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "model/APElementLinks.h"
#include "model/APComQuery.h"
#include "model/APFieldAccess.h"
#include "platform/IHbUtility.h"

IMPLEMENT_DYNAMIC(APFeature, APGeometryNode)

bool APFeature::SetDependent(IUnknown* feature, IAPElementSink* sink, bool add)
{
    IAPElement* element = Query<IAPElement>(feature, IID_IAPElement);
    if (!element) return false;
    const HRESULT hr = add ? element->AddDependent(sink) : element->RemoveDependent(sink);
    element->Release();
    return SUCCEEDED(hr);
}

APFeature::APFeature() { APMatrix4d::SetIdentity(m_transform); }

APFeature::~APFeature()
{
    // A tolerance that outlives its feature forgets it.
    ReleaseTolerances();
    m_tolerances.Release();
    for (int i = 0; i < m_related.Count(); ++i)
        if (m_related[i]) m_related[i]->Release();
    m_related.Release();
    ReleaseAndNull(m_linked);
    ReleaseAndNull(m_owner);
    ReleaseGeometry();
    ReleaseAndNull(m_utility);
}

IAPElementSink* APFeature::OwnSink() const
{
    return m_wrapper ? Query<IAPElementSink>(m_wrapper, IID_IAPElementSink) : nullptr;
}

// ---------------------------------------------------------------------------------------
// Plain fields

HRESULT APFeature::GetTransformation(double transform[16])
{
    if (!transform) return E_FAIL;
    std::memcpy(transform, m_transform.m, sizeof m_transform.m);
    return S_OK;
}

HRESULT APFeature::SetTransformation(const double transform[16])
{
    if (!transform) return E_FAIL;
    APMatrix4d::SetFromArray(m_transform, transform);
    return S_OK;
}

HRESULT APFeature::IsFeatureTransparencySet(long* isSet) { return CopyOut(long{m_transparency >= 0.0}, isSet); }

HRESULT APFeature::IsFeatureColorSet(long* isSet) { return CopyOut(long{m_color[0] >= 0.0}, isSet); }

HRESULT APFeature::GetFeatureTransparency(double* transparency) { return CopyOut(m_transparency, transparency); }

HRESULT APFeature::GetFeatureColor(double* r, double* g, double* b) { return CopyAllOut(m_color, r, g, b); }

HRESULT APFeature::SetFeatureTransparency(double transparency) { return Store(m_transparency, transparency); }

HRESULT APFeature::SetFeatureColor(double r, double g, double b) { return StoreAll(m_color, r, g, b); }

HRESULT APFeature::GetIsValid(long* isValid) { return CopyOut(m_isValid, isValid); }

HRESULT APFeature::SetIsValid(long isValid) { return Store(m_isValid, isValid); }

HRESULT APFeature::GetBasedOnRealGeometry(long* realGeometry) { return CopyOut(m_basedOnRealGeometry, realGeometry); }

HRESULT APFeature::SetBasedOnRealGeometry(long realGeometry) { return Store(m_basedOnRealGeometry, realGeometry); }

HRESULT APFeature::SetSizeDistributionType(APDistribType type) { return Store(m_size.type, type); }
HRESULT APFeature::SetFormDistributionType(APDistribType type) { return Store(m_form.type, type); }
HRESULT APFeature::SetLocOrtDistributionType(APDistribType type) { return Store(m_locOrt.type, type); }
HRESULT APFeature::GetSizeDistributionType(APDistribType* type) { return CopyOut(m_size.type, type); }
HRESULT APFeature::GetFormDistributionType(APDistribType* type) { return CopyOut(m_form.type, type); }
HRESULT APFeature::GetLocOrtDistributionType(APDistribType* type) { return CopyOut(m_locOrt.type, type); }

HRESULT APFeature::SetValues(Distribution& d, double skew, double kurtosis)
{
    if (d.type != AP_DISTRIB_TYPE_PEARSON) return E_FAIL;
    d.skew = skew;
    d.kurtosis = kurtosis;
    return S_OK;
}

HRESULT APFeature::GetValues(const Distribution& d, double* skew, double* kurtosis)
{
    if (d.type != AP_DISTRIB_TYPE_PEARSON || !skew || !kurtosis) return E_FAIL;
    *skew = d.skew;
    *kurtosis = d.kurtosis;
    return S_OK;
}

HRESULT APFeature::SetPearson(Distribution& d, double v1, double v2, double skew, double kurtosis)
{
    if (d.type != AP_DISTRIB_TYPE_PEARSON) return E_FAIL;
    StoreAll(d.pearson, v1, v2);
    return SetValues(d, skew, kurtosis);
}

HRESULT APFeature::GetPearson(const Distribution& d, double* v1, double* v2, double* skew, double* kurtosis)
{
    if (d.type != AP_DISTRIB_TYPE_PEARSON || !skew || !kurtosis) return E_FAIL;
    if (CopyAllOut(d.pearson, v1, v2) < 0) return E_FAIL;
    return GetValues(d, skew, kurtosis);
}

HRESULT APFeature::SetSizeDistributionValues(double s, double k) { return SetValues(m_size, s, k); }
HRESULT APFeature::SetFormDistributionValues(double s, double k) { return SetValues(m_form, s, k); }
HRESULT APFeature::SetLocOrtDistributionValues(double s, double k) { return SetValues(m_locOrt, s, k); }
HRESULT APFeature::GetSizeDistributionValues(double* s, double* k) { return GetValues(m_size, s, k); }
HRESULT APFeature::GetFormDistributionValues(double* s, double* k) { return GetValues(m_form, s, k); }
HRESULT APFeature::GetLocOrtDistributionValues(double* s, double* k) { return GetValues(m_locOrt, s, k); }

HRESULT APFeature::SetSizePearsonValues(double a, double b, double s, double k) { return SetPearson(m_size, a, b, s, k); }
HRESULT APFeature::SetFormPearsonValues(double a, double b, double s, double k) { return SetPearson(m_form, a, b, s, k); }
HRESULT APFeature::SetLocOrtPearsonValues(double a, double b, double s, double k)
{
    return SetPearson(m_locOrt, a, b, s, k);
}
HRESULT APFeature::GetSizePearsonValues(double* a, double* b, double* s, double* k) { return GetPearson(m_size, a, b, s, k); }
HRESULT APFeature::GetFormPearsonValues(double* a, double* b, double* s, double* k) { return GetPearson(m_form, a, b, s, k); }
HRESULT APFeature::GetLocOrtPearsonValues(double* a, double* b, double* s, double* k)
{
    return GetPearson(m_locOrt, a, b, s, k);
}

HRESULT APFeature::SetVariationSource(int source) { return Store(m_variationSource, source); }
HRESULT APFeature::GetVariationSource(int* source) { return CopyOut(m_variationSource, source); }
HRESULT APFeature::SetVariationSetting(int setting) { return Store(m_variationSetting, setting); }
HRESULT APFeature::GetVariationSetting(int* setting) { return CopyOut(m_variationSetting, setting); }

HRESULT APFeature::GetEffectiveVariationSetting(int fallback, int* setting)
{
    return CopyOut(m_variationSource == 1 ? fallback : m_variationSetting, setting);
}

HRESULT APFeature::SetOptionFlag(int flag) { return Store(m_optionFlag, flag); }
HRESULT APFeature::GetOptionFlag(int* flag) { return CopyOut(m_optionFlag, flag); }

HRESULT APFeature::SetOptionPair(int first, unsigned int second)
{
    m_optionPair = first;
    m_optionPair2 = second;
    return S_OK;
}

HRESULT APFeature::GetOptionPair(int* first, unsigned int* second)
{
    if (!first || !second) return E_FAIL;
    *first = m_optionPair;
    *second = m_optionPair2;
    return S_OK;
}

HRESULT APFeature::SetGeometrySource(int source)
{
    m_geometrySource = source;
    if (source == 2) std::vector<int>().swap(m_parts);
    return S_OK;
}

HRESULT APFeature::GetGeometrySource(int* source) { return CopyOut(m_geometrySource, source); }
HRESULT APFeature::SetIntAttribute1(int value) { return Store(m_intAttribute1, value); }
HRESULT APFeature::GetIntAttribute1(int* value) { return CopyOut(m_intAttribute1, value); }
HRESULT APFeature::SetIntAttribute2(int value) { return Store(m_intAttribute2, value); }
HRESULT APFeature::GetIntAttribute2(int* value) { return CopyOut(m_intAttribute2, value); }

HRESULT APFeature::SetHbBody(int tag)
{
    m_body = tag;
    APMatrix4d::SetIdentity(m_transform);
    m_basedOnRealGeometry = 1;
    m_geometrySource = 2;
    return S_OK;
}

HRESULT APFeature::AppendHbPart(int tag)
{
    m_parts.push_back(tag);
    APMatrix4d::SetIdentity(m_transform);
    m_basedOnRealGeometry = 1;
    m_geometrySource = 2;
    return S_OK;
}

HRESULT APFeature::GetNumHbParts(int* count) { return CopyOut(static_cast<int>(m_parts.size()), count); }

HRESULT APFeature::SetIsDefault(int isDefault) { return Store(m_isDefault, isDefault); }
HRESULT APFeature::GetIsDefault(int* isDefault) { return CopyOut(m_isDefault, isDefault); }
HRESULT APFeature::SetRelatedOwnerFlag(int flag) { return Store(m_relatedOwnerFlag, flag); }
HRESULT APFeature::GetRelatedOwnerFlag(int* flag) { return CopyOut(m_relatedOwnerFlag, flag); }
HRESULT APFeature::SetRelatedMemberFlag(int flag) { return Store(m_relatedMemberFlag, flag); }
HRESULT APFeature::GetRelatedMemberFlag(int* flag) { return CopyOut(m_relatedMemberFlag, flag); }

HRESULT APFeature::IncrementReferenceUse()
{
    ++m_referenceUse;
    return S_OK;
}

HRESULT APFeature::DecrementReferenceUse()
{
    --m_referenceUse;
    return S_OK;
}

HRESULT APFeature::IsUsedAsReference(long* isUsed) { return CopyOut(long{m_referenceUse > 0}, isUsed); }

// ---------------------------------------------------------------------------------------
// Tolerances

HRESULT APFeature::AddTolerance(IAPTolerance* tolerance)
{
    if (!tolerance) return E_FAIL;
    if (m_tolerances.Contains(tolerance)) return S_OK;
    IAPFeature* own = m_wrapper ? Query<IAPFeature>(m_wrapper, IID_IAPFeature) : nullptr;
    if (!own) return E_FAIL;
    const HRESULT hr = tolerance->SetToleranceFeature(own);
    own->Release();
    if (FAILED(hr)) return E_FAIL;
    tolerance->AddRef();
    m_tolerances.Append(tolerance);
    return S_OK;
}

HRESULT APFeature::RemoveToleranceByIndex(int index)
{
    if (index < 0 || index >= m_tolerances.Count()) return E_FAIL;
    IAPTolerance* tolerance = m_tolerances[index];
    if (tolerance && FAILED(tolerance->SetToleranceFeature(nullptr))) return E_FAIL;
    m_tolerances.RemoveAt(index);
    if (tolerance) tolerance->Release();
    return S_OK;
}

HRESULT APFeature::RemoveTolerance(IAPTolerance* tolerance)
{
    int index = -1;
    if (!tolerance || !m_tolerances.Find(tolerance, &index)) return S_OK;
    return RemoveToleranceByIndex(index);
}

HRESULT APFeature::GetTolerance(int index, IAPTolerance** tolerance)
{
    if (index < 0 || index >= m_tolerances.Count()) return E_FAIL;
    return HandOut(m_tolerances[index], tolerance);
}

HRESULT APFeature::GetNumTolerances(int* count) { return CopyOut(m_tolerances.Count(), count); }

void APFeature::ReleaseTolerances()
{
    for (int i = 0; i < m_tolerances.Count(); ++i) {
        if (!m_tolerances[i]) continue;
        m_tolerances[i]->SetToleranceFeature(nullptr);
        m_tolerances[i]->Release();
    }
    m_tolerances.RemoveAll();
}

// ---------------------------------------------------------------------------------------
// Related, linked and owner links

HRESULT APFeature::AppendRelatedElement(IAPFeature* element)
{
    IAPElementSink* sink = OwnSink();
    if (!sink) return E_FAIL;
    m_related.Append(element);
    if (element) {
        element->AddRef();
        SetDependent(element, sink, true);
    }
    sink->Release();
    return S_OK;
}

HRESULT APFeature::GetNumRelatedElements(int* count) { return CopyOut(m_related.Count(), count); }

HRESULT APFeature::GetRelatedElement(int index, IAPFeature** element)
{
    if (index < 0 || index >= m_related.Count()) return E_FAIL;
    return HandOut(m_related[index], element);
}

HRESULT APFeature::RemoveRelatedElement(IAPFeature* element)
{
    int index = -1;
    if (!element || !m_related.Find(element, &index)) return S_OK;
    return RemoveRelatedElementByIndex(index);
}

HRESULT APFeature::RemoveRelatedElementByIndex(int index)
{
    if (index < 0 || index >= m_related.Count()) return E_FAIL;
    IAPElementSink* sink = OwnSink();
    if (!sink) return E_FAIL;
    IAPFeature* element = m_related[index];
    m_related.RemoveAt(index);
    if (element && !m_related.Contains(element)) SetDependent(element, sink, false);
    sink->Release();
    if (m_related.Count() == 0) m_relatedOwnerFlag = 0;
    if (element) {
        // The reference of the entry keeps the member alive until it has been told.
        if (IAPFeature7* member = Query<IAPFeature7>(element, IID_IAPFeature7)) {
            member->SetRelatedMemberFlag(0);
            member->SetRelatedOwner(nullptr);
            member->Release();
        }
        element->Release();
    }
    return S_OK;
}

HRESULT APFeature::SetLink(IAPFeature*& field, IAPFeature* element)
{
    IAPElementSink* sink = OwnSink();
    if (!sink) return E_FAIL;
    // The new reference is taken first: the old and the new one may be the same element.
    if (element) element->AddRef();
    IAPFeature* old = field;
    if (old) SetDependent(old, sink, false);
    field = element;
    if (element) SetDependent(element, sink, true);
    sink->Release();
    if (old) old->Release();
    return S_OK;
}

void APFeature::ReleaseLinks()
{
    APGeometryNode::ReleaseLinks();
    IAPElementSink* sink = OwnSink();
    std::vector<IAPFeature*> gone(m_related.Data(), m_related.Data() + m_related.GetCount());
    m_related.RemoveAll();
    for (IAPFeature** field : {&m_linked, &m_owner}) {
        gone.push_back(*field);
        *field = nullptr;
    }
    // Unregistered before the releases, which may end the elements.
    for (IAPFeature* element : gone)
        if (element && sink) SetDependent(element, sink, false);
    if (sink) sink->Release();
    for (IAPFeature* element : gone)
        if (element) element->Release();
    m_pendingRelated.Clear();
    m_pendingLinks.Clear();
    m_linksPending = false;
    for (int i = 0; i < m_tolerances.Count(); ++i)
        if (APElement* tolerance = APElement::FromInterface(m_tolerances[i])) tolerance->ReleaseLinks();
}

HRESULT APFeature::SetLinkedElement(IAPFeature* element) { return SetLink(m_linked, element); }
HRESULT APFeature::GetLinkedElement(IAPFeature** element) { return HandOut(m_linked, element); }
HRESULT APFeature::SetRelatedOwner(IAPFeature* element) { return SetLink(m_owner, element); }
HRESULT APFeature::GetRelatedOwner(IAPFeature** element) { return HandOut(m_owner, element); }

HRESULT APFeature::DetachLinkedElement()
{
    IAPFeature7* own = m_wrapper ? Query<IAPFeature7>(m_wrapper, IID_IAPFeature7) : nullptr;
    IAPElementSink* sink = OwnSink();
    HRESULT hr = E_FAIL;
    if (own && sink) {
        IAPFeature* linked = nullptr;
        if (SUCCEEDED(own->GetLinkedElement(&linked))) {
            if (linked) SetDependent(linked, sink, false);
            ReleaseAndNull(linked);
            hr = S_OK;
        }
    }
    ReleaseAndNull(own);
    ReleaseAndNull(sink);
    return hr;
}

namespace {

// The node's children that are point features, each with a reference; false when a child
// cannot be read.
bool PointChildren(IAPDocument* doc, IAPNode* node, std::vector<IAPNode*>& out)
{
    int count = 0;
    if (FAILED(doc->GetNumChildren(node, &count))) return false;
    for (int i = 0; i < count; ++i) {
        IAPNode* child = nullptr;
        if (FAILED(doc->GetChild(node, i, &child))) return false;
        if (child && Answers(child, IID_IAPPointFeature)) out.push_back(child);
        else ReleaseAndNull(child);
    }
    return true;
}

void ReleaseAll(std::vector<IAPNode*>& nodes)
{
    for (IAPNode*& n : nodes) ReleaseAndNull(n);
    nodes.clear();
}

} // namespace

HRESULT APFeature::UnlinkPointFeaturesFromNode(IAPNode* node)
{
    if (!m_wrapper || !Answers(m_wrapper, IID_IAPFeature7)) return S_OK;
    IAPDocument* doc = nullptr;
    if (GetDocument(&doc) < 0 || !doc) return E_FAIL;
    IAPNode* own = OwnNode();
    IAPElementSink* sink = OwnSink();
    std::vector<IAPNode*> points, others;
    HRESULT hr = own && sink && PointChildren(doc, own, points) ? S_OK : E_FAIL;
    if (SUCCEEDED(hr) && node && !PointChildren(doc, node, others)) hr = E_FAIL;
    for (std::size_t i = 0; SUCCEEDED(hr) && i < points.size(); ++i) {
        IAPFeature7* p = Query<IAPFeature7>(points[i], IID_IAPFeature7);
        IAPFeature* linked = nullptr;
        if (!p || FAILED(p->GetLinkedElement(&linked))) hr = E_FAIL;
        for (std::size_t j = 0; SUCCEEDED(hr) && linked && j < others.size(); ++j) {
            IAPFeature* q = Query<IAPFeature>(others[j], IID_IAPFeature);
            const bool same = q && q == linked;
            ReleaseAndNull(q);
            if (!same) continue;
            p->SetLinkedElement(nullptr);
            SetDependent(linked, sink, false);
        }
        ReleaseAndNull(linked);
        ReleaseAndNull(p);
    }
    ReleaseAll(points);
    ReleaseAll(others);
    ReleaseAndNull(sink);
    ReleaseAndNull(own);
    doc->Release();
    // GetDocument hands the document out with a second reference.
    return hr;
}

// ---------------------------------------------------------------------------------------
// Variation source

namespace {

// The first point feature among the node's children (a sub-feature group searched one
// level deep), with a reference; null when there is none. False when a child cannot be read.
bool FindPointFeature(IAPNode* node, bool descend, IAPPointFeature2** found)
{
    int count = 0;
    if (FAILED(node->GetNumChildren(&count))) return false;
    for (int i = 0; i < count && !*found; ++i) {
        IAPNode* child = nullptr;
        if (FAILED(node->GetChild(i, &child))) return false;
        if (!child) continue;
        *found = Query<IAPPointFeature2>(child, IID_IAPPointFeature2);
        bool ok = true;
        if (!*found && descend && Answers(child, IID_IAPSubFeatureGroupNode)) ok = FindPointFeature(child, false, found);
        child->Release();
        if (!ok) return false;
    }
    return true;
}

} // namespace

HRESULT APFeature::ResolveVariationSource(int fallback, int* source)
{
    if (!source) return E_FAIL;
    const int mode = m_variationSource == 1 ? fallback : m_variationSource;
    if (mode == 2) return Store(*source, 2);
    if (!m_wrapper) return E_FAIL;
    IAPPointFeature2* point = Query<IAPPointFeature2>(m_wrapper, IID_IAPPointFeature2);
    if (!point) {
        IAPFeature* feature = Query<IAPFeature>(m_wrapper, IID_IAPFeature);
        IAPNode* node = Query<IAPNode>(feature, IID_IAPNode);
        ReleaseAndNull(feature);
        if (!node) return E_FAIL;
        const bool ok = FindPointFeature(node, true, &point);
        node->Release();
        if (!ok) {
            ReleaseAndNull(point);
            return E_FAIL;
        }
    }
    if (!point) return Store(*source, 2);
    int result = 2;
    HRESULT hr = S_OK;
    if (mode == 3 || mode == 6) {
        bool loc = false, size = false;
        hr = PointNamesSet(point, true, &loc);
        if (SUCCEEDED(hr) && !loc) hr = PointNamesSet(point, false, &size);
        if (loc || size) result = mode;
    } else if (mode == 4) {
        bool varies = false;
        hr = PointVaries(point, true, &varies);
        if (SUCCEEDED(hr) && !varies) hr = PointVaries(point, false, &varies);
        if (varies) result = 4;
    }
    point->Release();
    if (FAILED(hr)) return E_FAIL;
    return Store(*source, result);
}

HRESULT APFeature::PointVaries(IAPPointFeature2* point, bool size, bool* varies)
{
    double mean = 0, std = 0, skew = 0, kurt = 0;
    int samples = 0;
    double* values = nullptr;
    const HRESULT hr = size ? point->GetPtSizeDistributionValues(&mean, &std, &skew, &kurt, &samples, &values)
                            : point->GetPtLocOrtDistributionValues(&mean, &std, &skew, &kurt, &samples, &values);
    if (values) CoTaskMemFree(values);
    if (FAILED(hr)) return E_FAIL;
    *varies = std::fabs(mean) > 1e-20 || std > 1e-20;
    return S_OK;
}

HRESULT APFeature::PointNamesSet(IAPPointFeature2* point, bool locOrt, bool* set)
{
    // Our own point features answer through their model, so the names are read whole.
    auto* model = dynamic_cast<APPointFeature*>(APNode::NodeOf(point));
    if (!model) return E_FAIL;
    CString file, measurement;
    long modTime = 0;
    const HRESULT hr = locOrt ? model->GetLocOrtXmlFileAndMeasurementName(file, measurement, &modTime)
                              : model->GetSizeXmlFileAndMeasurementName(file, measurement, &modTime);
    if (hr < 0) return E_FAIL;
    *set = !file.IsEmpty() && !measurement.IsEmpty();
    return S_OK;
}

// ---------------------------------------------------------------------------------------
// Going away

HRESULT APFeature::NotifyDependents(unsigned short command)
{
    if (APGeometryNode::NotifyDependents(command) < 0) return E_FAIL;
    // A surface feature lets go of its related features, its linked feature and its owner; a
    // point feature of its linked feature.
    IAPElementSink* sink = OwnSink();
    if (!sink) return S_OK;
    const bool surface = Answers(m_wrapper, IID_IAPSurfaceFeature);
    const bool point = Answers(m_wrapper, IID_IAPPointFeature);
    IAPFeature7* own = (surface || point) ? Query<IAPFeature7>(m_wrapper, IID_IAPFeature7) : nullptr;
    if (own) {
        if (surface) {
            int count = 0;
            if (SUCCEEDED(own->GetNumRelatedElements(&count))) {
                for (int i = 0; i < count; ++i) {
                    IAPFeature* related = nullptr;
                    if (FAILED(own->GetRelatedElement(i, &related)) || !related) continue;
                    SetDependent(related, sink, false);
                    if (IAPFeature7* member = Query<IAPFeature7>(related, IID_IAPFeature7)) {
                        member->SetRelatedMemberFlag(0);
                        member->Release();
                    }
                    related->Release();
                }
            }
        }
        IAPFeature* linked = nullptr;
        if (SUCCEEDED(own->GetLinkedElement(&linked)) && linked) SetDependent(linked, sink, false);
        ReleaseAndNull(linked);
        if (surface) {
            IAPFeature* owner = nullptr;
            if (SUCCEEDED(own->GetRelatedOwner(&owner)) && owner) SetDependent(owner, sink, false);
            ReleaseAndNull(owner);
        }
        own->Release();
    }
    sink->Release();
    return S_OK;
}

HRESULT APFeature::NotifyDeletion()
{
    // Whatever the kind, the features this one watches must not keep it as a dependent once
    // it is gone.
    if (IAPElementSink* sink = OwnSink()) {
        for (int i = 0; i < m_related.Count(); ++i)
            if (m_related[i]) SetDependent(m_related[i], sink, false);
        if (m_linked) SetDependent(m_linked, sink, false);
        if (m_owner) SetDependent(m_owner, sink, false);
        sink->Release();
    }
    return APGeometryNode::NotifyDeletion();
}
