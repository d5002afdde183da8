#include <gtest/gtest.h>
#include <functional>

#include "Plenvort_h.h"
#include "platform/atl/atlbase.h"
#include "platform/orv/ORVComCreate.h"
#include "test_support.h"

using plenvort_test::RefCount;

namespace {

// {6E1A3B50-8C11-4F2B-9D3A-0B7C5E2F9A01}
const CLSID CLSID_TestThing = {0x6e1a3b50, 0x8c11, 0x4f2b, {0x9d, 0x3a, 0x0b, 0x7c, 0x5e, 0x2f, 0x9a, 0x01}};
// {6E1A3B50-8C11-4F2B-9D3A-0B7C5E2F9A02}
const CLSID CLSID_TestSolo = {0x6e1a3b50, 0x8c11, 0x4f2b, {0x9d, 0x3a, 0x0b, 0x7c, 0x5e, 0x2f, 0x9a, 0x02}};

struct Counters {
    int constructs = 0;
    int finalConstructs = 0;
    int finalReleases = 0;
    int destructs = 0;
    HRESULT finalConstructResult = S_OK;
    std::function<void(IUnknown*)> duringFinalRelease;
};
Counters g;

// A small COM class: IAPElementSink first (its identity), then IPersist.
class CTestThing : public CComObjectRootEx<CComSingleThreadModel>,
                   public CComCoClass<CTestThing, &CLSID_TestThing>,
                   public IAPElementSink,
                   public IPersist {
public:
    DECLARE_NO_REGISTRY()
    BEGIN_COM_MAP(CTestThing)
    COM_INTERFACE_ENTRY(IAPElementSink)
    COM_INTERFACE_ENTRY_IID(IID_IPersist, IPersist)
    END_COM_MAP()

    CTestThing() { ++g.constructs; }
    virtual ~CTestThing() { ++g.destructs; }

    HRESULT FinalConstruct() { ++g.finalConstructs; return g.finalConstructResult; }
    void FinalRelease()
    {
        ++g.finalReleases;
        if (g.duringFinalRelease) g.duringFinalRelease(static_cast<IAPElementSink*>(this));
    }

    HRESULT STDMETHODCALLTYPE Notify(unsigned long, IAPElement*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* id) override
    {
        *id = CLSID_TestThing;
        return S_OK;
    }
};

class CTestSolo : public CComObjectRootEx<CComSingleThreadModel>,
                  public CComCoClass<CTestSolo, &CLSID_TestSolo>,
                  public IPersist {
public:
    DECLARE_NO_REGISTRY()
    DECLARE_NOT_AGGREGATABLE(CTestSolo)
    BEGIN_COM_MAP(CTestSolo)
    COM_INTERFACE_ENTRY_IID(IID_IPersist, IPersist)
    END_COM_MAP()
    virtual ~CTestSolo() = default;
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* id) override
    {
        *id = CLSID_TestSolo;
        return S_OK;
    }
};

BEGIN_OBJECT_MAP(TestObjectMap)
OBJECT_ENTRY(CLSID_TestThing, CTestThing)
OBJECT_ENTRY(CLSID_TestSolo, CTestSolo)
END_OBJECT_MAP()

// A controlling unknown for aggregation tests; it keeps the inner unknown alive.
class Outer : public plenvort_test::ControllingUnknown {
public:
    ~Outer()
    {
        if (inner) inner->Release();
    }
};

class AtlLayer : public ::testing::Test {
protected:
    void SetUp() override
    {
        g = Counters{};
        ASSERT_NE(_pAtlModule, nullptr);
        saved = _pAtlModule->GetClassicObjectMap();
        _pAtlModule->Init(TestObjectMap, GetModuleHandleW(nullptr));
        ASSERT_EQ(_pAtlModule->GetLockCount(), 0);
    }
    void TearDown() override
    {
        _pAtlModule->Term();
        _pAtlModule->Init(saved, GetModuleHandleW(nullptr));
        EXPECT_EQ(_pAtlModule->GetLockCount(), 0);
        EXPECT_EQ(g.constructs, g.destructs);
    }
    IClassFactory* Factory(REFCLSID clsid)
    {
        IClassFactory* cf = nullptr;
        EXPECT_EQ(_pAtlModule->GetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&cf)), S_OK);
        return cf;
    }
    _ATL_OBJMAP_ENTRY* saved = nullptr;
};

} // namespace

TEST_F(AtlLayer, InterfaceMapAnswersEntriesAndIdentity)
{
    IAPElementSink* sink = nullptr;
    ASSERT_EQ(ORVCoCreateInstance(CLSID_TestThing, nullptr, CLSCTX_INPROC_SERVER, IID_IAPElementSink,
                                  reinterpret_cast<void**>(&sink)),
              S_OK);
    EXPECT_EQ(RefCount(sink), 1u);
    EXPECT_EQ(g.finalConstructs, 1);

    IPersist* persist = nullptr;
    ASSERT_EQ(sink->QueryInterface(IID_IPersist, reinterpret_cast<void**>(&persist)), S_OK);
    IUnknown* unk1 = nullptr;
    IUnknown* unk2 = nullptr;
    ASSERT_EQ(persist->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unk1)), S_OK);
    ASSERT_EQ(sink->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unk2)), S_OK);
    EXPECT_EQ(unk1, unk2);
    EXPECT_EQ(unk1, static_cast<IUnknown*>(sink)); // the first entry is the identity
    EXPECT_NE(static_cast<void*>(persist), static_cast<void*>(sink));
    EXPECT_EQ(RefCount(sink), 4u);

    IStream* none = reinterpret_cast<IStream*>(1);
    EXPECT_EQ(sink->QueryInterface(IID_IStream, reinterpret_cast<void**>(&none)), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(sink->QueryInterface(IID_IPersist, nullptr), E_POINTER);

    EXPECT_EQ(_pAtlModule->GetLockCount(), 1);
    unk1->Release();
    unk2->Release();
    persist->Release();
    EXPECT_EQ(g.finalReleases, 0);
    EXPECT_EQ(sink->Release(), 0u);
    EXPECT_EQ(g.finalReleases, 1);
    EXPECT_EQ(g.destructs, 1);
    EXPECT_EQ(_pAtlModule->GetLockCount(), 0);
}

TEST_F(AtlLayer, ReferencesTakenDuringTearDownDoNotDestroyTwice)
{
    g.duringFinalRelease = [](IUnknown* self) {
        // A dependent that holds and drops the dying object while it hears of its end.
        EXPECT_EQ(self->AddRef(), static_cast<ULONG>(kAtlDestructingRefCount + 1));
        IPersist* p = nullptr;
        EXPECT_EQ(self->QueryInterface(IID_IPersist, reinterpret_cast<void**>(&p)), S_OK);
        p->Release();
        self->Release();
    };
    IUnknown* unk = nullptr;
    ASSERT_EQ(ORVCoCreateInstance(CLSID_TestThing, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                  reinterpret_cast<void**>(&unk)),
              S_OK);
    unk->Release();
    EXPECT_EQ(g.finalReleases, 1);
    EXPECT_EQ(g.destructs, 1);
}

TEST_F(AtlLayer, CreationFailuresLeaveNothingBehind)
{
    IUnknown* unk = reinterpret_cast<IUnknown*>(1);
    g.finalConstructResult = E_FAIL;
    EXPECT_EQ(ORVCoCreateInstance(CLSID_TestThing, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                  reinterpret_cast<void**>(&unk)),
              E_FAIL);
    EXPECT_EQ(unk, nullptr);
    EXPECT_EQ(g.destructs, 1);

    g.finalConstructResult = S_OK;
    EXPECT_EQ(ORVCoCreateInstance(CLSID_TestThing, nullptr, CLSCTX_INPROC_SERVER, IID_IStream,
                                  reinterpret_cast<void**>(&unk)),
              E_NOINTERFACE);
    EXPECT_EQ(unk, nullptr);
    EXPECT_EQ(g.destructs, 2);
    EXPECT_EQ(_pAtlModule->GetLockCount(), 0);

    const CLSID unknownClass = {0x1, 0x2, 0x3, {4, 5, 6, 7, 8, 9, 10, 11}};
    EXPECT_EQ(ORVCoCreateInstance(unknownClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                  reinterpret_cast<void**>(&unk)),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(ORVCoCreateInstance(CLSID_TestThing, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown,
                                  reinterpret_cast<void**>(&unk)),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(ORVCoCreateInstance(CLSID_TestThing, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr), E_POINTER);
    IClassFactory* cf = reinterpret_cast<IClassFactory*>(1);
    EXPECT_EQ(_pAtlModule->GetClassObject(unknownClass, IID_IClassFactory, reinterpret_cast<void**>(&cf)),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(cf, nullptr);
    EXPECT_EQ(g.constructs, 2);
}

TEST_F(AtlLayer, ClassFactoryIsCachedAndLocksOnlyForClients)
{
    IClassFactory* a = Factory(CLSID_TestThing);
    IClassFactory* b = Factory(CLSID_TestThing);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);
    EXPECT_EQ(_pAtlModule->GetLockCount(), 1);
    b->Release();
    a->Release();
    // Only the map's own reference is left, and it holds no lock.
    EXPECT_EQ(_pAtlModule->GetLockCount(), 0);

    IClassFactory* cf = Factory(CLSID_TestThing);
    EXPECT_EQ(cf->LockServer(TRUE), S_OK);
    EXPECT_EQ(_pAtlModule->GetLockCount(), 2);
    EXPECT_EQ(cf->LockServer(FALSE), S_OK);
    EXPECT_EQ(_pAtlModule->GetLockCount(), 1);

    EXPECT_EQ(cf->CreateInstance(nullptr, IID_IPersist, nullptr), E_POINTER);
    IPersist* p = reinterpret_cast<IPersist*>(1);
    Outer outer;
    EXPECT_EQ(cf->CreateInstance(&outer, IID_IPersist, reinterpret_cast<void**>(&p)), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(g.constructs, 0);
    ASSERT_EQ(cf->CreateInstance(nullptr, IID_IPersist, reinterpret_cast<void**>(&p)), S_OK);
    CLSID id{};
    EXPECT_EQ(p->GetClassID(&id), S_OK);
    EXPECT_EQ(id, CLSID_TestThing);
    EXPECT_EQ(_pAtlModule->GetLockCount(), 2);
    p->Release();
    cf->Release();
    EXPECT_EQ(_pAtlModule->GetLockCount(), 0);

    // A class that refuses aggregation refuses it even for IUnknown.
    IClassFactory* solo = Factory(CLSID_TestSolo);
    IUnknown* unk = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(solo->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&unk)), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(unk, nullptr);
    solo->Release();
}

TEST_F(AtlLayer, AggregatedObjectDelegatesToItsOuter)
{
    Outer outer;
    ASSERT_EQ(ORVCoCreateInstance(CLSID_TestThing, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                  reinterpret_cast<void**>(&outer.inner)),
              S_OK);
    EXPECT_EQ(RefCount(outer.inner), 1u);
    EXPECT_EQ(outer.refs, 1);
    EXPECT_EQ(_pAtlModule->GetLockCount(), 1);

    // Through the inner unknown: the interfaces of the map, with the outer counted.
    IPersist* persist = nullptr;
    ASSERT_EQ(outer.inner->QueryInterface(IID_IPersist, reinterpret_cast<void**>(&persist)), S_OK);
    EXPECT_EQ(outer.refs, 2);
    EXPECT_EQ(RefCount(outer.inner), 1u);
    IUnknown* innerAgain = nullptr;
    ASSERT_EQ(outer.inner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&innerAgain)), S_OK);
    EXPECT_EQ(innerAgain, outer.inner);
    innerAgain->Release();

    // Through an interface of the inner object: IUnknown is the outer's.
    IUnknown* identity = nullptr;
    ASSERT_EQ(persist->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
    EXPECT_EQ(outer.refs, 3);
    identity->Release();
    IAPElementSink* sink = nullptr;
    ASSERT_EQ(persist->QueryInterface(IID_IAPElementSink, reinterpret_cast<void**>(&sink)), S_OK);
    sink->Release();
    persist->Release();
    EXPECT_EQ(outer.refs, 1);

    outer.inner->Release();
    outer.inner = nullptr;
    EXPECT_EQ(g.finalReleases, 1);
    EXPECT_EQ(g.destructs, 1);
    EXPECT_EQ(_pAtlModule->GetLockCount(), 0);
}

TEST_F(AtlLayer, TermReleasesCachedFactories)
{
    IClassFactory* cf = Factory(CLSID_TestThing);
    cf->Release();
    _pAtlModule->Term();
    IClassFactory* again = Factory(CLSID_TestThing);
    EXPECT_EQ(RefCount(again), 2u); // a fresh factory: the map's reference and ours
    again->Release();
}
