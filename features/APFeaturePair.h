#pragma once
// Ties object features to target features within an operation.
#include "model/APElement.h"

class APFeaturePair : public APElement {
    DECLARE_DYNAMIC(APFeaturePair)

public:
    APFeaturePair() = default;
    // Each class copies its own selection of fields; none is defined yet.
    HRESULT Clone(IAPElement*) override { return E_FAIL; }
};
