#pragma once
// A process tree as real assemblies look, built through the COM interfaces only: nested
// assemblies (eight children each), parts with a name, a 40-character note, a transform and
// three features, properties (string, int, double, element pointer), measurement operations
// and a group that holds them. Shared by the saved-bytes test and the benchmark: the test
// pins the bytes of the stream this writes, so the shape must not change.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <string>

#include "Plenvort_h.h"
#include "platform/orv/ORVComCreate.h"

namespace realistic_tree {

constexpr int kFan = 8;            // children of an assembly
constexpr int kNodesPerPart = 4;   // the part and its three features
constexpr int kPartsPerCheck = 16; // one measurement operation per this many parts

template <class T>
T* CreateAs(REFCLSID clsid, REFIID iid)
{
    T* p = nullptr;
    if (FAILED(ORVCoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(&p)))) return nullptr;
    return p;
}

template <class T>
T* As(IUnknown* p, REFIID iid)
{
    T* out = nullptr;
    if (!p || FAILED(p->QueryInterface(iid, reinterpret_cast<void**>(&out)))) return nullptr;
    return out;
}

inline unsigned char* Text(const std::string& s) { return reinterpret_cast<unsigned char*>(const_cast<char*>(s.c_str())); }

class Builder {
public:
    explicit Builder(IAPDocument6* doc) : m_doc(doc) {}
    Builder(const Builder&) = delete;
    Builder& operator=(const Builder&) = delete;
    ~Builder()
    {
        if (m_checks) m_checks->Release();
        if (m_group) m_group->Release();
    }

    // About `nodes` nodes (never fewer than one part), and the process name (which a save
    // needs). False when any call fails.
    bool Build(int nodes)
    {
        if (FAILED(m_doc->SetProcessName(Text("Line 4")))) return false;
        IAPNode* product = Node(CLSID_APAssemblyNode, "Product", nullptr);
        IAPNode* checks = Node(CLSID_APAssemblyNode, "Checks", nullptr);
        IAPNode* group = Node(CLSID_APGroup, "Checked features", checks);
        m_checks = checks;
        m_group = As<IAPGroup>(group, IID_IAPGroup);
        if (group) group->Release();
        if (!product || !m_group) {
            if (product) product->Release();
            return false;
        }
        Props(product, "Line 4", 0);
        const int parts = nodes > kNodesPerPart * 2 ? (nodes - 4) / kNodesPerPart : 1;
        Assembly(product, parts, 0);
        product->Release();
        return m_ok;
    }

    int Nodes() const { return m_nodes; }

private:
    // A node made by the document, named, under `parent` (top-level without one).
    IAPNode* Node(const CLSID& clsid, const std::string& name, IAPNode* parent)
    {
        GUID id = clsid, iid = IID_IAPNode;
        IAPNode* node = nullptr;
        if (FAILED(m_doc->CreateProcessElement(&id, &iid, reinterpret_cast<ULONG_PTR*>(&node))) || !node) {
            m_ok = false;
            return nullptr;
        }
        ++m_nodes;
        IAPElement* e = As<IAPElement>(node, IID_IAPElement);
        if (!e || FAILED(e->SetName(Text(name)))) m_ok = false;
        if (e) e->Release();
        if (parent && FAILED(m_doc->AddChild(parent, node))) m_ok = false;
        return node;
    }

    void SetProperty(IUnknown* target, const char* key, IAPProperty* value)
    {
        IAPElement* e = As<IAPElement>(target, IID_IAPElement);
        IAPPropertyKey* k = CreateAs<IAPPropertyKey>(CLSID_APPropertyKey, IID_IAPPropertyKey);
        if (!e || !k || !value || FAILED(k->SetKey(Text(key))) || FAILED(value->SetPersistanceFlag(1)) ||
            FAILED(e->SetProperty(k, value)))
            m_ok = false;
        if (value) value->Release();
        if (k) k->Release();
        if (e) e->Release();
    }

    template <class I, class Set>
    IAPProperty* Typed(REFCLSID clsid, REFIID iid, Set set)
    {
        IAPProperty* p = CreateAs<IAPProperty>(clsid, IID_IAPProperty);
        I* typed = As<I>(p, iid);
        if (!typed || FAILED(set(typed))) m_ok = false;
        if (typed) typed->Release();
        return p;
    }

    // A supplier (text), a revision (int) and a mass (double).
    void Props(IUnknown* target, const std::string& supplier, int index)
    {
        SetProperty(target, "Supplier", Typed<IAPStringProperty>(CLSID_APStringProperty, IID_IAPStringProperty,
                                                                   [&](IAPStringProperty* s) { return s->SetString(Text(supplier)); }));
        SetProperty(target, "Revision", Typed<IAPIntProperty>(CLSID_APIntProperty, IID_IAPIntProperty,
                                                                [&](IAPIntProperty* s) { return s->SetValue(index % 7); }));
        SetProperty(target, "Mass", Typed<IAPDoubleProperty>(CLSID_APDoubleProperty, IID_IAPDoubleProperty,
                                                               [&](IAPDoubleProperty* s) { return s->SetValue(0.25 * index); }));
    }

    void Part(IAPNode* parent, int index)
    {
        char name[32];
        std::snprintf(name, sizeof name, "P%d", index);
        IAPNode* part = Node(CLSID_APPartNode, name, parent);
        if (!part) return;
        char note[41];
        std::snprintf(note, sizeof note, "Bracket %06d, steel, deburr all edges..", index % 1000000);
        if (FAILED(part->SetNote(Text(note)))) m_ok = false;
        if (IAPPartNode* p = As<IAPPartNode>(part, IID_IAPPartNode)) {
            float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 10.0f * (index % 97), 2.5f * (index % 13), 1.0f, 1};
            if (FAILED(p->SetMatrix4f(m))) m_ok = false;
            p->Release();
        } else {
            m_ok = false;
        }
        static const CLSID* const kFeatures[3] = {&CLSID_APPlaneFeature, &CLSID_APHoleFeature, &CLSID_APPinFeature};
        static const char* const kFeatureNames[3] = {"Face", "Hole", "Pin"};
        IAPNode* first = nullptr;
        for (int f = 0; f < 3; ++f) {
            IAPNode* feature = Node(*kFeatures[f], kFeatureNames[f], part);
            if (!first) first = feature;
            else if (feature) feature->Release();
        }
        // Every part names its datum feature: a reference by number, fixed up on reading.
        if (first) {
            IAPElement* target = As<IAPElement>(first, IID_IAPElement);
            SetProperty(part, "Datum", Typed<IAPElemPtrProperty>(CLSID_APElemPtrProperty, IID_IAPElemPtrProperty,
                                                                   [&](IAPElemPtrProperty* s) { return s->SetValue(target); }));
            if (target) target->Release();
            first->Release();
        }
        if (index % kPartsPerCheck == 0) Check(index);
        part->Release();
    }

    // A measurement operation under "Checks", and a member of the group.
    void Check(int index)
    {
        char name[32];
        std::snprintf(name, sizeof name, "Check %d", index);
        IAPNode* op = Node(CLSID_APMeasurementOperation, name, m_checks);
        if (!op) return;
        IAPElement* e = As<IAPElement>(op, IID_IAPElement);
        if (!e || FAILED(m_group->AppendGroupElement(e))) m_ok = false;
        if (e) e->Release();
        op->Release();
    }

    // `parts` parts under `parent`, in sub-assemblies of at most kFan children each.
    void Assembly(IAPNode* parent, int parts, int first)
    {
        if (parts <= kFan) {
            for (int i = 0; i < parts; ++i) Part(parent, first + i);
            return;
        }
        int per = 1;
        while (per * kFan < parts) per *= kFan;
        for (int at = 0; at < parts && m_ok; at += per) {
            const int here = parts - at < per ? parts - at : per;
            char name[32], supplier[32];
            std::snprintf(name, sizeof name, "A%d", first + at);
            std::snprintf(supplier, sizeof supplier, "Supplier %d", (first + at) % 100);
            IAPNode* sub = Node(CLSID_APAssemblyNode, name, parent);
            if (!sub) return;
            if (here > kFan) Props(sub, supplier, first + at);
            Assembly(sub, here, first + at);
            sub->Release();
        }
    }

    IAPDocument6* m_doc;
    IAPNode* m_checks = nullptr;
    IAPGroup* m_group = nullptr;
    int m_nodes = 0;
    bool m_ok = true;
};

} // namespace realistic_tree
