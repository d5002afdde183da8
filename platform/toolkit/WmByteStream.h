#pragma once
// Byte streams: the raw sources and sinks under the toolkit's data streams.
#include <cstdint>
#include <vector>

class WmByteStream {
public:
    virtual ~WmByteStream() = default;

    // Opens the stream on what the concrete stream is made for (a storage for the document's
    // element-stream adapters; the memory stream ignores it).
    virtual bool Open(void* target) = 0;
    virtual bool IsOpen() const = 0;

    // Reads up to count bytes; *got tells how many arrived. False when nothing can be read.
    virtual bool ReadBytes(void* buffer, std::uint32_t count, std::uint32_t* got) = 0;
    // Reads exactly count bytes.
    virtual bool ReadBlock(void* buffer, std::uint32_t count);
    virtual bool WriteBytes(const void* buffer, std::uint32_t count) = 0;

    // Absolute position from the start of the stream.
    virtual bool Seek(std::int64_t offset) = 0;
    virtual bool Tell(std::int64_t* position) = 0;

    virtual bool IsValid() { return true; }
    virtual bool Flush() { return true; }

    // Bytes left to read, for streams that can tell; false when unknown. Data streams use it
    // to refuse lengths that the stream cannot hold before they allocate anything.
    virtual bool BytesRemaining(std::int64_t* remaining);

    // A 4x4 matrix of doubles as 128 bytes (16 little-endian doubles).
    virtual bool WriteMatrix4d(const double m[16]);
    virtual bool ReadMatrix4d(double m[16]);
};

// A byte stream over a growable memory block: the stream for tests and for in-memory copies.
class WmMemoryByteStream : public WmByteStream {
public:
    WmMemoryByteStream() = default; // open and empty
    WmMemoryByteStream(const void* bytes, std::uint32_t size);

    // Reopens at position 0 keeping the contents.
    bool Open(void* target) override;
    bool IsOpen() const override { return m_open; }
    void Close() { m_open = false; }

    bool ReadBytes(void* buffer, std::uint32_t count, std::uint32_t* got) override;
    bool WriteBytes(const void* buffer, std::uint32_t count) override;
    bool Seek(std::int64_t offset) override;
    bool Tell(std::int64_t* position) override;
    bool BytesRemaining(std::int64_t* remaining) override;

    const std::vector<unsigned char>& Bytes() const { return m_bytes; }
    std::uint32_t Size() const { return static_cast<std::uint32_t>(m_bytes.size()); }

    static constexpr std::int64_t kMaxSize = 0x7fffffff;

private:
    std::vector<unsigned char> m_bytes;
    std::int64_t m_pos = 0;
    bool m_open = true;
};
