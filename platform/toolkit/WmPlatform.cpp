#include "platform/toolkit/WmPlatform.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<long long> g_memoryInUse{0};
}

namespace {
std::atomic<std::size_t> g_allocLimit{0};
}

void* WmPlatform::alloc(std::size_t bytes)
{
    const std::size_t limit = g_allocLimit.load();
    if (limit && bytes > limit) return nullptr;
    return std::malloc(bytes ? bytes : 1);
}

void WmPlatform::limitAllocations(std::size_t maxBytes) { g_allocLimit = maxBytes; }

void WmPlatform::dealloc(void* p) { std::free(p); }

void WmPlatform::addToMemory(std::size_t bytes) { g_memoryInUse += static_cast<long long>(bytes); }

void WmPlatform::removeFromMemory(std::size_t bytes) { g_memoryInUse -= static_cast<long long>(bytes); }

long long WmPlatform::memoryInUse() { return g_memoryInUse.load(); }

WmError::WmError(std::string className, std::string method, std::string message, int code)
    : m_class(std::move(className)), m_method(std::move(method)), m_message(std::move(message)), m_code(code)
{
    m_what = m_class + "::" + m_method + ": " + m_message + " (" + std::to_string(m_code) + ")";
}

void WmErrorState::throwStdError(const char* className, const char* method, const char* message, int code)
{
    throw WmError(className ? className : "", method ? method : "", message ? message : "", code);
}

void WmErrorState::rethrowError()
{
    if (std::current_exception()) throw;
    throw WmError("WmErrorState", "rethrowError", "no current error", 1);
}

void* WmAllocHooked::operator new(std::size_t size)
{
    void* p = WmPlatform::alloc(size);
    if (!p) throw std::bad_alloc();
    WmPlatform::addToMemory(size);
    return p;
}

void WmAllocHooked::operator delete(void* p, std::size_t size) noexcept
{
    if (!p) return;
    WmPlatform::removeFromMemory(size);
    WmPlatform::dealloc(p);
}
