#include "test_modules.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "error_trap.h"

namespace mpa_test {

namespace {

thread_local World* g_world = nullptr;

int32_t record_error(void* user, int32_t module_id, int32_t, const char*, const char* detail) {
    static_cast<World*>(user)->errors.emplace_back(module_id, detail);
    return 0;
}

// ---- memory input ----------------------------------------------------------------------

struct MemoryInput {
    std::string name;
    const std::vector<uint8_t>* data = nullptr;
    uint64_t position = 0;
    bool open = false;
};

MemoryInput* in(void* i) {
    return static_cast<MemoryInput*>(i);
}

int32_t mem_match(const char* name) {
    return world().inputs.contains(name) ? 0 : 1;
}
int32_t mem_create(void** instance, const char* name, const ModuleRecord*, Decoder*) {
    *instance = new MemoryInput{name};
    return 0;
}
int32_t mem_destroy(void* i) {
    ++world().input_deletes;
    delete in(i);
    return 0;
}
int32_t mem_open(void* i) {
    auto it = world().inputs.find(in(i)->name);
    if (it == world().inputs.end()) return MPA_E_FILE_NOT_FOUND;
    in(i)->data = &it->second;
    in(i)->position = 0;
    in(i)->open = true;
    return 0;
}
int32_t mem_close(void* i) {
    in(i)->open = false;
    return 0;
}
int32_t mem_read(void* i, void* buffer, int32_t count) {
    MemoryInput& m = *in(i);
    if (!m.open || m.position + static_cast<uint64_t>(count) > m.data->size()) return 0;
    std::memcpy(buffer, m.data->data() + m.position, static_cast<size_t>(count));
    m.position += static_cast<uint64_t>(count);
    return count;
}
int32_t mem_seek(void* i, uint64_t position) {
    in(i)->position = position;
    return 0;
}
int32_t mem_can_seek(void* i) {
    return in(i)->name.starts_with("pipe:") ? 0 : 1;
}
uint64_t mem_size(void* i) {
    return in(i)->name.starts_with("pipe:") ? 0 : in(i)->data->size();
}

constexpr ModuleDescriptor kMemoryInput{
    .version = MPA_MODULE_VERSION,
    .input = {mem_match, nullptr, mem_create, mem_destroy, mem_open, mem_close, mem_read, mem_seek,
              mem_can_seek, mem_size, nullptr},
};

// ---- ramp codec ------------------------------------------------------------------------

struct Ramp {
    Decoder* decoder;
    int16_t next = 0;
    DecoderOptions options{};
};

Ramp* ramp(void* i) {
    return static_cast<Ramp*>(i);
}

int32_t ramp_probe(const char*, const char*) {
    return 0;
}
int32_t ramp_query(ModuleInfo* info, uint32_t flags) {
    if ((flags & MPA_QUERY_MAX_BYTES) != 0) info->max_bytes = kRampSamples * 2 * 2;
    if ((flags & MPA_QUERY_CAPABILITIES) != 0) info->device_flag = 3;
    return 0;
}
int32_t ramp_create(void** instance, const char*, const char*, const ModuleRecord*, Decoder* d) {
    ++world().codec.created;
    *instance = new Ramp{d};
    return 0;
}
int32_t ramp_destroy(void* i) {
    ++world().codec.deleted;
    delete ramp(i);
    return 0;
}

// Reads one frame and writes the ramp, one channel or both as the options say, at the
// rate the downsampling option gives.
int32_t ramp_decode(void* i, PcmBlock* pcm, StreamInfo* info) {
    Ramp& r = *ramp(i);
    uint8_t frame[kFrameBytes];
    if (int32_t rc = r.decoder->services.read_input(r.decoder, frame, kFrameBytes); rc != 0) return rc;
    if (frame[0] == kPoisonByte) {
        std::vector<int> held_by_the_frame(16);  // must be released by the unwinding
        mpa::raise_fatal();
    }
    const uint32_t channels = r.options.channel_mode == MPA_CHANNELS_BOTH ? 2 : 1;
    const uint32_t samples = kRampSamples >> r.options.downsampling;
    auto* out = static_cast<int16_t*>(pcm->buffer);
    for (uint32_t s = 0; s < samples; ++s) {
        for (uint32_t c = 0; c < channels; ++c) out[s * channels + c] = r.next;
        ++r.next;
    }
    pcm->samples = samples;
    pcm->channels = channels;
    pcm->sample_rate = kRampRate >> r.options.downsampling;
    info->sample_rate = kRampRate;
    info->channels = 2;
    return 0;
}

int32_t ramp_analyse(void* i, StreamInfo* info) {
    ++world().codec.analysed;
    info->duration_ms = world().analysed_duration_ms;
    info->bitrate = 64;
    info->flags = 7;
    ramp(i)->decoder->services.set_stream_int(ramp(i)->decoder, "ramp/analysed", 1);
    return 0;
}
int32_t ramp_start(void* i, const char*, const char*) {
    ++world().codec.started;
    ramp(i)->next = 0;
    return 0;
}
int32_t ramp_seek_notify(void* i, uint64_t position) {
    world().codec.seek_notices.push_back(position);
    ramp(i)->next = static_cast<int16_t>(position / kFrameBytes * kRampSamples);
    return 0;
}
int32_t ramp_reset(void*) {
    ++world().codec.resets;
    return 0;
}
int32_t ramp_set_options(void* i, const DecoderOptions* options, uint32_t mask) {
    CodecCalls& calls = world().codec;
    calls.option_masks.push_back(mask);
    calls.last_options = *options;
    calls.first_eq_step = options->equalizer != nullptr ? options->equalizer[0] : 0;
    if ((mask & MPA_OPTION_CHANNELS) != 0) ramp(i)->options.channel_mode = options->channel_mode;
    if ((mask & MPA_OPTION_DOWNSAMPLING) != 0) ramp(i)->options.downsampling = options->downsampling;
    return 0;
}
int32_t ramp_read_options(void* i, DecoderOptions* options, uint32_t mask) {
    if ((mask & MPA_OPTION_CHANNELS) != 0) options->channel_mode = ramp(i)->options.channel_mode;
    if ((mask & MPA_OPTION_DOWNSAMPLING) != 0) options->downsampling = ramp(i)->options.downsampling;
    return 0;
}

constexpr ModuleDescriptor kRampCodec{
    .version = MPA_MODULE_VERSION,
    .codec = {ramp_probe, ramp_query, ramp_create, ramp_destroy, ramp_decode, ramp_analyse, nullptr, nullptr,
              ramp_start, nullptr, ramp_seek_notify, ramp_reset, ramp_set_options, ramp_read_options,
              nullptr},
};

// ---- capture output --------------------------------------------------------------------

int32_t out_match(const char* name) {
    return std::strncmp(name, "capture:", 8) == 0 ? 0 : 1;
}
int32_t out_create(void** instance, const char*, const ModuleRecord*, Decoder*) {
    *instance = &world().output;
    return 0;
}
int32_t out_noop(void*) {
    return 0;
}
int32_t out_write(void* i, const void* buffer, int32_t bytes, int32_t, int32_t, int32_t) {
    auto& log = *static_cast<OutputLog*>(i);
    ++log.writes;
    if (log.fail_writes) return 0;
    const auto* b = static_cast<const uint8_t*>(buffer);
    log.bytes.insert(log.bytes.end(), b, b + bytes);
    return bytes;
}
int32_t out_set_format(void* i, const PcmFormat*, uint32_t flags) {
    static_cast<OutputLog*>(i)->format_flags.push_back(flags);
    return 0;
}
int32_t out_tag(void* i, uintptr_t* word) {
    ++static_cast<OutputLog*>(i)->tag_calls;
    *word = 0x5A5A;
    return 0;
}
uint32_t out_caps(void*) {
    return MPA_OUTPUT_CAP_TAG;
}

constexpr ModuleDescriptor kCaptureOutput{
    .version = MPA_MODULE_VERSION,
    .output = {out_match, nullptr, out_create, out_noop, out_noop, out_noop, out_write, nullptr,
               out_set_format, nullptr, nullptr, nullptr, nullptr},
};
constexpr ModuleDescriptor kTaggingOutput{
    .version = MPA_MODULE_VERSION,
    .output = {out_match, nullptr, out_create, out_noop, out_noop, out_noop, out_write, nullptr,
               out_set_format, nullptr, out_tag, out_caps, nullptr},
};

}  // namespace

World::World() : previous_(g_world) {
    g_world = this;
    if (decoder_create(&d) != 0) throw std::runtime_error("decoder_create failed");
    d->on_error = record_error;
    d->error_user = this;
}

World::~World() {
    decoder_destroy(d);
    g_world = previous_;
}

int32_t World::open_ramp(const std::string& name, std::vector<uint8_t> bytes) {
    inputs[name] = std::move(bytes);
    for (int32_t rc : {decoder_register_input(d, memory_input()), decoder_register_codec(d, ramp_codec()),
                       decoder_attach_input(d, name.c_str(), -1), decoder_open_input(d)}) {
        if (rc != 0) return rc;
    }
    return 0;
}

World& world() {
    return *g_world;
}

const ModuleDescriptor* memory_input() {
    return &kMemoryInput;
}
const ModuleDescriptor* ramp_codec() {
    return &kRampCodec;
}
const ModuleDescriptor* capture_output() {
    return &kCaptureOutput;
}
const ModuleDescriptor* tagging_output() {
    return &kTaggingOutput;
}

std::vector<uint8_t> ramp_input(int frames, int poison) {
    std::vector<uint8_t> bytes(static_cast<size_t>(frames) * kFrameBytes, 0x11);
    if (poison >= 0) bytes[static_cast<size_t>(poison) * kFrameBytes] = kPoisonByte;
    return bytes;
}

}  // namespace mpa_test
