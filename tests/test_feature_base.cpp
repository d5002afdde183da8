// The feature base: plain fields, distributions, variation source, tolerances, links,
// geometry of both sources and the change notifications of the common feature chain.
#include <cmath>
#include <vector>

#include "feature_support.h"

using namespace feature_test;
using doc_test::Same;

namespace {

struct DistributionCalls {
    HRESULT (STDMETHODCALLTYPE IAPFeature8::*setType)(APDistribType);
    HRESULT (STDMETHODCALLTYPE IAPFeature8::*setValues)(double, double);
    HRESULT (STDMETHODCALLTYPE IAPFeature8::*getValues)(double*, double*);
    HRESULT (STDMETHODCALLTYPE IAPFeature8::*setPearson)(double, double, double, double);
    HRESULT (STDMETHODCALLTYPE IAPFeature8::*getPearson)(double*, double*, double*, double*);
};

const DistributionCalls kDistributions[] = {
    {&IAPFeature8::SetSizeDistributionType, &IAPFeature8::SetSizeDistributionValues,
     &IAPFeature8::GetSizeDistributionValues, &IAPFeature8::SetSizePearsonValues, &IAPFeature8::GetSizePearsonValues},
    {&IAPFeature8::SetFormDistributionType, &IAPFeature8::SetFormDistributionValues,
     &IAPFeature8::GetFormDistributionValues, &IAPFeature8::SetFormPearsonValues, &IAPFeature8::GetFormPearsonValues},
    {&IAPFeature8::SetLocOrtDistributionType, &IAPFeature8::SetLocOrtDistributionValues,
     &IAPFeature8::GetLocOrtDistributionValues, &IAPFeature8::SetLocOrtPearsonValues,
     &IAPFeature8::GetLocOrtPearsonValues},
};

} // namespace

TEST_F(FeatureTest, DefaultsAndThePearsonRule)
{
    IAPFeature8* f = NewFeature();
    long set = -1;
    EXPECT_EQ(f->IsFeatureColorSet(&set), S_OK);
    EXPECT_EQ(set, 0);
    EXPECT_EQ(f->IsFeatureTransparencySet(&set), S_OK);
    EXPECT_EQ(set, 0);
    EXPECT_EQ(f->SetFeatureTransparency(0.0), S_OK);
    f->IsFeatureTransparencySet(&set);
    EXPECT_EQ(set, 1);
    int value = 0;
    f->GetIntAttribute2(&value);
    EXPECT_EQ(value, 4);
    f->GetGeometrySource(&value);
    EXPECT_EQ(value, 1);
    long valid = 0;
    f->GetIsValid(&valid);
    EXPECT_EQ(valid, 1);

    for (const auto& d : kDistributions) {
        double s = 0, k = 0, a = 0, b = 0;
        EXPECT_EQ((f->*d.setValues)(1.5, 2.5), E_FAIL);
        EXPECT_EQ((f->*d.getValues)(&s, &k), E_FAIL);
        EXPECT_EQ((f->*d.setPearson)(1, 2, 3, 4), E_FAIL);
        ASSERT_EQ((f->*d.setType)(AP_DISTRIB_TYPE_PEARSON), S_OK);
        EXPECT_EQ((f->*d.setPearson)(0.5, 0.25, 0.125, 3.0), S_OK);
        EXPECT_EQ((f->*d.getValues)(&s, &k), S_OK);
        EXPECT_EQ(s, 0.125);
        EXPECT_EQ(k, 3.0);
        EXPECT_EQ((f->*d.setValues)(-1.0, 4.0), S_OK);
        EXPECT_EQ((f->*d.getPearson)(&a, &b, &s, &k), S_OK);
        EXPECT_EQ(a, 0.5);
        EXPECT_EQ(b, 0.25);
        EXPECT_EQ(s, -1.0);
        EXPECT_EQ(k, 4.0);
    }

    EXPECT_EQ(f->GetEffectiveVariationSetting(7, &value), S_OK);
    EXPECT_EQ(value, 7);
    f->SetVariationSource(2);
    f->GetEffectiveVariationSetting(7, &value);
    EXPECT_EQ(value, 3);
    f->Release();
}

TEST_F(FeatureTest, VariationSourceWithoutAPointFeature)
{
    IAPFeature8* f = NewFeature();
    int out = 0;
    // Stored 1 takes the default; 2 needs no point feature; without one every mode is 2.
    for (int fallback : {2, 3, 4, 6}) {
        out = 0;
        EXPECT_EQ(f->ResolveVariationSource(fallback, &out), S_OK);
        EXPECT_EQ(out, 2) << fallback;
    }
    f->SetVariationSource(2);
    EXPECT_EQ(f->ResolveVariationSource(3, &out), S_OK);
    EXPECT_EQ(out, 2);
    f->Release();
}

TEST_F(FeatureTest, VariationSourceOfAPointFeatureFollowsItsMeasurementNames)
{
    IAPFeature8* f = NewFeature(CLSID_APPointFeature);
    IAPPointFeature2* point = nullptr;
    ASSERT_EQ(f->QueryInterface(IID_IAPPointFeature2, reinterpret_cast<void**>(&point)), S_OK);
    int out = 0;
    // Without names, modes 3 and 6 fall back to 2; the loc/ort or the size names decide.
    for (int mode : {3, 6}) {
        EXPECT_EQ(f->ResolveVariationSource(mode, &out), S_OK);
        EXPECT_EQ(out, 2) << mode;
    }
    ASSERT_EQ(point->SetSizeXmlFileAndMeasurementName(plenvort_test::Text("size.xml"), plenvort_test::Text("Gap"), 0), S_OK);
    for (int mode : {3, 6}) {
        EXPECT_EQ(f->ResolveVariationSource(mode, &out), S_OK);
        EXPECT_EQ(out, mode);
    }
    // Mode 4 asks the distributions, which carry nothing yet.
    EXPECT_EQ(f->ResolveVariationSource(4, &out), S_OK);
    EXPECT_EQ(out, 2);
    point->Release();
    f->Release();
}

TEST_F(FeatureTest, ToleranceListCountsItsReferencesAndTellsEachTolerance)
{
    IAPFeature8* f = NewFeature();
    FakeTolerance t, refusing;
    refusing.setResult = E_FAIL;

    EXPECT_EQ(f->AddTolerance(&t), S_OK);
    EXPECT_EQ(f->AddTolerance(&t), S_OK);
    EXPECT_EQ(t.refs, 2);
    EXPECT_TRUE(Same(t.feature, f));
    EXPECT_EQ(f->AddTolerance(&refusing), E_FAIL);
    EXPECT_EQ(refusing.refs, 1);
    EXPECT_EQ(f->AddTolerance(nullptr), E_FAIL);
    int n = 0;
    f->GetNumTolerances(&n);
    EXPECT_EQ(n, 1);

    IAPTolerance* got = nullptr;
    EXPECT_EQ(f->GetTolerance(0, &got), S_OK);
    EXPECT_EQ(got, static_cast<IAPTolerance*>(&t));
    EXPECT_EQ(t.refs, 3);
    got->Release();
    EXPECT_EQ(f->GetTolerance(1, &got), E_FAIL);
    EXPECT_EQ(f->GetTolerance(-1, &got), E_FAIL);
    EXPECT_EQ(f->RemoveToleranceByIndex(1), E_FAIL);
    EXPECT_EQ(f->RemoveTolerance(&refusing), S_OK); // not in the list

    EXPECT_EQ(f->RemoveTolerance(&t), S_OK);
    EXPECT_EQ(t.refs, 1);
    EXPECT_EQ(t.feature, nullptr);

    // A tolerance that outlives its feature forgets it.
    f->AddTolerance(&t);
    f->Release();
    EXPECT_EQ(t.refs, 1);
    EXPECT_EQ(t.feature, nullptr);
}

TEST_F(FeatureTest, RelatedListCountsAndWatchesItsMembers)
{
    IAPFeature8* a = NewFeature();
    IAPFeature8* b = NewFeature(CLSID_APHoleFeature);
    const ULONG aRefs = RefCount(a), bRefs = RefCount(b);

    ASSERT_EQ(a->AppendRelatedElement(b), S_OK);
    ASSERT_EQ(a->AppendRelatedElement(nullptr), S_OK);
    ASSERT_EQ(a->AppendRelatedElement(b), S_OK);
    EXPECT_EQ(RefCount(b), bRefs + 2);
    EXPECT_TRUE(Watches(a, b));
    EXPECT_EQ(Dependents(b), 1);
    a->SetRelatedOwnerFlag(1);
    b->SetRelatedOwner(a);
    b->SetRelatedMemberFlag(1);
    EXPECT_EQ(RefCount(a), aRefs + 1);
    EXPECT_TRUE(Watches(b, a));

    IAPFeature* got = nullptr;
    EXPECT_EQ(a->GetRelatedElement(1, &got), S_OK);
    EXPECT_EQ(got, nullptr);
    EXPECT_EQ(a->GetRelatedElement(3, &got), E_FAIL);

    // The first entry goes; b stays watched through the second one.
    EXPECT_EQ(a->RemoveRelatedElementByIndex(0), S_OK);
    EXPECT_TRUE(Watches(a, b));
    EXPECT_EQ(RefCount(b), bRefs + 1);
    // Taking b out of the list tells it that it has no owner any more.
    int flag = -1;
    EXPECT_EQ(RefCount(a), aRefs);
    b->GetRelatedMemberFlag(&flag);
    EXPECT_EQ(flag, 0);
    b->SetRelatedOwner(a);
    EXPECT_EQ(a->RemoveRelatedElement(b), S_OK);
    EXPECT_FALSE(Watches(a, b));
    EXPECT_FALSE(Watches(b, a));
    EXPECT_EQ(RefCount(a), aRefs);
    EXPECT_EQ(RefCount(b), bRefs);
    a->GetRelatedOwnerFlag(&flag);
    EXPECT_EQ(flag, 1); // the null entry is still there
    EXPECT_EQ(a->RemoveRelatedElementByIndex(0), S_OK);
    a->GetRelatedOwnerFlag(&flag);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(a->RemoveRelatedElementByIndex(0), E_FAIL);
    EXPECT_EQ(a->RemoveRelatedElement(nullptr), S_OK);
    a->Release();
    b->Release();
}

TEST_F(FeatureTest, LinkedElementAndOwnerTakeTheNewReferenceFirst)
{
    IAPFeature8* a = NewFeature();
    IAPFeature8* b = NewFeature();
    IAPFeature8* c = NewFeature();
    const ULONG bRefs = RefCount(b), cRefs = RefCount(c);

    for (auto set : {&IAPFeature8::SetLinkedElement, &IAPFeature8::SetRelatedOwner}) {
        EXPECT_EQ((a->*set)(b), S_OK);
        EXPECT_EQ((a->*set)(b), S_OK); // the same element again stays alive and watched
        EXPECT_EQ(RefCount(b), bRefs + 1);
        EXPECT_TRUE(Watches(a, b));
        EXPECT_EQ((a->*set)(c), S_OK);
        EXPECT_EQ(RefCount(b), bRefs);
        EXPECT_FALSE(Watches(a, b));
        EXPECT_EQ(RefCount(c), cRefs + 1);
        EXPECT_TRUE(Watches(a, c));
        EXPECT_EQ((a->*set)(nullptr), S_OK);
        EXPECT_EQ(RefCount(c), cRefs);
        EXPECT_EQ(Dependents(c), 0);
    }

    a->SetLinkedElement(b);
    IAPFeature* got = nullptr;
    EXPECT_EQ(a->GetLinkedElement(&got), S_OK);
    EXPECT_TRUE(Same(got, b));
    got->Release();
    EXPECT_EQ(a->DetachLinkedElement(), S_OK);
    EXPECT_FALSE(Watches(a, b));
    EXPECT_EQ(RefCount(b), bRefs + 1);
    a->SetLinkedElement(nullptr);

    // A feature that goes away leaves no dependent behind on what it linked to.
    a->SetLinkedElement(b);
    a->SetRelatedOwner(c);
    a->AppendRelatedElement(c);
    a->Release();
    EXPECT_EQ(Dependents(b), 0);
    EXPECT_EQ(Dependents(c), 0);
    EXPECT_EQ(RefCount(b), bRefs);
    EXPECT_EQ(RefCount(c), cRefs);
    b->Release();
    c->Release();
}

TEST_F(FeatureTest, SurfaceAndPointFeaturesLetGoAsTheyNotifyTheirDependents)
{
    IAPFeature8* s = NewFeature(CLSID_APSurfaceFeature);
    IAPFeature8* p = NewFeature(CLSID_APPointFeature);
    IAPFeature8* b = NewFeature();
    IAPFeature8* c = NewFeature();
    s->AppendRelatedElement(b);
    b->SetRelatedMemberFlag(1);
    s->SetLinkedElement(c);
    p->SetLinkedElement(b);
    IAPElement* se = plenvort_test::Elem(s);
    IAPElement* pe = plenvort_test::Elem(p);
    EXPECT_EQ(se->NotifyDependents(1), S_OK);
    EXPECT_EQ(pe->NotifyDependents(1), S_OK);
    EXPECT_FALSE(Watches(s, b));
    EXPECT_FALSE(Watches(s, c));
    EXPECT_FALSE(Watches(p, b));
    int flag = -1;
    b->GetRelatedMemberFlag(&flag);
    EXPECT_EQ(flag, 0);
    se->Release();
    pe->Release();
    s->Release();
    p->Release();
    b->Release();
    c->Release();
}

TEST_F(FeatureTest, ReferenceUseCount)
{
    IAPFeature8* f = NewFeature();
    long used = -1;
    f->IsUsedAsReference(&used);
    EXPECT_EQ(used, 0);
    f->IncrementReferenceUse();
    f->IncrementReferenceUse();
    f->DecrementReferenceUse();
    f->IsUsedAsReference(&used);
    EXPECT_EQ(used, 1);
    f->DecrementReferenceUse();
    f->IsUsedAsReference(&used);
    EXPECT_EQ(used, 0);
    f->Release();
}

TEST_F(FeatureTest, GetWmBrepPlacesACopyWhileTheHeldOneStays)
{
    IAPFeature8* f = NewFeature();
    double t[16];
    Translation(t, 1, 2, 3);
    f->SetTransformation(t);
    WmBrep* hole = HoleBrep();
    ASSERT_EQ(f->SetWmBrep(Handle(hole)), S_OK);
    EXPECT_EQ(hole->refCount(), 1); // the feature keeps its own copy
    hole->Release();
    double m[16];
    f->GetTransformation(m);
    EXPECT_EQ(m[12], 0.0); // reset to the identity
    long real = 0;
    f->GetBasedOnRealGeometry(&real);
    EXPECT_EQ(real, 1);

    f->SetTransformation(t);
    for (int round = 0; round < 2; ++round) {
        ULONG_PTR h = 0;
        ASSERT_EQ(f->GetWmBrep(&h), S_OK);
        IPlenvortBrep* out = reinterpret_cast<IPlenvortBrep*>(h);
        double uk[12], vk[4], cp[18 * 4];
        ASSERT_EQ(out->GetSurfaceData(0, uk, 12, vk, 4, cp, 18 * 4), S_OK);
        // cp0 (0, -1, 0, 1) and cp1 (0.707, -0.707, 0, 0.707), homogeneous, moved by (1, 2, 3).
        const double expect[8] = {1, 1, 3, 1, 0.707 + 0.707, -0.707 + 2 * 0.707, 3 * 0.707, 0.707};
        for (int i = 0; i < 8; ++i) EXPECT_NEAR(cp[i], expect[i], 1e-12) << round << " " << i;
        out->Release();
    }

    // Applying the transform moves the held B-rep once and resets the transform.
    EXPECT_EQ(f->ApplyTransformation(), S_OK);
    f->GetTransformation(m);
    EXPECT_EQ(m[12], 0.0);
    ULONG_PTR h = 0;
    ASSERT_EQ(f->GetWmBrep(&h), S_OK);
    auto* out = reinterpret_cast<IPlenvortBrep*>(h);
    double uk[12], vk[4], cp[18 * 4];
    ASSERT_EQ(out->GetSurfaceData(0, uk, 12, vk, 4, cp, 18 * 4), S_OK);
    EXPECT_NEAR(cp[0], 1.0, 1e-12);
    EXPECT_NEAR(cp[2], 3.0, 1e-12);
    out->Release();

    EXPECT_EQ(f->SetWmBrep(0), S_OK);
    f->GetBasedOnRealGeometry(&real);
    EXPECT_EQ(real, 0);
    // The kinds build their own shapes; without one there is nothing to hand out.
    EXPECT_EQ(f->GetWmBrep(&h), E_FAIL);
    EXPECT_EQ(f->GetWmBrep(nullptr), E_FAIL);
    f->Release();
}

TEST_F(FeatureTest, BoundaryOfALooplessFaceAndOfATrimmedCap)
{
    IAPFeature8* f = NewFeature();
    WmBrep* hole = HoleBrep();
    f->SetWmBrep(Handle(hole));
    hole->Release();
    APFeature* m = ModelFeature(f);
    int edges = 0, count = 0;
    EXPECT_EQ(m->GetNumFaceBoundaryEdges(0, &edges), S_OK);
    EXPECT_EQ(edges, 4);
    EXPECT_EQ(m->GetNumRegionBoundaryEdges(0, &edges), S_OK);
    EXPECT_EQ(edges, 4);
    std::vector<double> pts(3 * 40), normals(3 * 40);
    ASSERT_EQ(m->GetFaceBoundaryPoints(0, 10, pts.data(), &count), S_OK);
    ASSERT_EQ(count, 40);
    // v runs from 0.001 to 0.999 along the height 2: the sides at v = 0.001 and 0.999, the
    // others stepping by 0.0998.
    const double dv = (0.999 - 0.001) / 10;
    for (int k = 1; k <= 10; ++k) {
        EXPECT_NEAR(pts[3 * (k - 1) + 2], 0.002, 1e-12);
        EXPECT_NEAR(pts[3 * (9 + k) + 2], 2 * (0.001 + k * dv), 1e-12);
        EXPECT_NEAR(pts[3 * (19 + k) + 2], 1.998, 1e-12);
        EXPECT_NEAR(pts[3 * (29 + k) + 2], 2 * (0.999 - k * dv), 1e-12);
    }
    ASSERT_EQ(m->GetRegionBoundaryPointsWithNormals(0, 10, pts.data(), normals.data(), &count), S_OK);
    ASSERT_EQ(count, 40);
    for (int i = 0; i < 40; ++i) {
        const double* n = &normals[3 * i];
        EXPECT_NEAR(n[0] * n[0] + n[1] * n[1] + n[2] * n[2], 1.0, 1e-12);
        EXPECT_NEAR(n[2], 0.0, 1e-12);
    }
    double nx, ny, nz;
    EXPECT_EQ(m->GetFaceNormal(0, &nx, &ny, &nz), S_OK);
    EXPECT_NEAR(nx * nx + ny * ny + nz * nz, 1.0, 1e-12);
    EXPECT_EQ(m->GetFaceBoundaryPoints(0, 0, pts.data(), &count), E_FAIL);
    EXPECT_EQ(m->GetFaceBoundaryPoints(5, 10, pts.data(), &count), E_FAIL);

    // The pin's top cap is bounded by one circle: four samples, the last one 1 % of the span
    // before its end. The feature transform moves them.
    WmBrep* pin = PinBrep();
    f->SetWmBrep(Handle(pin));
    pin->Release();
    double t[16];
    Translation(t, 0, 0, 10);
    f->SetTransformation(t);
    const double expect[4][3] = {
        {1, 0, 12}, {0, 1, 12}, {-1, 0, 12}, {-0.05718438592585803, -0.9983631673366768, 12}};
    int found = 0;
    for (int face = 0; face < 3; ++face) {
        if (m->GetNumFaceBoundaryEdges(face, &edges) < 0 || edges != 1) continue;
        ASSERT_EQ(m->GetFaceBoundaryPoints(face, 4, pts.data(), &count), S_OK);
        ASSERT_EQ(count, 4);
        if (std::fabs(pts[2] - 12) > 1e-9) continue;
        ++found;
        for (int i = 0; i < 4; ++i)
            for (int k = 0; k < 3; ++k) EXPECT_NEAR(pts[3 * i + k], expect[i][k], 1e-12) << i << " " << k;
    }
    EXPECT_EQ(found, 1);
    f->Release();
}

TEST_F(FeatureTest, TransformingMovesEveryCurveOnceAndRefusesAnEmptyBrep)
{
    IAPFeature8* f = NewFeature();
    APFeature* m = ModelFeature(f);
    WmBrep* empty = new WmBrep;
    double t[16];
    Translation(t, 0, 0, 5);
    EXPECT_EQ(m->TransformWmBrep(empty, t), E_FAIL);
    EXPECT_EQ(m->TransformWmBrepRegion(0, empty, t), E_FAIL);
    empty->Release();

    // Curves shared between faces move once: the top circle ends up 5 higher, not 10.
    WmBrep* pin = PinBrep();
    ASSERT_EQ(m->TransformWmBrep(pin, t), S_OK);
    f->SetWmBrep(Handle(pin));
    pin->Release();
    std::vector<double> pts(3 * 16);
    int edges = 0, count = 0, checked = 0;
    for (int face = 0; face < 3; ++face) {
        // The caps: their circles are the curves that the wall shares.
        if (m->GetNumFaceBoundaryEdges(face, &edges) < 0 || edges != 1) continue;
        pts.resize(static_cast<size_t>(3 * 4 * edges));
        ASSERT_EQ(m->GetFaceBoundaryPoints(face, 4, pts.data(), &count), S_OK);
        for (int i = 0; i < count; ++i) {
            const double z = pts[static_cast<size_t>(3 * i + 2)];
            EXPECT_TRUE(std::fabs(z - 5) < 1e-9 || std::fabs(z - 7) < 1e-9) << z;
            ++checked;
        }
    }
    EXPECT_GT(checked, 0);
    f->Release();
}

TEST_F(FeatureTest, SolidModellerPartsGoThroughTheDocumentsUtility)
{
    auto* fake = new FakeUtility;
    FakeUtility& utility = *fake;
    IAPFeature8* f = DocFeature("F");
    APFeature* m = ModelFeature(f);
    int tag = 0;
    // No utility on the document yet.
    EXPECT_EQ(m->AcquireHbUtility(), E_FAIL);
    IAPDocument4* doc4 = Query<IAPDocument4>(m_doc, IID_IAPDocument4);
    fake->AddRef(); // the document takes over the reference it is given
    ASSERT_EQ(doc4->SetHbUtility(static_cast<IHbUtility*>(fake)), S_OK);

    EXPECT_EQ(f->AppendHbPart(7), S_OK);
    long real = 0;
    f->GetBasedOnRealGeometry(&real);
    EXPECT_EQ(real, 1);
    f->GetGeometrySource(&tag);
    EXPECT_EQ(tag, 2);
    double t[16];
    Translation(t, 1, 2, 3);
    f->SetTransformation(t);
    // A placed copy each time; the stored part stays where it was.
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(f->GetHbPart(0, &tag), S_OK);
        EXPECT_EQ(tag, 1007);
        EXPECT_EQ(utility.Part(1007), (std::vector<double>{1, 2, 3}));
        EXPECT_EQ(utility.Part(7), (std::vector<double>{0, 0, 0}));
    }
    EXPECT_EQ(f->GetHbPart(1, &tag), E_FAIL);
    f->SetHbBody(9);
    f->SetTransformation(t);
    ASSERT_EQ(f->GetHbBody(&tag), S_OK);
    EXPECT_EQ(tag, 1009);
    EXPECT_EQ(utility.Part(9), (std::vector<double>{0, 0, 0}));

    EXPECT_EQ(f->ApplyTransformation(), S_OK);
    EXPECT_EQ(utility.Part(7), (std::vector<double>{1, 2, 3}));

    double x, y, z;
    EXPECT_EQ(m->GetHbPointAtParam(7, 0.5, 0.25, &x, &y, &z), S_OK);
    EXPECT_EQ(x, 1.5);
    EXPECT_EQ(y, 2.25);
    EXPECT_EQ(z, 3.0);

    // Plane features outline the planar face (72), surface features the surface face (71).
    int edges = 0, count = 0;
    EXPECT_EQ(m->GetNumHbPartBoundaryEdges(7, &edges), S_OK);
    EXPECT_EQ(edges, 3);
    std::vector<double> pts(3 * 6);
    ASSERT_EQ(m->GetHbPartBoundaryPoints(7, 2, pts.data(), &count), S_OK);
    ASSERT_EQ(count, 6);
    EXPECT_EQ(pts[0], 72.0);
    EXPECT_EQ(pts[3 * 5 + 1], 2.0);
    EXPECT_EQ(pts[3 * 5 + 2], 1.5);
    ASSERT_EQ(m->GetHbSurfaceBoundaryPoints(7, 2, pts.data(), &count), S_OK);
    EXPECT_EQ(pts[0], 71.0);
    EXPECT_EQ(m->GetNumHbSurfaceBoundaryEdges(7, &edges), S_OK);
    EXPECT_EQ(m->GetHbPartBoundaryPoints(0, 2, pts.data(), &count), E_FAIL);
    EXPECT_EQ(m->GetHbPartBoundaryPoints(7, 0, pts.data(), &count), E_FAIL);

    // Emptying the part list by switching the source.
    f->SetGeometrySource(2);
    f->GetNumHbParts(&count);
    EXPECT_EQ(count, 0);
    f->Release();
    doc4->Release();
    fake->Release();
}

// Plane and surface features read a part through every tag the modeller lists for it; counts
// and outlines that a caller sizes a buffer from stay on the first tag of each part.
TEST_F(FeatureTest, PartsAreReadThroughEveryTag)
{
    auto* fake = new FakeUtility;
    fake->tagsOf[5] = {50, 51}; // part 6 is made of itself alone
    IAPDocument4* doc4 = Query<IAPDocument4>(m_doc, IID_IAPDocument4);
    ASSERT_EQ(doc4->SetHbUtility(static_cast<IHbUtility*>(fake)), S_OK); // the document takes this reference
    IAPFeature8* plane = DocFeature("Face", CLSID_APPlaneFeature);
    IAPFeature8* surface = DocFeature("Skin", CLSID_APSurfaceFeature);
    for (IAPFeature8* f : {plane, surface}) {
        ASSERT_EQ(f->AppendHbPart(5), S_OK);
        ASSERT_EQ(f->AppendHbPart(6), S_OK);
    }
    IAPPlaneFeature4* p = Query<IAPPlaneFeature4>(plane, IID_IAPPlaneFeature4);
    IAPSurfaceFeature1* s = Query<IAPSurfaceFeature1>(surface, IID_IAPSurfaceFeature1);

    // Planar faces 502 and 512 of part 5 and 62 of part 6; three edges each, sampled at (face, edge, k + 0.5).
    double x = 0, y = 0, z = 0, centres[6] = {};
    ASSERT_EQ(p->GetCentroid(&x, &y, &z), S_OK);
    EXPECT_EQ(std::vector<double>({x, y, z}), (std::vector<double>{(502.0 + 512.0 + 62.0) / 3, 1.0, 5.0}));
    ASSERT_EQ(p->GetPartCentroids(2, centres), S_OK);
    EXPECT_EQ(std::vector<double>({centres[0], centres[3]}), (std::vector<double>{507.0, 62.0}));
    int n = 0;
    EXPECT_EQ(p->GetPlaneFeatureNumBoundaryEdges(&n), S_OK);
    EXPECT_EQ(n, 3);
    std::vector<double> points(3 * 12), normals(3 * 12);
    EXPECT_EQ(p->GetPlaneFeatureBoundaryPoints(2, 2, points.data(), &n), S_OK);
    EXPECT_EQ(n, 12);
    ASSERT_EQ(s->GetSurfaceFeatureBoundaryPoints(2, 2, points.data(), normals.data(), &n), S_OK);
    EXPECT_EQ(n, 12);
    EXPECT_EQ(points[0], 501.0);
    EXPECT_EQ(points[3 * 6], 61.0);

    // Copied within the document the parts come along; into a document with another modeller
    // they cannot, and the copy fails whole.
    IAPNode* node = Query<IAPNode>(plane, IID_IAPNode);
    IAPNode* copy = nullptr;
    ASSERT_EQ(m_doc->CopyNode(node, &copy, 1), S_OK);
    IAPFeature8* copied = Query<IAPFeature8>(copy, IID_IAPFeature8);
    EXPECT_EQ(plenvort_test::Got(copied, &IAPFeature5::GetNumHbParts), 2);
    IAPDocument6* other = doc_test::NewDocument();
    IAPDocument4* other4 = Query<IAPDocument4>(other, IID_IAPDocument4);
    ASSERT_EQ(other4->SetHbUtility(static_cast<IHbUtility*>(new FakeUtility)), S_OK);
    IAPNode* across = reinterpret_cast<IAPNode*>(this);
    EXPECT_EQ(other->CopyNode(node, &across, 1), E_FAIL);
    EXPECT_EQ(across, nullptr);
    EXPECT_TRUE(doc_test::RootNames(other).empty());

    // A part the modeller lists no tag for cannot be read.
    fake->tagsOf[6] = {};
    EXPECT_EQ(p->GetCentroid(&x, &y, &z), E_FAIL);
    EXPECT_EQ(s->GetSurfaceFeatureNumBoundaryEdges(&n), E_FAIL);
    for (IUnknown* u : std::initializer_list<IUnknown*>{p, s, plane, surface, node, copy, copied, other4, other, doc4})
        u->Release();
}

TEST_F(FeatureTest, NormalsOfSolidModellerGeometryNeedTheUtility)
{
    IAPFeature8* f = DocFeature("F");
    APFeature* m = ModelFeature(f);
    WmBrep* pin = PinBrep();
    f->SetWmBrep(Handle(pin));
    pin->Release();
    std::vector<double> pts(3 * 16), normals(3 * 16);
    int count = 0, edges = 0;
    // A B-rep feature needs no modeller.
    ASSERT_EQ(m->GetNumRegionBoundaryEdges(0, &edges), S_OK);
    ASSERT_LE(edges, 4);
    EXPECT_EQ(m->GetRegionBoundaryPointsWithNormals(0, 4, pts.data(), normals.data(), &count), S_OK);
    f->AppendHbPart(3);
    f->SetWmBrep(0);
    EXPECT_EQ(m->GetRegionBoundaryPointsWithNormals(0, 4, pts.data(), normals.data(), &count), E_FAIL);
    f->Release();
}

TEST_F(FeatureTest, NotificationsOfTheCommonChain)
{
    Sink(1);
    IAPFeature8* f = DocFeature("F");
    FakeTolerance tol;
    double t[16];
    Translation(t, 1, 0, 0);
    m_log.clear();
    f->SetTransformation(t);
    f->AddTolerance(&tol);
    f->SetSizeDistributionType(AP_DISTRIB_TYPE_PEARSON);
    f->SetVariationSource(3);
    f->SetOptionPair(1, 2u);
    ASSERT_EQ(m_log.size(), 5u);
    for (const auto& e : m_log) {
        EXPECT_EQ(e.cmd, 1);
        EXPECT_TRUE(IsEqualIID(e.iid, IID_IAPFeature));
    }
    m_log.clear();
    WmBrep* hole = HoleBrep();
    f->SetWmBrep(Handle(hole));
    hole->Release();
    f->ApplyTransformation();
    f->SetVariationSetting(4); // the one setter above that sends
    f->SetLinkedElement(nullptr);
    f->IncrementReferenceUse();
    f->DecrementReferenceUse();
    EXPECT_EQ(m_log.size(), 1u);
    f->RemoveTolerance(&tol);
    f->Release();
}
