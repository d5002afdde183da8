#pragma once
// Datums and datum reference frames.
#include <memory>
#include <vector>

#include "model/APElement.h"
#include "model/APPendingRefs.h"

// A datum: the features that establish it (held bare, watched as their dependent), a visible
// flag for display, a target flag and the labels of its datum targets.
class APDatum : public APElement {
    DECLARE_DYNAMIC(APDatum)

public:
    APDatum() = default;
    ~APDatum() override;

    virtual HRESULT RemoveDatumFeatureByIndex(int index);
    virtual HRESULT RemoveDatumFeature(IAPFeature* feature);
    virtual HRESULT GetDatumFeature(int index, IAPFeature** feature);
    virtual HRESULT GetNumDatumFeatures(int* count);
    virtual HRESULT AppendDatumFeature(IAPFeature* feature);
    virtual HRESULT SetVisibleFlag(int visible);
    virtual HRESULT GetVisibleFlag(int* visible);
    virtual HRESULT SetTargetFlag(int target);
    virtual HRESULT GetTargetFlag(int* target);
    virtual HRESULT RemoveTargetLabelByIndex(int index);
    virtual HRESULT RemoveTargetLabel(const CString& label);
    // Answers the label's position from 1, not its text.
    virtual HRESULT GetTargetLabel(int index, CString& label);
    virtual HRESULT GetNumTargetLabels(int* count);
    virtual HRESULT AppendTargetLabel(const CString& label);
    // Draws the symbol into a pixel block the caller frees with CoTaskMemFree (drawing/).
    virtual HRESULT DrawDatumSymbol(ULONG_PTR window, ULONG_PTR dc, float fontSize, int index, long target, int* width,
                                    int* height, ULONG_PTR block);

    HRESULT Notify(unsigned long command, IAPElement* element) override;
    HRESULT NotifyDeletion() override;
    using APElement::Serialize;
    HRESULT Serialize(WmObjectStream* stream) override;
    HRESULT Deserialize(WmObjectStream* stream) override;
    HRESULT FixupLists() override;
    HRESULT Clone(IAPElement* target) override;
    HRESULT CleanUpCopyList() override;

    static constexpr int kBlockVersion = 3;
    // Labels are kept to this many characters.
    static constexpr int kLabelLength = 64;

private:
    bool UnwatchAll();

    APArray<IAPFeature*> m_features; // no references; watched
    APPendingRefs m_storedFeatures;
    std::vector<CString> m_labels;
    int m_visible = 0; // not saved
    int m_target = 0;
    bool m_pending = false;
};

// A datum reference frame: primary, secondary and tertiary datums, each entry one counted
// reference and the modifier it is referenced with, and a 3 x 4 matrix a client may attach.
class APDRF : public APElement {
    DECLARE_DYNAMIC(APDRF)

public:
    APDRF();
    ~APDRF() override;

    enum Precedence { Primary, Secondary, Tertiary, kPrecedences };

    virtual HRESULT RemoveTertiaryDatum(int index);
    virtual HRESULT GetTertiaryDatum(int index, IAPDatum** datum, APModifierType* modifier);
    virtual HRESULT GetNumTertiaryDatums(int* count);
    virtual HRESULT AddTertiaryDatum(IAPDatum* datum, APModifierType modifier);
    virtual HRESULT RemoveSecondaryDatum(int index);
    virtual HRESULT GetSecondaryDatum(int index, IAPDatum** datum, APModifierType* modifier);
    virtual HRESULT GetNumSecondaryDatums(int* count);
    virtual HRESULT AddSecondaryDatum(IAPDatum* datum, APModifierType modifier);
    virtual HRESULT RemovePrimaryDatum(int index);
    virtual HRESULT GetPrimaryDatum(int index, IAPDatum** datum, APModifierType* modifier);
    virtual HRESULT GetNumPrimaryDatums(int* count);
    virtual HRESULT AddPrimaryDatum(IAPDatum* datum, APModifierType modifier);
    virtual HRESULT SetMatrix3x4(const double m[12]);
    virtual HRESULT GetMatrix3x4(double m[12]);

    using APElement::Serialize;
    HRESULT Serialize(WmObjectStream* stream) override;
    HRESULT Deserialize(WmObjectStream* stream) override;
    HRESULT BindDocument(IAPDocEventSink* sink) override;
    HRESULT FixupLists() override;
    HRESULT Clone(IAPElement* target) override;

    static constexpr int kBlockVersion = 2;

private:
    // A datum entry. A datum number that a read could not resolve at once waits in
    // `pending` until FixupLists; the entry has no datum meanwhile.
    struct Entry {
        IAPDatum* datum = nullptr; // one reference
        int modifier = 0;
        std::unique_ptr<APPendingRefs> pending;
    };

    HRESULT Add(Precedence p, IAPDatum* datum, APModifierType modifier);
    HRESULT Get(Precedence p, int index, IAPDatum** datum, APModifierType* modifier);
    HRESULT Remove(Precedence p, int index);
    HRESULT Count(Precedence p, int* count);
    HRESULT ReadList(WmObjectStream& s, int version, Precedence p);
    void ReleaseLists();
    // Every datum of the three lists in order, as IAPElement with a reference.
    std::vector<IAPElement*> DatumElements() const;

    APArray<Entry*> m_lists[kPrecedences]; // entries owned
    double m_matrix[12];
};
