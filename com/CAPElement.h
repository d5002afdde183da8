#pragma once
// The COM side of every element: one object implementing all element interface families,
// each method forwarding to the model object the wrapper owns.
#include <cstring>
#include <new>
#include <tuple>
#include <type_traits>

#include "Plenvort_h.h"
#include "model/APElement.h"
#include "platform/atl/atlbase.h"
#include "platform/mfc/afx.h"

// ---------------------------------------------------------------------------------------
// Kind tests of the method rows

// A model class to test for, with its run-time class information.
template <class K>
struct ApKind {
    const CRuntimeClass* rtc;
};

// No kind test: the model operation is called on the element itself.
struct ApAnyKind {
    template <class F>
    HRESULT Dispatch(APElement* e, F& f) const
    {
        return f(e);
    }
};

// The classes are tried in order; the first match chooses the operation; without a match
// the method answers `none` and touches nothing.
template <class... K>
struct ApTryKinds {
    HRESULT none;
    std::tuple<ApKind<K>...> kinds;

    template <class F>
    HRESULT Dispatch(APElement* e, F& f) const
    {
        return Step<0>(e, f);
    }

private:
    template <std::size_t I, class F>
    HRESULT Step(APElement* e, F& f) const
    {
        if constexpr (I == sizeof...(K)) {
            return none;
        } else {
            using T = std::tuple_element_t<I, std::tuple<K...>>;
            if (e->IsKindOf(std::get<I>(kinds).rtc)) return f(static_cast<T*>(e));
            return Step<I + 1>(e, f);
        }
    }
};

template <class... K>
ApTryKinds<K...> ApTry(HRESULT none, ApKind<K>... kinds)
{
    return ApTryKinds<K...>{none, std::tuple<ApKind<K>...>(kinds...)};
}

#define AP_KIND(K) ApKind<K>{RUNTIME_CLASS(K)}
#define AP_KINDS_1(a) AP_KIND(a)
#define AP_KINDS_2(a, ...) AP_KIND(a), AP_KINDS_1(__VA_ARGS__)
#define AP_KINDS_3(a, ...) AP_KIND(a), AP_KINDS_2(__VA_ARGS__)
#define AP_KINDS_4(a, ...) AP_KIND(a), AP_KINDS_3(__VA_ARGS__)
#define AP_KINDS_5(a, ...) AP_KIND(a), AP_KINDS_4(__VA_ARGS__)
#define AP_KINDS_6(a, ...) AP_KIND(a), AP_KINDS_5(__VA_ARGS__)
#define AP_KINDS_7(a, ...) AP_KIND(a), AP_KINDS_6(__VA_ARGS__)
#define AP_KINDS_8(a, ...) AP_KIND(a), AP_KINDS_7(__VA_ARGS__)
#define AP_KINDS_PICK(_1, _2, _3, _4, _5, _6, _7, _8, name, ...) name
#define AP_KINDS(...) \
    AP_KINDS_PICK(__VA_ARGS__, AP_KINDS_8, AP_KINDS_7, AP_KINDS_6, AP_KINDS_5, AP_KINDS_4, AP_KINDS_3, AP_KINDS_2, AP_KINDS_1)(__VA_ARGS__)

// Row vocabulary (see com/CAPElementRows.h).
#define AP_ANY ApAnyKind{}
#define AP_TRY(...) ApTry(S_FALSE, AP_KINDS(__VA_ARGS__))
#define AP_TRY_OR_FAIL(...) ApTry(E_FAIL, AP_KINDS(__VA_ARGS__))
#define AP_NOTIFY(itf) (&IID_##itf)
#define AP_QUIET (static_cast<const IID*>(nullptr))

// ---------------------------------------------------------------------------------------

class CAPElement : public CComObjectRootEx<CComSingleThreadModel>,
                   public IAPElement16,
                   public IAPElementSink,
                   public IAPNode3,
                   public IAPGeometryNode,
                   public IAPPartNode6,
                   public IAPAssemblyNode4,
                   public IAPTolLibNode,
                   public IAPOperation4,
                   public IAPAssemblyOperation5,
                   public IAPKinematicAssemblyOperation3,
                   public IAPFemAssemblyOperation5,
                   public IAPMeasurementOperation9,
                   public IAPFixtureNode,
                   public IAPFeature8,
                   public IAPPinFeature,
                   public IAPTaperedPinFeature,
                   public IAPHoleFeature,
                   public IAPTaperedHoleFeature,
                   public IAPSlotFeature,
                   public IAPTabFeature,
                   public IAPPlaneFeature4,
                   public IAPPointFeature5,
                   public IAPSurfaceFeature1,
                   public IAPPatternFeature,
                   public IAPFeaturePair3,
                   public IAPTolerance,
                   public IAPGDTTolerance5,
                   public IAPSizeTolerance2,
                   public IAPDRF2,
                   public IAPDatum4,
                   public IAPNodeInstance,
                   public IAPGroup,
                   public IAPCustomOperation12,
                   public IAPSPCMeasurementOp,
                   public IAPGroupNode2,
                   public IAPFeatureGroupNode,
                   public IAPSubFeatureGroupNode,
                   public IAPCondition,
                   public IAPClassicAssemblyOperation2 {
public:
    CAPElement();
    virtual ~CAPElement();
    CAPElement(const CAPElement&) = delete;
    CAPElement& operator=(const CAPElement&) = delete;

    // Own virtual operations, reached by no interface; they follow the destructor in the
    // primary table.
    virtual HRESULT ReservedNoOp(long) { return S_OK; }

    // Hands the model its back pointer (the primary interface, without a reference).
    HRESULT AttachElement();
    // Dependents hear of the end while the model still exists; then the model goes.
    void FinalRelease();

    APElement* GetModelObject() const { return m_pElement; }
    IAPElement* GetPrimary() { return static_cast<IAPElement16*>(this); }

    // The interface methods, one row each.
#define AP_METHOD(name, params, kinds, notify, call) HRESULT STDMETHODCALLTYPE name params override;
#define AP_STRING_GETTER(name, params, buffer, kinds, getter) HRESULT STDMETHODCALLTYPE name params override;
#define AP_BUFFER_METHOD(name, params, buffer, kinds, notify, call) HRESULT STDMETHODCALLTYPE name params override;
#include "com/CAPElementRows.h"
#undef AP_METHOD
#undef AP_STRING_GETTER
#undef AP_BUFFER_METHOD

    HRESULT STDMETHODCALLTYPE RevertToPreviousName(long* reverted) override;
    HRESULT STDMETHODCALLTYPE SplitMonikerPath(IORVDataMoniker* moniker, unsigned char* fileName,
                                               unsigned char* directory) override;

protected:
    // The method pattern: module state, kind test, forward, result mapping, notification.
    template <class Kinds, class F>
    HRESULT Run(const Kinds& kinds, const IID* notify, F&& call) noexcept
    {
        AFX_MANAGE_STATE(AfxGetStaticModuleState());
        try {
            APElement* model = m_pElement;
            if (!model) return E_FAIL;
            auto forward = [&](auto* m) -> HRESULT {
                if (call(m) < 0) return E_FAIL;
                if (notify) NotifyChanged(model, notify);
                return S_OK;
            };
            return kinds.Dispatch(model, forward);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_FAIL;
        }
    }

    // A failing notification (no document, a failing client sink) never fails the call.
    void NotifyChanged(APElement* model, const IID* iid) noexcept
    {
        try {
            model->NotifyDocumentChanged(GetPrimary(), reinterpret_cast<const unsigned char*>(iid));
        } catch (...) {
        }
    }

    static CString InString(const unsigned char* text)
    {
        return CString(text ? reinterpret_cast<const char*>(text) : "");
    }

    // Copies the string and its terminating zero into the caller's buffer, only on success.
    template <class Get>
    static HRESULT CopyOut(unsigned char* buffer, Get&& get)
    {
        CString s;
        HRESULT hr = get(s);
        if (hr >= 0) std::memcpy(buffer, s.GetString(), static_cast<std::size_t>(s.GetLength()) + 1);
        return hr;
    }

    APElement* m_pElement = nullptr;
};

// An element coclass: its class identity, the model class its FinalConstruct creates and
// the registry script that registers it. The interface map is the coclass's own.
template <class T, const CLSID* pclsid, class Model, UINT registryId>
class CAPElementCoClass : public CAPElement, public CComCoClass<T, pclsid> {
public:
    DECLARE_REGISTRY_RESOURCEID(registryId)

    HRESULT FinalConstruct()
    {
        AFX_MANAGE_STATE(AfxGetStaticModuleState());
        try {
            m_pElement = new Model();
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_FAIL;
        }
        return SUCCEEDED(AttachElement()) ? S_OK : E_FAIL;
    }

    HRESULT STDMETHODCALLTYPE GetClassID(GUID* id) override
    {
        AFX_MANAGE_STATE(AfxGetStaticModuleState());
        if (!id) return E_POINTER;
        *id = *pclsid;
        return S_OK;
    }
};
