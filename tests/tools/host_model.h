#pragma once
// What the tool programs share: the library reached through its exports only, small COM
// helpers, and a builder of process models through the interfaces (fuzz_open writes its seed
// documents with it, lifetime_fuzz starts its host sequences from it).
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "Plenvort_h.h"
#include "include/PlenvortBrep.h"

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadFn = HRESULT(STDAPICALLTYPE*)();

inline GetClassObjectFn g_getClassObject = nullptr;
inline CanUnloadFn g_canUnload = nullptr;

inline unsigned char* Text(const char* s) { return reinterpret_cast<unsigned char*>(const_cast<char*>(s)); }

template <class T>
T* Make(const CLSID& clsid, const IID& iid)
{
    IClassFactory* factory = nullptr;
    if (FAILED(g_getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) return nullptr;
    T* out = nullptr;
    factory->CreateInstance(nullptr, iid, reinterpret_cast<void**>(&out));
    factory->Release();
    return out;
}

template <class T>
T* As(IUnknown* p, const IID& iid)
{
    T* out = nullptr;
    if (!p || FAILED(p->QueryInterface(iid, reinterpret_cast<void**>(&out)))) return nullptr;
    return out;
}

// One text of the element behind `p` (its name or description), or "?".
inline std::string Name(IUnknown* p, HRESULT (STDMETHODCALLTYPE IAPElement::*get)(unsigned char*),
                        HRESULT (STDMETHODCALLTYPE IAPElement::*size)(int*))
{
    IAPElement* e = As<IAPElement>(p, IID_IAPElement);
    if (!e) return "?";
    int n = 0;
    std::string out = "?";
    if (SUCCEEDED((e->*size)(&n)) && n >= 0 && n < (1 << 24)) {
        std::vector<unsigned char> buffer(static_cast<size_t>(n) + 1);
        if (SUCCEEDED((e->*get)(buffer.data()))) out.assign(reinterpret_cast<char*>(buffer.data()), std::strlen(reinterpret_cast<char*>(buffer.data())));
    }
    e->Release();
    return out;
}

// Loads Plenvort.dll (beside the program) and finds its entry points; false when it cannot.
inline bool LoadServer()
{
    HMODULE dll = LoadLibraryW(L"Plenvort.dll");
    if (!dll) return false;
    g_getClassObject = reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
    g_canUnload = reinterpret_cast<CanUnloadFn>(reinterpret_cast<void*>(GetProcAddress(dll, "DllCanUnloadNow")));
    return g_getClassObject && g_canUnload;
}

// ---------------------------------------------------------------------------------------
// Models

class Builder {
public:
    explicit Builder(IAPDocument* doc) : m_doc(doc) {}
    ~Builder()
    {
        for (IUnknown* p : m_held) p->Release();
    }

    IAPNode* Node(const CLSID& clsid, const char* name, const char* note = nullptr)
    {
        GUID id = clsid, iid = IID_IAPNode;
        IAPNode* node = nullptr;
        if (FAILED(m_doc->CreateProcessElement(&id, &iid, reinterpret_cast<ULONG_PTR*>(&node))) || !node) return nullptr;
        m_held.push_back(node);
        if (IAPElement* e = As<IAPElement>(node, IID_IAPElement)) {
            e->SetName(Text(name));
            e->SetDescription(Text("described"));
            e->SetCost(static_cast<int>(std::strlen(name)));
            e->Release();
        }
        if (note) node->SetNote(Text(note));
        return node;
    }
    // Hands the references made so far to the caller, who releases them.
    std::vector<IUnknown*> Take() { return std::exchange(m_held, {}); }
    bool Link(IAPNode* parent, IAPNode* child) { return parent && child && SUCCEEDED(m_doc->AddChild(parent, child)); }

    // An element made by the document (bound to it, and a top-level node if it is one), held
    // by the builder; null when it cannot be made.
    template <class T>
    T* Create(const CLSID& clsid, const IID& iid, const char* name)
    {
        GUID id = clsid, i = iid;
        T* out = nullptr;
        if (FAILED(m_doc->CreateProcessElement(&id, &i, reinterpret_cast<ULONG_PTR*>(&out))) || !out) return nullptr;
        m_held.push_back(out);
        if (IAPElement* e = As<IAPElement>(out, IID_IAPElement)) e->SetName(Text(name)), e->SetCost(7), e->Release();
        return out;
    }
    // Another interface of `p`, held by the builder; null when `p` is null or does not answer.
    template <class T>
    T* Get(IUnknown* p, const IID& iid)
    {
        T* out = As<T>(p, iid);
        if (out) m_held.push_back(out);
        return out;
    }

    // One property of every kind on the node's element.
    void Properties(IAPNode* node, IAPNode* other)
    {
        IAPElement* e = As<IAPElement>(node, IID_IAPElement);
        if (!e) return;
        Property(e, "text", CLSID_APStringProperty, [](IUnknown* p) {
            if (auto* s = As<IAPStringProperty>(p, IID_IAPStringProperty)) s->SetString(Text("a string value")), s->Release();
        });
        Property(e, "count", CLSID_APIntProperty, [](IUnknown* p) {
            if (auto* s = As<IAPIntProperty>(p, IID_IAPIntProperty)) s->SetValue(-17), s->Release();
        });
        Property(e, "ratio", CLSID_APDoubleProperty, [](IUnknown* p) {
            if (auto* s = As<IAPDoubleProperty>(p, IID_IAPDoubleProperty)) s->SetValue(0.125), s->Release();
        });
        IAPElement* target = As<IAPElement>(other, IID_IAPElement);
        Property(e, "partner", CLSID_APElemPtrProperty, [&](IUnknown* p) {
            if (auto* s = As<IAPElemPtrProperty>(p, IID_IAPElemPtrProperty)) s->SetValue(target), s->Release();
        });
        if (target) target->Release();
        e->Release();
    }

private:
    template <class Set>
    void Property(IAPElement* e, const char* name, const CLSID& clsid, Set set)
    {
        IAPProperty* p = Make<IAPProperty>(clsid, IID_IAPProperty);
        IAPPropertyKey* key = Make<IAPPropertyKey>(CLSID_APPropertyKey, IID_IAPPropertyKey);
        if (p && key) {
            key->SetKey(Text(name));
            set(p);
            e->SetProperty(key, p);
        }
        if (p) p->Release();
        if (key) key->Release();
    }

    IAPDocument* m_doc;
    std::vector<IUnknown*> m_held;
};

// Nested assemblies, parts, fixtures, notes, a group with members, a node instance, every


// Every element kind the stream stores, their stored fields away from their defaults, and
// references between them of every kind: links, related lists, tolerances with frames and
// reference features (the pin referencing itself), datums, pairs with features and a reference
// operation, conditions measuring their own operation, element lists holding an ancestor, FEM
// nodes, a group, properties pointing at other kinds, element settings and a held B-rep.
inline void BuildEveryKind(Builder& b)
{
    IAPNode* process = b.Node(CLSID_APAssemblyNode, "Process", "every kind");
    IAPNode* part = b.Node(CLSID_APPartNode, "Bracket", "with features");
    IAPNode* fixture = b.Node(CLSID_APFixtureNode, "Nest");
    IAPNode* lib = b.Node(CLSID_APTolLibNode, "Library");
    IAPNode* groupNode = b.Node(CLSID_APGroupNode, "Group node");
    IAPNode* featureGroup = b.Node(CLSID_APFeatureGroupNode, "Holes");
    IAPNode* subGroup = b.Node(CLSID_APSubFeatureGroupNode, "Slots");
    IAPNode* instance = b.Node(CLSID_APNodeInstance, "Bracket again");
    IAPNode* group = b.Node(CLSID_APGroup, "Checks");
    for (IAPNode* n : {part, fixture, lib, groupNode, group, instance}) b.Link(process, n);
    b.Link(part, featureGroup);
    b.Link(featureGroup, subGroup);
    if (auto* p = b.Get<IAPPartNode6>(part, IID_IAPPartNode6)) {
        float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, 6, 7, 1};
        double m34[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0.5, 0.25, 0.125};
        p->SetPartNodeNodeString(Text("part string"));
        p->SetMatrix4f(m);
        p->SetVector(1, 2, 3);
        p->SetScalar(4.5);
        p->SetFlag1();
        p->SetFlag2();
        p->SetPartNodeMatrix3x4(m34);
        p->SetPartNodeIntValue1(11), p->SetPartNodeIntValue2(12), p->SetPartNodeIntValue3(13);
        p->SetIntPair(14, 15);
    }
    if (auto* a = b.Get<IAPAssemblyNode4>(process, IID_IAPAssemblyNode4)) a->SetIntPair(3, 4), a->SetGroupNodeNodeString(Text("asm"));
    if (auto* f = b.Get<IAPFixtureNode>(fixture, IID_IAPFixtureNode)) f->SetFixtureValue(9);
    if (auto* g = b.Get<IAPGroupNode2>(groupNode, IID_IAPGroupNode2)) g->SetGroupNodeNodeString(Text("group"));
    if (auto* n = b.Get<IAPNode3>(part, IID_IAPNode3)) n->SetNote2(Text("second note"));
    if (auto* e = b.Get<IAPElement2>(part, IID_IAPElement2)) {
        int values[3] = {4, 5, 6};
        e->SetVectorSetting1(0.5, 1.5, 2.5);
        e->SetIntSetting2(501);
        e->SetFloatSetting14(2.5f);
        e->SetIntArraySetting22(3, values);
        e->SetIntTripleSetting23(7, 8, 9);
    }

    // Features: every kind, each with its own parameters and the shared fields set.
    struct Made {
        IAPNode* node;
        IAPFeature8* f;
    };
    auto feature = [&](const CLSID& clsid, const char* name, IAPNode* parent) -> Made {
        IAPNode* node = b.Node(clsid, name);
        b.Link(parent, node);
        IAPFeature8* f = b.Get<IAPFeature8>(node, IID_IAPFeature8);
        if (f) {
            double t[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1};
            f->SetTransformation(t);
            f->SetFeatureColor(0.25, 0.5, 0.75);
            f->SetFeatureTransparency(0.3);
            f->SetSizeDistributionType(AP_DISTRIB_TYPE_PEARSON);
            f->SetSizePearsonValues(0.1, 0.2, 0.3, 3.5);
            f->SetFormDistributionType(AP_DISTRIB_TYPE_UNIFORM);
            f->SetLocOrtDistributionType(AP_DISTRIB_TYPE_PEARSON);
            f->SetLocOrtDistributionValues(0.4, 2.5);
            f->SetVariationSource(3);
            f->SetVariationSetting(5);
            f->SetFeatureOptionFlag(1);
            f->SetOptionPair(6, 7u);
            f->SetIntAttribute1(8);
            f->SetIntAttribute2(9);
            f->SetIsValid(0);
        }
        return {node, f};
    };
    Made pin = feature(CLSID_APPinFeature, "pin", featureGroup);
    Made hole = feature(CLSID_APHoleFeature, "hole", featureGroup);
    Made slot = feature(CLSID_APSlotFeature, "slot", subGroup);
    Made tab = feature(CLSID_APTabFeature, "tab", part);
    Made plane = feature(CLSID_APPlaneFeature, "plane", part);
    Made point = feature(CLSID_APPointFeature, "point", plane.node); // linked to its parent below
    Made surface = feature(CLSID_APSurfaceFeature, "surface", part);
    Made pattern = feature(CLSID_APPatternFeature, "pattern", part);
    Made tpin = feature(CLSID_APTaperedPinFeature, "tapered pin", part);
    Made thole = feature(CLSID_APTaperedHoleFeature, "tapered hole", part);
    if (auto* f = b.Get<IAPPinFeature>(pin.node, IID_IAPPinFeature)) f->DefinePinFeatureImplicit(0, 0, 0, 0, 0, 1, 2, 10, 8, 8, 1);
    if (auto* f = b.Get<IAPHoleFeature>(hole.node, IID_IAPHoleFeature)) f->DefineHoleFeatureImplicit(5, 0, 0, 0, 0, 1, 2.5, 8, 8, 8, 1);
    if (auto* f = b.Get<IAPSlotFeature>(slot.node, IID_IAPSlotFeature)) f->DefineSlotFeatureImplicit(0, 5, 0, 0, 0, 1, 1, 0, 0, 6, 2, 3);
    if (auto* f = b.Get<IAPTabFeature>(tab.node, IID_IAPTabFeature)) f->DefineTabFeatureImplicit(0, 9, 0, 0, 0, 1, 1, 0, 0, 6, 2, 3, 1, 1, 1);
    if (auto* f = b.Get<IAPPlaneFeature4>(plane.node, IID_IAPPlaneFeature4)) f->DefinePlaneImplicit(0, 0, 1, 0, 0, 1, 20, 10), f->SetNormalSenseNegative();
    if (auto* f = b.Get<IAPPointFeature5>(point.node, IID_IAPPointFeature5)) {
        double values[2] = {0.5, 0.75};
        f->DefinePointImplicit(1, 1, 1, 0, 0, 1, 0.5);
        f->SetPtSizeDistributionValues(0.1, 0.2, 0.3, 3.0, 2, values);
        f->SetLocOrtXmlFileAndMeasurementName(Text("points.xml"), Text("gap"), 42);
        f->SetAsFemPoint(1);
        f->SetFromGridPoints(1);
    }
    if (auto* f = b.Get<IAPSurfaceFeature1>(surface.node, IID_IAPSurfaceFeature1)) {
        double pts[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0}, vec[9] = {0, 0, 1, 0, 0, 1, 0, 0, 1};
        f->DefineSurfaceByPoints(pts, 3, vec);
    }
    if (auto* f = b.Get<IAPPatternFeature>(pattern.node, IID_IAPPatternFeature)) f->SetPatternFeatureType(AP_FEATURE_HOLE);
    if (auto* f = b.Get<IAPTaperedPinFeature>(tpin.node, IID_IAPTaperedPinFeature))
        f->DefineTaperedPinImplicit(0, 0, 2, 0, 0, 1, 1, 4, 0.1, 2, 3, 3, 1), f->SetTaperedPinUIParameters(0.2, AP_TAPERANGLE_SEL);
    if (auto* f = b.Get<IAPTaperedHoleFeature>(thole.node, IID_IAPTaperedHoleFeature))
        f->DefineTaperedHoleImplicit(0, 0, 3, 0, 0, 1, 1, 4, 0.1, 2, 3, 3, 1), f->SetTaperedHoleUIParameters(0.3, AP_TAPERANGLE_SEL);
    // A held B-rep: the pin's shape given to the tab.
    if (pin.f && tab.f) {
        ULONG_PTR h = 0;
        if (pin.f->GetWmBrep(&h) == S_OK && h) {
            tab.f->SetWmBrep(h);
            reinterpret_cast<IPlenvortBrep*>(h)->Release();
        }
    }
    // Links: the point to its parent plane, a related owner and its member.
    if (point.f && plane.f) point.f->SetLinkedElement(plane.f);
    if (pin.f && hole.f) {
        pin.f->AppendRelatedElement(hole.f);
        pin.f->SetRelatedOwnerFlag(1);
        hole.f->SetRelatedOwner(pin.f);
        hole.f->SetRelatedMemberFlag(1);
    }

    // Datums and frames on the part; a GD&T tolerance using them and referencing features.
    auto* datumA = b.Create<IAPDatum4>(CLSID_APDatum, IID_IAPDatum4, "A");
    auto* datumB = b.Create<IAPDatum4>(CLSID_APDatum, IID_IAPDatum4, "B");
    auto* frame = b.Create<IAPDRF2>(CLSID_APDRF, IID_IAPDRF2, "A|B");
    auto* frame2 = b.Create<IAPDRF2>(CLSID_APDRF, IID_IAPDRF2, "A");
    if (datumA && datumB && frame && frame2) {
        datumA->AppendDatumFeature(plane.f);
        datumA->SetVisibleFlag(0);
        datumB->AppendDatumFeature(hole.f);
        datumB->SetTargetFlag(1);
        datumB->AppendTargetLabel(Text("B1"));
        frame->AddPrimaryDatum(datumA, AP_MODIFIER_MMC);
        frame->AddSecondaryDatum(datumB, AP_MODIFIER_LMC);
        frame2->AddPrimaryDatum(datumA, AP_MODIFIER_RFS);
        double m[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 2, 3};
        frame->SetDRFMatrix3x4(m);
        if (auto* p = b.Get<IAPPartNode>(part, IID_IAPPartNode)) {
            p->AppendListItem(frame), p->AppendListItem(frame2);
            p->AppendListItem2(datumA), p->AppendListItem2(datumB);
        }
    }
    if (auto* gdt = b.Create<IAPGDTTolerance5>(CLSID_APGDTTolerance, IID_IAPGDTTolerance5, "position")) {
        gdt->SetZoneSize(0.2);
        gdt->SetZoneShape(AP_TOL_CIRCULAR);
        gdt->SetZoneModifier(AP_MODIFIER_MMC);
        gdt->SetGDTType(AP_CALLOUT_POSITION);
        gdt->SetZoneDirection(0, 0, 1);
        gdt->SetDRF(frame);
        gdt->SetCompositeType(AP_COMPOSITE);
        gdt->SetCompositeZoneSize(0.05);
        gdt->SetCompositeDRF(frame2);
        gdt->SetZoneShift(0.01);
        gdt->SetNominalShift(1);
        gdt->SetHasFormRateOfChange(1);
        gdt->SetFormRateOfChangeZone(0.02);
        gdt->SetDirectedDimDirectionVector(1, 0, 0);
        if (auto* t = b.Get<IAPTolerance>(gdt, IID_IAPTolerance)) {
            t->Set3dPosition(1, 2, 3);
            t->SetCategory(AP_TOL_CAT_LOC);
            if (pin.f) pin.f->AddTolerance(t);
        }
        gdt->AppendReferenceFeature(pin.f, pin.f);
        gdt->AppendReferenceFeature(pin.f, hole.f);
        gdt->AppendReferenceFeature(pin.f, nullptr);
    }
    if (auto* size = b.Create<IAPSizeTolerance2>(CLSID_APSizeTolerance, IID_IAPSizeTolerance2, "size")) {
        size->SetMinSizeLimit(-0.1);
        size->SetMaxSizeLimit(0.15);
        size->SetSizeType(AP_SIZE_LIMITS);
        size->SetThicknessTolType(AP_THICKNESS_PERCENT);
        if (auto* t = b.Get<IAPTolerance>(size, IID_IAPTolerance))
            if (hole.f) hole.f->AddTolerance(t);
    }

    // Operations of every kind under the process, with pairs, conditions and element lists.
    IAPNode* asmNode = b.Node(CLSID_APAssemblyOperation, "assemble");
    IAPNode* classicNode = b.Node(CLSID_APClassicAssemblyOperation, "classic");
    IAPNode* kinNode = b.Node(CLSID_APKinematicAssemblyOperation, "kinematic");
    IAPNode* femNode = b.Node(CLSID_APFemAssemblyOperation, "fem");
    IAPNode* measNode = b.Node(CLSID_APMeasurementOperation, "gap");
    IAPNode* spcNode = b.Node(CLSID_APSPCMeasurementOp, "spc");
    IAPNode* customNode = b.Node(CLSID_APCustomOperation, "custom");
    for (IAPNode* n : {asmNode, classicNode, kinNode, femNode, measNode, spcNode, customNode}) {
        b.Link(process, n);
        if (auto* op = b.Get<IAPOperation4>(n, IID_IAPOperation4)) {
            op->SetOperationTime(2.5);
            op->SetActiveFlag(0);
            op->SetAuxiliaryFlag(1);
            op->SetConditionMode(1);
            op->SetConditionOption(3);
        }
    }
    IAPElement* processElement = b.Get<IAPElement>(process, IID_IAPElement);
    IAPElement* partElement = b.Get<IAPElement>(part, IID_IAPElement);
    IAPOperation* meas = b.Get<IAPOperation>(measNode, IID_IAPOperation);
    IAPOperation* custom = b.Get<IAPOperation>(customNode, IID_IAPOperation);
    if (auto* a = b.Get<IAPAssemblyOperation5>(asmNode, IID_IAPAssemblyOperation5)) {
        double t[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 4, 5, 6};
        a->SetAssemblyOperationTranslationalBiasVector(0.1, 0.2, 0.3);
        a->SetAssemblyOperationRotationalBiasVector(0.4, 0.5, 0.6);
        a->SetAssemblyOperationAsmOpNominalTransform(t);
        a->AppendAssemblyOperationElement(partElement);
        a->AppendAssemblyOperationElement(processElement); // an ancestor
        a->SetMoveType(2), a->SetMoveFlag(1), a->SetMoveLimit(0.5), a->SetShowPointFlag(1), a->SetShowPointFrom(1);
        a->SetRefreshFlag(1), a->SetRefreshFrom(2), a->SetRefreshTo(3), a->SetRefreshDelaySeconds(4);
    }
    if (auto* c = b.Get<IAPClassicAssemblyOperation2>(classicNode, IID_IAPClassicAssemblyOperation2)) {
        c->SetAssemblyOperationTranslationalBiasVector(1, 2, 3);
        c->AppendAssemblyOperationElementNoDependent(partElement);
        c->SetMoveType(1), c->SetRefreshTo(5);
    }
    if (auto* k = b.Get<IAPKinematicAssemblyOperation3>(kinNode, IID_IAPKinematicAssemblyOperation3)) {
        k->SetAssemblyOperationRotationalBiasVector(1, 0, 0);
        k->AppendKinematicAssemblyOperationElement(Text("first"), partElement);
        k->AppendKinematicAssemblyOperationElement(Text("second"), processElement);
        k->SetShowPointTo(4), k->SetRefreshDelay(0);
    }
    if (auto* f = b.Get<IAPFemAssemblyOperation5>(femNode, IID_IAPFemAssemblyOperation5)) {
        f->SetFemTranslationalBiasVector(0, 1, 0);
        f->SetFemType(AP_FEM_GRAVITY);
        if (IAPPointerList* list = Make<IAPPointerList>(CLSID_APPointerList, IID_IAPPointerList)) {
            list->AppendElement(part);
            list->AppendElement(fixture);
            f->SetBcNodes(list);
            list->Release();
        }
        f->SetMoveLimit(0.25);
    }
    if (auto* m = b.Get<IAPMeasurementOperation9>(measNode, IID_IAPMeasurementOperation9)) {
        double value = 0.5;
        m->SetMeasurementMode(2);
        m->SetMeasurementVector(0, 1, 0);
        m->SetLowDesignLimit(-0.5);
        m->SetHighDesignLimit(0.5);
        m->SetIsRelative(1);
        m->SetResultsStoredFlag(1);
        m->SetNumData(3);
        m->SetRawDataByIndex(1, 0.25);
        m->AppendContribData(Text("pin"), &value);
        m->AppendContribData2(Text("hole"), 0.75, 2);
        m->SetSimulatedNominal(0.1), m->SetProcessStdDev(0.2), m->SetHLMVariance(0.3);
        m->SetExtraValue1(1.5), m->SetExtraValue2(2.5), m->SetExtraValue3(3.5);
        m->AppendMeasurementOperationAltContribData2(Text("alt"), 0.5, 1);
        m->SetDesignLimitsFlag(1), m->SetOption1(1), m->SetOption2(2), m->SetOption3(3), m->SetOption4(4), m->SetOption5(5);
        m->SetMeasurementOperationExtraValue4(4.5), m->SetMeasurementOperationExtraValue5(5.5);
        m->AppendReferenceElement(partElement);
        m->AppendReferenceElement(processElement); // an ancestor
    }
    if (auto* s = b.Get<IAPSPCMeasurementOp>(spcNode, IID_IAPSPCMeasurementOp)) {
        double a1[3] = {1, 2, 3}, a2[3] = {4, 5, 6};
        s->SetSPCMeasurementType(AP_SPC_VALUE);
        s->SetXMLFileName(Text("spc.xml"));
        s->SetNameInXMLFile(Text("flush"));
        s->SetAnchorPts(2, a1, a2);
    }
    if (auto* c = b.Get<IAPCustomOperation12>(customNode, IID_IAPCustomOperation12)) {
        c->AppendElement(Text("part"), partElement);
        c->AppendElement(Text("process"), processElement); // an ancestor
        c->AppendCustomOperationElementNoDependent(Text("pin"), b.Get<IAPElement>(pin.node, IID_IAPElement));
        c->AppendMetaData(Text("key"), Text("value"));
        c->SetExtensionSetName(Text("set")), c->SetNameOfExtension(Text("extension"));
        c->SetCustomOpType(AP_CUSTOM_MEAS);
        c->SetLowDesignLimitForCustom(-1), c->SetHighDesignLimitForCustom(1), c->SetIsRelativeForCustom(1);
        c->SetResultsStoredFlagCustom(1), c->SetNumDataCustom(2), c->SetRawDataByIndexCustom(0, 0.5);
        c->AppendCustContribData2(Text("c"), 0.25, 3);
        c->SetCustSimulatedNominal(0.5), c->SetCustProcessStdDev(0.1), c->SetCustHLMVariance(0.2);
        c->AppendCustomOperationAltContribData2(Text("alt"), 0.5, 2);
        c->SetExtraValue6(6), c->SetExtraValue7(7), c->SetExtraValue8(8), c->SetOption5(5);
        c->SetMoveFlag(1), c->SetRefreshFrom(1);
    }
    // Pairs and conditions on every operation; one condition measures its own operation.
    int i = 0;
    for (IAPNode* n : {asmNode, classicNode, kinNode, femNode, measNode, spcNode, customNode}) {
        IAPOperation4* op = b.Get<IAPOperation4>(n, IID_IAPOperation4);
        auto* pair = b.Create<IAPFeaturePair3>(CLSID_APFeaturePair, IID_IAPFeaturePair3, "pair");
        auto* condition = b.Create<IAPCondition>(CLSID_APCondition, IID_IAPCondition, "condition");
        if (!op || !pair || !condition) continue;
        pair->AppendObjectFeature(pin.f);
        pair->AppendObjectFeature(tpin.f);
        pair->AppendTargetFeature(hole.f);
        pair->SetFloat(AP_PRESSFIT_DATUM_B);
        pair->SetFastenerSize(1.5);
        pair->SetFeaturePairIntValue1(2), pair->SetDoubleValue(0.5), pair->SetFeaturePairIntValue2(3), pair->SetFeaturePairIntValue3(1);
        pair->SetReferenceElement(meas);
        op->AppendFeaturePair(pair);
        condition->SetMeasurement1(n == measNode ? b.Get<IAPOperation>(n, IID_IAPOperation) : meas);
        if (i % 2) {
            condition->SetMeasurement2(custom);
        } else {
            condition->SetMeas2Set(0);
            condition->SetValue(0.125 * i);
        }
        condition->SetComparisonOperator(LESSTHANEQUALTO);
        condition->SetLogicalOperator(OR);
        op->AppendCondition(condition);
        ++i;
    }
    if (IAPGroup* g = b.Get<IAPGroup>(group, IID_IAPGroup)) {
        g->AppendGroupElement(b.Get<IAPElement>(measNode, IID_IAPElement));
        g->AppendGroupElement(b.Get<IAPElement>(spcNode, IID_IAPElement));
    }
    // Element-pointer properties naming elements of other kinds.
    b.Properties(part, measNode);
    b.Properties(pin.node, part);
    b.Properties(measNode, process);
    (void)lib;
}
