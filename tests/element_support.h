#pragma once
// Helpers of the tests that reach behind the element classes' interfaces.
#include "com/CAPElementClasses.h"
#include "test_support.h"

namespace plenvort_test {

// The element object behind an IAPElement pointer (every version hands out one sub-object).
inline CAPElement* ObjectOf(IAPElement* e) { return static_cast<CAPElement*>(static_cast<IAPElement16*>(e)); }

} // namespace plenvort_test
