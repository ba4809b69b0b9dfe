// File headers for the output module's formats: WAV (little-endian), AIFF and Sun audio
// (big-endian). Each describes 16-bit linear PCM.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace mpa {

enum class PcmFileFormat { raw = 0, wav = 1, aiff = 2, sun = 3 };

struct PcmHeader {
    std::array<std::uint8_t, 54> bytes{};
    std::size_t size = 0;

    std::span<const std::uint8_t> view() const { return {bytes.data(), size}; }
};

// The header for `data_bytes` of PCM; empty for raw. Sizes beyond 32 bits are capped.
PcmHeader make_pcm_header(PcmFileFormat format, std::uint64_t data_bytes, std::uint32_t channels,
                          std::uint32_t sample_rate);

// Whether the format stores samples big-endian, so native little-endian PCM must be swapped.
constexpr bool is_big_endian(PcmFileFormat format) {
    return format == PcmFileFormat::aiff || format == PcmFileFormat::sun;
}

}  // namespace mpa
