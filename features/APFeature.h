#pragma once
// Features on parts: the base and its ten kinds.
#include "model/APNode.h"

class APFeature : public APGeometryNode {
    DECLARE_DYNAMIC(APFeature)

public:
    APFeature() = default;
};

class APPinFeature : public APFeature {
    DECLARE_DYNAMIC(APPinFeature)

public:
    APPinFeature() = default;
};

class APHoleFeature : public APFeature {
    DECLARE_DYNAMIC(APHoleFeature)

public:
    APHoleFeature() = default;
};

class APTaperedPinFeature : public APFeature {
    DECLARE_DYNAMIC(APTaperedPinFeature)

public:
    APTaperedPinFeature() = default;
};

class APTaperedHoleFeature : public APFeature {
    DECLARE_DYNAMIC(APTaperedHoleFeature)

public:
    APTaperedHoleFeature() = default;
};

class APSlotFeature : public APFeature {
    DECLARE_DYNAMIC(APSlotFeature)

public:
    APSlotFeature() = default;
};

class APTabFeature : public APFeature {
    DECLARE_DYNAMIC(APTabFeature)

public:
    APTabFeature() = default;
};

class APPlaneFeature : public APFeature {
    DECLARE_DYNAMIC(APPlaneFeature)

public:
    APPlaneFeature() = default;
};

class APPointFeature : public APFeature {
    DECLARE_DYNAMIC(APPointFeature)

public:
    APPointFeature() = default;
};

class APSurfaceFeature : public APFeature {
    DECLARE_DYNAMIC(APSurfaceFeature)

public:
    APSurfaceFeature() = default;
};

class APPatternFeature : public APFeature {
    DECLARE_DYNAMIC(APPatternFeature)

public:
    APPatternFeature() = default;
};
