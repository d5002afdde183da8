#include "model/APOperation.h"

IMPLEMENT_DYNAMIC(APOperation, APNode)
IMPLEMENT_DYNAMIC(APAssemblyOperation, APOperation)
IMPLEMENT_DYNAMIC(APClassicAssemblyOperation, APOperation)
IMPLEMENT_DYNAMIC(APKinematicAssemblyOperation, APOperation)
IMPLEMENT_DYNAMIC(APFemAssemblyOperation, APOperation)
IMPLEMENT_DYNAMIC(APMeasurementOperation, APOperation)
IMPLEMENT_DYNAMIC(APSPCMeasurementOp, APOperation)
IMPLEMENT_DYNAMIC(APCustomOperation, APOperation)
