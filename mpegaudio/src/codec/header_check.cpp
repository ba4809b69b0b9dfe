// The public face of the frame layer's header check.
#include <mpegaudio/frame_header.h>

#include "c_boundary.h"
#include "codec/frame.h"

extern "C" MPA_API int32_t mpeg_header_check(uint32_t word, MpegFrameHeader* out) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (out == nullptr) return MPA_E_BAD_ARGUMENT;
        const mpa::FrameHeader h = mpa::header_split(word);
        if (!mpa::has_sync(word) || !mpa::header_valid(h)) return MPA_E_NOT_POSSIBLE;
        *out = MpegFrameHeader{h.level(),    h.layer(), h.bitrate_kbps(),     h.sample_rate(),
                               h.channels(), h.mode,    mpa::frame_length(h), h.samples()};
        return MPA_OK;
    });
}
