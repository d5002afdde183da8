// Save and open benchmark: builds a realistic tree through the COM interfaces, times build,
// Save, OpenDocument and release, and times the compound file itself writing and reading the
// same number of bytes in 64 KiB pieces, which is the floor that save and open are held to.
//
// Usage: plenvort_bench [--sizes 10000,100000,1000000] [--csv bench.csv]
#include <windows.h>
#include <objbase.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "realistic_tree.h"

namespace {

using realistic_tree::As;
using realistic_tree::Text;

constexpr ULONG kPiece = 64 * 1024;
constexpr DWORD kNewFile = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kReadFile = STGM_READ | STGM_SHARE_EXCLUSIVE;

double Now()
{
    static LARGE_INTEGER frequency{};
    if (!frequency.QuadPart) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct Memory {
    SIZE_T now = 0, peak = 0;
};

Memory WorkingSet()
{
    PROCESS_MEMORY_COUNTERS c{};
    c.cb = sizeof c;
    Memory m;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &c, sizeof c)) {
        m.now = c.WorkingSetSize;
        m.peak = c.PeakWorkingSetSize;
    }
    return m;
}

std::string TempFile(const char* stem)
{
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    return std::string(dir) + "plenvort_bench_" + stem + "_" + std::to_string(GetCurrentProcessId()) + ".pvd";
}

std::wstring Wide(const std::string& s)
{
    std::vector<wchar_t> w(s.size() + 1);
    const int n = MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, w.data(), static_cast<int>(w.size()));
    return std::wstring(w.data(), n > 0 ? static_cast<size_t>(n - 1) : 0);
}

ULONGLONG FileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

ULONGLONG ElementStreamSize(const std::string& path)
{
    IStorage* storage = nullptr;
    if (FAILED(StgOpenStorage(Wide(path).c_str(), nullptr, kReadFile, nullptr, 0, &storage))) return 0;
    IStream* s = nullptr;
    STATSTG st{};
    ULONGLONG size = 0;
    if (SUCCEEDED(storage->OpenStream(L"Element Stream", nullptr, kReadFile, 0, &s))) {
        if (SUCCEEDED(s->Stat(&st, STATFLAG_NONAME))) size = st.cbSize.QuadPart;
        s->Release();
    }
    storage->Release();
    return size;
}

// The storage alone: `bytes` written in 64 KiB pieces to one stream of a new compound file,
// then read back the same way. False when the platform refuses.
bool RawStorage(const std::string& path, ULONGLONG bytes, double* write, double* read)
{
    std::vector<unsigned char> piece(kPiece);
    for (ULONG i = 0; i < kPiece; ++i) piece[i] = static_cast<unsigned char>(i * 131u + 7u);
    double t0 = Now();
    IStorage* storage = nullptr;
    if (FAILED(StgCreateDocfile(Wide(path).c_str(), kNewFile, 0, &storage))) return false;
    IStream* s = nullptr;
    bool ok = SUCCEEDED(storage->CreateStream(L"Element Stream", kNewFile, 0, 0, &s));
    for (ULONGLONG left = bytes; ok && left > 0;) {
        const ULONG n = left < kPiece ? static_cast<ULONG>(left) : kPiece;
        ULONG written = 0;
        ok = SUCCEEDED(s->Write(piece.data(), n, &written)) && written == n;
        left -= n;
    }
    if (s) s->Release();
    ok = ok && SUCCEEDED(storage->Commit(STGC_DEFAULT));
    storage->Release();
    *write = Now() - t0;
    if (!ok) return false;

    t0 = Now();
    storage = nullptr;
    s = nullptr;
    if (FAILED(StgOpenStorage(Wide(path).c_str(), nullptr, kReadFile, nullptr, 0, &storage))) return false;
    ULONGLONG total = 0;
    ok = SUCCEEDED(storage->OpenStream(L"Element Stream", nullptr, kReadFile, 0, &s));
    for (ULONG got = 0; ok;) {
        ok = SUCCEEDED(s->Read(piece.data(), kPiece, &got));
        if (got == 0) break;
        total += got;
    }
    if (s) s->Release();
    storage->Release();
    *read = Now() - t0;
    return ok && total == bytes;
}

// Nodes reachable from the document's top-level nodes, each counted once.
int CountNodes(IAPDocument6* doc)
{
    IAPPointerList* list = realistic_tree::CreateAs<IAPPointerList>(CLSID_APPointerList, IID_IAPPointerList);
    if (!list) return -1;
    std::vector<IAPNode*> open;
    int roots = 0;
    if (SUCCEEDED(doc->GetRoots(list)) && SUCCEEDED(list->GetLength(&roots))) {
        for (int i = 0; i < roots; ++i) {
            GUID iid = IID_IAPNode;
            IAPNode* node = nullptr;
            if (SUCCEEDED(list->GetElement(i, &iid, reinterpret_cast<ULONG_PTR*>(&node))) && node) open.push_back(node);
        }
    }
    list->Release();
    std::unordered_set<IUnknown*> seen;
    while (!open.empty()) {
        IAPNode* node = open.back();
        open.pop_back();
        IUnknown* id = As<IUnknown>(node, IID_IUnknown);
        const bool fresh = id && seen.insert(id).second;
        if (id) id->Release();
        int count = 0;
        if (fresh && SUCCEEDED(node->GetNumChildren(&count))) {
            for (int i = 0; i < count; ++i) {
                IAPNode* child = nullptr;
                if (SUCCEEDED(node->GetChild(i, &child)) && child) open.push_back(child);
            }
        }
        node->Release();
    }
    return static_cast<int>(seen.size());
}

IAPDocument6* NewDocument()
{
    return realistic_tree::CreateAs<IAPDocument6>(CLSID_APDocument, IID_IAPDocument6);
}

struct Row {
    int asked = 0, nodes = 0;
    double build = 0, save = 0, open = 0, releaseBuilt = 0, releaseOpened = 0, rawWrite = 0, rawRead = 0;
    ULONGLONG fileBytes = 0, streamBytes = 0;
    SIZE_T peakGrowth = 0, peak = 0;
    double SaveRatio() const { return rawWrite > 0 ? save / (2 * rawWrite) : 0; }
    double OpenRatio() const { return rawWrite + rawRead > 0 ? open / (rawWrite + 2 * rawRead) : 0; }
};

bool RunSize(int asked, Row* row)
{
    row->asked = asked;
    const std::string file = TempFile("doc"), raw = TempFile("raw");
    const Memory before = WorkingSet();

    double t0 = Now();
    IAPDocument6* doc = NewDocument();
    if (!doc) return false;
    bool built = false;
    {
        realistic_tree::Builder builder(doc);
        built = builder.Build(asked);
        row->nodes = builder.Nodes();
    }
    row->build = Now() - t0;
    if (!built) {
        std::fprintf(stderr, "building %d nodes failed\n", asked);
        doc->Release();
        return false;
    }

    t0 = Now();
    const HRESULT saved = doc->Save(Text(file));
    row->save = Now() - t0;
    t0 = Now();
    doc->Release();
    row->releaseBuilt = Now() - t0;
    if (FAILED(saved)) {
        std::fprintf(stderr, "Save failed (0x%08lx)\n", static_cast<unsigned long>(saved));
        return false;
    }

    IAPDocument6* reader = NewDocument();
    if (!reader) return false;
    t0 = Now();
    const HRESULT opened = reader->OpenDocument(Text(file));
    row->open = Now() - t0;
    const int found = SUCCEEDED(opened) ? CountNodes(reader) : -1;
    t0 = Now();
    reader->Release();
    row->releaseOpened = Now() - t0;
    const Memory after = WorkingSet();
    row->peak = after.peak;
    row->peakGrowth = after.peak > before.now ? after.peak - before.now : 0;
    if (FAILED(opened)) {
        std::fprintf(stderr, "OpenDocument failed (0x%08lx)\n", static_cast<unsigned long>(opened));
        return false;
    }
    // The hidden root is not among the nodes the document reports.
    if (found != row->nodes) std::fprintf(stderr, "warning: %d nodes built, %d read back\n", row->nodes, found);

    row->fileBytes = FileSize(file);
    row->streamBytes = ElementStreamSize(file);
    DeleteFileA(file.c_str());
    const bool rawOk = RawStorage(raw, row->streamBytes, &row->rawWrite, &row->rawRead);
    DeleteFileA(raw.c_str());
    if (!rawOk) std::fprintf(stderr, "the raw storage pass failed\n");
    return rawOk;
}

std::vector<int> ParseSizes(const char* text)
{
    std::vector<int> sizes;
    for (const char* p = text; *p;) {
        char* end = nullptr;
        const long n = std::strtol(p, &end, 10);
        if (end == p || n < 1 || n > 100000000) return {};
        sizes.push_back(static_cast<int>(n));
        p = *end == ',' ? end + 1 : end;
        if (*end && *end != ',') return {};
    }
    return sizes;
}

void PrintRow(FILE* out, const Row& r, bool csv)
{
    const double perNodeFile = r.nodes ? static_cast<double>(r.fileBytes) / r.nodes : 0;
    const double perNodePeak = r.nodes ? static_cast<double>(r.peakGrowth) / r.nodes : 0;
    if (csv) {
        std::fprintf(out, "%d,%d,%.4f,%.4f,%.4f,%.4f,%.4f,%.4f,%.4f,%.3f,%.3f,%llu,%llu,%.1f,%.1f,%.1f\n", r.asked, r.nodes,
                     r.build, r.save, r.open, r.releaseBuilt, r.releaseOpened, r.rawWrite, r.rawRead, r.SaveRatio(),
                     r.OpenRatio(), static_cast<unsigned long long>(r.fileBytes),
                     static_cast<unsigned long long>(r.streamBytes), perNodeFile, perNodePeak,
                     static_cast<double>(r.peak) / (1024.0 * 1024.0));
        return;
    }
    std::fprintf(out, "%9d %8.3f %8.3f %8.3f %8.3f %8.3f %8.3f %8.3f %7.2f %7.2f %8.1f %8.1f\n", r.nodes, r.build, r.save,
                 r.open, r.releaseOpened, r.releaseBuilt, r.rawWrite, r.rawRead, r.SaveRatio(), r.OpenRatio(), perNodeFile,
                 perNodePeak);
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<int> sizes = {10000, 100000, 1000000};
    std::string csvPath = "bench.csv";
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--sizes") && i + 1 < argc) {
            sizes = ParseSizes(argv[++i]);
            if (sizes.empty()) {
                std::fprintf(stderr, "--sizes takes node counts separated by commas\n");
                return 2;
            }
        } else if (!std::strcmp(argv[i], "--csv") && i + 1 < argc) {
            csvPath = argv[++i];
        } else {
            std::fprintf(stderr, "usage: plenvort_bench [--sizes 10000,100000,1000000] [--csv bench.csv]\n");
            return 2;
        }
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;

    std::printf("Plenvort save/open benchmark, %d-bit build; times in seconds\n", static_cast<int>(sizeof(void*) * 8));
    std::printf("save ratio = Save / (2 x raw write); open ratio = OpenDocument / (raw write + 2 x raw read)\n");
    std::printf("peak/node = growth of the peak working set over the run / nodes\n\n");
    std::printf("%9s %8s %8s %8s %8s %8s %8s %8s %7s %7s %8s %8s\n", "nodes", "build", "save", "open", "release",
                "rel.bld", "raw wr", "raw rd", "save x", "open x", "B/node", "peak/nd");
    std::vector<Row> rows;
    int rc = 0;
    for (int n : sizes) {
        Row row;
        if (!RunSize(n, &row)) {
            rc = 1;
            break;
        }
        PrintRow(stdout, row, false);
        std::fflush(stdout);
        rows.push_back(row);
    }
    for (size_t i = 1; i < rows.size(); ++i) {
        const Row& a = rows[i - 1];
        const Row& b = rows[i];
        std::printf("growth %d -> %d nodes (x%.1f): build x%.1f, save x%.1f, open x%.1f, release x%.1f\n", a.nodes, b.nodes,
                    static_cast<double>(b.nodes) / a.nodes, b.build / a.build, b.save / a.save, b.open / a.open,
                    b.releaseOpened / a.releaseOpened);
    }
    if (FILE* csv = std::fopen(csvPath.c_str(), "w")) {
        std::fprintf(csv, "asked,nodes,build_s,save_s,open_s,release_built_s,release_opened_s,raw_write_s,raw_read_s,"
                          "save_ratio,open_ratio,file_bytes,stream_bytes,file_bytes_per_node,peak_bytes_per_node,peak_mib\n");
        for (const Row& r : rows) PrintRow(csv, r, true);
        std::fclose(csv);
        std::printf("\nCSV: %s\n", csvPath.c_str());
    } else {
        std::fprintf(stderr, "cannot write %s\n", csvPath.c_str());
        rc = 1;
    }
    CoUninitialize();
    return rc;
}
