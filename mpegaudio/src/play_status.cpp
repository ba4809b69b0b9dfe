// Where the stream stands: the played fraction and elapsed time, and seeking by bytes,
// fraction, seconds and time code.
#include <algorithm>
#include <cmath>

#include "c_boundary.h"
#include "decoder_private.h"

namespace mpa {

namespace {

// Fractions from a codec or a caller are kept inside 0..1; NaN counts as the start.
double clamp_fraction(double f) {
    if (!(f > 0.0)) return 0.0;
    return std::min(f, 1.0);
}

const CodecMethods* codec_of(const Decoder* d) {
    return d->codec.instance != nullptr && d->codec.codec != nullptr ? &d->codec.codec->descriptor.codec
                                                                     : nullptr;
}

double fraction_at(const Decoder* d, std::uint64_t position) {
    const CodecMethods* codec = codec_of(d);
    if (codec != nullptr && codec->position_to_fraction != nullptr) {
        return clamp_fraction(codec->position_to_fraction(d->codec.instance, position));
    }
    if (d->input.size == 0) return 0.0;
    return clamp_fraction(static_cast<double>(position) / static_cast<double>(d->input.size));
}

}  // namespace

TimeCode time_code_from_seconds(double t) {
    // Far beyond any real stream, but keeps every field inside int32.
    constexpr double kLongest = 3600.0 * 500000.0;
    if (!(t > 0.0)) t = 0.0;
    t = std::min(t, kLongest);
    TimeCode tc{};
    tc.hours = static_cast<std::int32_t>(std::trunc(t)) / 3600;
    tc.minutes = static_cast<std::int32_t>(std::trunc(t - 3600.0 * tc.hours)) / 60;
    const double within_minute = t - 3600.0 * tc.hours - 60.0 * tc.minutes;
    tc.seconds = static_cast<std::int32_t>(std::trunc(within_minute));
    tc.hundredths = static_cast<std::int32_t>(std::trunc(within_minute * 100.0 - 100.0 * tc.seconds));
    return tc;
}

void update_play_status(Decoder* d) {
    PlayStatus& s = d->status;
    const double fraction = fraction_at(d, d->input.position);
    s.fraction = static_cast<float>(fraction);
    double elapsed = 0.0;
    if (s.info.duration_ms != 0) {
        elapsed = s.info.duration_ms * fraction * 0.001;
    } else if (s.info.bitrate != 0) {
        elapsed = static_cast<double>(d->input.position) / (s.info.bitrate * 125.0);
    }
    s.elapsed = time_code_from_seconds(elapsed);
}

namespace {

std::int32_t seek_bytes(Decoder* d, std::uint64_t p) {
    if (d->input.open == 0) return internal_error(d, "input not open");
    if ((d->input.flags & 1u) == 0 || d->input.size == 0) return MPA_E_NOT_POSSIBLE;
    p = std::min(p, d->input.size);
    d->input.position = p;
    const double fraction = fraction_at(d, p);
    d->status.fraction = static_cast<float>(fraction);
    d->status.elapsed = time_code_from_seconds(d->status.info.duration_ms * fraction * 0.001);
    const CodecMethods* codec = codec_of(d);
    if (codec != nullptr && codec->seek_notify != nullptr) codec->seek_notify(d->codec.instance, p);
    return decoder_input_link_seek(d->priv->input_chain.head(), p);
}

std::int32_t seek_fraction(Decoder* d, double f) {
    if (d->input.open == 0) return internal_error(d, "input not open");
    f = clamp_fraction(f);
    const CodecMethods* codec = codec_of(d);
    if (codec != nullptr && codec->map_fraction != nullptr) {
        f = clamp_fraction(codec->map_fraction(d->codec.instance, static_cast<float>(f)));
    }
    return seek_bytes(d, static_cast<std::uint64_t>(std::floor(static_cast<double>(d->input.size) * f)));
}

std::int32_t seek_seconds(Decoder* d, double s) {
    const std::uint32_t duration = d->status.info.duration_ms;
    if (duration == 0) return seek_fraction(d, 0.0);
    return seek_fraction(d, std::max(s, 0.0) * 1000.0 / duration);
}

}  // namespace

}  // namespace mpa

extern "C" {

MPA_API int32_t decoder_seek_bytes(Decoder* d, uint64_t position) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr) return MPA_E_BAD_ARGUMENT;
        return mpa::seek_bytes(d, position);
    });
}

MPA_API int32_t decoder_seek_fraction(Decoder* d, float fraction) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr) return MPA_E_BAD_ARGUMENT;
        return mpa::seek_fraction(d, fraction);
    });
}

MPA_API int32_t decoder_seek_seconds(Decoder* d, float seconds) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr) return MPA_E_BAD_ARGUMENT;
        return mpa::seek_seconds(d, std::isnan(seconds) ? 0.0 : seconds);
    });
}

MPA_API int32_t decoder_seek_time(Decoder* d, const TimeCode* time) {
    return a5::guardExport(mpa::failure_status, [&]() -> int32_t {
        if (d == nullptr || time == nullptr) return MPA_E_BAD_ARGUMENT;
        const double seconds =
            time->hours * 3600.0 + time->minutes * 60.0 + time->seconds + time->hundredths * 0.01;
        return mpa::seek_seconds(d, seconds);
    });
}

}  // extern "C"
