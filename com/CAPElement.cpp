#include "com/CAPElement.h"
#include "com/CAPElementCalls.h"

#include "drawing/DatumSymbol.h"
#include "features/APDatum.h"
#include "features/APFeatureKinds.h"
#include "features/APFeaturePair.h"
#include "features/APTolerance.h"
#include "operations/APCondition.h"
#include "operations/APCustomOperation.h"
#include "model/APGroup.h"
#include "operations/APMeasurementOperation.h"
#include "model/APNode.h"
#include "operations/APOperation.h"

static_assert(sizeof(long) == sizeof(int), "the interfaces' long flags are the model's int flags");

CAPElement::CAPElement() = default;

// The model object is gone by now: FinalRelease deleted it.
CAPElement::~CAPElement() = default;

HRESULT CAPElement::AttachElement()
{
    if (!m_pElement) return E_FAIL;
    try {
        m_pElement->SetComObject(GetPrimary());
        m_pElement->SetOwnSink(static_cast<IAPElementSink*>(this));
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

void CAPElement::FinalRelease()
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    APElement* model = m_pElement;
    if (!model) return;
    model->MarkEnding();
    try {
        model->NotifyDeletion();
    } catch (...) {
    }
    // Calls that reach this object from here on find no model and fail cleanly.
    m_pElement = nullptr;
    delete model;
}

#define AP_METHOD(name, params, kinds, notify, call)                                   \
    HRESULT STDMETHODCALLTYPE CAPElement::name params                                  \
    {                                                                                  \
        return Run(kinds, notify, [&](auto* m) -> HRESULT { return call; });           \
    }
#define AP_STRING_GETTER(name, params, buffer, kinds, getter)                           \
    HRESULT STDMETHODCALLTYPE CAPElement::name params                                  \
    {                                                                                  \
        if (!buffer) return E_POINTER;                                                 \
        return Run(kinds, AP_QUIET, [&](auto* m) -> HRESULT {                          \
            return CopyOut(buffer, [&](CString& s) { return m->getter(s); });         \
        });                                                                            \
    }
#define AP_BUFFER_METHOD(name, params, buffer, kinds, notify, call)                     \
    HRESULT STDMETHODCALLTYPE CAPElement::name params                                  \
    {                                                                                  \
        if (!buffer) return E_POINTER;                                                 \
        return Run(kinds, notify, [&](auto* m) -> HRESULT { return call; });           \
    }
#include "com/CAPElementRows.h"
#undef AP_METHOD
#undef AP_STRING_GETTER
#undef AP_BUFFER_METHOD

// Every element interface method of the IDL needs a row: an element with only IUnknown and
// its class id added must be complete, else the build stops here and the compiler's notes
// below name the methods without one.
namespace {
struct RowCheck final : CAPElement {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetClassID(GUID*) override { return E_NOTIMPL; }
};
static_assert(!std::is_abstract_v<RowCheck>,
              "an element interface method of com/Plenvort.idl has no row in com/CAPElementRows*.h");
[[maybe_unused]] CAPElement* MakeRowCheck() { return new RowCheck; }
} // namespace

// Gives the element back the name it had before the last rename.
HRESULT STDMETHODCALLTYPE CAPElement::RevertToPreviousName(long* reverted)
{
    if (!reverted) return E_POINTER;
    return Run(AP_ANY, AP_QUIET, [&](APElement* m) -> HRESULT {
        CString previous;
        if (m->GetPreviousName(previous) < 0) return E_FAIL;
        if (previous.IsEmpty()) {
            *reverted = 0;
            return S_OK;
        }
        if (m->RenameKeepingPrevious(previous, reinterpret_cast<int*>(reverted)) < 0) return E_FAIL;
        return m->SetPreviousName(previous);
    });
}

// The moniker's file name and directory, each copied out with its terminating zero.
HRESULT STDMETHODCALLTYPE CAPElement::SplitMonikerPath(IORVDataMoniker* moniker, unsigned char* fileName,
                                                       unsigned char* directory)
{
    if (!fileName || !directory) return E_POINTER;
    return Run(AP_ANY, AP_QUIET, [&](APElement* m) -> HRESULT {
        CString file, dir;
        HRESULT hr = m->SplitMonikerPath(moniker, &file, &dir);
        if (hr < 0) return hr;
        std::memcpy(fileName, file.GetString(), static_cast<std::size_t>(file.GetLength()) + 1);
        std::memcpy(directory, dir.GetString(), static_cast<std::size_t>(dir.GetLength()) + 1);
        return hr;
    });
}
