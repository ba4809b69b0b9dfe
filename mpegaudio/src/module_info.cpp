#include "module_info.h"

#include <algorithm>
#include <cstring>

namespace mpa {

void copy_info_text(char (&field)[MPA_INFO_TEXT], const char* text) {
    const std::size_t n = std::min(std::strlen(text), sizeof field - 1);
    std::memcpy(field, text, n);
    field[n] = '\0';
}

std::int32_t answer_query(const ModuleText& module, ModuleInfo* info, std::uint32_t flags) {
    if (info == nullptr) return MPA_E_BAD_ARGUMENT;
    if ((flags & MPA_QUERY_NAME) != 0) {
        copy_info_text(info->name, module.name);
        copy_info_text(info->description, module.version);
    } else if ((flags & MPA_QUERY_DEVICE) != 0) {
        if (info->index < 0 || static_cast<std::size_t>(info->index) >= module.devices.size()) {
            return MPA_E_BAD_ARGUMENT;
        }
        const DeviceEntry& device = module.devices[static_cast<std::size_t>(info->index)];
        copy_info_text(info->name, device.name);
        copy_info_text(info->description, device.description);
        info->device_flag = device.takes_name;
    }
    if ((flags & MPA_QUERY_DEVICE_COUNT) != 0) info->index = static_cast<std::int32_t>(module.devices.size());
    return MPA_OK;
}

const ModuleText& unknown_module_text() {
    static constexpr DeviceEntry devices[] = {{"unknown device name", "", 1}};
    static constexpr ModuleText text{"unknown module name", "", devices};
    return text;
}

}  // namespace mpa
