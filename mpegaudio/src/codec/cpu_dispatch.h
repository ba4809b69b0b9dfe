// Which build of the vectorised hot loops runs. The synthesis and hybrid filterbanks are each
// compiled twice on x86-64: for the baseline instruction set and for AVX2 with FMA. The wide
// build runs where the CPU has AVX2 and FMA, unless the environment variable
// MPEGAUDIO_PORTABLE is set to anything but "" or "0": then the baseline build runs, so that
// one binary can test both.
#pragma once

namespace mpa {

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define A5_MPA_WIDE 1
// Body of a hot loop, inlined into both builds.
#define A5_MPA_INLINE [[gnu::always_inline]] inline
// The attribute that compiles a function for AVX2 with FMA.
#define A5_MPA_WIDE_TARGET [[gnu::target("arch=x86-64-v3")]]
#else
#define A5_MPA_WIDE 0
#define A5_MPA_INLINE inline
#define A5_MPA_WIDE_TARGET
#endif

// True when the wide build may run: decided once per process.
bool wide_build_enabled();

}  // namespace mpa
