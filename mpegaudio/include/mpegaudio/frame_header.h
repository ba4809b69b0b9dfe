/* MPEG audio frame headers, checked by the rules the decoder itself applies when it looks for
 * frames: for programs that must tell whether bytes hold MPEG audio before they decode them.
 *
 * Plain C; nothing is thrown across this interface. Threads: no state, any thread. */
#ifndef MPEGAUDIO_FRAME_HEADER_H
#define MPEGAUDIO_FRAME_HEADER_H

#include <mpegaudio/decoder.h>

#ifdef __cplusplus
extern "C" {
#endif

/* What a valid header says about its frame. */
typedef struct MpegFrameHeader {
    uint32_t level;       /* 1 MPEG-1, 2 MPEG-2, 0 MPEG 2.5 */
    uint32_t layer;       /* 1, 2 or 3 */
    uint32_t bitrate;     /* kbit/s */
    uint32_t sample_rate; /* Hz */
    uint32_t channels;    /* 1 or 2 */
    uint32_t mode;        /* 0 stereo, 1 joint stereo, 2 dual channel, 3 single channel */
    uint32_t frame_bytes; /* the whole frame, its four header bytes included */
    uint32_t samples;     /* PCM samples per channel at full rate */
} MpegFrameHeader;

/* Checks the four header bytes `word` (the first byte of the frame in the top eight bits):
 * MPA_OK and *out filled when they carry the sync pattern and a header the decoder accepts
 * (free format and reserved values are refused); MPA_E_NOT_POSSIBLE otherwise, *out untouched;
 * MPA_E_BAD_ARGUMENT when out is null. */
MPA_API int32_t mpeg_header_check(uint32_t word, MpegFrameHeader *out);

#ifdef __cplusplus
}
#endif

#endif
