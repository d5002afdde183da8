// FEM assembly operations: defaults, boundary-condition nodes with their references and
// watches, kind tests, blocks of every version, copies and the document file.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "model/APBlockIO.h"
#include "operations/APOperation.h"
#include "document_support.h"
#include "link_support.h"

using namespace link_test;

namespace {

using FemOperations = ObjectsTest;

CAPElement* Obj(IUnknown* p)
{
    IAPElement* e = Elem(p);
    CAPElement* o = ObjectOf(e);
    e->Release();
    return o;
}

IAPPointerList* ListOf(std::initializer_list<IUnknown*> items)
{
    IAPPointerList* list = New<IAPPointerList>(CLSID_APPointerList, IID_IAPPointerList);
    for (IUnknown* p : items) list->AppendElement(p);
    return list;
}

// The FEM nodes in order (null entries as null), compared only.
std::vector<IUnknown*> Nodes(IUnknown* op)
{
    std::vector<IUnknown*> out;
    IAPPointerList* list = ListOf({});
    EXPECT_EQ(Obj(op)->GetBcNodes(list), S_OK);
    int n = 0;
    list->GetLength(&n);
    for (int i = 0; i < n; ++i) {
        GUID iid = IID_IAPElement;
        IAPElement* e = nullptr;
        list->GetElement(i, &iid, reinterpret_cast<ULONG_PTR*>(&e));
        out.push_back(e);
        Release(e);
    }
    list->Release();
    return out;
}

std::vector<unsigned char> Block(REFCLSID clsid, const std::function<void(WmObjectStream&)>& body)
{
    return NodeBlock(clsid, [&](Writer& w) { body(w.out); });
}


} // namespace

TEST_F(FemOperations, DefaultsAndKindTests)
{
    IAPElement* fem = New<IAPElement>(CLSID_APFemAssemblyOperation, IID_IAPElement);
    IAPElement* assembly = New<IAPElement>(CLSID_APAssemblyOperation, IID_IAPElement);
    CAPElement* o = ObjectOf(fem);
    APFemType type = AP_FEM_GRAVITY;
    long set = -1;
    int mode = 0, moveType = -1;
    EXPECT_EQ(o->GetFemType(&type), S_OK);
    EXPECT_EQ(type, AP_FEM_FLEX_TO_RIGID);
    EXPECT_EQ(o->IsFemTranslationalBiasSet(&set), S_OK);
    EXPECT_EQ(set, 0);
    EXPECT_EQ(o->IsFemRotationalBiasSet(&set), S_OK);
    EXPECT_EQ(set, 0);
    double x, y, z;
    EXPECT_EQ(o->GetFemTranslationalBiasVector(&x, &y, &z), E_FAIL);
    EXPECT_EQ(o->GetConditionMode(&mode), S_OK);
    EXPECT_EQ(mode, 2);
    EXPECT_TRUE(Nodes(fem).empty());
    double t[4][3] = {};
    EXPECT_EQ(o->GetFemAsmOpNominalTransform(t), S_OK);
    EXPECT_EQ(t[0][0], 1.0);
    EXPECT_EQ(t[1][1], 1.0);
    EXPECT_EQ(t[3][2], 0.0);
    EXPECT_EQ(o->SetMoveType(4), S_OK);
    EXPECT_EQ(o->GetMoveType(&moveType), S_OK);
    EXPECT_EQ(moveType, 4);
    double limit = 0;
    EXPECT_EQ(o->GetMoveLimit(&limit), S_OK);
    EXPECT_NEAR(limit, 0.1, 1e-12);

    EXPECT_EQ(o->SetFemRotationalBiasVector(1, 2, 3), S_OK);
    EXPECT_EQ(o->GetFemRotationalBiasVector(&x, &y, &z), S_OK);
    EXPECT_EQ(z, 3.0);
    EXPECT_EQ(o->GetFemType(nullptr), E_POINTER);
    EXPECT_EQ(o->GetBcNodes(nullptr), E_FAIL);
    EXPECT_EQ(o->SetBcNodes(nullptr), E_FAIL);

    // Other kinds answer S_FALSE; FEM answers nothing of the assembly chain.
    CAPElement* a = ObjectOf(assembly);
    EXPECT_EQ(a->SetFemType(AP_FEM_GRAVITY), S_FALSE);
    EXPECT_EQ(a->ClearBoundaryConditions(), S_FALSE);
    EXPECT_EQ(o->IsAssemblyOperationTranslationalBiasSet(&set), S_FALSE);
    fem->Release();
    assembly->Release();
}

TEST_F(FemOperations, BoundaryNodesHoldOneReferenceEachAndOneWatch)
{
    IAPElement* fem = New<IAPElement>(CLSID_APFemAssemblyOperation, IID_IAPElement);
    IAPElement* a = New<IAPElement>(CLSID_APPinFeature, IID_IAPElement);
    IAPElement* b = New<IAPElement>(CLSID_APHoleFeature, IID_IAPElement);
    CAPElement* o = ObjectOf(fem);
    const ULONG aRefs = RefCount(a), bRefs = RefCount(b);

    IAPPointerList* list = ListOf({a, a, b});
    EXPECT_EQ(o->SetBcNodes(list), S_OK);
    list->Release();
    EXPECT_EQ(RefCount(a), aRefs + 2);
    EXPECT_EQ(Dependents(a), 1);
    EXPECT_EQ(Dependents(b), 1);

    // The getter appends to what the caller's list holds.
    IAPPointerList* out = ListOf({b});
    EXPECT_EQ(o->GetBcNodes(out), S_OK);
    int n = 0;
    out->GetLength(&n);
    EXPECT_EQ(n, 4);
    out->Release();

    // Listed twice, removed once: one entry left, no longer watched.
    EXPECT_EQ(o->RemoveBoundaryCondition(a), S_OK);
    auto nodes = Nodes(fem);
    ASSERT_EQ(nodes.size(), 2u);
    EXPECT_TRUE(Same(nodes[0], a));
    EXPECT_TRUE(Same(nodes[1], b));
    EXPECT_EQ(RefCount(a), aRefs + 1);
    EXPECT_EQ(Dependents(a), 0);
    EXPECT_EQ(o->RemoveBoundaryCondition(fem), S_OK) << "not listed";
    EXPECT_EQ(Nodes(fem).size(), 2u);

    // A destroyed node leaves every entry and the watch.
    IAPPointerList* again = ListOf({b, a, b});
    EXPECT_EQ(o->SetBcNodes(again), S_OK);
    again->Release();
    EXPECT_EQ(RefCount(a), aRefs + 1);
    EXPECT_EQ(b->NotifyDependents(3), S_OK);
    nodes = Nodes(fem);
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_TRUE(Same(nodes[0], a));
    EXPECT_EQ(RefCount(b), bRefs);
    EXPECT_EQ(Dependents(b), 0);

    // An empty list clears.
    IAPPointerList* empty = ListOf({});
    EXPECT_EQ(o->SetBcNodes(empty), S_OK);
    empty->Release();
    EXPECT_TRUE(Nodes(fem).empty());
    EXPECT_EQ(RefCount(a), aRefs);
    EXPECT_EQ(Dependents(a), 0);

    IAPPointerList* last = ListOf({a, b});
    o->SetBcNodes(last);
    last->Release();
    EXPECT_EQ(o->ClearBoundaryConditions(), S_OK);
    EXPECT_EQ(RefCount(a), aRefs);
    EXPECT_EQ(Dependents(b), 0);
    last = ListOf({a});
    o->SetBcNodes(last);
    last->Release();
    fem->Release();
    EXPECT_EQ(RefCount(a), aRefs) << "the operation lets go as it ends";
    EXPECT_EQ(Dependents(a), 0);
    a->Release();
    b->Release();
}

TEST_F(FemOperations, BlockVersionsAndTheOldSpringbackNumber)
{
    struct Row {
        int version, stored;
        APFemType expected;
    } rows[] = {{1, 2, AP_FEM_FLEX_TO_RIGID}, {2, 2, AP_FEM_SPRINGBACK}, {3, 2, AP_FEM_SPRINGBACK},
                {3, 4, AP_FEM_CONFORM_MESH},  {4, 2, AP_FEM_EQUALIZED_FLEX}, {6, 2, AP_FEM_EQUALIZED_FLEX}};
    for (const Row& r : rows) {
        auto bytes = Block(CLSID_APFemAssemblyOperation, [&](WmObjectStream& s) {
            Mode2Header(s);
            s.write(r.version);
            s.write(true);
            s.write(1.0), s.write(2.0), s.write(3.0);
            s.write(false);
            if (r.version >= 2) s.write(r.stored);
            if (r.version >= 3) s.write(0);
            if (r.version >= 5) s.write(7), s.write(true), s.write(0.5), s.write(true), s.write(2), s.write(3);
            if (r.version >= 6) s.write(true), s.write(4), s.write(5), s.write(false), s.write(6);
        });
        IAPElement* e = ReadBack(CLSID_APFemAssemblyOperation, bytes);
        ASSERT_NE(e, nullptr) << r.version;
        CAPElement* o = ObjectOf(e);
        APFemType type{};
        o->GetFemType(&type);
        EXPECT_EQ(type, r.expected) << r.version << " " << r.stored;
        double x = 0, y = 0, z = 0;
        EXPECT_EQ(o->GetFemTranslationalBiasVector(&x, &y, &z), S_OK);
        EXPECT_EQ(y, 2.0);
        int moveType = 0, seconds = -1;
        long delay = -1;
        o->GetMoveType(&moveType);
        o->GetRefreshDelay(&delay);
        o->GetRefreshDelaySeconds(&seconds);
        EXPECT_EQ(moveType, r.version >= 5 ? 7 : 0) << r.version;
        EXPECT_EQ(delay, r.version >= 6 ? 0 : 1) << r.version;
        EXPECT_EQ(seconds, r.version >= 6 ? 6 : 0) << r.version;
        e->Release();
    }
    // A node count the stream cannot hold fails the read.
    auto bad = Block(CLSID_APFemAssemblyOperation, [](WmObjectStream& s) {
        Mode2Header(s);
        s.write(6), s.write(false), s.write(false), s.write(0), s.write(0x7fffffff);
    });
    EXPECT_EQ(ReadBack(CLSID_APFemAssemblyOperation, bad), nullptr);
}

TEST_F(FemOperations, ClonesCopyBiasAndType)
{
    IAPElement* fem = New<IAPElement>(CLSID_APFemAssemblyOperation, IID_IAPElement);
    IAPElement* copy = New<IAPElement>(CLSID_APFemAssemblyOperation, IID_IAPElement);
    IAPElement* other = New<IAPElement>(CLSID_APAssemblyOperation, IID_IAPElement);
    IAPElement* a = New<IAPElement>(CLSID_APPinFeature, IID_IAPElement);
    CAPElement* o = ObjectOf(fem);
    o->SetFemType(AP_FEM_GRAVITY);
    o->SetFemTranslationalBiasVector(4, 5, 6);
    o->SetMoveType(3);
    IAPPointerList* list = ListOf({a});
    o->SetBcNodes(list);
    list->Release();
    EXPECT_EQ(fem->Clone(copy), S_OK);
    EXPECT_EQ(fem->Clone(other), E_FAIL);
    CAPElement* c = ObjectOf(copy);
    APFemType type{};
    c->GetFemType(&type);
    EXPECT_EQ(type, AP_FEM_GRAVITY);
    double x = 0, y = 0, z = 0;
    EXPECT_EQ(c->GetFemTranslationalBiasVector(&x, &y, &z), S_OK);
    EXPECT_EQ(z, 6.0);
    int moveType = -1;
    c->GetMoveType(&moveType);
    EXPECT_EQ(moveType, 0) << "settings are not copied";
    EXPECT_TRUE(Nodes(copy).empty());
    for (IUnknown* p : std::initializer_list<IUnknown*>{fem, copy, other, a}) p->Release();
}

TEST_F(FemOperations, RoundTripThroughTheDocumentFileKeepsLaterNodes)
{
    using doc_test::NewNode;
    const std::string path = doc_test::TempPath("fem");
    {
        IAPDocument6* doc = doc_test::NewDocument();
        IAPNode* top = NewNode(doc, CLSID_APAssemblyNode, "top");
        IAPNode* fem = NewNode(doc, CLSID_APFemAssemblyOperation, "fem");
        IAPNode* later = NewNode(doc, CLSID_APPartNode, "later");
        ASSERT_EQ(doc->AddChild(top, fem), S_OK);
        ASSERT_EQ(doc->AddChild(top, later), S_OK);
        CAPElement* o = Obj(fem);
        IAPPointerList* list = ListOf({later, top, later});
        EXPECT_EQ(o->SetBcNodes(list), S_OK);
        list->Release();
        o->SetFemType(AP_FEM_EQUALIZED_FLEX);
        o->SetRefreshTo(9);
        ASSERT_EQ(doc->SetProcessName(Text("fem")), S_OK);
        ASSERT_EQ(doc->Save(Text(path.c_str())), S_OK);
        // The operation lists its own parent: the nodes go before the document.
        o->ClearBoundaryConditions();
        for (IUnknown* p : std::initializer_list<IUnknown*>{top, fem, later}) p->Release();
        doc->Release();
    }
    IAPDocument6* doc = doc_test::NewDocument();
    ASSERT_EQ(doc->OpenDocument(Text(path.c_str())), S_OK);
    IAPNode* top = doc_test::RootAt(doc, 0);
    ASSERT_NE(top, nullptr);
    IAPNode *fem = nullptr, *later = nullptr;
    ASSERT_EQ(top->GetChild(0, &fem), S_OK);
    ASSERT_EQ(top->GetChild(1, &later), S_OK);
    auto nodes = Nodes(fem);
    ASSERT_EQ(nodes.size(), 3u);
    EXPECT_TRUE(Same(nodes[0], later));
    EXPECT_TRUE(Same(nodes[1], top));
    EXPECT_TRUE(Same(nodes[2], later));
    EXPECT_EQ(Dependents(later), 1) << "a node that comes later in the file is kept and watched";
    APFemType type{};
    Obj(fem)->GetFemType(&type);
    EXPECT_EQ(type, AP_FEM_EQUALIZED_FLEX);
    int to = 0;
    Obj(fem)->GetRefreshTo(&to);
    EXPECT_EQ(to, 9);
    EXPECT_EQ(Obj(fem)->ClearBoundaryConditions(), S_OK);
    for (IUnknown* p : std::initializer_list<IUnknown*>{top, fem, later}) p->Release();
    doc->Release();
    DeleteFileA(path.c_str());
}

TEST_F(FemOperations, NoMethodOfTheChainNotifies)
{
    IAPElement* pin = New<IAPElement>(CLSID_APPinFeature, IID_IAPElement);
    const std::function<HRESULT(CAPElement*)> calls[] = {
        [](CAPElement* o) { return o->SetFemType(AP_FEM_GRAVITY); },
        [](CAPElement* o) { return o->SetFemTranslationalBiasVector(1, 2, 3); },
        [](CAPElement* o) { return o->SetFemRotationalBiasVector(1, 2, 3); },
        [](CAPElement* o) {
            double t[4][3] = {};
            return o->SetFemAsmOpNominalTransform(t);
        },
        [&](CAPElement* o) {
            IAPPointerList* list = ListOf({pin});
            HRESULT hr = o->SetBcNodes(list);
            list->Release();
            return hr == S_OK ? o->RemoveBoundaryCondition(pin) : hr;
        },
        [](CAPElement* o) { return o->ClearBoundaryConditions(); },
        [](CAPElement* o) { return o->SetRefreshDelaySeconds(5); },
    };
    int i = 0;
    for (const auto& call : calls) {
        FakeDoc doc;
        IAPElement* op = New<IAPElement>(CLSID_APFemAssemblyOperation, IID_IAPElement);
        doc.Bind(op);
        EXPECT_EQ(call(ObjectOf(op)), S_OK) << i;
        EXPECT_TRUE(doc.Take().empty()) << i;
        op->BindDocument(nullptr);
        op->Release();
        ++i;
    }
    EXPECT_EQ(Dependents(pin), 0);
    pin->Release();
}
