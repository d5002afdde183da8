#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include <vector>

#include "model/APGroup.h"
#include "platform/orv/ORVComCreate.h"
#include "platform/toolkit/WmByteStream.h"
#include "platform/toolkit/WmObjectStream.h"
#include "element_support.h"

using namespace plenvort_test;

namespace {

template <class M>
M* ModelOf(IAPElement* e)
{
    return static_cast<M*>(ObjectOf(e)->GetModelObject());
}

int Dependents(IAPElement* e) { return CountOf(e, &IAPElement::GetNumDependents); }

int Members(IAPGroup* g) { return CountOf(g, &IAPGroup::GetGroupNumElements); }

class RecordingDocSink : public CountedFake<IAPDocEventSink, &IID_IAPDocEventSink> {
public:
    struct Event {
        unsigned short cmd;
        GUID iid;
    };
    std::vector<Event> events;

    HRESULT STDMETHODCALLTYPE Notify(unsigned short cmd, IAPElement*, unsigned long length, unsigned char* message) override
    {
        Event e{cmd, GUID{}};
        if (message && length == sizeof(GUID)) std::memcpy(&e.iid, message, sizeof(GUID));
        events.push_back(e);
        return S_OK;
    }
};

// Every test leaves no object and no lock behind.
using Groups = ObjectsTest;

// A group and measurement operations, each held by the test through IAPElement.
struct GroupWithOps {
    IAPElement* groupElement = Create<IAPElement>(CLSID_APGroup, IID_IAPElement);
    IAPGroup* group = Query<IAPGroup>(groupElement, IID_IAPGroup);
    std::vector<IAPElement*> ops;

    explicit GroupWithOps(int n)
    {
        for (int i = 0; i < n; ++i) ops.push_back(Create<IAPElement>(CLSID_APMeasurementOperation, IID_IAPElement));
    }
    ~GroupWithOps()
    {
        for (IAPElement* op : ops)
            if (op) op->Release();
        if (group) group->Release();
        if (groupElement) groupElement->Release();
    }
    // Lets the test's reference on member i go; the group holds none.
    void Destroy(int i)
    {
        ops[i]->Release();
        ops[i] = nullptr;
    }
    // Lets the test's references on the group go: it ends while its members live on.
    void DestroyGroup()
    {
        group->Release();
        group = nullptr;
        groupElement->Release();
        groupElement = nullptr;
    }
};

} // namespace

// ---------------------------------------------------------------------------------------
// Membership

TEST_F(Groups, MembersAreHeldWithoutReferencesAndWatchedOnce)
{
    GroupWithOps g(1);
    IAPElement* op = g.ops[0];
    const ULONG before = RefCount(op);

    ASSERT_EQ(g.group->AppendGroupElement(op), S_OK);
    EXPECT_EQ(Members(g.group), 1);
    EXPECT_EQ(RefCount(op), before);
    EXPECT_EQ(Dependents(op), 1);

    // The same operation through other interfaces is the same member.
    IAPMeasurementOperation* asOp = Query<IAPMeasurementOperation>(op, IID_IAPMeasurementOperation);
    IAPNode* asNode = Query<IAPNode>(op, IID_IAPNode);
    ASSERT_TRUE(asOp && asNode);
    EXPECT_EQ(g.group->AppendGroupElement(reinterpret_cast<IAPElement*>(asOp)), S_OK);
    EXPECT_EQ(g.group->AppendGroupElement(reinterpret_cast<IAPElement*>(asNode)), S_OK);
    asOp->Release();
    asNode->Release();
    EXPECT_EQ(Members(g.group), 1);
    EXPECT_EQ(Dependents(op), 1);
    EXPECT_EQ(RefCount(op), before);

    // The group is the dependent.
    IAPElement* dependent = nullptr;
    ASSERT_EQ(op->GetDependent(0, &dependent), S_OK);
    EXPECT_EQ(dependent, g.groupElement);
    dependent->Release();
}

TEST_F(Groups, OnlyMeasurementOperationsJoin)
{
    GroupWithOps g(0);
    IAPElement* part = Create<IAPElement>(CLSID_APPartNode, IID_IAPElement);
    IAPElement* assembly = Create<IAPElement>(CLSID_APAssemblyOperation, IID_IAPElement);
    EXPECT_EQ(g.group->AppendGroupElement(nullptr), E_FAIL);
    EXPECT_EQ(g.group->AppendGroupElement(part), E_FAIL);
    EXPECT_EQ(g.group->AppendGroupElement(assembly), E_FAIL);
    EXPECT_EQ(Members(g.group), 0);
    EXPECT_EQ(Dependents(part), 0);
    EXPECT_EQ(Dependents(assembly), 0);
    part->Release();
    assembly->Release();

    // An SPC measurement operation is a measurement operation too.
    IAPElement* spc = Create<IAPElement>(CLSID_APSPCMeasurementOp, IID_IAPElement);
    EXPECT_EQ(g.group->AppendGroupElement(spc), S_OK);
    EXPECT_EQ(Members(g.group), 1);
    spc->Release();
    EXPECT_EQ(Members(g.group), 0);
}

TEST_F(Groups, GetGroupElementHandsOutTheMembersElementInterface)
{
    GroupWithOps g(2);
    ASSERT_EQ(g.group->AppendGroupElement(g.ops[0]), S_OK);
    ASSERT_EQ(g.group->AppendGroupElement(g.ops[1]), S_OK);
    const ULONG before = RefCount(g.ops[1]);

    IAPElement* out = nullptr;
    ASSERT_EQ(g.group->GetGroupElement(1, &out), S_OK);
    EXPECT_EQ(out, g.ops[1]);
    EXPECT_EQ(RefCount(g.ops[1]), before + 1);
    // Usable as an element: the interface is the real one, not another family's pointer.
    int cost = 0;
    EXPECT_EQ(out->GetCost(&cost), S_OK);
    out->Release();

    out = nullptr;
    EXPECT_EQ(g.group->GetGroupElement(2, &out), E_FAIL);
    EXPECT_EQ(g.group->GetGroupElement(-1, &out), E_FAIL);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(g.group->GetGroupElement(0, nullptr), E_POINTER);
    EXPECT_EQ(g.group->GetGroupNumElements(nullptr), E_POINTER);
}

TEST_F(Groups, RemovingByIndexUnregistersAndNotifies)
{
    GroupWithOps g(3);
    RecordingDocSink doc;
    ASSERT_EQ(g.groupElement->BindDocument(&doc), S_OK);
    for (IAPElement* op : g.ops) ASSERT_EQ(g.group->AppendGroupElement(op), S_OK);
    ASSERT_EQ(doc.events.size(), 3u);
    for (const auto& e : doc.events) {
        EXPECT_EQ(e.cmd, 1);
        EXPECT_TRUE(IsEqualGUID(e.iid, IID_IAPGroup));
    }

    ASSERT_EQ(g.group->RemoveGroupElementByIndex(1), S_OK);
    EXPECT_EQ(Dependents(g.ops[1]), 0);
    EXPECT_EQ(Dependents(g.ops[0]), 1);
    EXPECT_EQ(Members(g.group), 2);
    IAPElement* second = nullptr;
    ASSERT_EQ(g.group->GetGroupElement(1, &second), S_OK);
    EXPECT_EQ(second, g.ops[2]); // later entries move down
    second->Release();
    EXPECT_EQ(doc.events.size(), 4u);

    EXPECT_EQ(g.group->RemoveGroupElementByIndex(2), E_FAIL);
    EXPECT_EQ(g.group->RemoveGroupElementByIndex(-1), E_FAIL);
    EXPECT_EQ(doc.events.size(), 4u); // failures announce nothing
    EXPECT_EQ(Members(g.group), 2);
    g.groupElement->BindDocument(nullptr);
}

TEST_F(Groups, DestroyingAMemberTakesItOutOfEveryGroup)
{
    GroupWithOps g(3);
    IAPElement* otherElement = Create<IAPElement>(CLSID_APGroup, IID_IAPElement);
    IAPGroup* other = Query<IAPGroup>(otherElement, IID_IAPGroup);
    RecordingDocSink doc;
    g.groupElement->BindDocument(&doc);
    for (IAPElement* op : g.ops) ASSERT_EQ(g.group->AppendGroupElement(op), S_OK);
    ASSERT_EQ(other->AppendGroupElement(g.ops[1]), S_OK);
    doc.events.clear();

    g.Destroy(1);
    EXPECT_EQ(Members(g.group), 2);
    EXPECT_EQ(Members(other), 0);
    IAPElement* out = nullptr;
    ASSERT_EQ(g.group->GetGroupElement(0, &out), S_OK);
    EXPECT_EQ(out, g.ops[0]);
    out->Release();
    ASSERT_EQ(g.group->GetGroupElement(1, &out), S_OK);
    EXPECT_EQ(out, g.ops[2]);
    out->Release();
    // The removal passed the interface and was announced as a change of the group.
    ASSERT_EQ(doc.events.size(), 1u);
    EXPECT_TRUE(IsEqualGUID(doc.events[0].iid, IID_IAPGroup));

    g.Destroy(0);
    g.Destroy(2);
    EXPECT_EQ(Members(g.group), 0);
    other->Release();
    otherElement->Release();
    g.groupElement->BindDocument(nullptr);
}

TEST_F(Groups, DestroyingTheGroupLeavesItsMembersUnwatched)
{
    GroupWithOps g(2);
    for (IAPElement* op : g.ops) ASSERT_EQ(g.group->AppendGroupElement(op), S_OK);
    g.DestroyGroup();
    EXPECT_EQ(Dependents(g.ops[0]), 0);
    EXPECT_EQ(Dependents(g.ops[1]), 0);
    // The members go later without touching the group.
    g.Destroy(0);
    g.Destroy(1);
}

TEST_F(Groups, NotifyOnlyActsOnTheDestructionOfAMember)
{
    GroupWithOps g(2);
    ASSERT_EQ(g.group->AppendGroupElement(g.ops[0]), S_OK);
    IAPElementSink* sink = Query<IAPElementSink>(g.groupElement, IID_IAPElementSink);
    ASSERT_NE(sink, nullptr);

    EXPECT_EQ(sink->Notify(1, g.ops[0]), S_OK);
    EXPECT_EQ(Members(g.group), 1);
    EXPECT_EQ(sink->Notify(3, g.ops[1]), E_FAIL); // not a member
    EXPECT_EQ(sink->Notify(3, nullptr), E_FAIL);
    EXPECT_EQ(Members(g.group), 1);
    EXPECT_EQ(sink->Notify(3, g.ops[0]), S_OK);
    EXPECT_EQ(Members(g.group), 0);
    EXPECT_EQ(Dependents(g.ops[0]), 0);
    sink->Release();
}

TEST_F(Groups, KindTestsAnswerSFalseOnOtherClasses)
{
    IAPElement* part = Create<IAPElement>(CLSID_APPartNode, IID_IAPElement);
    IAPElement* op = Create<IAPElement>(CLSID_APMeasurementOperation, IID_IAPElement);
    IAPGroup* wrong = static_cast<IAPGroup*>(ObjectOf(part));
    int n = -7;
    EXPECT_EQ(wrong->GetGroupNumElements(&n), S_FALSE);
    EXPECT_EQ(n, -7);
    EXPECT_EQ(wrong->AppendGroupElement(op), S_FALSE);
    EXPECT_EQ(Dependents(op), 0);
    IAPElement* out = nullptr;
    EXPECT_EQ(wrong->GetGroupElement(0, &out), S_FALSE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(wrong->RemoveGroupElementByIndex(0), S_FALSE);
    op->Release();
    part->Release();
}

// ---------------------------------------------------------------------------------------
// Persistence

namespace {

// An object stream over `bytes` with a numbering table of its own while it lives.
struct Swizzled {
    WmDataStream data;
    WmObjectStream stream{data};
    WmPtrSwizzle swizzle;
    explicit Swizzled(WmMemoryByteStream& bytes) : data(&bytes) { stream.setSwizzler(&swizzle); }
    ~Swizzled() { stream.setSwizzler(nullptr); }
};

// An object stream over memory of its own.
struct StreamPair {
    WmMemoryByteStream bytes;
    Swizzled swizzled{bytes};
    WmObjectStream& stream = swizzled.stream;
    WmPtrSwizzle& swizzle = swizzled.swizzle;

    // Reads what was written, from the start, with a numbering table of the reading's own.
    template <class Read>
    HRESULT ReadBack(Read read)
    {
        bytes.Open(nullptr);
        WmPtrSwizzle fresh;
        stream.setSwizzler(&fresh);
        const HRESULT hr = read(&stream);
        stream.setSwizzler(&swizzle);
        return hr;
    }
    HRESULT ReadBack(IAPElement* e)
    {
        return ReadBack([e](WmObjectStream* in) { return e->Deserialize(reinterpret_cast<unsigned char*>(in)); });
    }
};

} // namespace

TEST_F(Groups, MembersSurviveAWriteAndReadThroughPointerNumbers)
{
    GroupWithOps g(2);
    for (IAPElement* op : g.ops) ASSERT_EQ(g.group->AppendGroupElement(op), S_OK);
    WmMemoryByteStream bytes;
    {
        Swizzled s(bytes);
        WmObjectStream& out = s.stream;
        // The group's references come before its members' records.
        ASSERT_EQ(ModelOf<APGroup>(g.groupElement)->Serialize(&out), S_OK);
        for (IAPElement* op : g.ops) ASSERT_EQ(ObjectOf(op)->GetModelObject()->Serialize(&out), S_OK);
    }

    GroupWithOps r(2);
    bytes.Open(nullptr);
    {
        Swizzled s(bytes);
        WmObjectStream& in = s.stream;
        ASSERT_EQ(ModelOf<APGroup>(r.groupElement)->Deserialize(&in), S_OK);
        for (IAPElement* op : r.ops) ASSERT_EQ(ObjectOf(op)->GetModelObject()->Deserialize(&in), S_OK);
    }
    EXPECT_EQ(Members(r.group), 0); // nothing is a member before the fix-up
    EXPECT_EQ(ModelOf<APGroup>(r.groupElement)->GetNumPendingElements(), 2);
    ASSERT_EQ(r.groupElement->FixupLists(), S_OK);
    ASSERT_EQ(Members(r.group), 2);
    for (int i = 0; i < 2; ++i) {
        IAPElement* out = nullptr;
        ASSERT_EQ(r.group->GetGroupElement(i, &out), S_OK);
        EXPECT_EQ(out, r.ops[i]);
        out->Release();
        EXPECT_EQ(Dependents(r.ops[i]), 1);
    }

    // A second fix-up on the live group changes nothing.
    ASSERT_EQ(r.groupElement->FixupLists(), S_OK);
    EXPECT_EQ(Members(r.group), 2);
    EXPECT_EQ(Dependents(r.ops[0]), 1);
    // And a read member that goes away leaves the group as any other.
    r.Destroy(0);
    EXPECT_EQ(Members(r.group), 1);
}

TEST_F(Groups, ReferencesToNoElementAreSkipped)
{
    GroupWithOps g(0);
    StreamPair s;
    ASSERT_EQ(ModelOf<APElement>(g.groupElement)->APElement::Serialize(&s.stream), S_OK);
    ASSERT_TRUE(s.stream.write(1));
    ASSERT_TRUE(s.stream.write(2));
    ASSERT_TRUE(s.stream.write(-200000));
    ASSERT_TRUE(s.stream.write(0));

    GroupWithOps r(0);
    ASSERT_EQ(s.ReadBack([&](WmObjectStream* in) { return ModelOf<APGroup>(r.groupElement)->Deserialize(in); }), S_OK);
    EXPECT_EQ(r.groupElement->FixupLists(), S_OK);
    EXPECT_EQ(Members(r.group), 0);
}

TEST_F(Groups, CorruptMemberCountsFailTheRead)
{
    for (int count : {-1, 0x40000000}) {
        GroupWithOps g(0);
        StreamPair s;
        ASSERT_EQ(ModelOf<APElement>(g.groupElement)->APElement::Serialize(&s.stream), S_OK);
        ASSERT_TRUE(s.stream.write(1));
        ASSERT_TRUE(s.stream.write(count));
        GroupWithOps r(0);
        EXPECT_EQ(s.ReadBack([&](WmObjectStream* in) { return ModelOf<APGroup>(r.groupElement)->Deserialize(in); }),
                  E_FAIL)
            << count;
        EXPECT_EQ(ModelOf<APGroup>(r.groupElement)->GetNumPendingElements(), 0);
    }
}

TEST_F(Groups, AGroupWritesNoNodeBlock)
{
    GroupWithOps g(1);
    ASSERT_EQ(g.group->AppendGroupElement(g.ops[0]), S_OK);
    StreamPair whole, element;
    ASSERT_EQ(ModelOf<APGroup>(g.groupElement)->Serialize(&whole.stream), S_OK);
    ASSERT_EQ(ModelOf<APElement>(g.groupElement)->APElement::Serialize(&element.stream), S_OK);
    // Element block, version 1, one member, its pointer number.
    ASSERT_EQ(whole.bytes.Size(), element.bytes.Size() + 12);
    EXPECT_EQ(std::memcmp(whole.bytes.Bytes().data(), element.bytes.Bytes().data(), element.bytes.Size()), 0);
    int tail[3];
    std::memcpy(tail, whole.bytes.Bytes().data() + element.bytes.Size(), sizeof tail);
    EXPECT_EQ(tail[0], 1);
    EXPECT_EQ(tail[1], 1);
    int number = 0;
    ASSERT_TRUE(whole.stream.ptr2num(g.ops[0], &number));
    EXPECT_EQ(tail[2], number);
}

// ---------------------------------------------------------------------------------------
// Copies

TEST_F(Groups, CloneWantsATargetOfTheSameClass)
{
    GroupWithOps g(1);
    ASSERT_EQ(g.groupElement->SetName(reinterpret_cast<unsigned char*>(const_cast<char*>("checks"))), S_OK);
    ASSERT_EQ(g.group->AppendGroupElement(g.ops[0]), S_OK);
    IAPElement* part = Create<IAPElement>(CLSID_APPartNode, IID_IAPElement);
    EXPECT_EQ(g.groupElement->Clone(part), E_FAIL);
    EXPECT_EQ(g.groupElement->Clone(nullptr), E_FAIL);
    part->Release();

    // Without a document the copy is the element part only: no members are shared.
    GroupWithOps copy(0);
    ASSERT_EQ(g.groupElement->Clone(copy.groupElement), S_OK);
    char name[32] = {};
    ASSERT_EQ(copy.groupElement->GetName(reinterpret_cast<unsigned char*>(name)), S_OK);
    EXPECT_STREQ(name, "checks");
    EXPECT_EQ(Members(copy.group), 0);
    EXPECT_EQ(Dependents(g.ops[0]), 1);
}

TEST_F(Groups, CleanUpCopyListDropsEmptySlotsOnly)
{
    GroupWithOps g(1);
    ASSERT_EQ(g.group->AppendGroupElement(g.ops[0]), S_OK);
    EXPECT_EQ(g.groupElement->CleanUpCopyList(), S_OK);
    EXPECT_EQ(Members(g.group), 1);
}

// ---------------------------------------------------------------------------------------
// Group nodes, feature-group nodes and node instances

namespace {

// An element made through its class, held by the test as IAPElement.
struct Made {
    IAPElement* e;
    explicit Made(REFCLSID clsid) : e(Create<IAPElement>(clsid, IID_IAPElement)) {}
    ~Made()
    {
        if (e) e->Release();
    }
    template <class M>
    M* Model() const
    {
        return ModelOf<M>(e);
    }
    template <class I>
    I* As(REFIID iid) const
    {
        return Query<I>(e, iid);
    }
};

std::string GroupNodeString(const Made& n)
{
    IAPGroupNode2* g = n.As<IAPGroupNode2>(IID_IAPGroupNode2);
    unsigned char buffer[2048] = {};
    EXPECT_EQ(g->GetGroupNodeNodeString(buffer), S_OK);
    g->Release();
    return reinterpret_cast<char*>(buffer);
}

} // namespace

TEST_F(Groups, GroupNodeStringThroughItsInterfaceAndBlock)
{
    Made node(CLSID_APGroupNode);
    IAPGroupNode2* g = node.As<IAPGroupNode2>(IID_IAPGroupNode2);
    ASSERT_NE(g, nullptr);
    RecordingDocSink doc;
    node.e->BindDocument(&doc);
    ASSERT_EQ(g->SetGroupNodeNodeString(Text("fixtures")), S_OK);
    EXPECT_TRUE(doc.events.empty()); // the string is not announced
    EXPECT_EQ(GroupNodeString(node), "fixtures");
    EXPECT_EQ(g->GetGroupNodeNodeString(nullptr), E_POINTER);
    ASSERT_EQ(g->SetGroupNodeNodeString(nullptr), S_OK);
    EXPECT_EQ(GroupNodeString(node), "");
    ASSERT_EQ(g->SetGroupNodeNodeString(Text("fixtures")), S_OK);
    g->Release();
    node.e->BindDocument(nullptr);

    StreamPair s;
    ASSERT_EQ(node.e->Serialize(reinterpret_cast<unsigned char*>(&s.stream)), S_OK);
    Made back(CLSID_APGroupNode);
    ASSERT_EQ(s.ReadBack(back.e), S_OK);
    EXPECT_EQ(GroupNodeString(back), "fixtures");
}

TEST_F(Groups, AVersionOneGroupNodeBlockReadsWithAnEmptyString)
{
    Made node(CLSID_APGroupNode);
    StreamPair s;
    ASSERT_EQ(node.Model<APGeometryNode>()->APGeometryNode::Serialize(&s.stream), S_OK);
    ASSERT_TRUE(s.stream.write(1));
    Made back(CLSID_APGroupNode);
    back.Model<APGroupNode>()->SetNodeString("before");
    ASSERT_EQ(s.ReadBack([&](WmObjectStream* in) { return back.Model<APGroupNode>()->Deserialize(in); }), S_OK);
    EXPECT_EQ(GroupNodeString(back), "");
}

TEST_F(Groups, GroupNodeStringsAreKeptTo1023Characters)
{
    Made node(CLSID_APGroupNode);
    const std::string longText(1500, 'x');
    node.Model<APGroupNode>()->SetNodeString(longText.c_str());
    StreamPair s;
    ASSERT_EQ(node.Model<APGroupNode>()->Serialize(&s.stream), S_OK);
    Made back(CLSID_APGroupNode);
    ASSERT_EQ(s.ReadBack([&](WmObjectStream* in) { return back.Model<APGroupNode>()->Deserialize(in); }), S_OK);
    EXPECT_EQ(GroupNodeString(back), std::string(1023, 'x'));
}

TEST_F(Groups, ANewNodeInstanceWritesAnIdentityTransform)
{
    Made node(CLSID_APNodeInstance);
    StreamPair whole, nodePart;
    ASSERT_EQ(node.Model<APNodeInstance>()->Serialize(&whole.stream), S_OK);
    ASSERT_EQ(node.Model<APNode>()->APNode::Serialize(&nodePart.stream), S_OK);
    ASSERT_EQ(whole.bytes.Size(), nodePart.bytes.Size() + 4 + 64);
    int version = 0;
    float m[16];
    std::memcpy(&version, whole.bytes.Bytes().data() + nodePart.bytes.Size(), 4);
    std::memcpy(m, whole.bytes.Bytes().data() + nodePart.bytes.Size() + 4, sizeof m);
    EXPECT_EQ(version, 1);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(m[i], i % 5 == 0 ? 1.0f : 0.0f) << i;
}

TEST_F(Groups, NodeInstanceTransformSurvivesBlockAndCopy)
{
    const float turned[16] = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 5, 6, 7, 1};
    Made node(CLSID_APNodeInstance);
    node.Model<APNodeInstance>()->SetTransform(turned);
    IAPNode* asNode = node.As<IAPNode>(IID_IAPNode);
    ASSERT_EQ(asNode->SetNote(Text("spare")), S_OK);
    asNode->Release();

    StreamPair s;
    ASSERT_EQ(node.e->Serialize(reinterpret_cast<unsigned char*>(&s.stream)), S_OK);
    Made back(CLSID_APNodeInstance);
    ASSERT_EQ(s.ReadBack(back.e), S_OK);
    EXPECT_EQ(std::memcmp(back.Model<APNodeInstance>()->Transform(), turned, sizeof turned), 0);

    Made copy(CLSID_APNodeInstance);
    ASSERT_EQ(node.e->Clone(copy.e), S_OK);
    EXPECT_EQ(std::memcmp(copy.Model<APNodeInstance>()->Transform(), turned, sizeof turned), 0);
    CString note;
    copy.Model<APNode>()->GetNote(note);
    EXPECT_STREQ(note.GetString(), "spare");

    // A short block leaves the transform as it was.
    StreamPair cut;
    ASSERT_EQ(node.Model<APNode>()->APNode::Serialize(&cut.stream), S_OK);
    ASSERT_TRUE(cut.stream.write(1));
    ASSERT_TRUE(cut.stream.write(2.5f));
    Made damaged(CLSID_APNodeInstance);
    EXPECT_EQ(cut.ReadBack([&](WmObjectStream* in) { return damaged.Model<APNodeInstance>()->Deserialize(in); }),
              E_FAIL);
    EXPECT_EQ(damaged.Model<APNodeInstance>()->Transform()[0], 1.0f);
    EXPECT_EQ(damaged.Model<APNodeInstance>()->Transform()[1], 0.0f);
}

TEST_F(Groups, FeatureGroupBlocksAreAVersionWordAfterTheGeometryBlock)
{
    for (const CLSID* clsid : {&CLSID_APFeatureGroupNode, &CLSID_APSubFeatureGroupNode}) {
        Made node(*clsid);
        StreamPair whole, geometry;
        ASSERT_EQ(node.e->Serialize(reinterpret_cast<unsigned char*>(&whole.stream)), S_OK);
        ASSERT_EQ(node.Model<APGeometryNode>()->APGeometryNode::Serialize(&geometry.stream), S_OK);
        ASSERT_EQ(whole.bytes.Size(), geometry.bytes.Size() + 4);
        int version = 0;
        std::memcpy(&version, whole.bytes.Bytes().data() + geometry.bytes.Size(), 4);
        EXPECT_EQ(version, 1);

        // The reader takes any version word; the block before it must be whole.
        Made back(*clsid);
        EXPECT_EQ(whole.ReadBack(back.e), S_OK);

        Made cut(*clsid);
        EXPECT_EQ(geometry.ReadBack(cut.e), E_FAIL);
    }
}

TEST_F(Groups, CopiesOfGroupNodesAndFeatureGroupNodes)
{
    Made node(CLSID_APGroupNode);
    node.Model<APGroupNode>()->SetNodeString("left");
    node.Model<APNode>()->SetNote("n1");
    node.e->SetName(Text("holder"));
    Made copy(CLSID_APGroupNode);
    ASSERT_EQ(node.e->Clone(copy.e), S_OK);
    EXPECT_EQ(GroupNodeString(copy), "left");
    CString text;
    copy.Model<APNode>()->GetNote(text);
    EXPECT_STREQ(text.GetString(), "n1");
    copy.Model<APElement>()->GetName(text);
    EXPECT_STREQ(text.GetString(), "holder");

    // The copy takes no links.
    Made parent(CLSID_APAssemblyNode);
    IAPNode* parentNode = parent.As<IAPNode>(IID_IAPNode);
    IAPNode* child = node.As<IAPNode>(IID_IAPNode);
    ASSERT_EQ(parentNode->AppendChild(child), S_OK);
    Made second(CLSID_APGroupNode);
    ASSERT_EQ(node.e->Clone(second.e), S_OK);
    int parents = -1;
    second.Model<APNode>()->GetNumParents(&parents);
    EXPECT_EQ(parents, 0);
    ASSERT_EQ(parentNode->RemoveChild(child), S_OK);
    child->Release();
    parentNode->Release();

    Made feature(CLSID_APFeatureGroupNode), featureCopy(CLSID_APFeatureGroupNode);
    Made sub(CLSID_APSubFeatureGroupNode), subCopy(CLSID_APSubFeatureGroupNode);
    feature.Model<APNode>()->SetNote("f");
    sub.Model<APNode>()->SetNote("s");
    ASSERT_EQ(feature.e->Clone(featureCopy.e), S_OK);
    ASSERT_EQ(sub.e->Clone(subCopy.e), S_OK);
    featureCopy.Model<APNode>()->GetNote(text);
    EXPECT_STREQ(text.GetString(), "f");
    subCopy.Model<APNode>()->GetNote(text);
    EXPECT_STREQ(text.GetString(), "s");

    // Each class copies only into its own kind.
    Made instance(CLSID_APNodeInstance);
    EXPECT_EQ(node.e->Clone(feature.e), E_FAIL);
    EXPECT_EQ(feature.e->Clone(sub.e), E_FAIL);
    EXPECT_EQ(sub.e->Clone(node.e), E_FAIL);
    EXPECT_EQ(instance.e->Clone(node.e), E_FAIL);
    EXPECT_EQ(node.e->Clone(instance.e), E_FAIL);
}

// ---------------------------------------------------------------------------------------
// A group copied through the document's copy map

namespace {

// The document's side of a copy: a map from old to new elements, answering requests at
// once for copied elements and with null at the end of the copy for the others.
class CopyMapDocument : public DocumentStub, public IAPDocEventSink {
public:
    LONG refs = 1;
    std::vector<std::pair<IAPElement*, IAPElement*>> copies;
    std::vector<ULONG_PTR*> unanswered;
    int requests = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (iid == IID_IUnknown || iid == IID_IAPDocument) *ppv = static_cast<IAPDocument*>(this);
        else if (iid == IID_IAPDocEventSink) *ppv = static_cast<IAPDocEventSink*>(this);
        else return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs); }
    HRESULT STDMETHODCALLTYPE Notify(unsigned short, IAPElement*, unsigned long, unsigned char*) override { return S_OK; }

    HRESULT STDMETHODCALLTYPE GetPossibleReferenceElement(IAPElement* dependent, GUID* type, IAPElement* old,
                                                          ULONG_PTR* slot) override
    {
        ++requests;
        for (auto& [from, to] : copies) {
            if (from != old) continue;
            void* typed = nullptr;
            if (FAILED(to->QueryInterface(*type, &typed))) return E_FAIL;
            static_cast<IUnknown*>(typed)->Release(); // held without a reference
            *reinterpret_cast<void**>(slot) = typed;
            IAPElementSink* sink = nullptr;
            if (FAILED(dependent->QueryInterface(IID_IAPElementSink, reinterpret_cast<void**>(&sink)))) return E_FAIL;
            to->AddDependent(sink);
            sink->Release();
            return S_OK;
        }
        unanswered.push_back(slot);
        return S_OK;
    }
    void EndCopy()
    {
        for (ULONG_PTR* slot : unanswered) *reinterpret_cast<void**>(slot) = nullptr;
        unanswered.clear();
    }
};

} // namespace

TEST_F(Groups, ACopyKeepsOnlyTheMembersTheDocumentSupplies)
{
    CopyMapDocument doc;
    GroupWithOps source(3);
    for (IAPElement* op : source.ops) ASSERT_EQ(source.group->AppendGroupElement(op), S_OK);
    source.groupElement->BindDocument(&doc);

    // Operation 1 was copied in the same operation; 0 and 2 were not.
    IAPElement* copiedOp = Create<IAPElement>(CLSID_APMeasurementOperation, IID_IAPElement);
    doc.copies.emplace_back(source.ops[1], copiedOp);

    GroupWithOps target(0);
    ASSERT_EQ(source.groupElement->Clone(target.groupElement), S_OK);
    EXPECT_EQ(doc.requests, 3);
    doc.EndCopy();
    EXPECT_EQ(Members(target.group), 3); // until the clean-up
    ASSERT_EQ(target.groupElement->CleanUpCopyList(), S_OK);
    ASSERT_EQ(Members(target.group), 1);
    IAPElement* member = nullptr;
    ASSERT_EQ(target.group->GetGroupElement(0, &member), S_OK);
    EXPECT_EQ(member, copiedOp);
    member->Release();

    // The originals keep only the source as their watcher; the copy watches its new member.
    for (IAPElement* op : source.ops) EXPECT_EQ(Dependents(op), 1);
    EXPECT_EQ(Dependents(copiedOp), 1);
    EXPECT_EQ(Members(source.group), 3);

    // The copy follows its member's end like any group.
    copiedOp->Release();
    EXPECT_EQ(Members(target.group), 0);
    source.groupElement->BindDocument(nullptr);
    target.groupElement->BindDocument(nullptr);
}

// ---------------------------------------------------------------------------------------
// Leaving members that cannot be reached

namespace {

// A measurement operation seen through a proxy whose element interface can be cut off.
class CutOffMember : public IUnknown {
public:
    LONG refs = 1;
    IAPElement* element = nullptr; // the real operation behind the proxy
    bool cut = false;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (iid == IID_IUnknown || iid == IID_IAPMeasurementOperation) {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        if (iid == IID_IAPElement && !cut) return element->QueryInterface(iid, ppv);
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs); }
};

class Listener : public UncountedFake<IAPElementSink, &IID_IAPElementSink> {
public:
    std::vector<unsigned long> heard;
    HRESULT STDMETHODCALLTYPE Notify(unsigned long cmd, IAPElement*) override
    {
        heard.push_back(cmd);
        return S_OK;
    }
};

} // namespace

TEST_F(Groups, AnEndingGroupLetsGoOfEveryMemberItCanReach)
{
    GroupWithOps g(3);
    CutOffMember proxy;
    proxy.element = g.ops[1];
    ASSERT_EQ(g.group->AppendGroupElement(g.ops[0]), S_OK);
    ASSERT_EQ(g.group->AppendGroupElement(reinterpret_cast<IAPElement*>(static_cast<IUnknown*>(&proxy))), S_OK);
    ASSERT_EQ(g.group->AppendGroupElement(g.ops[2]), S_OK);
    ASSERT_EQ(Members(g.group), 3);
    EXPECT_EQ(proxy.refs, 1); // the group keeps no reference on what it queried
    Listener listener;
    ASSERT_EQ(g.groupElement->AddDependent(&listener), S_OK);
    IAPElementSink* groupSink = Query<IAPElementSink>(g.groupElement, IID_IAPElementSink);
    groupSink->Release();

    proxy.cut = true;
    g.DestroyGroup();

    // Past the member it could not reach, the group still left the others, and its own
    // dependents heard of its end.
    EXPECT_EQ(Dependents(g.ops[0]), 0);
    EXPECT_EQ(Dependents(g.ops[2]), 0);
    EXPECT_EQ(listener.heard, std::vector<unsigned long>{3});
    // The member it could not reach through its interface does not list the group either:
    // an ending element leaves every dependents list it is in.
    EXPECT_EQ(Dependents(g.ops[1]), 0);
    EXPECT_EQ(g.ops[1]->RemoveDependent(groupSink), E_FAIL);
}

TEST_F(Groups, AFixupThatMeetsANonMemberChangesNothing)
{
    GroupWithOps g(1);
    IAPElement* part = Create<IAPElement>(CLSID_APPartNode, IID_IAPElement);
    WmMemoryByteStream bytes;
    {
        Swizzled s(bytes);
        WmObjectStream& out = s.stream;
        ASSERT_EQ(ModelOf<APElement>(g.groupElement)->APElement::Serialize(&out), S_OK);
        int op = 0, other = 0;
        ASSERT_TRUE(out.ptr2num(g.ops[0], &op) && out.ptr2num(part, &other));
        ASSERT_TRUE(out.write(1) && out.write(2) && out.write(op) && out.write(other));
        ASSERT_EQ(ModelOf<APElement>(g.ops[0])->Serialize(&out), S_OK);
        ASSERT_EQ(ModelOf<APElement>(part)->APElement::Serialize(&out), S_OK);
    }
    GroupWithOps r(1);
    IAPElement* readPart = Create<IAPElement>(CLSID_APPartNode, IID_IAPElement);
    bytes.Open(nullptr);
    {
        Swizzled s(bytes);
        WmObjectStream& in = s.stream;
        ASSERT_EQ(ModelOf<APGroup>(r.groupElement)->Deserialize(&in), S_OK);
        ASSERT_EQ(ModelOf<APElement>(r.ops[0])->Deserialize(&in), S_OK);
        ASSERT_EQ(ModelOf<APElement>(readPart)->APElement::Deserialize(&in), S_OK);
    }
    EXPECT_EQ(r.groupElement->FixupLists(), E_FAIL);
    EXPECT_EQ(Members(r.group), 0);
    EXPECT_EQ(Dependents(r.ops[0]), 0);
    EXPECT_EQ(Dependents(readPart), 0);
    readPart->Release();
    part->Release();
}

// ---------------------------------------------------------------------------------------
// References still waiting for their elements when a block is read again or let go

TEST_F(Groups, ReadingAGroupBlockAgainWithdrawsTheReferencesStillWaiting)
{
    // A block with one member, then a block of the same group with three: the slots for the
    // second read cannot be those of the first.
    GroupWithOps g(3);
    APGroup* written = ModelOf<APGroup>(g.groupElement);
    StreamPair s;
    ASSERT_EQ(g.group->AppendGroupElement(g.ops[0]), S_OK);
    ASSERT_EQ(written->Serialize(&s.stream), S_OK);
    for (int i = 1; i < 3; ++i) ASSERT_EQ(g.group->AppendGroupElement(g.ops[i]), S_OK);
    ASSERT_EQ(written->Serialize(&s.stream), S_OK);
    for (IAPElement* op : g.ops) ASSERT_EQ(ObjectOf(op)->GetModelObject()->Serialize(&s.stream), S_OK);

    GroupWithOps r(3);
    APGroup* read = ModelOf<APGroup>(r.groupElement);
    s.bytes.Open(nullptr);
    WmPtrSwizzle fresh;
    s.stream.setSwizzler(&fresh);
    ASSERT_EQ(read->Deserialize(&s.stream), S_OK);
    EXPECT_EQ(fresh.pendingCount(), 1);
    ASSERT_EQ(read->Deserialize(&s.stream), S_OK);
    EXPECT_EQ(fresh.pendingCount(), 3); // the first read's slot waits no longer
    for (IAPElement* op : r.ops) ASSERT_EQ(ObjectOf(op)->GetModelObject()->Deserialize(&s.stream), S_OK);
    EXPECT_EQ(fresh.pendingCount(), 0);
    s.stream.setSwizzler(&s.swizzle);
    ASSERT_EQ(r.groupElement->FixupLists(), S_OK);
    ASSERT_EQ(Members(r.group), 3);
    for (int i = 0; i < 3; ++i) {
        IAPElement* member = nullptr;
        ASSERT_EQ(r.group->GetGroupElement(i, &member), S_OK);
        EXPECT_EQ(member, r.ops[i]);
        member->Release();
    }
}

TEST_F(Groups, AFixupOrTheEndOfAGroupWithdrawsItsWaitingReferences)
{
    // References to elements the stream never reads.
    StreamPair s;
    {
        GroupWithOps g(2);
        for (IAPElement* op : g.ops) ASSERT_EQ(g.group->AppendGroupElement(op), S_OK);
        ASSERT_EQ(ModelOf<APGroup>(g.groupElement)->Serialize(&s.stream), S_OK);
    }
    WmPtrSwizzle fresh;
    s.stream.setSwizzler(&fresh);
    {
        GroupWithOps r(0);
        s.bytes.Open(nullptr);
        ASSERT_EQ(ModelOf<APGroup>(r.groupElement)->Deserialize(&s.stream), S_OK);
        EXPECT_EQ(fresh.pendingCount(), 2);
        EXPECT_EQ(r.groupElement->FixupLists(), S_OK);
        EXPECT_EQ(Members(r.group), 0);
        EXPECT_EQ(fresh.pendingCount(), 0);
    }
    {
        GroupWithOps r(0);
        s.bytes.Open(nullptr);
        ASSERT_EQ(ModelOf<APGroup>(r.groupElement)->Deserialize(&s.stream), S_OK);
        EXPECT_EQ(fresh.pendingCount(), 2);
    }
    EXPECT_EQ(fresh.pendingCount(), 0); // the group went before its references were filled
    s.stream.setSwizzler(&s.swizzle);
}

TEST_F(Groups, ReadingANodeBlockAgainWithdrawsTheChildrenStillWaiting)
{
    Made parent(CLSID_APGroupNode);
    std::vector<Made*> children;
    for (int i = 0; i < 3; ++i) children.push_back(new Made(CLSID_APGroupNode));
    IAPNode* parentNode = parent.As<IAPNode>(IID_IAPNode);
    auto link = [&](int i) {
        IAPNode* child = children[static_cast<std::size_t>(i)]->As<IAPNode>(IID_IAPNode);
        EXPECT_EQ(parentNode->AppendChild(child), S_OK);
        child->Release();
    };
    StreamPair s;
    link(0);
    ASSERT_EQ(parent.Model<APGroupNode>()->Serialize(&s.stream), S_OK);
    link(1);
    link(2);
    ASSERT_EQ(parent.Model<APGroupNode>()->Serialize(&s.stream), S_OK);
    for (Made* child : children) ASSERT_EQ(child->Model<APGroupNode>()->Serialize(&s.stream), S_OK);
    for (int i = 2; i >= 0; --i) ASSERT_EQ(parentNode->RemoveChildByIndex(i), S_OK);
    parentNode->Release();

    Made back(CLSID_APGroupNode);
    std::vector<Made*> backChildren;
    for (int i = 0; i < 3; ++i) backChildren.push_back(new Made(CLSID_APGroupNode));
    s.bytes.Open(nullptr);
    WmPtrSwizzle fresh;
    s.stream.setSwizzler(&fresh);
    ASSERT_EQ(back.Model<APGroupNode>()->Deserialize(&s.stream), S_OK);
    EXPECT_EQ(fresh.pendingCount(), 1);
    ASSERT_EQ(back.Model<APGroupNode>()->Deserialize(&s.stream), S_OK);
    EXPECT_EQ(fresh.pendingCount(), 3);
    for (Made* child : backChildren) ASSERT_EQ(child->Model<APGroupNode>()->Deserialize(&s.stream), S_OK);
    EXPECT_EQ(fresh.pendingCount(), 0);
    s.stream.setSwizzler(&s.swizzle);
    ASSERT_GE(back.e->FixupLists(), 0);
    IAPNode* backNode = back.As<IAPNode>(IID_IAPNode);
    int count = -1;
    ASSERT_EQ(backNode->GetNumChildren(&count), S_OK);
    ASSERT_EQ(count, 3);
    for (int i = 0; i < 3; ++i) {
        IAPNode* child = nullptr;
        ASSERT_EQ(backNode->GetChild(i, &child), S_OK);
        IAPNode* expected = backChildren[static_cast<std::size_t>(i)]->As<IAPNode>(IID_IAPNode);
        EXPECT_EQ(child, expected);
        expected->Release();
        child->Release();
    }
    for (int i = 2; i >= 0; --i) ASSERT_EQ(backNode->RemoveChildByIndex(i), S_OK);
    backNode->Release();
    for (Made* child : backChildren) delete child;
    for (Made* child : children) delete child;
}
