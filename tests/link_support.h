#pragma once
// Helpers of the feature pair, datum, frame and tolerance tests: a pin that counts its
// reference uses itself, a document that records notifications and plays the copy map, and
// element blocks over memory.
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "element_support.h"
#include "model/APNode.h"

namespace link_test {

using namespace plenvort_test;

// {5D1C7A20-8E44-4F0B-B7A3-2C61E0F9D315}
inline constexpr CLSID CLSID_CountedPin = {0x5d1c7a20, 0x8e44, 0x4f0b, {0xb7, 0xa3, 0x2c, 0x61, 0xe0, 0xf9, 0xd3, 0x15}};

// A pin feature whose reference-use count the test can read; it can refuse new uses.
class CCountedPin : public CAPElementCoClass<CCountedPin, &CLSID_CountedPin, APPinFeature, 0> {
public:
    BEGIN_COM_MAP(CCountedPin)
    AP_ELEMENT_SINK
    AP_ELEMENT_FAMILY
    AP_NODE_FAMILY
    AP_GEOMETRY_NODE
    AP_FEATURE_FAMILY
    AP_PIN_FEATURE
    END_COM_MAP()

    int uses = 0;
    bool refuseUses = false;

    HRESULT STDMETHODCALLTYPE IncrementReferenceUse() override
    {
        if (refuseUses) return E_FAIL;
        ++uses;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DecrementReferenceUse() override
    {
        --uses;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsUsedAsReference(long* used) override
    {
        if (!used) return E_POINTER;
        *used = uses > 0 ? 1 : 0;
        return S_OK;
    }
};

// A counted pin held by the caller through IAPFeature.
inline IAPFeature* NewCountedPin()
{
    CComObject<CCountedPin>* p = nullptr;
    EXPECT_EQ(CComObject<CCountedPin>::CreateInstance(&p), S_OK);
    if (!p) return nullptr;
    IAPFeature* f = nullptr;
    p->QueryInterface(IID_IAPFeature, reinterpret_cast<void**>(&f));
    return f;
}

inline CCountedPin* Counted(IUnknown* f)
{
    IAPElement* e = Elem(f);
    if (!e) return nullptr;
    CCountedPin* pin = dynamic_cast<CCountedPin*>(ObjectOf(e));
    e->Release();
    return pin;
}

inline int Uses(IUnknown* f) { return Counted(f)->uses; }

inline int Dependents(IUnknown* p)
{
    IAPElement* e = Elem(p);
    int n = CountOf(e, &IAPElement::GetNumDependents);
    e->Release();
    return n;
}

template <class T>
T* New(REFCLSID clsid, REFIID iid)
{
    return Create<T>(clsid, iid);
}

inline void Release(IUnknown* p);

inline bool Same(IUnknown* a, IUnknown* b)
{
    IUnknown* ia = Query<IUnknown>(a, IID_IUnknown);
    IUnknown* ib = Query<IUnknown>(b, IID_IUnknown);
    const bool same = ia && ia == ib;
    Release(ia);
    Release(ib);
    return same;
}

inline void Release(IUnknown* p)
{
    if (p) p->Release();
}

// The document an element is bound to in these tests: it records the interfaces that change
// notifications name and answers the copy map's requests, now (a copy recorded with Copy) or
// when a copy is recorded later (Record); End clears what is still waiting.
class FakeDoc : public DocumentStub, public IAPDocEventSink {
public:
    std::vector<IID> changed;
    std::map<IUnknown*, IAPElement*> copies; // identity of the old element -> its copy
    struct Request {
        IAPElement* dependent;
        IID iid;
        ULONG_PTR* slot;
    };
    std::multimap<IUnknown*, Request> waiting;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IAPDocument || iid == IID_IAPDocument2)
            *out = static_cast<IAPDocument2*>(this);
        else if (iid == IID_IAPDocEventSink)
            *out = static_cast<IAPDocEventSink*>(this);
        return *out ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE Notify(unsigned short cmd, IAPElement*, unsigned long length, unsigned char* message) override
    {
        if (cmd == 1 && message && length == sizeof(IID)) {
            IID iid;
            std::memcpy(&iid, message, sizeof iid);
            changed.push_back(iid);
        }
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetPossibleReferenceElement(IAPElement* dependent, GUID* iid, IAPElement* old,
                                                          ULONG_PTR* slot) override
    {
        auto it = copies.find(Identity(old));
        if (it == copies.end()) {
            waiting.emplace(Identity(old), Request{dependent, *iid, slot});
            return S_OK;
        }
        Answer(it->second, Request{dependent, *iid, slot});
        return S_OK;
    }

    void Copy(IUnknown* old, IUnknown* copy) { copies[Identity(old)] = Elem(copy), copies[Identity(old)]->Release(); }
    void Record(IUnknown* old, IUnknown* copy)
    {
        Copy(old, copy);
        auto range = waiting.equal_range(Identity(old));
        for (auto it = range.first; it != range.second; ++it) Answer(copies[Identity(old)], it->second);
        waiting.erase(range.first, range.second);
    }
    void End()
    {
        for (auto& [old, r] : waiting) *r.slot = 0;
        waiting.clear();
    }
    // Bound to this document: `p` (any interface of an element).
    void Bind(IUnknown* p)
    {
        IAPElement* e = Elem(p);
        e->BindDocument(this);
        e->Release();
    }
    std::vector<IID> Take()
    {
        std::vector<IID> out;
        out.swap(changed);
        return out;
    }

private:
    static IUnknown* Identity(IUnknown* p)
    {
        IUnknown* id = Query<IUnknown>(p, IID_IUnknown);
        if (id) id->Release();
        return id;
    }
    // As the copy map does: the slot gets the copy without a reference, and the requester
    // watches the copy.
    static void Answer(IAPElement* copy, const Request& r)
    {
        void* typed = nullptr;
        copy->QueryInterface(r.iid, &typed);
        static_cast<IUnknown*>(typed)->Release();
        *r.slot = reinterpret_cast<ULONG_PTR>(typed);
        IAPElementSink* sink = Query<IAPElementSink>(r.dependent, IID_IAPElementSink);
        copy->AddDependent(sink);
        sink->Release();
    }
};

// One element's block written to memory, and read back into another element.
inline std::vector<unsigned char> BlockOf(const std::function<void(Writer&)>& write)
{
    Writer w;
    write(w);
    return w.bytes.Bytes();
}

// A block of `clsid` as far as the node's, then what `body` writes.
inline std::vector<unsigned char> NodeBlock(REFCLSID clsid, const std::function<void(Writer&)>& body)
{
    IAPElement* blank = New<IAPElement>(clsid, IID_IAPElement);
    Writer w;
    EXPECT_EQ(Model<APNode>(blank)->APNode::Serialize(w.Stream()), S_OK);
    body(w);
    blank->Release();
    return w.bytes.Bytes();
}

// A version 5 operation block in condition mode 2 (nothing stored for conditions), without
// pairs: what the operations' own blocks follow.
inline void Mode2Header(WmObjectStream& s)
{
    s.write(5);
    s.write(0.0);
    s.write(2); // mode
    s.write(0); // auxiliary
    s.write(1); // active
    s.write(0); // pairs
}

// The element read from `bytes` and fixed up, or null when the read failed.
inline IAPElement* ReadBack(REFCLSID clsid, const std::vector<unsigned char>& bytes)
{
    IAPElement* e = New<IAPElement>(clsid, IID_IAPElement);
    Reader r(bytes);
    if (e->Deserialize(r.Handle()) != S_OK) {
        e->Release();
        return nullptr;
    }
    EXPECT_EQ(e->FixupLists(), S_OK);
    return e;
}

} // namespace link_test
