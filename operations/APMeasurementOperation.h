#pragma once
// The measurement operation and the SPC measurement operation.
#include <vector>

#include "operations/APMeasurementResults.h"
#include "operations/APOperation.h"

// A measurement along a vector, with a measurement mode, design limits, the stored results of
// an analysis and the reference elements the measurement is taken relative to (distinct, one
// reference each, watched).
class APMeasurementOperation : public APOperation {
    DECLARE_DYNAMIC(APMeasurementOperation)

public:
    APMeasurementOperation();

    HRESULT IsHighDesignLimitSet(int* set);
    HRESULT IsLowDesignLimitSet(int* set);
    HRESULT GetLowDesignLimit(double* value);
    // The limit setters leave the set flags as they are.
    HRESULT SetLowDesignLimit(double value);
    HRESULT GetHighDesignLimit(double* value);
    HRESULT SetHighDesignLimit(double value);
    HRESULT GetMeasurementVector(double* x, double* y, double* z);
    HRESULT SetMeasurementVector(double x, double y, double z);
    HRESULT GetMeasurementMode(int* mode);
    HRESULT SetMeasurementMode(int mode);
    HRESULT SetIsRelative(int relative);
    HRESULT GetIsRelative(int* relative);
    HRESULT GetResultsStoredFlag(int* stored);
    HRESULT SetResultsStoredFlag(int stored);
    HRESULT SetNumData(int count);
    HRESULT GetNumData(int* count);
    HRESULT SetRawDataByIndex(int index, double value);
    HRESULT GetRawDataByIndex(int index, double* value);
    HRESULT AppendContribData(const CString& name, double* value);
    HRESULT AppendContribData2(const CString& name, double value, int code);
    HRESULT GetNumContribData(int* count);
    HRESULT GetContribData(int index, CString& name, double* value);
    HRESULT GetContribData2(int index, CString& name, double* value, int* code);
    HRESULT RemoveContribDataByIndex(int index);
    HRESULT SetSimulatedNominal(double value);
    HRESULT GetSimulatedNominal(double* value);
    HRESULT GetProcessStdDev(double* value);
    HRESULT SetProcessStdDev(double value);
    HRESULT GetHLMVariance(double* value);
    HRESULT SetHLMVariance(double value);
    HRESULT AppendAltContribData(const CString& name, double* value);
    HRESULT AppendAltContribData2(const CString& name, double value, int code);
    // The number of alternate values.
    HRESULT GetNumAltContribData(int* count);
    HRESULT GetAltContribData(int index, CString& name, double* value);
    HRESULT GetAltContribData2(int index, CString& name, double* value, int* code);
    HRESULT RemoveAltContribDataByIndex(int index);
    HRESULT GetExtraValue1(double* value);
    HRESULT SetExtraValue1(double value);
    HRESULT GetExtraValue2(double* value);
    HRESULT SetExtraValue2(double value);
    HRESULT GetExtraValue3(double* value);
    HRESULT SetExtraValue3(double value);
    // Both set flags take the value; the getter gives 1 when both are set.
    HRESULT SetDesignLimitsFlag(int flag);
    HRESULT GetDesignLimitsFlag(int* flag);
    HRESULT GetOption1(int* value);
    HRESULT SetOption1(int value);
    HRESULT GetOption2(int* value);
    HRESULT SetOption2(int value);
    HRESULT GetExtraValue4(double* value);
    HRESULT SetExtraValue4(double value);
    HRESULT GetExtraValue5(double* value);
    HRESULT SetExtraValue5(double value);
    HRESULT SetOption4(int value);
    HRESULT GetOption4(int* value);
    HRESULT GetOption3(int* value);
    HRESULT SetOption3(int value);
    // A null element, or one already listed, changes nothing. Without a wrapper nothing is
    // appended (E_FAIL).
    HRESULT AppendReferenceElement(IAPElement* element);
    HRESULT GetNumReferenceElements(int* count);
    HRESULT GetReferenceElement(int index, IAPElement** element);
    // Not listed: S_OK.
    HRESULT RemoveReferenceElement(IAPElement* element);
    HRESULT RemoveReferenceElementByIndex(int index);
    HRESULT GetOption5(int* value);
    HRESULT SetOption5(int value);
    HRESULT SetContribDataDetails(const CString& name, double detail1, double detail2, double detail3, double detail4,
                                  int index, int stride);
    HRESULT GetContribDataDetails(int index, double* detail1, double* detail2, double* detail3, double* detail4);
    HRESULT ExtendContribValues(int count);
    HRESULT ClearContribValues();

    // Command 3 for a reference element empties the whole list: the measurement no longer
    // has the frame it was taken in.
    HRESULT Notify(unsigned long command, IAPElement* element) override;
    HRESULT Serialize(WmObjectStream* stream) override;
    HRESULT Deserialize(WmObjectStream* stream) override;
    // A loaded list whose references all came to nothing is emptied.
    HRESULT FixupLists() override;
    // The element part, design limits and flags, relative, mode, vector and options 1 to 5.
    HRESULT Clone(IAPElement* target) override;

    static constexpr int kBlockVersion = 13;

protected:
    void ElementLists(std::vector<APElementList*>& lists) override { lists.push_back(&m_references); }

private:
    // The plain values, read as one so that a damaged block changes none of them.
    struct Values {
        double vector[3] = {0.0, 0.0, 0.0};
        int mode = 16;
        int relative = 0;
        int option1 = 1;
        int option2 = 0;
        int option3 = 0;
        int option4 = -1;
        int option5 = 0;
        double extra1 = -9999.0;
        double extra2 = 0.0;
        double extra3 = 0.0;
        double extra4 = 0.0;
        double extra5 = 0.0;
    };
    // The results section after the raw data, as the version has it.
    static bool WriteSection(WmObjectStream& s, const APMeasurementResults& results, const Values& v);
    static bool ReadSection(WmObjectStream& s, int version, APMeasurementResults& results, Values& v);

    Values m_values;
    APDesignLimits m_limits;
    APMeasurementResults m_results;
    APElementList m_references;
};

// A measurement whose values come from statistical process control data in an XML file.
// Not a measurement operation for the kind tests: it derives from the operation base.
class APSPCMeasurementOp : public APOperation {
    DECLARE_DYNAMIC(APSPCMeasurementOp)

public:
    APSPCMeasurementOp() = default;

    // The operation base's deep copy, nothing of its own.
    APSPCMeasurementOp& operator=(const APSPCMeasurementOp& source);
    HRESULT SetSPCMeasurementType(APSPCType type);
    HRESULT GetSPCMeasurementType(APSPCType* type);
    HRESULT SetXMLFileName(const CString& name);
    HRESULT GetXMLFileName(CString& name);
    HRESULT SetNameInXMLFile(const CString& name);
    HRESULT GetNameInXMLFile(CString& name);
    // Point 1 is taken when the count is at least 1, point 2 when it is at least 2; the
    // other keeps its value.
    HRESULT SetAnchorPts(int count, const double point1[3], const double point2[3]);
    // Fills only the points the count covers; the caller's others stay as they were.
    HRESULT GetAnchorPts(int* count, double point1[3], double point2[3]);

    HRESULT Serialize(WmObjectStream* stream) override;
    HRESULT Deserialize(WmObjectStream* stream) override;
    HRESULT Clone(IAPElement* target) override;

    static constexpr int kBlockVersion = 1;
    // The longest file or measurement name a block keeps.
    static constexpr int kNameBuffer = 2056;

private:
    APSPCType m_type = AP_SPC_COORD;
    CString m_nameInFile;
    CString m_fileName;
    int m_anchorCount = 0;
    double m_anchors[2][3] = {{0.0, 0.0, 0.0}, {0.0, 0.0, 0.0}};
};
