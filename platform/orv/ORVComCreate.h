#pragma once
// Our own object-creation layer: every COM object the library makes for itself is created
// here by class identifier from the library's own object map.
#include <windows.h>
#include <objbase.h>

// Creates an object of a class of this library's object map. Only in-process creation is
// served; the outer unknown, when given, builds an aggregate (IID_IUnknown only).
HRESULT ORVCoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** out);
