#pragma once
// A condition comparing the result of a measurement operation with a second one or with a
// value; owned by its operation.
#include "model/APElement.h"
#include "model/APPendingRefs.h"
#include "model/APWeak.h"

// Measurements are held with one reference each and watched as their dependent; the
// operation link is neither counted nor watched.
class APCondition : public APElement {
    DECLARE_DYNAMIC(APCondition)

public:
    APCondition() = default;
    ~APCondition() override;

    virtual HRESULT SetMeasurement1(IAPOperation* measurement);
    virtual HRESULT GetMeasurement1(IAPOperation** measurement);
    virtual HRESULT GetMeasurement1Element(IAPElement** element, APMeasType* type);
    virtual HRESULT RemoveMeasurement1(IAPOperation* measurement);
    virtual HRESULT SetMeasurement2(IAPOperation* measurement);
    virtual HRESULT GetMeasurement2(IAPOperation** measurement);
    virtual HRESULT GetMeasurement2Element(IAPElement** element, APMeasType* type);
    virtual HRESULT RemoveMeasurement2(IAPOperation* measurement);
    virtual HRESULT SetValue(double value);
    virtual HRESULT GetValue(double* value);
    virtual HRESULT SetComparisonOperator(APComparisonOperator op);
    virtual HRESULT GetComparisonOperator(APComparisonOperator* op);
    virtual HRESULT SetLogicalOperator(APLogicalOperator op);
    virtual HRESULT GetLogicalOperator(APLogicalOperator* op);
    virtual HRESULT GetMeas2Set(int* isSet);
    virtual HRESULT SetMeas2Set(int isSet);
    virtual HRESULT SetOperationForCondition(IAPOperation* operation);
    virtual HRESULT GetOperationForCondition(IAPOperation** operation);

    // Command 3: a destroyed measurement leaves through the condition's own interface.
    HRESULT Notify(unsigned long command, IAPElement* element) override;
    HRESULT NotifyDeletion() override;
    using APElement::Serialize;
    HRESULT Serialize(WmObjectStream* stream) override;
    HRESULT Deserialize(WmObjectStream* stream) override;
    // Once after a read: the operation link and the measurements with their references and
    // registrations.
    HRESULT FixupLists() override;
    // Both measurements go, unwatched; the operation link stays.
    void ReleaseLinks() override;
    // The element part only.
    HRESULT Clone(IAPElement* target) override;

    static constexpr int kBlockVersion = 2;

private:
    // One measurement: the operation (counted), its IAPElement once asked for (counted) and
    // its kind, resolved on request.
    struct Measurement {
        IAPOperation* operation = nullptr;
        IAPElement* element = nullptr;
        APMeasType type = AP_TYPE_UNKNOWN;
        APPendingRefs stored;
    };
    HRESULT Set(Measurement& m, IAPOperation* operation);
    HRESULT Get(const Measurement& m, IAPOperation** operation) const;
    HRESULT GetElement(Measurement& m, IAPElement** element, APMeasType* type);
    HRESULT Remove(Measurement& m, IAPOperation* operation);
    // Drops the operation, the element and the kind (no unregistration).
    static void Drop(Measurement& m);

    APWeak<IAPOperation> m_operation;      // the owner (or the one a host named): no reference
    Measurement m_meas1;
    Measurement m_meas2;
    double m_value = 0.0;
    APComparisonOperator m_comparison = GREATERTHAN;
    APLogicalOperator m_logical = NEITHER;
    int m_meas2Set = 1;
    bool m_pending = false; // a read left references for FixupLists
};
