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
#include "model/APWeak.h"
#include "platform/atl/atlbase.h"
#include "platform/mfc/afx.h"
#include "platform/toolkit/WmObjectStream.h"

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

// A property class whose value (of type Value) is read, written and cloned the same way for
// every kind: T supplies ReadValue/WriteValue when its stream form is not the plain value,
// and PassValue, which hands the value to another property through the typed interface.
template <class T, const CLSID* pclsid, UINT registryId, class Typed, const IID* piid, class Value>
class CAPValueProperty : public CAPPropertyCoClass<T, pclsid, registryId>, public Typed {
public:
    HRESULT STDMETHODCALLTYPE read(unsigned char* pStream) override
    {
        WmObjectStream* stream = CAPProperty::StreamOf(pStream);
        if (!stream) return E_POINTER;
        return static_cast<T*>(this)->ReadValue(*stream) ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE write(unsigned char* pStream) override
    {
        WmObjectStream* stream = CAPProperty::StreamOf(pStream);
        if (!stream) return E_POINTER;
        return static_cast<T*>(this)->WriteValue(*stream) ? S_OK : E_FAIL;
    }
    // The flag word, then the value through the typed interface; E_FAIL when `newProp` does
    // not answer it (the flag word has been copied by then).
    HRESULT STDMETHODCALLTYPE Clone(IAPProperty* newProp) override
    {
        return this->template CloneThrough<Typed>(newProp, *piid,
                                                  [this](Typed* p) { return static_cast<T*>(this)->PassValue(p); });
    }

protected:
    // The plain value as one stream value; a short read leaves the value as it was.
    bool ReadValue(WmObjectStream& stream)
    {
        Value v{};
        if (!stream.read(v)) return false;
        m_value = v;
        return true;
    }
    bool WriteValue(WmObjectStream& stream) const { return stream.write(m_value); }

    Value m_value{};
};

// The kinds whose typed interface is SetValue/GetValue of the value itself.
template <class T, const CLSID* pclsid, UINT registryId, class Typed, const IID* piid, class Value>
class CAPScalarProperty : public CAPValueProperty<T, pclsid, registryId, Typed, piid, Value> {
    friend CAPValueProperty<T, pclsid, registryId, Typed, piid, Value>;

public:
    HRESULT STDMETHODCALLTYPE SetValue(Value value) override
    {
        static_cast<T*>(this)->Store(value);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetValue(Value* value) override
    {
        if (!value) return E_POINTER;
        *value = this->m_value;
        return S_OK;
    }

protected:
    void Store(Value value) { this->m_value = value; }
    HRESULT PassValue(Typed* target) const { return target->SetValue(this->m_value); }
};

class CAPStringProperty;
using CAPStringPropertyBase = CAPValueProperty<CAPStringProperty, &CLSID_APStringProperty, IDR_APSTRINGPROPERTY,
                                               IAPStringProperty, &IID_IAPStringProperty, CString>;

class CAPStringProperty : public CAPStringPropertyBase {
    friend CAPStringPropertyBase;

public:
    // Longest value that survives a save and a load.
    static constexpr int kReadLimit = 255;

    BEGIN_COM_MAP(CAPStringProperty)
    COM_INTERFACE_ENTRY_IID(IID_IAPStringProperty, IAPStringProperty)
    COM_INTERFACE_ENTRY_IID(IID_IAPProperty, IAPProperty)
    END_COM_MAP()

    HRESULT STDMETHODCALLTYPE SetString(unsigned char* string) override;
    HRESULT STDMETHODCALLTYPE GetString(unsigned char* string) override;
    HRESULT STDMETHODCALLTYPE GetStringSize(int* size) override;

private:
    // Written whole; read back cut to kReadLimit characters.
    bool ReadValue(WmObjectStream& stream);
    bool WriteValue(WmObjectStream& stream) const;
    HRESULT PassValue(IAPStringProperty* target) const;
};

class CAPIntProperty : public CAPScalarProperty<CAPIntProperty, &CLSID_APIntProperty, IDR_APINTPROPERTY, IAPIntProperty,
                                                &IID_IAPIntProperty, int> {
public:
    BEGIN_COM_MAP(CAPIntProperty)
    COM_INTERFACE_ENTRY_IID(IID_IAPIntProperty, IAPIntProperty)
    COM_INTERFACE_ENTRY_IID(IID_IAPProperty, IAPProperty)
    END_COM_MAP()
};

class CAPDoubleProperty : public CAPScalarProperty<CAPDoubleProperty, &CLSID_APDoubleProperty, IDR_APDOUBLEPROPERTY,
                                                   IAPDoubleProperty, &IID_IAPDoubleProperty, double> {
public:
    BEGIN_COM_MAP(CAPDoubleProperty)
    COM_INTERFACE_ENTRY_IID(IID_IAPDoubleProperty, IAPDoubleProperty)
    COM_INTERFACE_ENTRY_IID(IID_IAPProperty, IAPProperty)
    END_COM_MAP()
};

// Holds the element without a reference (one of ours reads null once it has ended); on the
// stream it is the element's pointer number, resolved when the element it names has been read.
class CAPElemPtrProperty;
using CAPElemPtrPropertyBase = CAPScalarProperty<CAPElemPtrProperty, &CLSID_APElemPtrProperty, IDR_APELEMPTRPROPERTY,
                                                 IAPElemPtrProperty, &IID_IAPElemPtrProperty, IAPElement*>;

class CAPElemPtrProperty : public CAPElemPtrPropertyBase {
    friend CAPElemPtrPropertyBase;
    friend CAPValueProperty<CAPElemPtrProperty, &CLSID_APElemPtrProperty, IDR_APELEMPTRPROPERTY, IAPElemPtrProperty,
                            &IID_IAPElemPtrProperty, IAPElement*>;

public:
    BEGIN_COM_MAP(CAPElemPtrProperty)
    COM_INTERFACE_ENTRY_IID(IID_IAPElemPtrProperty, IAPElemPtrProperty)
    COM_INTERFACE_ENTRY_IID(IID_IAPProperty, IAPProperty)
    END_COM_MAP()

    ~CAPElemPtrProperty() override;

    HRESULT STDMETHODCALLTYPE GetValue(IAPElement** value) override;

private:
    bool ReadValue(WmObjectStream& stream);
    bool WriteValue(WmObjectStream& stream);
    void Store(IAPElement* element);
    HRESULT PassValue(IAPElemPtrProperty* target);
    // The element named now: a value a read filled in is taken into the link on first use, or
    // dropped when its element has already ended.
    IAPElement* Current();
    // A read may leave the value waiting for its element to be registered; the request is
    // withdrawn when a value is set or the property goes away first.
    void StopWaiting();

    WmPtrSwizzle* m_waitingOn = nullptr; // one toolkit reference
    APWeak<IAPElement> m_link;           // the value, when it is one of our elements
    bool m_ours = false;                 // m_link holds the value (null once its element ended)
    bool m_read = false;                 // m_value came from a stream and is not in m_link yet
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
