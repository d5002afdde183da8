#pragma once
// The cylinder definition shared by pins, holes and their tapered forms: an anchor point on
// the axis, the axis direction, a radius and a height, kept in the feature's own frame.
#include "features/APFeature.h"

// The reference vector of the axis shape builders: the first coordinate axis that the unit
// direction is exactly perpendicular to, else unit direction x z, not normalised.
APVector3d AxisReference(const APVector3d& direction);

class APCylinderFeature : public APFeature {
public:
    virtual HRESULT GetRadius(double* radius);
    virtual HRESULT GetHeight(double* height);
    virtual HRESULT GetDirection(double* x, double* y, double* z);
    virtual HRESULT GetAnchorPoint(double* x, double* y, double* z);

    // Direction of non-zero length, height and radius above 0.
    bool IsValid() const;
    // 1 (nothing changed) for the identity.
    HRESULT TransformDefinition(const double transform[16]) override;
    HRESULT BuildWmBrep() override;

protected:
    struct Axis {
        APVector3d anchor;
        APVector3d direction;
        double radius = -1.0;
        double height = -1.0;
    };

    // The axis carried through `m`: stored values for the identity, else a unit direction.
    static HRESULT PlaceAxis(const APMatrix4d& m, const Axis& in, Axis& out);
    static APVector3d Reference(const APVector3d& direction) { return AxisReference(direction); }
    HRESULT CurrentAxis(Axis& out) const { return PlaceAxis(m_transform, m_axis, out); }
    void Define(const double values[8]);
    // The kind's own builder.
    virtual int Build(WmBrep** out) = 0;
    HRESULT WriteAxis(WmObjectStream& s) const;
    HRESULT ReadAxis(WmObjectStream& s);

    Axis m_axis;
    double m_base[3] = {0.0, 0.0, 0.0};
};
