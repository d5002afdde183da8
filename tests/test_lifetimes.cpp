// Host call orders around the end of elements: deleted subtrees released in any order, links
// into another document, back links a host points at an element that then ends, cycles in
// trees that leave their document, saves after copies and imports, and host clones. Each
// test ends with every object freed.
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "feature_support.h"

using namespace doc_test;
using feature_test::Dependents;

namespace {


// Each test leaves no object behind and the module unloadable.
using Lifetimes = feature_test::FeatureTest;

// Runs `run(row, variant)` for every row and variant, under a name that tells both, and
// checks that each run left nothing alive.
template <class Row, std::size_t N, class Run>
void EachRow(const Row (&rows)[N], std::initializer_list<const char*> variants, Run run)
{
    for (const Row& row : rows) {
        int variant = 0;
        for (const char* suffix : variants) {
            SCOPED_TRACE(std::string(row.name) + suffix);
            const LONG live = LiveObjects();
            run(row, variant++);
            EXPECT_EQ(LiveObjects(), live) << "objects left alive";
        }
    }
}

// References a case hands back, released in order once it is done.
struct Held {
    std::vector<IUnknown*> refs;
    template <class T>
    T* operator()(T* p)
    {
        refs.push_back(p);
        return p;
    }
    void Release()
    {
        for (IUnknown* p : refs)
            if (p) p->Release();
        refs.clear();
    }
};

// A node of `clsid` made by `doc`, under `parent` when there is one.
IAPNode* Under(IAPDocument* doc, IAPNode* parent, const CLSID& clsid, const char* name)
{
    IAPNode* node = NewNode(doc, clsid, name);
    if (parent) {
        EXPECT_EQ(doc->AddChild(parent, node), S_OK);
    }
    return node;
}

template <class T>
T* Made(IAPDocument* doc, const CLSID& clsid, const IID& iid)
{
    GUID id = clsid, want = iid;
    T* out = nullptr;
    EXPECT_EQ(doc->CreateProcessElement(&id, &want, reinterpret_cast<ULONG_PTR*>(&out)), S_OK);
    return out;
}

// An assembly with a part under it; the part is what a case fills and deletes.
IAPNode* Part(IAPDocument* doc, Held& held, const char* name = "P")
{
    IAPNode* assembly = held(NewNode(doc, CLSID_APAssemblyNode, "Asm"));
    return held(Under(doc, assembly, CLSID_APPartNode, name));
}

// ---------------------------------------------------------------------------------------
// A watcher of a plane that is deleted with its part: the watcher lets go of the plane and
// must leave the plane's dependents as well, whichever ends first.

TEST_F(Lifetimes, DeletedPlaneForgetsWatchersThatEnd)
{
    struct Row {
        const char* name;
        bool otherDocument;  // the watcher lives in a document of its own
        bool watcherFirst;   // the host lets go of the watcher before the plane
        std::function<void(IAPDocument*, IAPNode* parent, IAPFeature* plane, Held&)> watch;
    };
    auto point = [](IAPDocument* doc, IAPNode* parent, IAPFeature* plane, Held& held) {
        auto* p = held(Query<IAPFeature7>(held(Under(doc, parent, CLSID_APPointFeature, "PT")), IID_IAPFeature7));
        EXPECT_EQ(p->SetLinkedElement(plane), S_OK);
    };
    auto ownedPlane = [](IAPDocument* doc, IAPNode* parent, IAPFeature* plane, Held& held) {
        auto* p = held(Query<IAPFeature7>(held(Under(doc, parent, CLSID_APPlaneFeature, "PL2")), IID_IAPFeature7));
        EXPECT_EQ(p->SetRelatedOwner(plane), S_OK);
    };
    auto pair = [](IAPDocument* doc, IAPNode* parent, IAPFeature* plane, Held& held) {
        auto* op = held(Query<IAPOperation>(held(Under(doc, parent, CLSID_APAssemblyOperation, "op")), IID_IAPOperation));
        auto* pr = held(Made<IAPFeaturePair>(doc, CLSID_APFeaturePair, IID_IAPFeaturePair));
        EXPECT_EQ(op->AppendFeaturePair(pr), S_OK);
        EXPECT_EQ(pr->AppendTargetFeature(plane), S_OK);
    };
    const Row rows[] = {
        {"point under its plane, plane released first", false, false, point},
        {"point under its plane, point released first", false, true, point},
        {"point in another document linked to the plane", true, true, point},
        {"plane in another document owned by the plane", true, true, ownedPlane},
        {"pair in another document naming the plane", true, true, pair},
    };
    EachRow(rows, {""}, [&](const Row& row, int) {
        IAPDocument6* a = NewDocument();
        IAPDocument6* b = row.otherDocument ? NewDocument() : nullptr;
        Held kept, watcher;
        IAPNode* part = Part(a, kept);
        IAPNode* planeNode = Under(a, part, CLSID_APPlaneFeature, "PL");
        IAPFeature* plane = Query<IAPFeature>(planeNode, IID_IAPFeature);
        planeNode->Release();
        row.watch(b ? b : a, b ? Part(b, watcher, "Q") : planeNode, plane, watcher);
        ASSERT_EQ(a->DeleteNodeFromProcess(part), S_OK);

        if (row.watcherFirst) {
            watcher.Release();
            if (b) b->Release();
            EXPECT_EQ(Dependents(plane), 0) << "a watcher that ended is still listed";
            plane->Release();
        } else {
            plane->Release();
            watcher.Release();
            if (b) b->Release();
        }
        kept.Release();
        a->Release();
    });
}

// ---------------------------------------------------------------------------------------
// Back links kept without a reference: a host may point them at any element, which may then
// end. The getter then answers no element, and the owner still ends cleanly.

// The dependents list is a set: a host may take out an entry that a pair made too. The pair
// still hears of its feature's end, and lets it go.
TEST_F(Lifetimes, APairHearsOfItsFeaturesEndAfterAHostTookItsEntryOut)
{
    IAPDocument6* doc = NewDocument();
    Held held;
    auto* pin = held(Query<IAPElement>(held(NewNode(doc, CLSID_APPinFeature, "pin")), IID_IAPElement));
    auto* pair = held(Made<IAPFeaturePair>(doc, CLSID_APFeaturePair, IID_IAPFeaturePair));
    auto* sink = held(Query<IAPElementSink>(pair, IID_IAPElementSink));
    ASSERT_EQ(pin->AddDependent(sink), S_OK);
    ASSERT_EQ(pair->AppendObjectFeature(held(Query<IAPFeature>(pin, IID_IAPFeature))), S_OK);
    ASSERT_EQ(pin->RemoveDependent(sink), S_OK);
    EXPECT_EQ(Dependents(pin), 0);
    IAPNode* node = Query<IAPNode>(pin, IID_IAPNode);
    EXPECT_EQ(doc->DeleteNodeFromProcess(node), S_OK);
    node->Release();
    EXPECT_EQ(plenvort_test::Got(pair, &IAPFeaturePair::GetNumObjectFeatures), 0);
    held.Release();
    doc->Release();
}

TEST_F(Lifetimes, BackLinksToAnElementThatEndedReadNull)
{
    enum Link { PairOperation, ConditionOperation, ToleranceFeature };
    struct Row {
        const char* name;
        Link link;
        bool targetInDocument; // ended by its document's end, else by the host's release
    };
    const Row rows[] = {
        {"pair's operation released", PairOperation, false},
        {"pair's operation ended with its document", PairOperation, true},
        {"condition's operation released", ConditionOperation, false},
        {"condition's operation ended with its document", ConditionOperation, true},
        {"tolerance's feature released", ToleranceFeature, false},
        {"tolerance's feature ended with its document", ToleranceFeature, true},
    };
    EachRow(rows, {""}, [&](const Row& row, int) {
        IAPDocument6* a = NewDocument();
        IAPDocument6* b = row.targetInDocument ? NewDocument() : nullptr;
        Held owner, target;
        const CLSID& targetClass = row.link == ToleranceFeature ? CLSID_APPinFeature : CLSID_APMeasurementOperation;
        IAPNode* other = target(b ? NewNode(b, targetClass, "other") : Create<IAPNode>(targetClass, IID_IAPNode));
        std::function<HRESULT(IUnknown**)> get;
        if (row.link == ToleranceFeature) {
            auto* f1 = owner(Query<IAPFeature>(owner(NewNode(a, CLSID_APPinFeature, "f1")), IID_IAPFeature));
            auto* tol = owner(Made<IAPTolerance>(a, CLSID_APSizeTolerance, IID_IAPTolerance));
            EXPECT_EQ(f1->AddTolerance(tol), S_OK);
            EXPECT_EQ(tol->SetToleranceFeature(target(Query<IAPFeature>(other, IID_IAPFeature))), S_OK);
            get = [tol](IUnknown** out) { return tol->GetToleranceFeature(reinterpret_cast<IAPFeature**>(out)); };
        } else {
            auto* op1 = owner(Query<IAPOperation4>(owner(NewNode(a, CLSID_APMeasurementOperation, "op1")), IID_IAPOperation4));
            auto* op2 = target(Query<IAPOperation>(other, IID_IAPOperation));
            if (row.link == PairOperation) {
                auto* pair = owner(Made<IAPFeaturePair>(a, CLSID_APFeaturePair, IID_IAPFeaturePair));
                EXPECT_EQ(op1->AppendFeaturePair(pair), S_OK);
                EXPECT_EQ(pair->SetOperation(op2), S_OK);
                get = [pair](IUnknown** out) { return pair->GetOperation(reinterpret_cast<IAPOperation**>(out)); };
            } else {
                auto* condition = owner(Made<IAPCondition>(a, CLSID_APCondition, IID_IAPCondition));
                EXPECT_EQ(op1->AppendCondition(condition), S_OK);
                EXPECT_EQ(condition->SetOperationForCondition(op2), S_OK);
                get = [condition](IUnknown** out) {
                    return condition->GetOperationForCondition(reinterpret_cast<IAPOperation**>(out));
                };
            }
        }
        target.Release();
        if (b) b->Release();

        IUnknown* got = reinterpret_cast<IUnknown*>(this);
        const HRESULT hr = get(&got);
        EXPECT_TRUE(hr == S_OK || hr == E_FAIL) << std::hex << hr;
        EXPECT_EQ(got, nullptr) << "the link still names the element that ended";
        owner.Release();
        a->Release();
    });
}

// ---------------------------------------------------------------------------------------
// Elements that hold each other in a tree that leaves its document, by deletion or by a file
// opened over it, are freed once the host and the document let go.

using Cycle = std::function<void(IAPDocument*, IAPNode* part, Held&)>;

void PointLinkedToItsPlane(IAPDocument* doc, IAPNode* part, Held& held)
{
    IAPNode* plane = held(Under(doc, part, CLSID_APPlaneFeature, "PL"));
    auto* point = held(Query<IAPFeature7>(held(Under(doc, plane, CLSID_APPointFeature, "PT")), IID_IAPFeature7));
    EXPECT_EQ(point->SetLinkedElement(held(Query<IAPFeature>(plane, IID_IAPFeature))), S_OK);
}

void RelatedOwnerAndMember(IAPDocument* doc, IAPNode* part, Held& held)
{
    auto* owner = held(Query<IAPFeature7>(held(Under(doc, part, CLSID_APPinFeature, "owner")), IID_IAPFeature7));
    auto* member = held(Query<IAPFeature7>(held(Under(doc, part, CLSID_APHoleFeature, "member")), IID_IAPFeature7));
    EXPECT_EQ(owner->AppendRelatedElement(member), S_OK);
    EXPECT_EQ(member->SetRelatedOwner(owner), S_OK);
}

void PinReferencingItself(IAPDocument* doc, IAPNode* part, Held& held)
{
    auto* pin = held(Query<IAPFeature8>(held(Under(doc, part, CLSID_APPinFeature, "pin")), IID_IAPFeature8));
    auto* gdt = held(Made<IAPGDTTolerance5>(doc, CLSID_APGDTTolerance, IID_IAPGDTTolerance5));
    EXPECT_EQ(pin->AddTolerance(held(Query<IAPTolerance>(gdt, IID_IAPTolerance))), S_OK);
    EXPECT_EQ(gdt->AppendReferenceFeature(pin, pin), S_OK);
}

TEST_F(Lifetimes, CyclesInATreeThatLeftItsDocumentAreFreed)
{
    const std::string file = File("replacement");
    {
        IAPDocument6* doc = NewDocument();
        IAPNode* node = NewNode(doc, CLSID_APPartNode, "replacement");
        ASSERT_EQ(doc->SetProcessName(Text("replacement")), S_OK);
        ASSERT_EQ(doc->Save(Text(file.c_str())), S_OK);
        node->Release();
        doc->Release();
    }
    struct Row {
        const char* name;
        Cycle build;
    };
    const Row rows[] = {
        {"point linked to its parent plane", PointLinkedToItsPlane},
        {"related owner listing its member", RelatedOwnerAndMember},
        {"pin that is its own tolerance's reference feature", PinReferencingItself},
    };
    EachRow(rows, {", deleted", ", file opened over it"}, [&](const Row& row, int reopen) {
        IAPDocument6* doc = NewDocument();
        Held held;
        IAPNode* part = Part(doc, held);
        row.build(doc, part, held);
        if (reopen) {
            EXPECT_EQ(doc->OpenDocument(Text(file.c_str())), S_OK);
        } else {
            EXPECT_EQ(doc->DeleteNodeFromProcess(part), S_OK);
        }
        held.Release();
        doc->Release();
    });
}

// A part left by a document that ended, placed by the host under a feature of another
// document (the node's own call, not the document's) and linked to it from inside: it goes
// with the tree it was placed in.
TEST_F(Lifetimes, NodesPlacedUnderATreeFromNoDocumentGoWithIt)
{
    IAPDocument6* a = NewDocument();
    IAPDocument6* b = NewDocument();
    Held held;
    IAPNode* slot = held(Under(a, Part(a, held), CLSID_APSlotFeature, "slot"));
    IAPNode* stray = Part(b, held);
    auto* hole = held(Query<IAPFeature7>(held(Under(b, stray, CLSID_APHoleFeature, "hole")), IID_IAPFeature7));
    b->Release();
    ASSERT_EQ(slot->AppendChild(stray), S_OK);
    EXPECT_EQ(hole->SetRelatedOwner(held(Query<IAPFeature>(slot, IID_IAPFeature))), S_OK);
    held.Release();
    a->Release();
}

// ---------------------------------------------------------------------------------------
// A host's Clone from one element into another of its class, outside any node copy.

TEST_F(Lifetimes, HostClonesEndCleanly)
{
    struct Row {
        const char* name;
        const CLSID* clsid;
        std::function<void(IAPDocument*, IAPElement* source, Held&)> fill;
    };
    const Row rows[] = {
        {"surface with points, a tolerance and an owner", &CLSID_APSurfaceFeature,
         [](IAPDocument* doc, IAPElement* source, Held& held) {
             double points[6] = {0, 0, 0, 1, 0, 0}, vectors[6] = {0, 0, 1, 0, 0, 1};
             EXPECT_EQ(held(Query<IAPSurfaceFeature>(source, IID_IAPSurfaceFeature))->DefineSurfaceByPoints(points, 2, vectors), S_OK);
             auto* f = held(Query<IAPFeature7>(source, IID_IAPFeature7));
             EXPECT_EQ(f->AddTolerance(held(Made<IAPTolerance>(doc, CLSID_APSizeTolerance, IID_IAPTolerance))), S_OK);
             auto* owner = held(Query<IAPFeature>(held(NewNode(doc, CLSID_APPinFeature, "owner")), IID_IAPFeature));
             EXPECT_EQ(f->SetRelatedOwner(owner), S_OK);
             EXPECT_EQ(f->AppendRelatedElement(owner), S_OK);
         }},
        {"GD&T tolerance naming a feature and a frame", &CLSID_APGDTTolerance,
         [](IAPDocument* doc, IAPElement* source, Held& held) {
             auto* gdt = held(Query<IAPGDTTolerance5>(source, IID_IAPGDTTolerance5));
             auto* pin = held(Query<IAPFeature>(held(NewNode(doc, CLSID_APPinFeature, "pin")), IID_IAPFeature));
             EXPECT_EQ(gdt->AppendReferenceFeature(pin, pin), S_OK);
             EXPECT_EQ(gdt->SetDRF(held(Made<IAPDRF>(doc, CLSID_APDRF, IID_IAPDRF))), S_OK);
         }},
        {"feature pair naming features and a reference operation", &CLSID_APFeaturePair,
         [](IAPDocument* doc, IAPElement* source, Held& held) {
             auto* pair = held(Query<IAPFeaturePair3>(source, IID_IAPFeaturePair3));
             auto* pin = held(Query<IAPFeature>(held(NewNode(doc, CLSID_APPinFeature, "pin")), IID_IAPFeature));
             EXPECT_EQ(pair->AppendObjectFeature(pin), S_OK);
             EXPECT_EQ(pair->AppendTargetFeature(pin), S_OK);
             auto* op = held(Query<IAPOperation>(held(NewNode(doc, CLSID_APMeasurementOperation, "op")), IID_IAPOperation));
             EXPECT_EQ(pair->SetReferenceElement(op), S_OK);
         }},
    };
    EachRow(rows, {"", ", target outside the document", ", onto itself"}, [&](const Row& row, int variant) {
        IAPDocument6* doc = NewDocument();
        Held held;
        auto* source = held(Made<IAPElement>(doc, *row.clsid, IID_IAPElement));
        auto* target = variant == 2 ? source
                       : held(variant ? Create<IAPElement>(*row.clsid, IID_IAPElement)
                                      : Made<IAPElement>(doc, *row.clsid, IID_IAPElement));
        row.fill(doc, source, held);
        EXPECT_EQ(source->Clone(target), S_OK);
        held.Release();
        doc->Release();
    });
}

} // namespace
