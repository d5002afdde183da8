#pragma once
#include <optional>

#include "features/APFeature.h"

// What plane and surface share: defining points, and the real-geometry queries that count
// parts and boundary edges; both let go of related features and the owner that are
// destroyed.
class APPointSetFeature : public APFeature {
public:
    virtual HRESULT GetNumGeometryParts(int* count);
    // At least 3 defining points, or real geometry.
    virtual BOOL HasDefinition();
    HRESULT Notify(unsigned long command, IAPElement* element) override;

protected:
    // Edges of region or part `part`; part -1 is the whole: region 0, or the last part.
    HRESULT EdgeCount(int part, bool surface, int* count);
    // The boundary points of every part, each read on the first of its tags, appended at
    // `*total` points into `points`; `*total` grows by what was written.
    HRESULT FirstTagPoints(bool surface, int samples, double* points, int* total);
    // The defining points placed by the feature transform.
    void PlacedPoints(APPointList& out) const;
    HRESULT SetPoints(const double* points, int count, APPointList& list);

    APPointList m_points;
};

// A planar face: by points (with an optional normal), implicitly (centre, normal, two
// extents), or from real geometry.
class APPlaneFeature : public APPointSetFeature {
    DECLARE_DYNAMIC(APPlaneFeature)

public:
    APPlaneFeature() = default;

    virtual HRESULT GetNumBoundaryEdges(int* count);
    virtual HRESULT GetNumPartBoundaryEdges(int part, int* count);
    virtual HRESULT GetPartBoundaryPoints(int samples, double* points, int* count);
    virtual HRESULT GetBoundaryPoints(int parts, int samples, double* points, int* count);
    virtual HRESULT GetExtent(double* extent1, double* extent2);
    virtual HRESULT GetNormal(double* x, double* y, double* z);
    virtual HRESULT GetCentroid(double* x, double* y, double* z);
    virtual HRESULT DefinePlaneImplicit(double cx, double cy, double cz, double nx, double ny, double nz,
                                        double extent1, double extent2);
    // `normal` may be null.
    virtual HRESULT DefinePlaneByPoints(const double* points, int count, const double* normal);
    virtual HRESULT SetNormalSensePositive();
    virtual HRESULT SetNormalSenseNegative();
    virtual HRESULT GetNormalSense(int* sense);
    virtual HRESULT GetReferenceDirection(double* x, double* y, double* z);
    virtual HRESULT GetPartCentroids(int count, double* points);
    // 1 and the unit normal of the first non-degenerate triple, else 0 and (0, 0, 0).
    virtual BOOL ComputeNormalFromThreePoints(const APPointList& points, APVector3d& normal);
    virtual HRESULT ComputeExtent(double* extent1, double* extent2, APVector3d& normal, APVector3d& side);
    virtual HRESULT TransformPointsByFeature(APPointList& points);
    virtual HRESULT ComputeReferenceDirection(double* x, double* y, double* z);

    // A vector perpendicular to v (not normalised); false when v is zero.
    static bool PerpendicularVector(const APVector3d& v, APVector3d& w);

    HRESULT BuildWmBrep() override;
    HRESULT TransformDefinition(const double transform[16]) override;
    HRESULT Serialize(WmObjectStream* stream) override;
    HRESULT Deserialize(WmObjectStream* stream) override;
    HRESULT Clone(IAPElement* target) override;

    static constexpr int kPlaneBlockVersion = 4;

private:
    // Boundary samples of the real geometry, 10 per edge; `dropClosing` leaves out the
    // repeated start of a region or part with a single edge. Each region or part is one list.
    HRESULT RealSamples(bool dropClosing, std::vector<APPointList>& out);
    HRESULT Project(double* points, int count);
    HRESULT MakeReference();

    std::optional<APVector3d> m_normal;
    int m_sense = 1;
    double m_extent[2] = {-200.0, -200.0};
    std::optional<APVector3d> m_reference;
};
