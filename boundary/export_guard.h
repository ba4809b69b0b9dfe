// The guard around every exported function of every library in the tree: the platform's
// PLAT_API functions, the decoder's C interface and module slots, and the plug-ins' script
// functions and engine entry. No exception crosses an export; each library answers with its
// own failure value instead.
//
// Header-only and free of dependencies, so that each library compiles it in and the decoder
// library stays installable on its own.
//
//     PLAT_API HANDLE CreateThread(...) {
//         return a5::guardExport(nullptr, [&] { return Kernel::instance().createThread(...); });
//     }
//
// `failure` is either the value to answer, or a callable that picks the answer; the callable
// runs inside the handler, so it may rethrow to look at the exception (the decoder maps its
// fatal-frame error and out-of-memory to their own status codes this way).
#pragma once

#include <type_traits>

namespace a5 {

template <class Failure, class Body>
auto guardExport(Failure&& failure, Body&& body) noexcept -> std::invoke_result_t<Body&> {
    try {
        return body();
    } catch (...) {
        if constexpr (std::is_invocable_v<Failure&>) {
            return failure();
        } else {
            return failure;
        }
    }
}

// For exports that answer nothing.
template <class Body>
void guardExport(Body&& body) noexcept {
    try {
        body();
    } catch (...) {
    }
}

}  // namespace a5
