#pragma once
// Datums and datum reference frames.
#include "model/APElement.h"

class APDatum : public APElement {
    DECLARE_DYNAMIC(APDatum)

public:
    APDatum() = default;
    // Each class copies its own selection of fields; none is defined yet.
    HRESULT Clone(IAPElement*) override { return E_FAIL; }
};

class APDRF : public APElement {
    DECLARE_DYNAMIC(APDRF)

public:
    APDRF() = default;
    // Each class copies its own selection of fields; none is defined yet.
    HRESULT Clone(IAPElement*) override { return E_FAIL; }
};
