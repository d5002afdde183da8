// Size and GD&T tolerances: values, notifications, frames and reference features with their
// counts, blocks of every version and copies.
#include <gtest/gtest.h>

#include <functional>

#include "features/APTolerance.h"
#include "link_support.h"

using namespace link_test;

namespace {

using Tolerances = ObjectsTest;

int References(IAPGDTTolerance5* t) { return CountOf<IAPGDTTolerance5>(t, &IAPGDTTolerance5::GetNumReferenceFeatures); }

IAPFeature* Reference(IAPGDTTolerance5* t, int index)
{
    IAPFeature* f = nullptr;
    EXPECT_EQ(t->GetReferenceFeature(index, &f), S_OK);
    Release(f);
    return f;
}

IAPDRF* FrameOf(IAPGDTTolerance5* t, bool composite = false)
{
    IAPDRF* f = reinterpret_cast<IAPDRF*>(1);
    EXPECT_EQ(composite ? t->GetCompositeDRF(&f) : t->GetDRF(&f), S_OK);
    Release(f);
    return f;
}

// A block after a fresh element block: the tolerance base, then `rest`.
// `before` writes the records that precede it on the same stream.
std::vector<unsigned char> ToleranceBlock(const CLSID& clsid, int feature, const std::function<void(WmObjectStream&)>& rest,
                                          const std::function<void(Writer&)>& before = {})
{
    IAPElement* scratch = New<IAPElement>(clsid, IID_IAPElement);
    auto bytes = BlockOf([&](Writer& w) {
        if (before) before(w);
        Model<APElement>(scratch)->APElement::Serialize(w.Stream());
        WmObjectStream& s = w.out;
        s.write(1);
        s.write(1.0), s.write(2.0), s.write(3.0);
        s.write(2);
        s.write(feature);
        rest(s);
        s.write(0x5eed);
    });
    scratch->Release();
    return bytes;
}

// Reads `bytes` into `e` and checks that exactly the block was read.
void ReadWhole(IAPElement* e, const std::vector<unsigned char>& bytes)
{
    Reader r(bytes);
    ASSERT_EQ(e->Deserialize(r.Handle()), S_OK);
    int tail = 0;
    EXPECT_TRUE(r.in.read(tail));
    EXPECT_EQ(tail, 0x5eed);
}

} // namespace

// ---------------------------------------------------------------------------------------
// Values and notifications

TEST_F(Tolerances, NewValuesAndTheBaseOnBothKinds)
{
    for (const CLSID* clsid : {&CLSID_APSizeTolerance, &CLSID_APGDTTolerance}) {
        FakeDoc doc;
        IAPTolerance* t = New<IAPTolerance>(*clsid, IID_IAPTolerance);
        doc.Bind(t);
        APTolCategoryType category{};
        double x = -1, y = -1, z = -1;
        EXPECT_EQ(t->GetCategory(&category), S_OK);
        EXPECT_EQ(category, 5);
        EXPECT_EQ(t->Get3dPosition(&x, &y, &z), S_OK);
        EXPECT_EQ(x + y + z, 0.0);
        EXPECT_EQ(t->Set3dPosition(1, 2, 3), S_OK);
        t->Get3dPosition(&x, &y, &z);
        t->Get3dPosition(&x, &y, &z);
        EXPECT_EQ(std::vector<double>({x, y, z}), std::vector<double>({1, 2, 3}));
        EXPECT_EQ(t->SetCategory(AP_TOL_CAT_FORM), S_OK);
        IAPFeature* f = reinterpret_cast<IAPFeature*>(1);
        EXPECT_EQ(t->GetToleranceFeature(&f), E_FAIL);
        EXPECT_EQ(f, nullptr);
        IAPFeature* pin = New<IAPFeature>(CLSID_APPinFeature, IID_IAPFeature);
        const ULONG refs = RefCount(pin);
        EXPECT_EQ(t->SetToleranceFeature(pin), S_OK);
        EXPECT_EQ(RefCount(pin), refs);
        EXPECT_EQ(Dependents(pin), 0) << "a tolerance does not watch its feature";
        ASSERT_EQ(t->GetToleranceFeature(&f), S_OK);
        EXPECT_EQ(f, pin);
        Release(f);
        EXPECT_EQ(t->SetToleranceFeature(nullptr), S_OK);
        EXPECT_EQ(doc.Take(), std::vector<IID>(4, IID_IAPTolerance));
        pin->Release();
        t->Release();
    }

    IAPSizeTolerance2* size = New<IAPSizeTolerance2>(CLSID_APSizeTolerance, IID_IAPSizeTolerance2);
    APSizeType type{};
    APThicknessTolType thickness{};
    double v = -1;
    size->GetSizeType(&type);
    size->GetThicknessTolType(&thickness);
    size->GetMaxSizeLimit(&v);
    EXPECT_EQ(type, 5);
    EXPECT_EQ(thickness, 3);
    EXPECT_EQ(v, 0.0);
    size->Release();

    IAPGDTTolerance5* gdt = New<IAPGDTTolerance5>(CLSID_APGDTTolerance, IID_IAPGDTTolerance5);
    APCompositeType composite{};
    APTolZoneShapeType shape{};
    APModifierType modifier{};
    APTolCalloutType callout{};
    long set = -1;
    gdt->GetCompositeType(&composite);
    gdt->GetZoneShape(&shape);
    gdt->GetZoneModifier(&modifier);
    gdt->GetGDTType(&callout);
    EXPECT_EQ(composite, 1);
    EXPECT_EQ(shape, 6);
    EXPECT_EQ(modifier, 5);
    EXPECT_EQ(callout, 15);
    EXPECT_EQ(gdt->IsZoneDirectionSet(&set), S_OK);
    EXPECT_EQ(set, 0);
    gdt->SetZoneDirection(0, 0, 1);
    gdt->IsZoneDirectionSet(&set);
    EXPECT_EQ(set, 1);
    EXPECT_EQ(gdt->IsZoneDirectionSet(nullptr), E_POINTER);
    gdt->Release();
}

TEST_F(Tolerances, SettersNotifyTheirFamily)
{
    FakeDoc doc;
    IAPSizeTolerance2* size = New<IAPSizeTolerance2>(CLSID_APSizeTolerance, IID_IAPSizeTolerance2);
    IAPGDTTolerance5* gdt = New<IAPGDTTolerance5>(CLSID_APGDTTolerance, IID_IAPGDTTolerance5);
    IAPFeature* pin = NewCountedPin();
    IAPDRF* frame = New<IAPDRF>(CLSID_APDRF, IID_IAPDRF);
    doc.Bind(size);
    doc.Bind(gdt);
    struct Case {
        const char* name;
        std::function<HRESULT()> call;
        const IID* notifies;
    };
    const Case cases[] = {
        {"SetMinSizeLimit", [&] { return size->SetMinSizeLimit(1); }, &IID_IAPSizeTolerance},
        {"SetMaxSizeLimit", [&] { return size->SetMaxSizeLimit(2); }, &IID_IAPSizeTolerance},
        {"SetSizeType", [&] { return size->SetSizeType(AP_SIZE_LIMITS); }, &IID_IAPSizeTolerance},
        {"SetThicknessTolType", [&] { return size->SetThicknessTolType(AP_THICKNESS_PERCENT); }, &IID_IAPSizeTolerance},
        {"SetZoneSize", [&] { return gdt->SetZoneSize(0.1); }, &IID_IAPGDTTolerance},
        {"SetCompositeZoneSize", [&] { return gdt->SetCompositeZoneSize(0.2); }, &IID_IAPGDTTolerance},
        {"SetNominalShift", [&] { return gdt->SetNominalShift(3); }, &IID_IAPGDTTolerance},
        {"SetHasFormRateOfChange", [&] { return gdt->SetHasFormRateOfChange(1); }, &IID_IAPGDTTolerance},
        {"SetDirectedDimDirectionVector", [&] { return gdt->SetDirectedDimDirectionVector(1, 0, 0); }, &IID_IAPGDTTolerance},
        {"SetDRF", [&] { return gdt->SetDRF(frame); }, &IID_IAPGDTTolerance},
        {"AppendReferenceFeature", [&] { return gdt->AppendReferenceFeature(pin, pin); }, nullptr},
        {"RemoveReferenceFeatureByIndex", [&] { return gdt->RemoveReferenceFeatureByIndex(0); }, nullptr},
        {"RemoveReferenceFeature", [&] { return gdt->RemoveReferenceFeature(pin); }, nullptr},
        {"GetZoneSize", [&] { double d; return gdt->GetZoneSize(&d); }, nullptr},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.call(), S_OK) << c.name;
        EXPECT_EQ(doc.Take(), c.notifies ? std::vector<IID>{*c.notifies} : std::vector<IID>{}) << c.name;
    }
    gdt->SetDRF(nullptr);
    size->Release();
    gdt->Release();
    pin->Release();
    frame->Release();
}

// ---------------------------------------------------------------------------------------
// Links

TEST_F(Tolerances, FramesAreWatchedWhileEitherSlotHoldsThem)
{
    FakeDoc doc;
    IAPGDTTolerance5* t = New<IAPGDTTolerance5>(CLSID_APGDTTolerance, IID_IAPGDTTolerance5);
    doc.Bind(t);
    IAPDRF* a = New<IAPDRF>(CLSID_APDRF, IID_IAPDRF);
    IAPDRF* b = New<IAPDRF>(CLSID_APDRF, IID_IAPDRF);
    const ULONG refs = RefCount(a);
    ASSERT_EQ(t->SetDRF(a), S_OK);
    ASSERT_EQ(t->SetCompositeDRF(a), S_OK);
    EXPECT_EQ(RefCount(a), refs);
    EXPECT_EQ(Dependents(a), 1);
    t->SetDRF(b);
    EXPECT_EQ(Dependents(a), 1) << "the composite slot still holds it";
    EXPECT_EQ(Dependents(b), 1);
    t->SetCompositeDRF(nullptr);
    EXPECT_EQ(Dependents(a), 0);
    EXPECT_EQ(FrameOf(t), b);
    // A frame given through another interface is kept as IAPDRF.
    IAPElement* ae = Elem(a);
    t->SetCompositeDRF(reinterpret_cast<IAPDRF*>(ae));
    ae->Release();
    EXPECT_EQ(FrameOf(t, true), a);

    // Destroyed frames leave through the interface.
    doc.Take();
    Release(b);
    EXPECT_EQ(FrameOf(t), nullptr);
    EXPECT_EQ(doc.Take(), std::vector<IID>{IID_IAPGDTTolerance});
    Release(a);
    EXPECT_EQ(FrameOf(t, true), nullptr);
    EXPECT_EQ(doc.Take(), std::vector<IID>{IID_IAPGDTTolerance});

    // A tolerance that ends lets its frames go.
    IAPDRF* c = New<IAPDRF>(CLSID_APDRF, IID_IAPDRF);
    t->SetDRF(c);
    t->SetCompositeDRF(c);
    t->Release();
    EXPECT_EQ(Dependents(c), 0);
    c->Release();
}

TEST_F(Tolerances, ReferenceFeaturesHoldAReferenceAndAUseEach)
{
    IAPGDTTolerance5* t = New<IAPGDTTolerance5>(CLSID_APGDTTolerance, IID_IAPGDTTolerance5);
    IAPFeature* toleranced = NewCountedPin();
    IAPFeature* f[3] = {NewCountedPin(), NewCountedPin(), NewCountedPin()};
    const ULONG refs = RefCount(f[0]);

    ASSERT_EQ(t->AppendReferenceFeature(toleranced, f[0]), S_OK);
    ASSERT_EQ(t->AppendReferenceFeature(toleranced, f[0]), S_OK);
    EXPECT_EQ(References(t), 2);
    EXPECT_EQ(Uses(f[0]), 2);
    EXPECT_EQ(RefCount(f[0]), refs + 2);
    EXPECT_EQ(Dependents(f[0]), 1);
    ASSERT_EQ(t->RemoveReferenceFeature(f[0]), S_OK);
    EXPECT_EQ(References(t), 1);
    EXPECT_EQ(Uses(f[0]), 1);
    EXPECT_EQ(Dependents(f[0]), 1) << "still listed, still watched";
    ASSERT_EQ(t->RemoveReferenceFeatureByIndex(0), S_OK);
    EXPECT_EQ(Uses(f[0]), 0);
    EXPECT_EQ(RefCount(f[0]), refs);
    EXPECT_EQ(Dependents(f[0]), 0);
    EXPECT_EQ(t->RemoveReferenceFeatureByIndex(0), E_FAIL);
    EXPECT_EQ(t->RemoveReferenceFeature(nullptr), S_OK);

    // Without a toleranced feature nothing is watched; a null reference is an empty entry.
    ASSERT_EQ(t->AppendReferenceFeature(nullptr, f[1]), S_OK);
    EXPECT_EQ(Dependents(f[1]), 0);
    EXPECT_EQ(Uses(f[1]), 1);
    ASSERT_EQ(t->AppendReferenceFeature(toleranced, nullptr), S_OK);
    EXPECT_EQ(References(t), 2);
    EXPECT_EQ(Reference(t, 1), nullptr);
    EXPECT_EQ(t->RemoveReferenceFeatureByIndex(1), S_OK);
    // A feature that refuses a new use is not listed.
    Counted(f[2])->refuseUses = true;
    EXPECT_EQ(t->AppendReferenceFeature(toleranced, f[2]), E_FAIL);
    EXPECT_EQ(References(t), 1);
    EXPECT_EQ(RefCount(f[2]), refs);
    EXPECT_EQ(Dependents(f[2]), 0);
    Counted(f[2])->refuseUses = false;

    // A feature listed at 0 and 2 that is destroyed leaves exactly the former entry 1.
    t->RemoveReferenceFeatureByIndex(0);
    t->AppendReferenceFeature(toleranced, f[2]);
    t->AppendReferenceFeature(toleranced, f[1]);
    t->AppendReferenceFeature(toleranced, f[2]);
    IAPElement* e2 = Elem(f[2]);
    e2->NotifyDependents(3);
    e2->Release();
    EXPECT_EQ(References(t), 1);
    EXPECT_EQ(Reference(t, 0), f[1]);
    EXPECT_EQ(Uses(f[2]), 0);
    EXPECT_EQ(RefCount(f[2]), refs);
    IAPFeature* untouched = reinterpret_cast<IAPFeature*>(1);
    IAPGDTTolerance5* empty = New<IAPGDTTolerance5>(CLSID_APGDTTolerance, IID_IAPGDTTolerance5);
    EXPECT_EQ(empty->GetReferenceFeature(3, &untouched), S_OK) << "an empty list answers without an entry";
    EXPECT_EQ(untouched, reinterpret_cast<IAPFeature*>(1));
    empty->Release();
    EXPECT_EQ(t->GetReferenceFeature(1, &untouched), E_FAIL);

    // The tolerance's end gives every use and reference back, once.
    t->AppendReferenceFeature(toleranced, nullptr);
    t->AppendReferenceFeature(toleranced, f[1]);
    EXPECT_EQ(Uses(f[1]), 2);
    t->Release();
    EXPECT_EQ(Uses(f[1]), 0);
    EXPECT_EQ(RefCount(f[1]), refs);
    EXPECT_EQ(Dependents(f[1]), 0);
    for (IAPFeature* x : f) x->Release();
    toleranced->Release();
}

// ---------------------------------------------------------------------------------------
// Blocks

TEST_F(Tolerances, SizeBlocksAndCopies)
{
    // Version 1 has no thickness type.
    for (int version : {1, 2}) {
        IAPSizeTolerance2* t = New<IAPSizeTolerance2>(CLSID_APSizeTolerance, IID_IAPSizeTolerance2);
        IAPElement* e = Elem(t);
        ReadWhole(e, ToleranceBlock(CLSID_APSizeTolerance, -200000, [&](WmObjectStream& s) {
                      s.write(version), s.write(5.5), s.write(4.5), s.write(3);
                      if (version >= 2) s.write(1);
                  }));
        EXPECT_EQ(e->FixupLists(), S_OK);
        APThicknessTolType thickness{};
        APSizeType type{};
        double max = 0, x = 0, y = 0, z = 0;
        t->GetThicknessTolType(&thickness);
        t->GetSizeType(&type);
        t->GetMaxSizeLimit(&max);
        EXPECT_EQ(thickness, version == 1 ? 3 : 1);
        EXPECT_EQ(type, 3);
        EXPECT_EQ(max, 5.5);
        IAPTolerance* base = Query<IAPTolerance>(t, IID_IAPTolerance);
        base->Get3dPosition(&x, &y, &z);
        EXPECT_EQ(z, 3.0);
        IAPFeature* f = nullptr;
        EXPECT_EQ(base->GetToleranceFeature(&f), E_FAIL) << "saved without a feature";
        base->Release();
        e->Release();
        t->Release();
    }

    // Copies: limits, types, position and category, never the feature; only into a size tolerance.
    IAPSizeTolerance2* source = New<IAPSizeTolerance2>(CLSID_APSizeTolerance, IID_IAPSizeTolerance2);
    IAPSizeTolerance2* target = New<IAPSizeTolerance2>(CLSID_APSizeTolerance, IID_IAPSizeTolerance2);
    IAPElement* gdt = New<IAPElement>(CLSID_APGDTTolerance, IID_IAPElement);
    IAPFeature* pin = New<IAPFeature>(CLSID_APPinFeature, IID_IAPFeature);
    IAPTolerance* sb = Query<IAPTolerance>(source, IID_IAPTolerance);
    sb->SetToleranceFeature(pin);
    sb->Set3dPosition(4, 5, 6);
    sb->SetCategory(AP_TOL_CAT_SIZE);
    source->SetMinSizeLimit(-1);
    source->SetThicknessTolType(AP_THICKNESS_FEAT_WIDE);
    IAPElement* se = Elem(source);
    IAPElement* te = Elem(target);
    EXPECT_EQ(se->Clone(gdt), E_FAIL);
    ASSERT_EQ(se->Clone(te), S_OK);
    IAPTolerance* tb = Query<IAPTolerance>(target, IID_IAPTolerance);
    IAPFeature* f = nullptr;
    EXPECT_EQ(tb->GetToleranceFeature(&f), E_FAIL);
    double x = 0, y = 0, z = 0, min = 0;
    APTolCategoryType category{};
    APThicknessTolType thickness{};
    tb->Get3dPosition(&x, &y, &z);
    tb->GetCategory(&category);
    target->GetMinSizeLimit(&min);
    target->GetThicknessTolType(&thickness);
    EXPECT_EQ(x + y + z, 15.0);
    EXPECT_EQ(category, AP_TOL_CAT_SIZE);
    EXPECT_EQ(min, -1.0);
    EXPECT_EQ(thickness, AP_THICKNESS_FEAT_WIDE);
    for (IUnknown* p : std::initializer_list<IUnknown*>{tb, sb, se, te, gdt, source, target, pin}) p->Release();
}

TEST_F(Tolerances, GdtBlocksOfEveryVersion)
{
    IAPDRF* frame = New<IAPDRF>(CLSID_APDRF, IID_IAPDRF);
    IAPElement* fe = Elem(frame);
    struct Case {
        int version, compositeType;
        double compositeSize, shift;
        int directionSet;
        bool drf;
    };
    const Case cases[] = {{1, 1, 0, 0, 1, false}, {2, 1, 0, 0, 0, true}, {3, 2, 0.5, 0, 0, true},
                          {3, 1, 0, 0, 0, true},  {4, 3, 0.5, 1.5, 0, true}, {5, 2, 0.5, 1.5, 1, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        auto bytes = ToleranceBlock(CLSID_APGDTTolerance, -200000, [&](WmObjectStream& s) {
            s.write(c.version), s.write(2), s.write(3), s.write(0.25), s.write(10), s.write(c.directionSet);
            if (c.directionSet) s.write(0.0), s.write(0.0), s.write(1.0);
            s.write(1), s.write(1); // a frame, pointer number 1
            if (c.version >= 3) {
                s.write(c.compositeType);
                if (c.compositeType != 1) s.write(c.compositeSize), s.write(1), s.write(1);
            }
            if (c.version >= 4) s.write(c.shift), s.write(7);
            if (c.version >= 5) s.write(1), s.write(0.125);
        }, [&](Writer& w) { fe->Serialize(w.Handle()); });

        IAPDRF* readFrame = New<IAPDRF>(CLSID_APDRF, IID_IAPDRF);
        IAPGDTTolerance5* t = New<IAPGDTTolerance5>(CLSID_APGDTTolerance, IID_IAPGDTTolerance5);
        IAPElement* te = Elem(t);
        IAPElement* rfe = Elem(readFrame);
        {
            Reader r(bytes);
            ASSERT_EQ(rfe->Deserialize(r.Handle()), S_OK);
            ASSERT_EQ(te->Deserialize(r.Handle()), S_OK);
            int tail = 0;
            r.in.read(tail);
            EXPECT_EQ(tail, 0x5eed);
            EXPECT_EQ(te->FixupLists(), S_OK);
        }
        EXPECT_EQ(FrameOf(t) != nullptr, c.drf);
        EXPECT_EQ(FrameOf(t, true) != nullptr, c.version >= 3 && c.compositeType != 1);
        EXPECT_EQ(Dependents(readFrame), c.drf ? 1 : 0);
        APCompositeType composite{};
        double d = -1;
        long v = -1;
        t->GetCompositeType(&composite);
        EXPECT_EQ(composite, c.version >= 3 ? c.compositeType : 1);
        t->GetCompositeZoneSize(&d);
        EXPECT_EQ(d, c.version >= 3 && c.compositeType != 1 ? c.compositeSize : 0.0);
        t->GetZoneShift(&d);
        EXPECT_EQ(d, c.shift);
        t->GetNominalShift(&v);
        EXPECT_EQ(v, c.version >= 4 ? 7 : 0);
        t->GetHasFormRateOfChange(&v);
        EXPECT_EQ(v, c.version >= 5 ? 1 : 0);
        t->IsZoneDirectionSet(&v);
        EXPECT_EQ(v, c.directionSet);
        APTolCalloutType callout{};
        t->GetGDTType(&callout);
        EXPECT_EQ(callout, 10);
        EXPECT_EQ(References(t), 0);
        te->Release();
        t->Release();
        EXPECT_EQ(Dependents(readFrame), 0);
        rfe->Release();
        readFrame->Release();
    }
    fe->Release();
    frame->Release();
}

TEST_F(Tolerances, GdtRoundTripThroughTheElementStream)
{
    // Written: a frame, two features (one listed twice, one null entry) and the tolerance.
    IAPDRF* frame = New<IAPDRF>(CLSID_APDRF, IID_IAPDRF);
    IAPFeature* f[2] = {NewCountedPin(), NewCountedPin()};
    IAPGDTTolerance5* t = New<IAPGDTTolerance5>(CLSID_APGDTTolerance, IID_IAPGDTTolerance5);
    IAPTolerance* base = Query<IAPTolerance>(t, IID_IAPTolerance);
    base->SetToleranceFeature(f[0]);
    t->SetDRF(frame);
    t->SetCompositeType(AP_COMPOSITE);
    t->SetCompositeZoneSize(0.05);
    t->SetCompositeDRF(frame);
    t->SetZoneDirection(0, 1, 0);
    t->SetDirectedDimDirectionVector(0.5, 0.25, 0.125);
    t->SetFormRateOfChangeZone(0.75);
    t->AppendReferenceFeature(f[0], f[1]);
    t->AppendReferenceFeature(f[0], nullptr);
    t->AppendReferenceFeature(f[0], f[1]);
    Writer w;
    std::vector<IAPElement*> written = {Elem(frame), Elem(f[0]), Elem(f[1]), Elem(t)};
    for (IAPElement* e : written) ASSERT_EQ(e->Serialize(w.Handle()), S_OK);

    IAPDRF* frame2 = New<IAPDRF>(CLSID_APDRF, IID_IAPDRF);
    IAPFeature* g[2] = {NewCountedPin(), NewCountedPin()};
    IAPGDTTolerance5* t2 = New<IAPGDTTolerance5>(CLSID_APGDTTolerance, IID_IAPGDTTolerance5);
    std::vector<IAPElement*> read = {Elem(frame2), Elem(g[0]), Elem(g[1]), Elem(t2)};
    {
        Reader r(w.bytes.Bytes());
        for (IAPElement* e : read) ASSERT_EQ(e->Deserialize(r.Handle()), S_OK);
        EXPECT_EQ(Uses(g[1]), 0) << "counted at the fix-up";
        ASSERT_EQ(read[3]->FixupLists(), S_OK);
    }
    EXPECT_EQ(read[3]->FixupLists(), S_OK); // nothing left to link: nothing counted twice
    ASSERT_EQ(References(t2), 3);
    EXPECT_EQ(Reference(t2, 0), g[1]);
    EXPECT_EQ(Reference(t2, 1), nullptr);
    EXPECT_EQ(Uses(g[1]), 2);
    EXPECT_EQ(Dependents(g[1]), 1);
    EXPECT_EQ(Dependents(frame2), 1);
    EXPECT_TRUE(Same(FrameOf(t2), frame2));
    EXPECT_TRUE(Same(FrameOf(t2, true), frame2));
    IAPTolerance* base2 = Query<IAPTolerance>(t2, IID_IAPTolerance);
    IAPFeature* owner = nullptr;
    ASSERT_EQ(base2->GetToleranceFeature(&owner), S_OK);
    EXPECT_EQ(owner, g[0]);
    Release(owner);
    double x = 0, y = 0, z = 0;
    t2->GetDirectedDimDirectionVector(&x, &y, &z);
    EXPECT_EQ(z, 0.125);
    t2->GetZoneDirection(&x, &y, &z);
    EXPECT_EQ(y, 1.0);
    t2->GetCompositeZoneSize(&x);
    EXPECT_EQ(x, 0.05);
    t2->GetFormRateOfChangeZone(&x);
    EXPECT_EQ(x, 0.75);

    for (IAPElement* e : read) e->Release();
    base2->Release();
    t2->Release();
    EXPECT_EQ(Uses(g[1]), 0);
    EXPECT_EQ(Dependents(frame2), 0);
    for (IAPElement* e : written) e->Release();
    base->Release();
    t->Release();
    for (IUnknown* p : std::initializer_list<IUnknown*>{frame, frame2, f[0], f[1], g[0], g[1]}) p->Release();
}

TEST_F(Tolerances, GdtCopiesCountOnlyWhatTheyTake)
{
    FakeDoc doc;
    IAPGDTTolerance5* source = New<IAPGDTTolerance5>(CLSID_APGDTTolerance, IID_IAPGDTTolerance5);
    IAPGDTTolerance5* target = New<IAPGDTTolerance5>(CLSID_APGDTTolerance, IID_IAPGDTTolerance5);
    doc.Bind(source);
    IAPFeature* f[3] = {NewCountedPin(), NewCountedPin(), NewCountedPin()};
    IAPFeature* copies[2] = {NewCountedPin(), NewCountedPin()};
    IAPDRF* frame = New<IAPDRF>(CLSID_APDRF, IID_IAPDRF);
    IAPDRF* frameCopy = New<IAPDRF>(CLSID_APDRF, IID_IAPDRF);
    source->SetDRF(frame);
    source->SetZoneSize(0.3);
    source->SetNominalShift(2);
    source->AppendReferenceFeature(f[0], f[0]);
    source->AppendReferenceFeature(f[0], f[1]);
    source->AppendReferenceFeature(f[0], f[2]);
    const ULONG refs = RefCount(copies[0]);

    doc.Copy(frame, frameCopy);
    doc.Copy(f[0], copies[0]); // made before the tolerance
    IAPElement* se = Elem(source);
    IAPElement* te = Elem(target);
    ASSERT_EQ(se->Clone(te), S_OK);
    doc.Record(f[1], copies[1]); // made after it
    doc.End();                   // f[2] is not copied
    EXPECT_EQ(FrameOf(target), frameCopy);
    EXPECT_EQ(Dependents(frameCopy), 1);
    ASSERT_EQ(References(target), 3);
    EXPECT_EQ(Reference(target, 0), copies[0]);
    EXPECT_EQ(Reference(target, 1), copies[1]);
    EXPECT_EQ(Reference(target, 2), nullptr);
    EXPECT_EQ(Uses(copies[0]), 1);
    EXPECT_EQ(RefCount(copies[0]), refs + 1);
    EXPECT_EQ(Uses(copies[1]), 0) << "filled later: neither a use nor a reference";
    EXPECT_EQ(RefCount(copies[1]), refs);
    double size = 0;
    long shift = 0;
    target->GetZoneSize(&size);
    target->GetNominalShift(&shift);
    EXPECT_EQ(size, 0.3);
    EXPECT_EQ(shift, 2);
    IAPElement* sizeTol = New<IAPElement>(CLSID_APSizeTolerance, IID_IAPElement);
    EXPECT_EQ(se->Clone(sizeTol), E_FAIL);
    sizeTol->Release();

    // The copy gives back exactly what it took.
    te->Release();
    target->Release();
    EXPECT_EQ(Uses(copies[0]), 0);
    EXPECT_EQ(RefCount(copies[0]), refs);
    EXPECT_EQ(Uses(copies[1]), 0);
    EXPECT_EQ(RefCount(copies[1]), refs);
    EXPECT_EQ(Dependents(copies[1]), 0);
    EXPECT_EQ(Dependents(frameCopy), 0);
    se->Release();
    source->Release();
    for (IUnknown* p : std::initializer_list<IUnknown*>{f[0], f[1], f[2], copies[0], copies[1], frame, frameCopy})
        p->Release();
}
