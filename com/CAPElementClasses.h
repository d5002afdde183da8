#pragma once
// The element coclasses: CAPElement plus a class identity, the model class its
// FinalConstruct creates, its registry script and its interface map.
#include "com/CAPElement.h"
#include "com/RegistryIds.h"
#include "features/APDatum.h"
#include "features/APFeatureKinds.h"
#include "features/APFeaturePair.h"
#include "features/APTolerance.h"
#include "operations/APCondition.h"
#include "operations/APCustomOperation.h"
#include "model/APGroup.h"
#include "operations/APMeasurementOperation.h"
#include "model/APNode.h"
#include "operations/APOperation.h"

// Interface map entries: every version of a family hands out the family's one sub-object.
#define AP_ENTRY(itf, family) COM_INTERFACE_ENTRY_IID(IID_##itf, family)
#define AP_ELEMENT_FAMILY \
    AP_ENTRY(IAPElement, IAPElement16) \
    AP_ENTRY(IAPElement2, IAPElement16) \
    AP_ENTRY(IAPElement3, IAPElement16) \
    AP_ENTRY(IAPElement4, IAPElement16) \
    AP_ENTRY(IAPElement5, IAPElement16) \
    AP_ENTRY(IAPElement6, IAPElement16) \
    AP_ENTRY(IAPElement7, IAPElement16) \
    AP_ENTRY(IAPElement8, IAPElement16) \
    AP_ENTRY(IAPElement9, IAPElement16) \
    AP_ENTRY(IAPElement10, IAPElement16) \
    AP_ENTRY(IAPElement11, IAPElement16) \
    AP_ENTRY(IAPElement12, IAPElement16) \
    AP_ENTRY(IAPElement13, IAPElement16) \
    AP_ENTRY(IAPElement14, IAPElement16) \
    AP_ENTRY(IAPElement15, IAPElement16) \
    AP_ENTRY(IAPElement16, IAPElement16)
#define AP_NODE_FAMILY \
    AP_ENTRY(IAPNode, IAPNode3) \
    AP_ENTRY(IAPNode2, IAPNode3) \
    AP_ENTRY(IAPNode3, IAPNode3)
#define AP_PART_NODE_FAMILY \
    AP_ENTRY(IAPPartNode, IAPPartNode6) \
    AP_ENTRY(IAPPartNode2, IAPPartNode6) \
    AP_ENTRY(IAPPartNode3, IAPPartNode6) \
    AP_ENTRY(IAPPartNode4, IAPPartNode6) \
    AP_ENTRY(IAPPartNode5, IAPPartNode6) \
    AP_ENTRY(IAPPartNode6, IAPPartNode6)
#define AP_ASSEMBLY_NODE_FAMILY \
    AP_ENTRY(IAPAssemblyNode, IAPAssemblyNode4) \
    AP_ENTRY(IAPAssemblyNode2, IAPAssemblyNode4) \
    AP_ENTRY(IAPAssemblyNode3, IAPAssemblyNode4) \
    AP_ENTRY(IAPAssemblyNode4, IAPAssemblyNode4)
#define AP_OPERATION_FAMILY \
    AP_ENTRY(IAPOperation, IAPOperation4) \
    AP_ENTRY(IAPOperation2, IAPOperation4) \
    AP_ENTRY(IAPOperation3, IAPOperation4) \
    AP_ENTRY(IAPOperation4, IAPOperation4)
#define AP_ASSEMBLY_OPERATION_FAMILY \
    AP_ENTRY(IAPAssemblyOperation, IAPAssemblyOperation5) \
    AP_ENTRY(IAPAssemblyOperation2, IAPAssemblyOperation5) \
    AP_ENTRY(IAPAssemblyOperation3, IAPAssemblyOperation5) \
    AP_ENTRY(IAPAssemblyOperation4, IAPAssemblyOperation5) \
    AP_ENTRY(IAPAssemblyOperation5, IAPAssemblyOperation5)
#define AP_KINEMATIC_ASSEMBLY_OPERATION_FAMILY \
    AP_ENTRY(IAPKinematicAssemblyOperation, IAPKinematicAssemblyOperation3) \
    AP_ENTRY(IAPKinematicAssemblyOperation2, IAPKinematicAssemblyOperation3) \
    AP_ENTRY(IAPKinematicAssemblyOperation3, IAPKinematicAssemblyOperation3)
#define AP_FEM_ASSEMBLY_OPERATION_FAMILY \
    AP_ENTRY(IAPFemAssemblyOperation, IAPFemAssemblyOperation5) \
    AP_ENTRY(IAPFemAssemblyOperation2, IAPFemAssemblyOperation5) \
    AP_ENTRY(IAPFemAssemblyOperation3, IAPFemAssemblyOperation5) \
    AP_ENTRY(IAPFemAssemblyOperation4, IAPFemAssemblyOperation5) \
    AP_ENTRY(IAPFemAssemblyOperation5, IAPFemAssemblyOperation5)
#define AP_MEASUREMENT_OPERATION_FAMILY \
    AP_ENTRY(IAPMeasurementOperation, IAPMeasurementOperation9) \
    AP_ENTRY(IAPMeasurementOperation2, IAPMeasurementOperation9) \
    AP_ENTRY(IAPMeasurementOperation3, IAPMeasurementOperation9) \
    AP_ENTRY(IAPMeasurementOperation4, IAPMeasurementOperation9) \
    AP_ENTRY(IAPMeasurementOperation5, IAPMeasurementOperation9) \
    AP_ENTRY(IAPMeasurementOperation6, IAPMeasurementOperation9) \
    AP_ENTRY(IAPMeasurementOperation7, IAPMeasurementOperation9) \
    AP_ENTRY(IAPMeasurementOperation8, IAPMeasurementOperation9) \
    AP_ENTRY(IAPMeasurementOperation9, IAPMeasurementOperation9)
#define AP_FEATURE_FAMILY \
    AP_ENTRY(IAPFeature, IAPFeature8) \
    AP_ENTRY(IAPFeature2, IAPFeature8) \
    AP_ENTRY(IAPFeature3, IAPFeature8) \
    AP_ENTRY(IAPFeature4, IAPFeature8) \
    AP_ENTRY(IAPFeature5, IAPFeature8) \
    AP_ENTRY(IAPFeature6, IAPFeature8) \
    AP_ENTRY(IAPFeature7, IAPFeature8) \
    AP_ENTRY(IAPFeature8, IAPFeature8)
#define AP_PLANE_FEATURE_FAMILY \
    AP_ENTRY(IAPPlaneFeature, IAPPlaneFeature4) \
    AP_ENTRY(IAPPlaneFeature2, IAPPlaneFeature4) \
    AP_ENTRY(IAPPlaneFeature3, IAPPlaneFeature4) \
    AP_ENTRY(IAPPlaneFeature4, IAPPlaneFeature4)
#define AP_POINT_FEATURE_FAMILY \
    AP_ENTRY(IAPPointFeature, IAPPointFeature5) \
    AP_ENTRY(IAPPointFeature2, IAPPointFeature5) \
    AP_ENTRY(IAPPointFeature3, IAPPointFeature5) \
    AP_ENTRY(IAPPointFeature4, IAPPointFeature5) \
    AP_ENTRY(IAPPointFeature5, IAPPointFeature5)
#define AP_FEATURE_PAIR_FAMILY \
    AP_ENTRY(IAPFeaturePair, IAPFeaturePair3) \
    AP_ENTRY(IAPFeaturePair2, IAPFeaturePair3) \
    AP_ENTRY(IAPFeaturePair3, IAPFeaturePair3)
#define AP_GDT_TOLERANCE_FAMILY \
    AP_ENTRY(IAPGDTTolerance, IAPGDTTolerance5) \
    AP_ENTRY(IAPGDTTolerance2, IAPGDTTolerance5) \
    AP_ENTRY(IAPGDTTolerance3, IAPGDTTolerance5) \
    AP_ENTRY(IAPGDTTolerance4, IAPGDTTolerance5) \
    AP_ENTRY(IAPGDTTolerance5, IAPGDTTolerance5)
#define AP_SIZE_TOLERANCE_FAMILY \
    AP_ENTRY(IAPSizeTolerance, IAPSizeTolerance2) \
    AP_ENTRY(IAPSizeTolerance2, IAPSizeTolerance2)
#define AP_DRF_FAMILY \
    AP_ENTRY(IAPDRF, IAPDRF2) \
    AP_ENTRY(IAPDRF2, IAPDRF2)
#define AP_DATUM_FAMILY \
    AP_ENTRY(IAPDatum, IAPDatum4) \
    AP_ENTRY(IAPDatum2, IAPDatum4) \
    AP_ENTRY(IAPDatum3, IAPDatum4) \
    AP_ENTRY(IAPDatum4, IAPDatum4)
#define AP_CUSTOM_OPERATION_FAMILY \
    AP_ENTRY(IAPCustomOperation, IAPCustomOperation12) \
    AP_ENTRY(IAPCustomOperation2, IAPCustomOperation12) \
    AP_ENTRY(IAPCustomOperation3, IAPCustomOperation12) \
    AP_ENTRY(IAPCustomOperation4, IAPCustomOperation12) \
    AP_ENTRY(IAPCustomOperation5, IAPCustomOperation12) \
    AP_ENTRY(IAPCustomOperation6, IAPCustomOperation12) \
    AP_ENTRY(IAPCustomOperation7, IAPCustomOperation12) \
    AP_ENTRY(IAPCustomOperation8, IAPCustomOperation12) \
    AP_ENTRY(IAPCustomOperation9, IAPCustomOperation12) \
    AP_ENTRY(IAPCustomOperation10, IAPCustomOperation12) \
    AP_ENTRY(IAPCustomOperation11, IAPCustomOperation12) \
    AP_ENTRY(IAPCustomOperation12, IAPCustomOperation12)
#define AP_GROUP_NODE_FAMILY \
    AP_ENTRY(IAPGroupNode, IAPGroupNode2) \
    AP_ENTRY(IAPGroupNode2, IAPGroupNode2)
#define AP_CLASSIC_ASSEMBLY_OPERATION_FAMILY \
    AP_ENTRY(IAPClassicAssemblyOperation, IAPClassicAssemblyOperation2) \
    AP_ENTRY(IAPClassicAssemblyOperation2, IAPClassicAssemblyOperation2)
#define AP_SURFACE_FEATURE_FAMILY \
    AP_ENTRY(IAPSurfaceFeature, IAPSurfaceFeature1) \
    AP_ENTRY(IAPSurfaceFeature1, IAPSurfaceFeature1)
#define AP_ELEMENT_SINK AP_ENTRY(IAPElementSink, IAPElementSink)
#define AP_GEOMETRY_NODE AP_ENTRY(IAPGeometryNode, IAPGeometryNode)
#define AP_TOL_LIB_NODE AP_ENTRY(IAPTolLibNode, IAPTolLibNode)
#define AP_FIXTURE_NODE AP_ENTRY(IAPFixtureNode, IAPFixtureNode)
#define AP_PIN_FEATURE AP_ENTRY(IAPPinFeature, IAPPinFeature)
#define AP_TAPERED_PIN_FEATURE AP_ENTRY(IAPTaperedPinFeature, IAPTaperedPinFeature)
#define AP_HOLE_FEATURE AP_ENTRY(IAPHoleFeature, IAPHoleFeature)
#define AP_TAPERED_HOLE_FEATURE AP_ENTRY(IAPTaperedHoleFeature, IAPTaperedHoleFeature)
#define AP_SLOT_FEATURE AP_ENTRY(IAPSlotFeature, IAPSlotFeature)
#define AP_TAB_FEATURE AP_ENTRY(IAPTabFeature, IAPTabFeature)
#define AP_PATTERN_FEATURE AP_ENTRY(IAPPatternFeature, IAPPatternFeature)
#define AP_TOLERANCE AP_ENTRY(IAPTolerance, IAPTolerance)
#define AP_NODE_INSTANCE AP_ENTRY(IAPNodeInstance, IAPNodeInstance)
#define AP_GROUP AP_ENTRY(IAPGroup, IAPGroup)
#define AP_SPC_MEASUREMENT_OP AP_ENTRY(IAPSPCMeasurementOp, IAPSPCMeasurementOp)
#define AP_FEATURE_GROUP_NODE AP_ENTRY(IAPFeatureGroupNode, IAPFeatureGroupNode)
#define AP_SUB_FEATURE_GROUP_NODE AP_ENTRY(IAPSubFeatureGroupNode, IAPSubFeatureGroupNode)
#define AP_CONDITION AP_ENTRY(IAPCondition, IAPCondition)

// Every element map begins with IAPElementSink (the identity) and the IAPElement family.
#define AP_ELEMENT_COCLASS(Kind, registryId, entries)                                       \
    class CAP##Kind : public CAPElementCoClass<CAP##Kind, &CLSID_AP##Kind, AP##Kind, registryId> { \
    public:                                                                                 \
        BEGIN_COM_MAP(CAP##Kind)                                                            \
        AP_ELEMENT_SINK                                                                     \
        AP_ELEMENT_FAMILY                                                                   \
        entries                                                                             \
        END_COM_MAP()                                                                       \
    };

AP_ELEMENT_COCLASS(PartNode, IDR_APPARTNODE, AP_NODE_FAMILY AP_GEOMETRY_NODE AP_PART_NODE_FAMILY)
AP_ELEMENT_COCLASS(AssemblyNode, IDR_APASSEMBLYNODE, AP_NODE_FAMILY AP_GEOMETRY_NODE AP_ASSEMBLY_NODE_FAMILY)
AP_ELEMENT_COCLASS(TolLibNode, IDR_APTOLLIBNODE, AP_NODE_FAMILY AP_TOL_LIB_NODE)
AP_ELEMENT_COCLASS(AssemblyOperation, IDR_APASSEMBLYOPERATION, AP_NODE_FAMILY AP_OPERATION_FAMILY AP_ASSEMBLY_OPERATION_FAMILY)
AP_ELEMENT_COCLASS(ClassicAssemblyOperation, IDR_APCLASSICASSEMBLYOPERATION,
                   AP_NODE_FAMILY AP_OPERATION_FAMILY AP_CLASSIC_ASSEMBLY_OPERATION_FAMILY)
AP_ELEMENT_COCLASS(KinematicAssemblyOperation, IDR_APKINEMATICASSEMBLYOPERATION,
                   AP_NODE_FAMILY AP_OPERATION_FAMILY AP_KINEMATIC_ASSEMBLY_OPERATION_FAMILY)
AP_ELEMENT_COCLASS(FemAssemblyOperation, IDR_APFEMASSEMBLYOPERATION, AP_NODE_FAMILY AP_OPERATION_FAMILY AP_FEM_ASSEMBLY_OPERATION_FAMILY)
AP_ELEMENT_COCLASS(MeasurementOperation, IDR_APMEASUREMENTOPERATION, AP_NODE_FAMILY AP_OPERATION_FAMILY AP_MEASUREMENT_OPERATION_FAMILY)
AP_ELEMENT_COCLASS(CustomOperation, IDR_APCUSTOMOPERATION, AP_NODE_FAMILY AP_OPERATION_FAMILY AP_CUSTOM_OPERATION_FAMILY)
AP_ELEMENT_COCLASS(SPCMeasurementOp, IDR_APSPCMEASUREMENTOP,
                   AP_NODE_FAMILY AP_OPERATION_FAMILY AP_MEASUREMENT_OPERATION_FAMILY AP_SPC_MEASUREMENT_OP)
AP_ELEMENT_COCLASS(FixtureNode, IDR_APFIXTURENODE, AP_NODE_FAMILY AP_GEOMETRY_NODE AP_PART_NODE_FAMILY AP_FIXTURE_NODE)
AP_ELEMENT_COCLASS(NodeInstance, IDR_APNODEINSTANCE, AP_NODE_FAMILY AP_GEOMETRY_NODE AP_NODE_INSTANCE)
AP_ELEMENT_COCLASS(GDTTolerance, IDR_APGDTTOLERANCE, AP_TOLERANCE AP_GDT_TOLERANCE_FAMILY)
AP_ELEMENT_COCLASS(SizeTolerance, IDR_APSIZETOLERANCE, AP_TOLERANCE AP_SIZE_TOLERANCE_FAMILY)
AP_ELEMENT_COCLASS(DRF, IDR_APDRF, AP_DRF_FAMILY)
AP_ELEMENT_COCLASS(Datum, IDR_APDATUM, AP_DATUM_FAMILY)
AP_ELEMENT_COCLASS(FeaturePair, IDR_APFEATUREPAIR, AP_FEATURE_PAIR_FAMILY)
AP_ELEMENT_COCLASS(PinFeature, IDR_APPINFEATURE, AP_NODE_FAMILY AP_GEOMETRY_NODE AP_FEATURE_FAMILY AP_PIN_FEATURE)
AP_ELEMENT_COCLASS(HoleFeature, IDR_APHOLEFEATURE, AP_NODE_FAMILY AP_GEOMETRY_NODE AP_FEATURE_FAMILY AP_HOLE_FEATURE)
AP_ELEMENT_COCLASS(SlotFeature, IDR_APSLOTFEATURE, AP_NODE_FAMILY AP_GEOMETRY_NODE AP_FEATURE_FAMILY AP_SLOT_FEATURE)
AP_ELEMENT_COCLASS(TabFeature, IDR_APTABFEATURE, AP_NODE_FAMILY AP_GEOMETRY_NODE AP_FEATURE_FAMILY AP_TAB_FEATURE)
AP_ELEMENT_COCLASS(PlaneFeature, IDR_APPLANEFEATURE, AP_NODE_FAMILY AP_GEOMETRY_NODE AP_FEATURE_FAMILY AP_PLANE_FEATURE_FAMILY)
AP_ELEMENT_COCLASS(PointFeature, IDR_APPOINTFEATURE, AP_NODE_FAMILY AP_GEOMETRY_NODE AP_FEATURE_FAMILY AP_POINT_FEATURE_FAMILY)
AP_ELEMENT_COCLASS(SurfaceFeature, IDR_APSURFACEFEATURE, AP_NODE_FAMILY AP_GEOMETRY_NODE AP_FEATURE_FAMILY AP_SURFACE_FEATURE_FAMILY)
AP_ELEMENT_COCLASS(PatternFeature, IDR_APPATTERNFEATURE, AP_NODE_FAMILY AP_GEOMETRY_NODE AP_FEATURE_FAMILY AP_PATTERN_FEATURE)
AP_ELEMENT_COCLASS(Group, IDR_APGROUP, AP_NODE_FAMILY AP_GROUP)
AP_ELEMENT_COCLASS(TaperedPinFeature, IDR_APTAPEREDPINFEATURE, AP_NODE_FAMILY AP_GEOMETRY_NODE AP_FEATURE_FAMILY AP_TAPERED_PIN_FEATURE)
AP_ELEMENT_COCLASS(TaperedHoleFeature, IDR_APTAPEREDHOLEFEATURE, AP_NODE_FAMILY AP_GEOMETRY_NODE AP_FEATURE_FAMILY AP_TAPERED_HOLE_FEATURE)
AP_ELEMENT_COCLASS(GroupNode, IDR_APGROUPNODE, AP_NODE_FAMILY AP_GROUP_NODE_FAMILY)
AP_ELEMENT_COCLASS(FeatureGroupNode, IDR_APFEATUREGROUPNODE, AP_GEOMETRY_NODE AP_NODE_FAMILY AP_FEATURE_GROUP_NODE)
AP_ELEMENT_COCLASS(SubFeatureGroupNode, IDR_APSUBFEATUREGROUPNODE, AP_GEOMETRY_NODE AP_NODE_FAMILY AP_SUB_FEATURE_GROUP_NODE)
AP_ELEMENT_COCLASS(Condition, IDR_APCONDITION, AP_CONDITION)
