// The feature's geometry: the held B-rep in and out, transforms of held geometry, boundary and
// region queries, face normals and the solid-modeller parts.
#include "features/APFeature.h"

#include <objbase.h>

#include <cmath>
#include <new>
#include <set>
#include <vector>

#include "model/APComQuery.h"
#include "model/APFieldAccess.h"
#include "platform/IHbUtility.h"
#include "platform/toolkit/WmBrep.h"
#include "platform/toolkit/WmHbBrep.h"
#include "platform/toolkit/WmSquareMatrix.h"

namespace {

// A new B-rep equal to `brep` (one reference), or null.
WmBrep* CopyOf(const WmBrep& brep) { return NewToolkitObject<WmBrep>(brep); }

// Control points moved by `m`: Cartesian points as points (divided by w'), homogeneous ones
// (x w, y w, z w, w) as 4-vectors, without division.
bool TransformControls(WmVecDouble& points, int coordinates, const double m[16])
{
    const int n = points.length() / (coordinates > 0 ? coordinates : 1);
    if (coordinates == 3) {
        APMatrix4d matrix;
        APMatrix4d::SetFromArray(matrix, m);
        for (int i = 0; i < n; ++i) {
            double* p = points.data() + 3 * i;
            double h[4];
            APMatrix4d::TransformPointHomogeneous(matrix, APVector3d{p[0], p[1], p[2]}, h);
            for (int k = 0; k < 3; ++k) p[k] = h[k] / h[3];
        }
        return true;
    }
    if (coordinates == 4) {
        WmSquareMatrix matrix(4);
        matrix.set(m, 16);
        for (int i = 0; i < n; ++i) matrix.leftMultiply(points.data() + 4 * i, points.data() + 4 * i);
        return true;
    }
    return false;
}

template <class Net>
bool TransformNet(Net& net, const double m[16])
{
    WmVecDouble points;
    int coordinates = 0;
    if (!net.getCtlPoints(points, &coordinates) || coordinates < 1) return false;
    if (!TransformControls(points, coordinates, m)) return false;
    return net.setCtlPoints(points.data(), points.length() / coordinates, coordinates);
}

bool IsIdentity(const APMatrix4d& m) { return APMatrix4d::IsIdentity(m); }

} // namespace

// ---------------------------------------------------------------------------------------
// The held B-rep

void APFeature::ReleaseGeometry()
{
    ReleaseAndNull(m_brep);
    if (m_transmitHolder) m_transmitHolder->release();
    m_transmitHolder = nullptr;
}

HRESULT APFeature::HoldCopyOf(WmBrep* brep)
{
    ReleaseAndNull(m_brep);
    if (!brep) {
        m_basedOnRealGeometry = 0;
        return S_OK;
    }
    m_brep = CopyOf(*brep);
    if (!m_brep) {
        m_basedOnRealGeometry = 0;
        return E_FAIL;
    }
    APMatrix4d::SetIdentity(m_transform);
    m_basedOnRealGeometry = 1;
    m_geometrySource = 1;
    return S_OK;
}

HRESULT APFeature::SetWmBrep(WmBrep* brep) { return HoldCopyOf(brep); }

// Toolkit B-reps come from the toolkit's hooked allocator in any case.
HRESULT APFeature::SetWmBrep2(WmBrep* brep) { return HoldCopyOf(brep); }

WmBrep* APFeature::PlacedCopy(const WmBrep& brep, const APMatrix4d& transform)
{
    WmBrep* copy = CopyOf(brep);
    if (copy && TransformWmBrep(copy, transform.m) < 0) ReleaseAndNull(copy);
    return copy;
}

HRESULT APFeature::GetWmBrep(WmBrep** brep)
{
    if (!brep) return E_FAIL;
    if (!m_brep && BuildWmBrep() < 0) return E_FAIL;
    if (!m_brep) return E_FAIL;
    WmBrep* copy = PlacedCopy(*m_brep, m_transform);
    if (!copy) return E_FAIL;
    *brep = copy;
    return S_OK;
}

HRESULT APFeature::ApplyTransformation()
{
    if (m_geometrySource == 1) {
        if (m_brep && TransformWmBrep(m_brep, m_transform.m) < 0) return E_FAIL;
    } else {
        for (int& tag : m_parts)
            if (TransformHbPart(&tag, m_transform.m) < 0) return E_FAIL;
    }
    TransformDefinition(m_transform.m);
    APMatrix4d::SetIdentity(m_transform);
    return S_OK;
}

HRESULT APFeature::TransformWmBrep(WmBrep* brep, const double transform[16])
{
    if (!brep || !transform || brep->numRegions() < 1) return E_FAIL;
    for (int r = 0; r < brep->numRegions(); ++r)
        if (TransformWmBrepRegion(r, brep, transform) < 0) return E_FAIL;
    return S_OK;
}

HRESULT APFeature::TransformWmBrepRegion(int region, WmBrep* brep, const double transform[16])
{
    if (!brep || !transform) return E_FAIL;
    WmParaRegion* r = brep->region(region);
    if (!r) return E_FAIL;
    // Shells may share surfaces and coedges share edge curves: each moves once.
    std::set<int> surfaces, curves;
    for (int s = 0; s < brep->numShellsOnRegion(r); ++s) {
        WmParaShell* shell = brep->shell(r, s);
        if (!shell) return E_FAIL;
        for (int f = 0; f < brep->numFacesOnShell(shell); ++f) {
            WmParaFace* face = brep->face(shell, f);
            if (!face || !brep->surface(face->surfaceIndex())) return E_FAIL;
            surfaces.insert(face->surfaceIndex());
            for (int l = 0; l < brep->numLoopsOnFace(face); ++l) {
                WmParaLoop* loop = brep->loop(face, l);
                if (!loop) return E_FAIL;
                for (int c = 0; c < brep->numCoedgesOnLoop(loop); ++c) {
                    WmParaCoedge* coedge = brep->coedge(loop, c);
                    WmParaEdge* edge = coedge ? brep->edge(coedge) : nullptr;
                    if (!edge || !brep->xyzCurve(edge->xyzCurveIndex())) return E_FAIL;
                    curves.insert(edge->xyzCurveIndex());
                }
            }
        }
    }
    for (int i : surfaces) {
        WmBrepNURBSSurface* surface = WmBrepNURBSSurface::cast(brep->surface(i));
        if (!surface || !TransformNet(*surface, transform)) return E_FAIL;
    }
    for (int i : curves) {
        WmBrepNURBSXYZCurve* curve = WmBrepNURBSXYZCurve::cast(brep->xyzCurve(i));
        if (!curve || !TransformNet(*curve, transform)) return E_FAIL;
    }
    return S_OK;
}

// ---------------------------------------------------------------------------------------
// Boundaries and normals of the held B-rep

WmParaFace* APFeature::FaceOf(int region, int face) const
{
    if (!m_brep) return nullptr;
    WmParaRegion* r = m_brep->region(region);
    WmParaShell* shell = r ? m_brep->shell(r, 0) : nullptr;
    return shell ? m_brep->face(shell, face) : nullptr;
}

HRESULT APFeature::FaceEdgeCount(const WmParaFace* face, int* count) const
{
    if (!face || !count) return E_FAIL;
    const int loops = m_brep->numLoopsOnFace(face);
    if (loops == 0) return Store(*count, 4);
    int edges = 0;
    for (int l = 0; l < loops; ++l) {
        WmParaLoop* loop = m_brep->loop(face, l);
        if (!loop) return E_FAIL;
        if (loop->isAntiHoleLoop()) edges += m_brep->numCoedgesOnLoop(loop);
    }
    return Store(*count, edges);
}

HRESULT APFeature::GetNumRegionBoundaryEdges(int region, int* count)
{
    if (!m_brep) return E_FAIL;
    return FaceEdgeCount(FaceOf(region, 0), count);
}

HRESULT APFeature::GetNumFaceBoundaryEdges(int face, int* count)
{
    if (!m_brep) return E_FAIL;
    return FaceEdgeCount(FaceOf(0, face), count);
}

HRESULT APFeature::FaceNormalAt(const WmParaFace* face, const double* uv, double* x, double* y, double* z) const
{
    if (!face || !x || !y || !z) return E_FAIL;
    const double sign = face->isNormalReversed() ? -1.0 : 1.0;
    const WmBrepNURBSSurface* surface = WmBrepNURBSSurface::cast(m_brep->surface(face->surfaceIndex()));
    WmVecDouble uKnots, vKnots;
    if (!surface || !surface->getInternals(nullptr, nullptr, nullptr, nullptr, &uKnots, &vKnots, nullptr, nullptr) ||
        uKnots.length() < 1 || vKnots.length() < 1)
        return E_FAIL;
    double n[3];
    if (uv) {
        if (!surface->normal(uv[0], uv[1], n)) return E_FAIL;
        if (n[0] * n[0] + n[1] * n[1] + n[2] * n[2] < 0.0001 && !surface->normal(uKnots[0], vKnots[0], n))
            return E_FAIL;
    } else if (!surface->normal(uKnots[0], vKnots[0], n)) {
        return E_FAIL;
    }
    APVector3d v{sign * n[0], sign * n[1], sign * n[2]};
    APVector3d::Normalize(v);
    *x = v.x;
    *y = v.y;
    *z = v.z;
    return S_OK;
}

HRESULT APFeature::GetFaceNormal(int face, double* x, double* y, double* z)
{
    return FaceNormalAt(FaceOf(0, face), nullptr, x, y, z);
}

HRESULT APFeature::GetFaceNormalAtParam(int face, double u, double v, double* x, double* y, double* z)
{
    const double uv[2] = {u, v};
    return FaceNormalAt(FaceOf(0, face), uv, x, y, z);
}

HRESULT APFeature::SampleFace(const WmParaFace* face, int n, APPointList& points, APPointList* normals) const
{
    const WmBrepNURBSSurface* surface = WmBrepNURBSSurface::cast(m_brep->surface(face->surfaceIndex()));
    const int loops = m_brep->numLoopsOnFace(face);
    if (loops == 0) {
        WmVecDouble uk, vk;
        int numU = 0, numV = 0;
        if (!surface || !surface->getKnots(uk, vk) || !surface->getControls(&numU, &numV) || uk.length() < 1 ||
            vk.length() < 1)
            return E_FAIL;
        const double us = uk[0] + 0.001, ue = uk[uk.length() - 1] - 0.001;
        const double vs = vk[0] + 0.001, ve = vk[vk.length() - 1] - 0.001;
        const double du = (ue - us) / n, dv = (ve - vs) / n;
        for (int side = 0; side < 4; ++side) {
            for (int k = 1; k <= n; ++k) {
                double uv[2];
                switch (side) {
                case 0: uv[0] = us + k * du; uv[1] = vs; break;
                case 1: uv[0] = ue; uv[1] = vs + k * dv; break;
                case 2: uv[0] = ue - k * du; uv[1] = ve; break;
                default: uv[0] = us; uv[1] = ve - k * dv; break;
                }
                double p[3];
                if (!surface->evaluate(uv[0], uv[1], p)) return E_FAIL;
                points.Append(APVector3d{p[0], p[1], p[2]});
                if (normals) {
                    APVector3d nv;
                    if (FaceNormalAt(face, uv, &nv.x, &nv.y, &nv.z) < 0) return E_FAIL;
                    normals->Append(nv);
                }
            }
        }
        return S_OK;
    }
    for (int l = 0; l < loops; ++l) {
        WmParaLoop* loop = m_brep->loop(face, l);
        if (!loop) return E_FAIL;
        if (!loop->isAntiHoleLoop()) continue;
        for (int c = 0; c < m_brep->numCoedgesOnLoop(loop); ++c) {
            WmParaCoedge* coedge = m_brep->coedge(loop, c);
            WmParaEdge* edge = coedge ? m_brep->edge(coedge) : nullptr;
            const WmBrepNURBSXYZCurve* curve =
                edge ? WmBrepNURBSXYZCurve::cast(m_brep->xyzCurve(edge->xyzCurveIndex())) : nullptr;
            WmVecDouble knots;
            int controls = 0;
            if (!curve || !curve->getKnots(knots) || !curve->getControls(&controls) || knots.length() < 1)
                return E_FAIL;
            const double t0 = knots[0], t1 = knots[knots.length() - 1];
            const double span = t1 - t0, step = span / n;
            for (int k = 1; k <= n; ++k) {
                double t = coedge->isXYZReversed() ? t1 - k * step : t0 + k * step;
                // The ends themselves are not sampled: a point just inside stands for them.
                if (std::fabs(t - t0) < 1e-5) t = t0 + 0.01 * std::fabs(span);
                if (std::fabs(t - t1) < 1e-5) t = t1 - 0.01 * std::fabs(span);
                double p[3];
                if (!curve->evaluate(t, p)) return E_FAIL;
                points.Append(APVector3d{p[0], p[1], p[2]});
                if (normals) {
                    double uv[2], nn[3];
                    if (!surface || !surface->invert(p, &uv[0], &uv[1]) || !surface->normal(uv[0], uv[1], nn))
                        return E_FAIL;
                    APVector3d nv{nn[0], nn[1], nn[2]};
                    APVector3d::NormalizeIfNonZero(nv);
                    normals->Append(nv);
                }
            }
        }
    }
    return S_OK;
}

HRESULT APFeature::BoundaryPoints(int region, int face, int samples, double* points, double* normals, int* count)
{
    int edges = 0;
    if (!m_brep || samples < 1 || !points || !count) return E_FAIL;
    const WmParaFace* f = FaceOf(region, face);
    if (!f || FaceEdgeCount(f, &edges) < 0) return E_FAIL;
    APPointList sampled, sampledNormals;
    try {
        if (SampleFace(f, samples, sampled, normals ? &sampledNormals : nullptr) < 0) return E_FAIL;
    } catch (...) {
        return E_FAIL;
    }
    if (!IsIdentity(m_transform)) APMatrix4d::TransformPoints(m_transform, sampled);
    IHbUtilityTopology* topology = nullptr;
    if (normals && m_geometrySource == 2) {
        // Only parts need the modeller: a B-rep feature works without one.
        topology = AcquireTopology();
        if (!topology) return E_FAIL;
    }
    const bool fromModeller = topology && m_brep->numLoopsOnFace(f) > 0;
    const int part = region >= 0 && region < static_cast<int>(m_parts.size()) ? m_parts[static_cast<std::size_t>(region)]
                     : m_parts.empty()                                         ? m_body
                                                                               : m_parts.front();
    HRESULT hr = S_OK;
    for (int i = 0; i < sampled.Count(); ++i) {
        const APVector3d& p = sampled[i];
        points[3 * i] = p.x;
        points[3 * i + 1] = p.y;
        points[3 * i + 2] = p.z;
        if (!normals) continue;
        APVector3d n = sampledNormals[i];
        if (fromModeller) {
            const double xyz[3] = {p.x, p.y, p.z};
            double un[3];
            if (FAILED(topology->NormalAtPoint(part, xyz, un))) {
                hr = E_FAIL;
                break;
            }
            n = APVector3d{un[0], un[1], un[2]};
        }
        normals[3 * i] = n.x;
        normals[3 * i + 1] = n.y;
        normals[3 * i + 2] = n.z;
    }
    ReleaseAndNull(topology);
    if (FAILED(hr)) return E_FAIL;
    *count = sampled.Count();
    return S_OK;
}

HRESULT APFeature::GetRegionBoundaryPoints(int region, int samples, double* points, int* count)
{
    return BoundaryPoints(region, 0, samples, points, nullptr, count);
}

HRESULT APFeature::GetFaceBoundaryPoints(int face, int samples, double* points, int* count)
{
    return BoundaryPoints(0, face, samples, points, nullptr, count);
}

HRESULT APFeature::GetRegionBoundaryPointsWithNormals(int region, int samples, double* points, double* normals,
                                                      int* count)
{
    if (!normals) return E_FAIL;
    return BoundaryPoints(region, 0, samples, points, normals, count);
}

// ---------------------------------------------------------------------------------------
// Solid-modeller parts

HRESULT APFeature::AcquireHbUtility()
{
    if (m_utility) return S_OK;
    IAPDocument4* doc = m_docSink ? Query<IAPDocument4>(m_docSink, IID_IAPDocument4) : nullptr;
    if (!doc) return E_FAIL;
    IUnknown* utility = nullptr;
    const HRESULT hr = doc->GetHbUtility(&utility);
    doc->Release();
    if (FAILED(hr) || !utility) {
        ReleaseAndNull(utility);
        return E_FAIL;
    }
    m_utility = Query<IHbUtility>(utility, IID_IHbUtility);
    utility->Release();
    return m_utility ? S_OK : E_FAIL;
}

IHbUtilityTopology* APFeature::AcquireTopology()
{
    if (AcquireHbUtility() < 0) return nullptr;
    return Query<IHbUtilityTopology>(m_utility, IID_IHbUtilityTopology);
}

HRESULT APFeature::TransformHbPart(int* tag, const double transform[16])
{
    if (!tag || !transform || AcquireHbUtility() < 0) return E_FAIL;
    int moved = 0;
    if (FAILED(m_utility->TransformPart(*tag, transform, &moved))) return E_FAIL;
    *tag = moved;
    return S_OK;
}

HRESULT APFeature::PlacedCopyOfPart(int stored, const APMatrix4d& transform, int* placed)
{
    if (!placed || AcquireHbUtility() < 0) return E_FAIL;
    // The stored part stays where it is: the caller gets a copy placed by the transform.
    int copy = 0;
    if (FAILED(m_utility->CopyPart(stored, &copy))) return E_FAIL;
    if (TransformHbPart(&copy, transform.m) < 0) return E_FAIL;
    *placed = copy;
    return S_OK;
}

HRESULT APFeature::GetHbBody(int* tag) { return PlacedCopyOfPart(m_body, m_transform, tag); }

HRESULT APFeature::GetHbPart(int index, int* tag)
{
    if (index < 0 || index >= static_cast<int>(m_parts.size())) return E_FAIL;
    return PlacedCopyOfPart(m_parts[static_cast<std::size_t>(index)], m_transform, tag);
}

HRESULT APFeature::GetHbPointAtParam(int part, double u, double v, double* x, double* y, double* z)
{
    if (!x || !y || !z || AcquireHbUtility() < 0) return E_FAIL;
    double p[3];
    if (FAILED(m_utility->PointAtParam(part, u, v, p))) return E_FAIL;
    *x = p[0];
    *y = p[1];
    *z = p[2];
    return S_OK;
}

HRESULT APFeature::GetHbPartTags(int part, std::vector<int>& tags)
{
    tags.clear();
    IHbUtilityTopology* topology = AcquireTopology();
    if (!topology) return E_FAIL;
    int count = 0;
    int* listed = nullptr;
    HRESULT hr = topology->GetPartTags(part, &count, &listed);
    topology->Release();
    try {
        if (SUCCEEDED(hr) && listed && count > 0) tags.assign(listed, listed + count);
    } catch (...) {
        hr = E_FAIL;
    }
    if (listed) CoTaskMemFree(listed);
    // A part is read through its tags: one without any has nothing to read.
    return SUCCEEDED(hr) && !tags.empty() ? S_OK : E_FAIL;
}

HRESULT APFeature::HbBoundaryFace(int tag, bool surface, IHbUtilityTopology** topology, int* face)
{
    *topology = AcquireTopology();
    if (!*topology) return E_FAIL;
    int count = 0;
    int* faces = nullptr;
    HRESULT hr = (*topology)->GetTagFaces(tag, &count, &faces);
    bool found = false;
    for (int i = 0; SUCCEEDED(hr) && faces && i < count && !found; ++i) {
        long yes = 0;
        hr = surface ? (*topology)->IsSurfaceFace(faces[i], &yes) : (*topology)->IsPlanarFace(faces[i], &yes);
        if (SUCCEEDED(hr) && yes) {
            *face = faces[i];
            found = true;
        }
    }
    if (faces) CoTaskMemFree(faces);
    if (FAILED(hr) || !found) {
        ReleaseAndNull(*topology);
        return E_FAIL;
    }
    return S_OK;
}

HRESULT APFeature::HbBoundaryEdges(int tag, bool surface, int* count)
{
    IHbUtilityTopology* topology = nullptr;
    int face = 0, edges = 0;
    if (!count || HbBoundaryFace(tag, surface, &topology, &face) < 0) return E_FAIL;
    const HRESULT hr = topology->GetNumFaceEdges(face, &edges);
    topology->Release();
    if (FAILED(hr)) return E_FAIL;
    return Store(*count, edges > 0 ? edges : 4);
}

HRESULT APFeature::HbBoundaryPoints(int tag, bool surface, int samples, double* points, int* count)
{
    IHbUtilityTopology* topology = nullptr;
    int face = 0, edges = 0;
    if (tag == 0 || samples < 1 || !points || !count || HbBoundaryFace(tag, surface, &topology, &face) < 0)
        return E_FAIL;
    HRESULT hr = topology->GetNumFaceEdges(face, &edges);
    int written = 0;
    try {
        std::vector<float> xyz(3 * static_cast<std::size_t>(samples));
        for (int e = 0; SUCCEEDED(hr) && e < edges; ++e) {
            hr = topology->SampleFaceEdge(face, e, samples, xyz.data());
            for (int k = 0; SUCCEEDED(hr) && k < 3 * samples; ++k) points[3 * written + k] = xyz[static_cast<std::size_t>(k)];
            if (SUCCEEDED(hr)) written += samples;
        }
    } catch (...) {
        hr = E_FAIL;
    }
    topology->Release();
    if (FAILED(hr)) return E_FAIL;
    return Store(*count, written);
}

HRESULT APFeature::GetNumHbPartBoundaryEdges(int part, int* count) { return HbBoundaryEdges(part, false, count); }

HRESULT APFeature::GetHbPartBoundaryPoints(int part, int samples, double* points, int* count)
{
    return HbBoundaryPoints(part, false, samples, points, count);
}

HRESULT APFeature::GetNumHbSurfaceBoundaryEdges(int part, int* count) { return HbBoundaryEdges(part, true, count); }

HRESULT APFeature::GetHbSurfaceBoundaryPoints(int part, int samples, double* points, int* count)
{
    return HbBoundaryPoints(part, true, samples, points, count);
}
