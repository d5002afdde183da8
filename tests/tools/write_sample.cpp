// Writes a sample process document through the library's COM interfaces only (no
// registration: the class object comes straight from the library's entry point), for the
// check with an independent compound-file reader.
// Usage: write_sample <file>. Exit code 0 when the file was saved.
#include <windows.h>
#include <objbase.h>
#include <cstdio>
#include <initializer_list>

#include "Plenvort_h.h"

namespace {

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

IAPNode* Node(IAPDocument* doc, const CLSID& clsid, const char* name)
{
    GUID id = clsid, iid = IID_IAPNode;
    IAPNode* node = nullptr;
    if (FAILED(doc->CreateProcessElement(&id, &iid, reinterpret_cast<ULONG_PTR*>(&node))) || !node) return nullptr;
    IAPElement* e = nullptr;
    if (SUCCEEDED(node->QueryInterface(IID_IAPElement, reinterpret_cast<void**>(&e)))) {
        e->SetName(reinterpret_cast<unsigned char*>(const_cast<char*>(name)));
        e->Release();
    }
    return node;
}

int Write(GetClassObjectFn getClassObject, const char* path)
{
    IClassFactory* factory = nullptr;
    if (FAILED(getClassObject(CLSID_APDocument, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) return 3;
    IAPDocument* doc = nullptr;
    HRESULT hr = factory->CreateInstance(nullptr, IID_IAPDocument, reinterpret_cast<void**>(&doc));
    factory->Release();
    if (FAILED(hr)) return 4;
    IAPNode* assembly = Node(doc, CLSID_APAssemblyNode, "Body in white");
    IAPNode* left = Node(doc, CLSID_APPartNode, "Left door");
    IAPNode* right = Node(doc, CLSID_APPartNode, "Right door");
    int rc = 0;
    if (!assembly || !left || !right || FAILED(doc->AddChild(assembly, left)) || FAILED(doc->AddChild(assembly, right)))
        rc = 5;
    if (!rc && (FAILED(doc->SetProcessName(reinterpret_cast<unsigned char*>(const_cast<char*>("Door line")))) ||
                FAILED(doc->SetProcessDescription(reinterpret_cast<unsigned char*>(const_cast<char*>("Gap and flush")))) ||
                FAILED(doc->SetAssemblyDirectory(reinterpret_cast<unsigned char*>(const_cast<char*>("C:\\models"))))))
        rc = 6;
    if (!rc && FAILED(doc->Save(reinterpret_cast<unsigned char*>(const_cast<char*>(path))))) rc = 7;
    for (IAPNode* n : {assembly, left, right})
        if (n) n->Release();
    doc->Release();
    return rc;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::printf("usage: write_sample <file>\n");
        return 2;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
    int rc = 1;
    if (HMODULE dll = LoadLibraryW(L"Plenvort.dll")) {
        auto fn = reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
        rc = fn ? Write(fn, argv[1]) : 1;
        FreeLibrary(dll);
    }
    CoUninitialize();
    std::printf("write_sample: %s\n", rc == 0 ? "saved" : "failed");
    return rc;
}
