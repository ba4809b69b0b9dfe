// The decoder's private area: everything the public Decoder record points into.
#pragma once

#include <mpegaudio/decoder.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "filter_chain.h"
#include "properties.h"

struct DecoderPrivate {
    explicit DecoderPrivate(Decoder* d)
        : input_chain(d, ChainSide::input), output_chain(d, ChainSide::output) {}

    // Used when a decode is given no buffer; grown at codec creation when the codec needs more.
    std::vector<std::byte> pcm_buffer = std::vector<std::byte>(MPA_INTERNAL_PCM_BYTES);
    DecoderOptions options{};
    std::unique_ptr<std::array<std::int8_t, MPA_EQUALIZER_STEPS>> equalizer;
    FilterChain input_chain;
    FilterChain output_chain;
    // Registered modules of each kind, newest first.
    std::vector<std::unique_ptr<ModuleRecord>> inputs, outputs, codecs;
    PropertyList global_properties;
    PropertyList stream_properties;
    std::string input_name;
    std::string output_name;
};

namespace mpa {

// Reports an internal error of the decoder itself (module id 0) and returns MPA_E_INTERNAL.
std::int32_t internal_error(Decoder* d, const char* detail);

// Recomputes fraction and elapsed time from the input's byte position.
void update_play_status(Decoder* d);

// Converts elapsed seconds to hours, minutes, seconds and hundredths.
TimeCode time_code_from_seconds(double seconds);

// Closes the input or output when open and deletes its instance.
void release_input(Decoder* d);
void release_output(Decoder* d);

}  // namespace mpa
