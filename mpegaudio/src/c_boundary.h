// Every exported function runs its body through guarded(): exceptions stop here and become
// status codes, so nothing is ever thrown across the C interface.
#pragma once

#include <mpegaudio/decoder.h>

#include <cstdint>
#include <new>

#include "error_trap.h"

namespace mpa {

template <class R, class F>
R guarded_or(R on_failure, F&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return on_failure;
    }
}

template <class F>
std::int32_t guarded(F&& body) noexcept {
    try {
        return body();
    } catch (const FatalDecodeError&) {
        return MPA_E_FATAL;
    } catch (const std::bad_alloc&) {
        return MPA_E_NO_MEMORY;
    } catch (...) {
        return MPA_E_INTERNAL;
    }
}

}  // namespace mpa
