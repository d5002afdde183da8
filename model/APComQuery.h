#pragma once
// Small interface queries shared by the model and the document.
#include "Plenvort_h.h"

// `p`'s interface `iid` with a reference, or null (also for a null `p`).
template <class T>
T* Query(IUnknown* p, REFIID iid)
{
    T* out = nullptr;
    if (!p || FAILED(p->QueryInterface(iid, reinterpret_cast<void**>(&out)))) return nullptr;
    return out;
}

// Does `p` answer `iid`?
inline bool Answers(IUnknown* p, REFIID iid)
{
    IUnknown* q = Query<IUnknown>(p, iid);
    if (!q) return false;
    q->Release();
    return true;
}

// COM identity: two interface pointers of one object give the same IUnknown. The pointer
// is only compared, never called, so it carries no reference.
inline IUnknown* Identity(IUnknown* p)
{
    IUnknown* id = Query<IUnknown>(p, IID_IUnknown);
    if (id) id->Release();
    return id;
}

// Releases the reference a field holds and clears the field.
template <class T>
void ReleaseAndNull(T*& p)
{
    if (p) p->Release();
    p = nullptr;
}
