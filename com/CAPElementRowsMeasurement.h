// Rows of the measurement and SPC measurement operation families (see com/CAPElementRows.h).
// Out-pointers are checked here: null answers E_POINTER. An SPC operation hands out the
// measurement chain too, but is no measurement operation: every method of that chain answers
// S_FALSE there. GetOption5 and SetOption5 serve the custom chain as well and sit with its rows.

// IAPMeasurementOperation to IAPMeasurementOperation9
#define AP_MEAS_KIND AP_TRY(APMeasurementOperation)
#define AP_MEAS_CHANGED AP_NOTIFY(IAPMeasurementOperation)
AP_METHOD(SetMeasurementMode, (int mode), AP_MEAS_KIND, AP_MEAS_CHANGED, m->SetMeasurementMode(mode))
AP_BUFFER_METHOD(GetMeasurementMode, (int* mode), mode, AP_MEAS_KIND, AP_QUIET, m->GetMeasurementMode(mode))
AP_METHOD(SetMeasurementVector, (double x, double y, double z), AP_MEAS_KIND, AP_MEAS_CHANGED,
          m->SetMeasurementVector(x, y, z))
AP_BUFFER_METHOD(GetMeasurementVector, (double* x, double* y, double* z), (x && y && z), AP_MEAS_KIND, AP_QUIET,
                 m->GetMeasurementVector(x, y, z))
AP_METHOD(SetLowDesignLimit, (double low), AP_MEAS_KIND, AP_MEAS_CHANGED, m->SetLowDesignLimit(low))
AP_BUFFER_METHOD(GetLowDesignLimit, (double* low), low, AP_MEAS_KIND, AP_QUIET, m->GetLowDesignLimit(low))
AP_METHOD(SetHighDesignLimit, (double high), AP_MEAS_KIND, AP_MEAS_CHANGED, m->SetHighDesignLimit(high))
AP_BUFFER_METHOD(GetHighDesignLimit, (double* high), high, AP_MEAS_KIND, AP_QUIET, m->GetHighDesignLimit(high))
AP_BUFFER_METHOD(IsLowDesignLimitSet, (long* isSet), isSet, AP_MEAS_KIND, AP_QUIET,
                 m->IsLowDesignLimitSet(reinterpret_cast<int*>(isSet)))
AP_BUFFER_METHOD(IsHighDesignLimitSet, (long* isSet), isSet, AP_MEAS_KIND, AP_QUIET,
                 m->IsHighDesignLimitSet(reinterpret_cast<int*>(isSet)))
AP_METHOD(SetIsRelative, (long isRelative), AP_MEAS_KIND, AP_MEAS_CHANGED, m->SetIsRelative(isRelative))
AP_BUFFER_METHOD(GetIsRelative, (long* isRelative), isRelative, AP_MEAS_KIND, AP_QUIET,
                 m->GetIsRelative(reinterpret_cast<int*>(isRelative)))

// IAPMeasurementOperation2
AP_BUFFER_METHOD(GetResultsStoredFlag, (long* isStored), isStored, AP_MEAS_KIND, AP_QUIET,
                 m->GetResultsStoredFlag(reinterpret_cast<int*>(isStored)))
AP_METHOD(SetResultsStoredFlag, (long isStored), AP_MEAS_KIND, AP_QUIET, m->SetResultsStoredFlag(isStored))
AP_METHOD(SetNumData, (int num), AP_MEAS_KIND, AP_QUIET, m->SetNumData(num))
AP_BUFFER_METHOD(GetNumData, (int* num), num, AP_MEAS_KIND, AP_QUIET, m->GetNumData(num))
AP_METHOD(SetRawDataByIndex, (int index, double value), AP_MEAS_KIND, AP_QUIET, m->SetRawDataByIndex(index, value))
AP_BUFFER_METHOD(GetRawDataByIndex, (int index, double* value), value, AP_MEAS_KIND, AP_QUIET,
                 m->GetRawDataByIndex(index, value))

// IAPMeasurementOperation3
AP_BUFFER_METHOD(AppendContribData, (unsigned char* label, double* value), value, AP_MEAS_KIND, AP_QUIET,
                 m->AppendContribData(InString(label), value))
AP_BUFFER_METHOD(GetNumContribData, (int* num), num, AP_MEAS_KIND, AP_QUIET, m->GetNumContribData(num))
AP_BUFFER_METHOD(GetContribData, (int index, unsigned char* label, double* value), (label && value), AP_MEAS_KIND,
                 AP_QUIET, CopyOut(label, [&](CString& s) { return m->GetContribData(index, s, value); }))
AP_METHOD(RemoveContribDataByIndex, (int index), AP_MEAS_KIND, AP_QUIET, m->RemoveContribDataByIndex(index))
AP_METHOD(AppendContribData2, (unsigned char* label, double value, int code), AP_MEAS_KIND, AP_QUIET,
          m->AppendContribData2(InString(label), value, code))
AP_BUFFER_METHOD(GetContribData2, (int index, unsigned char* label, double* value, int* code), (label && value && code),
                 AP_MEAS_KIND, AP_QUIET,
                 CopyOut(label, [&](CString& s) { return m->GetContribData2(index, s, value, code); }))
AP_METHOD(SetSimulatedNominal, (double simnominal), AP_MEAS_KIND, AP_QUIET, m->SetSimulatedNominal(simnominal))
AP_BUFFER_METHOD(GetSimulatedNominal, (double* simnominal), simnominal, AP_MEAS_KIND, AP_QUIET,
                 m->GetSimulatedNominal(simnominal))
AP_BUFFER_METHOD(GetProcessStdDev, (double* processStdDev), processStdDev, AP_MEAS_KIND, AP_QUIET,
                 m->GetProcessStdDev(processStdDev))
AP_METHOD(SetProcessStdDev, (double processStdDev), AP_MEAS_KIND, AP_QUIET, m->SetProcessStdDev(processStdDev))
AP_BUFFER_METHOD(GetHLMVariance, (double* hlmVariance), hlmVariance, AP_MEAS_KIND, AP_QUIET,
                 m->GetHLMVariance(hlmVariance))
AP_METHOD(SetHLMVariance, (double hlmVariance), AP_MEAS_KIND, AP_QUIET, m->SetHLMVariance(hlmVariance))

// IAPMeasurementOperation4
AP_BUFFER_METHOD(GetExtraValue1, (double* value), value, AP_MEAS_KIND, AP_QUIET, m->GetExtraValue1(value))
AP_METHOD(SetExtraValue1, (double value), AP_MEAS_KIND, AP_QUIET, m->SetExtraValue1(value))
AP_BUFFER_METHOD(AppendMeasurementOperationAltContribData, (unsigned char* label, double* value), value, AP_MEAS_KIND,
                 AP_QUIET, m->AppendAltContribData(InString(label), value))
AP_BUFFER_METHOD(GetMeasurementOperationNumAltContribData, (int* num), num, AP_MEAS_KIND, AP_QUIET,
                 m->GetNumAltContribData(num))
AP_BUFFER_METHOD(GetMeasurementOperationAltContribData, (int index, unsigned char* label, double* value),
                 (label && value), AP_MEAS_KIND, AP_QUIET,
                 CopyOut(label, [&](CString& s) { return m->GetAltContribData(index, s, value); }))
AP_METHOD(RemoveMeasurementOperationAltContribDataByIndex, (int index), AP_MEAS_KIND, AP_QUIET,
          m->RemoveAltContribDataByIndex(index))
AP_METHOD(AppendMeasurementOperationAltContribData2, (unsigned char* label, double value, int code), AP_MEAS_KIND,
          AP_QUIET, m->AppendAltContribData2(InString(label), value, code))
AP_BUFFER_METHOD(GetMeasurementOperationAltContribData2, (int index, unsigned char* label, double* value, int* code),
                 (label && value && code), AP_MEAS_KIND, AP_QUIET,
                 CopyOut(label, [&](CString& s) { return m->GetAltContribData2(index, s, value, code); }))
AP_BUFFER_METHOD(GetExtraValue3, (double* value), value, AP_MEAS_KIND, AP_QUIET, m->GetExtraValue3(value))
AP_BUFFER_METHOD(GetExtraValue2, (double* value), value, AP_MEAS_KIND, AP_QUIET, m->GetExtraValue2(value))
AP_METHOD(SetExtraValue2, (double value), AP_MEAS_KIND, AP_QUIET, m->SetExtraValue2(value))
AP_METHOD(SetExtraValue3, (double value), AP_MEAS_KIND, AP_QUIET, m->SetExtraValue3(value))

// IAPMeasurementOperation5
AP_METHOD(SetDesignLimitsFlag, (long flag), AP_MEAS_KIND, AP_MEAS_CHANGED, m->SetDesignLimitsFlag(flag))
AP_BUFFER_METHOD(GetDesignLimitsFlag, (long* flag), flag, AP_MEAS_KIND, AP_QUIET,
                 m->GetDesignLimitsFlag(reinterpret_cast<int*>(flag)))
AP_BUFFER_METHOD(GetOption1, (int* value), value, AP_MEAS_KIND, AP_QUIET, m->GetOption1(value))
AP_METHOD(SetOption1, (int value), AP_MEAS_KIND, AP_QUIET, m->SetOption1(value))
AP_BUFFER_METHOD(GetOption2, (int* value), value, AP_MEAS_KIND, AP_QUIET, m->GetOption2(value))
AP_METHOD(SetOption2, (int value), AP_MEAS_KIND, AP_QUIET, m->SetOption2(value))

// IAPMeasurementOperation6
AP_BUFFER_METHOD(GetMeasurementOperationExtraValue4, (double* value), value, AP_MEAS_KIND, AP_QUIET,
                 m->GetExtraValue4(value))
AP_METHOD(SetMeasurementOperationExtraValue4, (double value), AP_MEAS_KIND, AP_QUIET, m->SetExtraValue4(value))
AP_BUFFER_METHOD(GetMeasurementOperationExtraValue5, (double* value), value, AP_MEAS_KIND, AP_QUIET,
                 m->GetExtraValue5(value))
AP_METHOD(SetMeasurementOperationExtraValue5, (double value), AP_MEAS_KIND, AP_QUIET, m->SetExtraValue5(value))
AP_METHOD(SetOption4, (int value), AP_MEAS_KIND, AP_QUIET, m->SetOption4(value))
AP_BUFFER_METHOD(GetOption4, (int* value), value, AP_MEAS_KIND, AP_QUIET, m->GetOption4(value))
AP_BUFFER_METHOD(GetOption3, (int* value), value, AP_MEAS_KIND, AP_QUIET, m->GetOption3(value))
AP_METHOD(SetOption3, (int value), AP_MEAS_KIND, AP_QUIET, m->SetOption3(value))

// IAPMeasurementOperation7
AP_METHOD(AppendReferenceElement, (IAPElement* element), AP_MEAS_KIND, AP_MEAS_CHANGED,
          m->AppendReferenceElement(element))
AP_BUFFER_METHOD(GetNumReferenceElements, (int* count), count, AP_MEAS_KIND, AP_QUIET,
                 m->GetNumReferenceElements(count))
AP_BUFFER_METHOD(GetMeasurementOperationReferenceElement, (int index, IAPElement** element), element, AP_MEAS_KIND,
                 AP_QUIET, m->GetReferenceElement(index, element))
AP_METHOD(RemoveReferenceElement, (IAPElement* element), AP_MEAS_KIND, AP_MEAS_CHANGED,
          m->RemoveReferenceElement(element))
AP_METHOD(RemoveReferenceElementByIndex, (int index), AP_MEAS_KIND, AP_MEAS_CHANGED,
          m->RemoveReferenceElementByIndex(index))

// IAPMeasurementOperation9 (IAPMeasurementOperation8's pair is shared with the custom chain)
AP_METHOD(SetMeasurementOperationContribDataDetails,
          (unsigned char* name, double detail1, double detail2, double detail3, double detail4, int index, int stride),
          AP_MEAS_KIND, AP_QUIET,
          m->SetContribDataDetails(InString(name), detail1, detail2, detail3, detail4, index, stride))
AP_BUFFER_METHOD(GetMeasurementOperationContribDataDetails,
                 (int index, double* detail1, double* detail2, double* detail3, double* detail4),
                 (detail1 && detail2 && detail3 && detail4), AP_MEAS_KIND, AP_QUIET,
                 m->GetContribDataDetails(index, detail1, detail2, detail3, detail4))
AP_METHOD(ExtendMeasurementOperationContribValues, (int count), AP_MEAS_KIND, AP_QUIET, m->ExtendContribValues(count))
AP_METHOD(ClearMeasurementOperationContribValues, (), AP_MEAS_KIND, AP_QUIET, m->ClearContribValues())
#undef AP_MEAS_KIND
#undef AP_MEAS_CHANGED

// IAPSPCMeasurementOp
#define AP_SPC_KIND AP_TRY(APSPCMeasurementOp)
AP_METHOD(SetSPCMeasurementType, (APSPCType type), AP_SPC_KIND, AP_QUIET, m->SetSPCMeasurementType(type))
AP_BUFFER_METHOD(GetSPCMeasurementType, (APSPCType* value), value, AP_SPC_KIND, AP_QUIET, m->GetSPCMeasurementType(value))
AP_METHOD(SetXMLFileName, (unsigned char* name), AP_SPC_KIND, AP_QUIET, m->SetXMLFileName(InString(name)))
AP_STRING_GETTER(GetXMLFileName, (unsigned char* name), name, AP_SPC_KIND, GetXMLFileName)
AP_METHOD(SetNameInXMLFile, (unsigned char* name), AP_SPC_KIND, AP_QUIET, m->SetNameInXMLFile(InString(name)))
AP_STRING_GETTER(GetNameInXMLFile, (unsigned char* name), name, AP_SPC_KIND, GetNameInXMLFile)
AP_METHOD(SetAnchorPts, (int numPts, double anchor1[3], double anchor2[3]), AP_SPC_KIND, AP_QUIET,
          m->SetAnchorPts(numPts, anchor1, anchor2))
AP_BUFFER_METHOD(GetAnchorPts, (int* numPts, double anchor1[3], double anchor2[3]), numPts, AP_SPC_KIND, AP_QUIET,
                 m->GetAnchorPts(numPts, anchor1, anchor2))
#undef AP_SPC_KIND
