// Pin, hole, tapered, slot, tab, surface and pattern features: definitions, current
// parameters under transforms, shapes, copies, blocks and their interface rows.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "feature_kinds_support.h"

using namespace kinds_test;
using doc_test::DocumentTest;
using doc_test::NewNode;
using doc_test::RootAt;

namespace {

// What every cylinder interface answers, through one shape of calls.
struct Cylinder {
    const char* name;
    const CLSID* clsid;
    std::function<HRESULT(IUnknown*, double, double, double, double, double, double, double, double)> define;
    std::function<std::vector<double>(IUnknown*)> current; // anchor, direction, radius, height
};

template <class I>
std::vector<double> Current(IUnknown* p, HRESULT (STDMETHODCALLTYPE I::*anchor)(double*, double*, double*),
                            HRESULT (STDMETHODCALLTYPE I::*dir)(double*, double*, double*),
                            HRESULT (STDMETHODCALLTYPE I::*radius)(double*), HRESULT (STDMETHODCALLTYPE I::*height)(double*),
                            REFIID iid)
{
    I* f = Query<I>(p, iid);
    std::vector<double> v(8);
    EXPECT_EQ((f->*anchor)(&v[0], &v[1], &v[2]), S_OK);
    EXPECT_EQ((f->*dir)(&v[3], &v[4], &v[5]), S_OK);
    EXPECT_EQ((f->*radius)(&v[6]), S_OK);
    EXPECT_EQ((f->*height)(&v[7]), S_OK);
    f->Release();
    return v;
}

const Cylinder kCylinders[] = {
    {"pin", &CLSID_APPinFeature,
     [](IUnknown* p, double ax, double ay, double az, double dx, double dy, double dz, double r, double h) {
         IAPPinFeature* f = Query<IAPPinFeature>(p, IID_IAPPinFeature);
         HRESULT hr = f->DefinePinFeatureImplicit(ax, ay, az, dx, dy, dz, r, h, 7, 8, 9);
         f->Release();
         return hr;
     },
     [](IUnknown* p) {
         return Current<IAPPinFeature>(p, &IAPPinFeature::GetPinFeatureAnchorPoint, &IAPPinFeature::GetPinFeatureDirection,
                                       &IAPPinFeature::GetPinFeatureRadius, &IAPPinFeature::GetPinFeatureHeight,
                                       IID_IAPPinFeature);
     }},
    {"hole", &CLSID_APHoleFeature,
     [](IUnknown* p, double ax, double ay, double az, double dx, double dy, double dz, double r, double h) {
         IAPHoleFeature* f = Query<IAPHoleFeature>(p, IID_IAPHoleFeature);
         HRESULT hr = f->DefineHoleFeatureImplicit(ax, ay, az, dx, dy, dz, r, h, 7, 8, 9);
         f->Release();
         return hr;
     },
     [](IUnknown* p) {
         return Current<IAPHoleFeature>(p, &IAPHoleFeature::GetHoleFeatureAnchorPoint,
                                        &IAPHoleFeature::GetHoleFeatureDirection, &IAPHoleFeature::GetHoleFeatureRadius,
                                        &IAPHoleFeature::GetHoleFeatureHeight, IID_IAPHoleFeature);
     }},
    {"tapered pin", &CLSID_APTaperedPinFeature,
     [](IUnknown* p, double ax, double ay, double az, double dx, double dy, double dz, double r, double h) {
         IAPTaperedPinFeature* f = Query<IAPTaperedPinFeature>(p, IID_IAPTaperedPinFeature);
         HRESULT hr = f->DefineTaperedPinImplicit(ax, ay, az, dx, dy, dz, r, h, 0.1, 0.5, 7, 8, 9);
         f->Release();
         return hr;
     },
     [](IUnknown* p) {
         return Current<IAPTaperedPinFeature>(p, &IAPTaperedPinFeature::GetTaperedPinAnchorPoint,
                                              &IAPTaperedPinFeature::GetTaperedPinDirection,
                                              &IAPTaperedPinFeature::GetTaperedPinRadius,
                                              &IAPTaperedPinFeature::GetTaperedPinHeight, IID_IAPTaperedPinFeature);
     }},
    {"tapered hole", &CLSID_APTaperedHoleFeature,
     [](IUnknown* p, double ax, double ay, double az, double dx, double dy, double dz, double r, double h) {
         IAPTaperedHoleFeature* f = Query<IAPTaperedHoleFeature>(p, IID_IAPTaperedHoleFeature);
         HRESULT hr = f->DefineTaperedHoleImplicit(ax, ay, az, dx, dy, dz, r, h, 0.1, 0.5, 7, 8, 9);
         f->Release();
         return hr;
     },
     [](IUnknown* p) {
         return Current<IAPTaperedHoleFeature>(p, &IAPTaperedHoleFeature::GetTaperedHoleAnchorPoint,
                                               &IAPTaperedHoleFeature::GetTaperedHoleDirection,
                                               &IAPTaperedHoleFeature::GetTaperedHoleRadius,
                                               &IAPTaperedHoleFeature::GetTaperedHoleHeight,
                                               IID_IAPTaperedHoleFeature);
     }},
};

bool Tapered(const Cylinder& c) { return std::string(c.name).find("tapered") == 0; }

class FeatureKinds : public ObjectsTest {};

} // namespace

TEST_F(FeatureKinds, NewCylindersAreUndefined)
{
    for (const Cylinder& c : kCylinders) {
        SCOPED_TRACE(c.name);
        IUnknown* f = Create<IUnknown>(*c.clsid, IID_IUnknown);
        ExpectNear(c.current(f), {0, 0, 0, 0, 0, 0, -1, -1});
        PlacedBrep none(f);
        EXPECT_EQ(none.hr, E_FAIL);
        EXPECT_EQ(none.p, nullptr);
        f->Release();
    }
    IAPTaperedPinFeature* t = Create<IAPTaperedPinFeature>(CLSID_APTaperedPinFeature, IID_IAPTaperedPinFeature);
    double angle = 0, input = 1;
    APTaperParameterSel sel = AP_DIAMETER2_SEL;
    EXPECT_EQ(t->GetTaperedPinDraftAngle(&angle), S_OK);
    EXPECT_EQ(angle, -3.2);
    EXPECT_EQ(t->GetTaperedPinUIParameters(&input, &sel), S_OK);
    EXPECT_EQ(input, 0.0);
    EXPECT_EQ(sel, AP_SEL_UNKNOWN);
    t->Release();
}

TEST_F(FeatureKinds, CurrentParametersFollowTheTransform)
{
    for (const Cylinder& c : kCylinders) {
        SCOPED_TRACE(c.name);
        IUnknown* f = Create<IUnknown>(*c.clsid, IID_IUnknown);
        ASSERT_EQ(c.define(f, 0, 0, 0, 0, 0, 2, 1, 2), S_OK);
        ExpectNear(c.current(f), {0, 0, 0, 0, 0, 2, 1, 2}, "identity keeps the stored direction");
        ASSERT_EQ(SetTransform(f, kCycle), S_OK);
        ExpectNear(c.current(f), {5, 0, 0, 1, 0, 0, 1, 2}, "rotated and moved");
        const std::vector<double> shift = Translation(10, 0, 0);
        ASSERT_EQ(c.define(f, 1, 2, 3, 1, 0, 0, 0.5, 4), S_OK);
        ASSERT_EQ(SetTransform(f, shift.data()), S_OK);
        ExpectNear(c.current(f), {11, 2, 3, 1, 0, 0, 0.5, 4}, "translated");
        f->Release();
    }
}

TEST_F(FeatureKinds, PerpendicularBranchesUnderAScale)
{
    // Scaling x, y, z by 1, 2, 3 stretches the radius by the scale along the perpendicular
    // chosen; the tapered kinds hand the radius out as stored.
    const double scale[16] = {1, 0, 0, 0, 0, 2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 1};
    const struct {
        double d[3];
        double factor;
    } cases[] = {
        {{1, 0, 0}, 3.0},                       // (0, 0, 1)
        {{1, 1, 0}, 3.0},                       // (0, 0, 1)
        {{0, 1, 1}, 1.0},                       // (1, 0, 0)
        {{1, 0, 1}, 2.0},                       // (0, 1, 0)
        {{1, 1, 1}, std::sqrt(5.0 / 2.0)},      // u x z
    };
    for (const Cylinder& c : kCylinders)
        for (const auto& k : cases) {
            SCOPED_TRACE(std::string(c.name) + " " + std::to_string(k.d[0]) + std::to_string(k.d[1]) +
                         std::to_string(k.d[2]));
            IUnknown* f = Create<IUnknown>(*c.clsid, IID_IUnknown);
            ASSERT_EQ(c.define(f, 0, 0, 0, k.d[0], k.d[1], k.d[2], 1, 1), S_OK);
            ASSERT_EQ(SetTransform(f, scale), S_OK);
            EXPECT_NEAR(c.current(f)[6], Tapered(c) ? 1.0 : k.factor, kEps);
            f->Release();
        }
}

TEST_F(FeatureKinds, TransformDefinitionAndApply)
{
    IUnknown* p = Create<IUnknown>(CLSID_APPinFeature, IID_IUnknown);
    ASSERT_EQ(kCylinders[0].define(p, 1, 2, 3, 0, 0, 2, 1, 2), S_OK);
    auto* pin = Model<APPinFeature>(p);
    EXPECT_EQ(pin->TransformDefinition(kIdentity), 1);
    ExpectNear(kCylinders[0].current(p), {1, 2, 3, 0, 0, 2, 1, 2});
    ASSERT_EQ(SetTransform(p, kCycle), S_OK);
    const std::vector<double> placed = kCylinders[0].current(p);
    IAPFeature8* f = Query<IAPFeature8>(p, IID_IAPFeature8);
    ASSERT_EQ(f->ApplyTransformation(), S_OK);
    f->Release();
    ExpectNear(TransformOf(p), std::vector<double>(kIdentity, kIdentity + 16));
    ExpectNear(kCylinders[0].current(p), placed);
    p->Release();

    // The tapered kinds move their axis and keep the taper.
    IAPTaperedHoleFeature* t = Create<IAPTaperedHoleFeature>(CLSID_APTaperedHoleFeature, IID_IAPTaperedHoleFeature);
    ASSERT_EQ(t->DefineTaperedHoleImplicit(0, 0, 0, 0, 0, 1, 1, 2, 0.3, 0.7, 0, 0, 0), S_OK);
    ASSERT_EQ(Model<APTaperedHoleFeature>(t)->TransformDefinition(kCycle), S_OK);
    double angle = 0, h2 = 0;
    EXPECT_EQ(t->GetTaperedHoleDraftAngle(&angle), S_OK);
    EXPECT_EQ(t->GetTaperedHoleHeight2(&h2), S_OK);
    EXPECT_EQ(angle, 0.3);
    EXPECT_EQ(h2, 0.7);
    ExpectNear(kCylinders[3].current(t), {5, 0, 0, 1, 0, 0, 1, 2});
    t->Release();
}

TEST_F(FeatureKinds, CylinderShapes)
{
    // The pin's wall starts on the ring of radius 1 around the anchor and is placed by the
    // transform when handed out.
    IUnknown* p = Create<IUnknown>(CLSID_APPinFeature, IID_IUnknown);
    ASSERT_EQ(kCylinders[0].define(p, 0, 0, 0, 0, 0, 1, 1, 2), S_OK);
    {
        PlacedBrep b(p);
        ASSERT_EQ(b.hr, S_OK);
        ExpectNear(b.Control(0, 0), {0, -1, 0, 1}, "pin wall");
        ExpectNear(b.Control(1, 0), {1, -1, 2}, "pin top");
    }
    ASSERT_EQ(SetTransform(p, kCycle), S_OK);
    {
        PlacedBrep b(p);
        ASSERT_EQ(b.hr, S_OK);
        ExpectNear(b.Control(0, 0), {5, 0, -1, 1}, "placed once");
    }
    p->Release();

    // Tapered pin: a cone from radius 1.1 one unit below the anchor to 0.8 two units above it.
    IAPTaperedPinFeature* t = Create<IAPTaperedPinFeature>(CLSID_APTaperedPinFeature, IID_IAPTaperedPinFeature);
    ASSERT_EQ(t->DefineTaperedPinImplicit(0, 0, 0, 0, 0, 1, 1, 2, 2 * std::atan(0.1), 1, 0, 0, 0), S_OK);
    double base = 0, top = 0;
    Model<APConeFeature>(t)->ConeRadii(&base, &top);
    EXPECT_NEAR(base, 1.1, kEps);
    EXPECT_NEAR(top, 0.8, kEps);
    {
        PlacedBrep b(t);
        ASSERT_EQ(b.hr, S_OK);
        const WmBrepNURBSSurface* wall = b.Surface(0);
        ASSERT_NE(wall, nullptr);
        const int n = wall->coordinates();
        for (int k = 0; k < 18; ++k) {
            const double* c = wall->ctlPoints() + k * n;
            const double w = n == 4 ? c[3] : 1.0;
            const double z = c[2] / w, r = std::hypot(c[0] / w, c[1] / w);
            ASSERT_TRUE(std::fabs(z + 1) < 1e-9 || std::fabs(z - 2) < 1e-9) << k;
            if (k % 9 % 2 == 0) { // ring points, not corners
                EXPECT_NEAR(r, z < 0 ? 1.1 : 0.8, 1e-12) << k;
            }
        }
    }
    // No draft: both radii are |radius|.
    ASSERT_EQ(t->DefineTaperedPinImplicit(0, 0, 0, 0, 0, 1, -1.5, 2, 0, 1, 0, 0, 0), S_OK);
    Model<APConeFeature>(t)->ConeRadii(&base, &top);
    EXPECT_EQ(base, 1.5);
    EXPECT_EQ(top, 1.5);
    t->Release();
}

TEST_F(FeatureKinds, ClonesTakeThePlacedDefinition)
{
    for (const Cylinder& c : kCylinders) {
        SCOPED_TRACE(c.name);
        IAPElement* src = Create<IAPElement>(*c.clsid, IID_IAPElement);
        IAPElement* dst = Create<IAPElement>(*c.clsid, IID_IAPElement);
        ASSERT_EQ(c.define(src, 0, 0, 0, 0, 0, 1, 1, 2), S_OK);
        ASSERT_EQ(SetTransform(src, kCycle), S_OK);
        ASSERT_EQ(src->Clone(dst), S_OK);
        ExpectNear(c.current(dst), {5, 0, 0, 1, 0, 0, 1, 2});
        ExpectNear(TransformOf(dst), std::vector<double>(kIdentity, kIdentity + 16));
        for (const Cylinder& other : kCylinders) {
            if (&other == &c) continue;
            IAPElement* wrong = Create<IAPElement>(*other.clsid, IID_IAPElement);
            EXPECT_EQ(src->Clone(wrong), E_FAIL) << other.name;
            wrong->Release();
        }
        src->Release();
        dst->Release();
    }
    IAPTaperedPinFeature* a = Create<IAPTaperedPinFeature>(CLSID_APTaperedPinFeature, IID_IAPTaperedPinFeature);
    IAPTaperedPinFeature* b = Create<IAPTaperedPinFeature>(CLSID_APTaperedPinFeature, IID_IAPTaperedPinFeature);
    ASSERT_EQ(a->SetTaperedPinUIParameters(0.25, AP_TAPER_SEL), S_OK);
    IAPElement* ea = Elem(a);
    IAPElement* eb = Elem(b);
    ASSERT_EQ(ea->Clone(eb), S_OK);
    double input = 0;
    APTaperParameterSel sel = AP_SEL_UNKNOWN;
    EXPECT_EQ(b->GetTaperedPinUIParameters(&input, &sel), S_OK);
    EXPECT_EQ(input, 0.25);
    EXPECT_EQ(sel, AP_TAPER_SEL);
    for (IUnknown* u : {static_cast<IUnknown*>(ea), static_cast<IUnknown*>(eb), static_cast<IUnknown*>(a),
                        static_cast<IUnknown*>(b)})
        u->Release();
}

// ---- slot and tab ----

TEST_F(FeatureKinds, SlotFaceEdgesAndTabWalls)
{
    IAPSlotFeature* slot = Create<IAPSlotFeature>(CLSID_APSlotFeature, IID_IAPSlotFeature);
    int count = 0;
    EXPECT_EQ(slot->GetSlotFeatureNumFaceEdges(0, &count), E_FAIL);
    double d[3] = {};
    EXPECT_EQ(slot->GetSlotFeatureDimensions(&d[0], &d[1], &d[2]), S_OK);
    ExpectNear({d[0], d[1], d[2]}, {-1, -1, 0});
    ASSERT_EQ(slot->DefineSlotFeatureImplicit(0, 0, 0, 1, 0, 0, 0, 0, 1, 4, 1, 2), S_OK);
    ASSERT_EQ(slot->GetSlotFeatureNumFaceEdges(0, &count), S_OK);
    EXPECT_EQ(count, 4);
    double pts[12] = {};
    ASSERT_EQ(slot->GetSlotFeatureFaceEdgePoints(0, 1, pts, &count), S_OK);
    ASSERT_EQ(count, 4);
    ExpectNear(std::vector<double>(pts, pts + 12),
               {-1.996, -1, 1.998, 1.996, -1, 1.998, 1.996, -1, 0.002, -1.996, -1, 0.002});
    slot->Release();

    IAPTabFeature* tab = Create<IAPTabFeature>(CLSID_APTabFeature, IID_IAPTabFeature);
    EXPECT_EQ(tab->GetTabFeatureDimensions(&d[0], &d[1], &d[2]), S_OK);
    ExpectNear({d[0], d[1], d[2]}, {-1, -1, -1});
    ASSERT_EQ(tab->DefineTabFeatureImplicit(0, 0, 0, 1, 0, 0, 0, 0, 1, 4, 1, 2, 0, 0, 0), S_OK);
    ASSERT_EQ(tab->GetTabFeatureFaceEdgePoints(0, 1, pts, &count), S_OK);
    ASSERT_EQ(count, 4);
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(pts[3 * i + 1], -0.5, kEps);
    ASSERT_EQ(tab->GetTabFeatureFaceEdgePoints(1, 1, pts, &count), S_OK);
    for (int i = 0; i < count; ++i) EXPECT_NEAR(pts[3 * i + 1], 0.5, kEps);

    // Directions 45 degrees apart: the second size keeps the sine.
    ASSERT_EQ(tab->DefineTabFeatureImplicit(0, 0, 0, 1, 0, 0, 1, 1, 0, 1, 2, 3, 0, 0, 0), S_OK);
    const std::vector<double> shift = Translation(1, 2, 3);
    ASSERT_EQ(SetTransform(tab, shift.data()), S_OK);
    ASSERT_EQ(tab->GetTabFeatureDimensions(&d[0], &d[1], &d[2]), S_OK);
    ExpectNear({d[0], d[1], d[2]}, {1, 1.4142135623730951, 3});
    double a[3], s[3], x[3];
    ASSERT_EQ(tab->GetTabFeatureAnchorPoint(&a[0], &a[1], &a[2]), S_OK);
    ASSERT_EQ(tab->GetTabFeatureSecondDirection(&s[0], &s[1], &s[2]), S_OK);
    ExpectNear({a[0], a[1], a[2]}, {1, 2, 3});
    ExpectNear({s[0], s[1], s[2]}, {std::sqrt(0.5), std::sqrt(0.5), 0});
    double second = 0, first = 0, third = 0;
    ASSERT_EQ(Model<APTabFeature>(tab)->ComputeCurrentParameters(a, x, s, &second, &first, &third), S_OK);
    EXPECT_EQ(first, 1.0);
    EXPECT_NEAR(second, 1.4142135623730951, kEps);
    tab->Release();
}

TEST_F(FeatureKinds, SlotAndTabShapes)
{
    // The slot hands the builder twice its second size; parallel directions still build.
    IAPSlotFeature* slot = Create<IAPSlotFeature>(CLSID_APSlotFeature, IID_IAPSlotFeature);
    IAPTabFeature* tab = Create<IAPTabFeature>(CLSID_APTabFeature, IID_IAPTabFeature);
    ASSERT_EQ(slot->DefineSlotFeatureImplicit(0, 0, 0, 1, 0, 0, 0, 0, 1, 4, 1, 2), S_OK);
    ASSERT_EQ(tab->DefineTabFeatureImplicit(0, 0, 0, 1, 0, 0, 0, 0, 1, 4, 1, 2, 0, 0, 0), S_OK);
    WmBrep* built = nullptr;
    ASSERT_EQ(CreateSlotTabWmBrep({0, 0, 0}, {0, 0, 1}, {1, 0, 0}, 4, 2, 2, &built), 1);
    {
        PlacedBrep b(slot);
        ASSERT_EQ(b.hr, S_OK);
        ASSERT_EQ(b.p->numSurfaces(), built->numSurfaces());
        for (int f = 0; f < b.p->numSurfaces() && f < 3; ++f) ExpectNear(b.Control(f, 0), [&] {
            PlacedBrep* none = nullptr;
            (void)none;
            const WmBrepNURBSSurface* s =
                WmBrepNURBSSurface::cast(built->surface(built->face(built->shell(built->region(0), 0), f)->surfaceIndex()));
            return std::vector<double>(s->ctlPoints(), s->ctlPoints() + s->coordinates());
        }());
    }
    built->release();
    ASSERT_EQ(slot->DefineSlotFeatureImplicit(0, 0, 0, 0, 0, 1, 0, 0, 2, 4, 1, 2), S_OK);
    int count = 0;
    EXPECT_EQ(slot->GetSlotFeatureNumFaceEdges(0, &count), S_OK);
    ASSERT_EQ(tab->DefineTabFeatureImplicit(0, 0, 0, 1, 2, 3, 2, 4, 6, 4, 1, 2, 0, 0, 0), S_OK);
    EXPECT_EQ(tab->GetTabFeatureNumFaceEdges(0, &count), S_OK);
    slot->Release();
    tab->Release();
}

// ---- surface and pattern ----

TEST_F(FeatureKinds, SurfaceAndPatternBuildNoShape)
{
    IAPSurfaceFeature1* s = Create<IAPSurfaceFeature1>(CLSID_APSurfaceFeature, IID_IAPSurfaceFeature1);
    IAPPatternFeature* p = Create<IAPPatternFeature>(CLSID_APPatternFeature, IID_IAPPatternFeature);
    const double pts[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0}, vec[9] = {0, 0, 1, 0, 0, 1, 0, 0, 1};
    ASSERT_EQ(s->DefineSurfaceByPoints(const_cast<double*>(pts), 3, const_cast<double*>(vec)), S_OK);
    EXPECT_EQ(Model<APSurfaceFeature>(s)->BuildWmBrep(), E_NOTIMPL);
    EXPECT_EQ(Model<APSurfaceFeature>(s)->TransformDefinition(kCycle), E_NOTIMPL);
    EXPECT_EQ(Model<APPatternFeature>(p)->BuildWmBrep(), E_NOTIMPL);
    EXPECT_EQ(Model<APPatternFeature>(p)->TransformDefinition(kCycle), E_NOTIMPL);
    EXPECT_EQ(PlacedBrep(s).hr, E_FAIL);
    EXPECT_EQ(PlacedBrep(p).hr, E_FAIL);

    // Points go out placed; the count of boundary edges is the number of points.
    const std::vector<double> shift = Translation(0, 0, 4);
    ASSERT_EQ(SetTransform(s, shift.data()), S_OK);
    double out[9] = {}, normals[9] = {};
    int count = 0;
    ASSERT_EQ(s->GetSurfaceFeaturePartBoundaryPoints(10, out, normals, &count), S_OK);
    ASSERT_EQ(count, 3);
    ExpectNear(std::vector<double>(out, out + 9), {0, 0, 4, 1, 0, 4, 0, 1, 4});
    EXPECT_EQ(s->GetSurfaceFeatureNumBoundaryEdges(&count), S_OK);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(s->GetSurfaceFeatureNumGeometryParts(&count), S_OK);
    EXPECT_EQ(count, 1);

    // Copies keep the points as they stand.
    IAPSurfaceFeature1* copy = Create<IAPSurfaceFeature1>(CLSID_APSurfaceFeature, IID_IAPSurfaceFeature1);
    IAPElement* es = Elem(s);
    IAPElement* ec = Elem(copy);
    ASSERT_EQ(es->Clone(ec), S_OK);
    ASSERT_EQ(copy->GetSurfaceFeaturePartBoundaryPoints(10, out, normals, &count), S_OK);
    ExpectNear(std::vector<double>(out, out + 9), {0, 0, 0, 1, 0, 0, 0, 1, 0});
    EXPECT_EQ(es->Clone(Elem(p)), E_FAIL);
    p->Release(); // the Elem reference

    APFeatureType type = AP_FEATURE_PIN;
    EXPECT_EQ(p->GetPatternFeatureType(&type), S_OK);
    EXPECT_EQ(type, AP_FEATURE_UNKNOWN);
    EXPECT_EQ(p->SetPatternFeatureType(static_cast<APFeatureType>(42)), S_OK);
    EXPECT_EQ(p->GetPatternFeatureType(&type), S_OK);
    EXPECT_EQ(type, 42);
    for (IUnknown* u : {static_cast<IUnknown*>(es), static_cast<IUnknown*>(ec), static_cast<IUnknown*>(copy),
                        static_cast<IUnknown*>(s), static_cast<IUnknown*>(p)})
        u->Release();
}

// ---- interface rows ----

TEST_F(FeatureKinds, KindRowsAnswerTheirOwnClassOnly)
{
    IAPElement* hole = Create<IAPElement>(CLSID_APHoleFeature, IID_IAPElement);
    CAPElement* o = ObjectOf(hole);
    double r = 99;
    int n = 99;
    APFeatureType type = AP_FEATURE_PIN;
    EXPECT_EQ(static_cast<IAPPinFeature*>(o)->GetPinFeatureRadius(&r), S_FALSE);
    EXPECT_EQ(static_cast<IAPTaperedHoleFeature*>(o)->GetTaperedHoleRadius(&r), S_FALSE);
    EXPECT_EQ(static_cast<IAPSlotFeature*>(o)->GetSlotFeatureNumFaceEdges(0, &n), S_FALSE);
    EXPECT_EQ(static_cast<IAPPlaneFeature4*>(o)->GetNormalSense(&n), S_FALSE);
    EXPECT_EQ(static_cast<IAPSurfaceFeature1*>(o)->GetSurfaceFeatureNumBoundaryEdges(&n), S_FALSE);
    EXPECT_EQ(static_cast<IAPPatternFeature*>(o)->GetPatternFeatureType(&type), S_FALSE);
    EXPECT_EQ(r, 99);
    EXPECT_EQ(n, 99);
    EXPECT_EQ(static_cast<IAPHoleFeature*>(o)->GetHoleFeatureRadius(&r), S_OK);
    EXPECT_EQ(r, -1);
    hole->Release();
}

namespace {

struct Row {
    const char* name;
    const CLSID* clsid;
    std::function<HRESULT(IUnknown*)> call;
    const IID* notifies; // null: no event
};

template <class I>
std::function<HRESULT(IUnknown*)> On(REFIID iid, std::function<HRESULT(I*)> f)
{
    return [&iid, f](IUnknown* p) {
        I* i = Query<I>(p, iid);
        if (!i) return E_NOINTERFACE;
        const HRESULT hr = f(i);
        i->Release();
        return hr;
    };
}

} // namespace

class FeatureKindRows : public DocumentTest {};

TEST_F(FeatureKindRows, NotificationsPerMethod)
{
    const Row rows[] = {
        {"DefinePin", &CLSID_APPinFeature, On<IAPPinFeature>(IID_IAPPinFeature, [](IAPPinFeature* f) { return f->DefinePinFeatureImplicit(0, 0, 0, 0, 0, 1, 1, 1, 0, 0, 0); }), &IID_IAPPinFeature},
        {"DefineHole", &CLSID_APHoleFeature, On<IAPHoleFeature>(IID_IAPHoleFeature, [](IAPHoleFeature* f) { return f->DefineHoleFeatureImplicit(0, 0, 0, 0, 0, 1, 1, 1, 0, 0, 0); }), &IID_IAPHoleFeature},
        {"DefineTaperedPin", &CLSID_APTaperedPinFeature, On<IAPTaperedPinFeature>(IID_IAPTaperedPinFeature, [](IAPTaperedPinFeature* f) { return f->DefineTaperedPinImplicit(0, 0, 0, 0, 0, 1, 1, 1, 0, 0, 0, 0, 0); }), &IID_IAPTaperedPinFeature},
        {"TaperedPinUI", &CLSID_APTaperedPinFeature, On<IAPTaperedPinFeature>(IID_IAPTaperedPinFeature, [](IAPTaperedPinFeature* f) { return f->SetTaperedPinUIParameters(1, AP_TAPER_SEL); }), nullptr},
        {"DefineTaperedHole", &CLSID_APTaperedHoleFeature, On<IAPTaperedHoleFeature>(IID_IAPTaperedHoleFeature, [](IAPTaperedHoleFeature* f) { return f->DefineTaperedHoleImplicit(0, 0, 0, 0, 0, 1, 1, 1, 0, 0, 0, 0, 0); }), &IID_IAPTaperedHoleFeature},
        {"TaperedHoleUI", &CLSID_APTaperedHoleFeature, On<IAPTaperedHoleFeature>(IID_IAPTaperedHoleFeature, [](IAPTaperedHoleFeature* f) { return f->SetTaperedHoleUIParameters(1, AP_TAPER_SEL); }), nullptr},
        {"DefineSlot", &CLSID_APSlotFeature, On<IAPSlotFeature>(IID_IAPSlotFeature, [](IAPSlotFeature* f) { return f->DefineSlotFeatureImplicit(0, 0, 0, 1, 0, 0, 0, 0, 1, 1, 1, 1); }), &IID_IAPSlotFeature},
        {"DefineTab", &CLSID_APTabFeature, On<IAPTabFeature>(IID_IAPTabFeature, [](IAPTabFeature* f) { return f->DefineTabFeatureImplicit(0, 0, 0, 1, 0, 0, 0, 0, 1, 1, 1, 1, 0, 0, 0); }), &IID_IAPTabFeature},
        {"DefinePlane", &CLSID_APPlaneFeature, On<IAPPlaneFeature4>(IID_IAPPlaneFeature4, [](IAPPlaneFeature4* f) { return f->DefinePlaneImplicit(0, 0, 0, 0, 0, 1, 1, 1); }), &IID_IAPPlaneFeature},
        {"PlaneSense", &CLSID_APPlaneFeature, On<IAPPlaneFeature4>(IID_IAPPlaneFeature4, [](IAPPlaneFeature4* f) { return f->SetNormalSenseNegative(); }), nullptr},
        {"DefinePoint", &CLSID_APPointFeature, On<IAPPointFeature5>(IID_IAPPointFeature5, [](IAPPointFeature5* f) { return f->DefinePointImplicit(0, 0, 0, 0, 0, 1, 1); }), &IID_IAPPointFeature},
        {"ScanPoint", &CLSID_APPointFeature, On<IAPPointFeature5>(IID_IAPPointFeature5, [](IAPPointFeature5* f) { return f->SetAsScanPoint(); }), &IID_IAPPointFeature},
        {"FemPoint", &CLSID_APPointFeature, On<IAPPointFeature5>(IID_IAPPointFeature5, [](IAPPointFeature5* f) { return f->SetAsFemPoint(1); }), &IID_IAPPointFeature},
        {"Reverse", &CLSID_APPointFeature, On<IAPPointFeature5>(IID_IAPPointFeature5, [](IAPPointFeature5* f) { return f->ReverseNormal(); }), nullptr},
        {"Grid", &CLSID_APPointFeature, On<IAPPointFeature5>(IID_IAPPointFeature5, [](IAPPointFeature5* f) { return f->SetFromGridPoints(1); }), nullptr},
        {"XmlNames", &CLSID_APPointFeature, On<IAPPointFeature5>(IID_IAPPointFeature5, [](IAPPointFeature5* f) { return f->SetSizeXmlFileAndMeasurementName(Text("a"), Text("b"), 1); }), nullptr},
        {"SizeSamples", &CLSID_APPointFeature, On<IAPPointFeature5>(IID_IAPPointFeature5, [](IAPPointFeature5* f) { return f->SetPtSizeDistributionValues(0, 1, 0, 3, 0, nullptr); }), &IID_IAPPointFeature},
        {"DefineSurface", &CLSID_APSurfaceFeature, On<IAPSurfaceFeature1>(IID_IAPSurfaceFeature1, [](IAPSurfaceFeature1* f) { return f->DefineSurfaceByPoints(nullptr, 0, nullptr); }), &IID_IAPSurfaceFeature},
        {"PatternType", &CLSID_APPatternFeature, On<IAPPatternFeature>(IID_IAPPatternFeature, [](IAPPatternFeature* f) { return f->SetPatternFeatureType(AP_FEATURE_PIN); }), nullptr},
    };
    Sink(1);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        IAPNode* node = NewNode(m_doc, *r.clsid, r.name);
        ASSERT_NE(node, nullptr);
        m_log.clear();
        EXPECT_EQ(r.call(node), S_OK);
        if (r.notifies) {
            ASSERT_EQ(m_log.size(), 1u);
            EXPECT_EQ(m_log[0].cmd, 1);
            EXPECT_TRUE(IsEqualIID(m_log[0].iid, *r.notifies));
        } else {
            EXPECT_TRUE(m_log.empty());
        }
        node->Release();
    }
}

TEST_F(FeatureKindRows, SaveAndOpenFoldTheTransform)
{
    struct Kind {
        const char* name;
        const CLSID* clsid;
        std::function<void(IUnknown*)> define;
        std::function<std::vector<double>(IUnknown*)> read;
    };
    auto taperRead = [](IUnknown* p) {
        IAPTaperedPinFeature* t = Query<IAPTaperedPinFeature>(p, IID_IAPTaperedPinFeature);
        std::vector<double> v = kCylinders[2].current(p);
        double a = 0, h2 = 0, in = 0;
        APTaperParameterSel sel = AP_SEL_UNKNOWN;
        t->GetTaperedPinDraftAngle(&a);
        t->GetTaperedPinHeight2(&h2);
        t->GetTaperedPinUIParameters(&in, &sel);
        t->Release();
        v.insert(v.end(), {a, h2, in, static_cast<double>(sel)});
        return v;
    };
    auto boxRead = [](IUnknown* p) {
        IAPSlotFeature* s = Query<IAPSlotFeature>(p, IID_IAPSlotFeature);
        std::vector<double> v(12);
        s->GetSlotFeatureAnchorPoint(&v[0], &v[1], &v[2]);
        s->GetSlotFeatureDirection(&v[3], &v[4], &v[5]);
        s->GetSlotFeatureSecondDirection(&v[6], &v[7], &v[8]);
        s->GetSlotFeatureDimensions(&v[9], &v[10], &v[11]);
        s->Release();
        return v;
    };
    auto tabRead = [](IUnknown* p) {
        IAPTabFeature* s = Query<IAPTabFeature>(p, IID_IAPTabFeature);
        std::vector<double> v(12);
        s->GetTabFeatureAnchorPoint(&v[0], &v[1], &v[2]);
        s->GetTabFeatureDirection(&v[3], &v[4], &v[5]);
        s->GetTabFeatureSecondDirection(&v[6], &v[7], &v[8]);
        s->GetTabFeatureDimensions(&v[9], &v[10], &v[11]);
        s->Release();
        return v;
    };
    const Kind kinds[] = {
        {"pin", &CLSID_APPinFeature, [](IUnknown* p) { kCylinders[0].define(p, 1, 2, 3, 0, 0, 2, 1, 2); }, kCylinders[0].current},
        {"hole", &CLSID_APHoleFeature, [](IUnknown* p) { kCylinders[1].define(p, 1, 2, 3, 0, 1, 1, 1, 2); }, kCylinders[1].current},
        {"tapered pin", &CLSID_APTaperedPinFeature,
         [](IUnknown* p) {
             kCylinders[2].define(p, 1, 2, 3, 0, 0, 2, 1, 2);
             IAPTaperedPinFeature* t = Query<IAPTaperedPinFeature>(p, IID_IAPTaperedPinFeature);
             t->SetTaperedPinUIParameters(0.25, AP_TAPER_SEL);
             t->Release();
         },
         taperRead},
        {"tapered hole", &CLSID_APTaperedHoleFeature, [](IUnknown* p) { kCylinders[3].define(p, 1, 2, 3, 1, 0, 0, 1, 2); }, kCylinders[3].current},
        {"slot", &CLSID_APSlotFeature,
         [](IUnknown* p) {
             IAPSlotFeature* s = Query<IAPSlotFeature>(p, IID_IAPSlotFeature);
             s->DefineSlotFeatureImplicit(1, 2, 3, 1, 0, 0, 0, 0, 1, 4, 1, 2);
             s->Release();
         },
         boxRead},
        {"tab", &CLSID_APTabFeature,
         [](IUnknown* p) {
             IAPTabFeature* s = Query<IAPTabFeature>(p, IID_IAPTabFeature);
             s->DefineTabFeatureImplicit(1, 2, 3, 1, 0, 0, 1, 1, 0, 1, 2, 3, 4, 5, 6);
             s->Release();
         },
         tabRead},
        {"pattern", &CLSID_APPatternFeature,
         [](IUnknown* p) {
             IAPPatternFeature* s = Query<IAPPatternFeature>(p, IID_IAPPatternFeature);
             s->SetPatternFeatureType(AP_FEATURE_TAPERED_HOLE);
             s->Release();
         },
         [](IUnknown* p) {
             IAPPatternFeature* s = Query<IAPPatternFeature>(p, IID_IAPPatternFeature);
             APFeatureType t = AP_FEATURE_UNKNOWN;
             s->GetPatternFeatureType(&t);
             s->Release();
             return std::vector<double>{static_cast<double>(t)};
         }},
    };
    ASSERT_EQ(m_doc->SetProcessName(Text("kinds")), S_OK);
    std::vector<std::vector<double>> before;
    for (const Kind& k : kinds) {
        IAPNode* n = NewNode(m_doc, *k.clsid, k.name);
        k.define(n);
        ASSERT_EQ(SetTransform(n, kCycle), S_OK);
        before.push_back(k.read(n));
        n->Release();
    }
    const std::string path = File("kinds");
    ASSERT_EQ(m_doc->Save(Text(path.c_str())), S_OK);
    IAPDocument6* again = doc_test::NewDocument();
    ASSERT_EQ(again->OpenDocument(Text(path.c_str())), S_OK);
    for (std::size_t i = 0; i < std::size(kinds); ++i) {
        SCOPED_TRACE(kinds[i].name);
        IAPNode* n = RootAt(again, static_cast<int>(i));
        ASSERT_NE(n, nullptr);
        ExpectNear(kinds[i].read(n), before[i]);
        // The pattern keeps its transform: it holds no definition to fold it into.
        if (i + 1 < std::size(kinds)) ExpectNear(TransformOf(n), std::vector<double>(kIdentity, kIdentity + 16));
        n->Release();
    }
    again->Release();
}

TEST_F(FeatureKinds, TaperedBlockOrder)
{
    // Base values come before the draft angle, the choice before the input value.
    IAPTaperedPinFeature* t = Create<IAPTaperedPinFeature>(CLSID_APTaperedPinFeature, IID_IAPTaperedPinFeature);
    ASSERT_EQ(t->DefineTaperedPinImplicit(1, 2, 3, 0, 0, 1, 4, 5, 0.5, 6, 7, 8, 9), S_OK);
    ASSERT_EQ(t->SetTaperedPinUIParameters(0.25, AP_TAPER_SEL), S_OK);
    Writer w;
    ASSERT_EQ(Model<APTaperedPinFeature>(t)->Serialize(w.Stream()), S_OK);
    IAPTaperedPinFeature* u = Create<IAPTaperedPinFeature>(CLSID_APTaperedPinFeature, IID_IAPTaperedPinFeature);
    Reader r(w.bytes.Bytes());
    ASSERT_EQ(Model<APTaperedPinFeature>(u)->APFeature::Deserialize(r.Stream()), S_OK);
    int version = 0, sel = 0;
    std::vector<double> v(13);
    double input = 0;
    ASSERT_TRUE(r.in.read(version));
    for (double& d : v) ASSERT_TRUE(r.in.read(d));
    ASSERT_TRUE(r.in.read(sel));
    ASSERT_TRUE(r.in.read(input));
    EXPECT_EQ(version, 1);
    ExpectNear(v, {1, 2, 3, 0, 0, 1, 4, 5, 7, 8, 9, 0.5, 6});
    EXPECT_EQ(sel, AP_TAPER_SEL);
    EXPECT_EQ(input, 0.25);
    t->Release();
    u->Release();
}
