#pragma once
// From an element interface pointer back to the model object behind it, for operations that
// copy one model object into another.
#include "model/APElement.h"

// The model object of a live element of this library, found through any of its interfaces;
// null for a null pointer, a foreign object or an element being torn down.
APElement* APElementOf(IUnknown* element);

// The model object behind `target` when it is of class T (or derived from it), else null.
template <class T>
T* APElementOfKind(IUnknown* target, const CRuntimeClass* kind)
{
    APElement* model = APElementOf(target);
    return model && model->IsKindOf(kind) ? static_cast<T*>(model) : nullptr;
}
#define AP_ELEMENT_OF_KIND(T, target) APElementOfKind<T>((target), RUNTIME_CLASS(T))
