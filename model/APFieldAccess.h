#pragma once
// The plain field accessors of the model classes: store a value; copy one out, where a null
// out-pointer fails.
#include "Plenvort_h.h"

template <class T>
HRESULT Store(T& field, const T& value)
{
    field = value;
    return S_OK;
}

template <class T>
HRESULT CopyOut(const T& field, T* out)
{
    if (!out) return E_FAIL;
    *out = field;
    return S_OK;
}
