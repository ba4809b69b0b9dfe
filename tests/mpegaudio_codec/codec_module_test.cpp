// The MPEG codec as a module of the decoder: analysis, seeking, reports and options.
#include <gtest/gtest.h>
#include <mpegaudio/mpeg_codec.h>

#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "bit_writer.h"
#include "stream_decode.h"
#include "../shared_data.h"

namespace mpa::test {
namespace {

constexpr uint32_t kLayer2At128 = 0xFFFD8000;  // MPEG-1 Layer II, 128 kbit/s, 44.1 kHz, stereo
constexpr uint32_t kLayer2At256 = 0xFFFDC000;
constexpr uint32_t kLayer3At128 = 0xFFFB9000;  // MPEG-1 Layer III, 128 kbit/s, 44.1 kHz, stereo

std::vector<uint8_t> frames(uint32_t word, int count) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < count; ++i) append(bytes, make_frame(word));
    return bytes;
}

std::vector<uint8_t> id3v2_tag(uint32_t size_field, size_t total) {
    std::vector<uint8_t> tag = {'I', 'D', '3', 3, 0, 0};
    for (int shift = 21; shift >= 0; shift -= 7)
        tag.push_back(static_cast<uint8_t>(size_field >> shift & 0x7F));
    tag.resize(total, 0);
    return tag;
}

// A first Layer III frame carrying a Xing header (frame count and seek table) after the side
// information.
std::vector<uint8_t> xing_frame(uint32_t frame_count, const std::vector<uint8_t>& toc) {
    std::vector<uint8_t> f = make_frame(kLayer3At128);
    std::memcpy(f.data() + 36, "Xing", 4);
    const uint32_t flags = toc.empty() ? 1 : 5;
    size_t at = 40;
    for (uint32_t word : {flags, frame_count}) {
        for (int k = 0; k < 4; ++k) f[at++] = static_cast<uint8_t>(word >> (24 - 8 * k));
    }
    std::copy(toc.begin(), toc.end(), f.begin() + static_cast<long>(at));
    return f;
}

int32_t stream_int(Decoder* d, const char* name) {
    int32_t v = -1;
    EXPECT_EQ(decoder_get_stream_int(d, name, &v), 0) << name;
    return v;
}

TEST(CodecModule, DescribesItselfAsTheQueryAsks) {
    const ModuleDescriptor* m = mpeg_codec_module();
    EXPECT_EQ(m->version, MPA_MODULE_VERSION);
    EXPECT_EQ(m->codec.probe("audio/unknown", "anything"), 0);
    ModuleInfo info{};
    ASSERT_EQ(m->codec.query(&info, MPA_QUERY_NAME | MPA_QUERY_DEVICE), 0);
    EXPECT_STREQ(info.name, "MPEG Audio Codec");
    EXPECT_STREQ(info.description, "Version 1.2");
    info = ModuleInfo{};
    ASSERT_EQ(m->codec.query(&info, MPA_QUERY_DEVICE | MPA_QUERY_DEVICE_COUNT | MPA_QUERY_MAX_BYTES), 0);
    EXPECT_STREQ(info.name, "MP1, MP2, MP3");
    EXPECT_STREQ(info.description, "MPEG 1 or 2 audio");
    EXPECT_EQ(info.device_flag, 0);
    EXPECT_EQ(info.index, 1);
    EXPECT_EQ(info.max_bytes, 4608);
    info = ModuleInfo{};
    ASSERT_EQ(m->codec.query(&info, MPA_QUERY_CAPABILITIES), 0);
    EXPECT_EQ(info.device_flag, 3);
    info.index = 1;
    EXPECT_EQ(m->codec.query(&info, MPA_QUERY_DEVICE), MPA_E_BAD_ARGUMENT);
}

TEST(CodecModule, AnalysisStepsOverTheId3v2TagAndEstimatesCbrDuration) {
    std::vector<uint8_t> bytes = id3v2_tag(4086, 4096);
    append(bytes, frames(kLayer2At128, 10));
    DecoderSession s(bytes);
    ASSERT_EQ(s.open(), 0);
    Decoder* d = s.get();
    const StreamInfo& info = d->status.info;
    EXPECT_EQ(info.flags, 7u);
    EXPECT_STREQ(info.content_type, "audio/mpeg");
    EXPECT_EQ(info.duration_ms, (bytes.size() - 4096) / 16);
    EXPECT_EQ(info.bitrate, 128u);
    EXPECT_EQ(info.sample_rate, 44100u);
    EXPECT_EQ(info.channels, 2u);
    EXPECT_EQ(stream_int(d, "mpeg/level"), 1);
    EXPECT_EQ(stream_int(d, "mpeg/layer"), 2);
    EXPECT_EQ(stream_int(d, "mpeg/mode"), 0);
    EXPECT_EQ(d->input.position, 4096u);  // decoding starts at the first frame
    const Decoded all = s.decode_all();
    EXPECT_EQ(all.frames, 10u);
    EXPECT_EQ(all.pcm.size(), 10u * 1152 * 2);
    EXPECT_FLOAT_EQ(d->status.fraction, 1.0f);
}

TEST(CodecModule, CbrDurationOf1600000BytesAt128kIs100Seconds) {
    std::vector<uint8_t> bytes = frames(kLayer2At128, 3840);
    bytes.resize(1'600'000);
    DecoderSession s(bytes);
    ASSERT_EQ(s.open(), 0);
    EXPECT_EQ(s.get()->status.info.duration_ms, 100'000u);
}

TEST(CodecModule, TagLongerThanTheInputLeavesNoAudio) {
    std::vector<uint8_t> bytes = id3v2_tag(100000, 200);
    append(bytes, frames(kLayer2At128, 2));
    DecoderSession s(bytes);
    ASSERT_EQ(s.open(), 0);
    EXPECT_EQ(s.get()->status.info.flags, 0u);
    EXPECT_EQ(s.decode_all().frames, 0u);
}

TEST(CodecModule, XingFrameCountGivesDurationAndBitrate) {
    std::vector<uint8_t> bytes = xing_frame(1000, {});
    append(bytes, frames(kLayer3At128, 20));
    DecoderSession s(bytes);
    ASSERT_EQ(s.open(), 0);
    const StreamInfo& info = s.get()->status.info;
    EXPECT_EQ(info.duration_ms, 26'122u);
    EXPECT_EQ(info.bitrate, bytes.size() / 26'122 * 8);
    const Decoded all = s.decode_all();
    EXPECT_EQ(all.frames, 21u);
    EXPECT_EQ(info.duration_ms, 26'122u);  // a VBR header's figures stand while decoding
    EXPECT_EQ(info.bitrate, bytes.size() / 26'122 * 8);
}

TEST(CodecModule, VbriFrameCountGivesDuration) {
    std::vector<uint8_t> bytes = make_frame(kLayer3At128);
    std::memcpy(bytes.data() + 36, "VBRI", 4);
    bytes[36 + 14 + 3] = 100;  // 100 frames
    append(bytes, frames(kLayer3At128, 3));
    DecoderSession s(bytes);
    ASSERT_EQ(s.open(), 0);
    EXPECT_EQ(s.get()->status.info.duration_ms, 100u * 1152 * 1000 / 44100);
}

TEST(CodecModule, SeekTableMapsTheFraction) {
    std::vector<uint8_t> toc(100);
    for (int i = 0; i < 100; ++i) toc[i] = static_cast<uint8_t>(i * 2);
    toc[50] = 120;
    toc[51] = 124;
    std::vector<uint8_t> bytes = xing_frame(500, toc);
    append(bytes, frames(kLayer3At128, 40));
    DecoderSession s(bytes);
    ASSERT_EQ(s.open(), 0);
    ASSERT_EQ(decoder_seek_fraction(s.get(), 0.5f), 0);
    EXPECT_EQ(s.get()->input.position, static_cast<uint64_t>(bytes.size() * 120 / 256));
    ASSERT_EQ(decoder_seek_fraction(s.get(), 0.505f), 0);  // halfway between two entries
    EXPECT_NEAR(static_cast<double>(s.get()->input.position), bytes.size() * 122.0 / 256, 2.0);
    ASSERT_EQ(decoder_seek_fraction(s.get(), 1.0f), 0);
    EXPECT_EQ(s.get()->input.position, bytes.size());

    // Behind an ID3v2 tag the mapped fraction of the audio becomes a fraction of the input.
    std::vector<uint8_t> tagged = id3v2_tag(1014, 1024);
    append(tagged, bytes);
    DecoderSession t(tagged);
    ASSERT_EQ(t.open(), 0);
    ASSERT_EQ(decoder_seek_fraction(t.get(), 0.5f), 0);
    EXPECT_NEAR(static_cast<double>(t.get()->input.position), 1024 + bytes.size() * 120.0 / 256, 2.0);
}

TEST(CodecModule, SeekingResetsTheDecoderToReplayIdentically) {
    const std::string dir = vectors_dir();
    A5_SKIP_WITHOUT_SHARED(!dir.empty(), "conformance streams under " << A5_SHARED_DIR);
    DecoderSession s(read_file(dir + "/l2-fl10.bit"));
    ASSERT_EQ(s.open(), 0);
    const Decoded first = s.decode_all(20);
    ASSERT_EQ(decoder_seek_fraction(s.get(), 0.0f), 0);
    const Decoded again = s.decode_all(20);
    EXPECT_EQ(first.pcm, again.pcm);
}

TEST(CodecModule, StreamWithoutHeaderAtTheStartStillPlays) {
    std::vector<uint8_t> bytes(300, 0x11);
    append(bytes, frames(kLayer2At128, 4));
    DecoderSession s(bytes);
    ASSERT_EQ(s.open(), 0);
    EXPECT_EQ(s.get()->status.info.flags, 0u);  // the analysis found no header
    const Decoded all = s.decode_all();
    EXPECT_EQ(all.frames, 4u);
    EXPECT_EQ(s.get()->status.info.channels, 2u);
}

TEST(CodecModule, UnseekableInputReportsTheStreamFromTheFirstFrame) {
    DecoderSession s(frames(0xFFFD84C0, 5), false);  // 48 kHz single channel
    ASSERT_EQ(s.open(), 0);
    Decoder* d = s.get();
    ASSERT_EQ(decoder_decode(d, nullptr), 0);
    const StreamInfo& info = d->status.info;
    EXPECT_EQ(info.flags, 7u);
    EXPECT_STREQ(info.content_type, "audio/mpeg");
    EXPECT_EQ(info.channels, 1u);
    EXPECT_EQ(info.sample_rate, 48000u);
    EXPECT_EQ(info.bitrate, 128u);
    EXPECT_EQ(stream_int(d, "mpeg/mode"), 3);
    EXPECT_EQ(d->pcm.channels, 1u);
    EXPECT_EQ(d->pcm.samples, 1152u);
    ASSERT_EQ(decoder_decode(d, nullptr), 0);
    EXPECT_EQ(info.flags, 0u);  // nothing changed
    EXPECT_EQ(d->pcm.flags, 0u);
}

TEST(CodecModule, BitrateAndDurationFollowAVbrStreamWithoutHeader) {
    std::vector<uint8_t> bytes = frames(kLayer2At128, 20);
    append(bytes, frames(kLayer2At256, 60));
    DecoderSession s(bytes);
    ASSERT_EQ(s.open(), 0);
    Decoder* d = s.get();
    const uint32_t estimate = d->status.info.duration_ms;
    EXPECT_EQ(estimate, bytes.size() / 16);
    std::vector<int16_t> pcm(2304);
    uint32_t last = 0, reports = 0;
    std::vector<uint32_t> durations;
    for (int i = 0; i < 80; ++i) {
        ASSERT_EQ(decoder_decode(d, pcm.data()), 0);
        const StreamInfo& info = d->status.info;
        if (i < 20) {
            EXPECT_EQ(info.bitrate, 128u) << i;
        } else if (i > 20) {
            EXPECT_GE(info.bitrate, last) << i;
        }
        last = info.bitrate;
        if ((info.flags & MPA_INFO_FORMAT) != 0) {
            ++reports;
            durations.push_back(info.duration_ms);
        }
    }
    EXPECT_GT(last, 200u);
    EXPECT_GT(reports, 3u);
    // The true length: 80 frames of 1152 samples at 44.1 kHz.
    EXPECT_NEAR(durations.back(), 80 * 1152 * 1000.0 / 44100, 150.0);
}

TEST(CodecModule, ChannelAndRateOptionsShapeThePcm) {
    DecoderSession s(frames(kLayer2At128, 3));
    Decoder* d = s.get();
    ASSERT_EQ(s.open(), 0);
    ASSERT_EQ(decoder_set_channel_mode(d, MPA_CHANNELS_MIX), 0);
    ASSERT_EQ(decoder_set_downsampling(d, MPA_RATE_HALF), 0);
    EXPECT_EQ(decoder_get_channel_mode(d), MPA_CHANNELS_MIX);
    EXPECT_EQ(decoder_get_downsampling(d), MPA_RATE_HALF);
    ASSERT_EQ(decoder_decode(d, nullptr), 0);
    EXPECT_EQ(d->pcm.channels, 1u);
    EXPECT_EQ(d->pcm.sample_rate, 22050u);
    EXPECT_EQ(d->pcm.samples, 576u);
    ASSERT_EQ(decoder_set_channel_mode(d, MPA_CHANNELS_BOTH), 0);
    ASSERT_EQ(decoder_set_downsampling(d, MPA_RATE_FULL), 0);
    ASSERT_EQ(decoder_decode(d, nullptr), 0);
    EXPECT_EQ(d->pcm.channels, 2u);
    EXPECT_EQ(d->pcm.samples, 1152u);
    EXPECT_EQ(d->pcm.flags, 6u);
}

TEST(CodecModule, EqualizerStepsReachTheFilterbank) {
    const std::string dir = vectors_dir();
    A5_SKIP_WITHOUT_SHARED(!dir.empty(), "conformance streams under " << A5_SHARED_DIR);
    const auto bytes = read_file(dir + "/l2-fl10.bit");
    auto energy = [](const Decoded& dec) {
        double e = 0;
        for (int16_t x : dec.pcm) e += static_cast<double>(x) * x;
        return e;
    };
    DecoderSession plain(bytes), cut(bytes);
    ASSERT_EQ(plain.open(), 0);
    ASSERT_EQ(cut.open(), 0);
    std::vector<int8_t> steps(64, -128);  // every band at 0.2
    ASSERT_EQ(decoder_set_equalizer(cut.get(), steps.data()), 0);
    std::vector<int8_t> back(64, 0);
    ASSERT_EQ(decoder_get_equalizer(cut.get(), back.data()), 0);
    EXPECT_EQ(back, steps);
    const double ratio = energy(cut.decode_all(10)) / energy(plain.decode_all(10));
    EXPECT_NEAR(ratio, 0.04, 0.005);  // amplitude 0.2
}

TEST(CodecModule, FatalFrameReturns700AndDecodingGoesOn) {
    BitWriter bad;
    bad.put(15, 4);  // Layer I allocation 15
    std::vector<uint8_t> bytes = make_frame(0xFFFF10C0, bad);
    append(bytes, frames(0xFFFF10C0, 2));
    DecoderSession s(bytes);
    ASSERT_EQ(s.open(), 0);
    EXPECT_EQ(decoder_decode(s.get(), nullptr), MPA_E_FATAL);
    EXPECT_EQ(decoder_decode(s.get(), nullptr), 0);
    EXPECT_EQ(decoder_decode(s.get(), nullptr), 0);
    EXPECT_EQ(decoder_decode(s.get(), nullptr), MPA_E_END_OF_INPUT);
}

TEST(CodecModule, DecodersOnSeveralThreadsShareOnlyConstantTables) {
    const std::string dir = vectors_dir();
    A5_SKIP_WITHOUT_SHARED(!dir.empty(), "conformance streams under " << A5_SHARED_DIR);
    const auto layer1 = read_file(dir + "/l1-fl3.bit");
    const auto layer2 = read_file(dir + "/l2-fl16.bit");
    const Decoded want1 = decode_with_decoder(layer1);
    const Decoded want2 = decode_with_decoder(layer2, {.downsampling = 1});
    std::vector<Decoded> got(4);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < got.size(); ++i) {
        threads.emplace_back([&, i] {
            got[i] =
                i % 2 == 0 ? decode_with_decoder(layer1) : decode_with_decoder(layer2, {.downsampling = 1});
        });
    }
    for (auto& t : threads) t.join();
    for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i].pcm, i % 2 == 0 ? want1.pcm : want2.pcm) << i;
}

}  // namespace
}  // namespace mpa::test
