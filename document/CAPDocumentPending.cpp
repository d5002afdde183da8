// Document operations that other parts of the library provide (names, copying, defaults,
// update and validation, the tolerance library): not built yet, they answer E_NOTIMPL.
// Remove an operation from here when its implementation arrives.
#include "document/CAPDocument.h"

HRESULT STDMETHODCALLTYPE CAPDocument::CopyNode(IAPNode*, IAPNode**, long) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE CAPDocument::LookupNodeByName(unsigned char*, IAPNode*, IAPNode**) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE CAPDocument::LookupNameForNode(IAPNode*, unsigned char*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE CAPDocument::GetCompoundNameForNode(IAPNode*, unsigned char*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE CAPDocument::GetNodeWithCompoundName(unsigned char*, IAPNode**) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE CAPDocument::GetCompoundNameForNode2(IAPNode*, unsigned char**) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE CAPDocument::SetFeatureAsDefault(IAPFeature*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE CAPDocument::RecordElement(IAPElement*, IAPElement*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE CAPDocument::GetPossibleReferenceElement(IAPElement*, GUID*, IAPElement*, ULONG_PTR*)
{
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE CAPDocument::GetCompoundNameForNode3(IAPNode*, unsigned char*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE CAPDocument::SetTolLibDefaultFeature(IAPFeature*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE CAPDocument::GetTolLibDefaultFeatures(IAPPointerList*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE CAPDocument::SetTolLibFeatureAsDefault(IAPFeature*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE CAPDocument::LookupNodeByName2(unsigned char*, IAPNode*, IAPNode**) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE CAPDocument::GetPdoFilePath(unsigned char*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE CAPDocument::GetPdoFileName(unsigned char*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE CAPDocument::GetTolLibPathWithoutFile(unsigned char*, int) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE CAPDocument::GetTolLibFileWithPath(unsigned char*, int) { return E_NOTIMPL; }
