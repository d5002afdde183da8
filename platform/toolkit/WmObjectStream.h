#pragma once
// Object streams: data streams that also translate object pointers to numbers and back, so
// that objects written in one session can refer to each other when read in another.
//
// Writing: ptr2num gives each distinct pointer its own number (1, 2, 3, ... in order of
// first use); the null pointer is always 0.
// Reading: every object registers its new address under the number it had when written
// (registerPtr); references are resolved with ptrFromNum, at once when the number is already
// registered, else as soon as it is. A slot handed to ptrFromNum must stay where it is until
// the swizzler is detached: size an array before taking slot addresses from it.
#include <memory>
#include <unordered_map>
#include <vector>

#include "platform/toolkit/WmDataStream.h"
#include "platform/toolkit/WmPlatform.h"

// The numbering tables of one stream session.
class WmPtrSwizzle : public WmRefCounted {
public:
    WmPtrSwizzle() = default;
    WmPtrSwizzle(const WmPtrSwizzle&) = delete;
    WmPtrSwizzle& operator=(const WmPtrSwizzle&) = delete;

    // Writing side: the number of p, given out on first use.
    int numberFor(const void* p);

    // Reading side.
    void registerPtr(void* p, int number);
    // Fills *slot when the number is registered; else clears it and fills it on registration.
    // A slot waits for its latest request only.
    void resolve(int number, void** slot);
    // Withdraws the slot's waiting request, if any: for slots that go away (or get a value
    // of their own) before their number is registered.
    void forget(void** slot);
    // Slots still waiting for their number to be registered.
    int pendingCount() const;
    // The number p was last registered under; false when it was never registered.
    bool registeredNumber(const void* p, int* number) const;
    // Expires when the swizzler goes: lets a slot's owner withdraw a request later without
    // keeping the swizzler alive (swizzlers may live on the stack).
    std::weak_ptr<const void> lifetime() const { return m_alive; }

private:
    std::shared_ptr<const void> m_alive = std::make_shared<int>(0);
    // Hashed, so that numbering and fix-up cost the same for every reference however many
    // there are.
    std::unordered_map<const void*, int> m_numbers;
    int m_next = 1;
    std::unordered_map<int, void*> m_registered;
    std::unordered_map<const void*, int> m_registeredAs; // pointer -> its latest number
    // Slots by the number they asked for; an entry counts only while m_pendingNumber still
    // has the slot waiting for that number (withdrawing touches m_pendingNumber alone).
    std::unordered_map<int, std::vector<void**>> m_pending;
    std::unordered_map<void**, int> m_pendingNumber; // slot -> the number it waits for
};

// Base of both directions: element code takes a WmObjectStream& to write and to read.
class WmObjectStream : public WmBaseDataStream {
public:
    // On the same byte stream as `data`, with its byte order.
    explicit WmObjectStream(WmBaseDataStream& data);
    explicit WmObjectStream(WmBaseDataStream* data); // null: a stream on nothing, every call fails
    ~WmObjectStream() override;

    // Attaches the numbering tables (holding a reference); null detaches them.
    void setSwizzler(WmPtrSwizzle* swizzler);
    WmPtrSwizzle* swizzler() const { return m_swizzler; }

    // False without a swizzler or without an out-pointer. Null gives 0.
    bool ptr2num(const void* p, int* number);
    // Number 0 gives null. A negative number, or no swizzler, clears the slot and fails.
    bool ptrFromNum(int number, void** slot);
    template <class T>
    bool ptrFromNum(int number, T** slot)
    {
        return ptrFromNum(number, reinterpret_cast<void**>(slot));
    }
    // False without a swizzler, for a null pointer or for a number below 1. A number
    // registered twice stands for the later pointer from then on.
    bool registerPtr(void* p, int number);

    // Format version of the toolkit data that follows (geometry blocks).
    void setVersion(int major, int minor)
    {
        m_major = major;
        m_minor = minor;
    }
    int majorVersion() const { return m_major; }
    int minorVersion() const { return m_minor; }

private:
    WmPtrSwizzle* m_swizzler = nullptr;
    int m_major = 0;
    int m_minor = 0;
};

// The writing object stream.
class WmBufferedObjectStream : public WmObjectStream {
public:
    explicit WmBufferedObjectStream(WmBaseDataStream& data) : WmObjectStream(data) {}
    explicit WmBufferedObjectStream(WmBaseDataStream* data) : WmObjectStream(data) {}
};

// Format version that toolkit geometry is written in.
class WmPartition {
public:
    static void setVersion(int major, int minor);
    static int majorVersion();
    static int minorVersion();
};
