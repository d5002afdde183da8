#include "features/APTaperedFeature.h"

#include <cmath>

#include "features/APShapeBuilder.h"
#include "platform/toolkit/WmObjectStream.h"

IMPLEMENT_DYNAMIC(APTaperedPinFeature, APFeature)
IMPLEMENT_DYNAMIC(APTaperedHoleFeature, APFeature)

namespace {
constexpr int kConeBlockVersion = 1;
} // namespace

HRESULT APConeFeature::DefineImplicit(double ax, double ay, double az, double dx, double dy, double dz, double radius,
                                      double height, double draftAngle, double height2, double baseLength,
                                      double baseWidth, double baseDepth)
{
    const double values[8] = {ax, ay, az, dx, dy, dz, radius, height};
    Define(values);
    m_draftAngle = draftAngle;
    m_height2 = height2;
    m_base[0] = baseLength, m_base[1] = baseWidth, m_base[2] = baseDepth;
    return S_OK;
}

HRESULT APConeFeature::ComputeCurrentParameters(double anchor[3], double direction[3], double* radius, double* height,
                                                double* draftAngle, double* height2)
{
    Axis a;
    if (!anchor || !direction || !radius || !height || !draftAngle || !height2 || CurrentAxis(a) < 0) return E_FAIL;
    anchor[0] = a.anchor.x, anchor[1] = a.anchor.y, anchor[2] = a.anchor.z;
    direction[0] = a.direction.x, direction[1] = a.direction.y, direction[2] = a.direction.z;
    // The taper is kept as entered; only the axis moves.
    *radius = m_axis.radius;
    *height = m_axis.height;
    *draftAngle = m_draftAngle;
    *height2 = m_height2;
    return S_OK;
}

HRESULT APConeFeature::GetRadius(double* radius)
{
    if (!radius) return E_FAIL;
    *radius = m_axis.radius;
    return S_OK;
}

HRESULT APConeFeature::GetHeight(double* height)
{
    if (!height) return E_FAIL;
    *height = m_axis.height;
    return S_OK;
}

HRESULT APConeFeature::GetDraftAngle(double* angle)
{
    if (!angle) return E_FAIL;
    *angle = m_draftAngle;
    return S_OK;
}

HRESULT APConeFeature::GetHeight2(double* height2)
{
    if (!height2) return E_FAIL;
    *height2 = m_height2;
    return S_OK;
}

HRESULT APConeFeature::SetUIParameters(double inputValue, APTaperParameterSel parameterSel)
{
    m_inputValue = inputValue;
    m_parameterSel = parameterSel;
    return S_OK;
}

HRESULT APConeFeature::GetUIParameters(double* inputValue, APTaperParameterSel* parameterSel)
{
    if (!inputValue || !parameterSel) return E_FAIL;
    *inputValue = m_inputValue;
    *parameterSel = m_parameterSel;
    return S_OK;
}

void APConeFeature::ConeRadii(double* baseRadius, double* topRadius) const
{
    const double k = 2.0 * std::tan(0.5 * m_draftAngle);
    const double q = std::fabs(2.0 * m_axis.radius - m_axis.height * k);
    *topRadius = 0.5 * q;
    *baseRadius = 0.5 * std::fabs(q + k * (m_axis.height + m_height2));
}

APVector3d APConeFeature::ConeBase() const
{
    APVector3d u = m_axis.direction, step, base;
    APVector3d::Normalize(u);
    return APVector3d::Subtract(m_axis.anchor, APVector3d::Scale(u, m_height2, step), base);
}

HRESULT APConeFeature::Serialize(WmObjectStream* stream)
{
    if (!stream || APFeature::Serialize(stream) < 0) return E_FAIL;
    if (!stream->write(kConeBlockVersion) || WriteAxis(*stream) < 0) return E_FAIL;
    const bool ok = stream->write(m_draftAngle) && stream->write(m_height2) &&
                    stream->write(static_cast<int>(m_parameterSel)) && stream->write(m_inputValue);
    return ok ? S_OK : E_FAIL;
}

HRESULT APConeFeature::Deserialize(WmObjectStream* stream)
{
    if (!stream || APFeature::Deserialize(stream) < 0) return E_FAIL;
    int version = 0, sel = 0;
    if (!stream->read(version) || ReadAxis(*stream) < 0) return E_FAIL;
    if (!stream->read(m_draftAngle) || !stream->read(m_height2) || !stream->read(sel) || !stream->read(m_inputValue))
        return E_FAIL;
    m_parameterSel = static_cast<APTaperParameterSel>(sel);
    Axis placed;
    if (CurrentAxis(placed) >= 0) {
        m_axis.anchor = placed.anchor;
        m_axis.direction = placed.direction;
    }
    APMatrix4d::SetIdentity(m_transform);
    return S_OK;
}

HRESULT APConeFeature::Clone(IAPElement* target)
{
    auto* copy = static_cast<APConeFeature*>(CloneTarget(target, GetRuntimeClass()));
    if (!copy) return E_FAIL;
    if (copy->CopyFeature(*this) < 0) return E_FAIL;
    std::copy(std::begin(m_base), std::end(m_base), std::begin(copy->m_base));
    copy->m_inputValue = m_inputValue;
    copy->m_parameterSel = m_parameterSel;
    Axis placed;
    if (CurrentAxis(placed) >= 0) {
        copy->m_axis.anchor = placed.anchor;
        copy->m_axis.direction = placed.direction;
    }
    copy->m_axis.radius = m_axis.radius;
    copy->m_axis.height = m_axis.height;
    copy->m_draftAngle = m_draftAngle;
    copy->m_height2 = m_height2;
    return S_OK;
}

int APTaperedPinFeature::Build(WmBrep** out)
{
    double baseRadius = 0.0, topRadius = 0.0;
    ConeRadii(&baseRadius, &topRadius);
    return CreateTaperedPinWmBrep(ConeBase(), m_axis.direction, Reference(m_axis.direction),
                                  m_axis.height + m_height2, baseRadius, topRadius, 0, out);
}

int APTaperedHoleFeature::Build(WmBrep** out)
{
    double baseRadius = 0.0, topRadius = 0.0;
    ConeRadii(&baseRadius, &topRadius);
    return CreateTaperedHoleWmBrep(ConeBase(), m_axis.direction, Reference(m_axis.direction),
                                   m_axis.height + m_height2, baseRadius, topRadius, out);
}
