// Module registration and the input and output slots: attach, open, close, detach, and the
// filters in their chains.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "c_boundary.h"
#include "decoder_private.h"
#include "module_info.h"

using mpa::internal_error;

namespace {

enum class Kind { input, output, codec };

std::vector<std::unique_ptr<ModuleRecord>>& records(Decoder* d, Kind kind) {
    switch (kind) {
        case Kind::input:
            return d->priv->inputs;
        case Kind::output:
            return d->priv->outputs;
        case Kind::codec:
            break;
    }
    return d->priv->codecs;
}

const ModuleRecord* find_record(Decoder* d, Kind kind, std::int32_t id) {
    for (const auto& r : records(d, kind)) {
        if (r->id == id) return r.get();
    }
    return nullptr;
}

// The message for the first missing mandatory slot, or null when the module is complete.
const char* missing_slot(const ModuleDescriptor& m, Kind kind) {
    if (kind == Kind::codec) {
        const CodecMethods& c = m.codec;
        if (c.query == nullptr) return "null 'query' method";
        if (c.probe == nullptr) return "null 'probe' method in module";
        if (c.create == nullptr || c.destroy == nullptr) return "null 'new' method in module";
        if (c.decode == nullptr) return "null 'decode' method in module";
        return nullptr;
    }
    // Input and output descriptors share the layout of their first six slots.
    const InputMethods& io = m.input;
    if (io.create == nullptr || io.destroy == nullptr) return "null 'new' method in module";
    if (io.open == nullptr) return "null 'open' method in module";
    if (io.close == nullptr) return "null 'close' method in module";
    if (kind == Kind::input && m.input.read == nullptr) return "null 'read' method in module";
    if (kind == Kind::output && m.output.write == nullptr) return "null 'write' method in module";
    return nullptr;
}

std::int32_t register_module(Decoder* d, const ModuleDescriptor* m, Kind kind) {
    if (d == nullptr || m == nullptr) return MPA_E_BAD_ARGUMENT;
    if ((m->version & MPA_VERSION_MASK) != MPA_MODULE_VERSION) return MPA_E_VERSION;
    if (const char* message = missing_slot(*m, kind)) return internal_error(d, message);
    auto& list = records(d, kind);
    auto record = std::make_unique<ModuleRecord>(ModuleRecord{*m, list.empty() ? 0 : list.front()->id + 1});
    const std::int32_t id = record->id;
    list.insert(list.begin(), std::move(record));
    std::int32_t& count = kind == Kind::input    ? d->counts.inputs
                          : kind == Kind::output ? d->counts.outputs
                                                 : d->counts.codecs;
    ++count;
    return id;
}

std::int32_t query_module(Decoder* d, Kind kind, std::int32_t id, ModuleInfo* info, std::uint32_t flags) {
    if (d == nullptr || info == nullptr) return MPA_E_BAD_ARGUMENT;
    const ModuleRecord* r = find_record(d, kind, id);
    if (r == nullptr) return MPA_E_UNKNOWN_ID;
    const MpaQueryFn query = kind == Kind::codec ? r->descriptor.codec.query : r->descriptor.input.query;
    if (query != nullptr) return query(info, flags);
    return mpa::answer_query(mpa::unknown_module_text(), info, flags);
}

// Picks the module by id, or the newest whose match() takes the name.
// Input and output descriptors begin with the same six slots, so either may be read
// through `input`.
const ModuleRecord* choose(Decoder* d, Kind kind, const char* name, std::int32_t id, std::int32_t& status) {
    if (id != -1) {
        const ModuleRecord* r = find_record(d, kind, id);
        status = r != nullptr ? MPA_OK : MPA_E_UNKNOWN_ID;
        return r;
    }
    for (const auto& r : records(d, kind)) {
        if (r->descriptor.input.match != nullptr && r->descriptor.input.match(name) == 0) {
            status = MPA_OK;
            return r.get();
        }
    }
    status = kind == Kind::input ? MPA_E_NO_INPUT_MODULE : MPA_E_NO_OUTPUT_MODULE;
    return nullptr;
}

// What attach, detach and release treat alike in the input and output states.
struct Slot {
    Kind kind;
    const ModuleRecord*& module;
    void*& instance;
    std::int32_t& open;
    const char*& name;
    std::string& owned_name;
    int32_t (*close)(Decoder*);
    const char* no_module;
    const char* no_instance;
};

Slot input_slot(Decoder* d) {
    return {Kind::input,         d->input.module,     d->input.instance,
            d->input.open,       d->input.name,       d->priv->input_name,
            decoder_close_input, "null input module", "null input instance"};
}

Slot output_slot(Decoder* d) {
    return {Kind::output,         d->output.module,     d->output.instance,
            d->output.open,       d->output.name,       d->priv->output_name,
            decoder_close_output, "null output module", "null output instance"};
}

// Closes the slot when open and deletes its instance.
void release(Decoder* d, const Slot& s) {
    if (s.instance == nullptr) return;
    if (s.open != 0) s.close(d);
    const MpaDeleteFn destroy =
        s.kind == Kind::input ? s.module->descriptor.input.destroy : s.module->descriptor.output.destroy;
    destroy(s.instance);
    s.instance = nullptr;
    s.open = 0;
}

// The same module under an equal name keeps its instance; anything else replaces it.
std::int32_t attach(Decoder* d, const Slot& s, const char* name, std::int32_t module_id) {
    if (name == nullptr) name = "";
    std::int32_t status = MPA_OK;
    const ModuleRecord* r = choose(d, s.kind, name, module_id, status);
    if (r == nullptr) return status;
    if (s.instance != nullptr && s.module == r && s.owned_name == name) return MPA_OK;

    release(d, s);
    s.owned_name = name;
    s.name = s.owned_name.c_str();
    s.module = r;
    const auto create = s.kind == Kind::input ? r->descriptor.input.create : r->descriptor.output.create;
    void* instance = nullptr;
    if (std::int32_t rc = create(&instance, s.name, r, d); rc != 0) return rc;
    s.instance = instance;
    if (s.kind == Kind::input) d->input.flags = 0;
    return MPA_OK;
}

std::int32_t detach(Decoder* d, const Slot& s) {
    if (s.module == nullptr) return internal_error(d, s.no_module);
    if (s.instance == nullptr) return internal_error(d, s.no_instance);
    release(d, s);
    s.module = nullptr;
    return MPA_OK;
}

// Which codec takes the stream; keeps the instance when it belongs to the same codec.
std::int32_t choose_codec(Decoder* d) {
    const char* type = d->input.content_type != nullptr ? d->input.content_type : "audio/unknown";
    const char* name = d->input.name;
    const ModuleRecord* chosen = nullptr;
    for (const auto& r : d->priv->codecs) {
        if (r->descriptor.codec.probe(type, name) == 0) {
            chosen = r.get();
            break;
        }
    }
    if (chosen == nullptr) return MPA_E_NO_CODEC;
    if (d->codec.instance != nullptr && d->codec.codec == chosen) return MPA_OK;

    CodecState& state = d->codec;
    if (state.instance != nullptr) state.codec->descriptor.codec.destroy(state.instance);
    state = CodecState{};
    const CodecMethods& codec = chosen->descriptor.codec;
    void* instance = nullptr;
    if (std::int32_t rc = codec.create(&instance, type, name, chosen, d); rc != 0) return rc;
    state.instance = instance;
    state.codec = chosen;

    ModuleInfo info{};
    if (codec.query(&info, MPA_QUERY_MAX_BYTES) == 0) state.max_bytes = std::max(info.max_bytes, 0);
    info = ModuleInfo{};
    if (codec.query(&info, MPA_QUERY_CAPABILITIES) == 0)
        state.capabilities = static_cast<std::uint32_t>(info.device_flag);
    // The internal buffer must hold whatever one decode can produce.
    auto& buffer = d->priv->pcm_buffer;
    if (static_cast<std::size_t>(state.max_bytes) > buffer.size())
        buffer.resize(static_cast<std::size_t>(state.max_bytes));
    if (codec.set_options != nullptr) codec.set_options(instance, &d->priv->options, 7);
    return MPA_OK;
}

void close_input_chain(Decoder* d) {
    decoder_input_link_close(d->priv->input_chain.head());
    d->input.open = 0;
}

// Chooses the codec, starts it and lets it analyse the stream start.
std::int32_t start_codec(Decoder* d) {
    if (std::int32_t rc = choose_codec(d); rc != 0) return rc;
    const CodecMethods& codec = d->codec.codec->descriptor.codec;
    if (codec.start != nullptr) {
        if (std::int32_t rc = codec.start(d->codec.instance, d->input.content_type, d->input.name); rc != 0) {
            return rc;
        }
    }
    // Only a seekable input can be read ahead and rewound for the analysis. Its result
    // is advisory: a stream whose start cannot be analysed still plays.
    if ((d->input.flags & 1u) != 0 && codec.analyse != nullptr) {
        try {
            codec.analyse(d->codec.instance, &d->status.info);
        } catch (const mpa::FatalDecodeError&) {
        }
    }
    return MPA_OK;
}

std::int32_t open_input(Decoder* d) {
    if (d->input.module == nullptr) return internal_error(d, "null input module");
    if (d->input.instance == nullptr) return internal_error(d, "null input instance");
    if (d->input.open != 0) return internal_error(d, "input not closed");

    PlayStatus& status = d->status;
    d->priv->stream_properties.clear();
    status.fraction = 0;
    status.elapsed = TimeCode{};
    status.info = StreamInfo{};
    status.info.properties = &d->priv->stream_properties;

    d->input.flags = 0;
    d->input.size = 0;
    d->input.position = 0;
    d->input.content_type = "unknown";

    FilterLink* head = d->priv->input_chain.head();
    if (std::int32_t rc = decoder_input_link_open(head); rc != 0) return rc;
    d->input.open = 1;
    d->input.size = decoder_input_link_size(head);
    d->input.flags = decoder_input_link_can_seek(head) == 1 ? 1u : 0u;

    // Whatever stops the codec from taking the stream, a failed open leaves the input closed.
    std::int32_t rc = MPA_E_INTERNAL;
    try {
        rc = start_codec(d);
    } catch (...) {
        close_input_chain(d);
        throw;
    }
    if (rc != 0) close_input_chain(d);
    return rc;
}

std::int32_t open_output(Decoder* d) {
    if (d->output.module == nullptr) return internal_error(d, "null output module");
    if (d->output.instance == nullptr) return internal_error(d, "null output instance");
    if (d->output.open != 0) return internal_error(d, "output not closed");
    FilterLink* head = d->priv->output_chain.head();
    if (std::int32_t rc = decoder_output_link_open(head); rc != 0) return rc;
    d->pcm.channels = 0;
    d->pcm.bytes_per_sample = 0;
    d->pcm.sample_rate = 0;
    d->output.capabilities = decoder_output_link_capabilities(head);
    d->output.open = 1;
    return MPA_OK;
}

}  // namespace

void mpa::release_input(Decoder* d) {
    release(d, input_slot(d));
}
void mpa::release_output(Decoder* d) {
    release(d, output_slot(d));
}

extern "C" {

MPA_API int32_t decoder_register_input(Decoder* d, const ModuleDescriptor* m) {
    return a5::guardExport(mpa::failure_status,
                           [&]() -> int32_t { return register_module(d, m, Kind::input); });
}
MPA_API int32_t decoder_register_output(Decoder* d, const ModuleDescriptor* m) {
    return a5::guardExport(mpa::failure_status,
                           [&]() -> int32_t { return register_module(d, m, Kind::output); });
}
MPA_API int32_t decoder_register_codec(Decoder* d, const ModuleDescriptor* m) {
    return a5::guardExport(mpa::failure_status,
                           [&]() -> int32_t { return register_module(d, m, Kind::codec); });
}

MPA_API int32_t decoder_query_input_module(Decoder* d, int32_t id, ModuleInfo* info, uint32_t flags) {
    return a5::guardExport(mpa::failure_status,
                           [&]() -> int32_t { return query_module(d, Kind::input, id, info, flags); });
}
MPA_API int32_t decoder_query_output_module(Decoder* d, int32_t id, ModuleInfo* info, uint32_t flags) {
    return a5::guardExport(mpa::failure_status,
                           [&]() -> int32_t { return query_module(d, Kind::output, id, info, flags); });
}
MPA_API int32_t decoder_query_codec(Decoder* d, int32_t id, ModuleInfo* info, uint32_t flags) {
    return a5::guardExport(mpa::failure_status,
                           [&]() -> int32_t { return query_module(d, Kind::codec, id, info, flags); });
}

MPA_API int32_t decoder_attach_input(Decoder* d, const char* name, int32_t module_id) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr) return MPA_E_BAD_ARGUMENT;
        return attach(d, input_slot(d), name, module_id);
    });
}

MPA_API int32_t decoder_detach_input(Decoder* d) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr) return MPA_E_BAD_ARGUMENT;
        return detach(d, input_slot(d));
    });
}

MPA_API int32_t decoder_open_input(Decoder* d) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr) return MPA_E_BAD_ARGUMENT;
        return open_input(d);
    });
}

MPA_API int32_t decoder_close_input(Decoder* d) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr) return MPA_E_BAD_ARGUMENT;
        if (d->input.open == 0) return internal_error(d, "input not open");
        const std::int32_t rc = decoder_input_link_close(d->priv->input_chain.head());
        d->input.open = 0;
        if (d->codec.instance != nullptr && d->codec.codec->descriptor.codec.input_closed != nullptr) {
            d->codec.codec->descriptor.codec.input_closed(d->codec.instance);
        }
        return rc;
    });
}

MPA_API int32_t decoder_input_control(Decoder* d, intptr_t a, intptr_t b, intptr_t c) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr) return MPA_E_BAD_ARGUMENT;
        if (d->input.instance == nullptr) return internal_error(d, "null input instance");
        return decoder_input_link_control(d->priv->input_chain.head(), a, b, c);
    });
}

MPA_API int32_t decoder_attach_output(Decoder* d, const char* name, int32_t module_id) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr) return MPA_E_BAD_ARGUMENT;
        return attach(d, output_slot(d), name, module_id);
    });
}

MPA_API int32_t decoder_detach_output(Decoder* d) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr) return MPA_E_BAD_ARGUMENT;
        return detach(d, output_slot(d));
    });
}

MPA_API int32_t decoder_open_output(Decoder* d) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr) return MPA_E_BAD_ARGUMENT;
        return open_output(d);
    });
}

MPA_API int32_t decoder_close_output(Decoder* d) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr) return MPA_E_BAD_ARGUMENT;
        if (d->output.open == 0) return internal_error(d, "output not open");
        const std::int32_t rc = decoder_output_link_close(d->priv->output_chain.head());
        d->output.open = 0;
        return rc;
    });
}

MPA_API int32_t decoder_write_output(Decoder* d, const void* buffer, int32_t bytes, int32_t bytes_per_sample,
                                     int32_t channels, int32_t sample_rate) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr) return MPA_E_BAD_ARGUMENT;
        if (d->output.open == 0) return internal_error(d, "output not open");
        return decoder_output_link_write(d->priv->output_chain.head(), buffer, bytes, bytes_per_sample,
                                         channels, sample_rate);
    });
}

MPA_API int32_t decoder_set_output_format(Decoder* d, const PcmFormat* format, uint32_t flags) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr || format == nullptr) return MPA_E_BAD_ARGUMENT;
        if (d->output.open == 0) return internal_error(d, "output not open");
        return decoder_output_link_set_format(d->priv->output_chain.head(), format, flags);
    });
}

MPA_API int32_t decoder_output_control(Decoder* d, OutputControlBlock* block, int32_t value) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr) return MPA_E_BAD_ARGUMENT;
        if (block == nullptr) return internal_error(d, "null control block");
        if (d->output.instance == nullptr) return internal_error(d, "null output instance");
        return decoder_output_link_control_block(d->priv->output_chain.head(), block, value);
    });
}

MPA_API int32_t decoder_output_filter_control(Decoder* d, intptr_t a, intptr_t b, intptr_t c) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr) return MPA_E_BAD_ARGUMENT;
        if (d->output.instance == nullptr) return internal_error(d, "null output instance");
        return decoder_output_link_control(d->priv->output_chain.head(), a, b, c);
    });
}

MPA_API int32_t decoder_add_input_filter(Decoder* d, const FilterDescriptor* filter, int32_t position) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr) return MPA_E_BAD_ARGUMENT;
        return d->priv->input_chain.add(filter, position);
    });
}
MPA_API int32_t decoder_add_output_filter(Decoder* d, const FilterDescriptor* filter, int32_t position) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr) return MPA_E_BAD_ARGUMENT;
        return d->priv->output_chain.add(filter, position);
    });
}
MPA_API int32_t decoder_remove_input_filter(Decoder* d, const char* name, int32_t key) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr) return MPA_E_BAD_ARGUMENT;
        return d->priv->input_chain.remove(name, key);
    });
}
MPA_API int32_t decoder_remove_output_filter(Decoder* d, const char* name, int32_t key) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr) return MPA_E_BAD_ARGUMENT;
        return d->priv->output_chain.remove(name, key);
    });
}
MPA_API int32_t decoder_each_input_filter(Decoder* d, uintptr_t user, int32_t (*fn)(uintptr_t, FilterLink*)) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr || fn == nullptr) return MPA_E_BAD_ARGUMENT;
        d->priv->input_chain.each(user, fn);
        return MPA_OK;
    });
}
MPA_API int32_t decoder_each_output_filter(Decoder* d, uintptr_t user,
                                           int32_t (*fn)(uintptr_t, FilterLink*)) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr || fn == nullptr) return MPA_E_BAD_ARGUMENT;
        d->priv->output_chain.each(user, fn);
        return MPA_OK;
    });
}

}  // extern "C"
