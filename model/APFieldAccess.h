#pragma once
// The plain field accessors of the model classes: store a value; copy one out, where a null
// out-pointer fails.
#include <cstddef>

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

// A fixed group of values (a pair, a triple, a vector) stored as one.
template <class T, std::size_t N, class... V>
HRESULT StoreAll(T (&field)[N], V... values)
{
    static_assert(sizeof...(V) == N, "one value for each element of the group");
    std::size_t i = 0;
    ((field[i++] = static_cast<T>(values)), ...);
    return S_OK;
}

// Copies a group out; any null out-pointer fails before anything is written.
template <class T, std::size_t N, class... P>
HRESULT CopyAllOut(const T (&field)[N], P*... outs)
{
    static_assert(sizeof...(P) == N, "one out-pointer for each element of the group");
    if (((outs == nullptr) || ...)) return E_FAIL;
    std::size_t i = 0;
    ((*outs = field[i++]), ...);
    return S_OK;
}

// A whole array field (a matrix) from or to a caller's array of the same length; a null
// array fails.
template <class T, std::size_t N>
HRESULT StoreArray(T (&field)[N], const T* values)
{
    if (!values) return E_FAIL;
    for (std::size_t i = 0; i < N; ++i) field[i] = values[i];
    return S_OK;
}

template <class T, std::size_t N>
HRESULT CopyArrayOut(const T (&field)[N], T* out)
{
    if (!out) return E_FAIL;
    for (std::size_t i = 0; i < N; ++i) out[i] = field[i];
    return S_OK;
}

// An interface field that holds one reference: hand it out with a reference of the caller's.
template <class I>
HRESULT HandOut(I* field, I** out)
{
    if (!out) return E_FAIL;
    *out = field;
    if (field) field->AddRef();
    return S_OK;
}

// Takes a reference on the new value before dropping the old one (they may be one object).
template <class I>
void Replace(I*& field, I* value)
{
    if (field == value) return;
    if (value) value->AddRef();
    I* old = field;
    field = value;
    if (old) old->Release();
}
