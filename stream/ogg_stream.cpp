#include "ogg_stream.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include <plat/file_open.h>

namespace orvox::stream {

namespace {
// ov_read arguments: little-endian, 16-bit words, signed.
constexpr int kBigEndian = 0;
constexpr int kWordBytes = 2;
constexpr int kSigned = 1;
// Holes in a row that one fill skips before it takes the data as ended.
constexpr int kMaxHolesPerFill = 16;
}  // namespace

OggStream::~OggStream() { shutdown(); }

bool OggStream::openDecoder(const char* path) {
    plat::FileStream file = plat::openFileStream(path, plat::FileMode::Read);
    // A failed ov_open leaves the file to its caller; a successful one takes it.
    if (file == nullptr || ov_open(file.get(), &vorbisFile_, nullptr, 0) != 0) {
        decoderOpen_ = false;
        return false;
    }
    file.release();
    decoderOpen_ = true;
    currentSection_ = 0;
    checkedSection_ = 0;
    decodedSinceRewind_ = false;
    return true;
}

bool OggStream::openSource(const char* path, bool probeOnly, WAVEFORMATEX& format) {
    closeSource();
    if (!openDecoder(path)) return false;
    if (probeOnly) {
        closeSource();
        return true;
    }
    const vorbis_info* info = ov_info(&vorbisFile_, -1);
    if (info == nullptr || info->channels <= 0 || info->rate <= 0 || info->channels > USHRT_MAX) {
        closeSource();
        return false;
    }
    format.nChannels = static_cast<WORD>(info->channels);
    format.nSamplesPerSec = static_cast<DWORD>(info->rate);
    format.wBitsPerSample = 16;
    return true;
}

void OggStream::closeSource() {
    if (!decoderOpen_) return;
    ov_clear(&vorbisFile_);
    decoderOpen_ = false;
}

DWORD OggStream::fill(uint8_t* part1, DWORD bytes1, uint8_t* part2, DWORD bytes2) {
    const DWORD written = fillPart(part1, bytes1);
    if (!isPlaying() || part2 == nullptr || bytes2 == 0) return written;
    return bytes1 + fillPart(part2, bytes2);
}

bool OggStream::linkMatchesBuffer() {
    if (currentSection_ == checkedSection_) return true;
    const vorbis_info* info = ov_info(&vorbisFile_, -1);
    if (info == nullptr || info->channels != format().nChannels ||
        static_cast<DWORD>(info->rate) != format().nSamplesPerSec)
        return false;
    checkedSection_ = currentSection_;
    return true;
}

void OggStream::rewind() {
    decodedSinceRewind_ = false;
    if (ov_pcm_seek(&vorbisFile_, 1) == 0) return;
    closeSource();
    openDecoder(path());
}

DWORD OggStream::fillPart(uint8_t* part, DWORD bytes) {
    const DWORD frameBytes = format().nBlockAlign;
    DWORD remaining = bytes;
    int holes = 0;
    while (remaining >= frameBytes) {
        long got = 0;
        if (decoderOpen_) {
            const int ask = remaining > INT_MAX ? INT_MAX : static_cast<int>(remaining);
            got = ov_read(&vorbisFile_, reinterpret_cast<char*>(part + (bytes - remaining)), ask, kBigEndian,
                          kWordBytes, kSigned, &currentSection_);
        } else {
            got = OV_EINVAL;  // a reopen failed: nothing more will come
        }
        if (got == OV_HOLE && ++holes <= kMaxHolesPerFill) continue;
        if (got > 0) {
            uint8_t* written = part + (bytes - remaining);
            if (linkMatchesBuffer()) {
                remaining -= static_cast<DWORD>(got);
                decodedSinceRewind_ = true;
                holes = 0;
                continue;
            }
            std::memset(written, 0, static_cast<size_t>(got));
        }
        // End of the data: the end of the stream, a link whose format the buffer cannot
        // play (its PCM is not used), or a decoder error.
        // A pass that gave nothing since the last rewind would only spin: it ends too.
        if (loop_.load() == 0 || !decodedSinceRewind_) {
            endOfData();
            return bytes - remaining;
        }
        rewind();
    }
    return bytes - remaining;
}

}  // namespace orvox::stream
