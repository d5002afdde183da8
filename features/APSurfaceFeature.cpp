#include "features/APSurfaceFeature.h"

#include "platform/toolkit/WmObjectStream.h"

IMPLEMENT_DYNAMIC(APSurfaceFeature, APFeature)
IMPLEMENT_DYNAMIC(APPatternFeature, APFeature)

namespace {
constexpr int kSurfaceBlockVersion = 2;
constexpr int kPatternBlockVersion = 1;
} // namespace

HRESULT APSurfaceFeature::DefineSurfaceByPoints(const double* points, int count, const double* vectors)
{
    if (count > 0 && !vectors) return E_FAIL;
    APPointList p, v;
    try {
        if (SetPoints(points, count, p) < 0 || SetPoints(vectors, count, v) < 0) return E_FAIL;
    } catch (...) {
        return E_FAIL;
    }
    m_points.Release();
    m_points.AppendArray(p.Data(), p.GetCount());
    m_vectors.Release();
    m_vectors.AppendArray(v.Data(), v.GetCount());
    APMatrix4d::SetIdentity(m_transform);
    ReleaseGeometry();
    if (m_geometrySource == 1) m_basedOnRealGeometry = 0;
    return S_OK;
}

HRESULT APSurfaceFeature::GetNumBoundaryEdges(int* count) { return EdgeCount(-1, true, count); }

HRESULT APSurfaceFeature::GetNumPartBoundaryEdges(int part, int* count)
{
    if (part < 0) return E_FAIL;
    return EdgeCount(part, true, count);
}

HRESULT APSurfaceFeature::GetPartBoundaryPoints(int samples, double* points, double* normals, int* count)
{
    if (!points || !count) return E_FAIL;
    if (m_basedOnRealGeometry) return GetRegionBoundaryPointsWithNormals(0, samples, points, normals, count);
    APPointList placed;
    PlacedPoints(placed);
    for (int i = 0; i < placed.Count(); ++i) {
        points[3 * i] = placed[i].x;
        points[3 * i + 1] = placed[i].y;
        points[3 * i + 2] = placed[i].z;
    }
    *count = placed.Count();
    return S_OK;
}

HRESULT APSurfaceFeature::GetBoundaryPoints(int parts, int samples, double* points, double* normals, int* count)
{
    if (!points || !count) return E_FAIL;
    if (!m_basedOnRealGeometry) return GetPartBoundaryPoints(samples, points, normals, count);
    int total = 0;
    if (m_geometrySource == 1) {
        if (parts < 1 || !normals) return E_FAIL;
        for (int r = 0; r < parts; ++r) {
            int n = 0;
            const std::ptrdiff_t at = 3 * static_cast<std::ptrdiff_t>(total);
            if (GetRegionBoundaryPointsWithNormals(r, samples, points + at, normals + at, &n) < 0) return E_FAIL;
            total += n;
        }
    } else if (m_geometrySource == 2) {
        if (FirstTagPoints(true, samples, points, &total) < 0) return E_FAIL;
    } else {
        return E_FAIL;
    }
    *count = total;
    return S_OK;
}

HRESULT APSurfaceFeature::Clone(IAPElement* target)
{
    auto* copy = static_cast<APSurfaceFeature*>(CloneTarget(target, GetRuntimeClass()));
    if (!copy) return E_FAIL;
    if (copy->CopyFeature(*this) < 0) return E_FAIL;
    // The points are copied as they stand, unplaced.
    copy->m_points.Release();
    copy->m_points.AppendArray(m_points.Data(), m_points.GetCount());
    copy->m_vectors.Release();
    copy->m_vectors.AppendArray(m_vectors.Data(), m_vectors.GetCount());
    return S_OK;
}

HRESULT APSurfaceFeature::Serialize(WmObjectStream* stream)
{
    if (!stream || APFeature::Serialize(stream) < 0) return E_FAIL;
    return WriteVersionWord(stream, kSurfaceBlockVersion);
}

HRESULT APSurfaceFeature::Deserialize(WmObjectStream* stream)
{
    if (!stream || APFeature::Deserialize(stream) < 0 || SkipVersionWord(stream) < 0) return E_FAIL;
    APMatrix4d::SetIdentity(m_transform);
    return S_OK;
}

HRESULT APPatternFeature::SetPatternFeatureType(APFeatureType type)
{
    m_type = type;
    return S_OK;
}

HRESULT APPatternFeature::GetPatternFeatureType(APFeatureType* type)
{
    if (!type) return E_FAIL;
    *type = m_type;
    return S_OK;
}

HRESULT APPatternFeature::Clone(IAPElement* target)
{
    auto* copy = static_cast<APPatternFeature*>(CloneTarget(target, GetRuntimeClass()));
    if (!copy) return E_FAIL;
    if (copy->CopyFeature(*this) < 0) return E_FAIL;
    copy->m_type = m_type;
    return S_OK;
}

HRESULT APPatternFeature::Serialize(WmObjectStream* stream)
{
    if (!stream || APFeature::Serialize(stream) < 0) return E_FAIL;
    return stream->write(kPatternBlockVersion) && stream->write(static_cast<int>(m_type)) ? S_OK : E_FAIL;
}

HRESULT APPatternFeature::Deserialize(WmObjectStream* stream)
{
    if (!stream || APFeature::Deserialize(stream) < 0) return E_FAIL;
    int version = 0, type = 0;
    if (!stream->read(version) || !stream->read(type)) return E_FAIL;
    m_type = static_cast<APFeatureType>(type);
    // Geometry read with the block stands placed already.
    if (m_basedOnRealGeometry) APMatrix4d::SetIdentity(m_transform);
    return S_OK;
}
