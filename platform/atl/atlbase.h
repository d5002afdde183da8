#pragma once
// Our own small COM template layer: object roots, interface maps, creators, the standard
// class factory, the module lock count and the object map.
//
// Everything here runs in one single-threaded apartment; reference counts are plain
// arithmetic. The only lock is the module's critical section around the first creation of
// a class factory.
#include <windows.h>
#include <objbase.h>
#include <unknwn.h>
#include <climits>
#include <new>

// ---------------------------------------------------------------------------------------
// Threading model

struct CComSingleThreadModel {
    static ULONG Increment(LONG* p) { return static_cast<ULONG>(++*p); }
    static ULONG Decrement(LONG* p) { return static_cast<ULONG>(--*p); }
};

// ---------------------------------------------------------------------------------------
// Module: lock count, object maps and class-object lookup

typedef HRESULT(WINAPI _ATL_CREATORFUNC)(void* pv, REFIID riid, LPVOID* ppv);
typedef HRESULT(WINAPI _ATL_UPDATEREGISTRYFUNC)(BOOL bRegister);
typedef const wchar_t*(WINAPI _ATL_DESCRIPTIONFUNC)();
struct _ATL_CATMAP_ENTRY;
typedef const _ATL_CATMAP_ENTRY*(_ATL_CATMAPFUNC)();
typedef void(WINAPI _ATL_OBJECTMAINFUNC)(bool bStarting);

// One creatable class. The class factory is created on first demand and kept here for the
// life of the module.
struct _ATL_OBJMAP_ENTRY {
    const CLSID* pclsid;
    _ATL_UPDATEREGISTRYFUNC* pfnUpdateRegistry;
    _ATL_CREATORFUNC* pfnGetClassObject; // creates the class factory
    _ATL_CREATORFUNC* pfnCreateInstance; // creates the object (handed to the factory)
    IUnknown* pCF;
    DWORD dwRegister;
    _ATL_DESCRIPTIONFUNC* pfnGetObjectDescription;
    _ATL_CATMAPFUNC* pfnGetCategoryMap;
    _ATL_OBJECTMAINFUNC* pfnObjectMain;
};

#define BEGIN_OBJECT_MAP(x) static _ATL_OBJMAP_ENTRY x[] = {
#define END_OBJECT_MAP() {nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr}};
#define OBJECT_ENTRY(clsid, cls)                                                                        \
    {&clsid, cls::UpdateRegistry, cls::_ClassFactoryCreatorClass::CreateInstance,                      \
     cls::_CreatorClass::CreateInstance, nullptr, 0, cls::GetObjectDescription, cls::GetCategoryMap, \
     cls::ObjectMain},

// The automatic object map: the library's creatable classes, installed once at start-up by
// the file that lists them. A function-local slot, so start-up order does not matter.
_ATL_OBJMAP_ENTRY*& AtlAutoObjectMap();

class CComModule {
public:
    CComModule();
    virtual ~CComModule();
    CComModule(const CComModule&) = delete;
    CComModule& operator=(const CComModule&) = delete;

    HRESULT Init(_ATL_OBJMAP_ENTRY* classicMap, HINSTANCE instance, const GUID* libid = nullptr);
    // Releases the cached class factories of both maps.
    void Term();

    LONG Lock() { return InterlockedIncrement(&m_nLockCnt); }
    LONG Unlock() { return InterlockedDecrement(&m_nLockCnt); }
    LONG GetLockCount() const { return m_nLockCnt; }

    HINSTANCE GetModuleInstance() const { return m_hInst; }
    _ATL_OBJMAP_ENTRY* GetClassicObjectMap() const { return m_pObjMap; }

    // Finds the entry of a class in the classic map, then in the automatic map.
    _ATL_OBJMAP_ENTRY* FindEntry(REFCLSID clsid) const;
    // *ppv = null; CLASS_E_CLASSNOTAVAILABLE for an unknown class; else the entry's class
    // factory (created once, under the module's critical section) queried for iid.
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, LPVOID* ppv);

    // Runs a class's registry script; the server module supplies the real one.
    virtual HRESULT UpdateRegistryFromResourceD(UINT resourceId, BOOL bRegister);

protected:
    LONG m_nLockCnt = 0;
    HINSTANCE m_hInst = nullptr;
    const GUID* m_pLibid = nullptr;
    _ATL_OBJMAP_ENTRY* m_pObjMap = nullptr;
    CRITICAL_SECTION m_csObjMap;
};

// The one module of the library (constructed by the server module's global).
extern CComModule* _pAtlModule;

inline void AtlModuleLock()
{
    if (_pAtlModule) _pAtlModule->Lock();
}
inline void AtlModuleUnlock()
{
    if (_pAtlModule) _pAtlModule->Unlock();
}
inline LONG AtlModuleLockCount() { return _pAtlModule ? _pAtlModule->GetLockCount() : 0; }

// Class factory of one object-map entry: found or created once.
HRESULT AtlGetClassObjectFromEntry(_ATL_OBJMAP_ENTRY* entry, REFIID iid, LPVOID* ppv, CRITICAL_SECTION* cs);

// ---------------------------------------------------------------------------------------
// Interface maps

// One plain entry: the IID and the offset of the interface's sub-object in the class that
// holds the map. A null IID ends the map.
struct _ATL_INTMAP_ENTRY {
    const IID* piid;
    DWORD_PTR dw;
};

#define _ATL_PACKING 8
#define offsetofclass(base, derived) \
    (reinterpret_cast<DWORD_PTR>(static_cast<base*>(reinterpret_cast<derived*>(_ATL_PACKING))) - _ATL_PACKING)

inline bool InlineIsEqualUnknown(REFGUID g) { return IsEqualGUID(g, IID_IUnknown) != 0; }

// Answers a query from a plain map: IUnknown is the first entry.
HRESULT WINAPI AtlInternalQueryInterface(void* pThis, const _ATL_INTMAP_ENTRY* entries, REFIID iid, void** ppv);

#define BEGIN_COM_MAP(x)                                                                  \
public:                                                                                   \
    typedef x _ComMapClass;                                                               \
    IUnknown* _GetRawUnknown()                                                            \
    {                                                                                     \
        return reinterpret_cast<IUnknown*>(reinterpret_cast<DWORD_PTR>(this) + _GetEntries()->dw); \
    }                                                                                     \
    HRESULT _InternalQueryInterface(REFIID iid, void** ppv)                               \
    {                                                                                     \
        return AtlInternalQueryInterface(this, _GetEntries(), iid, ppv);                  \
    }                                                                                     \
    static const _ATL_INTMAP_ENTRY* _GetEntries()                                         \
    {                                                                                     \
        static const _ATL_INTMAP_ENTRY _entries[] = {

#define COM_INTERFACE_ENTRY_IID(iid, x) {&iid, offsetofclass(x, _ComMapClass)},
#define COM_INTERFACE_ENTRY(x) COM_INTERFACE_ENTRY_IID(__uuidof(x), x)

#define END_COM_MAP()                                                                     \
            {nullptr, 0}};                                                                \
        return _entries;                                                                  \
    }                                                                                     \
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;                                         \
    virtual ULONG STDMETHODCALLTYPE Release() = 0;                                        \
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) = 0;

// ---------------------------------------------------------------------------------------
// Object root

template <class ThreadModel>
class CComObjectRootEx {
public:
    typedef ThreadModel _ThreadModel;

    CComObjectRootEx() = default;
    CComObjectRootEx(const CComObjectRootEx&) = delete;
    CComObjectRootEx& operator=(const CComObjectRootEx&) = delete;

    HRESULT FinalConstruct() { return S_OK; }
    void FinalRelease() {}
    void SetVoid(void*) {}

    ULONG InternalAddRef() { return ThreadModel::Increment(&m_dwRef); }
    ULONG InternalRelease() { return ThreadModel::Decrement(&m_dwRef); }

    // Keeps the object alive while FinalConstruct hands its pointers around.
    void InternalFinalConstructAddRef() { InternalAddRef(); }
    void InternalFinalConstructRelease() { InternalRelease(); }

    // Aggregated objects delegate to their outer unknown.
    ULONG OuterAddRef() { return m_pOuterUnknown->AddRef(); }
    ULONG OuterRelease() { return m_pOuterUnknown->Release(); }
    HRESULT OuterQueryInterface(REFIID iid, void** ppv) { return m_pOuterUnknown->QueryInterface(iid, ppv); }

    LONG m_dwRef = 0;
    IUnknown* m_pOuterUnknown = nullptr;
};

// Set during tear-down so that references taken by FinalRelease's callees can never bring
// the count back to zero and destroy the object a second time.
constexpr LONG kAtlDestructingRefCount = -(LONG_MAX / 2);

// ---------------------------------------------------------------------------------------
// Object classes

// The plain creatable object: holds one module lock for its lifetime.
template <class Base>
class CComObject : public Base {
public:
    typedef Base _BaseClass;

    explicit CComObject(void* = nullptr) { AtlModuleLock(); }
    ~CComObject() override
    {
        this->m_dwRef = kAtlDestructingRefCount;
        this->FinalRelease();
        AtlModuleUnlock();
    }

    ULONG STDMETHODCALLTYPE AddRef() override { return this->InternalAddRef(); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG l = this->InternalRelease();
        if (l == 0) delete this;
        return l;
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override
    {
        return this->_InternalQueryInterface(iid, ppv);
    }

    // Constructs and runs FinalConstruct; the object has no reference yet.
    static HRESULT WINAPI CreateInstance(CComObject<Base>** pp)
    {
        if (!pp) return E_POINTER;
        *pp = nullptr;
        auto* p = new (std::nothrow) CComObject<Base>();
        if (!p) return E_OUTOFMEMORY;
        p->SetVoid(nullptr);
        p->InternalFinalConstructAddRef();
        HRESULT hr = p->FinalConstruct();
        p->InternalFinalConstructRelease();
        if (FAILED(hr)) {
            delete p;
            return hr;
        }
        *pp = p;
        return S_OK;
    }
};

// The cached class factory: the reference the object map keeps does not lock the module,
// every further one does.
template <class Base>
class CComObjectCached : public Base {
public:
    explicit CComObjectCached(void* = nullptr) {}
    ~CComObjectCached() override
    {
        this->m_dwRef = kAtlDestructingRefCount;
        this->FinalRelease();
    }
    ULONG STDMETHODCALLTYPE AddRef() override
    {
        ULONG l = this->InternalAddRef();
        if (l == 2) AtlModuleLock();
        return l;
    }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG l = this->InternalRelease();
        if (l == 0) delete this;
        else if (l == 1) AtlModuleUnlock();
        return l;
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override
    {
        return this->_InternalQueryInterface(iid, ppv);
    }
};

// The object as part of an aggregate: reference counting and queries go to the outer
// unknown.
template <class Base>
class CComContainedObject : public Base {
public:
    explicit CComContainedObject(void* pv) { this->m_pOuterUnknown = static_cast<IUnknown*>(pv); }
    ULONG STDMETHODCALLTYPE AddRef() override { return this->OuterAddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return this->OuterRelease(); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override
    {
        return this->OuterQueryInterface(iid, ppv);
    }
};

// The inner unknown of an aggregated object: owns the contained object and its count.
template <class Contained>
class CComAggObject : public IUnknown, public CComObjectRootEx<typename Contained::_ThreadModel> {
public:
    typedef Contained _BaseClass;

    explicit CComAggObject(void* pv) : m_contained(pv) { AtlModuleLock(); }
    virtual ~CComAggObject()
    {
        this->m_dwRef = kAtlDestructingRefCount;
        FinalRelease();
        AtlModuleUnlock();
    }
    CComAggObject(const CComAggObject&) = delete;
    CComAggObject& operator=(const CComAggObject&) = delete;

    void SetVoid(void* pv) { m_contained.SetVoid(pv); }
    HRESULT FinalConstruct() { return m_contained.FinalConstruct(); }
    void FinalRelease() { m_contained.FinalRelease(); }

    ULONG STDMETHODCALLTYPE AddRef() override { return this->InternalAddRef(); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG l = this->InternalRelease();
        if (l == 0) delete this;
        return l;
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (InlineIsEqualUnknown(iid)) {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return m_contained._InternalQueryInterface(iid, ppv);
    }

    CComContainedObject<Contained> m_contained;
};

// ---------------------------------------------------------------------------------------
// Creators

// Constructs T, runs FinalConstruct and queries the requested interface; any failure
// destroys the object and returns that failure.
template <class T>
class CComCreator {
public:
    static HRESULT WINAPI CreateInstance(void* pv, REFIID riid, LPVOID* ppv)
    {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        T* p = new (std::nothrow) T(pv);
        if (!p) return E_OUTOFMEMORY;
        p->SetVoid(pv);
        p->InternalFinalConstructAddRef();
        HRESULT hr = p->FinalConstruct();
        p->InternalFinalConstructRelease();
        if (SUCCEEDED(hr)) hr = p->QueryInterface(riid, ppv);
        if (FAILED(hr)) delete p;
        return hr;
    }
};

// Without an outer unknown the first creator, with one the second.
template <class Plain, class Aggregated>
class CComCreator2 {
public:
    static HRESULT WINAPI CreateInstance(void* pv, REFIID riid, LPVOID* ppv)
    {
        return pv == nullptr ? Plain::CreateInstance(nullptr, riid, ppv) : Aggregated::CreateInstance(pv, riid, ppv);
    }
};

template <HRESULT hr>
class CComFailCreator {
public:
    static HRESULT WINAPI CreateInstance(void*, REFIID, LPVOID* ppv)
    {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        return hr;
    }
};

// ---------------------------------------------------------------------------------------
// Class factory

class CComClassFactory : public IClassFactory, public CComObjectRootEx<CComSingleThreadModel> {
public:
    BEGIN_COM_MAP(CComClassFactory)
    COM_INTERFACE_ENTRY_IID(IID_IClassFactory, IClassFactory)
    END_COM_MAP()

    virtual ~CComClassFactory() = default;

    // The creator the object-map entry hands over.
    void SetVoid(void* pv) { m_pfnCreateInstance = reinterpret_cast<_ATL_CREATORFUNC*>(pv); }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

    _ATL_CREATORFUNC* m_pfnCreateInstance = nullptr;
};

// ---------------------------------------------------------------------------------------
// Coclass

template <class T, const CLSID* pclsid>
class CComCoClass {
public:
    typedef CComCreator<CComObjectCached<CComClassFactory>> _ClassFactoryCreatorClass;
    typedef CComCreator2<CComCreator<CComObject<T>>, CComCreator<CComAggObject<T>>> _CreatorClass;

    static const wchar_t* WINAPI GetObjectDescription() { return nullptr; }
    static const _ATL_CATMAP_ENTRY* GetCategoryMap() { return nullptr; }
    static void WINAPI ObjectMain(bool) {}
};

#define DECLARE_NOT_AGGREGATABLE(x) \
public:                             \
    typedef CComCreator2<CComCreator<CComObject<x>>, CComFailCreator<CLASS_E_NOAGGREGATION>> _CreatorClass;

#define DECLARE_AGGREGATABLE(x) \
public:                         \
    typedef CComCreator2<CComCreator<CComObject<x>>, CComCreator<CComAggObject<x>>> _CreatorClass;

#define DECLARE_REGISTRY_RESOURCEID(id)                                                        \
    static HRESULT WINAPI UpdateRegistry(BOOL bRegister)                                      \
    {                                                                                          \
        return _pAtlModule ? _pAtlModule->UpdateRegistryFromResourceD(id, bRegister) : E_FAIL; \
    }

#define DECLARE_NO_REGISTRY() \
    static HRESULT WINAPI UpdateRegistry(BOOL) { return S_OK; }
