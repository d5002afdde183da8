// The byte-stream adapters over a compound file's "Element Stream" and the object-stream
// set-up shared by the document's writer and reader.
#include <gtest/gtest.h>

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

} // namespace
