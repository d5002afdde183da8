// Faults found by reading the node tree, the groups and the element block against their
// behaviour: each case failed (or crashed) before its fix.
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

IAPElement* Elem(IUnknown* p) { return Query<IAPElement>(p, IID_IAPElement); }

template <class T>
T* Model(IUnknown* p)
{
    IAPElement* e = Elem(p);
    if (!e) return nullptr;
    APElement* m = ObjectOf(e)->GetModelObject();
    e->Release();
    return dynamic_cast<T*>(m);
}

void Prepare(WmObjectStream& s)
{
    s.setByteOrder(0);
    auto* swizzle = new WmPtrSwizzle;
    s.setSwizzler(swizzle);
    swizzle->release();
}

struct Writer {
    WmMemoryByteStream bytes;
    WmDataStream data{&bytes};
    WmBufferedObjectStream out{data};
    Writer() { Prepare(out); }
    unsigned char* Handle() { return reinterpret_cast<unsigned char*>(&out); }
};

struct Reader {
    WmMemoryByteStream bytes;
    WmDataStream data{&bytes};
    WmObjectStream in{data};
    explicit Reader(const std::vector<unsigned char>& b) : bytes(b.data(), static_cast<std::uint32_t>(b.size()))
    {
        Prepare(in);
    }
    unsigned char* Handle() { return reinterpret_cast<unsigned char*>(&in); }
};

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

using ReviewModel = ObjectsTest;

} // namespace

// ---------------------------------------------------------------------------------------
// A part's datum and frame lists take only datums and frames from a stream

TEST_F(ReviewModel, APartBlockRefusesListEntriesOfAnotherKind)
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

TEST_F(ReviewModel, ElementGettersRefuseNullOutPointers)
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

TEST_F(ReviewModel, APartListTakesOnlyItsOwnKind)
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
