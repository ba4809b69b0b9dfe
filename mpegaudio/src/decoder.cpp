// The decoder object: creation, decoding, options and the property services.
#include <algorithm>
#include <cstring>
#include <memory>

#include "c_boundary.h"
#include "decoder_private.h"

namespace mpa {

std::int32_t internal_error(Decoder* d, const char* detail) {
    decoder_report(d, 0, "internal error", detail);
    return MPA_E_INTERNAL;
}

namespace {

void fill_services(DecoderServices& s) {
    s = DecoderServices{
        decoder_read_input,        decoder_seek_bytes,        decoder_reset_codec,
        decoder_set_stream_int,    decoder_get_stream_int,    decoder_set_stream_string,
        decoder_get_stream_string, decoder_delete_stream,     decoder_set_global_int,
        decoder_get_global_int,    decoder_set_global_string, decoder_get_global_string,
        decoder_delete_global,     decoder_add_watcher,       decoder_remove_watcher,
    };
}

std::int32_t push_options(Decoder* d, std::uint32_t mask) {
    const CodecMethods* codec = d->codec.codec != nullptr ? &d->codec.codec->descriptor.codec : nullptr;
    if (d->codec.instance == nullptr || codec == nullptr || codec->set_options == nullptr) return MPA_OK;
    return codec->set_options(d->codec.instance, &d->priv->options, mask);
}

// Stores a channel or rate option (0..highest) and hands it to the codec.
std::int32_t set_option(Decoder* d, std::int32_t DecoderOptions::*field, std::int32_t value,
                        std::int32_t highest, std::uint32_t mask) {
    if (d == nullptr || value < 0 || value > highest) return MPA_E_BAD_ARGUMENT;
    d->priv->options.*field = value;
    return push_options(d, mask);
}

// Lets the codec write its current value back, then answers with the stored one.
std::int32_t get_option(Decoder* d, std::int32_t DecoderOptions::*field, std::uint32_t mask) {
    if (d == nullptr) return MPA_E_BAD_ARGUMENT;
    const CodecMethods* codec = d->codec.codec != nullptr ? &d->codec.codec->descriptor.codec : nullptr;
    if (d->codec.instance != nullptr && codec != nullptr && codec->read_options != nullptr) {
        // The codec writes into a copy so it cannot replace the decoder's equalizer block.
        DecoderOptions current = d->priv->options;
        codec->read_options(d->codec.instance, &current, mask);
        d->priv->options.*field = current.*field;
    }
    return d->priv->options.*field;
}

std::int32_t decode(Decoder* d, void* buffer) {
    if (d->input.open == 0) return internal_error(d, "input not open");
    if (d->codec.instance == nullptr) return internal_error(d, "null codec instance");

    PcmBlock& pcm = d->pcm;
    const std::uint32_t old_width = pcm.bytes_per_sample;
    const std::uint32_t old_channels = pcm.channels;
    const std::uint32_t old_rate = pcm.sample_rate;

    pcm.buffer = buffer != nullptr ? buffer : d->priv->pcm_buffer.data();
    pcm.bytes_per_sample = 2;
    d->status.info.flags = 0;

    // A fatal error inside the codec throws FatalDecodeError; the export's guard turns it into -700.
    // Unwinding runs every destructor between here and the throw.
    if (std::int32_t rc = d->codec.codec->descriptor.codec.decode(d->codec.instance, &pcm, &d->status.info);
        rc != 0) {
        return rc;
    }
    update_play_status(d);

    pcm.flags = 0;
    if (pcm.bytes_per_sample != old_width) pcm.flags |= 1u;
    if (pcm.channels != old_channels) pcm.flags |= 6u;
    if (pcm.sample_rate != old_rate) pcm.flags |= 4u;
    return MPA_OK;
}

bool output_ready(Decoder* d) {
    if (d->output.open == 0) {
        internal_error(d, "output not open");
        return false;
    }
    return true;
}

}  // namespace

}  // namespace mpa

using mpa::internal_error;

extern "C" {

MPA_API void decoder_report(Decoder* d, int32_t module_id, const char* summary, const char* detail) {
    a5::guardExport([&] { decoder_report_status(d, module_id, 0, summary, detail); });
}

MPA_API void decoder_report_status(Decoder* d, int32_t module_id, int32_t status, const char* summary,
                                   const char* detail) {
    a5::guardExport([&] {
        if (d == nullptr || d->on_error == nullptr) return;
        d->on_error(d->error_user, module_id, status, summary, detail);
    });
}

MPA_API int32_t decoder_create(Decoder** out) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (out == nullptr) return MPA_E_BAD_ARGUMENT;
        *out = nullptr;
        auto d = std::make_unique<Decoder>();
        auto priv = std::make_unique<DecoderPrivate>(d.get());
        mpa::fill_services(d->services);
        d->status.info.properties = &priv->stream_properties;
        d->priv = priv.release();
        *out = d.release();
        return MPA_OK;
    });
}

MPA_API int32_t decoder_destroy(Decoder* d) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr) return MPA_E_BAD_ARGUMENT;
        // The object goes even when a module's delete or close throws.
        a5::guardExport([&] {
            mpa::release_input(d);
            mpa::release_output(d);
            if (d->codec.instance != nullptr && d->codec.codec != nullptr)
                d->codec.codec->descriptor.codec.destroy(d->codec.instance);
        });
        delete d->priv;  // destroys the filters, then the module records and property lists
        delete d;
        return MPA_OK;
    });
}

MPA_API int32_t decoder_decode(Decoder* d, void* buffer) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr) return MPA_E_BAD_ARGUMENT;
        return mpa::decode(d, buffer);
    });
}

MPA_API int32_t decoder_decode_to_output(Decoder* d) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr) return MPA_E_BAD_ARGUMENT;
        if (!mpa::output_ready(d)) return MPA_E_INTERNAL;
        FilterLink* out = d->priv->output_chain.head();
        void* buffer = decoder_output_link_get_buffer(out, d->codec.max_bytes);
        if (int32_t rc = mpa::decode(d, buffer); rc != 0) return rc;

        const PcmBlock& pcm = d->pcm;
        if (pcm.flags != 0) {
            const PcmFormat format{pcm.bytes_per_sample, pcm.sample_rate, pcm.channels};
            if (decoder_set_output_format(d, &format, pcm.flags) == MPA_E_NO_OUTPUT_MODULE) {
                return MPA_E_NO_OUTPUT_MODULE;
            }
        }
        if ((d->output.capabilities & MPA_OUTPUT_CAP_TAG) != 0) {
            uintptr_t word = reinterpret_cast<uintptr_t>(d);
            d->pcm.tag = decoder_output_link_tag(out, &word) == 0 ? word : 0;
        }
        const auto bytes = static_cast<int32_t>(pcm.samples * pcm.bytes_per_sample * pcm.channels);
        const int32_t written =
            decoder_write_output(d, pcm.buffer, bytes, static_cast<int32_t>(pcm.bytes_per_sample),
                                 static_cast<int32_t>(pcm.channels), static_cast<int32_t>(pcm.sample_rate));
        // A write that stores nothing of a non-empty block lost the audio: say so.
        if (written < 0) return written;
        if (bytes > 0 && written == 0) return MPA_E_WRITE_FAILED;
        return MPA_OK;
    });
}

MPA_API int32_t decoder_read_input(Decoder* d, void* buffer, int32_t count) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr || buffer == nullptr || count < 0) return MPA_E_BAD_ARGUMENT;
        if (d->input.open == 0) return internal_error(d, "input not open");
        const int32_t got = decoder_input_link_read(d->priv->input_chain.head(), buffer, count);
        if (got <= 0) return got == 0 ? MPA_E_END_OF_INPUT : got;
        d->input.position += static_cast<uint64_t>(got);
        return MPA_OK;
    });
}

MPA_API int32_t decoder_reset_codec(Decoder* d) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr) return MPA_E_BAD_ARGUMENT;
        if (d->input.open == 0) return internal_error(d, "input not open");
        if (d->codec.instance == nullptr || d->codec.codec->descriptor.codec.reset == nullptr) return MPA_OK;
        return d->codec.codec->descriptor.codec.reset(d->codec.instance);
    });
}

MPA_API int32_t decoder_set_channel_mode(Decoder* d, int32_t mode) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        return mpa::set_option(d, &DecoderOptions::channel_mode, mode, MPA_CHANNELS_MIX, MPA_OPTION_CHANNELS);
    });
}

MPA_API int32_t decoder_get_channel_mode(Decoder* d) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        return mpa::get_option(d, &DecoderOptions::channel_mode, MPA_OPTION_CHANNELS);
    });
}

MPA_API int32_t decoder_set_downsampling(Decoder* d, int32_t value) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        return mpa::set_option(d, &DecoderOptions::downsampling, value, MPA_RATE_QUARTER,
                               MPA_OPTION_DOWNSAMPLING);
    });
}

MPA_API int32_t decoder_get_downsampling(Decoder* d) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        return mpa::get_option(d, &DecoderOptions::downsampling, MPA_OPTION_DOWNSAMPLING);
    });
}

MPA_API int32_t decoder_set_equalizer(Decoder* d, const int8_t* steps) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr) return MPA_E_BAD_ARGUMENT;
        DecoderPrivate& p = *d->priv;
        if (steps == nullptr) {
            p.equalizer.reset();
        } else {
            if (!p.equalizer) p.equalizer = std::make_unique<std::array<int8_t, MPA_EQUALIZER_STEPS>>();
            std::copy_n(steps, MPA_EQUALIZER_STEPS, p.equalizer->begin());
        }
        p.options.equalizer = p.equalizer ? p.equalizer->data() : nullptr;
        return mpa::push_options(d, MPA_OPTION_EQUALIZER);
    });
}

MPA_API int32_t decoder_get_equalizer(Decoder* d, int8_t* steps) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr || steps == nullptr) return MPA_E_BAD_ARGUMENT;
        if (d->priv->equalizer) {
            std::copy(d->priv->equalizer->begin(), d->priv->equalizer->end(), steps);
        } else {
            std::fill_n(steps, MPA_EQUALIZER_STEPS, int8_t{0});
        }
        return MPA_OK;
    });
}

// Property services. Setting or deleting a stream property marks the stream info changed.
MPA_API int32_t decoder_set_stream_int(Decoder* d, const char* name, int32_t value) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr || name == nullptr) return MPA_E_BAD_ARGUMENT;
        const int32_t rc = d->priv->stream_properties.set_int(name, value);
        if (rc == 0) d->status.info.flags |= MPA_INFO_PROPERTIES;
        return rc;
    });
}

MPA_API int32_t decoder_get_stream_int(Decoder* d, const char* name, int32_t* value) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr || name == nullptr || value == nullptr) return MPA_E_BAD_ARGUMENT;
        return d->priv->stream_properties.get_int(name, value);
    });
}

MPA_API int32_t decoder_set_stream_string(Decoder* d, const char* name, const char* text) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr || name == nullptr || text == nullptr) return MPA_E_BAD_ARGUMENT;
        const int32_t rc = d->priv->stream_properties.set_string(name, text);
        if (rc == 0) d->status.info.flags |= MPA_INFO_PROPERTIES;
        return rc;
    });
}

MPA_API int32_t decoder_get_stream_string(Decoder* d, const char* name, char* out, uint32_t capacity) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr || name == nullptr || out == nullptr) return MPA_E_BAD_ARGUMENT;
        return d->priv->stream_properties.get_string(name, out, capacity);
    });
}

MPA_API int32_t decoder_delete_stream(Decoder* d, const char* name) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr || name == nullptr) return MPA_E_BAD_ARGUMENT;
        const int32_t rc = d->priv->stream_properties.remove(name);
        if (rc == 0) d->status.info.flags |= MPA_INFO_PROPERTIES;
        return rc;
    });
}

MPA_API int32_t decoder_set_global_int(Decoder* d, const char* name, int32_t value) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr || name == nullptr) return MPA_E_BAD_ARGUMENT;
        return d->priv->global_properties.set_int(name, value);
    });
}

MPA_API int32_t decoder_get_global_int(Decoder* d, const char* name, int32_t* value) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr || name == nullptr || value == nullptr) return MPA_E_BAD_ARGUMENT;
        return d->priv->global_properties.get_int(name, value);
    });
}

MPA_API int32_t decoder_set_global_string(Decoder* d, const char* name, const char* text) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr || name == nullptr || text == nullptr) return MPA_E_BAD_ARGUMENT;
        return d->priv->global_properties.set_string(name, text);
    });
}

MPA_API int32_t decoder_get_global_string(Decoder* d, const char* name, char* out, uint32_t capacity) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr || name == nullptr || out == nullptr) return MPA_E_BAD_ARGUMENT;
        return d->priv->global_properties.get_string(name, out, capacity);
    });
}

MPA_API int32_t decoder_delete_global(Decoder* d, const char* name) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr || name == nullptr) return MPA_E_BAD_ARGUMENT;
        return d->priv->global_properties.remove(name);
    });
}

MPA_API int32_t decoder_add_watcher(Decoder* d, const char* name, uintptr_t user, PropertyWatchFn callback,
                                    PropertyWatcher** handle) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr || name == nullptr || callback == nullptr || handle == nullptr)
            return MPA_E_BAD_ARGUMENT;
        *handle = d->priv->global_properties.add_watcher(name, user, callback);
        return MPA_OK;
    });
}

MPA_API int32_t decoder_remove_watcher(Decoder* d, PropertyWatcher* handle) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr || handle == nullptr) return MPA_E_BAD_ARGUMENT;
        return d->priv->global_properties.remove_watcher(handle);
    });
}

}  // extern "C"
