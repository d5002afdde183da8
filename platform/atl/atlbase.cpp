#include "platform/atl/atlbase.h"

CComModule* _pAtlModule = nullptr;

_ATL_OBJMAP_ENTRY*& AtlAutoObjectMap()
{
    static _ATL_OBJMAP_ENTRY* map = nullptr;
    return map;
}

HRESULT WINAPI AtlInternalQueryInterface(void* pThis, const _ATL_INTMAP_ENTRY* entries, REFIID iid, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!pThis || !entries || !entries->piid) return E_NOINTERFACE;
    const auto base = reinterpret_cast<DWORD_PTR>(pThis);
    // IUnknown is the first entry: that pointer is the object's identity.
    if (InlineIsEqualUnknown(iid)) {
        auto* unk = reinterpret_cast<IUnknown*>(base + entries->dw);
        unk->AddRef();
        *ppv = unk;
        return S_OK;
    }
    for (const _ATL_INTMAP_ENTRY* e = entries; e->piid; ++e) {
        if (IsEqualGUID(*e->piid, iid)) {
            auto* unk = reinterpret_cast<IUnknown*>(base + e->dw);
            unk->AddRef();
            *ppv = unk;
            return S_OK;
        }
    }
    return E_NOINTERFACE;
}

// ---------------------------------------------------------------------------------------

CComModule::CComModule()
{
    InitializeCriticalSection(&m_csObjMap);
    if (!_pAtlModule) _pAtlModule = this;
}

CComModule::~CComModule()
{
    Term();
    DeleteCriticalSection(&m_csObjMap);
    if (_pAtlModule == this) _pAtlModule = nullptr;
}

HRESULT CComModule::Init(_ATL_OBJMAP_ENTRY* classicMap, HINSTANCE instance, const GUID* libid)
{
    m_pObjMap = classicMap;
    m_hInst = instance;
    m_pLibid = libid;
    return S_OK;
}

namespace {
void ReleaseFactories(_ATL_OBJMAP_ENTRY* map)
{
    for (_ATL_OBJMAP_ENTRY* e = map; e && e->pclsid; ++e) {
        if (e->pCF) {
            IUnknown* cf = e->pCF;
            e->pCF = nullptr;
            cf->Release();
        }
    }
}
_ATL_OBJMAP_ENTRY* FindIn(_ATL_OBJMAP_ENTRY* map, REFCLSID clsid)
{
    for (_ATL_OBJMAP_ENTRY* e = map; e && e->pclsid; ++e)
        if (IsEqualGUID(*e->pclsid, clsid)) return e;
    return nullptr;
}
} // namespace

void CComModule::Term()
{
    ReleaseFactories(m_pObjMap);
    ReleaseFactories(AtlAutoObjectMap());
}

_ATL_OBJMAP_ENTRY* CComModule::FindEntry(REFCLSID clsid) const
{
    if (_ATL_OBJMAP_ENTRY* e = FindIn(m_pObjMap, clsid)) return e;
    return FindIn(AtlAutoObjectMap(), clsid);
}

HRESULT CComModule::GetClassObject(REFCLSID clsid, REFIID iid, LPVOID* ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    _ATL_OBJMAP_ENTRY* entry = FindEntry(clsid);
    if (!entry) return CLASS_E_CLASSNOTAVAILABLE;
    return AtlGetClassObjectFromEntry(entry, iid, ppv, &m_csObjMap);
}

HRESULT CComModule::UpdateRegistryFromResourceD(UINT, BOOL) { return E_NOTIMPL; }

HRESULT AtlGetClassObjectFromEntry(_ATL_OBJMAP_ENTRY* entry, REFIID iid, LPVOID* ppv, CRITICAL_SECTION* cs)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!entry || !entry->pfnGetClassObject) return CLASS_E_CLASSNOTAVAILABLE;
    if (!entry->pCF) {
        if (cs) EnterCriticalSection(cs);
        HRESULT hr = S_OK;
        if (!entry->pCF) {
            IUnknown* cf = nullptr;
            hr = entry->pfnGetClassObject(reinterpret_cast<void*>(entry->pfnCreateInstance), IID_IUnknown,
                                          reinterpret_cast<void**>(&cf));
            if (SUCCEEDED(hr)) entry->pCF = cf;
        }
        if (cs) LeaveCriticalSection(cs);
        if (FAILED(hr)) return hr;
    }
    return entry->pCF->QueryInterface(iid, ppv);
}

// ---------------------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE CComClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    // An aggregate can only be built through its inner IUnknown.
    if (outer && !InlineIsEqualUnknown(riid)) return CLASS_E_NOAGGREGATION;
    if (!m_pfnCreateInstance) return E_FAIL;
    return m_pfnCreateInstance(outer, riid, ppv);
}

HRESULT STDMETHODCALLTYPE CComClassFactory::LockServer(BOOL lock)
{
    if (lock) AtlModuleLock();
    else AtlModuleUnlock();
    return S_OK;
}
