#include "features/APTolerance.h"

IMPLEMENT_DYNAMIC(APTolerance, APElement)
IMPLEMENT_DYNAMIC(APGDTTolerance, APTolerance)
IMPLEMENT_DYNAMIC(APSizeTolerance, APTolerance)
