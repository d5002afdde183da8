#pragma once
// The model's growable array of plain values: {data, count, capacity}.
// Writing at or beyond the count grows it; new slots are zero-filled.
#include <cstring>
#include <concepts>
#include <stdexcept>
#include <type_traits>

template <class T>
class APArray {
    static_assert(std::is_trivially_copyable_v<T>, "APArray holds plain values only");

public:
    static constexpr unsigned kMaxIndex = 0x7fffffffu;

    APArray() = default;
    ~APArray() { Release(); }
    APArray(const APArray&) = delete;
    APArray& operator=(const APArray&) = delete;
    APArray(APArray&& o) noexcept : m_data(o.m_data), m_count(o.m_count), m_capacity(o.m_capacity)
    {
        o.m_data = nullptr;
        o.m_count = o.m_capacity = 0;
    }

    unsigned GetCount() const { return m_count; }
    unsigned GetCapacity() const { return m_capacity; }
    int Count() const { return static_cast<int>(m_count); }
    T* Data() { return m_data; }
    const T* Data() const { return m_data; }

    void Release()
    {
        if (m_capacity != 0) delete[] m_data;
        m_data = nullptr;
        m_capacity = 0;
    }

    void Reserve(unsigned newCapacity, bool keep)
    {
        T* fresh = newCapacity ? new T[newCapacity] : nullptr;
        if (keep && m_data && fresh) std::memcpy(static_cast<void*>(fresh), m_data, sizeof(T) * (m_count < newCapacity ? m_count : newCapacity));
        delete[] m_data;
        m_data = fresh;
        m_capacity = newCapacity;
        if (m_count > m_capacity) m_count = m_capacity;
    }

    void SetSize(unsigned n)
    {
        if (n > kMaxIndex) throw std::out_of_range("");
        if (n > m_capacity) Reserve(n, true);
        if (n > m_count) ZeroFill(m_count, n);
        m_count = n;
    }

    // Write access; grows the array to hold the index.
    T& ElementAt(unsigned index)
    {
        if (index >= kMaxIndex) throw std::out_of_range("");
        if (index < m_count) return m_data[index];
        if (index + 1 > m_capacity) Reserve(Grown(index + 1), true);
        ZeroFill(m_count, index + 1);
        m_count = index + 1;
        return m_data[index];
    }
    T& ElementAt(int index) { return ElementAt(static_cast<unsigned>(index)); }

    // Read access that never grows: out of range is an error.
    const T& GetAt(int index) const
    {
        if (index < 0 || static_cast<unsigned>(index) >= m_count) throw std::out_of_range("");
        return m_data[index];
    }
    T& operator[](int index) { return const_cast<T&>(static_cast<const APArray&>(*this).GetAt(index)); }
    const T& operator[](int index) const { return GetAt(index); }

    T& Append(const T& value)
    {
        T copy = value; // the value may live inside this array
        if (m_count + 1 > m_capacity) Reserve(Grown(m_count + 1), true);
        m_data[m_count] = copy;
        return m_data[m_count++];
    }

    void AppendArray(const T* values, unsigned n)
    {
        if (n == 0) return;
        if (m_count + n > m_capacity) Reserve(Grown(m_count + n), true);
        std::memcpy(static_cast<void*>(m_data + m_count), values, sizeof(T) * n);
        m_count += n;
    }

    void InsertAt(int index, const T& value)
    {
        if (index < 0) return;
        if (static_cast<unsigned>(index) >= m_count) {
            Append(value);
            return;
        }
        T copy = value;
        ElementAt(m_count);
        std::memmove(static_cast<void*>(m_data + index + 1), m_data + index, sizeof(T) * (m_count - 1 - index));
        m_data[index] = copy;
    }

    bool RemoveAt(int index, int n = 1)
    {
        if (index < 0 || static_cast<unsigned>(index) >= m_count) return false;
        unsigned rest = m_count - index;
        if (n < 0 || static_cast<unsigned>(n) > rest) {
            SetSize(index);
            return true;
        }
        std::memmove(static_cast<void*>(m_data + index), m_data + index + n, sizeof(T) * (rest - n));
        m_count -= n;
        return true;
    }

    bool Find(const T& value, int* index, int from = 0) const
    {
        *index = -1;
        if (from < 0) from = 0;
        if (static_cast<unsigned>(from) >= m_count) return false;
        for (unsigned i = from; i < m_count; ++i) {
            if (Same(m_data[i], value)) {
                *index = static_cast<int>(i);
                return true;
            }
        }
        return false;
    }

    bool Contains(const T& value) const
    {
        int i;
        return Find(value, &i);
    }

    void RemoveAll() { m_count = 0; }

private:
    static bool Same(const T& a, const T& b)
    {
        if constexpr (std::equality_comparable<T>) return a == b;
        else return std::memcmp(&a, &b, sizeof(T)) == 0;
    }
    unsigned Grown(unsigned needed) const
    {
        unsigned doubled = m_capacity > kMaxIndex ? kMaxIndex : m_capacity * 2;
        return needed > doubled ? needed : doubled;
    }
    void ZeroFill(unsigned from, unsigned to)
    {
        if (to > from) std::memset(static_cast<void*>(m_data + from), 0, sizeof(T) * (to - from));
    }

    T* m_data = nullptr;
    unsigned m_count = 0;
    unsigned m_capacity = 0;
};
