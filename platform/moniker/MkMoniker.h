#pragma once
// Data monikers: COM monikers that name a document file by its path, with their saved form
// and the data-access service that makes a local copy available.
//
// Functions given a null moniker fail (HRESULTs) or give an empty string (path getters).
#include <objbase.h>

#include "Plenvort_h.h"
#include "platform/moniker/CORVString.h"
#include "platform/moniker/IVELKClient.h"

// Class of the moniker object (IPersist::GetClassID).
extern "C" const CLSID CLSID_MkDataMoniker;

// Source types given back by MkGetFilename.
enum MkSourceType { MK_SOURCE_NONE = 0, MK_SOURCE_LOCAL_FILE = 1 };

HRESULT MkCreateMoniker(const char* path, IORVDataMoniker** out);

// Saved form: "PVMK", format 1, path length, path bytes (32-bit values little-endian).
HRESULT MkGetSizeMax(IORVDataMoniker* moniker, unsigned long* size);
HRESULT MkSave(IORVDataMoniker* moniker, unsigned char* buffer, int flag, unsigned long size);
// Refuses anything but one exact saved form.
HRESULT MkLoad(const unsigned char* bytes, unsigned long size, IORVDataMoniker** out);

CORVString MkGetPath(IORVDataMoniker* moniker);
// The path itself when it names an existing file, else "".
CORVString MkGetLocalCopyPath(IORVDataMoniker* moniker);
// The part of the path after the last separator; `flag` is accepted for callers' sake.
CORVString MkGetFilename(IORVDataMoniker* moniker, int flag, int* sourceType);

// Hands out a new data-access service (IID_IVELKClient or IID_IUnknown).
HRESULT MkGetService(IORVDataMoniker* moniker, REFIID iid, void** out, void* reserved);
CORVString MkGetServiceErrorMessage(IVELKClient* service);

// Moniker and service objects alive in this process, whatever module they were made for.
long MkLiveObjectCount();
// Test hook: while set, every FetchLocalCopy fails.
void MkSetFetchFailureForTesting(bool fail);
