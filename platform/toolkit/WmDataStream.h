#pragma once
// Typed values on a byte stream.
//
// Encoding: fixed widths, little-endian (byte-reversed when the swap flag is set): int,
// unsigned, float and bool take 4 bytes (a bool is the int 0 or 1, so it reads back through
// the int reader too), a double 8, a GUID 16 (its fields in the same byte order), a matrix
// 16 doubles (128 bytes) or 16 floats (64 bytes), a string a 32-bit length and then its
// bytes without a terminating zero, a byte block just its bytes.
//
// Every operation returns false on failure; a short read fails and leaves the value as it
// was. Lengths read from the stream are checked against what the stream still holds (or
// capped when it cannot tell) before anything is allocated.
#include <cstddef>
#include <cstdint>
#include <string>

#include <guiddef.h>

#include "platform/toolkit/WmByteStream.h"

// The toolkit's narrow string.
class WmString {
public:
    WmString() = default;
    WmString(const char* s) : m_s(s ? s : "") {}
    WmString(const char* s, std::size_t n) : m_s(s ? std::string(s, n) : std::string()) {}

    const char* c_str() const { return m_s.c_str(); }
    std::size_t length() const { return m_s.size(); }
    bool isEmpty() const { return m_s.empty(); }
    const std::string& str() const { return m_s; }

    // Copies the text into the caller's buffer of `size` bytes, cut to size - 1 characters,
    // always NUL-terminated. False only when there is no room at all (null buffer or size < 1).
    bool stringToMbs(char* buffer, int size) const;

    friend bool operator==(const WmString& a, const WmString& b) { return a.m_s == b.m_s; }

private:
    std::string m_s;
};

// A 16-byte identifier laid out as the system's GUID.
struct WmGUID {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::uint8_t data4[8] = {};

    WmGUID() = default;
    WmGUID(const GUID& g);
    GUID toGUID() const;
    operator GUID() const { return toGUID(); }

    friend bool operator==(const WmGUID& a, const WmGUID& b);
};
static_assert(sizeof(WmGUID) == 16);

class WmBaseDataStream {
public:
    // Byte order of values as they are held in memory; a stream whose byte order differs
    // swaps the bytes of every value.
    static int s_systemByteOrder() { return 0; }

    // Longest string a reader accepts when the byte stream cannot tell how much it holds.
    static constexpr std::uint32_t kMaxStringLength = 64u * 1024u * 1024u;

    // Not owned. Built with byte order 2 and no swapping.
    explicit WmBaseDataStream(WmByteStream* bytes) : m_bytes(bytes) {}
    virtual ~WmBaseDataStream() = default;
    WmBaseDataStream(const WmBaseDataStream&) = delete;
    WmBaseDataStream& operator=(const WmBaseDataStream&) = delete;

    WmByteStream* byteStream() const { return m_bytes; }

    void setByteOrder(int order)
    {
        m_byteOrder = order;
        m_swap = order != s_systemByteOrder();
    }
    int byteOrder() const { return m_byteOrder; }
    bool swapBytes() const { return m_swap; }

    bool write(int v);
    bool write(unsigned int v);
    bool write(float v);
    bool write(double v);
    bool write(bool v);
    bool write(const void* bytes, std::uint32_t length);
    bool write(const WmString& s);
    bool write(const WmGUID& g);
    // A bare pointer would silently turn into a bool: write text as WmString, bytes with a length.
    template <class T>
    bool write(const T*) = delete;

    bool read(int& v);
    bool read(unsigned int& v);
    bool read(float& v);
    bool read(double& v);
    bool read(bool& v);
    bool read(void* bytes, std::uint32_t length);
    bool read(WmString& s);
    bool read(WmGUID& g);
    bool read(int* v) { return v && read(*v); }
    bool read(unsigned int* v) { return v && read(*v); }
    bool read(float* v) { return v && read(*v); }
    bool read(double* v) { return v && read(*v); }
    bool read(bool* v) { return v && read(*v); }
    bool read(WmString* s) { return s && read(*s); }
    bool read(WmGUID* g) { return g && read(*g); }

    bool writeMatrix4d(const double m[16]);
    bool readMatrix4d(double m[16]);
    bool writeMatrix4f(const float m[16]);
    bool readMatrix4f(float m[16]);

    // Position in the byte stream, for writers that go back to fill in a count.
    bool tell(std::int64_t* position);
    bool seek(std::int64_t position);
    bool flush() { return m_bytes && m_bytes->Flush(); }

protected:
    void copyByteOrder(const WmBaseDataStream& o)
    {
        m_byteOrder = o.m_byteOrder;
        m_swap = o.m_swap;
    }

private:
    bool putRaw(const void* p, std::uint32_t n);
    bool getRaw(void* p, std::uint32_t n);
    // Does the byte stream still hold n bytes? True when it cannot tell.
    bool mayHold(std::uint32_t n);
    bool put16(std::uint16_t v);
    bool put32(std::uint32_t v);
    bool put64(std::uint64_t v);
    bool get16(std::uint16_t& v);
    bool get32(std::uint32_t& v);
    bool get64(std::uint64_t& v);

    WmByteStream* m_bytes;
    int m_byteOrder = 2;
    bool m_swap = false;
};

class WmDataStream : public WmBaseDataStream {
public:
    explicit WmDataStream(WmByteStream* bytes) : WmBaseDataStream(bytes) {}
};
