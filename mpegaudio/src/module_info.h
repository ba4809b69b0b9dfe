// Answers a `query` from a module's fixed description: its name, version text and devices.
#pragma once

#include <mpegaudio/decoder.h>

#include <cstdint>
#include <span>

namespace mpa {

struct DeviceEntry {
    const char* name;
    const char* description;
    std::int32_t takes_name;
};

struct ModuleText {
    const char* name;
    const char* version;
    std::span<const DeviceEntry> devices;
};

// Flag 1 fills name and version (and then flag 4 is ignored), flag 2 the device count,
// flag 4 device [info->index]; an index outside the devices gives MPA_E_BAD_ARGUMENT.
std::int32_t answer_query(const ModuleText& module, ModuleInfo* info, std::uint32_t flags);

// Copies text into a ModuleInfo field, cut to fit.
void copy_info_text(char (&field)[MPA_INFO_TEXT], const char* text);

// What the decoder reports for a module that has no query slot.
const ModuleText& unknown_module_text();

}  // namespace mpa
