#include "platform/toolkit/WmDataStream.h"

#include <cstring>
#include <new>

bool WmString::stringToMbs(char* buffer, int size) const
{
    if (!buffer || size < 1) return false;
    std::size_t n = m_s.size();
    if (n > static_cast<std::size_t>(size - 1)) n = static_cast<std::size_t>(size - 1);
    std::memcpy(buffer, m_s.data(), n);
    buffer[n] = '\0';
    return true;
}

WmGUID::WmGUID(const GUID& g) : data1(g.Data1), data2(g.Data2), data3(g.Data3)
{
    std::memcpy(data4, g.Data4, 8);
}

GUID WmGUID::toGUID() const
{
    GUID g;
    g.Data1 = data1;
    g.Data2 = data2;
    g.Data3 = data3;
    std::memcpy(g.Data4, data4, 8);
    return g;
}

bool operator==(const WmGUID& a, const WmGUID& b)
{
    return a.data1 == b.data1 && a.data2 == b.data2 && a.data3 == b.data3 && std::memcmp(a.data4, b.data4, 8) == 0;
}

bool WmBaseDataStream::putRaw(const void* p, std::uint32_t n)
{
    return m_bytes && m_bytes->WriteBytes(p, n);
}

bool WmBaseDataStream::getRaw(void* p, std::uint32_t n)
{
    if (!m_bytes) return false;
    std::uint32_t got = 0;
    return m_bytes->ReadBytes(p, n, &got) && got == n;
}

bool WmBaseDataStream::mayHold(std::uint32_t n)
{
    std::int64_t left = 0;
    return !m_bytes || !m_bytes->BytesRemaining(&left) || left >= static_cast<std::int64_t>(n);
}

// Scalars go out little-endian, or big-endian when the stream swaps.
bool WmBaseDataStream::put16(std::uint16_t v)
{
    unsigned char b[2];
    for (int i = 0; i < 2; ++i) b[m_swap ? 1 - i : i] = static_cast<unsigned char>(v >> (8 * i));
    return putRaw(b, 2);
}

bool WmBaseDataStream::put32(std::uint32_t v)
{
    unsigned char b[4];
    for (int i = 0; i < 4; ++i) b[m_swap ? 3 - i : i] = static_cast<unsigned char>(v >> (8 * i));
    return putRaw(b, 4);
}

bool WmBaseDataStream::put64(std::uint64_t v)
{
    unsigned char b[8];
    for (int i = 0; i < 8; ++i) b[m_swap ? 7 - i : i] = static_cast<unsigned char>(v >> (8 * i));
    return putRaw(b, 8);
}

bool WmBaseDataStream::get16(std::uint16_t& v)
{
    unsigned char b[2];
    if (!getRaw(b, 2)) return false;
    std::uint16_t r = 0;
    for (int i = 0; i < 2; ++i) r |= static_cast<std::uint16_t>(b[m_swap ? 1 - i : i] << (8 * i));
    v = r;
    return true;
}

bool WmBaseDataStream::get32(std::uint32_t& v)
{
    unsigned char b[4];
    if (!getRaw(b, 4)) return false;
    std::uint32_t r = 0;
    for (int i = 0; i < 4; ++i) r |= static_cast<std::uint32_t>(b[m_swap ? 3 - i : i]) << (8 * i);
    v = r;
    return true;
}

bool WmBaseDataStream::get64(std::uint64_t& v)
{
    unsigned char b[8];
    if (!getRaw(b, 8)) return false;
    std::uint64_t r = 0;
    for (int i = 0; i < 8; ++i) r |= static_cast<std::uint64_t>(b[m_swap ? 7 - i : i]) << (8 * i);
    v = r;
    return true;
}

namespace {
template <class To, class From>
To Bits(From v)
{
    static_assert(sizeof(To) == sizeof(From));
    To r;
    std::memcpy(&r, &v, sizeof r);
    return r;
}
} // namespace

bool WmBaseDataStream::write(int v) { return put32(static_cast<std::uint32_t>(v)); }
bool WmBaseDataStream::write(unsigned int v) { return put32(v); }
bool WmBaseDataStream::write(float v) { return put32(Bits<std::uint32_t>(v)); }
bool WmBaseDataStream::write(double v) { return put64(Bits<std::uint64_t>(v)); }
bool WmBaseDataStream::write(bool v) { return put32(v ? 1u : 0u); }

bool WmBaseDataStream::write(const void* bytes, std::uint32_t length)
{
    if (!bytes && length) return false;
    return putRaw(bytes, length);
}

bool WmBaseDataStream::write(const WmString& s)
{
    if (s.length() > 0xffffffffu) return false;
    const auto n = static_cast<std::uint32_t>(s.length());
    return put32(n) && putRaw(s.c_str(), n);
}

bool WmBaseDataStream::write(const WmGUID& g)
{
    return put32(g.data1) && put16(g.data2) && put16(g.data3) && putRaw(g.data4, 8);
}

bool WmBaseDataStream::read(int& v)
{
    std::uint32_t r;
    if (!get32(r)) return false;
    v = static_cast<int>(r);
    return true;
}

bool WmBaseDataStream::read(unsigned int& v) { return get32(v); }

bool WmBaseDataStream::read(float& v)
{
    std::uint32_t r;
    if (!get32(r)) return false;
    v = Bits<float>(r);
    return true;
}

bool WmBaseDataStream::read(double& v)
{
    std::uint64_t r;
    if (!get64(r)) return false;
    v = Bits<double>(r);
    return true;
}

bool WmBaseDataStream::read(bool& v)
{
    std::uint32_t r;
    if (!get32(r)) return false;
    v = r != 0;
    return true;
}

bool WmBaseDataStream::read(void* bytes, std::uint32_t length)
{
    if (!bytes && length) return false;
    if (!mayHold(length)) return false;
    return getRaw(bytes, length);
}

bool WmBaseDataStream::read(WmString& s)
{
    std::uint32_t n;
    if (!get32(n)) return false;
    if (!mayHold(n) || n > kMaxStringLength) return false;
    // Read in pieces, so that a damaged length fails at the end of the data rather than
    // after allocating what it claims.
    std::string text;
    char chunk[4096];
    for (std::uint32_t left = n; left > 0;) {
        const std::uint32_t k = left < sizeof chunk ? left : static_cast<std::uint32_t>(sizeof chunk);
        if (!getRaw(chunk, k)) return false;
        try {
            text.append(chunk, k);
        } catch (const std::bad_alloc&) {
            return false;
        }
        left -= k;
    }
    s = WmString(text.data(), text.size());
    return true;
}

bool WmBaseDataStream::read(WmGUID& g)
{
    WmGUID r;
    if (!get32(r.data1) || !get16(r.data2) || !get16(r.data3) || !getRaw(r.data4, 8)) return false;
    g = r;
    return true;
}

bool WmBaseDataStream::writeMatrix4d(const double m[16])
{
    if (!m) return false;
    for (int i = 0; i < 16; ++i)
        if (!write(m[i])) return false;
    return true;
}

// Reads the 16 values itself: byte-stream adapters implement their ReadMatrix4d with this.
bool WmBaseDataStream::readMatrix4d(double m[16])
{
    if (!m) return false;
    double r[16];
    for (double& x : r)
        if (!read(x)) return false;
    std::memcpy(m, r, sizeof r);
    return true;
}

bool WmBaseDataStream::writeMatrix4f(const float m[16])
{
    if (!m) return false;
    for (int i = 0; i < 16; ++i)
        if (!write(m[i])) return false;
    return true;
}

bool WmBaseDataStream::readMatrix4f(float m[16])
{
    if (!m) return false;
    float r[16];
    for (float& x : r)
        if (!read(x)) return false;
    std::memcpy(m, r, sizeof r);
    return true;
}

bool WmBaseDataStream::tell(std::int64_t* position) { return m_bytes && position && m_bytes->Tell(position); }

bool WmBaseDataStream::seek(std::int64_t position) { return m_bytes && m_bytes->Seek(position); }
