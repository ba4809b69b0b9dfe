// The frame layer: finds MPEG audio frames in the byte stream, checks their headers, reads each
// frame's body into the frame buffer and keeps the Layer III bit reservoir.
#pragma once

#include <mpegaudio/decoder.h>

#include <cstdint>

#include "codec/bit_reader.h"

namespace mpa {

// The decoder's end of input, and the frame layer's own signal that a frame was not confirmed
// by its successor (never returned: frame_next searches on).
inline constexpr int32_t kEndOfInput = MPA_E_END_OF_INPUT;
inline constexpr int32_t kLostSync = MPA_E_FATAL;

// Reads exactly n bytes: 0 on success, kEndOfInput when the input has no more, another negative
// code on failure (the decoder's read service).
struct ByteSource {
    int32_t (*read)(void* ctx, uint8_t* buf, uint32_t n) = nullptr;
    void* ctx = nullptr;
};

// The 32-bit header split into its fields.
struct FrameHeader {
    uint32_t version = 0;        // 1 MPEG-1, 0 MPEG-2, 2 MPEG 2.5 (3 reserved)
    uint32_t layer_field = 0;    // 3 Layer I, 2 Layer II, 1 Layer III
    uint32_t protection = 0;     // 0: a 16-bit CRC follows the header
    uint32_t bitrate_index = 0;  // 1..14
    uint32_t rate_index = 0;     // sampling frequency index 0..2
    uint32_t padding = 0;
    uint32_t private_bit = 0;
    uint32_t mode = 0;  // 0 stereo, 1 joint stereo, 2 dual channel, 3 single channel
    uint32_t mode_extension = 0;
    uint32_t flags = 0;  // copyright, original, emphasis

    uint32_t layer() const { return 4 - layer_field; }
    uint32_t level() const { return 2 - version; }  // 1 MPEG-1, 2 MPEG-2, 0 MPEG 2.5
    uint32_t channels() const { return mode == 3 ? 1 : 2; }
    uint32_t bitrate_kbps() const;
    uint32_t sample_rate() const;
    // PCM samples per channel at full rate.
    uint32_t samples() const;
};

// True when the top eleven bits are the sync pattern.
inline bool has_sync(uint32_t word) {
    return (word & 0xFFE00000u) == 0xFFE00000u;
}
FrameHeader header_split(uint32_t word);
// The header checks, in order: bitrate index, layer, padding, rate index, Layer II
// bitrate/mode pairs, version, MPEG 2.5 only with Layer III.
bool header_valid(const FrameHeader& h);

// Frame length in bytes including the four header bytes.
uint32_t frame_length(const FrameHeader& h);
// Layer III side information length in bytes, CRC included.
uint32_t side_info_length(const FrameHeader& h);

// Bytes of the frame buffer that hold frame data. The buffer is followed by slack that any
// read past the end of a corrupt frame lands in (a layer reads at most kFrameSlackBytes beyond
// its data), so a bit reader walking off a frame never leaves the object.
inline constexpr uint32_t kFrameBufferBytes = 2048;
inline constexpr uint32_t kFrameSlackBytes = 8192;
inline constexpr uint32_t kReservoirBytes = 4096;

struct FrameReader {
    explicit FrameReader(ByteSource s) : source(s) {}

    ByteSource source;
    BitReader bits;
    alignas(16) uint32_t frame[(kFrameBufferBytes + kFrameSlackBytes) / 4] = {};
    uint8_t reservoir[kReservoirBytes] = {};
    uint32_t write_pos = 0;   // next byte to append in the ring
    uint32_t main_start = 0;  // ring position where the current frame's main data begins
    uint32_t available = 0;   // ring bytes received and usable, <= kReservoirBytes
    uint32_t state = 0;       // 0 need header, 1 body/side info, 2 main data, 3 wrapped rest, 4 confirm
    bool verified = false;    // the sync is confirmed by a following header
    bool lookahead_valid = false;
    // The first recoverable stream error (MPA_E_LOST_SYNC ... MPA_E_HUFFMAN_OVERRUN) met since
    // the last frame was handed out, or 0. The frame decoder hands it on with its frame.
    int32_t stream_error = 0;
    FrameHeader current;  // header of the frame being read
    FrameHeader lookahead;
};

// Finds the next valid frame and reads its body. 0, kEndOfInput or another read error; a read
// error leaves the reader resumable at the same step.
int32_t frame_next(FrameReader& r, FrameHeader& out);

// Assembles `total_bits` of Layer III main data that begins `main_data_begin` bytes before this
// frame's own main data into the frame buffer and points the bit reader at it. Returns false
// when the reservoir does not reach back that far.
bool reservoir_fetch(FrameReader& r, uint32_t main_data_begin, uint32_t total_bits);

// Forgets the reservoir, the reading state, the verified flag, the look-ahead header and a
// stream error not yet handed out.
void frame_reset(FrameReader& r);

// Keeps `error` as the frame's stream error unless an earlier one is kept already.
inline void note_stream_error(FrameReader& r, int32_t error) {
    if (r.stream_error == 0) r.stream_error = error;
}

}  // namespace mpa
