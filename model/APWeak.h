#pragma once
// A link to another element kept without a reference (an owner's back link, a tolerance's
// feature, an element-pointer property): it reads null once that element has ended (its
// dependents still see it while they hear of the end), whoever set it and whatever document
// either is in.
#include "model/APElement.h"

class APWeakLink {
public:
    APWeakLink() = default;
    ~APWeakLink() { Reset(); }
    APWeakLink(const APWeakLink&) = delete;
    APWeakLink& operator=(const APWeakLink&) = delete;

    void Reset();

protected:
    // Points at `pointer`, an interface of one of this library's elements (`element` is the
    // same object as IUnknown); null points at nothing. False, and nothing changes, for
    // another object or an element that is ending.
    bool Point(void* pointer, IUnknown* element);
    void* Pointer() const { return m_pointer; }

private:
    friend class APElement;
    void Cut();

    void* m_pointer = nullptr;
    APElement* m_target = nullptr;
    APWeakLink* m_prev = nullptr; // neighbours among the target's links
    APWeakLink* m_next = nullptr;
};

template <class T>
class APWeak : public APWeakLink {
public:
    T* Get() const { return static_cast<T*>(Pointer()); }
    bool Set(T* p) { return Point(p, p); }
    explicit operator bool() const { return Pointer() != nullptr; }
};
