// Feature pairs: their lists, the reference operation, notifications, blocks and copies.
#include <gtest/gtest.h>

#include "features/APFeaturePair.h"
#include "link_support.h"

using namespace link_test;

namespace {

using FeaturePairs = ObjectsTest;

// A pair bound to a recording document, and three pins.
struct PairFixture {
    FakeDoc doc;
    IAPFeaturePair3* pair = New<IAPFeaturePair3>(CLSID_APFeaturePair, IID_IAPFeaturePair3);
    IAPFeature* f[3] = {New<IAPFeature>(CLSID_APPinFeature, IID_IAPFeature),
                        New<IAPFeature>(CLSID_APPinFeature, IID_IAPFeature),
                        New<IAPFeature>(CLSID_APHoleFeature, IID_IAPFeature)};
    PairFixture() { doc.Bind(pair); }
    ~PairFixture()
    {
        Release(pair);
        for (IAPFeature* x : f) Release(x);
    }
    int Objects() { return CountOf<IAPFeaturePair>(pair, &IAPFeaturePair::GetNumObjectFeatures); }
    int Targets() { return CountOf<IAPFeaturePair>(pair, &IAPFeaturePair::GetNumTargetFeatures); }
    IAPFeature* Object(int i)
    {
        IAPFeature* out = nullptr;
        EXPECT_EQ(pair->GetObjectFeature(i, &out), S_OK);
        Release(out); // compared only
        return out;
    }
    IAPFeature* Target(int i)
    {
        IAPFeature* out = nullptr;
        EXPECT_EQ(pair->GetTargetFeature(i, &out), S_OK);
        Release(out);
        return out;
    }
};

} // namespace

TEST_F(FeaturePairs, NewPairValues)
{
    PairFixture p;
    APPressFitType fit{};
    int v = 0;
    long set = -1;
    double d = -1;
    EXPECT_EQ(p.pair->GetFloat(&fit), S_OK);
    EXPECT_EQ(fit, 12);
    EXPECT_EQ(p.pair->GetFeaturePairIntValue2(&v), S_OK);
    EXPECT_EQ(v, 100);
    p.pair->GetFeaturePairIntValue1(&v);
    EXPECT_EQ(v, 0);
    p.pair->GetFeaturePairIntValue3(&v);
    EXPECT_EQ(v, 0);
    p.pair->GetDoubleValue(&d);
    EXPECT_EQ(d, 0.0);
    p.pair->GetFastenerSize(&d);
    EXPECT_EQ(d, 0.0);
    EXPECT_EQ(p.pair->IsFastenerSizeSet(&set), S_OK);
    EXPECT_EQ(set, 0);
    p.pair->SetFastenerSize(-1.0);
    p.pair->IsFastenerSizeSet(&set);
    EXPECT_EQ(set, 0);
    p.pair->SetFastenerSize(0.25);
    p.pair->IsFastenerSizeSet(&set);
    EXPECT_EQ(set, 1);

    IAPOperation* op = reinterpret_cast<IAPOperation*>(1);
    EXPECT_EQ(p.pair->GetOperation(&op), E_FAIL);
    EXPECT_EQ(op, nullptr);
    op = reinterpret_cast<IAPOperation*>(1);
    EXPECT_EQ(p.pair->GetFeaturePairReferenceElement(&op), S_OK);
    EXPECT_EQ(op, nullptr);
    EXPECT_EQ(p.pair->GetObjectFeature(0, &p.f[0]), E_FAIL);
    EXPECT_EQ(p.pair->GetNumObjectFeatures(nullptr), E_POINTER);
}

TEST_F(FeaturePairs, ListsHoldNoReferencesAndOneRegistrationServesBoth)
{
    PairFixture p;
    const ULONG refs = RefCount(p.f[0]);
    ASSERT_EQ(p.pair->AppendObjectFeature(p.f[0]), S_OK);
    ASSERT_EQ(p.pair->AppendObjectFeature(p.f[1]), S_OK);
    EXPECT_EQ(p.pair->AppendObjectFeature(p.f[0]), S_OK); // once only
    EXPECT_EQ(p.pair->AppendObjectFeature(nullptr), S_OK);
    // Any interface of a feature is the same member.
    IAPNode* asNode = Query<IAPNode>(p.f[1], IID_IAPNode);
    EXPECT_EQ(p.pair->AppendObjectFeature(reinterpret_cast<IAPFeature*>(asNode)), S_OK);
    asNode->Release();
    ASSERT_EQ(p.pair->AppendTargetFeature(p.f[0]), S_OK);
    EXPECT_EQ(p.Objects(), 2);
    EXPECT_EQ(p.Targets(), 1);
    EXPECT_EQ(RefCount(p.f[0]), refs);
    EXPECT_EQ(Dependents(p.f[0]), 1);
    EXPECT_EQ(Dependents(p.f[1]), 1);
    EXPECT_EQ(p.Object(1), p.f[1]);

    // The registration stays while either list holds the feature.
    EXPECT_EQ(p.pair->RemoveObjectFeature(p.f[0]), S_OK);
    EXPECT_EQ(Dependents(p.f[0]), 1);
    EXPECT_EQ(p.pair->RemoveTargetFeatureByIndex(0), S_OK);
    EXPECT_EQ(Dependents(p.f[0]), 0);
    EXPECT_EQ(p.pair->RemoveTargetFeature(p.f[0]), S_OK); // not listed: no error
    EXPECT_EQ(p.pair->RemoveTargetFeatureByIndex(0), E_FAIL);
    EXPECT_EQ(p.pair->RemoveObjectFeatureByIndex(-1), E_FAIL);
    EXPECT_EQ(p.Objects(), 1);
    EXPECT_EQ(p.Object(0), p.f[1]);
    // A registration already gone does not block the removal.
    IAPElement* e1 = Elem(p.f[1]);
    IAPElementSink* sink = Query<IAPElementSink>(p.pair, IID_IAPElementSink);
    e1->RemoveDependent(sink);
    sink->Release();
    e1->Release();
    EXPECT_EQ(p.pair->RemoveObjectFeatureByIndex(0), S_OK);
    EXPECT_EQ(p.Objects(), 0);

    // A pair that ends lets its features go.
    p.pair->AppendObjectFeature(p.f[2]);
    p.pair->AppendTargetFeature(p.f[2]);
    p.pair->Release();
    p.pair = nullptr;
    EXPECT_EQ(Dependents(p.f[2]), 0);
}

TEST_F(FeaturePairs, DestroyedMembersLeaveThroughTheInterface)
{
    PairFixture p;
    p.pair->AppendObjectFeature(p.f[0]);
    p.pair->AppendObjectFeature(p.f[1]);
    p.pair->AppendTargetFeature(p.f[2]);
    p.pair->AppendTargetFeature(p.f[0]);
    p.doc.Take();
    Release(p.f[0]);
    p.f[0] = nullptr;
    EXPECT_EQ(p.Objects(), 1);
    EXPECT_EQ(p.Targets(), 1);
    EXPECT_EQ(p.Object(0), p.f[1]);
    EXPECT_EQ(p.Target(0), p.f[2]);
    EXPECT_EQ(p.doc.Take(), (std::vector<IID>{IID_IAPFeaturePair, IID_IAPFeaturePair}));

    // The reference operation: watched, not counted; its end clears it.
    IAPOperation* op = New<IAPOperation>(CLSID_APAssemblyOperation, IID_IAPOperation);
    IAPOperation* owner = New<IAPOperation>(CLSID_APAssemblyOperation, IID_IAPOperation);
    const ULONG refs = RefCount(op);
    ASSERT_EQ(p.pair->SetReferenceElement(op), S_OK);
    EXPECT_EQ(p.pair->SetOperation(owner), S_OK);
    EXPECT_EQ(RefCount(op), refs);
    EXPECT_EQ(Dependents(op), 1);
    EXPECT_EQ(Dependents(owner), 0);
    EXPECT_EQ(p.doc.Take(), std::vector<IID>{IID_IAPFeaturePair}); // SetOperation sends none
    IAPOperation* got = nullptr;
    ASSERT_EQ(p.pair->GetFeaturePairReferenceElement(&got), S_OK);
    EXPECT_EQ(got, op);
    Release(got);
    ASSERT_EQ(p.pair->GetOperation(&got), S_OK);
    EXPECT_EQ(got, owner);
    Release(got);
    Release(op);
    EXPECT_EQ(p.pair->GetFeaturePairReferenceElement(&got), S_OK);
    EXPECT_EQ(got, nullptr);
    EXPECT_EQ(p.doc.Take(), std::vector<IID>{IID_IAPFeaturePair});
    Release(owner);
}

TEST_F(FeaturePairs, SettersNotifyThePairInterface)
{
    PairFixture p;
    struct Case {
        const char* name;
        std::function<HRESULT()> call;
        bool notifies;
    };
    const Case cases[] = {
        {"SetFloat", [&] { return p.pair->SetFloat(AP_PRESSFIT_LMC); }, true},
        {"SetFastenerSize", [&] { return p.pair->SetFastenerSize(2.0); }, true},
        {"SetIntValue1", [&] { return p.pair->SetFeaturePairIntValue1(4); }, true},
        {"SetDoubleValue", [&] { return p.pair->SetDoubleValue(1.5); }, true},
        {"SetIntValue2", [&] { return p.pair->SetFeaturePairIntValue2(7); }, true},
        {"SetIntValue3", [&] { return p.pair->SetFeaturePairIntValue3(8); }, true},
        {"SetReferenceElement", [&] { return p.pair->SetReferenceElement(nullptr); }, true},
        {"AppendObjectFeature", [&] { return p.pair->AppendObjectFeature(p.f[0]); }, true},
        {"RemoveObjectFeature", [&] { return p.pair->RemoveObjectFeature(p.f[0]); }, true},
        {"SetOperation", [&] { return p.pair->SetOperation(nullptr); }, false},
        {"GetFloat", [&] { APPressFitType t; return p.pair->GetFloat(&t); }, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.call(), S_OK) << c.name;
        EXPECT_EQ(p.doc.Take(), c.notifies ? std::vector<IID>{IID_IAPFeaturePair} : std::vector<IID>{}) << c.name;
    }
}

// ---------------------------------------------------------------------------------------
// Blocks

namespace {

// The pair's fields after its own version word, as an older block wrote them.
struct OldBlock {
    int version;
    std::vector<int> objects, targets;
    int operation, pressFit;
    double fastener;
    int value1;
    double value;
    int value2, value3, reference;
};

std::vector<unsigned char> OldPairBlock(const OldBlock& b)
{
    IAPElement* scratch = New<IAPElement>(CLSID_APFeaturePair, IID_IAPElement);
    auto bytes = BlockOf([&](Writer& w) {
        Model<APElement>(scratch)->APElement::Serialize(w.Stream());
        WmObjectStream& s = w.out;
        s.write(b.version);
        s.write(static_cast<int>(b.objects.size()));
        for (int n : b.objects) s.write(n);
        s.write(static_cast<int>(b.targets.size()));
        for (int n : b.targets) s.write(n);
        s.write(b.operation);
        s.write(b.pressFit);
        if (b.version >= 2) s.write(b.fastener);
        if (b.version >= 3) s.write(b.value1), s.write(b.value), s.write(b.value2);
        if (b.version >= 4) s.write(b.value3), s.write(b.reference);
        s.write(0x5eed); // what follows the block
    });
    scratch->Release();
    return bytes;
}

} // namespace

TEST_F(FeaturePairs, OlderBlocksTakeDefaultsAndTheMigration)
{
    struct Case {
        OldBlock block;
        double fastener;
        int value1, value2, value3, pressFit;
    };
    const Case cases[] = {
        {{1, {}, {}, -200000, 3, 9.0, 4, 1.0, 5, 6, -200000}, 0.0, 0, 100, 0, 3},
        {{2, {}, {}, -200000, 7, 9.0, 4, 1.0, 5, 6, -200000}, 9.0, 0, 100, 0, 7},
        {{3, {}, {}, -200000, 12, 9.0, 4, 1.0, 5, 6, -200000}, 9.0, 4, 5, 1, 12},
        {{3, {}, {}, -200000, 12, 9.0, 3, 1.0, 5, 6, -200000}, 9.0, 3, 5, 0, 12},
        {{4, {}, {}, -200000, 99, 9.0, 4, 1.0, 5, 6, -200000}, 9.0, 4, 5, 6, 99},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.block.version);
        IAPFeaturePair3* pair = New<IAPFeaturePair3>(CLSID_APFeaturePair, IID_IAPFeaturePair3);
        IAPElement* e = Elem(pair);
        Reader r(OldPairBlock(c.block));
        ASSERT_EQ(e->Deserialize(r.Handle()), S_OK);
        int tail = 0;
        EXPECT_TRUE(r.in.read(tail));
        EXPECT_EQ(tail, 0x5eed);
        EXPECT_EQ(e->FixupLists(), S_OK);
        double d = 0;
        int v = 0;
        APPressFitType fit{};
        pair->GetFastenerSize(&d);
        EXPECT_EQ(d, c.fastener);
        pair->GetFeaturePairIntValue1(&v);
        EXPECT_EQ(v, c.value1);
        pair->GetFeaturePairIntValue2(&v);
        EXPECT_EQ(v, c.value2);
        pair->GetFeaturePairIntValue3(&v);
        EXPECT_EQ(v, c.value3);
        pair->GetFloat(&fit);
        EXPECT_EQ(fit, c.pressFit);
        IAPOperation* op = reinterpret_cast<IAPOperation*>(1);
        EXPECT_EQ(pair->GetFeaturePairReferenceElement(&op), S_OK);
        EXPECT_EQ(op, nullptr);
        EXPECT_EQ(pair->GetOperation(&op), E_FAIL); // stored as none
        e->Release();
        pair->Release();
    }
    // A damaged block is refused.
    IAPElement* e = New<IAPElement>(CLSID_APFeaturePair, IID_IAPElement);
    OldBlock huge{4, {}, {}, -200000, 1, 0, 0, 0, 0, 0, -200000};
    auto bytes = OldPairBlock(huge);
    Reader cut(bytes, bytes.size() - 12);
    EXPECT_EQ(e->Deserialize(cut.Handle()), E_FAIL);
    e->Release();
}

TEST_F(FeaturePairs, RoundTripThroughTheElementStream)
{
    // Written: two pins, an operation, the reference operation and the pair; the pair's
    // lists hold a feature in both lists and a null entry that a copy left.
    IAPElement* pins[2] = {New<IAPElement>(CLSID_APPinFeature, IID_IAPElement),
                           New<IAPElement>(CLSID_APPinFeature, IID_IAPElement)};
    IAPElement* ops[2] = {New<IAPElement>(CLSID_APAssemblyOperation, IID_IAPElement),
                          New<IAPElement>(CLSID_APMeasurementOperation, IID_IAPElement)};
    IAPFeaturePair3* pair = New<IAPFeaturePair3>(CLSID_APFeaturePair, IID_IAPFeaturePair3);
    IAPElement* pe = Elem(pair);
    {
        FakeDoc doc; // a copy whose map yields no copy for the source's second target
        IAPFeaturePair3* source = New<IAPFeaturePair3>(CLSID_APFeaturePair, IID_IAPFeaturePair3);
        IAPElement* se = Elem(source);
        IAPFeature* f0 = Query<IAPFeature>(pins[0], IID_IAPFeature);
        IAPFeature* f1 = Query<IAPFeature>(pins[1], IID_IAPFeature);
        source->AppendObjectFeature(f0);
        source->AppendTargetFeature(f0);
        source->AppendTargetFeature(f1);
        doc.Bind(source);
        doc.Copy(f0, f1);
        ASSERT_EQ(se->Clone(pe), S_OK);
        doc.End();
        se->Release();
        source->Release();
        f0->Release();
        f1->Release();
        pe->BindDocument(nullptr);
    }
    IAPOperation* op = Query<IAPOperation>(ops[0], IID_IAPOperation);
    IAPOperation* ref = Query<IAPOperation>(ops[1], IID_IAPOperation);
    pair->SetOperation(op);
    pair->SetReferenceElement(ref);
    pair->SetFloat(AP_PRESSFIT_DATUM_BC);
    pair->SetFastenerSize(3.5);
    pair->SetFeaturePairIntValue1(4);
    pair->SetDoubleValue(-2.25);
    pair->SetFeaturePairIntValue2(11);
    pair->SetFeaturePairIntValue3(0);
    op->Release();
    ref->Release();

    Writer w;
    for (IAPElement* e : {pins[0], pins[1], ops[0], ops[1]}) ASSERT_EQ(e->Serialize(w.Handle()), S_OK);
    ASSERT_EQ(pe->Serialize(w.Handle()), S_OK);
    pe->Release();

    IAPElement* again[4] = {New<IAPElement>(CLSID_APPinFeature, IID_IAPElement),
                            New<IAPElement>(CLSID_APPinFeature, IID_IAPElement),
                            New<IAPElement>(CLSID_APAssemblyOperation, IID_IAPElement),
                            New<IAPElement>(CLSID_APMeasurementOperation, IID_IAPElement)};
    IAPFeaturePair3* read = New<IAPFeaturePair3>(CLSID_APFeaturePair, IID_IAPFeaturePair3);
    IAPElement* readElement = Elem(read);
    {
        Reader r(w.bytes.Bytes());
        for (IAPElement* e : again) ASSERT_EQ(e->Deserialize(r.Handle()), S_OK);
        ASSERT_EQ(readElement->Deserialize(r.Handle()), S_OK);
        EXPECT_EQ(CountOf<IAPFeaturePair>(read, &IAPFeaturePair::GetNumObjectFeatures), 0) << "linked by the fix-up";
        ASSERT_EQ(readElement->FixupLists(), S_OK);
    }
    EXPECT_EQ(readElement->FixupLists(), S_OK); // nothing left to link: no second registration
    IAPFeature* f = nullptr;
    ASSERT_EQ(CountOf<IAPFeaturePair>(read, &IAPFeaturePair::GetNumObjectFeatures), 1);
    ASSERT_EQ(CountOf<IAPFeaturePair>(read, &IAPFeaturePair::GetNumTargetFeatures), 2);
    read->GetObjectFeature(0, &f);
    EXPECT_TRUE(Same(f, again[1]));
    Release(f);
    read->GetTargetFeature(0, &f);
    EXPECT_TRUE(Same(f, again[1]));
    Release(f);
    read->GetTargetFeature(1, &f);
    EXPECT_EQ(f, nullptr) << "a null entry stays in its place";
    EXPECT_EQ(Dependents(again[1]), 1);
    EXPECT_EQ(Dependents(again[0]), 0);
    EXPECT_EQ(Dependents(again[3]), 1);
    EXPECT_EQ(Dependents(again[2]), 0) << "the owner is not watched";
    IAPOperation* o = nullptr;
    // The stored operation does not own the pair: only an owner that reads it links it.
    EXPECT_EQ(read->GetOperation(&o), E_FAIL);
    EXPECT_EQ(o, nullptr);
    read->GetFeaturePairReferenceElement(&o);
    EXPECT_TRUE(Same(o, again[3]));
    Release(o);
    APPressFitType fit{};
    double d = 0;
    int v = 0;
    read->GetFloat(&fit);
    EXPECT_EQ(fit, AP_PRESSFIT_DATUM_BC);
    read->GetFastenerSize(&d);
    EXPECT_EQ(d, 3.5);
    read->GetDoubleValue(&d);
    EXPECT_EQ(d, -2.25);
    read->GetFeaturePairIntValue2(&v);
    EXPECT_EQ(v, 11);
    read->GetFeaturePairIntValue3(&v);
    EXPECT_EQ(v, 0) << "a version-4 block keeps its own value";

    // Cleaning up after the copy drops the null entry and keeps the order.
    EXPECT_EQ(readElement->CleanUpCopyList(), S_OK);
    EXPECT_EQ(CountOf<IAPFeaturePair>(read, &IAPFeaturePair::GetNumTargetFeatures), 1);
    readElement->Release();
    read->Release();
    EXPECT_EQ(Dependents(again[1]), 0);
    EXPECT_EQ(Dependents(again[3]), 0);
    for (IAPElement* e : again) e->Release();
    for (IAPElement* e : pins) e->Release();
    for (IAPElement* e : ops) e->Release();
    pair->Release();
}

TEST_F(FeaturePairs, CopiesTakeTheirMembersFromTheCopyMap)
{
    PairFixture source;
    FakeDoc& doc = source.doc;
    IAPFeaturePair3* target = New<IAPFeaturePair3>(CLSID_APFeaturePair, IID_IAPFeaturePair3);
    doc.Bind(target);
    IAPFeature* copies[3] = {New<IAPFeature>(CLSID_APPinFeature, IID_IAPFeature),
                             New<IAPFeature>(CLSID_APPinFeature, IID_IAPFeature),
                             New<IAPFeature>(CLSID_APHoleFeature, IID_IAPFeature)};
    IAPOperation* ref = New<IAPOperation>(CLSID_APAssemblyOperation, IID_IAPOperation);
    IAPOperation* refCopy = New<IAPOperation>(CLSID_APAssemblyOperation, IID_IAPOperation);
    source.pair->AppendObjectFeature(source.f[0]);
    source.pair->AppendObjectFeature(source.f[1]);
    source.pair->AppendTargetFeature(source.f[1]);
    source.pair->AppendTargetFeature(source.f[2]);
    source.pair->SetReferenceElement(ref);
    source.pair->SetFastenerSize(1.25);
    source.pair->SetFloat(AP_PRESSFIT_BIAS);
    target->SetFloat(AP_PRESSFIT_RANDOM);

    doc.Copy(source.f[0], copies[0]); // copied before the pair
    doc.Copy(ref, refCopy);
    IAPElement* s = Elem(source.pair);
    IAPElement* t = Elem(target);
    ASSERT_EQ(s->Clone(t), S_OK);
    doc.Record(source.f[1], copies[1]); // copied after the pair
    doc.End();                          // f[2] is not copied

    EXPECT_EQ(CountOf<IAPFeaturePair>(target, &IAPFeaturePair::GetNumObjectFeatures), 2);
    IAPFeature* f = nullptr;
    target->GetObjectFeature(0, &f);
    EXPECT_EQ(f, copies[0]);
    Release(f);
    target->GetTargetFeature(1, &f);
    EXPECT_EQ(f, nullptr);
    EXPECT_EQ(t->CleanUpCopyList(), S_OK);
    EXPECT_EQ(CountOf<IAPFeaturePair>(target, &IAPFeaturePair::GetNumTargetFeatures), 1);
    target->GetTargetFeature(0, &f);
    EXPECT_EQ(f, copies[1]);
    Release(f);
    IAPOperation* o = nullptr;
    target->GetFeaturePairReferenceElement(&o);
    EXPECT_EQ(o, refCopy);
    Release(o);
    double d = 0;
    APPressFitType fit{};
    target->GetFastenerSize(&d);
    EXPECT_EQ(d, 1.25);
    target->GetFloat(&fit);
    EXPECT_EQ(fit, AP_PRESSFIT_RANDOM) << "the press-fit type stays the target's";
    // The map registered the copy as the dependent; the source's members keep theirs.
    EXPECT_EQ(Dependents(copies[1]), 1);
    EXPECT_EQ(Dependents(refCopy), 1);
    EXPECT_EQ(Dependents(source.f[1]), 1);
    // Wrong targets.
    IAPElement* datum = New<IAPElement>(CLSID_APDatum, IID_IAPElement);
    EXPECT_EQ(s->Clone(datum), E_FAIL);
    EXPECT_EQ(s->Clone(nullptr), E_FAIL);
    datum->Release();

    s->Release();
    t->Release();
    target->Release();
    for (IAPFeature* c : copies) EXPECT_EQ(Dependents(c), 0);
    EXPECT_EQ(Dependents(refCopy), 0);
    for (IAPFeature* c : copies) c->Release();
    ref->Release();
    refCopy->Release();
}
