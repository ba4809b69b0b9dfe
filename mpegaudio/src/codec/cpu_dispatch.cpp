#include "codec/cpu_dispatch.h"

#include <cstdlib>
#include <cstring>

namespace mpa {

namespace {

bool decide() {
#if A5_MPA_WIDE
    const char* force = std::getenv("MPEGAUDIO_PORTABLE");
    if (force != nullptr && *force != '\0' && std::strcmp(force, "0") != 0) return false;
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
    return false;
#endif
}

}  // namespace

bool wide_build_enabled() {
    static const bool enabled = decide();
    return enabled;
}

}  // namespace mpa
