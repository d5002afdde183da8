#pragma once
// Nominal shapes of the feature kinds as toolkit B-reps of rational NURBS surfaces.
//
// Geometry is made in a local frame with its axis along local z and then mapped into the
// feature frame given by an origin o, an axis direction A and a second direction B: a local
// point (x, y, z) goes to o + x B^ + y C^ + z A^ with C = A x B (unit vectors; A and B are
// not made orthogonal).
//
// The entry points answer 1 and hand the caller a new B-rep with one reference in *out
// (whatever *out held before is not released); 0 only when out is null.
#include "features/APGeometry.h"
#include "platform/toolkit/WmBrep.h"

// Weight of the corner control points of a ring (the double nearest 0.707).
constexpr double kRingCornerWeight = 0.707;

// Ring modes.
enum APRingMode { AP_RING_FULL = 0, AP_RING_FIRST_HALF = 1, AP_RING_SECOND_HALF = 2 };

struct APHomogeneousPoint {
    double x, y, z, w;
};
using APHomogeneousList = APArray<APHomogeneousPoint>;

// Entry points.
int CreatePinWmBrep(const APVector3d& origin, const APVector3d& axis, const APVector3d& second, double height,
                    double radius, int collar, WmBrep** out);
int CreateHoleWmBrep(const APVector3d& origin, const APVector3d& axis, const APVector3d& second, double height,
                     double radius, WmBrep** out);
int CreateSlotTabWmBrep(const APVector3d& origin, const APVector3d& axis, const APVector3d& second, double width,
                        double gap, double depth, WmBrep** out);
// `tolerance` is the caller's modelling tolerance; the patch does not depend on it.
int CreatePlaneWmBrep(const APVector3d& origin, const APVector3d& axis, const APVector3d& second, double width,
                      double length, double tolerance, WmBrep** out);
int CreateTaperedPinWmBrep(const APVector3d& origin, const APVector3d& axis, const APVector3d& second, double height,
                           double baseRadius, double topRadius, int flag, WmBrep** out);
int CreateTaperedHoleWmBrep(const APVector3d& origin, const APVector3d& axis, const APVector3d& second, double height,
                            double baseRadius, double topRadius, WmBrep** out);

// Building blocks.
void MapToFeatureFrame(APPointList& points, const APVector3d& origin, const APVector3d& axis, const APVector3d& second);
// Appends the ring of radius r at height z around c to `ring` in the order of the reverse
// flag and the mode, as homogeneous points (x w, y w, z w, w).
void AppendRingPoints(const APVector3d& c, double r, double z, int reverse, int mode, APHomogeneousList& ring);
int BuildCylinderSurface(const APVector3d& c, const APVector3d& origin, const APVector3d& axis, const APVector3d& second,
                         double height, double radius, int reverse, int mode, WmBrepNURBSSurface* surface);
int BuildConeSurface(const APVector3d& c, const APVector3d& origin, const APVector3d& axis, const APVector3d& second,
                     double height, double r1, double r2, int reverse, int mode, WmBrepNURBSSurface* surface);
// 0 (nothing set) when the normal is not exactly an axis direction.
int BuildPlanarPatch(const APVector3d& c, const APVector3d& normal, const APVector3d& origin, const APVector3d& axis,
                     const APVector3d& second, double width, double length, double uSpan, double vSpan,
                     WmBrepNURBSSurface* surface);
int BuildCircleCurve(const APVector3d& c, const APVector3d& origin, const APVector3d& axis, const APVector3d& second,
                     double radius, int reverse, int mode, WmBrepNURBSXYZCurve* curve);
int BuildCircleUVCurve(int forward, int mode, double uOffset, double uSpan, double vSpan, WmBrepNURBSUVCurve* curve);
int AddPlanarFaceToShell(const APVector3d& c, const APVector3d& origin, const APVector3d& axis, const APVector3d& second,
                         double width, double gap, double depth, WmBrep* brep, WmParaShell* shell);
int AddCylinderFacesToShell(const APVector3d& c, const APVector3d& origin, const APVector3d& axis,
                            const APVector3d& second, double height, double radius, WmBrep* brep, WmParaShell* shell);
int AddConeFacesToShell(const APVector3d& c, const APVector3d& origin, const APVector3d& axis, const APVector3d& second,
                        double height, double r1, double r2, WmBrep* brep, WmParaShell* shell);
