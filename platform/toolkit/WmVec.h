#pragma once
// The toolkit's growable vector of plain values: {data, length, capacity}, its storage taken
// from the platform allocator and booked in the platform's memory total.
//
// Failures (a negative length, an impossible size, an allocation failure, a bad remove) are
// raised as WmError; callers catch it and report failure. The vector is unchanged by a
// failed operation.
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "platform/toolkit/WmPlatform.h"

// How new slots are initialised; specialise for element types whose "empty" value is not
// all bytes zero (a 4x4 matrix starts as the identity, for example).
template <class T>
struct WmVecSlotInit {
    static void fill(T* slots, int n) { std::memset(static_cast<void*>(slots), 0, sizeof(T) * static_cast<std::size_t>(n)); }
};

template <class T>
class WmVecBASE {
    static_assert(std::is_trivially_copyable_v<T>, "WmVecBASE holds plain values only");

public:
    // No single block in a 32-bit process can be larger than this.
    static constexpr std::uint64_t kMaxBytes = 0x7fffffffu;

    WmVecBASE() = default;
    ~WmVecBASE() { release(); }
    WmVecBASE(const WmVecBASE& o) { assign(o.m_data, o.m_len); }
    WmVecBASE& operator=(const WmVecBASE& o)
    {
        if (this != &o) assign(o.m_data, o.m_len);
        return *this;
    }
    WmVecBASE(WmVecBASE&& o) noexcept : m_data(o.m_data), m_len(o.m_len), m_cap(o.m_cap)
    {
        o.m_data = nullptr;
        o.m_len = o.m_cap = 0;
    }

    int length() const { return m_len; }
    int capacity() const { return m_cap; }
    T* data() { return m_data; }
    const T* data() const { return m_data; }
    T& operator[](int i) { return m_data[i]; }
    const T& operator[](int i) const { return m_data[i]; }

    // Makes index i valid (a negative index counts as 0); new slots are initialised.
    bool ensureIndex(int i)
    {
        if (i < 0) i = 0;
        if (i < m_len) return true;
        if (i < m_cap) {
            WmVecSlotInit<T>::fill(m_data + m_len, i + 1 - m_len);
        } else {
            reallocMem(grown(i + 1), true, true);
        }
        m_len = i + 1;
        return true;
    }

    bool setLength(int n)
    {
        if (n < 0) WmErrorState::throwStdError("WmVecBase", "reallocMem", "length >= 0", 1);
        if (n <= m_cap) {
            if (n > m_len) WmVecSlotInit<T>::fill(m_data + m_len, n - m_len);
        } else {
            reallocMem(n, true, true);
        }
        m_len = n;
        return true;
    }

    bool append(const T& value)
    {
        const T copy = value; // the value may live inside the storage about to move
        if (m_len + 1 > m_cap) reallocMem(grown(static_cast<long long>(m_len) + 1), true, false);
        m_data[m_len++] = copy;
        return true;
    }

    bool remove(int start, int n)
    {
        if (start < 0) WmErrorState::throwStdError("WmVecBase", "remove", "WmVecBASE<T,S,Alloc>::remove() -- start<0.", 1);
        if (m_len == 0) return true; // nothing to remove; never grows an empty vector
        if (start >= m_len)
            WmErrorState::throwStdError("WmVecBase", "remove", "WmVecBASE<T,S,Alloc>::remove() -- start>=this->len .", 1);
        if (n == 0) return true;
        if (n < 0 || n > m_len - start) {
            m_len = start;
            return true;
        }
        std::memmove(static_cast<void*>(m_data + start), m_data + start + n, sizeof(T) * static_cast<std::size_t>(m_len - start - n));
        m_len -= n;
        return true;
    }

    // Gives back unused capacity; an empty vector gives back all its storage.
    bool shrinkToFit()
    {
        if (m_len == 0) {
            release();
        } else if (m_cap != m_len) {
            reallocMem(m_len, true, false);
        }
        return true;
    }

    bool assign(const T* values, int n)
    {
        if (n < 0) WmErrorState::throwStdError("WmVecBase", "reallocMem", "length >= 0", 1);
        if (n > m_cap) reallocMem(n, false, false);
        if (n > 0) std::memmove(static_cast<void*>(m_data), values, sizeof(T) * static_cast<std::size_t>(n));
        m_len = n;
        return true;
    }

    void release()
    {
        if (m_cap > 0) {
            WmPlatform::dealloc(m_data);
            WmPlatform::removeFromMemory(bytesFor(m_cap));
        }
        m_data = nullptr;
        m_len = m_cap = 0;
    }

private:
    static std::size_t bytesFor(int n) { return sizeof(T) * static_cast<std::size_t>(n); }

    // max(needed, 2 x capacity), kept within the int range.
    int grown(long long needed) const
    {
        long long cap = 2LL * m_cap;
        if (needed > cap) cap = needed;
        return cap > 0x7fffffffLL ? 0x7fffffff : static_cast<int>(cap);
    }

    void reallocMem(int newCap, bool copy, bool zeroFill)
    {
        const std::uint64_t oldBytes = static_cast<std::uint64_t>(m_cap) * sizeof(T);
        const std::uint64_t newBytes = newCap > 0 ? static_cast<std::uint64_t>(newCap) * sizeof(T) : 0;
        // A byte size that does not grow with the capacity, or cannot exist here, is an overflow.
        if (newCap < 0 || (newCap > m_cap && (newBytes <= oldBytes || newBytes > kMaxBytes)))
            WmErrorState::throwStdError("WmVecBase", "reallocMem", "cNewAllocBytes > cOldAllocBytes", 5);
        T* fresh = nullptr;
        if (newCap > 0) {
            fresh = static_cast<T*>(WmPlatform::alloc(static_cast<std::size_t>(newBytes)));
            if (!fresh) WmErrorState::throwStdError("WmVecBase", "reallocMem", "pNewVec", 5);
        }
        const int kept = m_len < newCap ? m_len : newCap;
        if (kept > 0) {
            if (copy)
                std::memcpy(static_cast<void*>(fresh), m_data, bytesFor(kept));
            else
                WmVecSlotInit<T>::fill(fresh, kept);
        }
        if (zeroFill && newCap > kept) WmVecSlotInit<T>::fill(fresh + kept, newCap - kept);
        if (m_cap > 0) {
            WmPlatform::dealloc(m_data);
            WmPlatform::removeFromMemory(static_cast<std::size_t>(oldBytes));
        }
        if (newCap > 0) WmPlatform::addToMemory(static_cast<std::size_t>(newBytes));
        m_data = fresh;
        m_cap = newCap > 0 ? newCap : 0;
        m_len = kept;
    }

    T* m_data = nullptr;
    int m_len = 0;
    int m_cap = 0;
};

// The instances the system uses.
using WmVecInt = WmVecBASE<int>;
using WmVecDouble = WmVecBASE<double>;
