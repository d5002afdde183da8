#include "model/APCondition.h"

IMPLEMENT_DYNAMIC(APCondition, APElement)
