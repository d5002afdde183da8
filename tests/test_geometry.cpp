// Feature geometry: vectors and matrices, the shape builders' nets, the NURBS evaluator, the
// B-rep and part holder with their stream forms, and the B-rep as a host reads it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "include/PlenvortBrep.h"
#include "features/APGeometry.h"
#include "features/APShapeBuilder.h"
#include "platform/toolkit/WmBrep.h"
#include "platform/toolkit/WmByteStream.h"
#include "platform/toolkit/WmHbBrep.h"
#include "platform/toolkit/WmNURBS.h"
#include "platform/toolkit/WmSquareMatrix.h"
#include "platform/toolkit/WmVecGeometry.h"

namespace {

constexpr double kEps = 1e-12;
const APVector3d kZero{0.0, 0.0, 0.0};
const APVector3d kZ{0.0, 0.0, 1.0};
const APVector3d kX{1.0, 0.0, 0.0};

void ExpectNear(const double* got, std::initializer_list<double> want, const char* what)
{
    int i = 0;
    for (double w : want) {
        EXPECT_NEAR(got[i], w, kEps) << what << " [" << i << "]";
        ++i;
    }
}

void ExpectVec(const APVector3d& v, double x, double y, double z)
{
    EXPECT_NEAR(v.x, x, kEps);
    EXPECT_NEAR(v.y, y, kEps);
    EXPECT_NEAR(v.z, z, kEps);
}

// Releases a B-rep at the end of a scope.
struct BrepRef {
    WmBrep* p = nullptr;
    ~BrepRef()
    {
        if (p) p->release();
    }
    WmBrep* operator->() const { return p; }
};

const WmBrepNURBSSurface* FaceSurface(WmBrep* b, int face)
{
    WmParaFace* f = b->face(b->shell(b->region(0), 0), face);
    return f ? WmBrepNURBSSurface::cast(b->surface(f->surfaceIndex())) : nullptr;
}

// Control point k of a surface, all of its coordinates.
std::vector<double> ControlPoint(const WmBrepNURBSSurface* s, int k)
{
    const double* p = s->ctlPoints() + k * s->coordinates();
    return std::vector<double>(p, p + s->coordinates());
}

void ExpectPoint(const WmBrepNURBSSurface* s, int k, std::initializer_list<double> want)
{
    ASSERT_NE(s, nullptr);
    ExpectNear(ControlPoint(s, k).data(), want, "control point");
}

std::vector<unsigned char> Written(const WmBrep* b)
{
    WmMemoryByteStream bytes;
    WmDataStream data(&bytes);
    WmObjectStream out(data);
    EXPECT_TRUE(b->write(out));
    return bytes.Bytes();
}

} // namespace

// ---- vectors and matrices ----

TEST(APGeometry, VectorOperations)
{
    APVector3d out;
    ExpectVec(APVector3d::Cross(kX, APVector3d{0.0, 1.0, 0.0}, out), 0.0, 0.0, 1.0);
    ExpectVec(APVector3d::Cross(APVector3d{1, 2, 3}, APVector3d{4, 5, 6}, out), -3.0, 6.0, -3.0);
    ExpectVec(APVector3d::Add(APVector3d{1, 2, 3}, APVector3d{4, 5, 6}, out), 5, 7, 9);
    ExpectVec(APVector3d::Subtract(APVector3d{1, 2, 3}, APVector3d{4, 5, 6}, out), -3, -3, -3);
    ExpectVec(APVector3d::Scale(APVector3d{1, 2, 3}, -2.0, out), -2, -4, -6);
    APVector3d v{3, 0, 4};
    APVector3d::Normalize(v);
    ExpectVec(v, 0.6, 0.0, 0.8);
    APVector3d zero{0, 0, 0};
    APVector3d::NormalizeIfNonZero(zero);
    ExpectVec(zero, 0, 0, 0);
    APVector3d::Normalize(zero);
    EXPECT_TRUE(std::isnan(zero.x) && std::isnan(zero.y) && std::isnan(zero.z));
}

TEST(APGeometry, IdentityIsExact)
{
    APMatrix4d m;
    APMatrix4d::SetIdentity(m);
    EXPECT_TRUE(APMatrix4d::IsIdentity(m));
    for (int i = 0; i < 16; ++i) {
        APMatrix4d d = m;
        d.m[i] += (i % 5 == 0) ? 1e-15 : 1e-300;
        EXPECT_FALSE(APMatrix4d::IsIdentity(d)) << i;
    }
    const float f[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0.5f, 0, 0, 1};
    APMatrix4d::AssignFromFloat(m, f);
    EXPECT_EQ(m.m[12], 0.5);
    EXPECT_FALSE(APMatrix4d::IsIdentity(m));
}

TEST(APGeometry, TransformPointsDividesByW)
{
    APPointList pts;
    pts.Append({0.1, -7.25, 1e10});
    pts.Append({0, 0, 0});
    APMatrix4d m;
    APMatrix4d::SetIdentity(m);
    APMatrix4d::TransformPoints(m, pts);
    const APVector3d first{0.1, -7.25, 1e10};
    EXPECT_EQ(std::memcmp(&pts[0], &first, sizeof(APVector3d)), 0);

    // Translation (1, 2, 3) with w' = 2 + x: (0,0,0) -> (0.5, 1, 1.5); (2, 0, 0) -> (0.75, 0.5, 0.75).
    m.m[12] = 1;
    m.m[13] = 2;
    m.m[14] = 3;
    m.m[15] = 2;
    m.m[3] = 1;
    APPointList q;
    q.Append({0, 0, 0});
    q.Append({2, 0, 0});
    APMatrix4d::TransformPoints(m, q);
    ExpectVec(q[0], 0.5, 1.0, 1.5);
    ExpectVec(q[1], 0.75, 0.5, 0.75);
    double h[4];
    APMatrix4d::TransformPointHomogeneous(m, APVector3d{2, 0, 0}, h);
    ExpectNear(h, {3, 2, 3, 4}, "homogeneous");
}

TEST(APGeometry, FrameInverseDirection)
{
    APMatrix4d f;
    APMatrix4d::SetFrame(f, APVector3d{0, 1, 0}, APVector3d{-1, 0, 0}, kZ, APVector3d{1, 2, 3});
    double h[4];
    APMatrix4d::MultiplyPoint(f, kX, h);
    ExpectNear(h, {1, 3, 3, 1}, "frame point");
    ExpectVec(APMatrix4d::TransformDirection(f, kX), 0, 1, 0);

    APMatrix4d inv = f;
    ASSERT_TRUE(APMatrix4d::Invert(inv));
    APMatrix4d::MultiplyPoint(inv, APVector3d{1, 3, 3}, h);
    ExpectNear(h, {1, 0, 0, 1}, "inverse");

    // A matrix whose first pivot is 0 needs the full pivoting; M x M^-1 = I.
    const double a[16] = {0, 2, 1, 0, 3, 0, 0, 1, 1, 1, 5, 0, 2, 0, 1, 4};
    APMatrix4d m, mi;
    APMatrix4d::SetFromArray(m, a);
    APMatrix4d::Assign(mi, m);
    ASSERT_TRUE(APMatrix4d::Invert(mi));
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            double s = 0;
            for (int k = 0; k < 4; ++k) s += a[r * 4 + k] * mi.m[k * 4 + c];
            EXPECT_NEAR(s, r == c ? 1.0 : 0.0, kEps) << r << "," << c;
        }
    const double singular[16] = {1, 2, 3, 4, 2, 4, 6, 8, 0, 0, 1, 0, 0, 0, 0, 1};
    APMatrix4d::SetFromArray(m, singular);
    EXPECT_FALSE(APMatrix4d::Invert(m));
}

// ---- shape builders ----

TEST(ShapeBuilder, HoleNet)
{
    BrepRef b;
    ASSERT_EQ(CreateHoleWmBrep(kZero, kZ, kX, 2.0, 1.0, &b.p), 1);
    ASSERT_EQ(b->refCount(), 1);
    ASSERT_EQ(b->numRegions(), 1);
    WmParaShell* shell = b->shell(b->region(0), 0);
    ASSERT_EQ(b->numFacesOnShell(shell), 1);
    EXPECT_EQ(b->numLoopsOnFace(b->face(shell, 0)), 0);
    const WmBrepNURBSSurface* s = FaceSurface(b.p, 0);
    ASSERT_NE(s, nullptr);
    int ud, vd, nu, nv, coords;
    WmVecDouble uk, vk;
    ASSERT_TRUE(s->getInternals(&ud, &vd, &nu, &nv, &uk, &vk, nullptr, &coords));
    EXPECT_EQ(ud, 2);
    EXPECT_EQ(vd, 1);
    EXPECT_EQ(nu, 9);
    EXPECT_EQ(nv, 2);
    EXPECT_EQ(coords, 4);
    ASSERT_EQ(uk.length(), 12);
    ExpectNear(uk.data(), {0, 0, 0, .25, .25, .5, .5, .75, .75, 1, 1, 1}, "u knots");
    ASSERT_EQ(vk.length(), 4);
    ExpectNear(vk.data(), {0, 0, 1, 1}, "v knots");
    ExpectPoint(s, 0, {0, -1, 0, 1});
    ExpectPoint(s, 1, {0.707, -0.707, 0, 0.707});
    ExpectPoint(s, 9, {0, -1, 2, 1});
    ExpectPoint(s, 9 + 2, {1, 0, 2, 1}); // element j x numU + i

    // The wall rises with v; on the ring's points and half-way between them the normal points
    // straight away from the axis (the 0.707 weight makes the ring nearly, not exactly, round).
    for (double u : {0.0, 0.125, 0.25, 0.5, 0.625, 1.0})
        for (double v : {0.0, 0.4, 1.0}) {
            double p[3], n[3];
            ASSERT_TRUE(s->evaluate(u, v, p));
            ASSERT_TRUE(s->normal(u, v, n));
            const double r = std::hypot(p[0], p[1]);
            EXPECT_NEAR(r, 1.0, 1e-4);
            if (u == 0.25 || u == 0.5 || u == 1.0) {
                EXPECT_NEAR(r, 1.0, kEps);
            }
            EXPECT_NEAR(p[2], 2.0 * v, kEps);
            ExpectNear(n, {p[0] / r, p[1] / r, 0.0}, "normal");
        }
}

TEST(ShapeBuilder, PinFacesCapsAndCollar)
{
    BrepRef b;
    ASSERT_EQ(CreatePinWmBrep(kZero, kZ, kX, 2.0, 1.0, 0, &b.p), 1);
    WmParaShell* shell = b->shell(b->region(0), 0);
    ASSERT_EQ(b->numFacesOnShell(shell), 3);
    ExpectPoint(FaceSurface(b.p, 0), 1, {-0.707, -0.707, 0, 0.707});
    const WmBrepNURBSSurface* top = FaceSurface(b.p, 1);
    const WmBrepNURBSSurface* base = FaceSurface(b.p, 2);
    ASSERT_NE(top, nullptr);
    ASSERT_NE(base, nullptr);
    ASSERT_EQ(top->coordinates(), 3);
    ExpectPoint(top, 0, {1, -1, 2});
    ExpectPoint(top, 1, {-1, -1, 2});
    ExpectPoint(top, 2, {1, 1, 2});
    ExpectPoint(top, 3, {-1, 1, 2});
    ExpectPoint(base, 0, {-1, -1, 0});
    ExpectPoint(base, 3, {1, 1, 0});
    ExpectNear(top->uBasis().knots(), {0, 0, 1, 1}, "cap knots");

    // The top cap's one loop: outer, anti-hole, one coedge on an edge with the circle.
    WmParaFace* topFace = b->face(shell, 1);
    ASSERT_EQ(b->numLoopsOnFace(topFace), 1);
    WmParaLoop* loop = b->loop(topFace, 0);
    EXPECT_TRUE(loop->isOuterLoop());
    EXPECT_TRUE(loop->isAntiHoleLoop());
    ASSERT_EQ(b->numCoedgesOnLoop(loop), 1);
    WmParaCoedge* coedge = b->coedge(loop, 0);
    EXPECT_FALSE(coedge->isXYZReversed());
    WmParaEdge* edge = b->edge(coedge);
    ASSERT_NE(edge, nullptr);
    const auto* circle = WmBrepNURBSXYZCurve::cast(b->xyzCurve(edge->xyzCurveIndex()));
    ASSERT_NE(circle, nullptr);
    EXPECT_EQ(circle->numControls(), 9);
    const struct {
        double t, x, y;
    } samples[] = {{0.25, 1, 0}, {0.5, 0, 1}, {0.75, -1, 0}, {0.99, -0.05718438592585803, -0.9983631673366768}};
    for (const auto& s : samples) {
        double p[3];
        ASSERT_TRUE(circle->evaluate(s.t, p));
        ExpectNear(p, {s.x, s.y, 2}, "top circle");
    }
    const auto* uv = WmBrepNURBSUVCurve::cast(b->uvCurve(coedge->uvCurveIndex()));
    ASSERT_NE(uv, nullptr);
    EXPECT_EQ(uv->coordinates(), 3);
    // The parameter-space circle and the model-space circle meet at every sample.
    for (double t : {0.0, 0.1, 0.25, 0.6, 0.99}) {
        double q[2], onCap[3], onCircle[3];
        ASSERT_TRUE(uv->evaluate(t, q));
        ASSERT_TRUE(top->evaluate(q[0], q[1], onCap));
        ASSERT_TRUE(circle->evaluate(t, onCircle));
        ExpectNear(onCap, {onCircle[0], onCircle[1], onCircle[2]}, "uv against xyz");
    }
    // The base circle runs the other way.
    const auto* baseCircle =
        WmBrepNURBSXYZCurve::cast(b->xyzCurve(b->edge(b->coedge(b->loop(b->face(shell, 2), 0), 0))->xyzCurveIndex()));
    double p[3];
    ASSERT_TRUE(baseCircle->evaluate(0.25, p));
    ExpectNear(p, {-1, 0, 0}, "base circle");

    BrepRef collar;
    ASSERT_EQ(CreatePinWmBrep(kZero, kZ, kX, 2.0, 1.0, 1, &collar.p), 1);
    WmParaShell* cs = collar->shell(collar->region(0), 0);
    ASSERT_EQ(collar->numFacesOnShell(cs), 6);
    EXPECT_EQ(collar->numShellsOnRegion(collar->region(0)), 1);
    ExpectPoint(FaceSurface(collar.p, 3), 0, {0, -1.54, -0.2, 1});
    ExpectPoint(FaceSurface(collar.p, 3), 9, {0, -1.54, 0, 1});
}

TEST(ShapeBuilder, RingsPatchesAndFrames)
{
    BrepRef b;
    ASSERT_EQ(CreateHoleWmBrep(kZero, kZ, kX, 2.0, 1.0, &b.p), 1);
    auto* s = const_cast<WmBrepNURBSSurface*>(FaceSurface(b.p, 0));

    // Half rings.
    ASSERT_EQ(BuildCylinderSurface(kZero, kZero, kZ, kX, 1.0, 1.0, 0, AP_RING_FIRST_HALF, s), 1);
    EXPECT_EQ(s->uBasis().count(), 5);
    ASSERT_EQ(s->uBasis().numKnots(), 8);
    ExpectNear(s->uBasis().knots(), {0, 0, 0, .25, .25, .5, .5, .5}, "half ring");
    ExpectPoint(s, 0, {0, 1, 0, 1}); // P4 first
    ASSERT_EQ(BuildCylinderSurface(kZero, kZero, kZ, kX, 1.0, 1.0, 1, AP_RING_SECOND_HALF, s), 1);
    ExpectPoint(s, 0, {0, 1, 0, 1});
    ExpectPoint(s, 4, {0, -1, 0, 1});

    // A patch whose normal is no axis builds nothing.
    WmBrepNURBSSurface empty;
    EXPECT_EQ(BuildPlanarPatch(kZero, APVector3d{0.6, 0.8, 0}, kZero, kZ, kX, 2, 2, 1, 1, &empty), 0);
    EXPECT_FALSE(empty.hasInternals());
    // Knot spans centred on 0.5; normal -x swaps corners.
    ASSERT_EQ(BuildPlanarPatch(kZero, APVector3d{-1, 0, 0}, kZero, kZ, kX, 2, 4, 0.5, 2, &empty), 1);
    ExpectNear(empty.uBasis().knots(), {0.25, 0.25, 0.75, 0.75}, "u span");
    ExpectNear(empty.vBasis().knots(), {-0.5, -0.5, 1.5, 1.5}, "v span");
    ExpectPoint(&empty, 0, {0, -1, 2});
    ExpectPoint(&empty, 1, {0, -1, -2});

    // Feature frame: origin (1, 2, 3), axis x, second direction y: local (x, y, z) -> o + (z, x, y).
    BrepRef moved;
    ASSERT_EQ(CreateHoleWmBrep(APVector3d{1, 2, 3}, kX, APVector3d{0, 1, 0}, 2.0, 1.0, &moved.p), 1);
    ExpectPoint(FaceSurface(moved.p, 0), 0, {1, 2, 2, 1});
    ExpectPoint(FaceSurface(moved.p, 0), 1, {0.707, (2 + 1) * 0.707, 2 * 0.707, 0.707});
    ExpectPoint(FaceSurface(moved.p, 0), 9, {3, 2, 2, 1});
    // Lengths of A and B do not matter.
    BrepRef scaledAxes;
    ASSERT_EQ(CreateHoleWmBrep(APVector3d{1, 2, 3}, APVector3d{5, 0, 0}, APVector3d{0, 0.5, 0}, 2.0, 1.0, &scaledAxes.p), 1);
    EXPECT_EQ(ControlPoint(FaceSurface(scaledAxes.p, 0), 9), ControlPoint(FaceSurface(moved.p, 0), 9));

    EXPECT_EQ(CreateHoleWmBrep(kZero, kZ, kX, 2.0, 1.0, nullptr), 0);
}

TEST(ShapeBuilder, SlotPlaneAndTaperedShapes)
{
    BrepRef slot;
    ASSERT_EQ(CreateSlotTabWmBrep(kZero, kZ, kX, 4.0, 2.0, 3.0, &slot.p), 1);
    ASSERT_EQ(slot->numFaces(), 2);
    ExpectPoint(FaceSurface(slot.p, 0), 0, {-2, -1, 0});
    ExpectPoint(FaceSurface(slot.p, 0), 3, {2, -1, 3});
    ExpectPoint(FaceSurface(slot.p, 1), 0, {-2, 1, 3}); // normal -y: corners swapped
    ExpectPoint(FaceSurface(slot.p, 1), 1, {-2, 1, 0});

    BrepRef plane;
    ASSERT_EQ(CreatePlaneWmBrep(kZero, kZ, kX, 4.0, 2.0, 1e-8, &plane.p), 1);
    ASSERT_EQ(plane->numFaces(), 1);
    EXPECT_EQ(plane->numLoops(), 0);
    ExpectPoint(FaceSurface(plane.p, 0), 0, {2, -1, 0});

    BrepRef cone;
    ASSERT_EQ(CreateTaperedPinWmBrep(kZero, kZ, kX, 2.0, 0.0, 1.0, 0, &cone.p), 1);
    ASSERT_EQ(cone->numFaces(), 3);
    ExpectPoint(FaceSurface(cone.p, 0), 0, {0, 0, 0, 1});
    ExpectPoint(FaceSurface(cone.p, 0), 9, {0, -1, 2, 1});
    ExpectPoint(FaceSurface(cone.p, 2), 0, {-0.01, -0.01, 0}); // base cap of side 0.02
    const auto* baseCircle = WmBrepNURBSXYZCurve::cast(cone->xyzCurve(1));
    ASSERT_NE(baseCircle, nullptr);
    EXPECT_NEAR(baseCircle->ctlPoints()[1], -0.01, kEps); // circle of radius 0.01

    BrepRef hole;
    ASSERT_EQ(CreateTaperedHoleWmBrep(kZero, kZ, kX, 2.0, 1.0, 0.5, &hole.p), 1);
    ASSERT_EQ(hole->numFaces(), 1);
    ExpectPoint(FaceSurface(hole.p, 0), 1, {0.707, -0.707, 0, 0.707});
    ExpectPoint(FaceSurface(hole.p, 0), 9, {0, -0.5, 2, 1});
}

// ---- evaluator ----

TEST(NURBS, NetsAreCheckedAndEvaluated)
{
    WmBrepNURBSXYZCurve c;
    const double knots[4] = {0, 0, 1, 1};
    const double line[6] = {0, 0, 0, 2, 4, 6};
    double p[3] = {9, 9, 9};
    EXPECT_FALSE(c.evaluate(0.5, p)); // no net yet
    EXPECT_FALSE(c.setInternals(1, 2, knots, line, 5));
    EXPECT_FALSE(c.setInternals(0, 2, knots, line, 3));
    EXPECT_FALSE(c.setInternals(1, 2, knots, nullptr, 3));
    const double backwards[4] = {0, 1, 0, 1};
    EXPECT_FALSE(c.setInternals(1, 2, backwards, line, 3));
    const double flat[4] = {1, 1, 1, 1};
    EXPECT_FALSE(c.setInternals(1, 2, flat, line, 3));
    EXPECT_FALSE(c.hasInternals());
    ASSERT_TRUE(c.setInternals(1, 2, knots, line, 3));
    ASSERT_TRUE(c.evaluate(0.25, p));
    ExpectNear(p, {0.5, 1, 1.5}, "line");
    EXPECT_FALSE(c.evaluate(1.5, p));
    EXPECT_FALSE(c.evaluate(std::numeric_limits<double>::quiet_NaN(), p));
    double d[3];
    ASSERT_TRUE(c.WmNURBSCurveNet::evaluate(0.5, p, d));
    ExpectNear(d, {2, 4, 6}, "line derivative");

    // Rational: a quarter circle from (1, 0) to (0, 1) with the exact weight.
    const double w = std::sqrt(0.5);
    const double arc[12] = {1, 0, 0, 1, w, w, 0, w, 0, 1, 0, 1};
    const double qk[6] = {0, 0, 0, 1, 1, 1};
    ASSERT_TRUE(c.setInternals(2, 3, qk, arc, 4));
    for (double t : {0.0, 0.2, 0.5, 0.9, 1.0}) {
        ASSERT_TRUE(c.WmNURBSCurveNet::evaluate(t, p, d));
        EXPECT_NEAR(std::hypot(p[0], p[1]), 1.0, kEps);
        EXPECT_NEAR(p[0] * d[0] + p[1] * d[1], 0.0, kEps); // tangent
    }
    WmVecDouble pts;
    int coords = 0;
    ASSERT_TRUE(c.getCtlPoints(pts, &coords));
    EXPECT_EQ(coords, 4);
    EXPECT_FALSE(c.setCtlPoints(pts.data(), 2, 4));
    pts[0] = 2;
    ASSERT_TRUE(c.setCtlPoints(pts.data(), 3, 4));
    ASSERT_TRUE(c.evaluate(0.0, p));
    ExpectNear(p, {2, 0, 0}, "moved point");
}

TEST(NURBS, SurfaceNormalAndInversion)
{
    BrepRef pin;
    ASSERT_EQ(CreatePinWmBrep(APVector3d{1, -2, 0.5}, APVector3d{0, 1, 1}, kX, 3.0, 0.75, 0, &pin.p), 1);
    for (int face = 0; face < 3; ++face) {
        const WmBrepNURBSSurface* s = FaceSurface(pin.p, face);
        ASSERT_NE(s, nullptr);
        for (double u : {0.05, 0.3, 0.62, 0.95})
            for (double v : {0.1, 0.5, 0.9}) {
                double p[3], n[3], back[3], ru = -1, rv = -1;
                ASSERT_TRUE(s->evaluate(u, v, p));
                ASSERT_TRUE(s->normal(u, v, n));
                EXPECT_NEAR(n[0] * n[0] + n[1] * n[1] + n[2] * n[2], 1.0, kEps);
                ASSERT_TRUE(s->invert(p, &ru, &rv));
                EXPECT_NEAR(ru, u, 1e-9) << face;
                EXPECT_NEAR(rv, v, 1e-9) << face;
                ASSERT_TRUE(s->evaluate(ru, rv, back));
                ExpectNear(back, {p[0], p[1], p[2]}, "inverted point");
            }
    }
    // A cap normal runs along the axis; the wall's is perpendicular to it.
    double n[3];
    ASSERT_TRUE(FaceSurface(pin.p, 1)->normal(0.5, 0.5, n));
    const double s = std::sqrt(0.5);
    EXPECT_NEAR(std::fabs(n[1] * s + n[2] * s), 1.0, kEps);
    ASSERT_TRUE(FaceSurface(pin.p, 0)->normal(0.3, 0.3, n));
    EXPECT_NEAR(n[1] * s + n[2] * s, 0.0, kEps);

    // A cone's apex has no normal.
    BrepRef cone;
    ASSERT_EQ(CreateTaperedPinWmBrep(kZero, kZ, kX, 2.0, 0.0, 1.0, 0, &cone.p), 1);
    ASSERT_TRUE(FaceSurface(cone.p, 0)->normal(0.3, 0.0, n));
    ExpectNear(n, {0, 0, 0}, "apex");
    EXPECT_FALSE(FaceSurface(cone.p, 0)->normal(0.3, 1.5, n));
}

// ---- B-rep ----

TEST(WmBrep, LookupsCreationAndFlags)
{
    BrepRef b{new WmBrep};
    BrepRef other{new WmBrep};
    EXPECT_EQ(b->region(0), nullptr);
    WmParaRegion* r = nullptr;
    WmParaShell* s = nullptr;
    WmParaFace* f = nullptr;
    WmParaLoop* l = nullptr;
    WmParaCoedge* c = nullptr;
    WmParaEdge* e = nullptr;
    ASSERT_TRUE(b->newRegionOnBrep(&r));
    ASSERT_TRUE(b->newShellOnRegion(r, &s));
    ASSERT_TRUE(b->newFaceOnShell(s, &f));
    ASSERT_TRUE(b->newLoopOnFace(f, &l));
    ASSERT_TRUE(b->newCoedgeOnLoop(l, &c));
    EXPECT_TRUE(l->isOuterLoop() && l->isAntiHoleLoop());
    EXPECT_FALSE(f->isNormalReversed() || c->isXYZReversed() || c->isUVReversed());
    EXPECT_EQ(f->surfaceIndex(), -1);
    EXPECT_EQ(b->edge(c), nullptr);

    EXPECT_EQ(b->region(-1), nullptr);
    EXPECT_EQ(b->region(1), nullptr);
    EXPECT_EQ(b->shell(r, 1), nullptr);
    EXPECT_EQ(b->face(s, -1), nullptr);
    EXPECT_EQ(b->loop(f, 1), nullptr);
    EXPECT_EQ(b->coedge(l, 1), nullptr);
    EXPECT_EQ(b->surface(0), nullptr);
    EXPECT_EQ(b->xyzCurve(-1), nullptr);
    EXPECT_EQ(b->face(nullptr, 0), nullptr);
    EXPECT_EQ(b->numLoopsOnFace(nullptr), 0);

    // Entities of another B-rep are refused.
    WmParaRegion* foreign = nullptr;
    ASSERT_TRUE(other->newRegionOnBrep(&foreign));
    EXPECT_FALSE(b->newShellOnRegion(foreign, &s));
    EXPECT_EQ(b->numShellsOnRegion(foreign), 0);
    WmBrepSurface* surf = nullptr;
    ASSERT_TRUE(other->newSurface(WmBrepNURBSSurface::classTypeID(), &surf));
    EXPECT_FALSE(b->setSurfaceOnFace(f, surf));
    EXPECT_FALSE(b->newSurface(WmBrepNURBSXYZCurve::classTypeID(), &surf));
    EXPECT_FALSE(b->newRegionOnBrep(nullptr));

    ASSERT_TRUE(b->newEdge(&e));
    ASSERT_TRUE(b->setEdgeOnCoedge(c, e));
    EXPECT_EQ(b->edge(c), e);
    WmParaShell* s2 = nullptr;
    ASSERT_TRUE(b->newShellOnRegion(r, &s2));
    EXPECT_EQ(b->shell(r, 1), s2);
    EXPECT_EQ(s2->index(), 1);
}

TEST(WmBrep, CopyAndReferenceCounts)
{
    const long long before = WmPlatform::memoryInUse();
    {
        BrepRef b;
        ASSERT_EQ(CreatePinWmBrep(kZero, kZ, kX, 2.0, 1.0, 1, &b.p), 1);
        EXPECT_EQ(b->addRef(), 2);
        EXPECT_EQ(b->release(), 1);

        EXPECT_EQ(WmBrep::copyOf(nullptr), nullptr);
        BrepRef copy{WmBrep::copyOf(b.p)};
        ASSERT_NE(copy.p, nullptr);
        EXPECT_EQ(copy->refCount(), 1);
        EXPECT_EQ(Written(copy.p), Written(b.p));
        EXPECT_NE(copy->surface(0), b->surface(0));
        // Changing the copy leaves the original.
        auto* s = WmBrepNURBSSurface::cast(copy->surface(0));
        WmVecDouble pts;
        int coords = 0;
        ASSERT_TRUE(s->getCtlPoints(pts, &coords));
        pts[0] += 5;
        ASSERT_TRUE(s->setCtlPoints(pts.data(), 18, coords));
        EXPECT_EQ(FaceSurface(b.p, 0)->ctlPoints()[0], 0.0);
        EXPECT_NE(Written(copy.p), Written(b.p));
    }
    EXPECT_EQ(WmPlatform::memoryInUse(), before);
}

TEST(WmBrep, StreamRoundTripAndDamage)
{
    BrepRef b;
    ASSERT_EQ(CreatePinWmBrep(APVector3d{1, 2, 3}, APVector3d{0, 1, 0}, kZ, 2.0, 1.0, 1, &b.p), 1);
    b->faceAt(1)->setNormalReversed(true);
    b->coedgeAt(0)->setXYZReversed(true);
    b->loopAt(1)->setAntiHoleLoop(false);
    const std::vector<unsigned char> bytes = Written(b.p);

    WmMemoryByteStream in(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    WmDataStream data(&in);
    WmObjectStream s(data);
    BrepRef back{new WmBrep};
    ASSERT_TRUE(back->read(s));
    EXPECT_EQ(Written(back.p), bytes);
    EXPECT_EQ(back->numFacesOnShell(back->shell(back->region(0), 0)), 6);
    EXPECT_TRUE(back->faceAt(1)->isNormalReversed());
    EXPECT_TRUE(back->coedgeAt(0)->isXYZReversed());
    EXPECT_FALSE(back->loopAt(1)->isAntiHoleLoop());
    EXPECT_TRUE(back->loopAt(1)->isOuterLoop());
    EXPECT_EQ(back->edge(back->coedge(back->loop(back->faceAt(2), 0), 0)), back->edgeAt(1));

    // Every cut fails and leaves the B-rep it was read into as it was.
    for (std::uint32_t n = 0; n < bytes.size(); n += (n < 64 ? 1 : 37)) {
        WmMemoryByteStream cut(bytes.data(), n);
        WmDataStream cd(&cut);
        WmObjectStream cs(cd);
        ASSERT_FALSE(back->read(cs)) << n;
        ASSERT_EQ(Written(back.p), bytes) << n;
    }
    // A huge count, a bad link and an unknown geometry class are refused.
    auto patched = [&](std::size_t at, int value) {
        std::vector<unsigned char> d = bytes;
        std::memcpy(&d[at], &value, 4);
        WmMemoryByteStream m(d.data(), static_cast<std::uint32_t>(d.size()));
        WmDataStream md(&m);
        WmObjectStream ms(md);
        BrepRef t{new WmBrep};
        return t->read(ms);
    };
    EXPECT_FALSE(patched(4 * 3, 0x7fffffff)); // faces
    EXPECT_FALSE(patched(4 * 3, -1));
    EXPECT_FALSE(patched(4 * 10, 1)); // shell 0 on region 1 of 1
    EXPECT_FALSE(patched(0, 2));      // format
    const std::size_t firstSurface = 4 * (10 + 1 + 6 * 3 + 4 * 2 + 4 * 4 + 4);
    EXPECT_TRUE(patched(firstSurface, WmClassNURBSSurface));
    EXPECT_FALSE(patched(firstSurface, WmClassNURBSXYZCurve));
}

TEST(WmBrep, HostReadsAndReleasesThroughItsInterface)
{
    WmBrep* made = nullptr;
    ASSERT_EQ(CreatePinWmBrep(kZero, kZ, kX, 2.0, 1.0, 0, &made), 1);
    const std::uintptr_t handle = WmBrep::toHandle(made);
    EXPECT_EQ(WmBrep::fromHandle(handle), made);
    EXPECT_EQ(handle, reinterpret_cast<std::uintptr_t>(made)); // the handle is the B-rep's address
    EXPECT_EQ(WmBrep::toHandle(nullptr), 0u);
    IPlenvortBrep* host = reinterpret_cast<IPlenvortBrep*>(handle);

    EXPECT_EQ(host->GetCount(PV_BREP_FACE), 3);
    EXPECT_EQ(host->GetCount(PV_BREP_LOOP), 2);
    EXPECT_EQ(host->GetCount(99), -1);
    int shell = -1, surface = -1, flags = -1, face = -1, loop = -1, edge = -1, uvc = -1, curve = -1;
    ASSERT_EQ(host->GetFace(1, &shell, &surface, &flags), S_OK);
    EXPECT_EQ(shell, 0);
    EXPECT_EQ(surface, 1);
    ASSERT_EQ(host->GetLoop(0, &face, &flags), S_OK);
    EXPECT_EQ(face, 1);
    EXPECT_EQ(flags, PV_LOOP_OUTER | PV_LOOP_ANTI_HOLE);
    ASSERT_EQ(host->GetCoedge(0, &loop, &edge, &uvc, &flags), S_OK);
    ASSERT_EQ(host->GetEdge(edge, &curve), S_OK);
    EXPECT_EQ(host->GetFace(3, &shell, &surface, &flags), E_INVALIDARG);
    EXPECT_EQ(host->GetFace(0, nullptr, &surface, &flags), E_POINTER);

    int ud, vd, nu, nv, coords;
    ASSERT_EQ(host->GetSurfaceInfo(0, &ud, &vd, &nu, &nv, &coords), S_OK);
    std::vector<double> uk(nu + ud + 1), vk(nv + vd + 1), pts(nu * nv * coords);
    EXPECT_EQ(host->GetSurfaceData(0, uk.data(), (int)uk.size(), vk.data(), (int)vk.size(), pts.data(), (int)pts.size() - 1),
              E_INVALIDARG);
    ASSERT_EQ(host->GetSurfaceData(0, uk.data(), (int)uk.size(), vk.data(), (int)vk.size(), pts.data(), (int)pts.size()),
              S_OK);
    ExpectNear(pts.data() + 4, {-0.707, -0.707, 0, 0.707}, "host net");
    double p[3], n[3];
    ASSERT_EQ(host->EvaluateSurface(1, 0.5, 0.5, p, n), S_OK);
    ExpectNear(p, {0, 0, 2}, "cap centre");
    ExpectNear(n, {0, 0, -1}, "cap normal"); // du x dv: the top cap is built facing -z
    EXPECT_EQ(host->EvaluateSurface(1, 2.0, 0.5, p, n), E_FAIL);

    int deg, count;
    ASSERT_EQ(host->GetCurveInfo(PV_BREP_UV_CURVE, uvc, &deg, &count, &coords), S_OK);
    EXPECT_EQ(coords, 3);
    std::vector<double> ck(count + deg + 1), cp(count * coords);
    ASSERT_EQ(host->GetCurveData(PV_BREP_UV_CURVE, uvc, ck.data(), (int)ck.size(), cp.data(), (int)cp.size()), S_OK);
    ASSERT_EQ(host->EvaluateCurve(PV_BREP_XYZ_CURVE, curve, 0.5, p), S_OK);
    ExpectNear(p, {0, 1, 2}, "host circle");
    EXPECT_EQ(host->EvaluateCurve(PV_BREP_SURFACE, 0, 0.5, p), E_INVALIDARG);

    const long long before = WmPlatform::memoryInUse();
    EXPECT_EQ(host->AddRef(), 2u);
    EXPECT_EQ(host->Release(), 1u);
    EXPECT_EQ(WmPlatform::memoryInUse(), before);
    EXPECT_EQ(host->Release(), 0u);
    EXPECT_LT(WmPlatform::memoryInUse(), before);
}

// ---- part holder and square matrix ----

TEST(WmHbBrep, PartsRoundTrip)
{
    WmHbBrep* h = new WmHbBrep;
    WmVecInt tags;
    tags.append(7);
    tags.append(-3);
    ASSERT_TRUE(h->appendXtPart(tags, false));
    ASSERT_TRUE(h->appendXtPart(42));
    EXPECT_EQ(h->numXtParts(), 3);
    EXPECT_EQ(h->xtPart(2), 42);
    EXPECT_EQ(h->xtPart(3), 0);
    EXPECT_EQ(h->xtPart(-1), 0);

    WmMemoryByteStream bytes;
    WmDataStream data(&bytes);
    WmObjectStream s(data);
    ASSERT_TRUE(h->write(s));
    bytes.Open(nullptr);
    WmHbBrep* back = new WmHbBrep;
    ASSERT_TRUE(back->appendXtPart(99));
    ASSERT_TRUE(back->read(s));
    WmVecInt got;
    ASSERT_TRUE(back->getXtParts(got));
    ASSERT_EQ(got.length(), 3);
    EXPECT_EQ(got[0], 7);
    EXPECT_EQ(got[1], -3);
    EXPECT_EQ(got[2], 42);

    // A count beyond the data fails before anything is appended.
    const int bad[3] = {1, 1000000, 5};
    WmMemoryByteStream small(bad, sizeof bad);
    WmDataStream sd(&small);
    WmObjectStream ss(sd);
    EXPECT_FALSE(back->read(ss));
    EXPECT_EQ(back->numXtParts(), 3);
    EXPECT_EQ(h->release(), 0);
    EXPECT_EQ(back->release(), 0);
}

TEST(WmSquareMatrix, RowVectorTimesMatrix)
{
    WmSquareMatrix m;
    ASSERT_EQ(m.size(), 4);
    double row[4] = {1, 2, 3, 1};
    double out[4];
    m.leftMultiply(row, out);
    ExpectNear(out, {1, 2, 3, 1}, "identity");
    double v[16];
    for (int i = 0; i < 16; ++i) v[i] = i;
    EXPECT_FALSE(m.set(v, 15));
    ASSERT_TRUE(m.set(v, 16));
    m.leftMultiply(row, row); // in place
    ExpectNear(row, {44, 51, 58, 65}, "left");
    const double col[4] = {1, 0, 0, 1};
    m.rightMultiply(col, out);
    ExpectNear(out, {3, 11, 19, 27}, "right");
    WmSquareMatrix id, prod;
    ASSERT_TRUE(m.multiply(id, prod));
    EXPECT_EQ(prod(2, 3), 11.0);
}

TEST(WmVecGeometry, NewSlotsAndGrowth)
{
    const long long before = WmPlatform::memoryInUse();
    {
        WmVecMatrix4f m;
        ASSERT_TRUE(m.ensureIndex(2));
        EXPECT_EQ(m.length(), 3);
        APMatrix4d widened;
        APMatrix4d::AssignFromFloat(widened, m[2].m);
        EXPECT_TRUE(APMatrix4d::IsIdentity(widened));
        m[0].m[12] = 4.0f;
        ASSERT_TRUE(m.append(m[0]));
        EXPECT_EQ(m.capacity(), 6); // max(count + 1, 2 x capacity)
        EXPECT_EQ(m[3].m[12], 4.0f);
        ASSERT_TRUE(m.shrinkToFit());
        EXPECT_EQ(m.capacity(), 4);

        WmVecPoint4d p;
        ASSERT_TRUE(p.ensureIndex(-5)); // taken as 0
        ASSERT_TRUE(p.ensureIndex(3));
        EXPECT_EQ(p.length(), 4);
        EXPECT_EQ(p[3].w, 0.0);
        WmVecPoint3d q;
        ASSERT_TRUE(q.append(WmPoint3d{1, 2, 3}));
        EXPECT_EQ(q[0].z, 3.0);
        EXPECT_GT(WmPlatform::memoryInUse(), before);
    }
    EXPECT_EQ(WmPlatform::memoryInUse(), before);
}

TEST(WmBrep, AllocationFailuresAreReportedNotThrown)
{
    BrepRef b;
    ASSERT_EQ(CreatePinWmBrep(kZero, kZ, kX, 2.0, 1.0, 0, &b.p), 1);
    const long long before = WmPlatform::memoryInUse();
    WmPlatform::limitAllocations(8);
    WmBrep* copy = WmBrep::copyOf(b.p);
    WmBrep* made = nullptr;
    const int built = CreateHoleWmBrep(kZero, kZ, kX, 2.0, 1.0, &made);
    WmPlatform::limitAllocations(0);
    EXPECT_EQ(copy, nullptr);
    EXPECT_EQ(built, 0);
    EXPECT_EQ(made, nullptr);
    EXPECT_EQ(WmPlatform::memoryInUse(), before);
}
