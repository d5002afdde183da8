#pragma once
// Property objects: named values that clients attach to elements, and the key objects that
// name them.
//
// Flag word: bit 0 persistence (the element saves the property), bit 1 copy (the element's
// copy takes it along), bits 16 to 31 a mask of caller-defined flags for GetFlag/SetFlag.
//
// read/write take the element stream's toolkit object stream (a WmObjectStream*) passed
// through the interface as a byte pointer.
#include "Plenvort_h.h"
#include "com/RegistryIds.h"
#include "platform/atl/atlbase.h"
#include "platform/mfc/afx.h"

class WmObjectStream;

// The flag word and its methods, shared by every property class.
class CAPProperty : public CComObjectRootEx<CComSingleThreadModel>, public IAPProperty {
public:
    static constexpr unsigned long kPersistent = 0x1;
    static constexpr unsigned long kCopied = 0x2;

    virtual ~CAPProperty() = default;

    HRESULT STDMETHODCALLTYPE GetFlag(unsigned short flag, long* isSet) override;
    HRESULT STDMETHODCALLTYPE SetFlag(unsigned short flag, long trueFalse) override;
    HRESULT STDMETHODCALLTYPE SetPersistanceFlag(long trueFalse) override;
    HRESULT STDMETHODCALLTYPE GetPersistanceFlag(long* isSet) override;
    HRESULT STDMETHODCALLTYPE SetCopyFlag(long trueFalse) override;
    HRESULT STDMETHODCALLTYPE GetCopyFlag(long* isSet) override;
    // Copies the flag word only; the value classes add their value.
    HRESULT STDMETHODCALLTYPE Clone(IAPProperty* newProp) override;

    unsigned long GetFlagWord() const { return m_flags; }

protected:
    // Gives `target` this flag word through its interface, so that it works on any
    // implementation of IAPProperty.
    HRESULT CopyFlagsTo(IAPProperty* target) const;

    // The flag word, then the value through the typed interface `Typed`.
    template <class Typed, class Pass>
    HRESULT CloneThrough(IAPProperty* newProp, const IID& iid, Pass&& pass)
    {
        if (!newProp) return E_POINTER;
        if (FAILED(CopyFlagsTo(newProp))) return E_FAIL;
        Typed* typed = nullptr;
        if (FAILED(newProp->QueryInterface(iid, reinterpret_cast<void**>(&typed))) || !typed) {
            if (typed) typed->Release();
            return E_FAIL;
        }
        HRESULT hr = pass(typed);
        typed->Release();
        return FAILED(hr) ? E_FAIL : S_OK;
    }

    static WmObjectStream* StreamOf(unsigned char* handle) { return reinterpret_cast<WmObjectStream*>(handle); }

    unsigned long m_flags = 0;
};

// A creatable property class: its class identity and registry script.
template <class T, const CLSID* pclsid, UINT registryId>
class CAPPropertyCoClass : public CAPProperty, public CComCoClass<T, pclsid> {
public:
    DECLARE_REGISTRY_RESOURCEID(registryId)

    HRESULT STDMETHODCALLTYPE GetClassID(GUID* id) override
    {
        if (!id) return E_POINTER;
        *id = *pclsid;
        return S_OK;
    }
};

class CAPStringProperty : public CAPPropertyCoClass<CAPStringProperty, &CLSID_APStringProperty, IDR_APSTRINGPROPERTY>,
                          public IAPStringProperty {
public:
    // Longest value that survives a save and a load.
    static constexpr int kReadLimit = 255;

    BEGIN_COM_MAP(CAPStringProperty)
    COM_INTERFACE_ENTRY_IID(IID_IAPStringProperty, IAPStringProperty)
    COM_INTERFACE_ENTRY_IID(IID_IAPProperty, IAPProperty)
    END_COM_MAP()

    HRESULT STDMETHODCALLTYPE read(unsigned char* pStream) override;
    HRESULT STDMETHODCALLTYPE write(unsigned char* pStream) override;
    HRESULT STDMETHODCALLTYPE Clone(IAPProperty* newProp) override;

    HRESULT STDMETHODCALLTYPE SetString(unsigned char* string) override;
    HRESULT STDMETHODCALLTYPE GetString(unsigned char* string) override;
    HRESULT STDMETHODCALLTYPE GetStringSize(int* size) override;

private:
    CString m_value;
};

class CAPIntProperty : public CAPPropertyCoClass<CAPIntProperty, &CLSID_APIntProperty, IDR_APINTPROPERTY>,
                       public IAPIntProperty {
public:
    BEGIN_COM_MAP(CAPIntProperty)
    COM_INTERFACE_ENTRY_IID(IID_IAPIntProperty, IAPIntProperty)
    COM_INTERFACE_ENTRY_IID(IID_IAPProperty, IAPProperty)
    END_COM_MAP()

    HRESULT STDMETHODCALLTYPE read(unsigned char* pStream) override;
    HRESULT STDMETHODCALLTYPE write(unsigned char* pStream) override;
    HRESULT STDMETHODCALLTYPE Clone(IAPProperty* newProp) override;

    HRESULT STDMETHODCALLTYPE SetValue(int value) override;
    HRESULT STDMETHODCALLTYPE GetValue(int* value) override;

private:
    int m_value = 0;
};

class CAPDoubleProperty : public CAPPropertyCoClass<CAPDoubleProperty, &CLSID_APDoubleProperty, IDR_APDOUBLEPROPERTY>,
                          public IAPDoubleProperty {
public:
    BEGIN_COM_MAP(CAPDoubleProperty)
    COM_INTERFACE_ENTRY_IID(IID_IAPDoubleProperty, IAPDoubleProperty)
    COM_INTERFACE_ENTRY_IID(IID_IAPProperty, IAPProperty)
    END_COM_MAP()

    HRESULT STDMETHODCALLTYPE read(unsigned char* pStream) override;
    HRESULT STDMETHODCALLTYPE write(unsigned char* pStream) override;
    HRESULT STDMETHODCALLTYPE Clone(IAPProperty* newProp) override;

    HRESULT STDMETHODCALLTYPE SetValue(double val) override;
    HRESULT STDMETHODCALLTYPE GetValue(double* val) override;

private:
    double m_value = 0.0;
};

// Holds the element without a reference; on the stream it is the element's pointer number,
// resolved when the element it names has been read.
class CAPElemPtrProperty : public CAPPropertyCoClass<CAPElemPtrProperty, &CLSID_APElemPtrProperty, IDR_APELEMPTRPROPERTY>,
                           public IAPElemPtrProperty {
public:
    BEGIN_COM_MAP(CAPElemPtrProperty)
    COM_INTERFACE_ENTRY_IID(IID_IAPElemPtrProperty, IAPElemPtrProperty)
    COM_INTERFACE_ENTRY_IID(IID_IAPProperty, IAPProperty)
    END_COM_MAP()

    HRESULT STDMETHODCALLTYPE read(unsigned char* pStream) override;
    HRESULT STDMETHODCALLTYPE write(unsigned char* pStream) override;
    HRESULT STDMETHODCALLTYPE Clone(IAPProperty* newProp) override;

    HRESULT STDMETHODCALLTYPE SetValue(IAPElement* pElem) override;
    HRESULT STDMETHODCALLTYPE GetValue(IAPElement** pElem) override;

private:
    IAPElement* m_value = nullptr; // no reference
};

class CAPPropertyKey : public CComObjectRootEx<CComSingleThreadModel>,
                       public IAPPropertyKey,
                       public CComCoClass<CAPPropertyKey, &CLSID_APPropertyKey> {
public:
    DECLARE_REGISTRY_RESOURCEID(IDR_APPROPERTYKEY)

    BEGIN_COM_MAP(CAPPropertyKey)
    COM_INTERFACE_ENTRY_IID(IID_IAPPropertyKey, IAPPropertyKey)
    END_COM_MAP()

    virtual ~CAPPropertyKey() = default;

    HRESULT STDMETHODCALLTYPE GetKey(unsigned char* key) override;
    HRESULT STDMETHODCALLTYPE GetKeySize(int* size) override;
    HRESULT STDMETHODCALLTYPE SetKey(unsigned char* key) override;

private:
    CString m_key;
};
