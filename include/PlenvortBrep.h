#pragma once
// Read access to the feature shapes that IAPFeature::GetWmBrep hands out.
//
// The handle that GetWmBrep writes is the address of an IPlenvortBrep. The host owns that
// reference and gives it back with Release (the B-rep is freed by the library that made it,
// so no second library is needed to read or free it):
//
//     AP_HANDLE h = 0;
//     if (feature->GetWmBrep(&h) == S_OK) {
//         IPlenvortBrep* brep = reinterpret_cast<IPlenvortBrep*>(h);
//         ... read it ...
//         brep->Release();
//     }
//
// SetWmBrep and SetWmBrep2 take such a handle back; the feature keeps its own copy.
//
// Layout: every entity kind is numbered 0..count-1 in the order it was created, and knows its
// parent (shell -> region, face -> shell, loop -> face, coedge -> loop). Children of one parent
// are listed in increasing number. A face refers to its surface, a coedge to its edge and its
// parameter-space curve, an edge to its model-space curve; -1 stands for "none".
//
// Curves and surfaces are NURBS. Control points have `coordinates` doubles each: model-space
// curves and surfaces 3 (x, y, z) or, when rational, 4 (x w, y w, z w, w); parameter-space
// curves 2 (u, v) or 3 (u w, v w, w). Surface control point (i along u, j along v) is element
// j * numU + i. A curve or surface holds count + degree + 1 knots in each direction.
//
// Plain C++ abstract classes with the COM calling convention, so that a host built with any
// Windows C++ compiler can call them.
#include <windows.h>

enum PlenvortBrepEntity {
    PV_BREP_REGION = 0,
    PV_BREP_SHELL = 1,
    PV_BREP_FACE = 2,
    PV_BREP_LOOP = 3,
    PV_BREP_COEDGE = 4,
    PV_BREP_EDGE = 5,
    PV_BREP_SURFACE = 6,
    PV_BREP_XYZ_CURVE = 7,
    PV_BREP_UV_CURVE = 8
};

// Face flags.
#define PV_FACE_NORMAL_REVERSED 0x1
// Loop flags.
#define PV_LOOP_OUTER 0x1
#define PV_LOOP_ANTI_HOLE 0x2
// Coedge flags.
#define PV_COEDGE_XYZ_REVERSED 0x1
#define PV_COEDGE_UV_REVERSED 0x2

// Every call answers E_INVALIDARG for a number out of range, a kind that does not fit or a
// buffer of the wrong size, E_POINTER for a missing out-pointer, E_FAIL when a curve or
// surface has no net yet or a parameter lies outside its knot range.
class IPlenvortBrep {
public:
    // Drops one reference; the last one frees the B-rep. Answers the references left.
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;

    // Number of entities of a kind (PlenvortBrepEntity); -1 for an unknown kind.
    virtual int STDMETHODCALLTYPE GetCount(int kind) = 0;

    virtual HRESULT STDMETHODCALLTYPE GetShell(int shell, int* region) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFace(int face, int* shell, int* surface, int* flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetLoop(int loop, int* face, int* flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCoedge(int coedge, int* loop, int* edge, int* uvCurve, int* flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEdge(int edge, int* xyzCurve) = 0;

    // Sizes of a surface's net; then its knots and control points into buffers of exactly
    // numU + uDegree + 1, numV + vDegree + 1 and numU * numV * coordinates doubles.
    virtual HRESULT STDMETHODCALLTYPE GetSurfaceInfo(int surface, int* uDegree, int* vDegree, int* numU, int* numV,
                                                     int* coordinates) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSurfaceData(int surface, double* uKnots, int uKnotCount, double* vKnots,
                                                     int vKnotCount, double* points, int pointDoubles) = 0;
    // Point and unit normal (du x dv; zero where the surface degenerates) at (u, v).
    virtual HRESULT STDMETHODCALLTYPE EvaluateSurface(int surface, double u, double v, double point[3],
                                                      double normal[3]) = 0;

    // kind is PV_BREP_XYZ_CURVE or PV_BREP_UV_CURVE.
    virtual HRESULT STDMETHODCALLTYPE GetCurveInfo(int kind, int curve, int* degree, int* count, int* coordinates) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurveData(int kind, int curve, double* knots, int knotCount, double* points,
                                                   int pointDoubles) = 0;
    // Model-space curves give (x, y, z), parameter-space curves (u, v, 0).
    virtual HRESULT STDMETHODCALLTYPE EvaluateCurve(int kind, int curve, double t, double point[3]) = 0;
};
