#include "host_resources.h"

#include <plat/winbase.h>

namespace wavestream {

std::optional<std::span<const std::byte>> hostResource(const char* name, const char* type) {
    // The host program's module, not this library's.
    HMODULE host = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(host, name, type);
    if (found == nullptr) return std::nullopt;
    HGLOBAL loaded = LoadResource(host, found);
    const DWORD size = SizeofResource(host, found);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr || size == 0) return std::span<const std::byte>{};
    return std::span<const std::byte>(static_cast<const std::byte*>(bytes), size);
}

}  // namespace wavestream
