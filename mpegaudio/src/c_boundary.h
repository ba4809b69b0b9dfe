// What the decoder library's C interface answers when a body throws. Every exported
// function and every module slot runs its body through a5::guardExport with
// failure_status: the codec's fatal-frame error becomes -700, exhausted memory -100,
// anything else -103, and nothing is ever thrown across the C interface.
#pragma once

#include <mpegaudio/decoder.h>

#include <cstdint>
#include <new>

#include "error_trap.h"
#include "export_guard.h"

namespace mpa {

// Only called from inside the guard's handler, where the exception can be rethrown.
inline std::int32_t failure_status() noexcept {
    try {
        throw;
    } catch (const FatalDecodeError&) {
        return MPA_E_FATAL;
    } catch (const std::bad_alloc&) {
        return MPA_E_NO_MEMORY;
    } catch (...) {
        return MPA_E_INTERNAL;
    }
}

}  // namespace mpa
