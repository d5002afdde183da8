#pragma once
// The "Element Stream" of a process document: the toolkit byte streams over the stream of a
// compound file, and the set-up of the object streams that the element classes write their
// blocks to and read them from.
#include <objbase.h>

#include "platform/toolkit/WmByteStream.h"
#include "platform/toolkit/WmDataStream.h"
#include "platform/toolkit/WmObjectStream.h"

extern const wchar_t kElementStreamName[]; // L"Element Stream"

// One counted IStream, null while closed.
class APProcStream : public WmByteStream {
public:
    ~APProcStream() override;
    APProcStream(const APProcStream&) = delete;
    APProcStream& operator=(const APProcStream&) = delete;

    bool IsOpen() const override { return m_stream != nullptr; }
    bool Seek(std::int64_t offset) override;
    bool Tell(std::int64_t* position) override;
    bool IsValid() override { return true; }
    bool Flush() override { return true; }

protected:
    APProcStream() = default;
    // Opens "Element Stream" of the storage with `openMode`, else creates it with
    // `createMode`. Reports success either way; without a stream every later call fails.
    bool OpenOn(void* storage, DWORD openMode, DWORD createMode);
    IStream* m_stream = nullptr;
};

class APProcWriteStream : public APProcStream {
public:
    APProcWriteStream() = default;
    // An existing stream is emptied first, so that nothing of an older tree stays behind.
    bool Open(void* storage) override;
    bool ReadBytes(void* buffer, std::uint32_t count, std::uint32_t* got) override;
    bool ReadBlock(void* buffer, std::uint32_t count) override;
    // False when the stream refuses the bytes or takes fewer than given.
    bool WriteBytes(const void* buffer, std::uint32_t count) override;
    bool WriteMatrix4d(const double m[16]) override;
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
};

// The objects of one pass over the element stream: adapter, data stream (byte order 2, no
// swapping), object stream (byte order 0) and a fresh swizzler. The destructor detaches the
// swizzler and releases the rest in reverse order.
class ElementStreamSession {
public:
    enum Direction { Write, Read };
    ElementStreamSession(IStorage* storage, Direction direction);
    ~ElementStreamSession();
    ElementStreamSession(const ElementStreamSession&) = delete;
    ElementStreamSession& operator=(const ElementStreamSession&) = delete;

    WmObjectStream& Objects() { return *m_objects; }
    WmPtrSwizzle* Swizzler() { return m_swizzler; }
    bool IsOpen() const { return m_bytes->IsOpen(); }
    // Detaches the swizzler now (slots it fills must not outlive it).
    void Detach();

private:
    WmByteStream* m_bytes = nullptr;
    WmDataStream* m_data = nullptr;
    WmObjectStream* m_objects = nullptr;
    WmPtrSwizzle* m_swizzler = nullptr;
};
