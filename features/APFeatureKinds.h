#pragma once
// The ten feature kinds.
#include "features/APPinFeature.h"
#include "features/APPlaneFeature.h"
#include "features/APPointFeature.h"
#include "features/APSlotFeature.h"
#include "features/APSurfaceFeature.h"
#include "features/APTaperedFeature.h"
