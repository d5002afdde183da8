#pragma once
// The custom operation: a step that an extension outside the library carries out. It names
// the extension, says whether it measures or moves, and keeps what the extension needs and
// produces: labelled elements, metadata pairs, design limits, results and contributors, and
// the step settings of the placing operations.
#include <vector>

#include "operations/APMeasurementResults.h"
#include "operations/APOperation.h"

class APCustomOperation : public APOperation, public APStepSettings {
    DECLARE_DYNAMIC(APCustomOperation)

public:
    APCustomOperation();

    // Elements, each with the label at the same index. Nulls and duplicates are allowed; a
    // destroyed element leaves a null entry, so labels stay aligned.
    HRESULT RemoveElementByIndex(int index);
    HRESULT RemoveElement(IAPElement* element);
    HRESULT GetElement(int index, CString& label, IAPElement** element);
    HRESULT GetNumElements(int* count);
    HRESULT AppendElement(const CString& label, IAPElement* element);
    HRESULT AppendElementNoDependent(const CString& label, IAPElement* element);
    // The last entry labelled `label` takes `element`; no match or a null element changes
    // nothing.
    HRESULT SetElementByLabel(const CString& label, IAPElement* element);

    // Metadata pairs {first text, second text}.
    HRESULT RemoveMetaDataByIndex(int index);
    HRESULT RemoveMetaDataByValue(const CString& second);
    HRESULT GetMetaData(int index, CString& first, CString& second);
    HRESULT GetNumMetaData(int* count);
    HRESULT AppendMetaData(const CString& first, const CString& second);

    HRESULT GetNameOfExtension(CString& name);
    HRESULT SetNameOfExtension(const CString& name);
    HRESULT GetExtensionSetName(CString& name);
    HRESULT SetExtensionSetName(const CString& name);
    HRESULT GetCustomOpType(APCustomType* type);
    HRESULT SetCustomOpType(APCustomType type);

    // A limit setter also marks the limit set.
    HRESULT IsHighDesignLimitSetForCustom(int* isSet);
    HRESULT IsLowDesignLimitSetForCustom(int* isSet);
    HRESULT GetLowDesignLimitOfCustom(double* value);
    HRESULT SetLowDesignLimitForCustom(double value);
    HRESULT GetHighDesignLimitOfCustom(double* value);
    HRESULT SetHighDesignLimitForCustom(double value);
    HRESULT SetIsRelativeForCustom(int value);
    HRESULT GetIsRelativeOfCustom(int* value);
    // The extension is never compared with anything: always "not modified".
    HRESULT CheckIfDllWasModified(int* modified);

    // Raw data, contributors (counted by names, the alternates by values; a count of 0 also
    // empties the codes; a removal goes code, value, name), nominal, deviation and HLM
    // variance.
    APMeasurementResults& Results() { return m_results; }
    HRESULT SetContribDataDetails(const CString& name, double d1, double d2, double d3, double d4, int index, int stride);
    HRESULT GetContribDataDetails(int index, double* d1, double* d2, double* d3, double* d4);

    HRESULT SetExtraValue4(double value);
    HRESULT GetExtraValue4(double* value);
    HRESULT SetExtraValue5(double value);
    HRESULT GetExtraValue5(double* value);
    HRESULT GetExtraValue6(double* value);
    HRESULT SetExtraValue6(double value);
    HRESULT GetExtraValue7(double* value);
    HRESULT SetExtraValue7(double value);
    HRESULT GetExtraValue8(double* value);
    HRESULT SetExtraValue8(double value);
    HRESULT SetOptionFlag(int value);
    HRESULT GetOptionFlag(int* value);
    HRESULT GetOption5(int* value);
    HRESULT SetOption5(int value);

    // Wide-string helpers for the extension's text. A new BSTR without the leading and
    // trailing white space of `text`, or null for a null, empty or blank text.
    static HRESULT TrimWideString(const wchar_t* text, BSTR* trimmed);
    // Replaces *text by its trimmed copy.
    static HRESULT TrimBstr(BSTR* text);
    // Characters before the terminating zero; 0 for null.
    static int WideStringLength(const wchar_t* text);
    // *text becomes the trimmed wide form of the narrow `source` (system code page); a
    // source over kMaxWideText characters fails and leaves *text alone.
    static HRESULT MultiByteToTrimmedBstr(const char* source, BSTR* text);

    // Command 3: every entry of the destroyed element becomes null.
    HRESULT Notify(unsigned long command, IAPElement* element) override;
    HRESULT Serialize(WmObjectStream* stream) override;
    HRESULT Deserialize(WmObjectStream* stream) override;
    // Names, type, design limits and their flags, nominal, deviation, HLM variance, extra
    // values 4 and 8 and option 5.
    HRESULT Clone(IAPElement* target) override;

    static constexpr int kBlockVersion = 13;
    // Buffers of the texts, each with room for its terminating zero: labels and metadata
    // as stored, and the buffers a block is read into.
    static constexpr int kTextBuffer = 1025;
    static constexpr int kReadTextBuffer = 1024;
    static constexpr int kReadExtensionNameBuffer = 256;
    static constexpr int kMaxWideText = 1027;

protected:
    void ElementLists(std::vector<APElementList*>& lists) override { lists.push_back(&m_elements); }

private:
    HRESULT AppendLabelled(const CString& label, IAPElement* element, bool watch);
    // What a results section carries beside the results.
    struct Extras {
        double extra4, extra6, extra7, extra8;
        int option5;
    };
    bool WriteSection(WmObjectStream& s) const;
    static bool ReadSection(WmObjectStream& s, int version, APMeasurementResults& results, Extras& extras);
    // A text as its buffer keeps it.
    static CString Stored(const CString& text);

    APCustomType m_type = AP_CUSTOM_UNKNOWN;
    CString m_extensionName;
    CString m_extensionSetName;
    std::vector<CString> m_labels;
    APElementList m_elements;
    std::vector<CString> m_metaFirst;
    std::vector<CString> m_metaSecond;
    APDesignLimits m_limits{true};
    APMeasurementResults m_results{APMeasurementResults::Owner::Custom};
    int m_optionFlag = 1;
    int m_relative = 0;
    double m_extra4 = -9999.0;
    double m_extra5 = 0.0;
    double m_extra6 = 0.0;
    double m_extra7 = 0.0;
    double m_extra8 = 0.0;
    int m_option5 = 0;
};
