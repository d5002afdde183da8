#pragma once
// Argument shaping for element methods whose interface types differ from the model's: B-rep
// handles and pairs of strings.
#include <cstring>

#include "Plenvort_h.h"
#include "platform/mfc/afx.h"
#include "platform/toolkit/WmBrep.h"

// Lets the model hand out a B-rep and gives the caller its handle (0 for none).
template <class Call>
HRESULT BrepOut(ULONG_PTR* handle, Call&& call)
{
    if (!handle) return E_FAIL;
    WmBrep* brep = nullptr;
    const HRESULT hr = call(&brep);
    if (hr < 0) return E_FAIL;
    *handle = static_cast<ULONG_PTR>(WmBrep::toHandle(brep));
    return hr;
}

// Lets the model fill two strings and copies both, each with its terminating zero, into the
// caller's buffers only when the model succeeded.
template <class Get>
HRESULT CopyOutPair(unsigned char* first, unsigned char* second, Get&& get)
{
    if (!first || !second) return E_POINTER;
    CString a, b;
    const HRESULT hr = get(a, b);
    if (hr < 0) return hr;
    std::memcpy(first, a.GetString(), static_cast<std::size_t>(a.GetLength()) + 1);
    std::memcpy(second, b.GetString(), static_cast<std::size_t>(b.GetLength()) + 1);
    return hr;
}
