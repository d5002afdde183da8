#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "platform/toolkit/WmByteStream.h"
#include "platform/toolkit/WmDataStream.h"
#include "platform/toolkit/WmObjectStream.h"
#include "platform/toolkit/WmVec.h"

namespace {

const GUID kGuid = {0x01020304, 0x0506, 0x0708, {9, 10, 11, 12, 13, 14, 15, 16}};

// A byte stream that cannot tell how much it holds, as a COM stream adapter may be.
class BlindStream : public WmMemoryByteStream {
public:
    using WmMemoryByteStream::WmMemoryByteStream;
    bool BytesRemaining(std::int64_t*) override { return false; }
};

// Reads matrices the way the element-stream adapter does: a temporary data stream on itself.
class AdapterLikeStream : public WmMemoryByteStream {
public:
    bool ReadMatrix4d(double m[16]) override
    {
        WmDataStream data(this);
        return data.readMatrix4d(m);
    }
};

void Matrix(double m[16], double base)
{
    for (int i = 0; i < 16; ++i) m[i] = base + i * 0.25;
}

} // namespace

TEST(WmDataStream, EveryValueKindRoundTrips)
{
    WmMemoryByteStream bytes;
    WmDataStream out(&bytes);
    double m[16], mBack[16];
    float f[16], fBack[16];
    Matrix(m, -3.5);
    for (int i = 0; i < 16; ++i) f[i] = 0.5f * static_cast<float>(i) - 2.0f;
    const unsigned char block[5] = {0, 0xff, 7, 0x80, 1};

    ASSERT_TRUE(out.write(std::numeric_limits<int>::min()));
    ASSERT_TRUE(out.write(-7));
    ASSERT_TRUE(out.write(0xfffffffeu));
    ASSERT_TRUE(out.write(3.25f));
    ASSERT_TRUE(out.write(-1.0e300));
    ASSERT_TRUE(out.write(std::numeric_limits<double>::quiet_NaN()));
    ASSERT_TRUE(out.write(true));
    ASSERT_TRUE(out.write(block, sizeof block));
    ASSERT_TRUE(out.write(WmString("name\twith tab")));
    ASSERT_TRUE(out.write(WmString("")));
    ASSERT_TRUE(out.write(WmGUID(kGuid)));
    ASSERT_TRUE(out.writeMatrix4d(m));
    ASSERT_TRUE(out.writeMatrix4f(f));
    EXPECT_EQ(bytes.Size(), 4u * 3 + 4 + 8 * 2 + 4 + 5 + (4 + 13) + 4 + 16 + 128 + 64);

    bytes.Open(nullptr);
    WmDataStream in(&bytes);
    int i1 = 0, i2 = 0;
    unsigned u = 0;
    float fl = 0;
    double d1 = 0, d2 = 0;
    bool b = false;
    unsigned char blockBack[5] = {};
    WmString s1, s2("not empty");
    WmGUID g;
    ASSERT_TRUE(in.read(i1));
    ASSERT_TRUE(in.read(&i2)); // pointer form reads the same
    ASSERT_TRUE(in.read(u));
    ASSERT_TRUE(in.read(fl));
    ASSERT_TRUE(in.read(d1));
    ASSERT_TRUE(in.read(d2));
    ASSERT_TRUE(in.read(b));
    ASSERT_TRUE(in.read(blockBack, sizeof blockBack));
    ASSERT_TRUE(in.read(s1));
    ASSERT_TRUE(in.read(s2));
    ASSERT_TRUE(in.read(g));
    ASSERT_TRUE(in.readMatrix4d(mBack));
    ASSERT_TRUE(in.readMatrix4f(fBack));
    EXPECT_EQ(i1, std::numeric_limits<int>::min());
    EXPECT_EQ(i2, -7);
    EXPECT_EQ(u, 0xfffffffeu);
    EXPECT_EQ(fl, 3.25f);
    EXPECT_EQ(d1, -1.0e300);
    EXPECT_TRUE(std::isnan(d2));
    EXPECT_TRUE(b);
    EXPECT_EQ(std::memcmp(block, blockBack, sizeof block), 0);
    EXPECT_STREQ(s1.c_str(), "name\twith tab");
    EXPECT_TRUE(s2.isEmpty());
    EXPECT_TRUE(IsEqualGUID(g.toGUID(), kGuid));
    EXPECT_EQ(std::memcmp(m, mBack, sizeof m), 0);
    EXPECT_EQ(std::memcmp(f, fBack, sizeof f), 0);
    int extra;
    EXPECT_FALSE(in.read(extra)); // at the end
}

TEST(WmDataStream, LittleEndianFixedWidthsAndBoolAsInt)
{
    WmMemoryByteStream bytes;
    WmDataStream out(&bytes);
    ASSERT_TRUE(out.write(0x01020304));
    ASSERT_TRUE(out.write(true));
    ASSERT_TRUE(out.write(false));
    ASSERT_TRUE(out.write(WmString("ab")));
    const unsigned char expected[] = {4, 3, 2, 1, 1, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 'a', 'b'};
    ASSERT_EQ(bytes.Size(), sizeof expected);
    EXPECT_EQ(std::memcmp(bytes.Bytes().data(), expected, sizeof expected), 0);

    bytes.Open(nullptr);
    WmDataStream in(&bytes);
    int v = 0, yes = -1, no = -1;
    ASSERT_TRUE(in.read(v));
    ASSERT_TRUE(in.read(yes));
    ASSERT_TRUE(in.read(no));
    EXPECT_EQ(yes, 1);
    EXPECT_EQ(no, 0);
}

TEST(WmDataStream, ByteOrderSetterDecidesSwapping)
{
    WmMemoryByteStream bytes;
    WmDataStream data(&bytes);
    EXPECT_EQ(data.byteOrder(), 2);
    EXPECT_FALSE(data.swapBytes());
    data.setByteOrder(WmBaseDataStream::s_systemByteOrder());
    EXPECT_FALSE(data.swapBytes());
    data.setByteOrder(2);
    EXPECT_TRUE(data.swapBytes());

    ASSERT_TRUE(data.write(0x01020304));
    ASSERT_TRUE(data.write(1.5));
    EXPECT_EQ(bytes.Bytes()[0], 1); // swapped: most significant byte first
    bytes.Open(nullptr);
    WmDataStream in(&bytes);
    in.setByteOrder(2);
    int v = 0;
    double d = 0;
    ASSERT_TRUE(in.read(v));
    ASSERT_TRUE(in.read(d));
    EXPECT_EQ(v, 0x01020304);
    EXPECT_EQ(d, 1.5);
}

TEST(WmDataStream, ShortReadsFailAndKeepTheValue)
{
    WmMemoryByteStream full;
    WmDataStream out(&full);
    double m[16];
    Matrix(m, 1.0);
    ASSERT_TRUE(out.writeMatrix4d(m));
    ASSERT_EQ(full.Size(), 128u); // a matrix is exactly 128 bytes

    WmMemoryByteStream cut(full.Bytes().data(), 127);
    WmDataStream in(&cut);
    double back[16];
    Matrix(back, 99.0);
    EXPECT_FALSE(in.readMatrix4d(back));
    EXPECT_EQ(back[0], 99.0); // nothing half-written

    const unsigned char three[3] = {1, 2, 3};
    for (int kind = 0; kind < 6; ++kind) {
        WmMemoryByteStream s(three, sizeof three);
        WmDataStream d(&s);
        int i = 42;
        unsigned u = 42;
        float f = 42;
        double dbl = 42;
        WmGUID g;
        unsigned char block[4] = {9, 9, 9, 9};
        switch (kind) {
        case 0: EXPECT_FALSE(d.read(i)); EXPECT_EQ(i, 42); break;
        case 1: EXPECT_FALSE(d.read(u)); EXPECT_EQ(u, 42u); break;
        case 2: EXPECT_FALSE(d.read(f)); EXPECT_EQ(f, 42.0f); break;
        case 3: EXPECT_FALSE(d.read(dbl)); EXPECT_EQ(dbl, 42.0); break;
        case 4: EXPECT_FALSE(d.read(g)); break;
        case 5: EXPECT_FALSE(d.read(block, sizeof block)); EXPECT_EQ(block[0], 9); break;
        }
    }

    WmDataStream noBytes(nullptr);
    int i = 0;
    EXPECT_FALSE(noBytes.read(i));
    EXPECT_FALSE(noBytes.write(1));
}

TEST(WmDataStream, CorruptStringLengthsAreRefused)
{
    // A length far beyond the data: refused before reading, whether or not the stream can
    // tell how much it holds.
    const unsigned char huge[] = {0xf0, 0xff, 0xff, 0x7f, 'a', 'b', 'c'};
    WmMemoryByteStream knowing(huge, sizeof huge);
    WmDataStream in(&knowing);
    WmString s("kept");
    EXPECT_FALSE(in.read(s));
    EXPECT_STREQ(s.c_str(), "kept");

    BlindStream blind(huge, sizeof huge);
    WmDataStream blindIn(&blind);
    EXPECT_FALSE(blindIn.read(s));
    EXPECT_STREQ(s.c_str(), "kept");

    // Within the cap but longer than the data: fails at the end of the data.
    const unsigned char shortText[] = {0x00, 0x00, 0x10, 0x00, 'a', 'b', 'c'};
    BlindStream blind2(shortText, sizeof shortText);
    WmDataStream blindIn2(&blind2);
    EXPECT_FALSE(blindIn2.read(s));
    EXPECT_STREQ(s.c_str(), "kept");
}

TEST(WmString, StringToMbsTruncatesSafely)
{
    WmString s("abcdef");
    char buf[8];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_TRUE(s.stringToMbs(buf, 4));
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(buf[4], 'x');
    EXPECT_TRUE(s.stringToMbs(buf, 1));
    EXPECT_STREQ(buf, "");
    EXPECT_TRUE(s.stringToMbs(buf, sizeof buf));
    EXPECT_STREQ(buf, "abcdef");
    buf[0] = 'q';
    EXPECT_FALSE(s.stringToMbs(buf, 0));
    EXPECT_EQ(buf[0], 'q');
    EXPECT_FALSE(s.stringToMbs(nullptr, 10));
}

TEST(WmByteStream, AdapterMatrixReadDoesNotRecurse)
{
    AdapterLikeStream bytes;
    double m[16], back[16];
    Matrix(m, 7.0);
    ASSERT_TRUE(bytes.WriteMatrix4d(m));
    EXPECT_EQ(bytes.Size(), 128u);
    bytes.Open(nullptr);
    ASSERT_TRUE(bytes.ReadMatrix4d(back));
    EXPECT_EQ(std::memcmp(m, back, sizeof m), 0);
    // The data stream's writer and the byte stream's reader agree.
    WmMemoryByteStream other;
    WmDataStream out(&other);
    ASSERT_TRUE(out.writeMatrix4d(m));
    EXPECT_EQ(other.Bytes(), bytes.Bytes());
}

TEST(WmByteStream, MemoryStreamSeekTellAndGap)
{
    WmMemoryByteStream bytes;
    WmDataStream data(&bytes);
    std::int64_t placeholder = -1, end = -1;
    ASSERT_TRUE(data.tell(&placeholder));
    ASSERT_TRUE(data.write(0));
    ASSERT_TRUE(data.write(5.0));
    ASSERT_TRUE(data.tell(&end));
    ASSERT_TRUE(data.seek(placeholder));
    ASSERT_TRUE(data.write(2));
    ASSERT_TRUE(data.seek(end));
    EXPECT_EQ(end, 12);
    EXPECT_FALSE(bytes.Seek(-1));
    ASSERT_TRUE(bytes.Seek(20));
    ASSERT_TRUE(bytes.WriteBytes("z", 1));
    EXPECT_EQ(bytes.Size(), 21u);
    EXPECT_EQ(bytes.Bytes()[15], 0);
    bytes.Open(nullptr);
    int count = 0;
    ASSERT_TRUE(data.read(count));
    EXPECT_EQ(count, 2);
    bytes.Close();
    EXPECT_FALSE(data.read(count));
    EXPECT_FALSE(data.write(1));
}

// Element code serializes through one stream type for both directions.
namespace {
struct Node {
    int value = 0;
    Node* ref = nullptr;
    bool Serialize(WmObjectStream& s) const
    {
        int self = 0, other = 0;
        return s.ptr2num(this, &self) && s.ptr2num(ref, &other) && s.write(self) && s.write(value) && s.write(other);
    }
    bool Deserialize(WmObjectStream& s)
    {
        int self = 0, other = 0;
        return s.read(self) && s.read(value) && s.read(other) && s.registerPtr(this, self) && s.ptrFromNum(other, &ref);
    }
};
} // namespace

TEST(WmObjectStream, ReferencesSurviveAWriteAndRead)
{
    Node a, b, c;
    a.value = 1;
    b.value = 2;
    c.value = 3;
    a.ref = &c; // forward reference: c is read after a
    b.ref = &a; // backward reference
    c.ref = &c; // itself

    WmMemoryByteStream bytes;
    {
        WmDataStream data(&bytes);
        WmBufferedObjectStream out(data);
        out.setByteOrder(0);
        auto* swizzle = new WmPtrSwizzle;
        out.setSwizzler(swizzle);
        swizzle->release();
        ASSERT_TRUE(a.Serialize(out));
        ASSERT_TRUE(b.Serialize(out));
        ASSERT_TRUE(c.Serialize(out));
        out.setSwizzler(nullptr);
    }

    bytes.Open(nullptr);
    WmDataStream data(&bytes);
    WmObjectStream in(data);
    in.setByteOrder(0);
    WmPtrSwizzle swizzle;
    in.setSwizzler(&swizzle);
    EXPECT_EQ(swizzle.refCount(), 2);
    Node a2, b2, c2;
    ASSERT_TRUE(a2.Deserialize(in));
    EXPECT_EQ(a2.ref, nullptr); // waits for c2
    EXPECT_EQ(swizzle.pendingCount(), 1);
    ASSERT_TRUE(b2.Deserialize(in));
    ASSERT_TRUE(c2.Deserialize(in));
    EXPECT_EQ(swizzle.pendingCount(), 0);
    in.setSwizzler(nullptr);
    EXPECT_EQ(swizzle.refCount(), 1);
    EXPECT_EQ(a2.value, 1);
    EXPECT_EQ(a2.ref, &c2);
    EXPECT_EQ(b2.ref, &a2);
    EXPECT_EQ(c2.ref, &c2);
}

TEST(WmObjectStream, NumberingRules)
{
    WmMemoryByteStream bytes;
    WmDataStream data(&bytes);
    WmObjectStream s(data);
    int n = -1;
    void* slot = &n;
    EXPECT_FALSE(s.ptr2num(&n, &n)); // no swizzler yet
    EXPECT_FALSE(s.registerPtr(&n, 1));
    EXPECT_FALSE(s.ptrFromNum(1, &slot));
    EXPECT_EQ(slot, nullptr);

    WmPtrSwizzle swizzle;
    s.setSwizzler(&swizzle);
    int x, y, nx = 0, ny = 0, again = 0, nul = -1;
    ASSERT_TRUE(s.ptr2num(&x, &nx));
    ASSERT_TRUE(s.ptr2num(&y, &ny));
    ASSERT_TRUE(s.ptr2num(&x, &again));
    ASSERT_TRUE(s.ptr2num(nullptr, &nul));
    EXPECT_EQ(nx, again);
    EXPECT_NE(nx, ny);
    EXPECT_GT(nx, 0);
    EXPECT_EQ(nul, 0);
    EXPECT_FALSE(s.ptr2num(&x, nullptr));

    // Registered before use: filled at once. Number 0 is null.
    ASSERT_TRUE(s.registerPtr(&x, 5));
    slot = nullptr;
    ASSERT_TRUE(s.ptrFromNum(5, &slot));
    EXPECT_EQ(slot, &x);
    slot = &y;
    ASSERT_TRUE(s.ptrFromNum(0, &slot));
    EXPECT_EQ(slot, nullptr);
    slot = &y;
    EXPECT_FALSE(s.ptrFromNum(-200000, &slot));
    EXPECT_EQ(slot, nullptr);
    EXPECT_FALSE(s.ptrFromNum(5, static_cast<void**>(nullptr)));
    EXPECT_FALSE(s.registerPtr(nullptr, 6));
    EXPECT_FALSE(s.registerPtr(&x, 0));

    // A slot asked twice waits for its latest number only.
    void* reused = nullptr;
    void* other = nullptr;
    ASSERT_TRUE(s.ptrFromNum(7, &reused));
    ASSERT_TRUE(s.ptrFromNum(8, &reused));
    ASSERT_TRUE(s.ptrFromNum(7, &other));
    EXPECT_EQ(swizzle.pendingCount(), 2);
    ASSERT_TRUE(s.registerPtr(&x, 7));
    EXPECT_EQ(reused, nullptr);
    EXPECT_EQ(other, &x);
    ASSERT_TRUE(s.registerPtr(&y, 8));
    EXPECT_EQ(reused, &y);

    // A number registered again stands for the later pointer.
    ASSERT_TRUE(s.registerPtr(&y, 5));
    ASSERT_TRUE(s.ptrFromNum(5, &slot));
    EXPECT_EQ(slot, &y);
    s.setSwizzler(nullptr);
}

TEST(WmObjectStream, SharesTheByteStreamAndVersion)
{
    WmMemoryByteStream bytes;
    WmDataStream data(&bytes);
    data.setByteOrder(2); // swapping
    WmObjectStream s(&data);
    EXPECT_TRUE(s.swapBytes()); // takes the data stream's byte order
    s.setByteOrder(0);
    EXPECT_FALSE(s.swapBytes());
    ASSERT_TRUE(s.write(1));
    EXPECT_EQ(bytes.Size(), 4u);
    s.setVersion(8, 2);
    EXPECT_EQ(s.majorVersion(), 8);
    EXPECT_EQ(s.minorVersion(), 2);
    WmPartition::setVersion(8, 2);
    EXPECT_EQ(WmPartition::majorVersion(), 8);
    EXPECT_EQ(WmPartition::minorVersion(), 2);
}

TEST(WmRefCounted, CountsAndDeletesThroughTheHookedAllocator)
{
    static int destroyed = 0;
    struct Obj : WmRefCounted {
        double payload[4] = {};
        ~Obj() override { ++destroyed; }
    };
    const long long before = WmPlatform::memoryInUse();
    Obj* o = new Obj;
    EXPECT_EQ(WmPlatform::memoryInUse(), before + static_cast<long long>(sizeof(Obj)));
    EXPECT_EQ(o->refCount(), 1);
    EXPECT_EQ(o->addRef(), 2);
    EXPECT_EQ(o->release(), 1);
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(o->release(), 0);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(WmPlatform::memoryInUse(), before);
}

TEST(WmVecBASE, GrowthRules)
{
    const long long before = WmPlatform::memoryInUse();
    {
        WmVecBASE<double> v;
        int caps[5];
        for (int i = 0; i < 5; ++i) {
            ASSERT_TRUE(v.append(i));
            caps[i] = v.capacity();
        }
        EXPECT_EQ(caps[0], 1);
        EXPECT_EQ(caps[1], 2);
        EXPECT_EQ(caps[2], 4);
        EXPECT_EQ(caps[3], 4);
        EXPECT_EQ(caps[4], 8);
        EXPECT_EQ(WmPlatform::memoryInUse(), before + 8 * static_cast<long long>(sizeof(double)));
        ASSERT_TRUE(v.append(v[0])); // a value from inside survives the move
        EXPECT_EQ(v[5], 0.0);

        ASSERT_TRUE(v.shrinkToFit());
        EXPECT_EQ(v.capacity(), 6);
        EXPECT_EQ(WmPlatform::memoryInUse(), before + 6 * static_cast<long long>(sizeof(double)));
    }
    EXPECT_EQ(WmPlatform::memoryInUse(), before);

    WmVecBASE<int> v;
    ASSERT_TRUE(v.ensureIndex(5));
    EXPECT_EQ(v.length(), 6);
    EXPECT_EQ(v.capacity(), 6);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(v[i], 0);
    v[5] = 9;
    ASSERT_TRUE(v.ensureIndex(6)); // doubles past the needed size
    EXPECT_EQ(v.capacity(), 12);
    EXPECT_EQ(v.length(), 7);
    ASSERT_TRUE(v.ensureIndex(2)); // already there: nothing happens
    EXPECT_EQ(v.length(), 7);
    ASSERT_TRUE(v.setLength(3));
    std::memset(v.data() + 3, 0xab, sizeof(int) * 4); // stale values beyond the length
    ASSERT_TRUE(v.setLength(7));                      // are zeroed when the length grows back
    EXPECT_EQ(v[6], 0);
    EXPECT_EQ(v.capacity(), 12);
    ASSERT_TRUE(v.setLength(20)); // beyond the capacity: exactly the length asked
    EXPECT_EQ(v.capacity(), 20);
    EXPECT_EQ(v[19], 0);

    WmVecBASE<int> w;
    ASSERT_TRUE(w.ensureIndex(-4)); // a negative index counts as 0
    EXPECT_EQ(w.length(), 1);
    const int src[3] = {4, 5, 6};
    ASSERT_TRUE(w.assign(src, 3));
    EXPECT_EQ(w.length(), 3);
    EXPECT_EQ(w[2], 6);
    ASSERT_TRUE(w.assign(src, 0));
    EXPECT_EQ(w.length(), 0);
    ASSERT_TRUE(w.shrinkToFit());
    EXPECT_EQ(w.capacity(), 0);
    EXPECT_EQ(w.data(), nullptr);
}

TEST(WmVecBASE, RemoveRules)
{
    WmVecBASE<int> v;
    for (int i = 0; i < 6; ++i) v.append(i);
    ASSERT_TRUE(v.remove(1, 2));
    ASSERT_EQ(v.length(), 4);
    EXPECT_EQ(v[1], 3);
    EXPECT_EQ(v[3], 5);
    ASSERT_TRUE(v.remove(1, 0));
    EXPECT_EQ(v.length(), 4);
    ASSERT_TRUE(v.remove(2, 100)); // past the end: cut to start
    EXPECT_EQ(v.length(), 2);
    ASSERT_TRUE(v.remove(1, -1));
    EXPECT_EQ(v.length(), 1);
    EXPECT_EQ(v.capacity(), 8); // never shrinks

    try {
        v.remove(-1, 1);
        FAIL() << "negative start accepted";
    } catch (const WmError& e) {
        EXPECT_EQ(e.className(), "WmVecBase");
        EXPECT_EQ(e.method(), "remove");
        EXPECT_EQ(e.message(), "WmVecBASE<T,S,Alloc>::remove() -- start<0.");
        EXPECT_EQ(e.code(), 1);
    }
    try {
        v.remove(1, 1);
        FAIL() << "start at the length accepted";
    } catch (const WmError& e) {
        EXPECT_EQ(e.message(), "WmVecBASE<T,S,Alloc>::remove() -- start>=this->len .");
        EXPECT_EQ(e.code(), 1);
    }
    EXPECT_EQ(v.length(), 1);

    WmVecBASE<int> empty; // removing from an empty vector never makes it grow
    ASSERT_TRUE(empty.remove(5, 1));
    EXPECT_EQ(empty.length(), 0);
    EXPECT_EQ(empty.capacity(), 0);
}

TEST(WmVecBASE, ErrorsLeaveTheVectorAlone)
{
    WmVecBASE<double> v;
    v.append(1.0);
    v.append(2.0);
    const long long before = WmPlatform::memoryInUse();
    try {
        v.setLength(-1);
        FAIL();
    } catch (const WmError& e) {
        EXPECT_EQ(e.className(), "WmVecBase");
        EXPECT_EQ(e.method(), "reallocMem");
        EXPECT_EQ(e.message(), "length >= 0");
        EXPECT_EQ(e.code(), 1);
    }
    // A byte size beyond what a 32-bit process can hold is an overflow, even where the
    // 32-bit product would wrap to something larger than the old size.
    for (int n : {0x7fffffff, 0x20000001, 0x10000000}) {
        try {
            v.setLength(n);
            FAIL() << n;
        } catch (const WmError& e) {
            EXPECT_EQ(e.message(), "cNewAllocBytes > cOldAllocBytes");
            EXPECT_EQ(e.code(), 5);
        }
        try {
            v.ensureIndex(n - 1);
            FAIL() << n;
        } catch (const WmError& e) {
            EXPECT_EQ(e.message(), "cNewAllocBytes > cOldAllocBytes");
        }
    }
    // Possible in principle but not in this address space.
    WmPlatform::limitAllocations(1 << 20);
    try {
        v.setLength(0x00100000);
        FAIL();
    } catch (const WmError& e) {
        EXPECT_EQ(e.message(), "pNewVec");
        EXPECT_EQ(e.code(), 5);
    }
    WmPlatform::limitAllocations(0);
    EXPECT_EQ(v.length(), 2);
    EXPECT_EQ(v.capacity(), 2);
    EXPECT_EQ(v[1], 2.0);
    EXPECT_EQ(WmPlatform::memoryInUse(), before);
    try {
        WmErrorState::throwStdError("A", "b", "c", 3);
    } catch (const WmError&) {
        EXPECT_THROW(WmErrorState::rethrowError(), WmError);
    }
}
