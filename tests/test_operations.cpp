// Operations: defaults, kind tests, feature pairs and conditions with their back links,
// element lists, notifications, blocks of every version and deep copies.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "model/APBlockIO.h"
#include "operations/APOperation.h"
#include "document_support.h"
#include "link_support.h"

using namespace link_test;

namespace {

using Operations = ObjectsTest;

CAPElement* Obj(IUnknown* p)
{
    IAPElement* e = Elem(p);
    CAPElement* o = ObjectOf(e);
    e->Release();
    return o;
}

struct StepValues {
    int moveType, moveFlag;
    double moveLimit;
    int showFlag, showFrom, showTo, refreshFlag, refreshFrom, refreshTo, refreshDelay, refreshSeconds;
};

// The 11 settings through the shared implementation; false when any getter refuses.
bool ReadSteps(CAPElement* o, StepValues* v)
{
    long flag = 0, showFlag = 0, refreshFlag = 0, delay = 0;
    bool ok = o->GetMoveType(&v->moveType) == S_OK && o->GetMoveFlag(&flag) == S_OK &&
              o->GetMoveLimit(&v->moveLimit) == S_OK && o->GetShowPointFlag(&showFlag) == S_OK &&
              o->GetShowPointFrom(&v->showFrom) == S_OK && o->GetShowPointTo(&v->showTo) == S_OK &&
              o->GetRefreshFlag(&refreshFlag) == S_OK && o->GetRefreshFrom(&v->refreshFrom) == S_OK &&
              o->GetRefreshTo(&v->refreshTo) == S_OK && o->GetRefreshDelay(&delay) == S_OK &&
              o->GetRefreshDelaySeconds(&v->refreshSeconds) == S_OK;
    v->moveFlag = flag;
    v->showFlag = showFlag;
    v->refreshFlag = refreshFlag;
    v->refreshDelay = delay;
    return ok;
}

void WriteSteps(CAPElement* o, const StepValues& v)
{
    o->SetMoveType(v.moveType);
    o->SetMoveFlag(v.moveFlag);
    o->SetMoveLimit(v.moveLimit);
    o->SetShowPointFlag(v.showFlag);
    o->SetShowPointFrom(v.showFrom);
    o->SetShowPointTo(v.showTo);
    o->SetRefreshFlag(v.refreshFlag);
    o->SetRefreshFrom(v.refreshFrom);
    o->SetRefreshTo(v.refreshTo);
    o->SetRefreshDelay(v.refreshDelay);
    o->SetRefreshDelaySeconds(v.refreshSeconds);
}

void ExpectSteps(CAPElement* o, const StepValues& e)
{
    StepValues v{};
    ASSERT_TRUE(ReadSteps(o, &v));
    EXPECT_EQ(v.moveType, e.moveType);
    EXPECT_EQ(v.moveFlag, e.moveFlag);
    EXPECT_NEAR(v.moveLimit, e.moveLimit, 1e-12);
    EXPECT_EQ(v.showFlag, e.showFlag);
    EXPECT_EQ(v.showFrom, e.showFrom);
    EXPECT_EQ(v.showTo, e.showTo);
    EXPECT_EQ(v.refreshFlag, e.refreshFlag);
    EXPECT_EQ(v.refreshFrom, e.refreshFrom);
    EXPECT_EQ(v.refreshTo, e.refreshTo);
    EXPECT_EQ(v.refreshDelay, e.refreshDelay);
    EXPECT_EQ(v.refreshSeconds, e.refreshSeconds);
}

constexpr StepValues kDefaultSteps{0, 0, 0.1, 0, -1, -1, 0, -1, -1, 1, 0};
const double kIdentity12[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};

// The element count through the chain of the operation's class.
int Elements(IUnknown* op)
{
    int n = -1;
    if (Obj(op)->GetAssemblyOperationNumElements(&n) != S_OK) {
        EXPECT_EQ(Obj(op)->GetKinematicAssemblyOperationNumElements(&n), S_OK);
    }
    return n;
}

std::string NameOfElement(IUnknown* p)
{
    IAPElement* e = Elem(p);
    char name[256] = {};
    e->GetName(reinterpret_cast<unsigned char*>(name));
    e->Release();
    return name;
}

IAPElement* ElementAt(IUnknown* op, int i)
{
    IAPElement* e = nullptr;
    if (Obj(op)->GetAssemblyOperationElement(i, &e) != S_OK) {
        unsigned char label[1024];
        EXPECT_EQ(Obj(op)->GetKinematicAssemblyOperationElement(i, label, &e), S_OK);
    }
    Release(e); // compared only
    return e;
}

} // namespace

TEST_F(Operations, DefaultsByClass)
{
    struct Row {
        const CLSID* clsid;
        int conditionMode;
        bool steps;
    } rows[] = {
        {&CLSID_APAssemblyOperation, 1, true},       {&CLSID_APClassicAssemblyOperation, 1, true},
        {&CLSID_APKinematicAssemblyOperation, 1, true}, {&CLSID_APFemAssemblyOperation, 2, true},
        {&CLSID_APMeasurementOperation, 2, false},   {&CLSID_APSPCMeasurementOp, 2, false},
    };
    for (const Row& r : rows) {
        IAPOperation4* op = New<IAPOperation4>(*r.clsid, IID_IAPOperation4);
        ASSERT_NE(op, nullptr);
        double time = -1;
        long active = -1, aux = -1;
        int mode = -1, option = -1;
        EXPECT_EQ(op->GetOperationTime(&time), S_OK);
        EXPECT_EQ(time, 0.0);
        EXPECT_EQ(op->GetActiveFlag(&active), S_OK);
        EXPECT_EQ(active, 1);
        EXPECT_EQ(op->GetAuxiliaryFlag(&aux), S_OK);
        EXPECT_EQ(aux, 0);
        EXPECT_EQ(op->GetConditionMode(&mode), S_OK);
        EXPECT_EQ(mode, r.conditionMode);
        EXPECT_EQ(op->GetConditionOption(&option), S_OK);
        EXPECT_EQ(option, 1);
        EXPECT_EQ(CountOf<IAPOperation>(op, &IAPOperation::GetNumFeaturePairs), 0);
        EXPECT_EQ(CountOf<IAPOperation4>(op, &IAPOperation4::GetNumConditions), 0);
        if (r.steps) {
            ExpectSteps(Obj(op), kDefaultSteps);
        } else {
            // The 22 shared methods fail outright on other operations and write nothing.
            double limit = 7;
            EXPECT_EQ(Obj(op)->SetMoveType(1), E_FAIL);
            EXPECT_EQ(Obj(op)->GetMoveLimit(&limit), E_FAIL);
            EXPECT_EQ(limit, 7);
            EXPECT_EQ(Obj(op)->SetRefreshDelay(1), E_FAIL);
        }
        // Null out-pointers are refused before anything runs.
        EXPECT_EQ(op->GetOperationTime(nullptr), E_POINTER);
        EXPECT_EQ(op->GetFeaturePair(0, nullptr), E_POINTER);
        EXPECT_EQ(op->GetCondition(0, nullptr), E_POINTER);
        EXPECT_EQ(op->AppendFeaturePair(nullptr), E_FAIL);
        EXPECT_EQ(op->AppendCondition(nullptr), E_FAIL);
        op->Release();
    }
    // Operation methods on a node that is no operation answer S_FALSE.
    IAPElement* node = New<IAPElement>(CLSID_APAssemblyNode, IID_IAPElement);
    EXPECT_EQ(ObjectOf(node)->SetOperationTime(1.0), S_FALSE);
    EXPECT_EQ(ObjectOf(node)->SetMoveType(1), E_FAIL);
    node->Release();
}

TEST_F(Operations, ClassicDefaultsThroughItsOwnChain)
{
    IAPClassicAssemblyOperation2* op =
        New<IAPClassicAssemblyOperation2>(CLSID_APClassicAssemblyOperation, IID_IAPClassicAssemblyOperation2);
    double limit = 0;
    int from = 0;
    long delay = 0;
    EXPECT_EQ(op->GetMoveLimit(&limit), S_OK);
    EXPECT_EQ(limit, 0.1);
    EXPECT_EQ(op->GetShowPointFrom(&from), S_OK);
    EXPECT_EQ(from, -1);
    EXPECT_EQ(op->GetRefreshDelay(&delay), S_OK);
    EXPECT_EQ(delay, 1);
    op->Release();
}

TEST_F(Operations, BiasAndNominalTransformByClass)
{
    struct Row {
        const CLSID* clsid;
        HRESULT bias; // the assembly chain's bias methods
    } rows[] = {{&CLSID_APAssemblyOperation, S_OK},
                {&CLSID_APClassicAssemblyOperation, S_OK},
                {&CLSID_APKinematicAssemblyOperation, S_FALSE}};
    for (const Row& r : rows) {
        IAPElement* e = New<IAPElement>(*r.clsid, IID_IAPElement);
        CAPElement* o = ObjectOf(e);
        long set = -1;
        double x = 9, y = 9, z = 9;
        EXPECT_EQ(o->IsAssemblyOperationTranslationalBiasSet(&set), r.bias);
        if (r.bias == S_OK) {
            EXPECT_EQ(set, 0);
            EXPECT_EQ(o->GetAssemblyOperationTranslationalBiasVector(&x, &y, &z), E_FAIL);
            EXPECT_EQ(o->SetAssemblyOperationTranslationalBiasVector(1, 2, 3), S_OK);
            EXPECT_EQ(o->SetAssemblyOperationRotationalBiasVector(4, 5, 6), S_OK);
            EXPECT_EQ(o->IsAssemblyOperationRotationalBiasSet(&set), S_OK);
            EXPECT_EQ(set, 1);
            EXPECT_EQ(o->GetAssemblyOperationTranslationalBiasVector(&x, &y, &z), S_OK);
            EXPECT_EQ(x + y * 10 + z * 100, 321);
            EXPECT_EQ(o->GetAssemblyOperationRotationalBiasVector(&x, &y, &z), S_OK);
            EXPECT_EQ(x + y * 10 + z * 100, 654);
        } else {
            EXPECT_EQ(set, -1);
            EXPECT_EQ(o->SetAssemblyOperationTranslationalBiasVector(1, 2, 3), S_FALSE);
        }
        double m[12] = {};
        const bool kinematic = r.bias != S_OK;
        auto get = [&](double* v) {
            return kinematic ? o->GetKinematicAssemblyOperationAsmOpNominalTransform(v)
                             : o->GetAssemblyOperationAsmOpNominalTransform(v);
        };
        auto set12 = [&](double* v) {
            return kinematic ? o->SetKinematicAssemblyOperationAsmOpNominalTransform(v)
                             : o->SetAssemblyOperationAsmOpNominalTransform(v);
        };
        ASSERT_EQ(get(m), S_OK);
        for (int i = 0; i < 12; ++i) EXPECT_EQ(m[i], kIdentity12[i]);
        double t[12];
        for (int i = 0; i < 12; ++i) t[i] = i * 0.5;
        EXPECT_EQ(set12(t), S_OK);
        ASSERT_EQ(get(m), S_OK);
        for (int i = 0; i < 12; ++i) EXPECT_EQ(m[i], i * 0.5);
        EXPECT_EQ(get(nullptr), E_POINTER);
        e->Release();
    }
}

TEST_F(Operations, PairsAndConditionsHoldOneReferenceAndALink)
{
    IAPOperation4* op = New<IAPOperation4>(CLSID_APAssemblyOperation, IID_IAPOperation4);
    IAPFeaturePair* pair = New<IAPFeaturePair>(CLSID_APFeaturePair, IID_IAPFeaturePair);
    IAPCondition* cond = New<IAPCondition>(CLSID_APCondition, IID_IAPCondition);
    const ULONG pairRefs = RefCount(pair), condRefs = RefCount(cond), opRefs = RefCount(op);

    EXPECT_EQ(op->AppendFeaturePair(pair), S_OK);
    EXPECT_EQ(op->AppendFeaturePair(pair), S_OK) << "a second append succeeds and changes nothing";
    EXPECT_EQ(CountOf<IAPOperation>(op, &IAPOperation::GetNumFeaturePairs), 1);
    EXPECT_EQ(RefCount(pair), pairRefs + 1);
    EXPECT_EQ(op->AppendCondition(cond), S_OK);
    EXPECT_EQ(op->AppendCondition(cond), S_OK);
    EXPECT_EQ(CountOf<IAPOperation4>(op, &IAPOperation4::GetNumConditions), 1);
    EXPECT_EQ(RefCount(cond), condRefs + 1);
    EXPECT_EQ(RefCount(op), opRefs) << "the back links hold no reference";

    IAPOperation* linked = nullptr;
    ASSERT_EQ(pair->GetOperation(&linked), S_OK);
    EXPECT_TRUE(Same(linked, op));
    Release(linked);
    ASSERT_EQ(cond->GetOperationForCondition(&linked), S_OK);
    EXPECT_TRUE(Same(linked, op));
    Release(linked);
    IAPFeaturePair* got = nullptr;
    ASSERT_EQ(op->GetFeaturePair(0, &got), S_OK);
    EXPECT_TRUE(Same(got, pair));
    Release(got);
    EXPECT_EQ(op->GetFeaturePair(1, &got), E_FAIL);
    IAPCondition* gotCond = nullptr;
    EXPECT_EQ(op->GetCondition(-1, &gotCond), E_FAIL);

    // Removal clears the link and gives the reference back; a second removal changes nothing.
    EXPECT_EQ(op->RemoveFeaturePair(pair), S_OK);
    EXPECT_EQ(CountOf<IAPOperation>(op, &IAPOperation::GetNumFeaturePairs), 0);
    EXPECT_EQ(RefCount(pair), pairRefs);
    EXPECT_EQ(pair->GetOperation(&linked), E_FAIL);
    EXPECT_EQ(op->RemoveFeaturePair(pair), S_OK);
    EXPECT_EQ(op->RemoveFeaturePairByIndex(0), E_FAIL);
    EXPECT_EQ(op->RemoveConditionByIndex(0), S_OK);
    EXPECT_EQ(RefCount(cond), condRefs);
    EXPECT_EQ(cond->GetOperationForCondition(&linked), E_FAIL);
    EXPECT_EQ(op->RemoveCondition(cond), S_OK);

    // An operation that goes clears the links that still name it.
    op->AppendFeaturePair(pair);
    op->AppendCondition(cond);
    op->Release();
    EXPECT_EQ(RefCount(pair), pairRefs);
    EXPECT_EQ(pair->GetOperation(&linked), E_FAIL);
    EXPECT_EQ(cond->GetOperationForCondition(&linked), E_FAIL);
    pair->Release();
    cond->Release();
}

TEST_F(Operations, ElementListsCountEveryEntryAndRegisterOnce)
{
    IAPElement* op = New<IAPElement>(CLSID_APAssemblyOperation, IID_IAPElement);
    IAPElement* a = New<IAPElement>(CLSID_APPinFeature, IID_IAPElement);
    IAPElement* b = New<IAPElement>(CLSID_APHoleFeature, IID_IAPElement);
    CAPElement* o = ObjectOf(op);
    const ULONG aRefs = RefCount(a), bRefs = RefCount(b);

    EXPECT_EQ(o->AppendAssemblyOperationElement(a), S_OK);
    EXPECT_EQ(o->AppendAssemblyOperationElement(a), S_OK);
    EXPECT_EQ(o->AppendAssemblyOperationElement(nullptr), S_OK);
    EXPECT_EQ(o->AppendAssemblyOperationElementNoDependent(b), S_OK);
    EXPECT_EQ(Elements(op), 3) << "a null append adds nothing";
    EXPECT_EQ(RefCount(a), aRefs + 2);
    EXPECT_EQ(Dependents(a), 1);
    EXPECT_EQ(RefCount(b), bRefs + 1);
    EXPECT_EQ(Dependents(b), 0);
    EXPECT_TRUE(Same(ElementAt(op, 2), b));
    IAPElement* out = nullptr;
    EXPECT_EQ(o->GetAssemblyOperationElement(3, &out), E_FAIL);
    EXPECT_EQ(o->GetAssemblyOperationElement(0, nullptr), E_POINTER);

    EXPECT_EQ(o->ClearElements(), S_OK);
    EXPECT_EQ(Elements(op), 0);
    EXPECT_EQ(RefCount(a), aRefs);
    EXPECT_EQ(Dependents(a), 0);
    EXPECT_EQ(RefCount(b), bRefs);

    // Command 3 from a live element: every equal entry goes, and with them the registration.
    o->AppendAssemblyOperationElement(a);
    o->AppendAssemblyOperationElement(b);
    o->AppendAssemblyOperationElement(a);
    EXPECT_EQ(a->NotifyDependents(3), S_OK);
    EXPECT_EQ(Elements(op), 1);
    EXPECT_TRUE(Same(ElementAt(op, 0), b));
    EXPECT_EQ(RefCount(a), aRefs);
    EXPECT_EQ(Dependents(a), 0);
    EXPECT_EQ(Dependents(b), 1);
    op->Release();
    EXPECT_EQ(RefCount(b), bRefs);
    EXPECT_EQ(Dependents(b), 0) << "the operation stops watching as it goes";
    a->Release();
    b->Release();
}

TEST_F(Operations, KinematicAppendsKeepNullsAndClearOnNull)
{
    IAPKinematicAssemblyOperation3* k =
        New<IAPKinematicAssemblyOperation3>(CLSID_APKinematicAssemblyOperation, IID_IAPKinematicAssemblyOperation3);
    IAPElement* a = New<IAPElement>(CLSID_APPinFeature, IID_IAPElement);
    const ULONG aRefs = RefCount(a);
    EXPECT_EQ(k->AppendKinematicAssemblyOperationElement(Text("unused"), nullptr), S_OK);
    EXPECT_EQ(k->AppendKinematicAssemblyOperationElement(Text("unused"), a), S_OK);
    EXPECT_EQ(k->AppendElementOrClear(nullptr, a), S_OK);
    EXPECT_EQ(Elements(k), 3);
    EXPECT_EQ(ElementAt(k, 0), nullptr);
    EXPECT_EQ(RefCount(a), aRefs + 2);
    EXPECT_EQ(Dependents(a), 1);
    unsigned char label[16] = {'x', 'y'};
    IAPElement* out = nullptr;
    ASSERT_EQ(k->GetKinematicAssemblyOperationElement(1, label, &out), S_OK);
    EXPECT_EQ(label[0], 0) << "appends carry no label";
    Release(out);
    EXPECT_EQ(k->GetKinematicAssemblyOperationElement(1, nullptr, &out), E_POINTER);
    EXPECT_EQ(k->AppendElementOrClear(Text("x"), nullptr), S_OK);
    EXPECT_EQ(Elements(k), 0);
    EXPECT_EQ(RefCount(a), aRefs);
    EXPECT_EQ(Dependents(a), 0);
    // The assembly chain's list methods do not answer for a kinematic operation.
    EXPECT_EQ(Obj(k)->ClearElements(), S_FALSE);
    k->Release();
    a->Release();
}

TEST_F(Operations, NotificationsNameTheirInterface)
{
    IAPElement* pair = New<IAPElement>(CLSID_APFeaturePair, IID_IAPElement);
    IAPElement* pin = New<IAPElement>(CLSID_APPinFeature, IID_IAPElement);
    const IID none = GUID_NULL;
    struct Row {
        const char* what;
        const CLSID* clsid;
        std::function<HRESULT(CAPElement*)> call;
        IID expected;
    } rows[] = {
        {"SetOperationTime", &CLSID_APAssemblyOperation, [](CAPElement* o) { return o->SetOperationTime(2.0); }, IID_IAPOperation},
        {"SetActiveFlag", &CLSID_APMeasurementOperation, [](CAPElement* o) { return o->SetActiveFlag(0); }, IID_IAPOperation2},
        {"SetAuxiliaryFlag", &CLSID_APFemAssemblyOperation, [](CAPElement* o) { return o->SetAuxiliaryFlag(1); }, IID_IAPOperation3},
        {"SetConditionMode", &CLSID_APAssemblyOperation, [](CAPElement* o) { return o->SetConditionMode(2); }, none},
        {"SetConditionOption", &CLSID_APAssemblyOperation, [](CAPElement* o) { return o->SetConditionOption(4); }, none},
        {"AppendFeaturePair", &CLSID_APKinematicAssemblyOperation,
         [&](CAPElement* o) {
             IAPFeaturePair* p = Query<IAPFeaturePair>(pair, IID_IAPFeaturePair);
             HRESULT hr = o->AppendFeaturePair(p);
             o->RemoveFeaturePairByIndex(0);
             p->Release();
             return hr;
         },
         IID_IAPOperation},
        {"SetTranslationalBias", &CLSID_APClassicAssemblyOperation,
         [](CAPElement* o) { return o->SetAssemblyOperationTranslationalBiasVector(1, 1, 1); }, IID_IAPAssemblyOperation},
        {"SetRotationalBias", &CLSID_APAssemblyOperation,
         [](CAPElement* o) { return o->SetAssemblyOperationRotationalBiasVector(1, 1, 1); }, IID_IAPAssemblyOperation},
        {"AppendElement", &CLSID_APAssemblyOperation, [&](CAPElement* o) { return o->AppendAssemblyOperationElement(pin); }, none},
        {"SetMoveType", &CLSID_APClassicAssemblyOperation, [](CAPElement* o) { return o->SetMoveType(3); }, none},
        {"SetRefreshTo", &CLSID_APKinematicAssemblyOperation, [](CAPElement* o) { return o->SetRefreshTo(3); }, none},
        {"SetNominalTransform", &CLSID_APAssemblyOperation,
         [](CAPElement* o) {
             double m[12] = {};
             return o->SetAssemblyOperationAsmOpNominalTransform(m);
         },
         none},
    };
    for (const Row& r : rows) {
        FakeDoc doc;
        IAPElement* op = New<IAPElement>(*r.clsid, IID_IAPElement);
        doc.Bind(op);
        EXPECT_EQ(r.call(ObjectOf(op)), S_OK) << r.what;
        std::vector<IID> heard = doc.Take();
        if (r.expected == none) {
            EXPECT_TRUE(heard.empty()) << r.what;
        } else {
            ASSERT_FALSE(heard.empty()) << r.what;
            EXPECT_EQ(heard.front(), r.expected) << r.what;
        }
        op->BindDocument(nullptr);
        op->Release();
    }
    pair->Release();
    pin->Release();
}

namespace {

// A version 5 operation header in mode 1 without conditions and pairs.
void PlainHeader(WmObjectStream& s)
{
    s.write(5);
    s.write(0.0);
    s.write(1);
    s.write(1);
    s.write(0);
    s.write(0);
    s.write(1);
    s.write(0);
}


} // namespace

TEST_F(Operations, OperationBlockVersions)
{
    struct Row {
        int version;
        int mode;
    } rows[] = {{1, 0}, {2, 0}, {3, 0}, {4, 2}, {4, 1}, {5, 2}, {5, 1}, {9, 2}};
    for (const Row& r : rows) {
        const bool stored = r.version == 4 || (r.version >= 5 && r.mode != 2);
        auto bytes = NodeBlock(CLSID_APAssemblyOperation, [&](Writer& w) {
            WmObjectStream& s = w.out;
            s.write(r.version);
            s.write(2.5);
            if (r.version >= 4) s.write(r.mode);
            if (stored) {
                IAPElement* c = New<IAPElement>(CLSID_APCondition, IID_IAPElement);
                s.write(7);
                s.write(1);
                EXPECT_TRUE(WriteNestedRecord(s, c));
                c->Release();
            }
            if (r.version >= 3) s.write(1);
            if (r.version >= 2) s.write(0);
            s.write(0);
            s.write(4); // assembly block: no bias, no elements, settings
            s.write(false);
            s.write(false);
            s.write(0);
            StepValues v = kDefaultSteps;
            s.write(v.moveType), s.write(false), s.write(v.moveLimit), s.write(false), s.write(v.showFrom), s.write(v.showTo);
            s.write(false), s.write(v.refreshFrom), s.write(v.refreshTo), s.write(true), s.write(v.refreshSeconds);
        });
        IAPElement* e = ReadBack(CLSID_APAssemblyOperation, bytes);
        ASSERT_NE(e, nullptr) << r.version;
        IAPOperation4* op = Query<IAPOperation4>(e, IID_IAPOperation4);
        double time = 0;
        long aux = -1, active = -1;
        int mode = 0, option = 0;
        op->GetOperationTime(&time);
        op->GetAuxiliaryFlag(&aux);
        op->GetActiveFlag(&active);
        op->GetConditionMode(&mode);
        op->GetConditionOption(&option);
        EXPECT_EQ(time, 2.5);
        EXPECT_EQ(aux, r.version >= 3 ? 1 : 0) << r.version;
        EXPECT_EQ(active, r.version >= 2 ? 0 : 1) << r.version;
        EXPECT_EQ(mode, r.version >= 4 ? r.mode : 1) << r.version;
        EXPECT_EQ(option, stored ? 7 : 1) << r.version;
        EXPECT_EQ(CountOf<IAPOperation4>(op, &IAPOperation4::GetNumConditions), stored ? 1 : 0) << r.version;
        op->Release();
        e->Release();
    }
}

TEST_F(Operations, AssemblyBlockVersions)
{
    const StepValues written{3, 1, 0.25, 1, 2, 4, 1, 5, 6, 0, 9};
    for (int version = 1; version <= 4; ++version) {
        auto bytes = NodeBlock(CLSID_APAssemblyOperation, [&](Writer& w) {
            WmObjectStream& s = w.out;
            PlainHeader(s);
            s.write(version);
            s.write(true);
            s.write(1.0), s.write(2.0), s.write(3.0);
            s.write(false);
            if (version >= 2) s.write(0);
            if (version >= 3)
                s.write(written.moveType), s.write(1), s.write(written.moveLimit), s.write(1), s.write(written.showFrom),
                    s.write(written.showTo);
            if (version >= 4)
                s.write(1), s.write(written.refreshFrom), s.write(written.refreshTo), s.write(0),
                    s.write(written.refreshSeconds);
        });
        IAPElement* e = ReadBack(CLSID_APAssemblyOperation, bytes);
        ASSERT_NE(e, nullptr) << version;
        CAPElement* o = ObjectOf(e);
        long set = 0;
        o->IsAssemblyOperationTranslationalBiasSet(&set);
        EXPECT_EQ(set, 1);
        o->IsAssemblyOperationRotationalBiasSet(&set);
        EXPECT_EQ(set, 0);
        EXPECT_EQ(Elements(e), version == 1 ? 1 : 0) << "the first format reads as one empty entry";
        if (version == 1) {
            EXPECT_EQ(ElementAt(e, 0), nullptr);
        }
        StepValues expected = kDefaultSteps;
        if (version >= 3)
            expected.moveType = 3, expected.moveFlag = 1, expected.moveLimit = 0.25, expected.showFlag = 1,
            expected.showFrom = 2, expected.showTo = 4;
        if (version >= 4)
            expected.refreshFlag = 1, expected.refreshFrom = 5, expected.refreshTo = 6, expected.refreshDelay = 0,
            expected.refreshSeconds = 9;
        ExpectSteps(o, expected);
        e->Release();
    }
}

TEST_F(Operations, KinematicLabelsAndElementsAreReadApart)
{
    IAPElement* pin = New<IAPElement>(CLSID_APPinFeature, IID_IAPElement);
    std::vector<unsigned char> bytes;
    for (int version = 1; version <= 3; ++version) {
        Writer w;
        ASSERT_EQ(pin->Serialize(w.Handle()), S_OK);
        int number = 0;
        ASSERT_TRUE(w.out.ptr2num(pin, &number));
        IAPElement* blank = New<IAPElement>(CLSID_APKinematicAssemblyOperation, IID_IAPElement);
        ASSERT_EQ(Model<APNode>(blank)->APNode::Serialize(w.Stream()), S_OK);
        blank->Release();
        WmObjectStream& s = w.out;
        PlainHeader(s);
        s.write(version);
        s.write(false);
        s.write(false);
        s.write(2);
        s.write(WmString("first"));
        s.write(WmString("second"));
        s.write(3);
        s.write(-200000), s.write(number), s.write(-200000);
        if (version >= 2) s.write(2), s.write(1), s.write(0.5), s.write(0), s.write(7), s.write(8);
        if (version >= 3) s.write(1), s.write(1), s.write(2), s.write(1), s.write(3);

        IAPElement* again = New<IAPElement>(CLSID_APPinFeature, IID_IAPElement);
        IAPElement* k = New<IAPElement>(CLSID_APKinematicAssemblyOperation, IID_IAPElement);
        {
            Reader r(w.bytes.Bytes());
            ASSERT_EQ(again->Deserialize(r.Handle()), S_OK);
            ASSERT_EQ(k->Deserialize(r.Handle()), S_OK);
            EXPECT_EQ(Elements(k), 0) << "loaded entries wait for the fix-up";
            ASSERT_EQ(k->FixupLists(), S_OK);
        }
        const ULONG refs = RefCount(again);
        EXPECT_EQ(k->FixupLists(), S_OK);
        EXPECT_EQ(RefCount(again), refs) << "the fix-up acts once";
        const char* labels[] = {"first", "second", ""};
        for (int i = 0; i < 3; ++i) {
            unsigned char label[1024];
            IAPElement* out = nullptr;
            ASSERT_EQ(ObjectOf(k)->GetKinematicAssemblyOperationElement(i, label, &out), S_OK);
            EXPECT_EQ(std::string(reinterpret_cast<char*>(label)), labels[i]);
            EXPECT_EQ(out != nullptr, i == 1) << "null entries keep their places";
            EXPECT_TRUE(i != 1 || Same(out, again));
            Release(out);
        }
        EXPECT_EQ(Dependents(again), 1);
        StepValues expected = kDefaultSteps;
        if (version >= 2) expected.moveType = 2, expected.moveFlag = 1, expected.moveLimit = 0.5, expected.showFrom = 7, expected.showTo = 8;
        if (version >= 3)
            expected.refreshFlag = 1, expected.refreshFrom = 1, expected.refreshTo = 2, expected.refreshDelay = 1,
            expected.refreshSeconds = 3;
        ExpectSteps(ObjectOf(k), expected);
        // Labels are written back as they were read.
        bytes = BlockOf([&](Writer& out) { ASSERT_EQ(k->Serialize(out.Handle()), S_OK); });
        k->Release();
        EXPECT_EQ(Dependents(again), 0);
        again->Release();
    }
    IAPElement* copy = ReadBack(CLSID_APKinematicAssemblyOperation, bytes);
    ASSERT_NE(copy, nullptr);
    unsigned char label[1024];
    IAPElement* out = nullptr;
    ASSERT_EQ(ObjectOf(copy)->GetKinematicAssemblyOperationElement(1, label, &out), S_OK);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(label)), "second");
    Release(out);
    copy->Release();
    pin->Release();
}

TEST_F(Operations, FlagsGoThroughTheStreamsBooleanAndClonesCopyTheirPart)
{
    IAPElement* op = New<IAPElement>(CLSID_APClassicAssemblyOperation, IID_IAPElement);
    WriteSteps(ObjectOf(op), StepValues{4, 5, 2.5, 6, 1, 2, 7, 3, 4, 8, 5});
    ObjectOf(op)->SetAssemblyOperationRotationalBiasVector(0.5, 1.5, 2.5);
    op->SetName(Text("classic"));
    auto bytes = BlockOf([&](Writer& w) { ASSERT_EQ(op->Serialize(w.Handle()), S_OK); });
    IAPElement* back = ReadBack(CLSID_APClassicAssemblyOperation, bytes);
    ASSERT_NE(back, nullptr);
    ExpectSteps(ObjectOf(back), StepValues{4, 1, 2.5, 1, 1, 2, 1, 3, 4, 1, 5});
    EXPECT_EQ(Elements(back), 0);
    back->Release();

    // Clone: the element part and the bias vectors only, and only into the same class.
    IAPElement* target = New<IAPElement>(CLSID_APClassicAssemblyOperation, IID_IAPElement);
    ObjectOf(target)->SetAssemblyOperationTranslationalBiasVector(9, 9, 9);
    ASSERT_EQ(op->Clone(target), S_OK);
    char name[64] = {};
    target->GetName(reinterpret_cast<unsigned char*>(name));
    EXPECT_STREQ(name, "classic");
    double x = 0, y = 0, z = 0;
    ObjectOf(target)->GetAssemblyOperationRotationalBiasVector(&x, &y, &z);
    EXPECT_EQ(x + y + z, 4.5);
    ObjectOf(target)->GetAssemblyOperationTranslationalBiasVector(&x, &y, &z);
    EXPECT_EQ(x, 9) << "a vector the source lacks leaves the target's";
    ExpectSteps(ObjectOf(target), kDefaultSteps);
    IAPElement* other = New<IAPElement>(CLSID_APAssemblyOperation, IID_IAPElement);
    EXPECT_EQ(op->Clone(other), E_FAIL);
    other->Release();
    target->Release();
    op->Release();
}

TEST_F(Operations, AnAbandonedLoadTakesNothing)
{
    IAPElement* pin = New<IAPElement>(CLSID_APPinFeature, IID_IAPElement);
    IAPElement* op = New<IAPElement>(CLSID_APAssemblyOperation, IID_IAPElement);
    ObjectOf(op)->AppendAssemblyOperationElement(pin);
    ObjectOf(op)->AppendAssemblyOperationElement(pin);
    Writer w;
    ASSERT_EQ(pin->Serialize(w.Handle()), S_OK);
    ASSERT_EQ(op->Serialize(w.Handle()), S_OK);
    op->Release();

    IAPElement* again = New<IAPElement>(CLSID_APPinFeature, IID_IAPElement);
    const ULONG refs = RefCount(again);
    for (bool fix : {false, true}) {
        IAPElement* read = New<IAPElement>(CLSID_APAssemblyOperation, IID_IAPElement);
        {
            Reader r(w.bytes.Bytes());
            ASSERT_EQ(again->Deserialize(r.Handle()), S_OK);
            ASSERT_EQ(read->Deserialize(r.Handle()), S_OK);
        }
        EXPECT_EQ(RefCount(again), refs);
        if (fix) {
            ASSERT_EQ(read->FixupLists(), S_OK);
            ASSERT_EQ(read->FixupLists(), S_OK);
            EXPECT_EQ(RefCount(again), refs + 2);
            EXPECT_EQ(Dependents(again), 1);
        }
        read->Release();
        EXPECT_EQ(RefCount(again), refs);
        EXPECT_EQ(Dependents(again), 0);
    }
    // A short block fails and keeps what it had not read.
    IAPElement* cut = New<IAPElement>(CLSID_APAssemblyOperation, IID_IAPElement);
    {
        Reader r(w.bytes.Bytes(), w.bytes.Bytes().size() - 6);
        ASSERT_EQ(again->Deserialize(r.Handle()), S_OK);
        EXPECT_EQ(cut->Deserialize(r.Handle()), E_FAIL);
    }
    cut->Release();
    again->Release();
    pin->Release();
}

TEST_F(Operations, CopiesMakeNewPairsAndConditionsThatPointToTheCopy)
{
    IAPDocument* doc = New<IAPDocument>(CLSID_APDocument, IID_IAPDocument);
    auto make = [&](const CLSID& clsid) {
        GUID id = clsid, iid = IID_IAPOperation4;
        IAPOperation4* op = nullptr;
        EXPECT_EQ(doc->CreateProcessElement(&id, &iid, reinterpret_cast<ULONG_PTR*>(&op)), S_OK);
        return op;
    };
    IAPOperation4* source = make(CLSID_APSPCMeasurementOp);
    IAPOperation4* copy = make(CLSID_APSPCMeasurementOp);
    IAPFeaturePair* pair = New<IAPFeaturePair>(CLSID_APFeaturePair, IID_IAPFeaturePair);
    IAPCondition* cond = New<IAPCondition>(CLSID_APCondition, IID_IAPCondition);
    {
        IAPElement* e = Elem(pair);
        e->SetName(Text("pair"));
        e->Release();
    }
    source->AppendFeaturePair(pair);
    source->AppendCondition(cond);
    source->SetOperationTime(4.5);
    source->SetConditionMode(1);
    source->SetConditionOption(6);
    source->SetActiveFlag(0);
    copy->SetAuxiliaryFlag(1);
    // An old pair of the copy lets go of the copy as it is replaced.
    IAPFeaturePair* old = New<IAPFeaturePair>(CLSID_APFeaturePair, IID_IAPFeaturePair);
    copy->AppendFeaturePair(old);

    auto* from = Model<APOperation>(source);
    auto* to = Model<APOperation>(copy);
    ASSERT_EQ(to->CopyOperation(*from), S_OK);
    IAPOperation* linked = nullptr;
    EXPECT_EQ(old->GetOperation(&linked), E_FAIL);
    ASSERT_EQ(CountOf<IAPOperation>(copy, &IAPOperation::GetNumFeaturePairs), 1);
    ASSERT_EQ(CountOf<IAPOperation4>(copy, &IAPOperation4::GetNumConditions), 1);
    IAPFeaturePair* newPair = nullptr;
    IAPCondition* newCond = nullptr;
    copy->GetFeaturePair(0, &newPair);
    copy->GetCondition(0, &newCond);
    EXPECT_FALSE(Same(newPair, pair));
    EXPECT_FALSE(Same(newCond, cond));
    EXPECT_EQ(NameOfElement(newPair), std::string("pair"));
    ASSERT_EQ(newPair->GetOperation(&linked), S_OK);
    EXPECT_TRUE(Same(linked, copy));
    Release(linked);
    ASSERT_EQ(newCond->GetOperationForCondition(&linked), S_OK);
    EXPECT_TRUE(Same(linked, copy));
    Release(linked);
    ASSERT_EQ(pair->GetOperation(&linked), S_OK);
    EXPECT_TRUE(Same(linked, source)) << "the source keeps its own";
    Release(linked);
    double time = 0;
    int mode = 0, option = 0;
    long active = 0, aux = 0;
    copy->GetOperationTime(&time);
    copy->GetConditionMode(&mode);
    copy->GetConditionOption(&option);
    copy->GetActiveFlag(&active);
    copy->GetAuxiliaryFlag(&aux);
    EXPECT_EQ(time, 4.5);
    EXPECT_EQ(mode, 1);
    EXPECT_EQ(option, 6);
    EXPECT_EQ(active, 1) << "flags are not copied";
    EXPECT_EQ(aux, 1);
    Release(newPair);
    Release(newCond);

    // A document that makes nothing: the copy leaves the pairs and conditions out and says so.
    {
        FakeDoc refusing;
        refusing.Bind(source);
        IAPOperation4* loose = New<IAPOperation4>(CLSID_APSPCMeasurementOp, IID_IAPOperation4);
        EXPECT_EQ(Model<APOperation>(loose)->CopyOperation(*from), E_FAIL);
        EXPECT_EQ(CountOf<IAPOperation>(loose, &IAPOperation::GetNumFeaturePairs), 0);
        EXPECT_EQ(CountOf<IAPOperation4>(loose, &IAPOperation4::GetNumConditions), 0);
        Elem(loose)->BindDocument(nullptr);
        loose->Release(); // the query's reference
        loose->Release();
        IAPElement* e = Elem(source);
        e->BindDocument(nullptr);
        e->Release();
    }
    for (IUnknown* p : std::initializer_list<IUnknown*>{source, copy, pair, cond, old}) p->Release();
    doc->Release();
}

TEST_F(Operations, RoundTripThroughTheDocumentFile)
{
    using doc_test::NewNode;
    const std::string path = doc_test::TempPath("operations");
    {
        IAPDocument6* doc = doc_test::NewDocument();
        IAPNode* top = NewNode(doc, CLSID_APAssemblyNode, "top");
        IAPNode* kin = NewNode(doc, CLSID_APKinematicAssemblyOperation, "kin");
        IAPNode* asm1 = NewNode(doc, CLSID_APAssemblyOperation, "asm");
        IAPNode* meas = NewNode(doc, CLSID_APMeasurementOperation, "meas");
        IAPNode* mode2 = NewNode(doc, CLSID_APClassicAssemblyOperation, "mode2");
        for (IAPNode* n : {kin, asm1, meas, mode2}) ASSERT_EQ(doc->AddChild(top, n), S_OK);
        IAPElement* topElement = Elem(top);
        CAPElement* k = Obj(kin);
        k->AppendKinematicAssemblyOperationElement(Text(""), topElement);
        k->AppendKinematicAssemblyOperationElement(Text(""), nullptr);
        k->AppendKinematicAssemblyOperationElement(Text(""), topElement);
        CAPElement* a = Obj(asm1);
        a->AppendAssemblyOperationElement(topElement);
        EXPECT_EQ(Dependents(top), 2);
        double t[12] = {2, 0, 0, 0, 2, 0, 0, 0, 2, 1, 1, 1};
        a->SetAssemblyOperationAsmOpNominalTransform(t);
        a->SetOperationTime(3.5);
        a->SetActiveFlag(0);
        a->SetAuxiliaryFlag(7);
        IAPOperation* measOp = Query<IAPOperation>(meas, IID_IAPOperation);
        IAPOperation* asmOp = Query<IAPOperation>(mode2, IID_IAPOperation);
        IAPCondition* c = New<IAPCondition>(CLSID_APCondition, IID_IAPCondition);
        c->SetMeasurement1(measOp);
        c->SetMeasurement2(asmOp);
        c->SetComparisonOperator(LESSTHAN);
        a->AppendCondition(c);
        // Back links that name another operation are written as they are, and read as the owner.
        c->SetOperationForCondition(measOp);
        c->Release();
        IAPFeaturePair* pair = New<IAPFeaturePair>(CLSID_APFeaturePair, IID_IAPFeaturePair);
        a->AppendFeaturePair(pair);
        pair->SetOperation(measOp);
        pair->Release();
        // Mode 2 stores no conditions and no option.
        CAPElement* m2 = Obj(mode2);
        m2->SetConditionMode(2);
        m2->SetConditionOption(7);
        for (int i = 0; i < 3; ++i) {
            IAPCondition* extra = New<IAPCondition>(CLSID_APCondition, IID_IAPCondition);
            m2->AppendCondition(extra);
            extra->Release();
        }
        ASSERT_EQ(doc->SetProcessName(Text("operations")), S_OK);
        ASSERT_EQ(doc->Save(Text(path.c_str())), S_OK);
        // An operation that lists its own parent keeps it, and so itself, alive: the lists
        // are let go before the document.
        k->AppendElementOrClear(nullptr, nullptr);
        a->ClearElements();
        for (IUnknown* p : std::initializer_list<IUnknown*>{measOp, asmOp, topElement, top, kin, asm1, meas, mode2})
            p->Release();
        doc->Release();
    }
    IAPDocument6* doc = doc_test::NewDocument();
    ASSERT_EQ(doc->OpenDocument(Text(path.c_str())), S_OK);
    IAPNode* top = doc_test::RootAt(doc, 0);
    ASSERT_NE(top, nullptr);
    IAPNode* n[4] = {};
    for (int i = 0; i < 4; ++i) ASSERT_EQ(top->GetChild(i, &n[i]), S_OK);
    IAPNode *kin = n[0], *asm1 = n[1], *meas = n[2], *mode2 = n[3];

    // The kinematic list keeps its null in place and watches the parent; the assembly
    // operation holds its parent without watching it.
    ASSERT_EQ(Elements(kin), 3);
    EXPECT_TRUE(Same(ElementAt(kin, 0), top));
    EXPECT_EQ(ElementAt(kin, 1), nullptr);
    EXPECT_TRUE(Same(ElementAt(kin, 2), top));
    ASSERT_EQ(Elements(asm1), 1);
    EXPECT_TRUE(Same(ElementAt(asm1, 0), top));
    ASSERT_EQ(Dependents(top), 1);
    IAPElement* dependent = nullptr;
    IAPElement* topElement = Elem(top);
    ASSERT_EQ(topElement->GetDependent(0, &dependent), S_OK);
    EXPECT_TRUE(Same(dependent, kin));
    Release(dependent);
    topElement->Release();

    CAPElement* a = Obj(asm1);
    double m[12] = {};
    a->GetAssemblyOperationAsmOpNominalTransform(m);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(m[i], kIdentity12[i]) << "the nominal transform is not stored";
    double time = 0;
    long active = -1, aux = -1;
    a->GetOperationTime(&time);
    a->GetActiveFlag(&active);
    a->GetAuxiliaryFlag(&aux);
    EXPECT_EQ(time, 3.5);
    EXPECT_EQ(active, 0);
    EXPECT_EQ(aux, 1);

    int conditions = -1;
    a->GetNumConditions(&conditions);
    ASSERT_EQ(conditions, 1);
    IAPCondition* c = nullptr;
    ASSERT_EQ(a->GetCondition(0, &c), S_OK);
    IAPOperation* o = nullptr;
    ASSERT_EQ(c->GetOperationForCondition(&o), S_OK);
    EXPECT_TRUE(Same(o, asm1));
    Release(o);
    IAPFeaturePair* pair = nullptr;
    ASSERT_EQ(a->GetFeaturePair(0, &pair), S_OK);
    ASSERT_EQ(pair->GetOperation(&o), S_OK);
    EXPECT_TRUE(Same(o, asm1));
    Release(o);
    Release(pair);
    ASSERT_EQ(c->GetMeasurement1(&o), S_OK);
    EXPECT_TRUE(Same(o, meas));
    Release(o);
    ASSERT_EQ(c->GetMeasurement2(&o), S_OK);
    EXPECT_TRUE(Same(o, mode2));
    Release(o);
    APComparisonOperator cmp{};
    c->GetComparisonOperator(&cmp);
    EXPECT_EQ(cmp, LESSTHAN);
    EXPECT_EQ(Dependents(meas), 1) << "the condition watches its measurement again";
    Release(c);

    int count = -1, option = -1;
    Obj(mode2)->GetNumConditions(&count);
    Obj(mode2)->GetConditionOption(&option);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(option, 1);

    // SetActiveFlag(5) stores 1 and tells the sinks with IAPOperation2's IID.
    std::vector<doc_test::Event> log;
    auto* sink = new doc_test::RecordingSink(1, &log);
    ASSERT_EQ(doc->RegisterEventSink(sink), S_OK);
    EXPECT_EQ(Obj(kin)->SetActiveFlag(5), S_OK);
    Obj(kin)->GetActiveFlag(&active);
    EXPECT_EQ(active, 1);
    const IID op2 = {0x4ABB1900, 0xEE1E, 0x11D4, {0x97, 0x77, 0x00, 0x10, 0x5A, 0x01, 0x53, 0xA2}};
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].cmd, 1);
    EXPECT_EQ(log[0].length, 16u);
    EXPECT_EQ(log[0].iid, op2);
    EXPECT_EQ(Obj(kin)->SetConditionMode(1), S_OK);
    EXPECT_EQ(log.size(), 1u) << "the condition mode is set silently";
    doc->UnregisterEventSink(sink);
    sink->Release();

    Obj(kin)->AppendElementOrClear(nullptr, nullptr);
    a->ClearElements();
    EXPECT_EQ(Dependents(top), 0);
    for (IAPNode* x : n) x->Release();
    top->Release();
    doc->Release();
    DeleteFileA(path.c_str());
}
