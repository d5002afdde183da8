// The structural check of a compound file: header, sector allocation table (and its index
// sectors), directory chain and tree, mini allocation table, mini stream container and every
// stream's chain. Each sector and each mini sector may belong to one chain only, and each
// directory entry may be reached once, so every walk ends and the whole check reads each
// table sector once.
#include "document/CompoundFileCheck.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr uint32_t kMaxRegularSector = 0xFFFFFFFA;
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kNoStream = 0xFFFFFFFF;

constexpr unsigned char kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr uint32_t kHeaderSize = 512;
constexpr uint32_t kHeaderIndexEntries = 109; // allocation-table sectors named by the header itself
constexpr uint32_t kMiniSectorSize = 64;
constexpr uint32_t kMiniStreamCutoff = 4096;
constexpr uint32_t kEntrySize = 128;

enum EntryType : unsigned char { kUnused = 0, kStorage = 1, kStream = 2, kRoot = 5 };

uint16_t U16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t U32(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

// Sectors needed for `size` bytes of `unit`-byte sectors.
uint64_t SectorsFor(uint64_t size, uint32_t unit) { return size / unit + (size % unit ? 1 : 0); }

struct Entry {
    unsigned char type;
    bool nameOk;
    uint32_t left, right, child, start;
    uint64_t size;
};

// One allocation table with the "sector taken" marks of its chains.
struct Table {
    std::vector<uint32_t> next;
    std::vector<unsigned char> taken;

    bool Resize(size_t n)
    {
        try {
            next.assign(n, kEndOfChain);
            taken.assign(n, 0);
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }
    bool Take(uint32_t s)
    {
        if (s >= taken.size() || taken[s]) return false;
        taken[s] = 1;
        return true;
    }
    // Takes the chain starting at `start` (none when it is the end of chain); counts its
    // sectors and lists them when `sectors` is given.
    bool Chain(uint32_t start, uint64_t* length, std::vector<uint32_t>* sectors = nullptr)
    {
        uint64_t n = 0;
        for (uint32_t s = start; s != kEndOfChain; s = next[s]) {
            if (!Take(s)) return false; // out of range, free or special, or already in a chain
            if (sectors) sectors->push_back(s);
            ++n;
        }
        *length = n;
        return true;
    }
};

class Checker {
public:
    explicit Checker(CompoundFileSource& source) : m_source(source) {}

    bool Run()
    {
        return ReadHeader() && ReadAllocationTable() && ReadDirectory() && ReadMiniTable() && CheckTree() &&
               CheckStreams();
    }

private:
    bool ReadHeader()
    {
        if (m_source.Size() < kHeaderSize || !m_source.ReadAt(0, m_header, kHeaderSize)) return false;
        if (std::memcmp(m_header, kSignature, sizeof kSignature) != 0) return false;
        if (U16(m_header + 28) != 0xFFFE) return false; // byte order
        const uint16_t major = U16(m_header + 26);
        const uint16_t shift = U16(m_header + 30);
        if (!((major == 3 && shift == 9) || (major == 4 && shift == 12))) return false;
        if (U16(m_header + 32) != 6) return false; // 64-byte mini sectors
        if (U32(m_header + 56) != kMiniStreamCutoff) return false;
        m_version = major;
        m_sectorSize = 1u << shift;
        m_perSector = m_sectorSize / 4;

        // Whole sectors after the header sector; a cut last sector does not count.
        const uint64_t inFile = m_source.Size() / m_sectorSize;
        if (inFile < 1) return false;
        const uint64_t sectors = inFile - 1;
        const uint32_t directorySectors = U32(m_header + 40);
        m_fatSectors = U32(m_header + 44);
        m_difatSectors = U32(m_header + 72);
        m_miniFatSectors = U32(m_header + 64);
        if (m_version == 3 && directorySectors != 0) return false;
        if (m_fatSectors == 0) return false;
        for (uint32_t count : {directorySectors, m_fatSectors, m_difatSectors, m_miniFatSectors})
            if (count > sectors) return false;
        // Sector numbers reach as far as the file and the allocation table both do.
        uint64_t limit = std::min<uint64_t>(sectors, static_cast<uint64_t>(m_fatSectors) * m_perSector);
        if (limit > kMaxRegularSector) limit = kMaxRegularSector;
        return m_fat.Resize(static_cast<size_t>(limit)) && ReadBuffer();
    }

    bool ReadBuffer()
    {
        try {
            m_buffer.resize(m_sectorSize);
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }

    bool ReadSector(uint32_t s)
    {
        return m_source.ReadAt((static_cast<ULONGLONG>(s) + 1) * m_sectorSize, m_buffer.data(), m_sectorSize);
    }

    // The allocation table's sectors are named by the header, then by the index (DIFAT)
    // chain; each is taken so that no chain may run through it.
    bool ReadAllocationTable()
    {
        std::vector<uint32_t> fatSectors;
        const uint32_t inHeader = std::min(m_fatSectors, kHeaderIndexEntries);
        for (uint32_t i = 0; i < inHeader; ++i) fatSectors.push_back(U32(m_header + 76 + 4 * i));
        const uint32_t perIndexSector = m_perSector - 1; // the last entry links to the next index sector
        const uint64_t rest = m_fatSectors - inHeader;
        if (m_difatSectors != SectorsFor(rest, perIndexSector)) return false;
        uint32_t at = U32(m_header + 68);
        for (uint32_t d = 0; d < m_difatSectors; ++d) {
            if (!m_fat.Take(at) || !ReadSector(at)) return false;
            for (uint32_t i = 0; i < perIndexSector && fatSectors.size() < m_fatSectors; ++i)
                fatSectors.push_back(U32(&m_buffer[4 * i]));
            at = U32(&m_buffer[4 * perIndexSector]);
        }
        for (uint32_t k = 0; k < fatSectors.size(); ++k) {
            const uint32_t s = fatSectors[k];
            if (!m_fat.Take(s)) return false;
            const uint64_t first = static_cast<uint64_t>(k) * m_perSector;
            if (first >= m_fat.next.size()) continue; // covers only sectors beyond the file
            if (!ReadSector(s)) return false;
            const uint64_t n = std::min<uint64_t>(m_perSector, m_fat.next.size() - first);
            for (uint64_t i = 0; i < n; ++i) m_fat.next[first + i] = U32(&m_buffer[4 * i]);
        }
        return true;
    }

    bool ReadDirectory()
    {
        std::vector<uint32_t> sectors;
        uint64_t length = 0;
        if (!m_fat.Chain(U32(m_header + 48), &length, &sectors) || length == 0) return false;
        if (m_version == 4 && U32(m_header + 40) != 0 && U32(m_header + 40) != length) return false;
        try {
            m_entries.reserve(static_cast<size_t>(length) * (m_sectorSize / kEntrySize));
        } catch (const std::bad_alloc&) {
            return false;
        }
        for (uint32_t s : sectors) {
            if (!ReadSector(s)) return false;
            for (uint32_t at = 0; at < m_sectorSize; at += kEntrySize) {
                const unsigned char* e = &m_buffer[at];
                Entry entry;
                entry.type = e[66];
                const uint16_t nameBytes = U16(e + 64);
                // A name is counted in bytes with its terminating zero, at most 32 characters.
                entry.nameOk = nameBytes >= 2 && nameBytes <= 64 && nameBytes % 2 == 0 && U16(e + nameBytes - 2) == 0;
                entry.left = U32(e + 68);
                entry.right = U32(e + 72);
                entry.child = U32(e + 76);
                entry.start = U32(e + 116);
                entry.size = U32(e + 120) | static_cast<uint64_t>(U32(e + 124)) << 32;
                // The platform's reader takes all 64 bits, so a version-3 file's high word must be zero.
                if (m_version == 3 && U32(e + 124) != 0 && (entry.type == kStream || entry.type == kRoot)) return false;
                m_entries.push_back(entry);
            }
        }
        const Entry& root = m_entries[0];
        if (root.type != kRoot || !root.nameOk || root.left != kNoStream || root.right != kNoStream) return false;
        for (size_t i = 1; i < m_entries.size(); ++i)
            if (m_entries[i].type == kRoot) return false; // a reader looking for the root could find this one
        return true;
    }

    // The mini allocation table and the container its sectors live in (the root's stream).
    bool ReadMiniTable()
    {
        const Entry& root = m_entries[0];
        uint64_t containerSectors = 0;
        if (!m_fat.Chain(root.start, &containerSectors)) return false;
        if (containerSectors < SectorsFor(root.size, m_sectorSize)) return false;

        std::vector<uint32_t> sectors;
        uint64_t length = 0;
        if (!m_fat.Chain(U32(m_header + 60), &length, &sectors) || length != m_miniFatSectors) return false;
        const uint64_t miniSectors =
            std::min<uint64_t>(root.size / kMiniSectorSize, static_cast<uint64_t>(length) * m_perSector);
        if (!m_miniFat.Resize(static_cast<size_t>(miniSectors))) return false;
        for (size_t k = 0; k < sectors.size(); ++k) {
            const uint64_t first = static_cast<uint64_t>(k) * m_perSector;
            if (first >= miniSectors) break;
            if (!ReadSector(sectors[k])) return false;
            const uint64_t n = std::min<uint64_t>(m_perSector, miniSectors - first);
            for (uint64_t i = 0; i < n; ++i) m_miniFat.next[first + i] = U32(&m_buffer[4 * i]);
        }
        return true;
    }

    // Every entry below the root is reached once, through links in range.
    bool CheckTree()
    {
        std::vector<unsigned char> reached(m_entries.size(), 0);
        reached[0] = 1;
        std::vector<uint32_t> pending{m_entries[0].child};
        while (!pending.empty()) {
            const uint32_t id = pending.back();
            pending.pop_back();
            if (id == kNoStream) continue;
            if (id >= m_entries.size() || reached[id]) return false;
            reached[id] = 1;
            const Entry& e = m_entries[id];
            if ((e.type != kStorage && e.type != kStream) || !e.nameOk) return false;
            if (e.type == kStream && e.child != kNoStream) return false;
            if (e.type == kStream) m_streams.push_back(id);
            pending.push_back(e.left);
            pending.push_back(e.right);
            pending.push_back(e.child);
        }
        return true;
    }

    // Each stream's chain lies in its table and holds its size; the platform's reader walks
    // a chain to its end whatever the size says, so even an empty stream's chain is walked.
    bool CheckStreams()
    {
        for (uint32_t id : m_streams) {
            const Entry& e = m_entries[id];
            const bool mini = e.size < kMiniStreamCutoff;
            const uint32_t unit = mini ? kMiniSectorSize : m_sectorSize;
            uint64_t length = 0;
            if (!(mini ? m_miniFat : m_fat).Chain(e.start, &length) || length < SectorsFor(e.size, unit)) return false;
        }
        return true;
    }

    CompoundFileSource& m_source;
    unsigned char m_header[kHeaderSize];
    uint16_t m_version = 0;
    uint32_t m_sectorSize = 0;
    uint32_t m_perSector = 0; // table entries in one sector
    uint32_t m_fatSectors = 0, m_difatSectors = 0, m_miniFatSectors = 0;
    std::vector<unsigned char> m_buffer;
    Table m_fat, m_miniFat;
    std::vector<Entry> m_entries;
    std::vector<uint32_t> m_streams;
};

class MemorySource : public CompoundFileSource {
public:
    MemorySource(const void* bytes, size_t size) : m_bytes(static_cast<const unsigned char*>(bytes)), m_size(size) {}
    ULONGLONG Size() const override { return m_size; }
    bool ReadAt(ULONGLONG offset, void* bytes, ULONG size) override
    {
        if (offset > m_size || size > m_size - offset) return false;
        std::memcpy(bytes, m_bytes + offset, size);
        return true;
    }

private:
    const unsigned char* m_bytes;
    size_t m_size;
};

class FileSource : public CompoundFileSource {
public:
    FileSource(HANDLE file, ULONGLONG size) : m_file(file), m_size(size) {}
    ULONGLONG Size() const override { return m_size; }
    bool ReadAt(ULONGLONG offset, void* bytes, ULONG size) override
    {
        if (offset > m_size || size > m_size - offset) return false;
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD got = 0;
        return ReadFile(m_file, bytes, size, &got, &at) && got == size;
    }

private:
    HANDLE m_file;
    ULONGLONG m_size;
};

} // namespace

HRESULT CheckCompoundFile(CompoundFileSource& source)
{
    try {
        return Checker(source).Run() ? S_OK : STG_E_DOCFILECORRUPT;
    } catch (const std::bad_alloc&) {
        return STG_E_INSUFFICIENTMEMORY;
    }
}

HRESULT CheckCompoundFileBytes(const void* bytes, size_t size)
{
    if (!bytes && size) return E_POINTER;
    MemorySource source(bytes, size);
    return CheckCompoundFile(source);
}

HRESULT CheckCompoundFileAt(const wchar_t* path)
{
    if (!path) return E_POINTER;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return S_FALSE;
    LARGE_INTEGER size{};
    HRESULT hr = S_FALSE;
    if (GetFileSizeEx(file, &size) && size.QuadPart >= 0) {
        FileSource source(file, static_cast<ULONGLONG>(size.QuadPart));
        hr = CheckCompoundFile(source);
    }
    CloseHandle(file);
    return hr;
}
