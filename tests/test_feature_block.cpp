// The feature block: written and read back field for field, older versions, damaged blocks,
// links and geometry through a document save and open, and the feature copy.
#include <algorithm>
#include <cstdint>
#include <string>
#include <functional>
#include <vector>

#include "feature_support.h"
#include "platform/toolkit/WmHbBrep.h"

using namespace feature_test;
using doc_test::Same;
using plenvort_test::Reader;
using plenvort_test::Writer;

namespace {

std::vector<unsigned char> Bytes(Writer& w) { return w.bytes.Bytes(); }

// A feature block of an older version: the blocks below the feature's as a feature writes
// them, then `fields`.
std::vector<unsigned char> OldBlock(const std::function<void(WmObjectStream&)>& fields)
{
    IAPFeature8* f = NewFeature();
    Writer w;
    EXPECT_EQ(ModelFeature(f)->APGeometryNode::Serialize(w.Stream()), S_OK);
    fields(*w.Stream());
    f->Release();
    return Bytes(w);
}

void WriteHead(WmObjectStream& s, int version, int geometry)
{
    s.write(version);
    s.write(geometry);
}

// No tolerances, no colour, no transparency, the identity.
void WriteMiddle(WmObjectStream& s)
{
    const double identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    s.write(0);
    s.write(0);
    s.write(0);
    s.writeMatrix4d(identity);
}

// A fresh pin feature that reads the feature block of `bytes` (with a reference), and the
// read's result. Only the base block is read: the pin's own block, which would fold the
// transform into its definition, is not part of what these tests hold.
IAPFeature8* ReadFeature(const std::vector<unsigned char>& bytes, HRESULT* hr, std::size_t size = ~std::size_t{0},
                         Reader** keep = nullptr)
{
    IAPFeature8* f = NewFeature();
    auto* r = new Reader(bytes, size);
    *hr = ModelFeature(f)->APFeature::Deserialize(r->Stream());
    if (keep) *keep = r;
    else delete r;
    return f;
}

int IntOf(IAPFeature8* f, HRESULT (STDMETHODCALLTYPE IAPFeature8::*get)(int*))
{
    int v = -12345;
    EXPECT_EQ((f->*get)(&v), S_OK);
    return v;
}

// Control point i of surface 0 of the B-rep that the feature hands out.
std::vector<double> HandedOutPoint(IAPFeature8* f, int i)
{
    ULONG_PTR h = 0;
    if (f->GetWmBrep(&h) != S_OK) return {};
    auto* b = reinterpret_cast<IPlenvortBrep*>(h);
    int du = 0, dv = 0, nu = 0, nv = 0, coordinates = 0;
    std::vector<double> out;
    if (b->GetSurfaceInfo(0, &du, &dv, &nu, &nv, &coordinates) == S_OK) {
        std::vector<double> uk(static_cast<size_t>(nu + du + 1)), vk(static_cast<size_t>(nv + dv + 1)),
            cp(static_cast<size_t>(nu * nv * coordinates));
        if (b->GetSurfaceData(0, uk.data(), static_cast<int>(uk.size()), vk.data(), static_cast<int>(vk.size()),
                              cp.data(), static_cast<int>(cp.size())) == S_OK)
            out.assign(cp.begin() + coordinates * i, cp.begin() + coordinates * (i + 1));
    }
    b->Release();
    return out;
}

} // namespace

TEST_F(FeatureTest, BlockReadsBackFieldForField)
{
    IAPFeature8* f = NewFeature();
    WmBrep* hole = HoleBrep();
    f->SetWmBrep(Handle(hole));
    hole->Release();
    double t[16];
    Translation(t, 1, 2, 3);
    t[1] = 0.5;
    f->SetTransformation(t);
    f->SetFeatureColor(0.25, 0.5, 0.75);
    f->SetFeatureTransparency(0.125);
    f->SetSizeDistributionType(AP_DISTRIB_TYPE_PEARSON);
    f->SetFormDistributionType(AP_DISTRIB_TYPE_UNIFORM);
    f->SetLocOrtDistributionType(AP_DISTRIB_TYPE_PEARSON);
    f->SetSizePearsonValues(1, 2, 3, 4);
    f->SetLocOrtPearsonValues(5, 6, 7, 8);
    f->SetVariationSource(6);
    f->SetFeatureOptionFlag(5);
    f->SetVariationSetting(7);
    f->SetOptionPair(-3, 0xfffffff0u);
    f->SetIntAttribute1(11);
    f->SetIntAttribute2(12);
    f->SetIsDefault(1);
    f->SetRelatedOwnerFlag(1);
    f->SetRelatedMemberFlag(1);
    // A tolerance is re-created by its class id and reads its own block.
    IAPElement* realTolerance = Create<IAPElement>(CLSID_APSizeTolerance, IID_IAPElement);
    FakeTolerance tol;
    tol.inner = realTolerance;
    ASSERT_EQ(f->AddTolerance(&tol), S_OK);

    Writer w;
    IAPElement* e = plenvort_test::Elem(f);
    ASSERT_EQ(e->Serialize(w.Handle()), S_OK);
    e->Release();
    EXPECT_EQ(WmPartition::majorVersion(), 8);
    EXPECT_EQ(WmPartition::minorVersion(), 2);
    f->RemoveTolerance(&tol);
    f->Release();
    realTolerance->Release();

    HRESULT hr = E_FAIL;
    IAPFeature8* g = ReadFeature(Bytes(w), &hr);
    ASSERT_EQ(hr, S_OK);
    double m[16], r, gg, b;
    g->GetTransformation(m);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(m[i], t[i]);
    g->GetFeatureColor(&r, &gg, &b);
    EXPECT_EQ(r, 0.25);
    EXPECT_EQ(gg, 0.5);
    EXPECT_EQ(b, 0.75);
    g->GetFeatureTransparency(&r);
    EXPECT_EQ(r, 0.125);
    APDistribType type{};
    g->GetFormDistributionType(&type);
    EXPECT_EQ(type, AP_DISTRIB_TYPE_UNIFORM);
    double p[4];
    ASSERT_EQ(g->GetSizePearsonValues(&p[0], &p[1], &p[2], &p[3]), S_OK);
    EXPECT_EQ(std::vector<double>(p, p + 4), (std::vector<double>{1, 2, 3, 4}));
    ASSERT_EQ(g->GetLocOrtPearsonValues(&p[0], &p[1], &p[2], &p[3]), S_OK);
    EXPECT_EQ(std::vector<double>(p, p + 4), (std::vector<double>{5, 6, 7, 8}));
    EXPECT_EQ(IntOf(g, &IAPFeature8::GetVariationSource), 6);
    EXPECT_EQ(IntOf(g, &IAPFeature8::GetFeatureOptionFlag), 5);
    EXPECT_EQ(IntOf(g, &IAPFeature8::GetVariationSetting), 7);
    EXPECT_EQ(IntOf(g, &IAPFeature8::GetIntAttribute1), 11);
    EXPECT_EQ(IntOf(g, &IAPFeature8::GetIntAttribute2), 12);
    EXPECT_EQ(IntOf(g, &IAPFeature8::GetIsDefault), 1);
    EXPECT_EQ(IntOf(g, &IAPFeature8::GetRelatedOwnerFlag), 1);
    EXPECT_EQ(IntOf(g, &IAPFeature8::GetRelatedMemberFlag), 1);
    EXPECT_EQ(IntOf(g, &IAPFeature8::GetNumTolerances), 1);
    int first = 0;
    unsigned int second = 0;
    g->GetOptionPair(&first, &second);
    EXPECT_EQ(first, -3);
    EXPECT_EQ(second, 0xfffffff0u);
    long real = 0;
    g->GetBasedOnRealGeometry(&real);
    EXPECT_EQ(real, 1);
    // The transform read places the geometry read; the kinds then fold it into their
    // definition, so the base hands out a copy placed twice.
    const std::vector<double> cp0 = HandedOutPoint(g, 0);
    ASSERT_EQ(cp0.size(), 4u);
    EXPECT_NEAR(cp0[2], 6.0, 1e-12);
    g->Release();
}

TEST_F(FeatureTest, OlderBlocksGiveTheirMissingFieldsTheDefaults)
{
    HRESULT hr = E_FAIL;
    // Version 1 without geometry: nothing after the transform.
    IAPFeature8* f = ReadFeature(OldBlock([](WmObjectStream& s) {
                                     WriteHead(s, 1, 0);
                                     WriteMiddle(s);
                                 }),
                                 &hr);
    EXPECT_EQ(hr, S_OK);
    APDistribType types[3]{};
    f->GetSizeDistributionType(&types[0]);
    f->GetFormDistributionType(&types[1]);
    f->GetLocOrtDistributionType(&types[2]);
    for (APDistribType t : types) EXPECT_EQ(t, AP_DISTRIB_TYPE_NORMAL);
    EXPECT_EQ(IntOf(f, &IAPFeature8::GetVariationSource), 1);
    EXPECT_EQ(IntOf(f, &IAPFeature8::GetVariationSetting), 3);
    EXPECT_EQ(IntOf(f, &IAPFeature8::GetIntAttribute2), 4);
    f->Release();

    // Version 5 stores a variation setting of 1, read as 3.
    f = ReadFeature(OldBlock([](WmObjectStream& s) {
                        WriteHead(s, 5, 0);
                        WriteMiddle(s);
                        for (int v : {1, 1, 1, 4, 9, 1}) s.write(v);
                    }),
                    &hr);
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(IntOf(f, &IAPFeature8::GetVariationSetting), 3);
    EXPECT_EQ(IntOf(f, &IAPFeature8::GetVariationSource), 4);
    EXPECT_EQ(IntOf(f, &IAPFeature8::GetFeatureOptionFlag), 9);
    f->Release();

    // Version 12 with no related elements and no link numbers.
    f = ReadFeature(OldBlock([](WmObjectStream& s) {
                        WriteHead(s, 12, 0);
                        WriteMiddle(s);
                        for (int v : {1, 1, 1, 1, 0, 3, 0, 0, 5, 6, 0, 0, 0, 0}) s.write(v);
                    }),
                    &hr);
    EXPECT_EQ(hr, S_OK);
    IAPElement* fe = plenvort_test::Elem(f);
    EXPECT_EQ(fe->FixupLists(), S_OK);
    fe->Release();
    IAPFeature* linked = reinterpret_cast<IAPFeature*>(1);
    f->GetLinkedElement(&linked);
    EXPECT_EQ(linked, nullptr);
    EXPECT_EQ(IntOf(f, &IAPFeature8::GetIntAttribute2), 6);
    f->Release();

    // Version 13 with B-rep geometry reads it in the toolkit format of that time.
    WmBrep* hole = HoleBrep();
    Reader* reader = nullptr;
    f = ReadFeature(OldBlock([hole](WmObjectStream& s) {
                        WriteHead(s, 13, 1);
                        s.write(1);
                        hole->write(s);
                        WriteMiddle(s);
                        for (int v : {1, 1, 1, 1, 0, 3, 0, 0, 0, 4, 0, 0, 0, 0, -200000, -200000}) s.write(v);
                    }),
                    &hr, ~std::size_t{0}, &reader);
    hole->Release();
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(reader->in.majorVersion(), 6);
    EXPECT_EQ(reader->in.minorVersion(), 4);
    delete reader;
    const std::vector<double> cp0 = HandedOutPoint(f, 0);
    EXPECT_EQ(cp0, (std::vector<double>{0, -1, 0, 1}));
    f->Release();
}

TEST_F(FeatureTest, DamagedBlocksFailWithoutLeaks)
{
    HRESULT hr = S_OK;
    const std::function<void(WmObjectStream&)> bad[] = {
        [](WmObjectStream& s) { WriteHead(s, 15, 0); }, // a version from the future
        [](WmObjectStream& s) {
            WriteHead(s, 14, 0);
            s.write(0x7fffffff); // tolerances the stream cannot hold
        },
        [](WmObjectStream& s) {
            WriteHead(s, 14, 0);
            WriteMiddle(s);
            for (int v : {1, 1, 1, 1, 0, 3, 0, 0, 0, 4, 0, 0, 0, 0, -1}) s.write(v); // a negative count
        },
        [](WmObjectStream& s) {
            WriteHead(s, 14, 1);
            s.write(1);
            s.write(8);
            s.write(2);
            s.write(123456); // not a B-rep
        },
    };
    for (const auto& fields : bad) {
        IAPFeature8* f = ReadFeature(OldBlock(fields), &hr);
        EXPECT_EQ(hr, E_FAIL);
        f->Release();
    }

    // A whole block cut short anywhere fails, and the partly read feature goes cleanly.
    IAPFeature8* f = NewFeature();
    WmBrep* hole = HoleBrep();
    f->SetWmBrep(Handle(hole));
    hole->Release();
    f->SetSizeDistributionType(AP_DISTRIB_TYPE_PEARSON);
    IAPElement* realTolerance = Create<IAPElement>(CLSID_APSizeTolerance, IID_IAPElement);
    FakeTolerance tol;
    tol.inner = realTolerance;
    f->AddTolerance(&tol);
    Writer w;
    IAPElement* e = plenvort_test::Elem(f);
    ASSERT_EQ(e->Serialize(w.Handle()), S_OK);
    e->Release();
    f->RemoveTolerance(&tol);
    f->Release();
    realTolerance->Release();
    const std::vector<unsigned char> whole = Bytes(w);
    IAPFeature8* base = NewFeature();
    Writer baseWriter;
    ModelFeature(base)->APGeometryNode::Serialize(baseWriter.Stream());
    const std::size_t start = Bytes(baseWriter).size();
    base->Release();
    // Cut anywhere in the feature's blocks, the pin's own included, the read fails.
    for (std::size_t size = start; size < whole.size(); size += 3) {
        IAPFeature8* g = NewFeature();
        Reader r(whole, size);
        IAPElement* ge = plenvort_test::Elem(g);
        EXPECT_EQ(ge->Deserialize(r.Handle()), E_FAIL) << size;
        ge->Release();
        g->Release();
    }

    // Parts that the block would have to hold are missing.
    IAPFeature8* parts = NewFeature();
    parts->AppendHbPart(4);
    parts->SetGeometrySource(2);
    Writer none;
    e = plenvort_test::Elem(parts);
    EXPECT_EQ(e->Serialize(none.Handle()), E_FAIL);
    e->Release();
    parts->Release();
}

TEST_F(FeatureTest, LinksAndGeometrySurviveSaveAndOpen)
{
    auto* fake = new FakeUtility;
    IAPNode* part = doc_test::NewNode(m_doc, CLSID_APPartNode, "P");
    IAPFeature8* a = DocFeature("A");
    IAPFeature8* b = DocFeature("B", CLSID_APHoleFeature);
    IAPFeature8* s = DocFeature("S", CLSID_APPlaneFeature);
    for (IAPFeature8* f : {a, b, s}) {
        IAPNode* n = Query<IAPNode>(f, IID_IAPNode);
        EXPECT_EQ(m_doc->AddChild(part, n), S_OK);
        n->Release();
    }
    WmBrep* hole = HoleBrep();
    a->SetWmBrep(Handle(hole));
    hole->Release();
    a->AppendRelatedElement(b);
    a->SetLinkedElement(b);
    b->SetRelatedOwner(a);
    s->AppendHbPart(7);
    s->AppendHbPart(8);
    const std::string path = File("features");
    ASSERT_EQ(m_doc->SetProcessName(plenvort_test::Text("features")), S_OK); // gives it a working storage
    ASSERT_EQ(m_doc->Save(plenvort_test::Text(path.c_str())), S_OK);
    a->RemoveRelatedElement(b); // breaks the loop of references: b's owner goes too
    a->SetLinkedElement(nullptr);
    for (IAPFeature8* f : {a, b, s}) f->Release();
    part->Release();

    IAPDocument6* again = doc_test::NewDocument();
    fake->AddRef(); // the document takes over the reference it is given
    ASSERT_EQ(again->SetHbUtility(static_cast<IHbUtility*>(fake)), S_OK);
    ASSERT_EQ(again->OpenDocument(plenvort_test::Text(path.c_str())), S_OK);
    const std::vector<std::string> roots = doc_test::RootNames(again);
    const auto at = std::find(roots.begin(), roots.end(), "P");
    ASSERT_NE(at, roots.end());
    IAPNode* opened = doc_test::RootAt(again, static_cast<int>(at - roots.begin()));
    ASSERT_NE(opened, nullptr);
    std::vector<IAPFeature8*> features;
    for (int i = 0; i < 3; ++i) {
        IAPNode* child = nullptr;
        ASSERT_EQ(opened->GetChild(i, &child), S_OK);
        features.push_back(Query<IAPFeature8>(child, IID_IAPFeature8));
        child->Release();
    }
    IAPFeature8 *a2 = features[0], *b2 = features[1], *s2 = features[2];
    EXPECT_EQ(doc_test::NameOf(a2), "A");
    IAPFeature* got = nullptr;
    ASSERT_EQ(a2->GetRelatedElement(0, &got), S_OK);
    EXPECT_TRUE(Same(got, b2));
    if (got) got->Release();
    ASSERT_EQ(a2->GetLinkedElement(&got), S_OK);
    EXPECT_TRUE(Same(got, b2));
    if (got) got->Release();
    ASSERT_EQ(b2->GetRelatedOwner(&got), S_OK);
    EXPECT_TRUE(Same(got, a2));
    if (got) got->Release();
    EXPECT_TRUE(Watches(a2, b2));
    EXPECT_TRUE(Watches(b2, a2));
    EXPECT_EQ(HandedOutPoint(a2, 0), (std::vector<double>{0, -1, 0, 1}));
    EXPECT_EQ(IntOf(s2, &IAPFeature8::GetGeometrySource), 2);
    EXPECT_EQ(IntOf(s2, &IAPFeature8::GetNumHbParts), 2);
    int tag = 0;
    EXPECT_EQ(s2->GetHbPart(1, &tag), S_OK);
    EXPECT_EQ(tag, 1008);

    a2->RemoveRelatedElement(b2);
    a2->SetLinkedElement(nullptr);
    for (IAPFeature8* f : features) f->Release();
    opened->Release();
    again->Release();
    fake->Release();
}

TEST_F(FeatureTest, CopyPlacesTheGeometryAndTakesItsSelectionOfFields)
{
    IAPFeature8* a = NewFeature();
    IAPFeature8* b = NewFeature();
    WmBrep* hole = HoleBrep();
    a->SetWmBrep(Handle(hole));
    hole->Release();
    double t[16];
    Translation(t, 0, 0, 5);
    a->SetTransformation(t);
    a->SetFeatureColor(0.5, 0.5, 0.5);
    a->SetLocOrtDistributionType(AP_DISTRIB_TYPE_PEARSON);
    a->SetLocOrtPearsonValues(1, 2, 3, 4);
    a->SetFeatureOptionFlag(3);
    a->SetIntAttribute1(5);
    a->SetIntAttribute2(6);
    a->SetIsDefault(1);
    a->SetVariationSource(4);

    static_cast<APFeature&>(*ModelFeature(b)) = *ModelFeature(a);
    double m[16];
    b->GetTransformation(m);
    EXPECT_EQ(m[14], 0.0);
    EXPECT_EQ(HandedOutPoint(b, 0), (std::vector<double>{0, -1, 5, 1}));
    EXPECT_EQ(HandedOutPoint(a, 0), (std::vector<double>{0, -1, 5, 1}));
    double p[4];
    ASSERT_EQ(b->GetLocOrtPearsonValues(&p[0], &p[1], &p[2], &p[3]), S_OK);
    EXPECT_EQ(p[3], 4.0);
    EXPECT_EQ(IntOf(b, &IAPFeature8::GetFeatureOptionFlag), 0);
    EXPECT_EQ(IntOf(b, &IAPFeature8::GetIntAttribute1), 0);
    EXPECT_EQ(IntOf(b, &IAPFeature8::GetIntAttribute2), 6);
    EXPECT_EQ(IntOf(b, &IAPFeature8::GetIsDefault), 1);
    EXPECT_EQ(IntOf(b, &IAPFeature8::GetVariationSource), 4);
    a->Release();
    b->Release();

    // Parts are copied through the target's modeller and placed by the source's transform.
    auto* fake = new FakeUtility;
    IAPDocument4* doc4 = Query<IAPDocument4>(m_doc, IID_IAPDocument4);
    fake->AddRef();
    doc4->SetHbUtility(static_cast<IHbUtility*>(fake));
    doc4->Release();
    IAPFeature8* s = DocFeature("S");
    IAPFeature8* c = DocFeature("C");
    s->AppendHbPart(7);
    Translation(t, 1, 0, 0);
    s->SetTransformation(t);
    static_cast<APFeature&>(*ModelFeature(c)) = *ModelFeature(s);
    EXPECT_EQ(IntOf(c, &IAPFeature8::GetGeometrySource), 2);
    EXPECT_EQ(fake->Part(1007), (std::vector<double>{1, 0, 0}));
    EXPECT_EQ(fake->Part(7), (std::vector<double>{0, 0, 0}));
    s->Release();
    c->Release();
    fake->Release();
}
