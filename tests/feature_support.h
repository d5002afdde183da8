#pragma once
// Helpers of the feature tests: features by class, B-reps from the shape builders, a fake
// tolerance and a fake solid-modeller utility.
#include <map>
#include <vector>

#include "server/module.h"
#include "document_support.h"
#include "element_support.h"
#include "features/APFeature.h"
#include "features/APShapeBuilder.h"
#include "platform/IHbUtility.h"
#include "platform/toolkit/WmBrep.h"

namespace feature_test {

using plenvort_test::Create;
using plenvort_test::Query;
using plenvort_test::RefCount;

inline IAPFeature8* NewFeature(const CLSID& clsid = CLSID_APPinFeature)
{
    return Create<IAPFeature8>(clsid, IID_IAPFeature8);
}

inline APFeature* ModelFeature(IUnknown* p) { return plenvort_test::Model<APFeature>(p); }

// The hole of radius 1 and height 2 on the z axis (one loopless face), or the pin with its
// caps: built by the shape builders, one reference.
inline WmBrep* HoleBrep()
{
    WmBrep* b = nullptr;
    CreateHoleWmBrep({0, 0, 0}, {0, 0, 1}, {1, 0, 0}, 2.0, 1.0, &b);
    return b;
}

inline WmBrep* PinBrep()
{
    WmBrep* b = nullptr;
    CreatePinWmBrep({0, 0, 0}, {0, 0, 1}, {1, 0, 0}, 2.0, 1.0, 0, &b);
    return b;
}

inline ULONG_PTR Handle(WmBrep* b) { return static_cast<ULONG_PTR>(WmBrep::toHandle(b)); }

inline void Translation(double m[16], double x, double y, double z)
{
    for (int i = 0; i < 16; ++i) m[i] = (i % 5 == 0) ? 1.0 : 0.0;
    m[12] = x;
    m[13] = y;
    m[14] = z;
}

inline int Dependents(IUnknown* p)
{
    IAPElement* e = plenvort_test::Elem(p);
    int n = -1;
    e->GetNumDependents(&n);
    e->Release();
    return n;
}

// Is `watcher` among the dependents of `p`?
inline bool Watches(IUnknown* watcher, IUnknown* p)
{
    IAPElement* e = plenvort_test::Elem(p);
    int n = 0;
    e->GetNumDependents(&n);
    bool found = false;
    for (int i = 0; i < n; ++i) {
        IAPElement* d = nullptr;
        if (SUCCEEDED(e->GetDependent(i, &d)) && d) {
            found = found || doc_test::Same(d, watcher);
            d->Release();
        }
    }
    e->Release();
    return found;
}

// A tolerance that remembers the feature it is given; it answers IAPTolerance and IAPElement,
// and writes its block through `inner` when it has one.
class FakeTolerance : public IAPTolerance, public IAPElement {
public:
    LONG refs = 1;
    IAPFeature* feature = nullptr; // not counted, as a tolerance holds its feature
    HRESULT setResult = S_OK;
    IAPElement* inner = nullptr;
    CLSID clsid = CLSID_APSizeTolerance;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IAPTolerance) *out = static_cast<IAPTolerance*>(this);
        else if (iid == IID_IAPElement) *out = static_cast<IAPElement*>(this);
        else return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs); }

    HRESULT STDMETHODCALLTYPE SetToleranceFeature(IAPFeature* f) override
    {
        if (FAILED(setResult)) return setResult;
        feature = f;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetToleranceFeature(IAPFeature**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Set3dPosition(double, double, double) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Get3dPosition(double*, double*, double*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetCategory(APTolCategoryType) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCategory(APTolCategoryType*) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE Serialize(unsigned char* s) override { return inner ? inner->Serialize(s) : E_FAIL; }
    HRESULT STDMETHODCALLTYPE Deserialize(unsigned char*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetName(unsigned char*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetName(unsigned char*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetDescription(unsigned char*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDescription(unsigned char*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetCost(int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCost(int*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE BindDocument(IAPDocEventSink*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Clone(IAPElement*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDocument(IAPDocument**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNameSize(int*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDescriptionSize(int*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddDependent(IAPElementSink*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveDependent(IAPElementSink*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE NotifyDependents(unsigned short) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FixupLists() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetNumDependents(int*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDependent(int, IAPElement**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CleanUpCopyList() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetClassID(GUID* id) override
    {
        *id = clsid;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetProperty(IAPPropertyKey*, IAPProperty*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetProperty(IAPPropertyKey*, IAPProperty**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveProperty(IAPPropertyKey*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNumProperties(int*) override { return E_NOTIMPL; }
};

// A solid modeller whose parts are points: a part is an offset; transforming moves the part
// in place (the tag stays), copying makes a new tag 1000 + the source tag. A part is made of
// the tags `tagsOf` lists for it, else of itself alone. A tag's faces are 10 x tag + 1 (a
// surface face) and + 2 (a planar face), each with three edges. On the heap: the features
// that acquire it may outlive the test's own reference.
class FakeUtility : public IHbUtility, public IHbUtilityTopology {
public:
    virtual ~FakeUtility() = default;
    LONG refs = 1;
    std::map<int, std::vector<double>> offsets;
    std::map<int, std::vector<int>> tagsOf;

    std::vector<double>& Part(int tag)
    {
        auto& o = offsets[tag];
        if (o.empty()) o.assign(3, 0.0);
        return o;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IHbUtility) *out = static_cast<IHbUtility*>(this);
        else if (iid == IID_IHbUtilityTopology) *out = static_cast<IHbUtilityTopology*>(this);
        else return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG left = --refs;
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE TransformPart(int part, const double* m, int* moved) override
    {
        auto& o = Part(part);
        for (int k = 0; k < 3; ++k) o[static_cast<size_t>(k)] += m[12 + k];
        *moved = part;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CopyPart(int part, int* copy) override
    {
        *copy = 1000 + part;
        offsets[*copy] = Part(part);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE PointAtParam(int part, double u, double v, double* xyz) override
    {
        auto& o = Part(part);
        xyz[0] = o[0] + u;
        xyz[1] = o[1] + v;
        xyz[2] = o[2];
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE NormalAtPoint(int, const double*, double* n) override
    {
        n[0] = 0;
        n[1] = 0;
        n[2] = -1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsPlanarFace(int face, long* yes) override
    {
        *yes = face % 10 == 2;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsSurfaceFace(int face, long* yes) override
    {
        *yes = face % 10 == 1;
        return S_OK;
    }
    static HRESULT Block(const std::vector<int>& values, int* count, int** out)
    {
        *count = static_cast<int>(values.size());
        *out = static_cast<int*>(CoTaskMemAlloc(values.size() * sizeof(int)));
        for (size_t i = 0; i < values.size(); ++i) (*out)[i] = values[i];
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPartTags(int part, int* count, int** tags) override
    {
        auto it = tagsOf.find(part);
        return Block(it == tagsOf.end() ? std::vector<int>{part} : it->second, count, tags);
    }
    HRESULT STDMETHODCALLTYPE GetTagFaces(int tag, int* count, int** faces) override
    {
        return Block({10 * tag + 1, 10 * tag + 2}, count, faces);
    }
    HRESULT STDMETHODCALLTYPE GetNumFaceEdges(int, int* count) override
    {
        *count = 3;
        return S_OK;
    }
    // Sample k of edge e of face f is (f, e, k + 0.5).
    HRESULT STDMETHODCALLTYPE SampleFaceEdge(int face, int edge, int samples, float* xyz) override
    {
        for (int k = 0; k < samples; ++k) {
            xyz[3 * k] = static_cast<float>(face);
            xyz[3 * k + 1] = static_cast<float>(edge);
            xyz[3 * k + 2] = static_cast<float>(k) + 0.5f;
        }
        return S_OK;
    }
};

// Each test leaves no object behind and the module unloadable.
class FeatureTest : public doc_test::DocumentTest {
protected:
    void TearDown() override
    {
        DocumentTest::TearDown();
        if (m_live == 0) {
            EXPECT_EQ(PlenvortDllCanUnloadNow(), S_OK);
        }
    }
    // A feature made through the test's document, named.
    IAPFeature8* DocFeature(const char* name, const CLSID& clsid = CLSID_APPinFeature)
    {
        IAPNode* node = doc_test::NewNode(m_doc, clsid, name);
        IAPFeature8* f = Query<IAPFeature8>(node, IID_IAPFeature8);
        node->Release();
        return f;
    }
};

} // namespace feature_test
