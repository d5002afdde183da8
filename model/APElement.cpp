#include "model/APElement.h"

#include <vector>

IMPLEMENT_DYNAMIC(APElement, CObject)

APElement::~APElement() = default;

HRESULT APElement::SetComObject(IAPElement* wrapper)
{
    m_wrapper = wrapper;
    return S_OK;
}

HRESULT APElement::Notify(unsigned long, IAPElement*) { return S_OK; }

HRESULT APElement::NotifyDependents(unsigned short)
{
    if (!m_wrapper) return E_FAIL;
    // Dependents unregister themselves while they hear of the destruction, so walk a
    // snapshot and skip those that have left the list meanwhile.
    std::vector<IAPElementSink*> snapshot(m_dependents.Data(), m_dependents.Data() + m_dependents.GetCount());
    for (auto it = snapshot.rbegin(); it != snapshot.rend(); ++it) {
        IAPElementSink* sink = *it;
        if (!sink || !m_dependents.Contains(sink)) continue;
        sink->AddRef();
        sink->Notify(3, m_wrapper);
        sink->Release();
    }
    return S_OK;
}

HRESULT APElement::NotifyDeletion() { return NotifyDependents(3) < 0 ? E_FAIL : S_OK; }

HRESULT APElement::AddDependent(IAPElementSink* sink)
{
    if (!m_dependents.Contains(sink)) m_dependents.Append(sink);
    return S_OK;
}

HRESULT APElement::RemoveDependent(IAPElementSink* sink)
{
    int index;
    if (!m_dependents.Find(sink, &index)) return E_FAIL;
    m_dependents.RemoveAt(index, 1);
    return S_OK;
}

HRESULT APElement::GetNumDependents(int* count)
{
    *count = m_dependents.Count();
    return S_OK;
}

HRESULT APElement::GetDependent(int index, IAPElement** out)
{
    if (index < 0 || index >= m_dependents.Count()) return E_FAIL;
    IAPElementSink* sink = m_dependents[index];
    if (!sink) return E_FAIL;
    return FAILED(sink->QueryInterface(IID_IAPElement, reinterpret_cast<void**>(out))) ? E_FAIL : S_OK;
}

HRESULT APElement::GetDescriptionSize(int* size)
{
    *size = m_description.GetLength();
    return S_OK;
}

HRESULT APElement::GetNameSize(int* size)
{
    *size = m_name.GetLength();
    return S_OK;
}

HRESULT APElement::NotifyDocumentChanged(IAPElement* element, const unsigned char* message)
{
    if (!m_docSink) return E_FAIL;
    HRESULT hr = m_docSink->Notify(1, element, 16, const_cast<unsigned char*>(message));
    return hr < 0 ? E_FAIL : S_OK;
}

HRESULT APElement::GetCost(int* cost)
{
    *cost = m_cost;
    return S_OK;
}

HRESULT APElement::SetCost(int cost)
{
    m_cost = cost;
    return S_OK;
}

HRESULT APElement::GetDescription(CString& description)
{
    description = m_description;
    return S_OK;
}

HRESULT APElement::SetDescription(const CString& description)
{
    m_description = description;
    return S_OK;
}

HRESULT APElement::GetName(CString& name)
{
    name = m_name;
    return S_OK;
}

HRESULT APElement::SetName(const CString& name)
{
    m_name = name;
    return S_OK;
}

HRESULT APElement::GetPreviousName(CString& name)
{
    name = m_previousName;
    return S_OK;
}

HRESULT APElement::SetPreviousName(const CString& name)
{
    m_previousName = name;
    return S_OK;
}

HRESULT APElement::RenameKeepingPrevious(const CString& newName, int* changed)
{
    *changed = 0;
    if (newName.IsEmpty()) return S_OK;
    CString current;
    GetName(current);
    if (current.IsEmpty()) return S_OK;
    m_previousName = current;
    m_name = newName;
    *changed = 1;
    return S_OK;
}

HRESULT APElement::RestorePreviousName(int* restored)
{
    *restored = 0;
    CString previous;
    GetPreviousName(previous);
    if (previous.IsEmpty()) return S_OK;
    SetName(previous);
    SetPreviousName(CString());
    *restored = 1;
    return S_OK;
}

HRESULT APElement::BindDocument(IAPDocEventSink* sink)
{
    m_docSink = sink;
    return S_OK;
}

HRESULT APElement::GetDocument(IAPDocument** doc)
{
    if (!m_docSink) return E_FAIL;
    // The query hands out exactly the one reference the caller releases.
    return FAILED(m_docSink->QueryInterface(IID_IAPDocument, reinterpret_cast<void**>(doc))) ? E_FAIL : S_OK;
}

HRESULT APElement::FixupLists() { return S_OK; }

HRESULT APElement::CleanUpCopyList() { return S_OK; }
