#include "codec/frame.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace mpa {

namespace {

// kbit/s by [MPEG-1][layer - 1][bitrate index] (ISO/IEC 11172-3 and 13818-3); MPEG 2.5 uses
// the MPEG-2 rows.
constexpr uint16_t kBitrates[2][3][15] = {
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}},
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
};

// Hz by 4 * version + rate index: MPEG-2, MPEG-1, MPEG 2.5.
constexpr uint32_t kSampleRates[12] = {22050, 24000, 16000, 0, 44100, 48000, 32000, 0, 11025, 12000, 8000, 0};

constexpr uint32_t kLayer3 = 1;  // layer field values
constexpr uint32_t kLayer2 = 2;
constexpr uint32_t kLayer1 = 3;

// Turns `bytes` stream bytes at the start of `words` into big-endian-ordered machine words.
void regroup(uint32_t* words, uint32_t bytes) {
    if constexpr (std::endian::native == std::endian::little) {
        for (uint32_t i = 0, n = (bytes + 3) / 4; i < n; ++i) words[i] = __builtin_bswap32(words[i]);
    }
}

int32_t read_bytes(FrameReader& r, uint8_t* dst, uint32_t n) {
    return n == 0 ? 0 : r.source.read(r.source.ctx, dst, n);
}

int32_t read_word(FrameReader& r, uint32_t& word) {
    uint8_t b[4];
    if (const int32_t rc = read_bytes(r, b, 4); rc != 0) return rc;
    word = uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3];
    return 0;
}

// Reads until the top eleven bits of the last four bytes are the sync pattern.
int32_t sync_search(FrameReader& r, uint32_t& word) {
    if (const int32_t rc = read_word(r, word); rc != 0) {
        r.verified = false;
        return rc;
    }
    while (!has_sync(word)) {
        r.verified = false;
        uint8_t b;
        if (const int32_t rc = read_bytes(r, &b, 1); rc != 0) return rc;
        word = word << 8 | b;
    }
    return 0;
}

// While the sync holds, the next header starts where the last frame ended: anything else
// there is a stream error, noted once (the search onward finds nothing more to note, since
// the sync is no longer verified).
int32_t find_header(FrameReader& r) {
    if (r.lookahead_valid) {
        r.current = r.lookahead;
        r.lookahead_valid = false;
        return 0;
    }
    for (;;) {
        const bool expected = r.verified;
        uint32_t word = 0;
        if (const int32_t rc = sync_search(r, word); rc != 0) return rc;
        if (expected && !r.verified) note_stream_error(r, MPA_E_LOST_SYNC);
        r.current = header_split(word);
        if (header_valid(r.current)) return 0;
        if (r.verified) note_stream_error(r, MPA_E_BAD_HEADER);
        r.verified = false;
    }
}

// Bytes of this frame's main data that follow the side information.
uint32_t main_data_length(const FrameHeader& h) {
    const uint32_t body = frame_length(h) - 4;
    const uint32_t side = side_info_length(h);
    return body > side ? body - side : 0;
}

int32_t confirm(FrameReader& r) {
    uint32_t word = 0;
    const int32_t rc = read_word(r, word);
    if (rc == kEndOfInput) return 0;  // the last frame of the stream still decodes
    if (rc != 0) return rc;
    const FrameHeader next = header_split(word);
    if (!has_sync(word) || !header_valid(next)) return kLostSync;
    r.lookahead = next;
    r.lookahead_valid = true;
    r.verified = true;
    return 0;
}

// Runs the state machine until a frame is complete (0) or a read fails.
int32_t advance(FrameReader& r) {
    auto* const frame_bytes = reinterpret_cast<uint8_t*>(r.frame);
    for (;;) {
        const FrameHeader& h = r.current;
        switch (r.state) {
            case 0:
                if (const int32_t rc = find_header(r); rc != 0) return rc;
                r.state = 1;
                break;
            case 1: {
                const uint32_t n = h.layer_field == kLayer3 ? side_info_length(h) : frame_length(h) - 4;
                if (const int32_t rc = read_bytes(r, frame_bytes, n); rc != 0) return rc;
                regroup(r.frame, n);
                bits_start(r.bits, r.frame);
                if (h.protection == 0) bits_skip(r.bits, 16);  // the CRC is not checked
                if (h.layer_field == kLayer3) {
                    r.state = 2;
                } else {
                    r.state = r.verified ? 0 : 4;
                    if (r.state == 0) return 0;
                }
                break;
            }
            case 2: {
                r.main_start = r.write_pos;
                const uint32_t n = main_data_length(h);
                const uint32_t first = std::min(n, kReservoirBytes - r.write_pos);
                if (const int32_t rc = read_bytes(r, r.reservoir + r.write_pos, first); rc != 0) return rc;
                r.write_pos = (r.write_pos + first) % kReservoirBytes;
                r.state = first < n ? 3 : (r.verified ? 0 : 4);
                if (r.state == 0) return 0;
                break;
            }
            case 3: {
                const uint32_t rest = r.main_start + main_data_length(h) - kReservoirBytes;
                if (const int32_t rc = read_bytes(r, r.reservoir, rest); rc != 0) return rc;
                r.write_pos = rest;
                r.state = r.verified ? 0 : 4;
                if (r.state == 0) return 0;
                break;
            }
            default: {
                const int32_t rc = confirm(r);
                if (rc == 0) r.state = 0;
                return rc;
            }
        }
    }
}

}  // namespace

uint32_t FrameHeader::bitrate_kbps() const {
    return kBitrates[version == 1 ? 1 : 0][layer() - 1][bitrate_index];
}

uint32_t FrameHeader::sample_rate() const {
    return kSampleRates[4 * version + rate_index];
}

uint32_t FrameHeader::samples() const {
    if (layer_field == kLayer1) return 384;
    if (layer_field == kLayer3 && version != 1) return 576;
    return 1152;
}

FrameHeader header_split(uint32_t word) {
    FrameHeader h;
    const uint32_t v = word >> 19 & 3;
    h.version = (v & 2) != 0 ? (v & 1) : (v == 0 ? 2 : 3);
    h.layer_field = word >> 17 & 3;
    h.protection = word >> 16 & 1;
    h.bitrate_index = word >> 12 & 15;
    h.rate_index = word >> 10 & 3;
    h.padding = word >> 9 & 1;
    h.private_bit = word >> 8 & 1;
    h.mode = word >> 6 & 3;
    h.mode_extension = word >> 4 & 3;
    h.flags = word & 15;
    return h;
}

bool header_valid(const FrameHeader& h) {
    if (h.bitrate_index == 0 || h.bitrate_index == 15) return false;
    if (h.layer_field == 0) return false;
    if (h.padding != 0 && h.rate_index != 0) return false;
    if (h.rate_index == 3) return false;
    if (h.version == 1 && h.layer_field == kLayer2) {
        const uint32_t i = h.bitrate_index;
        const bool low = i == 1 || i == 2 || i == 3 || i == 5;  // single channel only
        if (low && h.mode != 3) return false;
        if (i >= 11 && h.mode == 3) return false;  // two channels only
    }
    if (h.version == 3) return false;
    if (h.version == 2 && h.layer_field != kLayer3) return false;
    return true;
}

uint32_t frame_length(const FrameHeader& h) {
    const uint32_t kbps = h.bitrate_kbps();
    const uint32_t fs = h.sample_rate();
    const bool pad = h.padding != 0 && h.rate_index == 0;
    switch (h.layer_field) {
        case kLayer1:
            return 4 * (12000 * kbps / fs) + (pad ? 4 : 0);
        case kLayer2:
            return 144000 * kbps / fs + (pad ? 1 : 0);
        default: {
            const uint32_t n = 144000 * kbps / fs;
            return (h.version == 1 ? n : n / 2) + (pad ? 1 : 0);
        }
    }
}

uint32_t side_info_length(const FrameHeader& h) {
    const uint32_t crc = h.protection == 0 ? 2 : 0;
    if (h.version == 1) return (h.mode == 3 ? 17 : 32) + crc;
    return (h.mode == 3 ? 9 : 17) + crc;
}

int32_t frame_next(FrameReader& r, FrameHeader& out) {
    for (;;) {
        const int32_t rc = advance(r);
        if (rc == kLostSync) {  // the unconfirmed frame is dropped; search on
            r.state = 0;
            continue;
        }
        if (rc == 0) out = r.current;
        return rc;
    }
}

bool reservoir_fetch(FrameReader& r, uint32_t main_data_begin, uint32_t total_bits) {
    const uint32_t appended = (r.write_pos - r.main_start) % kReservoirBytes;
    r.available += appended;
    const bool reachable = appended + main_data_begin <= r.available;
    r.available = std::min(r.available, kReservoirBytes);
    if (!reachable) return false;
    if (total_bits == 0) return true;
    const uint32_t words = std::min((total_bits + 31) / 32, kFrameBufferBytes / 4);
    // The bytes in stream order, in at most two pieces of the ring, then regrouped into words.
    const uint32_t at = (r.main_start + kReservoirBytes - main_data_begin) % kReservoirBytes;
    const uint32_t bytes = 4 * words;
    const uint32_t first = std::min(bytes, kReservoirBytes - at);
    auto* const frame_bytes = reinterpret_cast<uint8_t*>(r.frame);
    std::memcpy(frame_bytes, r.reservoir + at, first);
    std::memcpy(frame_bytes + first, r.reservoir, bytes - first);
    regroup(r.frame, bytes);
    bits_start(r.bits, r.frame);
    return true;
}

void frame_reset(FrameReader& r) {
    r.available = 0;
    r.main_start = r.write_pos;
    r.state = 0;
    r.verified = false;
    r.lookahead_valid = false;
    r.stream_error = 0;
}

}  // namespace mpa
