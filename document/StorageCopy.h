#pragma once
// A compound file's contents copied into another storage in large pieces: every storage and
// stream under the same names with the same bytes, the class and the state bits, as
// IStorage::CopyTo gives them, without the platform's small-piece stream copy.
#include <objbase.h>

// Streams of `to` with the names of streams of `from` are replaced; storages are merged. A
// stream of `from` named `exceptStream` (at the top level) is left out.
HRESULT CopyStorageContents(IStorage* from, IStorage* to, const wchar_t* exceptStream = nullptr);
