// Writes a whole file, checking every step; throws std::runtime_error naming the file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

namespace demo_media {

void saveFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

}  // namespace demo_media
