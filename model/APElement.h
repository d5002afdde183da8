#pragma once
// Base of every model class: name, description, cost, dependents, document binding.
#include "platform/mfc/afx.h"
#include "model/APArray.h"
#include "Plenvort_h.h"

class WmObjectStream;

class APElement : public CObject {
    DECLARE_DYNAMIC(APElement)

public:
    ~APElement() override;

    virtual HRESULT NotifyDependents(unsigned short command);
    virtual HRESULT SetComObject(IAPElement* wrapper);
    virtual HRESULT Notify(unsigned long command, IAPElement* element);
    virtual HRESULT NotifyDeletion();
    virtual HRESULT RemoveDependent(IAPElementSink* sink);
    virtual HRESULT AddDependent(IAPElementSink* sink);
    virtual HRESULT GetNumDependents(int* count);
    virtual HRESULT GetDependent(int index, IAPElement** out);
    virtual HRESULT GetDescriptionSize(int* size);
    virtual HRESULT GetNameSize(int* size);
    virtual HRESULT NotifyDocumentChanged(IAPElement* element, const unsigned char* message);
    virtual HRESULT GetCost(int* cost);
    virtual HRESULT SetCost(int cost);
    virtual HRESULT GetDescription(CString& description);
    virtual HRESULT SetDescription(const CString& description);
    virtual HRESULT GetName(CString& name);
    virtual HRESULT SetName(const CString& name);
    virtual HRESULT GetPreviousName(CString& name);
    virtual HRESULT SetPreviousName(const CString& name);
    virtual HRESULT RenameKeepingPrevious(const CString& newName, int* changed);
    virtual HRESULT RestorePreviousName(int* restored);
    virtual HRESULT BindDocument(IAPDocEventSink* sink);
    virtual HRESULT GetDocument(IAPDocument** doc);
    virtual HRESULT FixupLists();
    virtual HRESULT Clone(IAPElement* target) = 0;
    virtual HRESULT CleanUpCopyList();

    IAPElement* GetComObject() const { return m_wrapper; }
    IAPDocEventSink* GetDocSink() const { return m_docSink; }

protected:
    APElement() = default;
    APElement(const APElement&) = delete;
    APElement& operator=(const APElement&) = delete;

    int m_cost = -1;
    CString m_name;
    CString m_previousName;
    CString m_description;
    int m_settingsChanged = 0;
    IAPDocEventSink* m_docSink = nullptr;   // no reference: the document outlives its elements' binding
    APArray<IAPElementSink*> m_dependents;  // no references: dependents unregister themselves
    IAPElement* m_wrapper = nullptr;        // no reference: the wrapper owns this element
};
