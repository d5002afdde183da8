#pragma once
// Base of every model class: name, description, cost, dependents, document binding, the
// property map, the numbered element settings and the element's persisted block.
#include <map>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/mfc/afx.h"
#include "model/APArray.h"
#include "Plenvort_h.h"

class WmObjectStream;
class APWeakLink;

// Accessor pairs of the numbered settings by kind (see model/APElementSettings.h).
#define AP_DECLARE_INT(n)                         \
    virtual HRESULT SetIntSetting##n(int value);  \
    virtual HRESULT GetIntSetting##n(int* value);
#define AP_DECLARE_INT_MARKING(n) AP_DECLARE_INT(n)
#define AP_DECLARE_INT_GETTER_FIRST(n)            \
    virtual HRESULT GetIntSetting##n(int* value); \
    virtual HRESULT SetIntSetting##n(int value);
#define AP_DECLARE_FLOAT_MARKING(n)                   \
    virtual HRESULT SetFloatSetting##n(float value);  \
    virtual HRESULT GetFloatSetting##n(float* value);
#define AP_DECLARE_DOUBLE(n)                            \
    virtual HRESULT SetDoubleSetting##n(double value);  \
    virtual HRESULT GetDoubleSetting##n(double* value);
// Counted arrays: the getter hands out a new CoTaskMemAlloc'ed array and frees (with
// CoTaskMemFree) the array the caller passes back in *values, if any.
#define AP_DECLARE_INT_ARRAY(n)                                          \
    virtual HRESULT SetIntArraySetting##n(int count, const int* values); \
    virtual HRESULT GetIntArraySetting##n(int* count, int** values);
#define AP_DECLARE_INT_ARRAY_MARKING(n) AP_DECLARE_INT_ARRAY(n)
#define AP_DECLARE_VECTOR(n)                                    \
    virtual HRESULT SetVectorSetting##n(const double xyz[3]);  \
    virtual HRESULT GetVectorSetting##n(double xyz[3]);
#define AP_DECLARE_TEXT(n)                                   \
    virtual HRESULT SetStringSetting##n(const char* text);  \
    virtual HRESULT GetStringSetting##n(char* buffer);
#define AP_DECLARE_VECTOR3(n)                                             \
    virtual HRESULT SetVectorSetting##n(double x, double y, double z);    \
    virtual HRESULT GetVectorSetting##n(double* x, double* y, double* z);
#define AP_DECLARE_OBJECT(n)                                               \
    virtual HRESULT SetObjectSetting##n(IORVDataMoniker* moniker);        \
    virtual HRESULT GetObjectSetting##n(IORVDataMoniker** moniker);
#define AP_DECLARE_INT_TRIPLE(n)                                    \
    virtual HRESULT SetIntTripleSetting##n(int a, int b, int c);    \
    virtual HRESULT GetIntTripleSetting##n(int* a, int* b, int* c);
#define AP_DECLARE_STRING(n)                                 \
    virtual HRESULT GetStringSetting##n(CString& text);      \
    virtual HRESULT SetStringSetting##n(const CString& text);
#define AP_DECLARE_DOC_UNITS(n)                        \
    virtual HRESULT GetDocUnits(APDocUnits* units);   \
    virtual HRESULT SetDocUnits(APDocUnits units);
// The moniker's file name, and its path up to the last backslash when there is one
// (otherwise *directory keeps its value). Uses none of the element's own fields.
#define AP_DECLARE_SPLIT_MONIKER_PATH(n) \
    virtual HRESULT SplitMonikerPath(IORVDataMoniker* moniker, CString* fileName, CString* directory);
#define AP_DECLARE_FLOAT_TRIPLE(n)                                        \
    virtual HRESULT SetFloatTripleSetting##n(float a, float b, float c);  \
    virtual HRESULT GetFloatTripleSetting##n(float* a, float* b, float* c);
#define AP_DECLARE_INT_SEPTUPLE(n)                                                               \
    virtual HRESULT SetIntSeptupleSetting##n(int a, int b, int c, int d, int e, int f, int g);   \
    virtual HRESULT GetIntSeptupleSetting##n(int* a, int* b, int* c, int* d, int* e, int* f, int* g);

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
    virtual HRESULT Serialize(WmObjectStream* stream);
    virtual HRESULT Deserialize(WmObjectStream* stream);

    virtual HRESULT SetProperty(IAPPropertyKey* key, IAPProperty* value);
    virtual HRESULT GetProperty(IAPPropertyKey* key, IAPProperty** value);
    virtual HRESULT RemoveProperty(IAPPropertyKey* key);
    virtual HRESULT GetNumProperties(int* count);

    // Binds the element to a document's events; null unbinds it from them. The element stays
    // in the list of the last document it was bound to (deleted from its process, or left by
    // a reopen), so that the document's end still reaches it.
    virtual HRESULT BindDocument(IAPDocEventSink* sink);
    // A document calls it as it ends: every element in its list (bound to `sink` now, or last
    // bound to it) is unbound and lets go of the references it holds on other elements, so
    // that references among them (an element list holding an ancestor, links both ways)
    // cannot keep them alive. Elements a client holds stay, unbound and usable. Linear in the
    // number of elements in the list.
    static void ForgetDocument(IAPDocEventSink* sink);
    // Lets go of every reference this element holds on other elements through links, lists,
    // reference and measured elements, and of what a read left pending; the elements it owns
    // (children, pairs, conditions, tolerances, frames, datums) stay. The element stays usable.
    virtual void ReleaseLinks() {}
    // The elements below this one in the node tree (none but for nodes).
    virtual void ListChildren(std::vector<APElement*>&) const {}
    // The wrapper's final release has begun: no new link may be made to it. The links kept to
    // it without a reference read null once its dependents have heard of its end.
    void MarkEnding() { m_ending = true; }
    bool IsEnding() const { return m_ending; }
    // The wrapper's own IAPElementSink, the pointer it registers with as a dependent.
    void SetOwnSink(IAPElementSink* sink);
    IAPElementSink* OwnSink() const { return m_ownSink; }
    // The element behind any interface of one of this library's elements; null for another
    // object (a host's) or null.
    static APElement* FromInterface(IUnknown* p);
    // The live element whose primary interface is `p`, asking nothing of `p` (which may be
    // gone); null when no live element has it.
    static APElement* FromPrimary(const void* p);
    virtual HRESULT GetDocument(IAPDocument** doc);
    virtual HRESULT FixupLists();

    // The numbered settings, in the operations' slot order.
#define AP_SETTING(kind, n) AP_DECLARE_##kind(n)
#include "model/APElementSettings.h"
#undef AP_SETTING

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
        // Every value the same as in `other`, bit for bit.
        bool SameAs(const Settings& other) const;
    };

    // Most elements never leave their default settings: they share one read-only set, and an
    // element gets its own on the first change.
    const Settings& SettingsValues() const;
    Settings& EditSettings();
    static const Settings& DefaultSettings();

    int m_cost = -1;
    CString m_name;
    CString m_previousName;
    CString m_description;
    int m_settingsChanged = 0;
    IAPDocEventSink* m_docSink = nullptr;   // no reference: the document outlives its elements' binding
    IAPDocEventSink* m_home = nullptr;      // the document whose list holds this element
    APElement* m_boundPrev = nullptr;       // neighbours in m_home's list
    APElement* m_boundNext = nullptr;
    // No references: a dependent of ours leaves every list it is in as it ends (see
    // m_watching); a host's sink unregisters itself.
    APArray<IAPElementSink*> m_dependents;
    IAPElement* m_wrapper = nullptr;        // no reference: the wrapper owns this element
    IAPElementSink* m_ownSink = nullptr;    // the wrapper's, no reference
    bool m_ending = false;                  // the wrapper's final release runs
    std::unique_ptr<Settings> m_settings;   // null while every setting has its default
    PropertyMap m_properties;
    IORVDataMoniker* m_moniker = nullptr;   // setting 13, one reference

private:
    friend class APWeakLink;

    void SetDocSink(IAPDocEventSink* sink);
    void LeaveHome();
    // The registrations both ways go: this element leaves the dependents of every element it
    // watches, and its own dependents no longer count it as watched.
    void Unhook();
    void CutWeakLinks();

    // The elements this element's sink registered with, and how often (made on the first one).
    using Watched = std::unordered_map<APElement*, int>;
    std::unique_ptr<Watched> m_watching;
    // Dependents of ours whose entry was taken out while they still watch this element.
    std::unique_ptr<std::unordered_set<APElement*>> m_unlisted;
    APWeakLink* m_weakLinks = nullptr; // links kept to this element without a reference
    HRESULT SetInt(int number, int value);
    HRESULT GetInt(int number, int* value) const;
    HRESULT SetArray(std::vector<int>& array, int count, const int* values, bool marks);
    static HRESULT GetArray(const std::vector<int>& array, int* count, int** values);
    static HRESULT SetText(CString& target, const char* text);
    static HRESULT GetText(const CString& source, char* buffer);

    HRESULT WriteProperties(WmObjectStream& stream);
    HRESULT ReadProperties(WmObjectStream& stream);
    void ReleaseProperties();
};

#undef AP_DECLARE_INT
#undef AP_DECLARE_INT_MARKING
#undef AP_DECLARE_INT_GETTER_FIRST
#undef AP_DECLARE_FLOAT_MARKING
#undef AP_DECLARE_DOUBLE
#undef AP_DECLARE_INT_ARRAY
#undef AP_DECLARE_INT_ARRAY_MARKING
#undef AP_DECLARE_VECTOR
#undef AP_DECLARE_TEXT
#undef AP_DECLARE_VECTOR3
#undef AP_DECLARE_OBJECT
#undef AP_DECLARE_INT_TRIPLE
#undef AP_DECLARE_STRING
#undef AP_DECLARE_DOC_UNITS
#undef AP_DECLARE_SPLIT_MONIKER_PATH
#undef AP_DECLARE_FLOAT_TRIPLE
#undef AP_DECLARE_INT_SEPTUPLE
