#pragma once
// Ties object features to target features within an operation.
#include "model/APElement.h"
#include "model/APPendingRefs.h"
#include "model/APWeak.h"

// The pair holds nothing with a reference. It watches its features and its reference
// operation as their dependent; its owning operation is neither counted nor watched. Members
// are kept, and compared, as IAPFeature / IAPOperation whatever interface a caller hands in.
class APFeaturePair : public APElement {
    DECLARE_DYNAMIC(APFeaturePair)

public:
    APFeaturePair() = default;
    ~APFeaturePair() override;

    virtual HRESULT RemoveTargetFeatureByIndex(int index);
    virtual HRESULT RemoveTargetFeature(IAPFeature* feature);
    virtual HRESULT GetTargetFeature(int index, IAPFeature** feature);
    virtual HRESULT GetNumTargetFeatures(int* count);
    virtual HRESULT AppendTargetFeature(IAPFeature* feature);
    virtual HRESULT RemoveObjectFeatureByIndex(int index);
    virtual HRESULT RemoveObjectFeature(IAPFeature* feature);
    virtual HRESULT GetObjectFeature(int index, IAPFeature** feature);
    virtual HRESULT GetNumObjectFeatures(int* count);
    virtual HRESULT AppendObjectFeature(IAPFeature* feature);
    virtual HRESULT SetOperation(IAPOperation* operation);
    virtual HRESULT GetOperation(IAPOperation** operation);
    virtual HRESULT SetFloat(APPressFitType type);
    virtual HRESULT GetFloat(APPressFitType* type);
    virtual HRESULT IsFastenerSizeSet(int* isSet);
    virtual HRESULT GetFastenerSize(double* size);
    virtual HRESULT SetFastenerSize(double size);
    virtual HRESULT GetIntValue1(int* value);
    virtual HRESULT SetIntValue1(int value);
    virtual HRESULT GetDoubleValue(double* value);
    virtual HRESULT SetDoubleValue(double value);
    virtual HRESULT GetIntValue2(int* value);
    virtual HRESULT SetIntValue2(int value);
    virtual HRESULT SetIntValue3(int value);
    virtual HRESULT GetIntValue3(int* value);
    virtual HRESULT SetReferenceElement(IAPOperation* operation);
    virtual HRESULT GetReferenceElement(IAPOperation** operation);

    HRESULT Notify(unsigned long command, IAPElement* element) override;
    HRESULT NotifyDeletion() override;
    using APElement::Serialize;
    HRESULT Serialize(WmObjectStream* stream) override;
    HRESULT Deserialize(WmObjectStream* stream) override;
    HRESULT FixupLists() override;
    // The pair holds no references: only what a read left pending goes.
    void ReleaseLinks() override;
    HRESULT Clone(IAPElement* target) override;
    HRESULT CleanUpCopyList() override;

    static constexpr int kBlockVersion = 4;
    static constexpr int kPressFitUnknown = 12;

private:
    HRESULT Append(APArray<IAPFeature*>& list, IAPFeature* feature);
    HRESULT RemoveAt(APArray<IAPFeature*>& list, int index);
    HRESULT Remove(APArray<IAPFeature*>& list, IAPFeature* feature);
    // Lets every member go; false when one could not be reached.
    bool UnwatchAll();

    double m_fastenerSize = 0.0;
    APArray<IAPFeature*> m_objectFeatures; // no references; watched
    APArray<IAPFeature*> m_targetFeatures; // no references; watched
    APPendingRefs m_storedObjectFeatures;
    APPendingRefs m_storedTargetFeatures;
    APWeak<IAPOperation> m_operation;      // the owner (or the one a host named): no reference
    IAPOperation* m_referenceOperation = nullptr; // no reference; watched
    APPendingRefs m_storedReferenceOperation;
    int m_intValue3 = 0;
    int m_pressFit = kPressFitUnknown;
    int m_intValue1 = 0;
    double m_doubleValue = 0.0;
    int m_intValue2 = 100;
    bool m_pending = false; // a read left references for FixupLists
};
