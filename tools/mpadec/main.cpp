// mpadec: decodes an MPEG audio stream to raw PCM, WAV, AIFF or Sun audio.
#include <mpegaudio/decoder.h>
#include <mpegaudio/file_modules.h>
#include <mpegaudio/mpeg_codec.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "free_format_watch.h"
#include "options.h"
#include "stream_report.h"

namespace {

using namespace mpadec;

struct DecoderCloser {
    void operator()(Decoder* d) const { decoder_destroy(d); }
};
using DecoderPtr = std::unique_ptr<Decoder, DecoderCloser>;

// The decoder's reports, kept so a failure can be explained in one line.
struct LastError {
    std::string summary;
    std::string detail;
};

int32_t keep_error(void* user, int32_t, int32_t, const char* summary, const char* detail) {
    auto* e = static_cast<LastError*>(user);
    e->summary = summary != nullptr ? summary : "";
    e->detail = detail != nullptr ? detail : "";
    return 0;
}

// One line on standard error: what failed, then the decoder's own report when it made one.
int fail(int code, const std::string& subject, const std::string& what, const LastError& e) {
    std::string line = "mpadec: " + subject + ": ";
    line += e.detail.empty() ? what : e.summary + ": " + e.detail;
    std::fprintf(stderr, "%s\n", line.c_str());
    return code;
}

// The modules mpadec decodes with: the file input and output, and the codecs; and the watch
// that explains a free-format stream.
bool register_modules(Decoder* d) {
    return decoder_register_codec(d, mpeg_codec_module()) >= 0 &&
           decoder_register_input(d, file_input_module()) >= 0 &&
           decoder_register_output(d, file_output_module()) >= 0 &&
           decoder_add_input_filter(d, free_format_watch(), -1) > 0;
}

bool apply_options(Decoder* d, const Options& o) {
    return decoder_set_channel_mode(d, o.channel_mode) == 0 &&
           decoder_set_downsampling(d, o.downsampling) == 0 &&
           (!o.equalizer || decoder_set_equalizer(d, o.equalizer->data()) == 0);
}

// Decodes to the end of the input; `frames` counts the frames that reached the output.
int decode_all(Decoder* d, const Options& o, LastError& e, unsigned& frames) {
    const bool progress = !o.quiet && isatty(STDERR_FILENO) == 1;
    unsigned skipped = 0;
    e = LastError{};
    for (frames = 0;;) {
        const uint64_t before = d->input.position;
        const int32_t rc = decoder_decode_to_output(d);
        if (rc == MPA_E_END_OF_INPUT) break;
        if (rc == MPA_E_FATAL && d->input.position != before) {
            ++skipped;  // a damaged frame: leave it out and go on
            continue;
        }
        if (rc != 0)
            return fail(kExitDecode, o.input, "decoding failed with status " + std::to_string(rc), e);
        if (progress && frames % 32 == 0) print_progress(d, stderr);
        ++frames;
    }
    if (progress) {
        print_progress(d, stderr);
        std::fputc('\n', stderr);
    }
    if (skipped != 0 && !o.quiet) std::fprintf(stderr, "mpadec: %u damaged frames left out\n", skipped);
    return kExitOk;
}

int run(const Options& o) {
    Decoder* raw = nullptr;
    if (decoder_create(&raw) != 0) return kExitInternal;
    const DecoderPtr d(raw);
    LastError e;
    d->on_error = keep_error;
    d->error_user = &e;
    if (!register_modules(d.get()) || !apply_options(d.get(), o))
        return fail(kExitInternal, "decoder", "setup failed", e);

    if (decoder_attach_input(d.get(), o.input.c_str(), -1) != 0)
        return fail(kExitInput, o.input, "no input module takes the name", e);
    const int32_t opened = decoder_open_input(d.get());
    if (opened == MPA_E_NO_CODEC) {
        return fail(kExitNoCodec, o.input, "no codec takes the stream", LastError{});
    }
    if (opened != 0) return fail(kExitInput, o.input, "cannot open input", e);

    const bool to_stdout = !o.output.empty() && output_file(o.output).empty();
    if (o.info && !o.quiet) print_stream_info(d.get(), o.input.c_str(), to_stdout ? stderr : stdout);
    if (o.output.empty()) return kExitOk;

    if (o.start_seconds > 0 && decoder_seek_seconds(d.get(), static_cast<float>(o.start_seconds)) != 0) {
        return fail(kExitInput, o.input, "cannot seek to the start time", e);
    }
    if (decoder_attach_output(d.get(), o.output.c_str(), -1) != 0 || decoder_open_output(d.get()) != 0) {
        return fail(kExitOutput, o.output, "cannot open output", e);
    }
    unsigned frames = 0;
    if (const int code = decode_all(d.get(), o, e, frames); code != kExitOk) return code;
    if (frames == 0) {
        // Nothing decoded: leave no empty file behind that looks like a result.
        decoder_close_output(d.get());
        if (const std::string path = output_file(o.output); !path.empty()) {
            std::error_code ignored;
            std::filesystem::remove(path, ignored);
        }
        const char* reason = free_format_seen(d.get()) ? "free-format streams are not supported"
                                                       : "no MPEG audio frame found";
        return fail(kExitNoFrame, o.input, reason, LastError{});
    }
    if (decoder_close_output(d.get()) != 0) return fail(kExitDecode, o.output, "writing failed", e);
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    const auto options = parse_options(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::fprintf(stderr, "mpadec: %s\nTry 'mpadec --help'.\n", error.c_str());
        return kExitUsage;
    }
    if (options->help) {
        std::fputs(usage_text(), stdout);
        return kExitOk;
    }
    try {
        return run(*options);
    } catch (...) {
        std::fprintf(stderr, "mpadec: out of memory\n");
        return kExitInternal;
    }
}
