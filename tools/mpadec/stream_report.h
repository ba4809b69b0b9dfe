// What mpadec tells the user about a stream: the --info block and the progress line.
#pragma once

#include <mpegaudio/decoder.h>

#include <cstdio>

namespace mpadec {

void print_stream_info(Decoder* d, const char* input, std::FILE* out);
void print_progress(const Decoder* d, std::FILE* out);

}  // namespace mpadec
