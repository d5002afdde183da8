#include <gtest/gtest.h>
#include "test_support.h"

TEST(Module, ExportsTheServerEntryPoints)
{
    HMODULE dll = LoadLibraryW(plenvort_test::DllPath().c_str());
    ASSERT_NE(dll, nullptr);
    for (const char* name : {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer"})
        EXPECT_NE(GetProcAddress(dll, name), nullptr) << name;
    FreeLibrary(dll);
}
