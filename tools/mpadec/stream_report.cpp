#include "stream_report.h"

namespace mpadec {

namespace {

void print_text(Decoder* d, std::FILE* out, const char* label, const char* property) {
    char text[256];
    if (decoder_get_stream_string(d, property, text, sizeof text) == 0)
        std::fprintf(out, "%-12s %s\n", label, text);
}

void print_int(Decoder* d, std::FILE* out, const char* label, const char* property, const char* const* names,
               int count) {
    int32_t v = 0;
    if (decoder_get_stream_int(d, property, &v) != 0) return;
    if (v >= 0 && v < count) {
        std::fprintf(out, "%-12s %s\n", label, names[v]);
    } else {
        std::fprintf(out, "%-12s %d\n", label, v);
    }
}

}  // namespace

void print_stream_info(Decoder* d, const char* input, std::FILE* out) {
    static const char* const levels[] = {"MPEG 2.5", "MPEG-1", "MPEG-2"};
    static const char* const layers[] = {"?", "I", "II", "III"};
    static const char* const modes[] = {"stereo", "joint stereo", "dual channel", "single channel"};
    const StreamInfo& info = d->status.info;
    std::fprintf(out, "%-12s %s\n", "input:", input);
    if (info.duration_ms != 0) {
        const uint32_t s = info.duration_ms / 1000;
        std::fprintf(out, "%-12s %u:%02u:%02u.%02u (%u ms)\n", "duration:", s / 3600, s / 60 % 60, s % 60,
                     info.duration_ms % 1000 / 10, info.duration_ms);
    } else {
        std::fprintf(out, "%-12s unknown\n", "duration:");
    }
    if (info.bitrate != 0) std::fprintf(out, "%-12s %u kbit/s\n", "bitrate:", info.bitrate);
    if (info.sample_rate != 0) std::fprintf(out, "%-12s %u Hz\n", "rate:", info.sample_rate);
    if (info.channels != 0) std::fprintf(out, "%-12s %u\n", "channels:", info.channels);
    print_int(d, out, "level:", "mpeg/level", levels, 3);
    print_int(d, out, "layer:", "mpeg/layer", layers, 4);
    print_int(d, out, "mode:", "mpeg/mode", modes, 4);
    print_text(d, out, "title:", "id3/title");
    print_text(d, out, "artist:", "id3/artist");
    print_text(d, out, "album:", "id3/album");
    print_text(d, out, "year:", "id3/year");
    print_text(d, out, "comment:", "id3/comment");
    int32_t genre = 0;
    if (decoder_get_stream_int(d, "id3/genre", &genre) == 0) std::fprintf(out, "%-12s %d\n", "genre:", genre);
}

void print_progress(const Decoder* d, std::FILE* out) {
    const TimeCode& t = d->status.elapsed;
    std::fprintf(out, "\r%d:%02d:%02d.%02d  %3.0f%% ", t.hours, t.minutes, t.seconds, t.hundredths,
                 d->status.fraction * 100.0);
    std::fflush(out);
}

}  // namespace mpadec
