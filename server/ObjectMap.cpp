#include "server/ObjectMap.h"

#include "com/CAPElementClasses.h"
#include "com/CAPPointerList.h"
#include "com/CAPProperty.h"
#include "com/RegistryIds.h"
#include "document/CAPDocument.h"

namespace {

BEGIN_OBJECT_MAP(ObjectMap)
OBJECT_ENTRY(CLSID_APPointerList, CAPPointerList)
OBJECT_ENTRY(CLSID_APFixtureNode, CAPFixtureNode)
OBJECT_ENTRY(CLSID_APNodeInstance, CAPNodeInstance)
OBJECT_ENTRY(CLSID_APMeasurementOperation, CAPMeasurementOperation)
OBJECT_ENTRY(CLSID_APAssemblyOperation, CAPAssemblyOperation)
OBJECT_ENTRY(CLSID_APClassicAssemblyOperation, CAPClassicAssemblyOperation)
OBJECT_ENTRY(CLSID_APKinematicAssemblyOperation, CAPKinematicAssemblyOperation)
OBJECT_ENTRY(CLSID_APFemAssemblyOperation, CAPFemAssemblyOperation)
OBJECT_ENTRY(CLSID_APAssemblyNode, CAPAssemblyNode)
OBJECT_ENTRY(CLSID_APPartNode, CAPPartNode)
OBJECT_ENTRY(CLSID_APPinFeature, CAPPinFeature)
OBJECT_ENTRY(CLSID_APHoleFeature, CAPHoleFeature)
OBJECT_ENTRY(CLSID_APSlotFeature, CAPSlotFeature)
OBJECT_ENTRY(CLSID_APTabFeature, CAPTabFeature)
OBJECT_ENTRY(CLSID_APPlaneFeature, CAPPlaneFeature)
OBJECT_ENTRY(CLSID_APPointFeature, CAPPointFeature)
OBJECT_ENTRY(CLSID_APSurfaceFeature, CAPSurfaceFeature)
OBJECT_ENTRY(CLSID_APFeaturePair, CAPFeaturePair)
OBJECT_ENTRY(CLSID_APGDTTolerance, CAPGDTTolerance)
OBJECT_ENTRY(CLSID_APSizeTolerance, CAPSizeTolerance)
OBJECT_ENTRY(CLSID_APDocument, CAPDocument)
OBJECT_ENTRY(CLSID_APDatum, CAPDatum)
OBJECT_ENTRY(CLSID_APDRF, CAPDRF)
OBJECT_ENTRY(CLSID_APGroup, CAPGroup)
OBJECT_ENTRY(CLSID_APStringProperty, CAPStringProperty)
OBJECT_ENTRY(CLSID_APPropertyKey, CAPPropertyKey)
OBJECT_ENTRY(CLSID_APIntProperty, CAPIntProperty)
OBJECT_ENTRY(CLSID_APDoubleProperty, CAPDoubleProperty)
OBJECT_ENTRY(CLSID_APElemPtrProperty, CAPElemPtrProperty)
OBJECT_ENTRY(CLSID_APCustomOperation, CAPCustomOperation)
OBJECT_ENTRY(CLSID_APSPCMeasurementOp, CAPSPCMeasurementOp)
OBJECT_ENTRY(CLSID_APPatternFeature, CAPPatternFeature)
OBJECT_ENTRY(CLSID_APTolLibNode, CAPTolLibNode)
OBJECT_ENTRY(CLSID_APTaperedPinFeature, CAPTaperedPinFeature)
OBJECT_ENTRY(CLSID_APTaperedHoleFeature, CAPTaperedHoleFeature)
OBJECT_ENTRY(CLSID_APGroupNode, CAPGroupNode)
OBJECT_ENTRY(CLSID_APFeatureGroupNode, CAPFeatureGroupNode)
OBJECT_ENTRY(CLSID_APSubFeatureGroupNode, CAPSubFeatureGroupNode)
OBJECT_ENTRY(CLSID_APCondition, CAPCondition)
END_OBJECT_MAP()

// The module finds the classes here whatever the order of start-up.
struct InstallObjectMap {
    InstallObjectMap() { AtlAutoObjectMap() = ObjectMap; }
} installObjectMap;

} // namespace

_ATL_OBJMAP_ENTRY* PlenvortObjectMap() { return ObjectMap; }
