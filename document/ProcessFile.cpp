// The process document file: the compound file's text attributes and version, and open,
// save and export by file name or data moniker.
#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include "document/CAPDocument.h"
#include "document/CompoundFileCheck.h"
#include "document/ElementStream.h"
#include "document/ComRef.h"
#include "document/Guarded.h"
#include "document/StorageCopy.h"
#include "platform/moniker/MkMoniker.h"

namespace {

const wchar_t kVersionStream[] = L"Process Document Version";
const wchar_t kNameStream[] = L"Process Name";
const wchar_t kDescriptionStream[] = L"Process Description";
const wchar_t kDirectoryStream[] = L"Process Assembly Directory";

constexpr float kFileVersion = 2.0f;
constexpr float kOldestReadable = 2.0f;

// Temporary storages (the working storage, the copy of an opened file) vanish when released.
constexpr DWORD kTemporaryStorage = STGM_DELETEONRELEASE | STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE; // 0x04001012
constexpr DWORD kTargetFile = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;                             // 0x1012
constexpr DWORD kOpenedFile = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;                                          // 0x12
constexpr DWORD kWriteStream = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;                           // 0x1012
constexpr DWORD kReadStream = STGM_READ | STGM_SHARE_EXCLUSIVE;                                               // 0x10

constexpr int kMaxPathChars = 260;

CAPDocument::MessageBoxHook g_messageBox = nullptr;

bool Widen(const char* path, std::wstring* out)
{
    if (!path || !*path) return false;
    wchar_t buffer[kMaxPathChars + 1];
    const int n = MultiByteToWideChar(CP_ACP, 0, path, -1, buffer, kMaxPathChars + 1);
    if (n <= 1) return false;
    out->assign(buffer, static_cast<size_t>(n - 1));
    return true;
}

bool WriteAll(IStream* stream, const void* bytes, ULONG size)
{
    if (size == 0) return true;
    ULONG written = 0;
    return SUCCEEDED(stream->Write(bytes, size, &written)) && written == size;
}

bool ReadAll(IStream* stream, void* bytes, ULONG size)
{
    if (size == 0) return true;
    ULONG got = 0;
    return SUCCEEDED(stream->Read(bytes, size, &got)) && got == size;
}

// Bytes between the position and the end of the stream.
bool Remaining(IStream* stream, ULONGLONG* left)
{
    STATSTG st{};
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    ULARGE_INTEGER at;
    if (FAILED(stream->Stat(&st, STATFLAG_NONAME)) || FAILED(stream->Seek(zero, STREAM_SEEK_CUR, &at))) return false;
    *left = st.cbSize.QuadPart > at.QuadPart ? st.cbSize.QuadPart - at.QuadPart : 0;
    return true;
}

bool IsExistingFolder(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The folder part of a full path, without its trailing separator ("" when there is none).
std::wstring FolderOf(const std::wstring& full)
{
    const size_t cut = full.find_last_of(L"\\/");
    if (cut == std::wstring::npos) return std::wstring();
    return full.substr(0, cut == 0 || (cut == 2 && full[1] == L':') ? cut + 1 : cut);
}

} // namespace

void CAPDocument::SetMessageBoxForTesting(MessageBoxHook hook) { g_messageBox = hook; }

int CAPDocument::ShowMessageBox(const char* text, const char* caption, UINT flags)
{
    if (g_messageBox) return g_messageBox(text, caption, flags);
    return MessageBoxA(nullptr, text, caption, flags);
}

// ---------------------------------------------------------------------------------------
// Text attributes

HRESULT CAPDocument::EnsureWorkingStorage()
{
    if (m_workStorage) return S_OK;
    IStorage* storage = nullptr;
    HRESULT hr = StgCreateDocfile(nullptr, kTemporaryStorage, 0, &storage);
    if (FAILED(hr)) return hr;
    if (!storage) return E_FAIL;
    // The texts of the current document carry over, so that setting one of them does not
    // drop the other two from the next save.
    if (m_docStorage) {
        for (const wchar_t* name : {kNameStream, kDescriptionStream, kDirectoryStream}) {
            ComRef<IStream> from, to;
            if (FAILED(m_docStorage->OpenStream(name, nullptr, kReadStream, 0, from.Out()))) continue;
            if (FAILED(storage->CreateStream(name, kWriteStream, 0, 0, to.Out()))) continue;
            ULARGE_INTEGER all;
            all.QuadPart = ~0ull;
            from->CopyTo(to.Get(), all, nullptr, nullptr);
        }
    }
    m_workStorage = storage;
    return S_OK;
}

HRESULT CAPDocument::SetTextStream(const wchar_t* streamName, const unsigned char* text)
{
    if (!text) return E_FAIL;
    const size_t length = std::strlen(reinterpret_cast<const char*>(text));
    if (length > static_cast<size_t>(INT_MAX) - 4) return E_FAIL;
    HRESULT hr = EnsureWorkingStorage();
    if (FAILED(hr)) return hr;
    ComRef<IStream> stream;
    hr = m_workStorage->CreateStream(streamName, kWriteStream, 0, 0, stream.Out());
    if (FAILED(hr)) return hr;
    const unsigned char size[4] = {static_cast<unsigned char>(length), static_cast<unsigned char>(length >> 8),
                                   static_cast<unsigned char>(length >> 16), static_cast<unsigned char>(length >> 24)};
    if (!WriteAll(stream.Get(), size, 4) || !WriteAll(stream.Get(), text, static_cast<ULONG>(length))) return E_FAIL;
    return S_OK;
}

// Reads the length, and the characters into `buffer` when one is given (no zero is added).
HRESULT CAPDocument::GetTextStream(const wchar_t* streamName, unsigned char* buffer, int* size)
{
    if (!m_docStorage) return E_FAIL;
    if (!buffer && !size) return E_FAIL;
    ComRef<IStream> stream;
    HRESULT hr = m_docStorage->OpenStream(streamName, nullptr, kReadStream, 0, stream.Out());
    if (FAILED(hr)) return hr;
    unsigned char raw[4];
    if (!ReadAll(stream.Get(), raw, 4)) return E_FAIL;
    const int length = static_cast<int>(raw[0] | raw[1] << 8 | raw[2] << 16 | static_cast<unsigned>(raw[3]) << 24);
    ULONGLONG left = 0;
    // A damaged length never reaches the caller's buffer or size.
    if (length < 0 || !Remaining(stream.Get(), &left) || static_cast<ULONGLONG>(length) > left) return E_FAIL;
    if (buffer && !ReadAll(stream.Get(), buffer, static_cast<ULONG>(length))) return E_FAIL;
    if (size) *size = length;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAPDocument::SetProcessName(unsigned char* name)
{
    return Guarded([&] { return SetTextStream(kNameStream, name); });
}

HRESULT STDMETHODCALLTYPE CAPDocument::GetProcessName(unsigned char* name)
{
    return Guarded([&] { return name ? GetTextStream(kNameStream, name, nullptr) : E_FAIL; });
}

HRESULT STDMETHODCALLTYPE CAPDocument::GetProcessNameSize(int* size)
{
    return Guarded([&] { return size ? GetTextStream(kNameStream, nullptr, size) : E_FAIL; });
}

HRESULT STDMETHODCALLTYPE CAPDocument::SetProcessDescription(unsigned char* desc)
{
    return Guarded([&] { return SetTextStream(kDescriptionStream, desc); });
}

HRESULT STDMETHODCALLTYPE CAPDocument::GetProcessDescription(unsigned char* desc)
{
    return Guarded([&] { return desc ? GetTextStream(kDescriptionStream, desc, nullptr) : E_FAIL; });
}

HRESULT STDMETHODCALLTYPE CAPDocument::GetProcessDescriptionSize(int* size)
{
    return Guarded([&] { return size ? GetTextStream(kDescriptionStream, nullptr, size) : E_FAIL; });
}

HRESULT STDMETHODCALLTYPE CAPDocument::SetAssemblyDirectory(unsigned char* dir)
{
    return Guarded([&] { return SetTextStream(kDirectoryStream, dir); });
}

HRESULT STDMETHODCALLTYPE CAPDocument::GetAssemblyDirectory(unsigned char* dir)
{
    return Guarded([&] { return dir ? GetTextStream(kDirectoryStream, dir, nullptr) : E_FAIL; });
}

HRESULT STDMETHODCALLTYPE CAPDocument::GetAssemblyDirectorySize(int* size)
{
    return Guarded([&] { return size ? GetTextStream(kDirectoryStream, nullptr, size) : E_FAIL; });
}

// ---------------------------------------------------------------------------------------
// Writing files

HRESULT CAPDocument::WriteVersion(IStorage* storage)
{
    ComRef<IStream> stream;
    if (FAILED(storage->CreateStream(kVersionStream, kWriteStream, 0, 0, stream.Out()))) return E_FAIL;
    float version = kFileVersion;
    unsigned char raw[4];
    std::memcpy(raw, &version, 4); // little-endian IEEE single: 00 00 00 40
    return WriteAll(stream.Get(), raw, 4) ? S_OK : E_FAIL;
}

HRESULT CAPDocument::WriteFile(const std::string& path, IAPNode* exportNode)
{
    if (!m_workStorage) return E_FAIL;
    // A new document that nobody has built on yet is saved as its empty root.
    if (!exportNode && FAILED(EnsureRoot())) return E_FAIL;
    std::wstring target;
    if (!Widen(path.c_str(), &target)) return E_INVALIDARG;
    wchar_t full[MAX_PATH * 2];
    const DWORD n = GetFullPathNameW(target.c_str(), MAX_PATH * 2, full, nullptr);
    if (n == 0 || n >= MAX_PATH * 2) return E_INVALIDARG;
    const std::wstring folder = FolderOf(full);
    if (folder.empty() || !IsExistingFolder(folder)) return STG_E_PATHNOTFOUND;

    // The new file is made beside the target and takes its place only when complete, so a
    // failing save never leaves an empty or partial file where a good one was.
    wchar_t temporary[MAX_PATH * 2];
    if (!GetTempFileNameW(folder.c_str(), L"pvd", 0, temporary)) return HRESULT_FROM_WIN32(GetLastError());
    ComRef<IStorage> file;
    HRESULT hr = StgCreateDocfile(temporary, kTargetFile, 0, file.Out());
    if (FAILED(hr) || !file) {
        DeleteFileW(temporary);
        return FAILED(hr) ? hr : E_FAIL;
    }
    hr = WriteVersion(m_workStorage);
    if (SUCCEEDED(hr))
        hr = exportNode ? WriteElementStreamForExport(m_workStorage, exportNode) : WriteElementStream(m_workStorage);
    if (SUCCEEDED(hr) && FAILED(CopyStorageContents(m_workStorage, file.Get()))) hr = E_FAIL;
    if (SUCCEEDED(hr) && FAILED(file->Commit(STGC_DEFAULT))) hr = E_FAIL;
    file.Reset();
    if (SUCCEEDED(hr) && !MoveFileExW(temporary, full, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) hr = E_FAIL;
    if (FAILED(hr)) {
        DeleteFileW(temporary);
        return E_FAIL;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAPDocument::Save(unsigned char* filename)
{
    return Guarded([&]() -> HRESULT {
        if (!filename || !m_workStorage) return E_FAIL;
        const char* path = reinterpret_cast<const char*>(filename);
        HRESULT hr = WriteFile(path, nullptr);
        if (FAILED(hr)) return hr;
        m_filePath = path;
        // What was written is now the document; the next save needs a new working storage.
        if (m_docStorage) m_docStorage->Release();
        m_docStorage = m_workStorage;
        m_workStorage = nullptr;
        return S_OK;
    });
}

// Where a save by moniker goes: the local copy, or (for a document that does not exist yet)
// the moniker's own path when its folder exists.
std::string CAPDocument::MonikerSavePath(IORVDataMoniker* moniker)
{
    std::string path = MkGetLocalCopyPath(moniker).GetString();
    if (!path.empty()) return path;
    path = MkGetPath(moniker).GetString();
    std::wstring wide;
    if (path.empty() || !Widen(path.c_str(), &wide)) return std::string();
    wchar_t full[MAX_PATH * 2];
    const DWORD n = GetFullPathNameW(wide.c_str(), MAX_PATH * 2, full, nullptr);
    if (n == 0 || n >= MAX_PATH * 2) return std::string();
    const std::wstring folder = FolderOf(full);
    const DWORD attributes = GetFileAttributesW(full);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return std::string();
    return !folder.empty() && IsExistingFolder(folder) ? path : std::string();
}

void CAPDocument::SetDocumentPath(const char* path)
{
    const char* p = path ? path : "";
    const size_t n = std::min(std::strlen(p), sizeof m_documentPath - 1);
    std::memcpy(m_documentPath, p, n);
    m_documentPath[n] = '\0';
}

HRESULT STDMETHODCALLTYPE CAPDocument::SaveByMoniker(IORVDataMoniker* moniker)
{
    return Guarded([&]() -> HRESULT {
        if (!moniker || !m_workStorage) return E_FAIL;
        const std::string path = MonikerSavePath(moniker);
        if (path.empty()) return E_FAIL;
        if (FAILED(WriteFile(path, nullptr))) return E_FAIL;
        SetDocumentPath(MkGetPath(moniker).GetString());
        m_filePath = path.c_str();
        if (m_docStorage) m_docStorage->Release();
        m_docStorage = m_workStorage;
        m_workStorage = nullptr;
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CAPDocument::ExportDocument(unsigned char* filename, IAPNode* node)
{
    return Guarded([&]() -> HRESULT {
        if (!filename || !node) return E_FAIL;
        const char* path = reinterpret_cast<const char*>(filename);
        return Export(path, node);
    });
}

HRESULT STDMETHODCALLTYPE CAPDocument::ExportDocumentByMoniker(IORVDataMoniker* moniker, IAPNode* node)
{
    return Guarded([&]() -> HRESULT {
        if (!moniker || !node) return E_FAIL;
        const std::string path = MonikerSavePath(moniker);
        if (path.empty()) return E_FAIL;
        return Export(path, node);
    });
}

HRESULT CAPDocument::Export(const std::string& path, IAPNode* node)
{
    ComRef<IAPElement> element = QueryRef<IAPElement>(node, IID_IAPElement);
    if (!element) return E_FAIL;
    if (m_exportElement) m_exportElement->Release();
    m_exportElement = element.Detach();
    HRESULT hr = m_workStorage ? WriteFile(path, node) : E_FAIL;
    m_exportElement->Release();
    m_exportElement = nullptr;
    m_exportFlag = 0;
    if (FAILED(hr)) return hr;
    m_filePath = path.c_str();
    if (m_docStorage) m_docStorage->Release();
    if (m_workStorage) m_workStorage->Release();
    m_docStorage = m_workStorage = nullptr;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAPDocument::GetExportInfo(int* flag, IAPElement** element)
{
    if (!flag) return E_FAIL;
    *flag = m_exportFlag;
    if (element) {
        *element = m_exportFlag ? m_exportElement : nullptr;
        if (*element) (*element)->AddRef();
    }
    return S_OK;
}

// ---------------------------------------------------------------------------------------
// Opening files

HRESULT CAPDocument::ReplaceDocumentStorage(IStorage* storage)
{
    if (m_docStorage) m_docStorage->Release();
    m_docStorage = storage;
    return S_OK;
}

// Reads the file into fresh objects and takes them over only when everything was read: a
// failing open leaves the document as it was.
HRESULT CAPDocument::OpenFile(const std::string& path)
{
    std::wstring wide;
    if (!Widen(path.c_str(), &wide)) return E_INVALIDARG;
    // The platform's reader trusts the file's structure; a damaged one could hang or crash it.
    HRESULT hr = CheckCompoundFileAt(wide.c_str());
    if (FAILED(hr)) return hr;
    ComRef<IStorage> file;
    hr = StgOpenStorage(wide.c_str(), nullptr, kOpenedFile, nullptr, 0, file.Out());
    if (FAILED(hr)) return hr;
    if (!file) return E_FAIL;
    ComRef<IStorage> copy;
    hr = StgCreateDocfile(nullptr, kTemporaryStorage, 0, copy.Out());
    if (FAILED(hr)) return hr;
    if (!copy) return E_FAIL;
    // The element stream is copied while it is read, below: its bytes are read once.
    if (FAILED(CopyStorageContents(file.Get(), copy.Get(), kElementStreamName))) return E_FAIL;

    {
        ComRef<IStream> version;
        if (FAILED(copy->OpenStream(kVersionStream, nullptr, kReadStream, 0, version.Out()))) return E_FAIL;
        unsigned char raw[4];
        if (!ReadAll(version.Get(), raw, 4)) return E_FAIL;
        float value = 0;
        std::memcpy(&value, raw, 4);
        if (!(value >= kOldestReadable)) return E_FAIL; // also refuses a NaN
    }

    ComRef<IAPNode> root;
    if (FAILED(ReadElementStream(file.Get(), root.Out(), copy.Get())) || !root) return E_FAIL;
    file.Reset();

    IAPNode* old = m_root;
    m_root = root.Detach();
    if (old) {
        // Nodes of the old tree that clients keep must not report to this document.
        BindSubtree(old, nullptr);
        old->Release();
    }
    ReplaceDocumentStorage(copy.Detach());
    m_filePath = path.c_str();
    return S_OK;
}

HRESULT CAPDocument::OpenEmpty()
{
    IStorage* storage = nullptr;
    HRESULT hr = StgCreateDocfile(nullptr, kTemporaryStorage, 0, &storage);
    if (FAILED(hr)) return hr;
    if (!storage) return E_FAIL;
    ReplaceDocumentStorage(storage);
    return hr;
}

HRESULT STDMETHODCALLTYPE CAPDocument::OpenDocument(unsigned char* filename)
{
    return Guarded([&]() -> HRESULT {
        if (!filename) return OpenEmpty();
        return OpenFile(reinterpret_cast<const char*>(filename));
    });
}

HRESULT STDMETHODCALLTYPE CAPDocument::OpenDocumentByMoniker(IORVDataMoniker* moniker)
{
    return Guarded([&]() -> HRESULT {
        std::string local = MkGetLocalCopyPath(moniker).GetString();
        if (moniker && local.empty()) {
            ComRef<IVELKClient> service;
            if (SUCCEEDED(MkGetService(moniker, IID_IVELKClient, service.OutVoid(), nullptr)) && service) {
                if (service->FetchLocalCopy(moniker, 1, 1) < 0)
                    ShowMessageBox(MkGetServiceErrorMessage(service.Get()).GetString(), "Plenvort", MB_OK);
            }
            local = MkGetLocalCopyPath(moniker).GetString();
        }
        HRESULT hr = local.empty() ? OpenEmpty() : OpenFile(local);
        if (FAILED(hr)) return hr;
        SetDocumentPath(MkGetPath(moniker).GetString());
        if (moniker) moniker->AddRef();
        if (m_moniker) m_moniker->Release();
        m_moniker = moniker;
        return hr;
    });
}
