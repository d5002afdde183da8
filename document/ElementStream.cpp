#include "document/ElementStream.h"

#include <climits>

const wchar_t kElementStreamName[] = L"Element Stream";

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

bool APProcStream::OpenOn(void* target, DWORD openMode, DWORD createMode)
{
    if (m_stream) {
        m_stream->Release();
        m_stream = nullptr;
    }
    auto* storage = static_cast<IStorage*>(target);
    if (!storage) return true;
    IStream* s = nullptr;
    if (FAILED(storage->OpenStream(kElementStreamName, nullptr, openMode, 0, &s)) || !s) {
        s = nullptr;
        if (FAILED(storage->CreateStream(kElementStreamName, createMode, 0, 0, &s))) s = nullptr;
    }
    m_stream = s;
    return true;
}

bool APProcStream::Seek(std::int64_t offset)
{
    if (!m_stream) return false;
    LARGE_INTEGER to;
    to.QuadPart = offset;
    return SUCCEEDED(m_stream->Seek(to, STREAM_SEEK_SET, nullptr));
}

bool APProcStream::Tell(std::int64_t* position)
{
    if (!m_stream || !position) return false;
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    ULARGE_INTEGER at;
    if (FAILED(m_stream->Seek(zero, STREAM_SEEK_CUR, &at))) return false;
    *position = static_cast<std::int64_t>(at.QuadPart);
    return true;
}

// ---------------------------------------------------------------------------------------

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

bool APProcWriteStream::WriteBytes(const void* buffer, std::uint32_t count)
{
    if (!m_stream || (!buffer && count)) return false;
    if (count == 0) return true;
    ULONG written = 0;
    return SUCCEEDED(m_stream->Write(buffer, count, &written)) && written == count;
}

bool APProcWriteStream::WriteMatrix4d(const double m[16])
{
    if (!m) return false;
    return WmByteStream::WriteMatrix4d(m); // the 16 doubles as 128 raw bytes
}

// ---------------------------------------------------------------------------------------

bool APProcReadStream::Open(void* storage) { return OpenOn(storage, kOpenRead, kCreateRead); }

bool APProcReadStream::ReadBytes(void* buffer, std::uint32_t count, std::uint32_t* got)
{
    if (got) *got = 0;
    if (!m_stream || (!buffer && count)) return false;
    if (count == 0) return true;
    ULONG n = 0;
    if (FAILED(m_stream->Read(buffer, count, &n))) return false;
    if (got) *got = n;
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
    if (!m_stream || !remaining) return false;
    STATSTG st{};
    std::int64_t at = 0;
    if (FAILED(m_stream->Stat(&st, STATFLAG_NONAME)) || !Tell(&at)) return false;
    const auto size = static_cast<std::int64_t>(st.cbSize.QuadPart);
    *remaining = at < size ? size - at : 0;
    return true;
}

// ---------------------------------------------------------------------------------------

ElementStreamSession::ElementStreamSession(IStorage* storage, Direction direction)
{
    if (direction == Write)
        m_bytes = new APProcWriteStream();
    else
        m_bytes = new APProcReadStream();
    m_bytes->Open(storage);
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
