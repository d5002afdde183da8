#pragma once
// Argument shaping for element methods whose interface types differ from the model's: the
// model keeps some lists as IAPElement pointers while the interfaces speak of IAPDRF or
// IAPDatum.
#include "Plenvort_h.h"
#include "model/APComQuery.h"
#include "platform/toolkit/WmBrep.h"

// Hands the model the IAPElement of `in` (null stays null); the query's reference goes again
// after the call.
template <class Call>
HRESULT ElementIn(IUnknown* in, Call&& call)
{
    if (!in) return call(static_cast<IAPElement*>(nullptr));
    IAPElement* element = nullptr;
    if (FAILED(in->QueryInterface(IID_IAPElement, reinterpret_cast<void**>(&element))) || !element) return E_FAIL;
    const HRESULT hr = call(element);
    element->Release();
    return hr;
}

// As ElementIn, for lists of one kind: `in` must answer `kind`, else E_FAIL.
template <class Call>
HRESULT ElementOfKindIn(IUnknown* in, REFIID kind, Call&& call)
{
    if (in && !Answers(in, kind)) return E_FAIL;
    return ElementIn(in, call);
}

// Lets the model hand out an IAPElement and gives the caller the same object's interface
// `iid`, with one reference.
template <class To, class Call>
HRESULT ElementOut(To** out, REFIID iid, Call&& call)
{
    IAPElement* element = nullptr;
    HRESULT hr = call(&element);
    if (hr < 0 || !element) {
        if (element) element->Release();
        return E_FAIL;
    }
    To* typed = nullptr;
    hr = element->QueryInterface(iid, reinterpret_cast<void**>(&typed));
    element->Release();
    if (FAILED(hr) || !typed) return E_FAIL;
    *out = typed;
    return S_OK;
}

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
