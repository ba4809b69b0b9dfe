// Writes 16-bit PCM to a WAV file: a header with zero sizes at open, the real sizes at
// close (and after every flush, so an interrupted render still leaves a playable file).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace plat {

class WavWriter {
public:
    WavWriter() = default;
    ~WavWriter() { close(); }
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    bool open(const std::string& path, uint32_t rate, uint32_t channels);
    void write(const int16_t* samples, size_t frames);
    void close();
    bool isOpen() const { return file_ != nullptr; }

private:
    void writeHeader();

    std::FILE* file_ = nullptr;
    uint32_t rate_ = 0;
    uint32_t channels_ = 0;
    uint64_t dataBytes_ = 0;
    uint64_t sinceHeader_ = 0;
};

}  // namespace plat
