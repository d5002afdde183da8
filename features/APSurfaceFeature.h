#pragma once
#include "features/APPlaneFeature.h"

// A free-form surface known by points with a vector at each, or by the real geometry; it
// answers boundary points with normals and builds no shape of its own. The points are not
// written to the document file.
class APSurfaceFeature : public APPointSetFeature {
    DECLARE_DYNAMIC(APSurfaceFeature)

public:
    APSurfaceFeature() = default;

    virtual HRESULT GetNumBoundaryEdges(int* count);
    virtual HRESULT GetNumPartBoundaryEdges(int part, int* count);
    virtual HRESULT GetPartBoundaryPoints(int samples, double* points, double* normals, int* count);
    virtual HRESULT GetBoundaryPoints(int parts, int samples, double* points, double* normals, int* count);
    virtual HRESULT DefineSurfaceByPoints(const double* points, int count, const double* vectors);

    HRESULT BuildWmBrep() override { return E_NOTIMPL; }
    HRESULT TransformDefinition(const double*) override { return E_NOTIMPL; }
    HRESULT Serialize(WmObjectStream* stream) override;
    HRESULT Deserialize(WmObjectStream* stream) override;
    HRESULT Clone(IAPElement* target) override;

private:
    APPointList m_vectors;
};

// Stands for a pattern of like features; records only which kind it repeats.
class APPatternFeature : public APFeature {
    DECLARE_DYNAMIC(APPatternFeature)

public:
    APPatternFeature() = default;
    virtual HRESULT SetPatternFeatureType(APFeatureType type);
    virtual HRESULT GetPatternFeatureType(APFeatureType* type);

    HRESULT BuildWmBrep() override { return E_NOTIMPL; }
    HRESULT TransformDefinition(const double*) override { return E_NOTIMPL; }
    HRESULT Serialize(WmObjectStream* stream) override;
    HRESULT Deserialize(WmObjectStream* stream) override;
    HRESULT Clone(IAPElement* target) override;

private:
    APFeatureType m_type = AP_FEATURE_UNKNOWN;
};
