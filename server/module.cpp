#include "server/module.h"

#include <oleauto.h>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/atl/registrar.h"
#include "platform/moniker/MkMoniker.h"
#include "platform/orv/ORVRegistry.h"

CORVComModule _Module;
CPlenvortApp theApp;

namespace {

// The classic map stays empty: the creatable classes come from the automatic map.
BEGIN_OBJECT_MAP(ObjectMap)
END_OBJECT_MAP()

constexpr size_t kProductKeySize = 1024; // with its terminating zero

// Every object-map entry in map order: the classic map, then the automatic one.
template <class F>
HRESULT ForEachEntry(_ATL_OBJMAP_ENTRY* classicMap, F&& f)
{
    for (_ATL_OBJMAP_ENTRY* map : {classicMap, AtlAutoObjectMap()}) {
        for (_ATL_OBJMAP_ENTRY* e = map; e && e->pclsid; ++e) {
            HRESULT hr = f(e);
            if (FAILED(hr)) return hr;
        }
    }
    return S_OK;
}

bool EnvironmentVariableExists(const wchar_t* name)
{
    wchar_t c = 0;
    SetLastError(ERROR_SUCCESS);
    DWORD n = GetEnvironmentVariableW(name, &c, 1);
    return n != 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
}

// The directory part of a path, without its last separator.
std::wstring DirectoryOf(const std::wstring& path)
{
    size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut);
}

HRESULT LoadOwnTypeLib(const std::wstring& path, ITypeLib** lib)
{
    *lib = nullptr;
    if (path.empty()) return E_FAIL;
    // Loading must not register anything: the caller decides that.
    return LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib);
}

} // namespace

// ---------------------------------------------------------------------------------------
// Product key

const char* CORVComModule::GetProductKey()
{
    if (m_productKeyComputed) return m_productKey;
    m_productKey[0] = '\0';

    SetLastError(ERROR_SUCCESS);
    DWORD n = GetEnvironmentVariableA("ORV_DEVELOPER_ENV", m_productKey, kProductKeySize);
    if (n != 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND) {
        if (n >= kProductKeySize) {
            // Too long for the key: keep its first 1023 characters.
            std::vector<char> whole(n + 1);
            DWORD got = GetEnvironmentVariableA("ORV_DEVELOPER_ENV", whole.data(), n + 1);
            if (got == 0 || got > n) whole[0] = '\0';
            std::strncpy(m_productKey, whole.data(), kProductKeySize - 1);
            m_productKey[kProductKeySize - 1] = '\0';
        }
    } else {
        std::wstring path = GetModulePath();
        if (!path.empty() && path.size() < MAX_PATH) {
            std::wstring file = DirectoryOf(path) + L"\\DLLPROD.TXT";
            if (FILE* f = _wfopen(file.c_str(), L"rt")) {
                if (!std::fgets(m_productKey, kProductKeySize, f)) m_productKey[0] = '\0';
                std::fclose(f);
            }
        }
        // The line end is not part of the key.
        size_t len = std::strlen(m_productKey);
        while (len && (m_productKey[len - 1] == '\n' || m_productKey[len - 1] == '\r')) m_productKey[--len] = '\0';
    }
    if (!m_productKey[0]) std::strcpy(m_productKey, "CLSID");
    m_productKeyComputed = TRUE;
    return m_productKey;
}

std::wstring CORVComModule::GetModulePath() const
{
    std::vector<wchar_t> buf(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameW(m_hInst, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return std::wstring();
        if (n < buf.size()) return std::wstring(buf.data(), n);
        if (buf.size() >= 32768) return std::wstring();
        buf.resize(buf.size() * 2);
    }
}

// ---------------------------------------------------------------------------------------
// Registry scripts

HRESULT CORVComModule::UpdateRegistryFromResourceD(UINT resourceId, BOOL bRegister)
{
    const char* key = GetProductKey();
    int n = MultiByteToWideChar(CP_THREAD_ACP, 0, key, -1, nullptr, 0);
    if (n <= 0) return HRESULT_FROM_WIN32(GetLastError());
    std::wstring product(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_THREAD_ACP, 0, key, -1, product.data(), n);
    product.resize(static_cast<size_t>(n - 1));

    std::wstring path = GetModulePath();
    if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());

    CRegistrar registrar;
    registrar.AddReplacement(L"PRODUCT", product.c_str());
    registrar.AddReplacement(L"MODULE", path.c_str());
    return bRegister ? registrar.ResourceRegister(m_hInst, resourceId, L"REGISTRY")
                     : registrar.ResourceUnregister(m_hInst, resourceId, L"REGISTRY");
}

// ---------------------------------------------------------------------------------------
// Per-user redirection

CPerUserRedirection::CPerUserRedirection()
{
    if (!EnvironmentVariableExists(L"CURRENT_USER_INSTALL")) return;
    HKEY classes = nullptr;
    // A fresh profile may not have the key yet; without it the install would go machine-wide.
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\Classes\\", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &classes,
                        nullptr) != ERROR_SUCCESS)
        return;
    m_active = RegOverridePredefKey(HKEY_CLASSES_ROOT, classes) == ERROR_SUCCESS;
    RegCloseKey(classes);
}

CPerUserRedirection::~CPerUserRedirection()
{
    if (m_active) RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
}

// ---------------------------------------------------------------------------------------
// Registration

HRESULT CORVComModule::RegisterServer(BOOL registerTypeLib, const CLSID* clsid)
{
    CPerUserRedirection redirection;
    const HINSTANCE instance = m_hInst;

    // The maker's registry first forgets every class of ours.
    ForEachEntry(m_pObjMap, [instance](_ATL_OBJMAP_ENTRY* e) {
        ORVUnregisterClass(*e->pclsid, instance);
        return S_OK;
    });

    HRESULT hr = ForEachEntry(m_pObjMap, [clsid](_ATL_OBJMAP_ENTRY* e) {
        if (clsid && !IsEqualCLSID(*e->pclsid, *clsid)) return S_OK;
        return e->pfnUpdateRegistry ? e->pfnUpdateRegistry(TRUE) : S_OK;
    });
    if (SUCCEEDED(hr) && registerTypeLib) {
        std::wstring path = GetModulePath();
        ITypeLib* lib = nullptr;
        hr = LoadOwnTypeLib(path, &lib);
        if (SUCCEEDED(hr)) {
            std::wstring helpDir = DirectoryOf(path);
            hr = RegisterTypeLib(lib, path.data(), helpDir.data());
            lib->Release();
        }
    }
    if (FAILED(hr)) return hr;

    ForEachEntry(m_pObjMap, [instance](_ATL_OBJMAP_ENTRY* e) {
        ORVRegisterClass(*e->pclsid, instance);
        return S_OK;
    });
    if (registerTypeLib) hr = RegisterTypeLibThroughWrapper();
    return hr;
}

HRESULT CORVComModule::UnregisterServer(BOOL unregisterTypeLib, const CLSID* clsid)
{
    CPerUserRedirection redirection;
    const HINSTANCE instance = m_hInst;

    ForEachEntry(m_pObjMap, [instance](_ATL_OBJMAP_ENTRY* e) {
        ORVUnregisterClass(*e->pclsid, instance);
        return S_OK;
    });

    HRESULT scripts = ForEachEntry(m_pObjMap, [clsid](_ATL_OBJMAP_ENTRY* e) {
        if (clsid && !IsEqualCLSID(*e->pclsid, *clsid)) return S_OK;
        return e->pfnUpdateRegistry ? e->pfnUpdateRegistry(FALSE) : S_OK;
    });
    HRESULT hr = scripts;
    if (SUCCEEDED(scripts) && unregisterTypeLib) {
        ITypeLib* lib = nullptr;
        hr = LoadOwnTypeLib(GetModulePath(), &lib);
        if (SUCCEEDED(hr)) {
            TLIBATTR* attr = nullptr;
            hr = lib->GetLibAttr(&attr);
            if (SUCCEEDED(hr)) {
                hr = UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
                lib->ReleaseTLibAttr(attr);
            }
            lib->Release();
        }
    }
    if (unregisterTypeLib) hr = UnregisterTypeLibThroughWrapper();
    // A script that failed is what the caller must hear of, not the type library's fate.
    return FAILED(scripts) ? scripts : hr;
}

HRESULT CORVComModule::RegisterTypeLibThroughWrapper()
{
    std::wstring path = GetModulePath();
    ITypeLib* lib = nullptr;
    HRESULT hr = LoadOwnTypeLib(path, &lib);
    if (FAILED(hr)) return hr;
    std::wstring helpDir = DirectoryOf(path);

    auto* wrapper = new (std::nothrow) CTypeLibWrapper();
    if (!wrapper) {
        lib->Release();
        return E_OUTOFMEMORY;
    }
    wrapper->AddRef();
    ITypeLib* wrapped = nullptr;
    hr = wrapper->Init(lib, m_hInst);
    if (SUCCEEDED(hr)) hr = wrapper->QueryInterface(IID_ITypeLib, reinterpret_cast<void**>(&wrapped));
    if (SUCCEEDED(hr)) {
        hr = RegisterTypeLib(wrapped, path.data(), helpDir.data());
        wrapped->Release();
    }
    wrapper->Release();
    lib->Release();
    return hr;
}

HRESULT CORVComModule::UnregisterTypeLibThroughWrapper()
{
    ITypeLib* lib = nullptr;
    HRESULT hr = LoadOwnTypeLib(GetModulePath(), &lib);
    if (FAILED(hr)) return hr;

    auto* wrapper = new (std::nothrow) CTypeLibWrapper();
    if (!wrapper) {
        lib->Release();
        return E_FAIL;
    }
    wrapper->AddRef();
    ITypeLib* wrapped = nullptr;
    if (SUCCEEDED(wrapper->Init(lib, m_hInst)) &&
        SUCCEEDED(wrapper->QueryInterface(IID_ITypeLib, reinterpret_cast<void**>(&wrapped)))) {
        TLIBATTR* attr = nullptr;
        if (SUCCEEDED(wrapped->GetLibAttr(&attr))) {
            // Looked up at run time: older systems' oleaut32 lacks it.
            if (HMODULE oleaut = LoadLibraryW(L"oleaut32.dll")) {
                typedef HRESULT(WINAPI * UnRegisterTypeLibFn)(REFGUID, WORD, WORD, LCID, SYSKIND);
                auto unregister =
                    reinterpret_cast<UnRegisterTypeLibFn>(reinterpret_cast<void*>(GetProcAddress(oleaut, "UnRegisterTypeLib")));
                if (unregister) {
                    unregister(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
                    wrapper->Unregister();
                }
                FreeLibrary(oleaut);
            }
            wrapped->ReleaseTLibAttr(attr);
        }
        wrapped->Release();
    }
    wrapper->Release();
    lib->Release();
    return hr; // the load result: the removal's own results are not reported
}

// ---------------------------------------------------------------------------------------
// Application

BOOL CPlenvortApp::InitInstance()
{
    _Module.Init(ObjectMap, m_hInstance, nullptr);
    return CWinApp::InitInstance();
}

int CPlenvortApp::ExitInstance()
{
    _Module.Term();
    return CWinApp::ExitInstance();
}

// ---------------------------------------------------------------------------------------
// Entry points

HRESULT PlenvortDllCanUnloadNow()
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    // Data monikers and their fetch service are our code too, though no class factory made them.
    return _Module.GetLockCount() == 0 && MkLiveObjectCount() == 0 ? S_OK : S_FALSE;
}

HRESULT PlenvortDllGetClassObject(REFCLSID clsid, REFIID iid, void** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    CLSID reference = clsid;
    CLSID mapped;
    if (SUCCEEDED(ORVGetReferenceGUID(clsid, &mapped))) reference = mapped;
    return _Module.GetClassObject(reference, iid, out);
}

HRESULT PlenvortDllRegisterServer() { return _Module.RegisterServer(TRUE, nullptr); }

HRESULT PlenvortDllUnregisterServer() { return _Module.UnregisterServer(TRUE, nullptr); }
