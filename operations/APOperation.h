#pragma once
// The process operations.
#include <vector>

#include "model/APNode.h"
#include "operations/APOperationParts.h"

// Base of every operation: the operation time, the feature pairs and conditions it owns (one
// reference each; each knows its operation through a back link that the operation sets and
// clears), the active and auxiliary flags and how conditions are stored.
class APOperation : public APNode {
    DECLARE_DYNAMIC(APOperation)

public:
    ~APOperation() override;

    virtual HRESULT RemoveFeaturePairByIndex(int index);
    virtual HRESULT RemoveFeaturePair(IAPFeaturePair* pair);
    virtual HRESULT GetFeaturePair(int index, IAPFeaturePair** pair);
    virtual HRESULT GetNumFeaturePairs(int* count);
    virtual HRESULT AppendFeaturePair(IAPFeaturePair* pair);
    virtual HRESULT RemoveConditionByIndex(int index);
    virtual HRESULT RemoveCondition(IAPCondition* condition);
    virtual HRESULT GetCondition(int index, IAPCondition** condition);
    virtual HRESULT GetNumConditions(int* count);
    virtual HRESULT AppendCondition(IAPCondition* condition);
    virtual HRESULT SetOperationTime(double time);
    virtual HRESULT GetOperationTime(double* time);
    virtual HRESULT SetActiveFlag(int flag);
    virtual HRESULT GetActiveFlag(int* flag);
    virtual HRESULT SetAuxiliaryFlag(int flag);
    virtual HRESULT GetAuxiliaryFlag(int* flag);
    virtual HRESULT SetConditionMode(int mode);
    virtual HRESULT GetConditionMode(int* mode);
    virtual HRESULT SetConditionOption(int option);
    virtual HRESULT GetConditionOption(int* option);

    // The deep copy: node part, time, condition mode and option, and new feature pairs and
    // conditions made by the bound document, each pointing back to this operation. The flags
    // stay. E_FAIL when a pair or condition could not be copied; it is then left out.
    HRESULT CopyOperation(const APOperation& source);
    APOperation& operator=(const APOperation& source);

    HRESULT Serialize(WmObjectStream* stream) override;
    HRESULT Deserialize(WmObjectStream* stream) override;
    HRESULT BindDocument(IAPDocEventSink* sink) override;
    // Nested pairs and conditions first; then, once after a read, the subclasses' element
    // lists get their references and registrations. 0 on success.
    HRESULT FixupLists() override;
    // The element lists go; the pairs and conditions stay, each letting go of its own links.
    void ReleaseLinks() override;

    // Condition mode 2: conditions are not stored.
    static constexpr int kConditionsNotStored = 2;
    static constexpr int kBlockVersion = 5;

protected:
    // `conditionMode`: the class's default, also for blocks that do not store one.
    explicit APOperation(int conditionMode = kConditionsNotStored)
        : m_conditionMode(conditionMode), m_classConditionMode(conditionMode)
    {
    }
    // The element lists a subclass keeps, for the fix-up after a load.
    virtual void ElementLists(std::vector<APElementList*>&) {}

    double m_time = 0.0;
    int m_active = 1;
    int m_auxiliary = 0;
    int m_conditionMode;
    int m_conditionOption = 1;
    const int m_classConditionMode;
    APArray<IAPFeaturePair*> m_pairs;     // one reference each
    APArray<IAPCondition*> m_conditions;  // one reference each

private:
    template <class T>
    HRESULT Link(APArray<T*>& list, T* item);
    template <class T>
    HRESULT UnlinkAt(APArray<T*>& list, int index);
    template <class T>
    HRESULT Unlink(APArray<T*>& list, T* item);
    template <class T>
    void ReleaseAll(APArray<T*>& list);
    template <class T>
    void Adopt(APArray<T*>& list, APArray<T*>& read);
    // This operation's wrapper as IAPOperation (with a reference), or null.
    IAPOperation* OwnOperation() const;
    template <class T>
    bool CopyList(APArray<T*>& list, const APArray<T*>& from, IAPDocument* doc, const CLSID& clsid, REFIID iid);
};

// What the assembly, classic and kinematic operations share: bias vectors, the nominal
// transform (memory only), the element list and the step settings. Not a class of its own
// for the kind tests: each of the three derives from APOperation there.
class APPlacingOperation : public APOperation, public APStepSettings {
public:
    HRESULT IsTranslationalBiasSet(int* isSet);
    HRESULT GetTranslationalBiasVector(double* x, double* y, double* z);
    HRESULT SetTranslationalBiasVector(double x, double y, double z);
    HRESULT IsRotationalBiasSet(int* isSet);
    HRESULT GetRotationalBiasVector(double* x, double* y, double* z);
    HRESULT SetRotationalBiasVector(double x, double y, double z);
    HRESULT SetAsmOpNominalTransform(const double values[12]);
    HRESULT GetAsmOpNominalTransform(double values[12]);
    HRESULT GetNumElements(int* count);

    // Command 3: every entry of the destroyed element goes.
    HRESULT Notify(unsigned long command, IAPElement* element) override;

protected:
    explicit APPlacingOperation(APElementList::LoadRule rule, int conditionMode = 1);
    void ElementLists(std::vector<APElementList*>& lists) override { lists.push_back(&m_elements); }

    // Clone of the three: the element part and the bias vectors the source has.
    HRESULT CloneInto(IAPElement* target, const CRuntimeClass* cls);
    // The two bias vectors of a block: {exists, x, y, z} each.
    bool WriteBias(WmObjectStream& s) const;
    bool ReadBias(WmObjectStream& s);

    struct Bias {
        bool set = false;
        double xyz[3] = {0.0, 0.0, 0.0};
    };
    Bias m_translational;
    Bias m_rotational;
    double m_nominal[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    APElementList m_elements;
};

// The assembly and classic operations: one design under two identities and block formats.
class APAssemblyDesign : public APPlacingOperation {
public:
    HRESULT GetElement(int index, IAPElement** element);
    HRESULT AppendElement(IAPElement* element);
    HRESULT AppendElementNoDependent(IAPElement* element);
    HRESULT ClearElements();

protected:
    APAssemblyDesign();
    // The block after the bias vectors as the version has it; version 1 has no list.
    bool WriteRest(WmObjectStream& s) const;
    bool ReadRest(WmObjectStream& s, int version);
};

class APAssemblyOperation : public APAssemblyDesign {
    DECLARE_DYNAMIC(APAssemblyOperation)

public:
    APAssemblyOperation() = default;

    HRESULT Serialize(WmObjectStream* stream) override;
    HRESULT Deserialize(WmObjectStream* stream) override;
    HRESULT Clone(IAPElement* target) override;

    static constexpr int kBlockVersion = 4;
};

class APClassicAssemblyOperation : public APAssemblyDesign {
    DECLARE_DYNAMIC(APClassicAssemblyOperation)

public:
    APClassicAssemblyOperation() = default;

    HRESULT Serialize(WmObjectStream* stream) override;
    HRESULT Deserialize(WmObjectStream* stream) override;
    HRESULT Clone(IAPElement* target) override;

    static constexpr int kBlockVersion = 1;
};

// The kinematic operation: the same settings, and a label per loaded element, kept apart
// from the element list (the two counts are independent).
class APKinematicAssemblyOperation : public APPlacingOperation {
    DECLARE_DYNAMIC(APKinematicAssemblyOperation)

public:
    APKinematicAssemblyOperation();

    HRESULT GetElement(int index, CString& label, IAPElement** element);
    // The text is not used; a null element clears the list.
    HRESULT AppendElementOrClear(const CString& text, IAPElement* element);
    // The text is not used; a null element is appended as a null entry.
    HRESULT AppendElement(const CString& text, IAPElement* element);

    HRESULT Serialize(WmObjectStream* stream) override;
    HRESULT Deserialize(WmObjectStream* stream) override;
    HRESULT Clone(IAPElement* target) override;

    static constexpr int kBlockVersion = 3;

private:
    std::vector<CString> m_labels;
};

// The FEM assembly operation: the placing settings, the kind of analysis and the
// boundary-condition nodes (kept in the element list).
class APFemAssemblyOperation : public APPlacingOperation {
    DECLARE_DYNAMIC(APFemAssemblyOperation)

public:
    APFemAssemblyOperation();

    HRESULT GetFemType(APFemType* type);
    HRESULT SetFemType(APFemType type);
    // Appends every node, in order, to the caller's list.
    HRESULT GetBcNodes(IAPPointerList* list);
    // Replaces the nodes by the list's elements, watching each; a failure part-way keeps the
    // nodes taken so far.
    HRESULT SetBcNodes(IAPPointerList* list);
    HRESULT ClearBoundaryConditions();
    // The first entry of the node goes, and with it the watch.
    HRESULT RemoveBoundaryCondition(IAPElement* node);

    HRESULT Serialize(WmObjectStream* stream) override;
    HRESULT Deserialize(WmObjectStream* stream) override;
    // The element part, the bias vectors the source has and the FEM type.
    HRESULT Clone(IAPElement* target) override;

    static constexpr int kBlockVersion = 6;

private:
    APFemType m_femType = AP_FEM_FLEX_TO_RIGID;
};
