// Rows of the feature pair, tolerance, datum and datum reference frame families (see
// com/CAPElementRows.h). Links pass straight: the model keeps each member as the interface it
// names. Out-pointers are checked here: null answers E_POINTER.

// IAPFeaturePair
AP_METHOD(AppendObjectFeature, (IAPFeature* pFeat), AP_TRY(APFeaturePair), AP_NOTIFY(IAPFeaturePair), m->AppendObjectFeature(pFeat))
AP_BUFFER_METHOD(GetNumObjectFeatures, (int* numObjFeat), numObjFeat, AP_TRY(APFeaturePair), AP_QUIET, m->GetNumObjectFeatures(numObjFeat))
AP_BUFFER_METHOD(GetObjectFeature, (int index, IAPFeature** pFeat), pFeat, AP_TRY(APFeaturePair), AP_QUIET, m->GetObjectFeature(index, pFeat))
AP_METHOD(RemoveObjectFeature, (IAPFeature* pFeat), AP_TRY(APFeaturePair), AP_NOTIFY(IAPFeaturePair), m->RemoveObjectFeature(pFeat))
AP_METHOD(RemoveObjectFeatureByIndex, (int index), AP_TRY(APFeaturePair), AP_NOTIFY(IAPFeaturePair), m->RemoveObjectFeatureByIndex(index))
AP_METHOD(AppendTargetFeature, (IAPFeature* pFeat), AP_TRY(APFeaturePair), AP_NOTIFY(IAPFeaturePair), m->AppendTargetFeature(pFeat))
AP_BUFFER_METHOD(GetNumTargetFeatures, (int* numTargetFeat), numTargetFeat, AP_TRY(APFeaturePair), AP_QUIET, m->GetNumTargetFeatures(numTargetFeat))
AP_BUFFER_METHOD(GetTargetFeature, (int index, IAPFeature** pFeat), pFeat, AP_TRY(APFeaturePair), AP_QUIET, m->GetTargetFeature(index, pFeat))
AP_METHOD(RemoveTargetFeature, (IAPFeature* pFeat), AP_TRY(APFeaturePair), AP_NOTIFY(IAPFeaturePair), m->RemoveTargetFeature(pFeat))
AP_METHOD(RemoveTargetFeatureByIndex, (int index), AP_TRY(APFeaturePair), AP_NOTIFY(IAPFeaturePair), m->RemoveTargetFeatureByIndex(index))
AP_METHOD(SetOperation, (IAPOperation* pOperation), AP_TRY(APFeaturePair), AP_QUIET, m->SetOperation(pOperation))
AP_BUFFER_METHOD(GetOperation, (IAPOperation** pOperation), pOperation, AP_TRY(APFeaturePair), AP_QUIET, m->GetOperation(pOperation))
AP_METHOD(SetFloat, (APPressFitType type), AP_TRY(APFeaturePair), AP_NOTIFY(IAPFeaturePair), m->SetFloat(type))
AP_BUFFER_METHOD(GetFloat, (APPressFitType* type), type, AP_TRY(APFeaturePair), AP_QUIET, m->GetFloat(type))
AP_METHOD(SetFastenerSize, (double fast), AP_TRY(APFeaturePair), AP_NOTIFY(IAPFeaturePair), m->SetFastenerSize(fast))
AP_BUFFER_METHOD(GetFastenerSize, (double* fast), fast, AP_TRY(APFeaturePair), AP_QUIET, m->GetFastenerSize(fast))
AP_BUFFER_METHOD(IsFastenerSizeSet, (long* isSet), isSet, AP_TRY(APFeaturePair), AP_QUIET, m->IsFastenerSizeSet(reinterpret_cast<int*>(isSet)))
// IAPFeaturePair2
AP_METHOD(SetFeaturePairIntValue1, (int value), AP_TRY(APFeaturePair), AP_NOTIFY(IAPFeaturePair), m->SetIntValue1(value))
AP_BUFFER_METHOD(GetFeaturePairIntValue1, (int* value), value, AP_TRY(APFeaturePair), AP_QUIET, m->GetIntValue1(value))
AP_METHOD(SetDoubleValue, (double value), AP_TRY(APFeaturePair), AP_NOTIFY(IAPFeaturePair), m->SetDoubleValue(value))
AP_BUFFER_METHOD(GetDoubleValue, (double* value), value, AP_TRY(APFeaturePair), AP_QUIET, m->GetDoubleValue(value))
AP_METHOD(SetFeaturePairIntValue2, (int value), AP_TRY(APFeaturePair), AP_NOTIFY(IAPFeaturePair), m->SetIntValue2(value))
AP_BUFFER_METHOD(GetFeaturePairIntValue2, (int* value), value, AP_TRY(APFeaturePair), AP_QUIET, m->GetIntValue2(value))
// IAPFeaturePair3
AP_METHOD(SetFeaturePairIntValue3, (int value), AP_TRY(APFeaturePair), AP_NOTIFY(IAPFeaturePair), m->SetIntValue3(value))
AP_BUFFER_METHOD(GetFeaturePairIntValue3, (int* value), value, AP_TRY(APFeaturePair), AP_QUIET, m->GetIntValue3(value))
AP_METHOD(SetReferenceElement, (IAPOperation* operation), AP_TRY(APFeaturePair), AP_NOTIFY(IAPFeaturePair), m->SetReferenceElement(operation))
AP_BUFFER_METHOD(GetFeaturePairReferenceElement, (IAPOperation** operation), operation, AP_TRY(APFeaturePair), AP_QUIET,
                 m->GetReferenceElement(operation))

// IAPTolerance: only the two tolerance coclasses hand it out, so any element that answers it
// is a tolerance; the test below only guards the cast.
AP_METHOD(SetToleranceFeature, (IAPFeature* pFeat), AP_TRY_OR_FAIL(APTolerance), AP_NOTIFY(IAPTolerance),
          m->SetToleranceFeature(pFeat))
AP_BUFFER_METHOD(GetToleranceFeature, (IAPFeature** pFeat), pFeat, AP_TRY_OR_FAIL(APTolerance), AP_QUIET, m->GetToleranceFeature(pFeat))
AP_METHOD(Set3dPosition, (double x, double y, double z), AP_TRY_OR_FAIL(APTolerance), AP_NOTIFY(IAPTolerance), m->Set3dPosition(x, y, z))
AP_BUFFER_METHOD(Get3dPosition, (double* x, double* y, double* z), (x && y && z), AP_TRY_OR_FAIL(APTolerance), AP_QUIET,
                 m->Get3dPosition(x, y, z))
AP_METHOD(SetCategory, (APTolCategoryType type), AP_TRY_OR_FAIL(APTolerance), AP_NOTIFY(IAPTolerance), m->SetCategory(type))
AP_BUFFER_METHOD(GetCategory, (APTolCategoryType* type), type, AP_TRY_OR_FAIL(APTolerance), AP_QUIET, m->GetCategory(type))

// IAPGDTTolerance
AP_METHOD(SetZoneSize, (double size), AP_TRY(APGDTTolerance), AP_NOTIFY(IAPGDTTolerance), m->SetZoneSize(size))
AP_BUFFER_METHOD(GetZoneSize, (double* size), size, AP_TRY(APGDTTolerance), AP_QUIET, m->GetZoneSize(size))
AP_METHOD(SetZoneShape, (APTolZoneShapeType shape), AP_TRY(APGDTTolerance), AP_NOTIFY(IAPGDTTolerance), m->SetZoneShape(shape))
AP_BUFFER_METHOD(GetZoneShape, (APTolZoneShapeType* shape), shape, AP_TRY(APGDTTolerance), AP_QUIET, m->GetZoneShape(shape))
AP_BUFFER_METHOD(GetZoneModifier, (APModifierType* mod), mod, AP_TRY(APGDTTolerance), AP_QUIET, m->GetZoneModifier(mod))
AP_METHOD(SetZoneModifier, (APModifierType mod), AP_TRY(APGDTTolerance), AP_NOTIFY(IAPGDTTolerance), m->SetZoneModifier(mod))
AP_METHOD(SetGDTType, (APTolCalloutType type), AP_TRY(APGDTTolerance), AP_NOTIFY(IAPGDTTolerance), m->SetGDTType(type))
AP_BUFFER_METHOD(GetGDTType, (APTolCalloutType* type), type, AP_TRY(APGDTTolerance), AP_QUIET, m->GetGDTType(type))
AP_METHOD(SetZoneDirection, (double x, double y, double z), AP_TRY(APGDTTolerance), AP_NOTIFY(IAPGDTTolerance), m->SetZoneDirection(x, y, z))
AP_BUFFER_METHOD(GetZoneDirection, (double* x, double* y, double* z), (x && y && z), AP_TRY(APGDTTolerance), AP_QUIET,
                 m->GetZoneDirection(x, y, z))
AP_BUFFER_METHOD(IsZoneDirectionSet, (long* isSet), isSet, AP_TRY(APGDTTolerance), AP_QUIET, m->IsZoneDirectionSet(reinterpret_cast<int*>(isSet)))
AP_METHOD(SetDRF, (IAPDRF* drf), AP_TRY(APGDTTolerance), AP_NOTIFY(IAPGDTTolerance), m->SetDRF(drf))
AP_BUFFER_METHOD(GetDRF, (IAPDRF** drf), drf, AP_TRY(APGDTTolerance), AP_QUIET, m->GetDRF(drf))
// IAPGDTTolerance2
AP_METHOD(SetCompositeType, (APCompositeType eCompositeType), AP_TRY(APGDTTolerance), AP_NOTIFY(IAPGDTTolerance), m->SetCompositeType(eCompositeType))
AP_BUFFER_METHOD(GetCompositeType, (APCompositeType* peCompositeType), peCompositeType, AP_TRY(APGDTTolerance), AP_QUIET,
                 m->GetCompositeType(peCompositeType))
AP_METHOD(SetCompositeZoneSize, (double dZoneSize), AP_TRY(APGDTTolerance), AP_NOTIFY(IAPGDTTolerance), m->SetCompositeZoneSize(dZoneSize))
AP_BUFFER_METHOD(GetCompositeZoneSize, (double* pdZoneSize), pdZoneSize, AP_TRY(APGDTTolerance), AP_QUIET, m->GetCompositeZoneSize(pdZoneSize))
AP_METHOD(SetCompositeDRF, (IAPDRF* pDrf), AP_TRY(APGDTTolerance), AP_NOTIFY(IAPGDTTolerance), m->SetCompositeDRF(pDrf))
AP_BUFFER_METHOD(GetCompositeDRF, (IAPDRF** ppDrf), ppDrf, AP_TRY(APGDTTolerance), AP_QUIET, m->GetCompositeDRF(ppDrf))
// IAPGDTTolerance3
AP_METHOD(SetZoneShift, (double zoneshift), AP_TRY(APGDTTolerance), AP_NOTIFY(IAPGDTTolerance), m->SetZoneShift(zoneshift))
AP_BUFFER_METHOD(GetZoneShift, (double* zoneshift), zoneshift, AP_TRY(APGDTTolerance), AP_QUIET, m->GetZoneShift(zoneshift))
AP_METHOD(SetNominalShift, (long nominalshift), AP_TRY(APGDTTolerance), AP_NOTIFY(IAPGDTTolerance), m->SetNominalShift(nominalshift))
AP_BUFFER_METHOD(GetNominalShift, (long* nominalshift), nominalshift, AP_TRY(APGDTTolerance), AP_QUIET,
                 m->GetNominalShift(reinterpret_cast<int*>(nominalshift)))
// IAPGDTTolerance4
AP_METHOD(SetHasFormRateOfChange, (long bHasFormRateOfChange), AP_TRY(APGDTTolerance), AP_NOTIFY(IAPGDTTolerance),
          m->SetHasFormRateOfChange(bHasFormRateOfChange))
AP_BUFFER_METHOD(GetHasFormRateOfChange, (long* bHasFormRateOfChange), bHasFormRateOfChange, AP_TRY(APGDTTolerance), AP_QUIET,
                 m->GetHasFormRateOfChange(reinterpret_cast<int*>(bHasFormRateOfChange)))
AP_METHOD(SetFormRateOfChangeZone, (double RateOfChangeZone), AP_TRY(APGDTTolerance), AP_NOTIFY(IAPGDTTolerance),
          m->SetFormRateOfChangeZone(RateOfChangeZone))
AP_BUFFER_METHOD(GetFormRateOfChangeZone, (double* RateOfChangeZone), RateOfChangeZone, AP_TRY(APGDTTolerance), AP_QUIET,
                 m->GetFormRateOfChangeZone(RateOfChangeZone))
// IAPGDTTolerance5
AP_METHOD(SetDirectedDimDirectionVector, (double x, double y, double z), AP_TRY(APGDTTolerance), AP_NOTIFY(IAPGDTTolerance),
          m->SetDirectedDimDirectionVector(x, y, z))
AP_BUFFER_METHOD(GetDirectedDimDirectionVector, (double* x, double* y, double* z), (x && y && z), AP_TRY(APGDTTolerance), AP_QUIET,
                 m->GetDirectedDimDirectionVector(x, y, z))
AP_METHOD(AppendReferenceFeature, (IAPFeature* pFeatureBeingToleranced, IAPFeature* pRefFeature), AP_TRY(APGDTTolerance), AP_QUIET,
          m->AppendReferenceFeature(pFeatureBeingToleranced, pRefFeature))
AP_BUFFER_METHOD(GetReferenceFeature, (int index, IAPFeature** pFeat), pFeat, AP_TRY(APGDTTolerance), AP_QUIET, m->GetReferenceFeature(index, pFeat))
AP_METHOD(RemoveReferenceFeature, (IAPFeature* pFeat), AP_TRY(APGDTTolerance), AP_QUIET, m->RemoveReferenceFeature(pFeat))
AP_METHOD(RemoveReferenceFeatureByIndex, (int index), AP_TRY(APGDTTolerance), AP_QUIET, m->RemoveReferenceFeatureByIndex(index))
AP_BUFFER_METHOD(GetNumReferenceFeatures, (int* num), num, AP_TRY(APGDTTolerance), AP_QUIET, m->GetNumReferenceFeatures(num))

// IAPSizeTolerance
AP_METHOD(SetMinSizeLimit, (double value), AP_TRY(APSizeTolerance), AP_NOTIFY(IAPSizeTolerance), m->SetMinSizeLimit(value))
AP_BUFFER_METHOD(GetMinSizeLimit, (double* value), value, AP_TRY(APSizeTolerance), AP_QUIET, m->GetMinSizeLimit(value))
AP_METHOD(SetMaxSizeLimit, (double value), AP_TRY(APSizeTolerance), AP_NOTIFY(IAPSizeTolerance), m->SetMaxSizeLimit(value))
AP_BUFFER_METHOD(GetMaxSizeLimit, (double* value), value, AP_TRY(APSizeTolerance), AP_QUIET, m->GetMaxSizeLimit(value))
AP_METHOD(SetSizeType, (APSizeType type), AP_TRY(APSizeTolerance), AP_NOTIFY(IAPSizeTolerance), m->SetSizeType(type))
AP_BUFFER_METHOD(GetSizeType, (APSizeType* type), type, AP_TRY(APSizeTolerance), AP_QUIET, m->GetSizeType(type))
// IAPSizeTolerance2
AP_METHOD(SetThicknessTolType, (APThicknessTolType value), AP_TRY(APSizeTolerance), AP_NOTIFY(IAPSizeTolerance), m->SetThicknessTolType(value))
AP_BUFFER_METHOD(GetThicknessTolType, (APThicknessTolType* value), value, AP_TRY(APSizeTolerance), AP_QUIET, m->GetThicknessTolType(value))

// IAPDRF
AP_METHOD(AddPrimaryDatum, (IAPDatum* iDatum, APModifierType type), AP_TRY(APDRF), AP_NOTIFY(IAPDRF), m->AddPrimaryDatum(iDatum, type))
AP_BUFFER_METHOD(GetPrimaryDatum, (int index, IAPDatum** iOutDatum, APModifierType* type), (iOutDatum && type), AP_TRY(APDRF), AP_QUIET,
                 m->GetPrimaryDatum(index, iOutDatum, type))
AP_METHOD(RemovePrimaryDatum, (int index), AP_TRY(APDRF), AP_NOTIFY(IAPDRF), m->RemovePrimaryDatum(index))
AP_METHOD(AddSecondaryDatum, (IAPDatum* iDatum, APModifierType type), AP_TRY(APDRF), AP_NOTIFY(IAPDRF), m->AddSecondaryDatum(iDatum, type))
AP_BUFFER_METHOD(GetSecondaryDatum, (int index, IAPDatum** iOutDatum, APModifierType* type), (iOutDatum && type), AP_TRY(APDRF), AP_QUIET,
                 m->GetSecondaryDatum(index, iOutDatum, type))
AP_METHOD(RemoveSecondaryDatum, (int index), AP_TRY(APDRF), AP_NOTIFY(IAPDRF), m->RemoveSecondaryDatum(index))
AP_METHOD(AddTertiaryDatum, (IAPDatum* iDatum, APModifierType type), AP_TRY(APDRF), AP_NOTIFY(IAPDRF), m->AddTertiaryDatum(iDatum, type))
AP_BUFFER_METHOD(GetTertiaryDatum, (int index, IAPDatum** iOutDatum, APModifierType* type), (iOutDatum && type), AP_TRY(APDRF), AP_QUIET,
                 m->GetTertiaryDatum(index, iOutDatum, type))
AP_METHOD(RemoveTertiaryDatum, (int index), AP_TRY(APDRF), AP_NOTIFY(IAPDRF), m->RemoveTertiaryDatum(index))
AP_BUFFER_METHOD(GetNumPrimaryDatums, (int* length), length, AP_TRY(APDRF), AP_QUIET, m->GetNumPrimaryDatums(length))
AP_BUFFER_METHOD(GetNumSecondaryDatums, (int* length), length, AP_TRY(APDRF), AP_QUIET, m->GetNumSecondaryDatums(length))
AP_BUFFER_METHOD(GetNumTertiaryDatums, (int* length), length, AP_TRY(APDRF), AP_QUIET, m->GetNumTertiaryDatums(length))
// IAPDRF2
AP_BUFFER_METHOD(GetDRFMatrix3x4, (double* values), values, AP_TRY(APDRF), AP_QUIET, m->GetMatrix3x4(values))
AP_BUFFER_METHOD(SetDRFMatrix3x4, (double* values), values, AP_TRY(APDRF), AP_QUIET, m->SetMatrix3x4(values))

// IAPDatum
AP_METHOD(AppendDatumFeature, (IAPFeature* pFeat), AP_TRY(APDatum), AP_NOTIFY(IAPDatum), m->AppendDatumFeature(pFeat))
AP_BUFFER_METHOD(GetNumDatumFeatures, (int* num), num, AP_TRY(APDatum), AP_QUIET, m->GetNumDatumFeatures(num))
AP_BUFFER_METHOD(GetDatumFeature, (int index, IAPFeature** pFeat), pFeat, AP_TRY(APDatum), AP_QUIET, m->GetDatumFeature(index, pFeat))
AP_METHOD(RemoveDatumFeature, (IAPFeature* pFeat), AP_TRY(APDatum), AP_NOTIFY(IAPDatum), m->RemoveDatumFeature(pFeat))
AP_METHOD(RemoveDatumFeatureByIndex, (int index), AP_TRY(APDatum), AP_NOTIFY(IAPDatum), m->RemoveDatumFeatureByIndex(index))
// IAPDatum2
AP_BUFFER_METHOD(GetVisibleFlag, (long* isVisible), isVisible, AP_TRY(APDatum), AP_QUIET, m->GetVisibleFlag(reinterpret_cast<int*>(isVisible)))
AP_METHOD(SetVisibleFlag, (long isVisible), AP_TRY(APDatum), AP_QUIET, m->SetVisibleFlag(isVisible))
// IAPDatum3
AP_BUFFER_METHOD(GetTargetFlag, (long* isTarget), isTarget, AP_TRY(APDatum), AP_QUIET, m->GetTargetFlag(reinterpret_cast<int*>(isTarget)))
AP_METHOD(SetTargetFlag, (long isTarget), AP_TRY(APDatum), AP_QUIET, m->SetTargetFlag(isTarget))
AP_METHOD(AppendTargetLabel, (unsigned char* pLabel), AP_TRY(APDatum), AP_NOTIFY(IAPDatum), m->AppendTargetLabel(InString(pLabel)))
AP_BUFFER_METHOD(GetNumTargetLabels, (int* num), num, AP_TRY(APDatum), AP_QUIET, m->GetNumTargetLabels(num))
AP_BUFFER_METHOD(GetTargetLabel, (int index, unsigned char* pLabel), pLabel, AP_TRY(APDatum), AP_QUIET,
                 CopyOut(pLabel, [&](CString& s) { return m->GetTargetLabel(index, s); }))
AP_METHOD(RemoveTargetLabel, (unsigned char* pLabel), AP_TRY(APDatum), AP_NOTIFY(IAPDatum), m->RemoveTargetLabel(InString(pLabel)))
AP_METHOD(RemoveTargetLabelByIndex, (int index), AP_TRY(APDatum), AP_NOTIFY(IAPDatum), m->RemoveTargetLabelByIndex(index))
