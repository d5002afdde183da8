// Example host: registers the library, builds a small process document through COM, saves
// it, opens the file in a second document, prints the tree it finds there, and unregisters.
#include <windows.h>
#include <objbase.h>
#include <cstdio>
#include <string>

#include "Plenvort_h.h"

namespace {

unsigned char* Text(const char* s) { return reinterpret_cast<unsigned char*>(const_cast<char*>(s)); }

bool Check(HRESULT hr, const char* what)
{
    if (SUCCEEDED(hr)) return true;
    std::printf("%s failed (0x%08lx)\n", what, static_cast<unsigned long>(hr));
    return false;
}

template <class T>
void Release(T*& p)
{
    if (p) p->Release();
    p = nullptr;
}

// A new node under `parent` (or top-level when parent is null), named and with a note.
IAPNode* AddNode(IAPDocument* doc, IAPNode* parent, const CLSID& clsid, const char* name, const char* note)
{
    GUID id = clsid, iid = IID_IAPNode;
    IAPNode* node = nullptr;
    if (!Check(doc->CreateProcessElement(&id, &iid, reinterpret_cast<ULONG_PTR*>(&node)), "CreateProcessElement"))
        return nullptr;
    IAPElement* element = nullptr;
    if (SUCCEEDED(node->QueryInterface(IID_IAPElement, reinterpret_cast<void**>(&element)))) {
        element->SetName(Text(name));
        element->Release();
    }
    if (note) node->SetNote(Text(note));
    if (parent && !Check(doc->AddChild(parent, node), "AddChild")) Release(node);
    return node;
}

const char* KindOf(IAPNode* node)
{
    IAPElement* element = nullptr;
    if (FAILED(node->QueryInterface(IID_IAPElement, reinterpret_cast<void**>(&element)))) return "?";
    GUID id{};
    element->GetClassID(&id);
    element->Release();
    if (IsEqualGUID(id, CLSID_APAssemblyNode)) return "assembly";
    if (IsEqualGUID(id, CLSID_APPartNode)) return "part";
    if (IsEqualGUID(id, CLSID_APFixtureNode)) return "fixture";
    return "node";
}

void PrintTree(IAPDocument* doc, IAPNode* node, int depth)
{
    char name[1024] = {};
    char note[4096] = {};
    IAPElement* element = nullptr;
    if (SUCCEEDED(node->QueryInterface(IID_IAPElement, reinterpret_cast<void**>(&element)))) {
        element->GetName(Text(name));
        element->Release();
    }
    node->GetNote(Text(note));
    std::printf("%*s%s (%s)%s%s\n", depth * 2, "", name, KindOf(node), *note ? ": " : "", note);
    int count = 0;
    doc->GetNumChildren(node, &count);
    for (int i = 0; i < count; ++i) {
        IAPNode* child = nullptr;
        if (SUCCEEDED(doc->GetChild(node, i, &child)) && child) {
            PrintTree(doc, child, depth + 1);
            child->Release();
        }
    }
}

bool Build(IAPDocument* doc)
{
    IAPNode* body = AddNode(doc, nullptr, CLSID_APAssemblyNode, "Body in white", "gap and flush study");
    IAPNode* frame = AddNode(doc, body, CLSID_APPartNode, "Side frame", "reference part");
    IAPNode* door = AddNode(doc, body, CLSID_APAssemblyNode, "Front door", nullptr);
    IAPNode* inner = AddNode(doc, door, CLSID_APPartNode, "Inner panel", "stamped, 0.7 mm");
    IAPNode* outer = AddNode(doc, door, CLSID_APPartNode, "Outer panel", "hemmed to the inner panel");
    IAPNode* fixture = AddNode(doc, nullptr, CLSID_APFixtureNode, "Door fixture", "4-2-1 locators");
    const bool ok = body && frame && door && inner && outer && fixture;
    for (IAPNode* n : {body, frame, door, inner, outer, fixture})
        if (n) n->Release();
    return ok && Check(doc->SetProcessName(Text("Door line")), "SetProcessName") &&
           Check(doc->SetProcessDescription(Text("Front door fitting")), "SetProcessDescription") &&
           Check(doc->SetAssemblyDirectory(Text("C:\\models\\door")), "SetAssemblyDirectory");
}

int Run(const char* path)
{
    IAPDocument* doc = nullptr;
    if (!Check(CoCreateInstance(CLSID_APDocument, nullptr, CLSCTX_INPROC_SERVER, IID_IAPDocument,
                                reinterpret_cast<void**>(&doc)),
               "CoCreateInstance APDocument"))
        return 3;
    int rc = 0;
    if (!Build(doc) || !Check(doc->Save(Text(path)), "Save")) rc = 4;
    Release(doc);
    if (rc) return rc;
    std::printf("saved %s\n", path);

    IAPDocument* again = nullptr;
    if (!Check(CoCreateInstance(CLSID_APDocument, nullptr, CLSCTX_INPROC_SERVER, IID_IAPDocument,
                                reinterpret_cast<void**>(&again)),
               "CoCreateInstance APDocument"))
        return 3;
    if (Check(again->OpenDocument(Text(path)), "OpenDocument")) {
        char name[256] = {};
        int size = 0;
        if (SUCCEEDED(again->GetProcessNameSize(&size)) && size < 255) again->GetProcessName(Text(name));
        std::printf("opened \"%s\":\n", name);
        IAPPointerList* roots = nullptr;
        if (Check(CoCreateInstance(CLSID_APPointerList, nullptr, CLSCTX_INPROC_SERVER, IID_IAPPointerList,
                                   reinterpret_cast<void**>(&roots)),
                  "CoCreateInstance APPointerList") &&
            Check(again->GetRoots(roots), "GetRoots")) {
            int count = 0;
            roots->GetLength(&count);
            for (int i = 0; i < count; ++i) {
                GUID iid = IID_IAPNode;
                IAPNode* node = nullptr;
                if (SUCCEEDED(roots->GetElement(i, &iid, reinterpret_cast<ULONG_PTR*>(&node))) && node) {
                    PrintTree(again, node, 1);
                    node->Release();
                }
            }
        }
        Release(roots);
    } else {
        rc = 5;
    }
    Release(again);
    return rc;
}

} // namespace

int main()
{
    HMODULE dll = LoadLibraryW(L"Plenvort.dll");
    if (!dll) {
        std::printf("Plenvort.dll could not be loaded (error %lu)\n", GetLastError());
        return 1;
    }
    using EntryPoint = HRESULT(STDAPICALLTYPE*)();
    auto reg = reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(GetProcAddress(dll, "DllRegisterServer")));
    auto unreg = reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(GetProcAddress(dll, "DllUnregisterServer")));
    if (!reg || !unreg) {
        std::printf("Plenvort.dll lacks its registration entry points\n");
        FreeLibrary(dll);
        return 1;
    }
    int rc = 2;
    if (Check(reg(), "DllRegisterServer")) {
        std::printf("registered Plenvort.dll\n");
        if (SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
            char folder[MAX_PATH];
            GetTempPathA(MAX_PATH, folder);
            const std::string path = std::string(folder) + "plenvort_demo.pvd";
            rc = Run(path.c_str());
            DeleteFileA(path.c_str());
            CoFreeUnusedLibraries();
            CoUninitialize();
        }
        if (Check(unreg(), "DllUnregisterServer")) std::printf("unregistered Plenvort.dll\n");
    }
    FreeLibrary(dll);
    return rc;
}
