// Document operations that other parts of the library provide (names, copying, defaults,
// update and validation, the tolerance library): not built yet, they answer E_NOTIMPL.
// Remove an operation from here when its implementation arrives.
#include "document/CAPDocument.h"

HRESULT STDMETHODCALLTYPE CAPDocument::CopyNode(IAPNode*, IAPNode**, long) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE CAPDocument::SetFeatureAsDefault(IAPFeature*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE CAPDocument::RecordElement(IAPElement*, IAPElement*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE CAPDocument::GetPossibleReferenceElement(IAPElement*, GUID*, IAPElement*, ULONG_PTR*)
{
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE CAPDocument::SetTolLibDefaultFeature(IAPFeature*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE CAPDocument::GetTolLibDefaultFeatures(IAPPointerList*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE CAPDocument::SetTolLibFeatureAsDefault(IAPFeature*) { return E_NOTIMPL; }
