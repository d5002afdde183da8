#include "document/APCopyMap.h"

#include "document/ComRef.h"

APCopyMap::~APCopyMap() { End(); }

APCopyRecord* APCopyMap::Find(IAPElement* oldElement) const
{
    auto it = m_index.find(oldElement);
    return it == m_index.end() ? nullptr : it->second;
}

APCopyRecord* APCopyMap::Add(IAPElement* oldElement)
{
    auto* record = new APCopyRecord;
    record->oldElement = oldElement;
    try {
        m_records.Append(record);
        m_index[oldElement] = record;
    } catch (...) {
        int at = -1;
        if (m_records.Find(record, &at)) m_records.RemoveAt(at);
        delete record;
        throw;
    }
    return record;
}

void APCopyMap::Hold(IAPElement* requester)
{
    if (!m_held.insert(requester).second) return;
    try {
        m_requesters.push_back(requester);
    } catch (...) {
        m_held.erase(requester);
        throw;
    }
    requester->AddRef();
}

HRESULT APCopyMap::Answer(IAPElement* copy, const APCopyRequest* requests, int count)
{
    if (!Answers(copy, IID_IAPElementSink)) return E_FAIL;
    HRESULT result = S_OK;
    for (int i = 0; i < count; ++i) {
        const APCopyRequest& request = requests[i];
        // The requester holds the copy without a reference and learns of its end as a
        // dependent instead.
        if (SUCCEEDED(copy->QueryInterface(request.iid, request.out)) && *request.out) {
            static_cast<IUnknown*>(*request.out)->Release();
        } else {
            *request.out = nullptr;
            result = E_FAIL;
            continue;
        }
        ComRef<IAPElementSink> sink = QueryRef<IAPElementSink>(request.requester, IID_IAPElementSink);
        if (!sink || FAILED(copy->AddDependent(sink.Get()))) result = E_FAIL;
    }
    return result;
}

HRESULT APCopyMap::RecordElement(IAPElement* oldElement, IAPElement* newElement)
{
    if (!oldElement || !newElement) return E_FAIL;
    APCopyRecord* record = Find(oldElement);
    if (record && record->newElement) return S_OK; // the first copy stays
    m_copies.reserve(m_copies.size() + 1);
    if (!record) record = Add(oldElement);
    record->newElement = newElement;
    newElement->AddRef();
    m_copies.push_back(newElement);
    if (record->requests.Count() == 0) return S_OK;
    const HRESULT hr = Answer(newElement, record->requests.Data(), record->requests.Count());
    record->requests.RemoveAll();
    return hr;
}

HRESULT APCopyMap::GetPossibleReferenceElement(IAPElement* requester, REFIID iid, IAPElement* oldRef, void** out)
{
    if (!requester || !oldRef || !out) return E_FAIL;
    Hold(requester);
    const APCopyRequest request{requester, iid, out};
    APCopyRecord* record = Find(oldRef);
    if (record && record->newElement) return Answer(record->newElement, &request, 1);
    if (!record) record = Add(oldRef);
    record->requests.Append(request);
    return S_OK;
}

void APCopyMap::End()
{
    for (int i = 0; i < m_records.Count(); ++i) {
        APCopyRecord* record = m_records[i];
        for (int k = 0; k < record->requests.Count(); ++k) *record->requests[k].out = nullptr;
        delete record;
    }
    m_records.RemoveAll();
    m_records.Release();
    m_index.clear();
    // Requesters may be let go as soon as they have tidied their lists.
    std::vector<IAPElement*> requesters;
    requesters.swap(m_requesters);
    m_held.clear();
    for (IAPElement* requester : requesters) requester->CleanUpCopyList();
    for (IAPElement* requester : requesters) requester->Release();
    std::vector<IAPElement*> copies;
    copies.swap(m_copies);
    for (IAPElement* copy : copies) copy->Release();
}
