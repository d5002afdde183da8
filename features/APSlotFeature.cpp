#include "features/APSlotFeature.h"

#include <cmath>

#include "features/APShapeBuilder.h"
#include "platform/toolkit/WmObjectStream.h"

IMPLEMENT_DYNAMIC(APSlotFeature, APFeature)
IMPLEMENT_DYNAMIC(APTabFeature, APFeature)

namespace {

constexpr int kBoxBlockVersion = 1;

double Length(const APVector3d& v) { return std::sqrt(APVector3d::Dot(v, v)); }

bool WriteVector(WmObjectStream& s, const APVector3d& v) { return s.write(v.x) && s.write(v.y) && s.write(v.z); }
bool ReadVector(WmObjectStream& s, APVector3d& v) { return s.read(v.x) && s.read(v.y) && s.read(v.z); }

void Out3(const APVector3d& v, double* x, double* y, double* z) { *x = v.x, *y = v.y, *z = v.z; }

} // namespace

bool APBoxFeature::IsValid() const
{
    return APVector3d::Dot(m_box.second, m_box.second) != 0.0 && APVector3d::Dot(m_box.first, m_box.first) != 0.0 &&
           m_box.size[0] > 0.0 && m_box.size[1] > 0.0;
}

void APBoxFeature::Define(const double v[12])
{
    m_box.anchor = {v[0], v[1], v[2]};
    m_box.first = {v[3], v[4], v[5]};
    m_box.second = {v[6], v[7], v[8]};
    for (int i = 0; i < 3; ++i) m_box.size[i] = v[9 + i];
    APMatrix4d::SetIdentity(m_transform);
    ReleaseGeometry();
    if (m_geometrySource == 1) m_basedOnRealGeometry = 0;
}

HRESULT APSlotFeature::DefineImplicit(double ax, double ay, double az, double d1x, double d1y, double d1z, double d2x,
                                      double d2y, double d2z, double firstSize, double secondSize, double thirdSize)
{
    const double v[12] = {ax, ay, az, d1x, d1y, d1z, d2x, d2y, d2z, firstSize, secondSize, thirdSize};
    Define(v);
    return S_OK;
}

HRESULT APTabFeature::DefineImplicit(double ax, double ay, double az, double d1x, double d1y, double d1z, double d2x,
                                     double d2y, double d2z, double firstSize, double secondSize, double thirdSize,
                                     double extra1, double extra2, double extra3)
{
    const double v[12] = {ax, ay, az, d1x, d1y, d1z, d2x, d2y, d2z, firstSize, secondSize, thirdSize};
    Define(v);
    m_extra[0] = extra1, m_extra[1] = extra2, m_extra[2] = extra3;
    return S_OK;
}

HRESULT APBoxFeature::PlaceBox(const APMatrix4d& m, Box& out) const
{
    if (APMatrix4d::IsIdentity(m)) {
        out = m_box;
        return S_OK;
    }
    APVector3d u1 = m_box.first, u2 = m_box.second, w, step;
    APVector3d::Normalize(u1);
    APVector3d::Normalize(u2);
    // The tab keeps the sine of the angle between its directions in its second size.
    if (m_tab) {
        APVector3d::Cross(u2, u1, w);
    } else {
        APVector3d::Cross(m_box.second, m_box.first, w);
        APVector3d::Normalize(w);
    }
    APVector3d p[4];
    p[0] = m_box.anchor;
    APVector3d::Add(p[0], APVector3d::Scale(u1, m_box.size[0], step), p[1]);
    APVector3d::Add(p[0], APVector3d::Scale(w, m_box.size[1], step), p[2]);
    APVector3d::Add(p[0], APVector3d::Scale(u2, m_box.size[2], step), p[3]);
    APMatrix4d::TransformPoints(m, p, 4);
    APVector3d a, b, c;
    APVector3d::Subtract(p[1], p[0], a);
    APVector3d::Subtract(p[2], p[0], b);
    APVector3d::Subtract(p[3], p[0], c);
    out.anchor = p[0];
    out.size[0] = Length(a);
    out.size[1] = Length(b);
    out.size[2] = Length(c);
    APVector3d::Scale(a, 1.0 / out.size[0], out.first);
    APVector3d::Scale(c, 1.0 / out.size[2], out.second);
    return S_OK;
}

HRESULT APBoxFeature::ComputeCurrentParameters(double anchor[3], double first[3], double second[3],
                                               double* secondSize, double* firstSize, double* thirdSize)
{
    Box b;
    if (!anchor || !first || !second || !secondSize || !firstSize || !thirdSize || PlaceBox(m_transform, b) < 0)
        return E_FAIL;
    Out3(b.anchor, &anchor[0], &anchor[1], &anchor[2]);
    Out3(b.first, &first[0], &first[1], &first[2]);
    Out3(b.second, &second[0], &second[1], &second[2]);
    *firstSize = b.size[0], *secondSize = b.size[1], *thirdSize = b.size[2];
    return S_OK;
}

HRESULT APBoxFeature::GetDimensions(double* first, double* second, double* third)
{
    Box b;
    if (!first || !second || !third || PlaceBox(m_transform, b) < 0) return E_FAIL;
    *first = b.size[0], *second = b.size[1], *third = b.size[2];
    return S_OK;
}

HRESULT APBoxFeature::GetDirection(double* x, double* y, double* z)
{
    Box b;
    if (!x || !y || !z || PlaceBox(m_transform, b) < 0) return E_FAIL;
    Out3(b.first, x, y, z);
    return S_OK;
}

HRESULT APBoxFeature::GetSecondDirection(double* x, double* y, double* z)
{
    Box b;
    if (!x || !y || !z || PlaceBox(m_transform, b) < 0) return E_FAIL;
    Out3(b.second, x, y, z);
    return S_OK;
}

HRESULT APBoxFeature::GetAnchorPoint(double* x, double* y, double* z)
{
    Box b;
    if (!x || !y || !z || PlaceBox(m_transform, b) < 0) return E_FAIL;
    Out3(b.anchor, x, y, z);
    return S_OK;
}

HRESULT APBoxFeature::TransformDefinition(const double transform[16])
{
    if (!transform) return E_FAIL;
    APMatrix4d m;
    APMatrix4d::SetFromArray(m, transform);
    if (APMatrix4d::IsIdentity(m)) return 1;
    Box placed;
    if (PlaceBox(m, placed) < 0) return E_FAIL;
    m_box = placed;
    return S_OK;
}

HRESULT APBoxFeature::BuildWmBrep()
{
    if (!IsValid()) return E_FAIL;
    ReleaseGeometry();
    const APVector3d& d = m_box.second;
    APVector3d c, e;
    APVector3d::Cross(d, m_box.first, c);
    if (c.x == 0.0 && c.y == 0.0 && c.z == 0.0) {
        // Parallel directions: any vector off the second direction will do.
        e = (d.x == 0.0 && d.y == 0.0) ? APVector3d{0.0, -d.z, 0.0} : APVector3d{-d.y, d.x, d.z};
    } else {
        APVector3d::Cross(c, d, e);
    }
    const double gap = m_tab ? m_box.size[1] : 2.0 * m_box.size[1];
    return CreateSlotTabWmBrep(m_box.anchor, d, e, m_box.size[0], gap, m_box.size[2], &m_brep) ? S_OK : E_FAIL;
}

HRESULT APBoxFeature::GetNumFaceEdges(int face, int* count)
{
    if (!m_brep && BuildWmBrep() < 0) return E_FAIL;
    return GetNumFaceBoundaryEdges(face, count);
}

HRESULT APBoxFeature::GetFaceEdgePoints(int face, int samples, double* points, int* count)
{
    if (!m_brep && BuildWmBrep() < 0) return E_FAIL;
    return GetFaceBoundaryPoints(face, samples, points, count) < 0 ? E_FAIL : S_OK;
}

HRESULT APBoxFeature::Serialize(WmObjectStream* stream)
{
    if (!stream || APFeature::Serialize(stream) < 0) return E_FAIL;
    WmObjectStream& s = *stream;
    bool ok = s.write(kBoxBlockVersion) && WriteVector(s, m_box.anchor) && WriteVector(s, m_box.first) &&
              WriteVector(s, m_box.second);
    for (double v : m_box.size) ok = ok && s.write(v);
    if (m_tab)
        for (double v : m_extra) ok = ok && s.write(v);
    return ok ? S_OK : E_FAIL;
}

HRESULT APBoxFeature::Deserialize(WmObjectStream* stream)
{
    if (!stream || APFeature::Deserialize(stream) < 0) return E_FAIL;
    WmObjectStream& s = *stream;
    int version = 0;
    bool ok = s.read(version) && ReadVector(s, m_box.anchor) && ReadVector(s, m_box.first) &&
              ReadVector(s, m_box.second);
    for (double& v : m_box.size) ok = ok && s.read(v);
    if (m_tab)
        for (double& v : m_extra) ok = ok && s.read(v);
    if (!ok) return E_FAIL;
    Box placed;
    if (PlaceBox(m_transform, placed) >= 0) m_box = placed;
    APMatrix4d::SetIdentity(m_transform);
    return S_OK;
}

HRESULT APBoxFeature::Clone(IAPElement* target)
{
    auto* copy = static_cast<APBoxFeature*>(CloneTarget(target, GetRuntimeClass()));
    if (!copy) return E_FAIL;
    if (copy->CopyFeature(*this) < 0) return E_FAIL;
    if (m_tab) std::copy(std::begin(m_extra), std::end(m_extra), std::begin(copy->m_extra));
    PlaceBox(m_transform, copy->m_box);
    return S_OK;
}
