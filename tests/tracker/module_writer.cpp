#include "module_writer.h"

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string_view>

namespace orvox::tracker::test {
namespace {

constexpr int kRows = 64;
constexpr std::size_t kSampleBytes = 256;
// Rows that start a note on the first channel: the sample loops, so every row sounds.
constexpr int kNoteRows[] = {0, 16, 32, 48};

class Writer {
public:
    void u8(unsigned value) { bytes_.push_back(static_cast<std::uint8_t>(value)); }
    void le16(unsigned value) {
        u8(value & 0xFF);
        u8(value >> 8);
    }
    void le32(std::uint32_t value) {
        le16(value & 0xFFFF);
        le16(value >> 16);
    }
    void be16(unsigned value) {
        u8(value >> 8);
        u8(value & 0xFF);
    }
    // Text padded with zeros to `width`.
    void text(std::string_view s, std::size_t width) {
        for (std::size_t i = 0; i < width; ++i) u8(i < s.size() ? static_cast<unsigned char>(s[i]) : 0);
    }
    void zeros(std::size_t count) { bytes_.insert(bytes_.end(), count, 0); }
    void padTo(std::size_t alignment) { zeros((alignment - bytes_.size() % alignment) % alignment); }
    void append(const Bytes& more) { bytes_.insert(bytes_.end(), more.begin(), more.end()); }
    void patch16le(std::size_t at, unsigned value) {
        bytes_.at(at) = static_cast<std::uint8_t>(value & 0xFF);
        bytes_.at(at + 1) = static_cast<std::uint8_t>(value >> 8);
    }
    std::size_t size() const { return bytes_.size(); }
    Bytes take() { return std::move(bytes_); }

private:
    Bytes bytes_;
};

// A square wave, eight periods in the sample, as signed 8-bit values.
std::int8_t squareAt(std::size_t i) { return (i / 16) % 2 == 0 ? 80 : -80; }

Bytes signedSample() {
    Bytes data;
    for (std::size_t i = 0; i < kSampleBytes; ++i) data.push_back(static_cast<std::uint8_t>(squareAt(i)));
    return data;
}

bool isNoteRow(int row) {
    for (int r : kNoteRows) {
        if (r == row) return true;
    }
    return false;
}

// The pattern and sample part shared by both MOD kinds: 4 channels, period 428, sample 1.
void modBody(Writer& w) {
    for (int row = 0; row < kRows; ++row) {
        for (int channel = 0; channel < 4; ++channel) {
            if (channel == 0 && isNoteRow(row)) {
                constexpr unsigned period = 428;
                w.u8(period >> 8);  // sample number 1: high nibble 0 here...
                w.u8(period & 0xFF);
                w.u8(0x10);  // ...and 1 in the high nibble here; no effect
                w.u8(0);
            } else {
                w.le32(0);
            }
        }
    }
    w.append(signedSample());
}

void modSampleHeaders(Writer& w, int count) {
    for (int i = 0; i < count; ++i) {
        if (i == 0) {
            w.text("st-01:square", 22);
            w.be16(kSampleBytes / 2);  // length in words
            w.u8(0);                   // finetune
            w.u8(64);                  // volume
            w.be16(0);                 // loop start (words)
            w.be16(kSampleBytes / 2);  // loop length (words)
        } else {
            w.zeros(22 + 2 + 1 + 1 + 2);
            w.be16(1);  // the customary "no loop"
        }
    }
}

}  // namespace

Bytes mod31() {
    Writer w;
    w.text("orvox mod31", 20);
    modSampleHeaders(w, 31);
    w.u8(1);    // song length
    w.u8(127);  // restart byte
    w.zeros(128);
    w.text("M.K.", 4);
    modBody(w);
    return w.take();
}

Bytes mod15() {
    Writer w;
    w.text("orvox mod15", 20);
    modSampleHeaders(w, 15);
    w.u8(1);    // song length
    w.u8(120);  // the old trackers' tempo byte
    w.zeros(128);
    modBody(w);
    return w.take();
}

Bytes s3m() {
    constexpr unsigned orders = 2;
    Writer w;
    w.text("orvox s3m", 28);
    w.u8(0x1A);
    w.u8(16);  // type: module
    w.zeros(2);
    w.le16(orders);
    w.le16(1);  // instruments
    w.le16(1);  // patterns
    w.le16(0);  // flags
    w.le16(0x1320);
    w.le16(2);  // unsigned samples
    w.text("SCRM", 4);
    w.u8(64);    // global volume
    w.u8(6);     // speed
    w.u8(125);   // tempo
    w.u8(0xB0);  // master volume, stereo
    w.u8(0);     // ultra click
    w.u8(0);     // no panning table
    w.zeros(8);
    w.le16(0);
    w.u8(0);  // channel 1: left 1
    w.u8(8);  // channel 2: right 1
    for (int i = 2; i < 32; ++i) w.u8(255);
    w.u8(0);  // orders: pattern 0, end
    w.u8(255);
    const std::size_t instrumentPointer = w.size();
    w.le16(0);
    const std::size_t patternPointer = w.size();
    w.le16(0);

    w.padTo(16);
    w.patch16le(instrumentPointer, static_cast<unsigned>(w.size() / 16));
    w.u8(1);  // sample
    w.text("square.smp", 12);
    const std::size_t memseg = w.size();
    w.zeros(3);
    w.le32(kSampleBytes);
    w.le32(0);             // loop begin
    w.le32(kSampleBytes);  // loop end
    w.u8(64);              // volume
    w.u8(0);
    w.u8(0);  // not packed
    w.u8(1);  // looped, mono, 8-bit
    w.le32(8363);
    w.zeros(12);
    w.text("square", 28);
    w.text("SCRS", 4);

    w.padTo(16);
    w.patch16le(patternPointer, static_cast<unsigned>(w.size() / 16));
    const std::size_t patternStart = w.size();
    w.le16(0);  // packed length, patched below
    for (int row = 0; row < kRows; ++row) {
        if (isNoteRow(row)) {
            w.u8(0x20);  // channel 0: note and instrument
            w.u8(0x40);  // C-4
            w.u8(1);
        }
        w.u8(0);  // end of row
    }
    w.patch16le(patternStart, static_cast<unsigned>(w.size() - patternStart));

    w.padTo(16);
    const std::size_t samplePara = w.size() / 16;
    Bytes data = w.take();
    data.at(memseg) = static_cast<std::uint8_t>(samplePara >> 16);
    data.at(memseg + 1) = static_cast<std::uint8_t>(samplePara & 0xFF);
    data.at(memseg + 2) = static_cast<std::uint8_t>((samplePara >> 8) & 0xFF);
    for (std::size_t i = 0; i < kSampleBytes; ++i) data.push_back(static_cast<std::uint8_t>(squareAt(i) + 128));
    return data;
}

Bytes xm(unsigned channels) {
    Writer w;
    w.text("Extended Module: ", 17);
    w.text("orvox xm", 20);
    w.u8(0x1A);
    w.text("FastTracker v2.00", 20);
    w.le16(0x0104);
    w.le32(276);  // header size, counted from this field
    w.le16(1);    // song length
    w.le16(0);    // restart
    w.le16(channels);
    w.le16(1);  // patterns
    w.le16(1);  // instruments
    w.le16(1);  // linear frequencies
    w.le16(6);  // tempo
    w.le16(125);
    w.zeros(256);  // order table: pattern 0

    Writer pattern;
    for (int row = 0; row < kRows; ++row) {
        for (unsigned channel = 0; channel < channels; ++channel) {
            if (isNoteRow(row)) {
                pattern.u8(0x83);                    // note and instrument follow
                pattern.u8(49 + (channel * 5) % 24);  // from C-4 up, a fourth apart
                pattern.u8(1);
            } else {
                pattern.u8(0x80);  // empty
            }
        }
    }
    const Bytes packed = pattern.take();
    w.le32(9);  // pattern header length
    w.u8(0);
    w.le16(kRows);
    w.le16(static_cast<unsigned>(packed.size()));
    w.append(packed);

    w.le32(263);  // instrument header size
    w.text("square", 22);
    w.u8(0);
    w.le16(1);   // samples
    w.le32(40);  // sample header size
    w.zeros(96);       // every note plays sample 0
    w.zeros(48 + 48);  // envelopes
    w.zeros(2 + 6 + 2 + 4);
    w.le16(0);  // fadeout
    w.zeros(22);

    w.le32(kSampleBytes);
    w.le32(0);
    w.le32(kSampleBytes);
    w.u8(64);   // volume
    w.u8(0);    // finetune
    w.u8(1);    // forward loop, 8-bit
    w.u8(128);  // panning
    w.u8(0);    // relative note
    w.u8(0);
    w.text("square", 22);
    std::int8_t previous = 0;
    for (std::size_t i = 0; i < kSampleBytes; ++i) {  // stored as deltas
        w.u8(static_cast<std::uint8_t>(squareAt(i) - previous));
        previous = squareAt(i);
    }
    return w.take();
}

void writeFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!file) throw std::runtime_error("cannot write " + path.string());
}

Bytes readFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace orvox::tracker::test
