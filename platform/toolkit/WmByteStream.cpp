#include "platform/toolkit/WmByteStream.h"

#include <cstring>
#include <new>

namespace {

void PutDoubleLE(unsigned char* out, double v)
{
    std::uint64_t bits;
    std::memcpy(&bits, &v, 8);
    for (int i = 0; i < 8; ++i) out[i] = static_cast<unsigned char>(bits >> (8 * i));
}

double GetDoubleLE(const unsigned char* in)
{
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits |= static_cast<std::uint64_t>(in[i]) << (8 * i);
    double v;
    std::memcpy(&v, &bits, 8);
    return v;
}

} // namespace

bool WmByteStream::ReadBlock(void* buffer, std::uint32_t count)
{
    std::uint32_t got = 0;
    return ReadBytes(buffer, count, &got) && got == count;
}

bool WmByteStream::BytesRemaining(std::int64_t*) { return false; }

bool WmByteStream::WriteMatrix4d(const double m[16])
{
    unsigned char raw[128];
    for (int i = 0; i < 16; ++i) PutDoubleLE(raw + 8 * i, m[i]);
    return WriteBytes(raw, sizeof raw);
}

bool WmByteStream::ReadMatrix4d(double m[16])
{
    unsigned char raw[128];
    std::uint32_t got = 0;
    if (!ReadBytes(raw, sizeof raw, &got) || got != sizeof raw) return false;
    for (int i = 0; i < 16; ++i) m[i] = GetDoubleLE(raw + 8 * i);
    return true;
}

WmMemoryByteStream::WmMemoryByteStream(const void* bytes, std::uint32_t size)
    : m_bytes(static_cast<const unsigned char*>(bytes), static_cast<const unsigned char*>(bytes) + (bytes ? size : 0))
{
}

bool WmMemoryByteStream::Open(void*)
{
    m_open = true;
    m_pos = 0;
    return true;
}

bool WmMemoryByteStream::ReadBytes(void* buffer, std::uint32_t count, std::uint32_t* got)
{
    if (got) *got = 0;
    if (!m_open || (!buffer && count)) return false;
    const std::int64_t size = static_cast<std::int64_t>(m_bytes.size());
    std::int64_t n = m_pos < size ? size - m_pos : 0;
    if (n > count) n = count;
    if (n > 0) std::memcpy(buffer, m_bytes.data() + m_pos, static_cast<std::size_t>(n));
    m_pos += n;
    if (got) *got = static_cast<std::uint32_t>(n);
    return true;
}

bool WmMemoryByteStream::WriteBytes(const void* buffer, std::uint32_t count)
{
    if (!m_open || (!buffer && count)) return false;
    const std::int64_t end = m_pos + count;
    if (end > kMaxSize) return false;
    try {
        if (end > static_cast<std::int64_t>(m_bytes.size())) m_bytes.resize(static_cast<std::size_t>(end)); // a gap after a seek reads as zeros
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (count) std::memcpy(m_bytes.data() + m_pos, buffer, count);
    m_pos = end;
    return true;
}

bool WmMemoryByteStream::Seek(std::int64_t offset)
{
    if (!m_open || offset < 0 || offset > kMaxSize) return false;
    m_pos = offset;
    return true;
}

bool WmMemoryByteStream::Tell(std::int64_t* position)
{
    if (!m_open || !position) return false;
    *position = m_pos;
    return true;
}

bool WmMemoryByteStream::BytesRemaining(std::int64_t* remaining)
{
    if (!m_open || !remaining) return false;
    const std::int64_t size = static_cast<std::int64_t>(m_bytes.size());
    *remaining = m_pos < size ? size - m_pos : 0;
    return true;
}

