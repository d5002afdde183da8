#pragma once
// Tolerances: the base, GD&T and size tolerances.
#include "model/APElement.h"
#include "model/APPendingRefs.h"
#include "model/APWeak.h"

// The base of the tolerances a feature carries. The feature owns its tolerances; a tolerance
// links to its feature without a reference (the link reads null once the feature ends): the
// feature clears it as it lets its tolerances go, and a tolerance being destroyed takes
// itself off its feature.
class APTolerance : public APElement {
    DECLARE_DYNAMIC(APTolerance)

public:

    virtual HRESULT GetToleranceFeature(IAPFeature** feature);
    virtual HRESULT SetToleranceFeature(IAPFeature* feature);
    virtual HRESULT Set3dPosition(double x, double y, double z);
    virtual HRESULT Get3dPosition(double* x, double* y, double* z);
    virtual HRESULT GetCategory(APTolCategoryType* category);
    virtual HRESULT SetCategory(APTolCategoryType category);

    HRESULT NotifyDeletion() override;
    using APElement::Serialize;
    HRESULT Serialize(WmObjectStream* stream) override;
    HRESULT Deserialize(WmObjectStream* stream) override;
    HRESULT FixupLists() override;

    // The element-level copy, the position and the category; never the feature.
    APTolerance& operator=(const APTolerance& source);

    static constexpr int kBlockVersion = 1;

protected:
    APTolerance() = default;

    double m_position[3] = {0.0, 0.0, 0.0};
    int m_category = 5; // unknown
    APWeak<IAPFeature> m_feature;
    APPendingRefs m_storedFeature;
    bool m_featurePending = false;
};

class APSizeTolerance : public APTolerance {
    DECLARE_DYNAMIC(APSizeTolerance)

public:
    APSizeTolerance() = default;

    virtual HRESULT GetMaxSizeLimit(double* value);
    virtual HRESULT SetMaxSizeLimit(double value);
    virtual HRESULT GetMinSizeLimit(double* value);
    virtual HRESULT SetMinSizeLimit(double value);
    virtual HRESULT GetSizeType(APSizeType* type);
    virtual HRESULT SetSizeType(APSizeType type);
    virtual HRESULT GetThicknessTolType(APThicknessTolType* type);
    virtual HRESULT SetThicknessTolType(APThicknessTolType type);

    using APElement::Serialize;
    HRESULT Serialize(WmObjectStream* stream) override;
    HRESULT Deserialize(WmObjectStream* stream) override;
    HRESULT Clone(IAPElement* target) override;

    static constexpr int kBlockVersion = 2;

private:
    double m_max = 0.0;
    double m_min = 0.0;
    int m_sizeType = 5;      // unknown
    int m_thicknessType = 3; // unknown
};

// A geometric tolerance. It watches its frames and reference features as their dependent;
// each reference entry also holds a reference on its feature and one unit of the feature's
// reference-use count. An entry the copy map fills after the copy asked for it takes both
// when the copy ends (CleanUpCopyList).
class APGDTTolerance : public APTolerance {
    DECLARE_DYNAMIC(APGDTTolerance)

public:
    APGDTTolerance() = default;
    ~APGDTTolerance() override;

    virtual HRESULT GetDRF(IAPDRF** frame);
    virtual HRESULT SetDRF(IAPDRF* frame);
    virtual HRESULT IsZoneDirectionSet(int* isSet);
    virtual HRESULT GetZoneDirection(double* x, double* y, double* z);
    virtual HRESULT SetZoneDirection(double x, double y, double z);
    virtual HRESULT GetZoneModifier(APModifierType* modifier);
    virtual HRESULT SetZoneModifier(APModifierType modifier);
    virtual HRESULT GetZoneShape(APTolZoneShapeType* shape);
    virtual HRESULT SetZoneShape(APTolZoneShapeType shape);
    virtual HRESULT GetZoneSize(double* size);
    virtual HRESULT SetZoneSize(double size);
    virtual HRESULT GetGDTType(APTolCalloutType* type);
    virtual HRESULT SetGDTType(APTolCalloutType type);
    virtual HRESULT SetCompositeType(APCompositeType type);
    virtual HRESULT GetCompositeType(APCompositeType* type);
    virtual HRESULT SetCompositeZoneSize(double size);
    virtual HRESULT GetCompositeZoneSize(double* size);
    virtual HRESULT SetCompositeDRF(IAPDRF* frame);
    virtual HRESULT GetCompositeDRF(IAPDRF** frame);
    virtual HRESULT GetZoneShift(double* shift);
    virtual HRESULT SetZoneShift(double shift);
    virtual HRESULT GetNominalShift(int* shift);
    virtual HRESULT SetNominalShift(int shift);
    virtual HRESULT GetFormRateOfChangeZone(double* zone);
    virtual HRESULT SetFormRateOfChangeZone(double zone);
    virtual HRESULT GetHasFormRateOfChange(int* has);
    virtual HRESULT SetHasFormRateOfChange(int has);
    virtual HRESULT SetDirectedDimDirectionVector(double x, double y, double z);
    virtual HRESULT GetDirectedDimDirectionVector(double* x, double* y, double* z);
    virtual HRESULT AppendReferenceFeature(IAPFeature* toleranced, IAPFeature* reference);
    virtual HRESULT GetReferenceFeature(int index, IAPFeature** feature);
    virtual HRESULT RemoveReferenceFeature(IAPFeature* feature);
    virtual HRESULT RemoveReferenceFeatureByIndex(int index);
    virtual HRESULT GetNumReferenceFeatures(int* count);

    HRESULT Notify(unsigned long command, IAPElement* element) override;
    HRESULT NotifyDeletion() override;
    using APElement::Serialize;
    HRESULT Serialize(WmObjectStream* stream) override;
    HRESULT Deserialize(WmObjectStream* stream) override;
    HRESULT FixupLists() override;
    HRESULT Clone(IAPElement* target) override;
    HRESULT CleanUpCopyList() override;
    // The reference features go, unwatched and uncounted; the frames (held bare) stay.
    void ReleaseLinks() override;

    static constexpr int kBlockVersion = 6;

private:
    struct Reference {
        IAPFeature* feature; // null for an empty entry
        int held;            // 1: the entry holds a reference and one reference use
    };

    HRESULT SetFrame(IAPDRF*& slot, IAPDRF* frame);
    // A filled entry that holds nothing yet takes its reference and its reference use.
    static void HoldFilled(Reference& entry);
    // Takes entry `index` out and gives back what it held; unwatches the feature when no other
    // entry names it.
    HRESULT TakeOut(int index);
    // Entries that fail on the way out are dropped from the list anyway.
    void ReleaseReferences();
    // Stops watching every reference feature, then releases the entries as above.
    void UnwatchAndReleaseReferences();

    int m_zoneShape = 6;       // unknown
    int m_zoneModifier = 5;    // unknown
    double m_zoneSize = 0.0;
    int m_gdtType = 15;        // unknown
    double m_zoneDirection[3] = {0.0, 0.0, 0.0};
    IAPDRF* m_drf = nullptr;   // no reference; watched
    APPendingRefs m_storedDrf;
    double m_compositeZoneSize = 0.0;
    int m_compositeType = 1;   // single segment
    IAPDRF* m_compositeDrf = nullptr; // no reference; watched
    APPendingRefs m_storedCompositeDrf;
    double m_zoneShift = 0.0;
    int m_nominalShift = 0;
    double m_formRateZone = 0.0;
    int m_hasFormRate = 0;
    double m_directedDirection[3] = {0.0, 0.0, 0.0};
    APArray<Reference> m_references;
    APPendingRefs m_storedReferences;
    bool m_linksPending = false;
};
