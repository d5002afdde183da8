// The node tree, the groups and the element block against entries of the wrong kind, null
// out-pointers, and readings that end or repeat while references are still awaited.
#include <gtest/gtest.h>
#include <cstring>
#include <vector>

#include "model/APGroup.h"
#include "model/APNode.h"
#include "platform/toolkit/WmByteStream.h"
#include "platform/toolkit/WmObjectStream.h"
#include "element_support.h"

using namespace plenvort_test;

namespace {


const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// A current part block of `part` whose datum list (or frame list) holds one entry: the
// record of `entry` under the class `entryClass`.
void WritePartWithEntry(Writer& w, IAPNode* part, IUnknown* entry, const CLSID& entryClass, bool asFrame)
{
    ASSERT_EQ(Model<APGeometryNode>(part)->APGeometryNode::Serialize(&w.out), S_OK);
    ASSERT_TRUE(w.out.write(8) && w.out.write(WmString("")) && w.out.write(0) && w.out.write(0));
    ASSERT_TRUE(w.out.writeMatrix4f(kIdentity));
    if (asFrame) {
        ASSERT_TRUE(w.out.write(0)); // no datums
    }
    ASSERT_TRUE(w.out.write(1) && w.out.write(WmGUID(entryClass)));
    IAPElement* e = Elem(entry);
    ASSERT_EQ(e->Serialize(w.Handle()), S_OK);
    e->Release();
    if (!asFrame) {
        ASSERT_TRUE(w.out.write(0)); // no frames
    }
    ASSERT_TRUE(w.out.write(0) && w.out.write(0));                 // no vector, no scalar
    ASSERT_TRUE(w.out.write(0));                                    // no moniker
    ASSERT_TRUE(w.out.write(0) && w.out.write(-1) && w.out.write(-1) && w.out.write(0));
}

using ModelBadInput = ObjectsTest;

} // namespace

// ---------------------------------------------------------------------------------------
// A part's datum and frame lists take only datums and frames from a stream

TEST_F(ModelBadInput, APartBlockRefusesListEntriesOfAnotherKind)
{
    // A "datum" that is an assembly node naming the part itself as its child: taken as it
    // stands, the part would own its own parent and neither could ever go.
    IAPNode* part = Create<IAPNode>(CLSID_APPartNode, IID_IAPNode);
    IAPNode* intruder = Create<IAPNode>(CLSID_APAssemblyNode, IID_IAPNode);
    ASSERT_EQ(intruder->AppendChild(part), S_OK);
    Writer w;
    WritePartWithEntry(w, part, intruder, CLSID_APAssemblyNode, false);
    ASSERT_EQ(intruder->RemoveChild(part), S_OK);
    intruder->Release();
    part->Release();

    IAPElement* read = Create<IAPElement>(CLSID_APPartNode, IID_IAPElement);
    Reader r(w.bytes.Bytes());
    EXPECT_EQ(read->Deserialize(r.Handle()), E_FAIL);
    read->FixupLists();
    IAPPartNode* asPart = Query<IAPPartNode>(read, IID_IAPPartNode);
    EXPECT_EQ(CountOf(asPart, &IAPPartNode::GetNumListItems2), 0);
    asPart->Release();
    read->Release(); // the fixture's leak check sees whether both went

    // A datum in the frame list is refused the same way.
    IAPNode* part2 = Create<IAPNode>(CLSID_APPartNode, IID_IAPNode);
    IAPElement* datum = Create<IAPElement>(CLSID_APDatum, IID_IAPElement);
    Writer w2;
    WritePartWithEntry(w2, part2, datum, CLSID_APDatum, true);
    datum->Release();
    part2->Release();
    IAPElement* read2 = Create<IAPElement>(CLSID_APPartNode, IID_IAPElement);
    Reader r2(w2.bytes.Bytes());
    EXPECT_EQ(read2->Deserialize(r2.Handle()), E_FAIL);
    read2->Release();
}

// ---------------------------------------------------------------------------------------
// Null out-pointers on the element interface fail instead of crashing

TEST_F(ModelBadInput, ElementGettersRefuseNullOutPointers)
{
    IAPElement* e = Create<IAPElement>(CLSID_APAssemblyNode, IID_IAPElement);
    EXPECT_EQ(e->GetCost(nullptr), E_FAIL);
    EXPECT_EQ(e->GetNameSize(nullptr), E_FAIL);
    EXPECT_EQ(e->GetDescriptionSize(nullptr), E_FAIL);
    EXPECT_EQ(e->GetNumDependents(nullptr), E_FAIL);
    EXPECT_EQ(e->GetDependent(0, nullptr), E_FAIL);
    IAPElement16* e16 = Query<IAPElement16>(e, IID_IAPElement16);
    ASSERT_NE(e16, nullptr);
    EXPECT_EQ(e16->RenameKeepingPrevious(Text("new"), nullptr), E_FAIL);
    e16->Release();
    e->Release();
}

// ---------------------------------------------------------------------------------------
// A part's lists take only what their interface names

TEST_F(ModelBadInput, APartListTakesOnlyItsOwnKind)
{
    // A part handed to itself as a frame would own itself: it could never go, and writing,
    // binding or fixing it would recurse without end.
    IAPPartNode* part = Create<IAPPartNode>(CLSID_APPartNode, IID_IAPPartNode);
    EXPECT_EQ(part->AppendListItem(reinterpret_cast<IAPDRF*>(part)), E_FAIL);
    EXPECT_EQ(part->AppendListItem2(reinterpret_cast<IAPDatum*>(part)), E_FAIL);
    IAPDRF* frame = Create<IAPDRF>(CLSID_APDRF, IID_IAPDRF);
    IAPDatum* datum = Create<IAPDatum>(CLSID_APDatum, IID_IAPDatum);
    EXPECT_EQ(part->AppendListItem(reinterpret_cast<IAPDRF*>(datum)), E_FAIL);
    EXPECT_EQ(part->AppendListItem2(reinterpret_cast<IAPDatum*>(frame)), E_FAIL);
    EXPECT_EQ(CountOf(part, &IAPPartNode::GetNumListItems), 0);
    EXPECT_EQ(CountOf(part, &IAPPartNode::GetNumListItems2), 0);
    // Whatever got in goes again, so that the leak check speaks of this case only.
    while (CountOf(part, &IAPPartNode::GetNumListItems) > 0) part->RemoveListItemByIndex(0);
    while (CountOf(part, &IAPPartNode::GetNumListItems2) > 0) part->RemoveListItem2ByIndex(0);

    // The right kinds still go in.
    EXPECT_EQ(part->AppendListItem(frame), S_OK);
    EXPECT_EQ(part->AppendListItem2(datum), S_OK);
    frame->Release();
    datum->Release();
    part->Release();
}

// ---------------------------------------------------------------------------------------
// References still awaited from a stream do not outlive the element that awaits them

namespace {

// The record of `holder` alone: the element it names (`named`) is never read, so the
// reading still awaits it when `holder`'s copy goes.
std::vector<unsigned char> RecordNaming(IAPElement* holder)
{
    Writer w;
    EXPECT_EQ(holder->Serialize(w.Handle()), S_OK);
    return w.bytes.Bytes();
}

// Reads the record into a new element of `clsid`, releases that element while the reading
// goes on, then lets the awaited number arrive; answers what was still waiting at the end.
int StillAwaitedAfterTheReaderWent(const std::vector<unsigned char>& record, const CLSID& clsid)
{
    Reader r(record);
    IAPElement* copy = Create<IAPElement>(clsid, IID_IAPElement);
    EXPECT_EQ(copy->Deserialize(r.Handle()), S_OK);
    EXPECT_GT(r.in.swizzler()->pendingCount(), 0);
    copy->Release();
    const int awaited = r.in.swizzler()->pendingCount();
    // Only safe once nothing waits: the swizzler would write into the freed element.
    if (awaited == 0) {
        static int stand_in = 0;
        for (int number = 1; number < 8; ++number) r.in.registerPtr(&stand_in, number);
    }
    return awaited;
}

} // namespace

TEST_F(ModelBadInput, AnEndingNodeWithdrawsTheChildReferencesItAwaits)
{
    IAPNode* parent = Create<IAPNode>(CLSID_APAssemblyNode, IID_IAPNode);
    IAPNode* child = Create<IAPNode>(CLSID_APAssemblyNode, IID_IAPNode);
    ASSERT_EQ(parent->AppendChild(child), S_OK);
    IAPElement* e = Elem(parent);
    const std::vector<unsigned char> record = RecordNaming(e);
    e->Release();
    child->Release();
    parent->Release();

    EXPECT_EQ(StillAwaitedAfterTheReaderWent(record, CLSID_APAssemblyNode), 0);
}

TEST_F(ModelBadInput, AnEndingGroupWithdrawsTheMemberReferencesItAwaits)
{
    IAPElement* group = Create<IAPElement>(CLSID_APGroup, IID_IAPElement);
    IAPGroup* g = Query<IAPGroup>(group, IID_IAPGroup);
    IAPElement* op = Create<IAPElement>(CLSID_APMeasurementOperation, IID_IAPElement);
    ASSERT_EQ(g->AppendGroupElement(op), S_OK);
    const std::vector<unsigned char> record = RecordNaming(group);
    g->Release();
    group->Release();
    op->Release();

    EXPECT_EQ(StillAwaitedAfterTheReaderWent(record, CLSID_APGroup), 0);
}

TEST_F(ModelBadInput, ANodeReadTwiceAwaitsOnlyItsLatestChildren)
{
    IAPNode* parent = Create<IAPNode>(CLSID_APAssemblyNode, IID_IAPNode);
    std::vector<IAPNode*> children;
    for (int i = 0; i < 40; ++i) {
        children.push_back(Create<IAPNode>(CLSID_APAssemblyNode, IID_IAPNode));
        ASSERT_EQ(parent->AppendChild(children.back()), S_OK);
    }
    IAPElement* e = Elem(parent);
    const std::vector<unsigned char> many = RecordNaming(e);
    for (IAPNode* c : children) {
        parent->RemoveChild(c);
        c->Release();
    }
    const std::vector<unsigned char> none = RecordNaming(e);
    e->Release();
    parent->Release();

    // The second read must not leave the first read's slots with the swizzler: their
    // storage is gone.
    Reader r1(many);
    IAPElement* copy = Create<IAPElement>(CLSID_APAssemblyNode, IID_IAPElement);
    ASSERT_EQ(copy->Deserialize(r1.Handle()), S_OK);
    EXPECT_EQ(r1.in.swizzler()->pendingCount(), 40);
    WmMemoryByteStream again(none.data(), static_cast<std::uint32_t>(none.size()));
    WmDataStream againData(&again);
    WmObjectStream againObjects(againData);
    againObjects.setByteOrder(0);
    againObjects.setSwizzler(r1.in.swizzler());
    EXPECT_EQ(copy->Deserialize(reinterpret_cast<unsigned char*>(&againObjects)), S_OK);
    EXPECT_EQ(r1.in.swizzler()->pendingCount(), 0);
    againObjects.setSwizzler(nullptr);
    copy->Release();
}
