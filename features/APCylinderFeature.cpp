#include "features/APCylinderFeature.h"

#include <cmath>

#include "features/APShapeBuilder.h"
#include "platform/toolkit/WmBrep.h"
#include "platform/toolkit/WmObjectStream.h"

namespace {

double Length(const APVector3d& v) { return std::sqrt(APVector3d::Dot(v, v)); }

// The first axis that u is exactly perpendicular to, else u x z (not normalised).
APVector3d AxisPerpendicular(const APVector3d& u)
{
    if (u.z == 0.0) return {0.0, 0.0, 1.0};
    if (u.x == 0.0) return {1.0, 0.0, 0.0};
    if (u.y == 0.0) return {0.0, 1.0, 0.0};
    APVector3d n;
    APVector3d::Cross(u, {0.0, 0.0, 1.0}, n);
    return n;
}

} // namespace

APVector3d AxisReference(const APVector3d& direction)
{
    APVector3d d = direction;
    APVector3d::Normalize(d);
    return AxisPerpendicular(d);
}

HRESULT APCylinderFeature::PlaceAxis(const APMatrix4d& m, const Axis& in, Axis& out)
{
    if (APMatrix4d::IsIdentity(m)) {
        out = in;
        return S_OK;
    }
    APVector3d u = in.direction;
    APVector3d::Normalize(u);
    APVector3d n = AxisPerpendicular(u);
    APVector3d::Normalize(n);
    APVector3d p[3];
    p[0] = in.anchor;
    APVector3d step;
    APVector3d::Add(p[0], APVector3d::Scale(u, in.height, step), p[1]);
    APVector3d::Add(p[1], APVector3d::Scale(n, in.radius, step), p[2]);
    APMatrix4d::TransformPoints(m, p, 3);
    APVector3d v, r;
    APVector3d::Subtract(p[1], p[0], v);
    APVector3d::Subtract(p[2], p[1], r);
    out.anchor = p[0];
    out.height = Length(v);
    APVector3d::Normalize(v);
    out.direction = v;
    out.radius = Length(r);
    return S_OK;
}

bool APCylinderFeature::IsValid() const
{
    return APVector3d::Dot(m_axis.direction, m_axis.direction) != 0.0 && m_axis.height > 0.0 && m_axis.radius > 0.0;
}

void APCylinderFeature::Define(const double v[8])
{
    m_axis.anchor = {v[0], v[1], v[2]};
    m_axis.direction = {v[3], v[4], v[5]};
    m_axis.radius = v[6];
    m_axis.height = v[7];
    APMatrix4d::SetIdentity(m_transform);
    ReleaseGeometry();
    if (m_geometrySource == 1) m_basedOnRealGeometry = 0;
}

HRESULT APCylinderFeature::TransformDefinition(const double transform[16])
{
    if (!transform) return E_FAIL;
    APMatrix4d m;
    APMatrix4d::SetFromArray(m, transform);
    if (APMatrix4d::IsIdentity(m)) return 1;
    Axis placed;
    if (PlaceAxis(m, m_axis, placed) < 0) return E_FAIL;
    m_axis = placed;
    return S_OK;
}

HRESULT APCylinderFeature::BuildWmBrep()
{
    if (!IsValid()) return E_FAIL;
    ReleaseGeometry();
    return Build(&m_brep) ? S_OK : E_FAIL;
}

HRESULT APCylinderFeature::GetRadius(double* radius)
{
    Axis a;
    if (!radius || CurrentAxis(a) < 0) return E_FAIL;
    *radius = a.radius;
    return S_OK;
}

HRESULT APCylinderFeature::GetHeight(double* height)
{
    Axis a;
    if (!height || CurrentAxis(a) < 0) return E_FAIL;
    *height = a.height;
    return S_OK;
}

HRESULT APCylinderFeature::GetDirection(double* x, double* y, double* z)
{
    Axis a;
    if (!x || !y || !z || CurrentAxis(a) < 0) return E_FAIL;
    *x = a.direction.x, *y = a.direction.y, *z = a.direction.z;
    return S_OK;
}

HRESULT APCylinderFeature::GetAnchorPoint(double* x, double* y, double* z)
{
    Axis a;
    if (!x || !y || !z || CurrentAxis(a) < 0) return E_FAIL;
    *x = a.anchor.x, *y = a.anchor.y, *z = a.anchor.z;
    return S_OK;
}

HRESULT APCylinderFeature::WriteAxis(WmObjectStream& s) const
{
    const APVector3d& p = m_axis.anchor;
    const APVector3d& d = m_axis.direction;
    bool ok = s.write(p.x) && s.write(p.y) && s.write(p.z) && s.write(d.x) && s.write(d.y) && s.write(d.z);
    ok = ok && s.write(m_axis.radius) && s.write(m_axis.height);
    ok = ok && s.write(m_base[0]) && s.write(m_base[1]) && s.write(m_base[2]);
    return ok ? S_OK : E_FAIL;
}

HRESULT APCylinderFeature::ReadAxis(WmObjectStream& s)
{
    APVector3d& p = m_axis.anchor;
    APVector3d& d = m_axis.direction;
    bool ok = s.read(p.x) && s.read(p.y) && s.read(p.z) && s.read(d.x) && s.read(d.y) && s.read(d.z);
    ok = ok && s.read(m_axis.radius) && s.read(m_axis.height);
    ok = ok && s.read(m_base[0]) && s.read(m_base[1]) && s.read(m_base[2]);
    return ok ? S_OK : E_FAIL;
}
