#include "mpeg_evidence.h"

#include <mpegaudio/frame_header.h>
#include <plat/file_open.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace orvox::stream {

namespace {

// The longest frame: Layer II or III at 384 kbit/s and 32 kHz, plus a padding byte.
constexpr size_t kLongestFrameBytes = 1729;
constexpr size_t kId3v2HeaderBytes = 10;
constexpr size_t kId3v1Bytes = 128;
// A file may carry several ID3v2 tags back to back; more than this is not a tag chain.
constexpr int kMaxId3v2Tags = 16;

uint32_t wordAt(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

bool agree(const MpegFrameHeader& a, const MpegFrameHeader& b) {
    return a.level == b.level && a.layer == b.layer && a.sample_rate == b.sample_rate &&
           a.channels == b.channels;
}

// A header at `at`: the sync pattern and fields the decoder accepts.
bool headerAt(const uint8_t* data, size_t size, size_t at, MpegFrameHeader& out) {
    return at + 4 <= size && mpeg_header_check(wordAt(data + at), &out) == MPA_OK;
}

bool runStartsAt(const uint8_t* data, size_t size, size_t at, bool reachesEnd) {
    MpegFrameHeader first;
    if (!headerAt(data, size, at, first)) return false;
    MpegFrameHeader next = first;
    for (int frames = 1;; ++frames) {
        const uint32_t length = next.frame_bytes;
        if (length <= 4) return false;
        at += length;
        if (frames >= kMpegFramesInARow) return true;
        // The file ends inside or right after this frame, or only its ID3v1 tag follows.
        const bool endOfFile = at + 4 > size || (at + kId3v1Bytes == size && data[at] == 'T' &&
                                                 data[at + 1] == 'A' && data[at + 2] == 'G');
        if (endOfFile) return reachesEnd && frames >= 2;
        if (!headerAt(data, size, at, next) || !agree(first, next)) return false;
    }
}

// Length of the ID3v2 tag at the head of `head`, or 0 when there is none.
size_t id3v2Length(const uint8_t* head) {
    if (head[0] != 'I' || head[1] != 'D' || head[2] != '3') return 0;
    size_t body = 0;
    for (int i = 6; i < 10; ++i) {
        if ((head[i] & 0x80) != 0) return 0;  // sizes are stored seven bits to a byte
        body = (body << 7) | head[i];
    }
    const bool footer = (head[5] & 0x10) != 0;
    return kId3v2HeaderBytes + body + (footer ? kId3v2HeaderBytes : 0);
}

}  // namespace

bool mpegFramesAtHead(const uint8_t* data, size_t size, bool reachesEnd) {
    for (size_t at = 0; at < kMpegSearchBytes && at + 4 <= size; ++at) {
        if (data[at] == 0xFF && runStartsAt(data, size, at, reachesEnd)) return true;
    }
    return false;
}

bool hasMpegAudioEvidence(const char* path) {
    const plat::FileStream file = plat::openFileStream(path, plat::FileMode::Read);
    if (file == nullptr) return false;

    long start = 0;
    for (int tags = 0; tags < kMaxId3v2Tags; ++tags) {
        uint8_t head[kId3v2HeaderBytes];
        if (std::fseek(file.get(), start, SEEK_SET) != 0) return false;
        if (std::fread(head, 1, sizeof head, file.get()) != sizeof head) break;
        const size_t tag = id3v2Length(head);
        if (tag == 0) break;
        start += static_cast<long>(tag);
    }
    if (std::fseek(file.get(), start, SEEK_SET) != 0) return false;

    // Room for the search and a whole run of the longest frames, plus one byte that tells
    // whether the file goes on beyond what was read.
    std::vector<uint8_t> data(kMpegSearchBytes + kMpegFramesInARow * kLongestFrameBytes + 1);
    const size_t got = std::fread(data.data(), 1, data.size(), file.get());
    const bool reachesEnd = got < data.size();
    return mpegFramesAtHead(data.data(), reachesEnd ? got : got - 1, reachesEnd);
}

}  // namespace orvox::stream
