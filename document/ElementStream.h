#pragma once
// The "Element Stream" of a process document: the toolkit byte streams over the stream of a
// compound file, and the set-up of the object streams that the element classes write their
// blocks to and read them from.
#include <objbase.h>

#include <cstdint>
#include <memory>

#include "platform/toolkit/WmByteStream.h"
#include "platform/toolkit/WmDataStream.h"
#include "platform/toolkit/WmObjectStream.h"

extern const wchar_t kElementStreamName[]; // L"Element Stream"
// Ends the element stream: a GUID whose 16 bytes are all 0xFF.
extern const GUID GUID_EndOfStreamMarker;

// One counted IStream, null while closed, seen through a block of memory: values are copied
// to or from the block, and the platform stream is called once per block (64 KiB), so that
// a value costs no platform call. Position and size are kept here, never asked for.
class APProcStream : public WmByteStream {
public:
    static constexpr std::uint32_t kBlockSize = 64u * 1024u;

    ~APProcStream() override;
    APProcStream(const APProcStream&) = delete;
    APProcStream& operator=(const APProcStream&) = delete;

    bool IsOpen() const override { return m_stream != nullptr; }
    bool Seek(std::int64_t offset) override;
    bool Tell(std::int64_t* position) override;
    bool IsValid() override { return true; }
    bool Flush() override { return true; }

    // Works on `stream` from its start (taking a reference); null closes.
    virtual void Attach(IStream* stream);

protected:
    APProcStream() = default;
    // Opens "Element Stream" of the storage with `openMode`, else creates it with
    // `createMode`. Reports success either way; without a stream every later call fails.
    bool OpenOn(void* storage, DWORD openMode, DWORD createMode);
    // Moves the platform stream's pointer to `offset` unless it is there already.
    bool PlaceAt(std::int64_t offset);
    // The block, allocated on first use; null when memory is short.
    unsigned char* Block();

    IStream* m_stream = nullptr;
    std::int64_t m_pos = 0;       // where the next value goes or comes from
    std::int64_t m_streamPos = -1; // the platform stream's own pointer, -1 while unknown
    std::int64_t m_blockAt = 0;   // stream offset of the block's first byte
    std::uint32_t m_blockLength = 0;

private:
    std::unique_ptr<unsigned char[]> m_block;
};

class APProcWriteStream : public APProcStream {
public:
    APProcWriteStream() = default;
    // Whatever is still in the block goes out; a failure here is lost, so writers call Flush.
    ~APProcWriteStream() override;
    // An existing stream is emptied first, so that nothing of an older tree stays behind.
    bool Open(void* storage) override;
    bool ReadBytes(void* buffer, std::uint32_t count, std::uint32_t* got) override;
    bool ReadBlock(void* buffer, std::uint32_t count) override;
    // False when the stream refused or cut short bytes written before, or refuses these
    // when they go out now: from the first such failure on, every write and Flush fails.
    bool WriteBytes(const void* buffer, std::uint32_t count) override;
    bool WriteMatrix4d(const double m[16]) override;
    // Writes what the block holds; false when the stream refused any of it, now or before.
    bool Flush() override;
    void Attach(IStream* stream) override;

private:
    bool WriteOut(const void* bytes, std::uint32_t count);
    bool m_failed = false;
};

class APProcReadStream : public APProcStream {
public:
    APProcReadStream() = default;
    bool Open(void* storage) override;
    bool ReadBytes(void* buffer, std::uint32_t count, std::uint32_t* got) override;
    // False unless all count bytes arrived.
    bool ReadBlock(void* buffer, std::uint32_t count) override;
    bool WriteBytes(const void* buffer, std::uint32_t count) override;
    bool ReadMatrix4d(double m[16]) override;
    // What is left between the position and the end of the stream.
    bool BytesRemaining(std::int64_t* remaining) override;
    // Also learns the stream's size, once.
    void Attach(IStream* stream) override;

protected:
    // Hears of every piece that a platform read brings in, with its stream offset; false
    // fails the read.
    virtual bool Arrived(std::int64_t, const unsigned char*, std::uint32_t) { return true; }

    std::int64_t m_size = -1; // unknown when the stream cannot tell
};

// Reads the "Element Stream" of one storage and writes every byte it reads, in order, to the
// stream of that name in another storage, so that copying the stream costs no read of its
// own. FinishCopy copies whatever the reading did not reach.
class APProcCopyingReadStream : public APProcReadStream {
public:
    APProcCopyingReadStream() = default;
    ~APProcCopyingReadStream() override;
    // Opens the source in `from` and creates (or empties) the copy in `to`, sized at once.
    bool OpenCopying(IStorage* from, IStorage* to);
    // The rest of the source into the copy; true when the copy is complete.
    bool FinishCopy();

protected:
    bool Arrived(std::int64_t at, const unsigned char* bytes, std::uint32_t count) override;

private:
    bool CopyOut(const unsigned char* bytes, std::uint32_t count);
    IStream* m_copy = nullptr;   // counted
    std::int64_t m_copied = 0;   // bytes of the copy written, from the start
    bool m_failed = false;
};

// The objects of one pass over the element stream: adapter, data stream (byte order 2, no
// swapping), object stream (byte order 0) and a fresh swizzler. The destructor detaches the
// swizzler and releases the rest in reverse order.
class ElementStreamSession {
public:
    enum Direction { Write, Read };
    ElementStreamSession(IStorage* storage, Direction direction);
    // Reads the element stream of `from` while copying it into `copyTo` (see
    // APProcCopyingReadStream).
    ElementStreamSession(IStorage* from, IStorage* copyTo);
    ~ElementStreamSession();
    ElementStreamSession(const ElementStreamSession&) = delete;
    ElementStreamSession& operator=(const ElementStreamSession&) = delete;

    WmObjectStream& Objects() { return *m_objects; }
    WmPtrSwizzle* Swizzler() { return m_swizzler; }
    bool IsOpen() const { return m_bytes->IsOpen(); }
    // Writes out what is still buffered; false when any write of the session failed.
    bool Flush() { return m_bytes->Flush(); }
    // Detaches the swizzler now (slots it fills must not outlive it).
    void Detach();
    // A copying session: completes the copy; true when it is whole. Other sessions: true.
    bool FinishCopy() { return !m_copying || m_copying->FinishCopy(); }

private:
    void Build(Direction direction);
    APProcCopyingReadStream* m_copying = nullptr; // m_bytes, when the session copies
    WmByteStream* m_bytes = nullptr;
    WmDataStream* m_data = nullptr;
    WmObjectStream* m_objects = nullptr;
    WmPtrSwizzle* m_swizzler = nullptr;
};
