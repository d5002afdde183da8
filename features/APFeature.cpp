#include "features/APFeature.h"

IMPLEMENT_DYNAMIC(APFeature, APGeometryNode)
IMPLEMENT_DYNAMIC(APPinFeature, APFeature)
IMPLEMENT_DYNAMIC(APHoleFeature, APFeature)
IMPLEMENT_DYNAMIC(APTaperedPinFeature, APFeature)
IMPLEMENT_DYNAMIC(APTaperedHoleFeature, APFeature)
IMPLEMENT_DYNAMIC(APSlotFeature, APFeature)
IMPLEMENT_DYNAMIC(APTabFeature, APFeature)
IMPLEMENT_DYNAMIC(APPlaneFeature, APFeature)
IMPLEMENT_DYNAMIC(APPointFeature, APFeature)
IMPLEMENT_DYNAMIC(APSurfaceFeature, APFeature)
IMPLEMENT_DYNAMIC(APPatternFeature, APFeature)
