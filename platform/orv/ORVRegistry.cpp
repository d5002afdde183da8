#include "platform/orv/ORVRegistry.h"

#include <new>
#include <utility>

namespace {

std::vector<std::pair<CLSID, CLSID>>& Mappings()
{
    static std::vector<std::pair<CLSID, CLSID>> m;
    return m;
}

struct CallRecord {
    bool on = false;
    std::vector<orv_hooks::ClassCall> calls;
};

CallRecord& Record()
{
    static CallRecord r;
    return r;
}

void Note(bool registered, REFCLSID clsid, HINSTANCE instance)
{
    CallRecord& r = Record();
    if (r.on) r.calls.push_back({registered, clsid, instance});
}

} // namespace

HRESULT ORVGetReferenceGUID(REFCLSID clsid, CLSID* reference)
{
    if (!reference) return E_POINTER;
    for (const auto& m : Mappings()) {
        if (IsEqualCLSID(m.first, clsid)) {
            *reference = m.second;
            return S_OK;
        }
    }
    return REGDB_E_CLASSNOTREG;
}

HRESULT ORVRegisterClass(REFCLSID clsid, HINSTANCE instance)
{
    Note(true, clsid, instance);
    return S_OK;
}

HRESULT ORVUnregisterClass(REFCLSID clsid, HINSTANCE instance)
{
    Note(false, clsid, instance);
    return S_OK;
}

namespace orv_hooks {

void SetReferenceMapping(REFCLSID from, REFCLSID to)
{
    for (auto& m : Mappings()) {
        if (IsEqualCLSID(m.first, from)) {
            m.second = to;
            return;
        }
    }
    Mappings().emplace_back(from, to);
}

void ClearReferenceMappings() { Mappings().clear(); }

void RecordClassCalls(bool on)
{
    Record().on = on;
    if (on) Record().calls.clear();
}

const std::vector<ClassCall>& ClassCalls() { return Record().calls; }

WrapperCounts& TypeLibWrapperCounts()
{
    static WrapperCounts counts;
    return counts;
}

} // namespace orv_hooks

// ---------------------------------------------------------------------------------------

CTypeLibWrapper::CTypeLibWrapper() { ++orv_hooks::TypeLibWrapperCounts().live; }

CTypeLibWrapper::~CTypeLibWrapper()
{
    if (m_lib2) m_lib2->Release();
    if (m_lib) m_lib->Release();
    --orv_hooks::TypeLibWrapperCounts().live;
}

HRESULT CTypeLibWrapper::Init(ITypeLib* typeLib, HINSTANCE instance)
{
    if (!typeLib) return E_POINTER;
    if (m_lib) return E_UNEXPECTED;
    m_lib = typeLib;
    m_lib->AddRef();
    if (FAILED(m_lib->QueryInterface(IID_ITypeLib2, reinterpret_cast<void**>(&m_lib2)))) m_lib2 = nullptr;
    m_instance = instance;
    ++orv_hooks::TypeLibWrapperCounts().inits;
    return S_OK;
}

HRESULT CTypeLibWrapper::Unregister()
{
    // The library stays held: its attributes may still be out with the caller.
    ++orv_hooks::TypeLibWrapperCounts().unregisters;
    return m_lib ? S_OK : E_UNEXPECTED;
}

HRESULT CTypeLibWrapper::QueryInterface(REFIID iid, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ITypeLib) || (m_lib2 && IsEqualIID(iid, IID_ITypeLib2))) {
        *ppv = static_cast<ITypeLib2*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG CTypeLibWrapper::AddRef() { return static_cast<ULONG>(++m_refs); }

ULONG CTypeLibWrapper::Release()
{
    LONG n = --m_refs;
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
}

UINT CTypeLibWrapper::GetTypeInfoCount() { return m_lib ? m_lib->GetTypeInfoCount() : 0; }

HRESULT CTypeLibWrapper::GetTypeInfo(UINT index, ITypeInfo** info)
{
    return m_lib ? m_lib->GetTypeInfo(index, info) : E_UNEXPECTED;
}

HRESULT CTypeLibWrapper::GetTypeInfoType(UINT index, TYPEKIND* kind)
{
    return m_lib ? m_lib->GetTypeInfoType(index, kind) : E_UNEXPECTED;
}

HRESULT CTypeLibWrapper::GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** info)
{
    return m_lib ? m_lib->GetTypeInfoOfGuid(guid, info) : E_UNEXPECTED;
}

HRESULT CTypeLibWrapper::GetLibAttr(TLIBATTR** attr) { return m_lib ? m_lib->GetLibAttr(attr) : E_UNEXPECTED; }

HRESULT CTypeLibWrapper::GetTypeComp(ITypeComp** comp) { return m_lib ? m_lib->GetTypeComp(comp) : E_UNEXPECTED; }

HRESULT CTypeLibWrapper::GetDocumentation(INT index, BSTR* name, BSTR* doc, DWORD* helpContext, BSTR* helpFile)
{
    return m_lib ? m_lib->GetDocumentation(index, name, doc, helpContext, helpFile) : E_UNEXPECTED;
}

HRESULT CTypeLibWrapper::IsName(LPOLESTR name, ULONG hash, BOOL* found)
{
    return m_lib ? m_lib->IsName(name, hash, found) : E_UNEXPECTED;
}

HRESULT CTypeLibWrapper::FindName(LPOLESTR name, ULONG hash, ITypeInfo** infos, MEMBERID* ids, USHORT* found)
{
    return m_lib ? m_lib->FindName(name, hash, infos, ids, found) : E_UNEXPECTED;
}

void CTypeLibWrapper::ReleaseTLibAttr(TLIBATTR* attr)
{
    if (m_lib) m_lib->ReleaseTLibAttr(attr);
}

HRESULT CTypeLibWrapper::GetCustData(REFGUID guid, VARIANT* value)
{
    return m_lib2 ? m_lib2->GetCustData(guid, value) : E_UNEXPECTED;
}

HRESULT CTypeLibWrapper::GetLibStatistics(ULONG* uniqueNames, ULONG* chUniqueNames)
{
    return m_lib2 ? m_lib2->GetLibStatistics(uniqueNames, chUniqueNames) : E_UNEXPECTED;
}

HRESULT CTypeLibWrapper::GetDocumentation2(INT index, LCID lcid, BSTR* helpString, DWORD* helpContext, BSTR* helpDll)
{
    return m_lib2 ? m_lib2->GetDocumentation2(index, lcid, helpString, helpContext, helpDll) : E_UNEXPECTED;
}

HRESULT CTypeLibWrapper::GetAllCustData(CUSTDATA* data) { return m_lib2 ? m_lib2->GetAllCustData(data) : E_UNEXPECTED; }
