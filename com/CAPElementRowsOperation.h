// Rows of the operation and condition families (see com/CAPElementRows.h). Out-pointers are
// checked here: null answers E_POINTER.

// IAPOperation to IAPOperation4
AP_METHOD(SetOperationTime, (double time), AP_TRY(APOperation), AP_NOTIFY(IAPOperation), m->SetOperationTime(time))
AP_BUFFER_METHOD(GetOperationTime, (double* time), time, AP_TRY(APOperation), AP_QUIET, m->GetOperationTime(time))
AP_METHOD(AppendFeaturePair, (IAPFeaturePair* iPair), AP_TRY(APOperation), AP_NOTIFY(IAPOperation), m->AppendFeaturePair(iPair))
AP_BUFFER_METHOD(GetNumFeaturePairs, (int* num), num, AP_TRY(APOperation), AP_QUIET, m->GetNumFeaturePairs(num))
AP_BUFFER_METHOD(GetFeaturePair, (int index, IAPFeaturePair** iOutFeatPair), iOutFeatPair, AP_TRY(APOperation), AP_QUIET,
                 m->GetFeaturePair(index, iOutFeatPair))
AP_METHOD(RemoveFeaturePair, (IAPFeaturePair* iPair), AP_TRY(APOperation), AP_NOTIFY(IAPOperation), m->RemoveFeaturePair(iPair))
AP_METHOD(RemoveFeaturePairByIndex, (int index), AP_TRY(APOperation), AP_NOTIFY(IAPOperation), m->RemoveFeaturePairByIndex(index))
// Also IAPCustomOperation3's pair. The flags notify with the IID of the version that added them.
AP_METHOD(SetActiveFlag, (long flag), AP_TRY(APOperation), AP_NOTIFY(IAPOperation2), m->SetActiveFlag(flag))
AP_BUFFER_METHOD(GetActiveFlag, (long* flag), flag, AP_TRY(APOperation), AP_QUIET, m->GetActiveFlag(reinterpret_cast<int*>(flag)))
AP_METHOD(SetAuxiliaryFlag, (long flag), AP_TRY(APOperation), AP_NOTIFY(IAPOperation3), m->SetAuxiliaryFlag(flag))
AP_BUFFER_METHOD(GetAuxiliaryFlag, (long* flag), flag, AP_TRY(APOperation), AP_QUIET, m->GetAuxiliaryFlag(reinterpret_cast<int*>(flag)))
AP_METHOD(SetConditionMode, (int mode), AP_TRY(APOperation), AP_QUIET, m->SetConditionMode(mode))
AP_BUFFER_METHOD(GetConditionMode, (int* mode), mode, AP_TRY(APOperation), AP_QUIET, m->GetConditionMode(mode))
AP_METHOD(SetConditionOption, (int option), AP_TRY(APOperation), AP_QUIET, m->SetConditionOption(option))
AP_BUFFER_METHOD(GetConditionOption, (int* option), option, AP_TRY(APOperation), AP_QUIET, m->GetConditionOption(option))
AP_BUFFER_METHOD(GetNumConditions, (int* num), num, AP_TRY(APOperation), AP_QUIET, m->GetNumConditions(num))
AP_METHOD(AppendCondition, (IAPCondition* pCondition), AP_TRY(APOperation), AP_NOTIFY(IAPOperation), m->AppendCondition(pCondition))
AP_BUFFER_METHOD(GetCondition, (int index, IAPCondition** pCondition), pCondition, AP_TRY(APOperation), AP_QUIET,
                 m->GetCondition(index, pCondition))
AP_METHOD(RemoveConditionByIndex, (int index), AP_TRY(APOperation), AP_NOTIFY(IAPOperation), m->RemoveConditionByIndex(index))
AP_METHOD(RemoveCondition, (IAPCondition* pCondition), AP_TRY(APOperation), AP_NOTIFY(IAPOperation), m->RemoveCondition(pCondition))

// IAPAssemblyOperation to IAPAssemblyOperation5 and the classic chain: one implementation for
// both classes, notifying as the assembly chain. The six bias methods also sit first in the
// kinematic chain, where they answer S_FALSE.
#define AP_ASSEMBLY_KINDS AP_TRY(APAssemblyOperation, APClassicAssemblyOperation)
AP_BUFFER_METHOD(IsAssemblyOperationTranslationalBiasSet, (long* isSet), isSet, AP_ASSEMBLY_KINDS, AP_QUIET,
                 m->IsTranslationalBiasSet(reinterpret_cast<int*>(isSet)))
AP_METHOD(SetAssemblyOperationTranslationalBiasVector, (double x, double y, double z), AP_ASSEMBLY_KINDS,
          AP_NOTIFY(IAPAssemblyOperation), m->SetTranslationalBiasVector(x, y, z))
AP_BUFFER_METHOD(GetAssemblyOperationTranslationalBiasVector, (double* x, double* y, double* z), (x && y && z),
                 AP_ASSEMBLY_KINDS, AP_QUIET, m->GetTranslationalBiasVector(x, y, z))
AP_BUFFER_METHOD(IsAssemblyOperationRotationalBiasSet, (long* isSet), isSet, AP_ASSEMBLY_KINDS, AP_QUIET,
                 m->IsRotationalBiasSet(reinterpret_cast<int*>(isSet)))
AP_METHOD(SetAssemblyOperationRotationalBiasVector, (double x, double y, double z), AP_ASSEMBLY_KINDS,
          AP_NOTIFY(IAPAssemblyOperation), m->SetRotationalBiasVector(x, y, z))
AP_BUFFER_METHOD(GetAssemblyOperationRotationalBiasVector, (double* x, double* y, double* z), (x && y && z),
                 AP_ASSEMBLY_KINDS, AP_QUIET, m->GetRotationalBiasVector(x, y, z))
AP_BUFFER_METHOD(SetAssemblyOperationAsmOpNominalTransform, (double* transform), transform, AP_ASSEMBLY_KINDS, AP_QUIET,
                 m->SetAsmOpNominalTransform(transform))
AP_BUFFER_METHOD(GetAssemblyOperationAsmOpNominalTransform, (double* transform), transform, AP_ASSEMBLY_KINDS, AP_QUIET,
                 m->GetAsmOpNominalTransform(transform))
AP_BUFFER_METHOD(GetAssemblyOperationNumElements, (int* count), count, AP_ASSEMBLY_KINDS, AP_QUIET, m->GetNumElements(count))
AP_BUFFER_METHOD(GetAssemblyOperationElement, (int index, IAPElement** element), element, AP_ASSEMBLY_KINDS, AP_QUIET,
                 m->GetElement(index, element))
AP_METHOD(AppendAssemblyOperationElement, (IAPElement* element), AP_ASSEMBLY_KINDS, AP_QUIET, m->AppendElement(element))
AP_METHOD(AppendAssemblyOperationElementNoDependent, (IAPElement* element), AP_ASSEMBLY_KINDS, AP_QUIET,
          m->AppendElementNoDependent(element))
AP_METHOD(ClearElements, (), AP_ASSEMBLY_KINDS, AP_QUIET, m->ClearElements())
#undef AP_ASSEMBLY_KINDS

// The movement, show-point and refresh settings: one implementation for the assembly,
// classic, kinematic, FEM and custom chains, each family trying its own class order; E_FAIL
// when none matches.
#define AP_MOVE_KINDS \
    AP_TRY_OR_FAIL(APClassicAssemblyOperation, APAssemblyOperation, APKinematicAssemblyOperation, APFemAssemblyOperation, APCustomOperation)
#define AP_REFRESH_KINDS \
    AP_TRY_OR_FAIL(APAssemblyOperation, APClassicAssemblyOperation, APCustomOperation, APKinematicAssemblyOperation, APFemAssemblyOperation)
AP_METHOD(SetMoveType, (int iMoveType), AP_MOVE_KINDS, AP_QUIET, m->SetMoveType(iMoveType))
AP_BUFFER_METHOD(GetMoveType, (int* piMoveType), piMoveType, AP_MOVE_KINDS, AP_QUIET, m->GetMoveType(piMoveType))
AP_METHOD(SetMoveFlag, (long bMoveFlag), AP_MOVE_KINDS, AP_QUIET, m->SetMoveFlag(bMoveFlag))
AP_BUFFER_METHOD(GetMoveFlag, (long* pbMoveFlag), pbMoveFlag, AP_MOVE_KINDS, AP_QUIET,
                 m->GetMoveFlag(reinterpret_cast<int*>(pbMoveFlag)))
AP_METHOD(SetMoveLimit, (double dMoveLimit), AP_MOVE_KINDS, AP_QUIET, m->SetMoveLimit(dMoveLimit))
AP_BUFFER_METHOD(GetMoveLimit, (double* pdMoveLimit), pdMoveLimit, AP_MOVE_KINDS, AP_QUIET, m->GetMoveLimit(pdMoveLimit))
AP_METHOD(SetShowPointFlag, (long bShowPoint), AP_MOVE_KINDS, AP_QUIET, m->SetShowPointFlag(bShowPoint))
AP_BUFFER_METHOD(GetShowPointFlag, (long* pbShowPoint), pbShowPoint, AP_MOVE_KINDS, AP_QUIET,
                 m->GetShowPointFlag(reinterpret_cast<int*>(pbShowPoint)))
AP_METHOD(SetShowPointFrom, (int iFrom), AP_MOVE_KINDS, AP_QUIET, m->SetShowPointFrom(iFrom))
AP_BUFFER_METHOD(GetShowPointFrom, (int* piFrom), piFrom, AP_MOVE_KINDS, AP_QUIET, m->GetShowPointFrom(piFrom))
AP_METHOD(SetShowPointTo, (int iTo), AP_MOVE_KINDS, AP_QUIET, m->SetShowPointTo(iTo))
AP_BUFFER_METHOD(GetShowPointTo, (int* piTo), piTo, AP_MOVE_KINDS, AP_QUIET, m->GetShowPointTo(piTo))
AP_METHOD(SetRefreshFlag, (long bFlag), AP_REFRESH_KINDS, AP_QUIET, m->SetRefreshFlag(bFlag))
AP_BUFFER_METHOD(GetRefreshFlag, (long* pbFlag), pbFlag, AP_REFRESH_KINDS, AP_QUIET,
                 m->GetRefreshFlag(reinterpret_cast<int*>(pbFlag)))
AP_METHOD(SetRefreshFrom, (int iFrom), AP_REFRESH_KINDS, AP_QUIET, m->SetRefreshFrom(iFrom))
AP_BUFFER_METHOD(GetRefreshFrom, (int* piFrom), piFrom, AP_REFRESH_KINDS, AP_QUIET, m->GetRefreshFrom(piFrom))
AP_METHOD(SetRefreshTo, (int iTo), AP_REFRESH_KINDS, AP_QUIET, m->SetRefreshTo(iTo))
AP_BUFFER_METHOD(GetRefreshTo, (int* piTo), piTo, AP_REFRESH_KINDS, AP_QUIET, m->GetRefreshTo(piTo))
AP_METHOD(SetRefreshDelay, (long bDelay), AP_REFRESH_KINDS, AP_QUIET, m->SetRefreshDelay(bDelay))
AP_BUFFER_METHOD(GetRefreshDelay, (long* pbDelay), pbDelay, AP_REFRESH_KINDS, AP_QUIET,
                 m->GetRefreshDelay(reinterpret_cast<int*>(pbDelay)))
AP_METHOD(SetRefreshDelaySeconds, (int iSeconds), AP_REFRESH_KINDS, AP_QUIET, m->SetRefreshDelaySeconds(iSeconds))
AP_BUFFER_METHOD(GetRefreshDelaySeconds, (int* piSeconds), piSeconds, AP_REFRESH_KINDS, AP_QUIET,
                 m->GetRefreshDelaySeconds(piSeconds))
#undef AP_MOVE_KINDS
#undef AP_REFRESH_KINDS

// IAPKinematicAssemblyOperation to IAPKinematicAssemblyOperation3 (the first six methods and
// the settings are the rows above). The text arguments of the appends are not used.
#define AP_KINEMATIC_KIND AP_TRY(APKinematicAssemblyOperation)
AP_BUFFER_METHOD(SetKinematicAssemblyOperationAsmOpNominalTransform, (double* transform), transform, AP_KINEMATIC_KIND,
                 AP_QUIET, m->SetAsmOpNominalTransform(transform))
AP_BUFFER_METHOD(GetKinematicAssemblyOperationAsmOpNominalTransform, (double* transform), transform, AP_KINEMATIC_KIND,
                 AP_QUIET, m->GetAsmOpNominalTransform(transform))
AP_BUFFER_METHOD(GetKinematicAssemblyOperationNumElements, (int* count), count, AP_KINEMATIC_KIND, AP_QUIET,
                 m->GetNumElements(count))
AP_BUFFER_METHOD(GetKinematicAssemblyOperationElement, (int index, unsigned char* label, IAPElement** element),
                 (label && element), AP_KINEMATIC_KIND, AP_QUIET,
                 CopyOut(label, [&](CString& s) { return m->GetElement(index, s, element); }))
AP_METHOD(AppendElementOrClear, (unsigned char* text, IAPElement* element), AP_KINEMATIC_KIND, AP_QUIET,
          m->AppendElementOrClear(InString(text), element))
AP_METHOD(AppendKinematicAssemblyOperationElement, (unsigned char* text, IAPElement* element), AP_KINEMATIC_KIND, AP_QUIET,
          m->AppendElement(InString(text), element))
#undef AP_KINEMATIC_KIND

// IAPCondition
AP_BUFFER_METHOD(GetMeasurement1, (IAPOperation** pMeas1), pMeas1, AP_TRY(APCondition), AP_QUIET, m->GetMeasurement1(pMeas1))
AP_BUFFER_METHOD(GetMeasurement1Element, (IAPElement** pMeas1Element, APMeasType* MeasType1), (pMeas1Element && MeasType1),
                 AP_TRY(APCondition), AP_QUIET, m->GetMeasurement1Element(pMeas1Element, MeasType1))
AP_METHOD(SetMeasurement1, (IAPOperation* pMeas1), AP_TRY(APCondition), AP_NOTIFY(IAPCondition), m->SetMeasurement1(pMeas1))
AP_METHOD(RemoveMeasurement1, (IAPOperation* pMeas1), AP_TRY(APCondition), AP_NOTIFY(IAPCondition), m->RemoveMeasurement1(pMeas1))
AP_BUFFER_METHOD(GetMeasurement2, (IAPOperation** pMeas2), pMeas2, AP_TRY(APCondition), AP_QUIET, m->GetMeasurement2(pMeas2))
AP_BUFFER_METHOD(GetMeasurement2Element, (IAPElement** pMeas2Element, APMeasType* MeasType2), (pMeas2Element && MeasType2),
                 AP_TRY(APCondition), AP_QUIET, m->GetMeasurement2Element(pMeas2Element, MeasType2))
AP_METHOD(SetMeasurement2, (IAPOperation* pMeas2), AP_TRY(APCondition), AP_NOTIFY(IAPCondition), m->SetMeasurement2(pMeas2))
AP_METHOD(RemoveMeasurement2, (IAPOperation* pMeas2), AP_TRY(APCondition), AP_NOTIFY(IAPCondition), m->RemoveMeasurement2(pMeas2))
AP_METHOD(SetOperationForCondition, (IAPOperation* pOperation), AP_TRY(APCondition), AP_QUIET,
          m->SetOperationForCondition(pOperation))
AP_BUFFER_METHOD(GetOperationForCondition, (IAPOperation** pOperation), pOperation, AP_TRY(APCondition), AP_QUIET,
                 m->GetOperationForCondition(pOperation))
AP_BUFFER_METHOD(GetValue, (double* value), value, AP_TRY(APCondition), AP_QUIET, m->GetValue(value))
AP_METHOD(SetValue, (double value), AP_TRY(APCondition), AP_QUIET, m->SetValue(value))
AP_BUFFER_METHOD(GetComparisonOperator, (APComparisonOperator* ComparisonOperator), ComparisonOperator, AP_TRY(APCondition),
                 AP_QUIET, m->GetComparisonOperator(ComparisonOperator))
AP_METHOD(SetComparisonOperator, (APComparisonOperator ComparisonOperator), AP_TRY(APCondition), AP_QUIET,
          m->SetComparisonOperator(ComparisonOperator))
AP_METHOD(SetLogicalOperator, (APLogicalOperator LogicalOperator), AP_TRY(APCondition), AP_QUIET,
          m->SetLogicalOperator(LogicalOperator))
AP_BUFFER_METHOD(GetLogicalOperator, (APLogicalOperator* LogicalOperator), LogicalOperator, AP_TRY(APCondition), AP_QUIET,
                 m->GetLogicalOperator(LogicalOperator))
AP_METHOD(SetMeas2Set, (long Meas2Set), AP_TRY(APCondition), AP_QUIET, m->SetMeas2Set(Meas2Set))
AP_BUFFER_METHOD(GetMeas2Set, (long* Meas2Set), Meas2Set, AP_TRY(APCondition), AP_QUIET,
                 m->GetMeas2Set(reinterpret_cast<int*>(Meas2Set)))
