/* The shipped file modules: input from a named file or standard input ("-"), output to a
 * named file or standard output ("-") as raw PCM, WAV, AIFF or Sun audio ("raw:", "wav:",
 * "aiff:", "sun:" prefixes). Register them with decoder_register_input / _output. */
#ifndef MPEGAUDIO_FILE_MODULES_H
#define MPEGAUDIO_FILE_MODULES_H

#include <mpegaudio/decoder.h>

#ifdef __cplusplus
extern "C" {
#endif

MPA_API const ModuleDescriptor *file_input_module(void);
MPA_API const ModuleDescriptor *file_output_module(void);

#ifdef __cplusplus
}
#endif

#endif
