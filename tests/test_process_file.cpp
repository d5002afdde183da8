// The process document file: layout, text attributes, the save and working-storage
// lifecycle, the version gate, export, monikers, record order, and damaged files.
#include <cmath>
#include <limits>
#include <memory>
#include <set>

#include "document/CAPDocument.h"
#include "document/ElementStream.h"
#include "document_support.h"
#include "platform/moniker/MkMoniker.h"

using namespace doc_test;

namespace {

const wchar_t kVersion[] = L"Process Document Version";
const wchar_t kElements[] = L"Element Stream";
const wchar_t kName[] = L"Process Name";
const wchar_t kDescription[] = L"Process Description";
const wchar_t kDirectory[] = L"Process Assembly Directory";

std::vector<unsigned char> Bytes(std::initializer_list<int> b)
{
    std::vector<unsigned char> v;
    for (int x : b) v.push_back(static_cast<unsigned char>(x));
    return v;
}

std::vector<unsigned char> FloatBytes(float f)
{
    std::vector<unsigned char> v(4);
    std::memcpy(v.data(), &f, 4);
    return v;
}

class ProcessFile : public FileTest {
protected:
    void TearDown() override
    {
        FileTest::TearDown();
        if (m_live == 0) {
            EXPECT_EQ(PlenvortDllCanUnloadNow(), S_OK);
        }
    }

    // A saved document: an assembly with two parts under it, one part also under a second
    // assembly, and a top-level fixture.
    void BuildTree(IAPDocument6* doc)
    {
        IAPNode* a = NewNode(doc, CLSID_APAssemblyNode, "A");
        IAPNode* p1 = NewNode(doc, CLSID_APPartNode, "P1");
        IAPNode* p2 = NewNode(doc, CLSID_APPartNode, "P2");
        IAPNode* b = NewNode(doc, CLSID_APAssemblyNode, "B");
        IAPNode* f = NewNode(doc, CLSID_APFixtureNode, "F");
        ASSERT_EQ(doc->AddChild(a, p1), S_OK);
        ASSERT_EQ(doc->AddChild(a, p2), S_OK);
        ASSERT_EQ(doc->AddChild(a, b), S_OK);
        ASSERT_EQ(doc->AddChild(b, p2), S_OK); // P2 has two parents
        for (IAPNode* n : {a, p1, p2, b, f}) n->Release();
    }

    // Saves a new document named `name` to a fresh file; with BuildTree's nodes when `tree`.
    void SaveNew(const char* name, const char* stem, bool tree, std::string* path)
    {
        IAPDocument6* doc = NewDocument();
        if (tree) BuildTree(doc);
        ASSERT_EQ(doc->SetProcessName(Text(name)), S_OK);
        *path = File(stem);
        ASSERT_EQ(doc->Save(Text(path->c_str())), S_OK);
        doc->Release();
    }
};

// A document holding one node, "kept", which a refused open must leave as it was.
struct KeptReader {
    IAPDocument6* doc = NewDocument();
    IAPNode* keep = NewNode(doc, CLSID_APPartNode, "kept");
    ~KeptReader()
    {
        keep->Release();
        doc->Release();
    }
    // Something readable came out: start again from the kept state.
    void Restart()
    {
        doc->Release();
        doc = NewDocument();
        keep->Release();
        keep = NewNode(doc, CLSID_APPartNode, "kept");
    }
};

// A new document opens the file at `path` and holds BuildTree's tree: P2 is one node under
// both A and B.
void ExpectTreeFile(const std::string& path)
{
    IAPDocument6* doc = NewDocument();
    ASSERT_EQ(doc->OpenDocument(Text(path.c_str())), S_OK);
    EXPECT_EQ(RootNames(doc), (std::vector<std::string>{"A", "F"}));
    IAPNode* a = RootAt(doc, 0);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(ChildNames(a), (std::vector<std::string>{"P1", "P2", "B"}));
    IAPNode* p2 = nullptr;
    IAPNode* b = nullptr;
    ASSERT_EQ(a->GetChild(1, &p2), S_OK);
    ASSERT_EQ(a->GetChild(2, &b), S_OK);
    EXPECT_EQ(ChildNames(b), std::vector<std::string>{"P2"});
    IAPNode* p2b = nullptr;
    ASSERT_EQ(b->GetChild(0, &p2b), S_OK);
    EXPECT_TRUE(Same(p2, p2b)); // one node under both parents
    int parents = 0;
    EXPECT_EQ(p2->GetNumParents(&parents), S_OK);
    EXPECT_EQ(parents, 2);
    for (IAPNode* n : {a, p2, b, p2b}) n->Release();
    doc->Release();
}

// The names of the element stream's records, in file order, read record by record.
std::vector<std::string> RecordNames(const std::string& path)
{
    std::vector<std::string> names;
    std::vector<unsigned char> bytes;
    if (!FileStream(path, kElements, &bytes)) return names;
    IStorage* storage = nullptr;
    if (FAILED(StgCreateDocfile(nullptr, STGM_DELETEONRELEASE | STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                                &storage)))
        return names;
    IStream* s = nullptr;
    storage->CreateStream(kElements, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, &s);
    ULONG written = 0;
    s->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
    s->Release();
    std::vector<IAPElement*> made;
    {
        ElementStreamSession session(storage, ElementStreamSession::Read);
        for (;;) {
            WmGUID id;
            if (!session.Objects().read(id)) {
                names.push_back("<short>");
                break;
            }
            if (id.data2 == 0xFFFF) break;
            IAPElement* e = nullptr;
            if (FAILED(ORVCoCreateInstance(id.toGUID(), nullptr, CLSCTX_INPROC_SERVER, IID_IAPElement,
                                           reinterpret_cast<void**>(&e)))) {
                names.push_back("<class>");
                break;
            }
            made.push_back(e);
            if (FAILED(e->Deserialize(reinterpret_cast<unsigned char*>(&session.Objects())))) {
                names.push_back("<block>");
                break;
            }
            names.push_back(NameOf(e));
        }
    }
    for (IAPElement* e : made) e->Release();
    storage->Release();
    return names;
}

// ---------------------------------------------------------------------------------------

TEST_F(ProcessFile, TextAttributesAreReadFromTheSavedDocument)
{
    IAPDocument6* doc = NewDocument();
    ASSERT_NE(doc, nullptr);
    int size = -1;
    EXPECT_EQ(doc->GetProcessNameSize(&size), E_FAIL); // no document storage yet
    unsigned char buffer[64];
    EXPECT_EQ(doc->GetProcessName(buffer), E_FAIL);

    EXPECT_EQ(doc->SetProcessName(Text("Line 4")), S_OK);
    EXPECT_EQ(doc->SetProcessDescription(Text("")), S_OK);
    EXPECT_EQ(doc->SetAssemblyDirectory(Text("C:\\parts")), S_OK);
    EXPECT_EQ(doc->SetProcessName(nullptr), E_FAIL);
    EXPECT_EQ(doc->GetProcessNameSize(&size), E_FAIL); // a value set is read after the next save

    const std::string path = File("text");
    ASSERT_EQ(doc->Save(Text(path.c_str())), S_OK);
    EXPECT_EQ(doc->GetProcessNameSize(&size), S_OK);
    EXPECT_EQ(size, 6);
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(doc->GetProcessName(buffer), S_OK);
    EXPECT_EQ(std::memcmp(buffer, "Line 4x", 7), 0); // no terminating zero is added
    EXPECT_EQ(doc->GetProcessDescriptionSize(&size), S_OK);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(doc->GetAssemblyDirectorySize(&size), S_OK);
    EXPECT_EQ(size, 8);
    std::memset(buffer, 0, sizeof buffer);
    EXPECT_EQ(doc->GetAssemblyDirectory(buffer), S_OK);
    EXPECT_STREQ(reinterpret_cast<char*>(buffer), "C:\\parts");
    EXPECT_EQ(doc->GetProcessNameSize(nullptr), E_FAIL);
    EXPECT_EQ(doc->GetProcessName(nullptr), E_FAIL);
    doc->Release();

    // The file: each text a 4-byte little-endian length and its characters; the version a float 2.0.
    std::vector<unsigned char> bytes;
    ASSERT_TRUE(FileStream(path, kName, &bytes));
    EXPECT_EQ(bytes, Bytes({6, 0, 0, 0, 'L', 'i', 'n', 'e', ' ', '4'}));
    ASSERT_TRUE(FileStream(path, kDescription, &bytes));
    EXPECT_EQ(bytes, Bytes({0, 0, 0, 0}));
    ASSERT_TRUE(FileStream(path, kDirectory, &bytes));
    EXPECT_EQ(bytes.size(), 12u);
    ASSERT_TRUE(FileStream(path, kVersion, &bytes));
    EXPECT_EQ(bytes, Bytes({0x00, 0x00, 0x00, 0x40}));
}

TEST_F(ProcessFile, AnEmptyDocumentIsItsRootRecordAndTheEndMarker)
{
    std::string path;
    ASSERT_NO_FATAL_FAILURE(SaveNew("empty", "empty", false, &path));

    std::vector<unsigned char> bytes;
    ASSERT_TRUE(FileStream(path, kElements, &bytes));
    ASSERT_GT(bytes.size(), 32u);
    // First the root's class (an assembly node), last the marker of 16 bytes 0xFF.
    GUID first;
    std::memcpy(&first, bytes.data(), 16);
    EXPECT_TRUE(IsEqualGUID(first, CLSID_APAssemblyNode));
    for (size_t i = bytes.size() - 16; i < bytes.size(); ++i) EXPECT_EQ(bytes[i], 0xFF) << i;
    EXPECT_EQ(RecordNames(path), std::vector<std::string>{""});

    IAPDocument6* again = NewDocument();
    EXPECT_EQ(again->OpenDocument(Text(path.c_str())), S_OK);
    EXPECT_TRUE(RootNames(again).empty());
    again->Release();
}

TEST_F(ProcessFile, EachSaveNeedsAFreshWorkingStorage)
{
    IAPDocument6* doc = NewDocument();
    const std::string path = File("twice");
    EXPECT_EQ(doc->Save(Text(path.c_str())), E_FAIL); // nothing set: no working storage
    EXPECT_FALSE(FileExists(path));
    ASSERT_EQ(doc->SetProcessName(Text("one")), S_OK);
    EXPECT_EQ(doc->Save(nullptr), E_FAIL);
    ASSERT_EQ(doc->Save(Text(path.c_str())), S_OK);
    EXPECT_EQ(doc->Save(Text(path.c_str())), E_FAIL); // the working storage became the document
    ASSERT_EQ(doc->SetProcessName(Text("two")), S_OK);
    ASSERT_EQ(doc->Save(Text(path.c_str())), S_OK);
    std::vector<unsigned char> bytes;
    ASSERT_TRUE(FileStream(path, kName, &bytes));
    EXPECT_EQ(bytes, Bytes({3, 0, 0, 0, 't', 'w', 'o'}));
    doc->Release();
}

TEST_F(ProcessFile, TextsNotSetAgainAreKeptByTheNextSave)
{
    IAPDocument6* doc = NewDocument();
    ASSERT_EQ(doc->SetProcessName(Text("name")), S_OK);
    ASSERT_EQ(doc->SetProcessDescription(Text("description")), S_OK);
    ASSERT_EQ(doc->SetAssemblyDirectory(Text("dir")), S_OK);
    const std::string path = File("keep_texts");
    ASSERT_EQ(doc->Save(Text(path.c_str())), S_OK);
    ASSERT_EQ(doc->SetProcessName(Text("renamed")), S_OK);
    ASSERT_EQ(doc->Save(Text(path.c_str())), S_OK);
    doc->Release();

    IAPDocument6* again = NewDocument();
    ASSERT_EQ(again->OpenDocument(Text(path.c_str())), S_OK);
    ASSERT_EQ(again->SetAssemblyDirectory(Text("elsewhere")), S_OK); // after an open, too
    ASSERT_EQ(again->Save(Text(path.c_str())), S_OK);
    again->Release();
    std::vector<unsigned char> bytes;
    ASSERT_TRUE(FileStream(path, kName, &bytes));
    EXPECT_EQ(bytes, Bytes({7, 0, 0, 0, 'r', 'e', 'n', 'a', 'm', 'e', 'd'}));
    ASSERT_TRUE(FileStream(path, kDescription, &bytes));
    EXPECT_EQ(bytes.size(), 4u + 11u);
    ASSERT_TRUE(FileStream(path, kDirectory, &bytes));
    EXPECT_EQ(bytes, Bytes({9, 0, 0, 0, 'e', 'l', 's', 'e', 'w', 'h', 'e', 'r', 'e'}));
}

TEST_F(ProcessFile, AFailingSaveKeepsTheGoodFileAndTheStorages)
{
    // A folder of its own: other tests save into the temporary folder at the same time.
    const std::string own = FolderOf(TempPath("keep")) + "plenvort_keep_" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(own.c_str(), nullptr);
    const std::string path = own + "\\keep.pvd";
    m_files.push_back(path);
    IAPDocument6* doc = NewDocument();
    ASSERT_EQ(doc->SetProcessName(Text("good")), S_OK);
    ASSERT_EQ(doc->Save(Text(path.c_str())), S_OK);
    const auto good = FileBytes(path);
    const std::string folder = FolderOf(path);
    const int temporaries = CountFiles(folder, "pvd*.tmp");

    // The target cannot be replaced: the save fails and nothing changes.
    ASSERT_EQ(doc->SetProcessName(Text("better")), S_OK);
    HANDLE busy = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(busy, INVALID_HANDLE_VALUE);
    EXPECT_EQ(doc->Save(Text(path.c_str())), E_FAIL);
    CloseHandle(busy);
    EXPECT_EQ(FileBytes(path), good);
    EXPECT_EQ(CountFiles(folder, "pvd*.tmp"), temporaries);
    int size = 0;
    EXPECT_EQ(doc->GetProcessNameSize(&size), S_OK); // the document storage is still there
    EXPECT_EQ(size, 4);

    // A folder that does not exist: refused, nothing made.
    const std::string nowhere = folder + "no_such_folder\\x.pvd";
    EXPECT_TRUE(FAILED(doc->Save(Text(nowhere.c_str()))));

    // The working storage is still there: a save elsewhere needs no new text.
    const std::string other = File("keep_other");
    ASSERT_EQ(doc->Save(Text(other.c_str())), S_OK);
    std::vector<unsigned char> bytes;
    ASSERT_TRUE(FileStream(other, kName, &bytes));
    EXPECT_EQ(bytes.size(), 4u + 6u);
    doc->Release();
    DeleteFileA(path.c_str());
    RemoveDirectoryA(own.c_str());
}

TEST_F(ProcessFile, OpenWithoutANameGivesAnEmptyDocumentStorage)
{
    IAPDocument6* doc = NewDocument();
    EXPECT_EQ(doc->OpenDocument(nullptr), S_OK);
    int size = 0;
    EXPECT_EQ(doc->GetProcessNameSize(&size), STG_E_FILENOTFOUND); // a storage without the stream
    const std::string missing = File("missing");
    EXPECT_EQ(doc->OpenDocument(Text(missing.c_str())), STG_E_FILENOTFOUND);
    doc->Release();
}

TEST_F(ProcessFile, TheVersionGateRefusesOlderFiles)
{
    std::string path;
    ASSERT_NO_FATAL_FAILURE(SaveNew("versions", "version", false, &path));

    struct Case {
        std::vector<unsigned char> bytes;
        bool remove;
        HRESULT expected;
    } cases[] = {
        {FloatBytes(1.5f), false, E_FAIL},
        {FloatBytes(1.9999f), false, E_FAIL},
        {FloatBytes(2.0f), false, S_OK},
        {FloatBytes(3.0f), false, S_OK},
        {FloatBytes(std::numeric_limits<float>::quiet_NaN()), false, E_FAIL},
        {Bytes({0, 0, 0}), false, E_FAIL},
        {{}, true, E_FAIL},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(PutFileStream(path, kVersion, c.bytes, c.remove));
        IAPDocument6* d = NewDocument();
        IAPNode* before = NewNode(d, CLSID_APPartNode, "before");
        EXPECT_EQ(d->OpenDocument(Text(path.c_str())), c.expected);
        // A refused file leaves the document as it was.
        EXPECT_EQ(RootNames(d), c.expected == S_OK ? std::vector<std::string>{} : std::vector<std::string>{"before"});
        before->Release();
        d->Release();
    }
}

TEST_F(ProcessFile, RecordsArePreOrderAndASharedNodeIsWrittenOnce)
{
    std::string path;
    ASSERT_NO_FATAL_FAILURE(SaveNew("tree", "tree", true, &path));

    EXPECT_EQ(RecordNames(path), (std::vector<std::string>{"", "A", "P1", "P2", "B", "F"}));

    ASSERT_NO_FATAL_FAILURE(ExpectTreeFile(path));
}

// A group's record has no child list, so it takes no children: a tree with one under a group
// would save and then never open again.
TEST_F(ProcessFile, AGroupTakesNoChildrenSoItsMembersReadBack)
{
    IAPDocument6* doc = NewDocument();
    IAPNode* a = NewNode(doc, CLSID_APAssemblyNode, "A");
    IAPNode* g = NewNode(doc, CLSID_APGroup, "G");
    IAPNode* m = NewNode(doc, CLSID_APMeasurementOperation, "M");
    ASSERT_EQ(doc->AddChild(a, g), S_OK);
    EXPECT_EQ(doc->AddChild(g, m), E_FAIL);
    EXPECT_EQ(doc->InsertChild(g, m, -1), E_FAIL);
    EXPECT_EQ(g->AppendChild(m), E_FAIL);
    EXPECT_EQ(plenvort_test::CountOf(g, &IAPNode::GetNumChildren), 0);
    EXPECT_EQ(plenvort_test::CountOf(m, &IAPNode::GetNumParents), 1); // still top-level
    auto* group = Query<IAPGroup>(g, IID_IAPGroup);
    auto* member = Query<IAPElement>(m, IID_IAPElement);
    ASSERT_EQ(group->AppendGroupElement(member), S_OK);
    ASSERT_EQ(doc->SetProcessName(Text("group")), S_OK);
    const std::string path = File("group");
    ASSERT_EQ(doc->Save(Text(path.c_str())), S_OK);
    for (IUnknown* p : {static_cast<IUnknown*>(group), static_cast<IUnknown*>(member), static_cast<IUnknown*>(a),
                        static_cast<IUnknown*>(g), static_cast<IUnknown*>(m), static_cast<IUnknown*>(doc)})
        p->Release();

    IAPDocument6* again = NewDocument();
    ASSERT_EQ(again->OpenDocument(Text(path.c_str())), S_OK);
    EXPECT_EQ(RootNames(again), (std::vector<std::string>{"A", "M"}));
    IAPNode* back = RootAt(again, 0);
    ASSERT_NE(back, nullptr);
    IAPNode* backGroup = nullptr;
    ASSERT_EQ(back->GetChild(0, &backGroup), S_OK);
    auto* readGroup = Query<IAPGroup>(backGroup, IID_IAPGroup);
    ASSERT_NE(readGroup, nullptr);
    EXPECT_EQ(plenvort_test::CountOf(readGroup, &IAPGroup::GetGroupNumElements), 1);
    readGroup->Release();
    backGroup->Release();
    back->Release();
    again->Release();
}

TEST_F(ProcessFile, FilesThatRepeatASharedNodeUnderEachParentStillRead)
{
    // The older writers put a node with several parents (and its subtree) under each of them.
    IAPDocument6* doc = NewDocument();
    BuildTree(doc);
    const std::string path = File("oldform");
    {
        IAPNode* a = RootAt(doc, 0);
        ASSERT_NE(a, nullptr);
        IAPNode* root = nullptr;
        ASSERT_EQ(a->GetParent(0, &root), S_OK);

        IStorage* storage = nullptr;
        ASSERT_EQ(StgCreateDocfile(Wide(path).c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &storage),
                  S_OK);
        IStream* version = nullptr;
        ASSERT_EQ(storage->CreateStream(kVersion, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, &version), S_OK);
        float two = 2.0f;
        version->Write(&two, 4, nullptr);
        version->Release();
        {
            ElementStreamSession session(storage, ElementStreamSession::Write);
            // Pre-order with repetition, as the old writer did.
            std::function<void(IAPNode*)> write = [&](IAPNode* n) {
                IAPElement* e = Query<IAPElement>(n, IID_IAPElement);
                GUID clsid{};
                e->GetClassID(&clsid);
                session.Objects().write(WmGUID(clsid));
                EXPECT_EQ(e->Serialize(reinterpret_cast<unsigned char*>(&session.Objects())), S_OK);
                e->Release();
                int count = 0;
                n->GetNumChildren(&count);
                for (int i = 0; i < count; ++i) {
                    IAPNode* c = nullptr;
                    n->GetChild(i, &c);
                    write(c);
                    c->Release();
                }
            };
            write(root);
            session.Objects().write(WmGUID(GUID_EndOfStreamMarker));
        }
        storage->Release();
        a->Release();
        root->Release();
    }
    EXPECT_EQ(RecordNames(path), (std::vector<std::string>{"", "A", "P1", "P2", "B", "P2", "F"}));
    doc->Release();

    ASSERT_NO_FATAL_FAILURE(ExpectTreeFile(path));
}

TEST_F(ProcessFile, ExportWritesTheRootItsFirstChildAndTheNode)
{
    IAPDocument6* doc = NewDocument();
    BuildTree(doc);
    ASSERT_EQ(doc->SetProcessName(Text("export")), S_OK);
    IAPNode* f = RootAt(doc, 1);
    ASSERT_NE(f, nullptr);
    const std::string path = File("export");
    EXPECT_EQ(doc->ExportDocument(nullptr, f), E_FAIL);
    EXPECT_EQ(doc->ExportDocument(Text(path.c_str()), nullptr), E_FAIL);
    ASSERT_EQ(doc->ExportDocument(Text(path.c_str()), f), S_OK);
    int flag = 7;
    IAPElement* exported = reinterpret_cast<IAPElement*>(&flag);
    EXPECT_EQ(doc->GetExportInfo(&flag, &exported), S_OK);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(exported, nullptr);
    int size = 0;
    EXPECT_EQ(doc->GetProcessNameSize(&size), E_FAIL); // after an export: no storages
    EXPECT_EQ(doc->Save(Text(path.c_str())), E_FAIL);

    // Root (naming A as its only child), A alone (naming F), then F's subtree.
    EXPECT_EQ(RecordNames(path), (std::vector<std::string>{"", "A", "F"}));
    IAPDocument6* again = NewDocument();
    ASSERT_EQ(again->OpenDocument(Text(path.c_str())), S_OK);
    EXPECT_EQ(RootNames(again), std::vector<std::string>{"A"});
    IAPNode* a = RootAt(again, 0);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(ChildNames(a), std::vector<std::string>{"F"});
    a->Release();
    again->Release();

    // Exporting the first top-level node itself gives that node with its own subtree.
    IAPNode* first = RootAt(doc, 0);
    ASSERT_EQ(doc->SetProcessName(Text("again")), S_OK);
    const std::string path2 = File("export_first");
    ASSERT_EQ(doc->ExportDocument(Text(path2.c_str()), first), S_OK);
    EXPECT_EQ(RecordNames(path2), (std::vector<std::string>{"", "A", "P1", "P2", "B"}));
    IAPDocument6* third = NewDocument();
    EXPECT_EQ(third->OpenDocument(Text(path2.c_str())), S_OK);
    EXPECT_EQ(RootNames(third), std::vector<std::string>{"A"});
    third->Release();
    first->Release();
    f->Release();
    doc->Release();
}

TEST_F(ProcessFile, AFailingExportKeepsEverythingAndClearsTheExportState)
{
    IAPDocument6* doc = NewDocument();
    ASSERT_EQ(doc->SetProcessName(Text("good")), S_OK);
    const std::string path = File("export_fail");
    ASSERT_EQ(doc->Save(Text(path.c_str())), S_OK);
    const auto good = FileBytes(path);

    // This document's root has no child, so the export form cannot be written.
    IAPDocument6* other = NewDocument();
    IAPNode* stranger = NewNode(other, CLSID_APPartNode, "stranger");
    ASSERT_EQ(doc->SetProcessName(Text("next")), S_OK);
    EXPECT_EQ(doc->ExportDocument(Text(path.c_str()), stranger), E_FAIL);
    EXPECT_EQ(FileBytes(path), good);
    int flag = 5;
    IAPElement* element = nullptr;
    EXPECT_EQ(doc->GetExportInfo(&flag, &element), S_OK);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(element, nullptr);
    int size = 0;
    EXPECT_EQ(doc->GetProcessNameSize(&size), S_OK);
    EXPECT_EQ(size, 4);
    const std::string other_path = File("export_fail_then_save");
    EXPECT_EQ(doc->Save(Text(other_path.c_str())), S_OK); // the working storage stayed
    stranger->Release();
    other->Release();
    doc->Release();
}

// ---------------------------------------------------------------------------------------
// Monikers

std::string g_shown;
int g_boxes = 0;
int RecordBox(const char* text, const char*, UINT)
{
    ++g_boxes;
    g_shown = text ? text : "";
    return IDOK;
}

TEST_F(ProcessFile, MonikersSaveANewFileAndOpenIt)
{
    const std::string path = File("moniker");
    IORVDataMoniker* m = nullptr;
    ASSERT_EQ(MkCreateMoniker(path.c_str(), &m), S_OK);
    IAPDocument6* doc = NewDocument();
    EXPECT_EQ(doc->SaveByMoniker(m), E_FAIL); // no working storage
    ASSERT_EQ(doc->SetProcessName(Text("by moniker")), S_OK);
    EXPECT_EQ(doc->SaveByMoniker(nullptr), E_FAIL);
    ASSERT_EQ(doc->SaveByMoniker(m), S_OK); // the file does not exist yet
    EXPECT_TRUE(FileExists(path));
    doc->Release();

    IAPDocument6* again = NewDocument();
    ASSERT_EQ(again->OpenDocumentByMoniker(m), S_OK);
    IORVDataMoniker* held = nullptr;
    EXPECT_EQ(again->GetPdoDataMoniker(&held), S_OK);
    EXPECT_EQ(held, m);
    if (held) held->Release();
    int size = 0;
    EXPECT_EQ(again->GetProcessNameSize(&size), S_OK);
    EXPECT_EQ(size, 10);
    again->Release();
    m->Release();
}

TEST_F(ProcessFile, AMonikerWhoseCopyCannotBeFetchedShowsOneMessage)
{
    const std::string path = File("unfetchable");
    IORVDataMoniker* m = nullptr;
    ASSERT_EQ(MkCreateMoniker(path.c_str(), &m), S_OK);
    CAPDocument::SetMessageBoxForTesting(RecordBox);
    MkSetFetchFailureForTesting(true);
    g_boxes = 0;
    IAPDocument6* doc = NewDocument();
    EXPECT_EQ(doc->OpenDocumentByMoniker(m), S_OK); // goes on with an empty document
    EXPECT_EQ(g_boxes, 1);
    EXPECT_NE(g_shown.find("could not be fetched"), std::string::npos);
    int size = 0;
    EXPECT_EQ(doc->GetProcessNameSize(&size), STG_E_FILENOTFOUND);
    EXPECT_EQ(doc->OpenDocumentByMoniker(nullptr), S_OK);
    EXPECT_EQ(g_boxes, 1);
    MkSetFetchFailureForTesting(false);
    CAPDocument::SetMessageBoxForTesting(nullptr);
    doc->Release();
    m->Release();
}

TEST_F(ProcessFile, ExportByMoniker)
{
    IAPDocument6* doc = NewDocument();
    BuildTree(doc);
    ASSERT_EQ(doc->SetProcessName(Text("x")), S_OK);
    IAPNode* extra = NewNode(doc, CLSID_APTolLibNode, "T");
    const std::string path = File("export_moniker");
    IORVDataMoniker* m = nullptr;
    ASSERT_EQ(MkCreateMoniker(path.c_str(), &m), S_OK);
    EXPECT_EQ(doc->ExportDocumentByMoniker(nullptr, extra), E_FAIL);
    ASSERT_EQ(doc->ExportDocumentByMoniker(m, extra), S_OK);
    EXPECT_EQ(RecordNames(path), (std::vector<std::string>{"", "A", "T"}));
    extra->Release();
    m->Release();
    doc->Release();
}


// The bytes one record takes when `element` is written after `before` took its numbers.
std::vector<unsigned char> RecordBytes(IAPElement* element, std::initializer_list<const void*> before)
{
    IStorage* storage = nullptr;
    StgCreateDocfile(nullptr, STGM_DELETEONRELEASE | STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &storage);
    {
        ElementStreamSession session(storage, ElementStreamSession::Write);
        for (const void* p : before) {
            int n = 0;
            session.Objects().ptr2num(p, &n);
        }
        GUID clsid{};
        element->GetClassID(&clsid);
        session.Objects().write(WmGUID(clsid));
        EXPECT_EQ(element->Serialize(reinterpret_cast<unsigned char*>(&session.Objects())), S_OK);
    }
    IStream* s = nullptr;
    storage->OpenStream(kElements, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &s);
    auto bytes = ReadWholeStream(s);
    s->Release();
    storage->Release();
    return bytes;
}

TEST_F(ProcessFile, AFileWhoseNodesFormACycleNeverLoops)
{
    // Root R names A as its child; A's record names R as its child.
    IAPDocument6* doc = NewDocument();
    IAPNode* a = NewNode(doc, CLSID_APAssemblyNode, "A");
    IAPNode* c = NewNode(doc, CLSID_APPartNode, "C");
    ASSERT_EQ(doc->AddChild(a, c), S_OK);
    IAPNode* r = nullptr;
    ASSERT_EQ(a->GetParent(0, &r), S_OK);
    ASSERT_EQ(doc->SetProcessName(Text("cycle")), S_OK);
    const std::string path = File("cycle");
    ASSERT_EQ(doc->Save(Text(path.c_str())), S_OK);
    IAPElement* re = Query<IAPElement>(r, IID_IAPElement);
    IAPElement* ae = Query<IAPElement>(a, IID_IAPElement);
    IAPElement* ce = Query<IAPElement>(c, IID_IAPElement);
    std::vector<unsigned char> bytes = RecordBytes(re, {});       // R is 1, A is 2
    const auto second = RecordBytes(ae, {static_cast<IAPElement*>(ce)}); // C takes 1, A is 2
    bytes.insert(bytes.end(), second.begin(), second.end());
    for (int i = 0; i < 16; ++i) bytes.push_back(0xFF);
    for (IUnknown* x : std::initializer_list<IUnknown*>{re, ae, ce, r, a, c}) x->Release();
    doc->Release();
    ASSERT_TRUE(PutFileStream(path, kElements, bytes));

    KeptReader kept;
    IAPDocument6* reader = kept.doc;
    // Refused, or read without the link that closes the cycle; never a loop, never a leak.
    const HRESULT hr = reader->OpenDocument(Text(path.c_str()));
    if (hr == S_OK) {
        ASSERT_EQ(RootNames(reader), std::vector<std::string>{"A"});
        IAPNode* back = RootAt(reader, 0);
        ASSERT_NE(back, nullptr);
        EXPECT_TRUE(ChildNames(back).empty());
        back->Release();
    } else {
        EXPECT_EQ(hr, E_FAIL);
        EXPECT_EQ(RootNames(reader), std::vector<std::string>{"kept"});
    }
}

// ---------------------------------------------------------------------------------------
// Damaged files

TEST_F(ProcessFile, DamagedFilesAreRefusedCleanly)
{
    std::string path;
    ASSERT_NO_FATAL_FAILURE(SaveNew("damage", "damage", true, &path));
    std::vector<unsigned char> good;
    ASSERT_TRUE(FileStream(path, kElements, &good));
    ASSERT_GT(good.size(), 64u);

    const LONG live = LiveObjects();
    auto reader = std::make_unique<KeptReader>();
    const std::string damaged = File("damaged");
    ASSERT_TRUE(CopyFileA(path.c_str(), damaged.c_str(), FALSE));

    // Every cut loses the end marker at least: each one is refused. Bytes changed in place
    // (flipped, zeroed, set to 0xFF, or to huge counts) may still make a readable file, but
    // never a crash, a leak, or a changed document when refused.
    struct Variant {
        std::vector<unsigned char> bytes;
        bool mustFail;
    };
    std::vector<Variant> variants;
    for (size_t n = 0; n < good.size(); n += (good.size() / 150) + 1)
        variants.push_back({std::vector<unsigned char>(good.begin(), good.begin() + static_cast<long>(n)), true});
    unsigned seed = 12345;
    for (int i = 0; i < 240; ++i) {
        seed = seed * 1103515245u + 12345u;
        std::vector<unsigned char> v = good;
        const size_t at = (seed >> 8) % v.size();
        const auto end = v.begin() + static_cast<long>(std::min(v.size(), at + 4));
        switch (i % 4) {
        case 0: v[at] ^= 0x5A; break;
        case 1: v[at] = 0; break;
        case 2: std::fill(v.begin() + static_cast<long>(at), end, 0xFF); break;
        case 3: std::fill(v.begin() + static_cast<long>(at), end, 0x7F); break;
        }
        variants.push_back({std::move(v), false});
    }
    int refused = 0, read = 0;
    for (const auto& v : variants) {
        ASSERT_TRUE(PutFileStream(damaged, kElements, v.bytes));
        const HRESULT hr = reader->doc->OpenDocument(Text(damaged.c_str()));
        if (v.mustFail) {
            EXPECT_EQ(hr, E_FAIL) << "a cut at " << v.bytes.size() << " was read";
        }
        if (hr == S_OK) {
            ++read;
            reader->Restart();
            continue;
        }
        ++refused;
        EXPECT_EQ(hr, E_FAIL);
        ASSERT_EQ(RootNames(reader->doc), std::vector<std::string>{"kept"}) << "a failed open changed the document";
    }
    EXPECT_GE(refused + read, 300);
    EXPECT_GT(refused, 150);
    reader.reset();
    EXPECT_EQ(LiveObjects(), live) << "a refused file left objects alive (" << read << " read)";
}


TEST_F(ProcessFile, DamagedCompoundFilesAreRefusedCleanly)
{
    std::string path;
    ASSERT_NO_FATAL_FAILURE(SaveNew("file damage", "file_damage", true, &path));
    const auto good = FileBytes(path);
    ASSERT_GT(good.size(), 512u);

    const LONG live = LiveObjects();
    auto reader = std::make_unique<KeptReader>();
    const std::string damaged = File("file_damaged");
    auto put = [&](const std::vector<unsigned char>& bytes) {
        HANDLE h = CreateFileA(damaged.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        DWORD written = 0;
        const bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                        written == bytes.size();
        CloseHandle(h);
        return ok;
    };
    std::vector<std::vector<unsigned char>> variants;
    for (size_t n = 0; n < good.size(); n += good.size() / 40 + 1)
        variants.emplace_back(good.begin(), good.begin() + static_cast<long>(n));
    unsigned seed = 777;
    for (int i = 0; i < 60; ++i) {
        seed = seed * 1103515245u + 12345u;
        std::vector<unsigned char> v = good;
        v[(seed >> 8) % v.size()] ^= static_cast<unsigned char>(1u << (i % 8));
        variants.push_back(std::move(v));
    }
    int refused = 0;
    for (const auto& v : variants) {
        ASSERT_TRUE(put(v));
        const HRESULT hr = reader->doc->OpenDocument(Text(damaged.c_str()));
        if (SUCCEEDED(hr)) {
            reader->Restart();
            continue;
        }
        ++refused;
        ASSERT_EQ(RootNames(reader->doc), std::vector<std::string>{"kept"}) << "a failed open changed the document";
    }
    EXPECT_GT(refused, 40);
    reader.reset();
    EXPECT_EQ(LiveObjects(), live);
}

TEST_F(ProcessFile, NothingAfterTheEndMarkerIsRead)
{
    std::string path;
    ASSERT_NO_FATAL_FAILURE(SaveNew("tail", "tail", true, &path));
    std::vector<unsigned char> bytes;
    ASSERT_TRUE(FileStream(path, kElements, &bytes));
    for (int i = 0; i < 100; ++i) bytes.push_back(static_cast<unsigned char>(i * 37));
    ASSERT_TRUE(PutFileStream(path, kElements, bytes));
    ASSERT_NO_FATAL_FAILURE(ExpectTreeFile(path));
}


TEST_F(ProcessFile, DamagedTextLengthsAreRefused)
{
    std::string path;
    ASSERT_NO_FATAL_FAILURE(SaveNew("name", "text_damage", false, &path));
    ASSERT_TRUE(PutFileStream(path, kName, Bytes({0x10, 0x27, 0, 0, 'a', 'b', 'c'}))); // claims 10000
    ASSERT_TRUE(PutFileStream(path, kDescription, Bytes({0xFF, 0xFF, 0xFF, 0xFF})));    // negative
    ASSERT_TRUE(PutFileStream(path, kDirectory, Bytes({2, 0})));                        // short length
    IAPDocument6* again = NewDocument();
    ASSERT_EQ(again->OpenDocument(Text(path.c_str())), S_OK);
    int size = 77;
    unsigned char buffer[16] = {};
    EXPECT_EQ(again->GetProcessNameSize(&size), E_FAIL);
    EXPECT_EQ(again->GetProcessName(buffer), E_FAIL);
    EXPECT_EQ(again->GetProcessDescriptionSize(&size), E_FAIL);
    EXPECT_EQ(again->GetAssemblyDirectorySize(&size), E_FAIL);
    EXPECT_EQ(again->GetAssemblyDirectory(buffer), E_FAIL);
    EXPECT_EQ(size, 77);
    again->Release();
}

} // namespace
