// Writes 16-bit PCM to a WAV file: a header with zero sizes at open, the real sizes at
// close (and after every flush, so an interrupted render still leaves a playable file).
// An output that cannot seek (a pipe) gets one header with the largest sizes instead.
// Every write is checked: the first failure is kept, nothing more is written, and close
// reports it.
#pragma once

#include <plat/file_open.h>

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

    // False with errno set when the file cannot be opened or its header not written.
    bool open(const std::string& path, uint32_t rate, uint32_t channels);
    void write(const int16_t* samples, size_t frames);
    // Writes the final header and closes: 0, or the errno of the first write that failed
    // (EFBIG once the data outgrows what a WAV header can state).
    int close();
    bool isOpen() const { return file_ != nullptr; }

private:
    bool put(const void* bytes, size_t size);
    void writeHeader();
    void fail(int error);

    FileStream file_;
    bool seekable_ = true;
    int error_ = 0;
    uint32_t rate_ = 0;
    uint32_t channels_ = 0;
    uint64_t dataBytes_ = 0;
    uint64_t sinceHeader_ = 0;
};

}  // namespace plat
