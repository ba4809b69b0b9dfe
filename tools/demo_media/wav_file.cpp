#include "wav_file.h"

#include <string_view>

namespace demo_media {
namespace {

void tag(std::vector<std::uint8_t>& out, std::string_view text) {
    out.insert(out.end(), text.begin(), text.end());
}

void le(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

}  // namespace

std::vector<std::uint8_t> wavBytes(const Pcm& pcm) {
    constexpr unsigned kChannels = 2, kBytesPerSample = 2;
    const auto dataBytes = static_cast<std::uint32_t>(pcm.samples.size() * kBytesPerSample);
    const auto rate = static_cast<std::uint32_t>(pcm.rate);
    std::vector<std::uint8_t> out;
    out.reserve(44 + dataBytes);
    tag(out, "RIFF");
    le(out, 36 + dataBytes, 4);
    tag(out, "WAVEfmt ");
    le(out, 16, 4);
    le(out, 1, 2);  // PCM
    le(out, kChannels, 2);
    le(out, rate, 4);
    le(out, rate * kChannels * kBytesPerSample, 4);
    le(out, kChannels * kBytesPerSample, 2);
    le(out, 8 * kBytesPerSample, 2);
    tag(out, "data");
    le(out, dataBytes, 4);
    for (std::int16_t s : pcm.samples) le(out, static_cast<std::uint16_t>(s), 2);
    return out;
}

}  // namespace demo_media
