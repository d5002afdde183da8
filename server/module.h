#pragma once
// The server module: the module object (lock count, object maps, class-object lookup,
// registration), the application object, and the logic behind the four exported entry
// points (server/dllmain.cpp only forwards to them, so that tests can call them directly).
#include <string>

#include "platform/atl/atlbase.h"
#include "platform/mfc/afx.h"

class CORVComModule : public CComModule {
public:
    // Runs a class's registry script (a REGISTRY resource of the module) with the
    // replacements PRODUCT (the product key) and MODULE (the library's path).
    HRESULT UpdateRegistryFromResourceD(UINT resourceId, BOOL bRegister) override;

    // Registers every class of the object maps (or only `clsid`), and the type library when
    // asked; see the .cpp for the order of the steps.
    HRESULT RegisterServer(BOOL registerTypeLib, const CLSID* clsid = nullptr);
    HRESULT UnregisterServer(BOOL unregisterTypeLib, const CLSID* clsid = nullptr);

    // The name of the key under HKEY_CLASSES_ROOT that holds the class keys: the value of
    // ORV_DEVELOPER_ENV, else the first line of "DLLPROD.TXT" beside the library, else
    // "CLSID". Computed on first use and kept for the life of the process.
    const char* GetProductKey();
    // Forgets the computed product key, so that the next use computes it again.
    void ResetProductKey() { m_productKeyComputed = FALSE; }

    // Full path of the module's file.
    std::wstring GetModulePath() const;

private:
    HRESULT RegisterTypeLibThroughWrapper();
    HRESULT UnregisterTypeLibThroughWrapper();

    BOOL m_productKeyComputed = FALSE;
    char m_productKey[1024] = {};
};

extern CORVComModule _Module;

// While alive, and when the environment variable CURRENT_USER_INSTALL exists, the process's
// HKEY_CLASSES_ROOT is redirected to HKEY_CURRENT_USER\SOFTWARE\Classes.
class CPerUserRedirection {
public:
    CPerUserRedirection();
    ~CPerUserRedirection();
    CPerUserRedirection(const CPerUserRedirection&) = delete;
    CPerUserRedirection& operator=(const CPerUserRedirection&) = delete;
    bool Active() const { return m_active; }

private:
    bool m_active = false;
};

// The application object of the library: starts and stops the module.
class CPlenvortApp : public CWinApp {
public:
    CPlenvortApp() : CWinApp("Plenvort") {}
    BOOL InitInstance() override;
    int ExitInstance() override;

    HINSTANCE m_hInstance = nullptr; // the library's instance, set before InitInstance
};

extern CPlenvortApp theApp;

// The entry points' logic.
HRESULT PlenvortDllCanUnloadNow();
HRESULT PlenvortDllGetClassObject(REFCLSID clsid, REFIID iid, void** out);
HRESULT PlenvortDllRegisterServer();
HRESULT PlenvortDllUnregisterServer();
