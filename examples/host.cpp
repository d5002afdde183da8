// Example host: loads the library as a client would and reports what it offers.
#include <windows.h>
#include <cstdio>

int main()
{
    HMODULE dll = LoadLibraryW(L"Plenvort.dll");
    if (!dll) {
        std::printf("Plenvort.dll could not be loaded (error %lu)\n", GetLastError());
        return 1;
    }
    const char* exports[] = {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer"};
    int missing = 0;
    for (const char* name : exports) {
        bool found = GetProcAddress(dll, name) != nullptr;
        std::printf("%-22s %s\n", name, found ? "exported" : "MISSING");
        missing += found ? 0 : 1;
    }
    FreeLibrary(dll);
    return missing ? 1 : 0;
}
