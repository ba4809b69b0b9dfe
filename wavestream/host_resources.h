// The host program's embedded sounds, as the WAV reader asks for them.
#pragma once

#include <cstddef>
#include <optional>
#include <span>

namespace wavestream {

// Resource `name` of `type` of the host program (registered by the host with the platform).
std::optional<std::span<const std::byte>> hostResource(const char* name, const char* type);

}  // namespace wavestream
