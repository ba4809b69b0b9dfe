#include "id3v1.h"

#include <algorithm>
#include <cstring>

namespace mpa {

namespace {

// A field ends at its first NUL; trailing spaces are padding.
std::string field(std::span<const std::uint8_t, kId3v1Size> bytes, std::size_t offset, std::size_t length) {
    const auto* begin = reinterpret_cast<const char*>(bytes.data() + offset);
    std::string text(begin, strnlen(begin, length));
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

}  // namespace

bool wants_id3v1(std::string_view file_name) {
    constexpr std::string_view ext = ".mp3";
    return file_name.size() > ext.size() && file_name.ends_with(ext);
}

std::optional<Id3v1Tag> parse_id3v1(std::span<const std::uint8_t, kId3v1Size> bytes) {
    if (std::memcmp(bytes.data(), "TAG", 3) != 0) return std::nullopt;
    return Id3v1Tag{
        field(bytes, 3, 30), field(bytes, 33, 30), field(bytes, 63, 30),
        field(bytes, 93, 4), field(bytes, 97, 30), static_cast<std::int8_t>(bytes[127]),
    };
}

}  // namespace mpa
