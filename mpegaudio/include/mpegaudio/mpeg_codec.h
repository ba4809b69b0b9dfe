/* The MPEG audio codec module: MPEG-1, MPEG-2 and MPEG 2.5 audio, Layers I, II and III.
 * Register it with decoder_register_codec. */
#ifndef MPEGAUDIO_MPEG_CODEC_H
#define MPEGAUDIO_MPEG_CODEC_H

#include <mpegaudio/decoder.h>

#ifdef __cplusplus
extern "C" {
#endif

MPA_API const ModuleDescriptor* mpeg_codec_module(void);

#ifdef __cplusplus
}
#endif

#endif
