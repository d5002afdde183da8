#pragma once
#include "features/APCylinderFeature.h"

// What pin and hole share; they differ only in the shape they build.
class APStraightCylinderFeature : public APCylinderFeature {
public:
    // Anchor, direction, radius, height, base length, width and depth, stored as given.
    virtual HRESULT DefineImplicit(double ax, double ay, double az, double dx, double dy, double dz, double radius,
                                   double height, double baseLength, double baseWidth, double baseDepth);
    virtual HRESULT ComputeCurrentParameters(double anchor[3], double direction[3], double* radius, double* height);

    HRESULT Serialize(WmObjectStream* stream) override;
    HRESULT Deserialize(WmObjectStream* stream) override;
    HRESULT Clone(IAPElement* target) override;
};

class APPinFeature : public APStraightCylinderFeature {
    DECLARE_DYNAMIC(APPinFeature)

public:
    APPinFeature() = default;

protected:
    int Build(WmBrep** out) override;
};

class APHoleFeature : public APStraightCylinderFeature {
    DECLARE_DYNAMIC(APHoleFeature)

public:
    APHoleFeature() = default;

protected:
    int Build(WmBrep** out) override;
};
