// Document operations that other parts of the library provide (names, copying, defaults,
// update and validation, the tolerance library): not built yet, they answer E_NOTIMPL.
// Remove an operation from here when its implementation arrives.
#include "document/CAPDocument.h"

HRESULT STDMETHODCALLTYPE CAPDocument::UpdateDocument(IAPDocument*, IAPNode*, IAPPointerList*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE CAPDocument::ValidateUpdateDocument(IAPDocument*, IAPNode*, IAPPointerList*, IAPPointerList*)
{
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE CAPDocument::CleanUpUpdateDoc() { return E_NOTIMPL; }
