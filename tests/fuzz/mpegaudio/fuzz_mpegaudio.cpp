// Bytes in through a memory input module, frames decoded. The first byte chooses the
// options: channel mode, downsampling, a seekable input, the equalizer and a seek mid-stream.
// Inputs and the work per input are bounded so that a corpus of whole songs fuzzes as fast as
// one of small seeds: the first frames of a stream reach the decoding paths a song has (the
// bit reservoir, a seek, a resync), and more frames only repeat them at a cost. Junk costs
// most: the decoder looks for a header byte by byte through its input chain.

#include <mpegaudio/decoder.h>
#include <mpegaudio/mpeg_codec.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_target.h"
#include "memory_input.h"

namespace {

// The options byte and 4 KiB of stream, two frames at the highest rate (run-fuzzers passes
// the same as -max_len).
constexpr size_t kMaxInputBytes = 1 + 4096;
constexpr int kMaxDecodeCalls = 3;
constexpr int kSeekAfterFrames = 1;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > kMaxInputBytes) return 0;
    const uint8_t opts = data[0];
    mpa::test::MemoryInputData input{std::vector<uint8_t>(data + 1, data + size), (opts & 16) != 0};

    Decoder* d = nullptr;
    if (decoder_create(&d) != 0) return 0;
    decoder_register_codec(d, mpeg_codec_module());
    decoder_register_input(d, mpa::test::memory_input_module());
    decoder_set_channel_mode(d, opts & 3);
    decoder_set_downsampling(d, (opts >> 2) % 3);
    if ((opts & 32) != 0) {
        int8_t steps[MPA_EQUALIZER_STEPS];
        for (int i = 0; i < MPA_EQUALIZER_STEPS; ++i) steps[i] = static_cast<int8_t>(i * 37);
        decoder_set_equalizer(d, steps);
    }
    if (decoder_attach_input(d, mpa::test::memory_input_name(&input).c_str(), -1) == 0 &&
        decoder_open_input(d) == 0) {
        std::vector<uint8_t> pcm(static_cast<size_t>(d->codec.max_bytes));
        for (int call = 0; call < kMaxDecodeCalls; ++call) {
            const int32_t rc = decoder_decode(d, pcm.data());
            if (rc != 0 && rc != MPA_E_FATAL) break;
            if (rc == 0 && d->pcm.samples * d->pcm.channels * 2 > pcm.size()) __builtin_trap();
            if ((opts & 64) != 0 && call == kSeekAfterFrames) decoder_seek_fraction(d, 0.37f);
        }
    }
    decoder_destroy(d);
    return 0;
}
