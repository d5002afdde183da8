#pragma once
// Tolerances: the base, GD&T and size tolerances.
#include "model/APElement.h"

class APTolerance : public APElement {
    DECLARE_DYNAMIC(APTolerance)

public:
    APTolerance() = default;
    // Each class copies its own selection of fields; none is defined yet.
    HRESULT Clone(IAPElement*) override { return E_FAIL; }
};

class APGDTTolerance : public APTolerance {
    DECLARE_DYNAMIC(APGDTTolerance)

public:
    APGDTTolerance() = default;
};

class APSizeTolerance : public APTolerance {
    DECLARE_DYNAMIC(APSizeTolerance)

public:
    APSizeTolerance() = default;
};
