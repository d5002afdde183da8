// In-process server entry points: the DLL's start and stop, and the four exports.
#include <windows.h>
#include <objbase.h>

#include "server/module.h"

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        theApp.m_hInstance = instance;
        return theApp.InitInstance();
    }
    if (reason == DLL_PROCESS_DETACH) theApp.ExitInstance();
    return TRUE;
}

STDAPI DllCanUnloadNow() { return PlenvortDllCanUnloadNow(); }

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) { return PlenvortDllGetClassObject(clsid, iid, out); }

STDAPI DllRegisterServer() { return PlenvortDllRegisterServer(); }

STDAPI DllUnregisterServer() { return PlenvortDllUnregisterServer(); }

}
