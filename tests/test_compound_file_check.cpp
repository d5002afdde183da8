// The compound-file check: it accepts what the platform writes, refuses loops, shared
// sectors, links out of range and sizes beyond the file, and a refused file leaves the
// document as it was whichever way it is opened.
#include <cstdint>
#include <functional>
#include <map>

#include "document/CompoundFileCheck.h"
#include "document_support.h"
#include "platform/moniker/MkMoniker.h"

using namespace doc_test;

namespace {

constexpr uint32_t kEnd = 0xFFFFFFFE;
constexpr uint32_t kFree = 0xFFFFFFFF;

// A compound file's bytes with its structures located, for damaging them by hand. It trusts
// the file: it is only used on files the platform wrote.
struct Layout {
    std::vector<unsigned char> b;

    uint32_t Get32(size_t at) const { return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24; }
    void Put32(size_t at, uint32_t v)
    {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
    }
    void Put16(size_t at, uint16_t v)
    {
        b[at] = static_cast<unsigned char>(v);
        b[at + 1] = static_cast<unsigned char>(v >> 8);
    }
    uint32_t SectorSize() const { return 1u << (b[30] | b[31] << 8); }
    uint32_t PerSector() const { return SectorSize() / 4; }
    size_t SectorAt(uint32_t s) const { return (static_cast<size_t>(s) + 1) * SectorSize(); }

    // Where the allocation table's entry for sector `s` is.
    size_t FatAt(uint32_t s) const
    {
        uint32_t k = s / PerSector();
        uint32_t fatSector;
        if (k < 109) {
            fatSector = Get32(76 + 4 * k);
        } else {
            k -= 109;
            uint32_t index = Get32(68);
            while (k >= PerSector() - 1) {
                index = Get32(SectorAt(index) + 4 * (PerSector() - 1));
                k -= PerSector() - 1;
            }
            fatSector = Get32(SectorAt(index) + 4 * k);
        }
        return SectorAt(fatSector) + 4 * (s % PerSector());
    }
    uint32_t Fat(uint32_t s) const { return Get32(FatAt(s)); }
    void SetFat(uint32_t s, uint32_t v) { Put32(FatAt(s), v); }
    std::vector<uint32_t> Chain(uint32_t start) const
    {
        std::vector<uint32_t> out;
        for (uint32_t s = start; s != kEnd; s = Fat(s)) out.push_back(s);
        return out;
    }
    size_t EntryAt(uint32_t id) const
    {
        const uint32_t per = SectorSize() / 128;
        return SectorAt(Chain(Get32(48))[id / per]) + 128 * (id % per);
    }
    size_t MiniFatAt(uint32_t m) const { return SectorAt(Chain(Get32(60))[m / PerSector()]) + 4 * (m % PerSector()); }
    uint32_t MiniFat(uint32_t m) const { return Get32(MiniFatAt(m)); }
    // The entry named `name` (its id), found by scanning the directory.
    uint32_t Find(const wchar_t* name) const
    {
        const size_t count = Chain(Get32(48)).size() * SectorSize() / 128;
        for (uint32_t id = 0; id < count; ++id) {
            const size_t at = EntryAt(id);
            std::wstring n;
            for (size_t i = 0; i + 2 < (b[at + 64] | 0u); i += 2) n.push_back(static_cast<wchar_t>(b[at + i] | b[at + i + 1] << 8));
            if (b[at + 66] != 0 && n == name) return id;
        }
        ADD_FAILURE() << "an entry is missing";
        return 0;
    }
    uint32_t Start(uint32_t id) const { return Get32(EntryAt(id) + 116); }
    // Directory links: 68 left, 72 right, 76 child.
    uint32_t Link(uint32_t id, int which) const { return Get32(EntryAt(id) + 68 + 4 * which); }
    void SetLink(uint32_t id, int which, uint32_t v) { Put32(EntryAt(id) + 68 + 4 * which, v); }
    // Some entry whose `which` link is set, and that link.
    std::pair<uint32_t, uint32_t> AnyLink(int which) const
    {
        const size_t count = Chain(Get32(48)).size() * SectorSize() / 128;
        for (uint32_t id = 0; id < count; ++id)
            if (b[EntryAt(id) + 66] != 0 && Link(id, which) != kFree) return {id, Link(id, which)};
        ADD_FAILURE() << "no entry has link " << which;
        return {0, 0};
    }
};

enum Left_ { kLeft = 0, kRight = 1, kChild = 2 };

void WriteStream(IStorage* storage, const wchar_t* name, size_t size)
{
    IStream* s = nullptr;
    ASSERT_EQ(storage->CreateStream(name, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, &s), S_OK);
    std::vector<unsigned char> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(i * 7 + 3);
    ULONG written = 0;
    if (size) {
        ASSERT_EQ(s->Write(bytes.data(), static_cast<ULONG>(size), &written), S_OK);
    }
    s->Release();
}

// A file the platform writes in memory: mini streams of one and of several mini sectors, a
// stream of several sectors, an empty one, a sub-storage, and (with `huge`) a stream large
// enough that the allocation table needs index sectors.
std::vector<unsigned char> PlatformFile(bool huge)
{
    std::vector<unsigned char> out;
    ILockBytes* bytes = nullptr;
    EXPECT_EQ(CreateILockBytesOnHGlobal(nullptr, TRUE, &bytes), S_OK);
    IStorage* storage = nullptr;
    EXPECT_EQ(StgCreateDocfileOnILockBytes(bytes, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &storage),
              S_OK);
    if (!storage) return out;
    WriteStream(storage, L"Alpha", 100);
    WriteStream(storage, L"Beta", 300);
    WriteStream(storage, L"Big", 10000);
    WriteStream(storage, L"Empty", 0);
    if (huge) WriteStream(storage, L"Huge", 7600000);
    IStorage* sub = nullptr;
    EXPECT_EQ(storage->CreateStorage(L"Sub", STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, &sub), S_OK);
    if (sub) {
        WriteStream(sub, L"Gamma", 10);
        WriteStream(sub, L"Delta", 5000);
        sub->Release();
    }
    EXPECT_EQ(storage->Commit(STGC_DEFAULT), S_OK);
    storage->Release();
    STATSTG st{};
    bytes->Stat(&st, STATFLAG_NONAME);
    out.resize(static_cast<size_t>(st.cbSize.QuadPart));
    ULARGE_INTEGER zero{};
    ULONG got = 0;
    bytes->ReadAt(zero, out.data(), static_cast<ULONG>(out.size()), &got);
    out.resize(got);
    bytes->Release();
    return out;
}

const std::vector<unsigned char>& Small()
{
    static const std::vector<unsigned char> file = PlatformFile(false);
    return file;
}

const std::vector<unsigned char>& Huge()
{
    static const std::vector<unsigned char> file = PlatformFile(true);
    return file;
}

HRESULT Check(const std::vector<unsigned char>& bytes) { return CheckCompoundFileBytes(bytes.data(), bytes.size()); }

TEST(CompoundFileCheck, AcceptsWhatThePlatformWrites)
{
    ASSERT_GT(Small().size(), 4096u);
    ASSERT_GT(Huge().size(), 7600000u);
    EXPECT_EQ(Check(Small()), S_OK);
    // The hand-made damages below find their way through this layout.
    Layout small{Small()};
    EXPECT_EQ(small.Chain(small.Start(small.Find(L"Big"))).size(), 20u);
    uint32_t beta = small.Start(small.Find(L"Beta"));
    for (int i = 0; i < 4; ++i) beta = small.MiniFat(beta); // 300 bytes: five mini sectors
    EXPECT_NE(beta, kEnd);
    EXPECT_EQ(small.MiniFat(beta), kEnd);
    EXPECT_GE(small.Chain(small.Get32(48)).size(), 2u);
    Layout huge{Huge()};
    EXPECT_GT(huge.Get32(72), 0u) << "the large file should need index sectors";
    EXPECT_EQ(Check(Huge()), S_OK);
}

// One hand-made damage: the file it starts from, and what it does.
struct Damage {
    const char* name;
    bool huge;
    std::function<void(Layout&)> apply;
};

const std::vector<Damage>& Damages()
{
    static const std::vector<Damage> all = {
        // Header.
        {"signature", false, [](Layout& f) { f.b[3] ^= 1; }},
        {"byte order", false, [](Layout& f) { f.Put16(28, 0xFEFF); }},
        {"major version 5", false, [](Layout& f) { f.Put16(26, 5); }},
        {"version 3 with 4096-byte sectors", false, [](Layout& f) { f.Put16(30, 12); }},
        {"version 4 with 512-byte sectors", false, [](Layout& f) { f.Put16(26, 4); }},
        {"mini sectors of 128 bytes", false, [](Layout& f) { f.Put16(32, 7); }},
        {"mini stream cutoff 8192", false, [](Layout& f) { f.Put32(56, 8192); }},
        {"table sectors beyond the file", false, [](Layout& f) { f.Put32(44, 100000); }},
        {"no table sector", false, [](Layout& f) { f.Put32(44, 0); }},
        {"directory sector count on version 3", false, [](Layout& f) { f.Put32(40, 1); }},
        {"mini table sector count", false, [](Layout& f) { f.Put32(64, f.Get32(64) + 1); }},
        {"table sector out of range", false, [](Layout& f) { f.Put32(76, 0x00FFFFFF); }},
        {"table sector twice", false, [](Layout& f) { f.Put32(48, f.Get32(76)); }},
        {"cut inside the last sector", false, [](Layout& f) { f.b.resize(f.b.size() - 506); }},
        {"cut to the header", false, [](Layout& f) { f.b.resize(512); }},
        {"cut inside the header", false, [](Layout& f) { f.b.resize(300); }},
        // Allocation-table chains.
        {"stream chain points to itself", false,
         [](Layout& f) {
             const uint32_t s = f.Start(f.Find(L"Big"));
             f.SetFat(s, s);
         }},
        {"stream chain points back", false,
         [](Layout& f) {
             const auto chain = f.Chain(f.Start(f.Find(L"Big")));
             f.SetFat(chain[3], chain[1]);
         }},
        {"stream chain ends early", false,
         [](Layout& f) { f.SetFat(f.Chain(f.Start(f.Find(L"Big")))[2], kEnd); }},
        {"stream chain runs into a free sector", false,
         [](Layout& f) { f.SetFat(f.Chain(f.Start(f.Find(L"Big")))[2], kFree); }},
        {"stream chain out of range", false,
         [](Layout& f) { f.SetFat(f.Chain(f.Start(f.Find(L"Big")))[2], 0x00FFFFF0); }},
        {"two streams share a sector", false,
         [](Layout& f) { f.Put32(f.EntryAt(f.Find(L"Delta")) + 116, f.Chain(f.Start(f.Find(L"Big")))[1]); }},
        {"stream chain runs through a table sector", false,
         [](Layout& f) { f.SetFat(f.Chain(f.Start(f.Find(L"Big")))[2], f.Get32(76)); }},
        {"directory chain loops", false,
         [](Layout& f) {
             const auto chain = f.Chain(f.Get32(48));
             f.SetFat(chain.back(), chain.front());
         }},
        {"mini table chain loops", false,
         [](Layout& f) { f.SetFat(f.Get32(60), f.Get32(60)); }},
        {"mini stream container loops", false,
         [](Layout& f) { f.SetFat(f.Start(0), f.Start(0)); }},
        {"mini stream container shorter than its size", false,
         [](Layout& f) { f.Put32(f.EntryAt(0) + 120, f.Get32(f.EntryAt(0) + 120) + 4096); }},
        // Mini chains.
        {"mini chain points to itself", false,
         [](Layout& f) {
             const uint32_t m = f.Start(f.Find(L"Beta"));
             f.Put32(f.MiniFatAt(m), m);
         }},
        {"mini chain points back", false,
         [](Layout& f) {
             const uint32_t m = f.Start(f.Find(L"Beta"));
             f.Put32(f.MiniFatAt(f.MiniFat(f.MiniFat(m))), m);
         }},
        {"two mini streams share a mini sector", false,
         [](Layout& f) { f.Put32(f.EntryAt(f.Find(L"Gamma")) + 116, f.Start(f.Find(L"Alpha"))); }},
        {"mini stream beyond its container", false,
         [](Layout& f) { f.Put32(f.EntryAt(f.Find(L"Alpha")) + 116, f.Get32(f.EntryAt(0) + 120) / 64 + 2); }},
        // Index (DIFAT) chain.
        {"index chain loops", true,
         [](Layout& f) {
             f.Put32(72, f.Get32(72) + 1);
             f.Put32(44, f.Get32(44) + f.PerSector() - 1);
             f.Put32(f.SectorAt(f.Get32(68)) + 4 * (f.PerSector() - 1), f.Get32(68));
         }},
        {"index sector count", true, [](Layout& f) { f.Put32(72, f.Get32(72) + 1); }},
        {"index sector out of range", true, [](Layout& f) { f.Put32(68, 0x00FFFFFF); }},
        {"index entry names a stream sector", true,
         [](Layout& f) { f.Put32(f.SectorAt(f.Get32(68)), f.Start(f.Find(L"Big"))); }},
        // Directory tree.
        {"left link to itself", false,
         [](Layout& f) {
             const auto [id, to] = f.AnyLink(kLeft);
             (void)to;
             f.SetLink(id, kLeft, id);
         }},
        {"right link to itself", false,
         [](Layout& f) {
             const auto [id, to] = f.AnyLink(kRight);
             (void)to;
             f.SetLink(id, kRight, id);
         }},
        {"right link back to its parent", false,
         [](Layout& f) {
             const auto [id, to] = f.AnyLink(kRight);
             f.SetLink(to, kRight, id);
         }},
        {"child link to the root", false,
         [](Layout& f) { f.SetLink(f.Find(L"Sub"), kChild, 0); }},
        {"child link to its own storage", false,
         [](Layout& f) {
             const uint32_t sub = f.Find(L"Sub");
             f.SetLink(f.Link(sub, kChild), kLeft, sub);
         }},
        {"entry reached twice", false,
         [](Layout& f) { f.SetLink(f.Find(L"Big"), kChild, f.Find(L"Gamma")); }},
        {"stream with a child", false,
         [](Layout& f) { f.SetLink(f.Find(L"Alpha"), kChild, f.Find(L"Empty")); }},
        {"link out of range", false, [](Layout& f) { f.SetLink(f.Find(L"Sub"), kChild, 5000); }},
        {"root with a sibling", false, [](Layout& f) { f.SetLink(0, kLeft, f.Find(L"Alpha")); }},
        {"root entry is not a root", false, [](Layout& f) { f.b[f.EntryAt(0) + 66] = 1; }},
        {"second root entry", false, [](Layout& f) { f.b[f.EntryAt(f.Find(L"Alpha")) + 66] = 5; }},
        {"unknown object type", false, [](Layout& f) { f.b[f.EntryAt(f.Find(L"Alpha")) + 66] = 3; }},
        {"unused entry in the tree", false, [](Layout& f) { f.b[f.EntryAt(f.Find(L"Beta")) + 66] = 0; }},
        {"name length 66", false, [](Layout& f) { f.Put16(f.EntryAt(f.Find(L"Alpha")) + 64, 66); }},
        {"odd name length", false, [](Layout& f) { f.Put16(f.EntryAt(f.Find(L"Alpha")) + 64, 7); }},
        {"name without its terminator", false,
         [](Layout& f) {
             const size_t at = f.EntryAt(f.Find(L"Alpha"));
             f.Put16(at + 10, 'x'); // "Alpha" ends at byte 10
         }},
        // Sizes.
        {"stream size beyond the file", false,
         [](Layout& f) { f.Put32(f.EntryAt(f.Find(L"Big")) + 120, 0x7FFFFFF0); }},
        {"mini stream size beyond its chain", false,
         [](Layout& f) { f.Put32(f.EntryAt(f.Find(L"Alpha")) + 120, 4000); }},
        {"high size word on version 3", false, [](Layout& f) { f.Put32(f.EntryAt(f.Find(L"Alpha")) + 124, 1); }},
        {"empty stream with a looping chain", false,
         [](Layout& f) {
             const uint32_t alpha = f.Start(f.Find(L"Alpha"));
             f.Put32(f.EntryAt(f.Find(L"Empty")) + 116, alpha);
         }},
    };
    return all;
}

TEST(CompoundFileCheck, RefusesEveryHandMadeDamage)
{
    for (const Damage& d : Damages()) {
        Layout f{d.huge ? Huge() : Small()};
        d.apply(f);
        ASSERT_NE(f.b, d.huge ? Huge() : Small()) << d.name << " changed nothing";
        EXPECT_EQ(Check(f.b), STG_E_DOCFILECORRUPT) << d.name;
    }
}

TEST(CompoundFileCheck, FreeTailSectorsAndUnusedEntriesAreNoDamage)
{
    // What a reader never follows may be anything.
    Layout f{Small()};
    f.b.insert(f.b.end(), 1000, 0xAB);
    EXPECT_EQ(Check(f.b), S_OK);
    EXPECT_EQ(Check(std::vector<unsigned char>()), STG_E_DOCFILECORRUPT);
    EXPECT_EQ(CheckCompoundFileBytes(nullptr, 0), STG_E_DOCFILECORRUPT);
    EXPECT_EQ(CheckCompoundFileAt(L"Z:\\no\\such\\file.pvd"), S_FALSE);
}

// ---------------------------------------------------------------------------------------
// Files the document writes, and the open paths

class CompoundFileOpen : public FileTest {
protected:
    void TearDown() override
    {
        FileTest::TearDown();
        if (m_live == 0) {
            EXPECT_EQ(PlenvortDllCanUnloadNow(), S_OK);
        }
    }
    // Saves a document with a small tree and the given texts ("" for one left unset).
    std::string Save(const char* stem, bool tree, const char* name, const char* desc, const char* dir)
    {
        IAPDocument6* doc = NewDocument();
        if (tree) {
            IAPNode* a = NewNode(doc, CLSID_APAssemblyNode, "A");
            IAPNode* p = NewNode(doc, CLSID_APPartNode, std::string(3000, 'p').c_str());
            EXPECT_EQ(doc->AddChild(a, p), S_OK);
            a->Release();
            p->Release();
        }
        const bool none = !*name && !*desc && !*dir;
        if (*name || none) { // a save needs one
            EXPECT_EQ(doc->SetProcessName(Text(none ? "gone" : name)), S_OK);
        }
        if (*desc) {
            EXPECT_EQ(doc->SetProcessDescription(Text(desc)), S_OK);
        }
        if (*dir) {
            EXPECT_EQ(doc->SetAssemblyDirectory(Text(dir)), S_OK);
        }
        const std::string path = File(stem);
        EXPECT_EQ(doc->Save(Text(path.c_str())), S_OK);
        doc->Release();
        if (none) {
            EXPECT_TRUE(PutFileStream(path, L"Process Name", {}, true));
        }
        return path;
    }
};

TEST_F(CompoundFileOpen, EveryFileTheDocumentSavesPasses)
{
    const std::string longText(5000, 'd');
    int saved = 0;
    for (bool tree : {false, true})
        for (int texts = 0; texts < 8; ++texts) {
            const std::string path = Save("saved", tree, texts & 1 ? "name" : "", texts & 2 ? longText.c_str() : "",
                                          texts & 4 ? "C:\\dir" : "");
            EXPECT_EQ(CheckCompoundFileAt(Wide(path).c_str()), S_OK) << "tree " << tree << " texts " << texts;
            // Streams taken away or rewritten in place afterwards.
            ASSERT_TRUE(PutFileStream(path, L"Process Document Version", {0, 0, 0, 0x40}));
            if (texts & 2) {
                ASSERT_TRUE(PutFileStream(path, L"Process Description", {}, true));
            }
            if (texts & 1) {
                ASSERT_TRUE(PutFileStream(path, L"Process Name", std::vector<unsigned char>(6000, 1)));
            }
            EXPECT_EQ(CheckCompoundFileAt(Wide(path).c_str()), S_OK) << "rewritten: tree " << tree << " texts " << texts;
            ++saved;
        }
    EXPECT_EQ(saved, 16);
}

TEST_F(CompoundFileOpen, ARefusedFileIsRefusedAlikeByPathAndByMoniker)
{
    const std::string good = Save("good", true, "n", "d", "x");
    const std::vector<unsigned char> bytes = FileBytes(good);
    const std::string path = File("damaged");
    IORVDataMoniker* moniker = nullptr;
    ASSERT_EQ(MkCreateMoniker(path.c_str(), &moniker), S_OK);
    auto put = [&](const std::vector<unsigned char>& b) {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        const bool ok = h != INVALID_HANDLE_VALUE && WriteFile(h, b.data(), static_cast<DWORD>(b.size()), &written, nullptr);
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        return ok;
    };

    std::vector<std::vector<unsigned char>> variants;
    for (size_t cut = 0; cut < bytes.size(); cut += 128) variants.emplace_back(bytes.begin(), bytes.begin() + static_cast<long>(cut));
    variants.emplace_back(bytes.begin(), bytes.end() - 506); // cut inside the last sector
    Layout loop{bytes};
    const uint32_t element = loop.Start(loop.Find(L"Element Stream"));
    if (loop.Get32(loop.EntryAt(loop.Find(L"Element Stream")) + 120) >= 4096) loop.SetFat(element, element);
    else loop.Put32(loop.MiniFatAt(element), element);
    variants.push_back(loop.b);

    const LONG live = LiveObjects();
    int refused = 0;
    for (const auto& v : variants) {
        IAPDocument6* byPath = NewDocument();
        IAPDocument6* byMoniker = NewDocument();
        IAPNode* keptA = NewNode(byPath, CLSID_APPartNode, "kept");
        IAPNode* keptB = NewNode(byMoniker, CLSID_APPartNode, "kept");
        ASSERT_TRUE(put(v));
        const bool structural = Check(v) == STG_E_DOCFILECORRUPT;
        const HRESULT hrPath = byPath->OpenDocument(Text(path.c_str()));
        const HRESULT hrMoniker = byMoniker->OpenDocumentByMoniker(moniker);
        EXPECT_EQ(hrPath, hrMoniker) << "cut at " << v.size();
        if (structural) {
            ++refused;
            EXPECT_EQ(hrPath, STG_E_DOCFILECORRUPT) << v.size();
            EXPECT_EQ(RootNames(byPath), std::vector<std::string>{"kept"});
            EXPECT_EQ(RootNames(byMoniker), std::vector<std::string>{"kept"});
            IORVDataMoniker* held = nullptr;
            EXPECT_EQ(byMoniker->GetPdoDataMoniker(&held), S_OK);
            EXPECT_EQ(held, nullptr) << "a refused open took the moniker";
            if (held) held->Release();
        }
        keptA->Release();
        keptB->Release();
        byPath->Release();
        byMoniker->Release();
    }
    EXPECT_GT(refused, static_cast<int>(variants.size()) / 2);
    moniker->Release();
    EXPECT_EQ(LiveObjects(), live);
}

} // namespace
