// The ID3 version 1 tag: the last 128 bytes of an ".mp3" file.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace mpa {

inline constexpr std::size_t kId3v1Size = 128;

struct Id3v1Tag {
    std::string title;
    std::string artist;
    std::string album;
    std::string year;
    std::string comment;
    std::int32_t genre;  // the byte taken as signed
};

// Only names longer than the extension that end in exactly ".mp3" carry a tag worth reading.
bool wants_id3v1(std::string_view file_name);

// The tag in the 128 bytes, or nothing when they do not begin with "TAG".
std::optional<Id3v1Tag> parse_id3v1(std::span<const std::uint8_t, kId3v1Size> bytes);

}  // namespace mpa
