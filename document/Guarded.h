#pragma once
// The frame of the document's interface methods.
#include <new>

#include "platform/mfc/afx.h"

// Runs a method body with the module state entered; nothing escapes as an exception.
template <class F>
HRESULT Guarded(F&& body) noexcept
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}
