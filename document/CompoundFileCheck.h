#pragma once
// A read-only check of a compound file's structure before the platform's reader sees it.
// The platform's reader follows allocation chains and directory links without bounds, so
// a loop or a size beyond the file hangs or crashes it; this check walks every structure
// once, in time and memory linear in the file's size, and refuses what it could not walk.
#include <windows.h>
#include <objbase.h>

#include <cstddef>

// Random access to the bytes being checked.
class CompoundFileSource {
public:
    virtual ~CompoundFileSource() = default;
    virtual ULONGLONG Size() const = 0;
    // Reads exactly `size` bytes at `offset`; false when they are not all there.
    virtual bool ReadAt(ULONGLONG offset, void* bytes, ULONG size) = 0;
};

// S_OK for a sound compound file, STG_E_DOCFILECORRUPT otherwise.
HRESULT CheckCompoundFile(CompoundFileSource& source);
HRESULT CheckCompoundFileBytes(const void* bytes, size_t size);

// Checks the file at `path`. S_FALSE when the file cannot be read here at all (missing,
// locked): the caller's own open then reports why.
HRESULT CheckCompoundFileAt(const wchar_t* path);
