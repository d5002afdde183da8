#pragma once
// Helpers every test file shares: object creation and queries, reference counts, the leak
// check, and the fakes that stand in for the library's callers.
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>

#include <string>

#include "Plenvort_h.h"
#include "platform/atl/atlbase.h"
#include "platform/orv/ORVComCreate.h"

namespace plenvort_test {

// Folder of the running test executable; the built DLL sits beside it.
inline std::wstring ExeDir()
{
    wchar_t buf[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
    std::wstring path(buf, n);
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

inline std::wstring DllPath() { return ExeDir() + L"Plenvort.dll"; }

template <class T>
T* Create(REFCLSID clsid, REFIID iid)
{
    T* p = nullptr;
    EXPECT_EQ(ORVCoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(&p)), S_OK);
    return p;
}

// The interface `iid` of `p` (a reference the caller releases), or null.
template <class T = IUnknown>
T* Query(IUnknown* p, REFIID iid)
{
    T* out = nullptr;
    if (!p || FAILED(p->QueryInterface(iid, reinterpret_cast<void**>(&out)))) return nullptr;
    return out;
}

inline ULONG RefCount(IUnknown* p)
{
    p->AddRef();
    return p->Release();
}

inline unsigned char* Text(const char* s) { return reinterpret_cast<unsigned char*>(const_cast<char*>(s)); }

// What a getter of `p`'s interface or of one it derives from gives; the call must succeed.
// The value starts as an odd one, so a getter that succeeds without writing shows.
template <class T, class I, class P>
T Got(P* p, HRESULT (STDMETHODCALLTYPE I::*get)(T*))
{
    I* itf = p;
    T value = static_cast<T>(-7777);
    EXPECT_EQ((itf->*get)(&value), S_OK);
    return value;
}

// What a count getter answers; the call must succeed.
template <class I>
int CountOf(I* p, HRESULT (STDMETHODCALLTYPE I::*get)(int*))
{
    return Got(p, get);
}

// Every test leaves no COM object and no module lock behind.
class ObjectsTest : public ::testing::Test {
protected:
    void SetUp() override { baseline = AtlModuleLockCount(); }
    void TearDown() override { EXPECT_EQ(AtlModuleLockCount(), baseline) << "an object or lock outlived its test"; }
    LONG baseline = 0;
};

// A fake on the test's stack answering IUnknown and `I`; it counts the references it is
// given so that a test can see every one handed back, and never deletes itself.
template <class I, const IID* Iid>
class CountedFake : public I {
public:
    LONG refs = 1;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (iid != IID_IUnknown && iid != *Iid) return E_NOINTERFACE;
        *ppv = static_cast<I*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs); }
};

// A fake on the test's stack answering IUnknown and `I`, counting nothing.
template <class I, const IID* Iid>
class UncountedFake : public I {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == *Iid) {
            *out = static_cast<I*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
};

// A fake that answers no interface at all, and counts nothing.
template <class I>
class UnqueryableFake : public I {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
};

// A controlling unknown for aggregation: it answers IUnknown itself and hands every other
// request to the inner object, which the test releases.
class ControllingUnknown : public IUnknown {
public:
    LONG refs = 1;
    IUnknown* inner = nullptr;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (iid == IID_IUnknown) {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return inner ? inner->QueryInterface(iid, ppv) : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs); }
};

// A document that does nothing: the fakes override only what their tests ask of one.
class DocumentStub : public IAPDocument2 {
public:
    HRESULT STDMETHODCALLTYPE GetRoots(IAPPointerList*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNumChildren(IAPNode*, int*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetChild(IAPNode*, int, IAPNode**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNumParents(IAPNode*, int*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetParent(IAPNode*, int, IAPNode**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddChild(IAPNode*, IAPNode*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE InsertChild(IAPNode*, IAPNode*, int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveChild(IAPNode*, IAPNode*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CopyNode(IAPNode*, IAPNode**, long) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetProcessName(unsigned char*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetProcessName(unsigned char*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetProcessDescription(unsigned char*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetProcessDescription(unsigned char*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetAssemblyDirectory(unsigned char*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetAssemblyDirectory(unsigned char*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Save(unsigned char*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OpenDocument(unsigned char*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LookupNodeByName(unsigned char*, IAPNode*, IAPNode**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LookupNameForNode(IAPNode*, unsigned char*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCompoundNameForNode(IAPNode*, unsigned char*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNodeWithCompoundName(unsigned char*, IAPNode**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RegisterEventSink(IAPDocEventSink*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnregisterEventSink(IAPDocEventSink*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateProcessElement(GUID*, GUID*, ULONG_PTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeleteNodeFromProcess(IAPNode*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetProcessNameSize(int*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetProcessDescriptionSize(int*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetAssemblyDirectorySize(int*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetFeatureAsDefault(IAPFeature*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDefaults(IAPPointerList*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RecordElement(IAPElement*, IAPElement*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetPossibleReferenceElement(IAPElement*, GUID*, IAPElement*, ULONG_PTR*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE ImportDocument(IAPDocument*, IAPNode*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCompoundNameForNode2(IAPNode*, unsigned char**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UpdateDocument(IAPDocument*, IAPNode*, IAPPointerList*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ValidateUpdateDocument(IAPDocument*, IAPNode*, IAPPointerList*, IAPPointerList*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CleanUpUpdateDoc() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ExportDocument(unsigned char*, IAPNode*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetExportInfo(int*, IAPElement**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCompoundNameForNode3(IAPNode*, unsigned char*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetTolLibDefaultFeature(IAPFeature*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTolLibDefaultFeatures(IAPPointerList*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetTolLibFeatureAsDefault(IAPFeature*) override { return E_NOTIMPL; }
};

} // namespace plenvort_test
