#include "disc_image.h"

#include <cstdio>
#include <stdexcept>

#include "output_file.h"

namespace demo_media {
namespace {

constexpr std::size_t kFramesPerSector = 588;
constexpr int kSectorsPerSecond = 75;

std::string msf(std::size_t sector) {
    char text[32];
    std::snprintf(text, sizeof text, "%02zu:%02zu:%02zu", sector / kSectorsPerSecond / 60,
                  sector / kSectorsPerSecond % 60, sector % kSectorsPerSecond);
    return text;
}

}  // namespace

void writeDiscImage(const std::filesystem::path& dir, const std::string& name, const std::vector<Pcm>& tracks) {
    if (tracks.empty() || tracks.size() > 99) throw std::runtime_error("a disc holds 1 to 99 tracks");
    std::string sheet = "FILE \"" + name + ".bin\" BINARY\r\n";
    std::vector<std::uint8_t> data;
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        if (tracks[i].rate != 44100) throw std::runtime_error("disc tracks are 44.1 kHz");
        char line[48];
        std::snprintf(line, sizeof line, "  TRACK %02zu AUDIO\r\n", i + 1);
        sheet += line;
        sheet += "    INDEX 01 " + msf(data.size() / 4 / kFramesPerSector) + "\r\n";
        for (std::int16_t s : tracks[i].samples) {
            data.push_back(static_cast<std::uint8_t>(s & 0xFF));
            data.push_back(static_cast<std::uint8_t>((static_cast<std::uint16_t>(s) >> 8) & 0xFF));
        }
        data.resize((data.size() + 4 * kFramesPerSector - 1) / (4 * kFramesPerSector) * (4 * kFramesPerSector));
    }
    if (data.size() / 4 / kFramesPerSector >= std::size_t{80} * 60 * kSectorsPerSecond) {
        throw std::runtime_error("the tracks are longer than a disc");
    }
    saveFile(dir / (name + ".bin"), data);
    saveFile(dir / (name + ".cue"),
             std::span(reinterpret_cast<const std::uint8_t*>(sheet.data()), sheet.size()));
}

}  // namespace demo_media
