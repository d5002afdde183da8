#include "document/StorageCopy.h"

#include <cwchar>
#include <memory>
#include <new>

namespace {

constexpr DWORD kReadChild = STGM_READ | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kWriteChild = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr ULONG kPiece = 1024 * 1024;
constexpr int kMaxDepth = 64; // deeper than any file this library writes; a loop in a damaged file ends here

// Frees the name the enumerator allocated, whatever happens to the element.
struct NameHolder {
    LPOLESTR name = nullptr;
    ~NameHolder() { CoTaskMemFree(name); }
};

template <class T>
struct Held {
    T* p = nullptr;
    ~Held()
    {
        if (p) p->Release();
    }
};

HRESULT CopyStream(IStream* from, IStream* to, ULONGLONG size, unsigned char* piece)
{
    ULARGE_INTEGER all;
    all.QuadPart = size;
    // Sized once: the file does not grow piece by piece.
    HRESULT hr = to->SetSize(all);
    if (FAILED(hr)) return hr;
    for (ULONGLONG left = size; left > 0;) {
        const ULONG want = left < kPiece ? static_cast<ULONG>(left) : kPiece;
        ULONG got = 0, written = 0;
        hr = from->Read(piece, want, &got);
        if (FAILED(hr)) return hr;
        if (got != want) return STG_E_READFAULT;
        hr = to->Write(piece, got, &written);
        if (FAILED(hr)) return hr;
        if (written != got) return STG_E_WRITEFAULT;
        left -= got;
    }
    return S_OK;
}

HRESULT CopyLevel(IStorage* from, IStorage* to, unsigned char* piece, int depth, const wchar_t* exceptStream)
{
    if (depth > kMaxDepth) return STG_E_DOCFILECORRUPT;
    STATSTG self{};
    HRESULT hr = from->Stat(&self, STATFLAG_NONAME);
    if (FAILED(hr)) return hr;
    if (FAILED(hr = to->SetClass(self.clsid))) return hr;
    if (self.grfStateBits && FAILED(hr = to->SetStateBits(self.grfStateBits, 0xffffffffu))) return hr;

    Held<IEnumSTATSTG> entries;
    if (FAILED(hr = from->EnumElements(0, nullptr, 0, &entries.p))) return hr;
    for (;;) {
        STATSTG st{};
        ULONG fetched = 0;
        hr = entries.p->Next(1, &st, &fetched);
        if (FAILED(hr)) return hr;
        if (hr != S_OK || fetched != 1) break;
        NameHolder name{st.pwcsName};
        if (st.type == STGTY_STREAM) {
            if (exceptStream && !wcscmp(name.name, exceptStream)) continue;
            Held<IStream> source, target;
            if (FAILED(hr = from->OpenStream(name.name, nullptr, kReadChild, 0, &source.p))) return hr;
            if (FAILED(hr = to->CreateStream(name.name, STGM_CREATE | kWriteChild, 0, 0, &target.p))) return hr;
            if (FAILED(hr = CopyStream(source.p, target.p, st.cbSize.QuadPart, piece))) return hr;
        } else if (st.type == STGTY_STORAGE) {
            Held<IStorage> source, target;
            if (FAILED(hr = from->OpenStorage(name.name, nullptr, kReadChild, nullptr, 0, &source.p))) return hr;
            if (FAILED(to->OpenStorage(name.name, nullptr, kWriteChild, nullptr, 0, &target.p)) || !target.p) {
                target.p = nullptr;
                if (FAILED(hr = to->CreateStorage(name.name, kWriteChild, 0, 0, &target.p))) return hr;
            }
            if (FAILED(hr = CopyLevel(source.p, target.p, piece, depth + 1, nullptr))) return hr;
        }
    }
    return S_OK;
}

} // namespace

HRESULT CopyStorageContents(IStorage* from, IStorage* to, const wchar_t* exceptStream)
{
    if (!from || !to) return E_POINTER;
    std::unique_ptr<unsigned char[]> piece(new (std::nothrow) unsigned char[kPiece]);
    if (!piece) return E_OUTOFMEMORY;
    return CopyLevel(from, to, piece.get(), 0, exceptStream);
}
