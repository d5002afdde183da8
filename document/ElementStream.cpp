#include "document/ElementStream.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <new>

const wchar_t kElementStreamName[] = L"Element Stream";
const GUID GUID_EndOfStreamMarker = {0xffffffff, 0xffff, 0xffff, {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff}};

namespace {
constexpr DWORD kOpenWrite = STGM_WRITE | STGM_SHARE_EXCLUSIVE;                  // 0x11
constexpr DWORD kCreateWrite = STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE;  // 0x1011
constexpr DWORD kOpenRead = STGM_READ | STGM_SHARE_EXCLUSIVE;                    // 0x10
constexpr DWORD kCreateRead = STGM_CREATE | STGM_READ | STGM_SHARE_EXCLUSIVE;    // 0x1010
} // namespace

APProcStream::~APProcStream()
{
    if (m_stream) m_stream->Release();
}

void APProcStream::Attach(IStream* stream)
{
    if (stream) stream->AddRef();
    if (m_stream) m_stream->Release();
    m_stream = stream;
    m_pos = m_blockAt = 0;
    m_streamPos = -1; // unknown: the first platform call places it
    m_blockLength = 0;
}

bool APProcStream::OpenOn(void* target, DWORD openMode, DWORD createMode)
{
    Attach(nullptr);
    auto* storage = static_cast<IStorage*>(target);
    if (!storage) return true;
    IStream* s = nullptr;
    if (FAILED(storage->OpenStream(kElementStreamName, nullptr, openMode, 0, &s)) || !s) {
        s = nullptr;
        if (FAILED(storage->CreateStream(kElementStreamName, createMode, 0, 0, &s))) s = nullptr;
    }
    Attach(s);
    if (s) s->Release();
    return true;
}

bool APProcStream::Seek(std::int64_t offset)
{
    if (!m_stream || offset < 0) return false;
    m_pos = offset;
    return true;
}

bool APProcStream::Tell(std::int64_t* position)
{
    if (!m_stream || !position) return false;
    *position = m_pos;
    return true;
}

bool APProcStream::PlaceAt(std::int64_t offset)
{
    if (offset == m_streamPos) return true;
    LARGE_INTEGER to;
    to.QuadPart = offset;
    if (FAILED(m_stream->Seek(to, STREAM_SEEK_SET, nullptr))) return false;
    m_streamPos = offset;
    return true;
}

unsigned char* APProcStream::Block()
{
    if (!m_block) m_block.reset(new (std::nothrow) unsigned char[kBlockSize]);
    return m_block.get();
}

// ---------------------------------------------------------------------------------------

APProcWriteStream::~APProcWriteStream()
{
    if (m_stream) Flush();
}

void APProcWriteStream::Attach(IStream* stream)
{
    APProcStream::Attach(stream);
    m_failed = false;
}

bool APProcWriteStream::Open(void* storage)
{
    OpenOn(storage, kOpenWrite, kCreateWrite);
    if (m_stream) {
        ULARGE_INTEGER none;
        none.QuadPart = 0;
        m_stream->SetSize(none);
    }
    return true;
}

bool APProcWriteStream::ReadBytes(void*, std::uint32_t, std::uint32_t* got)
{
    if (got) *got = 0;
    return false;
}

bool APProcWriteStream::ReadBlock(void*, std::uint32_t) { return false; }

bool APProcWriteStream::WriteOut(const void* bytes, std::uint32_t count)
{
    ULONG written = 0;
    if (!m_failed && (!PlaceAt(m_blockAt) || FAILED(m_stream->Write(bytes, count, &written)) || written != count))
        m_failed = true;
    if (!m_failed) m_streamPos = m_blockAt + count;
    return !m_failed;
}

bool APProcWriteStream::Flush()
{
    if (!m_stream || m_failed) return false;
    if (m_blockLength > 0 && !WriteOut(Block(), m_blockLength)) return false;
    m_blockLength = 0;
    m_blockAt = m_pos;
    return true;
}

// The block covers [m_blockAt, m_blockAt + m_blockLength); a write that does not continue or
// overwrite it (after a seek) sends it out first. A seek back to fill in a count therefore
// stays in memory while the count is still in the block.
bool APProcWriteStream::WriteBytes(const void* buffer, std::uint32_t count)
{
    if (!m_stream || m_failed || (!buffer && count)) return false;
    if (count == 0) return true;
    if ((m_pos < m_blockAt || m_pos > m_blockAt + m_blockLength) && !Flush()) return false;
    if (m_pos - m_blockAt + count > kBlockSize) {
        if (!Flush()) return false;
        if (count >= kBlockSize) { // too big for the block: straight through
            if (!WriteOut(buffer, count)) return false;
            m_pos += count;
            m_blockAt = m_pos;
            return true;
        }
    }
    unsigned char* block = Block();
    if (!block) return false;
    const auto offset = static_cast<std::uint32_t>(m_pos - m_blockAt);
    std::memcpy(block + offset, buffer, count);
    if (offset + count > m_blockLength) m_blockLength = offset + count;
    m_pos += count;
    return true;
}

bool APProcWriteStream::WriteMatrix4d(const double m[16])
{
    if (!m) return false;
    return WmByteStream::WriteMatrix4d(m); // the 16 doubles as 128 raw bytes
}

// ---------------------------------------------------------------------------------------

bool APProcReadStream::Open(void* storage) { return OpenOn(storage, kOpenRead, kCreateRead); }

void APProcReadStream::Attach(IStream* stream)
{
    APProcStream::Attach(stream);
    m_size = -1;
    STATSTG st{};
    if (m_stream && SUCCEEDED(m_stream->Stat(&st, STATFLAG_NONAME)) && st.cbSize.QuadPart <= INT64_MAX)
        m_size = static_cast<std::int64_t>(st.cbSize.QuadPart);
}

// Serves from the block while it covers the position, refills it with one platform read,
// and reads a request of a block or more straight into the caller's memory.
bool APProcReadStream::ReadBytes(void* buffer, std::uint32_t count, std::uint32_t* got)
{
    if (got) *got = 0;
    if (!m_stream || (!buffer && count)) return false;
    auto* out = static_cast<unsigned char*>(buffer);
    std::uint32_t done = 0;
    while (done < count) {
        if (m_pos >= m_blockAt && m_pos < m_blockAt + m_blockLength) {
            const auto offset = static_cast<std::uint32_t>(m_pos - m_blockAt);
            std::uint32_t n = m_blockLength - offset;
            if (n > count - done) n = count - done;
            std::memcpy(out + done, Block() + offset, n);
            done += n;
            m_pos += n;
            continue;
        }
        const std::uint32_t want = count - done;
        const bool direct = want >= kBlockSize;
        unsigned char* into = direct ? out + done : Block();
        if (!into || !PlaceAt(m_pos)) return false;
        ULONG n = 0;
        if (FAILED(m_stream->Read(into, direct ? want : kBlockSize, &n))) return false;
        m_streamPos = m_pos + n;
        if (n == 0) break; // the end
        if (!Arrived(m_pos, into, n)) return false;
        if (direct) {
            done += n;
            m_pos += n;
        } else {
            m_blockAt = m_pos;
            m_blockLength = n;
        }
    }
    if (got) *got = done;
    return true;
}

bool APProcReadStream::ReadBlock(void* buffer, std::uint32_t count)
{
    std::uint32_t got = 0;
    return ReadBytes(buffer, count, &got) && got == count;
}

bool APProcReadStream::WriteBytes(const void*, std::uint32_t) { return false; }

bool APProcReadStream::ReadMatrix4d(double m[16])
{
    if (!m_stream) return false;
    WmDataStream data(this);
    return data.readMatrix4d(m);
}

bool APProcReadStream::BytesRemaining(std::int64_t* remaining)
{
    if (!m_stream || !remaining || m_size < 0) return false;
    *remaining = m_pos < m_size ? m_size - m_pos : 0;
    return true;
}

// ---------------------------------------------------------------------------------------

APProcCopyingReadStream::~APProcCopyingReadStream()
{
    if (m_copy) m_copy->Release();
}

bool APProcCopyingReadStream::OpenCopying(IStorage* from, IStorage* to)
{
    Attach(nullptr);
    if (m_copy) m_copy->Release();
    m_copy = nullptr;
    m_copied = 0;
    m_failed = false;
    if (!from || !to) return false;
    IStream* source = nullptr;
    if (FAILED(from->OpenStream(kElementStreamName, nullptr, kOpenRead, 0, &source)) || !source) return false;
    Attach(source);
    source->Release();
    if (m_size < 0) return false;
    constexpr DWORD kCreateCopy = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
    if (FAILED(to->CreateStream(kElementStreamName, kCreateCopy, 0, 0, &m_copy)) || !m_copy) {
        m_copy = nullptr;
        return false;
    }
    // Sized once: the copy does not grow piece by piece.
    ULARGE_INTEGER size;
    size.QuadPart = static_cast<ULONGLONG>(m_size);
    m_failed = FAILED(m_copy->SetSize(size));
    return !m_failed;
}

bool APProcCopyingReadStream::CopyOut(const unsigned char* bytes, std::uint32_t count)
{
    ULONG written = 0;
    if (m_failed || !m_copy || FAILED(m_copy->Write(bytes, count, &written)) || written != count) m_failed = true;
    if (!m_failed) m_copied += count;
    return !m_failed;
}

// Only a piece that continues the copy is written; a piece read again after a seek back is
// already there, and one after a seek ahead waits for FinishCopy.
bool APProcCopyingReadStream::Arrived(std::int64_t at, const unsigned char* bytes, std::uint32_t count)
{
    if (m_failed) return false;
    if (at > m_copied || at + count <= m_copied) return true;
    const auto skip = static_cast<std::uint32_t>(m_copied - at);
    return CopyOut(bytes + skip, count - skip);
}

bool APProcCopyingReadStream::FinishCopy()
{
    if (!m_stream || !m_copy || m_failed || m_size < 0) return false;
    unsigned char* block = Block();
    if (!block) return false;
    m_blockLength = 0; // the block serves the copy from here on
    while (m_copied < m_size) {
        ULONG n = 0;
        if (!PlaceAt(m_copied) || FAILED(m_stream->Read(block, kBlockSize, &n))) return false;
        m_streamPos = m_copied + n;
        if (n == 0) return false; // shorter than it said
        if (!CopyOut(block, n)) return false;
    }
    return m_copied == m_size;
}

// ---------------------------------------------------------------------------------------

ElementStreamSession::ElementStreamSession(IStorage* storage, Direction direction)
{
    if (direction == Write)
        m_bytes = new APProcWriteStream();
    else
        m_bytes = new APProcReadStream();
    m_bytes->Open(storage);
    Build(direction);
}

ElementStreamSession::ElementStreamSession(IStorage* from, IStorage* copyTo)
{
    m_copying = new APProcCopyingReadStream();
    m_bytes = m_copying;
    if (!m_copying->OpenCopying(from, copyTo)) m_copying->Attach(nullptr);
    Build(Read);
}

void ElementStreamSession::Build(Direction direction)
{
    m_data = new WmDataStream(m_bytes);
    if (direction == Write)
        m_objects = new WmBufferedObjectStream(*m_data);
    else
        m_objects = new WmObjectStream(*m_data);
    m_objects->setByteOrder(0);
    m_swizzler = new WmPtrSwizzle();
    m_objects->setSwizzler(m_swizzler);
}

void ElementStreamSession::Detach()
{
    if (m_objects) m_objects->setSwizzler(nullptr);
    if (m_swizzler) {
        m_swizzler->release();
        m_swizzler = nullptr;
    }
}

ElementStreamSession::~ElementStreamSession()
{
    Detach();
    delete m_objects;
    delete m_data;
    delete m_bytes;
}
