// Datums and datum reference frames: features, labels, datum entries, blocks of every
// version, copies, and the part node that owns them.
#include <gtest/gtest.h>

#include <string>

#include "features/APDatum.h"
#include "document_support.h"
#include "link_support.h"

using namespace link_test;

namespace {

using Datums = ObjectsTest;

std::string Label(IAPDatum4* d, int index, HRESULT expect = S_OK)
{
    char buffer[80] = "untouched";
    EXPECT_EQ(d->GetTargetLabel(index, reinterpret_cast<unsigned char*>(buffer)), expect);
    return buffer;
}

int Labels(IAPDatum4* d) { return CountOf<IAPDatum3>(d, &IAPDatum3::GetNumTargetLabels); }

int Features(IAPDatum4* d) { return CountOf<IAPDatum>(d, &IAPDatum::GetNumDatumFeatures); }

// The datum of a frame entry, compared only, and its modifier.
std::pair<IAPDatum*, int> Entry(IAPDRF* frame, HRESULT (STDMETHODCALLTYPE IAPDRF::*get)(int, IAPDatum**, APModifierType*),
                                int index)
{
    IAPDatum* d = nullptr;
    APModifierType m{};
    EXPECT_EQ((frame->*get)(index, &d, &m), S_OK);
    Release(d);
    return {d, static_cast<int>(m)};
}

std::string NameOf(IUnknown* p)
{
    IAPElement* e = Elem(p);
    char buffer[1024] = {};
    e->GetName(reinterpret_cast<unsigned char*>(buffer));
    e->Release();
    return buffer;
}

void Name(IUnknown* p, const char* name)
{
    IAPElement* e = Elem(p);
    e->SetName(Text(name));
    e->Release();
}

} // namespace

// ---------------------------------------------------------------------------------------
// Datums

TEST_F(Datums, FeaturesAreWatchedAndLeaveWhenDestroyed)
{
    FakeDoc doc;
    IAPDatum4* datums[2] = {New<IAPDatum4>(CLSID_APDatum, IID_IAPDatum4), New<IAPDatum4>(CLSID_APDatum, IID_IAPDatum4)};
    IAPFeature* f[2] = {New<IAPFeature>(CLSID_APPinFeature, IID_IAPFeature), New<IAPFeature>(CLSID_APPlaneFeature, IID_IAPFeature)};
    for (IAPDatum4* d : datums) doc.Bind(d);
    long flag = -1;
    datums[0]->GetVisibleFlag(&flag);
    EXPECT_EQ(flag, 0);
    datums[0]->GetTargetFlag(&flag);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(Features(datums[0]), 0);
    EXPECT_EQ(Labels(datums[0]), 0);

    const ULONG refs = RefCount(f[0]);
    EXPECT_EQ(datums[0]->AppendDatumFeature(nullptr), E_FAIL);
    EXPECT_TRUE(doc.Take().empty());
    for (IAPDatum4* d : datums) {
        ASSERT_EQ(d->AppendDatumFeature(f[0]), S_OK);
        EXPECT_EQ(d->AppendDatumFeature(f[0]), S_OK);
    }
    ASSERT_EQ(datums[0]->AppendDatumFeature(f[1]), S_OK);
    EXPECT_EQ(Features(datums[0]), 2);
    EXPECT_EQ(RefCount(f[0]), refs);
    EXPECT_EQ(Dependents(f[0]), 2);
    EXPECT_EQ(doc.Take().size(), 5u);

    // Destroying a feature takes it out of every datum that lists it, through the interface.
    Release(f[0]);
    EXPECT_EQ(Features(datums[0]), 1);
    EXPECT_EQ(Features(datums[1]), 0);
    EXPECT_EQ(doc.Take(), (std::vector<IID>{IID_IAPDatum, IID_IAPDatum}));
    IAPFeature* got = nullptr;
    ASSERT_EQ(datums[0]->GetDatumFeature(0, &got), S_OK);
    EXPECT_EQ(got, f[1]);
    Release(got);
    EXPECT_EQ(datums[0]->GetDatumFeature(1, &got), E_FAIL);
    EXPECT_EQ(datums[0]->RemoveDatumFeatureByIndex(1), E_FAIL);
    EXPECT_EQ(datums[0]->RemoveDatumFeature(f[1]), S_OK);
    EXPECT_EQ(Dependents(f[1]), 0);
    EXPECT_EQ(datums[0]->RemoveDatumFeature(f[1]), S_OK); // not listed: no error

    // A datum that ends lets its features go.
    datums[1]->AppendDatumFeature(f[1]);
    Release(datums[1]);
    EXPECT_EQ(Dependents(f[1]), 0);
    Release(datums[0]);
    Release(f[1]);
}

TEST_F(Datums, LabelsAnswerTheirPositionAndNotify)
{
    FakeDoc doc;
    IAPDatum4* d = New<IAPDatum4>(CLSID_APDatum, IID_IAPDatum4);
    doc.Bind(d);
    EXPECT_EQ(d->AppendTargetLabel(Text("A")), S_OK);
    EXPECT_EQ(d->AppendTargetLabel(Text("B")), S_OK);
    EXPECT_EQ(d->AppendTargetLabel(Text("A")), S_OK);
    EXPECT_EQ(Labels(d), 2);
    EXPECT_EQ(Label(d, 1), "2");
    EXPECT_EQ(Label(d, 2, E_FAIL), "untouched");
    EXPECT_EQ(d->GetTargetLabel(0, nullptr), E_POINTER);
    const std::string longLabel(70, 'x');
    d->AppendTargetLabel(Text(longLabel.c_str()));
    d->AppendTargetLabel(Text(std::string(64, 'x').c_str())); // the same label once cut
    EXPECT_EQ(Labels(d), 3);
    EXPECT_EQ(d->RemoveTargetLabel(Text(longLabel.c_str())), S_OK);
    EXPECT_EQ(d->RemoveTargetLabel(Text("A")), S_OK);
    EXPECT_EQ(d->RemoveTargetLabel(Text("none")), S_OK);
    EXPECT_EQ(Labels(d), 1);
    EXPECT_EQ(d->RemoveTargetLabelByIndex(1), E_FAIL);
    EXPECT_EQ(d->RemoveTargetLabelByIndex(0), S_OK);
    EXPECT_EQ(Labels(d), 0);
    const std::vector<IID> heard = doc.Take();
    EXPECT_EQ(heard.size(), 9u); // every successful change, the refused removal not
    for (const IID& iid : heard) EXPECT_EQ(iid, IID_IAPDatum);

    // The flags are plain and quiet.
    EXPECT_EQ(d->SetVisibleFlag(1), S_OK);
    EXPECT_EQ(d->SetTargetFlag(1), S_OK);
    long flag = 0;
    d->GetVisibleFlag(&flag);
    EXPECT_EQ(flag, 1);
    EXPECT_TRUE(doc.Take().empty());
    Release(d);
}

namespace {

// A datum block as an older version wrote it, after a fresh element block.
std::vector<unsigned char> OldDatumBlock(int version, const std::vector<int>& features, int target,
                                         const std::vector<std::string>& labels)
{
    IAPElement* scratch = New<IAPElement>(CLSID_APDatum, IID_IAPElement);
    auto bytes = BlockOf([&](Writer& w) {
        Model<APElement>(scratch)->APElement::Serialize(w.Stream());
        WmObjectStream& s = w.out;
        s.write(version);
        s.write(static_cast<int>(features.size()));
        for (int n : features) s.write(n);
        if (version >= 2) s.write(target);
        if (version >= 3) {
            s.write(static_cast<int>(labels.size()));
            for (const std::string& l : labels) s.write(WmString(l.c_str(), l.size()));
        }
        s.write(0x5eed);
    });
    scratch->Release();
    return bytes;
}

} // namespace

TEST_F(Datums, OlderBlocksAndRoundTrip)
{
    struct Case {
        int version, target;
        std::vector<std::string> labels;
        int wantTarget, wantLabels;
    };
    const Case cases[] = {{1, 1, {"A"}, 0, 0}, {2, 1, {"A"}, 1, 0}, {3, 1, {"A", std::string(70, 'q')}, 1, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        IAPDatum4* d = New<IAPDatum4>(CLSID_APDatum, IID_IAPDatum4);
        IAPElement* e = Elem(d);
        d->SetVisibleFlag(1);
        Reader r(OldDatumBlock(c.version, {}, c.target, c.labels));
        ASSERT_EQ(e->Deserialize(r.Handle()), S_OK);
        int tail = 0;
        r.in.read(tail);
        EXPECT_EQ(tail, 0x5eed);
        long flag = 0;
        d->GetTargetFlag(&flag);
        EXPECT_EQ(flag, c.wantTarget);
        EXPECT_EQ(Labels(d), c.wantLabels);
        e->Release();
        d->Release();
    }

    // Round trip: features by number, the flags but the visible one, labels cut to 64.
    IAPElement* pins[2] = {New<IAPElement>(CLSID_APPinFeature, IID_IAPElement), New<IAPElement>(CLSID_APPinFeature, IID_IAPElement)};
    IAPDatum4* d = New<IAPDatum4>(CLSID_APDatum, IID_IAPDatum4);
    IAPFeature* f1 = Query<IAPFeature>(pins[1], IID_IAPFeature);
    d->AppendDatumFeature(f1);
    f1->Release();
    d->SetTargetFlag(1);
    d->SetVisibleFlag(1);
    Writer w;
    for (IAPElement* p : pins) p->Serialize(w.Handle());
    IAPElement* de = Elem(d);
    ASSERT_EQ(de->Serialize(w.Handle()), S_OK);
    de->Release();
    d->Release();

    IAPElement* again[2] = {New<IAPElement>(CLSID_APPinFeature, IID_IAPElement), New<IAPElement>(CLSID_APPinFeature, IID_IAPElement)};
    IAPDatum4* read = New<IAPDatum4>(CLSID_APDatum, IID_IAPDatum4);
    IAPElement* re = Elem(read);
    {
        Reader r(w.bytes.Bytes());
        for (IAPElement* p : again) p->Deserialize(r.Handle());
        ASSERT_EQ(re->Deserialize(r.Handle()), S_OK);
        ASSERT_EQ(re->FixupLists(), S_OK);
    }
    ASSERT_EQ(re->FixupLists(), S_OK);
    ASSERT_EQ(Features(read), 1);
    IAPFeature* got = nullptr;
    read->GetDatumFeature(0, &got);
    EXPECT_TRUE(Same(got, again[1]));
    Release(got);
    EXPECT_EQ(Dependents(again[1]), 1);
    long flag = 1;
    read->GetVisibleFlag(&flag);
    EXPECT_EQ(flag, 0) << "the visible flag is not saved";
    read->GetTargetFlag(&flag);
    EXPECT_EQ(flag, 1);
    re->Release();
    read->Release();
    for (IAPElement* p : again) p->Release();
    for (IAPElement* p : pins) p->Release();

    // A label read from a block keeps 64 characters.
    IAPDatum4* cut = New<IAPDatum4>(CLSID_APDatum, IID_IAPDatum4);
    IAPElement* ce = Elem(cut);
    Reader r(OldDatumBlock(3, {}, 0, {std::string(70, 'q')}));
    ASSERT_EQ(ce->Deserialize(r.Handle()), S_OK);
    EXPECT_EQ(cut->RemoveTargetLabel(Text(std::string(64, 'q').c_str())), S_OK);
    EXPECT_EQ(Labels(cut), 0);
    // A count the stream cannot hold is refused.
    Reader bad(OldDatumBlock(3, {1, 2, 3}, 0, {}), 0);
    EXPECT_EQ(ce->Deserialize(bad.Handle()), E_FAIL);
    ce->Release();
    cut->Release();
}

// ---------------------------------------------------------------------------------------
// Datum reference frames

TEST_F(Datums, FrameEntriesHoldOneReferenceEach)
{
    FakeDoc doc;
    IAPDRF2* frame = New<IAPDRF2>(CLSID_APDRF, IID_IAPDRF2);
    doc.Bind(frame);
    IAPDatum* d[3] = {New<IAPDatum>(CLSID_APDatum, IID_IAPDatum), New<IAPDatum>(CLSID_APDatum, IID_IAPDatum),
                      New<IAPDatum>(CLSID_APDatum, IID_IAPDatum)};
    const ULONG alone = RefCount(d[0]);
    double m[12];
    std::fill(std::begin(m), std::end(m), 7.0);
    ASSERT_EQ(frame->GetDRFMatrix3x4(m), S_OK);
    for (double x : m) EXPECT_EQ(x, 0.0);

    ASSERT_EQ(frame->AddPrimaryDatum(d[0], AP_MODIFIER_MMC), S_OK);
    EXPECT_EQ(frame->AddPrimaryDatum(d[0], AP_MODIFIER_LMC), E_FAIL);
    EXPECT_EQ(frame->AddPrimaryDatum(nullptr, AP_MODIFIER_LMC), E_FAIL);
    ASSERT_EQ(frame->AddPrimaryDatum(d[1], AP_MODIFIER_LMC), S_OK);
    ASSERT_EQ(frame->AddPrimaryDatum(d[2], AP_MODIFIER_NMC), S_OK);
    ASSERT_EQ(frame->AddSecondaryDatum(d[0], AP_MODIFIER_RFS), S_OK);
    ASSERT_EQ(frame->AddTertiaryDatum(d[1], AP_MODIFIER_NONE), S_OK);
    EXPECT_EQ(RefCount(d[0]), alone + 2);
    EXPECT_EQ(Dependents(d[0]), 0) << "a frame does not watch its datums";
    EXPECT_EQ(doc.Take(), std::vector<IID>(5, IID_IAPDRF));

    IAPDatum* none = nullptr;
    APModifierType mod{};
    EXPECT_EQ(frame->GetTertiaryDatum(1, &none, &mod), E_FAIL);
    EXPECT_EQ(frame->GetSecondaryDatum(0, nullptr, &mod), E_POINTER);
    ASSERT_EQ(frame->RemovePrimaryDatum(0), S_OK);
    EXPECT_EQ(RefCount(d[0]), alone + 1);
    EXPECT_EQ(Entry(frame, &IAPDRF::GetPrimaryDatum, 0), std::make_pair(d[1], 2));
    EXPECT_EQ(Entry(frame, &IAPDRF::GetPrimaryDatum, 1), std::make_pair(d[2], 6));
    EXPECT_EQ(Entry(frame, &IAPDRF::GetSecondaryDatum, 0), std::make_pair(d[0], 3));
    EXPECT_EQ(frame->RemoveSecondaryDatum(1), E_FAIL);
    EXPECT_EQ(frame->RemoveSecondaryDatum(0), S_OK);
    IAPDRF2* empty = New<IAPDRF2>(CLSID_APDRF, IID_IAPDRF2);
    EXPECT_EQ(empty->GetSecondaryDatum(0, &none, &mod), E_FAIL);
    empty->Release();

    for (int i = 0; i < 12; ++i) m[i] = i * 0.5;
    ASSERT_EQ(frame->SetDRFMatrix3x4(m), S_OK);
    double back[12] = {};
    frame->GetDRFMatrix3x4(back);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(back[i], i * 0.5);
    EXPECT_EQ(doc.Take(), std::vector<IID>(2, IID_IAPDRF)) << "the matrix is quiet";

    // The datums go with their frame.
    frame->Release();
    for (IAPDatum* x : d) EXPECT_EQ(RefCount(x), alone);
    for (IAPDatum* x : d) x->Release();
}

namespace {

// A part with two datums (named) and one frame; the frame refers to the second datum as
// primary and the first as tertiary.
struct PartWithFrame {
    IAPPartNode6* part = New<IAPPartNode6>(CLSID_APPartNode, IID_IAPPartNode6);
    IAPDatum4* d[2] = {New<IAPDatum4>(CLSID_APDatum, IID_IAPDatum4), New<IAPDatum4>(CLSID_APDatum, IID_IAPDatum4)};
    IAPDRF2* frame = New<IAPDRF2>(CLSID_APDRF, IID_IAPDRF2);
    PartWithFrame()
    {
        Name(d[0], "A");
        Name(d[1], "B");
        for (IAPDatum4* x : d) part->AppendListItem2(x);
        part->AppendListItem(frame);
        frame->AddPrimaryDatum(d[1], AP_MODIFIER_MMC);
        frame->AddTertiaryDatum(d[0], AP_MODIFIER_LMC);
    }
    ~PartWithFrame()
    {
        Release(frame);
        for (IAPDatum4* x : d) Release(x);
        Release(part);
    }
};

template <class T>
T* Item(IAPPartNode6* part, HRESULT (STDMETHODCALLTYPE IAPPartNode::*get)(int, T**), int index)
{
    T* out = nullptr;
    EXPECT_EQ((part->*get)(index, &out), S_OK);
    Release(out);
    return out;
}

} // namespace

TEST_F(Datums, FramesInsideAPartReadTheirDatumsByNumber)
{
    PartWithFrame source;
    IAPElement* se = Elem(source.part);
    Writer w;
    ASSERT_EQ(se->Serialize(w.Handle()), S_OK);
    se->Release();

    IAPPartNode6* part = New<IAPPartNode6>(CLSID_APPartNode, IID_IAPPartNode6);
    IAPElement* pe = Elem(part);
    {
        Reader r(w.bytes.Bytes());
        ASSERT_EQ(pe->Deserialize(r.Handle()), S_OK);
    }
    ASSERT_EQ(pe->FixupLists(), S_OK);
    IAPDRF* frame = Item(part, &IAPPartNode::GetListItem, 0);
    IAPDatum* a = Item(part, &IAPPartNode::GetListItem2, 0);
    IAPDatum* b = Item(part, &IAPPartNode::GetListItem2, 1);
    ASSERT_TRUE(frame && a && b);
    EXPECT_EQ(NameOf(a), "A");
    EXPECT_EQ(Entry(frame, &IAPDRF::GetPrimaryDatum, 0), std::make_pair(b, 1));
    EXPECT_EQ(Entry(frame, &IAPDRF::GetTertiaryDatum, 0), std::make_pair(a, 2));
    EXPECT_EQ(CountOf<IAPDRF>(frame, &IAPDRF::GetNumSecondaryDatums), 0);
    // Entries are kept as the list's interface whatever comes in.
    EXPECT_EQ(part->AppendListItem(reinterpret_cast<IAPDRF*>(pe)), E_FAIL);
    IAPElement* ae = Elem(a);
    EXPECT_EQ(part->RemoveListItem2(reinterpret_cast<IAPDatum*>(ae)), S_OK);
    ae->Release();
    EXPECT_EQ(CountOf<IAPPartNode>(part, &IAPPartNode::GetNumListItems2), 1);
    pe->Release();
    part->Release();
}

TEST_F(Datums, FrameBlocksOfBothVersions)
{
    // Version 1 carries its datums inside; version 2 names them, resolved when read or at
    // the fix-up; a number never resolved drops its entry.
    IAPDatum4* inner = New<IAPDatum4>(CLSID_APDatum, IID_IAPDatum4);
    Name(inner, "inner");
    IAPElement* ie = Elem(inner);
    IAPElement* scratch = New<IAPElement>(CLSID_APDRF, IID_IAPElement);
    auto v1 = BlockOf([&](Writer& w) {
        Model<APElement>(scratch)->APElement::Serialize(w.Stream());
        WmObjectStream& s = w.out;
        s.write(1);
        s.write(0);
        s.write(1);
        s.write(WmGUID(CLSID_APDatum));
        ie->Serialize(w.Handle());
        s.write(3);
        s.write(0);
        s.write(0x5eed);
    });
    IAPDRF2* frame = New<IAPDRF2>(CLSID_APDRF, IID_IAPDRF2);
    IAPElement* fe = Elem(frame);
    {
        Reader r(v1);
        ASSERT_EQ(fe->Deserialize(r.Handle()), S_OK);
        int tail = 0;
        r.in.read(tail);
        EXPECT_EQ(tail, 0x5eed);
    }
    IAPDatum* made = Entry(frame, &IAPDRF::GetSecondaryDatum, 0).first;
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(NameOf(made), "inner");
    EXPECT_EQ(RefCount(made), 1u) << "the frame's entry is the datum's only holder";
    FakeDoc doc;
    EXPECT_EQ(fe->BindDocument(&doc), S_OK);
    IAPDocument* bound = nullptr;
    IAPElement* me = Elem(made);
    EXPECT_EQ(me->GetDocument(&bound), S_OK) << "binding reaches the datums";
    Release(bound);
    me->Release();
    fe->BindDocument(nullptr);
    me = Elem(made);
    me->BindDocument(nullptr);
    me->Release();

    // Version 2, the frame read before its datums: the entry waits for the fix-up.
    Writer w;
    IAPDRF2* named = New<IAPDRF2>(CLSID_APDRF, IID_IAPDRF2);
    IAPDatum4* later = New<IAPDatum4>(CLSID_APDatum, IID_IAPDatum4);
    IAPDatum4* never = New<IAPDatum4>(CLSID_APDatum, IID_IAPDatum4);
    named->AddPrimaryDatum(later, AP_MODIFIER_RFS);
    named->AddPrimaryDatum(never, AP_MODIFIER_MMC);
    IAPElement* ne = Elem(named);
    IAPElement* le = Elem(later);
    ne->Serialize(w.Handle());
    le->Serialize(w.Handle());
    IAPDRF2* read = New<IAPDRF2>(CLSID_APDRF, IID_IAPDRF2);
    IAPElement* re = Elem(read);
    IAPDatum4* laterRead = New<IAPDatum4>(CLSID_APDatum, IID_IAPDatum4);
    IAPElement* lre = Elem(laterRead);
    {
        Reader r(w.bytes.Bytes());
        ASSERT_EQ(re->Deserialize(r.Handle()), S_OK);
        EXPECT_EQ(CountOf<IAPDRF>(read, &IAPDRF::GetNumPrimaryDatums), 2);
        ASSERT_EQ(lre->Deserialize(r.Handle()), S_OK);
        EXPECT_EQ(re->FixupLists(), S_OK);
    }
    EXPECT_EQ(CountOf<IAPDRF>(read, &IAPDRF::GetNumPrimaryDatums), 1);
    EXPECT_EQ(Entry(read, &IAPDRF::GetPrimaryDatum, 0), std::make_pair(static_cast<IAPDatum*>(laterRead), 3));
    const ULONG held = RefCount(laterRead);
    re->Release();
    read->Release();
    EXPECT_EQ(RefCount(laterRead), held - 1);

    for (IUnknown* p : std::initializer_list<IUnknown*>{lre, laterRead, le, ne, named, later, never, fe, frame, scratch, ie, inner})
        p->Release();
}

namespace {

// An element made by the document, as interface T.
template <class T>
T* Made(IAPDocument* doc, const CLSID& clsid, REFIID iid)
{
    GUID id = clsid, want = iid;
    T* out = nullptr;
    EXPECT_EQ(doc->CreateProcessElement(&id, &want, reinterpret_cast<ULONG_PTR*>(&out)), S_OK);
    return out;
}

} // namespace

TEST_F(Datums, CopiesMakeNewDatums)
{
    IAPDocument* doc = New<IAPDocument>(CLSID_APDocument, IID_IAPDocument);
    // A cloned frame: new datums, copies of the source's, with the same modifiers.
    IAPDRF2* source = Made<IAPDRF2>(doc, CLSID_APDRF, IID_IAPDRF2);
    IAPDRF2* target = Made<IAPDRF2>(doc, CLSID_APDRF, IID_IAPDRF2);
    IAPDatum4* d[2] = {Made<IAPDatum4>(doc, CLSID_APDatum, IID_IAPDatum4), Made<IAPDatum4>(doc, CLSID_APDatum, IID_IAPDatum4)};
    Name(d[0], "P");
    Name(d[1], "Q");
    d[1]->AppendTargetLabel(Text("Q1"));
    d[1]->SetTargetFlag(1);
    source->AddPrimaryDatum(d[0], AP_MODIFIER_MMC);
    source->AddPrimaryDatum(d[1], AP_MODIFIER_NONE);
    double m[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    source->SetDRFMatrix3x4(m);
    IAPElement* se = Elem(source);
    IAPElement* te = Elem(target);
    ASSERT_EQ(se->Clone(te), S_OK);
    ASSERT_EQ(CountOf<IAPDRF>(target, &IAPDRF::GetNumPrimaryDatums), 2);
    auto [p, pm] = Entry(target, &IAPDRF::GetPrimaryDatum, 0);
    auto [q, qm] = Entry(target, &IAPDRF::GetPrimaryDatum, 1);
    EXPECT_FALSE(Same(p, d[0]));
    EXPECT_EQ(NameOf(p), "P");
    EXPECT_EQ(NameOf(q), "Q");
    EXPECT_EQ(pm, AP_MODIFIER_MMC);
    EXPECT_EQ(qm, AP_MODIFIER_NONE);
    long flag = 0;
    IAPDatum4* q4 = Query<IAPDatum4>(q, IID_IAPDatum4);
    q4->GetTargetFlag(&flag);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(Labels(q4), 1);
    q4->Release();
    EXPECT_EQ(RefCount(q), 1u) << "only the new frame holds the new datum";
    double back[12];
    target->GetDRFMatrix3x4(back);
    EXPECT_EQ(back[0], 0.0) << "the matrix is not copied";
    IAPElement* datum = Elem(d[0]);
    EXPECT_EQ(se->Clone(datum), E_FAIL);
    datum->Release();
    se->Release();
    te->Release();
    target->Release();
    source->Release();

    // A part copy: the copy's frame points at the copy's datums.
    IAPPartNode6* part = Made<IAPPartNode6>(doc, CLSID_APPartNode, IID_IAPPartNode6);
    IAPPartNode6* copy = Made<IAPPartNode6>(doc, CLSID_APPartNode, IID_IAPPartNode6);
    IAPDRF2* frame = Made<IAPDRF2>(doc, CLSID_APDRF, IID_IAPDRF2);
    for (IAPDatum4* x : d) part->AppendListItem2(x);
    part->AppendListItem(frame);
    frame->AddSecondaryDatum(d[1], AP_MODIFIER_LMC);
    IAPElement* pe = Elem(part);
    IAPElement* ce = Elem(copy);
    ASSERT_EQ(pe->Clone(ce), S_OK);
    IAPDRF* newFrame = Item(copy, &IAPPartNode::GetListItem, 0);
    IAPDatum* newQ = Item(copy, &IAPPartNode::GetListItem2, 1);
    ASSERT_TRUE(newFrame && newQ);
    EXPECT_FALSE(Same(newFrame, frame));
    EXPECT_FALSE(Same(newQ, d[1]));
    EXPECT_EQ(NameOf(newQ), "Q");
    EXPECT_EQ(Entry(newFrame, &IAPDRF::GetSecondaryDatum, 0), std::make_pair(newQ, 2));
    pe->Release();
    ce->Release();
    copy->Release();
    part->Release();
    frame->Release();
    for (IAPDatum4* x : d) x->Release();
    doc->Release();
}

TEST_F(Datums, PartDatumsAndFramesSurviveTheDocumentFile)
{
    const std::string path = doc_test::TempPath("datums");
    {
        IAPDocument* doc = New<IAPDocument>(CLSID_APDocument, IID_IAPDocument);
        IAPNode* part = doc_test::NewNode(doc, CLSID_APPartNode, "part");
        IAPNode* pins[2] = {doc_test::NewNode(doc, CLSID_APPinFeature, "pin1"), doc_test::NewNode(doc, CLSID_APPlaneFeature, "plane")};
        for (IAPNode* p : pins) EXPECT_EQ(doc->AddChild(part, p), S_OK);
        IAPPartNode6* asPart = Query<IAPPartNode6>(part, IID_IAPPartNode6);
        IAPDatum4* d[2] = {Made<IAPDatum4>(doc, CLSID_APDatum, IID_IAPDatum4), Made<IAPDatum4>(doc, CLSID_APDatum, IID_IAPDatum4)};
        IAPDRF2* frame = Made<IAPDRF2>(doc, CLSID_APDRF, IID_IAPDRF2);
        Name(d[0], "A");
        Name(d[1], "B");
        d[0]->AppendDatumFeature(reinterpret_cast<IAPFeature*>(pins[0]));
        d[1]->AppendDatumFeature(reinterpret_cast<IAPFeature*>(pins[1]));
        d[1]->AppendDatumFeature(reinterpret_cast<IAPFeature*>(pins[0]));
        d[1]->AppendTargetLabel(Text("B1"));
        for (IAPDatum4* x : d) asPart->AppendListItem2(x);
        asPart->AppendListItem(frame);
        frame->AddPrimaryDatum(d[0], AP_MODIFIER_MMC);
        frame->AddSecondaryDatum(d[1], AP_MODIFIER_RFS);
        ASSERT_EQ(doc->SetProcessName(Text("datums")), S_OK); // a document saves once it has a working storage
        ASSERT_EQ(doc->Save(Text(path.c_str())), S_OK);
        for (IUnknown* p : std::initializer_list<IUnknown*>{frame, d[0], d[1], asPart, pins[0], pins[1], part, doc}) p->Release();
    }
    IAPDocument* doc = New<IAPDocument>(CLSID_APDocument, IID_IAPDocument);
    ASSERT_EQ(doc->OpenDocument(Text(path.c_str())), S_OK);
    IAPNode* part = doc_test::RootAt(doc, 0);
    ASSERT_NE(part, nullptr);
    IAPPartNode6* asPart = Query<IAPPartNode6>(part, IID_IAPPartNode6);
    ASSERT_NE(asPart, nullptr);
    IAPNode* pin = nullptr;
    IAPNode* plane = nullptr;
    part->GetChild(0, &pin);
    part->GetChild(1, &plane);
    IAPDatum* a = Item(asPart, &IAPPartNode::GetListItem2, 0);
    IAPDatum* b = Item(asPart, &IAPPartNode::GetListItem2, 1);
    IAPDRF* frame = Item(asPart, &IAPPartNode::GetListItem, 0);
    ASSERT_TRUE(a && b && frame && pin && plane);
    EXPECT_EQ(NameOf(b), "B");
    IAPDatum4* b4 = Query<IAPDatum4>(b, IID_IAPDatum4);
    ASSERT_EQ(Features(b4), 2);
    IAPFeature* f = nullptr;
    b4->GetDatumFeature(0, &f);
    EXPECT_TRUE(Same(f, plane)) << "the same objects after reopening";
    Release(f);
    b4->GetDatumFeature(1, &f);
    EXPECT_TRUE(Same(f, pin));
    Release(f);
    EXPECT_EQ(Labels(b4), 1);
    EXPECT_EQ(Dependents(pin), 2);
    b4->Release();
    EXPECT_EQ(Entry(frame, &IAPDRF::GetPrimaryDatum, 0), std::make_pair(a, 1));
    EXPECT_EQ(Entry(frame, &IAPDRF::GetSecondaryDatum, 0), std::make_pair(b, 3));
    doc_test::ExpectBoundTo(a, doc);
    for (IUnknown* p : std::initializer_list<IUnknown*>{pin, plane, asPart, part, doc}) p->Release();
    DeleteFileA(path.c_str());
}
