#pragma once
// The data-access service behind a data moniker (see MkGetService).
#include <objbase.h>

#include "Plenvort_h.h"

// {97D7AA61-B2A9-11D5-8493-000102D5A9C0}
extern "C" const IID IID_IVELKClient;

// Callers rely on the slot order: FetchLocalCopy is the thirteenth slot counted from
// QueryInterface. The reserved slots stand for service operations this library never calls.
struct IVELKClient : public IUnknown {
    // Text of the last failure ("" when the last call succeeded). *needed gets the size with
    // the terminating zero; the text is cut to fit the buffer.
    virtual HRESULT STDMETHODCALLTYPE GetLastErrorText(char* buffer, ULONG size, ULONG* needed) = 0;
    virtual HRESULT STDMETHODCALLTYPE ClearError() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved5() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved6() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved7() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved8() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved9() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved10() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reserved11() = 0;
    // Makes a local copy of the moniker's document available; negative when it cannot.
    virtual HRESULT STDMETHODCALLTYPE FetchLocalCopy(IORVDataMoniker* moniker, int mode, int flags) = 0;
};

#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(IVELKClient, 0x97d7aa61, 0xb2a9, 0x11d5, 0x84, 0x93, 0x00, 0x01, 0x02, 0xd5, 0xa9, 0xc0)
#endif
