#pragma once
// Helpers of the document tests: documents and elements by class, temporary files, the
// streams of a saved file, and an event sink that records what it hears.
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>

#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "Plenvort_h.h"
#include "server/module.h"
#include "platform/orv/ORVComCreate.h"
#include "test_support.h"

namespace doc_test {

using plenvort_test::Create;
using plenvort_test::Query;
using plenvort_test::RefCount;
using plenvort_test::Text;

// Objects of the library alive now (every COM object holds a module lock while it lives).
inline LONG LiveObjects() { return _Module.GetLockCount(); }

inline IAPDocument6* NewDocument() { return Create<IAPDocument6>(CLSID_APDocument, IID_IAPDocument6); }

inline bool Same(IUnknown* a, IUnknown* b)
{
    IUnknown* ua = Query<IUnknown>(a, IID_IUnknown);
    IUnknown* ub = Query<IUnknown>(b, IID_IUnknown);
    bool same = ua && ua == ub;
    if (ua) ua->Release();
    if (ub) ub->Release();
    return same;
}

// A node made through the document (a top-level node from the start), with a name.
inline IAPNode* NewNode(IAPDocument* doc, const CLSID& clsid, const char* name)
{
    GUID id = clsid, iid = IID_IAPNode;
    IAPNode* node = nullptr;
    EXPECT_EQ(doc->CreateProcessElement(&id, &iid, reinterpret_cast<ULONG_PTR*>(&node)), S_OK);
    if (!node) return nullptr;
    if (IAPElement* e = Query<IAPElement>(node, IID_IAPElement)) {
        e->SetName(reinterpret_cast<unsigned char*>(const_cast<char*>(name)));
        e->Release();
    }
    return node;
}

inline std::string NameOf(IUnknown* p)
{
    IAPElement* e = Query<IAPElement>(p, IID_IAPElement);
    if (!e) return "?";
    char buffer[1024] = {};
    e->GetName(reinterpret_cast<unsigned char*>(buffer));
    e->Release();
    return buffer;
}

// The element `p` reports to `doc`.
inline void ExpectBoundTo(IUnknown* p, IUnknown* doc)
{
    IAPElement* e = Query<IAPElement>(p, IID_IAPElement);
    ASSERT_NE(e, nullptr);
    IAPDocument* bound = nullptr;
    const HRESULT hr = e->GetDocument(&bound);
    e->Release();
    ASSERT_EQ(hr, S_OK);
    EXPECT_TRUE(Same(bound, doc));
    bound->Release();
}

// The elements of a pointer list, by name.
inline std::vector<std::string> ListNames(IAPPointerList* list)
{
    std::vector<std::string> names;
    int n = 0;
    list->GetLength(&n);
    for (int i = 0; i < n; ++i) {
        GUID iid = IID_IUnknown;
        IUnknown* element = nullptr;
        list->GetElement(i, &iid, reinterpret_cast<ULONG_PTR*>(&element));
        names.push_back(element ? NameOf(element) : "<null>");
        if (element) element->Release();
    }
    return names;
}

// The top-level nodes of a document, by name.
inline std::vector<std::string> RootNames(IAPDocument* doc)
{
    IAPPointerList* list = Create<IAPPointerList>(CLSID_APPointerList, IID_IAPPointerList);
    if (!list) return {};
    EXPECT_EQ(doc->GetRoots(list), S_OK);
    std::vector<std::string> names = ListNames(list);
    list->Release();
    return names;
}

// Top-level node `i` of a document, with a reference, or null.
inline IAPNode* RootAt(IAPDocument* doc, int i)
{
    IAPPointerList* list = Create<IAPPointerList>(CLSID_APPointerList, IID_IAPPointerList);
    if (!list) return nullptr;
    EXPECT_EQ(doc->GetRoots(list), S_OK);
    GUID iid = IID_IAPNode;
    IAPNode* node = nullptr;
    EXPECT_EQ(list->GetElement(i, &iid, reinterpret_cast<ULONG_PTR*>(&node)), S_OK);
    list->Release();
    return node;
}

// The children of a node, by name.
inline std::vector<std::string> ChildNames(IAPNode* node)
{
    std::vector<std::string> names;
    int n = 0;
    if (FAILED(node->GetNumChildren(&n))) return names;
    for (int i = 0; i < n; ++i) {
        IAPNode* c = nullptr;
        if (FAILED(node->GetChild(i, &c)) || !c) {
            names.push_back("<fail>");
            continue;
        }
        names.push_back(NameOf(c));
        c->Release();
    }
    return names;
}

// A file path in the temporary folder, not existing yet.
inline std::string TempPath(const char* stem)
{
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    static int counter = 0;
    std::string path = std::string(dir) + "plenvort_" + stem + "_" + std::to_string(GetCurrentProcessId()) + "_" +
                       std::to_string(++counter) + ".pvd";
    DeleteFileA(path.c_str());
    return path;
}

inline std::wstring Wide(const std::string& s)
{
    wchar_t buffer[MAX_PATH * 2];
    int n = MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, buffer, MAX_PATH * 2);
    return std::wstring(buffer, n > 0 ? static_cast<size_t>(n - 1) : 0);
}

inline std::vector<unsigned char> ReadWholeStream(IStream* s)
{
    std::vector<unsigned char> bytes;
    unsigned char buffer[4096];
    ULONG got = 0;
    while (SUCCEEDED(s->Read(buffer, sizeof buffer, &got)) && got > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    return bytes;
}

// The bytes of one top-level stream of a compound file; false when it cannot be read.
inline bool FileStream(const std::string& path, const wchar_t* name, std::vector<unsigned char>* bytes)
{
    IStorage* storage = nullptr;
    if (FAILED(StgOpenStorage(Wide(path).c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &storage)))
        return false;
    IStream* s = nullptr;
    bool ok = SUCCEEDED(storage->OpenStream(name, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &s));
    if (ok) {
        *bytes = ReadWholeStream(s);
        s->Release();
    }
    storage->Release();
    return ok;
}

// Replaces (or with `remove`, deletes) one top-level stream of a compound file.
inline bool PutFileStream(const std::string& path, const wchar_t* name, const std::vector<unsigned char>& bytes,
                          bool remove = false)
{
    IStorage* storage = nullptr;
    if (FAILED(StgOpenStorage(Wide(path).c_str(), nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE, nullptr, 0, &storage)))
        return false;
    bool ok;
    if (remove) {
        ok = SUCCEEDED(storage->DestroyElement(name));
    } else {
        IStream* s = nullptr;
        ok = SUCCEEDED(storage->CreateStream(name, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, &s));
        if (ok) {
            ULONG written = 0;
            ok = bytes.empty() || (SUCCEEDED(s->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written)) &&
                                   written == bytes.size());
            s->Release();
        }
    }
    ok = ok && SUCCEEDED(storage->Commit(STGC_DEFAULT));
    storage->Release();
    return ok;
}

inline bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

inline std::vector<unsigned char> FileBytes(const std::string& path)
{
    std::vector<unsigned char> bytes;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return bytes;
    unsigned char buffer[4096];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    CloseHandle(h);
    return bytes;
}

// Files of the folder whose name starts with `prefix` (leftover temporary files).
inline int CountFiles(const std::string& folder, const char* pattern)
{
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA((folder + pattern).c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return 0;
    int n = 0;
    do {
        ++n;
    } while (FindNextFileA(h, &data));
    FindClose(h);
    return n;
}

inline std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of("\\/") + 1); }

// One event as a sink heard it.
struct Event {
    int sink;
    unsigned short cmd;
    std::string element;
    unsigned long length;
    IID iid;
};

// An event sink that appends what it hears to a shared log; it can be told to fail.
class RecordingSink : public IAPDocEventSink {
public:
    RecordingSink(int id, std::vector<Event>* log) : m_id(id), m_log(log) {}
    virtual ~RecordingSink() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IAPDocEventSink)) {
            *out = static_cast<IAPDocEventSink*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG n = --m_refs;
        if (n == 0) delete this;
        return n;
    }
    HRESULT STDMETHODCALLTYPE Notify(unsigned short cmd, IAPElement* element, unsigned long length,
                                     unsigned char* message) override
    {
        Event e{m_id, cmd, element ? NameOf(element) : "<null>", length, IID{}};
        if (message && length == sizeof(IID)) std::memcpy(&e.iid, message, sizeof(IID));
        m_log->push_back(e);
        if (m_onNotify) m_onNotify();
        return m_fail ? E_FAIL : S_OK;
    }

    void SetFail(bool fail) { m_fail = fail; }
    std::function<void()> m_onNotify;
    ULONG Refs() const { return m_refs; }

private:
    int m_id;
    std::vector<Event>* m_log;
    ULONG m_refs = 1;
    bool m_fail = false;
};

// Counts the live objects at the start and checks at the end that none is left; deletes the
// temporary files the test asked for.
class FileTest : public ::testing::Test {
protected:
    void SetUp() override { m_live = LiveObjects(); }
    void TearDown() override
    {
        for (const auto& p : m_files) DeleteFileA(p.c_str());
        EXPECT_EQ(LiveObjects(), m_live) << "objects left alive";
    }
    std::string File(const char* stem)
    {
        m_files.push_back(TempPath(stem));
        return m_files.back();
    }

    std::vector<std::string> m_files;
    LONG m_live = 0;
};

// A new document per test, with recording sinks on it.
class DocumentTest : public FileTest {
protected:
    void SetUp() override
    {
        FileTest::SetUp();
        m_doc = NewDocument();
        ASSERT_NE(m_doc, nullptr);
    }
    void TearDown() override
    {
        for (auto* s : m_sinks) s->Release();
        if (m_doc) m_doc->Release();
        FileTest::TearDown();
    }
    RecordingSink* Sink(int id)
    {
        auto* s = new RecordingSink(id, &m_log);
        m_sinks.push_back(s);
        EXPECT_EQ(m_doc->RegisterEventSink(s), S_OK);
        return s;
    }
    // The document's own commands (2 to 5) that one sink heard; the element-changed events
    // (command 1) that the link operations send as well are left out.
    std::vector<std::pair<int, std::string>> Heard(int sink = 1)
    {
        std::vector<std::pair<int, std::string>> out;
        for (const Event& e : m_log)
            if (e.sink == sink && e.cmd != 1) out.emplace_back(e.cmd, e.element);
        return out;
    }

    IAPDocument6* m_doc = nullptr;
    std::vector<Event> m_log;
    std::vector<RecordingSink*> m_sinks;
};

using Heard_t = std::vector<std::pair<int, std::string>>;

} // namespace doc_test
