#pragma once
// Our own object-creation layer, registration side: the class-reference lookup used when a
// class object is asked for, the maker's class registry, and the type-library wrapper.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <vector>

// Maps a requested class to the class that serves it. Non-negative with *reference set when
// a mapping exists; REGDB_E_CLASSNOTREG (and *reference untouched) when none does.
HRESULT ORVGetReferenceGUID(REFCLSID clsid, CLSID* reference);

// The maker's own record of a class served by `instance`. Always S_OK.
HRESULT ORVRegisterClass(REFCLSID clsid, HINSTANCE instance);
HRESULT ORVUnregisterClass(REFCLSID clsid, HINSTANCE instance);

// A type library as the maker's registry sees it: forwards every ITypeLib (and, where the
// wrapped library has it, ITypeLib2) call to the library it was initialised with.
// Created with a reference count of 0; the creator takes the first reference.
class CTypeLibWrapper : public ITypeLib2 {
public:
    CTypeLibWrapper();
    CTypeLibWrapper(const CTypeLibWrapper&) = delete;
    CTypeLibWrapper& operator=(const CTypeLibWrapper&) = delete;

    // Holds `typeLib` with a reference; E_POINTER for null, E_UNEXPECTED when called twice.
    HRESULT Init(ITypeLib* typeLib, HINSTANCE instance);
    // The wrapper's own part of removing the library (the maker's registry keeps nothing
    // more of it here); E_UNEXPECTED before Init.
    HRESULT Unregister();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    UINT STDMETHODCALLTYPE GetTypeInfoCount() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoType(UINT index, TYPEKIND* kind) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetLibAttr(TLIBATTR** attr) override;
    HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** comp) override;
    HRESULT STDMETHODCALLTYPE GetDocumentation(INT index, BSTR* name, BSTR* doc, DWORD* helpContext,
                                               BSTR* helpFile) override;
    HRESULT STDMETHODCALLTYPE IsName(LPOLESTR name, ULONG hash, BOOL* found) override;
    HRESULT STDMETHODCALLTYPE FindName(LPOLESTR name, ULONG hash, ITypeInfo** infos, MEMBERID* ids,
                                       USHORT* found) override;
    void STDMETHODCALLTYPE ReleaseTLibAttr(TLIBATTR* attr) override;

    HRESULT STDMETHODCALLTYPE GetCustData(REFGUID guid, VARIANT* value) override;
    HRESULT STDMETHODCALLTYPE GetLibStatistics(ULONG* uniqueNames, ULONG* chUniqueNames) override;
    HRESULT STDMETHODCALLTYPE GetDocumentation2(INT index, LCID lcid, BSTR* helpString, DWORD* helpContext,
                                                BSTR* helpDll) override;
    HRESULT STDMETHODCALLTYPE GetAllCustData(CUSTDATA* data) override;

private:
    virtual ~CTypeLibWrapper();
    LONG m_refs = 0;
    ITypeLib* m_lib = nullptr;
    ITypeLib2* m_lib2 = nullptr;
    HINSTANCE m_instance = nullptr;
};

// What tests see of this layer.
namespace orv_hooks {

// ORVGetReferenceGUID answers `to` for `from` (a later mapping of `from` replaces it).
void SetReferenceMapping(REFCLSID from, REFCLSID to);
void ClearReferenceMappings();

struct ClassCall {
    bool registered; // ORVRegisterClass, else ORVUnregisterClass
    CLSID clsid;
    HINSTANCE instance;
};
// Starts (or stops) recording the class registry calls; starting clears the record.
void RecordClassCalls(bool on);
const std::vector<ClassCall>& ClassCalls();

struct WrapperCounts {
    int live = 0;         // wrappers not yet destroyed
    int inits = 0;        // successful Init calls
    int unregisters = 0;  // Unregister calls
};
WrapperCounts& TypeLibWrapperCounts();

} // namespace orv_hooks
