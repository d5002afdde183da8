#include "platform/moniker/MkMoniker.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>

extern "C" const IID IID_IVELKClient = {0x97d7aa61, 0xb2a9, 0x11d5, {0x84, 0x93, 0x00, 0x01, 0x02, 0xd5, 0xa9, 0xc0}};
extern "C" const CLSID CLSID_MkDataMoniker = {0xd49bad44, 0xbd13, 0x47c3, {0x9c, 0x33, 0xcf, 0xcf, 0x2e, 0x3c, 0x3c, 0x1c}};

namespace {

// Answered only by our own moniker objects, so that a moniker pointer can be trusted.
const IID IID_MkDataMonikerObject = {0xc7753954, 0x04b8, 0x4c89, {0xaf, 0xad, 0x47, 0x6a, 0xd8, 0x2b, 0x72, 0x4c}};

const unsigned char kMagic[4] = {'P', 'V', 'M', 'K'};
const std::uint32_t kFormat = 1;
const std::uint32_t kHeaderSize = 12;
const std::uint32_t kMaxPath = 32767; // the longest path Windows knows

std::atomic<long> g_live{0};
std::atomic<bool> g_failFetch{false};

void Put32(unsigned char* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

std::uint32_t Get32(const unsigned char* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

std::string Lower(const std::string& s)
{
    std::string r(s);
    for (char& c : r)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return r;
}

bool IsExistingFile(const std::string& path)
{
    const DWORD attrs = GetFileAttributesA(path.c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY);
}

class DataMoniker final : public IORVDataMoniker {
public:
    explicit DataMoniker(std::string path) : m_path(std::move(path)) { ++g_live; }

    const std::string& Path() const { return m_path; }

    std::uint32_t SavedSize() const { return kHeaderSize + static_cast<std::uint32_t>(m_path.size()); }

    void SaveTo(unsigned char* out) const
    {
        std::memcpy(out, kMagic, 4);
        Put32(out + 4, kFormat);
        Put32(out + 8, static_cast<std::uint32_t>(m_path.size()));
        std::memcpy(out + kHeaderSize, m_path.data(), m_path.size());
    }

    // The path of a saved form, or false when the bytes are not one.
    static bool ParseSaved(const unsigned char* bytes, unsigned long size, std::string* path)
    {
        if (!bytes || size < kHeaderSize) return false;
        if (std::memcmp(bytes, kMagic, 4) != 0 || Get32(bytes + 4) != kFormat) return false;
        const std::uint32_t n = Get32(bytes + 8);
        if (n == 0 || n > kMaxPath || size - kHeaderSize != n) return false;
        const char* text = reinterpret_cast<const char*>(bytes + kHeaderSize);
        if (std::memchr(text, '\0', n)) return false;
        path->assign(text, n);
        return true;
    }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPersist) || IsEqualIID(iid, IID_IPersistStream) ||
            IsEqualIID(iid, IID_IMoniker) || IsEqualIID(iid, IID_IORVDataMoniker) || IsEqualIID(iid, IID_MkDataMonikerObject)) {
            *out = static_cast<IORVDataMoniker*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++m_refs); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const long left = --m_refs;
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    // IPersist, IPersistStream
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override
    {
        if (!clsid) return E_POINTER;
        *clsid = CLSID_MkDataMoniker;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsDirty() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE Load(IStream* stream) override
    {
        if (!stream) return E_POINTER;
        unsigned char header[kHeaderSize];
        ULONG got = 0;
        if (FAILED(stream->Read(header, kHeaderSize, &got)) || got != kHeaderSize) return E_FAIL;
        const std::uint32_t n = Get32(header + 8);
        if (n == 0 || n > kMaxPath) return E_FAIL;
        std::string bytes(reinterpret_cast<const char*>(header), kHeaderSize);
        bytes.resize(kHeaderSize + n);
        if (FAILED(stream->Read(&bytes[kHeaderSize], n, &got)) || got != n) return E_FAIL;
        std::string path;
        if (!ParseSaved(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<unsigned long>(bytes.size()), &path)) return E_FAIL;
        m_path = std::move(path);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Save(IStream* stream, BOOL) override
    {
        if (!stream) return E_POINTER;
        std::string bytes(SavedSize(), '\0');
        SaveTo(reinterpret_cast<unsigned char*>(&bytes[0]));
        ULONG written = 0;
        const HRESULT hr = stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
        if (FAILED(hr)) return hr;
        return written == bytes.size() ? S_OK : STG_E_MEDIUMFULL;
    }
    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size) override
    {
        if (!size) return E_POINTER;
        size->QuadPart = SavedSize();
        return S_OK;
    }

    // IMoniker: a data moniker only names; binding and composition are not offered.
    HRESULT STDMETHODCALLTYPE BindToObject(IBindCtx*, IMoniker*, REFIID, void** out) override { return Clear(out); }
    HRESULT STDMETHODCALLTYPE BindToStorage(IBindCtx*, IMoniker*, REFIID, void** out) override { return Clear(out); }
    HRESULT STDMETHODCALLTYPE Reduce(IBindCtx*, DWORD, IMoniker**, IMoniker** out) override { return Clear(out); }
    HRESULT STDMETHODCALLTYPE ComposeWith(IMoniker*, BOOL, IMoniker** out) override { return Clear(out); }
    HRESULT STDMETHODCALLTYPE Enum(BOOL, IEnumMoniker** out) override { return Clear(out); }
    HRESULT STDMETHODCALLTYPE IsRunning(IBindCtx*, IMoniker*, IMoniker*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTimeOfLastChange(IBindCtx*, IMoniker*, FILETIME*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Inverse(IMoniker** out) override { return Clear(out); }
    HRESULT STDMETHODCALLTYPE CommonPrefixWith(IMoniker*, IMoniker** out) override { return Clear(out); }
    HRESULT STDMETHODCALLTYPE RelativePathTo(IMoniker*, IMoniker** out) override { return Clear(out); }
    HRESULT STDMETHODCALLTYPE ParseDisplayName(IBindCtx*, IMoniker*, LPOLESTR, ULONG* eaten, IMoniker** out) override
    {
        if (eaten) *eaten = 0;
        return Clear(out);
    }

    // Paths compare as Windows compares file names: without regard to ASCII case.
    HRESULT STDMETHODCALLTYPE IsEqual(IMoniker* other) override;
    HRESULT STDMETHODCALLTYPE Hash(DWORD* hash) override
    {
        if (!hash) return E_POINTER;
        DWORD h = 2166136261u; // FNV-1a
        for (unsigned char c : Lower(m_path)) h = (h ^ c) * 16777619u;
        *hash = h;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDisplayName(IBindCtx*, IMoniker*, LPOLESTR* name) override
    {
        if (!name) return E_POINTER;
        *name = nullptr;
        const int n = MultiByteToWideChar(CP_ACP, 0, m_path.c_str(), -1, nullptr, 0);
        if (n <= 0) return E_FAIL;
        auto* text = static_cast<LPOLESTR>(CoTaskMemAlloc(sizeof(OLECHAR) * static_cast<size_t>(n)));
        if (!text) return E_OUTOFMEMORY;
        MultiByteToWideChar(CP_ACP, 0, m_path.c_str(), -1, text, n);
        *name = text;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsSystemMoniker(DWORD* kind) override
    {
        if (!kind) return E_POINTER;
        *kind = MKSYS_NONE;
        return S_FALSE;
    }

private:
    ~DataMoniker() { --g_live; }

    template <class T>
    static HRESULT Clear(T** out)
    {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }

    std::atomic<long> m_refs{1};
    std::string m_path;
};

// Our moniker object behind an interface pointer, with a reference; null for anything else.
DataMoniker* Own(IUnknown* unknown)
{
    if (!unknown) return nullptr;
    void* p = nullptr;
    if (FAILED(unknown->QueryInterface(IID_MkDataMonikerObject, &p)) || !p) return nullptr;
    return static_cast<DataMoniker*>(static_cast<IORVDataMoniker*>(p));
}

HRESULT STDMETHODCALLTYPE DataMoniker::IsEqual(IMoniker* other)
{
    DataMoniker* m = Own(other);
    if (!m) return S_FALSE;
    const bool same = Lower(m->m_path) == Lower(m_path);
    m->Release();
    return same ? S_OK : S_FALSE;
}

std::string PathOf(IORVDataMoniker* moniker)
{
    DataMoniker* m = Own(moniker);
    if (!m) return std::string();
    std::string path = m->Path();
    m->Release();
    return path;
}

class DataService final : public IVELKClient {
public:
    DataService() { ++g_live; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IVELKClient)) {
            *out = static_cast<IVELKClient*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++m_refs); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const long left = --m_refs;
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE GetLastErrorText(char* buffer, ULONG size, ULONG* needed) override
    {
        if (needed) *needed = static_cast<ULONG>(m_error.size() + 1);
        if (!buffer || size == 0) return needed ? S_OK : E_POINTER;
        const size_t n = m_error.size() < size - 1 ? m_error.size() : size - 1;
        std::memcpy(buffer, m_error.data(), n);
        buffer[n] = '\0';
        return n == m_error.size() ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE ClearError() override
    {
        m_error.clear();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Reserved5() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved6() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved7() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved8() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved9() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved10() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved11() override { return E_NOTIMPL; }

    // Monikers name local files, so the copy is at hand exactly when the file exists.
    HRESULT STDMETHODCALLTYPE FetchLocalCopy(IORVDataMoniker* moniker, int, int) override
    {
        DataMoniker* m = Own(moniker);
        if (!m) {
            m_error = "No data moniker was given.";
            return E_POINTER;
        }
        const std::string path = m->Path();
        m->Release();
        if (g_failFetch) {
            m_error = "The document \"" + path + "\" could not be fetched.";
            return E_FAIL;
        }
        if (!IsExistingFile(path)) {
            m_error = "The document \"" + path + "\" does not exist.";
            return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        }
        m_error.clear();
        return S_OK;
    }

private:
    ~DataService() { --g_live; }

    std::atomic<long> m_refs{1};
    std::string m_error;
};

} // namespace

HRESULT MkCreateMoniker(const char* path, IORVDataMoniker** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!path) return E_POINTER;
    const size_t n = std::strlen(path);
    if (n == 0 || n > kMaxPath) return E_INVALIDARG;
    *out = new (std::nothrow) DataMoniker(path);
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT MkGetSizeMax(IORVDataMoniker* moniker, unsigned long* size)
{
    if (!size) return E_POINTER;
    DataMoniker* m = Own(moniker);
    if (!m) {
        *size = 0;
        return E_INVALIDARG;
    }
    *size = m->SavedSize();
    m->Release();
    return S_OK;
}

HRESULT MkSave(IORVDataMoniker* moniker, unsigned char* buffer, int /*flag*/, unsigned long size)
{
    if (!buffer) return E_POINTER;
    DataMoniker* m = Own(moniker);
    if (!m) return E_INVALIDARG;
    HRESULT hr = E_INVALIDARG; // too small a buffer
    if (size >= m->SavedSize()) {
        m->SaveTo(buffer);
        hr = S_OK;
    }
    m->Release();
    return hr;
}

HRESULT MkLoad(const unsigned char* bytes, unsigned long size, IORVDataMoniker** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!bytes) return E_POINTER;
    std::string path;
    if (!DataMoniker::ParseSaved(bytes, size, &path)) return E_FAIL;
    *out = new (std::nothrow) DataMoniker(std::move(path));
    return *out ? S_OK : E_OUTOFMEMORY;
}

CORVString MkGetPath(IORVDataMoniker* moniker) { return CORVString(PathOf(moniker)); }

CORVString MkGetLocalCopyPath(IORVDataMoniker* moniker)
{
    std::string path = PathOf(moniker);
    if (path.empty() || !IsExistingFile(path)) return CORVString();
    return CORVString(std::move(path));
}

CORVString MkGetFilename(IORVDataMoniker* moniker, int /*flag*/, int* sourceType)
{
    const std::string path = PathOf(moniker);
    if (sourceType) *sourceType = path.empty() ? MK_SOURCE_NONE : MK_SOURCE_LOCAL_FILE;
    const size_t cut = path.find_last_of("\\/:");
    return CORVString(cut == std::string::npos ? path : path.substr(cut + 1));
}

HRESULT MkGetService(IORVDataMoniker* moniker, REFIID iid, void** out, void* /*reserved*/)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    DataMoniker* m = Own(moniker);
    if (!m) return E_INVALIDARG;
    m->Release();
    DataService* service = new (std::nothrow) DataService;
    if (!service) return E_OUTOFMEMORY;
    const HRESULT hr = service->QueryInterface(iid, out);
    service->Release();
    return hr;
}

CORVString MkGetServiceErrorMessage(IVELKClient* service)
{
    if (!service) return CORVString();
    ULONG needed = 0;
    if (FAILED(service->GetLastErrorText(nullptr, 0, &needed)) || needed <= 1) return CORVString();
    std::string text(needed, '\0');
    if (FAILED(service->GetLastErrorText(&text[0], needed, &needed))) return CORVString();
    text.resize(std::strlen(text.c_str()));
    return CORVString(std::move(text));
}

long MkLiveObjectCount() { return g_live.load(); }

void MkSetFetchFailureForTesting(bool fail) { g_failFetch = fail; }
