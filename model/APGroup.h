#pragma once
// Group nodes, feature-group and sub-feature-group nodes, node instances, and the group of
// measurement operations.
#include "model/APNode.h"

// A geometry node with a name string of its own.
class APGroupNode : public APGeometryNode {
    DECLARE_DYNAMIC(APGroupNode)

public:
    static constexpr int kBlockVersion = 2;

    APGroupNode() = default;

    virtual HRESULT SetNodeString(const CString& text);
    virtual HRESULT GetNodeString(CString& text);

    using APElement::Serialize;
    HRESULT Serialize(WmObjectStream* stream) override;
    HRESULT Deserialize(WmObjectStream* stream) override;
    HRESULT Clone(IAPElement* target) override;

    APGroupNode& operator=(const APGroupNode& source);

private:
    CString m_nodeString;
};

// Groups features of a part; kind only, no fields.
class APFeatureGroupNode : public APGeometryNode {
    DECLARE_DYNAMIC(APFeatureGroupNode)

public:
    APFeatureGroupNode() = default;

    using APElement::Serialize;
    HRESULT Serialize(WmObjectStream* stream) override;
    HRESULT Deserialize(WmObjectStream* stream) override;
    HRESULT Clone(IAPElement* target) override;
};

// Groups sub-features under a feature; kind only, no fields.
class APSubFeatureGroupNode : public APGeometryNode {
    DECLARE_DYNAMIC(APSubFeatureGroupNode)

public:
    APSubFeatureGroupNode() = default;

    using APElement::Serialize;
    HRESULT Serialize(WmObjectStream* stream) override;
    HRESULT Deserialize(WmObjectStream* stream) override;
    HRESULT Clone(IAPElement* target) override;
};

// A node with a 4 x 4 float transform of its own, row by row.
class APNodeInstance : public APNode {
    DECLARE_DYNAMIC(APNodeInstance)

public:
    APNodeInstance();

    using APElement::Serialize;
    HRESULT Serialize(WmObjectStream* stream) override;
    HRESULT Deserialize(WmObjectStream* stream) override;
    HRESULT Clone(IAPElement* target) override;

    APNodeInstance& operator=(const APNodeInstance& source);

    const float* Transform() const { return m_transform; }
    void SetTransform(const float m[16]);

private:
    float m_transform[16];
};

// A group of measurement operations. The group holds its members without references and
// watches them as their dependent instead, so a member that goes away leaves the group.
// Members are kept, and compared, as their IAPMeasurementOperation pointers whatever
// interface a caller hands in.
class APGroup : public APNode {
    DECLARE_DYNAMIC(APGroup)

public:
    APGroup() = default;
    ~APGroup() override;

    virtual HRESULT RemoveElementByIndex(int index);
    virtual HRESULT GetElement(int index, IAPMeasurementOperation** member);
    virtual HRESULT GetNumElements(int* count);
    // `member` may be any interface of a measurement operation.
    virtual HRESULT AppendElement(IUnknown* member);
    // GetElement, handed out as the member's IAPElement (the interface's own type).
    HRESULT GetElementAsElement(int index, IAPElement** member);

    HRESULT Notify(unsigned long command, IAPElement* element) override;
    HRESULT NotifyDeletion() override;
    HRESULT FixupLists() override;
    HRESULT CleanUpCopyList() override;

    // A group's block has no node part, so children could not be saved: it takes none.
    HRESULT AppendChild(IAPNode*) override { return E_FAIL; }
    HRESULT InsertChild(int, IAPNode*) override { return E_FAIL; }

    using APElement::Serialize;
    HRESULT Serialize(WmObjectStream* stream) override;
    HRESULT Deserialize(WmObjectStream* stream) override;
    HRESULT Clone(IAPElement* target) override;

    // References read from a stream and not yet turned into members by FixupLists.
    int GetNumPendingElements() const { return m_stored.Count(); }

private:
    // The element-level copy, then the members as the document's copy map supplies them.
    void CopyFrom(const APGroup& source);
    // Drops the group from every member's dependents; false when one could not be reached.
    bool UnregisterFromMembers();
    HRESULT OwnSink(IAPElementSink** sink);

    APArray<IAPMeasurementOperation*> m_members; // no references: the group is their dependent
    APPendingRefs m_stored;                      // filled by the stream's pointer resolution
};
