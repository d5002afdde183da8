// The document object under unusual use: a node listed twice under one
// parent, failed moves that reorder the top-level nodes, and elements that outlive the
// document they were bound to.
#include <functional>

#include "document/ElementStream.h"
#include "document_support.h"

using namespace doc_test;

namespace {

using DocumentBadUse = DocumentTest;

// An element no longer bound to any document: it answers no document.
void ExpectUnbound(IUnknown* p)
{
    IAPElement* e = Query<IAPElement>(p, IID_IAPElement);
    ASSERT_NE(e, nullptr);
    IAPDocument* doc = nullptr;
    const HRESULT hr = e->GetDocument(&doc);
    if (SUCCEEDED(hr) && doc) doc->Release();
    e->Release();
    ASSERT_EQ(hr, E_FAIL); // still bound: the checks after the document's release would crash
}

} // namespace

// InsertChild may list a child a second time under the same parent (one link, two entries).
TEST_F(DocumentBadUse, DeletingANodeListedTwiceUnderOneParentUnlinksItCompletely)
{
    IAPNode* a = NewNode(m_doc, CLSID_APAssemblyNode, "A");
    IAPNode* p = NewNode(m_doc, CLSID_APPartNode, "P");
    ASSERT_EQ(m_doc->AddChild(a, p), S_OK);
    ASSERT_EQ(m_doc->InsertChild(a, p, 0), S_OK);
    ASSERT_EQ(ChildNames(a), (std::vector<std::string>{"P", "P"}));
    Sink(1);
    ASSERT_EQ(m_doc->DeleteNodeFromProcess(p), S_OK);
    EXPECT_TRUE(ChildNames(a).empty());
    int parents = -1;
    EXPECT_EQ(p->GetNumParents(&parents), S_OK);
    EXPECT_EQ(parents, 0);
    EXPECT_EQ(Heard(), (Heard_t{{3, "P"}}));
    a->Release();
    p->Release();
}

TEST_F(DocumentBadUse, DeletingTheParentOfANodeListedTwiceAnnouncesItOnce)
{
    IAPNode* a = NewNode(m_doc, CLSID_APAssemblyNode, "A");
    IAPNode* p = NewNode(m_doc, CLSID_APPartNode, "P");
    ASSERT_EQ(m_doc->AddChild(a, p), S_OK);
    ASSERT_EQ(m_doc->InsertChild(a, p, 0), S_OK);
    Sink(1);
    ASSERT_EQ(m_doc->DeleteNodeFromProcess(a), S_OK);
    EXPECT_EQ(Heard(), (Heard_t{{3, "P"}, {3, "A"}}));
    EXPECT_TRUE(RootNames(m_doc).empty());
    a->Release();
    p->Release();
}

// Removing one of two entries leaves the node under its parent: it is not also top-level.
TEST_F(DocumentBadUse, RemovingOneOfTwoEntriesKeepsTheNodeOutOfTheRoots)
{
    IAPNode* a = NewNode(m_doc, CLSID_APAssemblyNode, "A");
    IAPNode* p = NewNode(m_doc, CLSID_APPartNode, "P");
    ASSERT_EQ(m_doc->AddChild(a, p), S_OK);
    ASSERT_EQ(m_doc->InsertChild(a, p, 0), S_OK);
    ASSERT_EQ(m_doc->RemoveChild(a, p), S_OK);
    EXPECT_EQ(ChildNames(a), std::vector<std::string>{"P"});
    EXPECT_EQ(RootNames(m_doc), std::vector<std::string>{"A"});
    // The last entry gone, it is top-level again.
    ASSERT_EQ(m_doc->RemoveChild(a, p), S_OK);
    EXPECT_EQ(RootNames(m_doc), (std::vector<std::string>{"A", "P"}));
    a->Release();
    p->Release();
}

// A refused move leaves the top-level nodes as they were, order included (the first one is
// what an export writes).
TEST_F(DocumentBadUse, ARefusedMoveKeepsTheTopLevelOrder)
{
    IAPNode* a = NewNode(m_doc, CLSID_APAssemblyNode, "A");
    IAPNode* b = NewNode(m_doc, CLSID_APAssemblyNode, "B");
    IAPNode* x = NewNode(m_doc, CLSID_APAssemblyNode, "X");
    ASSERT_EQ(m_doc->AddChild(a, x), S_OK);
    ASSERT_EQ(RootNames(m_doc), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(m_doc->AddChild(x, a), E_FAIL); // would be its own ancestor
    EXPECT_EQ(RootNames(m_doc), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(m_doc->InsertChild(x, a, -1), E_FAIL);
    EXPECT_EQ(RootNames(m_doc), (std::vector<std::string>{"A", "B"}));
    for (IAPNode* n : {a, b, x}) n->Release();
}

// A deleted node that a client keeps must not call back into a document that is gone.
TEST_F(DocumentBadUse, ADeletedNodeOutlivingItsDocumentNoLongerCallsIt)
{
    IAPNode* p = NewNode(m_doc, CLSID_APPartNode, "P");
    ASSERT_EQ(m_doc->DeleteNodeFromProcess(p), S_OK);
    ASSERT_NO_FATAL_FAILURE(ExpectUnbound(p));
    m_doc->Release();
    m_doc = nullptr;
    ASSERT_NO_FATAL_FAILURE(ExpectUnbound(p));
    p->Release();
}

// The nodes of the tree that an open replaced are no longer the document's.
TEST_F(DocumentBadUse, NodesOfAReplacedTreeNoLongerCallTheDocument)
{
    IAPNode* a = NewNode(m_doc, CLSID_APAssemblyNode, "A");
    IAPNode* p = NewNode(m_doc, CLSID_APPartNode, "P");
    ASSERT_EQ(m_doc->AddChild(a, p), S_OK);
    ASSERT_EQ(m_doc->SetProcessName(Text("n")), S_OK);
    const std::string path = File("replaced");
    ASSERT_EQ(m_doc->Save(Text(path.c_str())), S_OK);
    ASSERT_EQ(m_doc->OpenDocument(Text(path.c_str())), S_OK);
    Sink(1);
    IAPElement* e = Query<IAPElement>(p, IID_IAPElement);
    ASSERT_EQ(e->SetCost(3), S_OK);
    EXPECT_TRUE(m_log.empty()); // not a node of this document any more
    e->Release();
    ASSERT_NO_FATAL_FAILURE(ExpectUnbound(p));
    ASSERT_NO_FATAL_FAILURE(ExpectUnbound(a));
    m_doc->Release();
    m_doc = nullptr;
    for (auto* s : m_sinks) s->Release();
    m_sinks.clear();
    ASSERT_NO_FATAL_FAILURE(ExpectUnbound(p));
    a->Release();
    p->Release();
}

// An import that cannot place a node leaves it in the other document, where it was.
TEST_F(DocumentBadUse, ARefusedImportLosesNothingFromTheOtherDocument)
{
    IAPDocument6* other = NewDocument();
    IAPNode* top = NewNode(other, CLSID_APAssemblyNode, "Top");
    IAPNode* x = NewNode(other, CLSID_APAssemblyNode, "X");
    IAPNode* y = NewNode(other, CLSID_APPartNode, "Y");
    ASSERT_EQ(other->AddChild(top, x), S_OK);
    ASSERT_EQ(other->AddChild(top, y), S_OK);
    // X cannot go under itself.
    EXPECT_EQ(m_doc->ImportDocument(other, x), E_FAIL);
    EXPECT_EQ(ChildNames(top), (std::vector<std::string>{"X", "Y"}));
    int parents = 0;
    EXPECT_EQ(x->GetNumParents(&parents), S_OK);
    EXPECT_EQ(parents, 1);
    ASSERT_NO_FATAL_FAILURE(ExpectBoundTo(x, other));
    for (IAPNode* n : {top, x, y}) n->Release();
    other->Release();
}

// A record that no parent names is no node of the tree: a reader that dropped it would
// leave element references (properties, groups) resolved to an object it then freed.
TEST_F(DocumentBadUse, AStreamWithARecordNoParentNamesIsRefused)
{
    IAPNode* a = NewNode(m_doc, CLSID_APAssemblyNode, "A");
    IAPNode* root = nullptr;
    ASSERT_EQ(a->GetParent(0, &root), S_OK);
    IAPElement* stray = plenvort_test::Create<IAPElement>(CLSID_APPartNode, IID_IAPElement);
    ASSERT_NE(stray, nullptr);
    const std::string path = File("stray");
    {
        IStorage* storage = nullptr;
        ASSERT_EQ(StgCreateDocfile(Wide(path).c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &storage),
                  S_OK);
        IStream* version = nullptr;
        ASSERT_EQ(storage->CreateStream(L"Process Document Version", STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                                        0, 0, &version),
                  S_OK);
        float two = 2.0f;
        version->Write(&two, 4, nullptr);
        version->Release();
        {
            ElementStreamSession session(storage, ElementStreamSession::Write);
            auto record = [&](IUnknown* n) {
                IAPElement* e = Query<IAPElement>(n, IID_IAPElement);
                GUID clsid{};
                e->GetClassID(&clsid);
                session.Objects().write(WmGUID(clsid));
                EXPECT_EQ(e->Serialize(reinterpret_cast<unsigned char*>(&session.Objects())), S_OK);
                e->Release();
            };
            record(root);
            record(a);
            record(stray); // named by nobody
            session.Objects().write(WmGUID(GUID_EndOfStreamMarker));
        }
        storage->Release();
    }
    root->Release();
    stray->Release();

    IAPDocument6* reader = NewDocument();
    IAPNode* kept = NewNode(reader, CLSID_APPartNode, "kept");
    EXPECT_EQ(reader->OpenDocument(Text(path.c_str())), E_FAIL);
    EXPECT_EQ(RootNames(reader), std::vector<std::string>{"kept"});
    kept->Release();
    reader->Release();
    a->Release();
}

// The hidden root reached through a node and emptied with DeleteNodeFromProcess stays the
// document's root: it still writes the export form.
TEST_F(DocumentBadUse, TheRootStaysBoundWhenAClientDeletesIt)
{
    IAPNode* old = NewNode(m_doc, CLSID_APPartNode, "Old");
    IAPNode* root = nullptr;
    ASSERT_EQ(old->GetParent(0, &root), S_OK);
    old->Release();
    ASSERT_EQ(m_doc->DeleteNodeFromProcess(root), S_OK);
    ASSERT_NO_FATAL_FAILURE(ExpectBoundTo(root, m_doc));
    root->Release();

    IAPNode* f = NewNode(m_doc, CLSID_APAssemblyNode, "F");
    IAPNode* n = NewNode(m_doc, CLSID_APPartNode, "N");
    ASSERT_EQ(m_doc->SetProcessName(Text("x")), S_OK);
    const std::string path = File("rootexport");
    ASSERT_EQ(m_doc->ExportDocument(Text(path.c_str()), n), S_OK);
    IAPDocument6* reader = NewDocument();
    ASSERT_EQ(reader->OpenDocument(Text(path.c_str())), S_OK);
    EXPECT_EQ(RootNames(reader), std::vector<std::string>{"F"});
    reader->Release();
    f->Release();
    n->Release();
}

// Elements outside the tree (here a feature pair and a condition the document created) and a
// copy's binding taken over from its source are let go when the document ends.
TEST_F(DocumentBadUse, ElementsOutsideTheTreeOutlivingTheirDocumentNoLongerCallIt)
{
    std::vector<IAPElement*> kept;
    for (const CLSID* id : {&CLSID_APFeaturePair, &CLSID_APCondition}) {
        GUID clsid = *id, iid = IID_IAPElement;
        IAPElement* e = nullptr;
        ASSERT_EQ(m_doc->CreateProcessElement(&clsid, &iid, reinterpret_cast<ULONG_PTR*>(&e)), S_OK);
        ASSERT_NE(e, nullptr);
        IAPDocument* doc = nullptr;
        ASSERT_EQ(e->GetDocument(&doc), S_OK);
        doc->Release();
        kept.push_back(e);
    }
    m_doc->Release();
    m_doc = nullptr;
    for (IAPElement* e : kept) {
        ASSERT_NO_FATAL_FAILURE(ExpectUnbound(e));
        EXPECT_EQ(e->SetName(Text("after")), S_OK); // its change event has nowhere to go
        e->Release();
    }
}
