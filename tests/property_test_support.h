#pragma once
// Shared pieces of the property, pointer-list and element-block tests.
#include <gtest/gtest.h>
#include <objbase.h>

#include <cstdint>
#include <string>
#include <vector>

#include "model/APElement.h"
#include "platform/atl/atlbase.h"
#include "platform/orv/ORVComCreate.h"
#include "platform/toolkit/WmObjectStream.h"
#include "test_support.h"

namespace plenvort_test {

class TestElement : public APElement {
public:
    HRESULT Clone(IAPElement*) override { return S_OK; }
};

// A counted object that answers IUnknown and, when asked, IAPElement (as a bare marker:
// no element method is ever called through it).
class Counted : public IUnknown {
public:
    LONG refs = 1;
    bool answersElement = true;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || (iid == IID_IAPElement && answersElement)) *out = static_cast<IUnknown*>(this);
        else return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs); }
    IAPElement* AsElement() { return reinterpret_cast<IAPElement*>(static_cast<IUnknown*>(this)); }
};

inline IAPPropertyKey* NewKey(const std::string& text)
{
    IAPPropertyKey* key = Create<IAPPropertyKey>(CLSID_APPropertyKey, IID_IAPPropertyKey);
    if (key) key->SetKey(Text(text.c_str()));
    return key;
}

// A property of the given class, as IAPProperty, with its value set through the typed
// interface, and its persistence and copy flags.
inline IAPProperty* NewProperty(REFCLSID clsid, bool persistent = true, bool copied = false)
{
    IAPProperty* p = Create<IAPProperty>(clsid, IID_IAPProperty);
    if (!p) return nullptr;
    p->SetPersistanceFlag(persistent ? 1 : 0);
    p->SetCopyFlag(copied ? 1 : 0);
    return p;
}

// A property made by NewProperty whose value `set` gives through its typed interface `I`.
template <class I, class Set>
IAPProperty* NewTypedProperty(REFCLSID clsid, REFIID iid, bool persistent, bool copied, Set set)
{
    IAPProperty* p = NewProperty(clsid, persistent, copied);
    I* typed = nullptr;
    p->QueryInterface(iid, reinterpret_cast<void**>(&typed));
    set(typed);
    typed->Release();
    return p;
}

inline IAPProperty* NewStringProperty(const std::string& value, bool persistent = true, bool copied = false)
{
    return NewTypedProperty<IAPStringProperty>(CLSID_APStringProperty, IID_IAPStringProperty, persistent, copied,
                                               [&](IAPStringProperty* s) { s->SetString(Text(value.c_str())); });
}

inline IAPProperty* NewIntProperty(int value, bool persistent = true, bool copied = false)
{
    return NewTypedProperty<IAPIntProperty>(CLSID_APIntProperty, IID_IAPIntProperty, persistent, copied,
                                            [&](IAPIntProperty* s) { s->SetValue(value); });
}

inline IAPProperty* NewDoubleProperty(double value, bool persistent = true, bool copied = false)
{
    return NewTypedProperty<IAPDoubleProperty>(CLSID_APDoubleProperty, IID_IAPDoubleProperty, persistent, copied,
                                               [&](IAPDoubleProperty* s) { s->SetValue(value); });
}

inline IAPProperty* NewElemPtrProperty(IAPElement* value, bool persistent = true, bool copied = false)
{
    return NewTypedProperty<IAPElemPtrProperty>(CLSID_APElemPtrProperty, IID_IAPElemPtrProperty, persistent, copied,
                                                [&](IAPElemPtrProperty* s) { s->SetValue(value); });
}

// Stores `prop` under `key` on the element and lets go of the local references.
inline void Attach(APElement& e, const std::string& key, IAPProperty* prop)
{
    IAPPropertyKey* k = NewKey(key);
    EXPECT_EQ(e.SetProperty(k, prop), S_OK);
    k->Release();
    prop->Release();
}

// The element's property under `key`, with a reference, or null.
inline IAPProperty* PropertyOf(APElement& e, const std::string& key)
{
    IAPPropertyKey* k = NewKey(key);
    IAPProperty* p = nullptr;
    e.GetProperty(k, &p);
    k->Release();
    return p;
}

inline std::string StringValue(IAPProperty* p)
{
    IAPStringProperty* s = nullptr;
    if (!p || FAILED(p->QueryInterface(IID_IAPStringProperty, reinterpret_cast<void**>(&s)))) return "<none>";
    int n = 0;
    s->GetStringSize(&n);
    std::string out(static_cast<std::size_t>(n) + 1, '\0');
    s->GetString(reinterpret_cast<unsigned char*>(out.data()));
    s->Release();
    out.resize(static_cast<std::size_t>(n));
    return out;
}

// The value of a property through its typed interface `I`, or `none` when it has none.
template <class I, class V>
V TypedValue(IAPProperty* p, REFIID iid, V none)
{
    I* s = nullptr;
    if (!p || FAILED(p->QueryInterface(iid, reinterpret_cast<void**>(&s)))) return none;
    V v{};
    s->GetValue(&v);
    s->Release();
    return v;
}

inline int IntValue(IAPProperty* p) { return TypedValue<IAPIntProperty, int>(p, IID_IAPIntProperty, -12345); }

inline double DoubleValue(IAPProperty* p)
{
    return TypedValue<IAPDoubleProperty, double>(p, IID_IAPDoubleProperty, -12345);
}

inline IAPElement* ElemPtrValue(IAPProperty* p)
{
    return TypedValue<IAPElemPtrProperty, IAPElement*>(p, IID_IAPElemPtrProperty, reinterpret_cast<IAPElement*>(-1));
}

inline long FlagOf(IAPProperty* p, HRESULT (STDMETHODCALLTYPE IAPProperty::*get)(long*))
{
    long v = -1;
    (p->*get)(&v);
    return v;
}

// An object stream on memory with its own numbering tables.
struct MemoryObjectStream {
    WmMemoryByteStream bytes;
    WmDataStream data{&bytes};
    WmObjectStream stream{data};

    MemoryObjectStream() { Attach(); }
    explicit MemoryObjectStream(const std::vector<unsigned char>& from)
        : bytes(from.data(), static_cast<std::uint32_t>(from.size()))
    {
        Attach();
    }
    void Attach()
    {
        auto* z = new WmPtrSwizzle;
        stream.setSwizzler(z);
        z->release();
    }
    std::int64_t Position()
    {
        std::int64_t p = -1;
        bytes.Tell(&p);
        return p;
    }
    bool AtEnd() { return Position() == static_cast<std::int64_t>(bytes.Size()); }
};

// Writes values by hand in the stream's encoding.
struct BlockBuilder {
    WmMemoryByteStream bytes;
    WmDataStream data{&bytes};

    BlockBuilder& I(int v)
    {
        data.write(v);
        return *this;
    }
    BlockBuilder& F(float v)
    {
        data.write(v);
        return *this;
    }
    BlockBuilder& D(double v)
    {
        data.write(v);
        return *this;
    }
    BlockBuilder& S(const std::string& s)
    {
        data.write(WmString(s.c_str(), s.size()));
        return *this;
    }
    BlockBuilder& G(const GUID& g)
    {
        data.write(WmGUID(g));
        return *this;
    }
    BlockBuilder& Array(const std::vector<int>& a)
    {
        I(static_cast<int>(a.size()));
        for (int v : a) I(v);
        return *this;
    }
    std::vector<unsigned char> Bytes() const { return bytes.Bytes(); }
};

// Reads values back one by one from written bytes.
struct BlockReaderForTest {
    WmMemoryByteStream bytes;
    WmDataStream data{&bytes};
    explicit BlockReaderForTest(const std::vector<unsigned char>& from)
        : bytes(from.data(), static_cast<std::uint32_t>(from.size()))
    {
    }
    int I()
    {
        int v = -7777777;
        EXPECT_TRUE(data.read(v));
        return v;
    }
    float F()
    {
        float v = -7777777;
        EXPECT_TRUE(data.read(v));
        return v;
    }
    double D()
    {
        double v = -7777777;
        EXPECT_TRUE(data.read(v));
        return v;
    }
    std::string S()
    {
        WmString s;
        EXPECT_TRUE(data.read(s));
        return s.str();
    }
    GUID G()
    {
        WmGUID g;
        EXPECT_TRUE(data.read(g));
        return g.toGUID();
    }
    std::vector<int> Array()
    {
        int n = I();
        std::vector<int> v;
        for (int i = 0; i < n && i < 100000; ++i) v.push_back(I());
        return v;
    }
    bool AtEnd()
    {
        std::int64_t left = -1;
        return bytes.BytesRemaining(&left) && left == 0;
    }
};

inline std::vector<int> ArraySetting(APElement& e, HRESULT (APElement::*get)(int*, int**))
{
    int count = -5;
    int* values = nullptr;
    EXPECT_EQ((e.*get)(&count, &values), S_OK);
    std::vector<int> out(values, values + (count > 0 ? count : 0));
    CoTaskMemFree(values);
    return out;
}

inline int IntSetting(APElement& e, HRESULT (APElement::*get)(int*))
{
    int v = -7777777;
    EXPECT_EQ((e.*get)(&v), S_OK);
    return v;
}

inline std::vector<int> ZeroTo37()
{
    std::vector<int> v;
    for (int i = 0; i < 38; ++i) v.push_back(i);
    return v;
}

} // namespace plenvort_test
