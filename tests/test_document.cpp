// The document object: the hidden root and the tree operations, element creation and
// deletion, events on registered sinks, units, the solid utility, import, and a round trip
// of a tree with every node kind.
#include "document_support.h"

using namespace doc_test;

namespace {

using Document = DocumentTest;

// An element that is not a node, made by the document (bound to it), as interface `iid`.
IUnknown* ElementOf(IAPDocument* doc, const CLSID& clsid, const IID& iid)
{
    GUID id = clsid, want = iid;
    IUnknown* out = nullptr;
    EXPECT_EQ(doc->CreateProcessElement(&id, &want, reinterpret_cast<ULONG_PTR*>(&out)), S_OK);
    return out;
}

TEST_F(Document, NewNodesAreTopLevelUntilTheyGoUnderAParent)
{
    EXPECT_TRUE(RootNames(m_doc).empty());
    IAPNode* a = NewNode(m_doc, CLSID_APAssemblyNode, "A");
    IAPNode* p = NewNode(m_doc, CLSID_APPartNode, "P");
    EXPECT_EQ(RootNames(m_doc), (std::vector<std::string>{"A", "P"}));
    IAPNode* parent = reinterpret_cast<IAPNode*>(this);
    EXPECT_EQ(m_doc->GetParent(p, 0, &parent), E_FAIL); // the hidden root is never shown
    EXPECT_EQ(parent, nullptr);
    int n = -1;
    EXPECT_EQ(m_doc->GetNumParents(p, &n), S_OK);
    EXPECT_EQ(n, 1);

    ASSERT_EQ(m_doc->AddChild(a, p), S_OK);
    EXPECT_EQ(RootNames(m_doc), std::vector<std::string>{"A"});
    EXPECT_EQ(m_doc->GetNumChildren(a, &n), S_OK);
    EXPECT_EQ(n, 1);
    IAPNode* child = nullptr;
    EXPECT_EQ(m_doc->GetChild(a, 0, &child), S_OK);
    EXPECT_TRUE(Same(child, p));
    child->Release();
    EXPECT_EQ(m_doc->GetParent(p, 0, &parent), S_OK);
    EXPECT_TRUE(Same(parent, a));
    parent->Release();

    // Its last parent gone, the node is back among the top-level nodes.
    ASSERT_EQ(m_doc->RemoveChild(a, p), S_OK);
    EXPECT_EQ(RootNames(m_doc), (std::vector<std::string>{"A", "P"}));
    EXPECT_EQ(m_doc->RemoveChild(a, p), E_FAIL); // not a child any more

    // InsertChild puts the child after the given index.
    IAPNode* q = NewNode(m_doc, CLSID_APPartNode, "Q");
    ASSERT_EQ(m_doc->AddChild(a, p), S_OK);
    ASSERT_EQ(m_doc->InsertChild(a, q, -1), S_OK);
    EXPECT_EQ(ChildNames(a), (std::vector<std::string>{"Q", "P"}));
    EXPECT_EQ(m_doc->InsertChild(a, q, 7), E_FAIL);
    EXPECT_EQ(RootNames(m_doc), std::vector<std::string>{"A"});

    for (IAPNode* x : {a, p, q}) x->Release();
}

TEST_F(Document, ANodeHeldOnlyByTheTreeSurvivesItsMoves)
{
    IAPNode* a = NewNode(m_doc, CLSID_APAssemblyNode, "A");
    IAPNode* p = NewNode(m_doc, CLSID_APPartNode, "P");
    p->Release(); // only the root link keeps it
    p = RootAt(m_doc, 1);
    const ULONG before = RefCount(p);
    p->Release(); // borrowed from here on
    ASSERT_EQ(m_doc->AddChild(a, p), S_OK); // leaves the root first: must not die in between
    EXPECT_EQ(ChildNames(a), std::vector<std::string>{"P"});
    ASSERT_EQ(m_doc->RemoveChild(a, p), S_OK); // back under the root, alive
    EXPECT_EQ(RootNames(m_doc), (std::vector<std::string>{"A", "P"}));
    EXPECT_EQ(RefCount(p), before - 1);
    a->Release();
}

TEST_F(Document, NullArgumentsFail)
{
    IAPNode* a = NewNode(m_doc, CLSID_APAssemblyNode, "A");
    int n = 0;
    IAPNode* out = nullptr;
    EXPECT_EQ(m_doc->GetRoots(nullptr), E_FAIL);
    EXPECT_EQ(m_doc->GetNumChildren(nullptr, &n), E_FAIL);
    EXPECT_EQ(m_doc->GetChild(nullptr, 0, &out), E_FAIL);
    EXPECT_EQ(m_doc->GetChild(a, 5, &out), E_FAIL);
    EXPECT_EQ(m_doc->GetNumParents(nullptr, &n), E_FAIL);
    EXPECT_EQ(m_doc->GetParent(nullptr, 0, &out), E_FAIL);
    EXPECT_EQ(m_doc->AddChild(nullptr, a), E_FAIL);
    EXPECT_EQ(m_doc->AddChild(a, nullptr), E_FAIL);
    EXPECT_EQ(m_doc->InsertChild(a, nullptr, 0), E_FAIL);
    EXPECT_EQ(m_doc->RemoveChild(nullptr, a), E_FAIL);
    EXPECT_EQ(m_doc->DeleteNodeFromProcess(nullptr), E_FAIL);
    EXPECT_EQ(m_doc->RegisterEventSink(nullptr), E_FAIL);
    EXPECT_EQ(m_doc->ImportDocument(nullptr, a), E_FAIL);
    EXPECT_EQ(m_doc->ImportDocument(m_doc, nullptr), E_FAIL);
    EXPECT_EQ(m_doc->GetDefaults(nullptr), E_FAIL);
    EXPECT_EQ(m_doc->GetDocUnits(nullptr), E_FAIL);
    EXPECT_EQ(m_doc->SetHbUtility(nullptr), E_FAIL);
    EXPECT_EQ(m_doc->GetHbUtility(nullptr), E_FAIL);
    EXPECT_EQ(m_doc->GetExportInfo(nullptr, nullptr), E_FAIL);
    GUID clsid = CLSID_APPartNode, iid = IID_IAPNode;
    EXPECT_EQ(m_doc->CreateProcessElement(nullptr, &iid, reinterpret_cast<ULONG_PTR*>(&out)), E_FAIL);
    EXPECT_EQ(m_doc->CreateProcessElement(&clsid, nullptr, reinterpret_cast<ULONG_PTR*>(&out)), E_FAIL);
    EXPECT_EQ(m_doc->CreateProcessElement(&clsid, &iid, nullptr), E_FAIL);
    // A class the library does not make: the creation result comes back.
    GUID unknown = IID_IAPNode;
    EXPECT_EQ(m_doc->CreateProcessElement(&unknown, &iid, reinterpret_cast<ULONG_PTR*>(&out)), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(out, nullptr);
    a->Release();
}

TEST_F(Document, CreationIsAnnouncedAndNonNodesStayOutOfTheTree)
{
    Sink(1);
    IAPNode* p = NewNode(m_doc, CLSID_APPartNode, "P"); // named after the event
    GUID clsid = CLSID_APFeaturePair, iid = IID_IAPElement;
    IAPElement* pair = nullptr;
    ASSERT_EQ(m_doc->CreateProcessElement(&clsid, &iid, reinterpret_cast<ULONG_PTR*>(&pair)), S_OK);
    EXPECT_EQ(Heard(), (Heard_t{{2, ""}, {2, ""}}));
    EXPECT_EQ(RootNames(m_doc), std::vector<std::string>{"P"});
    IAPDocument* bound = nullptr;
    EXPECT_EQ(pair->GetDocument(&bound), S_OK); // bound to this document
    EXPECT_TRUE(Same(bound, m_doc));
    bound->Release();

    // A change on a bound element reaches the sinks with the interface that changed.
    m_log.clear();
    IAPElement* e = Query<IAPElement>(p, IID_IAPElement);
    ASSERT_EQ(e->SetCost(5), S_OK);
    ASSERT_EQ(m_log.size(), 1u);
    EXPECT_EQ(m_log[0].cmd, 1);
    EXPECT_EQ(m_log[0].length, sizeof(IID));
    EXPECT_TRUE(IsEqualIID(m_log[0].iid, IID_IAPElement));
    e->Release();
    pair->Release();
    p->Release();
}

TEST_F(Document, SinksHearEventsInOrderUntilOneFails)
{
    RecordingSink* s1 = Sink(1);
    RecordingSink* s2 = Sink(2);
    RecordingSink* s3 = Sink(3);
    EXPECT_EQ(s1->Refs(), 2u); // the document holds one reference each
    IAPElement* e = Create<IAPElement>(CLSID_APPartNode, IID_IAPElement);
    IAPDocEventSink* fan = Query<IAPDocEventSink>(m_doc, IID_IAPDocEventSink);
    ASSERT_NE(fan, nullptr);
    EXPECT_EQ(fan->Notify(4, e, 0, nullptr), S_OK);
    ASSERT_EQ(m_log.size(), 3u);
    EXPECT_EQ(m_log[0].sink, 1);
    EXPECT_EQ(m_log[1].sink, 2);
    EXPECT_EQ(m_log[2].sink, 3);

    m_log.clear();
    s2->SetFail(true);
    EXPECT_EQ(fan->Notify(1, e, 0, nullptr), E_FAIL);
    ASSERT_EQ(m_log.size(), 2u); // the third is not called
    EXPECT_EQ(m_log[1].sink, 2);

    // Unregistering: the first equal entry goes; unknown sinks are fine.
    RecordingSink stranger(9, &m_log);
    EXPECT_EQ(m_doc->UnregisterEventSink(&stranger), S_OK);
    EXPECT_EQ(m_doc->UnregisterEventSink(s2), S_OK);
    EXPECT_EQ(s2->Refs(), 1u);
    m_log.clear();
    EXPECT_EQ(fan->Notify(1, e, 0, nullptr), S_OK);
    ASSERT_EQ(m_log.size(), 2u);
    EXPECT_EQ(m_log[0].sink, 1);
    EXPECT_EQ(m_log[1].sink, 3);

    // A sink that unregisters itself while it is called does not disturb the others.
    s1->m_onNotify = [this, s1]() { m_doc->UnregisterEventSink(s1); };
    m_log.clear();
    EXPECT_EQ(fan->Notify(1, e, 0, nullptr), S_OK);
    EXPECT_EQ(m_log.size(), 2u);
    s1->m_onNotify = nullptr;
    EXPECT_EQ(s1->Refs(), 1u);
    EXPECT_EQ(s3->Refs(), 2u);
    fan->Release();
    e->Release();
}

TEST_F(Document, TreeEventsCarryTheChild)
{
    IAPNode* a = NewNode(m_doc, CLSID_APAssemblyNode, "A");
    IAPNode* p = NewNode(m_doc, CLSID_APPartNode, "P");
    Sink(1);
    ASSERT_EQ(m_doc->AddChild(a, p), S_OK);
    ASSERT_EQ(m_doc->RemoveChild(a, p), S_OK);
    ASSERT_EQ(m_doc->InsertChild(a, p, -1), S_OK);
    EXPECT_EQ(Heard(), (Heard_t{{4, "P"}, {5, "P"}, {4, "P"}}));

    // A failing sink fails the call, but the link is made.
    m_sinks[0]->SetFail(true);
    GUID clsid = CLSID_APPartNode, iid = IID_IAPNode;
    IAPNode* q = a;
    EXPECT_EQ(m_doc->CreateProcessElement(&clsid, &iid, reinterpret_cast<ULONG_PTR*>(&q)), E_FAIL);
    EXPECT_EQ(q, nullptr); // creation is announced, and the sink refuses
    m_sinks[0]->SetFail(false);
    // An interface the element does not answer: nothing is announced and nothing stays.
    const auto roots = RootNames(m_doc);
    const size_t heard = Heard().size();
    GUID notAnswered = IID_IAPFeature;
    EXPECT_EQ(m_doc->CreateProcessElement(&clsid, &notAnswered, reinterpret_cast<ULONG_PTR*>(&q)), E_FAIL);
    EXPECT_EQ(q, nullptr);
    EXPECT_EQ(Heard().size(), heard);
    EXPECT_EQ(RootNames(m_doc), roots);
    IAPNode* r = NewNode(m_doc, CLSID_APPartNode, "R");
    m_sinks[0]->SetFail(true);
    EXPECT_EQ(m_doc->AddChild(a, r), E_FAIL);
    EXPECT_EQ(ChildNames(a), (std::vector<std::string>{"P", "R"}));
    m_sinks[0]->SetFail(false);
    for (IAPNode* x : {a, p, r}) x->Release();
}

TEST_F(Document, DeletingANodeUnlinksItEverywhereAndAnnouncesDescendantsFirst)
{
    IAPNode* a = NewNode(m_doc, CLSID_APAssemblyNode, "A");
    IAPNode* b = NewNode(m_doc, CLSID_APAssemblyNode, "B");
    IAPNode* s = NewNode(m_doc, CLSID_APAssemblyNode, "S");
    IAPNode* c1 = NewNode(m_doc, CLSID_APPartNode, "C1");
    IAPNode* c2 = NewNode(m_doc, CLSID_APPartNode, "C2");
    ASSERT_EQ(m_doc->AddChild(a, s), S_OK);
    ASSERT_EQ(m_doc->AddChild(b, s), S_OK); // two parents
    ASSERT_EQ(m_doc->AddChild(s, c1), S_OK);
    ASSERT_EQ(m_doc->AddChild(s, c2), S_OK);
    Sink(1);
    IAPNode* weak = s;
    s->Release(); // only the links hold it now
    c1->Release();
    c2->Release();
    ASSERT_EQ(m_doc->DeleteNodeFromProcess(weak), S_OK);
    EXPECT_EQ(Heard(), (Heard_t{{3, "C2"}, {3, "C1"}, {3, "S"}}));
    EXPECT_TRUE(ChildNames(a).empty());
    EXPECT_TRUE(ChildNames(b).empty());
    EXPECT_EQ(RootNames(m_doc), (std::vector<std::string>{"A", "B"}));
    a->Release();
    b->Release();
}

TEST_F(Document, DependentsHearThatADeletedNodeIsGone)
{
    IAPNode* p = NewNode(m_doc, CLSID_APPartNode, "P");
    IAPElement* watcher = Create<IAPElement>(CLSID_APPartNode, IID_IAPElement);
    IAPElementSink* sink = Query<IAPElementSink>(watcher, IID_IAPElementSink);
    IAPElement* e = Query<IAPElement>(p, IID_IAPElement);
    ASSERT_EQ(e->AddDependent(sink), S_OK);
    int before = 0;
    e->GetNumDependents(&before);
    ASSERT_EQ(m_doc->DeleteNodeFromProcess(p), S_OK);
    EXPECT_TRUE(RootNames(m_doc).empty());
    e->RemoveDependent(sink);
    e->Release();
    sink->Release();
    watcher->Release();
    p->Release();
}

TEST_F(Document, UnitsGoToTheRoot)
{
    APDocUnits units = AP_UNIT_COUNT;
    EXPECT_EQ(m_doc->GetDocUnits(&units), S_OK);
    EXPECT_EQ(units, AP_UNIT_UNKNOWN);
    EXPECT_EQ(m_doc->SetDocUnits(AP_UNIT_INCHES), S_OK);
    EXPECT_EQ(m_doc->GetDocUnits(&units), S_OK);
    EXPECT_EQ(units, AP_UNIT_INCHES);
}

// A stand-in for the solid utility: counts its references.
class Counted : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!IsEqualIID(iid, IID_IUnknown)) return E_NOINTERFACE;
        *out = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    ULONG refs = 1;
};

TEST_F(Document, TheSolidUtilityIsTakenOverAndHandedOut)
{
    Counted first, second;
    IUnknown* out = reinterpret_cast<IUnknown*>(this);
    EXPECT_EQ(m_doc->GetHbUtility(&out), S_OK);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(m_doc->SetHbUtility(&first), S_OK); // the caller's reference goes to the document
    EXPECT_EQ(first.refs, 1u);
    EXPECT_EQ(m_doc->GetHbUtility(&out), S_OK);
    EXPECT_EQ(out, &first);
    EXPECT_EQ(first.refs, 2u);
    out->Release();
    EXPECT_EQ(m_doc->SetHbUtility(&second), S_OK);
    EXPECT_EQ(first.refs, 0u);
    m_doc->Release();
    m_doc = nullptr;
    EXPECT_EQ(second.refs, 0u);
}

TEST_F(Document, NodesOutlivingTheirDocumentNoLongerCallIt)
{
    IAPNode* p = NewNode(m_doc, CLSID_APPartNode, "P");
    Sink(1);
    m_doc->Release();
    m_doc = nullptr;
    IAPElement* e = Query<IAPElement>(p, IID_IAPElement);
    EXPECT_EQ(e->SetCost(3), S_OK); // no document to tell
    IAPDocument* doc = reinterpret_cast<IAPDocument*>(this);
    EXPECT_EQ(e->GetDocument(&doc), E_FAIL);
    e->Release();
    p->Release();
    m_doc = NewDocument();
}

// Binding and unbinding in any order: the document's end unbinds exactly the elements bound
// to it then, wherever they stand among the others.
TEST_F(Document, AnEndingDocumentUnbindsWhatIsBoundToItThenAndNothingElse)
{
    IAPDocument6* other = NewDocument();
    ASSERT_NE(other, nullptr);
    IAPNode* nodes[5];
    IAPElement* elements[5];
    for (int i = 0; i < 5; ++i) {
        nodes[i] = NewNode(m_doc, CLSID_APPartNode, "N");
        elements[i] = Query<IAPElement>(nodes[i], IID_IAPElement);
    }
    IAPDocEventSink* otherSink = Query<IAPDocEventSink>(other, IID_IAPDocEventSink);
    ASSERT_NE(otherSink, nullptr);
    // The first, a middle and the last bound elsewhere; one bound to nothing.
    for (int i : {0, 2, 4}) EXPECT_EQ(elements[i]->BindDocument(otherSink), S_OK);
    EXPECT_EQ(elements[3]->BindDocument(nullptr), S_OK);
    EXPECT_EQ(elements[2]->BindDocument(otherSink), S_OK); // again: no change
    m_doc->Release();
    m_doc = nullptr;
    for (int i = 0; i < 5; ++i) {
        IAPDocument* doc = nullptr;
        const bool elsewhere = i % 2 == 0;
        EXPECT_EQ(elements[i]->GetDocument(&doc), elsewhere ? S_OK : E_FAIL) << i;
        if (doc) doc->Release();
    }
    otherSink->Release();
    other->Release();
    for (int i = 0; i < 5; ++i) {
        IAPDocument* doc = nullptr;
        EXPECT_EQ(elements[i]->GetDocument(&doc), E_FAIL) << i;
        elements[i]->Release();
        nodes[i]->Release();
    }
    m_doc = NewDocument();
}

TEST_F(Document, ImportMovesTheOtherDocumentsTopChildren)
{
    IAPDocument6* other = NewDocument();
    IAPNode* top = NewNode(other, CLSID_APAssemblyNode, "Top");
    IAPNode* x = NewNode(other, CLSID_APPartNode, "X");
    IAPNode* y = NewNode(other, CLSID_APAssemblyNode, "Y");
    IAPNode* z = NewNode(other, CLSID_APPartNode, "Z");
    ASSERT_EQ(other->AddChild(top, x), S_OK);
    ASSERT_EQ(other->AddChild(top, y), S_OK);
    ASSERT_EQ(other->AddChild(y, z), S_OK);
    x->Release();
    y->Release();
    z->Release();

    IAPNode* target = NewNode(m_doc, CLSID_APAssemblyNode, "Target");
    Sink(1);
    ASSERT_EQ(m_doc->ImportDocument(other, target), S_OK);
    EXPECT_EQ(ChildNames(target), (std::vector<std::string>{"X", "Y"}));
    EXPECT_TRUE(ChildNames(top).empty());
    EXPECT_EQ(Heard(), (Heard_t{{4, "X"}, {4, "Y"}}));
    // The moved subtree now reports to this document.
    IAPNode* yy = nullptr;
    ASSERT_EQ(target->GetChild(1, &yy), S_OK);
    IAPNode* zz = nullptr;
    ASSERT_EQ(yy->GetChild(0, &zz), S_OK);
    ASSERT_NO_FATAL_FAILURE(ExpectBoundTo(zz, m_doc));
    zz->Release();
    yy->Release();

    // A document without top-level nodes has nothing to import.
    IAPDocument6* empty = NewDocument();
    EXPECT_EQ(m_doc->ImportDocument(empty, target), E_FAIL);
    empty->Release();
    top->Release();
    other->Release();
    target->Release();
}

TEST_F(Document, DefaultsAreTheTopLevelFeaturesMarkedSo)
{
    IAPPointerList* list = Create<IAPPointerList>(CLSID_APPointerList, IID_IAPPointerList);
    IAPNode* p = NewNode(m_doc, CLSID_APPartNode, "P");
    EXPECT_EQ(m_doc->GetDefaults(list), S_OK);
    int n = -1;
    list->GetLength(&n);
    EXPECT_EQ(n, 0);
    p->Release();
    list->Release();
}

// ---------------------------------------------------------------------------------------

TEST_F(Document, ATreeOfEveryNodeKindComesBackFromItsFile)
{
    struct Kind {
        const CLSID* clsid;
        const char* name;
    };
    const Kind kinds[] = {
        {&CLSID_APAssemblyNode, "assembly"},   {&CLSID_APPartNode, "part"},
        {&CLSID_APFixtureNode, "fixture"},     {&CLSID_APTolLibNode, "tolerance library"},
        {&CLSID_APGroupNode, "group node"},    {&CLSID_APFeatureGroupNode, "feature group"},
        {&CLSID_APSubFeatureGroupNode, "sub-feature group"}, {&CLSID_APNodeInstance, "instance"},
    };
    IAPNode* top = NewNode(m_doc, CLSID_APAssemblyNode, "top");
    IAPNode* previous = top;
    previous->AddRef();
    for (const Kind& k : kinds) {
        IAPNode* n = NewNode(m_doc, *k.clsid, k.name);
        ASSERT_NE(n, nullptr) << k.name;
        const std::string note = std::string("note of ") + k.name;
        EXPECT_EQ(n->SetNote(Text(note.c_str())), S_OK);
        ASSERT_EQ(m_doc->AddChild(top, n), S_OK) << k.name;
        previous->Release();
        previous = n;
    }
    previous->Release();
    top->Release();
    EXPECT_EQ(m_doc->SetDocUnits(AP_UNIT_MILLIMETERS), S_OK);
    ASSERT_EQ(m_doc->SetProcessName(Text("all kinds")), S_OK);
    m_files.push_back(TempPath("kinds"));
    ASSERT_EQ(m_doc->Save(Text(m_files.back().c_str())), S_OK);

    IAPDocument6* again = NewDocument();
    ASSERT_EQ(again->OpenDocument(Text(m_files.back().c_str())), S_OK);
    APDocUnits units = AP_UNIT_UNKNOWN;
    EXPECT_EQ(again->GetDocUnits(&units), S_OK);
    EXPECT_EQ(units, AP_UNIT_MILLIMETERS);
    IAPNode* back = RootAt(again, 0);
    ASSERT_NE(back, nullptr);
    int n = 0;
    ASSERT_EQ(back->GetNumChildren(&n), S_OK);
    ASSERT_EQ(n, static_cast<int>(std::size(kinds)));
    for (int i = 0; i < n; ++i) {
        IAPNode* c = nullptr;
        ASSERT_EQ(back->GetChild(i, &c), S_OK);
        IAPElement* e = Query<IAPElement>(c, IID_IAPElement);
        GUID clsid{};
        e->GetClassID(&clsid);
        EXPECT_TRUE(IsEqualGUID(clsid, *kinds[i].clsid)) << kinds[i].name;
        EXPECT_EQ(NameOf(c), kinds[i].name);
        char note[256] = {};
        EXPECT_EQ(c->GetNote(reinterpret_cast<unsigned char*>(note)), S_OK);
        EXPECT_EQ(std::string(note), std::string("note of ") + kinds[i].name);
        ASSERT_NO_FATAL_FAILURE(ExpectBoundTo(e, again));
        e->Release();
        c->Release();
    }
    back->Release();
    again->Release();
}

// References that close a cycle, each built through the interfaces: when the document ends
// every element it had goes too, and an element the client still holds stays usable.
TEST_F(Document, ElementsHoldingEachOtherGoWithTheirDocument)
{
    m_doc->Release();
    m_doc = nullptr;
    struct Case {
        const char* name;
        // Builds the cycle; what it returns the client keeps past the document's end.
        std::function<IUnknown*(IAPDocument*, std::vector<IUnknown*>&)> build;
    };
    const Case cases[] = {
        {"point linked to its parent plane", [](IAPDocument* doc, std::vector<IUnknown*>& held) -> IUnknown* {
             IAPNode* plane = NewNode(doc, CLSID_APPlaneFeature, "plane");
             IAPNode* point = NewNode(doc, CLSID_APPointFeature, "point");
             held = {plane, point};
             EXPECT_EQ(doc->AddChild(plane, point), S_OK);
             auto* p = Query<IAPFeature7>(point, IID_IAPFeature7);
             auto* f = Query<IAPFeature>(plane, IID_IAPFeature);
             EXPECT_EQ(p->SetLinkedElement(f), S_OK);
             held.insert(held.end(), {p, f});
             return nullptr;
         }},
        {"related owner listing its member", [](IAPDocument* doc, std::vector<IUnknown*>& held) -> IUnknown* {
             auto* owner = Query<IAPFeature7>(NewNode(doc, CLSID_APPinFeature, "owner"), IID_IAPFeature7);
             auto* member = Query<IAPFeature7>(NewNode(doc, CLSID_APHoleFeature, "member"), IID_IAPFeature7);
             owner->Release(), member->Release(); // the creation references (the queries hold others)
             held = {owner, member};
             EXPECT_EQ(owner->AppendRelatedElement(member), S_OK);
             EXPECT_EQ(member->SetRelatedOwner(owner), S_OK);
             return nullptr;
         }},
        {"pin referencing itself", [](IAPDocument* doc, std::vector<IUnknown*>& held) -> IUnknown* {
             auto* pin = Query<IAPFeature8>(NewNode(doc, CLSID_APPinFeature, "pin"), IID_IAPFeature8);
             pin->Release();
             auto* gdt = static_cast<IAPGDTTolerance5*>(ElementOf(doc, CLSID_APGDTTolerance, IID_IAPGDTTolerance5));
             auto* tol = Query<IAPTolerance>(gdt, IID_IAPTolerance);
             held = {pin, gdt, tol};
             EXPECT_EQ(pin->AddTolerance(tol), S_OK);
             EXPECT_EQ(gdt->AppendReferenceFeature(pin, pin), S_OK);
             return nullptr;
         }},
        {"condition measuring its own operation", [](IAPDocument* doc, std::vector<IUnknown*>& held) -> IUnknown* {
             auto* op = Query<IAPOperation4>(NewNode(doc, CLSID_APMeasurementOperation, "gap"), IID_IAPOperation4);
             op->Release();
             auto* condition = static_cast<IAPCondition*>(ElementOf(doc, CLSID_APCondition, IID_IAPCondition));
             held = {op, condition};
             EXPECT_EQ(op->AppendCondition(condition), S_OK);
             EXPECT_EQ(condition->SetMeasurement1(op), S_OK);
             return nullptr;
         }},
        {"assembly operation listing its parent", [](IAPDocument* doc, std::vector<IUnknown*>& held) -> IUnknown* {
             IAPNode* parent = NewNode(doc, CLSID_APAssemblyNode, "parent");
             IAPNode* node = NewNode(doc, CLSID_APAssemblyOperation, "assemble");
             EXPECT_EQ(doc->AddChild(parent, node), S_OK);
             auto* op = Query<IAPAssemblyOperation3>(node, IID_IAPAssemblyOperation3);
             auto* e = Query<IAPElement>(parent, IID_IAPElement);
             held = {parent, node, e};
             EXPECT_EQ(op->AppendAssemblyOperationElement(e), S_OK);
             return op; // kept: usable after the end, its list empty
         }},
        {"measurement operation referencing its parent", [](IAPDocument* doc, std::vector<IUnknown*>& held) -> IUnknown* {
             IAPNode* parent = NewNode(doc, CLSID_APPartNode, "parent");
             IAPNode* node = NewNode(doc, CLSID_APMeasurementOperation, "gap");
             EXPECT_EQ(doc->AddChild(parent, node), S_OK);
             auto* op = Query<IAPMeasurementOperation7>(node, IID_IAPMeasurementOperation7);
             auto* e = Query<IAPElement>(parent, IID_IAPElement);
             held = {parent, node, op, e};
             EXPECT_EQ(op->AppendReferenceElement(e), S_OK);
             return nullptr;
         }},
        {"custom operation listing its grandparent", [](IAPDocument* doc, std::vector<IUnknown*>& held) -> IUnknown* {
             IAPNode* top = NewNode(doc, CLSID_APAssemblyNode, "top");
             IAPNode* parent = NewNode(doc, CLSID_APAssemblyNode, "parent");
             IAPNode* node = NewNode(doc, CLSID_APCustomOperation, "custom");
             EXPECT_EQ(doc->AddChild(top, parent), S_OK);
             EXPECT_EQ(doc->AddChild(parent, node), S_OK);
             auto* op = Query<IAPCustomOperation>(node, IID_IAPCustomOperation);
             auto* e = Query<IAPElement>(top, IID_IAPElement);
             held = {top, parent, node, op, e};
             EXPECT_EQ(op->AppendElement(Text("top"), e), S_OK);
             return nullptr;
         }},
    };
    for (const Case& c : cases) {
        const LONG live = LiveObjects();
        IAPDocument6* doc = NewDocument();
        std::vector<IUnknown*> held;
        IUnknown* kept = c.build(doc, held);
        for (IUnknown* p : held) p->Release();
        doc->Release();
        if (auto* op = Query<IAPAssemblyOperation3>(kept, IID_IAPAssemblyOperation3)) {
            int count = -1;
            EXPECT_EQ(op->GetAssemblyOperationNumElements(&count), S_OK) << c.name;
            EXPECT_EQ(count, 0) << c.name;
            auto* timed = Query<IAPOperation>(op, IID_IAPOperation);
            EXPECT_EQ(timed->SetOperationTime(4.0), S_OK) << c.name;
            timed->Release();
            op->Release();
        }
        if (kept) kept->Release();
        EXPECT_EQ(LiveObjects(), live) << c.name;
    }
    if (m_live == 0) {
        EXPECT_EQ(PlenvortDllCanUnloadNow(), S_OK);
    }
    m_doc = NewDocument();
}

} // namespace
