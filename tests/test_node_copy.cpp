// Node copying through the copy map, the default features kept as top-level copies, and the
// tolerance library's default features.
#include <algorithm>
#include <functional>
#include <sstream>
#include <tuple>
#include <utility>
#include <string>
#include <vector>

#include "feature_support.h"

using namespace doc_test;
using feature_test::Dependents;
using plenvort_test::Query;

namespace {

class Copies : public feature_test::FeatureTest {
protected:
    IAPNode* Node(const char* name, const CLSID& clsid) { return NewNode(m_doc, clsid, name); }

    IAPFeaturePair* NewPair()
    {
        GUID clsid = CLSID_APFeaturePair, iid = IID_IAPFeaturePair;
        IAPFeaturePair* pair = nullptr;
        EXPECT_EQ(m_doc->CreateProcessElement(&clsid, &iid, reinterpret_cast<ULONG_PTR*>(&pair)), S_OK);
        return pair;
    }

    // A copy of `pair` made the way an operation copies its pairs, while a node copy runs.
    IAPFeaturePair* ClonePair(IAPFeaturePair* pair)
    {
        IAPFeaturePair* copy = NewPair();
        IAPElement* from = Query<IAPElement>(pair, IID_IAPElement);
        IAPElement* to = Query<IAPElement>(copy, IID_IAPElement);
        EXPECT_EQ(from->Clone(to), S_OK);
        from->Release();
        to->Release();
        return copy;
    }

    // Runs `action` once, from inside the document's next event of command `cmd`.
    void OnEvent(RecordingSink* sink, unsigned short cmd, std::function<void()> action)
    {
        sink->m_onNotify = [this, sink, cmd, action]() {
            if (m_log.empty() || m_log.back().cmd != cmd || m_fired) return;
            m_fired = true;
            action();
        };
    }

    std::vector<std::string> DefaultNames()
    {
        IAPPointerList* list = Create<IAPPointerList>(CLSID_APPointerList, IID_IAPPointerList);
        EXPECT_EQ(m_doc->GetDefaults(list), S_OK);
        auto names = ListNames(list);
        list->Release();
        return names;
    }

    std::vector<std::string> TolLibNames(HRESULT expected = S_OK)
    {
        IAPPointerList* list = Create<IAPPointerList>(CLSID_APPointerList, IID_IAPPointerList);
        EXPECT_EQ(m_doc->GetTolLibDefaultFeatures(list), expected);
        auto names = ListNames(list);
        list->Release();
        return names;
    }

    static std::vector<std::string> ListNames(IAPPointerList* list)
    {
        std::vector<std::string> names;
        int n = 0;
        list->GetLength(&n);
        for (int i = 0; i < n; ++i) {
            GUID iid = IID_IUnknown;
            IUnknown* p = nullptr;
            list->GetElement(i, &iid, reinterpret_cast<ULONG_PTR*>(&p));
            names.push_back(p ? NameOf(p) : "<null>");
            if (p) p->Release();
        }
        return names;
    }

    bool m_fired = false;
};

std::vector<int> Commands(const Heard_t& heard)
{
    std::vector<int> cmds;
    for (const auto& h : heard) cmds.push_back(h.first);
    return cmds;
}

// ---------------------------------------------------------------------------------------
// A bracket as a host builds it, and its listing

template <class T>
T* Make(IAPDocument* doc, const CLSID& clsid, const IID& iid, const char* name = nullptr)
{
    GUID id = clsid, want = iid;
    T* made = nullptr;
    EXPECT_EQ(doc->CreateProcessElement(&id, &want, reinterpret_cast<ULONG_PTR*>(&made)), S_OK);
    if (made && name) {
        IAPElement* e = Query<IAPElement>(made, IID_IAPElement);
        e->SetName(Text(name));
        e->Release();
    }
    return made;
}

IAPFeature* FeatureUnder(IAPDocument* doc, IAPNode* part, const CLSID& clsid, const char* name)
{
    IAPNode* node = NewNode(doc, clsid, name);
    EXPECT_EQ(doc->AddChild(part, node), S_OK);
    IAPFeature* f = Query<IAPFeature>(node, IID_IAPFeature);
    node->Release();
    return f;
}

// Part P: a face, a pin and a hole; datums A (the face) and B (the hole, and X of part Q); a
// frame A | B. The pin has a size tolerance and a position tolerance from the frame whose
// reference features are the face (copied before the pin), the hole (after it) and X; its
// composite frame is Q's. The face has a flatness tolerance that uses the hole as well.
IAPNode* BuildBracket(IAPDocument* doc)
{
    IAPNode* q = NewNode(doc, CLSID_APPartNode, "Q");
    IAPFeature* x = FeatureUnder(doc, q, CLSID_APPinFeature, "X");
    IAPDRF* outsideFrame = Make<IAPDRF>(doc, CLSID_APDRF, IID_IAPDRF);
    IAPPartNode* other = Query<IAPPartNode>(q, IID_IAPPartNode);
    EXPECT_EQ(other->AppendListItem(outsideFrame), S_OK);

    IAPNode* p = NewNode(doc, CLSID_APPartNode, "P");
    IAPFeature* face = FeatureUnder(doc, p, CLSID_APPlaneFeature, "Face");
    IAPFeature* pin = FeatureUnder(doc, p, CLSID_APPinFeature, "Pin");
    IAPFeature* hole = FeatureUnder(doc, p, CLSID_APHoleFeature, "Hole");
    IAPPartNode* part = Query<IAPPartNode>(p, IID_IAPPartNode);
    IAPDatum* a = Make<IAPDatum>(doc, CLSID_APDatum, IID_IAPDatum, "A");
    IAPDatum* b = Make<IAPDatum>(doc, CLSID_APDatum, IID_IAPDatum, "B");
    IAPDRF* frame = Make<IAPDRF>(doc, CLSID_APDRF, IID_IAPDRF);
    EXPECT_EQ(a->AppendDatumFeature(face), S_OK);
    EXPECT_EQ(b->AppendDatumFeature(hole), S_OK);
    EXPECT_EQ(b->AppendDatumFeature(x), S_OK);
    EXPECT_EQ(frame->AddPrimaryDatum(a, AP_MODIFIER_NONE), S_OK);
    EXPECT_EQ(frame->AddSecondaryDatum(b, AP_MODIFIER_MMC), S_OK);
    EXPECT_EQ(part->AppendListItem2(a), S_OK);
    EXPECT_EQ(part->AppendListItem2(b), S_OK);
    EXPECT_EQ(part->AppendListItem(frame), S_OK);

    IAPSizeTolerance* size = Make<IAPSizeTolerance>(doc, CLSID_APSizeTolerance, IID_IAPSizeTolerance, "Size");
    EXPECT_EQ(size->SetMaxSizeLimit(10.1), S_OK);
    EXPECT_EQ(size->SetMinSizeLimit(9.9), S_OK);
    IAPGDTTolerance5* position = Make<IAPGDTTolerance5>(doc, CLSID_APGDTTolerance, IID_IAPGDTTolerance5, "Position");
    EXPECT_EQ(position->SetGDTType(AP_CALLOUT_POSITION), S_OK);
    EXPECT_EQ(position->SetZoneSize(0.2), S_OK);
    EXPECT_EQ(position->SetDRF(frame), S_OK);
    EXPECT_EQ(position->SetCompositeType(AP_COMPOSITE), S_OK);
    EXPECT_EQ(position->SetCompositeDRF(outsideFrame), S_OK);
    for (IAPFeature* reference : {face, hole, x}) EXPECT_EQ(position->AppendReferenceFeature(pin, reference), S_OK);
    IAPGDTTolerance5* flatness = Make<IAPGDTTolerance5>(doc, CLSID_APGDTTolerance, IID_IAPGDTTolerance5, "Flatness");
    EXPECT_EQ(flatness->SetGDTType(AP_CALLOUT_FLATNESS), S_OK);
    EXPECT_EQ(flatness->SetDRF(frame), S_OK);
    EXPECT_EQ(flatness->AppendReferenceFeature(face, hole), S_OK);
    for (auto [on, tolerance] : {std::pair<IAPFeature*, IUnknown*>{pin, size}, {pin, position}, {face, flatness}}) {
        IAPTolerance* t = Query<IAPTolerance>(tolerance, IID_IAPTolerance);
        EXPECT_EQ(on->AddTolerance(t), S_OK);
        t->Release();
    }
    for (IUnknown* u : std::initializer_list<IUnknown*>{q, x, outsideFrame, other, face, pin, hole, part, a, b, frame,
                                                       size, position, flatness})
        u->Release();
    return p;
}

// GD&T tolerances that use the feature: the count is read by taking uses away until none is
// left, and giving them back.
int Uses(IUnknown* feature)
{
    IAPFeature8* f = Query<IAPFeature8>(feature, IID_IAPFeature8);
    int n = 0;
    long used = 0;
    while (n < 50 && f->IsUsedAsReference(&used) == S_OK && used) {
        f->DecrementReferenceUse();
        ++n;
    }
    for (int i = 0; i < n; ++i) f->IncrementReferenceUse();
    f->Release();
    return n;
}

// A part's datums, frames, features and tolerances with their values and links, one line
// each. A link to an element of the part names it (with "*" when the linking element
// watches it); a link elsewhere reads "<out>", or with `asCopy` reads as the copy must keep
// it: dropped from a datum, none in a tolerance.
class Listing {
public:
    Listing(IAPNode* part, bool asCopy) : m_asCopy(asCopy)
    {
        IAPPartNode* p = Query<IAPPartNode>(part, IID_IAPPartNode);
        m_datums.resize(static_cast<size_t>(plenvort_test::CountOf(p, &IAPPartNode::GetNumListItems2)));
        m_frames.resize(static_cast<size_t>(plenvort_test::CountOf(p, &IAPPartNode::GetNumListItems)));
        m_features.resize(static_cast<size_t>(plenvort_test::CountOf(part, &IAPNode::GetNumChildren)));
        for (size_t i = 0; i < m_datums.size(); ++i) EXPECT_EQ(p->GetListItem2(int(i), &m_datums[i]), S_OK);
        for (size_t i = 0; i < m_frames.size(); ++i) EXPECT_EQ(p->GetListItem(int(i), &m_frames[i]), S_OK);
        for (size_t i = 0; i < m_features.size(); ++i) {
            IAPNode* c = nullptr;
            EXPECT_EQ(part->GetChild(int(i), &c), S_OK);
            m_features[i] = Query<IAPFeature>(c, IID_IAPFeature);
            c->Release();
        }
        p->Release();
        m_lines.push_back(NameOf(part));
        for (IAPDatum* d : m_datums) {
            std::ostringstream line;
            line << "datum " << NameOf(d) << ":";
            for (int i = 0; i < plenvort_test::CountOf(d, &IAPDatum::GetNumDatumFeatures); ++i) {
                IAPFeature* f = nullptr;
                EXPECT_EQ(d->GetDatumFeature(i, &f), S_OK);
                const std::string link = Link(d, f, m_features);
                if (link != "<none>") line << " " << link; // a datum drops what it cannot keep
                if (f) f->Release();
            }
            m_lines.push_back(line.str());
        }
        for (IAPDRF* f : m_frames) Frame(f);
        for (IAPFeature* f : m_features) Feature(f);
    }
    ~Listing()
    {
        for (IUnknown* u : m_datums) u->Release();
        for (IUnknown* u : m_frames) u->Release();
        for (IUnknown* u : m_features) u->Release();
    }
    std::vector<std::string> m_lines;

private:
    // Names an element of the part by its name, or an unnamed one by its place in `inside`.
    template <class T>
    std::string Link(IUnknown* from, IUnknown* to, const std::vector<T*>& inside)
    {
        for (size_t i = 0; to && i < inside.size(); ++i)
            if (Same(inside[i], to))
                return (NameOf(to).empty() ? std::string("#") + std::to_string(i) : NameOf(to)) +
                       (feature_test::Watches(from, to) ? "*" : "");
        return !to || m_asCopy ? "<none>" : "<out>";
    }
    void Frame(IAPDRF* f)
    {
        using Get = HRESULT (STDMETHODCALLTYPE IAPDRF::*)(int, IAPDatum**, APModifierType*);
        using Count = HRESULT (STDMETHODCALLTYPE IAPDRF::*)(int*);
        std::ostringstream line;
        line << "frame:";
        for (auto [count, get] : {std::pair<Count, Get>{&IAPDRF::GetNumPrimaryDatums, &IAPDRF::GetPrimaryDatum},
                                  {&IAPDRF::GetNumSecondaryDatums, &IAPDRF::GetSecondaryDatum},
                                  {&IAPDRF::GetNumTertiaryDatums, &IAPDRF::GetTertiaryDatum}}) {
            line << " |";
            for (int i = 0; i < plenvort_test::CountOf(f, count); ++i) {
                IAPDatum* d = nullptr;
                APModifierType modifier{};
                EXPECT_EQ((f->*get)(i, &d, &modifier), S_OK);
                line << " " << Link(f, d, m_datums) << "/" << modifier;
                if (d) d->Release();
            }
        }
        m_lines.push_back(line.str());
    }
    void Feature(IAPFeature* f)
    {
        std::ostringstream head;
        head << "feature " << NameOf(f) << " uses " << Uses(f) << " refs " << RefCount(f) - 1;
        m_lines.push_back(head.str());
        for (int i = 0; i < plenvort_test::CountOf(f, &IAPFeature::GetNumTolerances); ++i) {
            IAPTolerance* t = nullptr;
            EXPECT_EQ(f->GetTolerance(i, &t), S_OK);
            IAPFeature* on = nullptr;
            EXPECT_EQ(t->GetToleranceFeature(&on), S_OK);
            std::ostringstream line;
            line << "  " << NameOf(t) << (Same(on, f) ? "" : " on another feature");
            if (on) on->Release();
            if (IAPSizeTolerance* s = Query<IAPSizeTolerance>(t, IID_IAPSizeTolerance)) {
                line << " " << plenvort_test::Got(s, &IAPSizeTolerance::GetMinSizeLimit) << ".."
                     << plenvort_test::Got(s, &IAPSizeTolerance::GetMaxSizeLimit);
                s->Release();
            }
            if (IAPGDTTolerance5* g = Query<IAPGDTTolerance5>(t, IID_IAPGDTTolerance5)) {
                IAPDRF *frame = nullptr, *composite = nullptr;
                EXPECT_EQ(g->GetDRF(&frame), S_OK);
                EXPECT_EQ(g->GetCompositeDRF(&composite), S_OK);
                line << " type " << plenvort_test::Got(g, &IAPGDTTolerance::GetGDTType) << " zone "
                     << plenvort_test::Got(g, &IAPGDTTolerance::GetZoneSize) << " frame " << Link(g, frame, m_frames)
                     << " composite " << Link(g, composite, m_frames) << " references";
                for (IAPDRF* x : {frame, composite})
                    if (x) x->Release();
                for (int k = 0; k < plenvort_test::CountOf(g, &IAPGDTTolerance5::GetNumReferenceFeatures); ++k) {
                    IAPFeature* r = nullptr;
                    EXPECT_EQ(g->GetReferenceFeature(k, &r), S_OK);
                    line << " " << Link(g, r, m_features);
                    if (r) r->Release();
                }
                g->Release();
            }
            m_lines.push_back(line.str());
            t->Release();
        }
    }

    bool m_asCopy;
    std::vector<IAPDatum*> m_datums;
    std::vector<IAPDRF*> m_frames;
    std::vector<IAPFeature*> m_features;
};

std::vector<std::string> ListingOf(IAPNode* part, bool asCopy = false) { return Listing(part, asCopy).m_lines; }

int Creations(const std::vector<Event>& log, int sink)
{
    int n = 0;
    for (const Event& e : log) n += e.sink == sink && e.cmd == 2;
    return n;
}

TEST_F(Copies, APartWithTwoFeaturesIsCopiedWithItsChildren)
{
    IAPNode* p = Node("P", CLSID_APPartNode);
    IAPNode* f1 = Node("F1", CLSID_APPinFeature);
    IAPNode* f2 = Node("F2", CLSID_APHoleFeature);
    ASSERT_EQ(m_doc->AddChild(p, f1), S_OK);
    ASSERT_EQ(m_doc->AddChild(p, f2), S_OK);
    Sink(1);

    IAPNode* copy = nullptr;
    ASSERT_EQ(m_doc->CopyNode(p, &copy, 1), S_OK);
    EXPECT_EQ(Commands(Heard()), (std::vector<int>{2, 2, 4, 2, 4}));
    EXPECT_EQ(Heard()[2].second, "F1");
    EXPECT_EQ(Heard()[4].second, "F2");
    EXPECT_EQ(RootNames(m_doc), (std::vector<std::string>{"P", "P"}));
    EXPECT_EQ(ChildNames(copy), (std::vector<std::string>{"F1", "F2"}));
    EXPECT_EQ(ChildNames(p), (std::vector<std::string>{"F1", "F2"}));
    ExpectBoundTo(copy, m_doc);
    IAPNode* childCopy = nullptr;
    ASSERT_EQ(copy->GetChild(0, &childCopy), S_OK);
    EXPECT_FALSE(Same(childCopy, f1));
    ExpectBoundTo(childCopy, m_doc);
    childCopy->Release();

    // Without its children only the node itself is copied.
    IAPNode* bare = nullptr;
    ASSERT_EQ(m_doc->CopyNode(p, &bare, 0), S_OK);
    EXPECT_TRUE(ChildNames(bare).empty());
    EXPECT_EQ(RootNames(m_doc).size(), 3u);

    IAPNode* untouched = reinterpret_cast<IAPNode*>(this);
    EXPECT_EQ(m_doc->CopyNode(nullptr, &untouched, 1), E_FAIL);
    EXPECT_EQ(untouched, nullptr);
    EXPECT_EQ(m_doc->CopyNode(p, nullptr, 1), E_FAIL);
    for (IAPNode* n : {p, f1, f2, copy, bare}) n->Release();
}

// Every operation kind copies, alone and inside an assembly it sits in.
TEST_F(Copies, EveryOperationKindCopies)
{
    const CLSID* kinds[] = {&CLSID_APAssemblyOperation,   &CLSID_APClassicAssemblyOperation,
                            &CLSID_APKinematicAssemblyOperation, &CLSID_APFemAssemblyOperation,
                            &CLSID_APMeasurementOperation, &CLSID_APSPCMeasurementOp,
                            &CLSID_APCustomOperation};
    IAPNode* a = Node("A", CLSID_APAssemblyNode);
    for (const CLSID* kind : kinds) {
        IAPNode* op = Node("Op", *kind);
        ASSERT_NE(op, nullptr);
        ASSERT_EQ(m_doc->AddChild(a, op), S_OK);
        IAPNode* copy = nullptr;
        ASSERT_EQ(m_doc->CopyNode(op, &copy, 1), S_OK);
        ASSERT_NE(copy, nullptr);
        EXPECT_FALSE(Same(copy, op));
        EXPECT_EQ(NameOf(copy), "Op");
        // The copy is of the source's class: it answers the same kind interfaces.
        for (const IID* iid : {&IID_IAPAssemblyOperation, &IID_IAPClassicAssemblyOperation,
                               &IID_IAPKinematicAssemblyOperation, &IID_IAPFemAssemblyOperation,
                               &IID_IAPMeasurementOperation, &IID_IAPSPCMeasurementOp, &IID_IAPCustomOperation}) {
            IUnknown* fromSource = Query<IUnknown>(op, *iid);
            IUnknown* fromCopy = Query<IUnknown>(copy, *iid);
            EXPECT_EQ(fromSource != nullptr, fromCopy != nullptr);
            for (IUnknown* p : {fromSource, fromCopy})
                if (p) p->Release();
        }
        copy->Release();
        op->Release();
    }
    IAPNode* whole = nullptr;
    ASSERT_EQ(m_doc->CopyNode(a, &whole, 1), S_OK);
    EXPECT_EQ(ChildNames(whole).size(), std::size(kinds));
    whole->Release();
    a->Release();
}

TEST_F(Copies, APairCopiedWithItsFeaturePointsAtTheCopyWhicheverComesFirst)
{
    // The pair is copied before the feature (at the part's creation: its request waits) or
    // after it (at the feature's link: answered at once).
    for (unsigned short when : {2, 4}) {
        IAPNode* p = Node("P", CLSID_APPartNode);
        IAPNode* f = Node("F", CLSID_APPinFeature);
        ASSERT_EQ(m_doc->AddChild(p, f), S_OK);
        IAPFeaturePair* pair = NewPair();
        IAPFeature* feature = Query<IAPFeature>(f, IID_IAPFeature);
        ASSERT_EQ(pair->AppendObjectFeature(feature), S_OK);
        feature->Release();

        RecordingSink* sink = Sink(static_cast<int>(when));
        IAPFeaturePair* pairCopy = nullptr;
        m_fired = false;
        OnEvent(sink, when, [&] { pairCopy = ClonePair(pair); });
        IAPNode* copy = nullptr;
        ASSERT_EQ(m_doc->CopyNode(p, &copy, 1), S_OK);
        sink->m_onNotify = nullptr;
        ASSERT_NE(pairCopy, nullptr);

        IAPNode* featureCopy = nullptr;
        ASSERT_EQ(copy->GetChild(0, &featureCopy), S_OK);
        int n = -1;
        EXPECT_EQ(pairCopy->GetNumObjectFeatures(&n), S_OK);
        ASSERT_EQ(n, 1) << "event " << when;
        IAPFeature* target = nullptr;
        ASSERT_EQ(pairCopy->GetObjectFeature(0, &target), S_OK);
        EXPECT_TRUE(Same(target, featureCopy)) << "event " << when;
        target->Release();
        // The copy watches the copied feature, not the original.
        EXPECT_TRUE(feature_test::Watches(pairCopy, featureCopy));
        EXPECT_FALSE(feature_test::Watches(pairCopy, f));

        ASSERT_EQ(m_doc->DeleteNodeFromProcess(copy), S_OK);
        EXPECT_EQ(pairCopy->GetNumObjectFeatures(&n), S_OK);
        EXPECT_EQ(n, 0); // it heard of the copy's end
        ASSERT_EQ(m_doc->DeleteNodeFromProcess(p), S_OK);
        for (IUnknown* x : std::initializer_list<IUnknown*>{p, f, pair, pairCopy, copy, featureCopy}) x->Release();
    }
}

TEST_F(Copies, APairCopiedWithoutItsFeatureEndsWithNone)
{
    IAPNode* f = Node("F", CLSID_APPinFeature);
    IAPNode* q = Node("Q", CLSID_APPartNode);
    IAPFeaturePair* pair = NewPair();
    IAPFeature* feature = Query<IAPFeature>(f, IID_IAPFeature);
    ASSERT_EQ(pair->AppendObjectFeature(feature), S_OK);
    ASSERT_EQ(pair->AppendTargetFeature(feature), S_OK);
    feature->Release();

    // One pair copy is kept; the other is let go at once and lives on in the map only, which
    // still writes its slot and tidies its lists at the end.
    RecordingSink* sink = Sink(1);
    IAPFeaturePair* kept = nullptr;
    OnEvent(sink, 2, [&] {
        kept = ClonePair(pair);
        ClonePair(pair)->Release();
    });
    const LONG before = LiveObjects();
    IAPNode* copy = nullptr;
    ASSERT_EQ(m_doc->CopyNode(q, &copy, 1), S_OK);
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(LiveObjects(), before + 2); // the copy of Q and the kept pair copy
    int objects = -1, targets = -1;
    EXPECT_EQ(kept->GetNumObjectFeatures(&objects), S_OK);
    EXPECT_EQ(kept->GetNumTargetFeatures(&targets), S_OK);
    EXPECT_EQ(objects, 0);
    EXPECT_EQ(targets, 0);
    EXPECT_EQ(Dependents(f), 1); // only the original pair watches F
    for (IUnknown* x : std::initializer_list<IUnknown*>{f, q, pair, kept, copy}) x->Release();
}

TEST_F(Copies, ADatumOfACopiedPartPointsAtTheCopiedFeature)
{
    IAPNode* p = Node("P", CLSID_APPartNode);
    IAPNode* f = Node("F", CLSID_APPlaneFeature);
    ASSERT_EQ(m_doc->AddChild(p, f), S_OK);
    GUID clsid = CLSID_APDatum, iid = IID_IAPDatum;
    IAPDatum* datum = nullptr;
    ASSERT_EQ(m_doc->CreateProcessElement(&clsid, &iid, reinterpret_cast<ULONG_PTR*>(&datum)), S_OK);
    IAPFeature* feature = Query<IAPFeature>(f, IID_IAPFeature);
    ASSERT_EQ(datum->AppendDatumFeature(feature), S_OK);
    IAPPartNode* part = Query<IAPPartNode>(p, IID_IAPPartNode);
    ASSERT_EQ(part->AppendListItem2(datum), S_OK);

    IAPNode* copy = nullptr;
    ASSERT_EQ(m_doc->CopyNode(p, &copy, 1), S_OK);
    IAPPartNode* partCopy = Query<IAPPartNode>(copy, IID_IAPPartNode);
    IAPDatum* datumCopy = nullptr;
    ASSERT_EQ(partCopy->GetListItem2(0, &datumCopy), S_OK);
    IAPNode* featureCopy = nullptr;
    ASSERT_EQ(copy->GetChild(0, &featureCopy), S_OK);
    IAPFeature* on = nullptr;
    ASSERT_EQ(datumCopy->GetDatumFeature(0, &on), S_OK);
    EXPECT_TRUE(Same(on, featureCopy));
    EXPECT_FALSE(Same(datumCopy, datum));

    // Copied alone, the feature is outside the copy: the datum copy keeps no feature.
    IAPNode* bare = nullptr;
    ASSERT_EQ(m_doc->CopyNode(p, &bare, 0), S_OK);
    IAPPartNode* bareCopy = Query<IAPPartNode>(bare, IID_IAPPartNode);
    IAPDatum* bareDatum = nullptr;
    ASSERT_EQ(bareCopy->GetListItem2(0, &bareDatum), S_OK);
    int n = -1;
    EXPECT_EQ(bareDatum->GetNumDatumFeatures(&n), S_OK);
    EXPECT_EQ(n, 0);

    for (IUnknown* x : std::initializer_list<IUnknown*>{on, datumCopy, featureCopy, partCopy, copy, feature, part,
                                                        datum, p, f, bareDatum, bareCopy, bare})
        x->Release();
}

TEST_F(Copies, TheMapAnswersOnlyWhileACopyRuns)
{
    IAPNode* p = Node("P", CLSID_APPartNode);
    IAPElement* a = Query<IAPElement>(p, IID_IAPElement);
    IAPNode* q = Node("Q", CLSID_APPartNode);
    IAPElement* b = Query<IAPElement>(q, IID_IAPElement);
    GUID iid = IID_IAPElement;
    IAPElement* slot = a;
    EXPECT_EQ(m_doc->RecordElement(a, b), E_FAIL);
    EXPECT_EQ(m_doc->GetPossibleReferenceElement(a, &iid, a, reinterpret_cast<ULONG_PTR*>(&slot)), E_FAIL);
    EXPECT_EQ(slot, a);

    // Inside a copy: the first record of an element stays; a request is answered with it.
    RecordingSink* sink = Sink(1);
    std::vector<HRESULT> results;
    OnEvent(sink, 2, [&] {
        results.push_back(m_doc->RecordElement(b, a));
        results.push_back(m_doc->RecordElement(b, b));
        results.push_back(m_doc->GetPossibleReferenceElement(b, &iid, b, reinterpret_cast<ULONG_PTR*>(&slot)));
        results.push_back(m_doc->RecordElement(nullptr, a));
        results.push_back(m_doc->GetPossibleReferenceElement(b, nullptr, b, reinterpret_cast<ULONG_PTR*>(&slot)));
    });
    IAPNode* copy = nullptr;
    ASSERT_EQ(m_doc->CopyNode(p, &copy, 0), S_OK);
    EXPECT_EQ(results, (std::vector<HRESULT>{S_OK, S_OK, S_OK, E_FAIL, E_FAIL}));
    EXPECT_EQ(slot, a);
    EXPECT_EQ(m_doc->RecordElement(a, b), E_FAIL); // the map ended with the copy
    // `b` watched `a` as the map's answer; it leaves again before the end.
    EXPECT_EQ(a->RemoveDependent(Query<IAPElementSink>(b, IID_IAPElementSink)), S_OK);
    b->Release(); // the query just above
    for (IUnknown* x : std::initializer_list<IUnknown*>{a, b, p, q, copy}) x->Release();
}

TEST_F(Copies, AFailingCopyLeavesNothingBehind)
{
    IAPNode* p = Node("P", CLSID_APPartNode);
    IAPNode* f1 = Node("F1", CLSID_APPinFeature);
    IAPNode* f2 = Node("F2", CLSID_APHoleFeature);
    ASSERT_EQ(m_doc->AddChild(p, f1), S_OK);
    ASSERT_EQ(m_doc->AddChild(p, f2), S_OK);
    const LONG before = LiveObjects();

    // A sink refuses the link of the second feature's copy.
    RecordingSink* sink = Sink(1);
    int links = 0;
    sink->m_onNotify = [&] {
        if (m_log.back().cmd == 4) sink->SetFail(++links == 2);
        else sink->SetFail(false);
    };
    IAPNode* copy = reinterpret_cast<IAPNode*>(this);
    EXPECT_EQ(m_doc->CopyNode(p, &copy, 1), E_FAIL);
    EXPECT_EQ(copy, nullptr);
    sink->m_onNotify = nullptr;
    sink->SetFail(false);
    EXPECT_EQ(RootNames(m_doc), std::vector<std::string>{"P"});
    EXPECT_EQ(LiveObjects(), before); // the partial copies are gone

    // The map went with it: the next copy starts afresh.
    IAPElement* e = Query<IAPElement>(p, IID_IAPElement);
    EXPECT_EQ(m_doc->RecordElement(e, e), E_FAIL);
    e->Release();
    ASSERT_EQ(m_doc->CopyNode(p, &copy, 1), S_OK);
    EXPECT_EQ(ChildNames(copy), (std::vector<std::string>{"F1", "F2"}));
    for (IAPNode* n : {p, f1, f2, copy}) n->Release();
}

TEST_F(Copies, DefaultFeaturesAreTopLevelCopies)
{
    IAPNode* p = Node("P", CLSID_APPartNode);
    IAPNode* pin1 = Node("pin1", CLSID_APPinFeature);
    IAPNode* pin2 = Node("pin2", CLSID_APPinFeature);
    IAPNode* hole = Node("hole", CLSID_APHoleFeature);
    for (IAPNode* f : {pin1, pin2, hole}) ASSERT_EQ(m_doc->AddChild(p, f), S_OK);
    // pin2 carries a tolerance, which its default copies keep.
    GUID clsid = CLSID_APSizeTolerance, iid = IID_IAPTolerance;
    IAPTolerance* tol = nullptr;
    ASSERT_EQ(m_doc->CreateProcessElement(&clsid, &iid, reinterpret_cast<ULONG_PTR*>(&tol)), S_OK);
    IAPFeature* f2 = Query<IAPFeature>(pin2, IID_IAPFeature);
    ASSERT_EQ(f2->AddTolerance(tol), S_OK);

    IAPFeature* f1 = Query<IAPFeature>(pin1, IID_IAPFeature);
    IAPFeature* fh = Query<IAPFeature>(hole, IID_IAPFeature);
    EXPECT_EQ(m_doc->SetFeatureAsDefault(f1), S_OK);
    EXPECT_EQ(DefaultNames(), std::vector<std::string>{"pin1"});
    EXPECT_EQ(m_doc->SetFeatureAsDefault(f2), S_OK);
    EXPECT_EQ(DefaultNames(), std::vector<std::string>{"pin2"});
    EXPECT_EQ(m_doc->SetTolLibFeatureAsDefault(fh), S_OK); // a top-level copy, not marked
    EXPECT_EQ(DefaultNames(), std::vector<std::string>{"pin2"});
    EXPECT_EQ(RootNames(m_doc), (std::vector<std::string>{"P", "pin2", "hole"}));

    // The default itself set as default again: the new copy is made before the old one goes.
    IAPNode* current = RootAt(m_doc, 1);
    IAPFeature* again = Query<IAPFeature>(current, IID_IAPFeature);
    EXPECT_EQ(m_doc->SetFeatureAsDefault(again), S_OK);
    EXPECT_EQ(RootNames(m_doc), (std::vector<std::string>{"P", "hole", "pin2"}));
    IAPNode* newest = RootAt(m_doc, 2);
    IAPFeature* newestFeature = Query<IAPFeature>(newest, IID_IAPFeature);
    int n = -1;
    EXPECT_EQ(newestFeature->GetNumTolerances(&n), S_OK);
    EXPECT_EQ(n, 1);
    ExpectBoundTo(newest, m_doc);
    EXPECT_EQ(m_doc->SetFeatureAsDefault(nullptr), E_FAIL);
    for (IUnknown* x : std::initializer_list<IUnknown*>{p, pin1, pin2, hole, tol, f1, f2, fh, current, again, newest,
                                                        newestFeature})
        x->Release();
}

TEST_F(Copies, ToleranceLibraryDefaults)
{
    IAPFeature8* loose = feature_test::NewFeature(); // a pin outside the document
    EXPECT_EQ(m_doc->SetTolLibDefaultFeature(loose), E_FAIL); // no top-level node to hold it
    EXPECT_TRUE(TolLibNames(E_FAIL).empty());

    IAPNode* lib = Node("Lib", CLSID_APTolLibNode); // the first top-level node holds them
    IAPNode* p = Node("P", CLSID_APPartNode);
    std::vector<IAPFeature8*> features;
    for (auto [name, clsid] : {std::pair{"pin1", CLSID_APPinFeature}, std::pair{"pin2", CLSID_APPinFeature},
                               std::pair{"plane", CLSID_APPlaneFeature}, std::pair{"hole", CLSID_APHoleFeature},
                               std::pair{"taper", CLSID_APTaperedPinFeature}}) {
        features.push_back(DocFeature(name, clsid));
        IAPNode* node = Query<IAPNode>(features.back(), IID_IAPNode);
        ASSERT_EQ(m_doc->AddChild(p, node), S_OK);
        node->Release();
    }
    auto [pin1, pin2, plane, hole, taper] = std::tuple{features[0], features[1], features[2], features[3], features[4]};

    EXPECT_EQ(m_doc->SetTolLibDefaultFeature(pin1), S_OK);
    EXPECT_EQ(TolLibNames(), std::vector<std::string>{"pin1"});
    EXPECT_EQ(m_doc->SetTolLibDefaultFeature(pin2), S_OK);
    EXPECT_EQ(TolLibNames(), std::vector<std::string>{"pin2"});
    EXPECT_EQ(Dependents(pin1), 0); // nothing watches the replaced default any more
    EXPECT_EQ(m_doc->SetTolLibDefaultFeature(hole), S_OK);
    EXPECT_EQ(m_doc->SetTolLibDefaultFeature(plane), S_OK);
    EXPECT_EQ(TolLibNames(), (std::vector<std::string>{"plane", "pin2", "hole"}));
    EXPECT_EQ(m_doc->SetTolLibDefaultFeature(taper), S_OK); // no key for its kind
    EXPECT_EQ(TolLibNames(), (std::vector<std::string>{"plane", "pin2", "hole"}));
    EXPECT_EQ(m_doc->SetTolLibDefaultFeature(nullptr), E_FAIL);
    IAPElement* holder = Query<IAPElement>(lib, IID_IAPElement);
    int n = -1;
    EXPECT_EQ(holder->GetNumProperties(&n), S_OK);
    EXPECT_EQ(n, 3);

    // A default deleted from the process, or destroyed, drops out.
    IAPNode* holeNode = Query<IAPNode>(hole, IID_IAPNode);
    ASSERT_EQ(m_doc->DeleteNodeFromProcess(holeNode), S_OK);
    holeNode->Release();
    EXPECT_EQ(TolLibNames(), (std::vector<std::string>{"plane", "pin2"}));
    IAPElement* named = Query<IAPElement>(loose, IID_IAPElement);
    named->SetName(Text("loose"));
    named->Release();
    EXPECT_EQ(m_doc->SetTolLibDefaultFeature(loose), S_OK);
    EXPECT_EQ(TolLibNames(), (std::vector<std::string>{"plane", "loose"}));
    loose->Release();
    EXPECT_EQ(TolLibNames(), std::vector<std::string>{"plane"});
    EXPECT_EQ(holder->GetNumProperties(&n), S_OK);
    EXPECT_EQ(n, 1);

    // The links are not saved.
    const std::string path = File("tollib");
    ASSERT_EQ(m_doc->SetProcessName(Text("defaults")), S_OK);
    ASSERT_EQ(m_doc->Save(Text(path.c_str())), S_OK);
    IAPDocument6* opened = NewDocument();
    ASSERT_EQ(opened->OpenDocument(Text(path.c_str())), S_OK);
    IAPNode* first = RootAt(opened, 0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(NameOf(first), "Lib");
    IAPElement* openedHolder = Query<IAPElement>(first, IID_IAPElement);
    EXPECT_EQ(openedHolder->GetNumProperties(&n), S_OK);
    EXPECT_EQ(n, 0);
    IAPPointerList* list = Create<IAPPointerList>(CLSID_APPointerList, IID_IAPPointerList);
    EXPECT_EQ(opened->GetTolLibDefaultFeatures(list), S_OK);
    EXPECT_TRUE(ListNames(list).empty());
    for (IUnknown* x : std::initializer_list<IUnknown*>{list, openedHolder, first, opened}) x->Release();

    for (IAPFeature8* f : features) f->Release();
    for (IUnknown* x : std::initializer_list<IUnknown*>{holder, lib, p}) x->Release();
}

// A copy keeps every link inside the part and drops every link out of it, within one
// document and into another; the counts of tolerances using each feature are right in memory
// and after a save and a reopen.
TEST_F(Copies, ABracketCopiesWholeWithinItsDocumentAndIntoAnother)
{
    ASSERT_EQ(m_doc->SetProcessName(Text("line")), S_OK);
    IAPNode* p = BuildBracket(m_doc);
    const std::vector<std::string> source = ListingOf(p);
    const std::vector<std::string> expected = ListingOf(p, true);
    EXPECT_NE(source, expected); // the bracket has links out of the part
    EXPECT_EQ(expected, (std::vector<std::string>{
                            "P", "datum A: Face*", "datum B: Hole*", "frame: | A/4 | B/1 |", "feature Face uses 1 refs 2",
                            "  Flatness type 6 zone 0 frame #0* composite <none> references Hole*",
                            "feature Pin uses 0 refs 1", "  Size 9.9..10.1",
                            "  Position type 10 zone 0.2 frame #0* composite <none> references Face* Hole* <none>",
                            "feature Hole uses 2 refs 3"}));

    Sink(1);
    IAPNode* here = nullptr;
    ASSERT_EQ(m_doc->CopyNode(p, &here, 1), S_OK);
    const int made = Creations(m_log, 1);
    EXPECT_EQ(ListingOf(here), expected);

    IAPDocument6* other = NewDocument();
    ASSERT_EQ(other->SetProcessName(Text("other line")), S_OK);
    auto* otherSink = new RecordingSink(2, &m_log);
    ASSERT_EQ(other->RegisterEventSink(otherSink), S_OK);
    m_log.clear();
    IAPNode* there = nullptr;
    ASSERT_EQ(other->CopyNode(p, &there, 1), S_OK);
    EXPECT_EQ(Creations(m_log, 2), made);
    EXPECT_EQ(std::count_if(m_log.begin(), m_log.end(), [](const Event& e) { return e.sink == 1; }), 0)
        << "the source's document hears nothing of another's copy";
    EXPECT_EQ(ListingOf(there), expected);
    ExpectBoundTo(there, other);
    EXPECT_EQ(RootNames(other), std::vector<std::string>{"P"});
    EXPECT_EQ(ListingOf(p), source);

    // Saved and opened again, each copy counts its uses as it did in memory.
    for (IAPDocument6* doc : {static_cast<IAPDocument6*>(m_doc), other}) {
        const std::string path = File("bracket");
        ASSERT_EQ(doc->Save(Text(path.c_str())), S_OK);
        IAPDocument6* opened = NewDocument();
        ASSERT_EQ(opened->OpenDocument(Text(path.c_str())), S_OK);
        const std::vector<std::string> roots = RootNames(opened);
        ASSERT_FALSE(roots.empty());
        EXPECT_EQ(roots.back(), "P");
        IAPNode* copy = RootAt(opened, static_cast<int>(roots.size()) - 1);
        EXPECT_EQ(ListingOf(copy), expected);
        copy->Release();
        opened->Release();
    }
    ASSERT_EQ(other->UnregisterEventSink(otherSink), S_OK);
    for (IUnknown* x : std::initializer_list<IUnknown*>{p, here, there, other, otherSink}) x->Release();
}

} // namespace
