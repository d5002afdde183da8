#pragma once
#include <windows.h>
#include <string>

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

} // namespace plenvort_test
