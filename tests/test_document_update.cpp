// Validation and update: a node of the process replaced by the top-level nodes of a newer
// document, with the references from outside the node tied to the elements found again.
#include <algorithm>
#include <string>
#include <vector>

#include "document/CAPDocument.h"
#include "document_support.h"

using namespace doc_test;
using plenvort_test::CountOf;

namespace {

std::string g_boxText, g_boxCaption;
UINT g_boxFlags = 0;
int g_boxes = 0;
int RecordBox(const char* text, const char* caption, UINT flags)
{
    ++g_boxes;
    g_boxText = text ? text : "";
    g_boxCaption = caption ? caption : "";
    g_boxFlags = flags;
    return IDOK;
}

using Names = std::vector<std::string>;

// Documents whose objects the test keeps are released at its end, and then nothing of the
// library may be left.
class DocumentUpdate : public DocumentTest {
protected:
    void SetUp() override
    {
        DocumentTest::SetUp();
        m_newer = NewDocument();
        ASSERT_NE(m_newer, nullptr);
    }
    void TearDown() override
    {
        for (auto it = m_kept.rbegin(); it != m_kept.rend(); ++it) (*it)->Release();
        m_newer->Release();
        DocumentTest::TearDown();
        CAPDocument::SetMessageBoxForTesting(nullptr);
        if (m_live == 0) {
            EXPECT_EQ(PlenvortDllCanUnloadNow(), S_OK);
        }
    }

    template <class T>
    T* Keep(T* p)
    {
        if (p) m_kept.push_back(p);
        return p;
    }
    IAPPointerList* List() { return Keep(Create<IAPPointerList>(CLSID_APPointerList, IID_IAPPointerList)); }

    // A node named `name` under `parent` (top-level when parent is null).
    IAPNode* Node(IAPDocument* doc, const CLSID& clsid, const char* name, IAPNode* parent)
    {
        IAPNode* node = Keep(NewNode(doc, clsid, name));
        if (parent) {
            EXPECT_EQ(doc->AddChild(parent, node), S_OK);
        }
        return node;
    }
    template <class T>
    T* As(IUnknown* p, REFIID iid)
    {
        return Keep(Query<T>(p, iid));
    }
    // A pair in `op` tying `object` (and `target`, when given).
    IAPFeaturePair* Pair(IAPDocument* doc, IAPNode* op, IAPNode* object, IAPNode* target)
    {
        GUID clsid = CLSID_APFeaturePair, iid = IID_IAPFeaturePair;
        IAPFeaturePair* pair = nullptr;
        EXPECT_EQ(doc->CreateProcessElement(&clsid, &iid, reinterpret_cast<ULONG_PTR*>(&pair)), S_OK);
        Keep(pair);
        EXPECT_EQ(As<IAPOperation>(op, IID_IAPOperation)->AppendFeaturePair(pair), S_OK);
        if (object) {
            EXPECT_EQ(pair->AppendObjectFeature(As<IAPFeature>(object, IID_IAPFeature)), S_OK);
        }
        if (target) {
            EXPECT_EQ(pair->AppendTargetFeature(As<IAPFeature>(target, IID_IAPFeature)), S_OK);
        }
        return pair;
    }
    static IUnknown* ObjectOf(IAPFeaturePair* pair, int i)
    {
        IAPFeature* f = nullptr;
        if (FAILED(pair->GetObjectFeature(i, &f)) || !f) return nullptr;
        f->Release(); // compared only
        return f;
    }
    static IUnknown* TargetOf(IAPFeaturePair* pair, int i)
    {
        IAPFeature* f = nullptr;
        if (FAILED(pair->GetTargetFeature(i, &f)) || !f) return nullptr;
        f->Release();
        return f;
    }

    // The process of an assembly Top with Fix, SubA and Base, SubA holding the part Bracket
    // with three features and an operation of its own; operations outside refer into SubA.
    // The newer document holds SubA again with Bracket, Hole1 and Slot1 (no Hole2).
    void BuildWorld()
    {
        top = Node(m_doc, CLSID_APAssemblyNode, "Top", nullptr);
        fix = Node(m_doc, CLSID_APFixtureNode, "Fix", top);
        fixPin = Node(m_doc, CLSID_APPinFeature, "FixPin", fix);
        subA = Node(m_doc, CLSID_APAssemblyNode, "SubA", top);
        base = Node(m_doc, CLSID_APPartNode, "Base", top);
        bracket = Node(m_doc, CLSID_APPartNode, "Bracket", subA);
        hole1 = Node(m_doc, CLSID_APHoleFeature, "Hole1", bracket);
        hole2 = Node(m_doc, CLSID_APHoleFeature, "Hole2", bracket);
        slot1 = Node(m_doc, CLSID_APSlotFeature, "Slot1", bracket);
        innerOp = Node(m_doc, CLSID_APAssemblyOperation, "InnerOp", subA);
        innerPair = Pair(m_doc, innerOp, hole1, hole2);

        op1 = Node(m_doc, CLSID_APAssemblyOperation, "Op1", nullptr);
        p1 = Pair(m_doc, op1, hole1, fixPin);
        op2 = Node(m_doc, CLSID_APAssemblyOperation, "Op2", nullptr);
        p2 = Pair(m_doc, op2, hole2, fixPin);
        placing = Node(m_doc, CLSID_APClassicAssemblyOperation, "Placing", nullptr);
        EXPECT_EQ(As<IAPClassicAssemblyOperation>(placing, IID_IAPClassicAssemblyOperation)
                      ->AppendAssemblyOperationElement(As<IAPElement>(bracket, IID_IAPElement)),
                  S_OK);

        newSubA = Node(m_newer, CLSID_APAssemblyNode, "SubA", nullptr);
        newBracket = Node(m_newer, CLSID_APPartNode, "Bracket", newSubA);
        newHole1 = Node(m_newer, CLSID_APHoleFeature, "Hole1", newBracket);
        newSlot1 = Node(m_newer, CLSID_APSlotFeature, "Slot1", newBracket);
    }

    IAPNode *top = nullptr, *fix = nullptr, *fixPin = nullptr, *subA = nullptr, *base = nullptr, *bracket = nullptr;
    IAPNode *hole1 = nullptr, *hole2 = nullptr, *slot1 = nullptr, *innerOp = nullptr;
    IAPNode *op1 = nullptr, *op2 = nullptr, *placing = nullptr;
    IAPFeaturePair *p1 = nullptr, *p2 = nullptr, *innerPair = nullptr;
    IAPNode *newSubA = nullptr, *newBracket = nullptr, *newHole1 = nullptr, *newSlot1 = nullptr;

    IAPDocument6* m_newer = nullptr;
    std::vector<IUnknown*> m_kept;
};

} // namespace

TEST_F(DocumentUpdate, ValidationReportsWhatTheNewerDocumentLacks)
{
    BuildWorld();
    IAPPointerList* elems = List();
    IAPPointerList* ops = List();
    const ULONG op2Refs = RefCount(op2), p2Refs = RefCount(p2);
    ASSERT_EQ(m_doc->ValidateUpdateDocument(m_newer, subA, elems, ops), S_OK);
    // Hole2 is gone; the inner operation's pair moves with SubA and is not reported.
    EXPECT_EQ(ListNames(elems), Names({"Hole2"}));
    EXPECT_EQ(ListNames(ops), Names({"Op2"}));
    // The records hold the operation twice (the list above and the record) and the pair once
    // more (the record and the recorded-elements list).
    EXPECT_EQ(RefCount(op2), op2Refs + 2);
    EXPECT_EQ(RefCount(p2), p2Refs + 2);
    EXPECT_EQ(m_doc->CleanUpUpdateDoc(), S_OK);
    EXPECT_EQ(RefCount(op2), op2Refs + 1);
    EXPECT_EQ(RefCount(p2), p2Refs);
    EXPECT_EQ(m_doc->CleanUpUpdateDoc(), S_OK);
}

TEST_F(DocumentUpdate, UpdateReplacesTheMiddleChildAndRelinks)
{
    BuildWorld();
    IAPPointerList* elems = List();
    IAPPointerList* ops = List();
    IAPPointerList* inactive = List();
    const ULONG op1Refs = RefCount(op1), p1Refs = RefCount(p1);
    ASSERT_EQ(m_doc->ValidateUpdateDocument(m_newer, subA, elems, ops), S_OK);
    Sink(1);
    ASSERT_EQ(m_doc->UpdateDocument(m_newer, subA, inactive), S_OK);
    // The records are used up: they hold nothing any more.
    EXPECT_EQ(RefCount(op1), op1Refs);
    EXPECT_EQ(RefCount(p1), p1Refs);

    EXPECT_EQ(ChildNames(top), Names({"Fix", "Bracket", "Base"}));
    EXPECT_EQ(ChildNames(newSubA), Names{}) << "both halves of the old link are gone";
    ExpectBoundTo(newBracket, m_doc);
    ExpectBoundTo(newHole1, m_doc);
    // The found pair points at the new Hole1 and keeps its target; the lost one left Op2.
    EXPECT_EQ(CountOf<IAPFeaturePair>(p1, &IAPFeaturePair::GetNumObjectFeatures), 1);
    EXPECT_TRUE(Same(ObjectOf(p1, 0), newHole1));
    EXPECT_TRUE(Same(TargetOf(p1, 0), fixPin));
    EXPECT_EQ(CountOf<IAPOperation>(As<IAPOperation>(op1, IID_IAPOperation), &IAPOperation::GetNumFeaturePairs), 1);
    EXPECT_EQ(CountOf<IAPOperation>(As<IAPOperation>(op2, IID_IAPOperation), &IAPOperation::GetNumFeaturePairs), 0);
    EXPECT_EQ(ListNames(inactive), Names({"Op2"}));
    // The assembly operation holds the new Bracket in place of the old one.
    auto* classic = As<IAPClassicAssemblyOperation>(placing, IID_IAPClassicAssemblyOperation);
    EXPECT_EQ(CountOf<IAPClassicAssemblyOperation>(classic, &IAPClassicAssemblyOperation::GetAssemblyOperationNumElements), 1);
    IAPElement* element = nullptr;
    ASSERT_EQ(classic->GetAssemblyOperationElement(0, &element), S_OK);
    EXPECT_TRUE(Same(element, newBracket));
    element->Release();
    // The old subtree left the process; the new nodes came in at its place.
    const Heard_t heard = Heard();
    ASSERT_FALSE(heard.empty());
    EXPECT_EQ(heard.back(), Heard_t::value_type(4, "Bracket"));
    EXPECT_NE(std::find(heard.begin(), heard.end(), Heard_t::value_type(3, "SubA")), heard.end());

}

TEST_F(DocumentUpdate, AValidationRunTwiceRelinksOnce)
{
    BuildWorld();
    IAPPointerList* inactive = List();
    for (int i = 0; i < 2; ++i) ASSERT_EQ(m_doc->ValidateUpdateDocument(m_newer, subA, List(), List()), S_OK);
    ASSERT_EQ(m_doc->UpdateDocument(m_newer, subA, inactive), S_OK);
    auto* classic = As<IAPClassicAssemblyOperation>(placing, IID_IAPClassicAssemblyOperation);
    EXPECT_EQ(CountOf<IAPClassicAssemblyOperation>(classic, &IAPClassicAssemblyOperation::GetAssemblyOperationNumElements), 1);
    EXPECT_EQ(CountOf<IAPFeaturePair>(p1, &IAPFeaturePair::GetNumObjectFeatures), 1);
}

TEST_F(DocumentUpdate, CleanUpDiscardsTheRecords)
{
    BuildWorld();
    IAPPointerList* elems = List();
    IAPPointerList* ops = List();
    IAPPointerList* inactive = List();
    ASSERT_EQ(m_doc->ValidateUpdateDocument(m_newer, subA, elems, ops), S_OK);
    ASSERT_EQ(m_doc->CleanUpUpdateDoc(), S_OK);
    ASSERT_EQ(m_doc->UpdateDocument(m_newer, subA, inactive), S_OK);
    EXPECT_EQ(ChildNames(top), Names({"Fix", "Bracket", "Base"}));
    // Nothing re-linked, nothing reported: the pairs only lost their old features.
    EXPECT_EQ(CountOf<IAPFeaturePair>(p1, &IAPFeaturePair::GetNumObjectFeatures), 0);
    EXPECT_EQ(CountOf<IAPOperation>(As<IAPOperation>(op2, IID_IAPOperation), &IAPOperation::GetNumFeaturePairs), 1);
    EXPECT_EQ(ListNames(inactive), Names{});
}

TEST_F(DocumentUpdate, RecordsLeftAtTheEndAreFreedWithTheDocument)
{
    BuildWorld();
    IAPPointerList* elems = List();
    IAPPointerList* ops = List();
    ASSERT_EQ(m_doc->ValidateUpdateDocument(m_newer, subA, elems, ops), S_OK);
    // TearDown releases the document with its records still there: nothing may stay alive.
}

TEST_F(DocumentUpdate, ReferencesComeOutGroupedByReferrerInFirstSeenOrder)
{
    IAPNode* a = Node(m_doc, CLSID_APAssemblyNode, "A", nullptr);
    IAPNode* part = Node(m_doc, CLSID_APPartNode, "P", a);
    IAPNode* f1 = Node(m_doc, CLSID_APPinFeature, "F1", part);
    IAPNode* f2 = Node(m_doc, CLSID_APPinFeature, "F2", part);
    IAPNode* target = Node(m_doc, CLSID_APPinFeature, "T", nullptr);
    IAPNode* opA = Node(m_doc, CLSID_APAssemblyOperation, "OpA", nullptr);
    IAPNode* opB = Node(m_doc, CLSID_APAssemblyOperation, "OpB", nullptr);
    IAPFeaturePair* pairB = Pair(m_doc, opB, f1, target);
    IAPFeaturePair* pairA = Pair(m_doc, opA, f2, target);
    ASSERT_EQ(pairB->AppendObjectFeature(As<IAPFeature>(f2, IID_IAPFeature)), S_OK); // F2's dependents: A, B
    // F1 under a second parent in the same subtree is still one element to validate.
    IAPNode* again = Node(m_doc, CLSID_APFeatureGroupNode, "Again", a);
    ASSERT_EQ(m_doc->AddChild(again, f1), S_OK);
    Node(m_newer, CLSID_APAssemblyNode, "Other", nullptr);

    IAPPointerList* elems = List();
    IAPPointerList* ops = List();
    ASSERT_EQ(m_doc->ValidateUpdateDocument(m_newer, a, elems, ops), S_OK);
    EXPECT_EQ(ListNames(elems), Names({"F1", "F2", "F2"}));
    EXPECT_EQ(ListNames(ops), Names({"OpB", "OpB", "OpA"}));

    ASSERT_EQ(m_doc->CleanUpUpdateDoc(), S_OK);

    // One record for pair B with both names: the update finds both features again.
    IAPNode* other = Keep(RootAt(m_newer, 0));
    ASSERT_NE(other, nullptr);
    IAPNode* newPart = Node(m_newer, CLSID_APPartNode, "P", other);
    IAPNode* newF1 = Node(m_newer, CLSID_APPinFeature, "F1", newPart);
    IAPNode* newF2 = Node(m_newer, CLSID_APPinFeature, "F2", newPart);
    IAPPointerList* inactive = List();
    ASSERT_EQ(m_doc->ValidateUpdateDocument(m_newer, part, List(), List()), S_OK);
    ASSERT_EQ(m_doc->UpdateDocument(m_newer, part, inactive), S_OK);
    EXPECT_EQ(ListNames(inactive), Names{});
    EXPECT_EQ(ChildNames(a), Names({"P", "Again"}));
    EXPECT_EQ(ChildNames(again), Names{});
    ASSERT_EQ(CountOf<IAPFeaturePair>(pairB, &IAPFeaturePair::GetNumObjectFeatures), 2);
    EXPECT_TRUE(Same(ObjectOf(pairB, 0), newF1));
    EXPECT_TRUE(Same(ObjectOf(pairB, 1), newF2));
    ASSERT_EQ(CountOf<IAPFeaturePair>(pairA, &IAPFeaturePair::GetNumObjectFeatures), 1);
    EXPECT_TRUE(Same(ObjectOf(pairA, 0), newF2));
}

TEST_F(DocumentUpdate, NullArgumentsAndNodesThatCannotBeReplaced)
{
    BuildWorld();
    IAPPointerList* list = List();
    EXPECT_EQ(m_doc->ValidateUpdateDocument(nullptr, subA, list, list), E_FAIL);
    EXPECT_EQ(m_doc->ValidateUpdateDocument(m_newer, nullptr, list, list), E_FAIL);
    EXPECT_EQ(m_doc->ValidateUpdateDocument(m_newer, subA, nullptr, list), E_FAIL);
    EXPECT_EQ(m_doc->ValidateUpdateDocument(m_newer, subA, list, nullptr), E_FAIL);
    // An object that is no element at all.
    EXPECT_EQ(m_doc->ValidateUpdateDocument(m_newer, reinterpret_cast<IAPNode*>(list), list, list), E_FAIL);
    EXPECT_EQ(m_doc->UpdateDocument(nullptr, subA, list), E_FAIL);
    EXPECT_EQ(m_doc->UpdateDocument(m_newer, nullptr, list), E_FAIL);
    EXPECT_EQ(m_doc->UpdateDocument(m_newer, subA, nullptr), E_FAIL);
    EXPECT_EQ(m_doc->UpdateDocument(m_doc, subA, list), E_FAIL) << "a document cannot update from itself";
    // A top-level node has no parent to stand in: nothing is deleted.
    EXPECT_EQ(m_doc->UpdateDocument(m_newer, top, list), E_FAIL);
    // A newer document without nodes fails before the old node goes.
    IAPDocument6* empty = Keep(NewDocument());
    EXPECT_EQ(m_doc->UpdateDocument(empty, subA, list), E_FAIL);
    EXPECT_EQ(ChildNames(top), Names({"Fix", "SubA", "Base"}));
    EXPECT_EQ(ChildNames(subA), Names({"Bracket", "InnerOp"}));
    EXPECT_EQ(ListNames(list), Names{});
}

TEST_F(DocumentUpdate, AReferenceCollectionThatFailsShowsTheWarning)
{
    BuildWorld();
    CAPDocument::SetMessageBoxForTesting(RecordBox);
    g_boxes = 0;
    IAPPointerList* elems = List();
    IAPPointerList* ops = List();
    // A pair is an element but no node: its references cannot be collected.
    EXPECT_EQ(m_doc->ValidateUpdateDocument(m_newer, reinterpret_cast<IAPNode*>(p1), elems, ops), S_OK);
    EXPECT_EQ(g_boxes, 1);
    EXPECT_EQ(g_boxText, "Validation failure");
    EXPECT_EQ(g_boxCaption, "Warning");
    EXPECT_EQ(g_boxFlags, 0x2030u);
    EXPECT_EQ(ListNames(elems), Names{});
    // Nothing was recorded: an update re-links nothing.
    IAPPointerList* inactive = List();
    ASSERT_EQ(m_doc->UpdateDocument(m_newer, subA, inactive), S_OK);
    EXPECT_EQ(CountOf<IAPFeaturePair>(p1, &IAPFeaturePair::GetNumObjectFeatures), 0);
    EXPECT_EQ(ListNames(inactive), Names{});
}

TEST_F(DocumentUpdate, NewNodesTakeTheOldPlaceInTheirOrder)
{
    IAPNode* top = Node(m_doc, CLSID_APAssemblyNode, "Top", nullptr);
    for (const char* name : {"N1", "N2"}) Node(m_doc, CLSID_APPartNode, name, top);
    IAPNode* old = Node(m_doc, CLSID_APAssemblyNode, "Old", top);
    Node(m_doc, CLSID_APPartNode, "N4", top);
    IAPNode* newer = Node(m_newer, CLSID_APAssemblyNode, "New", nullptr);
    for (const char* name : {"X", "Y", "Z"}) Node(m_newer, CLSID_APPartNode, name, newer);
    Node(m_newer, CLSID_APPartNode, "Second", nullptr); // only the first top-level node counts

    ASSERT_EQ(m_doc->UpdateDocument(m_newer, old, List()), S_OK);
    EXPECT_EQ(ChildNames(top), Names({"N1", "N2", "X", "Y", "Z", "N4"}));
    EXPECT_EQ(RootNames(m_newer), Names({"New", "Second"}));
}

TEST_F(DocumentUpdate, PartPathsTellFeaturesOfOneNameApart)
{
    // Pairs refer to Pin in group G of part P; the newer tree has a Pin elsewhere first.
    IAPNode* a = Node(m_doc, CLSID_APAssemblyNode, "A", nullptr);
    IAPNode* sub = Node(m_doc, CLSID_APAssemblyNode, "Sub", a);
    IAPNode* part = Node(m_doc, CLSID_APPartNode, "P", sub);
    IAPNode* group = Node(m_doc, CLSID_APFeatureGroupNode, "G", part);
    IAPNode* pin = Node(m_doc, CLSID_APPinFeature, "Pin", group);
    IAPNode* target = Node(m_doc, CLSID_APHoleFeature, "T", a);
    IAPNode* op = Node(m_doc, CLSID_APAssemblyOperation, "Op", nullptr);
    IAPFeaturePair* pair = Pair(m_doc, op, pin, target);
    // A node that is no feature but has the name does not match a pair record either.
    IAPNode* newSub = Node(m_newer, CLSID_APAssemblyNode, "Sub", nullptr);
    IAPNode* q = Node(m_newer, CLSID_APPartNode, "Q", newSub);
    Node(m_newer, CLSID_APPinFeature, "Pin", q);
    Node(m_newer, CLSID_APPartNode, "Pin", newSub);
    IAPNode* newPart = Node(m_newer, CLSID_APPartNode, "P", newSub);
    IAPNode* newGroup = Node(m_newer, CLSID_APFeatureGroupNode, "G", newPart);
    IAPNode* newPin = Node(m_newer, CLSID_APPinFeature, "Pin", newGroup);

    IAPPointerList* elems = List();
    ASSERT_EQ(m_doc->ValidateUpdateDocument(m_newer, sub, elems, List()), S_OK);
    EXPECT_EQ(ListNames(elems), Names{});
    IAPPointerList* inactive = List();
    ASSERT_EQ(m_doc->UpdateDocument(m_newer, sub, inactive), S_OK);
    EXPECT_EQ(ListNames(inactive), Names{});
    ASSERT_EQ(CountOf<IAPFeaturePair>(pair, &IAPFeaturePair::GetNumObjectFeatures), 1);
    EXPECT_TRUE(Same(ObjectOf(pair, 0), newPin));
    EXPECT_TRUE(Same(TargetOf(pair, 0), target));
    EXPECT_EQ(ChildNames(a), Names({"Q", "Pin", "P", "T"}));
}

TEST_F(DocumentUpdate, CustomOperationElementsAreFoundAgainByLabel)
{
    BuildWorld();
    IAPNode* custom = Node(m_doc, CLSID_APCustomOperation, "Custom", nullptr);
    auto* c = As<IAPCustomOperation>(custom, IID_IAPCustomOperation);
    ASSERT_EQ(c->AppendElement(Text("first hole"), As<IAPElement>(hole1, IID_IAPElement)), S_OK);
    ASSERT_EQ(c->AppendElement(Text("fixture"), As<IAPElement>(fix, IID_IAPElement)), S_OK);
    ASSERT_EQ(c->AppendElement(Text("second hole"), As<IAPElement>(hole2, IID_IAPElement)), S_OK);
    const ULONG customRefs = RefCount(custom);

    // Referrers in the order first met: Placing (Bracket), p1 and Custom (Hole1), p2 (Hole2).
    IAPPointerList* elems = List();
    IAPPointerList* ops = List();
    ASSERT_EQ(m_doc->ValidateUpdateDocument(m_newer, subA, elems, ops), S_OK);
    EXPECT_EQ(ListNames(elems), Names({"Hole2", "Hole2"}));
    EXPECT_EQ(ListNames(ops), Names({"Custom", "Op2"}));

    IAPPointerList* inactive = List();
    ASSERT_EQ(m_doc->UpdateDocument(m_newer, subA, inactive), S_OK);
    EXPECT_EQ(ListNames(inactive), Names({"Custom", "Op2"}));
    EXPECT_EQ(RefCount(custom), customRefs + 2) << "the two result lists hold it; the records are gone";
    ASSERT_EQ(CountOf<IAPCustomOperation>(c, &IAPCustomOperation::GetNumElements), 3);
    const struct {
        const char* label;
        IUnknown* element;
    } expected[] = {{"first hole", newHole1}, {"fixture", fix}, {"second hole", nullptr}};
    for (int i = 0; i < 3; ++i) {
        unsigned char label[1025] = {};
        IAPElement* element = nullptr;
        ASSERT_EQ(c->GetElement(i, label, &element), S_OK);
        EXPECT_STREQ(reinterpret_cast<char*>(label), expected[i].label);
        EXPECT_TRUE(expected[i].element ? Same(element, expected[i].element) : element == nullptr) << i;
        if (element) element->Release();
    }
}

TEST_F(DocumentUpdate, AMeasurementAlongItsObjectGainsTheFoundFeatureAsTarget)
{
    BuildWorld();
    // Modes 3 to 5 measure along the object feature and need no target; mode 1 does.
    IAPNode* along = Node(m_doc, CLSID_APMeasurementOperation, "Along", nullptr);
    IAPNode* between = Node(m_doc, CLSID_APMeasurementOperation, "Between", nullptr);
    ASSERT_EQ(As<IAPMeasurementOperation>(along, IID_IAPMeasurementOperation)->SetMeasurementMode(4), S_OK);
    ASSERT_EQ(As<IAPMeasurementOperation>(between, IID_IAPMeasurementOperation)->SetMeasurementMode(1), S_OK);
    IAPFeaturePair* alongPair = Pair(m_doc, along, slot1, nullptr);
    IAPFeaturePair* betweenPair = Pair(m_doc, between, slot1, nullptr);

    IAPPointerList* elems = List();
    ASSERT_EQ(m_doc->ValidateUpdateDocument(m_newer, subA, elems, List()), S_OK);
    EXPECT_EQ(ListNames(elems), Names({"Hole2"}));
    IAPPointerList* inactive = List();
    ASSERT_EQ(m_doc->UpdateDocument(m_newer, subA, inactive), S_OK);
    EXPECT_EQ(ListNames(inactive), Names({"Op2", "Between"}));

    ASSERT_EQ(CountOf<IAPFeaturePair>(alongPair, &IAPFeaturePair::GetNumObjectFeatures), 1);
    ASSERT_EQ(CountOf<IAPFeaturePair>(alongPair, &IAPFeaturePair::GetNumTargetFeatures), 1);
    EXPECT_TRUE(Same(ObjectOf(alongPair, 0), newSlot1));
    EXPECT_TRUE(Same(TargetOf(alongPair, 0), newSlot1));
    EXPECT_EQ(CountOf<IAPOperation>(As<IAPOperation>(along, IID_IAPOperation), &IAPOperation::GetNumFeaturePairs), 1);
    // Found again but without a target: the pair leaves its operation all the same.
    EXPECT_TRUE(Same(ObjectOf(betweenPair, 0), newSlot1));
    EXPECT_EQ(CountOf<IAPOperation>(As<IAPOperation>(between, IID_IAPOperation), &IAPOperation::GetNumFeaturePairs), 0);
}

TEST_F(DocumentUpdate, ASecondValidationAddsToTheRecords)
{
    BuildWorld();
    ASSERT_EQ(m_doc->ValidateUpdateDocument(m_newer, subA, List(), List()), S_OK);
    ASSERT_EQ(m_doc->ValidateUpdateDocument(m_newer, subA, List(), List()), S_OK);
    IAPPointerList* inactive = List();
    ASSERT_EQ(m_doc->UpdateDocument(m_newer, subA, inactive), S_OK);
    // Each record is applied: the lost pair's operation is listed twice, but a feature found
    // twice is tied to the pair once.
    EXPECT_EQ(ListNames(inactive), Names({"Op2", "Op2"}));
    ASSERT_EQ(CountOf<IAPFeaturePair>(p1, &IAPFeaturePair::GetNumObjectFeatures), 1);
    EXPECT_TRUE(Same(ObjectOf(p1, 0), newHole1));
}
