// Converts interleaved signed 16-bit PCM from one rate and channel count to another: the
// link of a chained Ogg Vorbis file whose format differs from the one its sound buffer was
// made for. Input channels are in Vorbis order (1 to 8); output is the buffer's, mono or
// left and right. Channels are folded first, as the mixer plays them: mono on both sides at
// full level, stereo to mono as the mean, wider layouts to the two sides (centre channels
// on both at -3 dB, LFE left out, each side scaled back to full level). Then, when the
// rates differ, libsamplerate's medium-quality sinc converter changes the rate.
//
// The converted PCM waits in a block of the converter until taken, so a caller can take
// it in whatever pieces its regions come in. The block is sized once per configuration
// for the largest input one push may bring, so nothing is allocated while converting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct SRC_STATE_tag;

namespace orvox::stream {

class PcmConverter {
public:
    // Most frames one push may bring: a Vorbis packet decodes to at most 4096 per channel.
    static constexpr int kMaxPushFrames = 4096;

    PcmConverter() = default;
    ~PcmConverter();
    PcmConverter(const PcmConverter&) = delete;
    PcmConverter& operator=(const PcmConverter&) = delete;

    // Starts converting input at `inRate` with `inChannels` (1 to 8) into the output format
    // (1 or 2 channels); what an earlier input left waiting stays. False (and nothing
    // converting) when the formats are out of reach.
    bool configure(int inRate, int inChannels, int outRate, int outChannels);
    // True between a successful configure and finish or clear.
    bool active() const { return active_; }
    // The input has ended: what the resampler still holds back is converted and waits.
    void finish();
    // Stops converting and drops whatever waits.
    void clear();

    // Converts `frames` interleaved input frames, at most kMaxPushFrames.
    void push(const int16_t* input, int frames);
    // Adds PCM already in the output format after what waits.
    void append(const uint8_t* pcm, size_t bytes);

    size_t waitingBytes() const { return end_ - begin_; }
    // Moves up to `bytes` of the waiting output to `out` (whole frames); the bytes moved.
    size_t take(uint8_t* out, size_t bytes);

private:
    // Runs the resampler over `frames` folded frames; with `last`, until it has given all.
    void resample(const float* input, long frames, bool last);
    // Rounds `frames` output frames to 16 bits after what waits.
    void store(const float* pcm, size_t frames);
    void stopResampler();
    // Moves what waits to the start of the block.
    void compact();

    bool active_ = false;
    SRC_STATE_tag* resampler_ = nullptr;  // none when only the channels differ
    double ratio_ = 1.0;                  // output rate / input rate
    int inChannels_ = 0;
    int outChannels_ = 0;
    std::vector<float> folded_;     // one push in the output's channels
    std::vector<float> resampled_;  // what one run of the resampler gives
    std::vector<uint8_t> waiting_;
    size_t begin_ = 0;
    size_t end_ = 0;
};

}  // namespace orvox::stream
