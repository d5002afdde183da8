#pragma once
// A held interface reference, released when the holder goes.
#include <objbase.h>

#include "model/APComQuery.h"

template <class T>
class ComRef {
public:
    ComRef() = default;
    // Takes over a reference the caller already owns.
    explicit ComRef(T* p) : m_p(p) {}
    ~ComRef() { Reset(); }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;

    // Adds a reference of its own.
    static ComRef Hold(T* p)
    {
        if (p) p->AddRef();
        return ComRef(p);
    }
    ComRef(ComRef&& o) noexcept : m_p(o.m_p) { o.m_p = nullptr; }
    ComRef& operator=(ComRef&& o) noexcept
    {
        if (this != &o) {
            Reset();
            m_p = o.m_p;
            o.m_p = nullptr;
        }
        return *this;
    }

    void Reset()
    {
        if (m_p) m_p->Release();
        m_p = nullptr;
    }
    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    // For out-parameters: releases what is held first.
    T** Out()
    {
        Reset();
        return &m_p;
    }
    void** OutVoid() { return reinterpret_cast<void**>(Out()); }
    T* Detach()
    {
        T* p = m_p;
        m_p = nullptr;
        return p;
    }

private:
    T* m_p = nullptr;
};

// p queried for I; empty when it does not answer.
template <class I, class T>
ComRef<I> QueryRef(T* p, REFIID iid)
{
    ComRef<I> r;
    if (p && FAILED(p->QueryInterface(iid, r.OutVoid()))) r.Reset();
    return r;
}

// Same COM object?
template <class A, class B>
bool SameObject(A* a, B* b)
{
    if (!a || !b) return static_cast<void*>(a) == static_cast<void*>(b);
    IUnknown* id = Identity(a);
    return id && id == Identity(b);
}
