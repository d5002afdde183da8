#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/moniker/MkMoniker.h"

namespace {

// Every test must leave no moniker or service object behind.
class Moniker : public ::testing::Test {
protected:
    void SetUp() override { m_live = MkLiveObjectCount(); }
    void TearDown() override
    {
        MkSetFetchFailureForTesting(false);
        EXPECT_EQ(MkLiveObjectCount(), m_live);
    }

    static IORVDataMoniker* Create(const char* path)
    {
        IORVDataMoniker* m = nullptr;
        EXPECT_EQ(MkCreateMoniker(path, &m), S_OK);
        return m;
    }

    static std::vector<unsigned char> Saved(IORVDataMoniker* m)
    {
        unsigned long size = 0;
        EXPECT_EQ(MkGetSizeMax(m, &size), S_OK);
        std::vector<unsigned char> bytes(size);
        EXPECT_EQ(MkSave(m, bytes.data(), 1, size), S_OK);
        return bytes;
    }

    static std::string TempFile()
    {
        char dir[MAX_PATH], file[MAX_PATH];
        GetTempPathA(MAX_PATH, dir);
        GetTempFileNameA(dir, "mk", 0, file); // creates the file
        return file;
    }

private:
    long m_live = 0;
};

using FetchFn = HRESULT(STDMETHODCALLTYPE*)(IVELKClient*, IORVDataMoniker*, int, int);

// Calls the service the way the document does: the thirteenth slot of its table.
HRESULT FetchThroughSlot13(IVELKClient* service, IORVDataMoniker* m)
{
    void** table = *reinterpret_cast<void***>(service);
    return reinterpret_cast<FetchFn>(table[12])(service, m, 1, 1);
}

} // namespace

TEST_F(Moniker, SaveAndLoadGiveAnEqualMoniker)
{
    IORVDataMoniker* m = Create("C:\\Projects\\Door Assembly\\door.apd");
    const std::vector<unsigned char> bytes = Saved(m);
    ASSERT_EQ(bytes.size(), 12u + std::strlen("C:\\Projects\\Door Assembly\\door.apd"));

    IORVDataMoniker* back = nullptr;
    ASSERT_EQ(MkLoad(bytes.data(), static_cast<unsigned long>(bytes.size()), &back), S_OK);
    ASSERT_NE(back, nullptr);
    EXPECT_NE(back, m);
    EXPECT_EQ(m->IsEqual(back), S_OK);
    EXPECT_EQ(back->IsEqual(m), S_OK);
    EXPECT_TRUE(MkGetPath(back) == MkGetPath(m));
    EXPECT_STREQ(MkGetPath(back), "C:\\Projects\\Door Assembly\\door.apd");
    DWORD h1 = 0, h2 = 1;
    ASSERT_EQ(m->Hash(&h1), S_OK);
    ASSERT_EQ(back->Hash(&h2), S_OK);
    EXPECT_EQ(h1, h2);

    // The IPersistStream form is the same saved form.
    IStream* stream = nullptr;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
    ASSERT_EQ(m->Save(stream, TRUE), S_OK);
    LARGE_INTEGER zero = {};
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    IORVDataMoniker* third = nullptr;
    ASSERT_EQ(MkCreateMoniker("x", &third), S_OK);
    ASSERT_EQ(third->Load(stream), S_OK);
    EXPECT_EQ(third->IsEqual(m), S_OK);
    stream->Release();

    EXPECT_EQ(third->Release(), 0u);
    EXPECT_EQ(back->Release(), 0u);
    EXPECT_EQ(m->Release(), 0u);
}

TEST_F(Moniker, ComIdentityAndPlainMonikerMethods)
{
    IORVDataMoniker* m = Create("C:\\a\\Part.apd");
    IMoniker* asMoniker = nullptr;
    IPersistStream* asPersist = nullptr;
    ASSERT_EQ(m->QueryInterface(IID_IMoniker, reinterpret_cast<void**>(&asMoniker)), S_OK);
    ASSERT_EQ(m->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&asPersist)), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(asMoniker), static_cast<IUnknown*>(m));
    EXPECT_EQ(m->AddRef(), 4u);
    EXPECT_EQ(m->Release(), 3u);
    asPersist->Release();
    asMoniker->Release();
    void* none = m;
    EXPECT_EQ(m->QueryInterface(IID_IStream, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);

    CLSID clsid;
    ASSERT_EQ(m->GetClassID(&clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_MkDataMoniker));
    LPOLESTR name = nullptr;
    ASSERT_EQ(m->GetDisplayName(nullptr, nullptr, &name), S_OK);
    EXPECT_STREQ(name, L"C:\\a\\Part.apd");
    CoTaskMemFree(name);

    // File names compare without regard to case.
    IORVDataMoniker* same = Create("c:\\A\\part.APD");
    IORVDataMoniker* other = Create("C:\\a\\Part2.apd");
    EXPECT_EQ(m->IsEqual(same), S_OK);
    DWORD h1 = 0, h2 = 1;
    m->Hash(&h1);
    same->Hash(&h2);
    EXPECT_EQ(h1, h2);
    EXPECT_EQ(m->IsEqual(other), S_FALSE);
    EXPECT_EQ(m->IsEqual(nullptr), S_FALSE);

    IMoniker* composed = reinterpret_cast<IMoniker*>(m);
    EXPECT_EQ(m->ComposeWith(other, FALSE, &composed), E_NOTIMPL);
    EXPECT_EQ(composed, nullptr);
    void* bound = m;
    EXPECT_EQ(m->BindToObject(nullptr, nullptr, IID_IUnknown, &bound), E_NOTIMPL);
    EXPECT_EQ(bound, nullptr);

    other->Release();
    same->Release();
    EXPECT_EQ(m->Release(), 0u);
}

TEST_F(Moniker, DamagedSavedFormsAreRefused)
{
    IORVDataMoniker* m = Create("C:\\doc.apd");
    const std::vector<unsigned char> good = Saved(m);
    m->Release();

    auto refused = [](std::vector<unsigned char> bytes, unsigned long size) {
        IORVDataMoniker* out = reinterpret_cast<IORVDataMoniker*>(&bytes);
        const HRESULT hr = MkLoad(bytes.data(), size, &out);
        EXPECT_EQ(out, nullptr);
        return FAILED(hr);
    };
    const auto n = static_cast<unsigned long>(good.size());
    EXPECT_TRUE(refused(good, n - 1));   // short
    EXPECT_TRUE(refused(good, 11));      // not even a header
    EXPECT_TRUE(refused(good, 0));
    std::vector<unsigned char> longer = good;
    longer.push_back('x');
    EXPECT_TRUE(refused(longer, n + 1)); // length does not match the size
    std::vector<unsigned char> bad = good;
    bad[0] = 'X';
    EXPECT_TRUE(refused(bad, n)); // magic
    bad = good;
    bad[4] = 2;
    EXPECT_TRUE(refused(bad, n)); // format
    bad = good;
    bad[11] = 0x80;
    EXPECT_TRUE(refused(bad, n)); // huge length
    bad = good;
    bad[13] = '\0';
    EXPECT_TRUE(refused(bad, n)); // a zero inside the path
    const unsigned char empty[12] = {'P', 'V', 'M', 'K', 1, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_TRUE(refused(std::vector<unsigned char>(empty, empty + 12), 12)); // no path

    IORVDataMoniker* out = nullptr;
    EXPECT_TRUE(FAILED(MkLoad(nullptr, 10, &out)));
    EXPECT_TRUE(FAILED(MkLoad(good.data(), n, nullptr)));

    // A stream holding a damaged form leaves the moniker as it was.
    IStream* stream = nullptr;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
    stream->Write(good.data(), n - 2, nullptr);
    LARGE_INTEGER zero = {};
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    IORVDataMoniker* target = Create("C:\\kept.apd");
    EXPECT_TRUE(FAILED(target->Load(stream)));
    EXPECT_STREQ(MkGetPath(target), "C:\\kept.apd");
    target->Release();
    stream->Release();
}

TEST_F(Moniker, NullAndBadArguments)
{
    unsigned long size = 77;
    EXPECT_TRUE(FAILED(MkGetSizeMax(nullptr, &size)));
    EXPECT_EQ(size, 0u);
    unsigned char buffer[64];
    EXPECT_TRUE(FAILED(MkSave(nullptr, buffer, 1, sizeof buffer)));
    EXPECT_TRUE(MkGetPath(nullptr).IsEmpty());
    EXPECT_TRUE(MkGetLocalCopyPath(nullptr).IsEmpty());
    int type = 5;
    EXPECT_TRUE(MkGetFilename(nullptr, 1, &type).IsEmpty());
    EXPECT_EQ(type, MK_SOURCE_NONE);
    void* service = buffer;
    EXPECT_TRUE(FAILED(MkGetService(nullptr, IID_IVELKClient, &service, nullptr)));
    EXPECT_EQ(service, nullptr);
    EXPECT_TRUE(MkGetServiceErrorMessage(nullptr).IsEmpty());

    IORVDataMoniker* m = reinterpret_cast<IORVDataMoniker*>(buffer);
    EXPECT_TRUE(FAILED(MkCreateMoniker(nullptr, &m)));
    EXPECT_EQ(m, nullptr);
    EXPECT_TRUE(FAILED(MkCreateMoniker("", &m)));
    EXPECT_TRUE(FAILED(MkCreateMoniker("C:\\x", nullptr)));

    m = Create("C:\\x\\y.apd");
    EXPECT_TRUE(FAILED(MkGetSizeMax(m, nullptr)));
    EXPECT_TRUE(FAILED(MkSave(m, nullptr, 1, 100)));
    std::memset(buffer, 0xcd, sizeof buffer);
    EXPECT_TRUE(FAILED(MkSave(m, buffer, 1, 10))); // too small: nothing written
    EXPECT_EQ(buffer[0], 0xcd);
    EXPECT_STREQ(MkGetFilename(m, 1, nullptr), "y.apd");
    m->Release();
}

TEST_F(Moniker, LocalCopyPathExistsOnlyForAnExistingFile)
{
    const std::string path = TempFile();
    IORVDataMoniker* m = Create(path.c_str());
    EXPECT_STREQ(MkGetLocalCopyPath(m), path.c_str());
    int type = 0;
    const CORVString name = MkGetFilename(m, 1, &type);
    EXPECT_EQ(type, MK_SOURCE_LOCAL_FILE);
    EXPECT_EQ(path.substr(path.size() - static_cast<size_t>(name.GetLength())), name.GetString());
    EXPECT_EQ(path.find_last_of('\\') + 1 + name.GetLength(), path.size());

    ASSERT_TRUE(DeleteFileA(path.c_str()));
    EXPECT_TRUE(MkGetLocalCopyPath(m).IsEmpty());
    EXPECT_STREQ(MkGetPath(m), path.c_str()); // still names it

    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    IORVDataMoniker* folder = Create(dir);
    EXPECT_TRUE(MkGetLocalCopyPath(folder).IsEmpty()); // a folder is no document
    folder->Release();
    m->Release();
}

TEST_F(Moniker, ServiceFetchesOrReportsWhyNot)
{
    const std::string path = TempFile();
    IORVDataMoniker* m = Create(path.c_str());

    IVELKClient* service = nullptr;
    ASSERT_EQ(MkGetService(m, IID_IVELKClient, reinterpret_cast<void**>(&service), nullptr), S_OK);
    ASSERT_NE(service, nullptr);
    EXPECT_EQ(FetchThroughSlot13(service, m), S_OK);
    EXPECT_TRUE(MkGetServiceErrorMessage(service).IsEmpty());

    MkSetFetchFailureForTesting(true);
    EXPECT_LT(FetchThroughSlot13(service, m), 0);
    const CORVString why = MkGetServiceErrorMessage(service);
    EXPECT_FALSE(why.IsEmpty());
    EXPECT_NE(std::string(why).find(path), std::string::npos);
    MkSetFetchFailureForTesting(false);

    EXPECT_LT(service->FetchLocalCopy(nullptr, 1, 1), 0);
    ASSERT_TRUE(DeleteFileA(path.c_str()));
    EXPECT_LT(service->FetchLocalCopy(m, 1, 1), 0); // nothing to fetch from
    EXPECT_FALSE(MkGetServiceErrorMessage(service).IsEmpty());
    char small[4];
    ULONG needed = 0;
    EXPECT_EQ(service->GetLastErrorText(small, sizeof small, &needed), S_FALSE);
    EXPECT_EQ(std::strlen(small), 3u);
    EXPECT_EQ(needed, static_cast<ULONG>(std::strlen(MkGetServiceErrorMessage(service)) + 1));

    void* wrong = m;
    EXPECT_EQ(MkGetService(m, IID_IMoniker, &wrong, nullptr), E_NOINTERFACE);
    EXPECT_EQ(wrong, nullptr);

    EXPECT_EQ(service->Release(), 0u);
    EXPECT_EQ(m->Release(), 0u);
}
