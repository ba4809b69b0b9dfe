/* Writes one block of silence through the installed file output module as a WAV file
 * and checks its size, and checks one frame header; plain C, so the public headers must be C. */
#include <mpegaudio/decoder.h>
#include <mpegaudio/file_modules.h>
#include <mpegaudio/frame_header.h>
#include <stdio.h>

int main(int argc, char **argv) {
    static const unsigned char silence[400];
    char name[1024];
    Decoder *d = NULL;
    FILE *f;
    long size;
    MpegFrameHeader header;
    if (argc != 2) return 2;
    if (mpeg_header_check(0xFFFB9000u, &header) != MPA_OK || header.frame_bytes != 417) return 10;
    snprintf(name, sizeof name, "wav:%s", argv[1]);
    if (decoder_create(&d) != 0) return 3;
    if (decoder_register_output(d, file_output_module()) != 0) return 4;
    if (decoder_attach_output(d, name, -1) != 0 || decoder_open_output(d) != 0) return 5;
    if (decoder_write_output(d, silence, sizeof silence, 2, 2, 44100) != (int32_t)sizeof silence) return 6;
    if (decoder_close_output(d) != 0 || decoder_destroy(d) != 0) return 7;
    f = fopen(argv[1], "rb");
    if (f == NULL) return 8;
    fseek(f, 0, SEEK_END);
    size = ftell(f);
    fclose(f);
    return size == 444 ? 0 : 9;
}
