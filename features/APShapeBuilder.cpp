#include "features/APShapeBuilder.h"

#include <exception>
#include <new>
#include <utility>

namespace {

const double kFullRingKnots[12] = {0.0, 0.0, 0.0, 0.25, 0.25, 0.5, 0.5, 0.75, 0.75, 1.0, 1.0, 1.0};
const double kHalfRingKnots[8] = {0.0, 0.0, 0.0, 0.25, 0.25, 0.5, 0.5, 0.5};
const double kAxisKnots[4] = {0.0, 0.0, 1.0, 1.0};

const double* RingKnots(int mode) { return mode == AP_RING_FULL ? kFullRingKnots : kHalfRingKnots; }

// The nine ring positions P0 to P8 around (cx, cy) with radii rx, ry at height z.
void RingPositions(double cx, double cy, double rx, double ry, double z, APHomogeneousPoint p[9])
{
    const double w = kRingCornerWeight;
    p[0] = {cx, cy - ry, z, 1.0};
    p[1] = {(cx + rx) * w, (cy - ry) * w, z * w, w};
    p[2] = {cx + rx, cy, z, 1.0};
    p[3] = {(cx + rx) * w, (cy + ry) * w, z * w, w};
    p[4] = {cx, cy + ry, z, 1.0};
    p[5] = {(cx - rx) * w, (cy + ry) * w, z * w, w};
    p[6] = {cx - rx, cy, z, 1.0};
    p[7] = {(cx - rx) * w, (cy - ry) * w, z * w, w};
    p[8] = {cx, cy - ry, z, 1.0};
}

void AppendInOrder(const APHomogeneousPoint p[9], int reverse, int mode, APHomogeneousList& ring)
{
    int from = 0, to = 8; // the positions that the mode covers, ascending
    if (mode == AP_RING_FIRST_HALF) to = 4;
    else if (mode == AP_RING_SECOND_HALF) from = 4;
    if (reverse) {
        for (int i = from; i <= to; ++i) ring.Append(p[i]);
    } else {
        for (int i = to; i >= from; --i) ring.Append(p[i]);
    }
}

// Homogeneous points to the feature frame: divided by w, mapped, multiplied by w again.
// Writes x w, y w, z w, w per point into `out`.
void MapHomogeneous(const APHomogeneousList& ring, const APVector3d& o, const APVector3d& a, const APVector3d& b,
                    APArray<double>& out)
{
    APPointList cartesian;
    for (int i = 0; i < ring.Count(); ++i) {
        const APHomogeneousPoint& h = ring[i];
        cartesian.Append(APVector3d{h.x / h.w, h.y / h.w, h.z / h.w});
    }
    MapToFeatureFrame(cartesian, o, a, b);
    for (int i = 0; i < ring.Count(); ++i) {
        const double w = ring[i].w;
        out.Append(cartesian[i].x * w);
        out.Append(cartesian[i].y * w);
        out.Append(cartesian[i].z * w);
        out.Append(w);
    }
}

// A new face on the shell with a new NURBS surface set on it.
WmBrepNURBSSurface* NewFaceWithSurface(WmBrep* brep, WmParaShell* shell, WmParaFace** face)
{
    WmBrepSurface* surface = nullptr;
    if (!brep->newFaceOnShell(shell, face)) return nullptr;
    if (!brep->newSurface(WmBrepNURBSSurface::classTypeID(), &surface)) return nullptr;
    if (!brep->setSurfaceOnFace(*face, surface)) return nullptr;
    return WmBrepNURBSSurface::cast(surface);
}

// A planar cap of side `size` at c, bounded by one loop along the circle of `radius`.
int AddCap(const APVector3d& c, const APVector3d& normal, double size, double radius, int reverseCircle,
           const APVector3d& o, const APVector3d& a, const APVector3d& b, WmBrep* brep, WmParaShell* shell)
{
    WmParaFace* face = nullptr;
    WmBrepNURBSSurface* surface = NewFaceWithSurface(brep, shell, &face);
    if (!surface) return 0;
    BuildPlanarPatch(c, normal, o, a, b, size, size, 1.0, 1.0, surface);

    WmParaLoop* loop = nullptr;
    WmParaCoedge* coedge = nullptr;
    WmParaEdge* edge = nullptr;
    WmBrepXYZCurve* xyz = nullptr;
    WmBrepUVCurve* uv = nullptr;
    if (!brep->newLoopOnFace(face, &loop) || !brep->newCoedgeOnLoop(loop, &coedge) || !brep->newEdge(&edge) ||
        !brep->setEdgeOnCoedge(coedge, edge) || !brep->newXYZCurve(WmBrepNURBSXYZCurve::classTypeID(), &xyz) ||
        !brep->setXYZCurveOnEdge(edge, xyz))
        return 0;
    BuildCircleCurve(c, o, a, b, radius, reverseCircle, AP_RING_FULL, WmBrepNURBSXYZCurve::cast(xyz));
    if (!brep->newUVCurve(WmBrepNURBSUVCurve::classTypeID(), &uv) || !brep->setUVCurveOnCoedge(coedge, uv)) return 0;
    BuildCircleUVCurve(1, AP_RING_FULL, 0.0, 1.0, 1.0, WmBrepNURBSUVCurve::cast(uv));
    return 1;
}

// Wall from r1 to r2, top cap of radius r2, base cap of radius baseRadius.
int AddRevolvedFaces(const APVector3d& c, const APVector3d& o, const APVector3d& a, const APVector3d& b, double h,
                     double r1, double r2, double baseRadius, WmBrep* brep, WmParaShell* shell)
{
    if (!brep || !shell) return 0;
    WmParaFace* wall = nullptr;
    WmBrepNURBSSurface* surface = NewFaceWithSurface(brep, shell, &wall);
    if (!surface) return 0;
    BuildConeSurface(c, o, a, b, h, r1, r2, 0, AP_RING_FULL, surface);
    const APVector3d top{c.x, c.y, c.z + h};
    if (!AddCap(top, APVector3d{0.0, 0.0, -1.0}, 2.0 * r2, r2, 1, o, a, b, brep, shell)) return 0;
    return AddCap(c, APVector3d{0.0, 0.0, 1.0}, 2.0 * baseRadius, baseRadius, 0, o, a, b, brep, shell);
}

// A new B-rep with one region and one shell, handed to the caller at once.
WmParaShell* NewBrepWithShell(WmBrep** out)
{
    *out = new WmBrep;
    WmParaRegion* region = nullptr;
    WmParaShell* shell = nullptr;
    if (!(*out)->newRegionOnBrep(&region) || !(*out)->newShellOnRegion(region, &shell)) return nullptr;
    return shell;
}

// Runs a builder body; a failed allocation ends it with 0, whatever it handed out already
// staying with the caller.
template <class Body>
int Guarded(WmBrep** out, Body body)
{
    if (!out) return 0;
    try {
        body();
    } catch (const std::exception&) {
        return 0;
    }
    return 1;
}

// One region, one shell, one face on a surface made by `fill`.
template <class Fill>
int SingleFaceBrep(WmBrep** out, Fill fill)
{
    return Guarded(out, [&] {
        WmParaShell* shell = NewBrepWithShell(out);
        WmParaFace* face = nullptr;
        WmBrepNURBSSurface* surface = shell ? NewFaceWithSurface(*out, shell, &face) : nullptr;
        if (surface) fill(surface);
    });
}

} // namespace

void MapToFeatureFrame(APPointList& points, const APVector3d& origin, const APVector3d& axis, const APVector3d& second)
{
    APVector3d a = axis, b = second, c;
    APVector3d::Cross(axis, second, c);
    APVector3d::Normalize(a);
    APVector3d::Normalize(b);
    APVector3d::Normalize(c);
    APMatrix4d rotation, translation;
    APMatrix4d::SetFrame(rotation, b, c, a, APVector3d{0.0, 0.0, 0.0});
    APMatrix4d::TransformPoints(rotation, points);
    APMatrix4d::SetIdentity(translation);
    translation.m[12] = origin.x;
    translation.m[13] = origin.y;
    translation.m[14] = origin.z;
    APMatrix4d::TransformPoints(translation, points);
}

void AppendRingPoints(const APVector3d& c, double r, double z, int reverse, int mode, APHomogeneousList& ring)
{
    APHomogeneousPoint p[9];
    RingPositions(c.x, c.y, r, r, z, p);
    AppendInOrder(p, reverse, mode, ring);
}

int BuildCylinderSurface(const APVector3d& c, const APVector3d& origin, const APVector3d& axis, const APVector3d& second,
                         double height, double radius, int reverse, int mode, WmBrepNURBSSurface* surface)
{
    return BuildConeSurface(c, origin, axis, second, height, radius, radius, reverse, mode, surface);
}

int BuildConeSurface(const APVector3d& c, const APVector3d& origin, const APVector3d& axis, const APVector3d& second,
                     double height, double r1, double r2, int reverse, int mode, WmBrepNURBSSurface* surface)
{
    if (!surface) return 0;
    APHomogeneousList net;
    AppendRingPoints(c, r1, c.z, reverse, mode, net);
    const int numU = net.Count();
    AppendRingPoints(c, r2, c.z + height, reverse, mode, net);
    APArray<double> points;
    MapHomogeneous(net, origin, axis, second, points);
    surface->setInternals(2, 1, numU, 2, RingKnots(mode), kAxisKnots, points.Data(), 4);
    return 1;
}

int BuildPlanarPatch(const APVector3d& c, const APVector3d& normal, const APVector3d& origin, const APVector3d& axis,
                     const APVector3d& second, double width, double length, double uSpan, double vSpan,
                     WmBrepNURBSSurface* surface)
{
    if (!surface) return 0;
    const double p = width / 2.0, q = length / 2.0;
    APPointList corners;
    double component;
    if (normal.z == 1.0 || normal.z == -1.0) {
        component = normal.z;
        corners.Append({c.x - p, c.y - q, c.z});
        corners.Append({c.x + p, c.y - q, c.z});
        corners.Append({c.x - p, c.y + q, c.z});
        corners.Append({c.x + p, c.y + q, c.z});
    } else if (normal.x == 1.0 || normal.x == -1.0) {
        component = normal.x;
        corners.Append({c.x, c.y - p, c.z - q});
        corners.Append({c.x, c.y - p, c.z + q});
        corners.Append({c.x, c.y + p, c.z - q});
        corners.Append({c.x, c.y + p, c.z + q});
    } else if (normal.y == 1.0 || normal.y == -1.0) {
        component = normal.y;
        corners.Append({c.x - p, c.y, c.z - q});
        corners.Append({c.x - p, c.y, c.z + q});
        corners.Append({c.x + p, c.y, c.z - q});
        corners.Append({c.x + p, c.y, c.z + q});
    } else {
        return 0;
    }
    if (component < 0.0) {
        std::swap(corners[0], corners[1]);
        std::swap(corners[2], corners[3]);
    }
    MapToFeatureFrame(corners, origin, axis, second);
    const double u0 = 0.5 - uSpan / 2.0, u1 = 0.5 + uSpan / 2.0;
    const double v0 = 0.5 - vSpan / 2.0, v1 = 0.5 + vSpan / 2.0;
    const double uKnots[4] = {u0, u0, u1, u1};
    const double vKnots[4] = {v0, v0, v1, v1};
    double points[12];
    for (int i = 0; i < 4; ++i) {
        points[3 * i] = corners[i].x;
        points[3 * i + 1] = corners[i].y;
        points[3 * i + 2] = corners[i].z;
    }
    surface->setInternals(1, 1, 2, 2, uKnots, vKnots, points, 3);
    return 1;
}

int BuildCircleCurve(const APVector3d& c, const APVector3d& origin, const APVector3d& axis, const APVector3d& second,
                     double radius, int reverse, int mode, WmBrepNURBSXYZCurve* curve)
{
    if (!curve) return 0;
    APHomogeneousList ring;
    AppendRingPoints(c, radius, c.z, reverse, mode, ring);
    APArray<double> points;
    MapHomogeneous(ring, origin, axis, second, points);
    curve->setInternals(2, ring.Count(), RingKnots(mode), points.Data(), 4);
    return 1;
}

int BuildCircleUVCurve(int forward, int mode, double uOffset, double uSpan, double vSpan, WmBrepNURBSUVCurve* curve)
{
    if (!curve) return 0;
    // The model-space ring's order for the opposite flag value.
    APHomogeneousPoint p[9];
    RingPositions(0.5 + uOffset, 0.5, uSpan / 2.0, vSpan / 2.0, 0.0, p);
    APHomogeneousList ring;
    AppendInOrder(p, forward ? 0 : 1, mode, ring);
    APArray<double> points;
    for (int i = 0; i < ring.Count(); ++i) {
        points.Append(ring[i].x);
        points.Append(ring[i].y);
        points.Append(ring[i].w);
    }
    curve->setInternals(2, ring.Count(), RingKnots(mode), points.Data(), 3);
    return 1;
}

int AddPlanarFaceToShell(const APVector3d& c, const APVector3d& origin, const APVector3d& axis, const APVector3d& second,
                         double width, double gap, double depth, WmBrep* brep, WmParaShell* shell)
{
    if (!brep || !shell) return 0;
    const APVector3d centres[2] = {{c.x, c.y - gap / 2.0, c.z - depth / 2.0}, {c.x, c.y + gap / 2.0, c.z - depth / 2.0}};
    const APVector3d normals[2] = {{0.0, 1.0, 0.0}, {0.0, -1.0, 0.0}};
    for (int k = 0; k < 2; ++k) {
        WmParaFace* face = nullptr;
        WmBrepNURBSSurface* surface = NewFaceWithSurface(brep, shell, &face);
        if (!surface) return 0;
        BuildPlanarPatch(centres[k], normals[k], origin, axis, second, width, depth, 1.0, 1.0, surface);
    }
    return 1;
}

int AddCylinderFacesToShell(const APVector3d& c, const APVector3d& origin, const APVector3d& axis,
                            const APVector3d& second, double height, double radius, WmBrep* brep, WmParaShell* shell)
{
    return AddRevolvedFaces(c, origin, axis, second, height, radius, radius, radius, brep, shell);
}

int AddConeFacesToShell(const APVector3d& c, const APVector3d& origin, const APVector3d& axis, const APVector3d& second,
                        double height, double r1, double r2, WmBrep* brep, WmParaShell* shell)
{
    // A cone to a point still gets a small base cap.
    const double base = r1 > 0.0 ? r1 : 0.01;
    return AddRevolvedFaces(c, origin, axis, second, height, r1, r2, base, brep, shell);
}

int CreatePinWmBrep(const APVector3d& origin, const APVector3d& axis, const APVector3d& second, double height,
                    double radius, int collar, WmBrep** out)
{
    return Guarded(out, [&] {
        WmParaShell* shell = NewBrepWithShell(out);
        if (!shell) return;
        AddCylinderFacesToShell(APVector3d{0.0, 0.0, 0.0}, origin, axis, second, height, radius, *out, shell);
        if (collar)
            AddCylinderFacesToShell(APVector3d{0.0, 0.0, -0.1 * height}, origin, axis, second, 0.1 * height,
                                    (2.2 * radius) * 0.7, *out, shell);
    });
}

int CreateHoleWmBrep(const APVector3d& origin, const APVector3d& axis, const APVector3d& second, double height,
                     double radius, WmBrep** out)
{
    return SingleFaceBrep(out, [&](WmBrepNURBSSurface* surface) {
        BuildCylinderSurface(APVector3d{0.0, 0.0, 0.0}, origin, axis, second, height, radius, 1, AP_RING_FULL, surface);
    });
}

int CreateSlotTabWmBrep(const APVector3d& origin, const APVector3d& axis, const APVector3d& second, double width,
                        double gap, double depth, WmBrep** out)
{
    return Guarded(out, [&] {
        WmParaShell* shell = NewBrepWithShell(out);
        if (shell) AddPlanarFaceToShell(APVector3d{0.0, 0.0, depth}, origin, axis, second, width, gap, depth, *out, shell);
    });
}

int CreatePlaneWmBrep(const APVector3d& origin, const APVector3d& axis, const APVector3d& second, double width,
                      double length, double, WmBrep** out)
{
    return SingleFaceBrep(out, [&](WmBrepNURBSSurface* surface) {
        BuildPlanarPatch(APVector3d{0.0, 0.0, 0.0}, APVector3d{0.0, 0.0, -1.0}, origin, axis, second, width, length, 1.0,
                         1.0, surface);
    });
}

int CreateTaperedPinWmBrep(const APVector3d& origin, const APVector3d& axis, const APVector3d& second, double height,
                           double baseRadius, double topRadius, int, WmBrep** out)
{
    return Guarded(out, [&] {
        WmParaShell* shell = NewBrepWithShell(out);
        if (shell)
            AddConeFacesToShell(APVector3d{0.0, 0.0, 0.0}, origin, axis, second, height, baseRadius, topRadius, *out, shell);
    });
}

int CreateTaperedHoleWmBrep(const APVector3d& origin, const APVector3d& axis, const APVector3d& second, double height,
                            double baseRadius, double topRadius, WmBrep** out)
{
    return SingleFaceBrep(out, [&](WmBrepNURBSSurface* surface) {
        BuildConeSurface(APVector3d{0.0, 0.0, 0.0}, origin, axis, second, height, baseRadius, topRadius, 1, AP_RING_FULL,
                         surface);
    });
}
