#pragma once
// Helpers of the tests that reach behind the element classes' interfaces.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "com/CAPElementClasses.h"
#include "platform/toolkit/WmByteStream.h"
#include "platform/toolkit/WmObjectStream.h"
#include "test_support.h"

namespace plenvort_test {

// The element object behind an IAPElement pointer (every version hands out one sub-object).
inline CAPElement* ObjectOf(IAPElement* e) { return static_cast<CAPElement*>(static_cast<IAPElement16*>(e)); }

inline IAPElement* Elem(IUnknown* p) { return Query<IAPElement>(p, IID_IAPElement); }

// The model object behind any interface of an element, or null.
inline APElement* ModelOf(IUnknown* p)
{
    IAPElement* e = Elem(p);
    if (!e) return nullptr;
    APElement* m = ObjectOf(e)->GetModelObject();
    e->Release();
    return m;
}

template <class T>
T* Model(IUnknown* p)
{
    return dynamic_cast<T*>(ModelOf(p));
}

// Element blocks over memory, little-endian, each stream with a numbering table of its own.
inline void Prepare(WmObjectStream& s)
{
    s.setByteOrder(0);
    auto* swizzle = new WmPtrSwizzle;
    s.setSwizzler(swizzle);
    swizzle->release();
}

struct Writer {
    WmMemoryByteStream bytes;
    WmDataStream data{&bytes};
    WmBufferedObjectStream out{data};
    Writer() { Prepare(out); }
    WmObjectStream* Stream() { return &out; }
    unsigned char* Handle() { return reinterpret_cast<unsigned char*>(&out); }
};

struct Reader {
    WmMemoryByteStream bytes;
    WmDataStream data{&bytes};
    WmObjectStream in{data};
    explicit Reader(const std::vector<unsigned char>& b, std::size_t size = ~std::size_t{0})
        : bytes(b.data(), static_cast<std::uint32_t>(std::min(size, b.size())))
    {
        Prepare(in);
    }
    WmObjectStream* Stream() { return &in; }
    unsigned char* Handle() { return reinterpret_cast<unsigned char*>(&in); }
};

} // namespace plenvort_test
