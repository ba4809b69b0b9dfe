#include "ogg_stream.h"

#include <algorithm>
#include <climits>
#include <cstdio>

#include <plat/file_open.h>

namespace orvox::stream {

namespace {
// ov_read arguments: little-endian, 16-bit words, signed.
constexpr int kBigEndian = 0;
constexpr int kWordBytes = 2;
constexpr int kSigned = 1;
// Holes in a row that one fill skips before it takes the data as ended.
constexpr int kMaxHolesPerFill = 16;
// One decoded packet of the widest layout a link may have: 4096 frames of 8 channels.
constexpr size_t kMaxLinkReadBytes = size_t{PcmConverter::kMaxPushFrames} * 8 * kWordBytes;
}  // namespace

OggStream::~OggStream() { shutdown(); }

bool OggStream::openDecoder(const char* path) {
    converter_.clear();
    plat::FileStream file = plat::openFileStream(path, plat::FileMode::Read);
    // A failed ov_open leaves the file to its caller; a successful one takes it.
    if (file == nullptr || ov_open(file.get(), &vorbisFile_, nullptr, 0) != 0) {
        decoderOpen_ = false;
        return false;
    }
    file.release();
    decoderOpen_ = true;
    // libvorbisfile may leave a chained file positioned past a short first link.
    if (ov_streams(&vorbisFile_) > 1) ov_pcm_seek(&vorbisFile_, 0);
    currentSection_ = 0;
    section_ = 0;
    atEnd_ = false;
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
    converter_.clear();
    if (!decoderOpen_) return;
    ov_clear(&vorbisFile_);
    decoderOpen_ = false;
}

DWORD OggStream::fill(uint8_t* part1, DWORD bytes1, uint8_t* part2, DWORD bytes2) {
    const DWORD written = fillPart(part1, bytes1);
    if (!isPlaying() || part2 == nullptr || bytes2 == 0) return written;
    return bytes1 + fillPart(part2, bytes2);
}

long OggStream::read(uint8_t* into, size_t bytes) {
    if (!decoderOpen_) return OV_EINVAL;  // a reopen failed: nothing more will come
    return ov_read(&vorbisFile_, reinterpret_cast<char*>(into), static_cast<int>(std::min<size_t>(bytes, INT_MAX)),
                   kBigEndian, kWordBytes, kSigned, &currentSection_);
}

bool OggStream::enterLink(int section) {
    section_ = section;
    converter_.finish();
    const vorbis_info* info = ov_info(&vorbisFile_, -1);
    if (info == nullptr) return false;
    if (info->channels == format().nChannels && static_cast<DWORD>(info->rate) == format().nSamplesPerSec)
        return true;
    if (!converter_.configure(static_cast<int>(info->rate), info->channels, static_cast<int>(format().nSamplesPerSec),
                              format().nChannels))
        return false;
    reserveLinkPcm();
    return true;
}

void OggStream::reserveLinkPcm() {
    // Made once at the widest size, never resized: a read may be waiting in it.
    if (linkPcm_.empty()) linkPcm_.resize(kMaxLinkReadBytes);
}

void OggStream::rewind() {
    decodedSinceRewind_ = false;
    atEnd_ = false;
    if (ov_pcm_seek(&vorbisFile_, 1) == 0) return;
    closeSource();
    openDecoder(path());
}

DWORD OggStream::fillPart(uint8_t* part, DWORD bytes) {
    const DWORD frameBytes = format().nBlockAlign;
    DWORD done = 0;
    int holes = 0;
    while (bytes - done >= frameBytes) {
        if (converter_.waitingBytes() > 0) {
            done += static_cast<DWORD>(converter_.take(part + done, bytes - done));
            continue;
        }
        if (!atEnd_) {
            // A link that is converted is read aside; one in the buffer's format in place.
            uint8_t* into = converter_.active() ? linkPcm_.data() : part + done;
            long got = read(into, converter_.active() ? linkPcm_.size() : bytes - done);
            if (got == OV_EINVAL && decoderOpen_ && into == part + done) {
                // The next link's frames are wider than the room left: read them aside.
                reserveLinkPcm();
                into = linkPcm_.data();
                got = read(into, linkPcm_.size());
            }
            if (got == OV_HOLE && ++holes <= kMaxHolesPerFill) continue;
            if (got > 0 && (currentSection_ == section_ || enterLink(currentSection_))) {
                holes = 0;
                decodedSinceRewind_ = true;
                if (converter_.active()) {
                    const vorbis_info* info = ov_info(&vorbisFile_, -1);
                    converter_.push(reinterpret_cast<const int16_t*>(into),
                                    static_cast<int>(got / (kWordBytes * info->channels)));
                } else if (into != part + done) {
                    converter_.append(into, static_cast<size_t>(got));  // after the tail of a converted link
                } else {
                    done += static_cast<DWORD>(got);
                }
                continue;
            }
            // End of the data: the end of the stream, a link that cannot be played, or a
            // decoder error. What the converter holds back is still to come.
            converter_.finish();
            atEnd_ = true;
            continue;
        }
        // A pass that gave nothing since the last rewind would only spin: it ends too.
        if (loop_.load() == 0 || !decodedSinceRewind_) {
            endOfData();
            return done;
        }
        rewind();
    }
    return done;
}

}  // namespace orvox::stream
