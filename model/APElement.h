#pragma once
// Base of every model class: name, description, cost, dependents, document binding, the
// property map, the numbered element settings and the element's persisted block.
#include <map>
#include <vector>

#include "platform/mfc/afx.h"
#include "model/APArray.h"
#include "Plenvort_h.h"

class WmObjectStream;

// Accessor pairs of the numbered settings. Most pairs put the setter first; a few put the
// getter first, and the declaration order below is the operations' slot order.
#define AP_INT_SETTING(n)                         \
    virtual HRESULT SetIntSetting##n(int value);  \
    virtual HRESULT GetIntSetting##n(int* value);
#define AP_INT_SETTING_GETTER_FIRST(n)            \
    virtual HRESULT GetIntSetting##n(int* value); \
    virtual HRESULT SetIntSetting##n(int value);
#define AP_FLOAT_SETTING(n)                           \
    virtual HRESULT SetFloatSetting##n(float value);  \
    virtual HRESULT GetFloatSetting##n(float* value);
#define AP_DOUBLE_SETTING(n)                            \
    virtual HRESULT SetDoubleSetting##n(double value);  \
    virtual HRESULT GetDoubleSetting##n(double* value);
// Counted arrays: the getter hands out a new CoTaskMemAlloc'ed array and frees (with
// CoTaskMemFree) the array the caller passes back in *values, if any.
#define AP_INT_ARRAY_SETTING(n)                                          \
    virtual HRESULT SetIntArraySetting##n(int count, const int* values); \
    virtual HRESULT GetIntArraySetting##n(int* count, int** values);
#define AP_VECTOR_ARRAY_SETTING(n)                              \
    virtual HRESULT SetVectorSetting##n(const double xyz[3]);  \
    virtual HRESULT GetVectorSetting##n(double xyz[3]);
#define AP_TEXT_SETTING(n)                                   \
    virtual HRESULT SetStringSetting##n(const char* text);  \
    virtual HRESULT GetStringSetting##n(char* buffer);

class APElement : public CObject {
    DECLARE_DYNAMIC(APElement)

public:
    ~APElement() override;

    // Ordered by CString::Compare: byte order, case-sensitive. One reference per value.
    using PropertyMap = std::map<CString, IAPProperty*>;

    // Format version of the element block that Serialize writes.
    static constexpr int kBlockVersion = 27;

    virtual HRESULT NotifyDependents(unsigned short command);
    virtual HRESULT SetComObject(IAPElement* wrapper);
    virtual HRESULT Notify(unsigned long command, IAPElement* element);
    virtual HRESULT NotifyDeletion();
    virtual HRESULT RemoveDependent(IAPElementSink* sink);
    virtual HRESULT AddDependent(IAPElementSink* sink);
    virtual HRESULT GetNumDependents(int* count);
    virtual HRESULT GetDependent(int index, IAPElement** out);
    virtual HRESULT GetDescriptionSize(int* size);
    virtual HRESULT GetNameSize(int* size);
    virtual HRESULT NotifyDocumentChanged(IAPElement* element, const unsigned char* message);
    virtual HRESULT GetCost(int* cost);
    virtual HRESULT SetCost(int cost);
    virtual HRESULT GetDescription(CString& description);
    virtual HRESULT SetDescription(const CString& description);
    virtual HRESULT GetName(CString& name);
    virtual HRESULT SetName(const CString& name);
    virtual HRESULT GetPreviousName(CString& name);
    virtual HRESULT SetPreviousName(const CString& name);
    virtual HRESULT RenameKeepingPrevious(const CString& newName, int* changed);
    virtual HRESULT RestorePreviousName(int* restored);

    // The element block on the element stream (writer or reader). Subclasses write and read
    // this block first and fail when it fails.
    using CObject::Serialize;
    virtual HRESULT Serialize(WmObjectStream* stream);
    virtual HRESULT Deserialize(WmObjectStream* stream);

    virtual HRESULT SetProperty(IAPPropertyKey* key, IAPProperty* value);
    virtual HRESULT GetProperty(IAPPropertyKey* key, IAPProperty** value);
    virtual HRESULT RemoveProperty(IAPPropertyKey* key);
    virtual HRESULT GetNumProperties(int* count);

    virtual HRESULT BindDocument(IAPDocEventSink* sink);
    virtual HRESULT GetDocument(IAPDocument** doc);
    virtual HRESULT FixupLists();

    // The numbered settings.
    virtual HRESULT SetVectorSetting1(double x, double y, double z);
    virtual HRESULT GetVectorSetting1(double* x, double* y, double* z);
    AP_INT_SETTING(2)
    AP_INT_SETTING(3)
    AP_INT_SETTING(4)
    AP_INT_SETTING(5)
    AP_INT_SETTING(6)
    AP_INT_SETTING(7)
    AP_INT_SETTING(8)
    AP_TEXT_SETTING(9)
    AP_INT_SETTING(10)
    AP_INT_SETTING(11)
    AP_INT_SETTING(12)
    virtual HRESULT SetObjectSetting13(IORVDataMoniker* moniker);
    virtual HRESULT GetObjectSetting13(IORVDataMoniker** moniker);
    AP_FLOAT_SETTING(14)
    AP_INT_SETTING(15)
    AP_INT_SETTING(16)
    AP_INT_SETTING(17)
    AP_FLOAT_SETTING(18)
    AP_INT_SETTING(19)
    AP_INT_SETTING(20)
    AP_INT_SETTING(21)
    AP_INT_ARRAY_SETTING(22)
    virtual HRESULT SetIntTripleSetting23(int a, int b, int c);
    virtual HRESULT GetIntTripleSetting23(int* a, int* b, int* c);
    AP_INT_ARRAY_SETTING(24)
    AP_DOUBLE_SETTING(25)
    AP_INT_SETTING(26)
    AP_VECTOR_ARRAY_SETTING(27)
    AP_VECTOR_ARRAY_SETTING(28)
    AP_DOUBLE_SETTING(29)
    AP_INT_SETTING(30)
    virtual HRESULT GetStringSetting31(CString& text);
    virtual HRESULT SetStringSetting31(const CString& text);
    AP_INT_SETTING(32)
    AP_INT_SETTING(33)
    AP_INT_SETTING(34)
    AP_INT_SETTING(35)
    AP_INT_SETTING(36)
    AP_INT_SETTING(37)
    AP_INT_SETTING(38)
    AP_INT_SETTING(39)
    AP_INT_SETTING(40)
    AP_INT_SETTING_GETTER_FIRST(41)
    AP_INT_SETTING_GETTER_FIRST(42)
    AP_INT_SETTING_GETTER_FIRST(43)
    AP_INT_SETTING_GETTER_FIRST(44)
    virtual HRESULT GetDocUnits(APDocUnits* units);
    virtual HRESULT SetDocUnits(APDocUnits units);
    AP_INT_SETTING_GETTER_FIRST(46)
    AP_TEXT_SETTING(47)
    AP_INT_SETTING(48)
    AP_INT_SETTING(49)
    virtual HRESULT SetFloatTripleSetting50(float a, float b, float c);
    virtual HRESULT GetFloatTripleSetting50(float* a, float* b, float* c);
    AP_DOUBLE_SETTING(51)
    AP_INT_ARRAY_SETTING(52)
    AP_INT_SETTING(53)
    AP_INT_SETTING(54)
    AP_INT_SETTING(55)
    AP_INT_SETTING(56)
    // The moniker's file name, and its path up to the last backslash when there is one
    // (otherwise *directory keeps its value). Uses none of the element's own fields.
    virtual HRESULT SplitMonikerPath(IORVDataMoniker* moniker, CString* fileName, CString* directory);
    AP_DOUBLE_SETTING(57)
    AP_INT_SETTING(58)
    AP_INT_SETTING(59)
    AP_INT_SETTING(60)
    AP_INT_SETTING(61)
    AP_INT_SETTING(62)
    AP_INT_SETTING(63)
    AP_DOUBLE_SETTING(64)
    AP_INT_SETTING(65)
    AP_INT_SETTING(66)
    AP_INT_SETTING(67)
    virtual HRESULT SetIntSeptupleSetting68(int a, int b, int c, int d, int e, int f, int g);
    virtual HRESULT GetIntSeptupleSetting68(int* a, int* b, int* c, int* d, int* e, int* f, int* g);
    AP_INT_ARRAY_SETTING(69)

    virtual HRESULT Clone(IAPElement* target) = 0;
    virtual HRESULT CleanUpCopyList();

    // The element-level copy that every class's Clone starts with: cost, names, description,
    // string settings 9 and 47, vector setting 1, the document binding and the properties
    // whose copy flag is set. Nothing else of the target changes.
    APElement& operator=(const APElement& source);

    IAPElement* GetComObject() const { return m_wrapper; }
    IAPDocEventSink* GetDocSink() const { return m_docSink; }
    int GetSettingsChangedFlag() const { return m_settingsChanged; }
    const PropertyMap& Properties() const { return m_properties; }

protected:
    APElement();
    APElement(const APElement&) = delete;

    // The numbered settings as plain values; copied whole while a block is read, so that a
    // damaged block leaves the element as it was.
    struct Settings {
        int ints[70];              // by setting number; only the integer settings (and 45) are used
        float float14, float18;
        double double25, double29, double51, double57, double64;
        double vector1[3], vector27[3], vector28[3];
        int triple23[3];
        float triple50[3];
        int septuple68[7];
        CString string9, string31, string47;
        std::vector<int> array22, array24, array52, array69;

        Settings();
        // Group A: the part of the block written only when the settings-changed flag is 1.
        bool GroupADiffersFromDefaults() const;
        void ResetGroupA();
    };

    int m_cost = -1;
    CString m_name;
    CString m_previousName;
    CString m_description;
    int m_settingsChanged = 0;
    IAPDocEventSink* m_docSink = nullptr;   // no reference: the document outlives its elements' binding
    APArray<IAPElementSink*> m_dependents;  // no references: dependents unregister themselves
    IAPElement* m_wrapper = nullptr;        // no reference: the wrapper owns this element
    Settings m_settings;
    PropertyMap m_properties;
    IORVDataMoniker* m_moniker = nullptr;   // setting 13, one reference

private:
    HRESULT SetInt(int number, int value);
    HRESULT GetInt(int number, int* value) const;
    HRESULT SetArray(std::vector<int>& array, int count, const int* values, bool marks);
    static HRESULT GetArray(const std::vector<int>& array, int* count, int** values);
    static HRESULT SetText(CString& target, const char* text);
    static HRESULT GetText(const CString& source, char* buffer);

    HRESULT WriteProperties(WmObjectStream& stream);
    HRESULT ReadProperties(WmObjectStream& stream);
    HRESULT WriteMoniker(WmObjectStream& stream);
    void ReleaseProperties();
};

#undef AP_INT_SETTING
#undef AP_INT_SETTING_GETTER_FIRST
#undef AP_FLOAT_SETTING
#undef AP_DOUBLE_SETTING
#undef AP_INT_ARRAY_SETTING
#undef AP_VECTOR_ARRAY_SETTING
#undef AP_TEXT_SETTING
