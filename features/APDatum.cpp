#include "features/APDatum.h"

IMPLEMENT_DYNAMIC(APDatum, APElement)
IMPLEMENT_DYNAMIC(APDRF, APElement)
