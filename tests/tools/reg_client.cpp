// A separate COM client for the registration test: creates the library's classes only
// through the system's CoCreateInstance, i.e. through what registration wrote.
// Prints one line per step; exit code 0 when every step passed, else the failing step's number.
#include <windows.h>
#include <objbase.h>
#include <cstdio>

#include "Plenvort_h.h"

namespace {

const CLSID kPartNode = {0x5d73a3c8, 0xf8e9, 0x11d2, {0xb2, 0x5c, 0x00, 0x60, 0xb0, 0xa4, 0xbc, 0x1c}};
const CLSID kPointerList = {0xeba09acc, 0x28c3, 0x11d3, {0xb2, 0x6f, 0x00, 0x60, 0xb0, 0xa4, 0xbc, 0x1c}};

int Fail(int step, const char* what, HRESULT hr)
{
    std::printf("step %d failed: %s (0x%08lx)\n", step, what, static_cast<unsigned long>(hr));
    return step;
}

template <class T>
void Release(T*& p)
{
    if (p) p->Release();
    p = nullptr;
}

int Run()
{
    IUnknown* part = nullptr;
    HRESULT hr = CoCreateInstance(kPartNode, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&part));
    if (FAILED(hr) || !part) return Fail(10, "CoCreateInstance APPartNode", hr);
    std::printf("created APPartNode\n");

    IAPElement* element = nullptr;
    hr = part->QueryInterface(__uuidof(IAPElement), reinterpret_cast<void**>(&element));
    if (FAILED(hr)) return Fail(11, "APPartNode QueryInterface IAPElement", hr);
    GUID id{};
    hr = element->GetClassID(&id);
    if (hr != S_OK || !IsEqualGUID(id, kPartNode)) return Fail(12, "APPartNode GetClassID", hr);
    IAPNode* node = nullptr;
    hr = part->QueryInterface(__uuidof(IAPNode), reinterpret_cast<void**>(&node));
    if (FAILED(hr)) return Fail(13, "APPartNode QueryInterface IAPNode", hr);
    Release(node);

    IAPPointerList* list = nullptr;
    hr = CoCreateInstance(kPointerList, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IAPPointerList),
                          reinterpret_cast<void**>(&list));
    if (FAILED(hr) || !list) return Fail(20, "CoCreateInstance APPointerList", hr);
    std::printf("created APPointerList\n");
    hr = list->AppendElement(part);
    if (hr != S_OK) return Fail(21, "AppendElement", hr);
    int length = 0;
    hr = list->GetLength(&length);
    if (hr != S_OK || length != 1) return Fail(22, "GetLength", hr);
    GUID iid = __uuidof(IAPElement);
    ULONG_PTR slot = 0;
    hr = list->GetElement(0, &iid, &slot);
    IAPElement* back = reinterpret_cast<IAPElement*>(slot);
    if (hr != S_OK || back != element) return Fail(23, "GetElement", hr);
    Release(back);
    Release(list);

    CLSID fromProgId{};
    hr = CLSIDFromProgID(L"Plenvort.APPartNode", &fromProgId);
    if (FAILED(hr) || !IsEqualCLSID(fromProgId, kPartNode)) return Fail(30, "CLSIDFromProgID Plenvort.APPartNode", hr);
    hr = CLSIDFromProgID(L"Plenvort.APPointerList.1", &fromProgId);
    if (FAILED(hr) || !IsEqualCLSID(fromProgId, kPointerList)) return Fail(31, "CLSIDFromProgID Plenvort.APPointerList.1", hr);

    Release(element);
    Release(part);
    return 0;
}

} // namespace

int main()
{
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    int rc = Run();
    CoUninitialize();
    if (rc == 0) std::printf("ok\n");
    return rc;
}
