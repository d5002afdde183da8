#include "com/CAPPointerList.h"

#include <new>
#include <vector>

#include "platform/mfc/afx.h"

void CAPPointerList::FinalRelease()
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    const int n = m_list.Count();
    for (int i = 0; i < n; ++i)
        if (IUnknown* p = m_list[i]) p->Release();
    m_list.RemoveAll();
    m_list.Release();
}

HRESULT STDMETHODCALLTYPE CAPPointerList::AppendElement(IUnknown* elem)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    if (!elem) return E_POINTER;
    try {
        m_list.Append(elem);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    elem->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAPPointerList::GetElement(int index, GUID* iid, ULONG_PTR* elem)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    if (!iid || !elem) return E_POINTER;
    if (index < 0 || index >= m_list.Count()) return E_FAIL;
    IUnknown* p = m_list[index];
    if (!p) {
        *elem = 0;
        return E_FAIL;
    }
    void* out = nullptr;
    if (FAILED(p->QueryInterface(*iid, &out)) || !out) {
        *elem = 0;
        return E_FAIL;
    }
    *elem = reinterpret_cast<ULONG_PTR>(out);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAPPointerList::GetLength(int* length)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    if (!length) return E_POINTER;
    *length = m_list.Count();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAPPointerList::SetLength(int length)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    if (length < 0) return E_FAIL;
    if (length > kMaxLength) return E_OUTOFMEMORY;
    try {
        // Entries cut off by a shorter length are dropped with their references.
        const int old = m_list.Count();
        std::vector<IUnknown*> dropped;
        for (int i = length; i < old; ++i)
            if (m_list[i]) dropped.push_back(m_list[i]);
        m_list.SetSize(static_cast<unsigned>(length));
        for (IUnknown* p : dropped) p->Release();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAPPointerList::RemoveElement(int index)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    if (index < 0 || index >= m_list.Count()) return E_FAIL;
    IUnknown* p = m_list[index];
    m_list.RemoveAt(index, 1);
    if (p) p->Release();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAPPointerList::FindElement(IUnknown* elem, long* pFound)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    if (!pFound) return E_POINTER;
    *pFound = 0;
    if (!elem) return E_POINTER;
    int index = -1;
    *pFound = m_list.Find(elem, &index) ? 1 : 0;
    return S_OK;
}
