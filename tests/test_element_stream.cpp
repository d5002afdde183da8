// The byte-stream adapters over a compound file's "Element Stream" and the object-stream
// set-up shared by the document's writer and reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "document/ElementStream.h"

namespace {

// A fresh temporary compound file, gone when released.
IStorage* NewStorage()
{
    IStorage* s = nullptr;
    EXPECT_EQ(StgCreateDocfile(nullptr, STGM_DELETEONRELEASE | STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &s),
              S_OK);
    return s;
}

std::vector<unsigned char> StreamBytes(IStorage* storage)
{
    std::vector<unsigned char> bytes;
    IStream* s = nullptr;
    if (FAILED(storage->OpenStream(kElementStreamName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &s))) return bytes;
    unsigned char buffer[256];
    ULONG got = 0;
    while (SUCCEEDED(s->Read(buffer, sizeof buffer, &got)) && got > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    s->Release();
    return bytes;
}

TEST(ElementStreamAdapters, WriterCreatesTheStreamAndWritesThrough)
{
    IStorage* storage = NewStorage();
    ASSERT_NE(storage, nullptr);
    {
        APProcWriteStream w;
        EXPECT_FALSE(w.IsOpen());
        EXPECT_FALSE(w.WriteBytes("x", 1)); // closed
        EXPECT_TRUE(w.Open(storage));
        ASSERT_TRUE(w.IsOpen());
        EXPECT_TRUE(w.WriteBytes("abcd", 4));
        std::int64_t at = -1;
        EXPECT_TRUE(w.Tell(&at));
        EXPECT_EQ(at, 4);
        double m[16];
        for (int i = 0; i < 16; ++i) m[i] = i + 0.5;
        EXPECT_TRUE(w.WriteMatrix4d(m));
        EXPECT_TRUE(w.Tell(&at));
        EXPECT_EQ(at, 4 + 128); // a matrix is exactly 128 bytes
        char buffer[4];
        std::uint32_t got = 7;
        EXPECT_FALSE(w.ReadBytes(buffer, 4, &got));
        EXPECT_EQ(got, 0u);
        EXPECT_TRUE(w.Seek(0));
        EXPECT_TRUE(w.WriteBytes("A", 1));
        EXPECT_TRUE(w.IsValid());
        EXPECT_TRUE(w.Flush());
    }
    const auto bytes = StreamBytes(storage);
    ASSERT_EQ(bytes.size(), 132u);
    EXPECT_EQ(std::memcmp(bytes.data(), "Abcd", 4), 0);
    double first = 0;
    std::memcpy(&first, bytes.data() + 4, 8);
    EXPECT_EQ(first, 0.5);

    // Opening again for writing starts from an empty stream: nothing of the old data stays.
    {
        APProcWriteStream w;
        w.Open(storage);
        EXPECT_TRUE(w.WriteBytes("zz", 2));
    }
    EXPECT_EQ(StreamBytes(storage).size(), 2u);
    storage->Release();
}

TEST(ElementStreamAdapters, ReaderReadsWhatIsThereAndNoMore)
{
    IStorage* storage = NewStorage();
    ASSERT_NE(storage, nullptr);
    double m[16];
    for (int i = 0; i < 16; ++i) m[i] = -i * 1.25;
    {
        APProcWriteStream w;
        w.Open(storage);
        ASSERT_TRUE(w.WriteMatrix4d(m));
        ASSERT_TRUE(w.WriteBytes("tail", 4));
    }
    APProcReadStream r;
    EXPECT_TRUE(r.Open(storage));
    ASSERT_TRUE(r.IsOpen());
    EXPECT_FALSE(r.WriteBytes("x", 1));
    std::int64_t left = 0;
    EXPECT_TRUE(r.BytesRemaining(&left));
    EXPECT_EQ(left, 132);
    double back[16] = {};
    EXPECT_TRUE(r.ReadMatrix4d(back));
    EXPECT_EQ(std::memcmp(back, m, sizeof m), 0);
    char buffer[16] = {};
    std::uint32_t got = 0;
    EXPECT_TRUE(r.ReadBytes(buffer, sizeof buffer, &got));
    EXPECT_EQ(got, 4u);
    EXPECT_EQ(std::memcmp(buffer, "tail", 4), 0);
    EXPECT_TRUE(r.BytesRemaining(&left));
    EXPECT_EQ(left, 0);
    // A block that the stream cannot fill is a failure, not a quiet short read.
    EXPECT_TRUE(r.Seek(130));
    EXPECT_FALSE(r.ReadBlock(buffer, 8));
    EXPECT_FALSE(r.ReadMatrix4d(back));
    storage->Release();
}

TEST(ElementStreamAdapters, WithoutAStorageEverythingFails)
{
    APProcReadStream r;
    EXPECT_TRUE(r.Open(nullptr)); // open always reports success ...
    EXPECT_FALSE(r.IsOpen());     // ... but stays closed
    char b[4];
    std::uint32_t got = 0;
    EXPECT_FALSE(r.ReadBytes(b, 4, &got));
    EXPECT_FALSE(r.ReadBlock(b, 4));
    EXPECT_FALSE(r.Seek(0));
    std::int64_t at = 0;
    EXPECT_FALSE(r.Tell(&at));
    double m[16];
    EXPECT_FALSE(r.ReadMatrix4d(m));

    APProcWriteStream w;
    EXPECT_TRUE(w.Open(nullptr));
    EXPECT_FALSE(w.IsOpen());
    EXPECT_FALSE(w.WriteBytes("x", 1));
    EXPECT_FALSE(w.WriteMatrix4d(m));
}

TEST(ElementStreamAdapters, ReaderOnAStorageWithoutTheStreamReadsNothing)
{
    IStorage* storage = NewStorage();
    ASSERT_NE(storage, nullptr);
    APProcReadStream r;
    r.Open(storage);
    char b[4];
    std::uint32_t got = 9;
    if (r.IsOpen()) {
        EXPECT_TRUE(r.ReadBytes(b, 4, &got));
        EXPECT_EQ(got, 0u);
    } else {
        EXPECT_FALSE(r.ReadBytes(b, 4, &got));
    }
    EXPECT_FALSE(r.ReadBlock(b, 4));
    storage->Release();
}

TEST(ElementStreamSession, ValuesAndPointerNumbersRoundTrip)
{
    IStorage* storage = NewStorage();
    ASSERT_NE(storage, nullptr);
    int a = 0, b = 0;
    {
        ElementStreamSession s(storage, ElementStreamSession::Write);
        ASSERT_TRUE(s.IsOpen());
        EXPECT_EQ(s.Objects().byteOrder(), 0);
        EXPECT_FALSE(s.Objects().swapBytes());
        ASSERT_NE(s.Swizzler(), nullptr);
        int na = 0, nb = 0, again = 0;
        EXPECT_TRUE(s.Objects().ptr2num(&a, &na));
        EXPECT_TRUE(s.Objects().ptr2num(&b, &nb));
        EXPECT_TRUE(s.Objects().ptr2num(&a, &again));
        EXPECT_EQ(na, again);
        EXPECT_NE(na, nb);
        EXPECT_TRUE(s.Objects().write(na));
        EXPECT_TRUE(s.Objects().write(nb));
        EXPECT_TRUE(s.Objects().write(WmString("text")));
        s.Detach();
        int n = 0;
        EXPECT_FALSE(s.Objects().ptr2num(&a, &n)); // no numbering after the swizzler left
    }
    {
        ElementStreamSession s(storage, ElementStreamSession::Read);
        int na = 0, nb = 0;
        ASSERT_TRUE(s.Objects().read(na));
        ASSERT_TRUE(s.Objects().read(nb));
        void* slot = nullptr;
        EXPECT_TRUE(s.Objects().ptrFromNum(nb, &slot)); // asked before it is known
        EXPECT_EQ(slot, nullptr);
        EXPECT_TRUE(s.Objects().registerPtr(&b, nb));
        EXPECT_EQ(slot, &b);
        EXPECT_TRUE(s.Objects().registerPtr(&a, na));
        int number = 0;
        EXPECT_TRUE(s.Swizzler()->registeredNumber(&a, &number));
        EXPECT_EQ(number, na);
        EXPECT_FALSE(s.Swizzler()->registeredNumber(&number, &number));
        WmString text;
        EXPECT_TRUE(s.Objects().read(text));
        EXPECT_STREQ(text.c_str(), "text");
        EXPECT_FALSE(s.Objects().read(na)); // the end
    }
    storage->Release();
}

// ---------------------------------------------------------------------------------------
// Blocks: values travel through memory, the platform stream sees a call per block.

// A real stream seen through a counter of calls; it can refuse every write that would go past
// `failAfter` bytes, or take only part of such a write.
class CountingStream : public IStream {
public:
    explicit CountingStream(IStream* real) : m_real(real) { m_real->AddRef(); }
    virtual ~CountingStream() { m_real->Release(); }

    int writes = 0, reads = 0, seeks = 0, stats = 0;
    ULONGLONG failAfter = ~0ull;
    bool shortWrite = false;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_IStream && iid != IID_ISequentialStream) return E_NOINTERFACE;
        *out = static_cast<IStream*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG n = --m_refs;
        if (n == 0) delete this;
        return n;
    }
    HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* got) override
    {
        ++reads;
        return m_real->Read(pv, cb, got);
    }
    HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* written) override
    {
        ++writes;
        ULARGE_INTEGER at;
        LARGE_INTEGER zero;
        zero.QuadPart = 0;
        m_real->Seek(zero, STREAM_SEEK_CUR, &at);
        if (at.QuadPart + cb > failAfter) {
            if (!shortWrite) return STG_E_MEDIUMFULL;
            return m_real->Write(pv, static_cast<ULONG>(failAfter - at.QuadPart), written);
        }
        return m_real->Write(pv, cb, written);
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* at) override
    {
        ++seeks;
        return m_real->Seek(move, origin, at);
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override { return m_real->SetSize(size); }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream* to, ULARGE_INTEGER cb, ULARGE_INTEGER* r, ULARGE_INTEGER* w) override
    {
        return m_real->CopyTo(to, cb, r, w);
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD flags) override { return m_real->Commit(flags); }
    HRESULT STDMETHODCALLTYPE Revert() override { return m_real->Revert(); }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER o, ULARGE_INTEGER cb, DWORD t) override
    {
        return m_real->LockRegion(o, cb, t);
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER o, ULARGE_INTEGER cb, DWORD t) override
    {
        return m_real->UnlockRegion(o, cb, t);
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* st, DWORD flags) override
    {
        ++stats;
        return m_real->Stat(st, flags);
    }
    HRESULT STDMETHODCALLTYPE Clone(IStream** out) override { return m_real->Clone(out); }

private:
    IStream* m_real;
    ULONG m_refs = 1;
};

// The element stream of a fresh storage, through a counter.
CountingStream* CountedElementStream(IStorage* storage)
{
    IStream* real = nullptr;
    EXPECT_EQ(storage->CreateStream(kElementStreamName, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, &real),
              S_OK);
    if (!real) return nullptr;
    auto* counted = new CountingStream(real);
    real->Release();
    return counted;
}

// Ints 0, 1, 2, ... with a count written ahead of each run of 97 and filled in after it (as
// property lists are), some runs straddling a block boundary; the same steps on a memory
// stream give the bytes expected.
void WriteCountedRuns(WmByteStream& bytes, int values)
{
    WmDataStream data(&bytes);
    for (int i = 0; i < values;) {
        std::int64_t countAt = 0, end = 0;
        ASSERT_TRUE(data.tell(&countAt));
        ASSERT_TRUE(data.write(0));
        int run = 0;
        for (; run < 97 && i < values; ++run, ++i) ASSERT_TRUE(data.write(i));
        ASSERT_TRUE(data.tell(&end));
        ASSERT_TRUE(data.seek(countAt));
        ASSERT_TRUE(data.write(run));
        ASSERT_TRUE(data.seek(end));
    }
}

TEST(ElementStreamBlocks, ValuesAreWrittenAndReadAWholeBlockPerPlatformCall)
{
    constexpr int kValues = 80000; // about 5 blocks
    WmMemoryByteStream expected;
    ASSERT_NO_FATAL_FAILURE(WriteCountedRuns(expected, kValues));
    // Past the block size at once: straight through.
    std::vector<unsigned char> big(APProcStream::kBlockSize + 3, 0xA5);
    ASSERT_TRUE(expected.WriteBytes(big.data(), static_cast<std::uint32_t>(big.size())));
    const std::uint32_t size = expected.Size();

    IStorage* storage = NewStorage();
    ASSERT_NE(storage, nullptr);
    CountingStream* counted = CountedElementStream(storage);
    ASSERT_NE(counted, nullptr);
    {
        APProcWriteStream w;
        w.Attach(counted);
        ASSERT_NO_FATAL_FAILURE(WriteCountedRuns(w, kValues));
        ASSERT_TRUE(w.WriteBytes(big.data(), static_cast<std::uint32_t>(big.size())));
        std::int64_t at = 0;
        EXPECT_TRUE(w.Tell(&at));
        EXPECT_EQ(at, static_cast<std::int64_t>(size));
        EXPECT_TRUE(w.Flush());
        EXPECT_TRUE(w.Flush()); // nothing left: no further call
    }
    // A block apiece, and two more where a count was filled in after its block went out.
    const int blocks = static_cast<int>(size / APProcStream::kBlockSize) + 1;
    EXPECT_LE(counted->writes, 3 * blocks);
    EXPECT_LE(counted->seeks, counted->writes);
    {
        std::vector<unsigned char> written(size + 1);
        LARGE_INTEGER zero;
        zero.QuadPart = 0;
        ULONG got = 0;
        ASSERT_EQ(counted->Seek(zero, STREAM_SEEK_SET, nullptr), S_OK);
        ASSERT_EQ(counted->Read(written.data(), size + 1, &got), S_OK);
        written.resize(got);
        EXPECT_TRUE(written == expected.Bytes());
    }

    // Reading asks the size once, and reads a block per call.
    counted->reads = counted->seeks = counted->stats = 0;
    {
        APProcReadStream r;
        r.Attach(counted);
        WmDataStream data(&r);
        int count = -1, value = -1;
        for (int i = 0; i < kValues;) {
            ASSERT_TRUE(data.read(count));
            for (int k = 0; k < count; ++k, ++i) {
                std::int64_t left = 0;
                ASSERT_TRUE(r.BytesRemaining(&left));
                ASSERT_EQ(left, static_cast<std::int64_t>(size) - (4 * (i + i / 97 + 1)));
                ASSERT_TRUE(data.read(value));
                ASSERT_EQ(value, i);
            }
        }
        std::vector<unsigned char> back(big.size());
        EXPECT_TRUE(r.ReadBlock(back.data(), static_cast<std::uint32_t>(back.size())));
        EXPECT_EQ(back, big);
        EXPECT_FALSE(data.read(value)); // the end
        // Back into a block read before.
        EXPECT_TRUE(r.Seek(4));
        EXPECT_TRUE(data.read(value));
        EXPECT_EQ(value, 0);
    }
    EXPECT_EQ(counted->stats, 1);
    EXPECT_LE(counted->reads, blocks + 3);
    EXPECT_LE(counted->seeks, 3);
    counted->Release();
    storage->Release();
}

TEST(ElementStreamBlocks, AWriteTheStreamRefusesFailsAtOnceAndForEver)
{
    for (bool shortWrite : {false, true}) {
        IStorage* storage = NewStorage();
        ASSERT_NE(storage, nullptr);
        CountingStream* counted = CountedElementStream(storage);
        ASSERT_NE(counted, nullptr);
        counted->failAfter = 100000;
        counted->shortWrite = shortWrite;
        {
            APProcWriteStream w;
            w.Attach(counted);
            const int value = 7;
            std::uint32_t given = 0;
            while (w.WriteBytes(&value, 4)) {
                given += 4;
                ASSERT_LT(given, 2 * APProcStream::kBlockSize + 8) << "the refusal went unnoticed";
            }
            EXPECT_GE(given, 100000u - APProcStream::kBlockSize);
            EXPECT_FALSE(w.WriteBytes(&value, 4));
            EXPECT_FALSE(w.Flush());
        }
        // The session the document saves through reports it too.
        counted->Release();
        storage->Release();
    }
    IStorage* storage = NewStorage();
    ASSERT_NE(storage, nullptr);
    {
        ElementStreamSession session(storage, ElementStreamSession::Write);
        EXPECT_TRUE(session.Objects().write(1));
        EXPECT_TRUE(session.Flush());
    }
    storage->Release();
}

} // namespace


// The open road reads the file's element stream once, copying it as it goes: whatever the
// reading skipped, read again or never reached, the copy ends up byte for byte the source.
TEST(ElementStreamBlocks, ACopyingReaderLeavesAWholeCopy)
{
    std::vector<unsigned char> source(3 * APProcStream::kBlockSize + 12345);
    for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<unsigned char>((i * 2654435761u) >> 11);
    IStorage* from = NewStorage();
    IStorage* to = NewStorage();
    ASSERT_NE(from, nullptr);
    ASSERT_NE(to, nullptr);
    {
        APProcWriteStream w;
        ASSERT_TRUE(w.Open(from));
        ASSERT_TRUE(w.WriteBytes(source.data(), static_cast<std::uint32_t>(source.size())));
        ASSERT_TRUE(w.Flush());
        // An older, longer stream in the target goes.
        std::vector<unsigned char> old(source.size() + 999, 0x11);
        APProcWriteStream stale;
        ASSERT_TRUE(stale.Open(to));
        ASSERT_TRUE(stale.WriteBytes(old.data(), static_cast<std::uint32_t>(old.size())));
        ASSERT_TRUE(stale.Flush());
    }
    {
        APProcCopyingReadStream r;
        ASSERT_TRUE(r.OpenCopying(from, to));
        std::vector<unsigned char> got(APProcStream::kBlockSize + 10);
        ASSERT_TRUE(r.ReadBlock(got.data(), 100));
        EXPECT_TRUE(std::equal(got.begin(), got.begin() + 100, source.begin()));
        ASSERT_TRUE(r.Seek(40)); // back: already copied
        ASSERT_TRUE(r.ReadBlock(got.data(), 8));
        EXPECT_EQ(got[0], source[40]);
        ASSERT_TRUE(r.Seek(2 * APProcStream::kBlockSize + 7)); // ahead: a gap for the end to fill
        ASSERT_TRUE(r.ReadBlock(got.data(), static_cast<std::uint32_t>(got.size()))); // straight through
        EXPECT_TRUE(std::equal(got.begin(), got.end(), source.begin() + 2 * APProcStream::kBlockSize + 7));
        EXPECT_TRUE(r.FinishCopy());
    }
    EXPECT_TRUE(StreamBytes(to) == source);

    // Without a source stream, or without a target, nothing is read and no copy is whole.
    IStorage* empty = NewStorage();
    APProcCopyingReadStream none;
    EXPECT_FALSE(none.OpenCopying(empty, to));
    EXPECT_FALSE(none.IsOpen() && none.FinishCopy());
    EXPECT_FALSE(none.OpenCopying(from, nullptr));
    EXPECT_FALSE(none.FinishCopy());
    unsigned char byte = 0;
    EXPECT_FALSE(none.ReadBlock(&byte, 1));
    empty->Release();
    to->Release();
    from->Release();
}
