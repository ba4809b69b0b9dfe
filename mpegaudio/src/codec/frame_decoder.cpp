#include "codec/frame_decoder.h"

#include "codec/layer12.h"

namespace mpa {

FrameDecoder::FrameDecoder(ByteSource source) : reader_(source) {
    reset();
}

void FrameDecoder::reset() {
    synth_reset(synth_[0]);
    synth_reset(synth_[1]);
    layer3_reset(layer3_);
    frame_reset(reader_);
}

void FrameDecoder::set_equalizer(const int8_t* steps) {
    synth_set_gains(synth_[0], steps);
    synth_set_gains(synth_[1], steps == nullptr ? nullptr : steps + kSubbands);
}

void FrameDecoder::get_equalizer(int8_t* steps) const {
    synth_get_steps(synth_[0], steps);
    synth_get_steps(synth_[1], steps + kSubbands);
}

int32_t FrameDecoder::decode(int16_t* pcm, PcmFrame& out) {
    if (const int32_t rc = frame_next(reader_, header_); rc != 0) {
        if (rc == kEndOfInput) reader_.stream_error = 0;
        return rc;
    }
    const FrameHeader& h = header_;
    const uint32_t rate = h.sample_rate();
    const unsigned shift = downsample_shift(downsampling_, rate);

    SynthChannel* first = &synth_[0];
    SynthChannel* second = nullptr;
    unsigned stride = 1;
    if (h.channels() == 2) {
        switch (channel_mode_) {
            case 1:
                break;
            case 2:
                first = nullptr;
                second = &synth_[1];
                break;
            case 3:
                second = first;  // the same object receives the mix
                break;
            default:
                second = &synth_[1];
                stride = 2;
                break;
        }
    }
    for (SynthChannel* ch : {first, second}) {  // wired to the caller's buffer
        if (ch != nullptr) {
            ch->shift = shift;
            ch->stride = stride;
            ch->out = pcm;
        }
    }
    if (stride == 2) second->out = pcm + 1;

    switch (h.layer()) {
        case 1:
            layer1_decode_frame(reader_, h, shift, first, second);
            break;
        case 2:
            layer2_decode_frame(reader_, h, shift, first, second);
            break;
        default:
            layer3_.shift = shift;
            layer3_decode_frame(reader_, h, layer3_, first, second);
            break;
    }
    out.samples = h.samples() >> shift;
    out.channels = stride;
    out.sample_rate = rate >> shift;
    out.stream_error = reader_.stream_error;
    reader_.stream_error = 0;
    return 0;
}

}  // namespace mpa
