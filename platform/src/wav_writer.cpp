#include "wav_writer.h"

#include <algorithm>

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
}  // namespace

bool WavWriter::open(const std::string& path, uint32_t rate, uint32_t channels) {
    close();
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) return false;
    rate_ = rate;
    channels_ = channels;
    dataBytes_ = 0;
    writeHeader();
    return true;
}

void WavWriter::writeHeader() {
    uint8_t h[44];
    const uint32_t data = static_cast<uint32_t>(std::min(dataBytes_, kMaxData));
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
    long end = std::ftell(file_);
    std::fseek(file_, 0, SEEK_SET);
    std::fwrite(h, 1, sizeof h, file_);
    if (end > 44) std::fseek(file_, end, SEEK_SET);
    sinceHeader_ = 0;
}

void WavWriter::write(const int16_t* samples, size_t frames) {
    if (!file_) return;
    const size_t bytes = frames * channels_ * 2;
    if (dataBytes_ + bytes > kMaxData) return;  // a WAV file cannot say more
    // The file is little-endian, as the machine is.
    std::fwrite(samples, 1, bytes, file_);
    dataBytes_ += bytes;
    sinceHeader_ += bytes;
    if (sinceHeader_ >= (1u << 22)) writeHeader();
}

void WavWriter::close() {
    if (!file_) return;
    writeHeader();
    std::fclose(file_);
    file_ = nullptr;
}

}  // namespace plat
