#pragma once
// The process operations.
#include "model/APNode.h"

class APOperation : public APNode {
    DECLARE_DYNAMIC(APOperation)

public:
    APOperation() = default;
};

class APAssemblyOperation : public APOperation {
    DECLARE_DYNAMIC(APAssemblyOperation)

public:
    APAssemblyOperation() = default;
};

class APClassicAssemblyOperation : public APOperation {
    DECLARE_DYNAMIC(APClassicAssemblyOperation)

public:
    APClassicAssemblyOperation() = default;
};

class APKinematicAssemblyOperation : public APOperation {
    DECLARE_DYNAMIC(APKinematicAssemblyOperation)

public:
    APKinematicAssemblyOperation() = default;
};

class APFemAssemblyOperation : public APOperation {
    DECLARE_DYNAMIC(APFemAssemblyOperation)

public:
    APFemAssemblyOperation() = default;
};

class APMeasurementOperation : public APOperation {
    DECLARE_DYNAMIC(APMeasurementOperation)

public:
    APMeasurementOperation() = default;
};

class APSPCMeasurementOp : public APOperation {
    DECLARE_DYNAMIC(APSPCMeasurementOp)

public:
    APSPCMeasurementOp() = default;
};

class APCustomOperation : public APOperation {
    DECLARE_DYNAMIC(APCustomOperation)

public:
    APCustomOperation() = default;
};
