#pragma once
#include "features/APCylinderFeature.h"

// Tapered pin and hole: the cylinder with a draft angle and a second height below the anchor,
// and the value and choice a user interface entered the taper with.
class APConeFeature : public APCylinderFeature {
public:
    virtual HRESULT DefineImplicit(double ax, double ay, double az, double dx, double dy, double dz, double radius,
                                   double height, double draftAngle, double height2, double baseLength,
                                   double baseWidth, double baseDepth);
    virtual HRESULT GetDraftAngle(double* angle);
    virtual HRESULT GetHeight2(double* height2);
    virtual HRESULT SetUIParameters(double inputValue, APTaperParameterSel parameterSel);
    virtual HRESULT GetUIParameters(double* inputValue, APTaperParameterSel* parameterSel);
    // Radius, height, draft angle and second height go out as stored whatever the transform.
    virtual HRESULT ComputeCurrentParameters(double anchor[3], double direction[3], double* radius, double* height,
                                             double* draftAngle, double* height2);
    HRESULT GetRadius(double* radius) override;
    HRESULT GetHeight(double* height) override;

    HRESULT Serialize(WmObjectStream* stream) override;
    HRESULT Deserialize(WmObjectStream* stream) override;
    HRESULT Clone(IAPElement* target) override;

    // The cone's radius at its base (second height below the anchor) and at its top.
    void ConeRadii(double* baseRadius, double* topRadius) const;
    // The cone's base point, second height below the anchor.
    APVector3d ConeBase() const;

protected:
    double m_draftAngle = -3.2;
    double m_height2 = 0.0;
    double m_inputValue = 0.0;
    APTaperParameterSel m_parameterSel = AP_SEL_UNKNOWN;
};

class APTaperedPinFeature : public APConeFeature {
    DECLARE_DYNAMIC(APTaperedPinFeature)

public:
    APTaperedPinFeature() = default;

protected:
    int Build(WmBrep** out) override;
};

class APTaperedHoleFeature : public APConeFeature {
    DECLARE_DYNAMIC(APTaperedHoleFeature)

public:
    APTaperedHoleFeature() = default;

protected:
    int Build(WmBrep** out) override;
};
