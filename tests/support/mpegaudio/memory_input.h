// An input module over bytes in memory, for tests and fuzzing: attach it with the name
// memory_input_name(&data). It reads exactly what is asked or nothing, like the file input.
#pragma once

#include <mpegaudio/decoder.h>

#include <cstdint>
#include <string>
#include <vector>

namespace mpa::test {

struct MemoryInputData {
    std::vector<uint8_t> bytes;
    bool seekable = true;  // a non-seekable input also reports no size
};

const ModuleDescriptor* memory_input_module();
std::string memory_input_name(const MemoryInputData* data);

}  // namespace mpa::test
