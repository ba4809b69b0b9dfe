#include "wav_writer.h"

#include <algorithm>
#include <cerrno>

namespace plat {

namespace {
void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
void put16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
constexpr uint64_t kMaxData = 0xFFFFFFFFull - 36;
constexpr uint64_t kHeaderBytes = 44;
}  // namespace

bool WavWriter::open(const std::string& path, uint32_t rate, uint32_t channels) {
    close();
    // Any kind of file: a device or a FIFO with a reader takes a render too.
    file_ = openFileStream(path.c_str(), FileMode::Write);
    if (!file_) return false;
    seekable_ = std::ftell(file_.get()) >= 0;
    error_ = 0;
    rate_ = rate;
    channels_ = channels;
    dataBytes_ = 0;
    writeHeader();
    if (error_ != 0) {
        const int error = close();
        errno = error;
        return false;
    }
    return true;
}

void WavWriter::fail(int error) {
    if (error_ == 0) error_ = error != 0 ? error : EIO;
}

bool WavWriter::put(const void* bytes, size_t size) {
    if (error_ != 0) return false;
    errno = 0;
    if (std::fwrite(bytes, 1, size, file_.get()) == size) return true;
    fail(errno);
    return false;
}

void WavWriter::writeHeader() {
    uint8_t h[kHeaderBytes];
    // Without seeking, the one header is written at open: it states the largest size,
    // which readers of a stream take as "until the end".
    const uint32_t data = static_cast<uint32_t>(seekable_ ? std::min(dataBytes_, kMaxData) : kMaxData);
    std::copy_n("RIFF", 4, h);
    put32(h + 4, data + 36);
    std::copy_n("WAVEfmt ", 8, h + 8);
    put32(h + 16, 16);
    put16(h + 20, 1);
    put16(h + 22, uint16_t(channels_));
    put32(h + 24, rate_);
    put32(h + 28, rate_ * channels_ * 2);
    put16(h + 32, uint16_t(channels_ * 2));
    put16(h + 34, 16);
    std::copy_n("data", 4, h + 36);
    put32(h + 40, data);
    sinceHeader_ = 0;
    if (!seekable_) {
        put(h, sizeof h);
        return;
    }
    const uint64_t end = kHeaderBytes + dataBytes_;
    if (std::fseek(file_.get(), 0, SEEK_SET) != 0) return fail(errno);
    if (!put(h, sizeof h)) return;
    if (end > kHeaderBytes && fseeko(file_.get(), static_cast<off_t>(end), SEEK_SET) != 0) fail(errno);
}

void WavWriter::write(const int16_t* samples, size_t frames) {
    if (!file_ || error_ != 0) return;
    const size_t bytes = frames * channels_ * 2;
    if (dataBytes_ + bytes > kMaxData) return fail(EFBIG);
    // The file is little-endian, as the machine is.
    if (!put(samples, bytes)) return;
    dataBytes_ += bytes;
    sinceHeader_ += bytes;
    if (seekable_ && sinceHeader_ >= (1u << 22)) writeHeader();
}

int WavWriter::close() {
    if (!file_) return error_;
    if (seekable_) writeHeader();
    if (std::fflush(file_.get()) != 0) fail(errno);
    if (std::fclose(file_.release()) != 0) fail(errno);
    return error_;
}

}  // namespace plat
