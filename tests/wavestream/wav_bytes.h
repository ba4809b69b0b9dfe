// Builds RIFF WAVE images in memory and reads the shared media files, for the tests.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "../shared_data.h"

namespace wavtest {

using Bytes = std::vector<std::byte>;

inline void putLe(Bytes& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(std::byte((value >> (8 * i)) & 0xFF));
}

// One chunk: id, size (the body's own unless `declared` says otherwise), body, pad byte.
inline Bytes chunk(const char (&id)[5], const Bytes& body, std::optional<std::uint32_t> declared = {}) {
    Bytes out;
    for (int i = 0; i < 4; ++i) out.push_back(std::byte(id[i]));
    putLe(out, declared.value_or(static_cast<std::uint32_t>(body.size())), 4);
    out.insert(out.end(), body.begin(), body.end());
    if (body.size() % 2 != 0) out.push_back(std::byte{0});
    return out;
}

inline Bytes riffWave(std::initializer_list<Bytes> chunks, std::optional<std::uint32_t> declared = {}) {
    Bytes body;
    for (char c : std::string("WAVE")) body.push_back(std::byte(c));
    for (const Bytes& c : chunks) body.insert(body.end(), c.begin(), c.end());
    return chunk("RIFF", body, declared);
}

// The 16 bytes of a format chunk's fixed fields.
inline Bytes formatFields(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                          std::optional<std::uint16_t> blockAlign = {}) {
    const std::uint16_t align = blockAlign.value_or(static_cast<std::uint16_t>(channels * bits / 8));
    Bytes out;
    putLe(out, tag, 2);
    putLe(out, channels, 2);
    putLe(out, rate, 4);
    putLe(out, rate * align, 4);
    putLe(out, align, 2);
    putLe(out, bits, 2);
    return out;
}

// `count` bytes counting up from `first`, so that any misplaced byte shows.
inline Bytes ramp(std::size_t count, unsigned first = 0) {
    Bytes out(count);
    for (std::size_t i = 0; i < count; ++i) out[i] = std::byte((first + i) & 0xFF);
    return out;
}

inline Bytes slice(const Bytes& bytes, std::size_t offset, std::size_t count) {
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                 bytes.begin() + static_cast<std::ptrdiff_t>(offset + count));
}

inline Bytes readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Bytes out(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) out[i] = std::byte(text[i]);
    return out;
}

inline void writeFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::filesystem::path mediaWav(const char* name) {
    return std::filesystem::path(A5_SHARED_DIR) / "media" / "wav" / name;
}

}  // namespace wavtest

// Skips the test when the shared media set is not there.
#define WAV_MEDIA_OR_SKIP(var, name)                           \
    const std::filesystem::path var = wavtest::mediaWav(name); \
    A5_SKIP_WITHOUT_SHARED(std::filesystem::exists(var), var)
