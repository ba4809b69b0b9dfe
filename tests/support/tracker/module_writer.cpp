#include "module_writer.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string_view>

namespace orvox::tracker::test {
namespace {

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

bool isNoteRow(int row) {
    for (int r : kNoteRows) {
        if (r == row) return true;
    }
    return false;
}

// The test song of both MOD kinds: the square wave at period 428 on the first channel.
ModSong squareSong(std::string title) {
    ModSong song;
    song.title = std::move(title);
    ModSample square;
    square.name = "st-01:square";
    for (std::size_t i = 0; i < kSampleBytes; ++i) square.data.push_back(squareAt(i));
    square.loopLength = kSampleBytes;
    song.samples.push_back(std::move(square));
    ModPattern pattern{};
    for (int row : kNoteRows) pattern[static_cast<std::size_t>(row)][0] = ModCell{428, 1, 0, 0};
    song.patterns.push_back(pattern);
    song.order = {0};
    return song;
}

void require(bool condition, const char* what) {
    if (!condition) throw std::invalid_argument(std::string("module writer: ") + what);
}

void checkSong(const ModSong& song, std::size_t slots) {
    require(song.title.size() <= 20, "title longer than 20 characters");
    require(song.samples.size() <= slots, "too many samples");
    require(!song.order.empty() && song.order.size() <= 128, "order of 1 to 128 entries needed");
    unsigned last = 0;
    for (unsigned entry : song.order) last = std::max(last, entry);
    require(song.patterns.size() == last + 1, "patterns must be exactly those up to the order's largest");
    for (const ModSample& s : song.samples) {
        require(s.name.size() <= 22, "sample name longer than 22 characters");
        require(s.data.size() % 2 == 0 && s.data.size() <= 0x1FFFE, "sample length must be even, at most 128 KiB");
        require(s.volume <= 64, "sample volume above 64");
        require(s.loopStart % 2 == 0 && s.loopLength % 2 == 0 && s.loopStart + s.loopLength <= s.data.size(),
                "sample loop must be even and inside the sample");
    }
    for (const ModPattern& pattern : song.patterns) {
        for (const auto& row : pattern) {
            for (const ModCell& cell : row) {
                require(cell.period <= 0xFFF && cell.sample <= 31 && cell.effect <= 0xF && cell.parameter <= 0xFF,
                        "pattern cell out of range");
            }
        }
    }
}

void modSampleHeaders(Writer& w, const ModSong& song, std::size_t slots) {
    for (std::size_t i = 0; i < slots; ++i) {
        if (i >= song.samples.size()) {
            w.zeros(22 + 2 + 1 + 1 + 2);
            w.be16(1);  // the customary "no loop"
            continue;
        }
        const ModSample& s = song.samples[i];
        w.text(s.name, 22);
        w.be16(static_cast<unsigned>(s.data.size() / 2));  // lengths in words
        w.u8(0);                                           // finetune
        w.u8(s.volume);
        w.be16(static_cast<unsigned>(s.loopLength == 0 ? 0 : s.loopStart / 2));
        w.be16(static_cast<unsigned>(s.loopLength == 0 ? 1 : s.loopLength / 2));
    }
}

// `slots` sample headers; the "M.K." signature only with 31 of them. `restart` is the
// byte after the song length.
Bytes modFile(const ModSong& song, std::size_t slots, unsigned restart) {
    checkSong(song, slots);
    Writer w;
    w.text(song.title, 20);
    modSampleHeaders(w, song, slots);
    w.u8(static_cast<unsigned>(song.order.size()));
    w.u8(restart);
    for (unsigned entry : song.order) w.u8(entry);
    w.zeros(128 - song.order.size());
    if (slots == 31) w.text("M.K.", 4);
    for (const ModPattern& pattern : song.patterns) {
        for (const auto& row : pattern) {
            for (const ModCell& cell : row) {
                w.u8((cell.sample & 0xF0) | (cell.period >> 8));
                w.u8(cell.period & 0xFF);
                w.u8(((cell.sample & 0x0F) << 4) | cell.effect);
                w.u8(cell.parameter);
            }
        }
    }
    for (const ModSample& s : song.samples) {
        for (std::int8_t v : s.data) w.u8(static_cast<std::uint8_t>(v));
    }
    return w.take();
}

}  // namespace

Bytes mod31(const ModSong& song) {
    return modFile(song, 31, 127);
}

Bytes mod31() {
    return mod31(squareSong("orvox mod31"));
}

Bytes mod15() {
    return modFile(squareSong("orvox mod15"), 15, 120);  // 120: the old trackers' tempo byte
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
    for (int row = 0; row < kModRows; ++row) {
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
    for (int row = 0; row < kModRows; ++row) {
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
    w.le16(kModRows);
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
