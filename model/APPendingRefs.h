#pragma once
// Element references read from an object stream and not yet fixed up. The stream's swizzler
// fills the slots as the referenced elements register, so the slots never move while it may
// still write to them: a new read, Clear and the destructor first withdraw every request.
#include <cstddef>
#include <memory>
#include <vector>

#include "Plenvort_h.h"
#include "platform/toolkit/WmObjectStream.h"

class APPendingRefs {
public:
    APPendingRefs() = default;
    APPendingRefs(const APPendingRefs&) = delete;
    APPendingRefs& operator=(const APPendingRefs&) = delete;
    ~APPendingRefs() { Clear(); }

    // Replaces the slots by one per number, each filled now or on registration. Number 0,
    // and a number the stream cannot resolve, leave null.
    void Request(WmObjectStream& stream, const std::vector<int>& numbers)
    {
        Clear();
        if (numbers.empty()) return;
        m_slots = std::make_unique<IAPElement*[]>(numbers.size());
        m_count = numbers.size();
        if (WmPtrSwizzle* swizzler = stream.swizzler()) {
            m_swizzler = swizzler;
            m_swizzlerAlive = swizzler->lifetime();
        }
        for (std::size_t i = 0; i < m_count; ++i)
            if (!stream.ptrFromNum(numbers[i], &m_slots[i])) m_slots[i] = nullptr;
    }

    void Clear()
    {
        if (m_swizzler && !m_swizzlerAlive.expired())
            for (std::size_t i = 0; i < m_count; ++i) m_swizzler->forget(reinterpret_cast<void**>(&m_slots[i]));
        m_swizzler = nullptr;
        m_swizzlerAlive.reset();
        m_slots.reset();
        m_count = 0;
    }

    int Count() const { return static_cast<int>(m_count); }
    IAPElement* operator[](int index) const { return m_slots[static_cast<std::size_t>(index)]; }

private:
    std::unique_ptr<IAPElement*[]> m_slots;
    std::size_t m_count = 0;
    WmPtrSwizzle* m_swizzler = nullptr; // asked to fill the slots; no reference, see lifetime()
    std::weak_ptr<const void> m_swizzlerAlive;
};
