// Modules for exercising the decoder without the MPEG codec: an in-memory input, a codec
// that turns every 8-byte frame of input into a stereo ramp, and an output that keeps
// what it is given. Each test builds its own World; nothing is shared between tests.
#pragma once

#include <mpegaudio/decoder.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace mpa_test {

// Frames of the ramp codec: 8 input bytes give kRampSamples samples per channel.
inline constexpr int kFrameBytes = 8;
inline constexpr int kRampSamples = 32;
inline constexpr uint32_t kRampRate = 8000;
// A frame whose first byte is this makes the codec raise a fatal decoding error.
inline constexpr uint8_t kPoisonByte = 0xFF;

struct CodecCalls {
    int created = 0;
    int deleted = 0;
    int started = 0;
    int analysed = 0;
    int resets = 0;
    std::vector<uint64_t> seek_notices;
    std::vector<uint32_t> option_masks;
    DecoderOptions last_options{};
    int8_t first_eq_step = 0;
};

struct OutputLog {
    std::vector<uint8_t> bytes;
    std::vector<uint32_t> format_flags;
    int tag_calls = 0;
    int writes = 0;
    bool fail_writes = false;
};

// What a test sees of its modules. The modules find the World of the running test
// through a per-thread pointer to the newest World; its decoder reports into `errors`.
struct World {
    World();
    ~World();
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    // Input data by name; names starting with "pipe:" cannot seek.
    std::map<std::string, std::vector<uint8_t>> inputs;
    int input_deletes = 0;
    CodecCalls codec;
    OutputLog output;
    // Duration the ramp codec reports from its stream analysis (0: unknown).
    uint32_t analysed_duration_ms = 10000;
    // Makes the stream analysis raise a fatal decoding error.
    bool analysis_fatal = false;
    std::vector<std::pair<int32_t, std::string>> errors;  // module id, detail text

    Decoder* d = nullptr;

    // Registers the memory input and the ramp codec, then attaches and opens `name`
    // holding `bytes`; returns the first failing status.
    int32_t open_ramp(const std::string& name, std::vector<uint8_t> bytes);

  private:
    World* previous_;  // Worlds nest; the newest one is current
};

World& world();

const ModuleDescriptor* memory_input();
const ModuleDescriptor* ramp_codec();
const ModuleDescriptor* capture_output();
// The capture output with the tag capability, which stores 0x5A5A in the tag word.
const ModuleDescriptor* tagging_output();

// Input bytes for `frames` ramp frames; frame `poison` (if >= 0) is poisoned.
std::vector<uint8_t> ramp_input(int frames, int poison = -1);

}  // namespace mpa_test
