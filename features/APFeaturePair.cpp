#include "features/APFeaturePair.h"

IMPLEMENT_DYNAMIC(APFeaturePair, APElement)
