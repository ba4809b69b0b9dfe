// Writes valid tracker modules. The fixed ones are small test modules: one looping
// square-wave sample, one pattern with notes on its first channel (on every channel in the
// XM), played once through. mod31(song) writes a four-channel module of the caller's
// making; it throws std::invalid_argument for a song the format cannot hold.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace orvox::tracker::test {

using Bytes = std::vector<std::uint8_t>;

Bytes mod31();  // "M.K." module, 31 instruments, 4 channels
Bytes mod15();  // 15-instrument module without a signature
Bytes s3m();
Bytes xm(unsigned channels = 4);

struct ModSample {
    std::string name;               // at most 22 characters
    std::vector<std::int8_t> data;  // even length, at most 128 KiB
    unsigned volume = 64;           // 0..64
    std::size_t loopStart = 0;      // bytes, even
    std::size_t loopLength = 0;     // bytes, even; 0 plays the sample once
};

// One cell of a pattern: period 0 keeps the playing note; sample 0 keeps the channel's
// sample; effect and parameter as the format has them (0xC, 0 silences the channel).
struct ModCell {
    unsigned period = 0;  // 0..4095
    unsigned sample = 0;  // 0..31, counted from 1
    unsigned effect = 0;
    unsigned parameter = 0;
};

inline constexpr int kModRows = 64;
inline constexpr int kModChannels = 4;
using ModPattern = std::array<std::array<ModCell, kModChannels>, kModRows>;

struct ModSong {
    std::string title;                // at most 20 characters
    std::vector<ModSample> samples;   // at most 31
    std::vector<ModPattern> patterns; // exactly the ones the order names, 0 up to its largest
    std::vector<unsigned> order;      // 1..128 entries
};

Bytes mod31(const ModSong& song);  // "M.K." module

void writeFile(const std::filesystem::path& path, const Bytes& bytes);
Bytes readFile(const std::filesystem::path& path);

}  // namespace orvox::tracker::test
