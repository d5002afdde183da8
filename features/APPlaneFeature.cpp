#include "features/APPlaneFeature.h"

#include <cfloat>
#include <cmath>
#include <cstdint>

#include "features/APShapeBuilder.h"
#include "model/APBlockIO.h"
#include "model/APComQuery.h"
#include "platform/toolkit/WmBrep.h"
#include "platform/toolkit/WmObjectStream.h"

IMPLEMENT_DYNAMIC(APPlaneFeature, APFeature)

namespace {

constexpr int kSamplesPerEdge = 10;

double Length(const APVector3d& v) { return std::sqrt(APVector3d::Dot(v, v)); }

APVector3d Unit(APVector3d v)
{
    APVector3d::Normalize(v);
    return v;
}

bool IsZero(const APVector3d& v) { return v.x == 0.0 && v.y == 0.0 && v.z == 0.0; }

bool WriteVector(WmObjectStream& s, const APVector3d& v) { return s.write(v.x) && s.write(v.y) && s.write(v.z); }
bool ReadVector(WmObjectStream& s, APVector3d& v) { return s.read(v.x) && s.read(v.y) && s.read(v.z); }

HRESULT Out3(const APVector3d& v, double* x, double* y, double* z)
{
    if (!x || !y || !z) return E_FAIL;
    *x = v.x, *y = v.y, *z = v.z;
    return S_OK;
}

// Mean of the points; false for none.
bool Mean(const APVector3d* p, int count, APVector3d& mean)
{
    if (count < 1) return false;
    APVector3d sum;
    for (int i = 0; i < count; ++i) APVector3d::Add(sum, p[i], sum);
    APVector3d::Scale(sum, 1.0 / count, mean);
    return true;
}

template <class T>
void SafeRelease(T*& p)
{
    if (p) p->Release();
    p = nullptr;
}

} // namespace

// ---------------------------------------------------------------------------------------
// Shared with the surface feature

HRESULT APPointSetFeature::GetNumGeometryParts(int* count)
{
    if (!count) return E_FAIL;
    *count = 1;
    if (!m_basedOnRealGeometry) return S_OK;
    if (m_geometrySource == 1 && m_brep) *count = m_brep->numRegions();
    else if (m_geometrySource == 2) *count = static_cast<int>(m_parts.size());
    return S_OK;
}

BOOL APPointSetFeature::HasDefinition() { return m_points.Count() >= 3 || m_basedOnRealGeometry; }

HRESULT APPointSetFeature::EdgeCount(int part, bool surface, int* count)
{
    if (!count) return E_FAIL;
    if (!m_basedOnRealGeometry) {
        *count = m_points.Count();
        return S_OK;
    }
    if (m_geometrySource == 1) return GetNumRegionBoundaryEdges(part < 0 ? 0 : part, count) < 0 ? E_FAIL : S_OK;
    if (m_geometrySource != 2) return E_FAIL;
    const int parts = static_cast<int>(m_parts.size());
    if (part >= parts || (part < 0 && parts == 0)) return E_FAIL;
    const int first = part < 0 ? 0 : part, last = part < 0 ? parts - 1 : part;
    std::vector<int> tags;
    for (int i = first; i <= last; ++i) {
        // A part's outline is counted on the first of its tags, as its boundary points are
        // given, so that a caller sizes its buffer right.
        if (GetHbPartTags(m_parts[static_cast<std::size_t>(i)], tags) < 0) return E_FAIL;
        const HRESULT hr =
            surface ? GetNumHbSurfaceBoundaryEdges(tags.front(), count) : GetNumHbPartBoundaryEdges(tags.front(), count);
        if (hr < 0) return E_FAIL;
    }
    return S_OK;
}

HRESULT APPointSetFeature::FirstTagPoints(bool surface, int samples, double* points, int* total)
{
    std::vector<int> tags;
    for (int part : m_parts) {
        int n = 0;
        if (GetHbPartTags(part, tags) < 0) return E_FAIL;
        double* at = points + 3 * static_cast<std::ptrdiff_t>(*total);
        const HRESULT hr = surface ? GetHbSurfaceBoundaryPoints(tags.front(), samples, at, &n)
                                   : GetHbPartBoundaryPoints(tags.front(), samples, at, &n);
        if (hr < 0) return E_FAIL;
        *total += n;
    }
    return S_OK;
}

void APPointSetFeature::PlacedPoints(APPointList& out) const
{
    out.SetSize(0);
    out.AppendArray(m_points.Data(), m_points.GetCount());
    APMatrix4d::TransformPoints(m_transform, out);
}

HRESULT APPointSetFeature::SetPoints(const double* points, int count, APPointList& list)
{
    if (count < 0 || (count > 0 && !points)) return E_FAIL;
    list.SetSize(static_cast<unsigned>(count));
    for (int i = 0; i < count; ++i) list[i] = {points[3 * i], points[3 * i + 1], points[3 * i + 2]};
    return S_OK;
}

HRESULT APPointSetFeature::Notify(unsigned long command, IAPElement* element)
{
    if (!m_wrapper) return E_FAIL;
    if (command != 3) return S_OK;
    for (int i = 0; i < m_related.Count();) {
        IAPElement* e = m_related[i] ? Query<IAPElement>(m_related[i], IID_IAPElement) : nullptr;
        const bool gone = e && e == element;
        SafeRelease(e);
        if (gone && RemoveRelatedElementByIndex(i) >= 0) continue;
        ++i;
    }
    if (m_related.Count() == 0) SetRelatedOwnerFlag(0);
    if (m_owner) {
        IAPElement* e = Query<IAPElement>(m_owner, IID_IAPElement);
        const bool gone = e && e == element;
        SafeRelease(e);
        if (gone) SafeRelease(m_owner);
    }
    return S_OK;
}

// ---------------------------------------------------------------------------------------
// Definition

bool APPlaneFeature::PerpendicularVector(const APVector3d& v, APVector3d& w)
{
    const double c[3] = {v.x, v.y, v.z};
    double r[3] = {0.0, 0.0, 1.0};
    int p = 0, a = 1, b = 2;
    if (std::fabs(c[2]) > 0.0) p = 2, a = 0, b = 1;
    else if (std::fabs(c[1]) > 0.0) p = 1, a = 0, b = 2;
    else if (!(std::fabs(c[0]) > 0.0)) return false;
    const double ra = c[a] / c[p], rb = c[b] / c[p];
    if (std::fabs(rb) >= std::fabs(ra)) r[a] = 1.0, r[b] = 0.0;
    else r[a] = 0.0, r[b] = 1.0;
    r[p] = -(ra * r[a] + rb * r[b]);
    w = {r[0], r[1], r[2]};
    return true;
}

HRESULT APPlaneFeature::MakeReference()
{
    APVector3d w;
    if (!m_normal || !PerpendicularVector(*m_normal, w)) return E_FAIL;
    m_reference = Unit(w);
    return S_OK;
}

HRESULT APPlaneFeature::DefinePlaneImplicit(double cx, double cy, double cz, double nx, double ny, double nz,
                                            double extent1, double extent2)
{
    const APVector3d n = Unit({nx, ny, nz});
    m_normal = n;
    m_extent[0] = extent1, m_extent[1] = extent2;
    const double a = 0.5 * extent1, b = 0.5 * extent2;
    m_points.SetSize(4);
    m_points[0] = {-a, -b, 0.0};
    m_points[1] = {a, -b, 0.0};
    m_points[2] = {-a, b, 0.0};
    m_points[3] = {a, b, 0.0};
    APVector3d u, v;
    ComputeReferenceDirection(&u.x, &u.y, &u.z);
    u = Unit(u);
    APVector3d::Cross(n, u, v);
    v = Unit(v);
    APMatrix4d frame;
    APMatrix4d::SetFrame(frame, u, v, n, {cx, cy, cz});
    APMatrix4d::TransformPoints(frame, m_points);
    APMatrix4d::SetIdentity(m_transform);
    ReleaseGeometry();
    if (m_geometrySource == 1) m_basedOnRealGeometry = 0;
    return S_OK;
}

HRESULT APPlaneFeature::DefinePlaneByPoints(const double* points, int count, const double* normal)
{
    if (SetPoints(points, count, m_points) < 0) return E_FAIL;
    if (normal) m_normal = Unit({normal[0], normal[1], normal[2]});
    APMatrix4d::SetIdentity(m_transform);
    ReleaseGeometry();
    if (m_geometrySource == 1) m_basedOnRealGeometry = 0;
    return S_OK;
}

HRESULT APPlaneFeature::SetNormalSensePositive()
{
    m_sense = 1;
    return S_OK;
}

HRESULT APPlaneFeature::SetNormalSenseNegative()
{
    m_sense = -1;
    return S_OK;
}

HRESULT APPlaneFeature::GetNormalSense(int* sense)
{
    if (!sense) return E_FAIL;
    *sense = m_sense;
    return S_OK;
}

HRESULT APPlaneFeature::TransformPointsByFeature(APPointList& points)
{
    APMatrix4d::TransformPoints(m_transform, points);
    return S_OK;
}

BOOL APPlaneFeature::ComputeNormalFromThreePoints(const APPointList& points, APVector3d& normal)
{
    normal = {};
    for (int i = 1; i + 1 < points.Count(); ++i) {
        APVector3d a, b, c;
        APVector3d::Subtract(points[i], points[0], a);
        APVector3d::Subtract(points[i + 1], points[0], b);
        APVector3d::Cross(a, b, c);
        if (!IsZero(c)) {
            normal = Unit(c);
            return TRUE;
        }
    }
    return FALSE;
}

// ---------------------------------------------------------------------------------------
// Normal and reference direction

HRESULT APPlaneFeature::GetNormal(double* x, double* y, double* z)
{
    if (!x || !y || !z) return E_FAIL;
    const bool placed = !APMatrix4d::IsIdentity(m_transform);
    APVector3d n;
    if (!m_basedOnRealGeometry) {
        if (!m_normal) return E_FAIL;
        *m_normal = Unit(*m_normal);
        n = placed ? Unit(APMatrix4d::TransformDirection(m_transform, *m_normal)) : *m_normal;
        return Out3(n, x, y, z);
    }
    if (m_geometrySource == 1) {
        if (!m_brep || GetFaceNormalAtParam(0, 0.2, 0.5, &n.x, &n.y, &n.z) < 0) return E_FAIL;
    } else if (m_geometrySource == 2) {
        // An empty part list has no face to ask.
        if (m_parts.empty()) return E_FAIL;
        std::vector<int> tags;
        if (GetHbPartTags(m_parts.front(), tags) < 0 || GetHbPointAtParam(tags.front(), 0.2, 0.5, &n.x, &n.y, &n.z) < 0)
            return E_FAIL;
    } else {
        return E_FAIL;
    }
    if (m_sense == -1) n = {-n.x, -n.y, -n.z};
    if (placed) n = Unit(APMatrix4d::TransformDirection(m_transform, n));
    return Out3(n, x, y, z);
}

HRESULT APPlaneFeature::GetReferenceDirection(double* x, double* y, double* z)
{
    if (!x || !y || !z) return E_FAIL;
    if (!m_reference || !m_normal || std::fabs(APVector3d::Dot(*m_normal, *m_reference)) >= 0.0001)
        if (MakeReference() < 0) return E_FAIL;
    APVector3d r = *m_reference;
    if (!APMatrix4d::IsIdentity(m_transform)) r = Unit(APMatrix4d::TransformDirection(m_transform, r));
    return Out3(r, x, y, z);
}

HRESULT APPlaneFeature::ComputeReferenceDirection(double* x, double* y, double* z)
{
    if (!x || !y || !z) return E_FAIL;
    if (!m_reference) {
        if (MakeReference() < 0) return E_FAIL;
    } else {
        if (!m_normal) return E_FAIL;
        *m_normal = Unit(*m_normal);
        *m_reference = Unit(*m_reference);
        if (!APMatrix4d::IsIdentity(m_transform))
            m_reference = APMatrix4d::TransformDirection(m_transform, *m_reference);
        if (std::fabs(APVector3d::Dot(*m_normal, *m_reference)) >= 0.001 && MakeReference() < 0) return E_FAIL;
    }
    return Out3(*m_reference, x, y, z);
}

// ---------------------------------------------------------------------------------------
// Centroid, extent and boundary

HRESULT APPlaneFeature::RealSamples(bool dropClosing, std::vector<APPointList>& out)
{
    out.clear();
    const bool regions = m_geometrySource == 1;
    if (regions && !m_brep) return E_FAIL;
    const int n = regions ? m_brep->numRegions() : static_cast<int>(m_parts.size());
    try {
        std::vector<int> tags;
        for (int i = 0; i < n; ++i) {
            // A region is read once; a part through every tag the modeller lists for it.
            if (regions) tags.assign(1, i);
            else if (GetHbPartTags(m_parts[static_cast<std::size_t>(i)], tags) < 0) return E_FAIL;
            APPointList& list = out.emplace_back();
            for (int tag : tags) {
                int edges = 0, count = 0;
                HRESULT hr = regions ? GetNumRegionBoundaryEdges(tag, &edges) : GetNumHbPartBoundaryEdges(tag, &edges);
                if (hr < 0 || edges < 0) return E_FAIL;
                std::vector<double> xyz(3 * static_cast<std::size_t>(edges) * kSamplesPerEdge + 3);
                hr = regions ? GetRegionBoundaryPoints(tag, kSamplesPerEdge, xyz.data(), &count)
                             : GetHbPartBoundaryPoints(tag, kSamplesPerEdge, xyz.data(), &count);
                if (hr < 0 || count < 0 || count > edges * kSamplesPerEdge) return E_FAIL;
                if (dropClosing && edges == 1 && count > 0) --count;
                for (int k = 0; k < count; ++k) list.Append({xyz[3 * k], xyz[3 * k + 1], xyz[3 * k + 2]});
            }
        }
    } catch (...) {
        return E_FAIL;
    }
    return S_OK;
}

HRESULT APPlaneFeature::GetCentroid(double* x, double* y, double* z)
{
    if (!x || !y || !z) return E_FAIL;
    APVector3d c;
    if (!m_basedOnRealGeometry) {
        APPointList placed;
        PlacedPoints(placed);
        if (!Mean(placed.Data(), placed.Count(), c)) return E_FAIL;
        return Out3(c, x, y, z);
    }
    if (m_geometrySource != 1 && m_geometrySource != 2) return S_OK;
    std::vector<APPointList> samples;
    if (RealSamples(true, samples) < 0) return E_FAIL;
    APPointList all;
    for (const APPointList& list : samples) all.AppendArray(list.Data(), list.GetCount());
    if (!Mean(all.Data(), all.Count(), c)) return E_FAIL;
    return Out3(c, x, y, z);
}

HRESULT APPlaneFeature::GetPartCentroids(int count, double* points)
{
    if (!m_basedOnRealGeometry) return S_OK;
    if (!points) return E_FAIL;
    if (m_geometrySource != 1 && m_geometrySource != 2) {
        APPointList placed;
        PlacedPoints(placed);
        APVector3d c;
        if (!Mean(placed.Data(), placed.Count(), c)) return E_FAIL;
        return Out3(c, &points[0], &points[1], &points[2]);
    }
    if (count < 1) return E_FAIL;
    std::vector<APPointList> samples;
    if (RealSamples(false, samples) < 0) return E_FAIL;
    for (int i = 0; i < count && i < static_cast<int>(samples.size()); ++i) {
        APVector3d c;
        if (!Mean(samples[i].Data(), samples[i].Count(), c)) return E_FAIL;
        Out3(c, &points[3 * i], &points[3 * i + 1], &points[3 * i + 2]);
    }
    return S_OK;
}

HRESULT APPlaneFeature::ComputeExtent(double* extent1, double* extent2, APVector3d& normal, APVector3d& side)
{
    if (!extent1 || !extent2 || !HasDefinition()) return E_FAIL;
    APPointList b;
    if (!m_basedOnRealGeometry) {
        PlacedPoints(b);
    } else {
        if (m_geometrySource != 1 && m_geometrySource != 2) return E_FAIL;
        if (m_geometrySource == 1 && (!m_brep || m_brep->numRegions() < 1)) return E_FAIL;
        std::vector<APPointList> samples;
        if (RealSamples(false, samples) < 0) return E_FAIL;
        for (const APPointList& list : samples) b.AppendArray(list.Data(), list.GetCount());
    }
    if (b.Count() < 2) return E_FAIL;
    APVector3d a, n, y;
    APVector3d::Subtract(b[1], b[0], a);
    if (a.x + a.y + a.z < 0.001) {
        if (b.Count() < 3) return E_FAIL;
        APVector3d::Subtract(b[2], b[0], a);
    }
    if (GetNormal(&n.x, &n.y, &n.z) < 0) return E_FAIL;
    APVector3d::Cross(a, n, y);
    if (IsZero(a) || IsZero(y) || IsZero(n)) return E_FAIL;
    APMatrix4d frame, inverse;
    APMatrix4d::SetFrame(frame, Unit(a), Unit(y), Unit(n), b[0]);
    APMatrix4d::Assign(inverse, frame);
    if (!APMatrix4d::Invert(inverse)) return E_FAIL;
    double minX = DBL_MAX, maxX = -DBL_MAX, minY = DBL_MAX, maxY = -DBL_MAX;
    for (int i = 0; i < b.Count(); ++i) {
        double h[4];
        APMatrix4d::MultiplyPoint(inverse, b[i], h);
        const double px = h[0] / h[3], py = h[1] / h[3];
        minX = std::fmin(minX, px), maxX = std::fmax(maxX, px);
        minY = std::fmin(minY, py), maxY = std::fmax(maxY, py);
    }
    APVector3d c[4] = {{minX, minY, 0.0}, {maxX, minY, 0.0}, {maxX, maxY, 0.0}, {minX, maxY, 0.0}};
    APMatrix4d::TransformPoints(frame, c, 4);
    APVector3d e1, e2;
    APVector3d::Subtract(c[1], c[0], e1);
    APVector3d::Subtract(c[3], c[0], e2);
    *extent1 = Length(e1);
    *extent2 = Length(e2);
    normal = n;
    side = e1;
    return S_OK;
}

HRESULT APPlaneFeature::GetExtent(double* extent1, double* extent2)
{
    if (!extent1 || !extent2) return E_FAIL;
    if (!m_basedOnRealGeometry && m_extent[0] > 0.0) {
        *extent1 = m_extent[0], *extent2 = m_extent[1];
        return S_OK;
    }
    APVector3d n, side;
    return ComputeExtent(extent1, extent2, n, side) < 0 ? E_FAIL : S_OK;
}

HRESULT APPlaneFeature::Project(double* points, int count)
{
    APVector3d c, n;
    if (GetCentroid(&c.x, &c.y, &c.z) < 0 || GetNormal(&n.x, &n.y, &n.z) < 0) return E_FAIL;
    for (int i = 0; i < count; ++i) {
        APVector3d p{points[3 * i], points[3 * i + 1], points[3 * i + 2]}, d, step;
        const double off = APVector3d::Dot(APVector3d::Subtract(p, c, d), n);
        APVector3d::Subtract(p, APVector3d::Scale(n, off, step), p);
        Out3(p, &points[3 * i], &points[3 * i + 1], &points[3 * i + 2]);
    }
    return S_OK;
}

HRESULT APPlaneFeature::GetNumBoundaryEdges(int* count) { return EdgeCount(-1, false, count); }

HRESULT APPlaneFeature::GetNumPartBoundaryEdges(int part, int* count)
{
    if (part < 0) return E_FAIL;
    return EdgeCount(part, false, count);
}

HRESULT APPlaneFeature::GetPartBoundaryPoints(int samples, double* points, int* count)
{
    if (!points || !count) return E_FAIL;
    if (!m_basedOnRealGeometry) {
        APPointList placed;
        PlacedPoints(placed);
        for (int i = 0; i < placed.Count(); ++i) Out3(placed[i], &points[3 * i], &points[3 * i + 1], &points[3 * i + 2]);
        *count = placed.Count();
        return S_OK;
    }
    int n = 0;
    if (GetRegionBoundaryPoints(0, samples, points, &n) < 0 || Project(points, n) < 0) return E_FAIL;
    *count = n;
    return S_OK;
}

HRESULT APPlaneFeature::GetBoundaryPoints(int parts, int samples, double* points, int* count)
{
    if (!points || !count) return E_FAIL;
    if (!m_basedOnRealGeometry) return GetPartBoundaryPoints(samples, points, count);
    int total = 0;
    if (m_geometrySource == 1) {
        if (parts < 1) return E_FAIL;
        for (int r = 0; r < parts; ++r) {
            int n = 0;
            if (GetRegionBoundaryPoints(r, samples, points + 3 * static_cast<std::ptrdiff_t>(total), &n) < 0)
                return E_FAIL;
            total += n;
        }
    } else if (m_geometrySource == 2) {
        if (FirstTagPoints(false, samples, points, &total) < 0) return E_FAIL;
    } else {
        return E_FAIL;
    }
    if (Project(points, total) < 0) return E_FAIL;
    *count = total;
    return S_OK;
}

// ---------------------------------------------------------------------------------------
// Shape, moves, copies, blocks

HRESULT APPlaneFeature::BuildWmBrep()
{
    // Built in the feature's own frame: the transform places the shape when it is handed out.
    APMatrix4d placed;
    APMatrix4d::Assign(placed, m_transform);
    APMatrix4d::SetIdentity(m_transform);
    double e1 = 0.0, e2 = 0.0;
    APVector3d n, side, c;
    HRESULT hr = ComputeExtent(&e1, &e2, n, side);
    if (hr >= 0) hr = GetCentroid(&c.x, &c.y, &c.z);
    APMatrix4d::Assign(m_transform, placed);
    if (hr < 0) return E_FAIL;
    WmBrep* made = nullptr;
    if (!CreatePlaneWmBrep(c, n, side, e1, e2, 1e-8, &made) || !made) return E_FAIL;
    ReleaseGeometry();
    m_brep = made;
    return S_OK;
}

HRESULT APPlaneFeature::TransformDefinition(const double transform[16])
{
    if (!transform) return E_FAIL;
    APMatrix4d m;
    APMatrix4d::SetFromArray(m, transform);
    if (m_normal) {
        APVector3d p[2];
        p[0] = m_points.Count() > 0 ? m_points[0] : APVector3d{};
        APVector3d::Add(p[0], *m_normal, p[1]);
        APMatrix4d::TransformPoints(m, p, 2);
        APVector3d d;
        m_normal = Unit(APVector3d::Subtract(p[1], p[0], d));
    }
    APMatrix4d::TransformPoints(m, m_points);
    return S_OK;
}

HRESULT APPlaneFeature::Clone(IAPElement* target)
{
    auto* copy = static_cast<APPlaneFeature*>(CloneTarget(target, GetRuntimeClass()));
    if (!copy) return E_FAIL;
    if (copy->CopyFeature(*this) < 0) return E_FAIL;
    PlacedPoints(copy->m_points);
    copy->m_extent[0] = m_extent[0], copy->m_extent[1] = m_extent[1];
    const bool placed = !APMatrix4d::IsIdentity(m_transform);
    auto carry = [&](const std::optional<APVector3d>& v) -> std::optional<APVector3d> {
        if (!v) return std::nullopt;
        return placed ? APMatrix4d::TransformDirection(m_transform, *v) : *v;
    };
    copy->m_normal = carry(m_normal);
    copy->m_reference = carry(m_reference);
    copy->m_sense = m_sense;
    return S_OK;
}

HRESULT APPlaneFeature::Serialize(WmObjectStream* stream)
{
    if (!stream || APFeature::Serialize(stream) < 0) return E_FAIL;
    WmObjectStream& s = *stream;
    bool ok = s.write(kPlaneBlockVersion) && s.write(m_points.Count());
    for (int i = 0; ok && i < m_points.Count(); ++i) ok = WriteVector(s, m_points[i]);
    ok = ok && s.write(m_normal.has_value()) && (!m_normal || WriteVector(s, *m_normal));
    ok = ok && s.write(m_extent[0]) && s.write(m_extent[1]) && s.write(m_sense);
    ok = ok && s.write(m_reference.has_value()) && (!m_reference || WriteVector(s, *m_reference));
    return ok ? S_OK : E_FAIL;
}

HRESULT APPlaneFeature::Deserialize(WmObjectStream* stream)
{
    if (!stream || APFeature::Deserialize(stream) < 0) return E_FAIL;
    WmObjectStream& s = *stream;
    int version = 0, count = 0, hasNormal = 0;
    if (!s.read(version) || !s.read(count)) return E_FAIL;
    if (count < 0 || !MayHold(s, static_cast<std::int64_t>(count) * 24)) return E_FAIL;
    APPointList points;
    try {
        points.SetSize(static_cast<unsigned>(count));
    } catch (...) {
        return E_FAIL;
    }
    for (int i = 0; i < count; ++i)
        if (!ReadVector(s, points[i])) return E_FAIL;
    if (!s.read(hasNormal)) return E_FAIL;
    APVector3d normal;
    if (hasNormal && !ReadVector(s, normal)) return E_FAIL;
    double extent[2] = {m_extent[0], m_extent[1]};
    if (version >= 2 && !(s.read(extent[0]) && s.read(extent[1]))) return E_FAIL;
    int sense = m_sense, hasReference = 0;
    if (version >= 3 && !s.read(sense)) return E_FAIL;
    APVector3d reference;
    if (version >= 4 && (!s.read(hasReference) || (hasReference && !ReadVector(s, reference)))) return E_FAIL;

    // The transform just read is folded into the definition.
    const bool placed = !APMatrix4d::IsIdentity(m_transform);
    APMatrix4d::TransformPoints(m_transform, points);
    m_points.Release();
    m_points.AppendArray(points.Data(), points.GetCount());
    if (hasNormal) m_normal = placed ? APMatrix4d::TransformDirection(m_transform, normal) : normal;
    m_extent[0] = extent[0], m_extent[1] = extent[1];
    m_sense = sense;
    if (hasReference) m_reference = placed ? APMatrix4d::TransformDirection(m_transform, reference) : reference;
    APMatrix4d::SetIdentity(m_transform);
    return S_OK;
}
