#pragma once
// The one collection object of the interfaces: an ordered list of interface pointers, one
// reference each, handed out again as whatever interface the caller asks for.
#include "Plenvort_h.h"
#include "com/RegistryIds.h"
#include "model/APArray.h"
#include "platform/atl/atlbase.h"

class CAPPointerList : public CComObjectRootEx<CComSingleThreadModel>,
                       public IAPPointerList2,
                       public CComCoClass<CAPPointerList, &CLSID_APPointerList> {
public:
    DECLARE_REGISTRY_RESOURCEID(IDR_APPOINTERLIST)

    BEGIN_COM_MAP(CAPPointerList)
    COM_INTERFACE_ENTRY_IID(IID_IAPPointerList, IAPPointerList2)
    COM_INTERFACE_ENTRY_IID(IID_IAPPointerList2, IAPPointerList2)
    END_COM_MAP()

    virtual ~CAPPointerList() = default;

    // Releases every element still in the list, from the first.
    void FinalRelease();

    HRESULT STDMETHODCALLTYPE AppendElement(IUnknown* elem) override;
    HRESULT STDMETHODCALLTYPE GetElement(int index, GUID* iid, ULONG_PTR* elem) override;
    HRESULT STDMETHODCALLTYPE GetLength(int* length) override;
    // Slots beyond the elements appended hold null; a shorter length drops the pointers
    // beyond it from the list without releasing them.
    HRESULT STDMETHODCALLTYPE SetLength(int length) override;
    HRESULT STDMETHODCALLTYPE RemoveElement(int index) override;
    HRESULT STDMETHODCALLTYPE FindElement(IUnknown* elem, long* pFound) override;

    unsigned GetCapacity() const { return m_list.GetCapacity(); }

    // Longer lists are refused before anything is allocated: far beyond any document, and
    // on Win64 no address-space ceiling would stop a client's mistaken length otherwise.
    static constexpr int kMaxLength = 1 << 24;

private:
    APArray<IUnknown*> m_list;
};
