#include "platform/toolkit/WmObjectStream.h"

int WmPtrSwizzle::numberFor(const void* p)
{
    if (!p) return 0;
    auto [it, added] = m_numbers.emplace(p, m_next);
    if (added) ++m_next;
    return it->second;
}

void WmPtrSwizzle::registerPtr(void* p, int number)
{
    m_registered[number] = p;
    m_registeredAs[p] = number;
    auto waiting = m_pending.find(number);
    if (waiting == m_pending.end()) return;
    const std::vector<void**> slots = std::move(waiting->second);
    m_pending.erase(waiting);
    for (void** slot : slots) {
        auto asked = m_pendingNumber.find(slot);
        if (asked == m_pendingNumber.end() || asked->second != number) continue; // withdrawn since
        *slot = p;
        m_pendingNumber.erase(asked);
    }
}

void WmPtrSwizzle::forget(void** slot) { m_pendingNumber.erase(slot); }

void WmPtrSwizzle::resolve(int number, void** slot)
{
    forget(slot);
    auto known = m_registered.find(number);
    if (known != m_registered.end()) {
        *slot = known->second;
        return;
    }
    *slot = nullptr;
    m_pending[number].push_back(slot);
    m_pendingNumber[slot] = number;
}

int WmPtrSwizzle::pendingCount() const { return static_cast<int>(m_pendingNumber.size()); }

bool WmPtrSwizzle::registeredNumber(const void* p, int* number) const
{
    auto it = m_registeredAs.find(p);
    if (it == m_registeredAs.end() || !number) return false;
    *number = it->second;
    return true;
}

WmObjectStream::WmObjectStream(WmBaseDataStream& data) : WmBaseDataStream(data.byteStream())
{
    copyByteOrder(data);
}

WmObjectStream::WmObjectStream(WmBaseDataStream* data) : WmBaseDataStream(data ? data->byteStream() : nullptr)
{
    if (data) copyByteOrder(*data);
}

WmObjectStream::~WmObjectStream() { setSwizzler(nullptr); }

void WmObjectStream::setSwizzler(WmPtrSwizzle* swizzler)
{
    if (swizzler) swizzler->addRef();
    if (m_swizzler) m_swizzler->release();
    m_swizzler = swizzler;
}

bool WmObjectStream::ptr2num(const void* p, int* number)
{
    if (!m_swizzler || !number) return false;
    *number = m_swizzler->numberFor(p);
    return true;
}

bool WmObjectStream::ptrFromNum(int number, void** slot)
{
    if (!slot) return false;
    if (number == 0) {
        *slot = nullptr;
        return true;
    }
    if (!m_swizzler || number < 0) {
        *slot = nullptr;
        return false;
    }
    m_swizzler->resolve(number, slot);
    return true;
}

bool WmObjectStream::registerPtr(void* p, int number)
{
    if (!m_swizzler || !p || number < 1) return false;
    m_swizzler->registerPtr(p, number);
    return true;
}

namespace {
int g_partitionMajor = 0;
int g_partitionMinor = 0;
} // namespace

void WmPartition::setVersion(int major, int minor)
{
    g_partitionMajor = major;
    g_partitionMinor = minor;
}

int WmPartition::majorVersion() { return g_partitionMajor; }

int WmPartition::minorVersion() { return g_partitionMinor; }
