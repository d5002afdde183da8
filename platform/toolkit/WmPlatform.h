#pragma once
// Toolkit platform services: the allocator with its byte accounting, the toolkit error and
// the reference-counted object base.
#include <atomic>
#include <cstddef>
#include <exception>
#include <string>

class WmPlatform {
public:
    // Raw storage; null when the allocation fails (never throws).
    static void* alloc(std::size_t bytes);
    // Makes every allocation above `maxBytes` fail (0: no limit), as it would in a full
    // address space, so that the failure paths can be exercised on any build.
    static void limitAllocations(std::size_t maxBytes);
    static void dealloc(void* p);

    // Running total of the bytes that toolkit containers and objects hold.
    static void addToMemory(std::size_t bytes);
    static void removeFromMemory(std::size_t bytes);
    static long long memoryInUse();
};

// A toolkit failure: which class and method reported it, the message and the error code.
class WmError : public std::exception {
public:
    WmError(std::string className, std::string method, std::string message, int code);

    const char* what() const noexcept override { return m_what.c_str(); }
    const std::string& className() const { return m_class; }
    const std::string& method() const { return m_method; }
    const std::string& message() const { return m_message; }
    int code() const { return m_code; }

private:
    std::string m_class, m_method, m_message, m_what;
    int m_code;
};

class WmErrorState {
public:
    [[noreturn]] static void throwStdError(const char* className, const char* method, const char* message, int code);
    // Inside a handler: passes the error being handled on to the caller.
    [[noreturn]] static void rethrowError();
};

// Toolkit objects are allocated through the platform allocator and booked with their size.
class WmAllocHooked {
public:
    static void* operator new(std::size_t size);
    static void operator delete(void* p, std::size_t size) noexcept;
};

// Base of reference-counted toolkit objects. A new object starts with one reference,
// owned by its creator; the release that drops the count to zero deletes it.
class WmRefCounted : public WmAllocHooked {
public:
    long addRef() { return ++m_refs; }
    long release()
    {
        long left = --m_refs;
        if (left == 0) delete this;
        return left;
    }
    long refCount() const { return m_refs.load(); }

protected:
    WmRefCounted() = default;
    WmRefCounted(const WmRefCounted&) : m_refs(1) {}
    WmRefCounted& operator=(const WmRefCounted&) { return *this; }
    virtual ~WmRefCounted() = default;

private:
    std::atomic<long> m_refs{1};
};
