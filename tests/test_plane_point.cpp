// Plane and point features: definitions, normals, extents, boundary queries, real geometry,
// distributions with their sample blocks, measurement names and monikers, blocks of every
// version and the copies.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "feature_kinds_support.h"
#include "model/APBlockIO.h"
#include "platform/moniker/MkMoniker.h"

using namespace kinds_test;
using doc_test::DocumentTest;
using doc_test::NewNode;
using doc_test::RootAt;

namespace {

class PlaneFeature : public ObjectsTest {};
class PointFeature : public ObjectsTest {};

template <class I>
std::vector<double> Vec3(IAPPlaneFeature4* p, HRESULT (STDMETHODCALLTYPE I::*get)(double*, double*, double*),
                         HRESULT expect = S_OK)
{
    std::vector<double> v(3, 99.0);
    EXPECT_EQ((p->*get)(&v[0], &v[1], &v[2]), expect);
    return v;
}

std::vector<double> Points(IAPPlaneFeature4* p)
{
    double buffer[3 * 16] = {};
    int count = 0;
    EXPECT_EQ(p->GetPlaneFeaturePartBoundaryPoints(10, buffer, &count), S_OK);
    return std::vector<double>(buffer, buffer + 3 * count);
}

std::vector<double> Extent(IAPPlaneFeature4* p)
{
    std::vector<double> e(2, 99.0);
    EXPECT_EQ(p->GetExtent(&e[0], &e[1]), S_OK);
    return e;
}

IAPPlaneFeature4* NewPlane() { return Create<IAPPlaneFeature4>(CLSID_APPlaneFeature, IID_IAPPlaneFeature4); }
IAPPointFeature5* NewPoint() { return Create<IAPPointFeature5>(CLSID_APPointFeature, IID_IAPPointFeature5); }

const double kRect[12] = {0, 0, 0, 3, 0, 0, 0, 2, 0, 3, 2, 0};

} // namespace

TEST_F(PlaneFeature, NewPlaneHasNoDefinition)
{
    IAPPlaneFeature4* p = NewPlane();
    int sense = 0, parts = 0;
    EXPECT_EQ(p->GetNormalSense(&sense), S_OK);
    EXPECT_EQ(sense, 1);
    EXPECT_EQ(p->GetPlaneFeatureNumGeometryParts(&parts), S_OK);
    EXPECT_EQ(parts, 1);
    EXPECT_FALSE(Model<APPlaneFeature>(p)->HasDefinition());
    Vec3(p, &IAPPlaneFeature::GetNormal, E_FAIL);
    Vec3(p, &IAPPlaneFeature::GetCentroid, E_FAIL); // the mean of no points
    double e1 = 0, e2 = 0;
    EXPECT_EQ(p->GetExtent(&e1, &e2), E_FAIL);
    EXPECT_EQ(PlacedBrep(p).hr, E_FAIL);
    p->Release();
}

TEST_F(PlaneFeature, ImplicitAndByPoints)
{
    IAPPlaneFeature4* p = NewPlane();
    ASSERT_EQ(p->DefinePlaneImplicit(0, 0, 0, 0, 0, 2, 4, 2), S_OK);
    ExpectNear(Points(p), {-2, -1, 0, 2, -1, 0, -2, 1, 0, 2, 1, 0});
    ExpectNear(Extent(p), {4, 2});
    ExpectNear(Vec3(p, &IAPPlaneFeature::GetNormal), {0, 0, 1});
    ExpectNear(Vec3(p, &IAPPlaneFeature4::GetReferenceDirection), {1, 0, 0});

    // By points, without a normal: the earlier one stays and the extents are computed.
    ASSERT_EQ(p->DefinePlaneByPoints(const_cast<double*>(kRect), 4, nullptr), S_OK);
    ExpectNear(Vec3(p, &IAPPlaneFeature::GetNormal), {0, 0, 1});
    ExpectNear(Extent(p), {4, 2}, "stored extents still answer");
    double e1 = 0, e2 = 0;
    APVector3d n, side;
    ASSERT_EQ(Model<APPlaneFeature>(p)->ComputeExtent(&e1, &e2, n, side), S_OK);
    ExpectNear({e1, e2, side.x, side.y, side.z}, {3, 2, 3, 0, 0});
    ExpectNear(Vec3(p, &IAPPlaneFeature::GetCentroid), {1.5, 1, 0});

    // The patch spans the rectangle.
    PlacedBrep b(p);
    ASSERT_EQ(b.hr, S_OK);
    const WmBrepNURBSSurface* s = b.Surface(0);
    ASSERT_NE(s, nullptr);
    std::vector<double> corners;
    for (int k = 0; k < 4; ++k) {
        const std::vector<double> c = b.Control(0, k);
        corners.insert(corners.end(), c.begin(), c.begin() + 3);
    }
    ExpectNear(corners, {3, 0, 0, 0, 0, 0, 3, 2, 0, 0, 2, 0});
    p->Release();

    IAPPlaneFeature4* q = NewPlane();
    const double normal[3] = {0, 0, 5};
    ASSERT_EQ(q->DefinePlaneByPoints(const_cast<double*>(kRect), 4, const_cast<double*>(normal)), S_OK);
    ExpectNear(Extent(q), {3, 2});
    ASSERT_EQ(q->SetNormalSenseNegative(), S_OK);
    ExpectNear(Vec3(q, &IAPPlaneFeature::GetNormal), {0, 0, 1}, "the sense leaves a given normal alone");
    q->Release();
}

TEST_F(PlaneFeature, ShapeIsPlacedOnce)
{
    IAPPlaneFeature4* p = NewPlane();
    const double normal[3] = {0, 0, 1};
    ASSERT_EQ(p->DefinePlaneByPoints(const_cast<double*>(kRect), 4, const_cast<double*>(normal)), S_OK);
    const std::vector<double> shift = Translation(10, 0, 0);
    ASSERT_EQ(SetTransform(p, shift.data()), S_OK);
    ExpectNear(Vec3(p, &IAPPlaneFeature::GetCentroid), {11.5, 1, 0});
    PlacedBrep b(p);
    ASSERT_EQ(b.hr, S_OK);
    ExpectNear(b.Control(0, 0), {13, 0, 0});
    p->Release();
}

TEST_F(PlaneFeature, NormalsFromThreePointsAndDegenerateExtents)
{
    APPointList line;
    for (double x : {0.0, 1.0, 2.0}) line.Append({x, x, 0});
    APVector3d n{9, 9, 9};
    IAPPlaneFeature4* p = NewPlane();
    auto* m = Model<APPlaneFeature>(p);
    EXPECT_FALSE(m->ComputeNormalFromThreePoints(line, n));
    ExpectNear({n.x, n.y, n.z}, {0, 0, 0});
    line.Append({0, 1, 0});
    EXPECT_TRUE(m->ComputeNormalFromThreePoints(line, n));
    ExpectNear({n.x, n.y, n.z}, {0, 0, 1});

    // Every point the same: no side vector, so no extent (and no shape).
    const double same[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1}, up[3] = {0, 0, 1};
    ASSERT_EQ(p->DefinePlaneByPoints(const_cast<double*>(same), 3, const_cast<double*>(up)), S_OK);
    double e1 = 0, e2 = 0;
    EXPECT_EQ(p->GetExtent(&e1, &e2), E_FAIL);
    EXPECT_EQ(PlacedBrep(p).hr, E_FAIL);

    APVector3d w;
    EXPECT_FALSE(APPlaneFeature::PerpendicularVector({0, 0, 0}, w));
    ASSERT_TRUE(APPlaneFeature::PerpendicularVector({1, 2, 3}, w));
    ExpectNear({w.x, w.y, w.z}, {1, 0, -1.0 / 3.0});
    p->Release();
}

TEST_F(PlaneFeature, RealGeometry)
{
    WmBrep* patch = nullptr;
    ASSERT_EQ(CreatePlaneWmBrep({1, 2, 3}, {0, 0, 1}, {1, 0, 0}, 4, 2, 1e-8, &patch), 1);
    IAPPlaneFeature4* p = NewPlane();
    IAPFeature8* f = Query<IAPFeature8>(p, IID_IAPFeature8);
    ASSERT_EQ(f->SetWmBrep(WmBrep::toHandle(patch)), S_OK);
    patch->release();
    EXPECT_TRUE(Model<APPlaneFeature>(p)->HasDefinition());
    const std::vector<double> up = Vec3(p, &IAPPlaneFeature::GetNormal);
    EXPECT_NEAR(std::fabs(up[2]), 1.0, kEps);
    ASSERT_EQ(p->SetNormalSenseNegative(), S_OK);
    ExpectNear(Vec3(p, &IAPPlaneFeature::GetNormal), {-up[0], -up[1], -up[2]}, "reversed");
    ExpectNear(Vec3(p, &IAPPlaneFeature::GetCentroid), {1, 2, 3});
    int edges = 0;
    EXPECT_EQ(p->GetPlaneFeatureNumBoundaryEdges(&edges), S_OK);
    EXPECT_EQ(edges, 4);
    std::vector<double> e = Extent(p);
    std::sort(e.begin(), e.end());
    ExpectNear(e, {1.996, 3.992}); // the boundary edges stand a little inside the patch
    double pts[3 * 40];
    int count = 0;
    ASSERT_EQ(p->GetPlaneFeatureBoundaryPoints(1, 10, pts, &count), S_OK);
    ASSERT_EQ(count, 40);
    for (int i = 0; i < count; ++i) EXPECT_NEAR(pts[3 * i + 2], 3.0, kEps);
    double centroids[3] = {};
    ASSERT_EQ(p->GetPartCentroids(1, centroids), S_OK);
    ExpectNear({centroids[0], centroids[1], centroids[2]}, {1, 2, 3});

    // A definition drops the B-rep, and with it the real geometry.
    ASSERT_EQ(p->DefinePlaneImplicit(0, 0, 0, 0, 0, 1, 1, 1), S_OK);
    long real = 1;
    EXPECT_EQ(f->GetBasedOnRealGeometry(&real), S_OK);
    EXPECT_EQ(real, 0);

    // Solid-modeller parts with no part at all: no normal, and nothing added to the list.
    ASSERT_EQ(f->SetBasedOnRealGeometry(1), S_OK);
    ASSERT_EQ(f->SetGeometrySource(2), S_OK);
    Vec3(p, &IAPPlaneFeature::GetNormal, E_FAIL);
    int parts = -1;
    EXPECT_EQ(f->GetNumHbParts(&parts), S_OK);
    EXPECT_EQ(parts, 0);
    f->Release();
    p->Release();
}

TEST_F(PlaneFeature, ClonesAndRelatedElements)
{
    IAPPlaneFeature4* p = NewPlane();
    ASSERT_EQ(p->DefinePlaneImplicit(0, 0, 0, 0, 0, 1, 4, 2), S_OK);
    ASSERT_EQ(SetTransform(p, kCycle), S_OK);
    IAPPlaneFeature4* q = NewPlane();
    IAPElement* ep = Elem(p);
    IAPElement* eq = Elem(q);
    ASSERT_EQ(ep->Clone(eq), S_OK);
    ExpectNear(Points(q), Points(p));
    ExpectNear(Vec3(q, &IAPPlaneFeature::GetNormal), {1, 0, 0});
    ExpectNear(Vec3(q, &IAPPlaneFeature4::GetReferenceDirection), Vec3(p, &IAPPlaneFeature4::GetReferenceDirection));
    ExpectNear(Extent(q), {4, 2});
    IAPElement* pin = Create<IAPElement>(CLSID_APPinFeature, IID_IAPElement);
    EXPECT_EQ(ep->Clone(pin), E_FAIL);

    // A related feature that goes is dropped, with the owner flag and the owner.
    IAPFeature8* f = Query<IAPFeature8>(p, IID_IAPFeature8);
    IAPFeature* asFeature = Query<IAPFeature>(pin, IID_IAPFeature);
    ASSERT_EQ(f->AppendRelatedElement(asFeature), S_OK);
    ASSERT_EQ(f->SetRelatedOwnerFlag(1), S_OK);
    ASSERT_EQ(f->SetRelatedOwner(asFeature), S_OK);
    ASSERT_EQ(Model<APPlaneFeature>(p)->Notify(3, pin), S_OK);
    int count = -1, flag = -1;
    IAPFeature* owner = asFeature;
    EXPECT_EQ(f->GetNumRelatedElements(&count), S_OK);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(f->GetRelatedOwnerFlag(&flag), S_OK);
    EXPECT_EQ(flag, 0);
    f->GetRelatedOwner(&owner);
    EXPECT_EQ(owner, nullptr);
    for (IUnknown* u : {static_cast<IUnknown*>(f), static_cast<IUnknown*>(asFeature), static_cast<IUnknown*>(pin),
                        static_cast<IUnknown*>(ep), static_cast<IUnknown*>(eq), static_cast<IUnknown*>(p),
                        static_cast<IUnknown*>(q)})
        u->Release();
}

TEST_F(PlaneFeature, OlderBlocksFoldTheirTransform)
{
    for (int version = 1; version <= 4; ++version) {
        SCOPED_TRACE(version);
        IAPPlaneFeature4* src = NewPlane();
        ASSERT_EQ(SetTransform(src, kCycle), S_OK);
        Block b(Model<APPlaneFeature>(src));
        b.Put(version, 3, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0, 0.0, true, 0.0, 0.0, 1.0);
        if (version >= 2) b.Put(4.0, 2.0);
        if (version >= 3) b.Put(-1);
        if (version >= 4) b.Put(true, 0.0, 1.0, 0.0);
        src->Release();

        IAPPlaneFeature4* p = NewPlane();
        Reader r(b.Bytes());
        ASSERT_EQ(Model<APPlaneFeature>(p)->Deserialize(r.Stream()), S_OK);
        ExpectNear(TransformOf(p), std::vector<double>(kIdentity, kIdentity + 16));
        ExpectNear(Points(p), {5, 0, 0, 5, 1, 0, 5, 0, 1});
        ExpectNear(Vec3(p, &IAPPlaneFeature::GetNormal), {1, 0, 0});
        int sense = 0;
        EXPECT_EQ(p->GetNormalSense(&sense), S_OK);
        EXPECT_EQ(sense, version >= 3 ? -1 : 1);
        double e1 = 0, e2 = 0;
        EXPECT_EQ(p->GetExtent(&e1, &e2), S_OK);
        if (version >= 2) ExpectNear({e1, e2}, {4, 2});
        if (version >= 4) ExpectNear(Vec3(p, &IAPPlaneFeature4::GetReferenceDirection), {0, 0, 1});
        p->Release();
    }
    // Counts that are negative or beyond the stream are refused.
    for (int count : {-1, 0x10000000}) {
        IAPPlaneFeature4* src = NewPlane();
        Block b(Model<APPlaneFeature>(src));
        b.Put(4, count, 0.0, 0.0, 0.0);
        src->Release();
        IAPPlaneFeature4* p = NewPlane();
        Reader r(b.Bytes());
        EXPECT_EQ(Model<APPlaneFeature>(p)->Deserialize(r.Stream()), E_FAIL) << count;
        p->Release();
    }
}

// ---- point ----

TEST_F(PointFeature, NewPointAndDirections)
{
    IAPPointFeature5* p = NewPoint();
    double size = 0, mean = 9, sd = 9, skew = 9, kurt = 9;
    int scan = 9, fem = 9, n = 9;
    LONG grid = 9, pearson = 9;
    double* block = reinterpret_cast<double*>(1);
    EXPECT_EQ(p->GetPointSize(&size), S_OK);
    EXPECT_EQ(size, -1.0);
    EXPECT_EQ(p->IsScanPoint(&scan), S_OK);
    EXPECT_EQ(p->IsFemPoint(&fem), S_OK);
    EXPECT_EQ(p->GetFromGridPoints(&grid), S_OK);
    EXPECT_EQ(scan + fem + grid, 0);
    EXPECT_EQ(p->GetPointLocOrtDistributionValues2(&mean, &sd, &skew, &kurt, &pearson, &n, &block), S_OK);
    EXPECT_EQ(mean + sd + skew + kurt + pearson + n, 0);
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(PlacedBrep(p).hr, E_FAIL);

    ASSERT_EQ(p->DefinePointImplicit(0, 0, 0, 0, 0, 5, 2), S_OK);
    double d[3];
    ASSERT_EQ(p->GetPointDirection(&d[0], &d[1], &d[2]), S_OK);
    ExpectNear({d[0], d[1], d[2]}, {0, 0, 1});
    {
        PlacedBrep b(p);
        ASSERT_EQ(b.hr, S_OK);
        ExpectNear(b.Control(0, 9), {0, -2, 0.2, 1}, "wall");
    }
    ASSERT_EQ(p->ReverseNormal(), S_OK);
    ASSERT_EQ(p->GetPointDirection(&d[0], &d[1], &d[2]), S_OK);
    ExpectNear({d[0], d[1], d[2]}, {0, 0, -1});
    ASSERT_EQ(p->ReverseNormal(), S_OK);
    ASSERT_EQ(SetTransform(p, kCycle), S_OK);
    ASSERT_EQ(p->GetPointDirection(&d[0], &d[1], &d[2]), S_OK);
    ExpectNear({d[0], d[1], d[2]}, {1, 0, 0});
    ASSERT_EQ(p->GetPoint(&d[0], &d[1], &d[2]), S_OK);
    ExpectNear({d[0], d[1], d[2]}, {5, 0, 0});

    // Under a plane the point answers the plane's normal.
    IAPPlaneFeature4* plane = NewPlane();
    ASSERT_EQ(plane->DefinePlaneImplicit(0, 0, 0, 0, 3, 0, 1, 1), S_OK);
    IAPNode* node = Query<IAPNode>(plane, IID_IAPNode);
    IAPNode* child = Query<IAPNode>(p, IID_IAPNode);
    ASSERT_EQ(node->AppendChild(child), S_OK);
    ASSERT_EQ(p->GetPointDirection(&d[0], &d[1], &d[2]), S_OK);
    ExpectNear({d[0], d[1], d[2]}, {0, 1, 0});
    ASSERT_EQ(node->RemoveChild(child), S_OK);
    child->Release();
    node->Release();
    plane->Release();
    p->Release();
}

TEST_F(PointFeature, DistributionBlocks)
{
    IAPPointFeature5* p = NewPoint();
    const double samples[5] = {1, 2, 3, 4, 5};
    ASSERT_EQ(p->SetPointSizeDistributionValues2(1, 2, 3, 4, 1, 3, const_cast<double*>(samples)), S_OK);
    ASSERT_EQ(p->SetPtFormDistributionValues(5, 6, 7, 8, 2, const_cast<double*>(samples)), S_OK);
    double m[4];
    int n = 0;
    LONG pearson = 9;
    double* block = nullptr;
    ASSERT_EQ(p->GetPtSizeDistributionValues(&m[0], &m[1], &m[2], &m[3], &n, &block), S_OK);
    ExpectNear({m[0], m[1], m[2], m[3]}, {1, 2, 3, 4});
    ASSERT_NE(block, nullptr);
    ExpectNear(std::vector<double>(block, block + n), {1, 2, 3});
    CoTaskMemFree(block);
    ASSERT_EQ(p->GetPointFormDistributionValues2(&m[0], &m[1], &m[2], &m[3], &pearson, &n, &block), S_OK);
    EXPECT_EQ(pearson, 0);
    ExpectNear(std::vector<double>(block, block + n), {1, 2});
    CoTaskMemFree(block);

    // Minor-axis samples follow the loc/ort count; fewer than it are none at all.
    const double major[3] = {1, 0, 0}, minor[3] = {0, 1, 0};
    double ma[3], mi[3];
    ASSERT_EQ(p->SetPtLocOrtDistributionValues(0, 1, 0, 3, 3, const_cast<double*>(samples)), S_OK);
    ASSERT_EQ(p->SetPtLocOrtMinorAxisDistributionValues(9, 8, 7, 6, const_cast<double*>(samples + 2),
                                                        const_cast<double*>(major), const_cast<double*>(minor)),
              S_OK);
    ASSERT_EQ(p->GetPtLocOrtMinorAxisDistributionValues(&m[0], &m[1], &m[2], &m[3], &block, ma, mi), S_OK);
    ExpectNear({m[0], m[1], m[2], m[3], ma[0], mi[1]}, {9, 8, 7, 6, 1, 1});
    ASSERT_NE(block, nullptr);
    ExpectNear(std::vector<double>(block, block + 3), {3, 4, 5});
    CoTaskMemFree(block);
    ASSERT_EQ(p->SetPtLocOrtDistributionValues(0, 1, 0, 3, 5, const_cast<double*>(samples)), S_OK);
    ASSERT_EQ(p->GetPtLocOrtMinorAxisDistributionValues(&m[0], &m[1], &m[2], &m[3], &block, ma, mi), S_OK);
    EXPECT_EQ(block, nullptr);
    ASSERT_EQ(p->SetPtLocOrtDistributionValues(0, 1, 0, 3, 2, const_cast<double*>(samples)), S_OK);
    ASSERT_EQ(p->GetPtLocOrtMinorAxisDistributionValues(&m[0], &m[1], &m[2], &m[3], &block, ma, mi), S_OK);
    ASSERT_NE(block, nullptr);
    ExpectNear(std::vector<double>(block, block + 2), {3, 4});
    CoTaskMemFree(block);
    p->Release();
}

TEST_F(PointFeature, NamesAndMonikers)
{
    IAPPointFeature5* p = NewPoint();
    ASSERT_EQ(p->SetFormXmlFileAndMeasurementName(Text("form.xml"), Text("flatness"), 12), S_OK);
    char file[64] = "untouched", name[64] = "untouched";
    LONG time = 0;
    ASSERT_EQ(p->GetFormXmlFileAndMeasurementName(reinterpret_cast<unsigned char*>(file),
                                                  reinterpret_cast<unsigned char*>(name), &time),
              S_OK);
    EXPECT_STREQ(file, "form.xml");
    EXPECT_STREQ(name, "flatness");
    EXPECT_EQ(time, 12);

    IAPElement* pin = Create<IAPElement>(CLSID_APPinFeature, IID_IAPElement);
    char other[16] = "untouched", other2[16] = "untouched";
    EXPECT_EQ(static_cast<IAPPointFeature5*>(ObjectOf(pin))
                  ->GetFormXmlFileAndMeasurementName(reinterpret_cast<unsigned char*>(other),
                                                     reinterpret_cast<unsigned char*>(other2), &time),
              S_FALSE);
    EXPECT_STREQ(other, "untouched");
    EXPECT_STREQ(other2, "untouched");
    pin->Release();

    IORVDataMoniker* moniker = nullptr;
    ASSERT_EQ(MkCreateMoniker("C:\\data\\size.xml", &moniker), S_OK);
    ASSERT_EQ(p->SetSizeXmlFileMonikerAndMeasurementName(moniker, Text("diameter"), 3), S_OK);
    moniker->Release();
    ASSERT_EQ(p->GetSizeXmlFileAndMeasurementName(reinterpret_cast<unsigned char*>(file),
                                                  reinterpret_cast<unsigned char*>(name), &time),
              S_OK);
    EXPECT_STREQ(file, "C:\\data\\size.xml");
    EXPECT_STREQ(name, "diameter");
    IORVDataMoniker* out = nullptr;
    ASSERT_EQ(p->GetSizeXmlFileMonikerAndMeasurementName(&out, reinterpret_cast<unsigned char*>(name), &time), S_OK);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(std::string(MkGetPath(out).GetString()), "C:\\data\\size.xml");
    out->Release();
    IORVDataMoniker* kept = reinterpret_cast<IORVDataMoniker*>(8);
    ASSERT_EQ(p->GetLocOrtXmlFileMonikerAndMeasurementName(&kept, reinterpret_cast<unsigned char*>(name), &time),
              S_OK);
    EXPECT_EQ(kept, reinterpret_cast<IORVDataMoniker*>(8));
    p->Release();
}

TEST_F(PointFeature, OlderBlocks)
{
    auto pointBlock = [](int version, int sizeCount, int sizeFlag) {
        IAPPointFeature5* src = NewPoint();
        EXPECT_EQ(SetTransform(src, kCycle), S_OK);
        auto* b = new Block(Model<APPointFeature>(src));
        src->Release();
        b->Put(version, 0.0, 0.0, 0.0, 0.0, 0.0, 5.0, 2.0);
        if (version < 2) return b;
        WmObjectStream& s = b->w.out;
        auto text = [&](const char* t) { EXPECT_TRUE(WriteText(s, CString(t), 1024)); };
        text("C:\\m\\size.xml");
        if (version >= 4) {
            EXPECT_TRUE(WriteMonikerField(s, nullptr));
        }
        text("size");
        text("form.xml");
        text("form");
        text("");
        if (version >= 4) {
            EXPECT_TRUE(WriteMonikerField(s, nullptr));
        }
        text("loc");
        b->Put(1.0, 2.0, 3.0, 4.0, 17.9, sizeCount, sizeFlag);
        for (int i = 0; sizeFlag == 1 && i < 2; ++i) b->Put(0.5 * (i + 1));
        b->Put(0.0, 0.0, 0.0, 0.0, 0.0, 0, 0);          // form
        b->Put(0.0, 0.0, 0.0, 0.0, 0.0, 1);             // loc/ort, one sample
        b->Put(0.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0, 0.0);
        b->Put(1, 7.0, 1, 8.0, 1);                      // loc/ort and minor samples, scan
        if (version >= 3) b->Put(1);
        if (version >= 5) b->Put(1, 0, 1);
        if (version >= 6) b->Put(1);
        return b;
    };
    for (int version = 1; version <= 6; ++version) {
        SCOPED_TRACE(version);
        Block* b = pointBlock(version, 2, 1);
        IAPPointFeature5* p = NewPoint();
        Reader r(b->Bytes());
        delete b;
        ASSERT_EQ(Model<APPointFeature>(p)->Deserialize(r.Stream()), S_OK);
        ExpectNear(TransformOf(p), std::vector<double>(kIdentity, kIdentity + 16));
        double d[3];
        ASSERT_EQ(p->GetPoint(&d[0], &d[1], &d[2]), S_OK);
        ExpectNear({d[0], d[1], d[2]}, {5, 0, 0});
        ASSERT_EQ(p->GetPointDirection(&d[0], &d[1], &d[2]), S_OK);
        ExpectNear({d[0], d[1], d[2]}, {1, 0, 0});
        int fem = 0, scan = 0, n = 0;
        LONG grid = 0, pearson = 0;
        double m[4], *block = nullptr;
        p->IsFemPoint(&fem);
        p->IsScanPoint(&scan);
        p->GetFromGridPoints(&grid);
        EXPECT_EQ(fem, version >= 3 ? 1 : 0);
        EXPECT_EQ(scan, version >= 2 ? 1 : 0);
        EXPECT_EQ(grid, version >= 6 ? 1 : 0);
        ASSERT_EQ(p->GetPointSizeDistributionValues2(&m[0], &m[1], &m[2], &m[3], &pearson, &n, &block), S_OK);
        EXPECT_EQ(pearson, version >= 5 ? 1 : 0);
        if (version >= 2) {
            ASSERT_NE(block, nullptr);
            ExpectNear({m[3], block[0], block[1]}, {4, 0.5, 1});
            CoTaskMemFree(block);
            char name[64];
            LONG time = 0;
            IORVDataMoniker* moniker = nullptr;
            ASSERT_EQ(p->GetSizeXmlFileMonikerAndMeasurementName(&moniker, reinterpret_cast<unsigned char*>(name), &time),
                      S_OK);
            EXPECT_EQ(time, 17);
            EXPECT_STREQ(name, "size");
            if (version < 4) {
                ASSERT_NE(moniker, nullptr); // made from the name
                EXPECT_EQ(std::string(MkGetPath(moniker).GetString()), "C:\\m\\size.xml");
            }
            if (moniker) moniker->Release();
            ASSERT_EQ(p->GetPtLocOrtMinorAxisDistributionValues(&m[0], &m[1], &m[2], &m[3], &block, d, d), S_OK);
            ASSERT_NE(block, nullptr);
            EXPECT_EQ(block[0], 8.0);
            CoTaskMemFree(block);
        }
        p->Release();
    }
    // Sample counts where samples follow must fit; a bare count reads back.
    for (int count : {-1, 0x10000000}) {
        Block* b = pointBlock(6, count, 1);
        IAPPointFeature5* p = NewPoint();
        Reader r(b->Bytes());
        delete b;
        EXPECT_EQ(Model<APPointFeature>(p)->Deserialize(r.Stream()), E_FAIL) << count;
        p->Release();
    }
    Block* b = pointBlock(6, 7, 0);
    IAPPointFeature5* p = NewPoint();
    Reader r(b->Bytes());
    delete b;
    ASSERT_EQ(Model<APPointFeature>(p)->Deserialize(r.Stream()), S_OK);
    double m[4], *block = reinterpret_cast<double*>(1);
    int n = 0;
    ASSERT_EQ(p->GetPtSizeDistributionValues(&m[0], &m[1], &m[2], &m[3], &n, &block), S_OK);
    EXPECT_EQ(n, 7);
    EXPECT_EQ(block, nullptr);
    p->Release();
}

TEST_F(PointFeature, CopiesAreNeverScanPoints)
{
    IAPPointFeature5* p = NewPoint();
    ASSERT_EQ(p->DefinePointImplicit(0, 0, 0, 0, 0, 5, 2), S_OK);
    ASSERT_EQ(p->SetAsScanPoint(), S_OK);
    ASSERT_EQ(p->SetAsFemPoint(1), S_OK);
    const double samples[2] = {1, 2};
    ASSERT_EQ(p->SetPtSizeDistributionValues(1, 2, 3, 4, 2, const_cast<double*>(samples)), S_OK);
    ASSERT_EQ(SetTransform(p, kCycle), S_OK);
    IAPPointFeature5* q = NewPoint();
    IAPElement* ep = Elem(p);
    IAPElement* eq = Elem(q);
    ASSERT_EQ(ep->Clone(eq), S_OK);
    int scan = 9, fem = 0, n = 0;
    q->IsScanPoint(&scan);
    q->IsFemPoint(&fem);
    EXPECT_EQ(scan, 0);
    EXPECT_EQ(fem, 1);
    double d[3], m[4], *block = nullptr;
    ASSERT_EQ(q->GetPoint(&d[0], &d[1], &d[2]), S_OK);
    ExpectNear({d[0], d[1], d[2]}, {5, 0, 0});
    ExpectNear(TransformOf(q), std::vector<double>(kIdentity, kIdentity + 16));
    ASSERT_EQ(q->GetPtSizeDistributionValues(&m[0], &m[1], &m[2], &m[3], &n, &block), S_OK);
    ASSERT_NE(block, nullptr);
    ExpectNear(std::vector<double>(block, block + n), {1, 2});
    CoTaskMemFree(block);
    IAPElement* plane = Create<IAPElement>(CLSID_APPlaneFeature, IID_IAPElement);
    EXPECT_EQ(ep->Clone(plane), E_FAIL);
    for (IUnknown* u : {static_cast<IUnknown*>(plane), static_cast<IUnknown*>(ep), static_cast<IUnknown*>(eq),
                        static_cast<IUnknown*>(p), static_cast<IUnknown*>(q)})
        u->Release();
}

class PlanePointFile : public DocumentTest {};

TEST_F(PlanePointFile, SaveAndOpen)
{
    ASSERT_EQ(m_doc->SetProcessName(Text("planes")), S_OK);
    IAPNode* planeNode = NewNode(m_doc, CLSID_APPlaneFeature, "plane");
    IAPNode* pointNode = NewNode(m_doc, CLSID_APPointFeature, "point");
    IAPNode* surfaceNode = NewNode(m_doc, CLSID_APSurfaceFeature, "surface");
    IAPPlaneFeature4* plane = Query<IAPPlaneFeature4>(planeNode, IID_IAPPlaneFeature4);
    IAPPointFeature5* point = Query<IAPPointFeature5>(pointNode, IID_IAPPointFeature5);
    IAPSurfaceFeature1* surface = Query<IAPSurfaceFeature1>(surfaceNode, IID_IAPSurfaceFeature1);
    ASSERT_EQ(plane->DefinePlaneImplicit(1, 2, 3, 0, 0, 1, 4, 2), S_OK);
    ASSERT_EQ(SetTransform(plane, kCycle), S_OK);
    ASSERT_EQ(point->DefinePointImplicit(1, 2, 3, 0, 0, 5, 2), S_OK);
    ASSERT_EQ(SetTransform(point, kCycle), S_OK);
    IORVDataMoniker* moniker = nullptr;
    ASSERT_EQ(MkCreateMoniker("C:\\data\\loc.xml", &moniker), S_OK);
    ASSERT_EQ(point->SetLocOrtXmlFileMonikerAndMeasurementName(moniker, Text("position"), 5), S_OK);
    moniker->Release();
    const double samples[3] = {1, 2, 3}, axis[3] = {0, 0, 1};
    ASSERT_EQ(point->SetPointLocOrtDistributionValues2(1, 2, 3, 4, 1, 3, const_cast<double*>(samples)), S_OK);
    ASSERT_EQ(point->SetPtLocOrtMinorAxisDistributionValues(5, 6, 7, 8, const_cast<double*>(samples),
                                                            const_cast<double*>(axis), const_cast<double*>(axis)),
              S_OK);
    ASSERT_EQ(point->SetFromGridPoints(1), S_OK);
    const double pts[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    ASSERT_EQ(surface->DefineSurfaceByPoints(const_cast<double*>(pts), 3, const_cast<double*>(pts)), S_OK);
    const std::vector<double> planePoints = Points(plane);
    const std::vector<double> normal = Vec3(plane, &IAPPlaneFeature::GetNormal);
    const std::vector<double> reference = Vec3(plane, &IAPPlaneFeature4::GetReferenceDirection);
    for (IUnknown* u : {static_cast<IUnknown*>(plane), static_cast<IUnknown*>(point), static_cast<IUnknown*>(surface),
                        static_cast<IUnknown*>(planeNode), static_cast<IUnknown*>(pointNode),
                        static_cast<IUnknown*>(surfaceNode)})
        u->Release();

    const std::string path = File("planes");
    ASSERT_EQ(m_doc->Save(Text(path.c_str())), S_OK);
    IAPDocument6* again = doc_test::NewDocument();
    ASSERT_EQ(again->OpenDocument(Text(path.c_str())), S_OK);
    planeNode = RootAt(again, 0);
    pointNode = RootAt(again, 1);
    surfaceNode = RootAt(again, 2);
    plane = Query<IAPPlaneFeature4>(planeNode, IID_IAPPlaneFeature4);
    point = Query<IAPPointFeature5>(pointNode, IID_IAPPointFeature5);
    surface = Query<IAPSurfaceFeature1>(surfaceNode, IID_IAPSurfaceFeature1);
    ASSERT_NE(plane, nullptr);
    ASSERT_NE(point, nullptr);
    ASSERT_NE(surface, nullptr);
    ExpectNear(TransformOf(plane), std::vector<double>(kIdentity, kIdentity + 16));
    ExpectNear(Points(plane), planePoints);
    ExpectNear(Vec3(plane, &IAPPlaneFeature::GetNormal), normal);
    ExpectNear(Vec3(plane, &IAPPlaneFeature4::GetReferenceDirection), reference);
    ExpectNear(Extent(plane), {4, 2});

    double d[3], m[4], *block = nullptr;
    ASSERT_EQ(point->GetPoint(&d[0], &d[1], &d[2]), S_OK);
    ExpectNear({d[0], d[1], d[2]}, {8, 1, 2});
    ASSERT_EQ(point->GetPointDirection(&d[0], &d[1], &d[2]), S_OK);
    ExpectNear({d[0], d[1], d[2]}, {1, 0, 0});
    LONG grid = 0, pearson = 0, time = 0;
    int n = 0;
    point->GetFromGridPoints(&grid);
    EXPECT_EQ(grid, 1);
    ASSERT_EQ(point->GetPointLocOrtDistributionValues2(&m[0], &m[1], &m[2], &m[3], &pearson, &n, &block), S_OK);
    EXPECT_EQ(pearson, 1);
    ExpectNear(std::vector<double>(block, block + n), {1, 2, 3});
    CoTaskMemFree(block);
    ASSERT_EQ(point->GetPtLocOrtMinorAxisDistributionValues(&m[0], &m[1], &m[2], &m[3], &block, d, d), S_OK);
    ExpectNear(std::vector<double>(block, block + 3), {1, 2, 3});
    CoTaskMemFree(block);
    char name[64];
    moniker = nullptr;
    ASSERT_EQ(point->GetLocOrtXmlFileMonikerAndMeasurementName(&moniker, reinterpret_cast<unsigned char*>(name), &time),
              S_OK);
    ASSERT_NE(moniker, nullptr);
    EXPECT_EQ(std::string(MkGetPath(moniker).GetString()), "C:\\data\\loc.xml");
    EXPECT_STREQ(name, "position");
    moniker->Release();

    // The surface keeps no points in the file.
    int edges = -1;
    EXPECT_EQ(surface->GetSurfaceFeatureNumBoundaryEdges(&edges), S_OK);
    EXPECT_EQ(edges, 0);
    EXPECT_FALSE(Model<APSurfaceFeature>(surface)->HasDefinition());
    for (IUnknown* u : {static_cast<IUnknown*>(plane), static_cast<IUnknown*>(point), static_cast<IUnknown*>(surface),
                        static_cast<IUnknown*>(planeNode), static_cast<IUnknown*>(pointNode),
                        static_cast<IUnknown*>(surfaceNode)})
        u->Release();
    again->Release();
}
