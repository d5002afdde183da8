// Rows of the custom operation family, IAPCustomOperation to IAPCustomOperation12 (see
// com/CAPElementRows.h). Out-pointers are checked here: null answers E_POINTER. The chain's
// SetActiveFlag and GetActiveFlag are the operation rows, and its movement, show-point and
// refresh settings the shared rows, of com/CAPElementRowsOperation.h. Only the two limit
// setters and the relative setter notify.

#define AP_CUSTOM_KIND AP_TRY(APCustomOperation)

// IAPCustomOperation
AP_METHOD(AppendElement, (unsigned char* label, IAPElement* pElem), AP_CUSTOM_KIND, AP_QUIET,
          m->AppendElement(InString(label), pElem))
AP_BUFFER_METHOD(GetNumElements, (int* num), num, AP_CUSTOM_KIND, AP_QUIET, m->GetNumElements(num))
AP_BUFFER_METHOD(GetElement, (int index, unsigned char* label, IAPElement** pElem), (label && pElem), AP_CUSTOM_KIND,
                 AP_QUIET, CopyOut(label, [&](CString& s) { return m->GetElement(index, s, pElem); }))
AP_METHOD(RemoveElement, (IAPElement* pElem), AP_CUSTOM_KIND, AP_QUIET, m->RemoveElement(pElem))
AP_METHOD(RemoveElementByIndex, (int index), AP_CUSTOM_KIND, AP_QUIET, m->RemoveElementByIndex(index))
AP_METHOD(AppendMetaData, (unsigned char* label, unsigned char* value), AP_CUSTOM_KIND, AP_QUIET,
          m->AppendMetaData(InString(label), InString(value)))
AP_BUFFER_METHOD(GetNumMetaData, (int* num), num, AP_CUSTOM_KIND, AP_QUIET, m->GetNumMetaData(num))
AP_BUFFER_METHOD(GetMetaData, (int index, unsigned char* label, unsigned char* value), (label && value), AP_CUSTOM_KIND,
                 AP_QUIET, CopyOutPair(label, value, [&](CString& a, CString& b) { return m->GetMetaData(index, a, b); }))
AP_METHOD(RemoveMetaDataByValue, (unsigned char* value), AP_CUSTOM_KIND, AP_QUIET, m->RemoveMetaDataByValue(InString(value)))
AP_METHOD(RemoveMetaDataByIndex, (int index), AP_CUSTOM_KIND, AP_QUIET, m->RemoveMetaDataByIndex(index))
AP_METHOD(SetExtensionSetName, (unsigned char* value), AP_CUSTOM_KIND, AP_QUIET, m->SetExtensionSetName(InString(value)))
AP_STRING_GETTER(GetExtensionSetName, (unsigned char* value), value, AP_CUSTOM_KIND, GetExtensionSetName)
AP_METHOD(SetNameOfExtension, (unsigned char* value), AP_CUSTOM_KIND, AP_QUIET, m->SetNameOfExtension(InString(value)))
AP_STRING_GETTER(GetNameOfExtension, (unsigned char* value), value, AP_CUSTOM_KIND, GetNameOfExtension)
AP_BUFFER_METHOD(GetCustomOpType, (APCustomType* value), value, AP_CUSTOM_KIND, AP_QUIET, m->GetCustomOpType(value))
AP_METHOD(SetCustomOpType, (APCustomType value), AP_CUSTOM_KIND, AP_QUIET, m->SetCustomOpType(value))
AP_METHOD(SetLowDesignLimitForCustom, (double low), AP_CUSTOM_KIND, AP_NOTIFY(IAPCustomOperation),
          m->SetLowDesignLimitForCustom(low))
AP_BUFFER_METHOD(GetLowDesignLimitOfCustom, (double* low), low, AP_CUSTOM_KIND, AP_QUIET, m->GetLowDesignLimitOfCustom(low))
AP_METHOD(SetHighDesignLimitForCustom, (double high), AP_CUSTOM_KIND, AP_NOTIFY(IAPCustomOperation),
          m->SetHighDesignLimitForCustom(high))
AP_BUFFER_METHOD(GetHighDesignLimitOfCustom, (double* high), high, AP_CUSTOM_KIND, AP_QUIET,
                 m->GetHighDesignLimitOfCustom(high))
AP_BUFFER_METHOD(IsLowDesignLimitSetForCustom, (long* isSet), isSet, AP_CUSTOM_KIND, AP_QUIET,
                 m->IsLowDesignLimitSetForCustom(reinterpret_cast<int*>(isSet)))
AP_BUFFER_METHOD(IsHighDesignLimitSetForCustom, (long* isSet), isSet, AP_CUSTOM_KIND, AP_QUIET,
                 m->IsHighDesignLimitSetForCustom(reinterpret_cast<int*>(isSet)))
AP_METHOD(SetIsRelativeForCustom, (long isRelative), AP_CUSTOM_KIND, AP_NOTIFY(IAPCustomOperation),
          m->SetIsRelativeForCustom(isRelative))
AP_BUFFER_METHOD(GetIsRelativeOfCustom, (long* isRelative), isRelative, AP_CUSTOM_KIND, AP_QUIET,
                 m->GetIsRelativeOfCustom(reinterpret_cast<int*>(isRelative)))

// IAPCustomOperation2
AP_BUFFER_METHOD(CheckIfDllWasModified, (long* IsModified), IsModified, AP_CUSTOM_KIND, AP_QUIET,
                 m->CheckIfDllWasModified(reinterpret_cast<int*>(IsModified)))

// IAPCustomOperation3 and IAPCustomOperation4: results and contributors.
#define AP_CUSTOM_RESULTS m->Results()
#define AP_CUSTOM_MAIN m->Results().Contributors()
#define AP_CUSTOM_ALTERNATES m->Results().Alternates()
AP_BUFFER_METHOD(GetResultsStoredFlagCustom, (long* isStored), isStored, AP_CUSTOM_KIND, AP_QUIET,
                 AP_CUSTOM_RESULTS.GetResultsStored(reinterpret_cast<int*>(isStored)))
AP_METHOD(SetResultsStoredFlagCustom, (long isStored), AP_CUSTOM_KIND, AP_QUIET, AP_CUSTOM_RESULTS.SetResultsStored(isStored))
AP_METHOD(SetNumDataCustom, (int num), AP_CUSTOM_KIND, AP_QUIET, AP_CUSTOM_RESULTS.SetNumData(num))
AP_BUFFER_METHOD(GetNumDataCustom, (int* num), num, AP_CUSTOM_KIND, AP_QUIET, AP_CUSTOM_RESULTS.GetNumData(num))
AP_METHOD(SetRawDataByIndexCustom, (int index, double low), AP_CUSTOM_KIND, AP_QUIET, AP_CUSTOM_RESULTS.SetRawData(index, low))
AP_BUFFER_METHOD(GetRawDataByIndexCustom, (int index, double* low), low, AP_CUSTOM_KIND, AP_QUIET,
                 AP_CUSTOM_RESULTS.GetRawData(index, low))
AP_METHOD(AppendCustContribData, (unsigned char* label, double value), AP_CUSTOM_KIND, AP_QUIET,
          AP_CUSTOM_MAIN.Append(InString(label), value))
AP_BUFFER_METHOD(GetCustNumContribData, (int* num), num, AP_CUSTOM_KIND, AP_QUIET, AP_CUSTOM_MAIN.GetCount(num))
AP_BUFFER_METHOD(GetCustContribData, (int index, unsigned char* label, double* value), (label && value), AP_CUSTOM_KIND,
                 AP_QUIET, CopyOut(label, [&](CString& s) { return AP_CUSTOM_MAIN.Get(index, s, value); }))
AP_METHOD(RemoveCustContribDataByIndex, (int index), AP_CUSTOM_KIND, AP_QUIET, AP_CUSTOM_MAIN.RemoveAt(index))
AP_BUFFER_METHOD(GetCustContribData2, (int index, unsigned char* label, double* value, int* ind), (label && value && ind),
                 AP_CUSTOM_KIND, AP_QUIET, CopyOut(label, [&](CString& s) { return AP_CUSTOM_MAIN.Get(index, s, value, ind); }))
AP_METHOD(AppendCustContribData2, (unsigned char* label, double value, int ind), AP_CUSTOM_KIND, AP_QUIET,
          AP_CUSTOM_MAIN.Append(InString(label), value, ind))
AP_METHOD(SetCustSimulatedNominal, (double simnominal), AP_CUSTOM_KIND, AP_QUIET, AP_CUSTOM_RESULTS.SetSimulatedNominal(simnominal))
AP_BUFFER_METHOD(GetCustSimulatedNominal, (double* simnominal), simnominal, AP_CUSTOM_KIND, AP_QUIET,
                 AP_CUSTOM_RESULTS.GetSimulatedNominal(simnominal))
AP_METHOD(SetCustProcessStdDev, (double processStdDev), AP_CUSTOM_KIND, AP_QUIET, AP_CUSTOM_RESULTS.SetProcessStdDev(processStdDev))
AP_BUFFER_METHOD(GetCustProcessStdDev, (double* processStdDev), processStdDev, AP_CUSTOM_KIND, AP_QUIET,
                 AP_CUSTOM_RESULTS.GetProcessStdDev(processStdDev))
AP_METHOD(SetCustHLMVariance, (double hlmVariance), AP_CUSTOM_KIND, AP_QUIET, AP_CUSTOM_RESULTS.SetHLMVariance(hlmVariance))
AP_BUFFER_METHOD(GetCustHLMVariance, (double* hlmVariance), hlmVariance, AP_CUSTOM_KIND, AP_QUIET,
                 AP_CUSTOM_RESULTS.GetHLMVariance(hlmVariance))

// IAPCustomOperation5 to IAPCustomOperation9
AP_METHOD(SetElementByLabel, (unsigned char* label, IAPElement* pElem), AP_CUSTOM_KIND, AP_QUIET,
          m->SetElementByLabel(InString(label), pElem))
AP_METHOD(AppendCustomOperationAltContribData, (unsigned char* label, double value), AP_CUSTOM_KIND, AP_QUIET,
          AP_CUSTOM_ALTERNATES.Append(InString(label), value))
AP_BUFFER_METHOD(GetCustomOperationNumAltContribData, (int* num), num, AP_CUSTOM_KIND, AP_QUIET,
                 AP_CUSTOM_ALTERNATES.GetCount(num))
AP_BUFFER_METHOD(GetCustomOperationAltContribData, (int index, unsigned char* label, double* value), (label && value),
                 AP_CUSTOM_KIND, AP_QUIET,
                 CopyOut(label, [&](CString& s) { return AP_CUSTOM_ALTERNATES.Get(index, s, value); }))
AP_METHOD(RemoveCustomOperationAltContribDataByIndex, (int index), AP_CUSTOM_KIND, AP_QUIET,
          AP_CUSTOM_ALTERNATES.RemoveAt(index))
AP_METHOD(SetCustomOperationExtraValue4, (double value), AP_CUSTOM_KIND, AP_QUIET, m->SetExtraValue4(value))
AP_BUFFER_METHOD(GetCustomOperationExtraValue4, (double* value), value, AP_CUSTOM_KIND, AP_QUIET, m->GetExtraValue4(value))
AP_BUFFER_METHOD(GetExtraValue8, (double* value), value, AP_CUSTOM_KIND, AP_QUIET, m->GetExtraValue8(value))
AP_BUFFER_METHOD(GetCustomOperationExtraValue5, (double* value), value, AP_CUSTOM_KIND, AP_QUIET, m->GetExtraValue5(value))
AP_METHOD(AppendCustomOperationElementNoDependent, (unsigned char* label, IAPElement* pElem), AP_CUSTOM_KIND, AP_QUIET,
          m->AppendElementNoDependent(InString(label), pElem))
AP_BUFFER_METHOD(GetExtraValue6, (double* value), value, AP_CUSTOM_KIND, AP_QUIET, m->GetExtraValue6(value))
AP_METHOD(SetExtraValue6, (double value), AP_CUSTOM_KIND, AP_QUIET, m->SetExtraValue6(value))
AP_BUFFER_METHOD(GetExtraValue7, (double* value), value, AP_CUSTOM_KIND, AP_QUIET, m->GetExtraValue7(value))
AP_METHOD(SetExtraValue7, (double value), AP_CUSTOM_KIND, AP_QUIET, m->SetExtraValue7(value))
AP_METHOD(SetCustomOperationExtraValue5, (double value), AP_CUSTOM_KIND, AP_QUIET, m->SetExtraValue5(value))
AP_METHOD(SetExtraValue8, (double value), AP_CUSTOM_KIND, AP_QUIET, m->SetExtraValue8(value))
AP_BUFFER_METHOD(GetCustomOperationAltContribData2, (int index, unsigned char* label, double* value, int* code),
                 (label && value && code), AP_CUSTOM_KIND, AP_QUIET,
                 CopyOut(label, [&](CString& s) { return AP_CUSTOM_ALTERNATES.Get(index, s, value, code); }))
AP_METHOD(AppendCustomOperationAltContribData2, (unsigned char* label, double value, int code), AP_CUSTOM_KIND, AP_QUIET,
          AP_CUSTOM_ALTERNATES.Append(InString(label), value, code))

// IAPCustomOperation11, shared with IAPMeasurementOperation8: a measurement operation first.
AP_BUFFER_METHOD(GetOption5, (int* value), value, AP_TRY(APMeasurementOperation, APCustomOperation), AP_QUIET,
                 m->GetOption5(value))
AP_METHOD(SetOption5, (int value), AP_TRY(APMeasurementOperation, APCustomOperation), AP_QUIET, m->SetOption5(value))

// IAPCustomOperation12 (its refresh settings are the shared rows).
AP_METHOD(SetCustomOperationContribDataDetails,
          (unsigned char* name, double detail1, double detail2, double detail3, double detail4, int index, int stride),
          AP_CUSTOM_KIND, AP_QUIET, m->SetContribDataDetails(InString(name), detail1, detail2, detail3, detail4, index, stride))
AP_BUFFER_METHOD(GetCustomOperationContribDataDetails,
                 (int index, double* detail1, double* detail2, double* detail3, double* detail4),
                 (detail1 && detail2 && detail3 && detail4), AP_CUSTOM_KIND, AP_QUIET,
                 m->GetContribDataDetails(index, detail1, detail2, detail3, detail4))
AP_METHOD(ExtendCustomOperationContribValues, (int count), AP_CUSTOM_KIND, AP_QUIET, AP_CUSTOM_MAIN.ExtendValues(count))
AP_METHOD(ClearCustomOperationContribValues, (), AP_CUSTOM_KIND, AP_QUIET, AP_CUSTOM_MAIN.ClearValues())

#undef AP_CUSTOM_RESULTS
#undef AP_CUSTOM_MAIN
#undef AP_CUSTOM_ALTERNATES
#undef AP_CUSTOM_KIND
