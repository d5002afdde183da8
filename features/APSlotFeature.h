#pragma once
#include "features/APFeature.h"

// Slot and tab: boxes given by an anchor point, a first and a second direction and three
// sizes (along the first direction, along second x first, along the second direction).
class APBoxFeature : public APFeature {
public:
    virtual HRESULT GetNumFaceEdges(int face, int* count);
    virtual HRESULT GetFaceEdgePoints(int face, int samples, double* points, int* count);
    // First, second and third size.
    virtual HRESULT GetDimensions(double* first, double* second, double* third);
    virtual HRESULT GetDirection(double* x, double* y, double* z);
    virtual HRESULT GetSecondDirection(double* x, double* y, double* z);
    virtual HRESULT GetAnchorPoint(double* x, double* y, double* z);
    // Note the order of the sizes: second, first, third.
    virtual HRESULT ComputeCurrentParameters(double anchor[3], double first[3], double second[3], double* secondSize,
                                             double* firstSize, double* thirdSize);

    bool IsValid() const;
    HRESULT TransformDefinition(const double transform[16]) override;
    HRESULT BuildWmBrep() override;
    HRESULT Serialize(WmObjectStream* stream) override;
    HRESULT Deserialize(WmObjectStream* stream) override;
    HRESULT Clone(IAPElement* target) override;

protected:
    struct Box {
        APVector3d anchor, first, second;
        double size[3] = {-1.0, -1.0, 0.0};
    };

    explicit APBoxFeature(bool tab) : m_tab(tab) { m_box.size[2] = tab ? -1.0 : 0.0; }
    HRESULT PlaceBox(const APMatrix4d& m, Box& out) const;
    void Define(const double values[12]);

    Box m_box;
    double m_extra[3] = {0.0, 0.0, 0.0}; // tab only
    const bool m_tab;
};

class APSlotFeature : public APBoxFeature {
    DECLARE_DYNAMIC(APSlotFeature)

public:
    APSlotFeature() : APBoxFeature(false) {}
    virtual HRESULT DefineImplicit(double ax, double ay, double az, double d1x, double d1y, double d1z, double d2x,
                                   double d2y, double d2z, double firstSize, double secondSize, double thirdSize);
};

class APTabFeature : public APBoxFeature {
    DECLARE_DYNAMIC(APTabFeature)

public:
    APTabFeature() : APBoxFeature(true) {}
    virtual HRESULT DefineImplicit(double ax, double ay, double az, double d1x, double d1y, double d1z, double d2x,
                                   double d2y, double d2z, double firstSize, double secondSize, double thirdSize,
                                   double extra1, double extra2, double extra3);
};
