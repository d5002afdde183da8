#include <gtest/gtest.h>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "model/APNode.h"
#include "platform/atl/atlbase.h"
#include "platform/moniker/MkMoniker.h"
#include "platform/orv/ORVComCreate.h"
#include "platform/toolkit/WmObjectStream.h"
#include "element_support.h"

using namespace plenvort_test;

namespace {

// ---------------------------------------------------------------------------------------
// Helpers

IAPNode* NewNode(const CLSID& clsid) { return Create<IAPNode>(clsid, IID_IAPNode); }

int NumChildren(IAPNode* n) { return CountOf(n, &IAPNode::GetNumChildren); }

int NumParents(IAPNode* n) { return CountOf(n, &IAPNode::GetNumParents); }

IAPNode* Child(IAPNode* n, int i)
{
    IAPNode* c = nullptr;
    EXPECT_EQ(n->GetChild(i, &c), S_OK);
    if (c) c->Release(); // compared only; the tree holds the child
    return c;
}

std::string NameOf(IUnknown* p)
{
    IAPElement* e = Elem(p);
    unsigned char buf[1100] = {};
    EXPECT_EQ(e->GetName(buf), S_OK);
    e->Release();
    return reinterpret_cast<char*>(buf);
}

// The part lists keep their entries as IAPDatum / IAPDRF: bare pointers of the test's
// elements for the model calls, and handed-out entries back as IAPElement.
IAPDatum* AsDatum(IUnknown* p)
{
    IAPDatum* d = Query<IAPDatum>(p, IID_IAPDatum);
    if (d) d->Release();
    return d;
}

IAPDRF* AsFrame(IUnknown* p)
{
    IAPDRF* f = Query<IAPDRF>(p, IID_IAPDRF);
    if (f) f->Release();
    return f;
}

template <class T>
T* ItemOut(APPartNode* part, HRESULT (APPartNode::*get)(int, T**), int index)
{
    T* item = nullptr;
    EXPECT_EQ((part->*get)(index, &item), S_OK);
    return item;
}

template <class T>
IAPElement* ElementOf(T* typed)
{
    IAPElement* e = Query<IAPElement>(typed, IID_IAPElement);
    if (typed) typed->Release();
    return e;
}

void SetNameOf(IUnknown* p, const char* name)
{
    IAPElement* e = Elem(p);
    EXPECT_EQ(e->SetName(reinterpret_cast<unsigned char*>(const_cast<char*>(name))), S_OK);
    e->Release();
}

IAPNode* NewNode(const CLSID& clsid, const char* name)
{
    IAPNode* n = NewNode(clsid);
    SetNameOf(n, name);
    return n;
}

// Hears what an element tells its dependents; counts nothing, like every dependent.
class Watcher : public UncountedFake<IAPElementSink, &IID_IAPElementSink> {
public:
    std::vector<unsigned long> commands;
    std::function<void()> onDestroyed;

    HRESULT STDMETHODCALLTYPE Notify(unsigned long cmd, IAPElement*) override
    {
        commands.push_back(cmd);
        if (cmd == 3 && onDestroyed) onDestroyed();
        return S_OK;
    }
    void Watch(IUnknown* p)
    {
        IAPElement* e = Elem(p);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->AddDependent(this), S_OK);
        e->Release();
    }
    bool HeardDestruction() const
    {
        for (unsigned long c : commands)
            if (c == 3) return true;
        return false;
    }
};

// A node that refuses to be linked under anything.
class RefusingNode : public UncountedFake<IAPNode, &IID_IAPNode> {
public:
    HRESULT STDMETHODCALLTYPE AppendChild(IAPNode*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetChild(int, IAPNode**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE InsertChild(int, IAPNode*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveChildByIndex(int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveChild(IAPNode*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FindChild(IAPNode*, int*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNumChildren(int*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AppendParent(IAPNode*) override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE RemoveParent(IAPNode*) override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE GetNumParents(int* n) override
    {
        *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetParent(int, IAPNode**) override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE GetNote(unsigned char*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetNote(unsigned char*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNoteSize(int*) override { return E_NOTIMPL; }
};

// A document that answers what the node classes ask of one: export state, element
// creation and the copy records. Not counted.
class FakeDocument : public IAPDocEventSink, public DocumentStub {
public:
    int exportFlag = 0;
    IAPElement* exported = nullptr; // not held
    int created = 0;
    bool refuseCreation = false;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IAPDocEventSink) *out = static_cast<IAPDocEventSink*>(this);
        else if (iid == IID_IAPDocument || iid == IID_IAPDocument2) *out = static_cast<IAPDocument2*>(this);
        else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    std::vector<IID> changed; // interfaces named by element-changed events
    HRESULT STDMETHODCALLTYPE Notify(unsigned short cmd, IAPElement*, unsigned long length, unsigned char* message) override
    {
        if (cmd == 1 && length == 16 && message) {
            IID iid;
            std::memcpy(&iid, message, sizeof iid);
            changed.push_back(iid);
        }
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetExportInfo(int* flag, IAPElement** elem) override
    {
        *flag = exportFlag;
        *elem = exportFlag ? exported : nullptr;
        if (*elem) (*elem)->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CreateProcessElement(GUID* id, GUID* iid, ULONG_PTR* out) override
    {
        if (refuseCreation) return E_FAIL;
        ++created;
        return ORVCoCreateInstance(*id, nullptr, CLSCTX_INPROC_SERVER, *iid, reinterpret_cast<void**>(out));
    }
    IAPDocEventSink* Sink() { return this; }
};

void Bind(IUnknown* p, FakeDocument& doc)
{
    IAPElement* e = Elem(p);
    EXPECT_EQ(e->BindDocument(doc.Sink()), S_OK);
    e->Release();
}

// ---------------------------------------------------------------------------------------
// Element records over memory, the way the document frames them

const WmGUID kEndMarker = [] {
    GUID g;
    std::memset(&g, 0xFF, sizeof g);
    return WmGUID(g);
}();


void WriteRecord(Writer& w, IUnknown* node)
{
    IAPElement* e = Elem(node);
    ASSERT_NE(e, nullptr);
    GUID id{};
    ASSERT_EQ(e->GetClassID(&id), S_OK);
    ASSERT_TRUE(w.out.write(WmGUID(id)));
    ASSERT_EQ(e->Serialize(w.Handle()), S_OK);
    e->Release();
}

void WriteTree(Writer& w, IAPNode* node)
{
    WriteRecord(w, node);
    for (int i = 0; i < NumChildren(node); ++i) WriteTree(w, Child(node, i));
}

void FixupTree(IAPNode* node)
{
    // A node answers 1; a part node, which goes on to its own lists, 0.
    EXPECT_EQ(ModelOf(node)->FixupLists(), dynamic_cast<APPartNode*>(ModelOf(node)) ? 0 : 1);
    for (int i = 0; i < NumChildren(node); ++i) FixupTree(Child(node, i));
}

// Reads records up to the end marker and links them; answers the first record's node.
IAPNode* ReadTree(Reader& r)
{
    std::vector<IAPElement*> made;
    for (;;) {
        WmGUID id;
        if (!r.in.read(id)) break;
        if (id.data2 == 0xFFFF) break;
        IAPElement* e = Create<IAPElement>(id.toGUID(), IID_IAPElement);
        if (!e) break;
        made.push_back(e);
        EXPECT_EQ(e->Deserialize(r.Handle()), S_OK);
    }
    if (made.empty()) return nullptr;
    IAPNode* root = Query<IAPNode>(made[0], IID_IAPNode);
    if (root) FixupTree(root);
    for (IAPElement* e : made) e->Release();
    return root;
}

// Every test ends with no object and no lock left over.
using Nodes = ObjectsTest;

} // namespace

// ---------------------------------------------------------------------------------------
// Links and references

TEST_F(Nodes, EachDistinctParentHoldsOneReference)
{
    IAPNode* a = NewNode(CLSID_APAssemblyNode);
    IAPNode* b = NewNode(CLSID_APAssemblyNode);
    IAPNode* part = NewNode(CLSID_APPartNode);
    ULONG alone = RefCount(part);

    EXPECT_EQ(a->AppendChild(part), S_OK);
    EXPECT_EQ(RefCount(part), alone + 1);
    EXPECT_EQ(a->AppendChild(part), S_OK) << "a second append changes nothing";
    EXPECT_EQ(NumChildren(a), 1);
    EXPECT_EQ(RefCount(part), alone + 1);

    EXPECT_EQ(b->AppendChild(part), S_OK);
    EXPECT_EQ(RefCount(part), alone + 2);
    EXPECT_EQ(NumParents(part), 2);
    IAPNode* p = nullptr;
    EXPECT_EQ(part->GetParent(1, &p), S_OK);
    EXPECT_EQ(p, b);
    p->Release();
    EXPECT_EQ(part->GetParent(2, &p), E_FAIL);
    EXPECT_EQ(part->GetParent(-1, &p), E_FAIL);

    EXPECT_EQ(a->RemoveChild(part), S_OK);
    EXPECT_EQ(RefCount(part), alone + 1);
    EXPECT_EQ(NumParents(part), 1);
    EXPECT_EQ(a->RemoveChild(part), E_FAIL) << "no longer a child";
    EXPECT_EQ(b->RemoveChildByIndex(0), S_OK);
    EXPECT_EQ(RefCount(part), alone);
    EXPECT_EQ(NumParents(part), 0);

    part->Release();
    a->Release();
    b->Release();
}

TEST_F(Nodes, ChildrenKeepTheirOrder)
{
    IAPNode* root = NewNode(CLSID_APAssemblyNode);
    IAPNode* n[4];
    for (auto*& x : n) x = NewNode(CLSID_APPartNode);
    EXPECT_EQ(root->AppendChild(n[0]), S_OK);
    EXPECT_EQ(root->AppendChild(n[2]), S_OK);
    EXPECT_EQ(root->InsertChild(1, n[1]), S_OK);
    EXPECT_EQ(root->InsertChild(3, n[3]), S_OK) << "at the count: appended";
    EXPECT_EQ(root->InsertChild(5, n[3]), E_FAIL);
    EXPECT_EQ(root->InsertChild(-1, n[3]), E_FAIL);
    ASSERT_EQ(NumChildren(root), 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(Child(root, i), n[i]);
    int at = 7;
    EXPECT_EQ(root->FindChild(n[2], &at), S_OK);
    EXPECT_EQ(at, 2);
    IAPNode* stranger = NewNode(CLSID_APPartNode);
    EXPECT_EQ(root->FindChild(stranger, &at), S_OK);
    EXPECT_EQ(at, -1);
    EXPECT_EQ(root->RemoveChildByIndex(4), E_FAIL);
    EXPECT_EQ(root->RemoveChildByIndex(-1), E_FAIL);
    EXPECT_EQ(root->RemoveChildByIndex(1), S_OK);
    EXPECT_EQ(Child(root, 1), n[2]) << "later entries move down";
    IAPNode* c = nullptr;
    EXPECT_EQ(root->GetChild(3, &c), E_FAIL);
    EXPECT_EQ(root->AppendChild(nullptr), E_FAIL);
    EXPECT_EQ(root->InsertChild(0, nullptr), E_FAIL);
    EXPECT_EQ(root->AppendParent(nullptr), E_FAIL);
    EXPECT_EQ(root->RemoveParent(nullptr), E_FAIL);
    stranger->Release();
    for (auto* x : n) x->Release();
    root->Release();
}

TEST_F(Nodes, ALinkKeepsTheChildAliveAndItsEndIsHeard)
{
    IAPNode* root = NewNode(CLSID_APAssemblyNode);
    IAPNode* part = NewNode(CLSID_APPartNode);
    Watcher watcher;
    watcher.Watch(part);
    ASSERT_EQ(root->AppendChild(part), S_OK);
    part->Release(); // only the link holds it now
    EXPECT_FALSE(watcher.HeardDestruction());
    EXPECT_EQ(NumChildren(root), 1);

    LONG before = AtlModuleLockCount();
    EXPECT_EQ(root->RemoveChildByIndex(0), S_OK);
    EXPECT_EQ(watcher.commands, std::vector<unsigned long>{3});
    EXPECT_EQ(AtlModuleLockCount(), before - 1) << "the child is gone";
    EXPECT_EQ(NumChildren(root), 0);
    root->Release();
}

TEST_F(Nodes, ADestroyedParentLetsGoOfEveryChildOnce)
{
    IAPNode* root = NewNode(CLSID_APAssemblyNode);
    IAPNode* kept = NewNode(CLSID_APPartNode);
    IAPNode* orphan = NewNode(CLSID_APPartNode);
    IAPNode* grandchild = NewNode(CLSID_APPinFeature);
    Watcher rootWatch, keptWatch, orphanWatch, grandWatch;
    rootWatch.Watch(root);
    keptWatch.Watch(kept);
    orphanWatch.Watch(orphan);
    grandWatch.Watch(grandchild);
    ULONG keptAlone = RefCount(kept);

    ASSERT_EQ(root->AppendChild(kept), S_OK);
    ASSERT_EQ(root->InsertChild(0, kept), S_OK);
    ASSERT_EQ(root->AppendChild(orphan), S_OK);
    ASSERT_EQ(orphan->AppendChild(grandchild), S_OK);
    orphan->Release();
    grandchild->Release();

    root->Release();
    EXPECT_TRUE(rootWatch.HeardDestruction());
    EXPECT_TRUE(orphanWatch.HeardDestruction()) << "nothing else held it";
    EXPECT_TRUE(grandWatch.HeardDestruction()) << "its parent's end ends it too";
    EXPECT_FALSE(keptWatch.HeardDestruction());
    EXPECT_EQ(NumParents(kept), 0);
    EXPECT_EQ(RefCount(kept), keptAlone) << "two entries, one link, released once";
    kept->Release();
    EXPECT_TRUE(keptWatch.HeardDestruction());
}

TEST_F(Nodes, ARepeatedEntrySharesTheLinkUntilTheLastEntryGoes)
{
    IAPNode* root = NewNode(CLSID_APAssemblyNode);
    IAPNode* part = NewNode(CLSID_APPartNode);
    ULONG alone = RefCount(part);
    ASSERT_EQ(root->InsertChild(0, part), S_OK);
    ASSERT_EQ(root->InsertChild(0, part), S_OK);
    EXPECT_EQ(NumChildren(root), 2);
    EXPECT_EQ(NumParents(part), 1);
    EXPECT_EQ(RefCount(part), alone + 1);

    EXPECT_EQ(root->RemoveChildByIndex(1), S_OK);
    EXPECT_EQ(NumChildren(root), 1);
    EXPECT_EQ(NumParents(part), 1) << "the remaining entry still links it";
    EXPECT_EQ(RefCount(part), alone + 1);
    EXPECT_EQ(root->RemoveChild(part), S_OK);
    EXPECT_EQ(NumParents(part), 0);
    EXPECT_EQ(RefCount(part), alone);
    part->Release();
    root->Release();
}

// A long children list is indexed: appending, finding and removing keep the rules of a short
// one, written and read back too.
TEST_F(Nodes, ALongChildrenListKeepsTheRulesOfAShortOne)
{
    IAPNode* root = NewNode(CLSID_APAssemblyNode, "root");
    std::vector<IAPNode*> kids(100);
    for (size_t i = 0; i < kids.size(); ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "k%zu", i);
        kids[i] = NewNode(CLSID_APPartNode, name);
        ASSERT_EQ(root->AppendChild(kids[i]), S_OK);
    }
    IAPNode* k = kids[50];
    const ULONG linked = RefCount(k);
    EXPECT_EQ(root->AppendChild(k), S_OK) << "already there: nothing changes";
    EXPECT_EQ(NumChildren(root), 100);
    EXPECT_EQ(RefCount(k), linked);

    ASSERT_EQ(root->InsertChild(3, k), S_OK); // a second entry, in front of the first
    int at = -2;
    EXPECT_EQ(root->FindChild(k, &at), S_OK);
    EXPECT_EQ(at, 3);
    EXPECT_EQ(NumParents(k), 1);
    EXPECT_EQ(RefCount(k), linked) << "two entries share one link";
    EXPECT_EQ(root->RemoveChild(k), S_OK);
    root->FindChild(k, &at);
    EXPECT_EQ(at, 50) << "the first entry went";
    EXPECT_EQ(NumParents(k), 1);
    EXPECT_EQ(root->RemoveChild(k), S_OK);
    root->FindChild(k, &at);
    EXPECT_EQ(at, -1);
    EXPECT_EQ(NumParents(k), 0);
    EXPECT_EQ(RefCount(k), linked - 1);
    EXPECT_EQ(root->RemoveChild(k), E_FAIL);
    EXPECT_EQ(root->AppendChild(k), S_OK);
    EXPECT_EQ(Child(root, 99), k);
    EXPECT_EQ(Child(root, 50), kids[51]);
    ASSERT_EQ(root->InsertChild(0, kids[7]), S_OK);

    Writer w;
    ASSERT_NO_FATAL_FAILURE(WriteTree(w, root));
    ASSERT_TRUE(w.out.write(kEndMarker));
    Reader r(w.bytes.Bytes());
    IAPNode* copy = ReadTree(r);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(NumChildren(copy), 101);
    EXPECT_EQ(NameOf(Child(copy, 0)), "k7");
    EXPECT_EQ(NameOf(Child(copy, 8)), "k7");
    EXPECT_EQ(NameOf(Child(copy, 100)), "k50");
    IAPNode* again = Child(copy, 99);
    EXPECT_EQ(copy->AppendChild(again), S_OK);
    EXPECT_EQ(NumChildren(copy), 101);
    copy->Release();

    // The end of the parent lets go of every child once, the repeated one too.
    root->Release();
    for (IAPNode* kid : kids) {
        EXPECT_EQ(NumParents(kid), 0);
        kid->Release();
    }
}

TEST_F(Nodes, CyclesAndRefusedLinksLeaveNothingBehind)
{
    IAPNode* a = NewNode(CLSID_APAssemblyNode);
    IAPNode* b = NewNode(CLSID_APAssemblyNode);
    IAPNode* c = NewNode(CLSID_APPartNode);
    ASSERT_EQ(a->AppendChild(b), S_OK);
    ASSERT_EQ(b->AppendChild(c), S_OK);

    EXPECT_EQ(a->AppendChild(a), E_FAIL);
    EXPECT_EQ(c->AppendChild(a), E_FAIL) << "a is above c";
    EXPECT_EQ(c->InsertChild(0, b), E_FAIL);
    EXPECT_EQ(a->AppendParent(c), E_FAIL) << "the child's half refuses the cycle as well";
    EXPECT_EQ(NumChildren(c), 0);
    EXPECT_EQ(NumParents(a), 0);
    EXPECT_EQ(NumChildren(a), 1);

    RefusingNode refusing;
    EXPECT_EQ(a->AppendChild(&refusing), E_FAIL);
    EXPECT_EQ(a->InsertChild(0, &refusing), E_FAIL);
    EXPECT_EQ(NumChildren(a), 1) << "no entry without the child's half";

    c->Release();
    b->Release();
    a->Release();
}

TEST_F(Nodes, ANodeWithoutWrapperRefusesLinks)
{
    APPartNode loose;
    IAPNode* other = NewNode(CLSID_APPartNode);
    EXPECT_EQ(loose.AppendChild(other), E_FAIL);
    EXPECT_EQ(loose.InsertChild(0, other), E_FAIL);
    EXPECT_EQ(loose.AppendParent(other), E_FAIL);
    EXPECT_EQ(loose.RemoveParent(other), E_FAIL);
    EXPECT_EQ(loose.NotifyDeletion(), E_FAIL);
    int n = -1;
    EXPECT_EQ(loose.GetNumChildren(&n), S_OK);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(NumParents(other), 0);
    other->Release();
}

TEST_F(Nodes, NotesThroughTheInterface)
{
    IAPNode* n = NewNode(CLSID_APPartNode);
    int size = -1;
    EXPECT_EQ(n->GetNoteSize(&size), S_OK);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(n->SetNote(Text("check the bore")), S_OK);
    EXPECT_EQ(n->GetNoteSize(&size), S_OK);
    EXPECT_EQ(size, 14);
    unsigned char buf[32] = {};
    EXPECT_EQ(n->GetNote(buf), S_OK);
    EXPECT_STREQ(reinterpret_cast<char*>(buf), "check the bore");
    auto* n3 = Query<IAPNode3>(n, IID_IAPNode3);
    EXPECT_EQ(n3->SetNote2(Text("scratch")), S_OK);
    EXPECT_EQ(n3->GetNote2Size(&size), S_OK);
    EXPECT_EQ(size, 7);
    EXPECT_EQ(n3->GetNote2(buf), S_OK);
    EXPECT_STREQ(reinterpret_cast<char*>(buf), "scratch");
    n3->Release();
    n->Release();
}

TEST_F(Nodes, LinkChangesOnTheParentAreAnnounced)
{
    FakeDocument doc;
    IAPNode* root = NewNode(CLSID_APAssemblyNode);
    IAPNode* part = NewNode(CLSID_APPartNode);
    Bind(root, doc);
    Bind(part, doc);
    EXPECT_EQ(root->AppendChild(part), S_OK);
    EXPECT_EQ(root->InsertChild(0, part), S_OK);
    EXPECT_EQ(root->RemoveChildByIndex(0), S_OK);
    EXPECT_EQ(root->RemoveChild(part), S_OK);
    EXPECT_EQ(root->SetNote(Text("n")), S_OK);
    ASSERT_EQ(doc.changed.size(), 5u);
    for (const IID& iid : doc.changed) EXPECT_TRUE(iid == IID_IAPNode);

    // The child's half alone, the second note and failures are quiet.
    doc.changed.clear();
    EXPECT_EQ(part->AppendParent(root), S_OK);
    EXPECT_EQ(part->RemoveParent(root), S_OK);
    EXPECT_EQ(root->RemoveChild(part), E_FAIL);
    auto* n3 = Query<IAPNode3>(root, IID_IAPNode3);
    EXPECT_EQ(n3->SetNote2(Text("m")), S_OK);
    n3->Release();
    EXPECT_TRUE(doc.changed.empty());
    part->Release();
    root->Release();
}

// ---------------------------------------------------------------------------------------
// Upward queries

namespace {

// part -> feature group -> pattern -> pin -> sub-feature group -> point
struct FeatureChain {
    IAPNode* part = NewNode(CLSID_APPartNode, "part");
    IAPNode* group = NewNode(CLSID_APFeatureGroupNode, "group");
    IAPNode* pattern = NewNode(CLSID_APPatternFeature, "pattern");
    IAPNode* pin = NewNode(CLSID_APPinFeature, "pin");
    IAPNode* sub = NewNode(CLSID_APSubFeatureGroupNode, "sub");
    IAPNode* point = NewNode(CLSID_APPointFeature, "point");
    FeatureChain()
    {
        EXPECT_EQ(part->AppendChild(group), S_OK);
        EXPECT_EQ(group->AppendChild(pattern), S_OK);
        EXPECT_EQ(pattern->AppendChild(pin), S_OK);
        EXPECT_EQ(pin->AppendChild(sub), S_OK);
        EXPECT_EQ(sub->AppendChild(point), S_OK);
    }
    ~FeatureChain()
    {
        for (IAPNode* n : {point, sub, pin, pattern, group, part}) n->Release();
    }
};

// Calls one of the IAPNode2 queries; *out is preset to a marker so that "unwritten" shows.
IAPNode* const kUnwritten = reinterpret_cast<IAPNode*>(0x1);
HRESULT Ask(IAPNode* n, HRESULT (STDMETHODCALLTYPE IAPNode2::*query)(IAPNode**), IAPNode** out)
{
    IAPNode2* n2 = Query<IAPNode2>(n, IID_IAPNode2);
    *out = kUnwritten;
    HRESULT hr = (n2->*query)(out);
    n2->Release();
    if (*out && *out != kUnwritten) (*out)->Release(); // compared only
    return hr;
}

} // namespace

TEST_F(Nodes, PartNodeOfAChainOfFeatures)
{
    FeatureChain c;
    IAPNode* found = nullptr;
    for (IAPNode* n : {c.part, c.group, c.pattern, c.pin}) {
        EXPECT_EQ(Ask(n, &IAPNode2::GetPartNode, &found), S_OK) << NameOf(n);
        EXPECT_EQ(found, c.part);
    }
    EXPECT_EQ(Ask(c.pin, &IAPNode2::GetPartNodeOfFeature, &found), S_OK);
    EXPECT_EQ(found, c.part) << "feature under a pattern inside a feature group of a part";
    EXPECT_EQ(Ask(c.pattern, &IAPNode2::GetPartNodeOfFeature, &found), S_OK);
    EXPECT_EQ(found, c.part);
    EXPECT_EQ(Ask(c.point, &IAPNode2::GetPartNodeOfFeature, &found), S_OK);
    EXPECT_EQ(found, c.part) << "a point below a sub-feature group climbs through its parent feature";
    EXPECT_EQ(Ask(c.group, &IAPNode2::GetPartNodeOfFeature, &found), E_FAIL) << "not a feature";
    EXPECT_EQ(Ask(c.sub, &IAPNode2::GetPartNode, &found), E_FAIL)
        << "above a sub-feature group, a feature under a pattern is not an accepted chain";

    // part -> hole -> sub-feature group: accepted.
    IAPNode* hole = NewNode(CLSID_APHoleFeature);
    IAPNode* sub2 = NewNode(CLSID_APSubFeatureGroupNode);
    ASSERT_EQ(c.part->AppendChild(hole), S_OK);
    ASSERT_EQ(hole->AppendChild(sub2), S_OK);
    EXPECT_EQ(Ask(sub2, &IAPNode2::GetPartNode, &found), S_OK);
    EXPECT_EQ(found, c.part);
    sub2->Release();
    hole->Release();

    EXPECT_EQ(Ask(c.point, &IAPNode2::GetParentFeature, &found), S_OK);
    EXPECT_EQ(found, c.pin);
    EXPECT_EQ(Ask(c.pin, &IAPNode2::GetParentFeature, &found), E_FAIL) << "only point features ask";
}

TEST_F(Nodes, UpwardQueriesWithoutAPartOrParent)
{
    IAPNode* asm1 = NewNode(CLSID_APAssemblyNode);
    IAPNode* asm2 = NewNode(CLSID_APAssemblyNode);
    IAPNode* pin = NewNode(CLSID_APPinFeature);
    IAPNode* point = NewNode(CLSID_APPointFeature);
    IAPNode* found = nullptr;

    EXPECT_EQ(Ask(asm1, &IAPNode2::GetPartNode, &found), E_FAIL);
    ASSERT_EQ(asm1->AppendChild(asm2), S_OK);
    EXPECT_EQ(Ask(asm2, &IAPNode2::GetPartNode, &found), S_OK);
    EXPECT_EQ(found, kUnwritten) << "not a node that lives under a part";

    ASSERT_EQ(asm2->AppendChild(pin), S_OK);
    EXPECT_EQ(Ask(pin, &IAPNode2::GetPartNode, &found), E_FAIL) << "a feature under an assembly breaks the chain";
    EXPECT_EQ(Ask(pin, &IAPNode2::GetPartNodeOfFeature, &found), S_OK);
    EXPECT_EQ(found, kUnwritten);

    EXPECT_EQ(Ask(point, &IAPNode2::GetParentFeature, &found), E_FAIL);
    EXPECT_EQ(NumParents(point), 0);
    EXPECT_EQ(Ask(point, &IAPNode2::GetPartNodeOfFeature, &found), E_FAIL);

    point->Release();
    pin->Release();
    asm2->Release();
    asm1->Release();
}

// ---------------------------------------------------------------------------------------
// Blocks

TEST_F(Nodes, ATreeSurvivesAWriteAndRead)
{
    IAPNode* root = NewNode(CLSID_APAssemblyNode, "root");
    IAPNode* sub = NewNode(CLSID_APAssemblyNode, "sub");
    IAPNode* part = NewNode(CLSID_APPartNode, "part");
    IAPNode* fixture = NewNode(CLSID_APFixtureNode, "fixture");
    IAPNode* lib = NewNode(CLSID_APTolLibNode, "lib");
    ASSERT_EQ(root->AppendChild(sub), S_OK);
    ASSERT_EQ(root->AppendChild(lib), S_OK);
    ASSERT_EQ(sub->AppendChild(fixture), S_OK);
    ASSERT_EQ(sub->InsertChild(0, part), S_OK);
    ASSERT_EQ(sub->AppendChild(part) , S_OK); // already there: nothing changes
    ASSERT_EQ(sub->InsertChild(2, part), S_OK); // a repeated entry
    EXPECT_EQ(part->SetNote(Text("first note")), S_OK);
    auto* p3 = Query<IAPNode3>(part, IID_IAPNode3);
    EXPECT_EQ(p3->SetNote2(Text("not kept")), S_OK);
    p3->Release();

    auto* am = Model<APAssemblyNode>(sub);
    am->SetIntPair(4, 5);
    am->SetNodeString("C:\\asm\\sub.asm");
    IORVDataMoniker* mk = nullptr;
    ASSERT_EQ(MkCreateMoniker("C:\\asm\\sub.asm", &mk), S_OK);
    am->SetDataMoniker(mk);
    mk->Release();

    auto* pm = Model<APPartNode>(part);
    const float transform[16] = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 10, 20, 30, 1};
    pm->SetFloatMatrix(transform);
    pm->SetNodeString("C:\\parts\\p.prt");
    pm->SetFlag1();
    pm->SetFlag2();
    pm->SetVector(1, 2, 3);
    pm->SetScalar(0.5);
    pm->SetIntValue1(11);
    pm->SetIntValue2(12);
    pm->SetIntPair(13, 14);
    pm->SetIntValue3(15);
    IAPElement* datum = Create<IAPElement>(CLSID_APDatum, IID_IAPElement);
    IAPElement* frame = Create<IAPElement>(CLSID_APDRF, IID_IAPElement);
    SetNameOf(datum, "A");
    SetNameOf(frame, "A|B");
    pm->AppendListItem2(AsDatum(datum));
    pm->AppendListItem(AsFrame(frame));
    datum->Release();
    frame->Release();
    Model<APFixtureNode>(fixture)->SetFixtureValue(9);

    Writer w;
    WriteTree(w, root);
    ASSERT_TRUE(w.out.write(kEndMarker));
    for (IAPNode* n : {lib, fixture, part, sub}) n->Release();
    root->Release();
    EXPECT_EQ(AtlModuleLockCount(), baseline) << "the whole tree went with its root";

    Reader r(w.bytes.Bytes());
    IAPNode* back = ReadTree(r);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(NameOf(back), "root");
    ASSERT_EQ(NumChildren(back), 2);
    IAPNode* sub2 = Child(back, 0);
    EXPECT_EQ(NameOf(sub2), "sub");
    EXPECT_EQ(NameOf(Child(back, 1)), "lib");
    EXPECT_NE(Model<APTolLibNode>(Child(back, 1)), nullptr);
    ASSERT_EQ(NumChildren(sub2), 3);
    IAPNode* part2 = Child(sub2, 0);
    EXPECT_EQ(NameOf(part2), "part");
    EXPECT_EQ(NameOf(Child(sub2, 1)), "fixture");
    EXPECT_EQ(Child(sub2, 2), part2) << "the repeated entry comes back as the same node";
    EXPECT_EQ(NumParents(part2), 1);
    EXPECT_EQ(NumParents(sub2), 1);

    unsigned char buf[64] = {};
    EXPECT_EQ(part2->GetNote(buf), S_OK);
    EXPECT_STREQ(reinterpret_cast<char*>(buf), "first note");
    auto* p32 = Query<IAPNode3>(part2, IID_IAPNode3);
    EXPECT_EQ(p32->GetNote2(buf), S_OK);
    EXPECT_STREQ(reinterpret_cast<char*>(buf), "");
    p32->Release();

    auto* am2 = Model<APAssemblyNode>(sub2);
    int a = 0, b = 0;
    am2->GetIntPair(&a, &b);
    EXPECT_EQ(a, 4);
    EXPECT_EQ(b, 5);
    CString s;
    am2->GetNodeString(s);
    EXPECT_STREQ(s.GetString(), "C:\\asm\\sub.asm");
    IORVDataMoniker* mk2 = nullptr;
    am2->GetDataMoniker(&mk2);
    ASSERT_NE(mk2, nullptr);
    EXPECT_EQ(MkGetPath(mk2), "C:\\asm\\sub.asm");
    mk2->Release();

    auto* pm2 = Model<APPartNode>(part2);
    float t[16] = {};
    float* tp = t;
    pm2->GetFloatMatrix(&tp);
    EXPECT_EQ(std::memcmp(t, transform, sizeof t), 0);
    pm2->GetNodeString(s);
    EXPECT_STREQ(s.GetString(), "C:\\parts\\p.prt");
    int v = 0;
    pm2->GetFlag1(&v);
    EXPECT_EQ(v, 1);
    pm2->GetFlag2(&v);
    EXPECT_EQ(v, 1);
    double x = 0, y = 0, z = 0;
    pm2->GetVector(&x, &y, &z);
    EXPECT_EQ(x + y + z, 6.0);
    pm2->GetScalar(&x);
    EXPECT_EQ(x, 0.5);
    pm2->GetIntValue1(&v);
    EXPECT_EQ(v, 11);
    pm2->GetIntValue2(&v);
    EXPECT_EQ(v, -1) << "integer value 2 is not written";
    pm2->GetIntPair(&a, &b);
    EXPECT_EQ(a * 100 + b, 1314);
    pm2->GetIntValue3(&v);
    EXPECT_EQ(v, 15);
    EXPECT_EQ(pm2->GetStoredFormatVersion(), 8);
    pm2->GetNumListItems(&v);
    EXPECT_EQ(v, 1);
    pm2->GetNumListItems2(&v);
    EXPECT_EQ(v, 1);
    IAPElement* item = nullptr;
    item = ElementOf(ItemOut(pm2, &APPartNode::GetListItem, 0));
    EXPECT_EQ(NameOf(item), "A|B");
    item->Release();
    item = ElementOf(ItemOut(pm2, &APPartNode::GetListItem2, 0));
    EXPECT_EQ(NameOf(item), "A");
    item->Release();
    Model<APFixtureNode>(Child(sub2, 1))->GetFixtureValue(&v);
    EXPECT_EQ(v, 9);

    back->Release();
}

TEST_F(Nodes, FixupActsOnlyOnWhatAReadLeftPending)
{
    IAPNode* root = NewNode(CLSID_APAssemblyNode);
    IAPNode* part = NewNode(CLSID_APPartNode);
    ASSERT_EQ(root->AppendChild(part), S_OK);
    ULONG linked = RefCount(part);
    IAPElement* e = Elem(root);
    EXPECT_EQ(e->FixupLists(), S_OK);
    EXPECT_EQ(ModelOf(root)->FixupLists(), 1);
    EXPECT_EQ(NumChildren(root), 1);
    EXPECT_EQ(RefCount(part), linked);

    // Read back, a second fix-up changes nothing either.
    Writer w;
    WriteTree(w, root);
    ASSERT_TRUE(w.out.write(kEndMarker));
    Reader r(w.bytes.Bytes());
    IAPNode* back = ReadTree(r);
    ASSERT_NE(back, nullptr);
    IAPElement* be = Elem(back);
    EXPECT_EQ(be->FixupLists(), S_OK);
    EXPECT_EQ(NumChildren(back), 1);
    EXPECT_EQ(NumParents(Child(back, 0)), 1);
    be->Release();
    back->Release();
    e->Release();
    part->Release();
    root->Release();
}

TEST_F(Nodes, AStreamThatMakesACycleIsCutWhileLinking)
{
    // a -> b -> a: the second link would close the cycle.
    IAPNode* a = NewNode(CLSID_APAssemblyNode);
    IAPNode* b = NewNode(CLSID_APAssemblyNode);
    ASSERT_EQ(a->AppendChild(b), S_OK);
    Writer w;
    WriteRecord(w, a);
    // b's record, written by hand with a as its child.
    IAPElement* be = Elem(b);
    ASSERT_TRUE(w.out.write(WmGUID(CLSID_APAssemblyNode)));
    ASSERT_EQ(Model<APNode>(b)->APElement::Serialize(w.Stream()), S_OK);
    int numberA = 0;
    IAPElement* ae = Elem(a);
    ASSERT_TRUE(w.out.ptr2num(ae, &numberA));
    ASSERT_TRUE(w.out.write(2) && w.out.write(1) && w.out.write(numberA) && w.out.write(WmString("")));
    ASSERT_TRUE(w.out.write(1) && w.out.write(4) && w.out.write(-1) && w.out.write(-1) && w.out.write(WmString("")) &&
                w.out.write(0));
    ASSERT_TRUE(w.out.write(kEndMarker));
    ae->Release();
    be->Release();
    b->Release();
    a->Release();

    Reader r(w.bytes.Bytes());
    IAPNode* back = ReadTree(r);
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(NumChildren(back), 1);
    EXPECT_EQ(NumChildren(Child(back, 0)), 0) << "the link back to the root is left out";
    EXPECT_EQ(NumParents(back), 0);
    back->Release();
}

TEST_F(Nodes, AVersionOneNodeBlockCarriesItsProperties)
{
    IAPNode* source = NewNode(CLSID_APTolLibNode);
    IAPProperty* prop = Create<IAPProperty>(CLSID_APIntProperty, IID_IAPProperty);
    auto* ip = Query<IAPIntProperty>(prop, IID_IAPIntProperty);
    ip->SetValue(7);
    ip->Release();

    Writer w;
    ASSERT_EQ(Model<APNode>(source)->APElement::Serialize(w.Stream()), S_OK);
    ASSERT_TRUE(w.out.write(1) && w.out.write(0) && w.out.write(WmString("old note")));
    ASSERT_TRUE(w.out.write(1) && w.out.write(WmString("torque")) && w.out.write(WmGUID(CLSID_APIntProperty)));
    ASSERT_EQ(prop->write(w.Handle()), S_OK);
    ASSERT_TRUE(w.out.write(1) && w.out.write(1)); // geometry node and tolerance-library node versions
    prop->Release();
    source->Release();

    Reader r(w.bytes.Bytes());
    IAPElement* e = Create<IAPElement>(CLSID_APTolLibNode, IID_IAPElement);
    ASSERT_EQ(e->Deserialize(r.Handle()), S_OK);
    auto* node = Model<APNode>(e);
    CString note;
    node->GetNote(note);
    EXPECT_STREQ(note.GetString(), "old note");
    ASSERT_EQ(node->Properties().size(), 1u);
    EXPECT_STREQ(node->Properties().begin()->first.GetString(), "torque");
    IAPProperty* got = node->Properties().begin()->second;
    long persistent = 1;
    EXPECT_EQ(got->GetPersistanceFlag(&persistent), S_OK);
    EXPECT_EQ(persistent, 0) << "not marked persistent";
    auto* gi = Query<IAPIntProperty>(got, IID_IAPIntProperty);
    int value = 0;
    gi->GetValue(&value);
    EXPECT_EQ(value, 7);
    gi->Release();
    e->Release();
}

namespace {

// The part node's own fields of one older block, after a geometry-node block.
void WriteGeometryPrefix(Writer& w, IAPNode* node)
{
    ASSERT_EQ(Model<APGeometryNode>(node)->APGeometryNode::Serialize(w.Stream()), S_OK);
}

const float kTurned[16] = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 5, 6, 7, 1};

} // namespace

TEST_F(Nodes, DamagedNodeBlocksFailCleanly)
{
    IAPNode* root = NewNode(CLSID_APAssemblyNode);
    IAPNode* part = NewNode(CLSID_APPartNode);
    ASSERT_EQ(root->AppendChild(part), S_OK);
    Model<APPartNode>(part)->AppendListItem2(nullptr); // refused
    IAPElement* datum = Create<IAPElement>(CLSID_APDatum, IID_IAPElement);
    Model<APPartNode>(part)->AppendListItem2(AsDatum(datum));
    datum->Release();
    Writer w;
    WriteRecord(w, part);
    std::vector<unsigned char> full = w.bytes.Bytes();
    part->Release();
    root->Release();

    for (std::size_t cut = 16; cut < full.size(); ++cut) {
        Reader r(full, cut);
        WmGUID id;
        ASSERT_TRUE(r.in.read(id));
        IAPElement* e = Create<IAPElement>(CLSID_APPartNode, IID_IAPElement);
        EXPECT_EQ(e->Deserialize(r.Handle()), E_FAIL) << "cut at " << cut;
        e->Release();
    }

    // An entry of a class that cannot be made ends the read; what came before stays.
    {
        Writer bad;
        IAPNode* p = NewNode(CLSID_APPartNode);
        WriteGeometryPrefix(bad, p);
        IAPElement* good = Create<IAPElement>(CLSID_APDatum, IID_IAPElement);
        ASSERT_TRUE(bad.out.write(8) && bad.out.write(WmString("")) && bad.out.write(0) && bad.out.write(0));
        ASSERT_TRUE(bad.out.writeMatrix4f(kTurned));
        ASSERT_TRUE(bad.out.write(2) && bad.out.write(WmGUID(CLSID_APDatum)));
        ASSERT_EQ(good->Serialize(bad.Handle()), S_OK);
        GUID unknown = CLSID_APDatum;
        unknown.Data1 ^= 0x5a5a;
        ASSERT_TRUE(bad.out.write(WmGUID(unknown)) && bad.out.write(0));
        good->Release();
        p->Release();
        IAPNode* target = NewNode(CLSID_APPartNode);
        Reader r(bad.bytes.Bytes());
        EXPECT_EQ(Model<APPartNode>(target)->Deserialize(r.Stream()), E_FAIL);
        int n = 0;
        Model<APPartNode>(target)->GetNumListItems2(&n);
        EXPECT_EQ(n, 1);
        target->Release();
    }

    // A child count that the stream cannot hold.
    Writer h;
    IAPNode* n = NewNode(CLSID_APTolLibNode);
    ASSERT_EQ(Model<APNode>(n)->APElement::Serialize(h.Stream()), S_OK);
    ASSERT_TRUE(h.out.write(2) && h.out.write(0x7fffffff) && h.out.write(1));
    n->Release();
    Reader r(h.bytes.Bytes());
    IAPElement* e = Create<IAPElement>(CLSID_APTolLibNode, IID_IAPElement);
    EXPECT_EQ(e->Deserialize(r.Handle()), E_FAIL);
    EXPECT_EQ(e->Deserialize(nullptr), E_FAIL);
    EXPECT_EQ(e->Serialize(nullptr), E_FAIL);
    e->Release();
}


TEST_F(Nodes, AVersionFourPartBlockTakesNewerFieldsFromDefaults)
{
    IAPNode* source = NewNode(CLSID_APPartNode);
    Writer w;
    WriteGeometryPrefix(w, source);
    ASSERT_TRUE(w.out.write(4) && w.out.write(WmString("C:\\parts\\old.prt")) && w.out.write(1) && w.out.write(1));
    ASSERT_TRUE(w.out.writeMatrix4f(kTurned));
    ASSERT_TRUE(w.out.write(0) && w.out.write(0));                                    // no datums, no frames
    ASSERT_TRUE(w.out.write(1) && w.out.write(1.0) && w.out.write(2.0) && w.out.write(3.0)); // vector
    ASSERT_TRUE(w.out.write(0));                                                      // no scalar
    source->Release();

    IAPNode* target = NewNode(CLSID_APPartNode);
    auto* pm = Model<APPartNode>(target);
    pm->SetIntValue1(5);
    pm->SetIntPair(5, 5);
    pm->SetIntValue3(5);
    Reader r(w.bytes.Bytes());
    IAPElement* e = Elem(target);
    ASSERT_EQ(e->Deserialize(r.Handle()), S_OK);
    e->Release();

    int v = -7, a = 0, b = 0;
    pm->GetIntValue1(&v);
    EXPECT_EQ(v, 0);
    pm->GetIntPair(&a, &b);
    EXPECT_EQ(a, -1);
    EXPECT_EQ(b, -1);
    pm->GetIntValue3(&v);
    EXPECT_EQ(v, 0);
    pm->GetFlag1(&v);
    EXPECT_EQ(v, 1);
    pm->GetFlag2(&v);
    EXPECT_EQ(v, 1);
    pm->IsScalarSet(&v);
    EXPECT_EQ(v, 0);
    pm->IsVectorSet(&v);
    EXPECT_EQ(v, 1);
    float t[16] = {};
    float* tp = t;
    pm->GetFloatMatrix(&tp);
    EXPECT_EQ(std::memcmp(t, kTurned, sizeof t), 0);
    IORVDataMoniker* mk = nullptr;
    pm->GetDataMoniker(&mk);
    ASSERT_NE(mk, nullptr) << "made from the node string";
    EXPECT_EQ(MkGetPath(mk), "C:\\parts\\old.prt");
    mk->Release();
    EXPECT_EQ(pm->GetStoredFormatVersion(), 4);
    target->Release();
}

TEST_F(Nodes, AVersionOnePartBlockLosesItsFrames)
{
    IAPNode* source = NewNode(CLSID_APPartNode);
    IAPElement* frame = Create<IAPElement>(CLSID_APDRF, IID_IAPElement);
    IAPElement* datum = Create<IAPElement>(CLSID_APDatum, IID_IAPElement);
    SetNameOf(datum, "B");
    Writer w;
    WriteGeometryPrefix(w, source);
    ASSERT_TRUE(w.out.write(1) && w.out.write(WmString("")));
    ASSERT_TRUE(w.out.write(1) && w.out.write(WmGUID(CLSID_APDRF)));
    ASSERT_EQ(frame->Serialize(w.Handle()), S_OK);
    ASSERT_TRUE(w.out.writeMatrix4f(kTurned));
    ASSERT_TRUE(w.out.write(1) && w.out.write(WmGUID(CLSID_APDatum)));
    ASSERT_EQ(datum->Serialize(w.Handle()), S_OK);
    ASSERT_TRUE(w.out.write(0) && w.out.write(1) && w.out.write(2.5));
    frame->Release();
    datum->Release();
    source->Release();

    IAPNode* target = NewNode(CLSID_APPartNode);
    auto* pm = Model<APPartNode>(target);
    Reader r(w.bytes.Bytes());
    IAPElement* e = Elem(target);
    ASSERT_EQ(e->Deserialize(r.Handle()), S_OK);
    e->Release();
    int v = -1;
    pm->GetNumListItems(&v);
    EXPECT_EQ(v, 0);
    pm->GetNumListItems2(&v);
    EXPECT_EQ(v, 1);
    IAPElement* got = nullptr;
    got = ElementOf(ItemOut(pm, &APPartNode::GetListItem2, 0));
    EXPECT_EQ(NameOf(got), "B");
    got->Release();
    double s = 0;
    pm->GetScalar(&s);
    EXPECT_EQ(s, 2.5);
    pm->GetFlag1(&v);
    EXPECT_EQ(v, 0);
    IORVDataMoniker* mk = reinterpret_cast<IORVDataMoniker*>(0x1);
    pm->GetDataMoniker(&mk);
    EXPECT_EQ(mk, nullptr) << "an empty node string makes no moniker";

    // Written again in the current form, nothing of it is lost.
    IAPElement* frame2 = Create<IAPElement>(CLSID_APDRF, IID_IAPElement);
    pm->AppendListItem(AsFrame(frame2));
    frame2->Release();
    Writer w2;
    WriteRecord(w2, target);
    pm->GetNumListItems(&v);
    EXPECT_EQ(v, 1) << "a frame added after the read is kept";
    target->Release();
}

TEST_F(Nodes, OlderAssemblyAndGroupingBlocks)
{
    IAPNode* source = NewNode(CLSID_APAssemblyNode);
    for (int version = 1; version <= 3; ++version) {
        Writer w;
        WriteGeometryPrefix(w, source);
        ASSERT_TRUE(w.out.write(version));
        if (version >= 2) {
            ASSERT_TRUE(w.out.write(3) && w.out.write(4));
        }
        if (version >= 3) {
            ASSERT_TRUE(w.out.write(WmString("name")));
        }
        IAPNode* target = NewNode(CLSID_APAssemblyNode);
        Reader r(w.bytes.Bytes());
        IAPElement* e = Elem(target);
        ASSERT_EQ(e->Deserialize(r.Handle()), S_OK) << "version " << version;
        e->Release();
        auto* am = Model<APAssemblyNode>(target);
        int a = 0, b = 0;
        am->GetIntPair(&a, &b);
        EXPECT_EQ(a, version >= 2 ? 3 : -1);
        EXPECT_EQ(b, version >= 2 ? 4 : -1);
        CString s;
        am->GetNodeString(s);
        EXPECT_STREQ(s.GetString(), version >= 3 ? "name" : "");
        IORVDataMoniker* mk = nullptr;
        am->GetDataMoniker(&mk);
        EXPECT_EQ(mk, nullptr);
        target->Release();
    }

    // A current block without a moniker leaves the node's own.
    Writer w;
    IAPElement* se = Elem(source);
    ASSERT_EQ(se->Serialize(w.Handle()), S_OK);
    se->Release();
    IAPNode* target = NewNode(CLSID_APAssemblyNode);
    IORVDataMoniker* mk = nullptr;
    ASSERT_EQ(MkCreateMoniker("C:\\kept.asm", &mk), S_OK);
    Model<APAssemblyNode>(target)->SetDataMoniker(mk);
    Reader r(w.bytes.Bytes());
    ASSERT_EQ(Model<APAssemblyNode>(target)->Deserialize(r.Stream()), S_OK);
    IORVDataMoniker* got = nullptr;
    Model<APAssemblyNode>(target)->GetDataMoniker(&got);
    EXPECT_EQ(got, mk);
    if (got) got->Release();
    mk->Release();
    target->Release();
    source->Release();
}

TEST_F(Nodes, ExportWritesTheRootTheFirstChildAndTheExportedNode)
{
    // root -> top -> mid -> exported -> leaf; the export keeps root, top and exported's subtree.
    FakeDocument doc;
    IAPNode* root = NewNode(CLSID_APAssemblyNode);
    IAPNode* top = NewNode(CLSID_APAssemblyNode, "top");
    IAPNode* other = NewNode(CLSID_APAssemblyNode);
    IAPNode* mid = NewNode(CLSID_APAssemblyNode);
    IAPNode* exported = NewNode(CLSID_APAssemblyNode, "exported");
    IAPNode* leaf = NewNode(CLSID_APPartNode, "leaf");
    ASSERT_EQ(root->AppendChild(top), S_OK);
    ASSERT_EQ(root->AppendChild(other), S_OK);
    ASSERT_EQ(top->AppendChild(mid), S_OK);
    ASSERT_EQ(mid->AppendChild(exported), S_OK);
    ASSERT_EQ(exported->AppendChild(leaf), S_OK);
    for (IAPNode* n : {root, top, other, mid, exported, leaf}) Bind(n, doc);

    auto exportOf = [&](IAPNode* node) {
        Writer w;
        IAPElement* e = Elem(node);
        doc.exported = e;
        doc.exportFlag = 1;
        WriteRecord(w, root);
        WriteRecord(w, Child(root, 0));
        doc.exportFlag = 0;
        WriteTree(w, node);
        EXPECT_TRUE(w.out.write(kEndMarker));
        doc.exported = nullptr;
        e->Release();
        return w.bytes.Bytes();
    };

    {
        Reader r(exportOf(exported));
        IAPNode* back = ReadTree(r);
        ASSERT_NE(back, nullptr);
        ASSERT_EQ(NumChildren(back), 1);
        IAPNode* top2 = Child(back, 0);
        EXPECT_EQ(NameOf(top2), "top");
        ASSERT_EQ(NumChildren(top2), 1);
        IAPNode* exported2 = Child(top2, 0);
        EXPECT_EQ(NameOf(exported2), "exported");
        ASSERT_EQ(NumChildren(exported2), 1);
        EXPECT_EQ(NameOf(Child(exported2, 0)), "leaf");
        back->Release();
    }
    {
        // The root's first child itself: it keeps its own children, never itself.
        Reader r(exportOf(top));
        IAPNode* back = ReadTree(r);
        ASSERT_NE(back, nullptr);
        ASSERT_EQ(NumChildren(back), 1);
        IAPNode* top2 = Child(back, 0);
        EXPECT_EQ(NameOf(top2), "top");
        ASSERT_EQ(NumChildren(top2), 1);
        EXPECT_NE(Child(top2, 0), top2);
        IAPNode* mid2 = Child(top2, 0);
        ASSERT_EQ(NumChildren(mid2), 1);
        EXPECT_EQ(NameOf(Child(Child(mid2, 0), 0)), "leaf");
        back->Release();
    }
    for (IAPNode* n : {leaf, exported, mid, other, top}) n->Release();
    root->Release();
}

// ---------------------------------------------------------------------------------------
// Part node fields, lists and copies

TEST_F(Nodes, PartNodeDefaultsAndFlags)
{
    IAPNode* n = NewNode(CLSID_APPartNode);
    auto* pm = Model<APPartNode>(n);
    int v = -1;
    pm->IsVectorSet(&v);
    EXPECT_EQ(v, 0);
    pm->IsScalarSet(&v);
    EXPECT_EQ(v, 0);
    pm->SetScalar(0.0);
    pm->IsScalarSet(&v);
    EXPECT_EQ(v, 1);
    pm->GetFlag1(&v);
    EXPECT_EQ(v, 0);
    pm->SetFlag1();
    pm->GetFlag1(&v);
    EXPECT_EQ(v, 1);
    pm->ClearFlag1();
    pm->GetFlag1(&v);
    EXPECT_EQ(v, 0);
    pm->GetIntValue2(&v);
    EXPECT_EQ(v, -1);
    double m[12] = {};
    pm->GetMatrix3x4(m);
    const double unit[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    EXPECT_EQ(std::memcmp(m, unit, sizeof m), 0);
    float t[16] = {};
    float* tp = t;
    pm->GetFloatMatrix(&tp);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(t[i], i % 5 == 0 ? 1.0f : 0.0f);
    EXPECT_EQ(pm->GetFloatMatrix(nullptr), E_FAIL);
    n->Release();

    IAPNode* f = NewNode(CLSID_APFixtureNode);
    auto* fm = Model<APFixtureNode>(f);
    EXPECT_TRUE(fm->IsKindOf(RUNTIME_CLASS(APPartNode)));
    fm->GetFixtureValue(&v);
    EXPECT_EQ(v, 3);
    f->Release();
}

TEST_F(Nodes, PartListsHoldOneReferencePerEntry)
{
    IAPNode* n = NewNode(CLSID_APPartNode);
    auto* pm = Model<APPartNode>(n);
    IAPElement* d[3];
    for (auto*& x : d) x = Create<IAPElement>(CLSID_APDatum, IID_IAPElement);
    ULONG alone = RefCount(d[0]);
    for (auto* x : d) EXPECT_EQ(pm->AppendListItem2(AsDatum(x)), S_OK);
    EXPECT_EQ(pm->AppendListItem2(AsDatum(d[0])), S_OK);
    int count = 0;
    pm->GetNumListItems2(&count);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(RefCount(d[0]), alone + 1);

    EXPECT_EQ(pm->RemoveListItem2ByIndex(0), S_OK);
    EXPECT_EQ(RefCount(d[0]), alone) << "exactly the removed entry is released";
    EXPECT_EQ(RefCount(d[1]), alone + 1) << "the entry that moves up keeps its reference";
    IAPElement* got = nullptr;
    got = ElementOf(ItemOut(pm, &APPartNode::GetListItem2, 0));
    EXPECT_EQ(got, d[1]);
    got->Release();
    EXPECT_EQ(pm->RemoveListItem2ByIndex(1), S_OK) << "the last one";
    EXPECT_EQ(RefCount(d[2]), alone);
    EXPECT_EQ(pm->RemoveListItem2ByIndex(1), E_FAIL);
    EXPECT_EQ(pm->RemoveListItem2ByIndex(-1), E_FAIL);
    IAPDatum* none = nullptr;
    EXPECT_EQ(pm->GetListItem2(1, &none), E_FAIL);
    EXPECT_EQ(pm->RemoveListItem2(AsDatum(d[0])), S_OK) << "not in the list: no error";

    IAPElement* frame = Create<IAPElement>(CLSID_APDRF, IID_IAPElement);
    EXPECT_EQ(pm->RemoveListItem(AsFrame(frame)), S_OK);
    EXPECT_EQ(pm->AppendListItem(AsFrame(frame)), S_OK);
    EXPECT_EQ(pm->AppendListItem(AsFrame(frame)), S_OK);
    pm->GetNumListItems(&count);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(RefCount(frame), alone + 1);
    EXPECT_EQ(pm->RemoveListItem(AsFrame(frame)), S_OK);
    EXPECT_EQ(RefCount(frame), alone);
    EXPECT_EQ(pm->AppendListItem(AsFrame(frame)), S_OK);
    frame->Release();
    for (auto* x : d) x->Release();
    n->Release(); // releases what it still holds
}

TEST_F(Nodes, PartBindsAndFixesItsEntries)
{
    FakeDocument doc;
    IAPNode* n = NewNode(CLSID_APPartNode);
    auto* pm = Model<APPartNode>(n);
    IAPElement* datum = Create<IAPElement>(CLSID_APDatum, IID_IAPElement);
    pm->AppendListItem2(AsDatum(datum));
    Bind(n, doc);
    IAPDocument* d = nullptr;
    EXPECT_EQ(datum->GetDocument(&d), S_OK);
    EXPECT_EQ(d, static_cast<IAPDocument*>(&doc));
    if (d) d->Release();
    IAPElement* e = Elem(n);
    EXPECT_EQ(e->FixupLists(), S_OK);
    e->Release();
    datum->Release();
    n->Release();
}

TEST_F(Nodes, ACopiedPart)
{
    FakeDocument doc;
    IAPNode* source = NewNode(CLSID_APPartNode);
    IAPNode* parent = NewNode(CLSID_APAssemblyNode);
    IAPNode* child = NewNode(CLSID_APPinFeature);
    ASSERT_EQ(parent->AppendChild(source), S_OK);
    ASSERT_EQ(source->AppendChild(child), S_OK);
    SetNameOf(source, "bracket");
    EXPECT_EQ(source->SetNote(Text("deburr")), S_OK);
    auto* sm = Model<APPartNode>(source);
    sm->SetNote2("second");
    sm->SetNodeString("C:\\parts\\bracket.prt");
    IORVDataMoniker* mk = nullptr;
    ASSERT_EQ(MkCreateMoniker("C:\\parts\\bracket.prt", &mk), S_OK);
    sm->SetDataMoniker(mk);
    sm->SetFlag1();
    sm->SetFlag2();
    sm->SetFloatMatrix(kTurned);
    sm->SetVector(1, 2, 3);
    sm->SetScalar(4);
    sm->SetIntValue1(1);
    sm->SetIntValue2(2);
    sm->SetIntPair(3, 4);
    sm->SetIntValue3(5);
    const double m12[12] = {2, 0, 0, 0, 2, 0, 0, 0, 2, 1, 1, 1};
    sm->SetMatrix3x4(m12);
    IAPElement* datum = Create<IAPElement>(CLSID_APDatum, IID_IAPElement);
    IAPElement* frame = Create<IAPElement>(CLSID_APDRF, IID_IAPElement);
    sm->AppendListItem2(AsDatum(datum));
    sm->AppendListItem(AsFrame(frame));
    datum->Release();
    frame->Release();
    Bind(source, doc);

    IAPNode* target = NewNode(CLSID_APPartNode);
    Bind(target, doc);
    IAPElement* se = Elem(source);
    IAPElement* te = Elem(target);
    EXPECT_EQ(se->Clone(te), S_OK);
    auto* tm = Model<APPartNode>(target);
    EXPECT_EQ(NameOf(target), "bracket");
    CString s;
    tm->GetNote(s);
    EXPECT_STREQ(s.GetString(), "deburr");
    tm->GetNote2(s);
    EXPECT_STREQ(s.GetString(), "second");
    tm->GetNodeString(s);
    EXPECT_STREQ(s.GetString(), "C:\\parts\\bracket.prt");
    IORVDataMoniker* tmk = nullptr;
    tm->GetDataMoniker(&tmk);
    EXPECT_EQ(tmk, mk) << "the moniker is shared";
    if (tmk) tmk->Release();
    int v = 0, a = 0, b = 0;
    tm->GetFlag1(&v);
    EXPECT_EQ(v, 1);
    tm->GetFlag2(&v);
    EXPECT_EQ(v, 1);
    float t[16] = {};
    float* tp = t;
    tm->GetFloatMatrix(&tp);
    EXPECT_EQ(std::memcmp(t, kTurned, sizeof t), 0);
    double x = 0, y = 0, z = 0;
    tm->GetVector(&x, &y, &z);
    EXPECT_EQ(x * 100 + y * 10 + z, 123.0);
    tm->GetScalar(&x);
    EXPECT_EQ(x, 4.0);
    tm->GetIntPair(&a, &b);
    EXPECT_EQ(a * 10 + b, 34);
    tm->GetIntValue3(&v);
    EXPECT_EQ(v, 5);
    tm->GetIntValue1(&v);
    EXPECT_EQ(v, 0) << "not copied";
    tm->GetIntValue2(&v);
    EXPECT_EQ(v, -1) << "not copied";
    double m[12] = {};
    tm->GetMatrix3x4(m);
    EXPECT_EQ(m[0], 1.0) << "not copied";
    EXPECT_EQ(NumChildren(target), 0) << "links are not copied";
    EXPECT_EQ(NumParents(target), 0);

    // Frames come new from the document; a datum whose copy fails leaves no empty slot.
    EXPECT_EQ(doc.created, 2);
    tm->GetNumListItems(&v);
    EXPECT_EQ(v, 1);
    IAPElement* newFrame = nullptr;
    newFrame = ElementOf(ItemOut(tm, &APPartNode::GetListItem, 0));
    ASSERT_NE(newFrame, nullptr);
    EXPECT_NE(newFrame, frame);
    newFrame->Release();
    tm->GetNumListItems2(&v);
    for (int i = 0; i < v; ++i) {
        IAPElement* d = nullptr;
        d = ElementOf(ItemOut(tm, &APPartNode::GetListItem2, i));
        EXPECT_NE(d, nullptr);
        if (d) d->Release();
    }

    // Only a part node takes a part's copy.
    IAPElement* assembly = Create<IAPElement>(CLSID_APAssemblyNode, IID_IAPElement);
    EXPECT_EQ(se->Clone(assembly), E_FAIL);
    EXPECT_EQ(se->Clone(nullptr), E_FAIL);
    Watcher foreign;
    EXPECT_EQ(se->Clone(reinterpret_cast<IAPElement*>(static_cast<IAPElementSink*>(&foreign))), E_FAIL);
    assembly->Release();

    // Without a document nothing owned is copied, and nothing empty is left.
    IAPNode* loose = NewNode(CLSID_APPartNode);
    IAPElement* le = Elem(loose);
    doc.refuseCreation = true;
    EXPECT_EQ(se->Clone(le), S_OK);
    auto* lm = Model<APPartNode>(loose);
    lm->GetNumListItems(&v);
    EXPECT_EQ(v, 0);
    lm->GetNumListItems2(&v);
    EXPECT_EQ(v, 0);
    le->Release();
    loose->Release();

    mk->Release();
    te->Release();
    se->Release();
    target->Release();
    child->Release();
    source->Release();
    parent->Release();
}

TEST_F(Nodes, CopiesOfTheOtherTreeNodes)
{
    IAPNode* fixture = NewNode(CLSID_APFixtureNode);
    auto* fm = Model<APFixtureNode>(fixture);
    fm->SetFixtureValue(8);
    fm->SetIntValue3(6);
    IAPNode* fixture2 = NewNode(CLSID_APFixtureNode);
    IAPElement* f1 = Elem(fixture);
    IAPElement* f2 = Elem(fixture2);
    EXPECT_EQ(f1->Clone(f2), S_OK);
    int v = 0;
    Model<APFixtureNode>(fixture2)->GetFixtureValue(&v);
    EXPECT_EQ(v, 8);
    Model<APFixtureNode>(fixture2)->GetIntValue3(&v);
    EXPECT_EQ(v, 6);
    IAPElement* part = Create<IAPElement>(CLSID_APPartNode, IID_IAPElement);
    EXPECT_EQ(f1->Clone(part), E_FAIL) << "a part node is not a fixture";

    IAPNode* asm1 = NewNode(CLSID_APAssemblyNode);
    auto* am = Model<APAssemblyNode>(asm1);
    am->SetIntPair(7, 8);
    am->SetNodeString("a.asm");
    asm1->SetNote(Text("n"));
    IAPNode* asm2 = NewNode(CLSID_APAssemblyNode);
    IAPElement* a1 = Elem(asm1);
    IAPElement* a2 = Elem(asm2);
    EXPECT_EQ(a1->Clone(a2), S_OK);
    int a = 0, b = 0;
    Model<APAssemblyNode>(asm2)->GetIntPair(&a, &b);
    EXPECT_EQ(a * 10 + b, 78);
    CString s;
    Model<APAssemblyNode>(asm2)->GetNodeString(s);
    EXPECT_STREQ(s.GetString(), "a.asm");
    Model<APAssemblyNode>(asm2)->GetNote(s);
    EXPECT_STREQ(s.GetString(), "n");
    EXPECT_EQ(a1->Clone(part), E_FAIL);

    IAPElement* lib1 = Create<IAPElement>(CLSID_APTolLibNode, IID_IAPElement);
    IAPElement* lib2 = Create<IAPElement>(CLSID_APTolLibNode, IID_IAPElement);
    SetNameOf(lib1, "library");
    EXPECT_EQ(lib1->Clone(lib2), S_OK);
    EXPECT_EQ(NameOf(lib2), "library");
    EXPECT_EQ(lib1->Clone(a2), E_FAIL);

    for (IAPElement* e : {lib1, lib2, a1, a2, f1, f2, part}) e->Release();
    for (IAPNode* n : {asm1, asm2, fixture, fixture2}) n->Release();
}
