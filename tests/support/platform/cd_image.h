// Disc images made at test time (CUE sheet and BIN), with samples that depend on their
// position so that any shifted, swapped or repeated frame shows; and the samples of a
// PCM WAV file for comparing with the shared image's tracks.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

namespace cdtest {

inline constexpr uint32_t kFramesPerSector = 588;

struct TrackLayout {
    uint32_t sectors = 75;        // from INDEX 01 to the next track
    uint32_t pregapSectors = 0;   // INDEX 00 that many sectors before INDEX 01 (inside the BIN)
    bool audio = true;
};

struct ImageLayout {
    std::vector<TrackLayout> tracks{};
    bool motorola = false;           // samples stored big-endian
    std::string dataFile{};          // the name the FILE line gives; empty: NAME.bin
    bool writeData = true;
    int64_t dataBytesLost = 0;       // bytes cut from the end of the data file
};

inline void PrintTo(const ImageLayout& layout, std::ostream* out) {
    *out << layout.tracks.size() << " tracks" << (layout.motorola ? ", Motorola" : "")
         << (layout.dataFile.empty() ? "" : ", data in " + layout.dataFile);
}

// Sample of channel `c` at stereo frame `f` of the disc.
inline int16_t patternSample(uint64_t f, int c) {
    return static_cast<int16_t>(static_cast<uint16_t>(((f * 2 + static_cast<uint64_t>(c)) * 2654435761u) >> 13));
}

inline uint32_t totalSectors(const ImageLayout& layout) {
    uint32_t n = 0;
    for (const TrackLayout& t : layout.tracks) n += t.pregapSectors + t.sectors;
    return n;
}

// Sector of each track's INDEX 01.
inline std::vector<uint32_t> trackStarts(const ImageLayout& layout) {
    std::vector<uint32_t> starts;
    uint32_t at = 0;
    for (const TrackLayout& t : layout.tracks) {
        at += t.pregapSectors;
        starts.push_back(at);
        at += t.sectors;
    }
    return starts;
}

inline std::string msf(uint32_t sector) {
    char text[16];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u", sector / 75 / 60, sector / 75 % 60, sector % 75);
    return text;
}

// Writes DIR/NAME.cue and its data file; returns the sheet's path.
inline std::string writeImage(const std::filesystem::path& dir, const std::string& name, const ImageLayout& layout) {
    std::filesystem::create_directories(dir);
    const std::string dataName = layout.dataFile.empty() ? name + ".bin" : layout.dataFile;
    std::ofstream cue(dir / (name + ".cue"), std::ios::binary);
    cue << "FILE \"" << dataName << "\" " << (layout.motorola ? "MOTOROLA" : "BINARY") << "\r\n";
    uint32_t at = 0;
    for (size_t i = 0; i < layout.tracks.size(); ++i) {
        const TrackLayout& t = layout.tracks[i];
        char line[64];
        std::snprintf(line, sizeof line, "  TRACK %02zu %s\r\n", i + 1, t.audio ? "AUDIO" : "MODE1/2352");
        cue << line;
        if (t.pregapSectors > 0) cue << "    INDEX 00 " << msf(at) << "\r\n";
        at += t.pregapSectors;
        cue << "    INDEX 01 " << msf(at) << "\r\n";
        at += t.sectors;
    }
    if (layout.writeData) {
        const uint64_t frames = uint64_t{totalSectors(layout)} * kFramesPerSector;
        std::vector<char> bytes(frames * 4);
        for (uint64_t f = 0; f < frames; ++f) {
            for (int c = 0; c < 2; ++c) {
                const auto v = static_cast<uint16_t>(patternSample(f, c));
                const size_t at2 = (f * 2 + static_cast<uint64_t>(c)) * 2;
                bytes[at2] = static_cast<char>(layout.motorola ? v >> 8 : v & 0xFF);
                bytes[at2 + 1] = static_cast<char>(layout.motorola ? v & 0xFF : v >> 8);
            }
        }
        bytes.resize(bytes.size() - static_cast<size_t>(layout.dataBytesLost));
        std::ofstream(dir / dataName, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    return (dir / (name + ".cue")).string();
}

// Interleaved stereo samples of frames [from, to) of a made image.
inline std::vector<int16_t> patternFrames(uint64_t from, uint64_t to) {
    std::vector<int16_t> out;
    out.reserve((to - from) * 2);
    for (uint64_t f = from; f < to; ++f) {
        out.push_back(patternSample(f, 0));
        out.push_back(patternSample(f, 1));
    }
    return out;
}

// The samples of a 16-bit PCM WAV file (its data chunk); empty when there is none.
inline std::vector<int16_t> wavSamples(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char header[12];
    if (!in.read(header, 12)) return {};
    for (;;) {
        char id[4];
        uint32_t size = 0;
        if (!in.read(id, 4) || !in.read(reinterpret_cast<char*>(&size), 4)) return {};
        if (std::string(id, 4) == "data") {
            std::vector<int16_t> samples(size / 2);
            in.read(reinterpret_cast<char*>(samples.data()), static_cast<std::streamsize>(samples.size() * 2));
            return samples;
        }
        in.seekg(size + (size & 1), std::ios::cur);
    }
}

}  // namespace cdtest
