#include <gtest/gtest.h>
#include <cstring>
#include <functional>
#include <iterator>
#include <type_traits>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "server/ObjectMap.h"
#include "platform/orv/ORVComCreate.h"
#include "element_support.h"

using namespace plenvort_test;

namespace {

// ---------------------------------------------------------------------------------------
// The interface families and which element classes answer them

struct Family {
    const char* name;
    std::vector<const IID*> iids;
};

#define V(n) &IID_##n
const std::vector<Family>& Families()
{
    static const std::vector<Family> f = {
        {"Element", {V(IAPElement), V(IAPElement2), V(IAPElement3), V(IAPElement4), V(IAPElement5), V(IAPElement6),
                     V(IAPElement7), V(IAPElement8), V(IAPElement9), V(IAPElement10), V(IAPElement11),
                     V(IAPElement12), V(IAPElement13), V(IAPElement14), V(IAPElement15), V(IAPElement16)}},
        {"ElementSink", {V(IAPElementSink)}},
        {"Node", {V(IAPNode), V(IAPNode2), V(IAPNode3)}},
        {"GeometryNode", {V(IAPGeometryNode)}},
        {"PartNode", {V(IAPPartNode), V(IAPPartNode2), V(IAPPartNode3), V(IAPPartNode4), V(IAPPartNode5),
                      V(IAPPartNode6)}},
        {"AssemblyNode", {V(IAPAssemblyNode), V(IAPAssemblyNode2), V(IAPAssemblyNode3), V(IAPAssemblyNode4)}},
        {"TolLibNode", {V(IAPTolLibNode)}},
        {"Operation", {V(IAPOperation), V(IAPOperation2), V(IAPOperation3), V(IAPOperation4)}},
        {"AssemblyOperation", {V(IAPAssemblyOperation), V(IAPAssemblyOperation2), V(IAPAssemblyOperation3),
                               V(IAPAssemblyOperation4), V(IAPAssemblyOperation5)}},
        {"KinematicAssemblyOperation", {V(IAPKinematicAssemblyOperation), V(IAPKinematicAssemblyOperation2),
                                        V(IAPKinematicAssemblyOperation3)}},
        {"FemAssemblyOperation", {V(IAPFemAssemblyOperation), V(IAPFemAssemblyOperation2),
                                  V(IAPFemAssemblyOperation3), V(IAPFemAssemblyOperation4),
                                  V(IAPFemAssemblyOperation5)}},
        {"MeasurementOperation", {V(IAPMeasurementOperation), V(IAPMeasurementOperation2),
                                  V(IAPMeasurementOperation3), V(IAPMeasurementOperation4),
                                  V(IAPMeasurementOperation5), V(IAPMeasurementOperation6),
                                  V(IAPMeasurementOperation7), V(IAPMeasurementOperation8),
                                  V(IAPMeasurementOperation9)}},
        {"FixtureNode", {V(IAPFixtureNode)}},
        {"Feature", {V(IAPFeature), V(IAPFeature2), V(IAPFeature3), V(IAPFeature4), V(IAPFeature5), V(IAPFeature6),
                     V(IAPFeature7), V(IAPFeature8)}},
        {"PinFeature", {V(IAPPinFeature)}},
        {"TaperedPinFeature", {V(IAPTaperedPinFeature)}},
        {"HoleFeature", {V(IAPHoleFeature)}},
        {"TaperedHoleFeature", {V(IAPTaperedHoleFeature)}},
        {"SlotFeature", {V(IAPSlotFeature)}},
        {"TabFeature", {V(IAPTabFeature)}},
        {"PlaneFeature", {V(IAPPlaneFeature), V(IAPPlaneFeature2), V(IAPPlaneFeature3), V(IAPPlaneFeature4)}},
        {"PointFeature", {V(IAPPointFeature), V(IAPPointFeature2), V(IAPPointFeature3), V(IAPPointFeature4),
                          V(IAPPointFeature5)}},
        {"SurfaceFeature", {V(IAPSurfaceFeature), V(IAPSurfaceFeature1)}},
        {"PatternFeature", {V(IAPPatternFeature)}},
        {"FeaturePair", {V(IAPFeaturePair), V(IAPFeaturePair2), V(IAPFeaturePair3)}},
        {"Tolerance", {V(IAPTolerance)}},
        {"GDTTolerance", {V(IAPGDTTolerance), V(IAPGDTTolerance2), V(IAPGDTTolerance3), V(IAPGDTTolerance4),
                          V(IAPGDTTolerance5)}},
        {"SizeTolerance", {V(IAPSizeTolerance), V(IAPSizeTolerance2)}},
        {"DRF", {V(IAPDRF), V(IAPDRF2)}},
        {"Datum", {V(IAPDatum), V(IAPDatum2), V(IAPDatum3), V(IAPDatum4)}},
        {"NodeInstance", {V(IAPNodeInstance)}},
        {"Group", {V(IAPGroup)}},
        {"CustomOperation", {V(IAPCustomOperation), V(IAPCustomOperation2), V(IAPCustomOperation3),
                             V(IAPCustomOperation4), V(IAPCustomOperation5), V(IAPCustomOperation6),
                             V(IAPCustomOperation7), V(IAPCustomOperation8), V(IAPCustomOperation9),
                             V(IAPCustomOperation10), V(IAPCustomOperation11), V(IAPCustomOperation12)}},
        {"SPCMeasurementOp", {V(IAPSPCMeasurementOp)}},
        {"GroupNode", {V(IAPGroupNode), V(IAPGroupNode2)}},
        {"FeatureGroupNode", {V(IAPFeatureGroupNode)}},
        {"SubFeatureGroupNode", {V(IAPSubFeatureGroupNode)}},
        {"Condition", {V(IAPCondition)}},
        {"ClassicAssemblyOperation", {V(IAPClassicAssemblyOperation), V(IAPClassicAssemblyOperation2)}},
    };
    return f;
}
#undef V

struct ElementClass {
    const char* name;
    const CLSID* clsid;
    const CRuntimeClass* model;
    std::set<std::string> families; // besides ElementSink and Element
};

#define C(kind, ...) {#kind, &CLSID_AP##kind, RUNTIME_CLASS(AP##kind), {__VA_ARGS__}}
const std::vector<ElementClass>& ElementClasses()
{
    static const std::vector<ElementClass> c = {
        C(PartNode, "Node", "GeometryNode", "PartNode"),
        C(AssemblyNode, "Node", "GeometryNode", "AssemblyNode"),
        C(TolLibNode, "Node", "TolLibNode"),
        C(AssemblyOperation, "Node", "Operation", "AssemblyOperation"),
        C(ClassicAssemblyOperation, "Node", "Operation", "ClassicAssemblyOperation"),
        C(KinematicAssemblyOperation, "Node", "Operation", "KinematicAssemblyOperation"),
        C(FemAssemblyOperation, "Node", "Operation", "FemAssemblyOperation"),
        C(MeasurementOperation, "Node", "Operation", "MeasurementOperation"),
        C(CustomOperation, "Node", "Operation", "CustomOperation"),
        C(SPCMeasurementOp, "Node", "Operation", "MeasurementOperation", "SPCMeasurementOp"),
        C(FixtureNode, "Node", "GeometryNode", "PartNode", "FixtureNode"),
        C(NodeInstance, "Node", "GeometryNode", "NodeInstance"),
        C(GDTTolerance, "Tolerance", "GDTTolerance"),
        C(SizeTolerance, "Tolerance", "SizeTolerance"),
        C(DRF, "DRF"),
        C(Datum, "Datum"),
        C(FeaturePair, "FeaturePair"),
        C(PinFeature, "Node", "GeometryNode", "Feature", "PinFeature"),
        C(HoleFeature, "Node", "GeometryNode", "Feature", "HoleFeature"),
        C(SlotFeature, "Node", "GeometryNode", "Feature", "SlotFeature"),
        C(TabFeature, "Node", "GeometryNode", "Feature", "TabFeature"),
        C(PlaneFeature, "Node", "GeometryNode", "Feature", "PlaneFeature"),
        C(PointFeature, "Node", "GeometryNode", "Feature", "PointFeature"),
        C(SurfaceFeature, "Node", "GeometryNode", "Feature", "SurfaceFeature"),
        C(PatternFeature, "Node", "GeometryNode", "Feature", "PatternFeature"),
        C(Group, "Node", "Group"),
        C(TaperedPinFeature, "Node", "GeometryNode", "Feature", "TaperedPinFeature"),
        C(TaperedHoleFeature, "Node", "GeometryNode", "Feature", "TaperedHoleFeature"),
        C(GroupNode, "Node", "GroupNode"),
        C(FeatureGroupNode, "GeometryNode", "Node", "FeatureGroupNode"),
        C(SubFeatureGroupNode, "GeometryNode", "Node", "SubFeatureGroupNode"),
        C(Condition, "Condition"),
    };
    return c;
}
#undef C

// ---------------------------------------------------------------------------------------
// Recording sinks

class RecordingDocSink : public CountedFake<IAPDocEventSink, &IID_IAPDocEventSink> {
public:
    struct Event {
        unsigned short cmd;
        IAPElement* element;
        unsigned long length;
        GUID iid;
    };
    HRESULT result = S_OK;
    std::vector<Event> events;

    HRESULT STDMETHODCALLTYPE Notify(unsigned short cmd, IAPElement* element, unsigned long length,
                                     unsigned char* message) override
    {
        Event e{cmd, element, length, GUID{}};
        if (message && length == sizeof(GUID)) std::memcpy(&e.iid, message, sizeof(GUID));
        events.push_back(e);
        return result;
    }
};

class RecordingDependent : public CountedFake<IAPElementSink, &IID_IAPElementSink> {
public:
    std::vector<std::string>* log = nullptr;
    std::string name;
    std::function<void(IAPElement*)> onNotify;

    HRESULT STDMETHODCALLTYPE Notify(unsigned long cmd, IAPElement* element) override
    {
        if (log) log->push_back(name + ":" + std::to_string(cmd));
        if (onNotify) onNotify(element);
        return S_OK;
    }
};

using AggregateOuter = ControllingUnknown;

// Every test leaves no object and no lock behind.
using ElementObjects = ObjectsTest;

} // namespace

// ---------------------------------------------------------------------------------------

TEST_F(ElementObjects, EveryCoclassAnswersExactlyItsFamilies)
{
    EXPECT_EQ(baseline, 0);
    const auto& families = Families();
    for (const ElementClass& c : ElementClasses()) {
        SCOPED_TRACE(c.name);
        IUnknown* unk = Create<IUnknown>(*c.clsid, IID_IUnknown);
        ASSERT_NE(unk, nullptr);
        EXPECT_EQ(RefCount(unk), 1u);

        // The identity is the IAPElementSink sub-object.
        IUnknown* sink = Query(unk, IID_IAPElementSink);
        EXPECT_EQ(sink, unk);
        if (sink) sink->Release();

        std::set<IUnknown*> distinct;
        for (const Family& f : families) {
            SCOPED_TRACE(f.name);
            const bool answered = c.families.count(f.name) || !std::strcmp(f.name, "Element") ||
                                  !std::strcmp(f.name, "ElementSink");
            IUnknown* first = nullptr;
            for (const IID* iid : f.iids) {
                IUnknown* p = reinterpret_cast<IUnknown*>(1);
                HRESULT hr = unk->QueryInterface(*iid, reinterpret_cast<void**>(&p));
                if (!answered) {
                    EXPECT_EQ(hr, E_NOINTERFACE);
                    EXPECT_EQ(p, nullptr);
                    continue;
                }
                ASSERT_EQ(hr, S_OK);
                if (!first) first = p;
                EXPECT_EQ(p, first) << "one pointer per family";
                // Every interface leads back to the same identity.
                IUnknown* id = Query(p, IID_IUnknown);
                EXPECT_EQ(id, unk);
                if (id) id->Release();
                p->Release();
            }
            if (first) {
                EXPECT_TRUE(distinct.insert(first).second) << "families share no sub-object";
            }
        }
        EXPECT_EQ(distinct.size(), c.families.size() + 2);
        EXPECT_EQ(RefCount(unk), 1u);
        EXPECT_EQ(unk->Release(), 0u);
    }
}

TEST_F(ElementObjects, EveryCoclassCreatesItsModelAndKnowsItsClass)
{
    for (const ElementClass& c : ElementClasses()) {
        SCOPED_TRACE(c.name);
        IAPElement* e = Create<IAPElement>(*c.clsid, IID_IAPElement);
        ASSERT_NE(e, nullptr);
        GUID id{};
        EXPECT_EQ(e->GetClassID(&id), S_OK);
        EXPECT_EQ(id, *c.clsid);
        EXPECT_EQ(e->GetClassID(nullptr), E_POINTER);

        APElement* model = ObjectOf(e)->GetModelObject();
        ASSERT_NE(model, nullptr);
        EXPECT_EQ(model->GetRuntimeClass(), c.model);
        EXPECT_EQ(model->GetComObject(), e) << "the model's back pointer is the primary interface";

        // Created again from the class it reports, it is the same kind.
        IAPElement* again = Create<IAPElement>(id, IID_IAPElement);
        ASSERT_NE(again, nullptr);
        EXPECT_EQ(ObjectOf(again)->GetModelObject()->GetRuntimeClass(), c.model);
        again->Release();
        e->Release();
    }
}

TEST_F(ElementObjects, ObjectMapListsTheClassesInRegistrationOrder)
{
    const CLSID* expected[] = {
        &CLSID_APPointerList, &CLSID_APFixtureNode, &CLSID_APNodeInstance, &CLSID_APMeasurementOperation,
        &CLSID_APAssemblyOperation, &CLSID_APClassicAssemblyOperation, &CLSID_APKinematicAssemblyOperation,
        &CLSID_APFemAssemblyOperation, &CLSID_APAssemblyNode, &CLSID_APPartNode, &CLSID_APPinFeature,
        &CLSID_APHoleFeature, &CLSID_APSlotFeature, &CLSID_APTabFeature, &CLSID_APPlaneFeature,
        &CLSID_APPointFeature, &CLSID_APSurfaceFeature, &CLSID_APFeaturePair, &CLSID_APGDTTolerance,
        &CLSID_APSizeTolerance, &CLSID_APDocument, &CLSID_APDatum, &CLSID_APDRF, &CLSID_APGroup,
        &CLSID_APStringProperty, &CLSID_APPropertyKey, &CLSID_APIntProperty, &CLSID_APDoubleProperty,
        &CLSID_APElemPtrProperty, &CLSID_APCustomOperation, &CLSID_APSPCMeasurementOp, &CLSID_APPatternFeature,
        &CLSID_APTolLibNode, &CLSID_APTaperedPinFeature, &CLSID_APTaperedHoleFeature, &CLSID_APGroupNode,
        &CLSID_APFeatureGroupNode, &CLSID_APSubFeatureGroupNode, &CLSID_APCondition};
    _ATL_OBJMAP_ENTRY* map = PlenvortObjectMap();
    size_t n = 0;
    for (; map[n].pclsid; ++n) {
        ASSERT_LT(n, std::size(expected));
        EXPECT_EQ(*map[n].pclsid, *expected[n]) << "entry " << n;
        EXPECT_NE(map[n].pfnGetClassObject, nullptr);
        EXPECT_NE(map[n].pfnCreateInstance, nullptr);
        EXPECT_NE(map[n].pfnUpdateRegistry, nullptr);
    }
    EXPECT_EQ(n, std::size(expected));
    EXPECT_EQ(AtlAutoObjectMap(), map);

    // The element base, tolerance base and feature base are not creatable.
    // {5D73A3C4-F8E9-11D2-B25C-0060B0A4BC1C}
    const CLSID elementBase = {0x5d73a3c4, 0xf8e9, 0x11d2, {0xb2, 0x5c, 0x00, 0x60, 0xb0, 0xa4, 0xbc, 0x1c}};
    IUnknown* none = nullptr;
    EXPECT_EQ(ORVCoCreateInstance(elementBase, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                  reinterpret_cast<void**>(&none)),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(none, nullptr);
}

TEST_F(ElementObjects, QueriesWithBadArguments)
{
    IUnknown* none = reinterpret_cast<IUnknown*>(1);
    IAPNode* node = nullptr;
    EXPECT_EQ(ORVCoCreateInstance(CLSID_APCondition, nullptr, CLSCTX_INPROC_SERVER, IID_IAPNode,
                                  reinterpret_cast<void**>(&node)),
              E_NOINTERFACE);
    EXPECT_EQ(node, nullptr);
    IAPNode* groupNode = Create<IAPNode>(CLSID_APGroup, IID_IAPNode);
    ASSERT_NE(groupNode, nullptr);
    EXPECT_EQ(groupNode->QueryInterface(IID_IAPElement, nullptr), E_POINTER);
    EXPECT_EQ(groupNode->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&none)), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    groupNode->Release();
}

TEST_F(ElementObjects, AggregatedElementDelegatesToItsOuter)
{
    AggregateOuter outer;
    ASSERT_EQ(ORVCoCreateInstance(CLSID_APPartNode, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                  reinterpret_cast<void**>(&outer.inner)),
              S_OK);
    EXPECT_EQ(outer.refs, 1);
    EXPECT_EQ(AtlModuleLockCount(), 1);

    IAPElement* e = nullptr;
    ASSERT_EQ(outer.inner->QueryInterface(IID_IAPElement, reinterpret_cast<void**>(&e)), S_OK);
    EXPECT_EQ(outer.refs, 2); // the reference went to the outer object
    IUnknown* id = Query(e, IID_IUnknown);
    EXPECT_EQ(id, static_cast<IUnknown*>(&outer));
    id->Release();
    IUnknown* node = Query(e, IID_IAPNode3); // through the outer, back to the inner
    ASSERT_NE(node, nullptr);
    node->Release();
    IUnknown* refused = Query(outer.inner, IID_IAPCondition);
    EXPECT_EQ(refused, nullptr);

    EXPECT_EQ(e->SetCost(7), S_OK);
    int cost = 0;
    EXPECT_EQ(e->GetCost(&cost), S_OK);
    EXPECT_EQ(cost, 7);
    e->Release();
    EXPECT_EQ(outer.refs, 1);
    EXPECT_EQ(outer.inner->Release(), 0u);
    outer.inner = nullptr;

    // Aggregation is only ever asked for through IUnknown.
    IClassFactory* cf = nullptr;
    ASSERT_EQ(_pAtlModule->GetClassObject(CLSID_APPartNode, IID_IClassFactory, reinterpret_cast<void**>(&cf)), S_OK);
    IAPElement* bad = reinterpret_cast<IAPElement*>(1);
    EXPECT_EQ(cf->CreateInstance(&outer, IID_IAPElement, reinterpret_cast<void**>(&bad)), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(bad, nullptr);
    cf->Release();
}

TEST_F(ElementObjects, NotificationCarriesTheFixedInterfaceOnlyWithADocument)
{
    IAPElement* e = Create<IAPElement>(CLSID_APPartNode, IID_IAPElement);
    ASSERT_NE(e, nullptr);
    // Without a document the setter succeeds and nothing is heard.
    EXPECT_EQ(e->SetName(reinterpret_cast<unsigned char*>(const_cast<char*>("A"))), S_OK);

    RecordingDocSink doc;
    EXPECT_EQ(e->BindDocument(&doc), S_OK);
    EXPECT_EQ(doc.refs, 1) << "an element holds its document without a reference";

    // Called through a later version, the event still names the base interface.
    IAPElement16* e16 = nullptr;
    ASSERT_EQ(e->QueryInterface(IID_IAPElement16, reinterpret_cast<void**>(&e16)), S_OK);
    EXPECT_EQ(e16->SetCost(3), S_OK);
    EXPECT_EQ(e->SetDescription(reinterpret_cast<unsigned char*>(const_cast<char*>("d"))), S_OK);
    EXPECT_EQ(e->SetName(nullptr), S_OK);
    ASSERT_EQ(doc.events.size(), 3u);
    for (const auto& ev : doc.events) {
        EXPECT_EQ(ev.cmd, 1);
        EXPECT_EQ(ev.element, e);
        EXPECT_EQ(ev.length, 16u);
        EXPECT_EQ(ev.iid, IID_IAPElement);
    }

    // Getters and the quiet mutators send nothing.
    int cost = 0;
    unsigned char buf[8];
    EXPECT_EQ(e->GetCost(&cost), S_OK);
    EXPECT_EQ(e->GetName(buf), S_OK);
    EXPECT_EQ(e16->SetPreviousName(reinterpret_cast<unsigned char*>(const_cast<char*>("p"))), S_OK);
    EXPECT_EQ(e->FixupLists(), S_OK);
    EXPECT_EQ(doc.events.size(), 3u);

    // A failing document sink does not fail the setter.
    doc.result = E_FAIL;
    EXPECT_EQ(e->SetCost(4), S_OK);
    EXPECT_EQ(doc.events.size(), 4u);

    e16->Release();
    e->Release();
}

TEST_F(ElementObjects, StringsAreCopiedOutWithTheirTerminator)
{
    IAPElement* e = Create<IAPElement>(CLSID_APCondition, IID_IAPElement);
    ASSERT_NE(e, nullptr);
    unsigned char buf[16];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(e->GetName(buf), S_OK);
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(buf[1], 'x') << "one zero byte for an empty name";

    EXPECT_EQ(e->SetName(reinterpret_cast<unsigned char*>(const_cast<char*>("Bore"))), S_OK);
    int size = -1;
    EXPECT_EQ(e->GetNameSize(&size), S_OK);
    EXPECT_EQ(size, 4);
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(e->GetName(buf), S_OK);
    EXPECT_STREQ(reinterpret_cast<char*>(buf), "Bore");
    EXPECT_EQ(buf[5], 'x');

    EXPECT_EQ(e->GetName(nullptr), E_POINTER);
    EXPECT_EQ(e->GetDescription(nullptr), E_POINTER);
    EXPECT_EQ(e->SetDescription(nullptr), S_OK);
    EXPECT_EQ(e->GetDescriptionSize(&size), S_OK);
    EXPECT_EQ(size, 0);

    IAPElement16* e16x = nullptr;
    ASSERT_EQ(e->QueryInterface(IID_IAPElement16, reinterpret_cast<void**>(&e16x)), S_OK);
    long flag = -1;
    EXPECT_EQ(e16x->RevertToPreviousName(&flag), S_OK);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(e16x->RenameKeepingPrevious(reinterpret_cast<unsigned char*>(const_cast<char*>("Pin")), &flag), S_OK);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(e16x->GetPreviousName(buf), S_OK);
    EXPECT_STREQ(reinterpret_cast<char*>(buf), "Bore");
    EXPECT_EQ(e16x->GetPreviousName(nullptr), E_POINTER);
    EXPECT_EQ(e16x->RevertToPreviousName(&flag), S_OK);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(e->GetName(buf), S_OK);
    EXPECT_STREQ(reinterpret_cast<char*>(buf), "Bore");
    EXPECT_EQ(e16x->RevertToPreviousName(nullptr), E_POINTER);
    e16x->Release();
    e->Release();
}

TEST_F(ElementObjects, PrivateSettingsForwardWithTheirKindTestsAndEvents)
{
    IAPElement16* cond = Create<IAPElement16>(CLSID_APCondition, IID_IAPElement16);
    IAPElement16* pin = Create<IAPElement16>(CLSID_APPinFeature, IID_IAPElement16);
    ASSERT_NE(cond, nullptr);
    ASSERT_NE(pin, nullptr);
    RecordingDocSink doc;
    cond->BindDocument(&doc);

    // Settings 49 and 50 apply to features only: elsewhere S_FALSE with nothing written.
    int v = -7;
    EXPECT_EQ(cond->GetIntSetting49(&v), S_FALSE);
    EXPECT_EQ(v, -7);
    EXPECT_EQ(cond->SetIntSetting49(3), S_FALSE);
    float a = 9, b = 9, c = 9;
    EXPECT_EQ(cond->GetFloatTripleSetting50(&a, &b, &c), S_FALSE);
    EXPECT_EQ(a, 9.0f);
    EXPECT_EQ(pin->SetIntSetting49(5), S_OK);
    EXPECT_EQ(pin->GetIntSetting49(&v), S_OK);
    EXPECT_EQ(v, 5);
    EXPECT_EQ(pin->SetFloatTripleSetting50(1, 2, 3), S_OK);
    EXPECT_EQ(pin->GetFloatTripleSetting50(&a, &b, &c), S_OK);
    EXPECT_EQ(c, 3.0f);

    // Quiet and notifying setters, with the fixed interface of each.
    EXPECT_EQ(cond->SetIntSetting2(11), S_OK);
    EXPECT_EQ(cond->GetIntSetting2(&v), S_OK);
    EXPECT_EQ(v, 11);
    EXPECT_TRUE(doc.events.empty());
    EXPECT_EQ(cond->SetIntSetting26(1), S_OK);
    double xyz[3] = {1, 2, 3};
    EXPECT_EQ(cond->SetVectorSetting28(xyz), S_OK);
    EXPECT_EQ(cond->SetStringSetting31(reinterpret_cast<unsigned char*>(const_cast<char*>("s31"))), S_OK);
    ASSERT_EQ(doc.events.size(), 3u);
    EXPECT_EQ(doc.events[0].iid, IID_IAPElement);
    EXPECT_EQ(doc.events[1].iid, IID_IAPElement4);
    EXPECT_EQ(doc.events[2].iid, IID_IAPElement);
    double back[3] = {};
    EXPECT_EQ(cond->GetVectorSetting28(back), S_OK);
    EXPECT_EQ(back[2], 3.0);

    // Strings of the settings: null buffers are refused, null texts are empty.
    unsigned char buf[16];
    EXPECT_EQ(cond->GetStringSetting31(buf), S_OK);
    EXPECT_STREQ(reinterpret_cast<char*>(buf), "s31");
    EXPECT_EQ(cond->SetStringSetting9(reinterpret_cast<unsigned char*>(const_cast<char*>("nine"))), S_OK);
    EXPECT_EQ(cond->GetStringSetting9(buf), S_OK);
    EXPECT_STREQ(reinterpret_cast<char*>(buf), "nine");
    EXPECT_EQ(cond->SetStringSetting47(nullptr), S_OK);
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(cond->GetStringSetting47(buf), S_OK);
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(cond->GetStringSetting9(nullptr), E_POINTER);
    EXPECT_EQ(cond->GetStringSetting31(nullptr), E_POINTER);
    EXPECT_EQ(cond->SplitMonikerPath(nullptr, nullptr, buf), E_POINTER);

    // Counted arrays come back as a new task-memory array; a model failure is E_FAIL.
    int values[] = {4, 5, 6};
    EXPECT_EQ(cond->SetIntArraySetting22(3, values), S_OK);
    int count = 0;
    int* out = nullptr;
    EXPECT_EQ(cond->GetIntArraySetting22(&count, &out), S_OK);
    ASSERT_EQ(count, 3);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out[2], 6);
    CoTaskMemFree(out);
    EXPECT_EQ(cond->SetIntArraySetting22(-1, values), E_FAIL);
    EXPECT_EQ(cond->GetIntSetting2(nullptr), E_FAIL);

    int props = -1;
    EXPECT_EQ(cond->GetNumProperties(&props), S_OK);
    EXPECT_EQ(props, 0);
    EXPECT_EQ(doc.events.size(), 3u);
    pin->Release();
    cond->Release();
}

TEST_F(ElementObjects, DependentsHearOfTheEndLastFirstWhileTheModelLives)
{
    std::vector<std::string> log;
    RecordingDependent first, second;
    first.name = "first";
    second.name = "second";
    first.log = second.log = &log;

    IAPElement* e = Create<IAPElement>(CLSID_APPinFeature, IID_IAPElement);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->AddDependent(&first), S_OK);
    EXPECT_EQ(e->AddDependent(&second), S_OK);
    EXPECT_EQ(first.refs, 1);

    int heardDependents = -1;
    second.onNotify = [&](IAPElement* dying) {
        EXPECT_EQ(dying, e);
        // The dying element still answers, and a reference taken and dropped now does not
        // destroy it a second time.
        dying->AddRef();
        EXPECT_EQ(dying->GetNumDependents(&heardDependents), S_OK);
        IUnknown* sink = Query(dying, IID_IAPElementSink);
        ASSERT_NE(sink, nullptr);
        sink->Release();
        dying->Release();
    };
    EXPECT_EQ(e->Release(), 0u);
    EXPECT_EQ(log, (std::vector<std::string>{"second:3", "first:3"}));
    EXPECT_EQ(heardDependents, 2);
    EXPECT_EQ(first.refs, 1);
    EXPECT_EQ(second.refs, 1);
}

// ---------------------------------------------------------------------------------------
// The method pattern itself, on a probe class that exposes it

namespace {

// {0B0E8B4A-3F2D-4C7E-9A51-6D2C8E1F4A90}
const CLSID CLSID_Probe = {0x0b0e8b4a, 0x3f2d, 0x4c7e, {0x9a, 0x51, 0x6d, 0x2c, 0x8e, 0x1f, 0x4a, 0x90}};

class CProbe : public CAPElementCoClass<CProbe, &CLSID_Probe, APFixtureNode, 0> {
public:
    BEGIN_COM_MAP(CProbe)
    AP_ELEMENT_SINK
    AP_ELEMENT_FAMILY
    END_COM_MAP()
    using CAPElement::Run;
    void DropModel()
    {
        delete m_pElement;
        m_pElement = nullptr;
    }
};

CComObject<CProbe>* NewProbe()
{
    CComObject<CProbe>* p = nullptr;
    EXPECT_EQ(CComObject<CProbe>::CreateInstance(&p), S_OK);
    if (p) p->AddRef();
    return p;
}

} // namespace

TEST_F(ElementObjects, KindTestChoosesTheFirstMatchingClass)
{
    CComObject<CProbe>* p = NewProbe();
    ASSERT_NE(p, nullptr);
    RecordingDocSink doc;
    p->BindDocument(&doc);
    std::string chosen;

    auto which = [&](auto* m) -> HRESULT {
        chosen = m->GetRuntimeClass() == RUNTIME_CLASS(APFixtureNode) ? "model" : "?";
        if constexpr (std::is_same_v<decltype(m), APPartNode*>) chosen = "APPartNode";
        if constexpr (std::is_same_v<decltype(m), APGeometryNode*>) chosen = "APGeometryNode";
        if constexpr (std::is_same_v<decltype(m), APFixtureNode*>) chosen = "APFixtureNode";
        return S_OK;
    };
    // The order of the row decides, not how close the class is.
    EXPECT_EQ(p->Run(AP_TRY(APAssemblyNode, APPartNode, APFixtureNode), AP_NOTIFY(IAPPartNode), which), S_OK);
    EXPECT_EQ(chosen, "APPartNode");
    EXPECT_EQ(p->Run(AP_TRY(APGeometryNode, APFixtureNode), AP_QUIET, which), S_OK);
    EXPECT_EQ(chosen, "APGeometryNode");
    ASSERT_EQ(doc.events.size(), 1u);
    EXPECT_EQ(doc.events[0].iid, IID_IAPPartNode);

    // No class applies: S_FALSE, nothing called, nothing sent.
    chosen.clear();
    EXPECT_EQ(p->Run(AP_TRY(APAssemblyNode, APOperation), AP_NOTIFY(IAPNode), which), S_FALSE);
    EXPECT_EQ(chosen, "");
    EXPECT_EQ(p->Run(AP_TRY_OR_FAIL(APAssemblyNode, APOperation), AP_NOTIFY(IAPNode), which), E_FAIL);
    EXPECT_EQ(chosen, "");
    EXPECT_EQ(doc.events.size(), 1u);
    p->Release();
}

TEST_F(ElementObjects, ModelResultsAndExceptionsAreMapped)
{
    CComObject<CProbe>* p = NewProbe();
    ASSERT_NE(p, nullptr);
    RecordingDocSink doc;
    p->BindDocument(&doc);
    auto returns = [](HRESULT hr) { return [hr](APElement*) -> HRESULT { return hr; }; };
    EXPECT_EQ(p->Run(AP_ANY, AP_NOTIFY(IAPElement), returns(1)), S_OK) << "success with a flag";
    EXPECT_EQ(p->Run(AP_ANY, AP_NOTIFY(IAPElement), returns(E_INVALIDARG)), E_FAIL);
    EXPECT_EQ(p->Run(AP_ANY, AP_NOTIFY(IAPElement), returns(E_OUTOFMEMORY)), E_FAIL);
    EXPECT_EQ(doc.events.size(), 1u) << "only a success notifies";

    EXPECT_EQ(p->Run(AP_ANY, AP_NOTIFY(IAPElement), [](APElement*) -> HRESULT { throw std::bad_alloc(); }),
              E_OUTOFMEMORY);
    EXPECT_EQ(p->Run(AP_ANY, AP_QUIET, [](APElement*) -> HRESULT { throw std::out_of_range("index"); }), E_FAIL);
    EXPECT_EQ(p->Run(AP_ANY, AP_QUIET, [](APElement*) -> HRESULT { throw 42; }), E_FAIL);
    EXPECT_EQ(doc.events.size(), 1u);

    // Without a model every method fails cleanly.
    p->DropModel();
    int cost = 0;
    EXPECT_EQ(p->GetCost(&cost), E_FAIL);
    EXPECT_EQ(p->SetName(nullptr), E_FAIL);
    unsigned char buf[4] = {'x'};
    EXPECT_EQ(p->GetName(buf), E_FAIL);
    EXPECT_EQ(buf[0], 'x');
    EXPECT_EQ(p->AttachElement(), E_FAIL);
    EXPECT_EQ(p->Run(AP_ANY, AP_QUIET, returns(S_OK)), E_FAIL);
    p->Release();
}

TEST_F(ElementObjects, FinalReleaseLeavesNoModelBehind)
{
    CComObject<CProbe>* p = NewProbe();
    ASSERT_NE(p, nullptr);
    RecordingDependent dependent;
    HRESULT duringNotify = S_FALSE;
    dependent.onNotify = [&](IAPElement* dying) {
        int n = 0;
        duringNotify = dying->GetNumDependents(&n);
    };
    p->AddDependent(&dependent);
    p->FinalRelease();
    EXPECT_EQ(duringNotify, S_OK);
    EXPECT_EQ(p->GetModelObject(), nullptr);
    int cost = 0;
    EXPECT_EQ(p->GetCost(&cost), E_FAIL);
    EXPECT_EQ(p->Release(), 0u); // the second FinalRelease finds nothing to do
}

// ---------------------------------------------------------------------------------------
// The same classes served by the library file, as a host sees them

TEST(LibraryFile, ServesEveryElementClassAndUnloadsWhenAllAreGone)
{
    HMODULE dll = LoadLibraryW(plenvort_test::DllPath().c_str());
    ASSERT_NE(dll, nullptr);
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    using CanUnloadFn = HRESULT(STDAPICALLTYPE*)();
    auto getClassObject = reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void (*)()>(GetProcAddress(dll, "DllGetClassObject")));
    auto canUnload = reinterpret_cast<CanUnloadFn>(reinterpret_cast<void (*)()>(GetProcAddress(dll, "DllCanUnloadNow")));
    ASSERT_NE(getClassObject, nullptr);
    ASSERT_NE(canUnload, nullptr);

    for (const ElementClass& c : ElementClasses()) {
        SCOPED_TRACE(c.name);
        IClassFactory* cf = nullptr;
        ASSERT_EQ(getClassObject(*c.clsid, IID_IClassFactory, reinterpret_cast<void**>(&cf)), S_OK);
        IAPElement* e = nullptr;
        ASSERT_EQ(cf->CreateInstance(nullptr, IID_IAPElement, reinterpret_cast<void**>(&e)), S_OK);
        EXPECT_EQ(canUnload(), S_FALSE);
        GUID id{};
        EXPECT_EQ(e->GetClassID(&id), S_OK);
        EXPECT_EQ(id, *c.clsid);
        EXPECT_EQ(e->SetName(reinterpret_cast<unsigned char*>(const_cast<char*>("n"))), S_OK);
        unsigned char name[4] = {};
        EXPECT_EQ(e->GetName(name), S_OK);
        EXPECT_EQ(name[0], 'n');
        EXPECT_EQ(e->Release(), 0u);
        cf->Release();
        EXPECT_EQ(canUnload(), S_OK);
    }

    IClassFactory* cf = nullptr;
    ASSERT_EQ(getClassObject(CLSID_APCondition, IID_IClassFactory, reinterpret_cast<void**>(&cf)), S_OK);
    EXPECT_EQ(cf->LockServer(TRUE), S_OK);
    cf->Release();
    EXPECT_EQ(canUnload(), S_FALSE);
    ASSERT_EQ(getClassObject(CLSID_APCondition, IID_IClassFactory, reinterpret_cast<void**>(&cf)), S_OK);
    EXPECT_EQ(cf->LockServer(FALSE), S_OK);
    cf->Release();
    EXPECT_EQ(canUnload(), S_OK);
    FreeLibrary(dll);
}
