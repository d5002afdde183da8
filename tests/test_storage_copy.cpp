// A compound file copied in large pieces: the same tree of storages and streams, the same
// bytes, the same class, whatever the sizes.
#include <gtest/gtest.h>
#include <objbase.h>

#include <map>
#include <string>
#include <vector>

#include "document/StorageCopy.h"

namespace {

constexpr DWORD kNew = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kChild = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
const CLSID kSomeClass = {0x12345678, 0x9abc, 0xdef0, {1, 2, 3, 4, 5, 6, 7, 8}};

IStorage* NewStorage()
{
    IStorage* s = nullptr;
    EXPECT_EQ(StgCreateDocfile(nullptr, STGM_DELETEONRELEASE | kNew, 0, &s), S_OK);
    return s;
}

std::vector<unsigned char> Pattern(size_t n, unsigned seed)
{
    std::vector<unsigned char> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<unsigned char>((i * 2654435761u + seed) >> 13);
    return v;
}

void PutStream(IStorage* storage, const wchar_t* name, const std::vector<unsigned char>& bytes)
{
    IStream* s = nullptr;
    ASSERT_EQ(storage->CreateStream(name, kNew, 0, 0, &s), S_OK);
    ULONG written = 0;
    if (!bytes.empty()) {
        EXPECT_EQ(s->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written), S_OK);
    }
    s->Release();
}

// Everything under a storage as path -> contents ("<storage {class}>" for storages).
void Flatten(IStorage* storage, const std::wstring& prefix, std::map<std::wstring, std::vector<unsigned char>>* out)
{
    STATSTG self{};
    ASSERT_EQ(storage->Stat(&self, STATFLAG_NONAME), S_OK);
    wchar_t clsid[64];
    StringFromGUID2(self.clsid, clsid, 64);
    const std::wstring tag = L"<storage " + std::wstring(clsid) + L">";
    (*out)[prefix] = std::vector<unsigned char>(reinterpret_cast<const unsigned char*>(tag.c_str()),
                                                reinterpret_cast<const unsigned char*>(tag.c_str() + tag.size()));
    IEnumSTATSTG* e = nullptr;
    ASSERT_EQ(storage->EnumElements(0, nullptr, 0, &e), S_OK);
    STATSTG st{};
    ULONG n = 0;
    while (e->Next(1, &st, &n) == S_OK && n == 1) {
        const std::wstring path = prefix + L"/" + st.pwcsName;
        if (st.type == STGTY_STREAM) {
            IStream* s = nullptr;
            EXPECT_EQ(storage->OpenStream(st.pwcsName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &s), S_OK);
            std::vector<unsigned char> bytes(static_cast<size_t>(st.cbSize.QuadPart));
            ULONG got = 0;
            if (!bytes.empty()) {
                EXPECT_EQ(s->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &got), S_OK);
            }
            EXPECT_EQ(got, bytes.size());
            (*out)[path] = bytes;
            s->Release();
        } else if (st.type == STGTY_STORAGE) {
            IStorage* sub = nullptr;
            EXPECT_EQ(storage->OpenStorage(st.pwcsName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &sub), S_OK);
            if (sub) {
                Flatten(sub, path, out);
                sub->Release();
            }
        }
        CoTaskMemFree(st.pwcsName);
    }
    e->Release();
}

} // namespace

TEST(StorageCopy, EveryStorageAndStreamArrivesWithItsBytes)
{
    IStorage* from = NewStorage();
    ASSERT_NE(from, nullptr);
    ASSERT_EQ(from->SetClass(kSomeClass), S_OK);
    PutStream(from, L"Empty", {});
    PutStream(from, L"Small", Pattern(5, 1));
    PutStream(from, L"Element Stream", Pattern(2 * 1024 * 1024 + 12345, 2)); // more than one piece
    IStorage* sub = nullptr;
    ASSERT_EQ(from->CreateStorage(L"Sub", kChild, 0, 0, &sub), S_OK);
    ASSERT_EQ(sub->SetClass(kSomeClass), S_OK);
    PutStream(sub, L"Inner", Pattern(70000, 3));
    IStorage* deeper = nullptr;
    ASSERT_EQ(sub->CreateStorage(L"Deeper", kChild, 0, 0, &deeper), S_OK);
    PutStream(deeper, L"Leaf", Pattern(4096, 4));
    deeper->Release();
    sub->Release();

    IStorage* to = NewStorage();
    ASSERT_NE(to, nullptr);
    ASSERT_EQ(CopyStorageContents(from, to), S_OK);
    std::map<std::wstring, std::vector<unsigned char>> a, b;
    ASSERT_NO_FATAL_FAILURE(Flatten(from, L"", &a));
    ASSERT_NO_FATAL_FAILURE(Flatten(to, L"", &b));
    EXPECT_EQ(a.size(), 8u);
    EXPECT_TRUE(a == b);

    // The platform's own copy gives the same result.
    IStorage* reference = NewStorage();
    ASSERT_EQ(from->CopyTo(0, nullptr, nullptr, reference), S_OK);
    std::map<std::wstring, std::vector<unsigned char>> c;
    ASSERT_NO_FATAL_FAILURE(Flatten(reference, L"", &c));
    EXPECT_TRUE(c == b);

    // A stream left out by name: at the top level only.
    for (const wchar_t* left : {L"Element Stream", L"Leaf"}) {
        IStorage* partial = NewStorage();
        ASSERT_EQ(CopyStorageContents(from, partial, left), S_OK);
        std::map<std::wstring, std::vector<unsigned char>> d, expected = a;
        if (left[0] == L'E') expected.erase(L"/Element Stream");
        ASSERT_NO_FATAL_FAILURE(Flatten(partial, L"", &d));
        EXPECT_TRUE(d == expected);
        partial->Release();
    }

    EXPECT_EQ(CopyStorageContents(nullptr, to), E_POINTER);
    EXPECT_EQ(CopyStorageContents(from, nullptr), E_POINTER);
    reference->Release();
    to->Release();
    from->Release();
}
