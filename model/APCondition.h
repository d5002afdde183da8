#pragma once
// A condition comparing the results of one or two measurement operations.
#include "model/APElement.h"

class APCondition : public APElement {
    DECLARE_DYNAMIC(APCondition)

public:
    APCondition() = default;
    // Each class copies its own selection of fields; none is defined yet.
    HRESULT Clone(IAPElement*) override { return E_FAIL; }
};
