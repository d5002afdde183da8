#include "platform/orv/ORVComCreate.h"

#include "platform/atl/atlbase.h"

HRESULT ORVCoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!(context & CLSCTX_INPROC_SERVER) || !_pAtlModule) return REGDB_E_CLASSNOTREG;
    IClassFactory* factory = nullptr;
    HRESULT hr = _pAtlModule->GetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (hr == CLASS_E_CLASSNOTAVAILABLE) return REGDB_E_CLASSNOTREG;
    if (FAILED(hr)) return hr;
    hr = factory->CreateInstance(outer, iid, out);
    factory->Release();
    return hr;
}
