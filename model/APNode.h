#pragma once
// The node tree: nodes with children and parents, and the assembly, part, fixture and
// tolerance-library nodes.
#include <memory>
#include <unordered_map>

#include "model/APElement.h"
#include "model/APPendingRefs.h"

// A node of the document's node graph: ordered children, parents, a note and a second note.
// A link parent-to-child is the child's entry in the parent's children list, the parent's
// entry in the child's parents list, and one reference that the child holds on its own
// wrapper for that parent. Neither list holds a reference of its own.
class APNode : public APElement {
    DECLARE_DYNAMIC(APNode)

public:
    APNode();
    ~APNode() override;

    virtual HRESULT GetParent(int index, IAPNode** parent);
    // Upward queries along first parents; the answer carries a reference.
    virtual HRESULT GetPartNodeOfFeature(IAPNode** part);
    virtual HRESULT GetPartNode(IAPNode** part);
    virtual HRESULT GetParentFeature(IAPNode** feature);
    virtual HRESULT GetNumParents(int* count);
    virtual HRESULT RemoveParent(IAPNode* parent);
    virtual HRESULT AppendParent(IAPNode* parent);
    virtual HRESULT InsertChild(int insertBefore, IAPNode* child);
    virtual HRESULT GetNumChildren(int* count);
    virtual HRESULT RemoveChildByIndex(int index);
    virtual HRESULT RemoveChild(IAPNode* child);
    virtual HRESULT GetChild(int index, IAPNode** child);
    virtual HRESULT AppendChild(IAPNode* child);
    virtual HRESULT FindChild(IAPNode* child, int* index);
    virtual HRESULT GetNoteSize(int* size);
    virtual HRESULT GetNote(CString& note);
    virtual HRESULT SetNote(const CString& note);
    virtual HRESULT GetNote2Size(int* size);
    virtual HRESULT GetNote2(CString& note);
    virtual HRESULT SetNote2(const CString& note);

    HRESULT Serialize(WmObjectStream* stream) override;
    HRESULT Deserialize(WmObjectStream* stream) override;
    // Links the children that a read left as pending references; 1 on success.
    HRESULT FixupLists() override;
    HRESULT NotifyDeletion() override;
    void ListChildren(std::vector<APElement*>& out) const override;
    // Each class copies its own selection of fields.
    HRESULT Clone(IAPElement*) override { return E_FAIL; }

    // The element-level copy plus both notes; links are never copied.
    APNode& operator=(const APNode& source);

    static constexpr int kBlockVersion = 2;

    // The node behind a wrapper (any interface of it), or null when it is none of ours.
    static APNode* NodeOf(IUnknown* wrapper);
    // The node behind a copy target when it is of the class (or derived from it), else null.
    static APNode* CloneTarget(IAPElement* target, const CRuntimeClass* cls)
    {
        APNode* node = NodeOf(target);
        return node && node->IsKindOf(cls) ? node : nullptr;
    }
    // Clone for the classes that copy by assignment as T: E_FAIL unless the target is of
    // class `cls` (or derived from it).
    template <class T>
    static HRESULT CloneByAssignment(const T& source, IAPElement* target, const CRuntimeClass* cls)
    {
        T* copy = static_cast<T*>(CloneTarget(target, cls));
        if (!copy) return E_FAIL;
        *copy = source;
        return S_OK;
    }

protected:
    // Blocks of the classes without fields of their own: a version word that reads ignore.
    static HRESULT WriteVersionWord(WmObjectStream* stream, int version)
    {
        return stream->write(version) ? S_OK : E_FAIL;
    }
    static HRESULT SkipVersionWord(WmObjectStream* stream)
    {
        int version = 0;
        return stream->read(version) ? S_OK : E_FAIL;
    }

    // The own wrapper queried for IAPNode (with a reference), or null.
    IAPNode* OwnNode() const;

    APArray<IAPNode*> m_children;
    // Entries per child, kept beside a long children list so that appending to it and asking
    // whether a node is listed cost the same however many children there are.
    std::unique_ptr<std::unordered_map<IAPNode*, int>> m_childIndex;
    APPendingRefs m_storedChildren; // filled by the stream's pointer numbering while reading
    APArray<IAPNode*> m_parents;
    CString m_note;
    CString m_note2;
    bool m_childrenPending = false; // a read left references in m_storedChildren

private:
    HRESULT WriteChildren(WmObjectStream& stream);
    HRESULT ReadOldProperties(WmObjectStream& stream);
    // Would linking `child` under this node close a cycle?
    bool WouldCycle(IAPNode* own, IAPNode* child) const;
    HRESULT LinkChildAt(int index, IAPNode* child, IAPNode* own);
    // The children list changes only through these, which keep the index up to date.
    void InsertChildEntry(int index, IAPNode* child);
    void RemoveChildEntry(int index);
    // How often the child is listed, and where first (-1 when it is not).
    int ChildEntries(IAPNode* child) const;
    int FirstChildEntry(IAPNode* child) const;
};

// The intermediate class above every geometric node: adds a format version only.
class APGeometryNode : public APNode {
    DECLARE_DYNAMIC(APGeometryNode)

public:
    APGeometryNode() = default;

    HRESULT Serialize(WmObjectStream* stream) override;
    HRESULT Deserialize(WmObjectStream* stream) override;

    static constexpr int kBlockVersion = 1;
};

class APAssemblyNode : public APGeometryNode {
    DECLARE_DYNAMIC(APAssemblyNode)

public:
    APAssemblyNode() = default;
    ~APAssemblyNode() override;

    virtual HRESULT SetIntPair(int a, int b);
    virtual HRESULT GetIntPair(int* a, int* b);
    virtual HRESULT SetNodeString(const CString& text);
    virtual HRESULT GetNodeString(CString& text);
    virtual HRESULT GetDataMoniker(IORVDataMoniker** moniker);
    virtual HRESULT SetDataMoniker(IORVDataMoniker* moniker);

    HRESULT Serialize(WmObjectStream* stream) override;
    HRESULT Deserialize(WmObjectStream* stream) override;
    HRESULT Clone(IAPElement* target) override;

    APAssemblyNode& operator=(const APAssemblyNode& source);

    static constexpr int kBlockVersion = 4;

protected:
    int m_intPair[2] = {-1, -1};
    CString m_nodeString;
    IORVDataMoniker* m_dataMoniker = nullptr; // one reference
};

// A part: owns its datum reference frames (first list) and datums (second list), one
// reference per entry, kept as IAPDRF and IAPDatum whatever interface a caller hands in.
class APPartNode : public APGeometryNode {
    DECLARE_DYNAMIC(APPartNode)

public:
    APPartNode();
    ~APPartNode() override;

    virtual HRESULT SetMatrix3x4(const double m[12]);
    virtual HRESULT GetMatrix3x4(double m[12]);
    virtual HRESULT IsScalarSet(int* isSet);
    virtual HRESULT IsVectorSet(int* isSet);
    virtual HRESULT GetScalar(double* value);
    virtual HRESULT GetVector(double* x, double* y, double* z);
    virtual HRESULT SetScalar(double value);
    virtual HRESULT SetVector(double x, double y, double z);
    virtual HRESULT RemoveListItemByIndex(int index);
    virtual HRESULT RemoveListItem(IAPDRF* frame);
    virtual HRESULT GetListItem(int index, IAPDRF** frame);
    virtual HRESULT GetNumListItems(int* count);
    virtual HRESULT AppendListItem(IAPDRF* frame);
    virtual HRESULT RemoveListItem2ByIndex(int index);
    virtual HRESULT RemoveListItem2(IAPDatum* datum);
    virtual HRESULT GetListItem2(int index, IAPDatum** datum);
    virtual HRESULT GetNumListItems2(int* count);
    virtual HRESULT AppendListItem2(IAPDatum* datum);
    virtual HRESULT GetNodeString(CString& text);
    virtual HRESULT SetNodeString(const CString& text);
    virtual HRESULT GetDataMoniker(IORVDataMoniker** moniker);
    virtual HRESULT SetDataMoniker(IORVDataMoniker* moniker);
    virtual HRESULT SetIntValue1(int value);
    virtual HRESULT GetIntValue1(int* value);
    virtual HRESULT SetIntValue2(int value);
    virtual HRESULT GetIntValue2(int* value);
    virtual HRESULT SetFlag1();
    virtual HRESULT ClearFlag1();
    virtual HRESULT GetFlag1(int* isSet);
    virtual HRESULT SetFlag2();
    virtual HRESULT GetFlag2(int* isSet);
    virtual HRESULT SetIntPair(int a, int b);
    virtual HRESULT GetIntPair(int* a, int* b);
    virtual HRESULT SetIntValue3(int value);
    virtual HRESULT GetIntValue3(int* value);

    // The transform, 16 floats row by row.
    HRESULT SetFloatMatrix(const float m[16]);
    HRESULT GetFloatMatrix(float** m);

    HRESULT BindDocument(IAPDocEventSink* sink) override;
    HRESULT FixupLists() override;
    HRESULT Serialize(WmObjectStream* stream) override;
    HRESULT Deserialize(WmObjectStream* stream) override;
    HRESULT Clone(IAPElement* target) override;

    APPartNode& operator=(const APPartNode& source);

    int GetStoredFormatVersion() const { return m_storedVersion; }

    static constexpr int kBlockVersion = 8;

protected:
    CString m_nodeString;
    IORVDataMoniker* m_dataMoniker = nullptr; // one reference
    APArray<IAPDRF*> m_frames;                // datum reference frames, one reference each
    APArray<IAPDatum*> m_datums;              // datums, one reference each
    int m_storedVersion = 0;
    float m_transform[16];
    double m_vector[3] = {-1.0, -1.0, -1.0};
    double m_scalar = -1.0;
    int m_flag1 = 0;
    int m_flag2 = 0;
    int m_intValue1 = 0;
    int m_intValue2 = -1;
    int m_intPair[2] = {-1, -1};
    int m_intValue3 = 0;
    double m_matrix3x4[12];

private:
    void ReleaseLists();
};

class APFixtureNode : public APPartNode {
    DECLARE_DYNAMIC(APFixtureNode)

public:
    APFixtureNode() = default;

    virtual HRESULT GetFixtureValue(int* value);
    virtual HRESULT SetFixtureValue(int value);

    HRESULT Serialize(WmObjectStream* stream) override;
    HRESULT Deserialize(WmObjectStream* stream) override;
    HRESULT Clone(IAPElement* target) override;

    APFixtureNode& operator=(const APFixtureNode& source);

    static constexpr int kBlockVersion = 1;

protected:
    int m_fixtureValue = 3;
};

// The node under which the tolerance library lives; no fields of its own.
class APTolLibNode : public APGeometryNode {
    DECLARE_DYNAMIC(APTolLibNode)

public:
    APTolLibNode() = default;

    HRESULT Serialize(WmObjectStream* stream) override;
    HRESULT Deserialize(WmObjectStream* stream) override;
    HRESULT Clone(IAPElement* target) override;

    static constexpr int kBlockVersion = 1;
};
