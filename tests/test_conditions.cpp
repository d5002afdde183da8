// Conditions: defaults, measurements with their references and registrations, destroyed
// measurements, notifications, blocks and copies.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "link_support.h"

using namespace link_test;

namespace {

using Conditions = ObjectsTest;

// A condition and two measurement operations, all held by the test.
struct Fixture {
    IAPCondition* cond = New<IAPCondition>(CLSID_APCondition, IID_IAPCondition);
    IAPOperation* m1 = New<IAPOperation>(CLSID_APMeasurementOperation, IID_IAPOperation);
    IAPOperation* m2 = New<IAPOperation>(CLSID_APMeasurementOperation, IID_IAPOperation);
    ULONG refs1 = RefCount(m1), refs2 = RefCount(m2);
    ~Fixture()
    {
        Release(cond);
        Release(m1);
        Release(m2);
    }
};

IAPOperation* Meas(IAPCondition* c, int which)
{
    IAPOperation* out = nullptr;
    const HRESULT hr = which == 1 ? c->GetMeasurement1(&out) : c->GetMeasurement2(&out);
    if (hr != S_OK) return nullptr;
    out->Release(); // compared only
    return out;
}

} // namespace

TEST_F(Conditions, NewConditionValues)
{
    IAPCondition* c = New<IAPCondition>(CLSID_APCondition, IID_IAPCondition);
    long set = 0;
    double value = -1;
    APComparisonOperator cmp{};
    APLogicalOperator logical{};
    EXPECT_EQ(c->GetMeas2Set(&set), S_OK);
    EXPECT_EQ(set, 1);
    EXPECT_EQ(c->GetValue(&value), S_OK);
    EXPECT_EQ(value, 0.0);
    EXPECT_EQ(c->GetComparisonOperator(&cmp), S_OK);
    EXPECT_EQ(cmp, GREATERTHAN);
    EXPECT_EQ(c->GetLogicalOperator(&logical), S_OK);
    EXPECT_EQ(logical, NEITHER);
    IAPOperation* op = nullptr;
    IAPElement* e = nullptr;
    APMeasType type = AP_TYPE_CUSTOM;
    EXPECT_EQ(c->GetMeasurement1(&op), E_FAIL);
    EXPECT_EQ(c->GetMeasurement2(&op), E_FAIL);
    EXPECT_EQ(c->GetOperationForCondition(&op), E_FAIL);
    EXPECT_EQ(c->GetMeasurement1Element(&e, &type), E_FAIL);
    EXPECT_EQ(type, AP_TYPE_CUSTOM) << "nothing written on failure";
    EXPECT_EQ(c->GetMeasurement1(nullptr), E_POINTER);
    EXPECT_EQ(c->GetMeasurement2Element(&e, nullptr), E_POINTER);
    EXPECT_EQ(c->GetValue(nullptr), E_POINTER);
    EXPECT_EQ(c->RemoveMeasurement1(nullptr), E_FAIL);
    EXPECT_EQ(c->RemoveMeasurement2(nullptr), E_FAIL);
    // Condition methods on an operation answer S_FALSE.
    IAPElement* node = New<IAPElement>(CLSID_APMeasurementOperation, IID_IAPElement);
    EXPECT_EQ(ObjectOf(node)->SetValue(1.0), S_FALSE);
    node->Release();
    c->Release();
}

TEST_F(Conditions, MeasurementsAreCountedWatchedAndTyped)
{
    Fixture f;
    IAPOperation* custom = New<IAPOperation>(CLSID_APCustomOperation, IID_IAPOperation);
    const ULONG customRefs = RefCount(custom);
    for (int which : {1, 2}) {
        auto set = [&](IAPOperation* op) { return which == 1 ? f.cond->SetMeasurement1(op) : f.cond->SetMeasurement2(op); };
        auto remove = [&](IAPOperation* op) {
            return which == 1 ? f.cond->RemoveMeasurement1(op) : f.cond->RemoveMeasurement2(op);
        };
        auto element = [&](IAPElement** e, APMeasType* t) {
            return which == 1 ? f.cond->GetMeasurement1Element(e, t) : f.cond->GetMeasurement2Element(e, t);
        };
        EXPECT_EQ(set(f.m1), S_OK);
        EXPECT_EQ(set(f.m1), S_OK) << "the same measurement again";
        EXPECT_EQ(RefCount(f.m1), f.refs1 + 1);
        EXPECT_EQ(Dependents(f.m1), 1);
        EXPECT_TRUE(Same(Meas(f.cond, which), f.m1));

        IAPElement* e = nullptr;
        APMeasType type = AP_TYPE_UNKNOWN;
        ASSERT_EQ(element(&e, &type), S_OK);
        EXPECT_TRUE(Same(e, f.m1));
        EXPECT_EQ(type, AP_TYPE_REGULAR);
        Release(e);
        EXPECT_EQ(RefCount(f.m1), f.refs1 + 2) << "the element is cached with a reference";

        // Another measurement replaces the first with its element and kind.
        EXPECT_EQ(set(custom), S_OK);
        EXPECT_EQ(RefCount(f.m1), f.refs1);
        EXPECT_EQ(Dependents(f.m1), 0);
        EXPECT_EQ(Dependents(custom), 1);
        ASSERT_EQ(element(&e, &type), S_OK);
        EXPECT_TRUE(Same(e, custom));
        EXPECT_EQ(type, AP_TYPE_UNKNOWN) << "a custom operation that is not of the measuring type";
        Release(e);

        // Removing through another operation still clears it, and leaves no registration.
        EXPECT_EQ(remove(f.m2), S_OK);
        EXPECT_EQ(Meas(f.cond, which), nullptr);
        EXPECT_EQ(RefCount(custom), customRefs);
        EXPECT_EQ(Dependents(custom), 0);
        EXPECT_EQ(set(f.m2), S_OK);
        EXPECT_EQ(set(nullptr), S_OK);
        EXPECT_EQ(RefCount(f.m2), f.refs2);
        EXPECT_EQ(Dependents(f.m2), 0);
    }
    // A condition that goes stops watching and lets go.
    f.cond->SetMeasurement1(f.m1);
    f.cond->SetMeasurement2(f.m2);
    f.cond->Release();
    f.cond = nullptr;
    EXPECT_EQ(Dependents(f.m1), 0);
    EXPECT_EQ(Dependents(f.m2), 0);
    EXPECT_EQ(RefCount(f.m1), f.refs1);
    custom->Release();
}

TEST_F(Conditions, ADestroyedMeasurementLeavesThroughTheInterface)
{
    Fixture f;
    FakeDoc doc;
    doc.Bind(f.cond);
    f.cond->SetMeasurement1(f.m1);
    f.cond->SetMeasurement2(f.m1);
    doc.Take();
    IAPElement* e = Elem(f.m1);
    EXPECT_EQ(e->NotifyDependents(3), S_OK);
    e->Release();
    EXPECT_EQ(Meas(f.cond, 1), nullptr);
    EXPECT_EQ(Meas(f.cond, 2), nullptr);
    EXPECT_EQ(RefCount(f.m1), f.refs1);
    EXPECT_EQ(Dependents(f.m1), 0);
    EXPECT_EQ(doc.Take(), (std::vector<IID>{IID_IAPCondition, IID_IAPCondition}));
    // Other commands are not for the condition.
    f.cond->SetMeasurement1(f.m2);
    IAPElementSink* sink = Query<IAPElementSink>(f.cond, IID_IAPElementSink);
    IAPElement* e2 = Elem(f.m2);
    EXPECT_EQ(sink->Notify(1, e2), S_OK);
    EXPECT_TRUE(Same(Meas(f.cond, 1), f.m2));
    e2->Release();
    sink->Release();
    Elem(f.cond)->BindDocument(nullptr);
    f.cond->Release(); // Elem's reference
}

TEST_F(Conditions, OnlyTheMeasurementsNotify)
{
    Fixture f;
    struct Row {
        const char* what;
        std::function<HRESULT(IAPCondition*)> call;
        bool notifies;
    } rows[] = {
        {"SetMeasurement1", [&](IAPCondition* c) { return c->SetMeasurement1(f.m1); }, true},
        {"RemoveMeasurement1", [&](IAPCondition* c) { return c->RemoveMeasurement1(f.m1); }, true},
        {"SetMeasurement2", [&](IAPCondition* c) { return c->SetMeasurement2(f.m2); }, true},
        {"RemoveMeasurement2", [&](IAPCondition* c) { return c->RemoveMeasurement2(f.m2); }, true},
        {"SetValue", [](IAPCondition* c) { return c->SetValue(2.0); }, false},
        {"SetComparisonOperator", [](IAPCondition* c) { return c->SetComparisonOperator(NOTEQUALTO); }, false},
        {"SetLogicalOperator", [](IAPCondition* c) { return c->SetLogicalOperator(OR); }, false},
        {"SetMeas2Set", [](IAPCondition* c) { return c->SetMeas2Set(0); }, false},
        {"SetOperationForCondition", [&](IAPCondition* c) { return c->SetOperationForCondition(f.m2); }, false},
    };
    FakeDoc doc;
    doc.Bind(f.cond);
    for (const Row& r : rows) {
        EXPECT_EQ(r.call(f.cond), S_OK) << r.what;
        EXPECT_EQ(doc.Take(), r.notifies ? std::vector<IID>{IID_IAPCondition} : std::vector<IID>{}) << r.what;
    }
    APComparisonOperator cmp{};
    f.cond->GetComparisonOperator(&cmp);
    EXPECT_EQ(cmp, NOTEQUALTO);
    IAPOperation* op = nullptr;
    ASSERT_EQ(f.cond->GetOperationForCondition(&op), S_OK);
    EXPECT_TRUE(Same(op, f.m2));
    EXPECT_EQ(RefCount(f.m2), f.refs2 + 1) << "only the caller's reference";
    Release(op);
    IAPElement* e = Elem(f.cond);
    e->BindDocument(nullptr);
    e->Release();
}

TEST_F(Conditions, BlocksRoundTripWithTheirReferences)
{
    struct Row {
        int meas2Set;
        bool meas1, meas2, operation;
    } rows[] = {{1, true, true, true}, {0, true, false, true}, {1, false, false, false}, {0, false, true, false}};
    for (const Row& r : rows) {
        IAPElement* ops[3] = {New<IAPElement>(CLSID_APMeasurementOperation, IID_IAPElement),
                              New<IAPElement>(CLSID_APCustomOperation, IID_IAPElement),
                              New<IAPElement>(CLSID_APAssemblyOperation, IID_IAPElement)};
        IAPCondition* c = New<IAPCondition>(CLSID_APCondition, IID_IAPCondition);
        auto asOp = [](IAPElement* e) {
            IAPOperation* op = Query<IAPOperation>(e, IID_IAPOperation);
            op->Release();
            return op;
        };
        if (r.meas1) c->SetMeasurement1(asOp(ops[0]));
        if (r.meas2) c->SetMeasurement2(asOp(ops[1]));
        if (r.operation) c->SetOperationForCondition(asOp(ops[2]));
        c->SetMeas2Set(r.meas2Set);
        c->SetValue(4.5);
        c->SetLogicalOperator(AND);
        Writer w;
        for (IAPElement* e : ops) ASSERT_EQ(e->Serialize(w.Handle()), S_OK);
        IAPElement* ce = Elem(c);
        ASSERT_EQ(ce->Serialize(w.Handle()), S_OK) << "missing references are written as none";
        ce->Release();
        c->Release();

        IAPElement* again[3] = {New<IAPElement>(CLSID_APMeasurementOperation, IID_IAPElement),
                                New<IAPElement>(CLSID_APCustomOperation, IID_IAPElement),
                                New<IAPElement>(CLSID_APAssemblyOperation, IID_IAPElement)};
        IAPCondition* read = New<IAPCondition>(CLSID_APCondition, IID_IAPCondition);
        IAPElement* re = Elem(read);
        {
            Reader rd(w.bytes.Bytes());
            for (IAPElement* e : again) ASSERT_EQ(e->Deserialize(rd.Handle()), S_OK);
            ASSERT_EQ(re->Deserialize(rd.Handle()), S_OK);
            EXPECT_EQ(Meas(read, 1), nullptr) << "references wait for the fix-up";
            ASSERT_EQ(re->FixupLists(), S_OK);
        }
        EXPECT_EQ(re->FixupLists(), S_OK);
        EXPECT_EQ(Meas(read, 1) != nullptr, r.meas1);
        EXPECT_TRUE(!r.meas1 || Same(Meas(read, 1), again[0]));
        EXPECT_EQ(Meas(read, 2) != nullptr, r.meas2Set && r.meas2);
        EXPECT_TRUE(!(r.meas2Set && r.meas2) || Same(Meas(read, 2), again[1]));
        EXPECT_EQ(Dependents(again[0]), r.meas1 ? 1 : 0);
        EXPECT_EQ(Dependents(again[1]), r.meas2Set && r.meas2 ? 1 : 0);
        EXPECT_EQ(Dependents(again[2]), 0) << "the operation is not watched";
        IAPOperation* op = nullptr;
        // The stored operation does not own the condition: only an owner that reads it links it.
        EXPECT_EQ(read->GetOperationForCondition(&op), E_FAIL);
        EXPECT_EQ(op, nullptr);
        double value = -1;
        long set = -1;
        APLogicalOperator logical{};
        read->GetValue(&value);
        read->GetMeas2Set(&set);
        read->GetLogicalOperator(&logical);
        EXPECT_EQ(value, r.meas2Set ? 0.0 : 4.5) << "the value is stored only without measurement 2";
        EXPECT_EQ(set, r.meas2Set);
        EXPECT_EQ(logical, AND);
        re->Release();
        read->Release();
        for (IAPElement* e : again) {
            EXPECT_EQ(Dependents(e), 0);
            e->Release();
        }
        for (IAPElement* e : ops) e->Release();
    }
}

TEST_F(Conditions, FirstFormatAndAbandonedLoads)
{
    IAPElement* meas = New<IAPElement>(CLSID_APMeasurementOperation, IID_IAPElement);
    IAPElement* blank = New<IAPElement>(CLSID_APCondition, IID_IAPElement);
    Writer w;
    ASSERT_EQ(meas->Serialize(w.Handle()), S_OK);
    int number = 0;
    ASSERT_TRUE(w.out.ptr2num(meas, &number));
    ASSERT_EQ(Model<APElement>(blank)->APElement::Serialize(w.Stream()), S_OK);
    blank->Release();
    WmObjectStream& s = w.out;
    s.write(1), s.write(1), s.write(number), s.write(number), s.write(3), s.write(1); // no operation

    IAPElement* again = New<IAPElement>(CLSID_APMeasurementOperation, IID_IAPElement);
    const ULONG refs = RefCount(again);
    for (bool fix : {false, true}) {
        IAPElement* read = New<IAPElement>(CLSID_APCondition, IID_IAPElement);
        {
            Reader r(w.bytes.Bytes());
            ASSERT_EQ(again->Deserialize(r.Handle()), S_OK);
            ASSERT_EQ(read->Deserialize(r.Handle()), S_OK);
        }
        if (fix) {
            ASSERT_EQ(read->FixupLists(), S_OK);
            IAPCondition* c = Query<IAPCondition>(read, IID_IAPCondition);
            EXPECT_TRUE(Same(Meas(c, 1), again));
            EXPECT_TRUE(Same(Meas(c, 2), again));
            IAPOperation* op = nullptr;
            EXPECT_EQ(c->GetOperationForCondition(&op), E_FAIL);
            APComparisonOperator cmp{};
            c->GetComparisonOperator(&cmp);
            EXPECT_EQ(cmp, LESSTHANEQUALTO);
            c->Release();
            EXPECT_EQ(RefCount(again), refs + 2);
            EXPECT_EQ(Dependents(again), 1);
        } else {
            EXPECT_EQ(RefCount(again), refs) << "nothing is taken before the fix-up";
        }
        read->Release();
        EXPECT_EQ(RefCount(again), refs);
        EXPECT_EQ(Dependents(again), 0);
    }
    // A cut block fails.
    IAPElement* cut = New<IAPElement>(CLSID_APCondition, IID_IAPElement);
    {
        Reader r(w.bytes.Bytes(), w.bytes.Bytes().size() - 2);
        ASSERT_EQ(again->Deserialize(r.Handle()), S_OK);
        EXPECT_EQ(cut->Deserialize(r.Handle()), E_FAIL);
    }
    cut->Release();
    again->Release();
    meas->Release();
}

TEST_F(Conditions, ClonesCopyTheElementPartOnly)
{
    Fixture f;
    IAPCondition* target = New<IAPCondition>(CLSID_APCondition, IID_IAPCondition);
    IAPElement* source = Elem(f.cond);
    source->SetName(Text("gate"));
    f.cond->SetMeasurement1(f.m1);
    f.cond->SetValue(3.0);
    IAPElement* te = Elem(target);
    ASSERT_EQ(source->Clone(te), S_OK);
    char name[32] = {};
    te->GetName(reinterpret_cast<unsigned char*>(name));
    EXPECT_STREQ(name, "gate");
    double value = -1;
    target->GetValue(&value);
    EXPECT_EQ(value, 0.0);
    EXPECT_EQ(Meas(target, 1), nullptr);
    IAPElement* op = Elem(f.m1);
    EXPECT_EQ(source->Clone(op), E_FAIL);
    op->Release();
    te->Release();
    source->Release();
    target->Release();
}
