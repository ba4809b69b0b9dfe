// What a COM-style platform export answers when its body throws (see export_guard.h):
// E_OUTOFMEMORY when memory ran out, E_FAIL for anything else.
#pragma once

#include <plat/wintypes.h>

#include <new>

namespace plat {

// Only called from inside the guard's handler, where the exception can be rethrown.
inline HRESULT failureResult() noexcept {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

}  // namespace plat
