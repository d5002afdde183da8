#pragma once
// Helpers of the feature-kind tests: transforms, near comparisons, the placed B-rep of a
// feature and its control points, and blocks written by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <vector>

#include "document_support.h"
#include "element_support.h"
#include "features/APFeatureKinds.h"
#include "features/APShapeBuilder.h"

namespace kinds_test {

using namespace plenvort_test;

constexpr double kEps = 1e-12;

// (x, y, z) -> (z + 5, x, y).
constexpr double kCycle[16] = {0, 1, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 5, 0, 0, 1};
constexpr double kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

inline std::vector<double> Translation(double x, double y, double z)
{
    return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1};
}

inline void ExpectNear(const std::vector<double>& got, const std::vector<double>& want, const char* what = "")
{
    ASSERT_EQ(got.size(), want.size()) << what;
    for (std::size_t i = 0; i < want.size(); ++i) EXPECT_NEAR(got[i], want[i], kEps) << what << " [" << i << "]";
}

template <class I>
I* NewFeature(const CLSID& clsid, REFIID iid)
{
    return Create<I>(clsid, iid);
}

inline HRESULT SetTransform(IUnknown* p, const double* m)
{
    IAPFeature8* f = Query<IAPFeature8>(p, IID_IAPFeature8);
    const HRESULT hr = f->SetTransformation(const_cast<double*>(m));
    f->Release();
    return hr;
}

inline std::vector<double> TransformOf(IUnknown* p)
{
    IAPFeature8* f = Query<IAPFeature8>(p, IID_IAPFeature8);
    std::vector<double> m(16);
    EXPECT_EQ(f->GetTransformation(m.data()), S_OK);
    f->Release();
    return m;
}

// The placed B-rep that GetWmBrep hands out; released at the end of the scope.
struct PlacedBrep {
    WmBrep* p = nullptr;
    HRESULT hr = E_FAIL;
    explicit PlacedBrep(IUnknown* feature)
    {
        IAPFeature8* f = Query<IAPFeature8>(feature, IID_IAPFeature8);
        ULONG_PTR handle = 0;
        hr = f->GetWmBrep(&handle);
        f->Release();
        p = WmBrep::fromHandle(handle);
    }
    ~PlacedBrep()
    {
        if (p) p->release();
    }
    PlacedBrep(const PlacedBrep&) = delete;
    PlacedBrep& operator=(const PlacedBrep&) = delete;

    const WmBrepNURBSSurface* Surface(int face) const
    {
        WmParaFace* f = p->face(p->shell(p->region(0), 0), face);
        return f ? WmBrepNURBSSurface::cast(p->surface(f->surfaceIndex())) : nullptr;
    }
    std::vector<double> Control(int face, int k) const
    {
        const WmBrepNURBSSurface* s = Surface(face);
        if (!s) return {};
        const double* c = s->ctlPoints() + k * s->coordinates();
        return std::vector<double>(c, c + s->coordinates());
    }
};

// A block as the element stream holds it: the feature block of `source` (with its
// transform), then the values a test appends.
struct Block {
    Writer w;
    explicit Block(APFeature* source) { EXPECT_EQ(source->APFeature::Serialize(w.Stream()), S_OK); }
    template <class... T>
    Block& Put(T... values)
    {
        const bool ok = (w.out.write(values) && ...);
        EXPECT_TRUE(ok);
        return *this;
    }
    std::vector<unsigned char> Bytes() { return w.bytes.Bytes(); }
};

} // namespace kinds_test
