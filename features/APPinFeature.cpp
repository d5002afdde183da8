#include "features/APPinFeature.h"

#include "features/APShapeBuilder.h"
#include "platform/toolkit/WmObjectStream.h"

IMPLEMENT_DYNAMIC(APPinFeature, APFeature)
IMPLEMENT_DYNAMIC(APHoleFeature, APFeature)

namespace {
constexpr int kCylinderBlockVersion = 1;

void Out3(const APVector3d& v, double out[3])
{
    out[0] = v.x, out[1] = v.y, out[2] = v.z;
}
} // namespace

HRESULT APStraightCylinderFeature::DefineImplicit(double ax, double ay, double az, double dx, double dy, double dz,
                                                  double radius, double height, double baseLength, double baseWidth,
                                                  double baseDepth)
{
    const double values[8] = {ax, ay, az, dx, dy, dz, radius, height};
    Define(values);
    m_base[0] = baseLength, m_base[1] = baseWidth, m_base[2] = baseDepth;
    return S_OK;
}

HRESULT APStraightCylinderFeature::ComputeCurrentParameters(double anchor[3], double direction[3], double* radius,
                                                            double* height)
{
    Axis a;
    if (!anchor || !direction || !radius || !height || CurrentAxis(a) < 0) return E_FAIL;
    Out3(a.anchor, anchor);
    Out3(a.direction, direction);
    *radius = a.radius;
    *height = a.height;
    return S_OK;
}

HRESULT APStraightCylinderFeature::Serialize(WmObjectStream* stream)
{
    if (!stream || APFeature::Serialize(stream) < 0) return E_FAIL;
    if (!stream->write(kCylinderBlockVersion)) return E_FAIL;
    return WriteAxis(*stream);
}

HRESULT APStraightCylinderFeature::Deserialize(WmObjectStream* stream)
{
    if (!stream || APFeature::Deserialize(stream) < 0) return E_FAIL;
    int version = 0;
    if (!stream->read(version) || ReadAxis(*stream) < 0) return E_FAIL;
    // The definition is kept unplaced from here on.
    CurrentAxis(m_axis);
    APMatrix4d::SetIdentity(m_transform);
    return S_OK;
}

HRESULT APStraightCylinderFeature::Clone(IAPElement* target)
{
    auto* copy = static_cast<APStraightCylinderFeature*>(CloneTarget(target, GetRuntimeClass()));
    if (!copy) return E_FAIL;
    if (copy->CopyFeature(*this) < 0) return E_FAIL;
    std::copy(std::begin(m_base), std::end(m_base), std::begin(copy->m_base));
    CurrentAxis(copy->m_axis);
    return S_OK;
}

int APPinFeature::Build(WmBrep** out)
{
    return CreatePinWmBrep(m_axis.anchor, m_axis.direction, Reference(m_axis.direction), m_axis.height, m_axis.radius,
                           0, out);
}

int APHoleFeature::Build(WmBrep** out)
{
    return CreateHoleWmBrep(m_axis.anchor, m_axis.direction, Reference(m_axis.direction), m_axis.height,
                            m_axis.radius, out);
}
