#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include <vector>

#include "model/APGroup.h"
#include "platform/moniker/MkMoniker.h"
#include "platform/orv/ORVComCreate.h"
#include "element_support.h"

using namespace plenvort_test;

namespace {

class RecordingDocSink : public CountedFake<IAPDocEventSink, &IID_IAPDocEventSink> {
public:
    std::vector<GUID> changes; // IIDs of command 1

    HRESULT STDMETHODCALLTYPE Notify(unsigned short cmd, IAPElement*, unsigned long length, unsigned char* message) override
    {
        EXPECT_EQ(cmd, 1);
        GUID g{};
        if (message && length == sizeof(GUID)) std::memcpy(&g, message, sizeof(GUID));
        changes.push_back(g);
        return S_OK;
    }
    // The changes heard since the last call.
    std::vector<GUID> Take()
    {
        std::vector<GUID> heard;
        heard.swap(changes);
        return heard;
    }
};

// An element made through its class and bound to a recording document.
struct Element {
    IAPElement* e;
    RecordingDocSink doc;
    explicit Element(REFCLSID clsid) : e(Create<IAPElement>(clsid, IID_IAPElement)) { e->BindDocument(&doc); }
    ~Element()
    {
        e->BindDocument(nullptr);
        e->Release();
    }
    Element(const Element&) = delete;
    Element& operator=(const Element&) = delete;

    template <class I>
    I* As(REFIID iid) const
    {
        return Query<I>(e, iid);
    }
    // Any interface of the element object, even one its class does not hand out: the kind
    // test is the element's last line.
    template <class I>
    I* Raw() const
    {
        return static_cast<I*>(ObjectOf(e));
    }
    template <class M>
    M* Model() const
    {
        return static_cast<M*>(ObjectOf(e)->GetModelObject());
    }
};

bool Heard(const std::vector<GUID>& changes, REFIID iid)
{
    return changes.size() == 1 && IsEqualGUID(changes[0], iid);
}

using NodeInterfaces = ObjectsTest;

} // namespace

// ---------------------------------------------------------------------------------------
// Kind tests

TEST_F(NodeInterfaces, FamiliesAnswerSFalseOnOtherClassesAndTouchNothing)
{
    Element assembly(CLSID_APAssemblyNode), part(CLSID_APPartNode), group(CLSID_APGroupNode),
        datum(CLSID_APDatum), condition(CLSID_APCondition);

    int value = -7;
    double x = -7;
    unsigned char text[16] = "untouched";
    float m[16] = {};
    IAPPartNode6* notPart = assembly.Raw<IAPPartNode6>();
    EXPECT_EQ(notPart->GetNumListItems(&value), S_FALSE);
    EXPECT_EQ(notPart->SetPartNodeNodeString(Text("x")), S_FALSE);
    EXPECT_EQ(notPart->GetPartNodeNodeString(text), S_FALSE);
    EXPECT_EQ(notPart->SetMatrix4f(m), S_FALSE);
    EXPECT_EQ(notPart->GetScalar(&x), S_FALSE);
    EXPECT_EQ(notPart->SetFlag1(), S_FALSE);
    EXPECT_EQ(notPart->GetPartNodeIntValue3(&value), S_FALSE);
    EXPECT_EQ(value, -7);
    EXPECT_EQ(x, -7);
    EXPECT_STREQ(reinterpret_cast<char*>(text), "untouched");

    // A part node is no fixture; a group node no part or assembly.
    EXPECT_EQ(part.Raw<IAPFixtureNode>()->GetFixtureValue(&value), S_FALSE);
    EXPECT_EQ(part.Raw<IAPFixtureNode>()->SetFixtureValue(1), S_FALSE);
    EXPECT_EQ(group.Raw<IAPAssemblyNode4>()->SetIntPair(1, 2), S_FALSE);
    EXPECT_EQ(group.Raw<IAPAssemblyNode4>()->SetAssemblyNodeDataMoniker(nullptr), S_FALSE);
    EXPECT_EQ(part.Raw<IAPGroupNode2>()->SetGroupNodeNodeString(Text("x")), S_FALSE);
    EXPECT_EQ(part.Raw<IAPGroupNode2>()->GetGroupNodeNodeString(text), S_FALSE);
    EXPECT_EQ(value, -7);

    // Elements that are no nodes.
    IAPNode3* notNode = datum.Raw<IAPNode3>();
    EXPECT_EQ(notNode->GetNumChildren(&value), S_FALSE);
    EXPECT_EQ(notNode->SetNote(Text("x")), S_FALSE);
    EXPECT_EQ(notNode->SetNote2(Text("x")), S_FALSE);
    EXPECT_EQ(condition.Raw<IAPNode3>()->GetNumParents(&value), S_FALSE);
    EXPECT_EQ(value, -7);

    for (Element* each : {&assembly, &part, &group, &datum, &condition}) EXPECT_TRUE(each->doc.Take().empty());
}

TEST_F(NodeInterfaces, AFixtureIsAPartNode)
{
    Element fixture(CLSID_APFixtureNode);
    IAPPartNode6* p = fixture.As<IAPPartNode6>(IID_IAPPartNode6);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->SetScalar(0.0), S_OK);
    int set = 0;
    EXPECT_EQ(p->IsScalarSet(&set), S_OK);
    EXPECT_EQ(set, 1);
    p->Release();
    IAPFixtureNode* f = fixture.As<IAPFixtureNode>(IID_IAPFixtureNode);
    int value = 0;
    EXPECT_EQ(f->GetFixtureValue(&value), S_OK);
    EXPECT_EQ(value, 3);
    EXPECT_EQ(f->SetFixtureValue(9), S_OK);
    EXPECT_EQ(f->GetFixtureValue(&value), S_OK);
    EXPECT_EQ(value, 9);
    f->Release();
}

// ---------------------------------------------------------------------------------------
// Shared methods reach the class that matched first

TEST_F(NodeInterfaces, TheIntPairIsThePartsOrTheAssemblys)
{
    Element part(CLSID_APPartNode), fixture(CLSID_APFixtureNode), assembly(CLSID_APAssemblyNode);
    IAPPartNode5* p = part.As<IAPPartNode5>(IID_IAPPartNode5);
    IAPPartNode5* f = fixture.As<IAPPartNode5>(IID_IAPPartNode5);
    IAPAssemblyNode* a = assembly.As<IAPAssemblyNode>(IID_IAPAssemblyNode);
    ASSERT_TRUE(p && f && a);
    EXPECT_EQ(p->SetIntPair(1, 2), S_OK);
    EXPECT_EQ(f->SetIntPair(3, 4), S_OK);
    EXPECT_EQ(a->SetIntPair(5, 6), S_OK);

    int first = 0, second = 0;
    part.Model<APPartNode>()->GetIntPair(&first, &second);
    EXPECT_EQ(first * 10 + second, 12);
    fixture.Model<APPartNode>()->GetIntPair(&first, &second);
    EXPECT_EQ(first * 10 + second, 34);
    assembly.Model<APAssemblyNode>()->GetIntPair(&first, &second);
    EXPECT_EQ(first * 10 + second, 56);
    EXPECT_EQ(a->GetIntPair(&first, &second), S_OK);
    EXPECT_EQ(first * 10 + second, 56);
    EXPECT_EQ(a->GetIntPair(&first, nullptr), E_POINTER);
    // The pair is no change anybody hears of.
    for (Element* each : {&part, &fixture, &assembly}) EXPECT_TRUE(each->doc.Take().empty());
    p->Release();
    f->Release();
    a->Release();
}

TEST_F(NodeInterfaces, TheNodeStringIsTheGroupNodesOrTheAssemblys)
{
    Element group(CLSID_APGroupNode), assembly(CLSID_APAssemblyNode);
    IAPGroupNode2* g = group.As<IAPGroupNode2>(IID_IAPGroupNode2);
    IAPAssemblyNode2* a = assembly.As<IAPAssemblyNode2>(IID_IAPAssemblyNode2);
    ASSERT_TRUE(g && a);
    EXPECT_EQ(g->SetGroupNodeNodeString(Text("group")), S_OK);
    EXPECT_EQ(a->SetGroupNodeNodeString(Text("asm")), S_OK);
    CString s;
    group.Model<APGroupNode>()->GetNodeString(s);
    EXPECT_STREQ(s.GetString(), "group");
    assembly.Model<APAssemblyNode>()->GetNodeString(s);
    EXPECT_STREQ(s.GetString(), "asm");
    unsigned char buffer[16] = {};
    EXPECT_EQ(a->GetGroupNodeNodeString(buffer), S_OK);
    EXPECT_STREQ(reinterpret_cast<char*>(buffer), "asm");
    EXPECT_TRUE(group.doc.Take().empty());
    EXPECT_TRUE(assembly.doc.Take().empty());
    g->Release();
    a->Release();
}

// ---------------------------------------------------------------------------------------
// Notifications carry the family's first interface whatever version was called

TEST_F(NodeInterfaces, PartNodeChangesAreAnnouncedAsIAPPartNode)
{
    Element part(CLSID_APPartNode);
    IAPPartNode6* p = part.As<IAPPartNode6>(IID_IAPPartNode6);
    ASSERT_NE(p, nullptr);
    float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 4, 5, 6, 1};

    EXPECT_EQ(p->SetPartNodeNodeString(Text("bracket.prt")), S_OK);
    EXPECT_TRUE(Heard(part.doc.Take(), IID_IAPPartNode));
    EXPECT_EQ(p->SetMatrix4f(m), S_OK);
    EXPECT_TRUE(Heard(part.doc.Take(), IID_IAPPartNode));
    EXPECT_EQ(p->SetVector(1, 2, 3), S_OK);
    EXPECT_TRUE(Heard(part.doc.Take(), IID_IAPPartNode));
    EXPECT_EQ(p->SetScalar(2.5), S_OK);
    EXPECT_TRUE(Heard(part.doc.Take(), IID_IAPPartNode));

    // Quiet ones.
    double twelve[12] = {};
    EXPECT_EQ(p->SetFlag1(), S_OK);
    EXPECT_EQ(p->ClearFlag1(), S_OK);
    EXPECT_EQ(p->SetFlag2(), S_OK);
    EXPECT_EQ(p->SetPartNodeMatrix3x4(twelve), S_OK);
    EXPECT_EQ(p->SetPartNodeIntValue1(1), S_OK);
    EXPECT_EQ(p->SetPartNodeIntValue2(2), S_OK);
    EXPECT_EQ(p->SetPartNodeIntValue3(3), S_OK);
    EXPECT_EQ(p->SetPartNodeDataMoniker(nullptr), S_OK);
    EXPECT_TRUE(part.doc.Take().empty());

    // Failures are not announced.
    EXPECT_EQ(p->RemoveListItemByIndex(0), E_FAIL);
    EXPECT_EQ(p->RemoveListItem2ByIndex(-1), E_FAIL);
    EXPECT_TRUE(part.doc.Take().empty());

    float back[16] = {};
    EXPECT_EQ(p->GetMatrix4f(back), S_OK);
    EXPECT_EQ(std::memcmp(back, m, sizeof m), 0);
    double x = 0, y = 0, z = 0;
    EXPECT_EQ(p->GetVector(&x, &y, &z), S_OK);
    EXPECT_EQ(x + y + z, 6.0);
    unsigned char name[32] = {};
    EXPECT_EQ(p->GetPartNodeNodeString(name), S_OK);
    EXPECT_STREQ(reinterpret_cast<char*>(name), "bracket.prt");

    // Null buffers and out-pointers are refused before the model sees them.
    EXPECT_EQ(p->GetMatrix4f(nullptr), E_POINTER);
    EXPECT_EQ(p->SetMatrix4f(nullptr), E_POINTER);
    EXPECT_EQ(p->GetVector(&x, nullptr, &z), E_POINTER);
    EXPECT_EQ(p->GetPartNodeNodeString(nullptr), E_POINTER);
    EXPECT_EQ(p->GetPartNodeMatrix3x4(nullptr), E_POINTER);
    EXPECT_EQ(p->GetNumListItems(nullptr), E_POINTER);
    EXPECT_TRUE(part.doc.Take().empty());
    p->Release();
}

TEST_F(NodeInterfaces, FixtureValueIsAnnouncedAsIAPFixtureNode)
{
    Element fixture(CLSID_APFixtureNode);
    IAPFixtureNode* f = fixture.As<IAPFixtureNode>(IID_IAPFixtureNode);
    EXPECT_EQ(f->SetFixtureValue(4), S_OK);
    EXPECT_TRUE(Heard(fixture.doc.Take(), IID_IAPFixtureNode));
    int value = 0;
    EXPECT_EQ(f->GetFixtureValue(&value), S_OK);
    EXPECT_TRUE(fixture.doc.Take().empty());
    EXPECT_EQ(f->GetFixtureValue(nullptr), E_POINTER);
    f->Release();
}

TEST_F(NodeInterfaces, NodeChangesAreAnnouncedAsIAPNodeFromEveryVersion)
{
    Element node(CLSID_APAssemblyNode), child(CLSID_APPartNode);
    IAPNode3* n3 = node.As<IAPNode3>(IID_IAPNode3);
    IAPNode* c = child.As<IAPNode>(IID_IAPNode);
    ASSERT_TRUE(n3 && c);
    EXPECT_EQ(n3->SetNote(Text("n")), S_OK);
    EXPECT_TRUE(Heard(node.doc.Take(), IID_IAPNode));
    EXPECT_EQ(n3->SetNote2(Text("n2")), S_OK);
    EXPECT_TRUE(node.doc.Take().empty());
    EXPECT_EQ(n3->AppendChild(c), S_OK);
    EXPECT_TRUE(Heard(node.doc.Take(), IID_IAPNode));
    EXPECT_TRUE(child.doc.Take().empty()); // the child's half of the link is quiet
    EXPECT_EQ(n3->RemoveChild(c), S_OK);
    EXPECT_TRUE(Heard(node.doc.Take(), IID_IAPNode));
    c->Release();
    n3->Release();
}

// ---------------------------------------------------------------------------------------
// Datum and frame lists through their own interfaces

TEST_F(NodeInterfaces, ListItemsGoInAndComeOutAsTheirOwnInterfaces)
{
    Element part(CLSID_APPartNode);
    IAPPartNode* p = part.As<IAPPartNode>(IID_IAPPartNode);
    IAPElement* frameElement = Create<IAPElement>(CLSID_APDRF, IID_IAPElement);
    IAPElement* datumElement = Create<IAPElement>(CLSID_APDatum, IID_IAPElement);
    IAPDRF* frame = Query<IAPDRF>(frameElement, IID_IAPDRF);
    IAPDatum* datum = Query<IAPDatum>(datumElement, IID_IAPDatum);
    ASSERT_TRUE(p && frame && datum);
    const ULONG frameRefs = RefCount(frame);
    const ULONG datumRefs = RefCount(datum);

    ASSERT_EQ(p->AppendListItem(frame), S_OK);
    EXPECT_TRUE(Heard(part.doc.Take(), IID_IAPPartNode));
    EXPECT_EQ(p->AppendListItem(frame), S_OK); // once only
    ASSERT_EQ(p->AppendListItem2(datum), S_OK);
    part.doc.Take();
    EXPECT_EQ(RefCount(frame), frameRefs + 1);
    EXPECT_EQ(RefCount(datum), datumRefs + 1);
    int n = 0;
    EXPECT_EQ(p->GetNumListItems(&n), S_OK);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(p->GetNumListItems2(&n), S_OK);
    EXPECT_EQ(n, 1);

    IAPDRF* gotFrame = nullptr;
    IAPDatum* gotDatum = nullptr;
    ASSERT_EQ(p->GetListItem(0, &gotFrame), S_OK);
    ASSERT_EQ(p->GetListItem2(0, &gotDatum), S_OK);
    EXPECT_EQ(gotFrame, frame);
    EXPECT_EQ(gotDatum, datum);
    EXPECT_EQ(RefCount(frame), frameRefs + 2);
    gotFrame->Release();
    gotDatum->Release();
    EXPECT_EQ(p->GetListItem(1, &gotFrame), E_FAIL);
    EXPECT_EQ(p->GetListItem2(0, nullptr), E_POINTER);

    ASSERT_EQ(p->RemoveListItem(frame), S_OK);
    EXPECT_TRUE(Heard(part.doc.Take(), IID_IAPPartNode));
    ASSERT_EQ(p->RemoveListItem2(datum), S_OK);
    EXPECT_EQ(RefCount(frame), frameRefs);
    EXPECT_EQ(RefCount(datum), datumRefs);
    EXPECT_EQ(p->AppendListItem(nullptr), E_FAIL);

    frame->Release();
    datum->Release();
    frameElement->Release();
    datumElement->Release();
    p->Release();
}

TEST_F(NodeInterfaces, MonikersThroughTheAssemblyAndPartFamilies)
{
    Element assembly(CLSID_APAssemblyNode), part(CLSID_APPartNode);
    IORVDataMoniker* mk = nullptr;
    ASSERT_EQ(MkCreateMoniker("C:\\parts\\a.asm", &mk), S_OK);
    const ULONG before = RefCount(mk);

    IAPAssemblyNode4* a = assembly.As<IAPAssemblyNode4>(IID_IAPAssemblyNode4);
    IAPPartNode3* p = part.As<IAPPartNode3>(IID_IAPPartNode3);
    ASSERT_EQ(a->SetAssemblyNodeDataMoniker(mk), S_OK);
    ASSERT_EQ(p->SetPartNodeDataMoniker(mk), S_OK);
    EXPECT_EQ(RefCount(mk), before + 2);
    IORVDataMoniker* got = nullptr;
    ASSERT_EQ(a->GetAssemblyNodeDataMoniker(&got), S_OK);
    EXPECT_EQ(got, mk);
    got->Release();
    ASSERT_EQ(p->GetPartNodeDataMoniker(&got), S_OK);
    EXPECT_EQ(got, mk);
    got->Release();
    EXPECT_EQ(a->GetAssemblyNodeDataMoniker(nullptr), E_POINTER);
    EXPECT_TRUE(assembly.doc.Take().empty());
    EXPECT_TRUE(part.doc.Take().empty());
    a->Release();
    p->Release();
    EXPECT_EQ(RefCount(mk), before + 2);
    mk->Release();
}

TEST_F(NodeInterfaces, GroupChangesAreAnnouncedAsIAPGroup)
{
    Element group(CLSID_APGroup);
    IAPElement* op = Create<IAPElement>(CLSID_APMeasurementOperation, IID_IAPElement);
    IAPGroup* g = group.As<IAPGroup>(IID_IAPGroup);
    EXPECT_EQ(g->AppendGroupElement(op), S_OK);
    EXPECT_TRUE(Heard(group.doc.Take(), IID_IAPGroup));
    int n = 0;
    EXPECT_EQ(g->GetGroupNumElements(&n), S_OK);
    EXPECT_TRUE(group.doc.Take().empty());
    EXPECT_EQ(g->RemoveGroupElementByIndex(0), S_OK);
    EXPECT_TRUE(Heard(group.doc.Take(), IID_IAPGroup));
    g->Release();
    op->Release();
}
