// Nodes by name: the shallow and deep searches, compound names and their resolution, the
// part and feature paths, and the paths of the document and of its tolerance library.
#include <objbase.h>

#include <cstring>
#include <string>

#include "document/CAPDocument.h"
#include "document/NodeNames.h"
#include "document_support.h"
#include "platform/moniker/MkMoniker.h"

using namespace doc_test;

namespace {

class Names : public DocumentTest {
protected:
    void TearDown() override
    {
        DocumentTest::TearDown();
        if (m_live == 0) {
            EXPECT_EQ(PlenvortDllCanUnloadNow(), S_OK);
        }
    }

    // A (assembly) > P (part) > F (pin).
    void BuildAPF(const char* partName = "P")
    {
        a = NewNode(m_doc, CLSID_APAssemblyNode, "A");
        p = NewNode(m_doc, CLSID_APPartNode, partName);
        f = NewNode(m_doc, CLSID_APPinFeature, "F");
        ASSERT_EQ(m_doc->AddChild(a, p), S_OK);
        ASSERT_EQ(m_doc->AddChild(p, f), S_OK);
    }
    void ReleaseAPF()
    {
        for (IAPNode* n : {a, p, f})
            if (n) n->Release();
    }

    // What GetNodeWithCompoundName resolves `name` to: the node's name, or "<fail>".
    std::string Resolve(const char* name)
    {
        IAPNode* node = reinterpret_cast<IAPNode*>(this);
        const HRESULT hr = m_doc->GetNodeWithCompoundName(Text(name), &node);
        if (FAILED(hr)) {
            EXPECT_EQ(hr, E_FAIL);
            EXPECT_EQ(node, nullptr);
            return "<fail>";
        }
        std::string found;
        EXPECT_EQ(node_names::ElementName(node, found), S_OK);
        node->Release();
        return found;
    }

    std::string Compound(IAPNode* node, int form)
    {
        char buffer[4096] = {};
        unsigned char* out = reinterpret_cast<unsigned char*>(buffer);
        HRESULT hr = E_FAIL;
        if (form == 1) hr = m_doc->GetCompoundNameForNode(node, out);
        if (form == 3) hr = m_doc->GetCompoundNameForNode3(node, out);
        if (form == 2) {
            unsigned char* made = nullptr;
            hr = m_doc->GetCompoundNameForNode2(node, &made);
            if (made) {
                std::string text = reinterpret_cast<char*>(made);
                CoTaskMemFree(made);
                return text;
            }
        }
        return SUCCEEDED(hr) ? std::string(buffer) : "<fail>";
    }

    std::string Lookup(const char* name, IAPNode* start, bool deep)
    {
        IAPNode* node = reinterpret_cast<IAPNode*>(this);
        const HRESULT hr = deep ? m_doc->LookupNodeByName2(Text(name), start, &node)
                                : m_doc->LookupNodeByName(Text(name), start, &node);
        if (FAILED(hr)) {
            EXPECT_EQ(node, nullptr);
            return "<fail>";
        }
        std::string found;
        EXPECT_EQ(node_names::ElementName(node, found), S_OK);
        node->Release();
        return found;
    }

    IAPNode* a = nullptr;
    IAPNode* p = nullptr;
    IAPNode* f = nullptr;
};

TEST_F(Names, CompoundNamesOfAPFAndTheirResolution)
{
    BuildAPF();
    EXPECT_EQ(Compound(f, 1), "A:P:F");
    EXPECT_EQ(Compound(f, 3), "A\\P\\F");
    EXPECT_EQ(Compound(f, 2), "A:P:F");
    EXPECT_EQ(Compound(p, 1), "A:P");
    EXPECT_EQ(Compound(a, 1), "A"); // a top-level node: its own name

    const struct {
        const char* name;
        const char* found;
    } cases[] = {{"A:P:F", "F"}, {"A:P", "P"}, {"A", "A"},       {"A::P", "A"},      {"A:P:", "P"},
                 {"A:Q", "<fail>"}, {"", "<fail>"}, {":A", "<fail>"}, {"P", "<fail>"}, {"A:P:F:G", "<fail>"}};
    for (const auto& c : cases) EXPECT_EQ(Resolve(c.name), c.found) << c.name;

    char name[64] = {};
    EXPECT_EQ(m_doc->LookupNameForNode(p, reinterpret_cast<unsigned char*>(name)), S_OK);
    EXPECT_STREQ(name, "P");

    const ULONG refs = RefCount(p);
    EXPECT_EQ(Resolve("A:P"), "P");
    EXPECT_EQ(RefCount(p), refs); // the reference handed out was the caller's
    ReleaseAPF();
}

TEST_F(Names, LongNamesTakePartWhole)
{
    const std::string longName(3000, 'n');
    BuildAPF(longName.c_str());
    EXPECT_EQ(Compound(f, 1), "A:" + longName + ":F");
    EXPECT_EQ(Compound(f, 2), "A:" + longName + ":F");
    EXPECT_EQ(Resolve(("A:" + longName + ":F").c_str()), "F");
    EXPECT_EQ(Lookup(longName.c_str(), a, false), longName);
    EXPECT_EQ(Lookup(longName.c_str(), a, true), longName);
    std::string path;
    EXPECT_EQ(node_names::PartPath(m_doc, f, path), S_OK);
    EXPECT_EQ(path, longName);
    ReleaseAPF();
}

TEST_F(Names, ShallowAndDeepSearches)
{
    BuildAPF();
    IAPNode* body = NewNode(m_doc, CLSID_APPartNode, "Body");
    IAPNode* pin = NewNode(m_doc, CLSID_APPinFeature, "Pin 1 ");
    IAPNode* trailing = NewNode(m_doc, CLSID_APPartNode, "Top ");
    ASSERT_EQ(m_doc->AddChild(body, pin), S_OK);

    const struct {
        const char* name;
        IAPNode* start;
        bool deep;
        const char* found;
    } cases[] = {
        {"Pin 1", body, false, "Pin 1 "},  // the child's trailing blank is trimmed
        {"Pin 1", body, true, "<fail>"},   // the deep search compares names as stored
        {"Pin 1 ", body, true, "Pin 1 "},
        {"P", a, false, "P"},
        {"F", a, false, "<fail>"},         // not a direct child
        {"F", a, true, "F"},
        {"A", a, true, "<fail>"},          // never the start node itself
        {"A", nullptr, false, "A"},        // without a start: the top-level nodes
        {"P", nullptr, true, "<fail>"},
        {"Top", nullptr, false, "<fail>"}, // top-level names as stored
        {"Top ", nullptr, false, "Top "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Lookup(c.name, c.start, c.deep), c.found) << c.name << (c.deep ? " deep" : " shallow");

    IAPNode* out = reinterpret_cast<IAPNode*>(this);
    EXPECT_EQ(m_doc->LookupNodeByName(nullptr, a, &out), E_FAIL);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(m_doc->LookupNodeByName2(Text("P"), a, nullptr), E_FAIL);
    for (IAPNode* n : {body, pin, trailing}) n->Release();
    ReleaseAPF();
}

TEST_F(Names, DeepSearchIsPreOrder)
{
    // R > [X > [Y named "N" > Z], W named "N"]; a second "N" deeper in X's subtree.
    IAPNode* r = NewNode(m_doc, CLSID_APAssemblyNode, "R");
    IAPNode* x = NewNode(m_doc, CLSID_APAssemblyNode, "X");
    IAPNode* y = NewNode(m_doc, CLSID_APPartNode, "N");
    IAPNode* z = NewNode(m_doc, CLSID_APPinFeature, "N");
    IAPNode* w = NewNode(m_doc, CLSID_APFixtureNode, "N");
    ASSERT_EQ(m_doc->AddChild(r, x), S_OK);
    ASSERT_EQ(m_doc->AddChild(x, y), S_OK);
    ASSERT_EQ(m_doc->AddChild(y, z), S_OK);
    ASSERT_EQ(m_doc->AddChild(r, w), S_OK);
    ASSERT_EQ(m_doc->AddChild(w, x), S_OK); // x under two parents: looked at once
    IAPNode* found = nullptr;
    ASSERT_EQ(m_doc->LookupNodeByName2(Text("N"), r, &found), S_OK);
    EXPECT_TRUE(Same(found, y));
    found->Release();
    for (IAPNode* n : {r, x, y, z, w}) n->Release();
}

// A parent node standing outside the library: it answers IAPNode only, so it has no name.
class NamelessParent : public IAPNode {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        *out = iid == IID_IUnknown || iid == IID_IAPNode ? static_cast<IAPNode*>(this) : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE AppendChild(IAPNode*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetChild(int, IAPNode**) override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE InsertChild(int, IAPNode*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveChildByIndex(int) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveChild(IAPNode*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE FindChild(IAPNode*, int*) override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE GetNumChildren(int* n) override { return *n = 0, S_OK; }
    HRESULT STDMETHODCALLTYPE AppendParent(IAPNode*) override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE RemoveParent(IAPNode*) override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE GetNumParents(int* n) override { return *n = 0, S_OK; }
    HRESULT STDMETHODCALLTYPE GetParent(int, IAPNode**) override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE GetNote(unsigned char*) override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE SetNote(unsigned char*) override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE GetNoteSize(int*) override { return E_FAIL; }
};

TEST_F(Names, ACompoundNameWithANamelessLinkFails)
{
    IAPNode* q = NewNode(m_doc, CLSID_APPartNode, "Q");
    IAPNode* holder = NewNode(m_doc, CLSID_APAssemblyNode, "H");
    NamelessParent odd;
    // Q's only parent becomes the nameless one.
    ASSERT_EQ(m_doc->AddChild(holder, q), S_OK);
    ASSERT_EQ(q->AppendParent(&odd), S_OK);
    ASSERT_EQ(holder->RemoveChild(q), S_OK);

    char buffer[32] = "untouched";
    EXPECT_EQ(m_doc->GetCompoundNameForNode(q, reinterpret_cast<unsigned char*>(buffer)), E_FAIL);
    EXPECT_EQ(m_doc->GetCompoundNameForNode3(q, reinterpret_cast<unsigned char*>(buffer)), E_FAIL);
    EXPECT_STREQ(buffer, "untouched");
    unsigned char* made = reinterpret_cast<unsigned char*>(buffer);
    EXPECT_EQ(m_doc->GetCompoundNameForNode2(q, &made), E_FAIL);
    EXPECT_EQ(made, nullptr);
    EXPECT_EQ(m_doc->LookupNameForNode(&odd, reinterpret_cast<unsigned char*>(buffer)), E_FAIL);
    std::string path;
    EXPECT_EQ(node_names::PartPath(m_doc, q, path), E_FAIL);

    // Back under a parent of the document before it ends.
    ASSERT_EQ(q->RemoveParent(&odd), S_OK);
    ASSERT_EQ(m_doc->AddChild(holder, q), S_OK);
    for (IAPNode* n : {q, holder}) n->Release();
}

TEST_F(Names, PartAndFeaturePaths)
{
    // P > G (group) > F1 (pin) > F2 (hole) under the top-level assembly A.
    BuildAPF();
    IAPNode* g = NewNode(m_doc, CLSID_APGroupNode, "G");
    IAPNode* f2 = NewNode(m_doc, CLSID_APHoleFeature, "F2");
    ASSERT_EQ(m_doc->AddChild(p, g), S_OK);
    ASSERT_EQ(m_doc->RemoveChild(p, f), S_OK);
    ASSERT_EQ(m_doc->AddChild(g, f), S_OK);
    ASSERT_EQ(m_doc->AddChild(f, f2), S_OK);

    const struct {
        IAPNode* node;
        const char* partPath;
        const char* featurePath;
    } cases[] = {{f, "P:G", ""}, {f2, "P:G:F", "F"}, {g, "P", ""}, {p, "A", ""}, {a, "", ""}};
    for (const auto& c : cases) {
        std::string partPath = "x", featurePath = "x";
        EXPECT_EQ(node_names::PartPath(m_doc, c.node, partPath), S_OK);
        EXPECT_EQ(node_names::FeaturePath(m_doc, c.node, featurePath), S_OK);
        EXPECT_EQ(partPath, c.partPath) << NameOf(c.node);
        EXPECT_EQ(featurePath, c.featurePath) << NameOf(c.node);
    }
    for (IAPNode* n : {g, f2}) n->Release();
    ReleaseAPF();
}

int RecordBox(const char*, const char*, UINT) { return IDOK; }

TEST_F(Names, DocumentPathParts)
{
    // A new document has no path: both parts are empty.
    char dir[64] = "x", file[64] = "x";
    EXPECT_EQ(m_doc->GetPdoFilePath(reinterpret_cast<unsigned char*>(dir)), S_OK);
    EXPECT_EQ(m_doc->GetPdoFileName(reinterpret_cast<unsigned char*>(file)), S_OK);
    EXPECT_STREQ(dir, "");
    EXPECT_STREQ(file, "");
    EXPECT_EQ(m_doc->GetPdoFilePath(nullptr), E_FAIL);

    const struct {
        const char* path;
        const char* dir;
        const char* file;
    } cases[] = {{"C:/data/run.dat", "C:/data/", "run.dat"},
                 {"run.dat", "", "run.dat"},
                 {"C:\\data\\sub/run.dat", "C:\\data\\sub/", "run.dat"},
                 {"C:\\data\\", "C:\\data\\", ""}};
    CAPDocument::SetMessageBoxForTesting(RecordBox);
    for (const auto& c : cases) {
        IAPDocument6* doc = NewDocument();
        IORVDataMoniker* moniker = nullptr;
        ASSERT_EQ(MkCreateMoniker(c.path, &moniker), S_OK);
        // The file does not exist: the document opens empty under that name.
        EXPECT_EQ(doc->OpenDocumentByMoniker(moniker), S_OK);
        EXPECT_EQ(doc->GetPdoFilePath(reinterpret_cast<unsigned char*>(dir)), S_OK);
        EXPECT_EQ(doc->GetPdoFileName(reinterpret_cast<unsigned char*>(file)), S_OK);
        EXPECT_STREQ(dir, c.dir) << c.path;
        EXPECT_STREQ(file, c.file) << c.path;
        EXPECT_EQ(std::string(dir) + file, c.path);
        doc->Release();
        moniker->Release();
    }
    CAPDocument::SetMessageBoxForTesting(nullptr);
}

TEST_F(Names, ToleranceLibraryPathsHonourTheLength)
{
    char buffer[64] = {};
    unsigned char* out = reinterpret_cast<unsigned char*>(buffer);
    EXPECT_EQ(m_doc->GetTolLibFileWithPath(out, 64), E_FAIL); // no top-level node
    IAPNode* lib = NewNode(m_doc, CLSID_APTolLibNode, "Lib");
    EXPECT_EQ(m_doc->GetTolLibPathWithoutFile(out, 64), E_FAIL); // no moniker

    IORVDataMoniker* moniker = nullptr;
    ASSERT_EQ(MkCreateMoniker("C:\\lib\\tol.tlb", &moniker), S_OK);
    IAPElement6* holder = plenvort_test::Query<IAPElement6>(lib, IID_IAPElement6);
    ASSERT_EQ(holder->SetObjectSetting13(moniker), S_OK);
    holder->Release();
    moniker->Release();

    // The text and its NUL must fit: 15 bytes for the file, 8 for the folder.
    const struct {
        bool withFile;
        int length;
        HRESULT hr;
        const char* text;
    } cases[] = {{true, 15, S_OK, "C:\\lib\\tol.tlb"}, {true, 14, E_FAIL, "untouched"}, {true, 0, E_FAIL, "untouched"},
                 {false, 8, S_OK, "C:\\lib\\"},        {false, 7, E_FAIL, "untouched"}, {false, -1, E_FAIL, "untouched"}};
    for (const auto& c : cases) {
        std::strcpy(buffer, "untouched");
        const HRESULT hr =
            c.withFile ? m_doc->GetTolLibFileWithPath(out, c.length) : m_doc->GetTolLibPathWithoutFile(out, c.length);
        EXPECT_EQ(hr, c.hr) << c.length;
        EXPECT_STREQ(buffer, c.text) << c.length;
    }
    EXPECT_EQ(m_doc->GetTolLibFileWithPath(nullptr, 64), E_FAIL);
    lib->Release();
}

} // namespace
