#include "operations/APCondition.h"

#include "model/APElementLinks.h"
#include "model/APFieldAccess.h"
#include "platform/toolkit/WmObjectStream.h"

IMPLEMENT_DYNAMIC(APCondition, APElement)

APCondition::~APCondition()
{
    Drop(m_meas1);
    Drop(m_meas2);
}

void APCondition::Drop(Measurement& m)
{
    IAPOperation* operation = m.operation;
    IAPElement* element = m.element;
    m.operation = nullptr;
    m.element = nullptr;
    m.type = AP_TYPE_UNKNOWN;
    if (element) element->Release();
    if (operation) operation->Release();
}

// ---------------------------------------------------------------------------------------
// Measurements

// The new measurement's reference is taken before the old one goes (they may be one object),
// and the old one is left as a dependent before its release.
HRESULT APCondition::Set(Measurement& m, IAPOperation* operation)
{
    if (operation) operation->AddRef();
    IAPElementSink* sink = OwnSinkOf(m_wrapper);
    if (m.operation && sink) Unwatch(m.operation, sink);
    Drop(m);
    m.operation = operation;
    bool watched = !operation;
    if (operation && sink) watched = Watch(operation, sink);
    if (sink) sink->Release();
    return watched ? S_OK : E_FAIL;
}

HRESULT APCondition::Get(const Measurement& m, IAPOperation** operation) const
{
    if (!operation || !m.operation) return E_FAIL;
    return HandOut(m.operation, operation);
}

HRESULT APCondition::GetElement(Measurement& m, IAPElement** element, APMeasType* type)
{
    if (!element || !type || !m.operation) return E_FAIL;
    if (!m.element) {
        m.element = Query<IAPElement>(m.operation, IID_IAPElement);
        if (!m.element) return E_FAIL;
    }
    if (m.type == AP_TYPE_UNKNOWN) {
        if (Answers(m.operation, IID_IAPMeasurementOperation)) {
            m.type = AP_TYPE_REGULAR;
        } else if (IAPCustomOperation* custom = Query<IAPCustomOperation>(m.operation, IID_IAPCustomOperation)) {
            APCustomType kind{};
            if (SUCCEEDED(custom->GetCustomOpType(&kind)) && kind == AP_CUSTOM_MEAS) m.type = AP_TYPE_CUSTOM;
            custom->Release();
        }
    }
    *type = m.type;
    return HandOut(m.element, element);
}

HRESULT APCondition::Remove(Measurement& m, IAPOperation* operation)
{
    if (!operation) return E_FAIL;
    IAPElementSink* sink = OwnSinkOf(m_wrapper);
    if (!sink) return E_FAIL;
    if (!Answers(operation, IID_IAPElement)) {
        sink->Release();
        return E_FAIL;
    }
    // The stored measurement goes whichever operation is given; the condition stops watching
    // both, so that no registration outlives the condition.
    Unwatch(operation, sink);
    if (m.operation && Identity(m.operation) != Identity(operation)) Unwatch(m.operation, sink);
    sink->Release();
    Drop(m);
    return S_OK;
}

HRESULT APCondition::SetMeasurement1(IAPOperation* measurement) { return Set(m_meas1, measurement); }
HRESULT APCondition::GetMeasurement1(IAPOperation** measurement) { return Get(m_meas1, measurement); }
HRESULT APCondition::GetMeasurement1Element(IAPElement** element, APMeasType* type)
{
    return GetElement(m_meas1, element, type);
}
HRESULT APCondition::RemoveMeasurement1(IAPOperation* measurement) { return Remove(m_meas1, measurement); }
HRESULT APCondition::SetMeasurement2(IAPOperation* measurement) { return Set(m_meas2, measurement); }
HRESULT APCondition::GetMeasurement2(IAPOperation** measurement) { return Get(m_meas2, measurement); }
HRESULT APCondition::GetMeasurement2Element(IAPElement** element, APMeasType* type)
{
    return GetElement(m_meas2, element, type);
}
HRESULT APCondition::RemoveMeasurement2(IAPOperation* measurement) { return Remove(m_meas2, measurement); }

// ---------------------------------------------------------------------------------------
// Values and the operation link

HRESULT APCondition::SetValue(double value) { return Store(m_value, value); }
HRESULT APCondition::GetValue(double* value) { return CopyOut(m_value, value); }
HRESULT APCondition::SetComparisonOperator(APComparisonOperator op) { return Store(m_comparison, op); }
HRESULT APCondition::GetComparisonOperator(APComparisonOperator* op) { return CopyOut(m_comparison, op); }
HRESULT APCondition::SetLogicalOperator(APLogicalOperator op) { return Store(m_logical, op); }
HRESULT APCondition::GetLogicalOperator(APLogicalOperator* op) { return CopyOut(m_logical, op); }
HRESULT APCondition::GetMeas2Set(int* isSet) { return CopyOut(m_meas2Set, isSet); }
HRESULT APCondition::SetMeas2Set(int isSet) { return Store(m_meas2Set, isSet); }

HRESULT APCondition::SetOperationForCondition(IAPOperation* operation)
{
    IAPOperation* op = Bare<IAPOperation>(operation, IID_IAPOperation);
    if (operation && !op) return E_FAIL;
    return m_operation.Set(op) ? S_OK : E_FAIL;
}

HRESULT APCondition::GetOperationForCondition(IAPOperation** operation)
{
    if (!operation) return E_FAIL;
    *operation = nullptr;
    if (!m_operation) return E_FAIL;
    return HandOut(m_operation.Get(), operation);
}

// ---------------------------------------------------------------------------------------
// Destruction of measurements and of the condition

HRESULT APCondition::Notify(unsigned long command, IAPElement* element)
{
    if (!m_wrapper) return E_FAIL;
    if (command != 3) return S_OK;
    IAPCondition* own = Query<IAPCondition>(m_wrapper, IID_IAPCondition);
    IAPElementSink* sink = OwnSinkOf(m_wrapper);
    IAPOperation* gone = Query<IAPOperation>(element, IID_IAPOperation);
    const bool ok = own && sink && gone;
    HRESULT hr = ok ? S_OK : E_FAIL;
    if (ok) {
        IUnknown* id = Identity(element);
        if (m_meas1.operation && Identity(m_meas1.operation) == id && own->RemoveMeasurement1(gone) != S_OK) hr = E_FAIL;
        if (m_meas2.operation && Identity(m_meas2.operation) == id && own->RemoveMeasurement2(gone) != S_OK) hr = E_FAIL;
    }
    if (gone) gone->Release();
    if (sink) sink->Release();
    if (own) own->Release();
    return hr;
}

HRESULT APCondition::NotifyDeletion()
{
    if (!m_wrapper) return E_FAIL;
    IAPElementSink* sink = OwnSinkOf(m_wrapper);
    if (!sink) return E_FAIL;
    for (Measurement* m : {&m_meas1, &m_meas2})
        if (m->operation) Unwatch(m->operation, sink);
    sink->Release();
    return APElement::NotifyDeletion() < 0 ? E_FAIL : S_OK;
}

// ---------------------------------------------------------------------------------------
// Block and fix-up

// A missing measurement or operation is written as "no element", so that a condition whose
// measurement went can still be saved.
HRESULT APCondition::Serialize(WmObjectStream* stream)
{
    if (!stream || APElement::Serialize(stream) < 0) return E_FAIL;
    WmObjectStream& s = *stream;
    bool ok = s.write(kBlockVersion) && s.write(m_meas2Set) && WriteElementRef(s, m_meas1.operation);
    if (ok) ok = m_meas2Set ? WriteElementRef(s, m_meas2.operation) : s.write(m_value);
    ok = ok && s.write(static_cast<int>(m_comparison)) && s.write(static_cast<int>(m_logical)) &&
         WriteElementRef(s, m_operation.Get());
    return ok ? S_OK : E_FAIL;
}

HRESULT APCondition::Deserialize(WmObjectStream* stream)
{
    if (!stream || APElement::Deserialize(stream) < 0) return E_FAIL;
    WmObjectStream& s = *stream;
    int version = 0, meas2Set = 1, meas1 = kNoElement, meas2 = kNoElement, comparison = 0, logical = 0;
    int operation = kNoElement;
    double value = 0.0;
    if (!s.read(version) || version < 1 || !s.read(meas2Set) || !s.read(meas1)) return E_FAIL;
    if (meas2Set ? !s.read(meas2) : !s.read(value)) return E_FAIL;
    if (!s.read(comparison) || !s.read(logical)) return E_FAIL;
    if (version >= 2 && !s.read(operation)) return E_FAIL;
    m_meas1.stored.Request(s, {meas1});
    m_meas2.stored.Request(s, {meas2});
    // The operation number is not used: the operation that reads the condition links it.
    (void)operation;
    m_pending = true;
    m_meas2Set = meas2Set;
    m_value = value;
    m_comparison = static_cast<APComparisonOperator>(comparison);
    m_logical = static_cast<APLogicalOperator>(logical);
    return S_OK;
}

HRESULT APCondition::FixupLists()
{
    if (APElement::FixupLists() < 0 || !m_wrapper) return E_FAIL;
    if (!m_pending) return S_OK;
    m_pending = false;
    HRESULT hr = S_OK;
    IAPElementSink* sink = OwnSinkOf(m_wrapper);
    if (!sink) hr = E_FAIL;
    for (Measurement* m : {&m_meas1, &m_meas2}) {
        IAPElement* stored = m->stored.Count() > 0 ? m->stored[0] : nullptr;
        if (SUCCEEDED(hr) && stored) {
            IAPOperation* operation = Query<IAPOperation>(stored, IID_IAPOperation);
            if (!operation || FAILED(Set(*m, operation))) hr = E_FAIL;
            if (operation) operation->Release();
        }
        m->stored.Clear();
    }
    if (sink) sink->Release();
    return hr;
}

void APCondition::ReleaseLinks()
{
    APElement::ReleaseLinks();
    IAPElementSink* sink = OwnSinkOf(m_wrapper);
    for (Measurement* m : {&m_meas1, &m_meas2}) {
        if (m->operation && sink) Unwatch(m->operation, sink);
        Drop(*m);
        m->stored.Clear();
    }
    if (sink) sink->Release();
    m_pending = false;
}

HRESULT APCondition::Clone(IAPElement* target)
{
    APCondition* copy = CloneTargetOf<APCondition>(target, RUNTIME_CLASS(APCondition));
    if (!copy) return E_FAIL;
    if (copy != this) copy->APElement::operator=(*this);
    return S_OK;
}
